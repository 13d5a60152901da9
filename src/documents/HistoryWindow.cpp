#include "documents/HistoryWindow.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

HistoryWindow::HistoryWindow(const QString &heading, const QString &invNo, const QList<HistoryEntry> &entries,
                             QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(QStringLiteral("%1 %2 的修改记录").arg(heading, invNo));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    m_table = new QTableWidget(int(entries.size()), 5, this);
    m_table->setObjectName(QStringLiteral("Grid_History"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("时间"), QStringLiteral("操作"), QStringLiteral("用户"),
                                        QStringLiteral("工作站"), QStringLiteral("内容")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < entries.size(); ++r) {
        const HistoryEntry &e = entries.at(r);
        const QString user = e.userName.isEmpty() || e.userName == e.userId
                                 ? e.userId
                                 : QStringLiteral("%1 (%2)").arg(e.userName, e.userId);
        const QString cells[] = {e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), DocumentHistory::caption(e),
                                 user, e.workstation, e.detail};
        for (int c = 0; c < 5; ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
    m_table->resizeRowsToContents();
    layout->addWidget(m_table);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("Cmd_Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 360);
}
