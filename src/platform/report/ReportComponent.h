#pragma once
#include <QString>
#include <QVariant>
#include <optional>
class Connection;
class ResultSet;
class QObject;
class QWidget;

namespace report {

// Where a print or preview goes. The default shows the preview window ("V") or the
// print dialog ("P"); tests and headless runs install a PDF file instead.
void setPdfOutput(const QString &pdfPath); // empty: back to the screen / printer
QString pdfOutput();

// The report component the report list creates anew for each print.
class ReportComponent
{
public:
    // appPath: the module's folder; layouts are looked up under appPath + "/report/".
    explicit ReportComponent(const QString &appPath, QWidget *dialogParent = nullptr);
    ~ReportComponent();

    // Sends the print into this PDF file (empty: as setPdfOutput says).
    void setOutputFile(const QString &pdfPath) { m_outputFile = pdfPath; }

    // The nine arguments, in order. `connection` is by reference: whatever the component
    // leaves there becomes the caller's connection. `rows` (a prepared result set, type-1
    // reports) or `sql` (every other report) is given, the other omitted (nullptr/nullopt).
    // `sql` runs read-only on the connection. Throws ErpError on any failure (unknown layout
    // syntax, SQL error, printer/PDF failure); an empty sql does nothing and returns.
    void rptPrint(Connection &connection, const QString &reportCode, QObject *object, const QString &choice,
                  bool allowPrint, const ResultSet *rows, const std::optional<QString> &sql, const QVariant &omitted,
                  const QString &companyName);

private:
    QString m_appPath;
    QWidget *m_dialogParent = nullptr;
    QString m_outputFile;
};

} // namespace report
