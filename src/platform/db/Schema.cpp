#include "platform/db/Schema.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

namespace {

// Where the database keeps its summaries' key numbers and definitions.
QString summaryKeysTable()
{
    return QStringLiteral("Erp_Summary_Keys");
}

[[noreturn]] void schemaError(int line, const QString &text)
{
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Schema"),
                   QStringLiteral("line %1: %2").arg(line).arg(text));
}

QStringList columnList(const QString &inside, QStringList *nullAsEmpty = nullptr)
{
    static const QRegularExpression orEmpty(QStringLiteral("^(\\w+)\\s+or\\s+''$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList cols;
    for (const QString &c : inside.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString part = c.trimmed();
        const auto m = orEmpty.match(part);
        if (m.hasMatch() && nullAsEmpty) {
            cols.append(m.captured(1));
            nullAsEmpty->append(m.captured(1));
        } else {
            cols.append(part);
        }
    }
    return cols;
}

QString readText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ErpError(53, QStringLiteral("Schema"), QStringLiteral("File not found: %1").arg(path));
    return QString::fromUtf8(f.readAll());
}

// "{today}" and "{today-N}" in seed data become the workstation's date (N
// days back), so demo documents stay within the last days whenever the
// database is made.
QString withSeedDates(QString statement)
{
    static const QRegularExpression token(QStringLiteral("\\{today(?:([+-])(\\d+))?\\}"));
    QRegularExpressionMatch m;
    while ((m = token.match(statement)).hasMatch()) {
        const qint64 days = m.captured(2).toLongLong() * (m.captured(1) == QLatin1String("-") ? -1 : 1);
        statement.replace(m.capturedStart(), m.capturedLength(),
                          Environment::today().addDays(days).toString(QStringLiteral("yyyy-MM-dd")));
    }
    return statement;
}

} // namespace

