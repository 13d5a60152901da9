#include "grid/ExcelExport.h"

#include "context/RunContext.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/FlexGrid.h"
#include "platform/xlsx/XlsxWorkbook.h"
#include "services/ErrorReporter.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace {

const QString kPublicForm = QStringLiteral("PublicFunction");
const QString kDialogForm = QStringLiteral("mmss_set");
const QString kTitle = QStringLiteral("提示");
const QString kDetailBegin = QStringLiteral("DetailBegin");
const QString kDetailEnd = QStringLiteral("DetailEnd");
const QString kAbsolutePosition = QStringLiteral("AbsolutePosition");
const QString kTextFormat = QStringLiteral("@");

// Failure numbers the user is told about in words of their own.
constexpr qint64 kErrRange = 1004;      // a range, name or sheet that cannot be found or accepted
constexpr qint64 kErrItem = 3265;       // item not found in a collection
constexpr qint64 kErrDenied = 70;       // file in use or not writable
constexpr qint64 kErrNoSheet = 9;       // no sheet of the expected name
constexpr qint64 kErrCancelled = 32755; // the user cancelled; nothing to say

ExcelExport::FileChooser g_chooser;
ExcelExport::FileOpener g_opener;

QString chooseFile(QWidget *owner, const QString &filter, const QString &title)
{
    if (g_chooser)
        return g_chooser(owner, filter, title);
    const QStringList parts = filter.split(u'|');
    QStringList qtFilters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        qtFilters.append(parts.at(i) + QStringLiteral(" (") + parts.at(i + 1) + u')');
    // We ask before replacing a file ourselves, under our own message.
    return FileDialogs::saveFileName(owner, title, QString(), qtFilters.join(QStringLiteral(";;")),
                                     QFileDialog::DontConfirmOverwrite)
        .trimmed();
}

