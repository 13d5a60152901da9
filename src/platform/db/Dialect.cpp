#include "platform/db/Dialect.h"

#include "platform/db/Schema.h"

#include <QRegularExpression>

namespace {

QString typeWithLength(const char *base, int length)
{
    return length > 0 ? QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(length) : QLatin1String(base);
}

// Position just after "SELECT" or "SELECT DISTINCT" at the start of a statement.
qsizetype afterSelect(const QString &select)
{
    static const QRegularExpression head(QStringLiteral("^\\s*SELECT(\\s+DISTINCT)?\\s+"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(select);
    return m.hasMatch() ? m.capturedEnd() : -1;
}

// The statements a summary's triggers are made of, written once for the
// servers that share their SQL. c and p name the child and the parent row.
struct SummaryText
{
    const Dialect &d;
    const SummaryDef &s;

    QString columns() const
    {
        QStringList out;
        for (const SummaryPart &part : s.parts)
            out.append(part.column.name);
        return out.join(QStringLiteral(", "));
    }
    QString keys(const QString &c, const QString &p) const
    {
        QStringList out;
        for (const SummaryPart &part : s.parts)
            out.append(s.partExpression(d, part, c, p));
        return out.join(QStringLiteral(", "));
    }
    QString counted(const QString &c, const QString &p) const
    {
        QString out = QStringLiteral("%1.%2 = %3").arg(p, s.conditionColumn, s.conditionValue);
        for (const SummaryPart &part : s.parts)
            if (part.whenNull.isEmpty())
                out += QStringLiteral(" AND %1.%2 IS NOT NULL").arg(part.fromParent ? p : c, part.source);
        return out;
    }
    // The summary row of one child row r (its parent read by the link).
    QString rowOfChild(const QString &r) const
    {
        QStringList out;
        for (const SummaryPart &part : s.parts) {
            const QString value = part.fromParent
                                      ? QStringLiteral("(SELECT %1 FROM %2 p WHERE p.%3 = %4.%3)")
                                            .arg(s.partExpression(d, part, r, QStringLiteral("p")), s.parent, s.link, r)
                                      : s.partExpression(d, part, r, QString());
            out.append(QStringLiteral("%1.%2 = %3").arg(s.name, part.column.name, value));
        }
        return out.join(QStringLiteral(" AND "));
    }
    QString parentCounted(const QString &r) const
    {
        return QStringLiteral("EXISTS (SELECT 1 FROM %1 p WHERE p.%2 = %3.%2 AND %4)")
            .arg(s.parent, s.link, r, counted(r, QStringLiteral("p")));
    }
    // One child row r taken out of its count, and the key dropped at zero.
    QStringList childOut(const QString &r) const
    {
        return {QStringLiteral("UPDATE %1 SET %2 = %2 - 1 WHERE %3 AND %4")
                    .arg(s.name, SummaryDef::countColumn(), rowOfChild(r), parentCounted(r)),
                QStringLiteral("DELETE FROM %1 WHERE %2 <= 0 AND %3")
                    .arg(s.name, SummaryDef::countColumn(), rowOfChild(r))};
    }
    // One child row r counted (upsert: "ON CONFLICT" as SQLite and PostgreSQL write it).
    QString childIn(const QString &r) const
    {
        return QStringLiteral("INSERT INTO %1 (%2, %3) SELECT %4, 1 FROM %5 p WHERE p.%6 = %7.%6 AND %8 "
                              "ON CONFLICT (%2) DO UPDATE SET %3 = %1.%3 + 1")
            .arg(s.name, columns(), SummaryDef::countColumn(), keys(r, QStringLiteral("p")), s.parent, s.link, r,
                 counted(r, QStringLiteral("p")));
    }
    // The parent row r meets the condition.
    QString parentMeets(const QString &r) const
    {
        return QStringLiteral("%1.%2 = %3").arg(r, s.conditionColumn, s.conditionValue);
    }
    // Every child row of parent row r taken out, and the keys dropped at
    // zero; guard: a condition the statements also ask, or empty. The rows
    // are counted once per key, as they are counted in: a key looked up per
    // row would read the parent's rows once per key (a 10,000-line reset).
    QStringList parentOut(const QString &r, const QString &guard = {}) const
    {
        const QString c = QStringLiteral("c");
        const QString also = guard.isEmpty() ? QString() : guard + QStringLiteral(" AND ");
        const QString mine = QStringLiteral("(%1) IN (SELECT %2 FROM %3 c WHERE c.%4 = %5.%4 AND %6)")
                                 .arg(columns(), keys(c, r), s.child, s.link, r, counted(c, r));
        return {countChildren(r, guard, QStringLiteral("-")),
                QStringLiteral("DELETE FROM %1 WHERE %2%3 <= 0 AND %4").arg(s.name, also, SummaryDef::countColumn(), mine)};
    }
    // Every child row of parent row r counted, in key order.
    QString parentIn(const QString &r, const QString &guard = {}) const
    {
        return countChildren(r, guard, QString());
    }
    // The child rows of parent row r added to their keys' counts, or taken
    // from them (sign "-"; a key that was missing is dropped afterwards).
    QString countChildren(const QString &r, const QString &guard, const QString &sign) const
    {
        const QString c = QStringLiteral("c");
        return QStringLiteral("INSERT INTO %1 (%2, %3) SELECT %4, %10COUNT(*) FROM %5 c WHERE %9c.%6 = %7.%6 AND %8 "
                              "GROUP BY %4 ORDER BY %4 ON CONFLICT (%2) DO UPDATE SET %3 = %1.%3 + excluded.%3")
            .arg(s.name, columns(), SummaryDef::countColumn(), keys(c, r), s.child, s.link, r, counted(c, r),
                 guard.isEmpty() ? QString() : guard + QStringLiteral(" AND "), sign);
    }
    // The columns whose change moves a row from one key to another.
    QString watched(bool parent) const
    {
        QStringList out{s.link};
        if (parent)
            out.append(s.conditionColumn);
        for (const SummaryPart &part : s.parts)
            if (part.fromParent == parent && !out.contains(part.source, Qt::CaseInsensitive))
                out.append(part.source);
        return out.join(QStringLiteral(", "));
    }
};

class SqliteDialect final : public Dialect
{
public:
    Backend backend() const override { return Backend::SQLite; }
    QString name() const override { return QStringLiteral("SQLite"); }
    QString topN(const QString &select, int n) const override
    {
        return select.trimmed() + QStringLiteral(" LIMIT %1").arg(n);
    }
    QString nowExpression() const override { return QStringLiteral("datetime('now','localtime')"); }
    QString insertReturningKey(const QString &insert, const QString &) const override { return insert; }
    bool keyFromDriver() const override { return true; }
    QString columnsQuery() const override
    {
        return QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid");
    }
    QString codeLike(const QString &column) const override { return column + QStringLiteral(" LIKE"); }
    QString commandTimeoutStatement(int) const override { return {}; }
    QString beginWrite() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString readOnlyOn() const override { return QStringLiteral("PRAGMA query_only = 1"); }
    QString readOnlyOff() const override { return QStringLiteral("PRAGMA query_only = 0"); }
    bool locksRows() const override { return false; }
    // Once the index has statistics.
    bool skipsToDistinct() const override { return true; }
    QString codeText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE ERPCODE"); }
    QString exactText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE BINARY"); }
    QString textLength(const QString &expr) const override { return QStringLiteral("LENGTH(RTRIM(%1))").arg(expr); }
    QString columnType(const ColumnDef &c) const override
    {
        switch (c.kind) {
        case ColumnKind::Serial:
            return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        case ColumnKind::Int:
            return QStringLiteral("INTEGER");
        case ColumnKind::Code:
            return typeWithLength("VARCHAR", c.length) + QStringLiteral(" COLLATE ERPCODE");
        case ColumnKind::Text:
            return typeWithLength("VARCHAR", c.length);
        case ColumnKind::Memo:
            return QStringLiteral("TEXT");
        case ColumnKind::Decimal:
            return QStringLiteral("NUMERIC(%1,%2)").arg(c.length).arg(c.scale);
        case ColumnKind::Float:
            return QStringLiteral("REAL");
        case ColumnKind::Bit:
            return QStringLiteral("INTEGER");
        case ColumnKind::Date:
            return QStringLiteral("DATE");
        case ColumnKind::DateTime:
            return QStringLiteral("DATETIME");
        }
        return {};
    }
    QStringList resetSerial(const QString &, const QString &) const override { return {}; }
    // 5 busy, 6 locked: another connection held the file longer than the wait.
    bool isTransient(const QString &code) const override
    {
        return code == QLatin1String("5") || code == QLatin1String("6");
    }
    // 2067 unique, 1555 primary key (extended codes), 19 the plain constraint code.
    bool isUniqueViolation(const QString &code) const override
    {
        return code == QLatin1String("2067") || code == QLatin1String("1555") || code == QLatin1String("19");
    }
    QStringList refreshStatistics() const override { return {QStringLiteral("ANALYZE")}; }
    QString indexExistsQuery() const override
    {
        return QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name = ?");
    }
    QString tableExistsQuery() const override
    {
        return QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)");
    }
    QString triggerExistsQuery() const override
    {
        return QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' AND name = ?");
    }
    // Row triggers: a child row in or out, a parent row's rows in or out.
    QStringList summaryTriggers(const SummaryDef &summary) const override
    {
        const SummaryText t{*this, summary};
        const QStringList names = summary.triggerNames();
        const auto body = [](const QStringList &statements) {
            return QStringLiteral(" BEGIN ") + statements.join(QStringLiteral("; ")) + QStringLiteral("; END");
        };
        const QString oldMeets = t.parentMeets(QStringLiteral("OLD"));
        const QString newMeets = t.parentMeets(QStringLiteral("NEW"));
        return {QStringLiteral("CREATE TRIGGER %1_in AFTER INSERT ON %2").arg(names.at(0), summary.child) +
                    body({t.childIn(QStringLiteral("NEW"))}),
                QStringLiteral("CREATE TRIGGER %1_out AFTER DELETE ON %2").arg(names.at(0), summary.child) +
                    body(t.childOut(QStringLiteral("OLD"))),
                QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3")
                        .arg(names.at(0), t.watched(false), summary.child) +
                    body(t.childOut(QStringLiteral("OLD")) << t.childIn(QStringLiteral("NEW"))),
                QStringLiteral("CREATE TRIGGER %1_in AFTER INSERT ON %2 WHEN %3")
                        .arg(names.at(1), summary.parent, newMeets) +
                    body({t.parentIn(QStringLiteral("NEW"))}),
                QStringLiteral("CREATE TRIGGER %1_out AFTER DELETE ON %2 WHEN %3")
                        .arg(names.at(1), summary.parent, oldMeets) +
                    body(t.parentOut(QStringLiteral("OLD"))),
                QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 WHEN %4 OR %5")
                        .arg(names.at(1), t.watched(true), summary.parent, oldMeets, newMeets) +
                    body(t.parentOut(QStringLiteral("OLD"), oldMeets) << t.parentIn(QStringLiteral("NEW"), newMeets)),
                // A key that comes or goes moves the summary's key version, and
                // so does counting it again: lists read from it are kept
                // while the version stays.
                keysMoved(summary.name),
                QStringLiteral("CREATE TRIGGER %1_in AFTER INSERT ON %2").arg(keyTrigger(summary), summary.name) +
                    body({keysMoved(summary.name)}),
                QStringLiteral("CREATE TRIGGER %1_out AFTER DELETE ON %2").arg(keyTrigger(summary), summary.name) +
                    body({keysMoved(summary.name)})};
    }
    static QString keyTrigger(const SummaryDef &summary)
    {
        return QStringLiteral("tr_") + summary.name.toLower() + QStringLiteral("_k");
    }
    static QString keysMoved(const QString &summary)
    {
        return QStringLiteral("INSERT INTO Erp_Summary_Keys (Name, Version) VALUES ('%1', 1) "
                              "ON CONFLICT (Name) DO UPDATE SET Version = Erp_Summary_Keys.Version + 1")
            .arg(summary);
    }
    QStringList summaryTriggerNames(const SummaryDef &summary) const override
    {
        QStringList out;
        for (const QString &name : summary.triggerNames())
            for (const char *suffix : {"_in", "_out", ""})
                out.append(name + QLatin1String(suffix));
        out << keyTrigger(summary) + QStringLiteral("_in") << keyTrigger(summary) + QStringLiteral("_out");
        return out;
    }
    QStringList dropSummaryTriggers(const SummaryDef &summary) const override
    {
        QStringList out;
        for (const QString &name : summaryTriggerNames(summary))
            out.append(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
        return out;
    }
};

class PostgresDialect final : public Dialect
{
public:
    Backend backend() const override { return Backend::PostgreSQL; }
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    QString topN(const QString &select, int n) const override
    {
        return select.trimmed() + QStringLiteral(" LIMIT %1").arg(n);
    }
    QString nowExpression() const override { return QStringLiteral("LOCALTIMESTAMP(0)"); }
    QString insertReturningKey(const QString &insert, const QString &key) const override
    {
        return insert.trimmed() + QStringLiteral(" RETURNING ") + key;
    }
    QString columnsQuery() const override
    {
        return QStringLiteral("SELECT column_name FROM information_schema.columns "
                              "WHERE table_schema = current_schema() AND table_name = lower(?) "
                              "ORDER BY ordinal_position");
    }
    // Pattern matching is not defined for the code collation; compare bytes
    // case-insensitively instead.
    QString codeLike(const QString &column) const override { return column + QStringLiteral(" COLLATE \"C\" ILIKE"); }
    QString commandTimeoutStatement(int seconds) const override
    {
        return QStringLiteral("SET statement_timeout = %1").arg(qint64(seconds) * 1000);
    }
    QString beginWrite() const override { return QStringLiteral("BEGIN"); }
    QString readOnlyOn() const override { return QStringLiteral("SET TRANSACTION READ ONLY"); }
    QString snapshotRead() const override
    {
        return QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    }
    // Share row exclusive: readers pass, every writer (and another holder) waits or is refused.
    QStringList holdTablesNoWait(const QStringList &tables) const override
    {
        return {
            QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE NOWAIT").arg(tables.join(QStringLiteral(", ")))};
    }
    QString codeText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE erp_code"); }
    QString exactText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE \"C\""); }
    // Blank-padded codes already leave their trailing blanks out of the length.
    QString textLength(const QString &expr) const override { return QStringLiteral("LENGTH(%1)").arg(expr); }
    QString lockedRows(const QString &table, const QString &columns, const QString &where) const override
    {
        return Dialect::lockedRows(table, columns, where) + QStringLiteral(" FOR UPDATE");
    }
    QStringList preamble() const override
    {
        return {QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_collation WHERE collname = 'erp_code') "
                               "THEN CREATE COLLATION erp_code (provider = icu, locale = 'und-u-ks-level2', "
                               "deterministic = false); END IF; END $$")};
    }
    QString columnType(const ColumnDef &c) const override
    {
        switch (c.kind) {
        case ColumnKind::Serial:
            return QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
        case ColumnKind::Int:
            return QStringLiteral("INTEGER");
        // Blank-padded text ignores trailing blanks; the collation ignores case.
        case ColumnKind::Code:
            return QStringLiteral("BPCHAR COLLATE erp_code");
        case ColumnKind::Text:
            return typeWithLength("VARCHAR", c.length);
        case ColumnKind::Memo:
            return QStringLiteral("TEXT");
        case ColumnKind::Decimal:
            return QStringLiteral("NUMERIC(%1,%2)").arg(c.length).arg(c.scale);
        case ColumnKind::Float:
            return QStringLiteral("DOUBLE PRECISION");
        case ColumnKind::Bit:
            return QStringLiteral("SMALLINT");
        case ColumnKind::Date:
            return QStringLiteral("DATE");
        case ColumnKind::DateTime:
            return QStringLiteral("TIMESTAMP(0)");
        }
        return {};
    }
    QStringList resetSerial(const QString &table, const QString &column) const override
    {
        return {QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                               "COALESCE((SELECT MAX(%2) FROM %1), 0) + 1, false)")
                    .arg(table.toLower(), column.toLower())};
    }
    QString dropTable(const QString &table) const override
    {
        return QStringLiteral("DROP TABLE IF EXISTS %1 CASCADE").arg(table);
    }
    // 40P01 deadlock detected, 40001 serialization failure.
    bool isTransient(const QString &code) const override
    {
        return code == QLatin1String("40P01") || code == QLatin1String("40001");
    }
    bool isUniqueViolation(const QString &code) const override { return code == QLatin1String("23505"); }
    // VACUUM also marks the pages all-visible, as autovacuum does on a
    // running server, so that reads from covering indexes stay in the index.
    QStringList refreshStatistics() const override { return {QStringLiteral("VACUUM (ANALYZE)")}; }
    QString indexPart(const IndexDef &index, const QString &column) const override
    {
        // "(expr) COLLATE c" reads alike in CREATE INDEX and in a conflict target.
        return index.readsNullAsEmpty(column) ? QStringLiteral("(COALESCE(%1, '')) COLLATE erp_code").arg(column)
                                              : column;
    }
    // The conflict target names the index by its very entries.
    bool insertOrAddMeetsAnyRow() const override { return true; }
    QString insertOrAdd(const QString &table, const QStringList &columns, const IndexDef &key, const QString &addColumn,
                        const QStringList &refreshed) const override
    {
        QStringList target;
        for (const QString &c : key.columns)
            target.append(indexPart(key, c));
        QStringList set{QStringLiteral("%1 = COALESCE(%2.%1, 0) + EXCLUDED.%1").arg(addColumn, table)};
        for (const QString &c : refreshed)
            set.append(QStringLiteral("%1 = EXCLUDED.%1").arg(c));
        return Dialect::insertOrAdd(table, columns, key, addColumn, refreshed) +
               QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2 RETURNING %3")
                   .arg(target.join(QStringLiteral(", ")), set.join(QStringLiteral(", ")), addColumn);
    }
    QString indexExistsQuery() const override
    {
        return QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND indexname = ?");
    }
    QString tableExistsQuery() const override
    {
        return QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema() "
                              "AND tablename = lower(?)");
    }
    QString triggerExistsQuery() const override
    {
        return QStringLiteral("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal AND tgname = lower(?)");
    }
    // One row trigger per table over a function that takes the old row out
    // and counts the new one.
    QStringList summaryTriggers(const SummaryDef &summary) const override
    {
        const SummaryText t{*this, summary};
        const QStringList names = summary.triggerNames();
        const QString cond = summary.conditionColumn + QStringLiteral(" = ") + summary.conditionValue;
        const auto function = [](const QString &name, const QString &body) {
            // Planned for each row with the tables' sizes of the moment: a
            // plan kept from when the tables were small would read them whole.
            return QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                                  "SET plan_cache_mode = force_custom_plan AS $f$ BEGIN %2 RETURN NULL; END $f$")
                .arg(name, body);
        };
        const QString child =
            QStringLiteral("IF TG_OP <> 'INSERT' THEN %1; END IF; IF TG_OP <> 'DELETE' THEN %2; END IF;")
                .arg(t.childOut(QStringLiteral("OLD")).join(QStringLiteral("; ")), t.childIn(QStringLiteral("NEW")));
        const QString parent = QStringLiteral("IF TG_OP <> 'INSERT' AND OLD.%1 THEN %2; END IF; "
                                              "IF TG_OP <> 'DELETE' AND NEW.%1 THEN %3; END IF;")
                                   .arg(cond, t.parentOut(QStringLiteral("OLD")).join(QStringLiteral("; ")),
                                        t.parentIn(QStringLiteral("NEW")));
        return {function(names.at(0), child),
                QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR DELETE OR UPDATE OF %2 ON %3 FOR EACH ROW "
                               "EXECUTE FUNCTION %1()")
                    .arg(names.at(0), t.watched(false), summary.child),
                function(names.at(1), parent),
                QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR DELETE OR UPDATE OF %2 ON %3 FOR EACH ROW "
                               "EXECUTE FUNCTION %1()")
                    .arg(names.at(1), t.watched(true), summary.parent)};
    }
    QStringList dropSummaryTriggers(const SummaryDef &summary) const override
    {
        const QStringList names = summary.triggerNames();
        return {QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(names.at(0), summary.child),
                QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(names.at(1), summary.parent)};
    }
    QString dropView(const QString &view) const override
    {
        return QStringLiteral("DROP VIEW IF EXISTS %1 CASCADE").arg(view);
    }
};

