#pragma once

#include "platform/db/Connection.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class ClsBarManuBill;
class QComboBox;

// The stand-alone shell: a user picks who signs in and opens the module's
// three documents from the menu, as the ERP's own shell does.
class HostWindow : public QMainWindow
{
    Q_OBJECT
public:
    // module: the module's public object, made by the factory of its library.
    HostWindow(const Connection &conn, const QString &company, std::unique_ptr<ClsBarManuBill> module,
               QWidget *parent = nullptr);
    ~HostWindow() override;

    QString userId() const;
    // Calls the module for a menu entry; returns the window handle.
    qint32 openEntry(const QString &menuId);
    void selectUser(const QString &userId);
    // Opens every entry (showing the given numbers, one per window in the
    // order issue, return, supplementary issue) and saves a picture of each
    // window into folder.
    bool saveScreenshots(const QString &folder, const QStringList &numbers);
    // Called after each window's picture (a picture tool adds its dialogs);
    // false when a picture failed.
    using WindowPicture = std::function<bool(qint32 handle, QWidget *window)>;
    void setAfterWindowPicture(WindowPicture picture) { m_afterWindowPicture = std::move(picture); }
    // The signed-in user's settings file, made from the shipped layouts when new.
    QString settingsFile() const;
    void setSettingsFolder(const QString &folder);

protected:
    // Closing the host (its menu's 退出 or the window) closes the module's
    // windows first, each through its own close; one that stays keeps the host.
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<ClsBarManuBill> m_module;
    Connection m_conn;
    QString m_company;
    QComboBox *m_users = nullptr;
    QString m_settingsDir;
    WindowPicture m_afterWindowPicture;
};
