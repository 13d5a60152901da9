#include "platform/db/Connection.h"

#include "platform/core/ErpError.h"
#include "platform/db/CodeCollation.h"
#include "platform/db/Sql.h"

#include <QAtomicInt>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>

namespace {

QAtomicInt g_connectionCounter;

// Open transactions per connection name.
QMutex g_depthGuard;
QHash<QString, int> g_transactionDepth;

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.constData());
    return nullptr;
}

// Analyses, on a sample, every table whose planner statistics are missing
// (a database made empty and filled by other programs since) or describe a
// table a tenth of its size or less: the plans of the lists rest on them.
// Quick when nothing is missing, milliseconds per table when something is;
// a database another writer holds, or one that cannot be written, is left
// as it is.
void gatherMissingStatistics(QSqlDatabase &db, sqlite3 *handle)
{
    QSqlQuery q(db);
    QHash<QString, qint64> described; // table -> rows its statistics describe
    if (q.exec(QStringLiteral("SELECT tbl, stat FROM sqlite_stat1"))) {
        while (q.next()) {
            const qint64 rows = q.value(1).toString().section(QLatin1Char(' '), 0, 0).toLongLong();
            const QString table = q.value(0).toString().toLower();
            described[table] = std::max(described.value(table), rows);
        }
    }
    QStringList tables;
    if (!q.exec(QStringLiteral("SELECT DISTINCT tbl_name FROM sqlite_master WHERE type = 'index'")))
        return;
    while (q.next())
        tables.append(q.value(0).toString());
    QStringList stale;
    for (const QString &table : std::as_const(tables)) {
        QSqlQuery size(db);
        // The largest key: as many rows, or more than are left after deletes.
        if (!size.exec(QStringLiteral("SELECT MAX(rowid) FROM \"%1\"").arg(table)) || !size.next())
            continue;
        const qint64 rows = size.value(0).toLongLong();
        const qint64 known = described.value(table.toLower(), -1);
        if (rows >= 1000 && (known < 0 || known * 10 < rows))
            stale.append(table);
    }
    if (stale.isEmpty())
        return;
    sqlite3_busy_timeout(handle, 200);
    q.exec(QStringLiteral("PRAGMA analysis_limit = 1000"));
    for (const QString &table : std::as_const(stale))
        q.exec(QStringLiteral("ANALYZE \"%1\"").arg(table));
    q.exec(QStringLiteral("PRAGMA analysis_limit = 0"));
    sqlite3_busy_timeout(handle, Connection::kDefaultLockWaitSeconds * 1000);
}

} // namespace

namespace {

// What every connection of ours is given once open: SQLite's code collation
// and pragmas, PostgreSQL's session settings. The error text, empty when done.
QString applySessionSettings(QSqlDatabase &db, Backend backend)
{
    if (backend == Backend::SQLite) {
        sqlite3 *handle = sqliteHandle(db);
        if (!handle ||
            sqlite3_create_collation_v2(handle, "ERPCODE", SQLITE_UTF8, nullptr, erpCompareCodes, nullptr) != SQLITE_OK)
            return QStringLiteral("cannot register the code collation");
        // Readers do not wait for writers, and several windows share one file.
        QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        // A posting reads balances, journal and their indexes all over
        // a large file: 32 MiB of pages instead of SQLite's 2 MiB keep
        // the upper index levels and the hot rows at hand.
        QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-32768"));
        gatherMissingStatistics(db, handle);
    }
    if (backend == Backend::PostgreSQL) {
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO WARNING"));
        // Compiling a statement to machine code costs the server tens of
        // milliseconds; the walks through the indexes of a list refresh
        // look costly to the planner and never win that back.
        QSqlQuery(db).exec(QStringLiteral("SET jit = off"));
    }
    return QString();
}

} // namespace

Connection Connection::open(const QString &url)
{
    const QString name = QStringLiteral("erp_conn_%1").arg(g_connectionCounter.fetchAndAddRelaxed(1) + 1);
    Connection c;
    c.m_url = url;
    c.m_name = name;
    QString error;
    {
        QSqlDatabase db;
        const QString trimmed = url.trimmed();
        if (trimmed.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
            c.m_backend = Backend::SQLite;
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(trimmed.mid(7));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kDefaultLockWaitSeconds * 1000));
        } else if (trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive) ||
                   trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)) {
            c.m_backend = Backend::PostgreSQL;
            const QUrl u(trimmed);
            if (u.isValid() && u.path().size() >= 2) {
                db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
                db.setHostName(u.host().isEmpty() ? QStringLiteral("127.0.0.1") : u.host());
                db.setPort(u.port(5432));
                db.setUserName(u.userName());
                db.setPassword(u.password());
                db.setDatabaseName(u.path().mid(1));
            } else {
                error = QStringLiteral("not a database address: %1").arg(trimmed);
            }
        } else if (trimmed.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive)) {
            c.m_backend = Backend::SqlServer;
            db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
            db.setDatabaseName(trimmed.mid(5));
        } else {
            error = QStringLiteral("unknown kind of database address: %1").arg(trimmed);
        }
        if (error.isEmpty() && !db.open())
            error = db.lastError().text();
        if (error.isEmpty())
            error = applySessionSettings(db, c.m_backend);
        if (error.isEmpty())
            return c;
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Connection"), error);
}

Connection Connection::fromQt(const QString &connectionName)
{
    Connection c;
    c.m_name = connectionName;
    const QString driver = QSqlDatabase::database(connectionName, false).driverName();
    c.m_backend = driver == QLatin1String("QPSQL")   ? Backend::PostgreSQL
                  : driver == QLatin1String("QODBC") ? Backend::SqlServer
                                                     : Backend::SQLite;
    return c;
}