class SqlServerDialect final : public Dialect
{
public:
    Backend backend() const override { return Backend::SqlServer; }
    QString name() const override { return QStringLiteral("SQL Server"); }
    QString topN(const QString &select, int n) const override
    {
        const QString s = select.trimmed();
        const qsizetype pos = afterSelect(s);
        if (pos < 0)
            return s;
        return s.left(pos) + QStringLiteral("TOP %1 ").arg(n) + s.mid(pos);
    }
    QString nowExpression() const override { return QStringLiteral("GETDATE()"); }
    QString insertReturningKey(const QString &insert, const QString &key) const override
    {
        static const QRegularExpression values(QStringLiteral("\\)\\s*VALUES\\s*\\("),
                                               QRegularExpression::CaseInsensitiveOption);
        const auto m = values.match(insert);
        if (!m.hasMatch())
            return insert;
        return insert.left(m.capturedStart() + 1) + QStringLiteral(" OUTPUT INSERTED.") + key +
               insert.mid(m.capturedStart() + 1);
    }
    QString columnsQuery() const override
    {
        return QStringLiteral("SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS "
                              "WHERE TABLE_NAME = ? ORDER BY ORDINAL_POSITION");
    }
    QString codeLike(const QString &column) const override { return column + QStringLiteral(" LIKE"); }
    QString commandTimeoutStatement(int seconds) const override
    {
        return QStringLiteral("SET LOCK_TIMEOUT %1").arg(qint64(seconds) * 1000);
    }
    QString beginWrite() const override { return {}; }
    // An update lock on the whole table: readers pass, writers are refused.
    QStringList holdTablesNoWait(const QStringList &tables) const override
    {
        QStringList parts;
        for (const QString &t : tables)
            parts.append(QStringLiteral("(SELECT TOP 1 1 FROM %1 WITH (UPDLOCK, TABLOCK, HOLDLOCK, NOWAIT))").arg(t));
        return {QStringLiteral("SELECT ") + parts.join(QStringLiteral(", "))};
    }
    QString codeText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE Chinese_PRC_CI_AS"); }
    QString exactText(const QString &expr) const override { return expr + QStringLiteral(" COLLATE Chinese_PRC_BIN"); }
    QString textLength(const QString &expr) const override { return QStringLiteral("LEN(%1)").arg(expr); }
    QString lockedRows(const QString &table, const QString &columns, const QString &where) const override
    {
        return QStringLiteral("SELECT %1 FROM %2 WITH (UPDLOCK, ROWLOCK) WHERE %3").arg(columns, table, where);
    }
    QString columnType(const ColumnDef &c) const override
    {
        switch (c.kind) {
        case ColumnKind::Serial:
            return QStringLiteral("INT IDENTITY(1,1) PRIMARY KEY");
        case ColumnKind::Int:
            return QStringLiteral("INT");
        case ColumnKind::Code:
            return typeWithLength("NVARCHAR", c.length) + QStringLiteral(" COLLATE Chinese_PRC_CI_AS");
        case ColumnKind::Text:
            return typeWithLength("NVARCHAR", c.length);
        case ColumnKind::Memo:
            return QStringLiteral("NVARCHAR(MAX)");
        case ColumnKind::Decimal:
            return QStringLiteral("DECIMAL(%1,%2)").arg(c.length).arg(c.scale);
        case ColumnKind::Float:
            return QStringLiteral("FLOAT");
        case ColumnKind::Bit:
            return QStringLiteral("BIT");
        case ColumnKind::Date:
            return QStringLiteral("DATETIME");
        case ColumnKind::DateTime:
            return QStringLiteral("DATETIME");
        }
        return {};
    }
    QStringList resetSerial(const QString &table, const QString &) const override
    {
        return {QStringLiteral("DBCC CHECKIDENT ('%1', RESEED)").arg(table)};
    }
    QString createView(const QString &name, const QString &select) const override
    {
        return QStringLiteral("CREATE VIEW %1 AS %2").arg(name, select.trimmed());
    }
    QStringList isoDateTexts() const override { return {QStringLiteral("SET DATEFORMAT ymd")}; }
    QStringList identityInsert(const QString &table, bool on) const override
    {
        return {
            QStringLiteral("SET IDENTITY_INSERT %1 %2").arg(table, on ? QStringLiteral("ON") : QStringLiteral("OFF"))};
    }
    QString dropTable(const QString &table) const override
    {
        return QStringLiteral("IF OBJECT_ID('%1', 'U') IS NOT NULL DROP TABLE %1").arg(table);
    }
    QString dropView(const QString &view) const override
    {
        return QStringLiteral("IF OBJECT_ID('%1', 'V') IS NOT NULL DROP VIEW %1").arg(view);
    }
    // 1205 deadlock victim; ODBC may report several codes joined by ';'.
    bool isTransient(const QString &code) const override
    {
        const QStringList codes = code.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        return codes.contains(QStringLiteral("1205")) || codes.contains(QStringLiteral("40001"));
    }
    // 2627 unique constraint, 2601 unique index; 23000 the ODBC state of both.
    bool isUniqueViolation(const QString &code) const override
    {
        const QStringList codes = code.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        return codes.contains(QStringLiteral("2627")) || codes.contains(QStringLiteral("2601")) ||
               codes.contains(QStringLiteral("23000"));
    }
    QStringList refreshStatistics() const override { return {QStringLiteral("EXEC sp_updatestats")}; }
    // An index cannot hold an expression here: the null-as-empty parts are
    // persisted computed columns, named after the column they read.
    static QString keyColumn(const QString &column) { return QStringLiteral("Key_") + column; }
    QString indexPart(const IndexDef &index, const QString &column) const override
    {
        return index.readsNullAsEmpty(column) ? keyColumn(column) : column;
    }
    QStringList beforeIndex(const TableDef &table, const IndexDef &index) const override
    {
        // An earlier index of the table that reads the column so made it already.
        QStringList made;
        for (const IndexDef &earlier : table.indexes) {
            if (earlier.columns == index.columns && earlier.unique == index.unique &&
                earlier.nullAsEmpty == index.nullAsEmpty)
                break;
            made += earlier.nullAsEmpty;
        }
        QStringList out;
        for (const QString &c : index.nullAsEmpty)
            if (!made.contains(c, Qt::CaseInsensitive))
                out.append(QStringLiteral("ALTER TABLE %1 ADD %2 AS %3 PERSISTED")
                               .arg(table.name, keyColumn(c), keyExpression(index, c)));
        return out;
    }
    // HOLDLOCK keeps the key range locked from the search to the insert, so
    // a concurrent MERGE of the same key waits and then updates.
    bool insertOrAddMeetsAnyRow() const override { return true; }
    QString insertOrAdd(const QString &table, const QStringList &columns, const IndexDef &key, const QString &addColumn,
                        const QStringList &refreshed) const override
    {
        QStringList source, on, set, values;
        for (const QString &c : columns) {
            source.append(QStringLiteral("? AS %1").arg(c));
            values.append(QStringLiteral("s.") + c);
        }
        for (const QString &c : key.columns)
            on.append(key.readsNullAsEmpty(c)
                          ? QStringLiteral("%1 = %2").arg(codeText(QStringLiteral("COALESCE(t.%1, '')").arg(c)),
                                                          codeText(QStringLiteral("COALESCE(s.%1, '')").arg(c)))
                          : QStringLiteral("t.%1 = s.%1").arg(c));
        set.append(QStringLiteral("%1 = COALESCE(t.%1, 0) + s.%1").arg(addColumn));
        for (const QString &c : refreshed)
            set.append(QStringLiteral("%1 = s.%1").arg(c));
        return QStringLiteral("MERGE %1 WITH (HOLDLOCK) AS t USING (SELECT %2) AS s ON %3 "
                              "WHEN MATCHED THEN UPDATE SET %4 WHEN NOT MATCHED THEN INSERT (%5) VALUES (%6) "
                              "OUTPUT inserted.%7;")
            .arg(table, source.join(QStringLiteral(", ")), on.join(QStringLiteral(" AND ")),
                 set.join(QStringLiteral(", ")), columns.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")),
                 addColumn);
    }
    QString indexExistsQuery() const override { return QStringLiteral("SELECT name FROM sys.indexes WHERE name = ?"); }
    QString tableExistsQuery() const override { return QStringLiteral("SELECT name FROM sys.tables WHERE name = ?"); }
    QString triggerExistsQuery() const override
    {
        return QStringLiteral("SELECT name FROM sys.triggers WHERE name = ?");
    }
    // Statement triggers: the rows in "inserted" count, those in "deleted"
    // come out, netted per key in one MERGE that drops keys reaching zero.
    QStringList summaryTriggers(const SummaryDef &summary) const override
    {
        const SummaryText t{*this, summary};
        const QStringList names = summary.triggerNames();
        QStringList on, values;
        for (const SummaryPart &part : summary.parts) {
            on.append(QStringLiteral("t.%1 = s.%1").arg(part.column.name));
            values.append(QStringLiteral("s.") + part.column.name);
        }
        const QString count = SummaryDef::countColumn();
        const auto keysAs = [&](const QString &c, const QString &p) {
            QStringList out;
            for (const SummaryPart &part : summary.parts)
                out.append(summary.partExpression(*this, part, c, p) + QStringLiteral(" AS ") + part.column.name);
            return out.join(QStringLiteral(", "));
        };
        const auto merge = [&](const QString &delta) {
            return QStringLiteral(
                       "MERGE %1 WITH (HOLDLOCK) AS t USING (SELECT %2, SUM(n) AS n FROM (%3) x GROUP BY %2) "
                       "AS s ON %4 WHEN MATCHED AND t.%5 + s.n <= 0 THEN DELETE "
                       "WHEN MATCHED THEN UPDATE SET %5 = t.%5 + s.n "
                       "WHEN NOT MATCHED AND s.n > 0 THEN INSERT (%2, %5) VALUES (%6, s.n);")
                .arg(summary.name, t.columns(), delta, on.join(QStringLiteral(" AND ")), count,
                     values.join(QStringLiteral(", ")));
        };
        const QString childDelta =
            QStringLiteral("SELECT %1, 1 AS n FROM inserted c INNER JOIN %2 p ON p.%3 = c.%3 WHERE %4 UNION ALL "
                           "SELECT %5, -1 FROM deleted c INNER JOIN %2 p ON p.%3 = c.%3 WHERE %4")
                .arg(keysAs(QStringLiteral("c"), QStringLiteral("p")), summary.parent, summary.link,
                     t.counted(QStringLiteral("c"), QStringLiteral("p")),
                     t.keys(QStringLiteral("c"), QStringLiteral("p")));
        const QString parentDelta =
            QStringLiteral("SELECT %1, 1 AS n FROM inserted p INNER JOIN %2 c ON c.%3 = p.%3 WHERE %4 UNION ALL "
                           "SELECT %5, -1 FROM deleted p INNER JOIN %2 c ON c.%3 = p.%3 WHERE %4")
                .arg(keysAs(QStringLiteral("c"), QStringLiteral("p")), summary.child, summary.link,
                     t.counted(QStringLiteral("c"), QStringLiteral("p")),
                     t.keys(QStringLiteral("c"), QStringLiteral("p")));
        QStringList updated;
        for (const QString &column : t.watched(true).split(QStringLiteral(", ")))
            updated.append(QStringLiteral("UPDATE(%1)").arg(column));
        return {QStringLiteral("CREATE TRIGGER %1 ON %2 AFTER INSERT, UPDATE, DELETE AS BEGIN SET NOCOUNT ON; %3 END")
                    .arg(names.at(0), summary.child, merge(childDelta)),
                QStringLiteral("CREATE TRIGGER %1 ON %2 AFTER INSERT, UPDATE, DELETE AS BEGIN SET NOCOUNT ON; "
                               "IF EXISTS (SELECT 1 FROM inserted) AND EXISTS (SELECT 1 FROM deleted) AND NOT (%3) "
                               "RETURN; %4 END")
                    .arg(names.at(1), summary.parent, updated.join(QStringLiteral(" OR ")), merge(parentDelta))};
    }
    QStringList dropSummaryTriggers(const SummaryDef &summary) const override
    {
        QStringList out;
        for (const QString &name : summary.triggerNames())
            out.append(QStringLiteral("IF OBJECT_ID('%1', 'TR') IS NOT NULL DROP TRIGGER %1").arg(name));
        return out;
    }
};

