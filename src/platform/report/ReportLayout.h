#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class ResultSet;

namespace report {

// How one value is written: as it comes, as a number with a fixed count of
// decimals (optionally grouped in thousands), or as a date.
struct ValueFormat
{
    enum Kind { Plain, Number, Date, DateTime };
    Kind kind = Plain;
    int decimals = 0;
    bool grouped = false;

    // Parses "#,##0.00", "0", "date", "datetime"; false when not a format.
    static bool parse(const QString &text, ValueFormat *out);
    QString apply(const QVariant &value) const;
};

struct LayoutColumn
{
    QString field;
    QString heading;
    double widthMm = 20;
    Qt::Alignment align = Qt::AlignLeft;
    ValueFormat format;
    bool optional = false; // left out when the result has no such column
    bool sum = false;      // summed into the group and report totals
    bool wrap = false;     // a text wider than the column goes on over further lines of its row
};

struct LayoutField
{
    QString label;
    QString field;
    ValueFormat format;
};

// A report layout: what a layout file under App_Path/report/ says, or the
// plain table made for a report code that has none.
struct ReportLayout
{
    QString caption;
    bool landscape = false;
    QString paper = QStringLiteral("A4");
    double marginMm = 12;
    double fontPt = 9;
    double rowHeightMm = 0; // 0: from the font size
    QList<LayoutField> header;
    QList<LayoutColumn> columns; // empty: every column of the result
    QString groupBy;
    QString groupCaption = QStringLiteral("小计");
    QString totalCaption = QStringLiteral("合计");
    bool showTotal = true;
    QList<LayoutField> signatures; // field may be empty: a box to sign by hand

    // Reads a layout text. Throws ErpError naming the file and the line of
    // the first thing it does not understand.
    static ReportLayout parse(const QString &text, const QString &fileName);
    // The layout file of a report code in folder, or empty when none exists.
    static QString findFile(const QString &folder, const QString &reportCode);
    // A plain table of every column of rows under caption.
    static ReportLayout plainTable(const ResultSet &rows, const QString &caption);

    // Checks the layout against the result: optional columns it lacks are
    // dropped, a missing required column is an error naming it.
    void bind(const ResultSet &rows, const QString &fileName);

    double rowHeight() const;
};

} // namespace report
