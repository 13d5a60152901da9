#include "reports/ReportStore.h"

#include "platform/core/ErpError.h"
#include "platform/db/Dialect.h"
#include "platform/db/Value.h"

#include <QHash>

#include <algorithm>

ResultSet ReportStore::reports(const QString &formName) const
{
    return Sql(m_conn, QStringLiteral("SELECT * FROM mmstc111 WHERE form_name = ? ORDER BY Report_Name"))
        .bind(formName)
        .select();
}

ReportDefinition ReportStore::definition(const ResultSet &rows, qint64 row)
{
    ReportDefinition d;
    d.formName = rows.text(row, QStringLiteral("form_name"));
    d.reportName = rows.text(row, QStringLiteral("Report_Name"));
    d.caption = rows.text(row, QStringLiteral("report_caption"));
    d.script = rows.text(row, QStringLiteral("report_sql"));
    d.orderFields = rows.text(row, QStringLiteral("order_fields"));
    const QString flag = rows.text(row, QStringLiteral("basic_sql_flag")).trimmed();
    d.basicSource =
        !flag.isEmpty() && flag != QLatin1String("0") && flag.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
    // Null reads as "0"; a text that is no number is no type 1 either.
    const QString type = rows.text(row, QStringLiteral("Type")).trimmed();
    d.type = type.isEmpty() ? 0 : int(type.toDouble());
    return d;
}

std::optional<ReportDefinition> ReportStore::find(const QString &formName, const QString &caption) const
{
    const ResultSet rows =
        Sql(m_conn, QStringLiteral("SELECT * FROM mmstc111 WHERE form_name = ? AND report_caption = ?"))
            .bind(formName)
            .bind(caption)
            .select();
    if (rows.isEmpty())
        return std::nullopt;
    return definition(rows, 0);
}

qint64 ReportStore::remove(const QString &formName, const QString &caption) const
{
    return Sql(m_conn, QStringLiteral("DELETE FROM mmstc111 WHERE form_name = ? AND report_caption = ?"))
        .bind(formName)
        .bind(caption)
        .exec();
}

qint64 ReportStore::countCaption(const QString &formName, const QString &caption) const
{
    return Sql(m_conn, QStringLiteral("SELECT COUNT(*) FROM mmstc111 WHERE form_name = ? AND report_caption = ?"))
        .bind(formName)
        .bind(caption)
        .scalar()
        .toLongLong();
}

bool ReportStore::save(const ReportEdit &e, const std::optional<QString> &oldCaption) const
{
    const QList<QVariant> values{e.formName, e.reportName, e.caption, e.script, e.orderFields, e.userName, e.savedAt};
    if (!oldCaption) {
        Sql(m_conn, QStringLiteral("INSERT INTO mmstc111 (form_name, Report_Name, report_caption, report_sql, "
                                   "order_fields, Upd_Name, Upd_Date) VALUES (?, ?, ?, ?, ?, ?, ?)"))
            .bindAll(values)
            .exec();
        return true;
    }
    return Sql(m_conn, QStringLiteral("UPDATE mmstc111 SET form_name = ?, Report_Name = ?, report_caption = ?, "
                                      "report_sql = ?, order_fields = ?, Upd_Name = ?, Upd_Date = ? "
                                      "WHERE form_name = ? AND report_caption = ?"))
               .bindAll(values)
               .bind(e.formName)
               .bind(*oldCaption)
               .exec() > 0;
}

QStringList ReportStore::basicSources(const QString &formName) const
{
    const ResultSet rows = Sql(m_conn, QStringLiteral("SELECT report_caption FROM mmstc111 WHERE form_name = ? AND "
                                                      "basic_sql_flag = 1 ORDER BY report_caption"))
                               .bind(formName)
                               .select();
    QStringList out;
    for (qint64 r = 0; r < rows.rowCount(); ++r)
        out << rows.text(r, 0);
    return out;
}

std::optional<QString> ReportStore::basicSourceScript(const QString &formName, const QString &caption) const
{
    const ResultSet rows = Sql(m_conn, QStringLiteral("SELECT report_sql FROM mmstc111 WHERE form_name = ? AND "
                                                      "basic_sql_flag = 1 AND report_caption = ?"))
                               .bind(formName)
                               .bind(caption)
                               .select();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.text(0, 0);
}

QList<CatalogueModule> ReportStore::catalogue() const
{
    QList<CatalogueModule> out;
    // A catalogue that cannot be read leaves the tree as far as it got.
    ResultSet modules;
    try {
        modules = Sql(m_conn, QStringLiteral("SELECT erp_id, erp_name FROM mmstc01 ORDER BY erp_order ASC")).select();
    } catch (const ErpError &) {
        return out;
    }
    for (qint64 m = 0; m < modules.rowCount(); ++m) {
        CatalogueModule module{modules.text(m, 0), modules.text(m, 1), {}};
        try {
            const ResultSet tables =
                Sql(m_conn,
                    QStringLiteral("SELECT table_id, table_name FROM mmstc06 WHERE erp_id = ? ORDER BY table_id"))
                    .bind(module.id)
                    .select();
            for (qint64 t = 0; t < tables.rowCount(); ++t)
                module.tables.append({tables.text(t, 0), tables.text(t, 1)});
        } catch (const ErpError &) {
        }
        out.append(module);
    }
    return out;
}

QList<CatalogueColumn> ReportStore::columns(const QString &table) const
{
    const ResultSet physical = Sql(m_conn, m_conn.dialect().columnsQuery()).bind(table).select();
    QHash<QString, QString> display;
    if (!physical.isEmpty()) {
        const ResultSet names = Sql(m_conn, QStringLiteral("SELECT col_id, col_name FROM mmstc061 WHERE table_id = ?"))
                                    .bind(table)
                                    .select();
        for (qint64 r = 0; r < names.rowCount(); ++r)
            if (!names.value(r, 1).isNull())
                display.insert(names.text(r, 0).trimmed().toLower(), names.text(r, 1));
    }
    QList<CatalogueColumn> out;
    for (qint64 r = 0; r < physical.rowCount(); ++r) {
        const QString name = physical.text(r, 0);
        out.append({table, name, display.value(name.toLower(), name)});
    }
    std::stable_sort(out.begin(), out.end(), [](const CatalogueColumn &a, const CatalogueColumn &b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return out;
}
