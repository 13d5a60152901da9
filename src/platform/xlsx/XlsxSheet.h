#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class XlsxWorkbook;
class XlsxSheetPrivate;
class XlsxRowCells;

// A rectangle of cells, 1-based and inclusive. A default-constructed range is
// invalid.
struct XlsxRange
{
    int firstRow = 0;
    int firstColumn = 0;
    int lastRow = 0;
    int lastColumn = 0;

    XlsxRange() = default;
    XlsxRange(int row, int column);
    XlsxRange(int firstRow, int firstColumn, int lastRow, int lastColumn);

    bool isValid() const;
    bool isSingleCell() const { return firstRow == lastRow && firstColumn == lastColumn; }
    bool contains(int row, int column) const;
    bool intersects(const XlsxRange &other) const;
    // "B2", "A1:C3"; with absolute, "$B$2", "$A$1:$C$3".
    QString toString(bool absolute = false) const;
    // Parses "B2", "$A$1:$C$3" (no sheet part); invalid on anything else.
    static XlsxRange fromString(const QString &text);

    static QString columnName(int column);        // 1 -> "A", 28 -> "AB"; empty when out of range
    static int columnNumber(const QString &name); // "AB" -> 28; 0 when not a column name

    static constexpr int maxRows = 1048576;
    static constexpr int maxColumns = 16384;

    friend bool operator==(const XlsxRange &, const XlsxRange &) = default;
};

enum class XlsxHAlign { General, Left, Center, Right, Fill, Justify, CenterContinuous, Distributed };
enum class XlsxVAlign { Bottom, Top, Center, Justify, Distributed };

// One worksheet of an XlsxWorkbook; owned by the workbook. Rows and columns
// are 1-based. Setters return false for cells outside the sheet's limits.
class XlsxSheet
{
public:
    enum class CellType { Empty, Number, Text, Boolean, Error };

    ~XlsxSheet();
    XlsxSheet(const XlsxSheet &) = delete;
    XlsxSheet &operator=(const XlsxSheet &) = delete;

    XlsxWorkbook *workbook() const;
    QString name() const;
    // Renames the sheet and every reference to it in formulas and defined
    // names. Fails for an invalid name or one another sheet carries.
    bool setName(const QString &name);

    // Cell contents. A formula cell reports its cached result.
    CellType cellType(int row, int column) const;
    // double, QString, bool, or an error text such as "#N/A"; invalid when empty.
    QVariant value(int row, int column) const;
    // Text as shown without formatting: numbers in their shortest form.
    QString text(int row, int column) const;
    QString formula(int row, int column) const; // without the leading '='
    bool setText(int row, int column, const QString &text);
    bool setNumber(int row, int column, double number);
    bool setFormula(int row, int column, const QString &formula);
    // Removes the value, keeping the cell's format.
    bool clearValue(int row, int column);

    // Formats. Getters report the cell's effective format (its own, or the
    // row's or column's default); setters derive a new format from it.
    QString numberFormat(int row, int column) const; // "General", "@", "0.0000_ " …
    bool setNumberFormat(int row, int column, const QString &format);
    bool isBold(int row, int column) const;
    bool setBold(int row, int column, bool bold);
    double fontSize(int row, int column) const;
    bool setFontSize(int row, int column, double points);
    XlsxHAlign horizontalAlignment(int row, int column) const;
    bool setHorizontalAlignment(int row, int column, XlsxHAlign alignment);
    XlsxVAlign verticalAlignment(int row, int column) const;
    bool setVerticalAlignment(int row, int column, XlsxVAlign alignment);

    // Column width in character units; 0 when the column has the default width.
    double columnWidth(int column) const;
    bool setColumnWidth(int column, double width);

    QList<XlsxRange> mergedRanges() const;
    // Fails for a single cell or a range overlapping an existing merge.
    bool mergeCells(const XlsxRange &range);

    // Last row and column holding a cell (value or format); 0 on an empty sheet.
    int lastRow() const;
    int lastColumn() const;

    // Inserts count copies of row (values, formulas, formats, height and the
    // merges lying within the row) directly below it. Later rows, merges,
    // formulas and defined names move down; ranges spanning the insertion
    // point grow.
    bool insertRowCopies(int row, int count);
    // Deletes a column: cells, widths, merges and references to its right move
    // one column left; references to the column itself become #REF!.
    bool removeColumn(int column);

    // Rows too many to hold cell by cell: rows firstRow .. firstRow + count - 1
    // are asked of fill one after the other, in order, while the workbook is
    // saved, and go straight into the file. Their cells lie in columns
    // firstColumn .. lastColumn; a row held in that range is left out. The
    // sheet keeps none of them (value(), lastRow() and the like do not see
    // them), so this is the last thing done to the sheet before save(), and it
    // holds for that one save. Fails for rows or columns outside the sheet.
    using RowFill = std::function<void(int row, XlsxRowCells &cells)>;
    bool streamRows(int firstRow, int count, int firstColumn, int lastColumn, RowFill fill);
    // The format of a cell as a number that streamed cells take, and a format
    // derived from one with another number format.
    int cellFormat(int row, int column) const;
    int formatWithNumberFormat(int format, const QString &code);

private:
    friend class XlsxWorkbook;
    friend class XlsxWorkbookPrivate;
    explicit XlsxSheet(XlsxWorkbook *workbook);

    std::unique_ptr<XlsxSheetPrivate> d;
};

// The cells of one streamed row (XlsxSheet::streamRows), added in ascending
// columns; formats are numbers given by XlsxSheet::cellFormat and
// formatWithNumberFormat.
class XlsxRowCells
{
public:
    void addEmpty(int column, int format) { m_cells.push_back({column, format, XlsxSheet::CellType::Empty, 0, {}}); }
    void addNumber(int column, int format, double number)
    {
        m_cells.push_back({column, format, XlsxSheet::CellType::Number, number, {}});
    }
    void addText(int column, int format, const QString &text)
    {
        m_cells.push_back({column, format, XlsxSheet::CellType::Text, 0, text});
    }

private:
    friend class XlsxSheetPrivate;
    struct Cell
    {
        int column;
        int format;
        XlsxSheet::CellType type;
        double number;
        QString text;
    };
    std::vector<Cell> m_cells;
};