bool openFile(const QString &path)
{
    if (g_opener)
        return g_opener(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

[[noreturn]] void fail(qint64 number, const QString &description)
{
    throw ErpError(number, QStringLiteral("ExcelExport"), description);
}

enum class Job { Export, Design };

// Tells the user about a failed export or design, by the failure's number.
void reportFailure(Job job, const ErpError &error, QWidget *owner)
{
    const bool exporting = job == Job::Export;
    const QString form = exporting ? kPublicForm : kDialogForm;
    QString id;
    QString text;
    switch (error.number()) {
    case kErrRange:
        id = exporting ? QStringLiteral("Export_excel_3") : QStringLiteral("Cmd_DesignModel_Click_1");
        text = error.description() + u'\n' + QStringLiteral("模板表格已被改动,有些表格项目已经找不到,导出失败!");
        break;
    case kErrItem:
        id = exporting ? QStringLiteral("Export_excel_4") : QStringLiteral("Cmd_DesignModel_Click_2");
        text = error.description() + u'\n' + QStringLiteral("程序错误:指定名称的字段在记录集合中不存在!");
        break;
    case kErrDenied:
        id = exporting ? QStringLiteral("Export_excel_5") : QStringLiteral("Cmd_DesignModel_Click_3");
        text = QStringLiteral("指定的文件可能已被打开或没有权限写入,保存失败!");
        break;
    case kErrNoSheet:
        id = exporting ? QStringLiteral("Export_excel_6") : QStringLiteral("Cmd_DesignModel_Click_4");
        text = QStringLiteral("报表模块中不存在指定的报表样式!");
        break;
    case kErrCancelled:
        return;
    default:
        ErrorReporter::ReportError(form,
                                   exporting ? QStringLiteral("Export_Excel") : QStringLiteral("Cmd_DesignModel_Click"),
                                   exporting ? QStringLiteral("导出数据出错,请与程序员联系.")
                                             : QStringLiteral("设计报表模板出错,请与程序员联系."),
                                   error);
        return;
    }
    if (owner && error.number() != kErrNoSheet) // the window the user must look at again
        owner->activateWindow();
    ErrorReporter::ShowErpMessage(form, id, text, MessageStyle::Information, kTitle);
}

// Runs body, showing any failure as the export or the design reports it.
template <typename Body>
bool guarded(Job job, QWidget *owner, Body body)
{
    try {
        return body();
    } catch (const ErpError &e) {
        reportFailure(job, e, owner);
    } catch (const std::exception &e) {
        reportFailure(job, ErpError(-2147418113, QStringLiteral("ExcelExport"), QString::fromLocal8Bit(e.what())),
                      owner);
    }
    return false;
}

// A band cell takes the grid's text; numbers stay numbers unless the
// template formats the cell as text, so totals over the band add up.
void writeCellValue(XlsxSheet &sheet, int row, int col, const QString &text)
{
    double number = 0;
    if (text.isEmpty())
        sheet.clearValue(row, col);
    else if (ExcelExport::isNumericText(text, &number) && sheet.numberFormat(row, col) != kTextFormat)
        sheet.setNumber(row, col, number);
    else
        sheet.setText(row, col, text);
}

// Deletes the sheet columns of the grid's hidden columns; the others keep their order.
void removeHiddenColumns(XlsxSheet &sheet, const ExportGrid &grid)
{
    int removed = 0;
    for (int c = 1; c < grid.cols(); ++c) {
        if (!grid.colHidden(c))
            continue;
        if (!sheet.removeColumn(c - removed))
            fail(kErrRange, QStringLiteral("无法删除第 %1 列").arg(c - removed));
        ++removed;
    }
}

// Header row: width and bold caption aligned as the header; other rows aligned as the column.
void styleGridCell(XlsxSheet &sheet, const ExportGrid &grid, int gridRow, int gridCol, int row, int col)
{
    if (gridRow == 0) {
        const double width = grid.colWidth(gridCol) / 120.0;
        if (width > 0)
            sheet.setColumnWidth(col, width);
        sheet.setBold(row, col, true);
        ExcelExport::Set_XlsAlignment(sheet, row, col, grid.fixedAlignment(gridCol));
    } else {
        ExcelExport::Set_XlsAlignment(sheet, row, col, grid.colAlignment(gridCol));
    }
}

// The first column that stays in the sheet once hidden columns are deleted.
int firstKeptColumn(const ExportGrid &grid)
{
    for (int c = 1; c < grid.cols(); ++c) {
        if (!grid.colHidden(c))
            return c;
    }
    return 1;
}

// Caption in row 1 over columns 1 to lastColumn, merged, centred, bold, 18
// points. It sits in column at, so that deleting the hidden columns before it
// leaves it at the merge's first cell.
void writeTitle(XlsxSheet &sheet, const QString &caption, int at, int lastColumn)
{
    sheet.setText(1, at, caption);
    if (lastColumn > 1)
        sheet.mergeCells(XlsxRange(1, 1, 1, lastColumn));
    sheet.setHorizontalAlignment(1, at, XlsxHAlign::Center);
    sheet.setVerticalAlignment(1, at, XlsxVAlign::Center);
    sheet.setBold(1, at, true);
    sheet.setFontSize(1, at, 18);
}

void saveWorkbook(XlsxWorkbook &book, const QString &path)
{
    if (!book.save(path))
        fail(kErrDenied, book.errorString());
}

// Share of done in whole percent; a grid of one row is done at once.
int percent(int done, int total)
{
    return total > 0 ? int(std::lround(double(done) / total * 100)) : 100;
}

// The cell a live defined name points to on sheet; false when it is not live.
bool namedCell(const XlsxWorkbook &book, const QString &sheetName, const QString &name, XlsxRange *cell)
{
    if (!ExcelExport::ExcelNameIsLive(book, name))
        return false;
    QString onSheet;
    XlsxRange range;
    if (!book.resolveDefinedName(name, &onSheet, &range))
        return false;
    if (onSheet.compare(sheetName, Qt::CaseInsensitive) != 0)
        return false;
    *cell = range;
    return true;
}

// How the plain export writes a grid text.
enum class TextKind : quint8 { Text, Whole, Decimal };

TextKind textKind(const QString &text, double *number = nullptr)
{
    if (!ExcelExport::isNumericText(text, number))
        return TextKind::Text;
    return text.contains(u'.') ? TextKind::Decimal : TextKind::Whole;
}

QString kindFormat(TextKind kind)
{
    switch (kind) {
    case TextKind::Decimal:
        return QStringLiteral("0.0000_ ");
    case TextKind::Whole:
        return QStringLiteral("0_ ");
    case TextKind::Text:
        break;
    }
    return kTextFormat;
}

// One cell of the plain export, styled on its own: aligned, formatted by its
// text's kind, then filled.
void writeCell(XlsxSheet &sheet, const ExportGrid &grid, int gridRow, int row, int gridCol, int col,
               const QString &text)
{
    styleGridCell(sheet, grid, gridRow, gridCol, row, col);
    const TextKind kind = textKind(text);
    sheet.setNumberFormat(row, col, kindFormat(kind));
    double number = 0;
    if (kind != TextKind::Text && ExcelExport::isNumericText(text, &number))
        sheet.setNumber(row, col, number);
    else if (!text.isEmpty())
        sheet.setText(row, col, text);
}

void plainExport(const ExportGrid &grid, const GridExportInfo &info, const QString &target, WaitWindow &wait)
{
    wait.Show_Wait(QStringLiteral("正在生成Excel文件..."));
    wait.Show_Wait(QStringLiteral("正在新建报表模板..."));
    XlsxWorkbook book;
    wait.Show_Wait(QStringLiteral("正在填充报表...."));
    XlsxSheet &sheet = *book.sheet(0);
    if (!sheet.setName(info.formName + info.gridName))
        fail(kErrRange, QStringLiteral("工作表名称无效: ") + info.formName + info.gridName);
    wait.Show_Wait(QStringLiteral("正在填充报表...."));

    // Hidden columns are left out: the sheet holds the kept columns in their order.
    const int rows = grid.rows();
    std::vector<int> kept;
    for (int c = 1; c < grid.cols(); ++c) {
        if (!grid.colHidden(c))
            kept.push_back(c);
    }
    const int cols = int(kept.size());

    int startRow = 1;
    if (!info.caption.isEmpty()) {
        writeTitle(sheet, info.caption, 1, cols);
        startRow = 2;
    }

    wait.Show_Wait(QStringLiteral("正在填充报表0%...."));
    if (rows > 0) {
        for (int i = 0; i < cols; ++i)
            writeCell(sheet, grid, 0, startRow, kept[size_t(i)], i + 1, grid.text(0, kept[size_t(i)]));
    }

    // Styling cell by cell is what costs; each column's usual format is set
    // once on the first data row, and cells of another kind take that format
    // with their own number format. The data rows are not held: they are
    // written into the file row by row while it is saved.
    const int dataRows = rows - 1;
    if (dataRows > 0 && cols > 0) {
        // Kinds, and the numbers of numeric texts, read once.
        std::vector<TextKind> kinds(size_t(dataRows) * size_t(cols));
        std::vector<double> numbers(kinds.size());
        std::vector<TextKind> usual(size_t(cols), TextKind::Text);
        for (int i = 0; i < cols; ++i) {
            int counts[3] = {0, 0, 0};
            for (int r = 1; r < rows; ++r) {
                const size_t at = size_t(r - 1) * size_t(cols) + size_t(i);
                const TextKind k = textKind(grid.text(r, kept[size_t(i)]), &numbers[at]);
                kinds[at] = k;
                ++counts[int(k)];
            }
            usual[size_t(i)] = TextKind(std::max_element(counts, counts + 3) - counts);
        }
        const int first = startRow + 1;
        // Formats by column and kind; the other kinds' formats are made in the
        // order the cells first need them.
        std::vector<std::array<int, 3>> formats(size_t(cols), {-1, -1, -1});
        for (int i = 0; i < cols; ++i) {
            ExcelExport::Set_XlsAlignment(sheet, first, i + 1, grid.colAlignment(kept[size_t(i)]));
            sheet.setNumberFormat(first, i + 1, kindFormat(usual[size_t(i)]));
            formats[size_t(i)][size_t(usual[size_t(i)])] = sheet.cellFormat(first, i + 1);
        }
        for (size_t at = 0; at < kinds.size(); ++at) {
            const size_t i = at % size_t(cols);
            int &format = formats[i][size_t(kinds[at])];
            if (format < 0)
                format = sheet.formatWithNumberFormat(formats[i][size_t(usual[i])], kindFormat(kinds[at]));
        }

        int shown = 0;
        const auto fill = [&](int row, XlsxRowCells &cells) {
            const int r = row - startRow;
            const int pct = percent(r, rows - 1);
            if (pct != shown) {
                wait.Show_Wait(QStringLiteral("正在填充报表") + QString::number(pct) + QStringLiteral("%...."));
                shown = pct;
            }
            for (int i = 0; i < cols; ++i) {
                const size_t at = size_t(r - 1) * size_t(cols) + size_t(i);
                const TextKind k = kinds[at];
                const int format = formats[size_t(i)][size_t(k)];
                if (k != TextKind::Text) {
                    cells.addNumber(i + 1, format, numbers[at]);
                    continue;
                }
                const QString text = grid.text(r, kept[size_t(i)]);
                if (text.isEmpty())
                    cells.addEmpty(i + 1, format);
                else
                    cells.addText(i + 1, format, text);
            }
            if (r == rows - 1)
                wait.Show_Wait(QStringLiteral("正在完成数据填充."));
        };
        if (!sheet.streamRows(first, dataRows, 1, cols, fill))
            fail(kErrRange, QStringLiteral("无法复制第 %1 行").arg(first));
        saveWorkbook(book, target); // while fill and what it reads are still here
        return;
    }
    wait.Show_Wait(QStringLiteral("正在完成数据填充."));
    saveWorkbook(book, target);
}

// False when the template has no detail band (the user has been told).
bool templateExport(const ExportGrid &grid, const GridExportInfo &info, const QString &templ, const QString &target,
                    WaitWindow &wait)
{
    wait.Show_Wait(QStringLiteral("正在打开报表模板..."));
    XlsxWorkbook book;
    if (!book.open(templ))
        fail(kErrRange, book.errorString());

    // The sheet named after the grid, wherever it sits among the sheets.
    const int index = book.sheetIndex(info.formName + info.gridName);
    if (index < 0)
        fail(kErrNoSheet, QStringLiteral("下标越界"));
    XlsxSheet &sheet = *book.sheet(index);
    const QString sheetName = sheet.name();

    wait.Show_Wait(QStringLiteral("正在填充报表...."));
    XlsxRange cell;
    const int beginRow = namedCell(book, sheetName, kDetailBegin, &cell) ? cell.firstRow : 0;
    int endRow = namedCell(book, sheetName, kDetailEnd, &cell) ? cell.lastRow : 0;
    if (endRow == 0)
        endRow = beginRow;
    if (beginRow == 0) {
        ErrorReporter::ShowErpMessage(kPublicForm, QStringLiteral("Export_excel_2"),
                                      QStringLiteral("没有找到报表模板明细开始和结束的行标识!"),
                                      MessageStyle::Information, kTitle);
        return false;
    }

    // Columns whose key names a cell: inside the band it receives the data,
    // outside it the current caption.
    struct Target
    {
        int col;
        int sheetCol;
    };
    std::vector<Target> bandColumns;
    for (int c = 1; c < grid.cols(); ++c) {
        if (!namedCell(book, sheetName, ExcelExport::CleanExcelName(grid.text(0, c)), &cell))
            continue;
        if (cell.firstRow < beginRow || cell.firstRow > endRow)
            sheet.setText(cell.firstRow, cell.firstColumn, grid.text(0, c));
        else
            bandColumns.push_back({c, cell.firstColumn});
    }
    const int positionCol = namedCell(book, sheetName, kAbsolutePosition, &cell) ? cell.firstColumn : 0;

    // One copy of the detail row per data row, formats and formulas included,
    // and one more that stays unfilled below the last: templates in use put
    // their totals against that row.
    const int dataRows = grid.rows() - 1;
    if (dataRows > 0 && !sheet.insertRowCopies(beginRow, dataRows))
        fail(kErrRange, QStringLiteral("无法复制明细行 %1").arg(beginRow));

    int shown = -1;
    for (int r = 1; r <= dataRows; ++r) {
        const int pct = percent(r, dataRows);
        if (pct != shown) {
            wait.Show_Wait(QStringLiteral("正在填充报表 ") + QString::number(pct) + u'%');
            shown = pct;
        }
        const int row = beginRow + r - 1;
        if (positionCol > 0)
            sheet.setNumber(row, positionCol, r);
        for (const Target &t : bandColumns)
            writeCellValue(sheet, row, t.sheetCol, grid.text(r, t.col));
    }
    wait.Show_Wait(QStringLiteral("完成填充数据!"));
    saveWorkbook(book, target);
    wait.Show_Wait(QStringLiteral("导出数据完成"));
    return true;
}

void designNewTemplate(const ExportGrid &grid, const GridExportInfo &info, const QString &path, WaitWindow &wait)
{
    wait.Show_Wait(QStringLiteral("正在新建报表模板..."));
    XlsxWorkbook book;
    wait.Show_Wait(QStringLiteral("正在填充报表...."));
    XlsxSheet &sheet = *book.sheet(0);
    const QString sheetName = info.formName + info.gridName;
    if (!sheet.setName(sheetName))
        fail(kErrRange, QStringLiteral("工作表名称无效: ") + sheetName);
    wait.Show_Wait(QStringLiteral("正在填充报表...."));

    const int cols = grid.cols();
    int startRow = 1;
    if (!info.caption.isEmpty()) {
        // The title range is formed from one column letter, so a titled
        // template holds at most 26 data columns.
        const int last = cols - 1;
        if (last < 1 || last > 26)
            fail(kErrRange, QStringLiteral("无法形成标题区域 A1:") + QChar(char16_t(64 + last)) + u'1');
        writeTitle(sheet, info.caption, firstKeptColumn(grid), last);
        startRow = 2;
    }

    // The detail markers go on the first column that stays in the sheet.
    const int markerCol = firstKeptColumn(grid);

    const int fixedRows = grid.fixedRows();
    for (int r = 0; r <= fixedRows; ++r) {
        wait.Show_Wait(QStringLiteral("正在填充报表") + QString::number(percent(r, fixedRows)) +
                       QStringLiteral("%...."));
        const int row = r + startRow;
        for (int c = 1; c < cols; ++c) {
            styleGridCell(sheet, grid, r, c, row, c);
            sheet.setNumberFormat(row, c, kTextFormat);
            // A grid without data rows still gets its (empty) detail row.
            const QString text = r < grid.rows() ? grid.text(r, c) : QString();
            if (!text.isEmpty())
                sheet.setText(row, c, text);
            if (r < fixedRows) {
                const QString name = ExcelExport::CleanExcelName(text);
                if (XlsxWorkbook::isValidDefinedName(name))
                    book.setDefinedName(name, sheetName, XlsxRange(row, c));
            } else if (c == markerCol) {
                if (!book.setDefinedName(kDetailBegin, sheetName, XlsxRange(row, c)) ||
                    !book.setDefinedName(kDetailEnd, sheetName, XlsxRange(row, c)))
                    fail(kErrRange, book.errorString());
            }
        }
    }
    removeHiddenColumns(sheet, grid);
    // Names of the deleted columns now point nowhere.
    for (const XlsxDefinedName &name : book.definedNames()) {
        if (name.refersTo.contains(QStringLiteral("#REF"), Qt::CaseInsensitive))
            book.removeDefinedName(name.name);
    }
    saveWorkbook(book, path);
}

} // namespace

// ---- ExportTable -----------------------------------------------------------------

ExportTable::ExportTable(int rows, int cols, int fixedRows)
    : m_rows(std::max(rows, 0)), m_cols(std::max(cols, 0)), m_fixedRows(fixedRows),
      m_texts(size_t(m_rows) * size_t(m_cols)), m_columns(size_t(m_cols))
{}

void ExportTable::setText(int row, int col, const QString &text)
{
    if (row >= 0 && row < m_rows && col >= 0 && col < m_cols)
        m_texts[size_t(row) * size_t(m_cols) + size_t(col)] = text;
}

void ExportTable::setColumn(int col, double width, int alignment, int fixedAlignment, bool hidden)
{
    if (col >= 0 && col < m_cols)
        m_columns[size_t(col)] = Column{width, alignment, fixedAlignment, hidden};
}

QString ExportTable::text(int row, int col) const
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return {};
    return m_texts[size_t(row) * size_t(m_cols) + size_t(col)];
}

