// The ledger tools: the check finds each kind of fault put in by hand once,
// with its key and numbers, and nothing on a sound ledger; the repair mends
// the balances it may, changes nothing when it is refused or fails half way,
// and the check is clean for what it mended.
#include "TestSupport.h"

#include "documents/LedgerStore.h"
#include "generator/FactoryGenerator.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

using Kind = LedgerFinding::Kind;

// Fails the statement that removes or changes the second balance row of a
// repair, as a server that goes away in the middle would.
int g_repairStatements = 0;
void failSecondRepairStatement(const Connection &, const QString &text, const QList<QVariant> &)
{
    const bool change = text.startsWith(QLatin1String("UPDATE mmst381 SET Mtr_Amt")) ||
                        text.startsWith(QLatin1String("DELETE FROM mmst381 WHERE Rec_381"));
    if (change && ++g_repairStatements == 2)
        throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("test"), QStringLiteral("connection lost"));
}

const char *const kF002 = "SO2610001|MO2610002|PR2611001|A|F002|A001001002|NV";

} // namespace

class TstLedger : public QObject
{
    Q_OBJECT

    Connection conn;

    void exec(const QString &sql, const QList<QVariant> &values = {}) { TestDb::exec(conn, sql, values); }
    // Every balance row as text, to see that nothing changed.
    QStringList balances()
    {
        const ResultSet rs = Sql(conn, QStringLiteral("SELECT Rec_381, Mtr_Amt, Upd_Name FROM mmst381 ORDER BY "
                                                      "Rec_381"))
                                 .select();
        QStringList out;
        for (qint64 r = 0; r < rs.rowCount(); ++r)
            out << QStringLiteral("%1=%2 %3").arg(rs.text(r, 0)).arg(rs.value(r, 1).toDouble()).arg(rs.text(r, 2));
        return out;
    }
    // The unique index that keeps one balance row per key.
    static QString uniqueBalanceIndex()
    {
        const TableDef *t = TestDb::schema().table(QStringLiteral("mmst381"));
        for (int n = 1; n <= t->indexes.size(); ++n)
            if (t->indexes.at(n - 1).unique)
                return Dialect::indexName(*t, n);
        return {};
    }
    void freeTheDemoLock() { exec(QStringLiteral("UPDATE Mmst411 SET Lock = 'No' WHERE Rec_411 = 4")); }
    // Halves one balance between its row and a second row of the same key.
    void splitF002()
    {
        exec(QStringLiteral("DROP INDEX ") + uniqueBalanceIndex());
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 300 WHERE Rec_381 = 2"));
        exec(QStringLiteral("INSERT INTO mmst381 (Rec_381, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                            "Color_No, Mtr_Amt, Mtr_Prs) VALUES (900, 'SO2610001', 'MO2610002', 'PR2611001', 'A', "
                            "'F002', 'A001001002', 'NV', 120, 18.5)"));
    }

private slots:
    void init() { conn = TestDb::fresh(true); }
    void cleanup()
    {
        Sql::setObserver(nullptr);
        conn.close();
    }

    // The demo database as --init makes it adds up; the issue locked by
    // another program is listed, not found wrong.
    void aFreshDemoDatabaseIsClean()
    {
        QStringList progress;
        const LedgerReport report = LedgerVerifier(conn).verify([&](const QString &table, qint64 rows, double) {
            progress << QStringLiteral("%1 %2").arg(table).arg(rows);
        });
        QVERIFY2(report.clean(), qPrintable(report.text()));
        QCOMPARE(report.exitStatus(), 0);
        QCOMPARE(report.locks.size(), 1);
        QCOMPARE(report.locks.first().invNo, QStringLiteral("LL261208003"));
        QVERIFY(report.locks.first().holder.isEmpty());
        QVERIFY(report.text().contains(QStringLiteral("LL261208003  locked by another program (no holder recorded)")));
        QVERIFY(report.text().contains(QStringLiteral("findings: 0")));
        // Each table is told before and after it is read, once.
        QVERIFY(progress.contains(QStringLiteral("mmst388 -1")));
        QVERIFY(progress.contains(QStringLiteral("mmst388 75")));
        QVERIFY(progress.contains(QStringLiteral("mmst381 68")));
        QVERIFY(progress.contains(QStringLiteral("Mmst412 13")));
    }

