#include "entry/ClsBarManuBill.h"

#include "documents/DocumentWindow.h"
#include "entry/RunContext.h"
#include "pickers/FrmOrg.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/QtMessageBoxService.h"
#include "platform/ui/Twips.h"
#include "platform/ui/WidgetPicture.h"
#include "services/DbGateway.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

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
    DocumentWindow *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<DocumentWindow *>(w); d && qint32(d->winId()) == handle)
            window = d;
    if (!window)
        return false;
    QDir().mkpath(folder);
    bool ok = true;
    ModalRunner::setDriver([&](QDialog *dialog) {
        dialog->show();
        ok = saveWidgetPicture(dialog, folder, dialog->objectName()) && ok;
        dialog->reject();
        return int(QDialog::Rejected);
    });
    window->vcontrol(QStringLiteral("F"));
    FrmOrg &org = FrmOrg::obtain(window);
    ModalRunner::exec(&org);
    FrmOrg::release();
    ModalRunner::setDriver({});
    return ok;
}
