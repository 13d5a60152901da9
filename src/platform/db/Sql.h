#pragma once

#include "platform/db/Connection.h"

#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

class QSqlError;

#include <memory>
#include <source_location>

// A disconnected copy of a result: every row read at once, counted exactly,
// walked forward (and back, for grids). Column names match without regard to case.
class ResultSet
{
public:
    ResultSet() = default;

    int columnCount() const { return int(m_columns.size()); }
    qint64 rowCount() const { return qint64(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QStringList &columns() const { return m_columns; }
    int columnIndex(const QString &name) const; // -1 when absent

    const QVariant &value(qint64 row, int column) const;
    const QVariant &value(qint64 row, const QString &column) const; // throws when absent
    QString text(qint64 row, int column) const;                     // null as empty
    QString text(qint64 row, const QString &column) const;
    const QList<QVariant> &row(qint64 row) const { return m_rows.at(row); }
    QList<QList<QVariant>> &rows() { return m_rows; }
    const QList<QList<QVariant>> &rows() const { return m_rows; }

    // Cursor, as the record sets of the windows use it.
    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position >= rowCount(); }
    bool beforeStart() const { return m_position < 0; }
    bool hasCurrent() const { return !atEnd() && !beforeStart(); }
    void moveFirst() { m_position = 0; }
    void moveNext() { ++m_position; }
    void movePrevious() { --m_position; }
    void moveTo(qint64 row) { m_position = row; }
    const QVariant &field(const QString &column) const { return value(m_position, column); }
    QString fieldText(const QString &column) const { return text(m_position, column); }

    void setColumns(const QStringList &columns);
    void appendRow(QList<QVariant> row) { m_rows.append(std::move(row)); }

private:
    QStringList m_columns;
    QHash<QString, int> m_index; // lower-cased name -> column
    QList<QList<QVariant>> m_rows;
    qint64 m_position = 0;
};

// The text of a statement (or of a part of one, such as a condition) with
// the values bound to its "?" placeholders, in order. Parts append to one
// another, so a statement is composed once with its values beside its text.
struct Statement
{
    QString text;
    QList<QVariant> values;

    Statement() = default;
    Statement(QString text, QList<QVariant> values = {}) : text(std::move(text)), values(std::move(values)) {}

    bool isEmpty() const { return text.trimmed().isEmpty(); }
    Statement &append(const QString &moreText, const QList<QVariant> &moreValues = {})
    {
        text += moreText;
        values += moreValues;
        return *this;
    }
    Statement &append(const Statement &part) { return append(part.text, part.values); }
};

// Statements prepared once on one connection and run again with new values,
// for work that repeats a few statements per line (postings). Must not
// outlive the connection.
class PreparedStatements
{
public:
    explicit PreparedStatements(const Connection &conn) : m_conn(conn) {}
    PreparedStatements(const PreparedStatements &) = delete;
    PreparedStatements &operator=(const PreparedStatements &) = delete;

    // The statement of that text, prepared on first use. Throws ErpError.
    QSqlQuery &query(const QString &text);
    const Connection &connection() const { return m_conn; }

private:
    Connection m_conn;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_queries;
};

// One statement with bound values. Values always travel as parameters
// ("?" placeholders, bound in order); only identifiers are ever spliced.
class Sql
{
public:
    // where: the code that issues the statement (for the statement capture).
    Sql(const Connection &conn, const QString &text, std::source_location where = std::source_location::current());
    Sql(const Connection &conn, const Statement &statement,
        std::source_location where = std::source_location::current());
    // Runs on the statement kept prepared in statements (on its connection).
    Sql(PreparedStatements &statements, const QString &text,
        std::source_location where = std::source_location::current());
    Sql(PreparedStatements &statements, const Statement &statement,
        std::source_location where = std::source_location::current());

    Sql &bind(const QVariant &value);
    Sql &bindAll(const QList<QVariant> &values);

    // Runs a statement that returns rows and copies them all. Throws ErpError.
    ResultSet select();
    // The first column of the first row, or an invalid QVariant when no row.
    QVariant scalar();
    // Runs a statement that returns no rows; the number of rows it touched.
    qint64 exec();
    // Runs an INSERT and returns the key the database gave the new row.
    qint64 insert(const QString &keyColumn);
    // Forward-only reading of a large result without copying it.
    QSqlQuery &openForward();

    const QString &text() const { return m_text; }

    // Sees every statement before it runs, with its values (the plan check
    // of the tests collects them); none by default.
    using Observer = void (*)(const Connection &conn, const QString &text, const QList<QVariant> &values);
    static void setObserver(Observer observer);
    // Sees every statement before it runs, with the source file that issued
    // it (the test run's statement capture); apart from the observer, so that
    // a test's own observer does not replace it. None by default.
    using Capture = void (*)(const Connection &conn, const QString &text, const char *sourceFile);
    static void setCapture(Capture capture);

private:
    void run();
    bool runOnce(QSqlError &error);
    QSqlQuery &query() { return m_prepared ? *m_prepared : m_query; }
    Connection m_conn;
    QString m_text;
    QList<QVariant> m_values;
    QSqlQuery m_query;
    PreparedStatements *m_statements = nullptr;
    QSqlQuery *m_prepared = nullptr;
    const char *m_where = nullptr;
};

// One database transaction: begun by the constructor, rolled back by the
// destructor unless commit() succeeded. A write transaction takes the
// database's write lock at its start on servers that lock whole files, so a
// check and the write that depends on it cannot interleave with another user.
class Transaction
{
public:
    enum Mode { Read, Write };
    explicit Transaction(const Connection &conn, Mode mode = Write);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();
    void rollback();
    bool isActive() const { return m_active; }

private:
    Connection m_conn;
    bool m_active = false;
};
