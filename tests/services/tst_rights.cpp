// Rights of a user in a menu program and the toolbar state they allow,
// without widgets: what Kesto_Control loads and what it would enable.
#include "TestSupport.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "documents/DocumentCommands.h"
#include "services/KestoControl.h"

#include <QTest>

namespace {

ResultSet headers(int rows)
{
    ResultSet rs;
    rs.setColumns({QStringLiteral("Rec_411")});
    for (int i = 0; i < rows; ++i)
        rs.appendRow({i + 1});
    rs.moveFirst();
    return rs;
}

QStringList enabled(const ButtonStates &states)
{
    QStringList on;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        if (it.value())
            on << it.key();
    on.sort();
    return on;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TstRights : public QObject
{
    Q_OBJECT

    Connection conn;
    ResultSet oneDocument = headers(1);
    ResultSet noDocument = headers(0);
    std::unique_ptr<Kesto_Control> ctl;

    // Loads the rights of user in program 40B, browsing the given headers.
    void signIn(const QString &user, const ResultSet *records)
    {
        ctl->IniRights(conn, user, nullptr, QStringLiteral("40B"), records);
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh();
        const QString menu = QStringLiteral("INSERT INTO MMSTC02 (menu_id, prog_id, menu_name) VALUES (?, ?, ?)");
        TestDb::exec(conn, menu, {QStringLiteral("MENU_F4_1"), QStringLiteral("40B"), QStringLiteral("生产领料单")});
        TestDb::exec(conn, menu, {QStringLiteral("MENU_F4_9"), QStringLiteral("40X"), QStringLiteral("其他")});
        const QString right = QStringLiteral("INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES (?, ?, ?)");
        const QList<QStringList> rows = {
            {"boss", "MENU_F4_1", "AUDCRPVSILMXF"},
            {"clerk", "MENU_F4_1", "au"},
            {"O'Hara", "MENU_F4_1", "PV"},
            {"noclose", "MENU_F4_1", "AUDCRPVSILM"},
            {"closeonly", "MENU_F4_1", "AUDRPVSILMX"},
            {"other", "MENU_F4_9", "AUDCRPVSILMXF"},
        };
        for (const QStringList &r : rows)
            TestDb::exec(conn, right, {r[0], r[1], r[2]});
        TestDb::exec(conn, right, {QStringLiteral("blank"), QStringLiteral("MENU_F4_1"), QVariant()});
    }

    void init() { ctl = std::make_unique<Kesto_Control>(&DocumentCommands::table()); }

    void rightIsOff_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<bool>("off");
        QTest::newRow("every right: add") << "boss"
                                          << "A" << false;
        QTest::newRow("every right: prices") << "boss"
                                             << "F" << false;
        QTest::newRow("lower-case rights grant A") << "clerk"
                                                   << "A" << false;
        QTest::newRow("lower-case rights grant U") << "clerk"
                                                   << "U" << false;
        QTest::newRow("lower-case rights lack D") << "clerk"
                                                  << "D" << true;
        QTest::newRow("letter asked in lower case") << "boss"
                                                    << "x" << false;
        QTest::newRow("quote in the user id, held") << "O'Hara"
                                                    << "P" << false;
        QTest::newRow("quote in the user id, missing") << "O'Hara"
                                                       << "A" << true;
        QTest::newRow("rights only in another program") << "other"
                                                        << "A" << true;
        QTest::newRow("no rights row") << "nobody"
                                       << "A" << true;
        QTest::newRow("null rights string") << "blank"
                                            << "I" << true;
        QTest::newRow("user id in other case with blanks") << "BOSS  "
                                                           << "A" << false;
    }
    void rightIsOff()
    {
        QFETCH(QString, user);
        QFETCH(QString, letter);
        QFETCH(bool, off);
        QCOMPARE(RightIsOff(conn, letter, QStringLiteral("40B"), user), off);
    }

    void flagsBeforeLoading()
    {
        QVERIFY(ctl->Off_Add() && ctl->Off_Edit() && ctl->Off_Delete() && ctl->Off_Check() && ctl->Off_Rest() &&
                ctl->Off_Import());
        QVERIFY2(!ctl->rightsOff().I, "find counts as held until the rights are loaded");
        QVERIFY(!ctl->View_Price());
        QCOMPARE(ctl->LastAction(), 0);
        QCOMPARE(ctl->status(), QString());
    }

    void iniRightsLoadsFlags_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("held"); // letters among A U D C R M, and F for prices
        QTest::newRow("every right") << "boss"
                                     << "AUDCRMF";
        QTest::newRow("lower-case au") << "clerk"
                                       << "AU";
        QTest::newRow("no rights row") << "nobody"
                                       << "";
        QTest::newRow("null rights string grants nothing") << "blank"
                                                           << "";
    }
    void iniRightsLoadsFlags()
    {
        QFETCH(QString, user);
        QFETCH(QString, held);
        ctl->Action(WindowAction::Edit);
        signIn(user, &oneDocument);
        QCOMPARE(ctl->Off_Add(), !held.contains(u'A'));
        QCOMPARE(ctl->Off_Edit(), !held.contains(u'U'));
        QCOMPARE(ctl->Off_Delete(), !held.contains(u'D'));
        QCOMPARE(ctl->Off_Check(), !held.contains(u'C'));
        QCOMPARE(ctl->Off_Rest(), !held.contains(u'R'));
        QCOMPARE(ctl->Off_Import(), !held.contains(u'M'));
        QCOMPARE(ctl->View_Price(), held.contains(u'F'));
        QCOMPARE(ctl->LastAction(), 0); // every load returns to browsing
    }