double ExportTable::colWidth(int col) const
{
    return col >= 0 && col < m_cols ? m_columns[size_t(col)].width : 0;
}

bool ExportTable::colHidden(int col) const
{
    return col >= 0 && col < m_cols && m_columns[size_t(col)].hidden;
}

int ExportTable::colAlignment(int col) const
{
    return col >= 0 && col < m_cols ? m_columns[size_t(col)].alignment : 0;
}

int ExportTable::fixedAlignment(int col) const
{
    return col >= 0 && col < m_cols ? m_columns[size_t(col)].fixedAlignment : 0;
}

// ---- FlexGridExport --------------------------------------------------------------

int FlexGridExport::rows() const
{
    return m_grid.rows();
}

int FlexGridExport::cols() const
{
    return m_grid.cols();
}

int FlexGridExport::fixedRows() const
{
    return m_grid.fixedRows();
}

QString FlexGridExport::text(int row, int col) const
{
    return m_grid.textMatrix(row, col);
}

double FlexGridExport::colWidth(int col) const
{
    return m_grid.colWidth(col);
}

bool FlexGridExport::colHidden(int col) const
{
    return m_grid.colHidden(col);
}

int FlexGridExport::colAlignment(int col) const
{
    return m_grid.colAlignment(col);
}

int FlexGridExport::fixedAlignment(int col) const
{
    return m_grid.fixedAlignment(col);
}

