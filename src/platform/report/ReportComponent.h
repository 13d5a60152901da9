#pragma once
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
class Connection;
class ResultSet;
class QObject;
class QProgressDialog;
class QWidget;

namespace report {

// Where a print or preview goes. The default shows the preview window ("V") or the
// print dialog ("P"); tests and headless runs install a PDF file instead.
void setPdfOutput(const QString &pdfPath); // empty: back to the screen / printer
QString pdfOutput();

// Tests watch each page of a print or preview as it is painted, with the
// progress window that offers to stop it (empty: none).
void setProgressHook(std::function<void(QProgressDialog *, int page)> hook);

// The report component the report list creates anew for each print.
class ReportComponent
{
public:
    // appPath: the module's folder; layouts are looked up under appPath + "/report/".
    explicit ReportComponent(const QString &appPath, QWidget *dialogParent = nullptr);
    ~ReportComponent();

    // Sends the print into this PDF file (empty: as setPdfOutput says).
    void setOutputFile(const QString &pdfPath) { m_outputFile = pdfPath; }

    // The nine arguments, in order; the print dialog decides paper,
    // orientation, page range and copies (the layout's paper is its default). `connection` is by reference: whatever the component
    // leaves there becomes the caller's connection. `rows` (a prepared result set, type-1
    // reports) or `sql` (every other report) is given, the other omitted (nullptr/nullopt).
    // `sql` runs read-only on the connection. Throws ErpError on any failure (unknown layout
    // syntax, SQL error, printer/PDF failure); an empty sql does nothing and returns.
    // True when pages came out: on a printer or into a PDF file ("P", the
    // preview's print or "保存为PDF"), not for a preview only looked at, a
    // print dialog left, or a print the user stopped.
    bool rptPrint(Connection &connection, const QString &reportCode, QObject *object, const QString &choice,
                  bool allowPrint, const ResultSet *rows, const std::optional<QString> &sql, const QVariant &omitted,
                  const QString &companyName);

private:
    QString m_appPath;
    QWidget *m_dialogParent = nullptr;
    QString m_outputFile;
};

} // namespace report
