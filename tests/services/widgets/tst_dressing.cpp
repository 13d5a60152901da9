// Form dressing as the user meets it: fonts for the workstation's locale,
// windows fitted to a small screen, toolbar pictures, function keys, help.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "platform/core/Environment.h"
#include "platform/help/HelpWindow.h"
#include "platform/ui/PictureButton.h"
#include "services/widgets/FormDressing.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

// A window with a dispatcher, recording the letters it is sent. Approving
// may enable close, as a real approval of a document does.
class DispatchWindow : public QWidget, public CommandDispatcher
{
    Q_OBJECT
public:
    QStringList sent;
    bool approvalEnablesClose = false;

    void vcontrol(const QString &letter) override
    {
        sent << letter;
        if (letter == QLatin1String("C") && approvalEnablesClose)
            findChild<QWidget *>(QStringLiteral("Cmd_Close"))->setEnabled(true);
    }
};

namespace {

const QStringList kToolbar = {"Cmd_Add",   "Cmd_Edit",    "Cmd_Delete", "Cmd_Ok",    "cmd_cancel", "Cmd_Find",
                              "Cmd_Print", "Cmd_Preview", "cmd_check",  "Cmd_Close", "cmd_reset"};

template <typename T>
T *place(QWidget *parent, const QString &name, const QRect &geometry, double pointSize = 9, bool bold = false)
{
    auto *w = new T(parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    QFont f = w->font();
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    w->setFont(f);
    return w;
}

} // namespace

class TstDressing : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    QString appPath;

    template <typename T = QWidget>
    T *control(const QString &name)
    {
        return window->findChild<T *>(name);
    }

    // The window of the scaling cases: one control of each kind the rules name.
    void buildScalingWindow(const QString &name, const QSize &size)
    {
        window = std::make_unique<QWidget>();
        window->setObjectName(name);
        window->resize(size);
        place<QLabel>(window.get(), "Label1", {100, 200, 300, 30});
        place<QLabel>(window.get(), "Label_Bold", {100, 100, 200, 30}, 10, true);
        place<QLabel>(window.get(), "Label_Small", {10, 10, 100, 13}, 8);
        place<QLabel>(window.get(), "Label_Neg", {-50, 10, 100, 20});
        place<QLineEdit>(window.get(), "Text1", {100, 100, 200, 18});
        place<QCheckBox>(window.get(), "Check1", {100, 100, 200, 20});
        place<QPushButton>(window.get(), "Command1", {200, 100, 200, 30});
        place<PictureButton>(window.get(), "Cmd_Add", {100, 100, 60, 40});
        place<PictureButton>(window.get(), "AresButton1", {200, 100, 60, 40});
        auto *frame = place<QGroupBox>(window.get(), "Frame1", {100, 100, 400, 200});
        place<QLabel>(frame, "Label_InFrame", {10, 20, 100, 20});
        place<QTableView>(window.get(), "Grid1", {100, 100, 400, 200});
    }

private slots:
    void initTestCase()
    {
        appPath = RunContext::modulePath();
        QVERIFY2(QFile::exists(appPath + "/help/Zolvany.htm"), "resources are installed next to the program");
    }

    void init()
    {
        runContext().App_Path = appPath;
        setScreenSize(QSize(1024, 768));
        Environment::setSystemLocaleId(2052);
    }

    void cleanup()
    {
        delete HelpWindow::current();
        window.reset();
        setScreenSize({});
        Environment::setSystemLocaleId(0);
    }

    // ------------------------------------------------------------ fonts

