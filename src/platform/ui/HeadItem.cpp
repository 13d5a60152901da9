#include "platform/ui/HeadItem.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
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
        m_date = new QDateEdit(this);
        m_date->setCalendarPopup(true);
        m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        m_edit = new QLineEdit(this);
        layout->addWidget(m_edit, 1);
        layout->addWidget(m_date);
        // The drop-down writes its date into the text; typing stays free.
        m_date->setFixedWidth(22);
        connect(m_date, &QDateEdit::dateChanged, this, [this](const QDate &d) {
            if (!m_locked)
                m_edit->setText(d.toString(QStringLiteral("yyyy-MM-dd")));
        });
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
    if (m_date)
        m_date->setDate(date);
}

void HeadItem::setLocked(bool locked)
{
    m_locked = locked;
    m_edit->setReadOnly(locked);
    if (m_combo)
        m_combo->setEnabled(!locked);
    if (m_date)
        m_date->setEnabled(!locked);
    if (m_browse)
        m_browse->setEnabled(!locked);
}
