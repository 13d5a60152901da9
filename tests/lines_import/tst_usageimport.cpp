// Usage import: what is proposed from bills of material, outsourcing orders,
// earlier documents and stock, and what the save writes.
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "lines/UsageImportStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QTest>

#include <cmath>
#include <limits>

class TstUsageImport : public QObject
{
    Q_OBJECT

    Connection conn;
    qint64 so1 = 0, so2 = 0, mo1 = 0, mo2 = 0, f001 = 0, f002 = 0, pcs1 = 0, pcs2 = 0;

    qint64 key(const QString &sql, const QString &keyColumn, const QList<QVariant> &values)
    {
        return Sql(conn, sql).bindAll(values).insert(keyColumn);
    }
    qint64 material(const QString &no, const QString &type = QStringLiteral("0"))
    {
        return key(QStringLiteral("INSERT INTO mmst611 (Mtr_No, Mtr_Name, Mtr_Dim, Type) VALUES (?, ?, '1.2m', ?)"),
                   QStringLiteral("Rec_611"), {no, QStringLiteral("布") + no, type});
    }
    qint64 order(const QString &no, const QString &status = QStringLiteral("2"))
    {
        return key(QStringLiteral("INSERT INTO mmst011 (Order_No, Order_Date, Comp_No, Status) VALUES (?, '2026-11-01', 'C01', ?)"),
                   QStringLiteral("Rec_011"), {no, status});
    }
    qint64 mo(const QString &no, qint64 rec011, const QString &status = QStringLiteral("2"))
    {
        return key(QStringLiteral("INSERT INTO mmst111 (Mo_No, Mo_Date, Rec_011, Mtr_Model, Status) VALUES (?, '2026-11-02', ?, 'BP01', ?)"),
                   QStringLiteral("Rec_111"), {no, rec011, status});
    }
    void moBom(qint64 rec111, qint64 rec611, double amt, double loss)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst1141 (Rec_111, Rec_611, Mtr_Amt, Mtr_Loss) VALUES (?, ?, ?, ?)"),
                     {rec111, rec611, amt, loss});
    }
    void orderBom(qint64 rec011, qint64 rec611, double amt, double loss)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst01123 (Rec_011, Rec_611, Mtr_Amt, Mtr_Loss) VALUES (?, ?, ?, ?)"),
                     {rec011, rec611, amt, loss});
    }
    qint64 pcs(const QString &no)
    {
        return key(QStringLiteral("INSERT INTO mmst121 (Pcs_No, Status) VALUES (?, '2')"), QStringLiteral("Rec_121"), {no});
    }
    void pcsLine(qint64 rec121, qint64 rec111, qint64 rec611, double amt, double loss)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (?, ?, ?, ?, ?)"),
                     {rec121, rec111, rec611, amt, loss});
    }
    void stock(const QString &frmInv, double qty, const QString &orderNo = QStringLiteral("SO1"),
               const QString &moNo = QStringLiteral("MO1"), const QString &mtrNo = QStringLiteral("F001"),
               const QString &color = QStringLiteral(""), const QString &supl = QStringLiteral(""),
               const QString &barNo = QStringLiteral("W01"))
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                                          "Mtr_Amt, Mtr_Prs, Supl_No, Prod_No, Prod_Name, Duty_Weight) "
                                          "VALUES (?, ?, ?, 'A', ?, ?, ?, ?, 2.5, ?, 'P9', '手柄', 0.5)"),
                     {orderNo, moNo, frmInv, mtrNo, barNo, color, qty, supl});
    }
    qint64 doc(const QString &invType, const QString &invNo, const QString &pcsNo = QString())
    {
        return key(QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Inv_Date, Status, Stock_Mode, Pcs_No, Lock) "
                                  "VALUES (?, ?, '2026-12-01', '0', '2', ?, 'Yes')"),
                   QStringLiteral("Rec_411"), {invNo, invType, pcsNo.isNull() ? QVariant() : QVariant(pcsNo)});
    }
    void docLine(qint64 rec411, double qty, const QString &orderNo = QStringLiteral("SO1"),
                 const QString &moNo = QStringLiteral("MO1"), qint64 rec611 = -1)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Order_No, Mo_No, Mtr_Amt) "
                                          "VALUES (?, ?, 'OLD', ?, ?, ?)"),
                     {rec411, rec611 < 0 ? f001 : rec611, orderNo, moNo, qty});
    }
    // A document of one of the two further material families.
    void further(const QString &head, const QString &line, const QString &key, const QString &invType, double qty)
    {
        const qint64 h = this->key(QStringLiteral("INSERT INTO %1 (Inv_No, Inv_Type) VALUES ('X1', ?)").arg(head), key, {invType});
        TestDb::exec(conn, QStringLiteral("INSERT INTO %1 (%2, Rec_611, Order_No, Mo_No, Mtr_Amt) VALUES (?, ?, 'SO1', 'MO1', ?)")
                               .arg(line, key),
                     {h, f001, qty});
    }
    void setOption(const QString &item, const QString &value)
    {
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst909 WHERE Item_No = ?"), {item});
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES (?, ?)"), {item, value});
    }
    UsageCriteria byMo(int mode = 2)
    {
        UsageCriteria c;
        c.moNo = QStringLiteral("MO1");
        c.stockMode = mode;
        return c;
    }
    ResultSet propose(const UsageCriteria &c) { return UsageImportStore(conn).proposals(c); }
    // Each row as "source:proposed" (source receipt, location when not W01, colour, supplier when set).
    static QStringList takes(const ResultSet &rs)
    {
        QStringList out;
        for (qint64 i = 0; i < rs.rowCount(); ++i) {
            QString source = rs.text(i, QStringLiteral("Frm_Inv"));
            for (const char *extra : {"Bar_No", "Color_No", "Supl_No"}) {
                const QString v = rs.text(i, QLatin1String(extra)).trimmed();
                if (!v.isEmpty() && v != QLatin1String("W01"))
                    source += QLatin1Char('/') + v;
            }
            out << source + QLatin1Char(':') + rs.text(i, QStringLiteral("Mtr_Amt"));
        }
        return out;
    }
    UsageSave saveOf(qint64 rec411, const ResultSet &rs)
    {
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}};
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
        return Sql(conn, QStringLiteral("SELECT Mo_No, Order_No, Rec_611, Mtr_Amt, Frm_Inv, Frm_Type, P_Mtr, Bar_No, Supl_No, "
                                        "Prod_No, Prod_Name, Duty_Weight, Duty_Amt, Stock_Mode, Upd_Name, Upd_Date, Color_No, "
                                        "Remark, Supl_Inv FROM Mmst412 WHERE Rec_411 = ? ORDER BY Rec_412"))
            .bind(rec411)
            .select();
    }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        f001 = material(QStringLiteral("F001"));
        f002 = material(QStringLiteral("F002"));
        material(QStringLiteral("P001"), QStringLiteral("1"));
        so1 = order(QStringLiteral("SO1"));
        so2 = order(QStringLiteral("SO2"));
        mo1 = mo(QStringLiteral("MO1"), so1);
        mo2 = mo(QStringLiteral("MO2"), so2);
        moBom(mo1, f001, 9, 1);
        pcs1 = pcs(QStringLiteral("WF1"));
        pcs2 = pcs(QStringLiteral("WF2"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '一号仓')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst000 (Comp_No, Rpt_Dir) VALUES ('01', 'Report')"));
    }
    void cleanup() { conn.close(); }

    void eachSourceIsCappedByItselfAndTheNeed()
    {
        stock(QStringLiteral("PI1"), 6);
        stock(QStringLiteral("PI2"), 8);
        const ResultSet rs = propose(byMo());
        QCOMPARE(takes(rs), (QStringList{QStringLiteral("PI2:8"), QStringLiteral("PI1:6")}));
        QCOMPARE(rs.columnCount(), int(UsageImportStore::ColColorNo));
        // Grid column n is result column n - 1.
        const auto at = [&](int gridColumn) { return rs.text(0, gridColumn - 1); };
        QCOMPARE(at(UsageImportStore::ColCheck), QString());
        QCOMPARE(at(UsageImportStore::ColMoNo), QStringLiteral("MO1"));
        QCOMPARE(at(UsageImportStore::ColOrderNo), QStringLiteral("SO1"));
        QCOMPARE(at(UsageImportStore::ColRec611), QString::number(f001));
        QCOMPARE(at(UsageImportStore::ColMtrNo), QStringLiteral("F001"));
        QCOMPARE(at(UsageImportStore::ColBarAmt), QStringLiteral("8"));
        QCOMPARE(at(UsageImportStore::ColOutAmt), QStringLiteral("10"));
        QCOMPARE(at(UsageImportStore::ColTotalAmt), QStringLiteral("0"));
        QCOMPARE(at(UsageImportStore::ColStillNeeded), QStringLiteral("10"));
        QCOMPARE(at(UsageImportStore::ColFrmTypeName), QStringLiteral("采购入库"));
        QCOMPARE(at(UsageImportStore::ColBarName), QStringLiteral("一号仓"));
        QCOMPARE(at(UsageImportStore::ColMtrModel), QStringLiteral("BP01"));

        // Ticking both takes 14 of a need of 10: each row proposes on its own.
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        QCOMPARE(UsageImportStore(conn).writeLines(saveOf(rec411, rs)), qint64(2));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT SUM(Mtr_Amt) FROM Mmst412 WHERE Rec_411 = ?")).bind(rec411).scalar().toDouble(), 14.0);
    }

    void issuedQuantityReducesTheNeed_data()
    {
        QTest::addColumn<double>("issued");
        QTest::addColumn<double>("supplementary");
        QTest::addColumn<double>("returned");
        QTest::addColumn<double>("wai");
        QTest::addColumn<double>("fa");
        QTest::addColumn<QStringList>("expected");   // PI1 holds 4, PI2 holds 1
        QTest::addColumn<QString>("total");

        QTest::newRow("lines and both further families") << 5.0 << 0.0 << 0.0 << 2.0 << 1.0
                                                         << QStringList{"PI1:2", "PI2:1"} << "8";
        QTest::newRow("returns count back") << 10.0 << 0.0 << 4.0 << 0.0 << 0.0 << QStringList{"PI1:4", "PI2:1"} << "6";
        QTest::newRow("supplementary issue counts") << 6.0 << 3.0 << 0.0 << 0.0 << 0.0 << QStringList{"PI1:1", "PI2:1"} << "9";
        QTest::newRow("fully covered") << 6.0 << 4.0 << 0.0 << 0.0 << 0.0 << QStringList{} << "";
        QTest::newRow("over-issued") << 12.0 << 0.0 << 0.0 << 0.0 << 0.0 << QStringList{} << "";
        QTest::newRow("further families count returns back") << 0.0 << 0.0 << 0.0 << -3.0 << 9.0
                                                             << QStringList{"PI1:4", "PI2:1"} << "6";
    }
    void issuedQuantityReducesTheNeed()
    {
        QFETCH(double, issued);
        QFETCH(double, supplementary);
        QFETCH(double, returned);
        QFETCH(double, wai);
        QFETCH(double, fa);
        QFETCH(QStringList, expected);
        QFETCH(QString, total);
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 1);
        // Status does not matter: open documents count as much as approved ones.
        if (issued != 0)
            docLine(doc(QStringLiteral("1"), QStringLiteral("LL1")), issued);
        if (supplementary != 0)
            docLine(doc(QStringLiteral("3"), QStringLiteral("BL1")), supplementary);
        if (returned != 0)
            docLine(doc(QStringLiteral("2"), QStringLiteral("TL1")), returned);
        if (wai != 0)
            further(QStringLiteral("mmst407"), QStringLiteral("mmst408"), QStringLiteral("Rec_407"),
                    wai > 0 ? QStringLiteral("1") : QStringLiteral("2"), std::abs(wai));
        if (fa != 0)
            further(QStringLiteral("mmst452"), QStringLiteral("mmst4521"), QStringLiteral("Rec_452"), QStringLiteral("1"), fa);
        // Lines of other manufacturing orders and materials do not count.
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL9")), 50, QStringLiteral("SO2"), QStringLiteral("MO2"));
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL8")), 50, QStringLiteral("SO1"), QStringLiteral("MO1"), f002);

        const ResultSet rs = propose(byMo());
        QCOMPARE(takes(rs), expected);
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            QCOMPARE(rs.text(i, QStringLiteral("Total_Amt")), total);
    }

    void siteCodeProposesTheWholeNeedForManufacturingOrdersOnly()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE mmst000 SET Rpt_Dir = ?"), {QString::fromLatin1(UsageImportStore::UncappedSiteCode)});
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 1);
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL1")), 3);
        QCOMPARE(takes(propose(byMo())), (QStringList{"PI1:7", "PI2:7"}));

        // The order family stays capped: 7 still needed, 4 held.
        orderBom(so1, f001, 10, 0);
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        UsageCriteria c;
        c.byOrder = true;
        c.orderNo = QStringLiteral("SO1");
        c.stockMode = 1;
        QCOMPARE(takes(propose(c)), (QStringList{"ORD:4"}));
    }

    void stockModeChoosesTheSources_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("byOrder");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("by material: stock of no order") << 0 << false << QStringList{"FREE:3", "NULLS:2"};
        QTest::newRow("by order: own order, no manufacturing order") << 1 << false << QStringList{"ORD:4"};
        QTest::newRow("by manufacturing order") << 2 << false << QStringList{"MO:5"};
        QTest::newRow("unknown mode reads as by manufacturing order") << -1 << false << QStringList{"MO:5"};
        QTest::newRow("order family by material") << 0 << true << QStringList{"FREE:3", "NULLS:2"};
        QTest::newRow("order family by order") << 1 << true << QStringList{"ORD:4"};
        QTest::newRow("order family by manufacturing order: no manufacturing order") << 2 << true << QStringList{"ORD:4"};
    }
    void stockModeChoosesTheSources()
    {
        QFETCH(int, mode);
        QFETCH(bool, byOrder);
        QFETCH(QStringList, expected);
        stock(QStringLiteral("FREE"), 3, QStringLiteral(""), QStringLiteral(""));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Frm_Inv, Frm_Type, Mtr_No, Bar_No, Mtr_Amt) "
                                          "VALUES ('NULLS', 'A', 'F001', 'W01', 2)"));
        stock(QStringLiteral("ORD"), 4, QStringLiteral("SO1"), QStringLiteral(""));
        stock(QStringLiteral("MO"), 5, QStringLiteral("SO1"), QStringLiteral("MO1"));
        stock(QStringLiteral("OTHER"), 6, QStringLiteral("SO2"), QStringLiteral(""));
        stock(QStringLiteral("OTHERMO"), 7, QStringLiteral("SO2"), QStringLiteral("MO2"));
        stock(QStringLiteral("EMPTY"), 0, QStringLiteral("SO1"), QStringLiteral("MO1"));
        stock(QStringLiteral("NEG"), -2, QStringLiteral(""), QStringLiteral(""));
        orderBom(so1, f001, 10, 0);
        UsageCriteria c = byMo(mode);
        c.byOrder = byOrder;
        if (byOrder)
            c.moNo.clear();
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), expected);
        for (qint64 i = 0; i < rs.rowCount(); ++i) {
            QCOMPARE(rs.text(i, QStringLiteral("Order_No")), QStringLiteral("SO1"));
            QCOMPARE(rs.text(i, QStringLiteral("Mo_No")), byOrder ? QString() : QStringLiteral("MO1"));
        }
    }

    void criteriaArePrefixesWithoutRegardToCase()
    {
        stock(QStringLiteral("PI1"), 4);
        stock(QStringLiteral("PI2"), 4, QStringLiteral("SO2"), QStringLiteral("MO2"));
        moBom(mo2, f001, 1, 0);
        UsageCriteria c = byMo();
        c.moNo = QStringLiteral(" mo ");
        QCOMPARE(takes(propose(c)), (QStringList{"PI1:4", "PI2:1"}));
        c.orderNo = QStringLiteral("so2");
        QCOMPARE(takes(propose(c)), (QStringList{"PI2:1"}));
        // A quote in the criterion is a value like any other.
        c.moNo = QStringLiteral("MO1' OR '1'='1");
        QCOMPARE(propose(c).rowCount(), qint64(0));
        // Manufacturing orders not approved are not proposed.
        TestDb::exec(conn, QStringLiteral("UPDATE mmst111 SET Status = '0'"));
        c.moNo.clear();
        c.orderNo.clear();
        QCOMPARE(propose(c).rowCount(), qint64(0));
    }

    void orderFamilyCountsEveryDocumentOfTheOrder()
    {
        orderBom(so1, f001, 8, 2);
        stock(QStringLiteral("PI1"), 9, QStringLiteral("SO1"), QStringLiteral(""));
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL1")), 3, QStringLiteral("SO1"), QStringLiteral("MO1"));
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL2")), 2, QStringLiteral("SO1"), QStringLiteral(""));
        docLine(doc(QStringLiteral("2"), QStringLiteral("TL1")), 1, QStringLiteral("SO1"), QStringLiteral("MO9"));
        UsageCriteria c;
        c.byOrder = true;
        c.stockMode = 1;
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), (QStringList{"PI1:6"}));
        QCOMPARE(rs.text(0, QStringLiteral("Total_Amt")), QStringLiteral("4"));
        QCOMPARE(rs.text(0, QStringLiteral("Mtr_Model")), QString());
        // An order not approved has no proposal.
        TestDb::exec(conn, QStringLiteral("UPDATE mmst011 SET Status = '0'"));
        QCOMPARE(propose(c).rowCount(), qint64(0));
    }

    void outsourcingCountsOnlyItsOwnDocuments()
    {
        pcsLine(pcs1, mo1, f001, 9, 1);
        pcsLine(pcs2, mo1, f001, 20, 0);
        stock(QStringLiteral("PI1"), 30);
        docLine(doc(QStringLiteral("1"), QStringLiteral("WL1"), QStringLiteral("WF1")), 4);
        docLine(doc(QStringLiteral("2"), QStringLiteral("WL2"), QStringLiteral("WF1")), 1);
        docLine(doc(QStringLiteral("1"), QStringLiteral("WL3"), QStringLiteral("WF2")), 5);
        docLine(doc(QStringLiteral("1"), QStringLiteral("LL1")), 5);   // production issue of the same manufacturing order
        UsageCriteria c;
        c.production = false;
        c.byOrder = true;   // ignored for outsourcing documents
        c.pcsNo = QStringLiteral(" WF1 ");
        QCOMPARE(c.family(), UsageFamily::Outsourcing);
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), (QStringList{"PI1:7"}));
        QCOMPARE(rs.text(0, QStringLiteral("Out_Amt")), QStringLiteral("10"));
        QCOMPARE(rs.text(0, QStringLiteral("Total_Amt")), QStringLiteral("3"));
        QCOMPARE(rs.text(0, QStringLiteral("Mo_No")), QStringLiteral("MO1"));

        c.pcsNo = QStringLiteral("WF2");
        QCOMPARE(takes(propose(c)), (QStringList{"PI1:15"}));
        c.pcsNo.clear();
        QCOMPARE(propose(c).rowCount(), qint64(0));
        // The manufacturing order must be approved.
        c.pcsNo = QStringLiteral("WF1");
        TestDb::exec(conn, QStringLiteral("UPDATE mmst111 SET Status = '0'"));
        QCOMPARE(propose(c).rowCount(), qint64(0));
    }

    void supplierNatureFiltersSources_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("propDuty");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("option off: one source, no supplier") << "0" << "1" << QStringList{"PI1:10"};
        QTest::newRow("其它: neither transfer nor invoice") << "1" << "0" << QStringList{"PI1/S3:3"};
        QTest::newRow("可转厂") << "1" << "1" << QStringList{"PI1/S1:5"};
        QTest::newRow("开发票") << "1" << "2" << QStringList{"PI1/S2:4"};
        QTest::newRow("进口: every supplier") << "1" << "3" << QStringList{"PI1/S1:5", "PI1/S2:4", "PI1/S3:3"};
    }
    void supplierNatureFiltersSources()
    {
        QFETCH(QString, option);
        QFETCH(QString, propDuty);
        QFETCH(QStringList, expected);
        setOption(QString::fromUtf8(UsageImportStore::OptionSupplierNature), option);
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst301 (Supl_No, Supl_Prop) VALUES ('S1', '可转厂'), ('S2', '可开发票'), "
                                          "('S3', '一般')"));
        stock(QStringLiteral("PI1"), 5, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("F001"), QStringLiteral(""),
              QStringLiteral("S1"));
        stock(QStringLiteral("PI1"), 4, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("F001"), QStringLiteral(""),
              QStringLiteral("S2"));
        stock(QStringLiteral("PI1"), 3, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("F001"), QStringLiteral(""),
              QStringLiteral("S3"));
        UsageCriteria c = byMo();
        c.propDuty = propDuty;
        const ResultSet rs = propose(c);
        QCOMPARE(takes(rs), expected);

        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        UsageImportStore(conn).writeLines(saveOf(rec411, rs));
        const ResultSet w = written(rec411);
        QCOMPARE(w.rowCount(), qint64(expected.size()));
        for (qint64 i = 0; i < w.rowCount(); ++i) {
            const bool on = option == QLatin1String("1");
            QCOMPARE(w.text(i, QStringLiteral("Prod_No")), on ? QStringLiteral("P9") : QString());
            QCOMPARE(w.text(i, QStringLiteral("Prod_Name")), on ? QStringLiteral("手柄") : QString());
            QCOMPARE(w.value(i, QStringLiteral("Duty_Weight")).toDouble(), on ? 0.5 : 0.0);
            QCOMPARE(w.value(i, QStringLiteral("Duty_Amt")).toDouble(), on ? 0.5 * w.value(i, QStringLiteral("Mtr_Amt")).toDouble() : 0.0);
        }
    }

    void colouredStockIsImportedAndApprovedUnderItsColour()
    {
        stock(QStringLiteral("PI1"), 6, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("F001"), QStringLiteral("BK"));
        stock(QStringLiteral("PI1"), 3, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("F001"), QStringLiteral("NV"));
        const ResultSet rs = propose(byMo());
        QCOMPARE(takes(rs), (QStringList{"PI1/BK:6", "PI1/NV:3"}));
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        UsageImportStore(conn).writeLines(saveOf(rec411, rs));
        QCOMPARE(written(rec411).text(1, QStringLiteral("Color_No")), QStringLiteral("NV"));

        const PostingOutcome out = DocumentStore(conn).post(DocumentKind::issue(), true, rec411, QStringLiteral("LL1"),
                                                            QDate(2026, 12, 1), QStringLiteral("陈志明"));
        QVERIFY(out.posted);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst381")).scalar().toLongLong(), qint64(0));
    }

    void saveWritesEveryColumn()
    {
        stock(QStringLiteral("PI1"), 4);
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        UsageSave s = saveOf(rec411, propose(byMo()));
        s.stockMode = 1;
        s.lines.append(s.lines.first());
        s.lines.last().mtrAmt = 0;   // a ticked row with 0 is a line with 0
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(2));
        const ResultSet w = written(rec411);
        QCOMPARE(w.rowCount(), qint64(2));
        QCOMPARE(w.text(0, QStringLiteral("Mo_No")), QStringLiteral("MO1"));
        QCOMPARE(w.text(0, QStringLiteral("Order_No")), QStringLiteral("SO1"));
        QCOMPARE(w.value(0, QStringLiteral("Rec_611")).toLongLong(), f001);
        QCOMPARE(w.value(0, QStringLiteral("Mtr_Amt")).toDouble(), 4.0);
        QCOMPARE(w.text(0, QStringLiteral("Frm_Inv")), QStringLiteral("PI1"));
        QCOMPARE(w.text(0, QStringLiteral("Frm_Type")), QStringLiteral("A"));
        QCOMPARE(w.text(0, QStringLiteral("P_Mtr")), QStringLiteral("BP01"));
        QCOMPARE(w.text(0, QStringLiteral("Bar_No")), QStringLiteral("W01"));
        QCOMPARE(w.text(0, QStringLiteral("Supl_No")), QString());
        QVERIFY(!w.value(0, QStringLiteral("Supl_No")).isNull());   // empty, not null: key parts compare with ''
        QCOMPARE(w.text(0, QStringLiteral("Stock_Mode")), QStringLiteral("1"));
        QCOMPARE(w.text(0, QStringLiteral("Upd_Name")), QStringLiteral("陈志明"));
        QCOMPARE(w.text(0, QStringLiteral("Upd_Date")).left(10), QStringLiteral("2026-12-09"));
        QVERIFY(w.value(0, QStringLiteral("Remark")).isNull());
        QVERIFY(w.value(0, QStringLiteral("Supl_Inv")).isNull());
        QCOMPARE(w.value(1, QStringLiteral("Mtr_Amt")).toDouble(), 0.0);
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
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}};
        for (const char *inv : {"PI1", "PI2", "PI3"}) {
            UsageLine l;
            l.moNo = QStringLiteral("MO1");
            l.rec611 = f001;
            l.frmInv = QLatin1String(inv);
            l.mtrAmt = 1;
            s.lines << l;
        }
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
        QVERIFY_THROWS_EXCEPTION(ErpError, UsageImportStore(conn).writeLines(s));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toLongLong(), qint64(0));
        // The connection is usable again: nothing was left open.
        s.rec411 = rec411;
        s.lines.removeLast();
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(2));
    }

    void saveWithNothingTickedWritesNothing()
    {
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        QCOMPARE(UsageImportStore(conn).writeLines({rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}}), qint64(0));
        QCOMPARE(written(rec411).rowCount(), qint64(0));
    }

    void saveTakesMoreThan32767Lines()
    {
        const qint64 rec411 = doc(QStringLiteral("1"), QStringLiteral("LL1"));
        UsageSave s{rec411, 2, QStringLiteral("陈志明"), QDate(2026, 12, 9), {}};
        UsageLine l;
        l.moNo = QStringLiteral("MO1");
        l.rec611 = f001;
        l.mtrAmt = 1;
        for (int i = 0; i < 32770; ++i)
            s.lines << l;
        QCOMPARE(UsageImportStore(conn).writeLines(s), qint64(32770));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toLongLong(), qint64(32770));
    }

    void lineFromGridCells_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<bool>("hasLine");
        QTest::addColumn<double>("qty");
        QTest::addColumn<double>("dutyAmt");
        QTest::addColumn<QString>("model");
        const QStringList full{"1", "", " MO1 ", "SO1", "7", "F001", "n", "d", "c", "u", "8", "10", "0", "10", " 2.5 ",
                               "PI1", "A", "采购入库", "W01", "一号仓", "S1", "P9", "手柄", "0.4", "BP01", "BK"};
        QTest::newRow("full row") << full << true << 2.5 << 1.0 << "BP01";
        QStringList shortRow = full.mid(0, 24);   // a statement without model and colour columns
        QTest::newRow("missing model reads empty") << shortRow << true << 2.5 << 1.0 << "";
        QStringList text = full;
        text[14] = QStringLiteral("3.5kg");
        text[23] = QStringLiteral("x");
        QTest::newRow("leading number of a text") << text << true << 3.5 << 0.0 << "BP01";
        QStringList noKey = full;
        noKey[2] = QStringLiteral("  ");
        noKey[4] = QString();
        QTest::newRow("no manufacturing order and no material") << noKey << false << 0.0 << 0.0 << "";
        QStringList orderRow = full;
        orderRow[2] = QString();
        QTest::newRow("order family row with a material") << orderRow << true << 2.5 << 1.0 << "BP01";
    }
    void lineFromGridCells()
    {
        QFETCH(QStringList, cells);
        QFETCH(bool, hasLine);
        QFETCH(double, qty);
        QFETCH(double, dutyAmt);
        QFETCH(QString, model);
        const std::optional<UsageLine> line = UsageLine::fromCells(cells);
        QCOMPARE(line.has_value(), hasLine);
        if (!line)
            return;
        QCOMPARE(line->mtrAmt, qty);
        QCOMPARE(line->dutyAmt(), dutyAmt);
        QCOMPARE(line->pMtr, model);
        QCOMPARE(line->rec611.toLongLong(), qint64(7));
        QCOMPARE(line->frmInv, QStringLiteral("PI1"));
    }

    void quantityEntry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("check");
        QTest::addColumn<double>("leading");
        const int ok = int(UsageImportStore::QuantityCheck::Accepted);
        const int nan = int(UsageImportStore::QuantityCheck::NotANumber);
        const int neg = int(UsageImportStore::QuantityCheck::Negative);
        QTest::newRow("number") << " 12.5 " << ok << 12.5;
        QTest::newRow("zero") << "0" << ok << 0.0;
        QTest::newRow("above any stock") << "99999" << ok << 99999.0;
        QTest::newRow("negative") << "-3" << neg << -3.0;
        QTest::newRow("text") << "abc" << nan << 0.0;
        QTest::newRow("empty") << "" << nan << 0.0;
        QTest::newRow("number then text") << "4x" << nan << 4.0;
        QTest::newRow("exponent") << "1e2" << ok << 100.0;
        QTest::newRow("point only") << "." << nan << 0.0;
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
        UsageStatement s = store.orderPicker(QStringLiteral(" so "));
        ResultSet rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.rowCount(), qint64(2));
        QCOMPARE(rs.text(0, 0), QStringLiteral("SO1"));
        QCOMPARE(rs.columns().first(), QStringLiteral("订单代号"));

        const qint64 product = Sql(conn, QStringLiteral("SELECT Rec_611 FROM mmst611 WHERE Mtr_No = 'P001'")).scalar().toLongLong();
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst112 (Rec_111, Rec_611, Mtr_Amt) VALUES (?, ?, 100), (?, ?, 50), (?, ?, 9)"),
                     {mo1, product, mo2, product, mo2, f001});
        s = store.moPicker(QString());
        rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.rowCount(), qint64(2));   // a material line is no product
        QCOMPARE(rs.text(0, 0), QStringLiteral("MO2"));
        QCOMPARE(rs.text(0, QStringLiteral("款号")), QStringLiteral("P001"));
        s = store.moPicker(QStringLiteral("mo1"));
        rs = Sql(conn, s.text).bindAll(s.values).select();
        QCOMPARE(rs.rowCount(), qint64(1));
        QCOMPARE(rs.text(0, QStringLiteral("生产数量")), QStringLiteral("100"));
    }
};

QTEST_GUILESS_MAIN(TstUsageImport)
#include "tst_usageimport.moc"
