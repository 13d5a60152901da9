#include "reports/ReportPrinting.h"

#include "platform/core/ErpError.h"
#include "platform/report/ReportComponent.h"
#include "reports/KestoDesign.h"
#include "services/DbGateway.h"

namespace {

ReportPrinting::Observer g_observer;

// Blanks at both ends, as the stored scripts are trimmed (line breaks stay).
QString trimBlanks(const QString &text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && text.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && text.at(to - 1) == QLatin1Char(' '))
        --to;
    return text.mid(from, to - from);
}

// The text a script left in a variable; what is no text counts as none.
QString valueAsText(const ScriptValue &value)
{
    if (value.isEmpty() || value.isNull() || value.isObject() || value.isArray())
        return QString();
    try {
        return value.toString();
    } catch (const ScriptError &) {
        return QString();
    }
}

bool callComponent(Connection &conn, const QString &appPath, const ReportPrintCall &call, const QString &pdfFile,
                   QWidget *dialogParent)
{
    if (g_observer)
        g_observer(call);
    report::ReportComponent component(appPath, dialogParent);
    component.setOutputFile(pdfFile);
    // Whatever the component leaves in the connection is the module's afterwards.
    return component.rptPrint(conn, call.reportCode, nullptr, call.choice, call.allowPrint, call.rows.get(), call.sql,
                              QVariant(), call.companyName);
}

} // namespace

void ReportPrinting::setObserver(Observer observer)
{
    g_observer = std::move(observer);
}

QString ReportPrinting::scriptLiteral(const QString &text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString ReportPrinting::variablesText(const QString &variantCode, bool viewPrice, const QString &filter)
{
    const QString crlf = QStringLiteral("\r\n");
    // The filter is written as a string literal, so a quote in it cannot end it early.
    return variantCode + crlf + QStringLiteral("const View_Price=") +
           (viewPrice ? QStringLiteral("True") : QStringLiteral("False")) + crlf + QStringLiteral("const W_Filter=") +
           scriptLiteral(filter) + crlf;
}

ReportOutcome ReportPrinting::print(Connection &conn, const QString &appPath, Kesto_Design &host,
                                    const ReportDefinition &report, const ReportJob &job, QWidget *dialogParent)
{
    ReportPrintCall call;
    call.reportCode = report.reportName;
    call.choice = job.choice;
    call.allowPrint = job.allowPrint;
    call.companyName = job.companyName;
    ReportOutcome outcome;
    if (report.type != 1) {
        const QString sql = valueAsText(host.GetValue(trimBlanks(report.script), QStringLiteral("W_SQL"),
                                                      job.showScriptErrors, job.variables, true));
        call.sql = sql;
        outcome.output = callComponent(conn, appPath, call, job.pdfFile, dialogParent);
        if (sql.isEmpty()) {
            outcome.messageId = QStringLiteral("Check_Ok_3");
            outcome.text = DbGateway::ChangeStrCode(QStringLiteral("没有设置记录集或SQL语句格式错误!"));
            // A script that failed says why, where no box has told it.
            if (!job.showScriptErrors && !host.lastError().isEmpty())
                outcome.text += QStringLiteral("\n") + host.lastError();
            return outcome;
        }
    } else {
        call.rows = job.prepared.value(report.reportName);
        if (!call.rows)
            throw ErpError(5, QStringLiteral("FrmDesignReportShow"),
                           QStringLiteral("Invalid procedure call or argument"));
        outcome.output = callComponent(conn, appPath, call, job.pdfFile, dialogParent);
    }
    outcome.printed = true;
    return outcome;
}
