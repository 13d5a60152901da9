// The line dialog's lists that read counts kept by the database, or seek
// instead of reading history, against the statements they replace, on a
// generated factory with years of documents: row for row and in order, for
// every nature and manufacturing order, before and after approvals, resets,
// closings by another program and changes of lines. The kept counts
// themselves match a count of the approved lines all along.
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "generator/FactoryGenerator.h"
#include "lines/SourceLists.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"

#include <QMap>
#include <QTest>

namespace {

QString codeKey(QString code)
{
    while (code.endsWith(QLatin1Char(' ')))
        code.chop(1);
    return code.toUpper();
}

// The first column of a statement, nulls left out, as the lists read it.
QStringList column(const Connection &conn, const QString &sql, const QList<QVariant> &values = {})
{
    const ResultSet rs = Sql(conn, sql).bindAll(values).select();
    QStringList out;
    for (qint64 r = 0; r < rs.rowCount(); ++r)
        if (!rs.value(r, 0).isNull())
            out << valueText(rs.value(r, 0));
    return out;
}

// The statements the lists were written with before: every approved line of
// the nature read.
QStringList referenceReturnMos(const Connection &conn, const QString &nature)
{
    return column(conn,
                  QStringLiteral("SELECT DISTINCT b.Mo_No FROM Mmst411 a LEFT JOIN Mmst412 b ON b.Rec_411 = a.Rec_411 "
                                 "WHERE a.Status = '2' AND COALESCE(a.Out_Flag, '0') = ? ORDER BY b.Mo_No DESC"),
                  {nature});
}

// The material list of every manufacturing order at once, by the order's
// code as codes compare (without case and trailing blanks).
QMap<QString, QStringList> referenceReturnMaterials(const Connection &conn, const QString &nature)
{
    const ResultSet rs =
        Sql(conn,
            QStringLiteral("SELECT DISTINCT b.Mo_No, m.Mtr_No FROM Mmst412 b "
                           "INNER JOIN Mmst411 a ON a.Rec_411 = b.Rec_411 "
                           "INNER JOIN mmst611 m ON b.Rec_611 = m.Rec_611 WHERE a.Status = '2' "
                           "AND COALESCE(a.Out_Flag, '0') = ? AND b.Mo_No IS NOT NULL ORDER BY b.Mo_No, m.Mtr_No"))
            .bind(nature)
            .select();
    QMap<QString, QStringList> out;
    for (qint64 r = 0; r < rs.rowCount(); ++r)
        out[codeKey(rs.text(r, 0))].append(rs.text(r, 1));
    return out;
}

QStringList referenceIssueMos(const Connection &conn)
{
    return column(conn, QStringLiteral("SELECT mmst111.Mo_No FROM mmst111 "
                                       "INNER JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                                       "WHERE mmst011.Order_No IN (SELECT Order_No FROM mmst381) "
                                       "AND mmst111.Status = '2' ORDER BY mmst111.Mo_No"));
}

} // namespace

class TstListParity : public QObject
{
    Q_OBJECT

    Connection conn;

    LineInputs returnOf(bool outsourcing) const
    {
        LineInputs in;
        in.invType = QStringLiteral("2");
        in.stockMode = QStringLiteral("2");
        in.outsourcing = outsourcing;
        return in;
    }

    // Every list against its reference, for both natures and every
    // manufacturing order they list (and one no line has).
    void compareAll()
    {
        const SourceLists lists(conn);
        for (const bool outsourcing : {false, true}) {
            const QString nature = outsourcing ? QStringLiteral("1") : QStringLiteral("0");
            LineInputs in = returnOf(outsourcing);
            const QStringList mos = referenceReturnMos(conn, nature);
            QVERIFY(!mos.isEmpty());
            QCOMPARE(lists.moNumbers(in), mos);
            const QMap<QString, QStringList> materialsOf = referenceReturnMaterials(conn, nature);
            for (const QString &mo : mos + QStringList{QStringLiteral("NO-SUCH-MO")}) {
                in.moNo = mo;
                const std::optional<QStringList> materials = lists.materials(in);
                QVERIFY(materials.has_value());
                QCOMPARE(*materials, materialsOf.value(codeKey(mo)));
            }
        }
        LineInputs issue;
        issue.invType = QStringLiteral("1");
        issue.stockMode = QStringLiteral("2");
        QCOMPARE(lists.moNumbers(issue), referenceIssueMos(conn));
        for (const SummaryDef &summary : TestDb::schema().summaries())
            QCOMPARE(Schema::summaryDifferences(conn, summary), QStringList());
    }

    // The first approved (or open) document of a nature with lines.
    ResultSet document(const QString &status, const QString &nature, const QString &kind = QStringLiteral("1"))
    {
        return Sql(conn, QStringLiteral("SELECT a.Rec_411, a.Inv_No, a.Inv_Date FROM Mmst411 a WHERE a.Status = ? "
                                        "AND COALESCE(a.Out_Flag, '0') = ? AND a.Inv_Type = ? AND EXISTS "
                                        "(SELECT 1 FROM Mmst412 b WHERE b.Rec_411 = a.Rec_411) ORDER BY a.Rec_411"))
            .bindAll({status, nature, kind})
            .select();
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh(true);
        FactoryScale scale;
        scale.scale = 0.03;
        scale.history = 2;
        scale.summaries = TestDb::schema().summaries();
        generateFactory(conn, scale);
    }

    void listsMatchTheirStatements() { compareAll(); }