const ColumnDef *TableDef::column(const QString &name) const
{
    for (const ColumnDef &c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

const TableDef *Schema::table(const QString &name) const
{
    for (const TableDef &t : m_tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

Schema Schema::parse(const QString &text)
{
    static const QRegularExpression columnLine(
        QStringLiteral("^(\\w+)\\s+(serial|int|code|text|memo|decimal|float|bit|date|datetime)"
                       "(?:\\((\\d+)(?:\\s*,\\s*(\\d+))?\\))?((?:\\s+notnull)?)(?:\\s+default\\s+(\\S.*))?$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression keyLine(
        QStringLiteral("^(primary key|unique|index|hash index)\\s*\\(([^)]*)\\)(?:\\s+merge\\s+sum\\s+(\\w+))?$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QMap<QString, ColumnKind> kinds = {
        {QStringLiteral("serial"), ColumnKind::Serial}, {QStringLiteral("int"), ColumnKind::Int},
        {QStringLiteral("code"), ColumnKind::Code},     {QStringLiteral("text"), ColumnKind::Text},
        {QStringLiteral("memo"), ColumnKind::Memo},     {QStringLiteral("decimal"), ColumnKind::Decimal},
        {QStringLiteral("float"), ColumnKind::Float},   {QStringLiteral("bit"), ColumnKind::Bit},
        {QStringLiteral("date"), ColumnKind::Date},     {QStringLiteral("datetime"), ColumnKind::DateTime}};

    static const QRegularExpression summaryHead(
        QStringLiteral(
            "^summary\\s+(\\w+)\\s+counts\\s+(\\w+)\\s+of\\s+(\\w+)\\s+by\\s+(\\w+)\\s+where\\s+(\\w+)\\s*=\\s*('[^']*')$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression summaryPart(
        QStringLiteral(
            "^(\\w+)\\s+(int|code|text)(?:\\((\\d+)\\))?\\s+from\\s+(\\w+)\\.(\\w+)(?:\\s+or\\s+('[^']*'))?$"),
        QRegularExpression::CaseInsensitiveOption);

    Schema schema;
    TableDef *table = nullptr;
    ViewDef *view = nullptr;
    SummaryDef *summary = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines.at(i);
        if (!view) {
            const qsizetype hash = line.indexOf(QLatin1Char('#'));
            if (hash >= 0)
                line.truncate(hash);
        }
        const QString t = line.trimmed();
        if (view) {
            if (t.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
                view->select = view->select.trimmed();
                view = nullptr;
            } else if (!t.startsWith(QLatin1String("--"))) {
                view->select += line + QLatin1Char('\n');
            }
            continue;
        }
        if (t.isEmpty())
            continue;
        if (summary) {
            if (t.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
                if (summary->parts.isEmpty())
                    schemaError(lineNo, QStringLiteral("summary %1 has no key parts").arg(summary->name));
                summary = nullptr;
                continue;
            }
            const auto m = summaryPart.match(t);
            if (!m.hasMatch())
                schemaError(lineNo, QStringLiteral("not a summary part: %1").arg(t));
            SummaryPart part;
            part.column.name = m.captured(1);
            part.column.kind = kinds.value(m.captured(2).toLower());
            part.column.length = m.captured(3).toInt();
            part.column.notNull = true;
            const QString from = m.captured(4);
            part.fromParent = from.compare(summary->parent, Qt::CaseInsensitive) == 0;
            if (!part.fromParent && from.compare(summary->child, Qt::CaseInsensitive) != 0)
                schemaError(lineNo,
                            QStringLiteral("%1 is neither %2 nor %3").arg(from, summary->child, summary->parent));
            part.source = m.captured(5);
            if (!schema.table(from)->column(part.source))
                schemaError(lineNo, QStringLiteral("%1 has no column %2").arg(from, part.source));
            part.whenNull = m.captured(6);
            if (part.column.kind != ColumnKind::Int && part.column.length <= 0)
                schemaError(lineNo, QStringLiteral("%1 needs a length").arg(part.column.name));
            summary->parts.append(part);
            continue;
        }
        if (!table) {
            if (const auto m = summaryHead.match(t); m.hasMatch()) {
                SummaryDef def;
                def.name = m.captured(1);
                def.child = m.captured(2);
                def.parent = m.captured(3);
                def.link = m.captured(4);
                def.conditionColumn = m.captured(5);
                def.conditionValue = m.captured(6);
                const TableDef *child = schema.table(def.child);
                const TableDef *parent = schema.table(def.parent);
                if (!child || !parent)
                    schemaError(lineNo,
                                QStringLiteral("summary %1 counts tables not declared before it").arg(def.name));
                if (!child->column(def.link) || !parent->column(def.link) || !parent->column(def.conditionColumn))
                    schemaError(lineNo, QStringLiteral("summary %1 names a column its tables lack").arg(def.name));
                if (schema.table(def.name))
                    schemaError(lineNo, QStringLiteral("summary %1 is also a table").arg(def.name));
                schema.m_summaries.append(def);
                summary = &schema.m_summaries.last();
                continue;
            }
            const QStringList words = t.split(QRegularExpression(QStringLiteral("\\s+")));
            if (words.size() == 2 && words.at(0).compare(QLatin1String("table"), Qt::CaseInsensitive) == 0) {
                if (schema.table(words.at(1)))
                    schemaError(lineNo, QStringLiteral("table %1 declared twice").arg(words.at(1)));
                schema.m_tables.append(TableDef{words.at(1), {}, {}, {}});
                table = &schema.m_tables.last();
            } else if (words.size() == 2 && words.at(0).compare(QLatin1String("view"), Qt::CaseInsensitive) == 0) {
                schema.m_views.append(ViewDef{words.at(1), {}});
                view = &schema.m_views.last();
            } else {
                schemaError(lineNo,
                            QStringLiteral("expected 'table NAME', 'view NAME' or 'summary NAME ...': %1").arg(t));
            }
            continue;
        }
        if (t.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
            if (table->columns.isEmpty())
                schemaError(lineNo, QStringLiteral("table %1 has no columns").arg(table->name));
            table = nullptr;
            continue;
        }
        if (const auto k = keyLine.match(t); k.hasMatch()) {
            const QString what = k.captured(1).toLower();
            QStringList nullAsEmpty;
            const QStringList cols =
                columnList(k.captured(2), what == QLatin1String("primary key") ? nullptr : &nullAsEmpty);
            for (const QString &c : cols)
                if (!table->column(c))
                    schemaError(lineNo, QStringLiteral("%1 has no column %2").arg(table->name, c));
            if (what == QLatin1String("primary key"))
                table->primaryKey = cols;
            else {
                const QString sum = k.captured(3);
                if (!sum.isEmpty() && (what != QLatin1String("unique") || !table->column(sum)))
                    schemaError(lineNo, QStringLiteral("merge sum needs a unique index and a column: %1").arg(t));
                if (what == QLatin1String("hash index") && (cols.size() != 1 || !nullAsEmpty.isEmpty()))
                    schemaError(lineNo, QStringLiteral("a hash index holds one plain column: %1").arg(t));
                table->indexes.append(IndexDef{cols, what == QLatin1String("unique"), nullAsEmpty, sum,
                                               what == QLatin1String("hash index")});
            }
            continue;
        }
        const auto m = columnLine.match(t);
        if (!m.hasMatch())
            schemaError(lineNo, QStringLiteral("not a column: %1").arg(t));
        ColumnDef c;
        c.name = m.captured(1);
        if (table->column(c.name))
            schemaError(lineNo, QStringLiteral("column %1 declared twice").arg(c.name));
        c.kind = kinds.value(m.captured(2).toLower());
        c.length = m.captured(3).toInt();
        c.scale = m.captured(4).toInt();
        c.notNull = !m.captured(5).trimmed().isEmpty();
        c.defaultValue = m.captured(6).trimmed();
        if ((c.kind == ColumnKind::Code || c.kind == ColumnKind::Text || c.kind == ColumnKind::Decimal) &&
            c.length <= 0)
            schemaError(lineNo, QStringLiteral("%1 needs a length").arg(c.name));
        if (c.kind == ColumnKind::Serial) {
            for (const ColumnDef &other : table->columns)
                if (other.kind == ColumnKind::Serial)
                    schemaError(lineNo, QStringLiteral("%1 has two serial columns").arg(table->name));
            table->primaryKey = {c.name};
        }
        table->columns.append(c);
    }
    if (table)
        schemaError(lines.size(), QStringLiteral("table %1 is not closed with 'end'").arg(table->name));
    if (view)
        schemaError(lines.size(), QStringLiteral("view %1 is not closed with 'end'").arg(view->name));
    if (summary)
        schemaError(lines.size(), QStringLiteral("summary %1 is not closed with 'end'").arg(summary->name));
    return schema;
}

Schema Schema::load(const QString &path)
{
    return parse(readText(path));
}

QStringList Schema::ddl(const Dialect &dialect) const
{
    QStringList out = dialect.preamble();
    for (const TableDef &t : m_tables) {
        out.append(dialect.createTable(t));
        for (int n = 1; n <= t.indexes.size(); ++n)
            out.append(indexDdl(dialect, t, n));
    }
    const bool keepsDefinitions = (table(summaryKeysTable()) != nullptr);
    for (const SummaryDef &sd : m_summaries) {
        out.append(dialect.createTable(sd.table()));
        out.append(dialect.summaryTriggers(sd));
        if (keepsDefinitions)
            out.append(QStringLiteral("INSERT INTO %1 (Name, Version) VALUES ('%2', %3)")
                           .arg(summaryKeysTable(), definitionName(sd))
                           .arg(definitionHash(dialect, sd)));
    }
    for (const ViewDef &v : m_views)
        out.append(dialect.createView(v.name, v.select));
    return out;
}

TableDef SummaryDef::table() const
{
    TableDef t;
    t.name = name;
    for (const SummaryPart &part : parts) {
        t.columns.append(part.column);
        t.primaryKey.append(part.column.name);
    }
    ColumnDef count;
    count.name = countColumn();
    count.kind = ColumnKind::Int;
    count.notNull = true;
    count.defaultValue = QStringLiteral("0");
    t.columns.append(count);
    return t;
}

QString SummaryDef::partExpression(const Dialect &dialect, const SummaryPart &part, const QString &c,
                                   const QString &p) const
{
    const QString column = (part.fromParent ? p : c) + QLatin1Char('.') + part.source;
    if (part.whenNull.isEmpty())
        return column;
    const QString read = QStringLiteral("COALESCE(%1, %2)").arg(column, part.whenNull);
    // A function's result loses its column's collation; the summary's key compares as codes do.
    return part.column.kind == ColumnKind::Code ? dialect.codeText(read) : read;
}

QString SummaryDef::countQuery(const Dialect &dialect) const
{
    QStringList keys, named, notNull;
    for (const SummaryPart &part : parts) {
        const QString e = partExpression(dialect, part, QStringLiteral("c"), QStringLiteral("p"));
        keys.append(e);
        named.append(e + QStringLiteral(" AS ") + part.column.name);
        if (part.whenNull.isEmpty())
            notNull.append(QStringLiteral(" AND %1.%2 IS NOT NULL")
                               .arg(part.fromParent ? QStringLiteral("p") : QStringLiteral("c"), part.source));
    }
    return QStringLiteral("SELECT %1, COUNT(*) AS %2 FROM %3 c INNER JOIN %4 p ON p.%5 = c.%5 WHERE p.%6 = %7%8 "
                          "GROUP BY %9 ORDER BY %9")
        .arg(named.join(QStringLiteral(", ")), countColumn(), child, parent, link, conditionColumn, conditionValue,
             notNull.join(QString()), keys.join(QStringLiteral(", ")));
}

QStringList SummaryDef::triggerNames() const
{
    const QString base = QStringLiteral("tr_") + name.toLower();
    return {base + QStringLiteral("_c"), base + QStringLiteral("_p")};
}

QStringList Schema::indexDdl(const Dialect &dialect, const TableDef &table, int number)
{
    const IndexDef &ix = table.indexes.at(number - 1);
    const QString create = dialect.createIndex(table, ix, number);
    if (create.isEmpty())
        return {};
    return dialect.beforeIndex(table, ix) << create;
}

void Schema::create(const Connection &conn) const
{
    Transaction tx(conn);
    for (const QString &statement : ddl(conn.dialect()))
        Sql(conn, statement).exec();
    tx.commit();
}

namespace {

// Folds the rows of every key that occurs more than once into the row of
// that key with the lowest primary key, adding up index.mergeSum.
QStringList mergeDuplicates(const Connection &conn, const TableDef &table, const IndexDef &index)
{
    const Dialect &d = conn.dialect();
    if (table.primaryKey.size() != 1)
        return {};
    const QString pk = table.primaryKey.first();
    QStringList keys, notNull;
    for (const QString &c : index.columns) {
        keys.append(d.keyExpression(index, c));
        if (!index.readsNullAsEmpty(c))
            notNull.append(c + QStringLiteral(" IS NOT NULL"));
    }
    const QString keyList = keys.join(QStringLiteral(", "));
    QString groups = QStringLiteral("SELECT %1 FROM %2").arg(keyList, table.name);
    if (!notNull.isEmpty())
        groups += QStringLiteral(" WHERE ") + notNull.join(QStringLiteral(" AND "));
    groups += QStringLiteral(" GROUP BY %1 HAVING COUNT(*) > 1").arg(keyList);
    const ResultSet dup = Sql(conn, groups).select();
    QStringList report;
    for (qint64 g = 0; g < dup.rowCount(); ++g) {
        Statement members(QStringLiteral("SELECT %1, %2 FROM %3 WHERE ").arg(pk, index.mergeSum, table.name));
        QStringList shown;
        for (int i = 0; i < keys.size(); ++i) {
            members.append((i ? QStringLiteral(" AND ") : QString()) + keys.at(i) + QStringLiteral(" = ?"),
                           {dup.value(g, i)});
            shown.append(QStringLiteral("%1=%2").arg(index.columns.at(i), dup.text(g, i)));
        }
        members.append(QStringLiteral(" ORDER BY ") + pk);
        const ResultSet rows = Sql(conn, members).select();
        if (rows.rowCount() < 2)
            continue;
        double total = 0;
        for (qint64 r = 0; r < rows.rowCount(); ++r)
            total += rows.value(r, 1).toDouble();
        const QVariant kept = rows.value(0, 0);
        Sql(conn, QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table.name, index.mergeSum, pk))
            .bind(total)
            .bind(kept)
            .exec();
        for (qint64 r = 1; r < rows.rowCount(); ++r)
            Sql(conn, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table.name, pk)).bind(rows.value(r, 0)).exec();
        report.append(QStringLiteral("%1: %2 rows of %3 merged into %4 %5, %6 = %7")
                          .arg(table.name)
                          .arg(rows.rowCount())
                          .arg(shown.join(QStringLiteral(" ")), pk, rows.text(0, 0), index.mergeSum)
                          .arg(total));
    }
    return report;
}

} // namespace

QStringList Schema::upgrade(const Connection &conn) const
{
    const Dialect &d = conn.dialect();
    QStringList report;
    Transaction tx(conn);
    // Tables a newer schema added: made with their indexes.
    for (const TableDef &t : m_tables) {
        if (!Sql(conn, d.tableExistsQuery()).bind(t.name).select().isEmpty())
            continue;
        Sql(conn, d.createTable(t)).exec();
        report.append(QStringLiteral("%1: table created").arg(t.name));
    }
    for (const TableDef &t : m_tables) {
        for (int n = 1; n <= t.indexes.size(); ++n) {
            const QString name = Dialect::indexName(t, n);
            if (!Sql(conn, d.indexExistsQuery()).bind(name).select().isEmpty())
                continue;
            const IndexDef &ix = t.indexes.at(n - 1);
            const QStringList statements = indexDdl(d, t, n);
            if (statements.isEmpty()) // not kept by this server
                continue;
            if (ix.unique && !ix.mergeSum.isEmpty())
                report += mergeDuplicates(conn, t, ix);
            for (const QString &statement : statements)
                Sql(conn, statement).exec();
            report.append(QStringLiteral("%1: index %2 created").arg(t.name, name));
        }
    }
    for (const SummaryDef &sd : m_summaries) {
        const bool exists = !Sql(conn, d.columnsQuery()).bind(sd.name).select().isEmpty();
        bool triggers = exists;
        for (const QString &trigger : d.summaryTriggerNames(sd))
            triggers = triggers && !Sql(conn, d.triggerExistsQuery()).bind(trigger).select().isEmpty();
        // Triggers of an older definition are made anew too.
        if (triggers && (table(summaryKeysTable()) != nullptr) &&
            Sql(conn, QStringLiteral("SELECT Version FROM %1 WHERE Name = ?").arg(summaryKeysTable()))
                    .bind(definitionName(sd))
                    .scalar()
                    .toLongLong() == definitionHash(d, sd))
            continue;
        // A summary without all of its triggers may have missed changes:
        // it is counted again from its tables.
        if (!exists)
            Sql(conn, d.createTable(sd.table())).exec();
        const qint64 keys = recountSummary(conn, sd);
        report.append(QStringLiteral("%1: summary %2 with %3 keys")
                          .arg(sd.name, exists ? QStringLiteral("counted again") : QStringLiteral("made"))
                          .arg(keys));
    }
    tx.commit();
    return report;
}

void Schema::dropSummaryTriggers(const Connection &conn, const SummaryDef &summary)
{
    for (const QString &statement : conn.dialect().dropSummaryTriggers(summary))
        Sql(conn, statement).exec();
}

qint64 Schema::recountSummary(const Connection &conn, const SummaryDef &summary)
{
    const Dialect &d = conn.dialect();
    dropSummaryTriggers(conn, summary);
    Sql(conn, QStringLiteral("DELETE FROM %1").arg(summary.name)).exec();
    QStringList columns;
    for (const SummaryPart &part : summary.parts)
        columns.append(part.column.name);
    columns.append(SummaryDef::countColumn());
    const qint64 keys =
        Sql(conn, QStringLiteral("INSERT INTO %1 (%2) ").arg(summary.name, columns.join(QStringLiteral(", "))) +
                      summary.countQuery(d))
            .exec();
    for (const QString &statement : d.summaryTriggers(summary))
        Sql(conn, statement).exec();
    // Which definition the triggers are of, where the database keeps it.
    if (!Sql(conn, d.tableExistsQuery()).bind(summaryKeysTable()).select().isEmpty()) {
        Sql(conn, QStringLiteral("DELETE FROM %1 WHERE Name = ?").arg(summaryKeysTable()))
            .bind(definitionName(summary))
            .exec();
        Sql(conn, QStringLiteral("INSERT INTO %1 (Name, Version) VALUES (?, ?)").arg(summaryKeysTable()))
            .bind(definitionName(summary))
            .bind(definitionHash(d, summary))
            .exec();
    }
    return keys;
}

QString Schema::definitionName(const SummaryDef &summary)
{
    return summary.name + QStringLiteral("#definition");
}

qint64 Schema::definitionHash(const Dialect &dialect, const SummaryDef &summary)
{
    const QByteArray digest = QCryptographicHash::hash(dialect.summaryTriggers(summary).join(QLatin1Char('\n')).toUtf8(),
                                                       QCryptographicHash::Md5);
    return digest.toHex().left(7).toLongLong(nullptr, 16);
}

QList<Schema::SummaryDifference> Schema::summaryMismatches(const Connection &conn, const SummaryDef &summary)
{
    const Dialect &d = conn.dialect();
    // Keys compare as codes do: without case and trailing blanks.
    const auto keyOf = [&summary](const ResultSet &rs, qint64 row) {
        QStringList parts;
        for (int c = 0; c < summary.parts.size(); ++c) {
            QString v = rs.text(row, c);
            while (v.endsWith(QLatin1Char(' ')))
                v.chop(1);
            parts.append(summary.parts.at(c).column.kind == ColumnKind::Code ? v.toUpper() : v);
        }
        return parts.join(QLatin1Char('|'));
    };
    QMap<QString, QPair<qint64, qint64>> counts; // counted, kept
    const ResultSet counted = Sql(conn, summary.countQuery(d)).select();
    for (qint64 r = 0; r < counted.rowCount(); ++r)
        counts[keyOf(counted, r)].first += counted.value(r, int(summary.parts.size())).toLongLong();
    QStringList columns;
    for (const SummaryPart &part : summary.parts)
        columns.append(part.column.name);
    const ResultSet kept =
        Sql(conn, QStringLiteral("SELECT %1, %2 FROM %3")
                      .arg(columns.join(QStringLiteral(", ")), SummaryDef::countColumn(), summary.name))
            .select();
    for (qint64 r = 0; r < kept.rowCount(); ++r)
        counts[keyOf(kept, r)].second += kept.value(r, int(summary.parts.size())).toLongLong();
    QList<SummaryDifference> out;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value().first != it.value().second)
            out.append({it.key(), it.value().first, it.value().second});
    return out;
}

QStringList Schema::summaryDifferences(const Connection &conn, const SummaryDef &summary)
{
    QStringList out;
    for (const SummaryDifference &m : summaryMismatches(conn, summary))
        out.append(QStringLiteral("%1 %2: %3 counted, %4 in the summary")
                       .arg(summary.name, m.key)
                       .arg(m.counted)
                       .arg(m.kept));
    return out;
}

QList<SeedStatement> Schema::seedStatements(const Dialect &dialect, const QString &seedPath) const
{
    static const QRegularExpression insertInto(QStringLiteral("^INSERT\\s+INTO\\s+(\\w+)\\s*\\(([^)]*)\\)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QString text = readText(seedPath);
    QList<SeedStatement> out;
    // The seed writes dates as 'yyyy-mm-dd' texts.
    for (const QString &s : dialect.isoDateTexts())
        out.append({0, s});
    QString statement;
    int firstLine = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines.at(i).trimmed();
        if (statement.isEmpty() && (t.isEmpty() || t.startsWith(QLatin1String("--"))))
            continue;
        if (statement.isEmpty())
            firstLine = i + 1;
        statement += lines.at(i) + QLatin1Char('\n');
        if (!t.endsWith(QLatin1Char(';')))
            continue;
        statement = statement.trimmed();
        statement.chop(1);
        statement = withSeedDates(statement);
        // Seeded rows carry their keys; a server that guards identity
        // columns must be told to take them.
        QStringList on, off;
        if (const auto m = insertInto.match(statement); m.hasMatch()) {
            if (const TableDef *table = this->table(m.captured(1))) {
                const QStringList given = columnList(m.captured(2));
                for (const ColumnDef &c : table->columns)
                    if (c.kind == ColumnKind::Serial && given.contains(c.name, Qt::CaseInsensitive)) {
                        on = dialect.identityInsert(table->name, true);
                        off = dialect.identityInsert(table->name, false);
                    }
            }
        }
        for (const QString &s : on)
            out.append({firstLine, s});
        out.append({firstLine, statement});
        for (const QString &s : off)
            out.append({firstLine, s});
        statement.clear();
    }
    for (const TableDef &t : m_tables)
        for (const ColumnDef &c : t.columns)
            if (c.kind == ColumnKind::Serial)
                for (const QString &s : dialect.resetSerial(t.name, c.name))
                    out.append({0, s});
    return out;
}

void Schema::seed(const Connection &conn, const QString &seedPath) const
{
    const QList<SeedStatement> statements = seedStatements(conn.dialect(), seedPath);
    Transaction tx(conn);
    for (const SeedStatement &s : statements) {
        try {
            Sql(conn, s.text).exec();
        } catch (const ErpError &e) {
            if (s.line <= 0)
                throw;
            throw ErpError(
                e.number(), e.source(),
                QStringLiteral("%1 line %2: %3").arg(QFileInfo(seedPath).fileName()).arg(s.line).arg(e.description()));
        }
    }
    tx.commit();
}

QString schemaDirectory()
{
    const QString env = qEnvironmentVariable("ERP_SCHEMA_DIR");
    if (!env.isEmpty())
        return env;
    QDir dir(QCoreApplication::applicationDirPath());
    for (int up = 0; up < 4; ++up) {
        if (QFileInfo::exists(dir.filePath(QStringLiteral("schema/erp.schema"))))
            return dir.filePath(QStringLiteral("schema"));
        if (QFileInfo::exists(dir.filePath(QStringLiteral("share/barmanu/schema/erp.schema"))))
            return dir.filePath(QStringLiteral("share/barmanu/schema"));
        if (!dir.cdUp())
            break;
    }
    const QString src = qEnvironmentVariable("ERP_SOURCE_DIR");
    if (!src.isEmpty())
        return QDir(src).filePath(QStringLiteral("schema"));
    return QStringLiteral("schema");
}
