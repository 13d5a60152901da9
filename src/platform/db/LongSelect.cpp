#include "platform/db/LongSelect.h"

#include "platform/core/ErpError.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSqlDriver>
#include <QThread>

#include <sqlite3.h>

#include <memory>

namespace {

// What the searching thread and the waiting one share.
struct Search
{
    QMutex mutex;
    bool cancelled = false;
    sqlite3 *handle = nullptr; // SQLite: the searching connection, while it is open
    QVariant backend;          // PostgreSQL: the searching session's process
    std::optional<ResultSet> rows;
    std::optional<ErpError> error;
};

sqlite3 *sqliteHandle(const Connection &conn)
{
    const QVariant v = conn.database().driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.constData());
    return nullptr;
}

void runSearch(const std::shared_ptr<Search> &search, const QString &url, const Statement &statement, int timeout)
{
    try {
        Connection own = Connection::open(url);
        {
            QMutexLocker lock(&search->mutex);
            if (own.backend() == Backend::SQLite)
                search->handle = sqliteHandle(own);
            else
                search->backend = Sql(own, QStringLiteral("SELECT pg_backend_pid()")).scalar();
            if (search->cancelled) {
                search->handle = nullptr;
                lock.unlock();
                own.close();
                return;
            }
        }
        own.setCommandTimeout(timeout);
        std::optional<ResultSet> rows;
        std::optional<ErpError> error;
        try {
            rows = Sql(own, statement).select();
        } catch (const ErpError &e) {
            error = e;
        }
        {
            QMutexLocker lock(&search->mutex);
            search->handle = nullptr;
            search->rows = std::move(rows);
            search->error = std::move(error);
        }
        own.close();
    } catch (const ErpError &e) {
        QMutexLocker lock(&search->mutex);
        search->error = e;
    }
}

} // namespace

std::optional<ResultSet> selectWithProgress(const Connection &conn, const Statement &statement, int timeoutSeconds,
                                            const std::function<bool(qint64 elapsedMs)> &keepGoing)
{
    if (conn.url().isEmpty() || conn.backend() == Backend::SqlServer) {
        conn.setCommandTimeout(timeoutSeconds);
        try {
            ResultSet rs = Sql(conn, statement).select();
            conn.resetCommandTimeout();
            return rs;
        } catch (...) {
            conn.resetCommandTimeout();
            throw;
        }
    }
    auto search = std::make_shared<Search>();
    std::unique_ptr<QThread> worker(QThread::create(
        [search, url = conn.url(), statement, timeoutSeconds] { runSearch(search, url, statement, timeoutSeconds); }));
    worker->start();
    QElapsedTimer clock;
    clock.start();
    bool cancelled = false;
    while (!worker->wait(50)) {
        if (cancelled || keepGoing(clock.elapsed()))
            continue;
        cancelled = true;
        QVariant backend;
        {
            QMutexLocker lock(&search->mutex);
            search->cancelled = true;
            if (search->handle)
                sqlite3_interrupt(search->handle);
            backend = search->backend;
        }
        // The server stops the other session's statement at once.
        if (backend.isValid())
            Sql(conn, QStringLiteral("SELECT pg_cancel_backend(?)")).bind(backend).select();
    }
    if (cancelled)
        return std::nullopt;
    if (search->error)
        throw *search->error;
    return std::move(search->rows);
}