    // What moves the lines of approved documents: approvals and resets
    // through the posting, documents closed or reopened by another program,
    // a nature changed, lines changed, moved, added and deleted, a header
    // deleted with its lines; after each, the lists still match.
    void listsFollowEveryChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("approval") << "approve";
        QTest::newRow("reset") << "reset";
        QTest::newRow("closed by another program") << "close";
        QTest::newRow("reopened by another program") << "reopen";
        QTest::newRow("nature changed") << "nature";
        QTest::newRow("line's manufacturing order changed") << "line mo";
        QTest::newRow("line moved to an open document") << "line moved";
        QTest::newRow("line added to an approved document") << "line added";
        QTest::newRow("lines deleted") << "lines deleted";
        QTest::newRow("approved header deleted before its lines") << "header deleted";
        QTest::newRow("every line of a manufacturing order reset") << "mo emptied";
    }
    void listsFollowEveryChange()
    {
        QFETCH(QString, change);
        const DocumentStore store(conn);
        const auto post = [&](const ResultSet &doc, bool approve) {
            const PostingOutcome outcome =
                store.post(DocumentKind::issue(), approve, doc.value(0, 0).toLongLong(), doc.text(0, 1),
                           QDate::fromString(doc.text(0, 2).left(10), Qt::ISODate), QStringLiteral("parity"));
            QVERIFY(outcome.result != PostingOutcome::Result::StatusMoved);
        };
        const ResultSet approved = document(QStringLiteral("2"), QStringLiteral("1"));
        const ResultSet open = document(QStringLiteral("0"), QStringLiteral("1"));
        QVERIFY(!approved.isEmpty() && !open.isEmpty());
        const QVariant approvedKey = approved.value(0, 0);
        if (change == QLatin1String("approve")) {
            // With negative stock allowed, so that the approval posts whatever the stock.
            TestDb::exec(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '1' WHERE Item_No = ?"),
                         {QStringLiteral("仓库中允许负库存")});
            post(open, true);
        } else if (change == QLatin1String("reset")) {
            post(approved, false);
        } else if (change == QLatin1String("close")) {
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '6' WHERE Rec_411 = ?"), {approvedKey});
        } else if (change == QLatin1String("reopen")) {
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Status IN ('6', '7')"));
        } else if (change == QLatin1String("nature")) {
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Out_Flag = NULL WHERE Rec_411 = ?"), {approvedKey});
        } else if (change == QLatin1String("line mo")) {
            TestDb::exec(conn,
                         QStringLiteral("UPDATE Mmst412 SET Mo_No = 'PARITY-MO' WHERE Rec_412 = "
                                        "(SELECT MIN(Rec_412) FROM Mmst412 WHERE Rec_411 = ?)"),
                         {approvedKey});
        } else if (change == QLatin1String("line moved")) {
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst412 SET Rec_411 = ? WHERE Rec_411 = ?"),
                         {open.value(0, 0), approvedKey});
        } else if (change == QLatin1String("line added")) {
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, "
                                        "Mo_No, Mtr_Amt) SELECT ?, Rec_611, 'PARITY', 'A', '', 'parity-mo', 1 "
                                        "FROM mmst611 WHERE Rec_611 = (SELECT MAX(Rec_611) FROM mmst611)"),
                         {approvedKey});
        } else if (change == QLatin1String("lines deleted")) {
            TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = ?"), {approvedKey});
        } else if (change == QLatin1String("header deleted")) {
            TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Rec_411 = ?"), {approvedKey});
            TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = ?"), {approvedKey});
        } else if (change == QLatin1String("mo emptied")) {
            const QString mo = referenceReturnMos(conn, QStringLiteral("1")).first();
            TestDb::exec(conn,
                         QStringLiteral("UPDATE Mmst411 SET Status = '0' WHERE Rec_411 IN "
                                        "(SELECT Rec_411 FROM Mmst412 WHERE Mo_No = ?)"),
                         {mo});
            QVERIFY(!SourceLists(conn).moNumbers(returnOf(true)).contains(mo));
        }
        compareAll();
    }

    // A database made before the counts existed gets them from its lines.
    void upgradeCountsTheLines()
    {
        for (const SummaryDef &summary : TestDb::schema().summaries()) {
            for (const QString &statement : conn.dialect().dropSummaryTriggers(summary))
                TestDb::exec(conn, statement);
            TestDb::exec(conn, conn.dialect().dropTable(summary.name));
        }
        const QStringList report = TestDb::schema().upgrade(conn);
        QCOMPARE(report.filter(QStringLiteral("summary made")).size(), TestDb::schema().summaries().size());
        compareAll();
        // One whose triggers went missing may have missed changes: it is counted again.
        const SummaryDef &first = TestDb::schema().summaries().first();
        TestDb::exec(conn, conn.dialect().dropSummaryTriggers(first).first());
        TestDb::exec(conn, QStringLiteral("DELETE FROM %1").arg(first.name));
        QCOMPARE(TestDb::schema().upgrade(conn).filter(QStringLiteral("counted again")).size(), 1);
        QVERIFY(TestDb::schema().upgrade(conn).isEmpty());
        compareAll();
        // Triggers made from an older definition (every one present) are
        // made anew, and the count with them.
        TestDb::exec(conn, QStringLiteral("UPDATE Erp_Summary_Keys SET Version = 7 WHERE Name = ?"),
                     {Schema::definitionName(first)});
        TestDb::exec(conn, QStringLiteral("UPDATE %1 SET Lines = Lines + 5").arg(first.name));
        QCOMPARE(TestDb::schema().upgrade(conn), QStringList{QStringLiteral("%1: summary counted again with %2 keys")
                                                                 .arg(first.name)
                                                                 .arg(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM %1")
                                                                                    .arg(first.name))
                                                                          .scalar()
                                                                          .toLongLong())});
        QVERIFY(TestDb::schema().upgrade(conn).isEmpty());
        compareAll();
    }
};

QTEST_GUILESS_MAIN(TstListParity)
#include "tst_listparity.moc"
