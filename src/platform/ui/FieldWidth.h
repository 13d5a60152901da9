#pragma once

#include <QStringList>

class QComboBox;
class QLineEdit;

// Fields as wide as the longest value they hold, at the font they show it in.
namespace FieldWidth {

// The width a combo box needs to show each sample whole (its arrow and frame
// included), and for its list, a vertical scroll bar beside them.
int comboWidthFor(const QComboBox *box, const QStringList &samples);
// Makes the box at least that wide; its list is never narrower than its texts.
void fitCombo(QComboBox *box, const QStringList &samples);
// Whether text shows whole in the line edit as it is now laid out.
bool showsWhole(const QLineEdit *edit, const QString &text);

} // namespace FieldWidth
