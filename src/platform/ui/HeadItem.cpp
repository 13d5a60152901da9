#include "platform/ui/HeadItem.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

HeadItem::HeadItem(Kind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_caption = new QLabel(this);
    layout->addWidget(m_caption);
    switch (kind) {
    case List:
        m_combo = new QComboBox(this);
        m_combo->setEditable(true);
        m_combo->setInsertPolicy(QComboBox::NoInsert);
        m_edit = m_combo->lineEdit();
        layout->addWidget(m_combo, 1);
        break;
    case Date:
        m_edit = new QLineEdit(this);
        m_dropDown = new QToolButton(this);
        m_dropDown->setObjectName(QStringLiteral("DropDown"));
        m_dropDown->setArrowType(Qt::DownArrow);
        m_dropDown->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(m_edit, 1);
        layout->addWidget(m_dropDown);
        // The drop-down writes its date into the text; typing stays free.
        connect(m_dropDown, &QToolButton::clicked, this, &HeadItem::showCalendar);
        break;
    case Browse:
        m_edit = new QLineEdit(this);
        m_browse = new QToolButton(this);
        m_browse->setText(QStringLiteral("..."));
        layout->addWidget(m_edit, 1);
        layout->addWidget(m_browse);
        connect(m_browse, &QToolButton::clicked, this, &HeadItem::browseClicked);
        break;
    case PlainText:
        m_edit = new QLineEdit(this);
        layout->addWidget(m_edit, 1);
        break;
    }
    connect(m_edit, &QLineEdit::textEdited, this, &HeadItem::textEdited);
    setFocusProxy(m_combo ? static_cast<QWidget *>(m_combo) : m_edit);
}

QString HeadItem::text() const
{
    return m_edit->text();
}

void HeadItem::setText(const QString &text)
{
    m_edit->setText(text);
    // A text longer than the box shows its beginning, unless the user is typing in it.
    if (!m_edit->hasFocus())
        m_edit->setCursorPosition(0);
}

QString HeadItem::caption() const
{
    return m_caption->text();
}

void HeadItem::setCaption(const QString &caption)
{
    m_caption->setText(caption);
}

void HeadItem::addItem(const QString &text, bool first)
{
    Q_UNUSED(first);
    if (m_combo) {
        const QString keep = m_edit->text();
        m_combo->addItem(text);
        m_edit->setText(keep);
    }
}

void HeadItem::clearList()
{
    if (m_combo) {
        const QString keep = m_edit->text();
        m_combo->clear();
        m_edit->setText(keep);
    }
}

QStringList HeadItem::items() const
{
    QStringList out;
    if (m_combo)
        for (int i = 0; i < m_combo->count(); ++i)
            out.append(m_combo->itemText(i));
    return out;
}

int HeadItem::listCount() const
{
    return m_combo ? m_combo->count() : 0;
}

QDate HeadItem::dateValue() const
{
    return QDate::fromString(m_edit->text().trimmed(), QStringLiteral("yyyy-MM-dd"));
}

void HeadItem::setDateValue(const QDate &date)
{
    m_edit->setText(date.toString(QStringLiteral("yyyy-MM-dd")));
}

QCalendarWidget *HeadItem::calendar() const
{
    return m_popup && m_popup->isVisible() ? m_calendar : nullptr;
}

void HeadItem::showCalendar()
{
    if (m_locked || m_kind != Date)
        return;
    if (!m_popup) {
        m_popup = new QFrame(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("CalendarPopup"));
        m_popup->setFrameShape(QFrame::Box);
        auto *l = new QVBoxLayout(m_popup);
        l->setContentsMargins(1, 1, 1, 1);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setObjectName(QStringLiteral("Calendar"));
        m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        l->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::activated, this, [this](const QDate &d) {
            m_popup->hide();
            if (m_locked)
                return;
            m_edit->setText(d.toString(QStringLiteral("yyyy-MM-dd")));
            emit textEdited(m_edit->text());
            m_edit->setFocus(Qt::PopupFocusReason);
        });
        connect(m_calendar, &QCalendarWidget::clicked, m_calendar, &QCalendarWidget::activated);
    }
    // The month of the date the field holds; today's when it holds none.
    QDate shown = dateValue();
    if (!shown.isValid())
        shown = QDate::currentDate();
    m_calendar->setSelectedDate(shown);
    m_calendar->setCurrentPage(shown.year(), shown.month());
    m_popup->adjustSize();
    // Below the field, kept on the screen.
    QPoint at = m_edit->mapToGlobal(QPoint(0, m_edit->height()));
    if (const QScreen *screen = m_edit->screen()) {
        const QRect room = screen->availableGeometry();
        const QSize size = m_popup->sizeHint();
        if (at.y() + size.height() > room.bottom())
            at.setY(m_edit->mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(qBound(room.left(), at.x(), qMax(room.left(), room.right() - size.width())));
        at.setY(qMax(room.top(), at.y()));
    }
    m_popup->move(at);
    m_popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void HeadItem::setLocked(bool locked)
{
    m_locked = locked;
    m_edit->setReadOnly(locked);
    if (m_combo)
        m_combo->setEnabled(!locked);
    if (m_dropDown)
        m_dropDown->setEnabled(!locked);
    if (m_browse)
        m_browse->setEnabled(!locked);
}
