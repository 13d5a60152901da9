#include "platform/ui/FieldWidth.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace FieldWidth {

int comboWidthFor(const QComboBox *box, const QStringList &samples)
{
    const QFontMetrics fm(box->font());
    int text = 0;
    for (const QString &s : samples)
        text = std::max(text, fm.horizontalAdvance(s));
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.editable = box->isEditable();
    // The line edit's own margins and cursor, as QLineEdit keeps them.
    const int editMargins = 2 * 2 + 2 + 4;
    const QSize contents(text + editMargins, fm.height());
    const QSize size = box->style()->sizeFromContents(QStyle::CT_ComboBox, &opt, contents, box);
    // The list may scroll: its scroll bar takes from the texts' room.
    return size.width() + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, box);
}

void fitCombo(QComboBox *box, const QStringList &samples)
{
    box->setMinimumWidth(std::max(box->minimumWidth(), comboWidthFor(box, samples)));
    box->view()->setTextElideMode(Qt::ElideNone);
}

bool showsWhole(const QLineEdit *edit, const QString &text)
{
    const QMargins m = edit->textMargins();
    // QLineEdit draws its text inside the frame, two pixels in on each side.
    const int room = edit->contentsRect().width() - m.left() - m.right() - 2 * 2 - 1;
    return QFontMetrics(edit->font()).horizontalAdvance(text) <= room;
}

} // namespace FieldWidth
