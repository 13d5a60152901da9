// The PDF of a 500-line issue slip through the report component, beside the
// floor of running the report's query alone: median of nine runs each.
//
//   ERP_SOURCE_DIR=$PWD QT_QPA_PLATFORM=offscreen build/bench/bench_report [lines]
#include "TestSupport.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportComponent.h"
#include "platform/script/ScriptEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    QTemporaryDir tmp;
    Connection conn = TestDb::freshSqlite(true);

    TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Date, Inv_Type, Org_No, Proc_Man, Bar_Man, "
                                      "Status) VALUES ('LL261209500', '2026-12-09', '1', '0001001', '王建军', "
                                      "'陈志明', '0')"));
    const QVariant rec = Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No = 'LL261209500'")).scalar();
    const ResultSet mats = Sql(conn, QStringLiteral("SELECT Rec_611 FROM mmst611")).select();
    {
        Transaction t(conn);
        for (int i = 0; i < lines; ++i)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Mtr_Amt, Bar_No, Color_No) VALUES "
                                        "(?, ?, ?, 'A001002', 'BK')"),
                         {rec, mats.value(i % mats.rowCount(), 0), 1 + i % 97});
        t.commit();
    }

    // The SQL the seeded script builds for a user who sees prices.
    ScriptEngine engine;
    engine.addCode(QStringLiteral("inv_no=\"LL261209500\"\r\nconst View_Price=True\r\nconst W_Filter=\"\"\r\n"));
    engine.addCode(Sql(conn, QStringLiteral("SELECT report_sql FROM mmstc111 WHERE Report_Name = 'RPT40B01'"))
                       .scalar()
                       .toString());
    const QString sql = engine.global(QStringLiteral("W_SQL")).toString();

    const QString appPath = QCoreApplication::applicationDirPath();
    const QString out = tmp.filePath(QStringLiteral("slip.pdf"));
    report::setPdfOutput(out);
    QList<double> query, pdf;
    for (int run = 0; run < 9; ++run) {
        QElapsedTimer t;
        t.start();
        const ResultSet rows = Sql(conn, sql).select();
        query.append(t.nsecsElapsed() / 1e6);
        if (rows.rowCount() != lines)
            return fprintf(stderr, "expected %d lines, got %lld\n", lines, rows.rowCount()), 1;
        t.restart();
        report::ReportComponent(appPath).rptPrint(conn, QStringLiteral("RPT40B01"), nullptr, QStringLiteral("V"), false,
                                                  nullptr, sql, {}, QStringLiteral("东莞宏达箱包制品有限公司"));
        pdf.append(t.nsecsElapsed() / 1e6);
    }
    printf("report PDF of %d lines: median %.1f ms (%lld bytes); the query alone: median %.1f ms\n", lines, median(pdf),
           QFileInfo(out).size(), median(query));
    return 0;
}
