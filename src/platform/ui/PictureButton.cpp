#include "platform/ui/PictureButton.h"

#include <QEvent>
#include <QHelpEvent>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

namespace {
constexpr int kMargin = 3;
constexpr int kGap = 2;
} // namespace

PictureButton::PictureButton(QWidget *parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    m_toolTipFont = font();
    connect(this, &QAbstractButton::clicked, this, &PictureButton::MouseClick);
}

PictureButton::PictureButton(const QString &text, QWidget *parent) : PictureButton(parent)
{
    setText(text);
}

void PictureButton::setPicture(PictureState state, const QString &path)
{
    m_urls[state] = path;
    m_pictures[state] = QPixmap();
    if (!path.isEmpty())
        m_pictures[state].load(path);
    updateGeometry();
    update();
}

PictureButton::PictureState PictureButton::pictureState() const
{
    if (!isEnabled())
        return Disabled;
    if (isDown())
        return Down;
    if (m_hover)
        return Over;
    return Normal;
}

QPixmap PictureButton::currentPicture() const
{
    const PictureState state = pictureState();
    if (!m_pictures[state].isNull())
        return m_pictures[state];
    if (m_pictures[Normal].isNull())
        return {};
    if (state == Disabled) {
        QStyleOption opt;
        opt.initFrom(this);
        return style()->generatedIconPixmap(QIcon::Disabled, m_pictures[Normal], &opt);
    }
    return m_pictures[Normal];
}

QSize PictureButton::sizeHint() const
{
    QSize picture;
    for (const QPixmap &p : m_pictures)
        picture = picture.expandedTo(p.size() / p.devicePixelRatio());
    const QFontMetrics fm(font());
    const QSize label = text().isEmpty() ? QSize() : QSize(fm.horizontalAdvance(text()), fm.height());
    const int gap = (!picture.isEmpty() && !label.isEmpty()) ? kGap : 0;
    QSize s(qMax(picture.width(), label.width()), picture.height() + gap + label.height());
    s += QSize(2 * kMargin, 2 * kMargin);
    return s.expandedTo(QSize(16, 16));
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const QPixmap pic = currentPicture();
    const QFontMetrics fm(font());
    const int textHeight = text().isEmpty() ? 0 : fm.height();
    const QSize picSize = pic.isNull() ? QSize() : pic.size() / pic.devicePixelRatio();
    const int total = picSize.height() + (picSize.isEmpty() || !textHeight ? 0 : kGap) + textHeight;
    int y = area.top() + qMax(0, (area.height() - total) / 2);
    if (!pic.isNull()) {
        p.drawPixmap(QPoint(area.left() + (area.width() - picSize.width()) / 2, y), pic);
        y += picSize.height() + kGap;
    } else {
        // Without pictures the button still has to read as a button.
        QStyleOptionButton opt;
        opt.initFrom(this);
        if (isDown())
            opt.state |= QStyle::State_Sunken;
        style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
    }
    if (textHeight) {
        p.setFont(font());
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        const QRect textRect(area.left(), y, area.width(), qMax(textHeight, area.bottom() - y + 1));
        p.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

bool PictureButton::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
        m_hover = true;
        update();
        break;
    case QEvent::HoverLeave:
        m_hover = false;
        update();
        break;
    case QEvent::ToolTip:
        if (!toolTip().isEmpty()) {
            // The tip carries the button's own tip font, not the application's.
            const auto *help = static_cast<QHelpEvent *>(event);
            const QString html = QStringLiteral("<span style=\"font-family:'%1'; font-size:%2pt\">%3</span>")
                                     .arg(m_toolTipFont.family().toHtmlEscaped())
                                     .arg(m_toolTipFont.pointSizeF())
                                     .arg(toolTip().toHtmlEscaped());
            QToolTip::showText(help->globalPos(), html, this);
            return true;
        }
        break;
    default:
        break;
    }
    return QAbstractButton::event(event);
}
