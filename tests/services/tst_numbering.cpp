// Proposed document numbers on the backend under test, with the workstation
// clock and the server clock both held at 20 December 2007.
#include "TestSupport.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/DocumentNumbering.h"

#include <QTest>

class TstNumbering : public QObject
{
    Q_OBJECT

    Connection conn;

    void numbers(const QStringList &invNos)
    {
        for (const QString &n : invNos)
            TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type) VALUES (?, '1')"), {n});
    }

private slots:
    void initTestCase() { conn = TestDb::fresh(); }

    void init()
    {
        for (const char *table : {"No_Std", "Mmst411", "mmst901"})
            TestDb::exec(conn, QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
        Environment::setNow(QDateTime(QDate(2007, 12, 20), QTime(9, 30)));
        DbGateway::setServerNowOverride(QDateTime(QDate(2007, 12, 20), QTime(9, 31)));
    }

    void cleanupTestCase()
    {
        Environment::setNow({});
        DbGateway::setServerNowOverride({});
    }

    void standardNumber_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QList<int>>("flags"); // Bit_1, Len_A, Bit_2, Len_B, Item_Using
        QTest::addColumn<int>("standards");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<bool>("skipUniqueCheck");
        QTest::addColumn<QString>("expected");
        const QList<int> ll{1, 2, 1, 3, 1};
        QTest::newRow("the worked example")
            << "LL" << ll << 1 << QStringList{"LL071220004", "LL071219009"} << false << "LL071220005";
        QTest::newRow("first of the day") << "LL" << ll << 1 << QStringList{"LL071219009"} << false << "LL071220001";
        QTest::newRow("codes compare without case")
            << "ll" << ll << 1 << QStringList{"LL071220004"} << false << "ll071220005";
        QTest::newRow("four-digit year") << "LL" << QList<int>{1, 4, 1, 3, 1} << 1 << QStringList{} << false
                                         << "LL20071220001";
        QTest::newRow("other year length adds none")
            << "LL" << QList<int>{1, 3, 1, 3, 1} << 1 << QStringList{} << false << "LL1220001";
        QTest::newRow("sequence outgrows its digits")
            << "LL" << QList<int>{0, 2, 0, 2, 1} << 1 << QStringList{"LL99"} << false << "LL100";
        QTest::newRow("letters after the word read as 0")
            << "LL" << QList<int>{0, 2, 0, 3, 1} << 1 << QStringList{"LLX7"} << false << "LL001";
        QTest::newRow("proposal already taken")
            << "LL" << ll << 1 << QStringList{"LL0712209", "LL071220010"} << false << "@@@@";
        QTest::newRow("taken, check skipped")
            << "LL" << ll << 1 << QStringList{"LL0712209", "LL071220010"} << true << "LL071220010";
        QTest::newRow("not in use") << "LL" << QList<int>{1, 2, 1, 3, 0} << 1 << QStringList{} << false << "@@@@";
        QTest::newRow("no sequence digits")
            << "LL" << QList<int>{1, 2, 1, 0, 1} << 1 << QStringList{} << false << "@@@@";
        QTest::newRow("no standard") << "LL" << ll << 0 << QStringList{} << false << "@@@@";
        QTest::newRow("two standards") << "LL" << ll << 2 << QStringList{} << false << "@@@@";
    }
    void standardNumber()
    {
        QFETCH(QString, word);
        QFETCH(QList<int>, flags);
        QFETCH(int, standards);
        QFETCH(QStringList, existing);
        QFETCH(bool, skipUniqueCheck);
        QFETCH(QString, expected);
        for (int i = 0; i < standards; ++i)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO No_Std (Item_No, FWord, Bit_1, Len_A, Bit_2, Len_B, Item_Using) "
                                        "VALUES ('K06013', ?, ?, ?, ?, ?, ?)"),
                         {word, flags[0], flags[1], flags[2], flags[3], flags[4]});
        TestDb::exec(conn, QStringLiteral("INSERT INTO No_Std (Item_No, FWord, Bit_1, Len_A, Bit_2, Len_B, Item_Using) "
                                          "VALUES ('K06099', 'ZZ', 0, 0, 0, 3, 1)"));
        numbers(existing);
        QCOMPARE(DocumentNumbering::CreateStdCode(conn, QStringLiteral("K06013"), QStringLiteral("inv_No"),
                                                  QStringLiteral("Mmst411"), skipUniqueCheck),
                 expected);
    }

    void fallbackNumber_data()
    {
        QTest::addColumn<QVariant>("userCode");
        QTest::addColumn<QString>("defaultPrefix");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first of the month")
            << QVariant("A001") << "G" << QStringList{"A001-07110007", "B002-07120005"} << "A001-07120001";
        QTest::newRow("the next one") << QVariant("A001") << "G" << QStringList{"A001-07120001"} << "A001-07120002";
        QTest::newRow("other shapes do not count")
            << QVariant("A001") << "G" << QStringList{"A001-07120001", "A001-0712000099", "A001-071299"}
            << "A001-07120002";
        QTest::newRow("user without code") << QVariant() << "G" << QStringList{} << "G-07120001";
        QTest::newRow("user with empty code") << QVariant("") << "G" << QStringList{"G-07120003"} << "G-07120004";
        QTest::newRow("cut at 20 characters")
            << QVariant() << "LONGPREFIX12" << QStringList{} << "LONGPREFIX12-0712000";
    }
    void fallbackNumber()
    {
        QFETCH(QVariant, userCode);
        QFETCH(QString, defaultPrefix);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst901 (user_id, user_no) VALUES ('u1', ?)"), {userCode});
        numbers(existing);
        QCOMPARE(DocumentNumbering::CreateDocumentNo(conn, QStringLiteral("u1"), QStringLiteral("Mmst411"),
                                                     defaultPrefix, QStringLiteral("MV")),
                 expected);
    }

    // 9999 numbers per prefix and month: the five-digit number falls outside
    // the layout, so the same proposal comes back and the save step refuses it.
    void fallbackCapacity()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst901 (user_id, user_no) VALUES ('u1', 'A001')"));
        numbers({QStringLiteral("A001-07129999")});
        const QString first = DocumentNumbering::CreateDocumentNo(conn, QStringLiteral("u1"), QStringLiteral("Mmst411"),
                                                                  QStringLiteral("G"), {});
        QCOMPARE(first, QStringLiteral("A001-071210000"));
        numbers({first});
        QCOMPARE(DocumentNumbering::CreateDocumentNo(conn, QStringLiteral("u1"), QStringLiteral("Mmst411"),
                                                     QStringLiteral("G"), {}),
                 first);
    }

    void fallbackForUnknownUserFails()
    {
        QVERIFY_THROWS_EXCEPTION(ErpError, DocumentNumbering::CreateDocumentNo(conn, QStringLiteral("u1"),
                                                                               QStringLiteral("Mmst411"),
                                                                               QStringLiteral("G"), {}));
    }
};

QTEST_GUILESS_MAIN(TstNumbering)
#include "tst_numbering.moc"
