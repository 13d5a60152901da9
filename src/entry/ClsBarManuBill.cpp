#include "entry/ClsBarManuBill.h"

#include "context/RunContext.h"
#include "documents/DocumentSession.h"
#include "documents/DocumentWindow.h"
#include "documents/LedgerStore.h"
#include "platform/core/ErpError.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/QtTranslations.h"
#include "platform/ui/Twips.h"
#include "reports/KestoDesign.h"
#include "reports/ReportPrinting.h"
#include "services/DbGateway.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

namespace {

const DocumentKind *kindOfReportForm(const QString &formId)
{
    for (const DocumentKind *k :
         {&DocumentKind::issue(), &DocumentKind::materialReturn(), &DocumentKind::supplementary()})
        if (k->reportFormId.compare(formId.trimmed(), Qt::CaseInsensitive) == 0)
            return k;
    return nullptr;
}

// A session without a screen: nobody answers, so whatever it would tell is
// kept to be returned, and a question takes its default answer.
class HeadlessView final : public SessionView
{
public:
    QStringList told;

    HeaderInput input() const override { return {}; }
    int ask(const MessageRequest &question) override
    {
        told << question.text;
        return MessageBoxService::defaultAnswer(question.style);
    }
    void tell(const MessageRequest &message) override { told << message.text; }
    void focus(HeaderField) override {}
    void reportFailure(const QString &, const QString &tag, const QString &detail) override
    {
        QString what = tag;
        try {
            throw;
        } catch (const ErpError &e) {
            what += QStringLiteral(": ") + e.description();
        } catch (...) {
        }
        told << (detail.isEmpty() ? what : what + QStringLiteral(" (") + detail + QLatin1Char(')'));
    }
    void showDocument() override {}
    void showLines() override {}
    void Lock_Control(bool) override {}
    void proposeNumber(const QString &) override {}
    void numberStored(const QString &) override {}
    void documentRemoved() override {}
    SearchOutcome search(const SearchRequest &) override { return {true, false, {}}; }
    bool openReports(const ReportRequest &, QString &) override { return false; }
    void openLineDialog(const LineRequest &) override {}
    void openUsageImport(const UsageImportCall &) override {}
    void showHelp() override {}
    void closeWindow() override {}
};

} // namespace

qint32 ClsBarManuBill::ShowFrm(const Connection &p_Con, const QString &P_Menu_Id, const QString &P_User_Id,
                               const QString &P_CON_IniFile, qint32 P_Left, qint32 P_Top, qint32 P_Width,
                               qint32 P_Height, const QString &P_Comp_Cname)
{
    RunContext &ctx = runContext();
    // Nothing in this process may read the open database file (see FileDialogs).
    FileDialogs::guardProcess();
    // Qt's own texts in the workstation's language, unless the host saw to it.
    QtTranslations::installIfNone();
    ctx.setPrompts();
    ctx.Conn = p_Con;
    ctx.User_Id = P_User_Id;
    ctx.User_Name = DbGateway::LookupField(ctx.Conn, QStringLiteral("mmst901"), QStringLiteral("user_name"),
                                           QStringLiteral("user_id"), ctx.User_Id);
    ctx.Ini_File = P_CON_IniFile;
    ctx.Comp_Cname = P_Comp_Cname;

    const DocumentKind *kind = DocumentKind::forMenu(P_Menu_Id);
    if (!kind)
        return 0;
    DocumentWindow *window = DocumentWindow::obtain(*kind);
    window->setGeometry(twipsToPixels(P_Left), twipsToPixels(P_Top), twipsToPixels(P_Width), twipsToPixels(P_Height));
    const qint32 handle = qint32(window->winId());
    window->show();
    window->raise();
    return handle;
}

QString ClsBarManuBill::PrintDocument(const Connection &p_Con, const QString &formId, const QString &invNo,
                                      const QString &reportCaption, const QString &pdfFile, const QString &userId,
                                      const QString &companyName)
{
    const DocumentKind *kind = kindOfReportForm(formId);
    if (!kind)
        return QStringLiteral("no document window has the report code ") + formId;
    if (pdfFile.isEmpty())
        return QStringLiteral("no PDF file named");
    try {
        // The document as its window reads it, for the user's rights.
        SessionContext context;
        context.conn = p_Con;
        context.userId = userId.isEmpty() ? RunContext::defaultUserId() : userId;
        context.userName = DbGateway::LookupField(p_Con, QStringLiteral("mmst901"), QStringLiteral("user_name"),
                                                  QStringLiteral("user_id"), context.userId);
        context.workstation = DbGateway::GetMachineName();
        HeadlessView view;
        DocumentSession session(context, *kind, view, nullptr);
        session.pickNumber(invNo);
        if (!view.told.isEmpty())
            return view.told.join(QLatin1Char('\n'));
        if (!session.hasRecord())
            return QStringLiteral("no document %1 in window %2").arg(invNo, kind->windowName);

        // The report as the list would offer it.
        const ResultSet reports = ReportStore(p_Con).reports(kind->reportFormId);
        std::optional<ReportDefinition> chosen;
        for (qint64 r = 0; r < reports.rowCount() && !chosen; ++r) {
            const ReportDefinition d = ReportStore::definition(reports, r);
            if (reportCaption.isEmpty() ? !d.basicSource : d.caption == reportCaption)
                chosen = d;
        }
        if (!chosen)
            return reportCaption.isEmpty()
                       ? QStringLiteral("window code %1 has no report").arg(kind->reportFormId)
                       : QStringLiteral("window code %1 has no report %2").arg(kind->reportFormId, reportCaption);

        // Scripts run against a stand-in of the list window they run in on screen.
        QWidget operForm;
        operForm.setObjectName(QStringLiteral("FrmDesignReportShow"));
        Kesto_Design host(p_Con);
        host.setOperForm(&operForm);
        host.ClearScriptObject(false);
        ReportJob job;
        job.choice = QStringLiteral("P");
        job.companyName = companyName;
        job.variables = ReportPrinting::variablesText(DocumentSession::variantCode(invNo),
                                                      session.control().View_Price(), QString());
        job.pdfFile = pdfFile;
        job.showScriptErrors = false;
        QFile::remove(pdfFile);
        Connection conn = p_Con;
        const ReportOutcome outcome =
            ReportPrinting::print(conn, RunContext::instance().moduleFolder(), host, *chosen, job);
        if (!outcome.printed)
            return outcome.text;
        if (QFileInfo(pdfFile).size() <= 0)
            return QStringLiteral("no PDF was written");
        // Printed as its window's print button prints: the document is marked.
        session.markPrinted(invNo, chosen->caption);
        if (!view.told.isEmpty())
            return view.told.join(QLatin1Char('\n'));
        return QString();
    } catch (const ErpError &e) {
        return e.description();
    }
}

