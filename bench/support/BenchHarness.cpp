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
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <QSqlRecord>

#include <algorithm>
#include <cstdio>
#include <utility>

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

namespace {
QList<Statement> g_captured;
void captureOne(const Connection &, const QString &text, const QList<QVariant> &values)
{
    g_captured.append(Statement(text, values));
}
} // namespace

QList<Statement> capture(const std::function<void()> &work)
{
    g_captured.clear();
    Sql::setObserver(captureOne);
    try {
        work();
    } catch (...) {
        Sql::setObserver(nullptr);
        throw;
    }
    Sql::setObserver(nullptr);
    return std::exchange(g_captured, {});
}

RawStatements::RawStatements(const Connection &conn, const QList<Statement> &statements)
    : m_conn(conn), m_statements(statements)
{
    for (const Statement &st : m_statements) {
        auto q = std::make_unique<QSqlQuery>(m_conn.database());
        q->setForwardOnly(true);
        q->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!q->prepare(st.text))
            Connection::raise(q->lastError(), st.text);
        m_queries.push_back(std::move(q));
    }
}

RawStatements::~RawStatements() = default;

void RawStatements::run(int i)
{
    QSqlQuery &q = *m_queries[size_t(i)];
    const Statement &st = m_statements.at(i);
    const bool textDates = m_conn.backend() == Backend::SQLite;
    for (int v = 0; v < st.values.size(); ++v) {
        QVariant value = st.values.at(v);
        if (textDates && value.typeId() == QMetaType::QDate)
            value = value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        q.bindValue(v, value);
    }
    if (!q.exec())
        Connection::raise(q.lastError(), st.text);
    const int columns = q.record().count();
    while (q.next())
        for (int c = 0; c < columns; ++c)
            q.value(c);
    q.finish();
}

void RawStatements::run()
{
    for (int i = 0; i < size(); ++i)
        run(i);
}

double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

namespace {

// A PostgreSQL cluster kept under build-release/pg-bench between runs: each
// generated factory is made once, as a database of its own, and every run
// works on a copy of it. Started on first use, stopped when the program ends.
class KeptCluster
{
public:
    ~KeptCluster()
    {
        if (m_started)
            run(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")});
    }

    // An address of the database in the cluster; throws when it cannot start.
    QString url(const QString &database)
    {
        if (!m_started)
            start();
        return QStringLiteral("postgres://postgres@127.0.0.1:%1/%2").arg(m_port).arg(database);
    }

private:
    bool run(const QString &tool, const QStringList &args, QString *output = nullptr) const
    {
        QProcess p;
        QString program = QDir(m_bin).filePath(tool);
        QStringList arguments = args;
        if (geteuid() == 0) { // the server refuses to run as root
            arguments = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
                        arguments;
            program = QStringLiteral("runuser");
        }
        p.start(program, arguments);
        if (!p.waitForFinished(600000)) {
            p.kill();
            return false;
        }
        if (output)
            *output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    [[noreturn]] static void fail(const QString &why)
    {
        throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("bench"), why);
    }

    void start()
    {
        const QStringList versions =
            QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        if (versions.isEmpty())
            fail(QStringLiteral("no PostgreSQL server installed"));
        m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions.last());
        const QString dir = QStringLiteral(ERP_SOURCE_DIR "/build-release/pg-bench");
        m_data = dir + QStringLiteral("/data");
        QString out;
        if (!QFile::exists(m_data + QStringLiteral("/PG_VERSION"))) {
            QDir().mkpath(dir);
            if (geteuid() == 0)
                QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), dir});
            if (!run(QStringLiteral("initdb"),
                     {QStringLiteral("-D"), m_data, QStringLiteral("-U"), QStringLiteral("postgres"),
                      QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                      QStringLiteral("--no-sync")},
                     &out))
                fail(QStringLiteral("initdb failed: ") + out);
        }
        // A server an interrupted run left running is stopped first.
        if (run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_data, QStringLiteral("status")}))
            run(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")});
        for (int attempt = 0; attempt < 5 && !m_started; ++attempt) {
            m_port = 20000 + int((QCoreApplication::applicationPid() * 7 + attempt * 131 + 17) % 30000);
            const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                                   "-c synchronous_commit=off -c full_page_writes=off")
                                        .arg(m_port)
                                        .arg(dir);
            m_started = run(QStringLiteral("pg_ctl"),
                            {QStringLiteral("-D"), m_data, QStringLiteral("-o"), options, QStringLiteral("-l"),
                             dir + QStringLiteral("/log"), QStringLiteral("-w"), QStringLiteral("start")},
                            &out);
        }
        if (!m_started)
            fail(QStringLiteral("the server did not start: ") + out);
        // Copies an earlier run left behind.
        Connection admin = Connection::open(url(QStringLiteral("postgres")));
        const ResultSet left =
            Sql(admin, QStringLiteral("SELECT datname FROM pg_database WHERE datname LIKE 'run\\_%'")).select();
        for (qint64 r = 0; r < left.rowCount(); ++r)
            Sql(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(left.text(r, 0))).exec();
        admin.close();
    }

    QString m_bin;
    QString m_data;
    int m_port = 0;
    bool m_started = false;
};

