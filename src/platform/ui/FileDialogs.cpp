#include "platform/ui/FileDialogs.h"

#include "platform/ui/ModalRunner.h"

#include <QApplication>
#include <QCompleter>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>

namespace {

// Marks what is already guarded. A property, not a pointer comparison: the
// host and the module each link this code, so a process may hold two
// providers, and each would otherwise undo the other's.
const char *const kGuarded = "erp_nameOnlyIcons";

// Icons and type names from the file's name: Qt's own provider reads the
// first bytes of a file whose name does not settle its type (erp.db-wal,
// erp.db-shm, ...), and that open and close costs the process its locks.
class NameOnlyIconProvider final : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        if (info.isDir())
            return icon(Folder);
        const QMimeType type = byName(info);
        return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), icon(File)));
    }

    QString type(const QFileInfo &info) const override
    {
        // Drives, folders and dangling links are told apart by stat alone.
        if (!info.isFile())
            return QFileIconProvider::type(info);
        const QMimeType type = byName(info);
        return type.comment().isEmpty() ? type.name() : type.comment();
    }

private:
    static QMimeType byName(const QFileInfo &info)
    {
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
};

void useNameOnly(QFileSystemModel *model)
{
    if (!model || model->property(kGuarded).toBool())
        return;
    if (model->iconProvider() != FileDialogs::nameOnlyIcons())
        model->setIconProvider(FileDialogs::nameOnlyIcons());
    model->setProperty(kGuarded, true);
}

void useNameOnly(QFileDialog *dialog)
{
    if (dialog->property(kGuarded).toBool())
        return;
    dialog->setIconProvider(FileDialogs::nameOnlyIcons()); // its model's, and its side bar's icons
    dialog->setProperty(kGuarded, true);
    for (QFileSystemModel *model : dialog->findChildren<QFileSystemModel *>())
        if (model->iconProvider() == FileDialogs::nameOnlyIcons())
            model->setProperty(kGuarded, true);
}

// Guards each window as it is shown, before its event loop hands the
// listings of its models their files.
class ShowWatch final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            FileDialogs::guard(watched);
        return false;
    }
};

QString run(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
            QFileDialog::Options options, bool save)
{
    QFileDialog dialog(parent, caption);
    FileDialogs::prepare(dialog);
    dialog.setOptions(dialog.options() | options);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    if (!folder.isEmpty()) {
        const QFileInfo place(folder);
        if (place.isDir()) {
            dialog.setDirectory(place.absoluteFilePath());
        } else {
            dialog.setDirectory(place.absolutePath());
            dialog.selectFile(place.fileName());
        }
    }
    if (ModalRunner::exec(&dialog) != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

namespace FileDialogs {

QAbstractFileIconProvider *nameOnlyIcons()
{
    static NameOnlyIconProvider provider;
    return &provider;
}

QString openFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                     QFileDialog::Options options)
{
    return run(parent, caption, folder, filter, options, false);
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                     QFileDialog::Options options)
{
    return run(parent, caption, folder, filter, options, true);
}

void prepare(QFileDialog &dialog)
{
#ifndef Q_OS_WIN
    // A desktop's dialog in this process would guess types from contents
    // too. (Windows locks belong to the handle, so its own dialog is safe.)
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    useNameOnly(&dialog);
}

void guard(QObject *root)
{
    if (!root)
        return;
    if (auto *dialog = qobject_cast<QFileDialog *>(root))
        useNameOnly(dialog);
    for (QFileDialog *dialog : root->findChildren<QFileDialog *>())
        useNameOnly(dialog);
    for (QFileSystemModel *model : root->findChildren<QFileSystemModel *>())
        useNameOnly(model);
    // A completer's model need not be a child of the window.
    for (QCompleter *completer : root->findChildren<QCompleter *>())
        useNameOnly(qobject_cast<QFileSystemModel *>(completer->model()));
}

void guardProcess()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || app->property(kGuarded).toBool())
        return;
    app->setProperty(kGuarded, true);
    app->installEventFilter(new ShowWatch(app));
#ifndef Q_OS_WIN
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
#endif
}

} // namespace FileDialogs