    void fonts_data()
    {
        QTest::addColumn<int>("locale");
        QTest::addColumn<double>("size");
        QTest::addColumn<double>("dressedSize");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("charset");
        const QString traditional = QStringLiteral("新细明体");
        const QString simplified = QStringLiteral("冼  ");
        QTest::newRow("Traditional Chinese system, 9.75 stays") << 1028 << 9.75 << 9.75 << traditional << 136;
        QTest::newRow("Traditional Chinese system, 8.25 stays") << 1028 << 8.25 << 8.25 << traditional << 136;
        QTest::newRow("Simplified Chinese system, 9.75 becomes 9") << 2052 << 9.75 << 9.0 << simplified << 134;
        QTest::newRow("English system, 8.25 becomes 9") << 1033 << 8.25 << 9.0 << simplified << 134;
        QTest::newRow("English system, 12 stays") << 1033 << 12.0 << 12.0 << simplified << 134;
    }
    void fonts()
    {
        QFETCH(int, locale);
        QFETCH(double, size);
        QFETCH(double, dressedSize);
        QFETCH(QString, family);
        QFETCH(int, charset);
        Environment::setSystemLocaleId(locale);
        window = std::make_unique<QWidget>();
        window->resize(600, 400);
        place<QLabel>(window.get(), "Label1", {10, 10, 100, 20}, size);
        place<QTreeView>(window.get(), "TreeView1", {10, 40, 100, 100}, size);
        place<QLineEdit>(window.get(), "Inv_No", {120, 10, 100, 20}, size);
        auto *button = place<PictureButton>(window.get(), "Cmd_Add", {10, 150, 60, 40}, 12);
        QFont tip = button->toolTipFont();
        tip.setPointSizeF(12);
        button->setToolTipFont(tip);

        DressForm(window.get());

        for (const char *name : {"Label1", "TreeView1", "Inv_No", "Cmd_Add"}) {
            const QFont f = control(QLatin1String(name))->font();
            QCOMPARE(f.family(), family);
            QCOMPARE(fontCharset(f), charset);
        }
        QCOMPARE(control("Label1")->font().pointSizeF(), dressedSize);
        QCOMPARE(control("TreeView1")->font().pointSizeF(), dressedSize);
        QCOMPARE(control("Inv_No")->font().pointSizeF(), size); // text boxes keep their size
        QCOMPARE(button->textFont().pointSizeF(), 9.0);
        QCOMPARE(button->toolTipFont().pointSizeF(), 9.0);
        QCOMPARE(button->toolTipFont().family(), family);
    }

    // ------------------------------------------------------------ fitting to the screen

