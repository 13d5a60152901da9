// Stock balances, journal rows and the average cost as the ledger leaves
// them on the backend under test, and two users drawing the last units.
#include "TestSupport.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/StockLedger.h"

#include <QElapsedTimer>
#include <QTest>

#include <future>
#include <thread>

namespace {
// The stock key most cases post to.
const QString ORD = QStringLiteral("SO-1"), MO = QStringLiteral("MO-1"), INV = QStringLiteral("R-1"),
              TYPE = QStringLiteral("A"), MTR = QStringLiteral("M-1"), BAR = QStringLiteral("B-1"),
              COLOR = QStringLiteral("RED");
const QString ISSUE = QStringLiteral("生产领料单");

// The position (from 1, as index names count) of the one-balance-per-key
// index among the table's indexes; 0 when it has none.
int balanceIndexNumber(const TableDef &table)
{
    for (int i = 0; i < table.indexes.size(); ++i)
        if (table.indexes.at(i).unique && !table.indexes.at(i).mergeSum.isEmpty())
            return i + 1;
    return 0;
}
} // namespace

class TstStockLedger : public QObject
{
    Q_OBJECT

    Connection conn;

    void balance(const QVariant &amount, double price, const QString &type = TYPE, const QString &bar = BAR,
                 const QVariant &order = ORD, const QVariant &mo = MO, const QVariant &color = COLOR,
                 const QString &inv = INV)
    {
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                    "Color_No, Mtr_Amt, Mtr_Prs) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                     {order, mo, inv, type, MTR, bar, color, amount, price});
    }
    void option(const QString &value)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES (?, ?)"),
                     {QStringLiteral("仓库中允许负库存"), value});
    }
    void journal(const QString &invNo, const QString &kind, const QVariant &order, const QVariant &mo,
                 const QString &type, const QString &color, double price)
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst388 (Inv_No, Inv_Type, Inv_Date, Order_No, Mo_No, Frm_Inv, "
                           "Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, -1, ?)"),
            {invNo, kind, QDate(2007, 12, type == TYPE ? 1 : 2), order, mo, INV, type, MTR, BAR, color, price});
    }
    ResultSet rows(const QString &table, const QString &order)
    {
        return Sql(conn, QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, order)).select();
    }
    double avgCost()
    {
        return Sql(conn, QStringLiteral("SELECT Avg_Cost FROM mmst611 WHERE Mtr_No = ?")).bind(MTR).scalar().toDouble();
    }
    const QString user = QStringLiteral(" 王五 ");
    StockLedger ledger() const { return StockLedger(conn, user); }
    static StockKey key(const QString &type = TYPE, const QString &mo = MO)
    {
        return StockKey(ORD, mo, INV, type, MTR, BAR, COLOR);
    }

    bool check(double qty, const QString &type = TYPE) { return ledger().CheckStockAvailable(key(type), qty); }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh();
        DbGateway::setServerNowOverride(QDateTime(QDate(2007, 12, 20), QTime(9, 30)));
    }

    void init()
    {
        for (const char *table : {"mmst381", "mmst388", "mmst909", "mmst611", "mmst312"})
            TestDb::exec(conn, QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Mtr_No, Avg_Cost, Mtr_Cost) VALUES (?, 2, 9)"), {MTR});
    }

    void cleanupTestCase() { DbGateway::setServerNowOverride({}); }

    void checkStock_data()
    {
        QTest::addColumn<QString>("negativeAllowed");
        QTest::addColumn<QStringList>("balances"); // "type:amount" under the key
        QTest::addColumn<double>("qty");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("expected");
        QTest::newRow("negative stock allowed") << "1" << QStringList{} << 1000.0 << TYPE << true;
        QTest::newRow("option other than 1") << "0" << QStringList{} << 1.0 << TYPE << false;
        QTest::newRow("no balance refuses") << "" << QStringList{} << 0.0001 << TYPE << false;
        QTest::newRow("nothing asked") << "" << QStringList{} << 0.0 << TYPE << true;
        QTest::newRow("stock coming back") << "" << QStringList{} << -3.0 << TYPE << true;
        QTest::newRow("10.00003 of 10.00004") << "" << QStringList{"A:10.00004"} << 10.00003 << TYPE << true;
        QTest::newRow("10.0001 of 10.00004") << "" << QStringList{"A:10.00004"} << 10.0001 << TYPE << false;
        QTest::newRow("the whole balance may be taken") << "" << QStringList{"A:10"} << 10.0 << TYPE << true;
        QTest::newRow("other source type not counted") << "" << QStringList{"A:6", "B:4"} << 7.0 << TYPE << false;
        QTest::newRow("no source type counts all") << "" << QStringList{"A:6", "B:4"} << 10.0 << "" << true;
    }
    void checkStock()
    {
        QFETCH(QString, negativeAllowed);
        QFETCH(QStringList, balances);
        QFETCH(double, qty);
        QFETCH(QString, type);
        QFETCH(bool, expected);
        if (!negativeAllowed.isEmpty())
            option(negativeAllowed);
        for (const QString &b : balances)
            balance(b.section(QLatin1Char(':'), 1).toDouble(), 1, b.section(QLatin1Char(':'), 0, 0));
        balance(100, 1, TYPE, QStringLiteral("B-2")); // another location
        QCOMPARE(check(qty, type), expected);
    }

    void checkReadsKeyAsCodes()
    {
        balance(3, 1, TYPE, BAR, QVariant(), QVariant(), QVariant());
        balance(5, 1, TYPE, BAR, QStringLiteral("so-1"), QStringLiteral("mo-1"), QStringLiteral("red"));
        const StockLedger ledger = this->ledger();
        const StockKey bare({}, {}, INV, TYPE, MTR, BAR, {});
        QVERIFY(ledger.CheckStockAvailable(bare, 3)); // null parts read as empty
        QVERIFY(!ledger.CheckStockAvailable(bare, 3.0001));
        QVERIFY(ledger.CheckStockAvailable(StockKey(ORD, MO, INV, TYPE, QStringLiteral("m-1"), BAR, COLOR), 5));
        QVERIFY(!ledger.CheckStockAvailable(key(), 5.0001));
    }

    // With negative stock allowed the check must not depend on the stock
    // table at all: it still answers with the table out of reach.
    void negativeStockAllowedReadsNoStock()
    {
        option(QStringLiteral("1"));
        TestDb::exec(conn, QStringLiteral("ALTER TABLE mmst381 RENAME TO mmst381_away"));
        bool allowed = false;
        bool failedWithoutOption = false;
        try {
            allowed = check(5);
            TestDb::exec(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '0'"));
            check(5);
        } catch (const ErpError &) {
            failedWithoutOption = true;
        }
        TestDb::exec(conn, QStringLiteral("ALTER TABLE mmst381_away RENAME TO mmst381"));
        QVERIFY(allowed);
        QVERIFY(failedWithoutOption);
    }

    void postBalance_data()
    {
        QTest::addColumn<QVariant>("before"); // invalid: no balance
        QTest::addColumn<double>("qty");
        QTest::addColumn<QVariant>("after"); // invalid: balance deleted
        QTest::newRow("-5 on 5 deletes it") << QVariant(5.0) << -5.0 << QVariant();
        QTest::newRow("-5 on 5.0000001 leaves a residue") << QVariant(5.0000001) << -5.0 << QVariant(0.0000001);
        QTest::newRow("-3 on 5") << QVariant(5.0) << -3.0 << QVariant(2.0);
        QTest::newRow("+2 on 5") << QVariant(5.0) << 2.0 << QVariant(7.0);
        QTest::newRow("issue without balance goes negative") << QVariant() << -4.0 << QVariant(-4.0);
    }
    void postBalance()
    {
        QFETCH(QVariant, before);
        QFETCH(double, qty);
        QFETCH(QVariant, after);
        if (before.isValid())
            balance(before, 1.5);
        const double price = 1.5;
        ledger().PostStockBalance(key(TYPE, QStringLiteral(" MO-1 ")), qty, price);
        const ResultSet b = rows(QStringLiteral("mmst381"), QStringLiteral("Rec_381"));
        QCOMPARE(b.rowCount(), after.isValid() ? 1 : 0);
        if (!after.isValid())
            return;
        QVERIFY2(qAbs(b.value(0, "Mtr_Amt").toDouble() - after.toDouble()) < 1e-12, qPrintable(b.text(0, "Mtr_Amt")));
        const QStringList key{b.text(0, "Order_No"), b.text(0, "Mo_No"),  b.text(0, "Frm_Inv"), b.text(0, "Frm_Type"),
                              b.text(0, "Mtr_No"),   b.text(0, "Bar_No"), b.text(0, "Color_No")};
        QCOMPARE(key, (QStringList{ORD, MO, INV, TYPE, MTR, BAR, COLOR}));
        QCOMPARE(b.value(0, "Mtr_Prs").toDouble(), 1.5);
        QCOMPARE(b.text(0, "Upd_Name"), QStringLiteral("王五"));
        QCOMPARE(b.text(0, "Upd_Date"), QStringLiteral("2007-12-20"));
    }

    void newBalanceSourceType_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("receiptType"); // of another balance of the receipt
        QTest::addColumn<bool>("purchase");
        QTest::addColumn<QString>("stored");
        QTest::newRow("given") << "B"
                               << "D" << true << "B";
        QTest::newRow("from the receipt's other balance") << ""
                                                          << "D" << true << "D";
        QTest::newRow("purchase receipt") << ""
                                          << "" << true << "A";
        QTest::newRow("unknown receipt") << ""
                                         << "" << false << "C";
    }
    void newBalanceSourceType()
    {
        QFETCH(QString, given);
        QFETCH(QString, receiptType);
        QFETCH(bool, purchase);
        QFETCH(QString, stored);
        if (!receiptType.isEmpty())
            balance(7, 1, receiptType, QStringLiteral("B-2"));
        if (purchase)
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst312 (Purc_No) VALUES (?)"), {INV});
        ledger().PostStockBalance(key(given), 3, 2);
        QCOMPARE(
            Sql(conn, QStringLiteral("SELECT Frm_Type FROM mmst381 WHERE Bar_No = ?")).bind(BAR).scalar().toString(),
            stored);
    }

    // A key without source type posts to the balance a new one would have
    // been given, not beside it.
    void emptySourceTypePostsToTheReceiptsBalance()
    {
        balance(7, 1, QStringLiteral("D"));
        ledger().PostStockBalance(key(QString()), -2, 1);
        const ResultSet b = rows(QStringLiteral("mmst381"), QStringLiteral("Rec_381"));
        QCOMPARE(b.rowCount(), 1);
        QCOMPARE(b.text(0, "Frm_Type"), QStringLiteral("D"));
        QCOMPARE(b.value(0, "Mtr_Amt").toDouble(), 5.0);
        ledger().PostStockBalance(key(QString()), -5, 1);
        QCOMPARE(rows(QStringLiteral("mmst381"), QStringLiteral("Rec_381")).rowCount(), 0);
    }

    // The database itself keeps one balance per key, keys compared as codes.
    void aSecondBalanceOfOneKeyIsRefused_data()
    {
        QTest::addColumn<QVariant>("order");
        QTest::addColumn<QVariant>("color");
        QTest::addColumn<QString>("bar");
        QTest::newRow("same key") << QVariant(ORD) << QVariant(COLOR) << BAR;
        QTest::newRow("other case and trailing blank")
            << QVariant(QStringLiteral("so-1 ")) << QVariant(QStringLiteral("red")) << QStringLiteral("b-1");
        QTest::newRow("null as empty") << QVariant() << QVariant() << BAR;
    }
    void aSecondBalanceOfOneKeyIsRefused()
    {
        QFETCH(QVariant, order);
        QFETCH(QVariant, color);
        QFETCH(QString, bar);
        const bool bare = !order.isValid();
        balance(1, 1, TYPE, BAR, bare ? QVariant(QString()) : QVariant(ORD), MO,
                bare ? QVariant(QString()) : QVariant(COLOR));
        QVERIFY_THROWS_EXCEPTION(ErpError, balance(2, 1, TYPE, bar, order, MO, color));
        balance(2, 1, TYPE, QStringLiteral("B-2"), order, MO, color); // another location is another key
        QCOMPARE(rows(QStringLiteral("mmst381"), QStringLiteral("Rec_381")).rowCount(), 2);
    }

    // A database made before the index: its duplicates are folded into one
    // row per key, then the index is made.
    void upgradeMergesDuplicateBalances()
    {
        const TableDef *t = TestDb::schema().table(QStringLiteral("mmst381"));
        QVERIFY(t);
        const int number = balanceIndexNumber(*t);
        QVERIFY(number > 0);
        TestDb::exec(conn, QStringLiteral("DROP INDEX ") + Dialect::indexName(*t, number));
        balance(4, 1);
        balance(-1, 1, TYPE, BAR, QStringLiteral("so-1"), MO, QStringLiteral("RED "));
        balance(2.5, 1);
        balance(9, 1, TYPE, QStringLiteral("B-2"));
        const QStringList report = TestDb::schema().upgrade(conn);
        QCOMPARE(report.size(), 2);
        QVERIFY2(report.at(0).startsWith(QStringLiteral("mmst381: 3 rows of Order_No=")), qPrintable(report.at(0)));
        QVERIFY2(report.at(0).endsWith(QStringLiteral(", Mtr_Amt = 5.5")), qPrintable(report.at(0)));
        QCOMPARE(report.at(1), QStringLiteral("mmst381: index %1 created").arg(Dialect::indexName(*t, number)));
        const ResultSet b = rows(QStringLiteral("mmst381"), QStringLiteral("Rec_381"));
        QCOMPARE(b.rowCount(), 2);
        QCOMPARE(b.value(0, "Mtr_Amt").toDouble(), 5.5);
        QCOMPARE(b.text(0, "Order_No"), ORD); // the first row of the key stays
        QCOMPARE(b.value(1, "Mtr_Amt").toDouble(), 9.0);
        QVERIFY_THROWS_EXCEPTION(ErpError, balance(1, 1));
        QCOMPARE(TestDb::schema().upgrade(conn), QStringList());
    }

    // The ledger's idea of the key is the one the schema declares.
    void balanceIndexIsTheSchemas()
    {
        const TableDef *t = TestDb::schema().table(QStringLiteral("mmst381"));
        QVERIFY(t);
        QVERIFY(balanceIndexNumber(*t) > 0);
        const IndexDef &declared = t->indexes.at(balanceIndexNumber(*t) - 1);
        const IndexDef &ledger = StockLedger::balanceIndex();
        QVERIFY(declared.unique);
        QCOMPARE(declared.columns, ledger.columns);
        QCOMPARE(declared.nullAsEmpty, ledger.nullAsEmpty);
        QCOMPARE(declared.mergeSum, ledger.mergeSum);
    }

    // Price -1 asks for the receipt's price. It must never reach a balance
    // or the average as a price of its own.
    void receiptPrice_data()
    {
        QTest::addColumn<QString>("stock");
        QTest::addColumn<double>("qty");
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("average");
        QTest::newRow("new balance, receipt's other balance at 2.5")
            << "other" << 3.0 << 2.5 << (10 * 2 + 3 * 2.5) / 13;
        QTest::newRow("existing balance at 3") << "key" << 2.0 << 3.0 << (6 * 2 + 2 * 3.0) / 8;
        QTest::newRow("no price anywhere") << "none" << 3.0 << 0.0 << 2.0;
        QTest::newRow("issue leaves the average") << "key" << -2.0 << 3.0 << 2.0;
    }
    void receiptPrice()
    {
        QFETCH(QString, stock);
        QFETCH(double, qty);
        QFETCH(double, price);
        QFETCH(double, average);
        if (stock == QLatin1String("other"))
            balance(7, 2.5, TYPE, QStringLiteral("B-2"));
        else if (stock == QLatin1String("key"))
            balance(4, 3);
        const double asked = ledger().PostStockBalance(key(), qty, -1);
        QCOMPARE(asked, price);
        QCOMPARE(
            Sql(conn, QStringLiteral("SELECT Mtr_Prs FROM mmst381 WHERE Bar_No = ?")).bind(BAR).scalar().toDouble(),
            stock == QLatin1String("key") ? 3.0 : price);
        QVERIFY2(qAbs(avgCost() - average) < 1e-6, qPrintable(QString::number(avgCost(), 'f', 8)));
    }

    void averageCost_data()
    {
        QTest::addColumn<QVariant>("stock");
        QTest::addColumn<double>("qty");
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("average");
        QTest::newRow("nothing in stock") << QVariant() << 2.0 << 5.0 << 5.0;
        QTest::newRow("stock and receipt cancel: standard cost") << QVariant(-3.0) << 3.0 << 4.0 << 9.0;
    }
    void averageCost()
    {
        QFETCH(QVariant, stock);
        QFETCH(double, qty);
        QFETCH(double, price);
        QFETCH(double, average);
        if (stock.isValid())
            balance(stock, 1);
        ledger().UpdateAvgCost(MTR, qty, price);
        QVERIFY2(qAbs(avgCost() - average) < 1e-6, qPrintable(QString::number(avgCost(), 'f', 8)));
    }

    void insertJournal_data()
    {
        QTest::addColumn<QString>("dMoNo");
        QTest::addColumn<double>("price");
        QTest::addColumn<bool>("earlierRow");
        QTest::addColumn<QString>("storedDMoNo");
        QTest::addColumn<double>("storedPrice");
        QTest::newRow("empty d_mo_no takes mo_no, price looked up") << " " << 0.0 << true << MO << 3.25;
        QTest::newRow("given values kept") << "MO-9" << 1.5 << true << "MO-9" << 1.5;
        QTest::newRow("no earlier row: price 0") << "" << 0.0 << false << MO << 0.0;
    }
    void insertJournal()
    {
        QFETCH(QString, dMoNo);
        QFETCH(double, price);
        QFETCH(bool, earlierRow);
        QFETCH(QString, storedDMoNo);
        QFETCH(double, storedPrice);
        if (earlierRow)
            journal(QStringLiteral("LL000"), ISSUE, ORD, MO, TYPE, COLOR, 3.25);
        const StockLedger::JournalRow written =
            ledger().InsertStockJournal(QStringLiteral("LL001"), QDate(2007, 12, 18), ISSUE, key(), -6, price, dMoNo);
        QCOMPARE(written.dMoNo, storedDMoNo);
        QCOMPARE(written.price, storedPrice);
        const ResultSet j = Sql(conn, QStringLiteral("SELECT * FROM mmst388 WHERE Inv_No = 'LL001'")).select();
        QCOMPARE(j.rowCount(), 1);
        const QStringList texts{j.text(0, "Inv_Type"), j.text(0, "Inv_Date"), j.text(0, "Order_No"),
                                j.text(0, "Mo_No"),    j.text(0, "Frm_Inv"),  j.text(0, "Frm_Type"),
                                j.text(0, "Mtr_No"),   j.text(0, "Bar_No"),   j.text(0, "Color_No"),
                                j.text(0, "Upd_Name"), j.text(0, "Upd_Date"), j.text(0, "d_mo_no")};
        QCOMPARE(texts, (QStringList{ISSUE, "2007-12-18", ORD, MO, INV, TYPE, MTR, BAR, COLOR, "王五", "2007-12-20",
                                     storedDMoNo}));
        QCOMPARE(j.value(0, "Mtr_Amt").toDouble(), -6.0);
        QCOMPARE(j.value(0, "Mtr_Prs").toDouble(), storedPrice);
        QVERIFY(!j.value(0, "d_order_no").isNull());
        QCOMPARE(j.text(0, "d_order_no"), QString());
    }

    void deleteJournal()
    {
        journal(QStringLiteral("LL001"), ISSUE, QVariant(), QVariant(), TYPE, COLOR, 1); // null parts read as empty
        journal(QStringLiteral("LL001"), ISSUE, QStringLiteral(""), QStringLiteral(""), QStringLiteral("B"), COLOR,
                1); // other type and date
        journal(QStringLiteral("LL001"), QStringLiteral("生产退料单"), QStringLiteral(""), QStringLiteral(""), TYPE,
                COLOR, 1);
        journal(QStringLiteral("LL002"), ISSUE, QStringLiteral(""), QStringLiteral(""), TYPE, COLOR, 1);
        journal(QStringLiteral("LL001"), ISSUE, QStringLiteral(""), QStringLiteral(""), TYPE, QStringLiteral("BLUE"),
                1);
        ledger().DeleteStockJournal(QStringLiteral("LL001"), ISSUE,
                                    StockKey({}, QStringLiteral(" "), INV, TYPE, MTR, BAR, COLOR));
        const ResultSet left = rows(QStringLiteral("mmst388"), QStringLiteral("Rec_388"));
        QStringList kept;
        for (qint64 i = 0; i < left.rowCount(); ++i)
            kept << left.text(i, "Inv_No") + QLatin1Char('/') + left.text(i, "Inv_Type") + QLatin1Char('/') +
                        left.text(i, "Color_No");
        QCOMPARE(kept, (QStringList{"LL001/生产退料单/RED", "LL002/生产领料单/RED", "LL001/生产领料单/BLUE"}));
    }

    // A key is trimmed once and binds its parts in one order whichever are compared.
    void keyCondition()
    {
        const StockKey k({}, QStringLiteral(" MO-1 "), INV, QStringLiteral(" A "), MTR, BAR, QStringLiteral("RED "));
        QCOMPARE(k.moNo, MO);
        QCOMPARE(k.frmType, TYPE);
        QCOMPARE(k.colorNo, COLOR);
        const Statement all = k.condition(conn.dialect());
        QCOMPARE(all.values, (QList<QVariant>{QString(""), MO, INV, TYPE, MTR, BAR, COLOR}));
        QCOMPARE(all.text.count(QLatin1Char('?')), 7);
        const Statement noType = k.condition(conn.dialect(), StockKey::All & ~StockKey::Type);
        QCOMPARE(noType.values, (QList<QVariant>{QString(""), MO, INV, MTR, BAR, COLOR}));
        QVERIFY(!noType.text.contains(QStringLiteral("Frm_Type")));
        QVERIFY(all.text.contains(QStringLiteral("Frm_Type = ?")));
    }

    // Two users approve issues of 6 from a balance of 10 at the same moment.
    // The first checks and posts inside its transaction and commits a little
    // later; the second must wait for it, then see 4 and refuse.
    void twoUsersDrawTheLastUnits()
    {
        balance(10, 1);
        std::promise<bool> posted;
        std::promise<void> done;
        std::thread first([&, url = conn.url()] {
            Connection other = Connection::open(url);
            {
                Transaction tx(other, Transaction::Write);
                const StockLedger ledger(other, user);
                const bool ok = ledger.CheckStockAvailable(key(), 6);
                ledger.PostStockBalance(key(), -6);
                posted.set_value(ok);
                std::this_thread::sleep_for(std::chrono::milliseconds(600));
                tx.commit();
            }
            other.close();
            done.set_value();
        });
        const bool firstAllowed = posted.get_future().get();
        QElapsedTimer waited;
        waited.start();
        bool secondAllowed = true;
        {
            Transaction tx(conn, Transaction::Write);
            secondAllowed = check(6);
        }
        const qint64 ms = waited.elapsed();
        done.get_future().wait();
        first.join();
        qInfo("second user waited %lld ms for the first to commit", ms);
        QVERIFY(firstAllowed);
        QVERIFY(!secondAllowed);
        QVERIFY2(ms >= 300, "the second user did not wait for the first");
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Mtr_Amt FROM mmst381")).scalar().toDouble(), 4.0);
    }

    // SQL Server cannot run here; its statements are checked as text.
    void dialectText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const Dialect &ms = Dialect::of(Backend::SqlServer);
        const Dialect &pg = Dialect::of(Backend::PostgreSQL);
        QTest::newRow("SQL Server row lock") << ms.lockedRows("mmst381", "Mtr_Amt", "Mtr_No = ?")
                                             << "SELECT Mtr_Amt FROM mmst381 WITH (UPDLOCK, ROWLOCK) WHERE Mtr_No = ?";
        QTest::newRow("SQL Server exact text") << ms.exactText("Lock") << "Lock COLLATE Chinese_PRC_BIN";
        QTest::newRow("SQL Server length") << ms.textLength("Inv_No") << "LEN(Inv_No)";
        QTest::newRow("PostgreSQL row lock") << pg.lockedRows("mmst381", "Mtr_Amt", "Mtr_No = ?")
                                             << "SELECT Mtr_Amt FROM mmst381 WHERE Mtr_No = ? FOR UPDATE";

        const IndexDef &key = StockLedger::balanceIndex();
        const TableDef &table = *TestDb::schema().table(QStringLiteral("mmst381"));
        const int n = balanceIndexNumber(table);
        const QStringList cols{"Order_No", "Mtr_No", "Mtr_Amt", "Upd_Name"};
        const IndexDef small{{"Order_No", "Mtr_No"}, true, {"Order_No"}, "Mtr_Amt"};
        QTest::newRow("SQL Server key columns")
            << ms.beforeIndex(table, key).join(" | ")
            << "ALTER TABLE mmst381 ADD Key_Order_No AS COALESCE(Order_No, '') COLLATE Chinese_PRC_CI_AS PERSISTED | "
               "ALTER TABLE mmst381 ADD Key_Mo_No AS COALESCE(Mo_No, '') COLLATE Chinese_PRC_CI_AS PERSISTED | "
               "ALTER TABLE mmst381 ADD Key_Color_No AS COALESCE(Color_No, '') COLLATE Chinese_PRC_CI_AS PERSISTED";
        QTest::newRow("SQL Server key index")
            << ms.createIndex(table, key, n)
            << QStringLiteral("CREATE UNIQUE INDEX ix_mmst381_%1 ON mmst381 (Key_Order_No, Key_Mo_No, Frm_Inv, "
                              "Frm_Type, Mtr_No, Bar_No, Key_Color_No)")
                   .arg(n);
        QTest::newRow("PostgreSQL key index")
            << pg.createIndex(table, key, n)
            << QStringLiteral(
                   "CREATE UNIQUE INDEX ix_mmst381_%1 ON mmst381 ((COALESCE(Order_No, '')) COLLATE erp_code, "
                   "(COALESCE(Mo_No, '')) COLLATE erp_code, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                   "(COALESCE(Color_No, '')) COLLATE erp_code)")
                   .arg(n);
        QTest::newRow("SQLite key index")
            << Dialect::of(Backend::SQLite).createIndex(table, key, n)
            << QStringLiteral("CREATE UNIQUE INDEX ix_mmst381_%1 ON mmst381 (COALESCE(Order_No, '') COLLATE ERPCODE, "
                              "COALESCE(Mo_No, '') COLLATE ERPCODE, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                              "COALESCE(Color_No, '') COLLATE ERPCODE)")
                   .arg(n);
        QTest::newRow("SQL Server insert or add")
            << ms.insertOrAdd("mmst381", cols, small, "Mtr_Amt", {"Upd_Name"})
            << "MERGE mmst381 WITH (HOLDLOCK) AS t USING (SELECT ? AS Order_No, ? AS Mtr_No, ? AS Mtr_Amt, ? AS "
               "Upd_Name) AS s ON COALESCE(t.Order_No, '') COLLATE Chinese_PRC_CI_AS = COALESCE(s.Order_No, '') "
               "COLLATE Chinese_PRC_CI_AS AND t.Mtr_No = s.Mtr_No WHEN MATCHED THEN UPDATE SET Mtr_Amt = "
               "COALESCE(t.Mtr_Amt, 0) + s.Mtr_Amt, Upd_Name = s.Upd_Name WHEN NOT MATCHED THEN INSERT (Order_No, "
               "Mtr_No, Mtr_Amt, Upd_Name) VALUES (s.Order_No, s.Mtr_No, s.Mtr_Amt, s.Upd_Name) OUTPUT "
               "inserted.Mtr_Amt;";
        QTest::newRow("PostgreSQL insert or add")
            << pg.insertOrAdd("mmst381", cols, small, "Mtr_Amt", {"Upd_Name"})
            << "INSERT INTO mmst381 (Order_No, Mtr_No, Mtr_Amt, Upd_Name) VALUES (?, ?, ?, ?) ON CONFLICT "
               "((COALESCE(Order_No, '')) COLLATE erp_code, Mtr_No) DO UPDATE SET Mtr_Amt = COALESCE(mmst381.Mtr_Amt, "
               "0) + EXCLUDED.Mtr_Amt, Upd_Name = EXCLUDED.Upd_Name RETURNING Mtr_Amt";
        QTest::newRow("deadlocks are retried") << QStringLiteral("%1%2%3%4%5")
                                                      .arg(pg.isTransient("40P01"))
                                                      .arg(pg.isTransient("40001"))
                                                      .arg(ms.isTransient("1205"))
                                                      .arg(Dialect::of(Backend::SQLite).isTransient("5"))
                                                      .arg(pg.isTransient("23505"))
                                               << "11110";
    }
    void dialectText()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TstStockLedger)
#include "tst_stockledger.moc"
