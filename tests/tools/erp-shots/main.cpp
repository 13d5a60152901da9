// erp-shots: pictures of the host, the three document windows showing the
// given documents, and the dialogs a clerk opens from the issue window (the
// search dialog, the department picker, the report list, the report editor,
// the SQL builder), saved as PNG files into a folder.
//   erp-shots --db URL --user USER_ID --settings DIR --show NO,NO,NO FOLDER
#include "HostWindow.h"

#include "documents/DocumentWindow.h"
#include "entry/ClsBarManuBill.h"
#include "lines/SourceLists.h"
#include "pickers/FrmList.h"
#include "pickers/FrmOrg.h"
#include "platform/core/ErpError.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/WidgetPicture.h"
#include "reports/FrmDesignReportShow.h"

#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

// Runs open() on the window with every dialog it shows modally handed to
// picture (which saves it and may drive it on) and closed. False when a
// picture failed.
bool drivePictures(DocumentWindow *window, const std::function<bool(QDialog *)> &picture,
                   const std::function<void(DocumentWindow *)> &open)
{
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

// The search dialog and the department picker.
bool dialogPictures(DocumentWindow *window, const QString &folder)
{
    return drivePictures(
        window, [&](QDialog *dialog) { return saveWidgetPicture(dialog, folder, dialog->objectName()); },
        [](DocumentWindow *w) {
            w->vcontrol(QStringLiteral("F"));
            FrmOrg &org = FrmOrg::obtain(w);
            ModalRunner::exec(&org);
            FrmOrg::release();
        });
}

// The report list, from it the editor of the first report, and from there the builder.
bool reportPictures(DocumentWindow *window, const QString &folder)
{
    const auto picture = [&](QDialog *dialog) {
        QCoreApplication::processEvents();
        const QString name = dialog->objectName();
        if (auto *list = qobject_cast<FrmDesignReportShow *>(dialog)) {
            const bool saved = saveWidgetPicture(dialog, folder, name);
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
    return drivePictures(window, picture, [](DocumentWindow *w) { w->vcontrol(QStringLiteral("V")); });
}

// The number box with its list open, and the line dialog's 明细列表 of the
// sources with stock for the manufacturing order of the document shown.
bool listPictures(DocumentWindow *window, const QString &folder)
{
    bool ok = true;
    if (auto *number = window->findChild<QComboBox *>(QStringLiteral("Inv_No"))) {
        number->showPopup();
        QCoreApplication::processEvents();
        QWidget *popup = number->view()->window();
        QPixmap both = window->grab();
        {
            // The list drawn where it opens, over the window.
            QPainter p(&both);
            p.drawPixmap(popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)), popup->grab());
        }
        ok = both.save(QDir(folder).filePath(QStringLiteral("Inv_No-list.png"))) && ok;
        number->hidePopup();
    }
    const ResultSet &lines = window->linesRs();
    if (lines.rowCount() > 0) {
        LineInputs in;
        in.invType = QStringLiteral("1");
        in.stockMode = QStringLiteral("2");
        in.moNo = lines.text(0, QStringLiteral("Mo_No"));
        in.orderNo = lines.text(0, QStringLiteral("order_no"));
        const Statement query = SourceLists(window->session().connection()).materialPicker(in);
        ok = drivePictures(
                 window, [&](QDialog *dialog) { return saveWidgetPicture(dialog, folder, QStringLiteral("FrmList")); },
                 [&](DocumentWindow *w) {
                     FrmList &list = FrmList::obtain(w);
                     list.setW_Select_Data(query.text, query.values);
                     ModalRunner::exec(&list);
                     FrmList::release();
                 }) &&
             ok;
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pictures of the module's windows and dialogs"));
    parser.addHelpOption();
    QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Database to open."), QStringLiteral("URL"));
    QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Who signs in."), QStringLiteral("USER_ID"));
    QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("Folder of the users' settings files."),
                                QStringLiteral("DIR"));
    QCommandLineOption show(QStringLiteral("show"),
                            QStringLiteral("The numbers to show in the issue, return and supplementary windows."),
                            QStringLiteral("NO,NO,NO"));
    parser.addOptions({db, user, settings, show});
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Where the pictures go."));
    parser.process(app);
    if (!parser.isSet(db) || parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "erp-shots --db URL [--user ID] [--settings DIR] [--show NO,NO,NO] FOLDER\n");
        return 2;
    }
    const QString folder = parser.positionalArguments().constFirst();
    try {
        Connection conn = Connection::open(parser.value(db));
        int status = 0;
        {
            HostWindow host(conn, QStringLiteral("华南示范箱包有限公司"), std::make_unique<ClsBarManuBill>());
            if (parser.isSet(user))
                host.selectUser(parser.value(user));
            if (parser.isSet(settings))
                host.setSettingsFolder(parser.value(settings));
            host.setAfterWindowPicture([&folder](qint32, QWidget *window) {
                auto *document = qobject_cast<DocumentWindow *>(window);
                if (!document || document->kind().type != DocumentType::Issue)
                    return true;
                const bool dialogs = dialogPictures(document, folder);
                const bool lists = listPictures(document, folder);
                return reportPictures(document, folder) && dialogs && lists;
            });
            host.show();
            QDir().mkpath(folder);
            status =
                host.saveScreenshots(folder, parser.value(show).split(QLatin1Char(','), Qt::SkipEmptyParts)) ? 0 : 1;
        }
        conn.close();
        return status;
    } catch (const ErpError &e) {
        std::fprintf(stderr, "erp-shots: %s\n", qPrintable(e.description()));
        return 1;
    }
}