    void fitLeavesWindowAlone_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("window");
        QTest::newRow("1024 x 768 screen, full-screen window") << QSize(1024, 768) << QSize(1024, 768);
        QTest::newRow("800 x 600 screen, 99% wide and 90% high") << QSize(800, 600) << QSize(792, 540);
    }
    void fitLeavesWindowAlone()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, window);
        setScreenSize(screen);
        buildScalingWindow(QStringLiteral("mmss40B"), window);
        QList<QRect> before;
        for (QWidget *c : formControls(this->window.get()))
            before << c->geometry();
        FitFormToScreen(this->window.get());
        QCOMPARE(this->window->size(), window);
        QList<QRect> after;
        for (QWidget *c : formControls(this->window.get()))
            after << c->geometry();
        QCOMPARE(after, before);
        QCOMPARE(control("Label1")->font().pointSizeF(), 9.0);
    }

    void fitFactors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QSize>("fitted");
        QTest::addColumn<double>("H");
        QTest::addColumn<double>("V"); // as applied to the controls
        QTest::addColumn<int>("commandHeight");
        QTest::newRow("wide only: H 0.78, V 0.963")
            << "mmss40B" << QSize(800, 400) << QSize(624, 385) << 0.78 << 0.963 << 30;
        QTest::newRow("wide and tall, detail window: V 0.779, height x 0.789")
            << "Frm40BMx" << QSize(800, 580) << QSize(624, 458) << 0.78 << 0.779 << 28;
        QTest::newRow("tall only: V 0.742") << "mmss40C" << QSize(700, 580) << QSize(700, 430) << 1.0 << 0.742 << 27;
        QTest::newRow("flow window: width x 0.76")
            << "Prog_Flow" << QSize(800, 400) << QSize(608, 385) << 0.78 << 0.963 << 30;
    }
    void fitFactors()
    {
        QFETCH(QString, name);
        QFETCH(QSize, window);
        QFETCH(QSize, fitted);
        QFETCH(double, H);
        QFETCH(double, V);
        QFETCH(int, commandHeight);
        setScreenSize(QSize(800, 600));
        buildScalingWindow(name, window);
        FitFormToScreen(this->window.get());
        QCOMPARE(this->window->size(), fitted);
        const auto round = [](double px) { return int(std::lround(px)); };
        QCOMPARE(control("Label1")->geometry(), QRect(round(100 * H), round(200 * V), round(300 * H), round(30 * V)));
        QCOMPARE(control("Command1")->height(), commandHeight);
    }

    void fitScalesEachKind_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<double>("pointSize");
        // Window 800 x 400 on 800 x 600: H 0.78, V 0.963.
        QTest::newRow("label: font one smaller") << "Label1" << QRect(78, 193, 234, 29) << 8.0;
        QTest::newRow("bold label keeps its height") << "Label_Bold" << QRect(78, 96, 156, 30) << 9.0;
        QTest::newRow("label at 8 points: floor of 200 twips and of 8 points")
            << "Label_Small" << QRect(8, 10, 78, 14) << 8.0;
        QTest::newRow("negative left is kept") << "Label_Neg" << QRect(-50, 10, 78, 19) << 8.0;
        QTest::newRow("text box: floor of 275 twips") << "Text1" << QRect(78, 96, 156, 19) << 8.0;
        QTest::newRow("check box: width x (H + 0.12)") << "Check1" << QRect(78, 96, 180, 20) << 8.0;
        QTest::newRow("command button: 8 points, height kept") << "Command1" << QRect(155, 96, 180, 30) << 8.0;
        QTest::newRow("picture button: top x (V - 0.01)") << "Cmd_Add" << QRect(78, 95, 60, 40) << 9.0;
        QTest::newRow("first picture button: top x (V - 0.05)") << "AresButton1" << QRect(156, 91, 60, 40) << 9.0;
        QTest::newRow("frame") << "Frame1" << QRect(78, 96, 312, 193) << 9.0;
        QTest::newRow("label inside the frame") << "Label_InFrame" << QRect(8, 19, 78, 19) << 8.0;
        QTest::newRow("grid") << "Grid1" << QRect(78, 96, 312, 193) << 9.0;
    }
    void fitScalesEachKind()
    {
        QFETCH(QString, control);
        QFETCH(QRect, geometry);
        QFETCH(double, pointSize);
        setScreenSize(QSize(800, 600));
        buildScalingWindow(QStringLiteral("mmss40B"), QSize(800, 400));
        FitFormToScreen(window.get());
        QWidget *c = this->control(control);
        QCOMPARE(c->geometry(), geometry);
        QCOMPARE(c->font().pointSizeF(), pointSize);
    }

    void dressFitsAfterFonts()
    {
        // 9.75 becomes 9 by the locale, then 8 by the fit.
        setScreenSize(QSize(800, 600));
        buildScalingWindow(QStringLiteral("mmss40B"), QSize(800, 400));
        QFont f = control("Label1")->font();
        f.setPointSizeF(9.75);
        control("Label1")->setFont(f);
        DressForm(window.get());
        QCOMPARE(window->size(), QSize(624, 385));
        QCOMPARE(control("Label1")->font().pointSizeF(), 8.0);
    }

    // ------------------------------------------------------------ pictures

    void buttonPictures()
    {
        window = std::make_unique<QWidget>();
        auto *add = place<PictureButton>(window.get(), "Cmd_Add", {0, 0, 60, 40});
        auto *quit = place<PictureButton>(window.get(), "cmd_quit", {60, 0, 60, 40});
        auto *body = place<PictureButton>(new QGroupBox(window.get()), "Cmd_AddBody", {0, 0, 60, 40});
        auto *other = place<PictureButton>(window.get(), "Cmd_Other", {120, 0, 60, 40});
        auto *plain = place<QPushButton>(window.get(), "Cmd_Edit", {180, 0, 60, 40});
        SetButtonPictures(window.get(), runContext().moduleFolder());

        const QString folder = appPath + "/Picture/Button_Pic/";
        QCOMPARE(buttonPictureFolder(runContext().moduleFolder()), folder);
        QCOMPARE(add->pictureUrl(), folder + "cmd_add_norm.bmp");
        QCOMPARE(add->pictureDisableUrl(), folder + "cmd_add_dis.bmp");
        QCOMPARE(add->pictureOverUrl(), folder + "cmd_add_Over.bmp");
        QCOMPARE(add->pictureDownUrl(), folder + "cmd_add_Down.bmp");
        QCOMPARE(quit->pictureDownUrl(), folder + "cmd_Quit_DOwn.bmp");
        QCOMPARE(body->pictureUrl(), folder + "Cmd_AddBody_Norm.bmp");
        for (PictureButton *b : {add, quit, body})
            for (auto state :
                 {PictureButton::Normal, PictureButton::Disabled, PictureButton::Over, PictureButton::Down})
                QCOMPARE(b->picture(state).size(), QSize(32, 32));
        QCOMPARE(other->pictureUrl(), QString());
        QVERIFY(!plain->property("PictureURL").isValid());
    }

    void pictureFollowsButtonState()
    {
        window = std::make_unique<QWidget>();
        auto *b = place<PictureButton>(window.get(), "cmd_check", {0, 0, 60, 50});
        b->setText(QStringLiteral("审核"));
        SetButtonPictures(window.get(), runContext().moduleFolder());
        const auto shows = [b](PictureButton::PictureState state) {
            return b->currentPicture().toImage() == b->picture(state).toImage();
        };
        QVERIFY(shows(PictureButton::Normal));
        QEvent enter(QEvent::HoverEnter);
        QCoreApplication::sendEvent(b, &enter);
        QVERIFY(shows(PictureButton::Over));
        b->setDown(true);
        QVERIFY(shows(PictureButton::Down));
        b->setDown(false);
        b->setEnabled(false);
        QVERIFY(shows(PictureButton::Disabled));

        b->setEnabled(true);
        QSignalSpy clicks(b, &PictureButton::MouseClick);
        window->show();
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
        b->setEnabled(false);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
    }

    // ------------------------------------------------------------ function keys

    void hotKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("enabled");
        QTest::addColumn<bool>("approvalEnablesClose");
        QTest::addColumn<QStringList>("sent");
        const QStringList none;
        QTest::newRow("F1 asks for help whatever is enabled") << 112 << none << false << QStringList{"H"};
        QTest::newRow("F2 adds") << 113 << QStringList{"Cmd_Add"} << false << QStringList{"A"};
        QTest::newRow("F3 with edit disabled does nothing")
            << 114 << QStringList{"Cmd_Add", "Cmd_Delete"} << false << none;
        QTest::newRow("F3 edits") << 114 << QStringList{"Cmd_Edit"} << false << QStringList{"U"};
        QTest::newRow("F4 deletes") << 115 << QStringList{"Cmd_Delete"} << false << QStringList{"D"};
        QTest::newRow("F5 confirms") << 116 << QStringList{"Cmd_Ok"} << false << QStringList{"Y"};
        QTest::newRow("Esc cancels") << 27 << QStringList{"cmd_cancel"} << false << QStringList{"N"};
        QTest::newRow("Esc while browsing does nothing") << 27 << QStringList{"Cmd_Add"} << false << none;
        QTest::newRow("F6 quits whatever is enabled") << 117 << none << false << QStringList{"Q"};
        QTest::newRow("F7 finds") << 118 << QStringList{"Cmd_Find"} << false << QStringList{"F"};
        QTest::newRow("F8 prints") << 119 << QStringList{"Cmd_Print"} << false << QStringList{"P"};
        QTest::newRow("F9 previews") << 120 << QStringList{"Cmd_Preview"} << false << QStringList{"V"};
        QTest::newRow("F10 approves, then closes once close is enabled")
            << 121 << QStringList{"cmd_check"} << true << QStringList{"C", "O"};
        QTest::newRow("F10 approves when close stays disabled")
            << 121 << QStringList{"cmd_check"} << false << QStringList{"C"};
        QTest::newRow("F10 on an approved document closes it")
            << 121 << QStringList{"Cmd_Close"} << false << QStringList{"O"};
        QTest::newRow("F11 resets") << 122 << QStringList{"cmd_reset"} << false << QStringList{"R"};
        QTest::newRow("F12 is no command") << 123 << kToolbar << false << none;
        QTest::newRow("Enter without enter-as-tab") << 13 << kToolbar << false << none;
    }
    void hotKeys()
    {
        QFETCH(int, key);
        QFETCH(QStringList, enabled);
        QFETCH(bool, approvalEnablesClose);
        QFETCH(QStringList, sent);
        auto *w = new DispatchWindow;
        window.reset(w);
        w->approvalEnablesClose = approvalEnablesClose;
        for (const QString &name : kToolbar)
            place<PictureButton>(w, name, {})->setEnabled(enabled.contains(name));
        int code = key;
        HandleHotKey(w, code, false);
        QCOMPARE(w->sent, sent);
        QCOMPARE(code, 0);
    }

    void enterMovesToNextField_data()
    {
        QTest::addColumn<bool>("withDispatcher");
        QTest::addColumn<bool>("enterAsTab");
        QTest::addColumn<QString>("focus");
        QTest::newRow("document window") << true << true << "Org_Name";
        QTest::newRow("query dialog, without a dispatcher") << false << true << "Org_Name";
        QTest::newRow("enter-as-tab off") << true << false << "Inv_No";
    }
    void enterMovesToNextField()
    {
        QFETCH(bool, withDispatcher);
        QFETCH(bool, enterAsTab);
        QFETCH(QString, focus);
        window.reset(withDispatcher ? new DispatchWindow : new QWidget);
        auto *first = place<QLineEdit>(window.get(), "Inv_No", {10, 10, 100, 20});
        place<QLineEdit>(window.get(), "Org_Name", {10, 40, 100, 20});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        first->setFocus();
        int code = 13;
        HandleHotKey(window.get(), code, enterAsTab);
        QCOMPARE(window->focusWidget()->objectName(), focus);
        QCOMPARE(code, 0);
        int help = 112;
        HandleHotKey(window.get(), help, enterAsTab); // no dispatcher: nothing, and no failure
        if (withDispatcher)
            QCOMPARE(static_cast<DispatchWindow *>(window.get())->sent, QStringList{"H"});
    }

    void keyReleasesReachDispatcherOnce()
    {
        auto *w = new DispatchWindow;
        window.reset(w);
        auto *edit = place<QLineEdit>(w, "Inv_No", {10, 10, 100, 20});
        place<QLineEdit>(w, "Org_Name", {10, 40, 100, 20});
        place<PictureButton>(w, "Cmd_Add", {10, 70, 60, 40});
        installHotKeys(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        edit->setFocus();
        QTest::keyRelease(edit, Qt::Key_F2);
        QCOMPARE(w->sent, QStringList{"A"});
        QTest::keyRelease(edit, Qt::Key_Return);
        QCOMPARE(w->focusWidget()->objectName(), QStringLiteral("Org_Name"));
        QTest::keyRelease(edit, Qt::Key_X);
        QCOMPARE(w->sent, QStringList{"A"});
    }

    // ------------------------------------------------------------ help

    void helpOpensWindowPage_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::newRow("issue window") << "mmss40B"
                                      << "/help/html/mmss40B.htm"
                                      << "生产领料单";
        QTest::newRow("return window") << "mmss40C"
                                       << "/help/html/mmss40C.htm"
                                       << "生产退料单";
        QTest::newRow("a window without a page: contents") << "FrmList"
                                                           << "/help/Zolvany.htm"
                                                           << "生产领退料 帮助";
    }
    void helpOpensWindowPage()
    {
        QFETCH(QString, topic);
        QFETCH(QString, page);
        QFETCH(QString, title);
        ScriptedMessageBox box;
        window = std::make_unique<QWidget>();
        window->setObjectName(topic);
        ShowHelp(window.get(), topic, runContext().moduleFolder());
        HelpWindow *help = HelpWindow::current();
        QVERIFY(help);
        QCOMPARE(help->source().toLocalFile(), appPath + page);
        QCOMPARE(help->pageTitle(), title);
        QCOMPARE(help->parentWidget(), window.get());
        QVERIFY(help->isVisible());
        QVERIFY(box.shown().isEmpty());
    }

    void missingHelpFile()
    {
        QTemporaryDir empty;
        runContext().App_Path = empty.path();
        ScriptedMessageBox box;
        window = std::make_unique<QWidget>();
        ShowHelp(window.get(), QStringLiteral("mmss40B"), runContext().moduleFolder());
        QCOMPARE(box.shown().size(), 1);
        QCOMPARE(box.last().text, QStringLiteral("帮助文件不存在,请检查") +
                                      QDir::toNativeSeparators(empty.path() + "/help/Zolvany.htm") +
                                      QStringLiteral("文件是否存在!"));
        QCOMPARE(box.last().style, 64);
        QCOMPARE(box.last().title, QStringLiteral("    "));
        QVERIFY(!HelpWindow::current());
    }
};

QTEST_MAIN(TstDressing)
#include "tst_dressing.moc"
