#include "platform/db/Schema.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

namespace {

[[noreturn]] void schemaError(int line, const QString &text)
{
    throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Schema"),
                   QStringLiteral("line %1: %2").arg(line).arg(text));
}

QStringList columnList(const QString &inside)
{
    QStringList cols;
    for (const QString &c : inside.split(QLatin1Char(','), Qt::SkipEmptyParts))
        cols.append(c.trimmed());
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
    static const QRegularExpression keyLine(QStringLiteral("^(primary key|unique|index)\\s*\\(([^)]*)\\)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QMap<QString, ColumnKind> kinds = {
        {QStringLiteral("serial"), ColumnKind::Serial}, {QStringLiteral("int"), ColumnKind::Int},
        {QStringLiteral("code"), ColumnKind::Code},     {QStringLiteral("text"), ColumnKind::Text},
        {QStringLiteral("memo"), ColumnKind::Memo},     {QStringLiteral("decimal"), ColumnKind::Decimal},
        {QStringLiteral("float"), ColumnKind::Float},   {QStringLiteral("bit"), ColumnKind::Bit},
        {QStringLiteral("date"), ColumnKind::Date},     {QStringLiteral("datetime"), ColumnKind::DateTime}};

    Schema schema;
    TableDef *table = nullptr;
    ViewDef *view = nullptr;
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
        if (!table) {
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
                schemaError(lineNo, QStringLiteral("expected 'table NAME' or 'view NAME': %1").arg(t));
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
            const QStringList cols = columnList(k.captured(2));
            for (const QString &c : cols)
                if (!table->column(c))
                    schemaError(lineNo, QStringLiteral("%1 has no column %2").arg(table->name, c));
            if (what == QLatin1String("primary key"))
                table->primaryKey = cols;
            else
                table->indexes.append(IndexDef{cols, what == QLatin1String("unique")});
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
        int n = 0;
        for (const IndexDef &ix : t.indexes)
            out.append(dialect.createIndex(t, ix, ++n));
    }
    for (const ViewDef &v : m_views)
        out.append(dialect.createView(v.name, v.select));
    return out;
}

void Schema::create(const Connection &conn) const
{
    Transaction tx(conn);
    for (const QString &statement : ddl(conn.dialect()))
        Sql(conn, statement).exec();
    tx.commit();
}

void Schema::seed(const Connection &conn, const QString &seedPath) const
{
    const QString text = readText(seedPath);
    Transaction tx(conn);
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
        if (t.endsWith(QLatin1Char(';'))) {
            statement = statement.trimmed();
            statement.chop(1);
            statement = withSeedDates(statement);
            try {
                Sql(conn, statement).exec();
            } catch (const ErpError &e) {
                throw ErpError(e.number(), e.source(),
                               QStringLiteral("%1 line %2: %3")
                                   .arg(QFileInfo(seedPath).fileName())
                                   .arg(firstLine)
                                   .arg(e.description()));
            }
            statement.clear();
        }
    }
    for (const TableDef &t : m_tables)
        for (const ColumnDef &c : t.columns)
            if (c.kind == ColumnKind::Serial)
                for (const QString &s : conn.dialect().resetSerial(t.name, c.name))
                    Sql(conn, s).exec();
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
