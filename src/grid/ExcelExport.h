#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class FlexGrid;
class QLabel;
class XlsxSheet;
class XlsxWorkbook;

// What the export reads of a grid: row 0 holds the captions, column 0 the
// row numbers; widths are in twips, alignments are the grid's codes 0-8.
class ExportGrid
{
public:
    virtual ~ExportGrid() = default;
    virtual int rows() const = 0;
    virtual int cols() const = 0;
    virtual int fixedRows() const = 0;
    virtual QString text(int row, int col) const = 0;
    virtual double colWidth(int col) const = 0;
    virtual bool colHidden(int col) const = 0;
    virtual int colAlignment(int col) const = 0;
    virtual int fixedAlignment(int col) const = 0;
};

// A grid's contents held as plain values (data prepared without a window).
class ExportTable final : public ExportGrid
{
public:
    ExportTable(int rows, int cols, int fixedRows = 1);
    void setText(int row, int col, const QString &text);
    void setColumn(int col, double width, int alignment, int fixedAlignment, bool hidden = false);

    int rows() const override { return m_rows; }
    int cols() const override { return m_cols; }
    int fixedRows() const override { return m_fixedRows; }
    QString text(int row, int col) const override;
    double colWidth(int col) const override;
    bool colHidden(int col) const override;
    int colAlignment(int col) const override;
    int fixedAlignment(int col) const override;

private:
    struct Column
    {
        double width = 1000;
        int alignment = 1;
        int fixedAlignment = 4;
        bool hidden = false;
    };
    int m_rows;
    int m_cols;
    int m_fixedRows;
    std::vector<QString> m_texts;
    std::vector<Column> m_columns;
};

// The export's view of a live grid control.
class FlexGridExport final : public ExportGrid
{
public:
    explicit FlexGridExport(const FlexGrid &grid) : m_grid(grid) {}
    int rows() const override;
    int cols() const override;
    int fixedRows() const override;
    QString text(int row, int col) const override;
    double colWidth(int col) const override;
    bool colHidden(int col) const override;
    int colAlignment(int col) const override;
    int fixedAlignment(int col) const override;

private:
    const FlexGrid &m_grid;
};

// Which grid is exported: the halves of its layout section name, the title
// written above the data, and the window messages belong to.
struct GridExportInfo
{
    QString formName;
    QString gridName;
    QString caption;
    QWidget *owner = nullptr;
};

// The small non-modal window that tells the user what an export is doing.
class WaitWindow : public QDialog
{
    Q_OBJECT
public:
    explicit WaitWindow(QWidget *parent = nullptr);
    void Show_Wait(const QString &text);
    QString text() const;

private:
    QLabel *m_label;
};

// Grids written to Excel workbooks (.xlsx): plainly, or through the grid's
// template App_Path/model/<form><grid>.xlsx whose detail row is repeated per
// grid row. Failures are shown to the user here; the functions answer
// whether the file was written.
class ExcelExport
{
public:
    // The file dialog and the desktop's "open with default program"; tests
    // install their own. An empty function restores the real one.
    using FileChooser = std::function<QString(QWidget *owner, const QString &filter, const QString &title)>;
    // Answers whether a program opened the file.
    using FileOpener = std::function<bool(const QString &path)>;
    static void setFileChooser(FileChooser chooser);
    static void setFileOpener(FileOpener opener);

    static const QString kFilter; // "Excel文件(*.xlsx)|*.xlsx"

    // App_Path/model/ + form name + grid name + ".xlsx".
    static QString templatePath(const QString &formName, const QString &gridName);
    // The defined name a column's caption is looked up by: the caption
    // without % / \ ( ) = & and spaces.
    static QString CleanExcelName(const QString &text);
    // The name exists (ignoring case) and does not refer to #REF!.
    static bool ExcelNameIsLive(const XlsxWorkbook &book, const QString &name);
    // Aligns a cell by a grid alignment code; codes above 8 leave it alone.
    static void Set_XlsAlignment(XlsxSheet &sheet, int row, int column, int code);
    // Whether a grid text is written as a number: plain decimal notation,
    // no leading zero before a digit (codes keep it) and at most 15 digits.
    static bool isNumericText(const QString &text, double *value = nullptr);
    // "0.0000_ " for a number with a decimal point, "0_ " for a whole number, "@" for text.
    static QString numberFormatFor(const QString &text);

    // The double-click export: asks for the target file (".xlsx" appended
    // when missing), asks before replacing an existing one, then exports.
    static bool ExportToChosenFile(const ExportGrid &grid, const GridExportInfo &info);
    // Writes the grid to target (through the template when there is one)
    // and opens the file; an existing target is replaced only on success.
    static bool Export_Excel(const ExportGrid &grid, const GridExportInfo &info, const QString &target);

    // Creates the grid's template from its current contents and opens it,
    // or opens the existing template for editing.
    static bool DesignTemplate(const ExportGrid &grid, const GridExportInfo &info);
    // Asks, then deletes the grid's template; tells the user when there is none.
    static bool DeleteTemplate(const QString &formName, const QString &gridName);
};
