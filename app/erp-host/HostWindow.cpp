#include "HostWindow.h"

#include "entry/ClsBarManuBill.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"
#include "platform/ui/WidgetPicture.h"
#include "platform/ui/WindowClosing.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

HostWindow::HostWindow(const Connection &conn, const QString &company, std::unique_ptr<ClsBarManuBill> module,
                       QWidget *parent)
    : QMainWindow(parent), m_module(std::move(module)), m_conn(conn), m_company(company)
{
    setObjectName(QStringLiteral("HostWindow"));
    setWindowTitle(company + QStringLiteral(" - ERP"));
    resize(900, 600);

    auto *bar = addToolBar(QStringLiteral("用户"));
    bar->addWidget(new QLabel(QStringLiteral("登录用户: "), this));
    m_users = new QComboBox(this);
    m_users->setObjectName(QStringLiteral("Users"));
    m_users->setMinimumWidth(200);
    bar->addWidget(m_users);
    try {
        const ResultSet users =
            Sql(conn, QStringLiteral("SELECT user_id, user_name FROM mmst901 ORDER BY user_id")).select();
        for (qint64 i = 0; i < users.rowCount(); ++i)
            m_users->addItem(users.text(i, 0) + QStringLiteral("  ") + users.text(i, 1), users.text(i, 0));
    } catch (const std::exception &e) {
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(e.what()));
    }

    QMenu *menu = menuBar()->addMenu(QStringLiteral("生产物料(&M)"));
    const QList<QPair<QString, QString>> entries = {{QStringLiteral("生产领料单"), QStringLiteral("MENU_F4_1")},
                                                    {QStringLiteral("生产补料单"), QStringLiteral("MENU_F4_2")},
                                                    {QStringLiteral("生产退料单"), QStringLiteral("MENU_F4_3")}};
    for (const auto &entry : entries) {
        QAction *action = menu->addAction(entry.first);
        action->setObjectName(entry.second);
        connect(action, &QAction::triggered, this, [this, id = entry.second] { openEntry(id); });
        bar->addAction(action);
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);

    auto *centre = new QLabel(QStringLiteral("请从菜单选择: 生产领料单、生产补料单、生产退料单"), this);
    centre->setAlignment(Qt::AlignCenter);
    setCentralWidget(centre);
    statusBar()->showMessage(conn.url());
}

HostWindow::~HostWindow() = default;

void HostWindow::closeEvent(QCloseEvent *event)
{
    if (closeOtherWindows(this))
        event->accept();
    else
        event->ignore();
}

QString HostWindow::userId() const
{
    return m_users->currentData().toString();
}

qint32 HostWindow::openEntry(const QString &menuId)
{
    const QString ini = settingsFile();
    // Twips: 15 to a pixel; the window opens below the host's tool bar.
    const QRect g = geometry();
    return m_module->ShowFrm(m_conn, menuId, userId(), ini, (g.left() + 40) * 15, (g.top() + 80) * 15, 12000, 9000,
                             m_company);
}

void HostWindow::selectUser(const QString &userId)
{
    const int at = m_users->findData(userId);
    if (at >= 0)
        m_users->setCurrentIndex(at);
}

QString HostWindow::settingsFile() const
{
    const QString dir =
        m_settingsDir.isEmpty() ? QDir(QDir::homePath()).filePath(QStringLiteral(".barmanu")) : m_settingsDir;
    const QString ini = QDir(dir).filePath(userId() + QStringLiteral(".ini"));
    // A new user starts with the shipped column layouts.
    if (!QFileInfo::exists(ini)) {
        QDir().mkpath(dir);
        QFile::copy(QDir(schemaDirectory()).filePath(QStringLiteral("settings/default-user.ini")), ini);
        QFile(ini).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return ini;
}

void HostWindow::setSettingsFolder(const QString &folder)
{
    m_settingsDir = folder;
}

bool HostWindow::saveScreenshots(const QString &folder, const QStringList &numbers)
{
    QDir().mkpath(folder);
    bool ok = saveWidgetPicture(this, folder, QStringLiteral("host"));
    const QStringList menus = {QStringLiteral("MENU_F4_1"), QStringLiteral("MENU_F4_3"), QStringLiteral("MENU_F4_2")};
    for (int i = 0; i < menus.size(); ++i) {
        const qint32 handle = openEntry(menus.at(i));
        QWidget *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName().startsWith(QLatin1String("mmss40")) &&
                w->objectName().endsWith(QLatin1String("BCD").mid(i, 1)))
                window = w;
        if (!window)
            return false;
        if (i < numbers.size()) {
            // Show a document as a user does: pick its number from the list.
            auto *number = window->findChild<QComboBox *>(QStringLiteral("Inv_No"));
            number->addItem(numbers.at(i));
            emit number->activated(number->count() - 1);
        }
        ok = saveWidgetPicture(window, folder, window->objectName()) && ok;
        if (m_afterWindowPicture)
            ok = m_afterWindowPicture(handle, window) && ok;
    }
    return ok;
}