    void closeNeedsBothRights_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("closeOn");
        QTest::newRow("approve and close") << "boss" << true;
        QTest::newRow("approve without close") << "noclose" << false;
        QTest::newRow("close without approve") << "closeonly" << false;
    }
    void closeNeedsBothRights()
    {
        QFETCH(QString, user);
        QFETCH(bool, closeOn);
        signIn(user, &oneDocument);
        ctl->Set_Status(QStringLiteral("2"));
        QCOMPARE(ctl->states().value(QStringLiteral("Cmd_Close")), closeOn);
        QCOMPARE(ctl->states().value(QStringLiteral("cmd_reset")), true);
    }

    void editingKeepsStoredStatus()
    {
        signIn(QStringLiteral("boss"), &oneDocument);
        ctl->Set_Status(QStringLiteral("2"));
        ctl->Action(WindowAction::Add);
        QCOMPARE(enabled(ctl->states()), sorted({"Cmd_Ok", "cmd_cancel"}));
        QCOMPARE(ctl->status(), QStringLiteral("2"));
        ctl->Action(WindowAction::Browse);
        QCOMPARE(ctl->states().value(QStringLiteral("cmd_reset")), true); // still approved
        ctl->Action(WindowAction::Browse, QStringLiteral("0"));
        QCOMPARE(ctl->status(), QStringLiteral("0"));
    }

    void emptyStatusClearsStoredStatus()
    {
        signIn(QStringLiteral("boss"), &oneDocument);
        ctl->Set_Status(QStringLiteral("2"));
        ctl->Set_Status(QString());
        QCOMPARE(ctl->status(), QString());
        const ButtonStates s = ctl->states();
        QVERIFY(s.value(QStringLiteral("Cmd_Edit")) && s.value(QStringLiteral("Cmd_Delete")));
        QVERIFY(!s.value(QStringLiteral("cmd_check")) && !s.value(QStringLiteral("cmd_reset")));
    }

    void emptyHeaderList_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("importOn");
        QTest::newRow("with the import right") << "boss" << true;
        QTest::newRow("without it") << "clerk" << false;
    }
    void emptyHeaderList()
    {
        QFETCH(QString, user);
        QFETCH(bool, importOn);
        signIn(user, &noDocument);
        const ButtonStates s = ctl->states();
        QCOMPARE(s.value(QStringLiteral("Cmd_Import")), importOn);
        for (const char *off :
             {"Cmd_Edit", "Cmd_Delete", "Cmd_Copy", "Cmd_Print", "Cmd_Preview", "cmd_check", "cmd_reset", "Cmd_Close"})
            QVERIFY2(!s.value(QLatin1String(off)), off);
    }

    void failingQueryReachesCaller()
    {
        ctl->Action(WindowAction::Edit, QStringLiteral("0"));
        QVERIFY_THROWS_EXCEPTION(ErpError, ctl->IniRights(Connection(), QStringLiteral("boss"), nullptr,
                                                          QStringLiteral("40B"), &oneDocument));
        QVERIFY(ctl->Off_Add());
        QVERIFY(!ctl->View_Price());
        QCOMPARE(ctl->LastAction(), int(WindowAction::Edit));
    }
};

QTEST_GUILESS_MAIN(TstRights)
#include "tst_rights.moc"
