// Times statements on a database as the module runs them (its connection,
// with the code collation): each statement read from the standard input,
// separated by a line ending in ';', is run after warm-up runs and its
// median printed with its row count (and its plan with --plan). For trying
// a statement's forms against a generated factory.
//
//   build-release/bench/bench_sql sqlite:build-release/bench.db [--plan] < statements.sql
#include "platform/core/ErpError.h"
#include "platform/db/Connection.h"
#include "platform/db/Sql.h"
#include "support/BenchHarness.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_sql DATABASE-URL [--plan] < statements\n");
        return 2;
    }
    const bool plan = args.contains(QStringLiteral("--plan"));
    try {
        Connection conn = Connection::open(args.at(1));
        QTextStream in(stdin);
        const QString all = in.readAll();
        for (QString text : all.split(QRegularExpression(QStringLiteral(";\\s*\\n")), Qt::SkipEmptyParts)) {
            text = text.trimmed();
            if (text.isEmpty() || text.startsWith(QLatin1String("--")))
                continue;
            qint64 rows = 0;
            const double ms = Bench::median(Bench::timeWarmRuns(
                15, [&] { rows = Sql(conn, text).select().rowCount(); }, 100));
            std::printf("%9.3f ms %7lld rows  %s\n", ms, rows, qPrintable(text.simplified().left(200)));
            if (plan) {
                const QString explain = conn.backend() == Backend::PostgreSQL ? QStringLiteral("EXPLAIN ANALYZE ")
                                                                              : QStringLiteral("EXPLAIN QUERY PLAN ");
                const ResultSet p = Sql(conn, explain + text).select();
                for (qint64 r = 0; r < p.rowCount(); ++r)
                    std::printf("        %s\n", qPrintable(p.text(r, p.columnCount() - 1)));
            }
            std::fflush(stdout);
        }
    } catch (const ErpError &e) {
        std::fprintf(stderr, "bench_sql: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
