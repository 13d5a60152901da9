#include "grid/GridLayout.h"

#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

const QString kRowHeightKey = QStringLiteral("RowHeight");
const QString kFrozenColsKey = QStringLiteral("FrozenCols");

QString fieldKey(int index)
{
    return QStringLiteral("Field") + QString::number(index);
}

// A 16-bit value read from text; an out-of-range number is unreadable and
// leaves the old value in place.
void readShort(const QString &text, qint16 &target)
{
    const double v = std::trunc(LeadingNumber(text));
    if (v >= std::numeric_limits<qint16>::min() && v <= std::numeric_limits<qint16>::max())
        target = qint16(v);
}

} // namespace

double LeadingNumber(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    const int start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    int digits = 0;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == u'.') {
        ++i;
        while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    int end = i;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        int j = i + 1;
        if (j < n && (text.at(j) == u'+' || text.at(j) == u'-'))
            ++j;
        const int expStart = j;
        while (j < n && text.at(j).isDigit() && text.at(j).unicode() < 128)
            ++j;
        if (j > expStart)
            end = j;
    }
    bool ok = false;
    const double v = text.mid(start, end - start).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

QString ShortNumberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

void ClearGridLayout(GridLayout &layout)
{
    layout.fill(GridLayoutEntry{});
}

int GridLayoutCount(const GridLayout &layout)
{
    int n = 0;
    while (n < kGridLayoutEntries && !layout[n].fieldName.isEmpty())
        ++n;
    return n;
}

QString GridLayoutLine(const GridLayoutEntry &e)
{
    return e.fieldName + u',' + e.caption + u',' + ShortNumberText(e.width) + u',' + QString::number(e.headAlignment) +
           u',' + QString::number(e.colAlignment) + u',' + e.visible;
}

void ParseGridLayoutLine(const QString &line, GridLayoutEntry &e)
{
    const QStringList parts = line.split(u',');
    e.fieldName = parts.at(0);
    if (parts.size() > 1)
        e.caption = parts.at(1);
    if (parts.size() > 2)
        e.width = LeadingNumber(parts.at(2));
    if (parts.size() > 3)
        readShort(parts.at(3), e.headAlignment);
    if (parts.size() > 4)
        readShort(parts.at(4), e.colAlignment);
    if (parts.size() > 5)
        e.visible = parts.mid(5).join(u',');
}

void CopyGridLayoutColumn(GridLayoutEntry &to, const GridLayoutEntry &from)
{
    to.fieldName = from.fieldName;
    to.caption = from.caption;
    to.width = from.width;
    to.headAlignment = from.headAlignment;
    to.colAlignment = from.colAlignment;
    to.visible = from.visible;
}

int GridLayoutVisibility(const QString &visible)
{
    if (visible.startsWith(u'T', Qt::CaseInsensitive))
        return 1;
    if (visible.startsWith(u'F', Qt::CaseInsensitive))
        return 0;
    return -1;
}

void LoadGridLayout(const QString &formName, const QString &gridName, GridLayout &layout, const QString &iniFile)
{
    const QString section = formName + gridName;
    IniFile ini(iniFile);
    ini.load(); // an unreadable file reads as empty
    int count = 0;
    for (int i = 0; i < kGridLayoutEntries; ++i) {
        const QString line = ini.value(section, fieldKey(i), QString(), kGridLayoutLineBuffer);
        if (line.isEmpty())
            break;
        ++count;
        ParseGridLayoutLine(line, layout[i]);
        layout[i].key = fieldKey(i);
    }
    GridLayoutEntry &first = layout[0];
    if (count == 0) {
        first.rowHeight = kDefaultRowHeight;
        return;
    }
    first.colCount = qint16(count);
    first.rowHeight = LeadingNumber(ini.value(section, kRowHeightKey));
    const double frozen = std::round(LeadingNumber(ini.value(section, kFrozenColsKey)));
    if (frozen >= std::numeric_limits<qint16>::min() && frozen <= std::numeric_limits<qint16>::max())
        first.frozenCols = qint16(frozen);
}

bool SaveGridLayout(const QString &formName, const QString &gridName, const GridLayout &layout, const QString &iniFile)
{
    const QString section = formName + gridName;
    IniFile ini(iniFile);
    if (!ini.load())
        return false;
    int written = 0;
    for (int i = 0; i < kGridLayoutEntries && !layout[i].fieldName.isEmpty(); ++i) {
        if (!ini.setValue(section, fieldKey(i), GridLayoutLine(layout[i])))
            return false;
        ++written;
    }
    if (written > 0) {
        ini.setValue(section, kRowHeightKey, ShortNumberText(layout[0].rowHeight));
        ini.setValue(section, kFrozenColsKey, QString::number(layout[0].frozenCols));
    }
    return ini.save();
}

void ApplyGridLayout(FlexGrid &grid, const GridLayout &layout, bool variantCols)
{
    if (grid.rows() < 1 && !grid.isBound())
        grid.setRows(1);
    const GridLayoutEntry &first = layout[0];
    if (!variantCols)
        grid.setCols(std::max(0, int(first.colCount)) + 1);
    grid.setFrozenCols(first.frozenCols >= 0 && first.frozenCols < grid.cols() ? first.frozenCols : 0);

    int applied = 0;
    for (int i = 0; i < kGridLayoutShown && !layout[i].fieldName.isEmpty(); ++i) {
        const int c = i + 1;
        applied = c;
        if (c >= grid.cols()) // a variant grid narrower than its layout
            continue;
        const GridLayoutEntry &e = layout[i];
        grid.setTextMatrix(0, c, e.caption);
        const int visibility = GridLayoutVisibility(e.visible);
        if (visibility >= 0)
            grid.setColHidden(c, visibility == 0);
        grid.setColWidth(c, int(std::lround(e.width)));
        grid.setColAlignment(c, e.colAlignment);
        grid.setFixedAlignment(c, e.headAlignment);
    }
    grid.setRowHeight(-1, int(std::lround(first.rowHeight)));
    if (!variantCols) {
        for (int c = applied + 1; c < grid.cols(); ++c)
            grid.setColHidden(c, true);
    }
    grid.setColWidth(0, 400);
}
