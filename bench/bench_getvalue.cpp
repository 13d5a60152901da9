// GetValue of the seeded issue report's script, as the report list runs it
// for every print: the prelude, the variables text, the registered objects
// and the list window's controls, the script, then W_SQL. Best and mean time
// per run over many runs on the demo database.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_getvalue [runs]
#include "context/RunContext.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"
#include "reports/FrmDesignReportShow.h"
#include "reports/KestoDesign.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    QTemporaryDir dir;
    const QString schemaDir = schemaDirectory();
    const Schema schema = Schema::load(QDir(schemaDir).filePath(QStringLiteral("erp.schema")));
    Connection conn = Connection::open(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db")));
    schema.create(conn);
    schema.seed(conn, QDir(schemaDir).filePath(QStringLiteral("seed/demo.sql")));
    runContext().Conn = conn;

    const QString script =
        Sql(conn, QStringLiteral("SELECT report_sql FROM mmstc111 WHERE form_name = '40B' AND basic_sql_flag = 0 "
                                 "ORDER BY Report_Name"))
            .scalar()
            .toString();
    const QString number =
        Sql(conn, QStringLiteral("SELECT MIN(Inv_No) FROM Mmst411 WHERE Inv_Type = '1'")).scalar().toString();

    // The report list as the issue window opens it: its controls are the script's.
    FrmDesignReportShow &list = FrmDesignReportShow::obtain();
    list.setFormId(QStringLiteral("40B"));
    list.setView_Price(true);
    list.setSetVariantCode(QStringLiteral("inv_no=") + FrmDesignReportShow::scriptLiteral(number));
    list.selectCaption(QString());
    const QString variables = list.variablesText();
    Kesto_Design *host = list.scriptHost();

    QString sql;
    double best = 1e9;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        sql = host->GetValue(script, QStringLiteral("W_SQL"), true, variables, true).toString();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    const double mean = all.nsecsElapsed() / 1e6 / runs;
    if (sql.isEmpty() || !sql.contains(number)) {
        std::fprintf(stderr, "bench_getvalue: the script gave no SQL for %s\n", qPrintable(number));
        return 1;
    }
    std::printf("GetValue of the 40B report script (%lld characters), %d runs: best %.3f ms, mean %.3f ms\n",
                static_cast<long long>(script.size()), runs, best, mean);
    FrmDesignReportShow::release();
    conn.close();
    return 0;
}
