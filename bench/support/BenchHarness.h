#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Sql.h"

#include <QString>

#include <functional>
#include <vector>

// A small harness for the benchmarks: runs a piece of work several times,
// takes the median, and prints one table row per measure beside its floor
// (the least the same work could cost, measured in the same run) or its
// target. scripts/bench gathers the rows of every program into one table.
namespace Bench {

// Milliseconds of each run of work; prepare runs before each, outside the clock.
std::vector<double> timeRuns(int runs, const std::function<void()> &work, const std::function<void()> &prepare = {});
// The same after unmeasured runs of work (for about warmUpMs, at least one):
// a process just started runs the same statements over the same cached pages
// markedly slower for its first few hundred milliseconds, which a host that
// has been open all day no longer does.
std::vector<double> timeWarmRuns(int runs, const std::function<void()> &work, double warmUpMs = 300);
double median(std::vector<double> samples);

// "| name | median ms | floor ms | ratio | target |"; floor <= 0: none measured.
// targetRatio > 0: the median may be at most that many floors; targetMs > 0:
// the median may be at most that many milliseconds. Says "met" or "MISSED".
void report(const QString &name, double medianMs, double floorMs, double targetRatio, double targetMs,
            const QString &unit = QStringLiteral("ms"));
void header();

// Peak resident memory of the process, in MiB.
double peakMiB();

// The statements a piece of work issues through Sql, in order, each with
// the values bound to it (work runs once).
QList<Statement> capture(const std::function<void()> &work);

// The raw floor of captured statements: each prepared once on the
// connection, then bound, run and every column of every row read, with
// nothing of the module in between.
class RawStatements
{
public:
    RawStatements(const Connection &conn, const QList<Statement> &statements);
    ~RawStatements();
    RawStatements(const RawStatements &) = delete;
    RawStatements &operator=(const RawStatements &) = delete;
    void run(); // every statement once, in order
    void run(int i);
    int size() const { return int(m_statements.size()); }
    const Statement &statement(int i) const { return m_statements.at(i); }

private:
    Connection m_conn;
    QList<Statement> m_statements;
    std::vector<std::unique_ptr<class QSqlQuery>> m_queries;
};

// The database a benchmark runs on: a copy of the generated SQLite file
// (ERP_BENCH_DB, else build-release/bench.db; bench-H.db for H times the
// history), or, for "pg", a copy of a factory generated at ERP_BENCH_PG_SCALE
// (default 1) with that history in a PostgreSQL cluster kept under
// build-release/pg-bench (made on first use). Empty connection with why set
// when it cannot be had.
Connection open(const QString &backend, QString *why, int history = 1);

} // namespace Bench