bool Connection::isOpen() const
{
    return isValid() && QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

void Connection::reconnect() const
{
    if (!isValid() || !QSqlDatabase::contains(m_name))
        throw ErpError(ErpErrorNumber::NotConnected, QStringLiteral("Connection"),
                       QStringLiteral("Operation is not allowed when the object is closed."));
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QString why;
    for (int attempt = 1; attempt <= kReconnectAttempts; ++attempt) {
        db.close();
        if (db.open()) {
            why = applySessionSettings(db, m_backend);
            if (why.isEmpty()) {
                const QMutexLocker hold(&g_depthGuard);
                g_transactionDepth.remove(m_name); // the server ended them with the old connection
                return;
            }
        } else {
            why = db.lastError().text();
        }
        QThread::msleep(kReconnectPauseMs);
    }
    db.close();
    throw ErpError(ErpErrorNumber::ConnectionLost, QStringLiteral("Connection"),
                   QStringLiteral("无法连接数据库,请稍后再试!(%1)").arg(why.trimmed()));
}

bool Connection::wasDropped() const
{
    return isValid() && QSqlDatabase::contains(m_name) && !QSqlDatabase::database(m_name, false).isOpen() &&
           m_backend != Backend::SQLite;
}

bool Connection::isConnectionLoss(const QSqlError &error) const
{
    if (m_backend == Backend::SQLite)
        return false;
    if (error.type() == QSqlError::ConnectionError)
        return true;
    const QString code = error.nativeErrorCode();
    // PostgreSQL: class 08 (connection exception) and 57P01..57P03 (the
    // server shutting down or starting); ODBC: 08S01 and the other 08 states.
    if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || code == QLatin1String("57P02") ||
        code == QLatin1String("57P03"))
        return true;
    const QString text = error.text();
    return text.contains(QLatin1String("server closed the connection")) ||
           text.contains(QLatin1String("no connection to the server")) ||
           text.contains(QLatin1String("terminating connection"));
}

int Connection::transactionDepth() const
{
    const QMutexLocker hold(&g_depthGuard);
    return g_transactionDepth.value(m_name);
}

void Connection::enterTransaction() const
{
    const QMutexLocker hold(&g_depthGuard);
    ++g_transactionDepth[m_name];
}

void Connection::leaveTransaction() const
{
    const QMutexLocker hold(&g_depthGuard);
    auto it = g_transactionDepth.find(m_name);
    if (it != g_transactionDepth.end() && --it.value() <= 0)
        g_transactionDepth.erase(it);
}

void Connection::close()
{
    if (!isValid() || !QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        // SQLite refreshes the statistics its planner lacks from what this
        // connection's statements used; cheap when nothing is missing.
        if (m_backend == Backend::SQLite && db.isOpen())
            QSqlQuery(db).exec(QStringLiteral("PRAGMA optimize"));
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const
{
    if (!isValid())
        throw ErpError(ErpErrorNumber::NotConnected, QStringLiteral("Connection"),
                       QStringLiteral("no database connection"));
    return QSqlDatabase::database(m_name, false);
}

QString Connection::stateToken() const
{
    QString statement;
    if (m_backend == Backend::SQLite) {
        // Commits of other connections move data_version, this one's own
        // writes total_changes().
        statement = QStringLiteral("SELECT data_version || ':' || total_changes() FROM pragma_data_version");
    } else if (m_backend == Backend::PostgreSQL) {
        // Two equal snapshots see the same committed transactions; inside a
        // transaction that has written, its own later writes would not show.
        statement = QStringLiteral("SELECT CASE WHEN txid_current_if_assigned() IS NULL "
                                   "THEN txid_current_snapshot()::text ELSE '' END");
    } else {
        return {};
    }
    return Sql(*this, statement).scalar().toString();
}

void Connection::setCommandTimeout(int seconds) const
{
    QSqlDatabase db = database();
    if (m_backend == Backend::SQLite) {
        if (sqlite3 *handle = sqliteHandle(db))
            sqlite3_busy_timeout(handle, seconds * 1000);
        return;
    }
    const QString statement = dialect().commandTimeoutStatement(seconds);
    QSqlQuery q(db);
    if (!q.exec(statement))
        raise(q.lastError(), statement);
}

void Connection::resetCommandTimeout() const
{
    if (m_backend == Backend::SQLite) {
        setCommandTimeout(kDefaultLockWaitSeconds);
        return;
    }
    const QString statement = m_backend == Backend::PostgreSQL ? QStringLiteral("SET statement_timeout TO DEFAULT")
                                                               : QStringLiteral("SET LOCK_TIMEOUT -1");
    QSqlQuery q(database());
    if (!q.exec(statement))
        raise(q.lastError(), statement);
}

void Connection::raise(const QSqlError &error, const QString &statement)
{
    const QString native = error.nativeErrorCode();
    bool numeric = false;
    qint64 number = native.toLongLong(&numeric);
    if (!numeric)
        number = ErpErrorNumber::SqlStatement;
    if (native == QLatin1String("57014")) // canceled by statement_timeout
        number = ErpErrorNumber::Timeout;
    QString source = error.driverText().isEmpty() ? QStringLiteral("Database") : error.driverText();
    if (!numeric && !native.isEmpty())
        source += QStringLiteral(" [%1]").arg(native);
    QString description = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (description.trimmed().isEmpty())
        description = QStringLiteral("statement failed");
    Q_UNUSED(statement);
    throw ErpError(number, source, description.trimmed(), native);
}
