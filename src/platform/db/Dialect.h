#pragma once

#include <QString>
#include <QStringList>

enum class Backend { SQLite, PostgreSQL, SqlServer };

struct ColumnDef;
struct TableDef;
struct IndexDef;
struct SummaryDef;

// What differs between the three database servers. Statements are otherwise
// written once, in the subset all three accept.
class Dialect
{
public:
    virtual ~Dialect() = default;

    static const Dialect &of(Backend backend);
    // Puts another dialect in the place of a server's own (nullptr gives the
    // server's own back): the test run's statement capture records what the
    // SQL Server dialect makes of each piece. Set before any connection opens.
    static void setOverride(Backend backend, const Dialect *dialect);

    virtual Backend backend() const = 0;
    virtual QString name() const = 0;

    // "SELECT [DISTINCT] ..." limited to its first n rows.
    virtual QString topN(const QString &select, int n) const = 0;
    // Expression giving the server's current date and time.
    virtual QString nowExpression() const = 0;
    // Statement that reads the server's clock as one column.
    QString serverNowQuery() const { return QStringLiteral("SELECT ") + nowExpression(); }
    // An INSERT statement rewritten so that executing it returns the new key
    // as its only row, or the statement unchanged where the driver reports it.
    virtual QString insertReturningKey(const QString &insert, const QString &keyColumn) const = 0;
    virtual bool keyFromDriver() const { return false; }
    // Query listing the column names of table (bind the table name once).
    virtual QString columnsQuery() const = 0;
    // "column LIKE" as codes need it (case-insensitive on every server).
    virtual QString codeLike(const QString &column) const = 0;
    // Sets the command time-out of the session, empty when done by the driver.
    virtual QString commandTimeoutStatement(int seconds) const = 0;
    // Opening statement of a transaction that will write; empty: driver call.
    virtual QString beginWrite() const = 0;
    // Statements that make the open transaction refuse every write, and that
    // lift the refusal again before it ends; empty where nothing is needed.
    // Where both are empty the caller relies on rolling the transaction back.
    virtual QString readOnlyOn() const { return {}; }
    virtual QString readOnlyOff() const { return {}; }
    // Statement, first in a read transaction, after which every statement of
    // it sees the database as it stood at the first one; empty where every
    // transaction already does (SQLite) or the server must be set up for it
    // (SQL Server's snapshot isolation).
    virtual QString snapshotRead() const { return {}; }
    // Statements, first in a write transaction, that keep every other writer
    // off the tables until the transaction ends and fail at once when another
    // transaction is writing them; none where a write transaction already
    // takes the whole database (its start then waits instead).
    virtual QStringList holdTablesNoWait(const QStringList &) const { return {}; }
    // expr compared as codes compare (case and trailing blanks ignored), for
    // expressions such as COALESCE(code, '') that lose their column's collation.
    virtual QString codeText(const QString &expr) const = 0;
    // expr compared byte for byte, whatever collation its column declares.
    virtual QString exactText(const QString &expr) const = 0;
    // Length of a text without its trailing blanks.
    virtual QString textLength(const QString &expr) const = 0;
    // "SELECT columns FROM table WHERE where", holding the rows it reads until
    // the transaction ends. Servers that lock whole files need no hold: their
    // write transaction already excludes every other writer.
    virtual QString lockedRows(const QString &table, const QString &columns, const QString &where) const;
    // False where a write transaction already excludes every other writer,
    // so that reading rows only to hold them can be left out.
    virtual bool locksRows() const { return true; }
    // True where SELECT DISTINCT over the leading columns of an index seeks
    // from one value to the next instead of reading every entry, so that a
    // walk by those values, testing each row, reads one row per value.
    virtual bool skipsToDistinct() const { return false; }

    // True when a failure with this driver code is a deadlock, a
    // serialization failure or a busy database: the transaction it broke
    // may be run again as a whole.
    virtual bool isTransient(const QString &nativeCode) const = 0;
    // Whether a failure's native code says a unique index refused the row.
    virtual bool isUniqueViolation(const QString &nativeCode) const = 0;

    // Statements that bring the planner's statistics up to date.
    virtual QStringList refreshStatistics() const = 0;

    // "INSERT INTO table (columns) VALUES (?, ...)" for a row whose key is the
    // unique index key. Where another user inserted a row of that key after
    // this one looked, addColumn is added to that row and the columns in
    // refreshed take the new values instead. Servers that return it give the
    // row's resulting addColumn as the one row of the statement.
    virtual QString insertOrAdd(const QString &table, const QStringList &columns, const IndexDef &key,
                                const QString &addColumn, const QStringList &refreshed) const;
    // True when insertOrAdd meets a row already there (not only one inserted
    // meanwhile): it then serves as "add to the key's row, or make it".
    virtual bool insertOrAddMeetsAnyRow() const { return false; }

    // DDL.
    virtual QStringList preamble() const { return {}; }
    // The index entry of a column: the column itself, or the expression
    // reading null as empty where the index says so.
    virtual QString indexPart(const IndexDef &index, const QString &column) const;
    // The value an index entry holds, as an expression over the row.
    QString keyExpression(const IndexDef &index, const QString &column) const;
    // Statements an index needs before it can be created (none on most servers).
    virtual QStringList beforeIndex(const TableDef &, const IndexDef &) const { return {}; }
    static QString indexName(const TableDef &table, int number);
    // Query with one row when an index of that name exists (bind the name once).
    virtual QString indexExistsQuery() const = 0;
    // One row when a table of that name exists (one bound value: the name).
    virtual QString tableExistsQuery() const = 0;
    virtual QString columnType(const ColumnDef &column) const = 0;
    QString createTable(const TableDef &table) const;
    QString createIndex(const TableDef &table, const IndexDef &index, int number) const;
    virtual QString createView(const QString &name, const QString &select) const;
    // Statements creating the triggers that keep a summary in step with
    // every change of its two tables (on SQLite also its key version in
    // Erp_Summary_Keys, moved by them), and dropping them again.
    virtual QStringList summaryTriggers(const SummaryDef &summary) const = 0;
    virtual QStringList dropSummaryTriggers(const SummaryDef &summary) const = 0;
    // The names of those triggers.
    virtual QStringList summaryTriggerNames(const SummaryDef &summary) const;
    // Query with one row when a trigger of that name exists (bind the name once).
    virtual QString triggerExistsQuery() const = 0;
    // Statements that move an identity's next value past the largest key.
    virtual QStringList resetSerial(const QString &table, const QString &column) const;
    // Statements after which the session reads date texts 'yyyy-mm-dd' as
    // year, month, day (SQL Server reads them by the login's language).
    virtual QStringList isoDateTexts() const { return {}; }
    // Statements that allow (on) or forbid again (off) inserting given values
    // into a table's identity column; none where that is always allowed.
    virtual QStringList identityInsert(const QString &table, bool on) const;
    virtual QString dropTable(const QString &table) const;
    virtual QString dropView(const QString &view) const;
};