// ---- WaitWindow ----------------------------------------------------------------

WaitWindow::WaitWindow(QWidget *parent) : QDialog(parent), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("Wait_Class"));
    setWindowTitle(kTitle);
    setModal(false);
    m_label->setMinimumWidth(260);
    m_label->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
}

void WaitWindow::Show_Wait(const QString &text)
{
    m_label->setText(text);
    if (!isVisible())
        show();
    // Exports run on the window's thread; let the text paint.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString WaitWindow::text() const
{
    return m_label->text();
}

// ---- ExcelExport ---------------------------------------------------------------

const QString ExcelExport::kFilter = QStringLiteral("Excel文件(*.xlsx)|*.xlsx");

void ExcelExport::setFileChooser(FileChooser chooser)
{
    g_chooser = std::move(chooser);
}

void ExcelExport::setFileOpener(FileOpener opener)
{
    g_opener = std::move(opener);
}

QString ExcelExport::templatePath(const QString &formName, const QString &gridName)
{
    return QDir(runContext().App_Path)
        .filePath(QStringLiteral("model/") + formName + gridName + QStringLiteral(".xlsx"));
}

QString ExcelExport::CleanExcelName(const QString &text)
{
    QString name = text;
    for (const QChar ch : {u'%', u'/', u'\\', u'(', u')', u'=', u'&', u' '})
        name.remove(ch);
    return name;
}

bool ExcelExport::ExcelNameIsLive(const XlsxWorkbook &book, const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const XlsxDefinedName &n : book.definedNames()) {
        if (n.name.compare(name, Qt::CaseInsensitive) == 0)
            return !n.refersTo.contains(QStringLiteral("#REF!"), Qt::CaseInsensitive);
    }
    return false;
}