const Dialect *g_override[3] = {nullptr, nullptr, nullptr};

} // namespace

void Dialect::setOverride(Backend backend, const Dialect *dialect)
{
    g_override[int(backend)] = dialect;
}

const Dialect &Dialect::of(Backend backend)
{
    if (const Dialect *d = g_override[int(backend)])
        return *d;
    static const SqliteDialect sqlite;
    static const PostgresDialect postgres;
    static const SqlServerDialect sqlServer;
    switch (backend) {
    case Backend::PostgreSQL:
        return postgres;
    case Backend::SqlServer:
        return sqlServer;
    case Backend::SQLite:
        break;
    }
    return sqlite;
}

QString Dialect::lockedRows(const QString &table, const QString &columns, const QString &where) const
{
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns, table, where);
}

QString Dialect::createTable(const TableDef &table) const
{
    QStringList parts;
    bool hasSerial = false;
    for (const ColumnDef &c : table.columns) {
        QString line = c.name + QLatin1Char(' ') + columnType(c);
        hasSerial = hasSerial || c.kind == ColumnKind::Serial;
        if (c.notNull && c.kind != ColumnKind::Serial)
            line += QStringLiteral(" NOT NULL");
        if (!c.defaultValue.isEmpty())
            line += QStringLiteral(" DEFAULT ") + c.defaultValue;
        parts.append(line);
    }
    if (!hasSerial && !table.primaryKey.isEmpty())
        parts.append(QStringLiteral("PRIMARY KEY (%1)").arg(table.primaryKey.join(QStringLiteral(", "))));
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(table.name, parts.join(QStringLiteral(",\n  ")));
}

