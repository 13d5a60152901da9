#pragma once

#include <QFileDialog>
#include <QString>

class QAbstractFileIconProvider;
class QObject;
class QWidget;

// File dialogs that list folders by the names of the files only.
//
// POSIX locks belong to the process, not to a descriptor: whatever opens and
// closes the open SQLite file (or its -wal or -shm) drops every lock this
// process holds on it, and the next program to close the file deletes the
// -wal and -shm under us. Qt's dialogs guess a file's type from its first
// bytes, for the icon and the type column, so every file dialog and every
// model listing files (a completer's too) gets an icon provider that goes by
// the name alone, and Qt's own dialog is used instead of a desktop dialog
// that would sniff the files in this process as well.
namespace FileDialogs {

// Open and save dialogs; the chosen file, or empty when cancelled. filter
// is Qt's ("Description (*.ext);;..."); folder may also name a file there.
// They run through ModalRunner.
QString openFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                     QFileDialog::Options options = {});
QString saveFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                     QFileDialog::Options options = {});

// For a dialog built by the caller: call before it is given a folder or a file.
void prepare(QFileDialog &dialog);

// Every file dialog and file-listing model at root or under it lists by
// name only. ModalRunner does this for every modal dialog.
void guard(QObject *root);

// From now on every window of the process is guarded when it is shown (so
// the dialogs Qt opens by itself, such as the print dialog's "..." button,
// are too), and Qt's own file dialogs are used. Safe to call again.
void guardProcess();

// The name-only icon provider (one for the process, never deleted before
// the dialogs that use it).
QAbstractFileIconProvider *nameOnlyIcons();

} // namespace FileDialogs
