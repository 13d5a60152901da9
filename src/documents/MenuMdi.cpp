#include "documents/MenuMdi.h"

#include "services/DbGateway.h"

#include <QFrame>
#include <QToolButton>
#include <QVBoxLayout>

Menu_Mdi::Menu_Mdi(QWidget *parent) : QWidget(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("Menu_Mdi"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("Picture1"));
    m_panel->setFrameShape(QFrame::Panel);
    m_panel->setFocusPolicy(Qt::StrongFocus);
    outer->addWidget(m_panel);
    auto *items = new QVBoxLayout(m_panel);
    items->setContentsMargins(2, 2, 2, 2);
    items->setSpacing(0);
    auto item = [this, items](const char *name, const char *text, void (Menu_Mdi::*chosen)()) {
        auto *b = new QToolButton(m_panel);
        b->setObjectName(QLatin1String(name));
        b->setText(DbGateway::ChangeStrCode(QString::fromUtf8(text)));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setAutoRaise(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        items->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, chosen] { itemClicked(chosen); });
        return b;
    };
    m_add = item("Menu_Add", "新增明细", &Menu_Mdi::addChosen);
    m_edit = item("Menu_Edit", "修改明细", &Menu_Mdi::editChosen);
    m_delete = item("Menu_Delete", "删除明细", &Menu_Mdi::deleteChosen);
    auto *line = new QFrame(m_panel);
    line->setFrameShape(QFrame::HLine);
    items->addWidget(line);
    m_history = item("Menu_History", "修改记录", &Menu_Mdi::historyChosen);
}

void Menu_Mdi::ShowMenu(QWidget *form, const QPoint &pos)
{
    m_form = form;
    // A popup window: the platform places it on the clicked point and hides
    // it when the user clicks anywhere else.
    move(form ? form->mapToGlobal(pos) : pos);
}

void Menu_Mdi::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_panel->setFocus(Qt::PopupFocusReason);
}

void Menu_Mdi::itemClicked(void (Menu_Mdi::*chosen)())
{
    hide();
    emit(this->*chosen)();
    deleteLater();
}
