#include "TestSupport.h"

#include "LedgerInvariant.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

ScriptedMessageBox::ScriptedMessageBox()
{
    MessageBoxService::install(this);
}

ScriptedMessageBox::~ScriptedMessageBox()
{
    MessageBoxService::install(nullptr);
}

int ScriptedMessageBox::show(const MessageRequest &request)
{
    m_shown.append(request);
    if (auto action = std::exchange(m_whileShown, {}))
        action(request);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return defaultAnswer(request.style);
}

QStringList ScriptedMessageBox::texts() const
{
    QStringList out;
    for (const MessageRequest &r : m_shown)
        out.append(r.text);
    return out;
}

namespace TestDb {

namespace {

QString sourceDir()
{
    const QString env = qEnvironmentVariable("ERP_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(".") : env;
}

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

int g_counter = 0;

struct PgCluster
{
    QString url;
    QString error;
    QString dataDir;
    QString binDir;
    bool started = false;

    ~PgCluster()
    {
        if (started)
            run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dataDir, QStringLiteral("-m"),
                                           QStringLiteral("immediate"), QStringLiteral("stop")});
        if (!dataDir.isEmpty())
            QDir(QFileInfo(dataDir).absolutePath()).removeRecursively();
    }

    bool run(const QString &tool, const QStringList &args, QString *output = nullptr)
    {
        QProcess p;
        QString program = QDir(binDir).filePath(tool);
        QStringList arguments = args;
        if (geteuid() == 0) {
            // The server refuses to run as root.
            arguments.prepend(program);
            arguments.prepend(QStringLiteral("postgres"));
            arguments.prepend(QStringLiteral("-u"));
            program = QStringLiteral("runuser");
            arguments.insert(3, QStringLiteral("--"));
        }
        p.start(program, arguments);
        if (!p.waitForFinished(120000)) {
            p.kill();
            return false;
        }
        if (output)
            *output = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    void start()
    {
        QDir lib(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        if (versions.isEmpty()) {
            error = QStringLiteral("no PostgreSQL server installed");
            return;
        }
        binDir = lib.filePath(versions.last() + QStringLiteral("/bin"));
        const QString base = QDir::temp().filePath(QStringLiteral("erp-pg-%1").arg(QCoreApplication::applicationPid()));
        QDir(base).removeRecursively();
        QDir().mkpath(base);
        dataDir = base + QStringLiteral("/data");
        if (geteuid() == 0)
            QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), base});
        QString out;
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), dataDir, QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-A"),
                  QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
                 &out)) {
            error = QStringLiteral("initdb failed: ") + out;
            return;
        }
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            const int port = 20000 + int((QCoreApplication::applicationPid() * 7 + attempt * 131) % 30000);
            const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                                   "-c synchronous_commit=off -c full_page_writes=off")
                                        .arg(port)
                                        .arg(base);
            if (run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), dataDir, QStringLiteral("-o"), options, QStringLiteral("-l"),
                     base + QStringLiteral("/log"), QStringLiteral("-w"), QStringLiteral("start")},
                    &out)) {
                started = true;
                url = QStringLiteral("postgres://postgres@127.0.0.1:%1/postgres").arg(port);
            }
        }
        if (!started)
            error = QStringLiteral("the server did not start: ") + out;
    }
};

PgCluster &cluster()
{
    static PgCluster c;
    static bool tried = false;
    if (!tried) {
        tried = true;
        c.start();
    }
    return c;
}

} // namespace

const Schema &schema()
{
    static const Schema s = Schema::load(QDir(sourceDir()).filePath(QStringLiteral("schema/erp.schema")));
    return s;
}

QString seedPath()
{
    return QDir(sourceDir()).filePath(QStringLiteral("schema/seed/demo.sql"));
}

Connection freshSqlite(bool seed)
{
    const QString path = scratch().filePath(QStringLiteral("db%1.sqlite").arg(++g_counter));
    Connection conn = Connection::open(QStringLiteral("sqlite:") + path);
    schema().create(conn);
    if (seed)
        schema().seed(conn, seedPath());
    return conn;
}

bool restartPostgres()
{
    PgCluster &c = cluster();
    if (!c.started)
        return false;
    // Every session of the server is cut, as when its machine restarts it.
    return c.run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), c.dataDir, QStringLiteral("-m"), QStringLiteral("fast"),
                                            QStringLiteral("-w"), QStringLiteral("-l"),
                                            QFileInfo(c.dataDir).absolutePath() + QStringLiteral("/log"),
                                            QStringLiteral("restart")});
}

QString postgresServerUrl(QString *whyNot)
{
    PgCluster &c = cluster();
    if (whyNot)
        *whyNot = c.error;
    return c.url;
}

Connection freshPostgres(bool seed)
{
    QString why;
    const QString url = postgresServerUrl(&why);
    if (url.isEmpty())
        throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("TestDb"), why);
    const QString name = QStringLiteral("erp_test_%1").arg(++g_counter);
    {
        Connection admin = Connection::open(url);
        Sql(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name)).exec();
        Sql(admin, QStringLiteral("CREATE DATABASE %1").arg(name)).exec();
        admin.close();
    }
    const QString dbUrl = url.left(url.lastIndexOf(QLatin1Char('/')) + 1) + name;
    Connection conn = Connection::open(dbUrl);
    schema().create(conn);
    if (seed)
        schema().seed(conn, seedPath());
    return conn;
}

void exec(const Connection &conn, const QString &sql, const QList<QVariant> &values)
{
    Sql(conn, sql).bindAll(values).exec();
    LedgerInvariant::fixtureWritten();
}

} // namespace TestDb

namespace TestDb {

QString backendName()
{
    return qEnvironmentVariable("ERP_TEST_BACKEND") == QLatin1String("pg") ? QStringLiteral("pg")
                                                                           : QStringLiteral("sqlite");
}

Connection fresh(bool seed)
{
    return backendName() == QLatin1String("pg") ? freshPostgres(seed) : freshSqlite(seed);
}

} // namespace TestDb
