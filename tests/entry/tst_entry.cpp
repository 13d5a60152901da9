// The host's entry: which window a menu entry opens, where, and what the
// run context holds afterwards.
#include "TestSupport.h"

#include "documents/DocumentWindow.h"
#include "entry/ClsBarManuBill.h"
#include "context/RunContext.h"
#include "platform/core/Environment.h"
#include "platform/db/Sql.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/QtMessageBoxService.h"
#include "platform/ui/QtTranslations.h"
#include "platform/ui/WindowClosing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class TstEntry : public QObject
{
    Q_OBJECT

    Connection conn;
    ScriptedMessageBox *box = nullptr;

    static void closeAll()
    {
        for (const DocumentKind *k :
             {&DocumentKind::issue(), &DocumentKind::materialReturn(), &DocumentKind::supplementary()})
            if (DocumentWindow *w = DocumentWindow::instance(*k))
                delete w;
    }

private slots:
    void initTestCase()
    {
        box = new ScriptedMessageBox;
        conn = TestDb::freshSqlite();
        TestDb::exec(conn, QStringLiteral(
                               "INSERT INTO mmst901 (user_id, user_name, user_no) VALUES ('chen', '陈志明', 'A001')"));
    }
    void cleanupTestCase() { delete box; }
    void cleanup() { closeAll(); }

    // On a Chinese workstation the module's message boxes and file dialogs
    // read Qt's Chinese: the first ShowFrm installs Qt's translation when
    // its host has installed none (this program runs under LANG=zh_CN.UTF-8).
    void qtSpeaksTheWorkstationsLanguage()
    {
        QCOMPARE(QLocale::system().name(), QStringLiteral("zh_CN"));
        ClsBarManuBill().ShowFrm(conn, QStringLiteral("MENU_F4_1"), QStringLiteral("chen"), QString(), 0, 0, 6000,
                                 4500, QString());
        QVERIFY(QtTranslations::installed());
        // A host that installs its own is left alone: a second call adds none.
        QVERIFY(QtTranslations::installIfNone());

        QStringList buttons;
        QString fileLabel, lookIn, saveButton;
        ModalRunner::setDriver([&](QDialog *d) {
            if (auto *m = qobject_cast<QMessageBox *>(d)) {
                for (QAbstractButton *b : m->buttons())
                    buttons << b->text();
            } else if (auto *f = qobject_cast<QFileDialog *>(d)) {
                fileLabel = f->findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text();
                lookIn = f->findChild<QLabel *>(QStringLiteral("lookInLabel"))->text();
                saveButton = f->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
                                 ->button(QDialogButtonBox::Save)
                                 ->text();
            }
            return int(QDialog::Rejected);
        });
        QtMessageBoxService real;
        real.show({QStringLiteral("mmss40B"), QStringLiteral("Menu_Delete_Click_2"), QStringLiteral("确认要删除这笔资料?"),
                   292, QStringLiteral("提示信息")});
        real.show({QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), QStringLiteral("提示"), 65, QString()});
        QFileDialog files;
        FileDialogs::prepare(files);
        files.setAcceptMode(QFileDialog::AcceptSave);
        ModalRunner::exec(&files);
        ModalRunner::setDriver({});
        QCOMPARE(buttons, (QStringList{QStringLiteral("是(&Y)"), QStringLiteral("否(&N)"), QStringLiteral("确定"),
                                       QStringLiteral("取消")}));
        QCOMPARE(fileLabel, QStringLiteral("文件名称(&N)："));
        QCOMPARE(lookIn, QStringLiteral("查找范围："));
        QCOMPARE(saveButton, QStringLiteral("保存(&S)"));
    }

    // A host closing closes the module's windows through their own close:
    // one entering a header asks, and answering No keeps it (and the host).
    void hostClosingClosesTheWindows()
    {
        ClsBarManuBill module;
        module.ShowFrm(conn, QStringLiteral("MENU_F4_1"), QStringLiteral("chen"), QString(), 0, 0, 6000, 4500,
                       QString());
        module.ShowFrm(conn, QStringLiteral("MENU_F4_3"), QStringLiteral("chen"), QString(), 0, 0, 6000, 4500,
                       QString());
        QWidget host;
        host.show();
        DocumentWindow *issue = DocumentWindow::instance(DocumentKind::issue());
        DocumentWindow *ret = DocumentWindow::instance(DocumentKind::materialReturn());
        issue->vcontrol(QStringLiteral("A"));
        QCOMPARE(issue->lastAction(), 1);
        box->clear();
        box->answer(7);
        QVERIFY(!closeOtherWindows(&host));
        QCOMPARE(box->texts(), QStringList{QStringLiteral("是否要退出系统")});
        QVERIFY(issue->isVisible());
        box->answer(6);
        QVERIFY(closeOtherWindows(&host));
        QCOMPARE(box->texts().size(), 2);
        QVERIFY(!issue->isVisible());
        QVERIFY(!ret->isVisible());
        QVERIFY(host.isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!DocumentWindow::instance(DocumentKind::issue()));
        QVERIFY(!DocumentWindow::instance(DocumentKind::materialReturn()));
    }

    void menuEntries_data()
    {
        QTest::addColumn<QString>("menuId");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("heading");
        QTest::newRow("issue") << "MENU_F4_1"
                               << "mmss40B"
                               << "生产领料单";
        QTest::newRow("supplementary issue") << "MENU_F4_2"
                                             << "mmss40D"
                                             << "生产补料单";
        QTest::newRow("return, lower case") << "menu_f4_3"
                                            << "mmss40C"
                                            << "生产退料单";
    }
    void menuEntries()
    {
        QFETCH(QString, menuId);
        QFETCH(QString, window);
        QFETCH(QString, heading);
        ClsBarManuBill module;
        const qint32 handle = module.ShowFrm(conn, menuId, QStringLiteral("chen"), QStringLiteral("/tmp/chen.ini"),
                                             1500, 3000, 12000, 9000, QStringLiteral("华南示范箱包有限公司"));
        QVERIFY(handle != 0);
        QWidget *shown = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName() == window)
                shown = w;
        QVERIFY2(shown, qPrintable(window));
        QCOMPARE(qint32(shown->winId()), handle);
        QCOMPARE(shown->windowTitle(), QStringLiteral("生产领料单(40B)"));
        QCOMPARE(shown->findChild<QLabel *>(QStringLiteral("Label_Title"))->text(), heading);
        QCOMPARE(shown->geometry(), QRect(100, 200, 800, 600)); // twips at 15 to the pixel

        const RunContext &ctx = runContext();
        QCOMPARE(ctx.User_Id, QStringLiteral("chen"));
        QCOMPARE(ctx.User_Name, QStringLiteral("陈志明"));
        QCOMPARE(ctx.Ini_File, QStringLiteral("/tmp/chen.ini"));
        QCOMPARE(ctx.Comp_Cname, QStringLiteral("华南示范箱包有限公司"));
        QCOMPARE(ctx.Msg_Delete, QStringLiteral("确认要删除这笔资料?"));
        QCOMPARE(ctx.Msg_Title, QStringLiteral("提示信息"));
        QCOMPARE(ctx.Msg_Quit, QStringLiteral("确认要退出吗?"));
        QCOMPARE(ctx.Msg_Quit_En, QStringLiteral("Are you sure quit?"));
        QVERIFY(ctx.Conn == conn);
    }

    void unknownEntryStillRewritesTheContext()
    {
        ClsBarManuBill module;
        Environment::setMachineName(QStringLiteral("pc7"));
        module.ShowFrm(conn, QStringLiteral("MENU_F4_1"), QStringLiteral("chen"), QStringLiteral("a.ini"), 0, 0, 3000,
                       3000, QStringLiteral("A"));
        const QString firstTag = runContext().Run_Tag;
        QCOMPARE(module.ShowFrm(conn, QStringLiteral("MENU_F9_9"), QStringLiteral("nobody"), QStringLiteral("b.ini"), 0,
                                0, 0, 0, QStringLiteral("B")),
                 0);
        const RunContext &ctx = runContext();
        QCOMPARE(ctx.User_Id, QStringLiteral("nobody"));
        QCOMPARE(ctx.User_Name, QString()); // no mmst901 row
        QCOMPARE(ctx.Ini_File, QStringLiteral("b.ini"));
        QCOMPARE(ctx.Comp_Cname, QStringLiteral("B"));
        QVERIFY(ctx.Run_Tag != firstTag);
        QVERIFY(QRegularExpression(QStringLiteral("^pc7\\d{5,6}$")).match(ctx.Run_Tag).hasMatch());
        Environment::setMachineName({});
        // Nothing new was opened for the unknown entry.
        int visible = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            visible += w->isVisible() && w->objectName().startsWith(QLatin1String("mmss40")) ? 1 : 0;
        QCOMPARE(visible, 1);
    }

    void secondCallMovesTheSameWindow()
    {
        ClsBarManuBill module;
        const qint32 first = module.ShowFrm(conn, QStringLiteral("MENU_F4_1"), QStringLiteral("chen"), QString(), 0, 0,
                                            6000, 4500, QString());
        DocumentWindow *w = DocumentWindow::instance(DocumentKind::issue());
        QVERIFY(w);
        const qint32 second = ClsBarManuBill().ShowFrm(conn, QStringLiteral("MENU_F4_1"), QStringLiteral("chen"),
                                                       QString(), 3000, 1500, 9000, 6000, QString());
        QCOMPARE(second, first);
        QCOMPARE(DocumentWindow::instance(DocumentKind::issue()), w);
        QCOMPARE(w->geometry(), QRect(200, 100, 600, 400));
        int issueWindows = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            issueWindows += top->objectName() == QLatin1String("mmss40B") ? 1 : 0;
        QCOMPARE(issueWindows, 1);
        // Closing clears the instance; the next call builds a new window.
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!DocumentWindow::instance(DocumentKind::issue()));
    }

    void windowStartedWithoutAHostConnection()
    {
        // A closed connection makes the window open the built-in one.
        const QString path = QDir::temp().filePath(QStringLiteral("erp-entry-default.db"));
        QFile::remove(path);
        {
            Connection seeded = Connection::open(QStringLiteral("sqlite:") + path);
            TestDb::schema().create(seeded);
            TestDb::exec(seeded,
                         QStringLiteral("INSERT INTO mmst901 (user_id, user_name) VALUES ('admin', '系统管理员')"));
            seeded.close();
        }
        qputenv("ERP_DB", QByteArray("sqlite:") + path.toUtf8());
        ClsBarManuBill().ShowFrm(Connection(), QStringLiteral("MENU_F4_2"), QStringLiteral("chen"), QString(), 0, 0,
                                 3000, 3000, QString());
        qunsetenv("ERP_DB");
        QVERIFY(runContext().Conn.isOpen());
        QCOMPARE(runContext().User_Id, QStringLiteral("admin"));
        QCOMPARE(runContext().User_Name, QStringLiteral("系统管理员"));
        QVERIFY(runContext().Ini_File.endsWith(QStringLiteral("tst_entry.ini")));
        runContext().Conn.close();
        runContext().Conn = conn;
        QFile::remove(path);
    }
};

QTEST_MAIN(TstEntry)
#include "tst_entry.moc"
