// The toolbar a user sees: Kesto_Control driving the buttons of a window,
// found by name, for the rights held in the database.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "platform/db/Sql.h"
#include "platform/ui/PictureButton.h"
#include "documents/DocumentCommands.h"
#include "services/KestoControl.h"
#include "services/widgets/KestoControlUi.h"

#include <QApplication>
#include <QTest>

namespace {

// The buttons whose state the table of the toolbar fixes.
const QStringList kTableButtons = {"Cmd_Add",   "Cmd_Edit",    "Cmd_Delete", "Cmd_Copy",  "Cmd_Import",
                                   "Cmd_Print", "Cmd_Preview", "Cmd_Find",   "cmd_check", "cmd_reset",
                                   "Cmd_Close", "Cmd_Ok",      "cmd_cancel"};

ResultSet headers(int rows)
{
    ResultSet rs;
    rs.setColumns({QStringLiteral("Rec_411")});
    for (int i = 0; i < rows; ++i)
        rs.appendRow({i + 1});
    rs.moveFirst();
    return rs;
}

} // namespace

class TstRightsUi : public QObject
{
    Q_OBJECT

    Connection conn;
    ResultSet oneDocument = headers(1);
    ResultSet noDocument = headers(0);
    std::unique_ptr<QWidget> form;
    std::unique_ptr<Kesto_Control> ctl;

    QWidget *button(const QString &name) { return form->findChild<QWidget *>(name); }

    QStringList enabledTableButtons()
    {
        QStringList on;
        for (const QString &name : kTableButtons)
            if (QWidget *b = button(name); b && b->isEnabled())
                on << name;
        return on;
    }

    void signIn(const QString &user, const ResultSet *records)
    {
        ctl->IniRights(conn, user, formButtons(form.get()), QStringLiteral("40B"), records);
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh();
        runContext().Conn = conn;
        TestDb::exec(conn, QStringLiteral("INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B')"));
        const QString right =
            QStringLiteral("INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES (?, 'MENU_F4_1', ?)");
        TestDb::exec(conn, right, {QStringLiteral("boss"), QStringLiteral("AUDCRPVSILMXF")});
        TestDb::exec(conn, right, {QStringLiteral("editor"), QStringLiteral("UD")});
        TestDb::exec(conn, right, {QStringLiteral("remover"), QStringLiteral("D")});
    }

    void init()
    {
        // A window with the whole toolbar, every button disabled to start.
        form = std::make_unique<QWidget>();
        auto *toolbar = new QWidget(form.get()); // buttons sit in a panel, as on the real windows
        QStringList names = kTableButtons;
        names << "Cmd_Save"
              << "cmd_design"
              << "cmd_quit"
              << "Cmd_Help";
        for (const QString &name : names) {
            auto *b = new PictureButton(name, toolbar);
            b->setObjectName(name);
            b->setEnabled(false);
        }
        ctl = std::make_unique<Kesto_Control>(&DocumentCommands::table());
    }

    void cleanup()
    {
        ctl.reset();
        form.reset();
    }

