#pragma once

#include "reports/ReportStore.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Kesto_Design;
class QWidget;

// What the report list hands the report component for one print.
struct ReportPrintCall
{
    QString reportCode;
    QString choice;
    bool allowPrint = false;
    std::shared_ptr<ResultSet> rows; // type-1 reports
    std::optional<QString> sql;      // every other report
    QString companyName;
};

// One print of a report: everything but the report itself.
struct ReportJob
{
    QString choice; // "P" print, "V" preview
    bool allowPrint = false;
    QString companyName;
    // The script defining the document's variables, View_Price and W_Filter.
    QString variables;
    // Prepared data of type-1 reports, by report code.
    QHash<QString, std::shared_ptr<ResultSet>> prepared;
    // Not empty: the print goes into this PDF file, not to the screen or printer.
    QString pdfFile;
    // Script failures are shown in a message box (the list); otherwise they
    // come back in the outcome only.
    bool showScriptErrors = true;
};

struct ReportOutcome
{
    // The report went through the component (no refusal of the list's own).
    bool printed = false;
    // Pages came out, on a printer or into a PDF file: not a preview only
    // looked at, nor a print dialog left or a print stopped.
    bool output = false;
    // When not printed: the refusal's message id and text, as the list shows it.
    QString messageId;
    QString text;
};

// What the report list's OK does, without the list: the report's script
// computes its SQL through the script host (whose operating window the caller
// has set), and the report component prints or previews it. A failure of the
// component or a type-1 report without prepared data throws ErpError.
class ReportPrinting
{
public:
    static ReportOutcome print(Connection &conn, const QString &appPath, Kesto_Design &host,
                               const ReportDefinition &report, const ReportJob &job, QWidget *dialogParent = nullptr);

    // Tests watch each call of the report component.
    using Observer = std::function<void(const ReportPrintCall &)>;
    static void setObserver(Observer observer);

    // The script text defining the document's variables, View_Price and W_Filter.
    static QString variablesText(const QString &variantCode, bool viewPrice, const QString &filter);
    // A text as a VBScript string literal.
    static QString scriptLiteral(const QString &text);
};
