// Writes, as JSON lines, the SQL Server statements that no test run issues:
// the schema's DDL, what --init runs before and after it (drops, seed,
// identity reseeds), the session's own statements, and the statements that
// only the SQL Server branch of a store composes. The tsql test parses them
// with the statements the test run captured.
//   tsql_statements SCHEMA_DIR > FILE
#include "documents/DocumentSearch.h"
#include "platform/db/Dialect.h"
#include "platform/db/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

void write(const QString &sql, const QString &source)
{
    QJsonObject o;
    o.insert(QStringLiteral("sql"), sql);
    o.insert(QStringLiteral("source"), source);
    o.insert(QStringLiteral("backend"), QStringLiteral("sqlserver"));
    o.insert(QStringLiteral("program"), QStringLiteral("tsql_statements"));
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tsql_statements SCHEMA_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const Dialect &d = Dialect::of(Backend::SqlServer);
    try {
        const Schema schema = Schema::load(dir.filePath(QStringLiteral("erp.schema")));
        const QString ddl = QStringLiteral("schema/erp.schema");
        for (const ViewDef &v : schema.views())
            write(d.dropView(v.name), ddl);
        for (const TableDef &t : schema.tables())
            write(d.dropTable(t.name), ddl);
        for (const QString &s : schema.ddl(d))
            write(s, ddl);
        for (const SeedStatement &s : schema.seedStatements(d, dir.filePath(QStringLiteral("seed/demo.sql"))))
            write(s.text, s.line > 0 ? QStringLiteral("schema/seed/demo.sql:%1").arg(s.line) : ddl);
        const QString session = QStringLiteral("src/platform/db/Dialect.cpp");
        write(d.commandTimeoutStatement(30), session);
        write(d.serverNowQuery(), session);
        write(d.columnsQuery(), session);
        write(d.indexExistsQuery(), session);
        for (const QString &s : d.refreshStatistics())
            write(s, session);
        // The search dialog's people lists, as composed for SQL Server only.
        for (const char *column : {"Form_Man", "Check_Man", "Proc_Man", "Bar_Man"})
            write(SearchPeopleQuery(QStringLiteral("Mmst411"), QLatin1String(column), d),
                  QStringLiteral("src/documents/DocumentSearch.cpp"));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tsql_statements: %s\n", e.what());
        return 1;
    }
    return 0;
}
