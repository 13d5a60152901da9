#include "support/BenchHarness.h"

#include "TestSupport.h"
#include "generator/FactoryGenerator.h"
#include "platform/core/ErpError.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace Bench {

std::vector<double> timeRuns(int runs, const std::function<void()> &work, const std::function<void()> &prepare)
{
    std::vector<double> out;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer clock;
        clock.start();
        work();
        out.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return out;
}

std::vector<double> timeWarmRuns(int runs, const std::function<void()> &work, double warmUpMs)
{
    QElapsedTimer warm;
    warm.start();
    for (int i = 0; i < 1000 && (i == 0 || double(warm.nsecsElapsed()) / 1e6 < warmUpMs); ++i)
        work();
    return timeRuns(runs, work);
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

void header()
{
    std::printf("| measure | median ms | floor ms | ratio | target | |\n");
    std::fflush(stdout);
}

void report(const QString &name, double medianMs, double floorMs, double targetRatio, double targetMs,
            const QString &unit)
{
    const bool hasFloor = floorMs > 0;
    const double ratio = hasFloor ? medianMs / floorMs : 0;
    QString target;
    bool met = true;
    if (targetRatio > 0) {
        target = QStringLiteral("<= %1x floor").arg(targetRatio);
        met = hasFloor && ratio <= targetRatio;
    }
    if (targetMs > 0) {
        target +=
            (target.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("<= %1 %2").arg(targetMs).arg(unit);
        met = met && medianMs <= targetMs;
    }
    std::printf("| %s | %.2f | %s | %s | %s | %s |\n", qPrintable(name), medianMs,
                hasFloor ? qPrintable(QString::number(floorMs, 'f', 2)) : "-",
                hasFloor ? qPrintable(QString::number(ratio, 'f', 1) + QLatin1Char('x')) : "-",
                target.isEmpty() ? "-" : qPrintable(target), target.isEmpty() ? "" : (met ? "met" : "MISSED"));
    std::fflush(stdout);
}

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

Connection open(const QString &backend, QString *why)
{
    if (!qEnvironmentVariableIsSet("ERP_SOURCE_DIR"))
        qputenv("ERP_SOURCE_DIR", ERP_SOURCE_DIR);
    try {
        if (backend == QLatin1String("pg")) {
            Connection conn = TestDb::freshPostgres(true);
            bool ok = false;
            double scale = qEnvironmentVariable("ERP_BENCH_PG_SCALE").toDouble(&ok);
            if (!ok || !(scale > 0))
                scale = 1;
            FactoryScale options;
            options.scale = scale;
            options.progress = [](const QString &line) { std::fprintf(stderr, "pg generate: %s\n", qPrintable(line)); };
            generateFactory(conn, options);
            return conn;
        }
        QString source = qEnvironmentVariable("ERP_BENCH_DB");
        if (source.isEmpty())
            source = QStringLiteral(ERP_SOURCE_DIR "/build-release/bench.db");
        if (!QFile::exists(source)) {
            if (why)
                *why = QStringLiteral("no generated database at %1 (scripts/bench makes it)").arg(source);
            return {};
        }
        static QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("bench-%1.db").arg(QCoreApplication::applicationPid()));
        QFile::remove(copy);
        if (!QFile::copy(source, copy)) {
            if (why)
                *why = QStringLiteral("cannot copy %1").arg(source);
            return {};
        }
        Connection conn = Connection::open(QStringLiteral("sqlite:") + copy);
        // A database generated before the schema gained an index gets it, as
        // an upgrade would give it, so the figures are those of this schema.
        if (!TestDb::schema().upgrade(conn).isEmpty())
            for (const QString &statement : conn.dialect().refreshStatistics())
                Sql(conn, statement).exec();
        return conn;
    } catch (const ErpError &e) {
        if (why)
            *why = e.description();
        return {};
    }
}

} // namespace Bench