    void enabledStateTable_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("documents");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("on");
        const QStringList all = {"Cmd_Add",   "Cmd_Edit",    "Cmd_Delete", "Cmd_Copy",
                                 "Cmd_Print", "Cmd_Preview", "Cmd_Find"};
        QTest::newRow("adding a header") << 1 << 1 << "0" << QStringList{"Cmd_Ok", "cmd_cancel"};
        QTest::newRow("editing a header") << 2 << 1 << "2" << QStringList{"Cmd_Ok", "cmd_cancel"};
        QTest::newRow("adding the first document") << 1 << 0 << "" << QStringList{"Cmd_Ok", "cmd_cancel"};
        QTest::newRow("no current document") << 0 << 0 << "9" << QStringList{"Cmd_Add", "Cmd_Import", "Cmd_Find"};
        QTest::newRow("status 0") << 0 << 1 << "0" << (all + QStringList{"cmd_check"});
        QTest::newRow("status 2") << 0 << 1 << "2" << QStringList{"Cmd_Add",  "Cmd_Copy",  "Cmd_Print", "Cmd_Preview",
                                                                  "Cmd_Find", "cmd_reset", "Cmd_Close"};
        QTest::newRow("status 6") << 0 << 1 << "6" << QStringList{"Cmd_Add",     "Cmd_Copy", "Cmd_Print",
                                                                  "Cmd_Preview", "Cmd_Find", "cmd_reset"};
        QTest::newRow("status 7") << 0 << 1 << "7" << QStringList{"Cmd_Add",     "Cmd_Copy", "Cmd_Print",
                                                                  "Cmd_Preview", "Cmd_Find", "cmd_reset"};
        QTest::newRow("status 9 (deleted elsewhere)") << 0 << 1 << "9" << all;
        QTest::newRow("empty status") << 0 << 1 << "" << all;
        QTest::newRow("deleting (action 3) as browsing") << 3 << 1 << "0" << (all + QStringList{"cmd_check"});
        QTest::newRow("approving (action 4) as browsing")
            << 4 << 1 << "2"
            << QStringList{"Cmd_Add", "Cmd_Copy", "Cmd_Print", "Cmd_Preview", "Cmd_Find", "cmd_reset", "Cmd_Close"};
    }
    void enabledStateTable()
    {
        QFETCH(int, action);
        QFETCH(int, documents);
        QFETCH(QString, status);
        QFETCH(QStringList, on);
        signIn(QStringLiteral("boss"), documents ? &oneDocument : &noDocument);
        ctl->Action(action, status);
        QStringList expected = on;
        expected.sort();
        QStringList actual = enabledTableButtons();
        actual.sort();
        QCOMPARE(actual, expected);
        // Quit and help belong to no right and no state.
        QVERIFY(!button("cmd_quit")->isEnabled());
        QVERIFY(!button("Cmd_Help")->isEnabled());
        // Design came on with the browsing at sign-in; no right enables Save.
        QVERIFY(button("cmd_design")->isEnabled());
        QVERIFY(!button("Cmd_Save")->isEnabled());
    }

    void editingLeavesSaveAndDesignAlone()
    {
        signIn(QStringLiteral("boss"), &oneDocument);
        button("Cmd_Save")->setEnabled(true);
        button("cmd_design")->setEnabled(false);
        ctl->Action(WindowAction::Edit, QStringLiteral("0"));
        QVERIFY(button("Cmd_Save")->isEnabled());
        QVERIFY(!button("cmd_design")->isEnabled());
        ctl->Action(WindowAction::Browse);
        QVERIFY(button("cmd_design")->isEnabled());
    }

    void noRightsRow()
    {
        button("cmd_quit")->setEnabled(true);
        button("Cmd_Save")->setEnabled(true);
        signIn(QStringLiteral("nobody"), &oneDocument);
        ctl->Set_Status(QStringLiteral("0"));
        QCOMPARE(enabledTableButtons(), QStringList());
        QVERIFY(!button("Cmd_Save")->isEnabled());
        QVERIFY(button("cmd_quit")->isEnabled());
        QVERIFY(!button("Cmd_Help")->isEnabled());
        QVERIFY(!ctl->View_Price());
    }

    void missingButtonsAreSkipped()
    {
        delete button("cmd_check");
        delete button("Cmd_Close");
        signIn(QStringLiteral("boss"), &oneDocument);
        ctl->Set_Status(QStringLiteral("2"));
        QVERIFY(button("cmd_reset")->isEnabled());
        QVERIFY(!button("Cmd_Edit")->isEnabled());
        QVERIFY(button("Cmd_Print")->isEnabled());
    }

    void focus_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("focus");
        QTest::newRow("add enabled") << "boss"
                                     << "Cmd_Add";
        QTest::newRow("edit and delete") << "editor"
                                         << "Cmd_Edit";
        QTest::newRow("delete only") << "remover"
                                     << "Cmd_Delete";
    }
    void focus()
    {
        QFETCH(QString, user);
        QFETCH(QString, focus);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        signIn(user, &oneDocument);
        ctl->Set_Status(QStringLiteral("0"));
        QVERIFY(form->focusWidget());
        QCOMPARE(form->focusWidget()->objectName(), focus);
    }

    void windowClosedBeforeItsControl()
    {
        signIn(QStringLiteral("boss"), &oneDocument);
        form.reset();
        ctl->Set_Status(QStringLiteral("0")); // must not touch the destroyed buttons
        QCOMPARE(ctl->status(), QStringLiteral("0"));
    }
};

QTEST_MAIN(TstRightsUi)
#include "tst_rights_ui.moc"
