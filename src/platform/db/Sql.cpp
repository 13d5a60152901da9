#include "platform/db/Sql.h"

#include "platform/core/ErpError.h"
#include "platform/db/Value.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlRecord>

// ---------------------------------------------------------------- ResultSet

void ResultSet::setColumns(const QStringList &columns)
{
    m_columns = columns;
    m_index.clear();
    for (int i = 0; i < columns.size(); ++i) {
        const QString key = columns.at(i).toLower();
        if (!m_index.contains(key))
            m_index.insert(key, i);
    }
}

int ResultSet::columnIndex(const QString &name) const
{
    return m_index.value(name.toLower(), -1);
}

const QVariant &ResultSet::value(qint64 row, int column) const
{
    static const QVariant none;
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return none;
    return m_rows.at(row).at(column);
}

const QVariant &ResultSet::value(qint64 row, const QString &column) const
{
    const int c = columnIndex(column);
    if (c < 0)
        throw ErpError(3265, QStringLiteral("ResultSet"),
                       QStringLiteral("Item cannot be found in the collection: %1").arg(column));
    if (row < 0 || row >= rowCount())
        throw ErpError(3021, QStringLiteral("ResultSet"),
                       QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    return m_rows.at(row).at(c);
}

QString ResultSet::text(qint64 row, int column) const
{
    return valueText(value(row, column));
}

QString ResultSet::text(qint64 row, const QString &column) const
{
    return valueText(value(row, column));
}

// ---------------------------------------------------------------- Sql

namespace {
Sql::Observer g_observer = nullptr;
Sql::Capture g_capture = nullptr;
} // namespace

void Sql::setObserver(Observer observer)
{
    g_observer = observer;
}

void Sql::setCapture(Capture capture)
{
    g_capture = capture;
}

Sql::Sql(const Connection &conn, const QString &text, std::source_location where)
    : m_conn(conn), m_text(text), m_where(where.file_name())
{}

Sql::Sql(const Connection &conn, const Statement &statement, std::source_location where)
    : m_conn(conn), m_text(statement.text), m_values(statement.values), m_where(where.file_name())
{}

Sql::Sql(PreparedStatements &statements, const QString &text, std::source_location where)
    : m_conn(statements.connection()), m_text(text), m_statements(&statements), m_where(where.file_name())
{}

Sql::Sql(PreparedStatements &statements, const Statement &statement, std::source_location where)
    : m_conn(statements.connection()), m_text(statement.text), m_values(statement.values), m_statements(&statements),
      m_where(where.file_name())
{}

QSqlQuery &PreparedStatements::query(const QString &text)
{
    auto it = m_queries.find(text);
    if (it != m_queries.end())
        return **it;
    auto q = std::make_shared<QSqlQuery>(m_conn.database());
    q->setForwardOnly(true);
    q->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!q->prepare(text))
        Connection::raise(q->lastError(), text);
    return *m_queries.insert(text, q).value();
}

Sql &Sql::bind(const QVariant &value)
{
    m_values.append(value);
    return *this;
}

Sql &Sql::bindAll(const QList<QVariant> &values)
{
    m_values.append(values);
    return *this;
}

namespace {

[[noreturn]] void transactionCut()
{
    throw ErpError(ErpErrorNumber::ConnectionLost, QStringLiteral("Connection"),
                   QStringLiteral("与数据库的连接中断过,刚才的修改可能没有保存!"));
}

} // namespace

void Sql::run()
{
    // A connection the server dropped (a restart) is opened again before a
    // statement outside a transaction; inside one, the transaction is gone.
    if (m_conn.wasDropped()) {
        if (m_conn.transactionDepth() > 0)
            transactionCut();
        m_conn.reconnect();
    }
    if (!m_conn.isOpen())
        throw ErpError(ErpErrorNumber::NotConnected, QStringLiteral("Connection"),
                       QStringLiteral("Operation is not allowed when the object is closed."));
    if (g_observer)
        g_observer(m_conn, m_text, m_values);
    if (g_capture)
        g_capture(m_conn, m_text, m_where);
    QSqlError error;
    if (runOnce(error))
        return;
    // Found lost outside a transaction: the statement never ran, so it runs
    // once more on the connection opened again.
    if (m_conn.isConnectionLoss(error)) {
        if (m_conn.transactionDepth() > 0 || m_statements)
            transactionCut();
        m_conn.reconnect();
        if (runOnce(error))
            return;
    }
    Connection::raise(error, m_text);
}

