#pragma once

#include <QString>

#include <array>

class FlexGrid;

// One column of a grid as the user arranged it. Entry 0 also carries the
// grid-level values (row height, entry count, frozen columns).
struct GridLayoutEntry
{
    QString fieldName; // empty ends the layout
    QString caption;
    double width = 0; // twips
    qint16 headAlignment = 0;
    qint16 colAlignment = 0;
    QString visible;       // "True"/"False"; only the first letter counts
    double rowHeight = 0;  // entry 0 only, twips
    QString key;           // "Field" + index
    qint16 colCount = 0;   // entry 0 only: entries read from the file
    qint16 frozenCols = 0; // entry 0 only
};

constexpr int kGridLayoutEntries = 128;
// A grid shows at most this many layout columns (the last entry never reaches it).
constexpr int kGridLayoutShown = 127;
// Values are read through a fixed buffer of this many bytes, the last one a terminator.
constexpr int kGridLayoutLineBuffer = 128;
// Row height of a grid that has no stored layout.
constexpr double kDefaultRowHeight = 200;

using GridLayout = std::array<GridLayoutEntry, kGridLayoutEntries>;

// Fills layout from the section formName + gridName of iniFile. Entries
// beyond those read keep their contents, so callers clear the layout first.
void LoadGridLayout(const QString &formName, const QString &gridName, GridLayout &layout, const QString &iniFile);
// Puts the layout onto grid: captions, visibility, widths, alignments, row
// height, frozen columns; without variantCols also the column count.
void ApplyGridLayout(FlexGrid &grid, const GridLayout &layout, bool variantCols);
// Writes the entries up to the first empty field name, then RowHeight and
// FrozenCols. False when the file cannot be written (the layout loaders and
// the wrapper ignore that; the settings dialog reports it).
bool SaveGridLayout(const QString &formName, const QString &gridName, const GridLayout &layout, const QString &iniFile);

// Empties every entry.
void ClearGridLayout(GridLayout &layout);
// Entries before the first empty field name.
int GridLayoutCount(const GridLayout &layout);
// The stored text of one entry: six parts joined by commas, nothing escaped.
QString GridLayoutLine(const GridLayoutEntry &entry);
// Reads a stored line into entry; parts the line lacks keep their contents.
// A comma inside a part shifts the parts after it, as the format has always done.
void ParseGridLayoutLine(const QString &line, GridLayoutEntry &entry);
// Copies the column's own values (not the grid-level ones of entry 0).
void CopyGridLayoutColumn(GridLayoutEntry &to, const GridLayoutEntry &from);
// "T…" shows (true), "F…" hides (false), anything else leaves visibility alone (-1).
int GridLayoutVisibility(const QString &visible);

// The numeric value at the start of a text, 0 when it has none ("12.5mm" is
// 12.5, "abc" 0), as the layout format reads numbers.
double LeadingNumber(const QString &text);
// Shortest decimal text of a number ("1200", "1234.5").
QString ShortNumberText(double value);