QString Dialect::indexName(const TableDef &table, int number)
{
    return QStringLiteral("ix_%1_%2").arg(table.name.toLower()).arg(number);
}

QString Dialect::keyExpression(const IndexDef &index, const QString &column) const
{
    return index.readsNullAsEmpty(column) ? codeText(QStringLiteral("COALESCE(%1, '')").arg(column)) : column;
}

QString Dialect::indexPart(const IndexDef &index, const QString &column) const
{
    return keyExpression(index, column);
}

QString Dialect::createIndex(const TableDef &table, const IndexDef &index, int number) const
{
    if (index.hash && backend() != Backend::PostgreSQL)
        return {};
    QStringList parts;
    for (const QString &c : index.columns)
        parts.append(indexPart(index, c));
    return QStringLiteral("CREATE %1INDEX %2 ON %3 %4(%5)")
        .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(), indexName(table, number), table.name,
             index.hash ? QStringLiteral("USING hash ") : QString(), parts.join(QStringLiteral(", ")));
}

// Where a write transaction excludes every other writer, the row cannot
// have appeared since the caller looked: a plain insert.
QString Dialect::insertOrAdd(const QString &table, const QStringList &columns, const IndexDef &, const QString &,
                             const QStringList &) const
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

QStringList Dialect::summaryTriggerNames(const SummaryDef &summary) const
{
    return summary.triggerNames();
}

QString Dialect::createView(const QString &name, const QString &select) const
{
    return QStringLiteral("CREATE VIEW %1 AS\n%2").arg(name, select.trimmed());
}

QStringList Dialect::resetSerial(const QString &, const QString &) const
{
    return {};
}

QStringList Dialect::identityInsert(const QString &, bool) const
{
    return {};
}

QString Dialect::dropTable(const QString &table) const
{
    return QStringLiteral("DROP TABLE IF EXISTS %1").arg(table);
}

QString Dialect::dropView(const QString &view) const
{
    return QStringLiteral("DROP VIEW IF EXISTS %1").arg(view);
}