bool Sql::runOnce(QSqlError &error)
{
    if (m_statements) {
        m_prepared = &m_statements->query(m_text);
    } else {
        m_query = QSqlQuery(m_conn.database());
        m_query.setForwardOnly(true);
        m_query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (m_values.isEmpty()) {
            if (m_query.exec(m_text))
                return true;
            error = m_query.lastError();
            return false;
        }
        if (!m_query.prepare(m_text)) {
            error = m_query.lastError();
            return false;
        }
    }
    QSqlQuery &q = query();
    const bool textDates = m_conn.backend() == Backend::SQLite;
    for (int i = 0; i < m_values.size(); ++i) {
        QVariant v = m_values.at(i);
        // SQLite keeps dates as text; store them in the form every query compares.
        if (textDates && v.typeId() == QMetaType::QDateTime)
            v = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        else if (textDates && v.typeId() == QMetaType::QDate)
            v = v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        q.bindValue(i, v);
    }
    if (q.exec())
        return true;
    error = q.lastError();
    q.finish();
    return false;
}

ResultSet Sql::select()
{
    run();
    ResultSet rs;
    const QSqlRecord record = query().record();
    QStringList names;
    names.reserve(record.count());
    for (int i = 0; i < record.count(); ++i)
        names.append(record.fieldName(i));
    rs.setColumns(names);
    const int n = record.count();
    while (query().next()) {
        QList<QVariant> row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.append(query().value(i));
        rs.appendRow(std::move(row));
    }
    if (query().lastError().isValid()) {
        const QSqlError error = query().lastError();
        query().finish();
        Connection::raise(error, m_text);
    }
    query().finish();
    return rs;
}

QVariant Sql::scalar()
{
    run();
    QVariant v;
    if (query().next())
        v = query().value(0);
    query().finish();
    return v;
}

qint64 Sql::exec()
{
    run();
    const qint64 n = query().numRowsAffected();
    query().finish();
    return n;
}

qint64 Sql::insert(const QString &keyColumn)
{
    const Dialect &d = m_conn.dialect();
    // Asked on every server (it leaves the statement alone where the driver
    // reports the key), so that a recording dialect sees every insert.
    m_text = d.insertReturningKey(m_text, keyColumn);
    if (d.keyFromDriver()) {
        run();
        const qint64 key = query().lastInsertId().toLongLong();
        query().finish();
        return key;
    }
    run();
    qint64 key = 0;
    if (query().next())
        key = query().value(0).toLongLong();
    query().finish();
    return key;
}

QSqlQuery &Sql::openForward()
{
    run();
    return query();
}

// ---------------------------------------------------------------- Transaction


Transaction::Transaction(const Connection &conn, Mode mode) : m_conn(conn)
{
    // Found dropped before anything was done: the work starts on the
    // connection opened again.
    if (conn.wasDropped() && conn.transactionDepth() == 0)
        conn.reconnect();
    const auto begin = [&] {
        QSqlError error;
        if (conn.backend() == Backend::SqlServer) {
            if (conn.database().transaction())
                return true;
            error = conn.database().lastError();
        } else {
            QSqlQuery q(conn.database());
            if (q.exec(mode == Write ? conn.dialect().beginWrite() : QStringLiteral("BEGIN")))
                return true;
            error = q.lastError();
        }
        if (!conn.isConnectionLoss(error) || conn.transactionDepth() > 0)
            Connection::raise(error);
        return false;
    };
    if (!begin()) {
        conn.reconnect();
        if (!begin())
            throw ErpError(ErpErrorNumber::ConnectionLost, QStringLiteral("Connection"),
                           QStringLiteral("无法连接数据库,请稍后再试!"));
    }
    m_active = true;
    conn.enterTransaction();
}

Transaction::~Transaction()
{
    if (m_active) {
        try {
            rollback();
        } catch (...) {
            // The connection is gone; the server discards the transaction with it.
        }
    }
}

void Transaction::commit()
{
    if (!m_active)
        return;
    QSqlError error;
    bool done = false;
    if (m_conn.backend() == Backend::SqlServer) {
        done = m_conn.database().commit();
        if (!done)
            error = m_conn.database().lastError();
    } else {
        QSqlQuery q(m_conn.database());
        done = q.exec(QStringLiteral("COMMIT"));
        if (!done)
            error = q.lastError();
    }
    if (!done) {
        if (m_conn.isConnectionLoss(error) || m_conn.wasDropped()) {
            m_active = false;
            m_conn.leaveTransaction();
            throw ErpError(ErpErrorNumber::ConnectionLost, QStringLiteral("Connection"),
                           QStringLiteral("与数据库的连接中断过,刚才的修改可能没有保存!"));
        }
        Connection::raise(error, QStringLiteral("COMMIT"));
    }
    m_active = false;
    m_conn.leaveTransaction();
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    m_conn.leaveTransaction();
    // A dropped connection took its transaction with it.
    if (!m_conn.isOpen())
        return;
    if (m_conn.backend() == Backend::SqlServer)
        m_conn.database().rollback();
    else
        QSqlQuery(m_conn.database()).exec(QStringLiteral("ROLLBACK"));
}
