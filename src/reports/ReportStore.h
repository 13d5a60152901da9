#pragma once

#include "platform/db/Sql.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One report definition of a window (a row of mmstc111).
struct ReportDefinition
{
    QString formName;
    QString reportName; // the report code, which names its layout
    QString caption;    // unique within the window
    QString script;     // leaves the report's SQL in W_SQL
    QString orderFields;
    bool basicSource = false; // a shared data source other reports copy
    int type = 0;             // 1: printed from a result set the caller prepared
};

// What a save writes; the texts are stored as typed.
struct ReportEdit
{
    QString formName;
    QString reportName;
    QString caption;
    QString script;
    QString orderFields;
    QString userName;
    QDateTime savedAt;
};

// One column of a catalogued table: its physical name and the display name
// the catalogue records (the physical name again when it records none).
struct CatalogueColumn
{
    QString table;
    QString name;
    QString displayName;
};

struct CatalogueTable
{
    QString id;   // physical name
    QString name; // display name
};

struct CatalogueModule
{
    QString id;
    QString name;
    QList<CatalogueTable> tables;
};

// The report definitions of the windows and the table catalogue the SQL
// builder shows. Every value is bound; every query names its window.
class ReportStore
{
public:
    explicit ReportStore(const Connection &conn) : m_conn(conn) {}

    // The reports of a window in report-code order.
    ResultSet reports(const QString &formName) const;
    // The report of a window with that caption as stored now.
    std::optional<ReportDefinition> find(const QString &formName, const QString &caption) const;
    static ReportDefinition definition(const ResultSet &rows, qint64 row);
    // Rows deleted (0 when another user deleted it first).
    qint64 remove(const QString &formName, const QString &caption) const;

    // How many reports of the window carry the caption.
    qint64 countCaption(const QString &formName, const QString &caption) const;
    // Adds a row, or rewrites the row that had oldCaption; false when that row is gone.
    bool save(const ReportEdit &edit, const std::optional<QString> &oldCaption) const;

    // The captions of the window's basic data sources, and the script of one.
    QStringList basicSources(const QString &formName) const;
    std::optional<QString> basicSourceScript(const QString &formName, const QString &caption) const;

    // The modules in display order with their tables.
    QList<CatalogueModule> catalogue() const;
    // The columns of a table by name, from the database's own catalogue;
    // none for a name that is no table.
    QList<CatalogueColumn> columns(const QString &table) const;

private:
    Connection m_conn;
};
