#include "HostWindow.h"

#include "entry/ClsBarManuBill.h"
#include "platform/db/Sql.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

HostWindow::HostWindow(const Connection &conn, const QString &company, QWidget *parent)
    : QMainWindow(parent), m_conn(conn), m_company(company)
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
        const ResultSet users = Sql(conn, QStringLiteral("SELECT user_id, user_name FROM mmst901 ORDER BY user_id")).select();
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

QString HostWindow::userId() const
{
    return m_users->currentData().toString();
}

qint32 HostWindow::openEntry(const QString &menuId)
{
    const QString ini = QDir(QDir::homePath()).filePath(QStringLiteral(".barmanu/%1.ini").arg(userId()));
    QDir().mkpath(QFileInfo(ini).absolutePath());
    ClsBarManuBill module;
    // Twips: 15 to a pixel; the window opens below the host's tool bar.
    const QRect g = geometry();
    return module.ShowFrm(m_conn, menuId, userId(), ini, (g.left() + 40) * 15, (g.top() + 80) * 15, 12000, 9000,
                          m_company);
}

void HostWindow::selectUser(const QString &userId)
{
    const int at = m_users->findData(userId);
    if (at >= 0)
        m_users->setCurrentIndex(at);
}

bool HostWindow::saveScreenshots(const QString &folder)
{
    QDir().mkpath(folder);
    QTest::qWait(200);
    bool ok = grab().save(QDir(folder).filePath(QStringLiteral("host.png")));
    for (const QString &id : {QStringLiteral("MENU_F4_1"), QStringLiteral("MENU_F4_2"), QStringLiteral("MENU_F4_3")}) {
        openEntry(id);
        QTest::qWait(200);
    }
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName().startsWith(QLatin1String("mmss40")))
            ok = w->grab().save(QDir(folder).filePath(w->objectName() + QStringLiteral(".png"))) && ok;
    return ok;
}
