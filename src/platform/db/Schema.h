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
    // "hash index (...)": equality look-ups only, where the server keeps such
    // indexes (PostgreSQL, where a code's seek through an ordered index
    // compares it under the code collation at every step); elsewhere none.
    bool hash = false;
};

struct TableDef
{
    QString name;
    QList<ColumnDef> columns;
    QStringList primaryKey; // from "primary key (...)" or the serial column
    QList<IndexDef> indexes;
    const ColumnDef *column(const QString &name) const;
};

// One key part of a summary: a column of the counted rows or of their
// parent row. whenNull is the quoted literal a null reads as; without one,
// rows whose source is null are not counted.
struct SummaryPart
{
    ColumnDef column; // the summary's own column
    bool fromParent = false;
    QString source;
    QString whenNull;
};

// The rows of a child table whose parent row meets a condition, counted by
// key parts: "summary NAME counts CHILD of PARENT by LINK where COLUMN =
// 'VALUE'". Triggers on both tables keep it in step with every insert,
// update and delete, whoever makes them, in the writer's own transaction.
// Lists that would read the child rows of every such parent read it instead.
struct SummaryDef
{
    QString name;
    QString child;
    QString parent;
    QString link; // the column child and parent share
    QString conditionColumn;
    QString conditionValue; // a quoted literal
    QList<SummaryPart> parts;

    // How many counted rows have the key.
    static QString countColumn() { return QStringLiteral("Lines"); }
    // The summary's table: its parts, the count, one row per key.
    TableDef table() const;
    // A part's value over the child row (alias c) and the parent row (alias p).
    QString partExpression(const class Dialect &dialect, const SummaryPart &part, const QString &c,
                           const QString &p) const;
    // The rows counted, grouped by key: parts then the count, in key order.
    QString countQuery(const class Dialect &dialect) const;
    // The names of the triggers that keep it.
    QStringList triggerNames() const;
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
    const QList<SummaryDef> &summaries() const { return m_summaries; }
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
    // created, and every summary missing (or missing a trigger) is made and
    // filled from its tables. Returns one line per fold, index and summary made.
    QStringList upgrade(const Connection &conn) const;
    // Counts a summary again from its tables and (re)makes its triggers:
    // for a summary made anew, one that missed changes, and after a bulk
    // load written with its triggers dropped. Returns the number of keys.
    static qint64 recountSummary(const Connection &conn, const SummaryDef &summary);
    // The row of Erp_Summary_Keys that names the definition a summary's
    // triggers were made from, and that definition's number: an upgrade
    // makes triggers of another definition anew.
    static QString definitionName(const SummaryDef &summary);
    static qint64 definitionHash(const class Dialect &dialect, const SummaryDef &summary);
    // Drops a summary's triggers before a bulk load (recountSummary after it).
    static void dropSummaryTriggers(const Connection &conn, const SummaryDef &summary);
    // The keys where a summary differs from a count of its tables (the key's
    // parts joined by '|', codes as they compare), in key order.
    struct SummaryDifference
    {
        QString key;
        qint64 counted = 0;
        qint64 kept = 0;
    };
    static QList<SummaryDifference> summaryMismatches(const Connection &conn, const SummaryDef &summary);
    // The same, one line each ("key: n counted, m in the summary"); empty when it holds.
    static QStringList summaryDifferences(const Connection &conn, const SummaryDef &summary);
    // Runs a seed file of INSERT statements (each ending in ';' at a line end,
    // "--" comment lines) and moves identity counters past the seeded keys.
    void seed(const Connection &conn, const QString &seedPath) const;
    // The statements seed runs, for one server. Throws ErpError.
    QList<SeedStatement> seedStatements(const class Dialect &dialect, const QString &seedPath) const;

private:
    QList<TableDef> m_tables;
    QList<ViewDef> m_views;
    QList<SummaryDef> m_summaries;
};

// The schema folder: next to the binaries (build tree or installed), or the
// source tree's during development.
QString schemaDirectory();
