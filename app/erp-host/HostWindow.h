#pragma once

#include "platform/db/Connection.h"

#include <QMainWindow>

class QComboBox;

// The stand-alone shell: a user picks who signs in and opens the module's
// three documents from the menu, as the ERP's own shell does.
class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    HostWindow(const Connection &conn, const QString &company, QWidget *parent = nullptr);

    QString userId() const;
    // Calls the module for a menu entry; returns the window handle.
    qint32 openEntry(const QString &menuId);
    void selectUser(const QString &userId);
    // Opens every entry (showing the given numbers, one per window in the
    // order issue, return, supplementary issue) and saves a picture of each
    // window, the search dialog and the department picker into folder.
    bool saveScreenshots(const QString &folder, const QStringList &numbers);
    // The signed-in user's settings file, made from the shipped layouts when new.
    QString settingsFile() const;
    void setSettingsFolder(const QString &folder);

private:
    Connection m_conn;
    QString m_company;
    QComboBox *m_users = nullptr;
    QString m_settingsDir;
};
