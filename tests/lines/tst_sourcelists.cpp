// The choice lists and amounts of the line dialog: which stock sources a
// line may draw on for each kind, nature and stock-deduction mode, and the
// usage, issued and stock amounts shown beside the quantity.
#include "TestSupport.h"

#include "lines/SourceLists.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"

#include <QTest>

class TstSourceLists : public QObject
{
    Q_OBJECT

    Connection conn;
    int docNumber = 0;

    void stock(const QString &order, const QString &mo, const QString &frmInv, const QString &type, const QString &mtr,
               const QString &bar, double qty, const QString &color = QStringLiteral(""),
               const QString &supl = QStringLiteral(""))
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                           "Mtr_Amt, Supl_No) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {order, mo, frmInv, type, mtr, bar, color, qty, supl});
    }
    qint64 doc(const QString &invType, const QString &status, const QString &outFlag = QStringLiteral("0"),
               const QString &pcsNo = QStringLiteral(""))
    {
        return Sql(conn, QStringLiteral(
                             "INSERT INTO Mmst411 (Inv_No, Inv_Type, Status, Out_Flag, Pcs_No) VALUES (?, ?, ?, ?, ?)"))
            .bindAll({QStringLiteral("D%1").arg(++docNumber), invType, status, outFlag, pcsNo})
            .insert(QStringLiteral("Rec_411"));
    }
    qint64 line(qint64 rec411, double qty, const QString &mtr = QStringLiteral("F001"),
                const QString &frmInv = QStringLiteral("PI001"))
    {
        return Sql(conn, QStringLiteral(
                             "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, "
                             "Bar_No, Color_No) VALUES (?, (SELECT Rec_611 FROM mmst611 WHERE Mtr_No = ?), ?, 'A', "
                             "'SO1', 'MO1', ?, 'W01', '')"))
            .bindAll({rec411, mtr, frmInv, qty})
            .insert(QStringLiteral("Rec_412"));
    }
    QString rec611(const QString &mtr)
    {
        return Sql(conn, QStringLiteral("SELECT Rec_611 FROM mmst611 WHERE Mtr_No = ?")).bind(mtr).scalar().toString();
    }
    LineInputs issue(const QString &mode = QStringLiteral("2"))
    {
        LineInputs in;
        in.invType = QStringLiteral("1");
        in.stockMode = mode;
        in.orderNo = QStringLiteral("SO1");
        in.moNo = QStringLiteral("MO1");
        in.mtrNo = QStringLiteral("F001");
        return in;
    }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        docNumber = 0;
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst610 (Unit_No, Unit_Name) VALUES ('M', '米')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Mtr_No, Mtr_Name, Mtr_Dim, Type, Unit_No) VALUES "
                                          "('F001', '牛津布', '600D', '0', 'M'), ('F002', '里布', '210T', '0', 'M'), "
                                          "('X001', '运费', '', '4', 'M'), ('P001', '背包', 'BP-1', '1', 'M')"));
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库'), ('C', '其它入库')"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '主仓'), ('W02', '辅仓')"));
        // Order keys far from the manufacturing-order keys: an outsourcing
        // line's Rec_111 may hold either.
        TestDb::exec(
            conn, QStringLiteral(
                      "INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (101, 'SO1', '2'), (103, 'SO3', '2')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst111 (Mo_No, Rec_011, Status) VALUES ('MO1', 101, '2'), "
                                          "('MO2', 101, '0'), ('MO3', 103, '2')"));
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst1141 (Rec_111, Rec_611, Mtr_Amt, Mtr_Loss) VALUES "
                "((SELECT Rec_111 FROM mmst111 WHERE Mo_No = 'MO1'), (SELECT Rec_611 FROM mmst611 WHERE Mtr_No = 'F001'), 5, 0.3), "
                "((SELECT Rec_111 FROM mmst111 WHERE Mo_No = 'MO1'), (SELECT Rec_611 FROM mmst611 WHERE Mtr_No = 'F002'), 10, 0)"));
        stock(QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("PI001"), QStringLiteral("A"),
              QStringLiteral("F001"), QStringLiteral("W01"), 8, QStringLiteral(""), QStringLiteral("S01"));
        stock(QStringLiteral("SO1"), QStringLiteral(""), QStringLiteral("PI002"), QStringLiteral("A"),
              QStringLiteral("F001"), QStringLiteral("W02"), 4, QStringLiteral(""), QStringLiteral("S02"));
        stock(QStringLiteral(""), QStringLiteral(""), QStringLiteral("PI003"), QStringLiteral("C"),
              QStringLiteral("F001"), QStringLiteral("W01"), 7);
    }
    void cleanup() { conn.close(); }

    void issueOffersApprovedManufacturingOrdersWithStock()
    {
        // MO2 is not approved; MO3's order holds no stock at all.
        QCOMPARE(SourceLists(conn).moNumbers(issue()), QStringList{QStringLiteral("MO1")});
        // A stock row under the order's code in other case counts as its stock.
        stock(QStringLiteral("so3"), QStringLiteral(""), QStringLiteral("PI004"), QStringLiteral("A"),
              QStringLiteral("F002"), QStringLiteral("W01"), 1);
        QCOMPARE(SourceLists(conn).moNumbers(issue()), (QStringList{QStringLiteral("MO1"), QStringLiteral("MO3")}));
    }

    void issueSourcesFollowTheStockMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("receipt");
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("stockAmt");
        // The locations compare order and manufacturing order as typed: the
        // texts under which the receipt's stock row lies.
        QTest::addColumn<QString>("orderOfStock");
        QTest::addColumn<QString>("moOfStock");
        QTest::newRow("by material: free stock only") << "0"
                                                      << "PI003"
                                                      << "其它入库"
                                                      << "主仓"
                                                      << "7"
                                                      << ""
                                                      << "";
        QTest::newRow("by order") << "1"
                                  << "PI002"
                                  << "采购入库"
                                  << "辅仓"
                                  << "4"
                                  << "SO1"
                                  << "";
        QTest::newRow("mode unset reads as by order") << "-1"
                                                      << "PI002"
                                                      << "采购入库"
                                                      << "辅仓"
                                                      << "4"
                                                      << "SO1"
                                                      << "";
        QTest::newRow("by manufacturing order") << "2"
                                                << "PI001"
                                                << "采购入库"
                                                << "主仓"
                                                << "8"
                                                << "SO1"
                                                << "MO1";
    }
    void issueSourcesFollowTheStockMode()
    {
        QFETCH(QString, mode);
        QFETCH(QString, receipt);
        QFETCH(QString, typeName);
        QFETCH(QString, location);
        QFETCH(QString, stockAmt);
        QFETCH(QString, orderOfStock);
        QFETCH(QString, moOfStock);
        // Order and manufacturing order filled in: the receipts follow the
        // mode, the locations the texts as typed.
        LineInputs in = issue(mode);
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(out.frmInvList, QStringList{receipt});
        QCOMPARE(in.frmInv, receipt);
        QCOMPARE(out.frmTypeList, QStringList{typeName});
        QCOMPARE(in.frmType, typeName);
        const bool typedAsStored = orderOfStock == QLatin1String("SO1") && moOfStock == QLatin1String("MO1");
        QCOMPARE(out.barNameList, typedAsStored ? QStringList{location} : QStringList());
        QCOMPARE(in.barName, typedAsStored ? location : QString());
        QCOMPARE(out.barAmt, stockAmt);
        // The bill of material lists two materials; a production issue never
        // picks one by itself.
        QCOMPARE(*out.mtrNoList, (QStringList{QStringLiteral("F001"), QStringLiteral("F002")}));
        QCOMPARE(out.mtrName, QStringLiteral("牛津布"));
        QCOMPARE(out.mtrDim, QStringLiteral("600D"));
        QCOMPARE(out.unitName, QStringLiteral("米"));

        // Once the fields hold what the stock row holds, the location is found.
        in.orderNo = orderOfStock;
        in.moNo = moOfStock;
        FillResult again;
        SourceLists(conn).fill(in, again);
        QCOMPARE(again.barNameList, QStringList{location});
        QCOMPARE(in.barName, location);
        QCOMPARE(again.frmInvList, QStringList{receipt});
    }

    void firstActivationChoosesNothing()
    {
        LineInputs in = issue();
        in.loading = true;
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(out.frmInvList, QStringList{QStringLiteral("PI001")});
        QCOMPARE(in.frmInv, QString());
        QCOMPARE(in.barName, QString());
        // Nothing chosen, so the stock of "no receipt" is empty.
        QCOMPARE(out.barAmt, QString());
    }

    void materialKey_data()
    {
        QTest::addColumn<bool>("outsourcing");
        QTest::addColumn<QString>("mtrNo");
        QTest::addColumn<QString>("found");
        QTest::newRow("raw material") << false << "F001"
                                      << "F001";
        QTest::newRow("unknown material") << false << "NOPE"
                                          << "";
        QTest::newRow("finished product on a production document") << false << "P001"
                                                                   << "";
        QTest::newRow("finished product on an outsourcing document") << true << "P001"
                                                                     << "P001";
    }
    void materialKey()
    {
        QFETCH(bool, outsourcing);
        QFETCH(QString, mtrNo);
        QFETCH(QString, found);
        LineInputs in = issue();
        in.outsourcing = outsourcing;
        in.mtrNo = mtrNo;
        QCOMPARE(SourceLists(conn).materialKey(in), found.isEmpty() ? QStringLiteral("-1") : rec611(found));
    }

    void issueAmounts_data()
    {
        QTest::addColumn<QString>("invType");
        QTest::addColumn<bool>("byOrderUsage");
        QTest::addColumn<bool>("changing");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("used");
        QTest::addColumn<QString>("needed");
        // The bill of material lists F001 twice: 5 + 0.3 loss rounds up to 6,
        // 0.4 to 1, together 7; the order's usage 7.2 + 0.1 to 8 and 1.5 to 2.
        // Several rows add up: without an order the first would be arbitrary.
        // Issued: 2 - 1 + 0.5 here, +0.5 - 0.25 + 0.75 elsewhere.
        QTest::newRow("issue") << "1" << false << false << "7"
                               << "2.5"
                               << "4.5";
        QTest::newRow("issue by the order's usage") << "1" << true << false << "10"
                                                    << "2.5"
                                                    << "7.5";
        QTest::newRow("changing the open issue line leaves it out") << "1" << false << true << "7"
                                                                    << "0.5"
                                                                    << "6.5";
        // The source's stock at the location under the order as typed: both
        // colour rows and the row of another manufacturing order (8 + 2 + 3),
        // not the other order's; supplementary issues only among this
        // module's documents.
        QTest::newRow("supplementary issue") << "3" << false << false << "13"
                                             << "1.5"
                                             << "11.5";
    }
    void issueAmounts()
    {
        QFETCH(QString, invType);
        QFETCH(bool, byOrderUsage);
        QFETCH(bool, changing);
        QFETCH(QString, total);
        QFETCH(QString, used);
        QFETCH(QString, needed);
        stock(QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("PI001"), QStringLiteral("A"),
              QStringLiteral("F001"), QStringLiteral("W01"), 2, QStringLiteral("C01"));
        stock(QStringLiteral("SO1"), QStringLiteral("MO9"), QStringLiteral("PI001"), QStringLiteral("A"),
              QStringLiteral("F001"), QStringLiteral("W01"), 3);
        stock(QStringLiteral("SO3"), QStringLiteral(""), QStringLiteral("PI001"), QStringLiteral("A"),
              QStringLiteral("F001"), QStringLiteral("W01"), 5);
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst015 (Order_No, Rec_611, Bom_Amt, Loss_Amt) VALUES "
                                    "('SO1', ?, 7.2, 0.1), ('SO1', ?, 1.5, NULL)"),
                     {rec611(QStringLiteral("F001")), rec611(QStringLiteral("F001"))});
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst1141 (Rec_111, Rec_611, Mtr_Amt, Mtr_Loss) VALUES "
                                    "((SELECT Rec_111 FROM mmst111 WHERE Mo_No = 'MO1'), ?, 0.4, 0)"),
                     {rec611(QStringLiteral("F001"))});
        const qint64 open = line(doc(QStringLiteral("1"), QStringLiteral("0")), 2); // unapproved still counts
        line(doc(QStringLiteral("2"), QStringLiteral("2")), 1);
        line(doc(QStringLiteral("3"), QStringLiteral("2")), 0.5);
        line(doc(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("WF01")),
             3);                                                                        // outsourcing
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 9, QStringLiteral("F002")); // other material
        const auto other = [this](const QString &head, const QString &lines, const QString &key, const QString &type,
                                  double qty) {
            const qint64 h = Sql(conn, QStringLiteral("INSERT INTO %1 (Inv_No, Inv_Type) VALUES ('X', ?)").arg(head))
                                 .bind(type)
                                 .insert(key);
            TestDb::exec(
                conn,
                QStringLiteral("INSERT INTO %1 (%2, Rec_611, Order_No, Mo_No, Mtr_Amt) VALUES (?, ?, 'SO1', 'MO1', ?)")
                    .arg(lines, key),
                {h, rec611(QStringLiteral("F001")), qty});
        };
        other(QStringLiteral("mmst407"), QStringLiteral("mmst408"), QStringLiteral("Rec_407"), QStringLiteral("1"),
              0.5);
        other(QStringLiteral("mmst452"), QStringLiteral("mmst4521"), QStringLiteral("Rec_452"), QStringLiteral("2"),
              0.25);
        const auto booked = [this](const QString &type, double qty) {
            const qint64 h = Sql(conn, QStringLiteral("INSERT INTO mmst413 (Inv_No, Inv_Type) VALUES ('B', ?)"))
                                 .bind(type)
                                 .insert(QStringLiteral("Rec_413"));
            TestDb::exec(
                conn,
                QStringLiteral(
                    "INSERT INTO mmst414 (Rec_413, Order_No, Mo_No, Source_Mtr_No, Mtr_Amt) VALUES (?, 'SO1', 'MO1', 'F001', ?)"),
                {h, qty});
        };
        booked(QStringLiteral("1"), 1);
        booked(QStringLiteral("2"), 0.25);

        LineInputs in = issue();
        in.invType = invType;
        in.issueByOrderUsage = byOrderUsage;
        in.frmInv = QStringLiteral("PI001");
        in.barName = QStringLiteral("主仓");
        if (changing) {
            in.modify = 2;
            in.rec412 = QString::number(open);
        }
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(out.totalAmt.value_or(QStringLiteral("untouched")), total);
        QCOMPARE(out.useAmt, used);
        QCOMPARE(out.getAmt.value_or(QStringLiteral("untouched")), needed);
    }

    void issueAmountsWithoutDemandAreZero()
    {
        LineInputs in = issue();
        in.moNo = QStringLiteral("MO3");
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(*out.totalAmt, QStringLiteral("0"));
        QCOMPARE(out.useAmt, QStringLiteral("0"));
        QCOMPARE(*out.getAmt, QStringLiteral("0"));
    }

    void returnableQuantity_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("mtrNo");
        QTest::addColumn<bool>("changing");
        QTest::addColumn<QString>("returnable");
        // Approved issues 10 and 5, an unapproved return of 3.
        QTest::newRow("supplementary issues not counted") << "0"
                                                          << "F001" << false << "12";
        QTest::newRow("supplementary issues counted") << "1"
                                                      << "F001" << false << "16";
        QTest::newRow("changing the return leaves it out") << "0"
                                                           << "F001" << true << "15";
        QTest::newRow("unknown material") << "0"
                                          << "NOPE" << false << "";
    }
    void returnableQuantity()
    {
        QFETCH(QString, option);
        QFETCH(QString, mtrNo);
        QFETCH(bool, changing);
        QFETCH(QString, returnable);
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('退料已领数量包括补料量', ?)"),
                     {option});
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 10);
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 5);
        const qint64 waiting = line(doc(QStringLiteral("2"), QStringLiteral("0")), 3);
        line(doc(QStringLiteral("3"), QStringLiteral("2")), 4);
        line(doc(QStringLiteral("1"), QStringLiteral("0")), 6); // not approved
        line(doc(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("WF01")),
             9); // outsourcing

        LineInputs in = issue();
        in.invType = QStringLiteral("2");
        in.loading = true; // the typed texts stay as they are
        in.mtrNo = mtrNo;
        in.frmInv = QStringLiteral("PI001");
        in.frmType = QStringLiteral("采购入库");
        in.barName = QStringLiteral("主仓");
        if (changing) {
            in.modify = 2;
            in.rec412 = QString::number(waiting);
        }
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(out.useAmt, returnable);
        QVERIFY(!out.totalAmt.has_value());
        QVERIFY(!out.getAmt.has_value());
    }

    void returnListsComeFromApprovedDocuments()
    {
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 10);
        line(doc(QStringLiteral("1"), QStringLiteral("0")), 6, QStringLiteral("F002"),
             QStringLiteral("PI009")); // not approved
        line(doc(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("WF01")), 9,
             QStringLiteral("F002")); // outsourcing
        LineInputs in = issue();
        in.invType = QStringLiteral("2");
        in.mtrNo = QString();
        FillResult out;
        SourceLists(conn).fill(in, out);
        QCOMPARE(*out.moNoList, QStringList{QStringLiteral("MO1")});
        QCOMPARE(*out.mtrNoList, QStringList{QStringLiteral("F001")});
        // Each single entry is chosen and narrows the next list; the amount is
        // that of the material chosen in this very refill.
        QCOMPARE(in.mtrNo, QStringLiteral("F001"));
        QCOMPARE(out.frmInvList, QStringList{QStringLiteral("PI001")});
        QCOMPARE(in.frmInv, QStringLiteral("PI001"));
        QCOMPARE(in.frmType, QStringLiteral("采购入库"));
        QCOMPARE(out.rec611, rec611(QStringLiteral("F001")));
        QCOMPARE(out.useAmt, QStringLiteral("10"));
    }

    // The return's lists over many documents: only lines of approved
    // documents of the document's own nature count, whatever else shares a
    // manufacturing order or a material with them.
    void returnListsOverManyDocuments_data()
    {
        QTest::addColumn<bool>("outsourcing");
        QTest::addColumn<QStringList>("moNumbers");
        QTest::addColumn<QString>("moNo");
        QTest::addColumn<QStringList>("materials");
        QTest::addColumn<QString>("orderNo");
        QTest::addColumn<QStringList>("receipts");
        // Codes compare without case: MO2 sorts above mo1 in descending order.
        QTest::newRow("production, by manufacturing order")
            << false << QStringList{"MO3", "MO2", "mo1", ""} << "MO1" << QStringList{"F001", "F002"} << "SO1"
            << QStringList{"PI001", "PI002"};
        // Lines without a manufacturing order: empty and null alike for the
        // receipts, the empty one only for the materials.
        QTest::newRow("production, without manufacturing order")
            << false << QStringList{"MO3", "MO2", "mo1", ""} << "" << QStringList{"F002"} << "SO2"
            << QStringList{"PI005", "PI006"};
        QTest::newRow("outsourcing") << true << QStringList{"MO4", "MO2"} << "MO2" << QStringList{"F002"} << "SO1"
                                     << QStringList{"PI008"};
        QTest::newRow("outsourcing, manufacturing order of production documents only")
            << true << QStringList{"MO4", "MO2"} << "MO3" << QStringList{} << "SO1" << QStringList{};
    }
    void returnListsOverManyDocuments()
    {
        QFETCH(bool, outsourcing);
        QFETCH(QStringList, moNumbers);
        QFETCH(QString, moNo);
        QFETCH(QStringList, materials);
        QFETCH(QString, orderNo);
        QFETCH(QStringList, receipts);
        const auto lineOf = [this](qint64 rec411, const QString &mtr, const QVariant &order, const QVariant &mo,
                                   const QString &frmInv) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                                        "Mtr_Amt, Bar_No, Color_No) VALUES (?, (SELECT Rec_611 FROM mmst611 WHERE "
                                        "Mtr_No = ?), ?, 'A', ?, ?, 1, 'W01', '')"),
                         {rec411, mtr, frmInv, order, mo});
        };
        const QVariant null(QMetaType::fromType<QString>());
        const qint64 issued = doc(QStringLiteral("1"), QStringLiteral("2"));
        const qint64 back = doc(QStringLiteral("2"), QStringLiteral("2"));
        const qint64 extra = doc(QStringLiteral("3"), QStringLiteral("2"));
        lineOf(issued, QStringLiteral("F001"), QStringLiteral("SO1"), QStringLiteral("mo1"), QStringLiteral("PI001"));
        lineOf(back, QStringLiteral("F002"), QStringLiteral("SO1"), QStringLiteral("mo1"), QStringLiteral("PI002"));
        lineOf(extra, QStringLiteral("F001"), QStringLiteral("SO2"), QStringLiteral("MO2"), QStringLiteral("PI003"));
        lineOf(issued, QStringLiteral("F002"), QStringLiteral("SO2"), QStringLiteral(""), QStringLiteral("PI005"));
        lineOf(back, QStringLiteral("F001"), QStringLiteral("SO2"), null, QStringLiteral("PI006"));
        lineOf(issued, QStringLiteral("F002"), QStringLiteral("SO1"), QStringLiteral("MO3"), QStringLiteral("PI004"));
        // A line of a material the material table does not know.
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt) "
                           "VALUES (?, 9999, 'PI001', 'A', 'SO1', 'mo1', 1)"),
            {issued});
        // Open, closed and reset documents share the manufacturing orders and
        // add some of their own.
        for (const char *status : {"0", "6", "7"}) {
            const qint64 other = doc(QStringLiteral("1"), QString::fromLatin1(status));
            lineOf(other, QStringLiteral("F002"), QStringLiteral("SO1"), QStringLiteral("MO1"),
                   QStringLiteral("PI009"));
            lineOf(other, QStringLiteral("F001"), QStringLiteral("SO9"), QStringLiteral("MO9"),
                   QStringLiteral("PI009"));
            lineOf(other, QStringLiteral("F001"), QStringLiteral("SO2"), QStringLiteral(""), QStringLiteral("PI009"));
        }
        // An approved document without lines lists nothing.
        doc(QStringLiteral("1"), QStringLiteral("2"));
        // Outsourcing documents, approved and not.
        const qint64 outIssue =
            doc(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("WF01"));
        lineOf(outIssue, QStringLiteral("F002"), QStringLiteral("SO1"), QStringLiteral("MO2"), QStringLiteral("PI008"));
        lineOf(outIssue, QStringLiteral("F001"), QStringLiteral("SO1"), QStringLiteral("MO4"), QStringLiteral("PI008"));
        const qint64 outOpen =
            doc(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("WF01"));
        lineOf(outOpen, QStringLiteral("F001"), QStringLiteral("SO1"), QStringLiteral("MO3"), QStringLiteral("PI007"));
        // A header whose nature was never set counts as production.
        const qint64 unset = doc(QStringLiteral("1"), QStringLiteral("2"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Out_Flag = NULL WHERE Rec_411 = ?"), {unset});
        lineOf(unset, QStringLiteral("F001"), QStringLiteral("SO1"), QStringLiteral("MO3"), QStringLiteral("PI004"));

        const SourceLists lists(conn);
        LineInputs in = issue();
        in.invType = QStringLiteral("2");
        in.outsourcing = outsourcing;
        in.pcsNo = outsourcing ? QStringLiteral("WF01") : QString();
        QCOMPARE(lists.moNumbers(in), moNumbers);
        in.moNo = moNo;
        QCOMPARE(lists.materials(in).value_or(QStringList{QStringLiteral("untouched")}), materials);
        in.orderNo = orderNo;
        QStringList found;
        for (const QString &mtr : {QStringLiteral("F001"), QStringLiteral("F002")}) {
            in.mtrNo = mtr;
            found += lists.sourceReceipts(in);
        }
        found.sort();
        QCOMPARE(found, receipts);
    }

    void outsourcingLists()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst121 (Pcs_No, Status) VALUES ('WF01', '2'), ('WF02', '0')"));
        const auto outLine = [this](const QString &pcs, qint64 rec111, const QString &mtr, double qty, double loss) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES "
                                        "((SELECT Rec_121 FROM mmst121 WHERE Pcs_No = ?), ?, ?, ?, ?)"),
                         {pcs, rec111, rec611(mtr), qty, loss});
        };
        const qint64 mo1 =
            Sql(conn, QStringLiteral("SELECT Rec_111 FROM mmst111 WHERE Mo_No = 'MO1'")).scalar().toLongLong();
        const qint64 mo3 =
            Sql(conn, QStringLiteral("SELECT Rec_111 FROM mmst111 WHERE Mo_No = 'MO3'")).scalar().toLongLong();
        outLine(QStringLiteral("WF01"), mo1, QStringLiteral("F001"), 4, 0.5);
        outLine(QStringLiteral("WF01"), 101, QStringLiteral("F002"), 3, 0.2); // booked by order SO1
        outLine(QStringLiteral("WF02"), mo3, QStringLiteral("F001"), 1, 0);
        line(doc(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("WF01")), 1.5);
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 2); // a production document does not count here

        const SourceLists lists(conn);
        LineInputs in = issue();
        in.outsourcing = true;
        in.pcsNo = QStringLiteral("WF01");
        in.mtrNo = QString();
        QCOMPARE(lists.moNumbers(in), QStringList{QStringLiteral("MO1")});
        FillResult out;
        lists.fill(in, out);
        QCOMPARE(*out.mtrNoList, QStringList{QStringLiteral("F001")});
        QCOMPARE(in.mtrNo, QStringLiteral("F001"));
        QCOMPARE(*out.totalAmt, QStringLiteral("5"));
        QCOMPARE(out.useAmt, QStringLiteral("1.5"));
        QCOMPARE(*out.getAmt, QStringLiteral("3.5"));

        // Without a manufacturing order the order's outsourced materials.
        in.moNo = QString();
        in.mtrNo = QString();
        QCOMPARE(*lists.materials(in), QStringList{QStringLiteral("F002")});
        // With neither the list stays as it was.
        in.orderNo = QString();
        QVERIFY(!lists.materials(in).has_value());

        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('按订单进行外包', '1')"));
        in.orderNo = QStringLiteral("SO1");
        in.mtrNo = QStringLiteral("F002");
        QCOMPARE(lists.totalUsage(in), QStringLiteral("4"));

        // A supplementary issue counts the supplementary issues of its own
        // outsourcing order only, approved or not.
        line(doc(QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("WF01")), 0.75);
        line(doc(QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("WF02")), 5);
        line(doc(QStringLiteral("3"), QStringLiteral("2")), 2);
        LineInputs supplementary = issue();
        supplementary.invType = QStringLiteral("3");
        supplementary.outsourcing = true;
        supplementary.pcsNo = QStringLiteral("WF01");
        QCOMPARE(lists.issuedQuantity(supplementary), QStringLiteral("0.75"));

        // A return's locations compare what is typed, on outsourcing
        // documents as on any other.
        LineInputs giveBack = issue();
        giveBack.invType = QStringLiteral("2");
        giveBack.outsourcing = true;
        giveBack.pcsNo = QStringLiteral("WF01");
        giveBack.frmInv = QStringLiteral("PI001");
        QCOMPARE(lists.locations(giveBack), QStringList{QStringLiteral("主仓")});
        giveBack.moNo = QString();
        QCOMPARE(lists.locations(giveBack), QStringList());
        giveBack.frmInv = QStringLiteral("PI002");
        QCOMPARE(lists.locations(giveBack), QStringList{QStringLiteral("辅仓")});
    }

    void pickers_data()
    {
        QTest::addColumn<QString>("picker");
        QTest::addColumn<QString>("invType");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("byOrderUsage");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("firstRow");
        QTest::addColumn<int>("rows");
        const QStringList stockColumns{"来料单号", "来料类型", "订单代号", "材料代号", "材料名称",
                                       "材料规格", "颜色",     "库存数量", "仓别"};
        // Typed texts are prefixes in any case.
        QTest::newRow("orders") << "order"
                                << "1"
                                << "2" << false << QStringList{"订单代号", "订单日期", "客户代号", "客户名称"}
                                << QStringList{"SO1", "", "", ""} << 2;
        QTest::newRow("manufacturing orders") << "mo"
                                              << "1"
                                              << "2" << false << QStringList{"制号", "订单代号", "款号", "客户订单"}
                                              << QStringList{"MO1", "SO1", "", ""} << 2;
        QTest::newRow("materials by manufacturing order")
            << "material"
            << "1"
            << "2" << false << (stockColumns + QStringList{"制号", "型号"})
            << QStringList{"PI001", "采购入库", "SO1", "F001", "牛津布", "600D", "", "8", "主仓", "MO1", ""} << 1;
        QTest::newRow("materials by order under order usage")
            << "material"
            << "1"
            << "1" << true << (stockColumns + QStringList{"型号"})
            << QStringList{"PI002", "采购入库", "SO1", "F001", "牛津布", "600D", "", "4", "辅仓", ""} << 1;
        QTest::newRow("receipts of free stock")
            << "receipt"
            << "1"
            << "0" << false
            << QStringList{"来料单号", "来料类型", "订单代号", "材料代号", "材料名称", "材料规格", "库存数量", "仓别"}
            << QStringList{"PI003", "其它入库", "", "F001", "牛津布", "600D", "7", "主仓"} << 1;
        QTest::newRow("materials of earlier lines for a return")
            << "material"
            << "2"
            << "2" << false << QStringList{"来料单号", "来料类型", "订单代号", "材料代号", "材料名称",
                                           "材料规格", "颜色",     "已领数量", "仓别"}
            << QStringList{"PI001", "采购入库", "SO1", "F001", "牛津布", "600D", "", "10", "主仓"} << 1;
        QTest::newRow("receipts of earlier lines for a return")
            << "receipt"
            << "2"
            << "2" << false
            << QStringList{"来料单号", "来料类型", "订单代号", "材料代号", "材料名称", "材料规格", "已领数量", "仓别"}
            << QStringList{"PI001", "采购入库", "SO1", "F001", "牛津布", "600D", "10", "主仓"} << 1;
    }
    void pickers()
    {
        QFETCH(QString, picker);
        QFETCH(QString, invType);
        QFETCH(QString, mode);
        QFETCH(bool, byOrderUsage);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, firstRow);
        QFETCH(int, rows);
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 10);
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 0); // nothing drawn: not offered
        LineInputs in = issue(mode);
        in.invType = invType;
        in.issueByOrderUsage = byOrderUsage;
        in.orderNo = picker == QLatin1String("order") ? QStringLiteral("so") : QStringLiteral("SO1");
        in.moNo = picker == QLatin1String("mo") ? QStringLiteral("mo") : QStringLiteral("MO1");
        in.mtrNo = picker == QLatin1String("material") ? QStringLiteral("f0") : QStringLiteral("F001");
        in.frmInv = QStringLiteral("pi");
        const SourceLists lists(conn);
        const Statement q = picker == QLatin1String("order")      ? lists.orderPicker(in)
                            : picker == QLatin1String("mo")       ? lists.moPicker(in)
                            : picker == QLatin1String("material") ? lists.materialPicker(in)
                                                                  : lists.receiptPicker(in);
        const ResultSet rs = Sql(conn, q.text).bindAll(q.values).select();
        QCOMPARE(rs.columns(), columns);
        QCOMPARE(rs.rowCount(), qint64(rows));
        QStringList first;
        for (int c = 0; c < rs.columnCount(); ++c)
            first << rs.text(0, c);
        QCOMPARE(first, firstRow);
    }

    void suppliers()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst312 (Purc_No, Supl_No) VALUES ('PI001', 'S05')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst403 (Inv_No, Supl_No) VALUES ('OI001', 'S07')"));
        const SourceLists lists(conn);
        LineInputs in = issue();
        in.sourceSupplierNo = QStringLiteral("OLD");
        FillResult out;
        lists.fill(in, out);
        QCOMPARE(out.sourceSupplierNo, QStringLiteral("S01")); // from the stock row

        in.frmInv = QStringLiteral("PI404"); // no stock row: kept
        in.sourceSupplierNo = QStringLiteral("OLD");
        QCOMPARE(lists.stockSupplier(in, QStringLiteral("A"), in.sourceSupplierNo), QStringLiteral("OLD"));

        QCOMPARE(lists.receiptSupplier(QStringLiteral("采购入库"), QStringLiteral(" PI001 "), QStringLiteral("OLD")),
                 QStringLiteral("S05"));
        QCOMPARE(lists.receiptSupplier(QStringLiteral("其它入库"), QStringLiteral("OI001"), QStringLiteral("OLD")),
                 QStringLiteral("S07"));
        QCOMPARE(lists.receiptSupplier(QStringLiteral("委外入库"), QStringLiteral("PI001"), QStringLiteral("OLD")),
                 QString());
        QCOMPARE(lists.receiptSupplier(QStringLiteral("调拨入库"), QStringLiteral("PI001"), QStringLiteral("OLD")),
                 QStringLiteral("OLD"));
    }

    // The manufacturing orders do not depend on what is typed: one list
    // object (one dialog) reads them once and keeps them until something in
    // the database changes, through this connection or any other.
    void manufacturingOrdersKeptUntilTheDatabaseChanges()
    {
        static int moReads = 0;
        Sql::setObserver([](const Connection &, const QString &text, const QList<QVariant> &) {
            if (text.startsWith(QLatin1String("SELECT Mo_No FROM Mmst412_Mo")))
                ++moReads;
        });
        const auto refill = [](const SourceLists &lists) {
            LineInputs in;
            in.invType = QStringLiteral("2");
            in.stockMode = QStringLiteral("2");
            in.mtrNo = QStringLiteral("F001");
            FillResult out;
            lists.fill(in, out);
            return *out.moNoList;
        };
        line(doc(QStringLiteral("1"), QStringLiteral("2")), 10);
        const SourceLists lists(conn);
        moReads = 0;
        QCOMPARE(refill(lists), QStringList{QStringLiteral("MO1")});
        QCOMPARE(refill(lists), QStringList{QStringLiteral("MO1")});
        QCOMPARE(moReads, 1);
        // Another user approves a document of another manufacturing order.
        Connection other = Connection::open(conn.url());
        const qint64 rec411 = Sql(other, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Status) "
                                                        "VALUES ('OTHER', '1', '0')"))
                                  .insert(QStringLiteral("Rec_411"));
        Sql(other, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Mo_No, Order_No, Frm_Inv, Mtr_Amt) "
                                  "VALUES (?, (SELECT Rec_611 FROM mmst611 WHERE Mtr_No = 'F001'), 'MO3', 'SO3', "
                                  "'PI009', 2)"))
            .bind(rec411)
            .exec();
        Sql(other, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Rec_411 = ?")).bind(rec411).exec();
        other.close();
        QCOMPARE(refill(lists), (QStringList{QStringLiteral("MO3"), QStringLiteral("MO1")}));
        // And this connection resets it.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '0' WHERE Rec_411 = ?"), {rec411});
        QCOMPARE(refill(lists), QStringList{QStringLiteral("MO1")});
        QCOMPARE(moReads, 3);
        // A change that brings or takes no manufacturing order: on SQLite,
        // which numbers the comings and goings of the count's keys, the list
        // is kept; a server reads it again.
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Status) VALUES ('OPEN', '1', '0')"));
        QCOMPARE(refill(lists), QStringList{QStringLiteral("MO1")});
        QCOMPARE(moReads, conn.backend() == Backend::SQLite ? 3 : 4);
        // Lines approved while the counting triggers were gone, counted again
        // afterwards (as an upgrade or a repair does): read again.
        for (const SummaryDef &summary : TestDb::schema().summaries())
            Schema::dropSummaryTriggers(conn, summary);
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Mo_No = 'MO9' WHERE Rec_411 = ?"), {rec411});
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Rec_411 = ?"), {rec411});
        for (const SummaryDef &summary : TestDb::schema().summaries())
            Schema::recountSummary(conn, summary);
        QCOMPARE(refill(lists), (QStringList{QStringLiteral("MO9"), QStringLiteral("MO1")}));
        Sql::setObserver(nullptr);
    }

    void optionsAndOrderOfManufacturingOrder()
    {
        const SourceLists lists(conn);
        QVERIFY(!lists.issueByOrderUsage());
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('按订单用料控制领料', '2')"));
        QVERIFY(lists.issueByOrderUsage());
        QCOMPARE(lists.orderOfMo(QStringLiteral(" mo1 ")), QStringLiteral("SO1"));
        QCOMPARE(lists.orderOfMo(QStringLiteral("MO9")), QString());
    }
};

QTEST_GUILESS_MAIN(TstSourceLists)
#include "tst_sourcelists.moc"