    // A generated factory, as posting would have left it, has nothing to find.
    void aGeneratedFactoryIsClean()
    {
        FactoryScale scale;
        scale.scale = 0.01;
        generateFactory(conn, scale);
        const LedgerReport report = LedgerVerifier(conn).verify();
        QVERIFY2(report.clean(), qPrintable(report.text()));
        QVERIFY(report.tables.size() >= 6);
        qint64 journal = 0;
        for (const LedgerTable &t : report.tables)
            if (t.name == QLatin1String("mmst388"))
                journal = t.rows;
        QVERIFY(journal > 1000);
    }

    void eachFaultIsFoundOnce_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("found");

        QTest::newRow("balance off") << QStringList{"UPDATE mmst381 SET Mtr_Amt = Mtr_Amt + 7 WHERE Rec_381 = 2"}
                                     << int(Kind::Balance) << kF002 << "420"
                                     << "427";
        QTest::newRow("journal row deleted")
            << QStringList{"DELETE FROM mmst388 WHERE Rec_388 = 2"} << int(Kind::Balance) << kF002 << "0"
            << "420";
        QTest::newRow("balance row deleted")
            << QStringList{"DELETE FROM mmst381 WHERE Rec_381 = 2"} << int(Kind::Balance) << kF002 << "420"
            << "no balance row";
        QTest::newRow("duplicate key row") << QStringList{"{split}"} << int(Kind::Duplicate) << kF002 << "1 row"
                                           << "2 rows: 2 (300), 900 (120)";
        QTest::newRow("empty balance")
            << QStringList{"INSERT INTO mmst381 (Rec_381, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                           "Color_No, Mtr_Amt) VALUES (900, '', '', 'QX09', 'C', 'F003', 'A001006', 'BK', 0)"}
            << int(Kind::Empty) << "||QX09|C|F003|A001006|BK"
            << "no row"
            << "0";
        // Another module took more than was there: the journal says so too.
        QTest::newRow("negative balance")
            << QStringList{"INSERT INTO mmst388 (Rec_388, Inv_No, Inv_Type, Order_No, Mo_No, Frm_Inv, Frm_Type, "
                           "Mtr_No, Bar_No, Color_No, Mtr_Amt) VALUES (900, 'QX02', '其它出库单', '', '', "
                           "'PR2611002', 'A', 'L002', 'A001002', 'BK', -305)",
                           "UPDATE mmst381 SET Mtr_Amt = -5 WHERE Rec_381 = 8"}
            << int(Kind::Negative) << "||PR2611002|A|L002|A001002|BK"
            << "0 or more"
            << "-5";
        QTest::newRow("line under a missing header")
            << QStringList{"INSERT INTO Mmst412 (Rec_412, Rec_411, Rec_611, Frm_Inv, Mtr_Amt) "
                           "VALUES (900, 999, 1, 'PR2611001', 5)"}
            << int(Kind::LineOrphan) << "line 900"
            << "header 999"
            << "no header";
        // Someone took a posted row out of the journal and put the stock back.
        QTest::newRow("approved document missing a journal row")
            << QStringList{"DELETE FROM mmst388 WHERE Rec_388 = 70",
                           "UPDATE mmst381 SET Mtr_Amt = Mtr_Amt + 500 WHERE Rec_381 = 11"}
            << int(Kind::Posting) << "LL261208001"
            << "2 journal rows, -560"
            << "1 journal rows, -60";
        QTest::newRow("open document posted")
            << QStringList{"INSERT INTO mmst388 (Rec_388, Inv_No, Inv_Type, Order_No, Mo_No, Frm_Inv, Frm_Type, "
                           "Mtr_No, Bar_No, Color_No, Mtr_Amt) VALUES (900, 'LL261207001', '生产领料单', "
                           "'SO2610001', 'MO2610001', 'PR2611001', 'A', 'F001', 'A001001001', 'BK', -5)",
                           "UPDATE mmst381 SET Mtr_Amt = Mtr_Amt - 5 WHERE Rec_381 = 1"}
            << int(Kind::Unapproved) << "LL261207001"
            << "0 journal rows"
            << "1 journal rows, -5";
        QTest::newRow("journal rows of a document that is gone")
            << QStringList{"INSERT INTO mmst388 (Rec_388, Inv_No, Inv_Type, Order_No, Mo_No, Frm_Inv, Frm_Type, "
                           "Mtr_No, Bar_No, Color_No, Mtr_Amt) VALUES (900, 'LL999', '生产领料单', "
                           "'SO2610001', 'MO2610001', 'PR2611001', 'A', 'F001', 'A001001001', 'BK', -3)",
                           "UPDATE mmst381 SET Mtr_Amt = Mtr_Amt - 3 WHERE Rec_381 = 1"}
            << int(Kind::JournalOrphan) << "LL999"
            << "0 journal rows"
            << "1 journal rows, -3";
        QTest::newRow("stale lock")
            << QStringList{"UPDATE Mmst411 SET Lock = 'Yes' WHERE Rec_411 = 5",
                           "INSERT INTO Erp_Lock_Holder (Table_Name, Rec_Key, Holder_Token, Holder_User, Holder_Name, "
                           "Workstation, Locked_At, Lease_At) VALUES ('Mmst411', 5, 'gone', 'zhang', '张华', 'WS-07', "
                           "'2000-01-01 08:00:00', '2000-01-01 08:00:00')"}
            << int(Kind::StaleLock) << "LL261208004"
            << "free within 25 s of its holder's last renewal"
            << "locked by 张华 on WS-07 since 2000-01-01 08:00:00";
        // A program that wrote the lines with the counting triggers dropped.
        QTest::newRow("kept count off")
            << QStringList{"UPDATE Mmst412_Mo SET Lines = Lines + 2 WHERE Nature = '0' AND Mo_No = 'MO2610001'"}
            << int(Kind::Summary) << "Mmst412_Mo 0|MO2610001"
            << "4 lines"
            << "6 lines";
        // Out 20, in 10 at 4 (stock 0 after it twice over: the standard
        // cost), in 10 at 6: the average is 6 whatever it was before.
        QTest::newRow("average cost")
            << QStringList{"INSERT INTO mmst611 (Rec_611, Mtr_No, Type, Avg_Cost, Mtr_Cost) "
                           "VALUES (900, 'AC01', '0', 6.5, 5)",
                           "INSERT INTO mmst388 (Rec_388, Inv_No, Inv_Type, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, "
                           "Bar_No, Color_No, Mtr_Amt, Mtr_Prs) VALUES "
                           "(900, 'QX05', '其它出库单', '', '', 'QR01', 'C', 'AC01', 'A001005', '', -20, 4), "
                           "(901, 'QR01', '其它入库单', '', '', 'QR01', 'C', 'AC01', 'A001005', '', 10, 4), "
                           "(902, 'QR02', '其它入库单', '', '', 'QR01', 'C', 'AC01', 'A001005', '', 10, 6)"}
            << int(Kind::AverageCost) << "AC01"
            << "6"
            << "6.5";
    }

    void eachFaultIsFoundOnce()
    {
        QFETCH(QStringList, fault);
        QFETCH(int, kind);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFETCH(QString, found);
        for (const QString &sql : fault) {
            if (sql == QLatin1String("{split}"))
                splitF002();
            else
                exec(sql);
        }
        const LedgerReport report = LedgerVerifier(conn).verify();
        QCOMPARE(report.exitStatus(), 1);
        QVERIFY2(report.findings.size() == 1, qPrintable(report.text()));
        const LedgerFinding &f = report.findings.first();
        QCOMPARE(int(f.kind), kind);
        QCOMPARE(f.key, key);
        QCOMPARE(f.expected, expected);
        QCOMPARE(f.found, found);
        QVERIFY(report.text().contains(
            QStringLiteral("%1  %2  expected %3  found %4").arg(LedgerFinding::code(f.kind), key, expected, found)));

        // The repair mends the balances and nothing else; the check is then
        // clean for what it mended.
        freeTheDemoLock();
        const LedgerRepair repair(conn, QStringLiteral("账务修复"));
        const RepairPlan plan = repair.plan();
        const bool repairable = LedgerFinding::repairable(Kind(kind));
        QCOMPARE(plan.isEmpty(), !repairable);
        QCOMPARE(plan.left.size(), repairable ? 0 : 1);
        const QStringList before = balances();
        const LedgerRepair::Outcome outcome = repair.apply(plan);
        QVERIFY2(outcome.refusal.isEmpty(), qPrintable(outcome.refusal));
        QCOMPARE(outcome.applied, repairable);
        const LedgerReport after = LedgerVerifier(conn).verify();
        if (repairable)
            QVERIFY2(after.clean(), qPrintable(after.text()));
        else
            QCOMPARE(balances(), before);
    }

    // What the repair changes, row by row, with the journal's numbers.
    void theRepairRebuildsFromTheJournal()
    {
        freeTheDemoLock();
        splitF002();
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 77 WHERE Rec_381 = 1"));
        exec(QStringLiteral("DELETE FROM mmst381 WHERE Rec_381 = 3"));
        exec(QStringLiteral("INSERT INTO mmst381 (Rec_381, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                            "Color_No, Mtr_Amt) VALUES (901, '', '', 'QX09', 'C', 'F003', 'A001006', 'BK', 0)"));
        const RepairPlan plan = LedgerRepair(conn, QStringLiteral("账务修复")).plan();
        const QString text = plan.text();
        QVERIFY2(text.contains(QStringLiteral("set     row 1  SO2610001|MO2610001|PR2611001|A|F001|A001001001|BK  "
                                              "77 -> 520  (balance)")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("remove  row 900  %1  holding 120  (duplicate)").arg(kF002)),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("set     row 2  %1  300 -> 420  (duplicate)").arg(kF002)),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("create  SO2610001|MO2610001|PR2611001|A|F010|A001001002|BK  250 at "
                                              "price 11.5  (balance)")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("remove  row 901  ||QX09|C|F003|A001006|BK  holding 0  (empty)")),
                 qPrintable(text));
        QCOMPARE(plan.changes.size(), 5);

        const LedgerRepair::Outcome outcome = LedgerRepair(conn, QStringLiteral("账务修复")).apply(plan);
        QVERIFY2(outcome.applied, qPrintable(outcome.refusal));
        QCOMPARE(outcome.changed, 5);
        const ResultSet created =
            Sql(conn, QStringLiteral("SELECT Mtr_Amt, Mtr_Prs, Upd_Name FROM mmst381 WHERE Frm_Inv = 'PR2611001' AND "
                                     "Mtr_No = 'F010' AND Mo_No = 'MO2610001'"))
                .select();
        QCOMPARE(created.rowCount(), 1);
        QCOMPARE(created.value(0, 0).toDouble(), 250.0);
        QCOMPARE(created.value(0, 1).toDouble(), 11.5);
        QCOMPARE(created.text(0, 2), QStringLiteral("账务修复"));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst381 WHERE Rec_381 IN (900, 901)")).scalar().toInt(),
                 0);
        // The journal and the documents are as they were.
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst388")).scalar().toInt(), 75);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toInt(), 13);
        const LedgerReport after = LedgerVerifier(conn).verify();
        QVERIFY2(after.clean(), qPrintable(after.text()));
    }

    // Refused while a clerk holds a header, while another transaction
    // writes the ledger, and when the balances moved since the check; a
    // failure half way leaves everything as it was.
    void theRepairChangesAllOrNothing()
    {
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 77 WHERE Rec_381 = 1"));
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 78 WHERE Rec_381 = 2"));
        const LedgerRepair repair(conn, QStringLiteral("账务修复"));
        const RepairPlan plan = repair.plan();
        QCOMPARE(plan.changes.size(), 2);
        const QStringList before = balances();

        // The demo's issue locked by another program.
        LedgerRepair::Outcome outcome = repair.apply(plan);
        QVERIFY(!outcome.applied);
        QCOMPARE(outcome.refusal, QStringLiteral("Documents are locked (LL261208003): nothing was changed. Run the "
                                                 "repair again when no document is being changed."));
        QCOMPARE(balances(), before);
        freeTheDemoLock();

        // A posting under way on another connection.
        {
            Connection other = Connection::open(conn.url());
            Transaction posting(other, Transaction::Write);
            Sql(other, QStringLiteral("UPDATE mmst381 SET Upd_Name = 'posting' WHERE Rec_381 = 5")).exec();
            outcome = repair.apply(plan);
            QVERIFY(!outcome.applied);
            QCOMPARE(outcome.refusal,
                     QStringLiteral("Another program is writing the stock ledger (a posting runs): nothing was "
                                    "changed. Run the repair again when it has finished."));
            posting.rollback();
            other.close();
        }
        QCOMPARE(balances(), before);

        // The second change fails: the first is taken back with it.
        g_repairStatements = 0;
        Sql::setObserver(failSecondRepairStatement);
        QVERIFY_THROWS_EXCEPTION(ErpError, repair.apply(plan));
        Sql::setObserver(nullptr);
        QCOMPARE(g_repairStatements, 2);
        QCOMPARE(balances(), before);

        // A balance the plan saw has moved since.
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 79 WHERE Rec_381 = 2"));
        outcome = repair.apply(plan);
        QVERIFY(!outcome.applied);
        QCOMPARE(outcome.refusal, QStringLiteral("The balances changed since they were checked (%1): nothing was "
                                                 "changed. Run the repair again.")
                                      .arg(QLatin1String(kF002)));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Mtr_Amt FROM mmst381 WHERE Rec_381 = 1")).scalar().toDouble(), 77.0);

        // Planned again, it goes through.
        outcome = repair.apply(repair.plan());
        QVERIFY2(outcome.applied, qPrintable(outcome.refusal));
        QVERIFY(LedgerVerifier(conn).verify().clean());
    }

    // What a machine reads.
    void theReportAsJson()
    {
        exec(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = Mtr_Amt + 7 WHERE Rec_381 = 2"));
        const QJsonObject o = QJsonDocument::fromJson(LedgerVerifier(conn).verify().json()).object();
        QCOMPARE(o.value(QStringLiteral("clean")).toBool(), false);
        QCOMPARE(o.value(QStringLiteral("checks")).toObject().value(QStringLiteral("balance")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("checks")).toObject().value(QStringLiteral("duplicate")).toInt(), 0);
        const QJsonArray findings = o.value(QStringLiteral("findings")).toArray();
        QCOMPARE(findings.size(), 1);
        const QJsonObject f = findings.first().toObject();
        QCOMPARE(f.value(QStringLiteral("check")).toString(), QStringLiteral("balance"));
        QCOMPARE(f.value(QStringLiteral("key")).toString(), QLatin1String(kF002));
        QCOMPARE(f.value(QStringLiteral("expected")).toString(), QStringLiteral("420"));
        QCOMPARE(f.value(QStringLiteral("found")).toString(), QStringLiteral("427"));
        const QJsonArray locks = o.value(QStringLiteral("locks")).toArray();
        QCOMPARE(locks.size(), 1);
        QCOMPARE(locks.first().toObject().value(QStringLiteral("document")).toString(), QStringLiteral("LL261208003"));
        QCOMPARE(o.value(QStringLiteral("tables")).toArray().size() >= 6, true);
    }
};

QTEST_GUILESS_MAIN(TstLedger)
#include "tst_ledger.moc"
