#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Connection;

enum class ColumnKind { Serial, Int, Code, Text, Memo, Decimal, Float, Bit, Date, DateTime };

struct ColumnDef
{
    QString name;
    ColumnKind kind = ColumnKind::Text;
    int length = 0; // code(n), text(n), decimal precision
    int scale = 0;  // decimal scale
    bool notNull = false;
    QString defaultValue; // a literal as written in the schema, empty when none
};

struct IndexDef
{
    QStringList columns;
    bool unique = false;
    // Columns the index reads with null as empty ("COLUMN or ''" in the
    // schema), so that it compares keys as the code compares them.
    QStringList nullAsEmpty;
    bool readsNullAsEmpty(const QString &column) const { return nullAsEmpty.contains(column, Qt::CaseInsensitive); }
    // For a unique index added to older databases: the column whose values
    // the upgrade adds up when it folds rows of one key into one.
    QString mergeSum;
};

struct TableDef
{
    QString name;
    QList<ColumnDef> columns;
    QStringList primaryKey; // from "primary key (...)" or the serial column
    QList<IndexDef> indexes;
    const ColumnDef *column(const QString &name) const;
};

struct ViewDef
{
    QString name;
    QString select;
};

// One statement of a seed file and the line it starts on (0: added after the file's).
struct SeedStatement
{
    int line = 0;
    QString text;
};

// The ERP tables and views, read from the schema file (a small line format:
// "table NAME" / column lines / "end", and "view NAME" / SELECT / "end").
class Schema
{
public:
    static Schema parse(const QString &text); // throws ErpError with the line number
    static Schema load(const QString &path);  // throws ErpError

    const QList<TableDef> &tables() const { return m_tables; }
    const QList<ViewDef> &views() const { return m_views; }
    const TableDef *table(const QString &name) const;

    // All DDL statements for one server, in order.
    QStringList ddl(const class Dialect &dialect) const;
    // The statements creating the number-th index (from 1) of a table.
    static QStringList indexDdl(const class Dialect &dialect, const TableDef &table, int number);
    // Creates every table, index and view on the connection in one transaction.
    void create(const Connection &conn) const;
    // Brings a database made by an earlier schema up to this one, in one
    // transaction: rows breaking a new unique index with "merge sum" are
    // folded into the first of their key, then every missing index is
    // created. Returns one line per fold and per index made.
    QStringList upgrade(const Connection &conn) const;
    // Runs a seed file of INSERT statements (each ending in ';' at a line end,
    // "--" comment lines) and moves identity counters past the seeded keys.
    void seed(const Connection &conn, const QString &seedPath) const;
    // The statements seed runs, for one server. Throws ErpError.
    QList<SeedStatement> seedStatements(const class Dialect &dialect, const QString &seedPath) const;

private:
    QList<TableDef> m_tables;
    QList<ViewDef> m_views;
};

// The schema folder: next to the binaries (build tree or installed), or the
// source tree's during development.
QString schemaDirectory();