KeptCluster &keptCluster()
{
    static KeptCluster cluster;
    return cluster;
}

// A factory generated before the schema gained an index or a summary gets
// it, as an upgrade would give it, with fresh statistics: once, not on every
// copy.
void upgradeFactory(const QString &url)
{
    Connection conn = Connection::open(url);
    const QStringList report = TestDb::schema().upgrade(conn);
    for (const QString &line : report)
        std::fprintf(stderr, "%s: %s\n", qPrintable(url), qPrintable(line));
    if (!report.isEmpty())
        for (const QString &statement : conn.dialect().refreshStatistics())
            Sql(conn, statement).exec();
    conn.close();
}

bool databaseExists(const Connection &admin, const QString &name)
{
    return !Sql(admin, QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?")).bind(name).select().isEmpty();
}

// A copy of the generated factory for this run, made first when missing.
Connection postgresFactory(int history)
{
    bool ok = false;
    double scale = qEnvironmentVariable("ERP_BENCH_PG_SCALE").toDouble(&ok);
    if (!ok || !(scale > 0))
        scale = 1;
    const QString factory = QStringLiteral("factory_s%1_h%2").arg(qRound(scale * 1000)).arg(history);
    KeptCluster &cluster = keptCluster();
    Connection admin = Connection::open(cluster.url(QStringLiteral("postgres")));
    if (!databaseExists(admin, factory)) {
        // Made under another name and renamed once complete, so that an
        // interrupted generation is never taken for a factory.
        const QString making = QStringLiteral("making_") + factory;
        Sql(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(making)).exec();
        Sql(admin, QStringLiteral("CREATE DATABASE %1").arg(making)).exec();
        {
            Connection conn = Connection::open(cluster.url(making));
            TestDb::schema().create(conn);
            TestDb::schema().seed(conn, TestDb::seedPath());
            FactoryScale options;
            options.scale = scale;
            options.history = history;
            options.summaries = TestDb::schema().summaries();
            options.progress = [factory](const QString &line) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(factory), qPrintable(line));
            };
            generateFactory(conn, options);
            conn.close();
        }
        Sql(admin, QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(making, factory)).exec();
    }
    upgradeFactory(cluster.url(factory));
    static int copies = 0;
    const QString copy = QStringLiteral("run_%1_%2").arg(QCoreApplication::applicationPid()).arg(++copies);
    Sql(admin, QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(copy, factory)).exec();
    admin.close();
    return Connection::open(cluster.url(copy));
}

} // namespace

Connection open(const QString &backend, QString *why, int history)
{
    if (!qEnvironmentVariableIsSet("ERP_SOURCE_DIR"))
        qputenv("ERP_SOURCE_DIR", ERP_SOURCE_DIR);
    try {
        Connection conn;
        if (backend == QLatin1String("pg")) {
            conn = postgresFactory(history);
        } else {
            QString source = history == 1 ? qEnvironmentVariable("ERP_BENCH_DB") : QString();
            if (source.isEmpty())
                source = history == 1 ? QStringLiteral(ERP_SOURCE_DIR "/build-release/bench.db")
                                      : QStringLiteral(ERP_SOURCE_DIR "/build-release/bench-%1.db").arg(history);
            if (!QFile::exists(source)) {
                if (why)
                    *why = QStringLiteral("no generated database at %1 (scripts/bench makes it)").arg(source);
                return {};
            }
            upgradeFactory(QStringLiteral("sqlite:") + source);
            static QTemporaryDir dir;
            static int copies = 0;
            const QString copy = dir.filePath(QStringLiteral("bench-%1-%2.db").arg(history).arg(++copies));
            QFile::remove(copy);
            if (!QFile::copy(source, copy)) {
                if (why)
                    *why = QStringLiteral("cannot copy %1").arg(source);
                return {};
            }
            conn = Connection::open(QStringLiteral("sqlite:") + copy);
        }
        return conn;
    } catch (const ErpError &e) {
        if (why)
            *why = e.description();
        return {};
    }
}

} // namespace Bench