void ExcelExport::Set_XlsAlignment(XlsxSheet &sheet, int row, int column, int code)
{
    if (code < 0 || code > 8)
        return;
    static const XlsxHAlign horizontal[3] = {XlsxHAlign::Left, XlsxHAlign::Center, XlsxHAlign::Right};
    static const XlsxVAlign vertical[3] = {XlsxVAlign::Top, XlsxVAlign::Center, XlsxVAlign::Bottom};
    sheet.setHorizontalAlignment(row, column, horizontal[code / 3]);
    sheet.setVerticalAlignment(row, column, vertical[code % 3]);
}

bool ExcelExport::isNumericText(const QString &text, double *value)
{
    const QStringView t = QStringView(text).trimmed();
    const qsizetype n = t.size();
    qsizetype i = 0;
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    const qsizetype start = i;
    const auto isDigit = [&](qsizetype at) { return at < n && t[at] >= u'0' && t[at] <= u'9'; };
    // "007" is a code, not seven.
    if (isDigit(i) && t[i] == u'0' && isDigit(i + 1))
        return false;
    int digits = 0;    // significant digits of the mantissa
    int mantissa = 0;  // every digit of it
    int fraction = 0;  // digits after the point
    quint64 whole = 0; // the mantissa's digits as one integer
    bool leading = true;
    bool point = false;
    for (; i < n; ++i) {
        if (isDigit(i)) {
            ++mantissa;
            whole = whole * 10 + quint64(t[i].unicode() - u'0');
            if (point)
                ++fraction;
            if (leading && t[i] == u'0')
                continue;
            leading = false;
            ++digits;
        } else if (t[i] == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (mantissa == 0)
        return false;
    const bool exponent = i < n && (t[i] == u'e' || t[i] == u'E');
    if (exponent) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            ++i;
    }
    // Beyond 15 digits a number loses digits; such texts are numbers only by look.
    if (i != n || digits > 15 || i == start)
        return false;
    // Plain decimals, the usual grid text, need no general conversion: their
    // digits as an integer and the power of ten they are divided by are both
    // exact, so the quotient is the correctly rounded value the conversion
    // gives too. Other forms (exponents, a bare point, a plus sign) take it.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool digitFirst = isDigit(start);
    const bool digitLast = n > 0 && isDigit(n - 1);
    if (!exponent && digitFirst && digitLast && t[0] != u'+' && fraction <= 22) {
        if (value) {
            const double v = double(whole) / kPowers[fraction];
            *value = t[0] == u'-' ? -v : v;
        }
        return true;
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    if (value)
        *value = v;
    return true;
}

QString ExcelExport::numberFormatFor(const QString &text)
{
    if (!isNumericText(text))
        return kTextFormat;
    return text.contains(u'.') ? QStringLiteral("0.0000_ ") : QStringLiteral("0_ ");
}

bool ExcelExport::ExportToChosenFile(const ExportGrid &grid, const GridExportInfo &info)
{
    QString file = chooseFile(info.owner, kFilter, QStringLiteral("请选择要导出表格内的数据至目的文件名:"));
    if (file.isEmpty())
        return false;
    if (!file.toLower().endsWith(QStringLiteral(".xlsx")))
        file += QStringLiteral(".xlsx");
    const QFileInfo fi(file);
    if (fi.exists()) {
        const int answer = ErrorReporter::ShowErpMessage(kPublicForm, QStringLiteral("W_Grid_DblClick_1"),
                                                         file + QStringLiteral("已存在，是否取代？"),
                                                         MessageStyle::YesNoQuestion, kTitle);
        if (answer != MessageAnswer::Yes)
            return false;
        // The old file stays until the new one is written; only make sure it can be replaced.
        const QFileInfo folder(fi.absolutePath());
        if (!fi.isFile() || !fi.isWritable() || !folder.isWritable()) {
            ErrorReporter::ShowErpMessage(kPublicForm, QStringLiteral("W_Grid_DblClick_2"),
                                          QStringLiteral("没有使用权限或文件已经被打开!"), MessageStyle::Information,
                                          kTitle);
            return false;
        }
    }
    return Export_Excel(grid, info, file);
}

bool ExcelExport::Export_Excel(const ExportGrid &grid, const GridExportInfo &info, const QString &target)
{
    const bool ok = guarded(Job::Export, info.owner, [&] {
        WaitWindow wait(info.owner);
        const QString templ = templatePath(info.formName, info.gridName);
        if (QFileInfo::exists(templ))
            return templateExport(grid, info, templ, target, wait);
        plainExport(grid, info, target, wait);
        return true;
    });
    // Where no program opens the workbook, the user learns where it is.
    if (ok && !openFile(target))
        ErrorReporter::ShowErpMessage(kPublicForm, QStringLiteral("Export_excel_8"),
                                      QStringLiteral("数据已导出到 %1 ,但本机没有可以打开它的程序.")
                                          .arg(QDir::toNativeSeparators(target)),
                                      MessageStyle::Information, kTitle);
    QCoreApplication::processEvents();
    return ok;
}

bool ExcelExport::DesignTemplate(const ExportGrid &grid, const GridExportInfo &info)
{
    return guarded(Job::Design, info.owner, [&] {
        WaitWindow wait(info.owner);
        const QString path = templatePath(info.formName, info.gridName);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (QFileInfo::exists(path))
            wait.Show_Wait(QStringLiteral("正在打开报表模板..."));
        else
            designNewTemplate(grid, info, path, wait);
        // The user finishes the template in the spreadsheet program.
        openFile(path);
        return true;
    });
}

bool ExcelExport::DeleteTemplate(const QString &formName, const QString &gridName)
{
    try {
        const QString path = templatePath(formName, gridName);
        if (!QFileInfo::exists(path)) {
            ErrorReporter::ShowErpMessage(kDialogForm, QStringLiteral("Cmd_DeleteModel_Click_1"),
                                          QStringLiteral("报表模板不存在!"), MessageStyle::Information, kTitle);
            return false;
        }
        if (ErrorReporter::ShowErpMessage(kDialogForm, QStringLiteral("Cmd_DeleteModel_Click_2"),
                                          QStringLiteral("确认要删除本表格之导出Excel模板?"),
                                          MessageStyle::YesNoQuestionSecond, kTitle) != MessageAnswer::Yes)
            return false;
        QFile file(path);
        if (!file.remove())
            fail(kErrDenied, file.errorString() + QStringLiteral(": ") + path);
        return true;
    } catch (...) {
        ErrorReporter::ReportError(kDialogForm, QStringLiteral("Cmd_DeleteModel_Click"));
    }
    return false;
}