namespace {

// What a tool says per table while it reads.
LedgerVerifier::Progress tableProgress(const ClsBarManuBill::ToolProgress &progress)
{
    if (!progress)
        return {};
    return [progress](const QString &table, qint64 rows, double seconds) {
        if (rows < 0)
            progress(QStringLiteral("reading %1 ...").arg(table));
        else
            progress(QStringLiteral("%1: %2 rows in %3 s").arg(table).arg(rows).arg(seconds, 0, 'f', 1));
    };
}

} // namespace

int ClsBarManuBill::VerifyLedger(const Connection &p_Con, bool json, const ToolProgress &progress, QString &out)
{
    try {
        const LedgerReport report = LedgerVerifier(p_Con).verify(tableProgress(progress));
        out = json ? QString::fromUtf8(report.json()) : report.text();
        return report.exitStatus();
    } catch (const ErpError &e) {
        out = QStringLiteral("the ledger could not be read: %1\n").arg(e.description());
        return 2;
    }
}

int ClsBarManuBill::RepairLedger(const Connection &p_Con, const QString &userId,
                                 const std::function<bool(const QString &plan)> &confirm, const ToolProgress &progress,
                                 QString &out)
{
    try {
        QString userName;
        if (!userId.isEmpty())
            userName = DbGateway::LookupField(p_Con, QStringLiteral("mmst901"), QStringLiteral("user_name"),
                                              QStringLiteral("user_id"), userId);
        if (userName.isEmpty())
            userName = QStringLiteral("ledger repair");
        const LedgerRepair repair(p_Con, userName);
        const RepairPlan plan = repair.plan(nullptr, tableProgress(progress));
        out = plan.text();
        if (plan.isEmpty())
            return plan.left.isEmpty() ? 0 : 1;
        if (!confirm || !confirm(out)) {
            out += QStringLiteral("Not confirmed: nothing was changed.\n");
            return 2;
        }
        const LedgerRepair::Outcome outcome = repair.apply(plan);
        if (!outcome.applied) {
            out += outcome.refusal + QLatin1Char('\n');
            return 2;
        }
        out += QStringLiteral("Repaired: %1 balance rows changed.\n").arg(outcome.changed);
        // What is left is checked again, as --verify would.
        const LedgerReport after = LedgerVerifier(p_Con).verify();
        qint64 repairable = 0;
        for (const LedgerFinding &f : after.findings)
            repairable += LedgerFinding::repairable(f.kind) ? 1 : 0;
        if (repairable > 0)
            out += QStringLiteral("The check afterwards still finds %1 balance findings.\n").arg(repairable);
        return after.clean() ? 0 : 1;
    } catch (const ErpError &e) {
        out += QStringLiteral("the repair failed, nothing was changed: %1\n").arg(e.description());
        return 2;
    }
}

int ClsBarManuBill::ListHistory(const Connection &p_Con, const QString &formId, const QString &invNo, bool json,
                                QString &out)
{
    const DocumentKind *kind = kindOfReportForm(formId);
    if (!kind) {
        out = QStringLiteral("no document window has the code %1\n").arg(formId);
        return 2;
    }
    try {
        const QList<HistoryEntry> entries = DocumentHistory(p_Con).entries(invNo, kind->invType());
        if (!DocumentHistory::isKept(p_Con)) {
            out = QStringLiteral("this database keeps no document history yet (erp-host --upgrade makes it)\n");
            return 2;
        }
        if (json) {
            QJsonArray rows;
            for (const HistoryEntry &e : entries)
                rows.append(QJsonObject{{QStringLiteral("time"), e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                                        {QStringLiteral("document"), e.invNo},
                                        {QStringLiteral("change"), e.kindCode},
                                        {QStringLiteral("caption"), DocumentHistory::caption(e)},
                                        {QStringLiteral("userId"), e.userId},
                                        {QStringLiteral("userName"), e.userName},
                                        {QStringLiteral("workstation"), e.workstation},
                                        {QStringLiteral("detail"), e.detail}});
            out = QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Indented));
            return 0;
        }
        if (entries.isEmpty()) {
            out = QStringLiteral("%1 %2 has no history\n").arg(kind->heading, invNo);
            return 0;
        }
        out = QStringLiteral("%1 %2\n").arg(kind->heading, invNo) + DocumentHistory::text(entries);
        return 0;
    } catch (const ErpError &e) {
        out = QStringLiteral("the history could not be read: %1\n").arg(e.description());
        return 2;
    }
}
