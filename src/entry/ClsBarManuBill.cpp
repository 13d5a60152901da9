#include "entry/ClsBarManuBill.h"

#include "documents/DocumentWindow.h"
#include "context/RunContext.h"
#include "pickers/FrmOrg.h"
#include "platform/report/ReportComponent.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/QtMessageBoxService.h"
#include "platform/ui/Twips.h"
#include "platform/ui/WidgetPicture.h"
#include "reports/FrmDesignReportShow.h"
#include "services/DbGateway.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

// Messages of a print without a screen: written to the error output and
// remembered, since nobody is there to answer them.
class HeadlessMessages final : public MessageBoxService
{
public:
    HeadlessMessages() : m_previous(MessageBoxService::isInstalled() ? &MessageBoxService::instance() : nullptr)
    {
        MessageBoxService::install(this);
    }
    ~HeadlessMessages() override { MessageBoxService::install(m_previous); }
    int show(const MessageRequest &request) override
    {
        m_texts << request.text;
        std::fprintf(stderr, "%s\n", qPrintable(request.text));
        return MessageBoxService::defaultAnswer(request.style);
    }
    const QStringList &texts() const { return m_texts; }

private:
    MessageBoxService *m_previous;
    QStringList m_texts;
};

const DocumentKind *kindOfReportForm(const QString &formId)
{
    for (const DocumentKind *k :
         {&DocumentKind::issue(), &DocumentKind::materialReturn(), &DocumentKind::supplementary()})
        if (k->reportFormId.compare(formId.trimmed(), Qt::CaseInsensitive) == 0)
            return k;
    return nullptr;
}

DocumentWindow *windowOfHandle(qint32 handle)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<DocumentWindow *>(w); d && qint32(d->winId()) == handle)
            return d;
    return nullptr;
}

// Runs open() on the window of handle with every dialog it shows modally
// shown, handed to picture (which saves it and may drive it on) and closed.
// False when there is no such window or a picture failed.
bool drivePictures(qint32 handle, const QString &folder, const std::function<bool(QDialog *)> &picture,
                   const std::function<void(DocumentWindow *)> &open)
{
    DocumentWindow *window = windowOfHandle(handle);
    if (!window)
        return false;
    QDir().mkpath(folder);
    bool ok = true;
    ModalRunner::setDriver([&](QDialog *dialog) {
        dialog->show();
        ok = picture(dialog) && ok;
        dialog->reject();
        return int(QDialog::Rejected);
    });
    open(window);
    ModalRunner::setDriver({});
    return ok;
}

} // namespace

qint32 ClsBarManuBill::ShowFrm(const Connection &p_Con, const QString &P_Menu_Id, const QString &P_User_Id,
                               const QString &P_CON_IniFile, qint32 P_Left, qint32 P_Top, qint32 P_Width,
                               qint32 P_Height, const QString &P_Comp_Cname)
{
    QtMessageBoxService::installIfNone();
    RunContext &ctx = runContext();
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

bool ClsBarManuBill::SaveDialogPictures(qint32 handle, const QString &folder)
{
    return drivePictures(
        handle, folder, [&](QDialog *dialog) { return saveWidgetPicture(dialog, folder, dialog->objectName()); },
        [](DocumentWindow *window) {
            window->vcontrol(QStringLiteral("F"));
            FrmOrg &org = FrmOrg::obtain(window);
            ModalRunner::exec(&org);
            FrmOrg::release();
        });
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
    HeadlessMessages messages;
    QTemporaryDir settings;
    const QString user = userId.isEmpty() ? RunContext::defaultUserId() : userId;
    ShowFrm(p_Con, kind->menuId, user, settings.filePath(QStringLiteral("print.ini")), 0, 0, 13500, 9000, companyName);
    DocumentWindow *window = DocumentWindow::instance(*kind);
    if (!window)
        return QStringLiteral("the document window did not open");
    const QString type = DbGateway::LookupField(p_Con, QStringLiteral("Mmst411"), QStringLiteral("Inv_Type"),
                                                QStringLiteral("Inv_No"), invNo);
    QString failure;
    if (type != kind->invType()) {
        failure = QStringLiteral("no document %1 in window %2").arg(invNo, kind->windowName);
    } else {
        window->showNumber(invNo);
        QFile::remove(pdfFile);
        report::setPdfOutput(pdfFile);
        bool found = true;
        ModalRunner::setDriver([&](QDialog *dialog) {
            auto *list = qobject_cast<FrmDesignReportShow *>(dialog);
            if (!list || !list->selectCaption(reportCaption)) {
                found = found && !list;
                dialog->reject();
                return int(QDialog::Rejected);
            }
            list->Cmd_Ok_Click();
            return list->result();
        });
        window->vcontrol(QString(QLatin1Char(CommandLetter::Print)));
        ModalRunner::setDriver({});
        report::setPdfOutput(QString());
        if (!found)
            failure = reportCaption.isEmpty()
                          ? QStringLiteral("window code %1 has no report").arg(kind->reportFormId)
                          : QStringLiteral("window code %1 has no report %2").arg(kind->reportFormId, reportCaption);
        else if (!messages.texts().isEmpty())
            failure = messages.texts().join(QLatin1Char('\n'));
        else if (QFileInfo(pdfFile).size() <= 0)
            failure = QStringLiteral("no PDF was written");
    }
    window->close();
    return failure;
}

bool ClsBarManuBill::SaveReportPictures(qint32 handle, const QString &folder)
{
    const auto picture = [&](QDialog *dialog) {
        QCoreApplication::processEvents();
        const QString name = dialog->objectName();
        if (auto *list = qobject_cast<FrmDesignReportShow *>(dialog)) {
            const bool saved = saveWidgetPicture(dialog, folder, name);
            // The editor of the first report, and from there the builder.
            if (list->selectCaption(QString()))
                if (QAction *edit = list->findChild<QAction *>(QStringLiteral("mnuEditReport")))
                    edit->trigger();
            return saved;
        }
        if (name == QLatin1String("FrmDesignReportSQL")) {
            const bool saved = saveWidgetPicture(dialog, folder, name);
            if (auto *b = dialog->findChild<QPushButton *>(QStringLiteral("CmdSql")))
                b->click();
            return saved;
        }
        // The builder showing the columns of the document lines.
        if (auto *tv = dialog->findChild<QTreeWidget *>(QStringLiteral("Tv")))
            for (QTreeWidgetItem *item :
                 tv->findItems(QStringLiteral("Mmst412"), Qt::MatchContains | Qt::MatchRecursive))
                emit tv->itemClicked(item, 0);
        QCoreApplication::processEvents();
        return saveWidgetPicture(dialog, folder, name);
    };
    return drivePictures(handle, folder, picture, [](DocumentWindow *window) {
        window->vcontrol(QString(QLatin1Char(CommandLetter::Preview)));
    });
}
