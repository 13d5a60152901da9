// Usage import: what is proposed from bills of material, outsourcing orders,
// earlier documents and stock, and what the save writes.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "lines/UsageImportStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QTest>

#include <limits>

class TstUsageImport : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;
    qint64 so1 = 0, mo1 = 0, mo2 = 0, f001 = 0, f002 = 0, pcs1 = 0, pcs2 = 0;

    qint64 insert(const QString &sql, const QString &key, const QList<QVariant> &values)
    {
        return Sql(conn, sql).bindAll(values).insert(key);
    }
    qint64 material(const QString &no, const QString &type)
    {
        return insert(QStringLiteral("INSERT INTO mmst611 (Mtr_No, Type) VALUES (?, ?)"), QStringLiteral("Rec_611"),
                      {no, type});
    }
    qint64 order(const QString &no, const QString &status = QStringLiteral("2"))
    {
        return insert(QStringLiteral("INSERT INTO mmst011 (Order_No, Status) VALUES (?, ?)"), QStringLiteral("Rec_011"),
                      {no, status});
    }
    qint64 mo(const QString &no, qint64 rec011)
    {
        return insert(
            QStringLiteral("INSERT INTO mmst111 (Mo_No, Rec_011, Mtr_Model, Status) VALUES (?, ?, 'BP01', '2')"),
            QStringLiteral("Rec_111"), {no, rec011});
    }
    void bom(const QString &table, qint64 parent, double amt, double loss)
    {
        const QString cols = table == QLatin1String("Mmst1141") ? QStringLiteral("Rec_111, Rec_611, Mtr_Amt, Mtr_Loss")
                                                                : QStringLiteral("Rec_011, Rec_611, Mtr_Amt, Mtr_Loss");
        TestDb::exec(conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?, ?, ?)").arg(table, cols),
                     {parent, f001, amt, loss});
    }
    void stock(const QString &frmInv, double qty, const QString &orderNo = QStringLiteral("SO1"),
               const QString &moNo = QStringLiteral("MO1"), const QString &color = QStringLiteral(""),
               const QString &supl = QStringLiteral(""), const QString &bar = QStringLiteral("W01"))
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                           "Mtr_Amt, Supl_No, Prod_No, Prod_Name, Duty_Weight) "
                           "VALUES (?, ?, ?, 'A', 'F001', ?, ?, ?, ?, 'P9', '手柄', 0.5)"),
            {orderNo, moNo, frmInv, bar, color, qty, supl});
    }
    // A document with one line of F001 (or another material).
    qint64 issued(const QString &invType, double qty, const QString &orderNo = QStringLiteral("SO1"),
                  const QString &moNo = QStringLiteral("MO1"), const QVariant &pcsNo = {}, qint64 rec611 = 0)
    {
        const qint64 rec411 =
            insert(QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Inv_Date, Status, Stock_Mode, Pcs_No) "
                                  "VALUES (?, ?, '2026-12-01', '0', '2', ?)"),
                   QStringLiteral("Rec_411"), {QStringLiteral("D%1").arg(++docs), invType, pcsNo});
        if (qty != 0)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Order_No, Mo_No, Mtr_Amt) "
                                        "VALUES (?, ?, 'OLD', ?, ?, ?)"),
                         {rec411, rec611 ? rec611 : f001, orderNo, moNo, qty});
        return rec411;
    }
    int docs = 0;
    // A document of one of the two further material families (mmst407/408 or mmst452/4521).
    void further(const QString &head, const QString &line, const QString &invType, double qty)
    {
        const QString key = QStringLiteral("Rec_") + head.mid(4);
        const qint64 h =
            insert(QStringLiteral("INSERT INTO %1 (Inv_No, Inv_Type) VALUES ('X1', ?)").arg(head), key, {invType});
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO %1 (%2, Rec_611, Order_No, Mo_No, Mtr_Amt) VALUES (?, ?, 'SO1', 'MO1', ?)")
                .arg(line, key),
            {h, f001, qty});
    }
    static UsageCriteria criteria(int mode = 2, bool byOrder = false)
    {
        UsageCriteria c;
        c.moNo = byOrder ? QString() : QStringLiteral("MO1");
        c.byOrder = byOrder;
        c.stockMode = mode;
        return c;
    }
    ResultSet propose(const UsageCriteria &c) { return UsageImportStore(conn).proposals(c); }
    // Each row as "receipt[/colour][/supplier]:proposed".
    static QStringList takes(const ResultSet &rs)
    {
        QStringList out;
        for (qint64 i = 0; i < rs.rowCount(); ++i) {
            QString source = rs.text(i, QStringLiteral("Frm_Inv"));
            for (const char *extra : {"Color_No", "Supl_No"})
                if (!rs.text(i, QLatin1String(extra)).trimmed().isEmpty())
                    source += QLatin1Char('/') + rs.text(i, QLatin1String(extra)).trimmed();
            out << source + QLatin1Char(':') + rs.text(i, QStringLiteral("Mtr_Amt"));
        }
        return out;
    }
    // Every proposed row ticked, read back from its cells as the dialog does.
    static UsageSave ticked(qint64 rec411, const ResultSet &rs)
    {
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}, {}};
        for (qint64 i = 0; i < rs.rowCount(); ++i) {
            QStringList cells{QString::number(i + 1)};
            for (int c = 0; c < rs.columnCount(); ++c)
                cells << rs.text(i, c);
            s.lines << *UsageLine::fromCells(cells);
        }
        return s;
    }
    ResultSet written(qint64 rec411)
    {
        return Sql(conn, QStringLiteral("SELECT * FROM Mmst412 WHERE Rec_411 = ? ORDER BY Rec_412"))
            .bind(rec411)
            .select();
    }
    UsageLine line(const QString &frmInv = {}) const
    {
        UsageLine l;
        l.moNo = QStringLiteral("MO1");
        l.orderNo = QStringLiteral("SO1");
        l.rec611 = f001;
        l.mtrAmt = 1;
        l.frmInv = frmInv;
        return l;
    }
    qint64 lineCount() { return Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toLongLong(); }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        docs = 0;
        f001 = material(QStringLiteral("F001"), QStringLiteral("0"));
        f002 = material(QStringLiteral("F002"), QStringLiteral("0"));
        so1 = order(QStringLiteral("SO1"));
        mo1 = mo(QStringLiteral("MO1"), so1);
        mo2 = mo(QStringLiteral("MO2"), order(QStringLiteral("SO2")));
        bom(QStringLiteral("Mmst1141"), mo1, 9, 1);
        pcs1 = insert(QStringLiteral("INSERT INTO mmst121 (Pcs_No) VALUES ('WF1')"), QStringLiteral("Rec_121"), {});
        pcs2 = insert(QStringLiteral("INSERT INTO mmst121 (Pcs_No) VALUES ('WF2')"), QStringLiteral("Rec_121"), {});
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '一号仓')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst000 (Comp_No, Rpt_Dir) VALUES ('01', 'Report')"));
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void eachSourceIsCappedByItselfAndTheNeed()
    {
        stock(QStringLiteral("PI1"), 6);
        stock(QStringLiteral("PI2"), 8);
        const ResultSet rs = propose(criteria());
        QCOMPARE(takes(rs), (QStringList{"PI2:8", "PI1:6"}));
        // Grid column n is result column n - 1.
        QStringList shown;
        for (int col : {2, 3, 5, 10, 11, 12, 13, 17, 19, 24})
            shown << rs.text(0, col - 1);
        QCOMPARE(shown, (QStringList{"MO1", "SO1", "F001", "8", "10", "0", "10", "采购入库", "一号仓", "BP01"}));

        // Ticking both takes 14 of a need of 10: no row sees what the others propose.
        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        QCOMPARE(UsageImportStore(conn).writeLines(ticked(rec411, rs)), qint64(2));
        const ResultSet w = written(rec411);
        QCOMPARE(w.value(0, QStringLiteral("Mtr_Amt")).toDouble() + w.value(1, QStringLiteral("Mtr_Amt")).toDouble(),
                 14.0);
    }

    void issuedQuantityReducesTheNeed_data()
    {
        // issue, supplementary issue, return, mmst408, mmst4521 and a line of
        // a kind the module does not make, which counts as a return does
        QTest::addColumn<QList<double>>("issues");
        QTest::addColumn<QStringList>("expected"); // PI1 holds 4, PI2 holds 1
        QTest::addColumn<QString>("total");
        QTest::newRow("lines and both further families")
            << QList<double>{5, 0, 0, 2, 1} << QStringList{"PI1:2", "PI2:1"} << "8";
        QTest::newRow("returns count back") << QList<double>{10, 0, 4, 0, 0} << QStringList{"PI1:4", "PI2:1"} << "6";
        QTest::newRow("supplementary issue counts")
            << QList<double>{6, 3, 0, 0, 0} << QStringList{"PI1:1", "PI2:1"} << "9";
        QTest::newRow("fully covered") << QList<double>{6, 4, 0, 0, 0} << QStringList{} << "";
        QTest::newRow("over-issued") << QList<double>{12, 0, 0, 0, 0} << QStringList{} << "";
        QTest::newRow("further family returns")
            << QList<double>{0, 0, 0, -3, 9} << QStringList{"PI1:4", "PI2:1"} << "6";
        QTest::newRow("other kinds count negative")
            << QList<double>{10, 0, 0, 0, 0, 4} << QStringList{"PI1:4", "PI2:1"} << "6";
    }
    void issuedQuantityReducesTheNeed()
    {
        QFETCH(QList<double>, issues);
        QFETCH(QStringList, expected);
        QFETCH(QString, total);
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 1);
        // Open documents count as much as approved ones.
        for (int kind = 0; kind < 3; ++kind)
            issued(QString::number(kind == 0 ? 1 : kind == 1 ? 3 : 2), issues[kind]);
        if (issues[3] != 0)
            further(QStringLiteral("mmst407"), QStringLiteral("mmst408"),
                    issues[3] > 0 ? QStringLiteral("1") : QStringLiteral("2"), qAbs(issues[3]));
        if (issues[4] != 0)
            further(QStringLiteral("mmst452"), QStringLiteral("mmst4521"), QStringLiteral("1"), issues[4]);
        if (issues.size() > 5)
            issued(QStringLiteral("9"), issues[5]);
        // Lines of another manufacturing order or material do not count.
        issued(QStringLiteral("1"), 50, QStringLiteral("SO2"), QStringLiteral("MO2"));
        issued(QStringLiteral("1"), 50, QStringLiteral("SO1"), QStringLiteral("MO1"), {}, f002);

        const ResultSet rs = propose(criteria());
        QCOMPARE(takes(rs), expected);
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            QCOMPARE(rs.text(i, QStringLiteral("Total_Amt")), total);
    }

    void siteCodeProposesTheWholeNeedForManufacturingOrdersOnly()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE mmst000 SET Rpt_Dir = ?"),
                     {QString::fromLatin1(UsageImportStore::UncappedSiteCode)});
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 1);
        issued(QStringLiteral("1"), 3);
        QCOMPARE(takes(propose(criteria())), (QStringList{"PI1:7", "PI2:7"}));
        // The order family stays capped: 7 still needed, 4 held.
        bom(QStringLiteral("Mmst01123"), so1, 10, 0);
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        QCOMPARE(takes(propose(criteria(1, true))), (QStringList{"ORD:4"}));
        // So does the outsourcing family: 10 needed, each source proposes what it holds.
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (?, ?, ?, 9, 1)"),
                     {pcs1, mo1, f001});
        UsageCriteria outsourcing = criteria();
        outsourcing.production = false;
        outsourcing.pcsNo = QStringLiteral("WF1");
        QCOMPARE(takes(propose(outsourcing)), (QStringList{"PI1:4", "PI2:1"}));
    }

    void stockModeChoosesTheSources_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("byOrder");
        QTest::addColumn<QStringList>("expected");
        // By material the bill-of-material families compare with the empty
        // code: a row whose order is null is not free stock to them.
        QTest::newRow("by material: stock of no order") << 0 << false << QStringList{"FREE:3"};
        QTest::newRow("by order: own order, no manufacturing order") << 1 << false << QStringList{"ORD:4"};
        QTest::newRow("by manufacturing order") << 2 << false << QStringList{"MO:5"};
        QTest::newRow("unknown mode reads as by manufacturing order") << -1 << false << QStringList{"MO:5"};
        QTest::newRow("order family by material") << 0 << true << QStringList{"FREE:3"};
        QTest::newRow("order family by order") << 1 << true << QStringList{"ORD:4"};
        QTest::newRow("order family by manufacturing order") << 2 << true << QStringList{"ORD:4"};
    }
    void stockModeChoosesTheSources()
    {
        QFETCH(int, mode);
        QFETCH(bool, byOrder);
        QFETCH(QStringList, expected);
        stock(QStringLiteral("FREE"), 3, QStringLiteral(""), QStringLiteral(""));
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst381 (Frm_Inv, Frm_Type, Mtr_No, Bar_No, Mtr_Amt) VALUES ('NULLS', 'A', 'F001', 'W01', 2)"));
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        stock(QStringLiteral("MO"), 5);
        stock(QStringLiteral("OTHER"), 6, QStringLiteral("SO2"), QStringLiteral(""));
        stock(QStringLiteral("OTHERMO"), 7, QStringLiteral("SO2"), QStringLiteral("MO2"));
        stock(QStringLiteral("EMPTY"), 0);
        stock(QStringLiteral("NEG"), -2, QStringLiteral(""), QStringLiteral(""));
        bom(QStringLiteral("Mmst01123"), so1, 10, 0);
        const ResultSet rs = propose(criteria(mode, byOrder));
        QCOMPARE(takes(rs), expected);
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            QCOMPARE(rs.text(i, QStringLiteral("Mo_No")) + rs.text(i, QStringLiteral("Order_No")),
                     byOrder ? QStringLiteral("SO1") : QStringLiteral("MO1SO1"));
    }

    void outsourcingFreeStockReadsNullsAsEmpty()
    {
        // By material the outsourcing family reads a null order as none.
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (?, ?, ?, 9, 1)"),
                     {pcs1, mo1, f001});
        stock(QStringLiteral("FREE"), 3, QStringLiteral(""), QStringLiteral(""));
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst381 (Frm_Inv, Frm_Type, Mtr_No, Bar_No, Mtr_Amt) VALUES ('NULLS', 'A', 'F001', 'W01', 2)"));
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        UsageCriteria c = criteria(0);
        c.production = false;
        c.pcsNo = QStringLiteral("WF1");
        QCOMPARE(takes(propose(c)), (QStringList{"FREE:3", "NULLS:2"}));
    }

    void criteriaArePrefixesWithoutRegardToCase()
    {
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 4, QStringLiteral("SO2"), QStringLiteral("MO2"));
        bom(QStringLiteral("Mmst1141"), mo2, 1, 0);
        UsageCriteria c = criteria();
        c.moNo = QStringLiteral(" mo ");
        QCOMPARE(takes(propose(c)), (QStringList{"PI1:4", "PI2:1"}));
        c.orderNo = QStringLiteral("so2");
        QCOMPARE(takes(propose(c)), (QStringList{"PI2:1"}));
        c.moNo = QStringLiteral("MO1' OR '1'='1");
        QCOMPARE(propose(c).rowCount(), qint64(0));
        // Manufacturing orders not approved are not proposed.
        TestDb::exec(conn, QStringLiteral("UPDATE mmst111 SET Status = '0'"));
        QCOMPARE(propose(criteria()).rowCount(), qint64(0));
    }

    void orderFamilyCountsEveryDocumentOfTheOrder()
    {
        bom(QStringLiteral("Mmst01123"), so1, 8, 2);
        stock(QStringLiteral("PI1"), 9, QStringLiteral("SO1"), QStringLiteral(""));
        issued(QStringLiteral("1"), 3);
        issued(QStringLiteral("1"), 2, QStringLiteral("SO1"), QStringLiteral(""));
        issued(QStringLiteral("2"), 1, QStringLiteral("SO1"), QStringLiteral("MO9"));
        const ResultSet rs = propose(criteria(1, true));
        QCOMPARE(takes(rs), (QStringList{"PI1:6"}));
        QCOMPARE(rs.text(0, QStringLiteral("Total_Amt")), QStringLiteral("4"));
        QCOMPARE(rs.text(0, QStringLiteral("Mtr_Model")), QString());
        TestDb::exec(conn, QStringLiteral("UPDATE mmst011 SET Status = '0'"));
        QCOMPARE(propose(criteria(1, true)).rowCount(), qint64(0));
    }

    void outsourcingCountsOnlyItsOwnDocuments()
    {
        for (const auto &[rec121, amt] : {std::pair{pcs1, 9.0}, std::pair{pcs2, 20.0}})
            TestDb::exec(
                conn,
                QStringLiteral(
                    "INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (?, ?, ?, ?, 1)"),
                {rec121, mo1, f001, amt});
        stock(QStringLiteral("PI1"), 30);
        issued(QStringLiteral("1"), 4, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("WF1"));
        issued(QStringLiteral("2"), 1, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("WF1"));
        issued(QStringLiteral("1"), 5, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("WF2"));
        issued(QStringLiteral("1"), 5);      // a production issue of the same manufacturing order
        UsageCriteria c = criteria(2, true); // by order is not for outsourcing documents
        c.production = false;
        c.pcsNo = QStringLiteral(" WF1 ");
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), (QStringList{"PI1:7"}));
        QCOMPARE(rs.text(0, QStringLiteral("Out_Amt")) + QLatin1Char('/') + rs.text(0, QStringLiteral("Total_Amt")),
                 QStringLiteral("10/3"));
        c.pcsNo = QStringLiteral("WF2");
        QCOMPARE(takes(propose(c)), (QStringList{"PI1:16"}));
        c.pcsNo.clear();
        QCOMPARE(propose(c).rowCount(), qint64(0));
    }

    // A balance or line whose codes differ from the need's only by case is
    // the need's own, in every family and mode.
    void codesPairWithoutRegardToCase_data()
    {
        QTest::addColumn<int>("family"); // UsageFamily
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("stockOrder");
        QTest::addColumn<QString>("stockMo");
        const int mo = int(UsageFamily::ManufacturingOrder), order = int(UsageFamily::Order),
                  out = int(UsageFamily::Outsourcing);
        QTest::newRow("manufacturing order by material") << mo << 0 << QStringLiteral("") << QStringLiteral("");
        QTest::newRow("manufacturing order by order") << mo << 1 << QStringLiteral("so1") << QStringLiteral("");
        QTest::newRow("manufacturing order by manufacturing order")
            << mo << 2 << QStringLiteral("so1") << QStringLiteral("mo1");
        QTest::newRow("order by order") << order << 1 << QStringLiteral("So1") << QStringLiteral("");
        QTest::newRow("order by manufacturing order") << order << 2 << QStringLiteral("sO1") << QStringLiteral("");
        QTest::newRow("outsourcing by material") << out << 0 << QStringLiteral("") << QStringLiteral("");
        QTest::newRow("outsourcing by manufacturing order")
            << out << 2 << QStringLiteral("sO1") << QStringLiteral("Mo1");
    }
    void codesPairWithoutRegardToCase()
    {
        QFETCH(int, family);
        QFETCH(int, mode);
        QFETCH(QString, stockOrder);
        QFETCH(QString, stockMo);
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                           "Mtr_Amt) VALUES (?, ?, 'CASE', 'A', 'f001', 'W01', '', 8)"),
            {stockOrder, stockMo});
        UsageCriteria c = criteria(mode, family == int(UsageFamily::Order));
        if (family == int(UsageFamily::Order))
            bom(QStringLiteral("Mmst01123"), so1, 10, 0);
        if (family == int(UsageFamily::Outsourcing)) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) "
                                        "VALUES (?, ?, ?, 9, 1)"),
                         {pcs1, mo1, f001});
            c.production = false;
            c.pcsNo = QStringLiteral("WF1");
        }
        const QVariant pcs = family == int(UsageFamily::Outsourcing) ? QVariant(QStringLiteral("wf1")) : QVariant();
        issued(QStringLiteral("1"), 2, QStringLiteral("so1"), QStringLiteral("mO1"), pcs);
        issued(QStringLiteral("1"), 1, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), (QStringList{"CASE:7"}));
        QCOMPARE(rs.text(0, QStringLiteral("Total_Amt")), QStringLiteral("3"));
    }

    // Wildcards the user types keep their meaning for the needs, the stock
    // and the lines alike.
    void typedWildcardsMatchAsTyped_data()
    {
        QTest::addColumn<QString>("moNo");
        QTest::addColumn<QString>("orderNo");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one character") << "MO_"
                                       << "" << QStringList{"PI1:4", "PI2:2"};
        QTest::newRow("any run") << "%2"
                                 << "" << QStringList{"PI2:2"};
        QTest::newRow("in the order") << ""
                                      << "_O1" << QStringList{"PI1:4"};
        QTest::newRow("matching nothing") << "MO1_"
                                          << "" << QStringList{};
    }
    void typedWildcardsMatchAsTyped()
    {
        QFETCH(QString, moNo);
        QFETCH(QString, orderNo);
        QFETCH(QStringList, expected);
        bom(QStringLiteral("Mmst1141"), mo2, 3, 0);
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 4, QStringLiteral("SO2"), QStringLiteral("MO2"));
        issued(QStringLiteral("1"), 3);
        issued(QStringLiteral("1"), 1, QStringLiteral("SO2"), QStringLiteral("MO2"));
        UsageCriteria c = criteria();
        c.moNo = moNo;
        c.orderNo = orderNo;
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), expected);
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            QCOMPARE(rs.text(i, QStringLiteral("Total_Amt")),
                     rs.text(i, QStringLiteral("Mo_No")) == QLatin1String("MO1") ? QStringLiteral("3")
                                                                                 : QStringLiteral("1"));
    }

    // Only issues and supplementary issues add: a return, a kind of no known
    // code, a header without a kind and a line without a header subtract. The
    // outsourcing family counts only lines of its own documents.
    void kindsOtherThanIssuesSubtractInEveryFamily_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("total");
        QTest::newRow("manufacturing order") << int(UsageFamily::ManufacturingOrder) << "PI1:7"
                                             << "3";
        QTest::newRow("order") << int(UsageFamily::Order) << "PI1:7"
                               << "3";
        QTest::newRow("outsourcing") << int(UsageFamily::Outsourcing) << "PI1:6"
                                     << "4";
    }
    void kindsOtherThanIssuesSubtractInEveryFamily()
    {
        QFETCH(int, family);
        QFETCH(QString, expected);
        QFETCH(QString, total);
        UsageCriteria c = criteria(1, family == int(UsageFamily::Order));
        stock(QStringLiteral("PI1"), 20, QStringLiteral("SO1"), QStringLiteral(""));
        QVariant pcs;
        if (family == int(UsageFamily::Order))
            bom(QStringLiteral("Mmst01123"), so1, 10, 0);
        if (family == int(UsageFamily::Outsourcing)) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) "
                                        "VALUES (?, ?, ?, 9, 1)"),
                         {pcs1, mo1, f001});
            c.production = false;
            c.pcsNo = QStringLiteral("WF1");
            pcs = QStringLiteral("WF1");
        }
        issued(QStringLiteral("1"), 5, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        issued(QStringLiteral("3"), 2, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        issued(QStringLiteral("2"), 1, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        issued(QStringLiteral("9"), 1, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        const qint64 noKind = issued(QStringLiteral("1"), 1, QStringLiteral("SO1"), QStringLiteral("MO1"), pcs);
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Inv_Type = NULL WHERE Rec_411 = ?"), {noKind});
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Order_No, Mo_No, Mtr_Amt) "
                                    "VALUES (?, ?, 'SO1', 'MO1', 1)"),
                     {noKind + 1000, f001});
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), (QStringList{expected}));
        QCOMPARE(rs.text(0, QStringLiteral("Total_Amt")), total);
    }

    // Two lines of one material in a bill of material each see everything
    // issued of it: what is still needed is per line, not shared out.
    void repeatedBomLinesEachSeeAllThatWasIssued()
    {
        bom(QStringLiteral("Mmst1141"), mo1, 4, 0);
        stock(QStringLiteral("PI1"), 20);
        issued(QStringLiteral("1"), 3);
        const ResultSet rs = propose(criteria());
        QStringList got;
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            got << rs.text(i, QStringLiteral("Out_Amt")) + QLatin1Char('/') + rs.text(i, QStringLiteral("Total_Amt")) +
                       QLatin1Char('/') + rs.text(i, QStringLiteral("Mtr_Amt"));
        got.sort();
        QCOMPARE(got, (QStringList{"10/3/7", "4/3/1"}));
    }

    // A balance of the order whose manufacturing order is null is stock of no
    // manufacturing order by order; by manufacturing order the order family's
    // like on that column leaves it out.
    void nullManufacturingOrderIsNoneOnlyByOrder_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("byOrder");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("manufacturing order by order") << 1 << false << QStringList{"NULLMO:5", "ORD:4"};
        QTest::newRow("order by order") << 1 << true << QStringList{"NULLMO:5", "ORD:4"};
        QTest::newRow("order by manufacturing order") << 2 << true << QStringList{"ORD:4"};
        QTest::newRow("manufacturing order by manufacturing order") << 2 << false << QStringList{"MO:3"};
    }
    void nullManufacturingOrderIsNoneOnlyByOrder()
    {
        QFETCH(int, mode);
        QFETCH(bool, byOrder);
        QFETCH(QStringList, expected);
        bom(QStringLiteral("Mmst01123"), so1, 10, 0);
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                                          "Mtr_Amt) VALUES ('SO1', 'NULLMO', 'A', 'F001', 'W01', '', 5)"));
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        stock(QStringLiteral("MO"), 3);
        QCOMPARE(takes(propose(criteria(mode, byOrder))), expected);
    }

    void supplierNatureFiltersSources_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("propDuty");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("option off: every source, no supplier") << "0"
                                                               << "1" << QStringList{"PI1:5", "PI1:4", "PI1:3"};
        QTest::newRow("其它: neither transfer nor invoice") << "1"
                                                            << "0" << QStringList{"PI1/S3:3"};
        QTest::newRow("可转厂") << "1"
                                << "1" << QStringList{"PI1/S1:5"};
        QTest::newRow("开发票") << "1"
                                << "2" << QStringList{"PI1/S2:4"};
        QTest::newRow("进口: every supplier") << "1"
                                              << "3" << QStringList{"PI1/S1:5", "PI1/S2:4", "PI1/S3:3"};
    }
    void supplierNatureFiltersSources()
    {
        QFETCH(QString, option);
        QFETCH(QString, propDuty);
        QFETCH(QStringList, expected);
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES (?, ?)"),
                     {QString::fromUtf8(UsageImportStore::OptionSupplierNature), option});
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst301 (Supl_No, Supl_Prop) VALUES ('S1', '可转厂'), ('S2', '可开发票'), ('S3', '一般')"));
        // One balance per stock key: each supplier's stock lies at a location of its own.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W02', '二号仓'), "
                                          "('W03', '三号仓')"));
        stock(QStringLiteral("PI1"), 5, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral(""),
              QStringLiteral("S1"));
        stock(QStringLiteral("PI1"), 4, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral(""),
              QStringLiteral("S2"), QStringLiteral("W02"));
        stock(QStringLiteral("PI1"), 3, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral(""),
              QStringLiteral("S3"), QStringLiteral("W03"));
        UsageCriteria c = criteria();
        c.propDuty = propDuty;
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), expected);

        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        UsageImportStore(conn).writeLines(ticked(rec411, rs));
        const ResultSet w = written(rec411);
        const bool on = option == QLatin1String("1");
        for (qint64 i = 0; i < w.rowCount(); ++i) {
            QCOMPARE(w.text(i, QStringLiteral("Prod_No")) + w.text(i, QStringLiteral("Prod_Name")),
                     on ? QStringLiteral("P9手柄") : QString());
            QCOMPARE(w.value(i, QStringLiteral("Duty_Amt")).toDouble(),
                     on ? 0.5 * w.value(i, QStringLiteral("Mtr_Amt")).toDouble() : 0.0);
        }
    }

    void colouredStockIsImportedAndApprovedUnderItsColour()
    {
        stock(QStringLiteral("PI1"), 6, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("BK"));
        stock(QStringLiteral("PI1"), 3, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("NV"));
        const ResultSet rs = propose(criteria());
        QCOMPARE(takes(rs), (QStringList{"PI1/BK:6", "PI1/NV:3"}));
        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        UsageImportStore(conn).writeLines(ticked(rec411, rs));
        QCOMPARE(written(rec411).text(1, QStringLiteral("Color_No")), QStringLiteral("NV"));
        QVERIFY(DocumentStore(conn)
                    .post(DocumentKind::issue(), true, rec411, QStringLiteral("D1"), QDate(2026, 12, 1),
                          QStringLiteral("陈志明"))
                    .posted);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst381")).scalar().toLongLong(), qint64(0));
    }

    void saveWritesEveryColumn()
    {
        stock(QStringLiteral("PI1"), 4);
        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        UsageSave s = ticked(rec411, propose(criteria()));
        s.stockMode = 1;
        s.lines.append(s.lines.first());
        s.lines.last().mtrAmt = 0; // a ticked row with 0 is a line with 0
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(2));
        const ResultSet w = written(rec411);
        QStringList got;
        for (const char *col : {"Mo_No", "Order_No", "Rec_611", "Mtr_Amt", "Frm_Inv", "Frm_Type", "P_Mtr", "Bar_No",
                                "Supl_No", "Stock_Mode", "Upd_Name", "Remark"})
            got << w.text(0, QLatin1String(col));
        QCOMPARE(got, (QStringList{"MO1", "SO1", QString::number(f001), "4", "PI1", "A", "BP01", "W01", "", "1",
                                   "陈志明", ""}));
        QCOMPARE(w.text(0, QStringLiteral("Upd_Date")).left(10), QStringLiteral("2026-12-09"));
        QVERIFY(!w.value(0, QStringLiteral("Supl_No")).isNull()); // key parts are '' and compare with ''
        QVERIFY(w.value(0, QStringLiteral("Remark")).isNull());
        QCOMPARE(w.text(1, QStringLiteral("Mtr_Amt")), QStringLiteral("0"));
        // The document's choice is written as its position, none as -1.
        s.stockMode = -1;
        UsageImportStore(conn).writeLines(s);
        QCOMPARE(written(rec411).text(3, QStringLiteral("Stock_Mode")), QStringLiteral("-1"));
    }

    void saveIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("third line refused by the database") << "duplicate";
        QTest::newRow("negative quantity") << "negative";
        QTest::newRow("quantity not a number") << "nan";
        QTest::newRow("document deleted meanwhile") << "deleted";
    }
    void saveIsAllOrNothing()
    {
        QFETCH(QString, fault);
        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}, {}};
        for (const char *inv : {"PI1", "PI2", "PI3"})
            s.lines << line(QLatin1String(inv));
        if (fault == QLatin1String("duplicate")) {
            TestDb::exec(conn, QStringLiteral("CREATE UNIQUE INDEX ux_usage_test ON Mmst412 (Frm_Inv)"));
            s.lines[2].frmInv = QStringLiteral("PI1");
        } else if (fault == QLatin1String("negative")) {
            s.lines[2].mtrAmt = -1;
        } else if (fault == QLatin1String("nan")) {
            s.lines[2].mtrAmt = std::numeric_limits<double>::quiet_NaN();
        } else {
            s.rec411 = rec411 + 100;
        }
        try {
            UsageImportStore(conn).writeLines(s);
            QFAIL("the save went through");
        } catch (const ErpError &e) {
            if (fault == QLatin1String("negative") || fault == QLatin1String("nan"))
                QCOMPARE(e.description(), QStringLiteral("请输入正确的数据格式!"));
        }
        QCOMPARE(lineCount(), qint64(0));
        // Nothing was left open: the next save goes through.
        s.rec411 = rec411;
        s.lines.removeLast();
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(2));
    }

    void saveTakesMoreThan32767Lines()
    {
        const qint64 rec411 = issued(QStringLiteral("1"), 0);
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}, {}};
        s.lines.fill(line(), 32770);
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(32770));
        QCOMPARE(lineCount(), qint64(32770));
    }

    void lineFromGridCells_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("expected"); // empty: no line
        const QStringList full{"1",   "",       " MO1 ", "SO1", "7",    "F001",  "n",    "d", "c",
                               "u",   "8",      "10",    "0",   "10",   " 2.5 ", "PI1",  "A", "采购入库",
                               "W01", "一号仓", "S1",    "P9",  "手柄", "0.4",   "BP01", "BK"};
        QTest::newRow("full row") << full << "MO1|7|2.5|1|BP01|BK";
        QTest::newRow("statement without model and colour") << full.mid(0, 24) << "MO1|7|2.5|1||";
        QStringList t = full;
        t[14] = QStringLiteral("3.5kg");
        t[23] = QStringLiteral("x");
        QTest::newRow("leading number of a text") << t << "MO1|7|3.5|0|BP01|BK";
        t = full;
        t[2] = QString();
        QTest::newRow("order family row") << t << "|7|2.5|1|BP01|BK";
        t[4] = QStringLiteral("  ");
        QTest::newRow("neither manufacturing order nor material") << t << "";
    }
    void lineFromGridCells()
    {
        QFETCH(QStringList, cells);
        QFETCH(QString, expected);
        const std::optional<UsageLine> l = UsageLine::fromCells(cells);
        const QString got = !l ? QString()
                               : QStringList{l->moNo,
                                             l->rec611.toString(),
                                             QString::number(l->mtrAmt),
                                             QString::number(l->dutyAmt()),
                                             l->pMtr,
                                             l->colorNo}
                                     .join(QLatin1Char('|'));
        QCOMPARE(got, expected);
    }

    void quantityEntry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("check");
        QTest::addColumn<double>("leading");
        using Q = UsageImportStore::QuantityCheck;
        const auto n = [](Q q) { return int(q); };
        QTest::newRow("number") << " 12.5 " << n(Q::Accepted) << 12.5;
        QTest::newRow("zero") << "0" << n(Q::Accepted) << 0.0;
        QTest::newRow("negative") << "-3" << n(Q::Negative) << -3.0;
        QTest::newRow("text") << "abc" << n(Q::NotANumber) << 0.0;
        QTest::newRow("empty") << "" << n(Q::NotANumber) << 0.0;
        QTest::newRow("number then text") << "4x" << n(Q::NotANumber) << 4.0;
        QTest::newRow("exponent") << "1e2" << n(Q::Accepted) << 100.0;
        QTest::newRow("point only") << "." << n(Q::NotANumber) << 0.0;
    }
    void quantityEntry()
    {
        QFETCH(QString, typed);
        QFETCH(int, check);
        QFETCH(double, leading);
        QCOMPARE(int(UsageImportStore::checkQuantity(typed)), check);
        QCOMPARE(UsageImportStore::leadingNumber(typed), leading);
    }

    void pickersListApprovedOrdersAndProducts()
    {
        order(QStringLiteral("SO3"), QStringLiteral("0"));
        const UsageImportStore store(conn);
        Statement s = store.orderPicker(QStringLiteral(" so "));
        ResultSet rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.columns().first(), QStringLiteral("订单代号"));
        QCOMPARE(rs.text(0, 0) + rs.text(1, 0) + QString::number(rs.rowCount()), QStringLiteral("SO1SO22"));

        const qint64 product = material(QStringLiteral("P001"), QStringLiteral("1"));
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst112 (Rec_111, Rec_611, Mtr_Amt) VALUES (?, ?, 100), (?, ?, 50), (?, ?, 9)"),
            {mo1, product, mo2, product, mo2, f001});
        s = store.moPicker(QString());
        rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.text(0, 0) + rs.text(1, 0) + QString::number(rs.rowCount()),
                 QStringLiteral("MO2MO12")); // no material lines
        s = store.moPicker(QStringLiteral("mo1"));
        rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.rowCount(), qint64(1));
        QCOMPARE(rs.text(0, QStringLiteral("款号")) + QLatin1Char('/') + rs.text(0, QStringLiteral("生产数量")),
                 QStringLiteral("P001/100"));
    }
};

QTEST_GUILESS_MAIN(TstUsageImport)
#include "tst_usageimport.moc"
