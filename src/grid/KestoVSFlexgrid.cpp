#include "grid/KestoVSFlexgrid.h"

#include "grid/ExcelExport.h"
#include "grid/GridSettingsDialog.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"
#include "services/DbGateway.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

const QString kMarker = QStringLiteral("\u2605");

// Event handlers and operations of the wrapper end quietly on any failure:
// a grid that cannot be arranged is still a usable grid.
template <typename Body>
void quietly(Body body)
{
    try {
        body();
    } catch (...) {
    }
}

} // namespace

Kesto_VSFlexgrid::Kesto_VSFlexgrid(QObject *parent) : QObject(parent), m_rememberedColor(focusColor())
{
    ClearGridLayout(m_layout);
}

Kesto_VSFlexgrid::~Kesto_VSFlexgrid()
{
    detach();
}

QColor Kesto_VSFlexgrid::focusColor()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Midlight);
}

void Kesto_VSFlexgrid::SetVariantCols(bool P_VariantCols)
{
    m_variantCols = P_VariantCols;
}

void Kesto_VSFlexgrid::ShowViewMenu(bool P_ShowViewMenu)
{
    m_showView = P_ShowViewMenu;
}

void Kesto_VSFlexgrid::ShowExportMenu(bool P_ShowExportMenu, const QString &P_Caption)
{
    m_showExport = P_ShowExportMenu;
    m_caption = P_Caption;
}

void Kesto_VSFlexgrid::SetToolTip(bool P_ToolTipIsGridContent)
{
    m_toolTipMode = P_ToolTipIsGridContent;
    if (m_grid)
        m_savedToolTip = m_grid->toolTipText();
}

void Kesto_VSFlexgrid::SetCol0Width(int P_Col0Width)
{
    m_col0Width = P_Col0Width;
    m_col0WidthSet = true;
}

void Kesto_VSFlexgrid::detach()
{
    if (m_grid)
        disconnect(m_grid, nullptr, this, nullptr);
    m_grid = nullptr;
}

void Kesto_VSFlexgrid::Grid(FlexGrid *P_VsFlexgrid, const QString &P_iniFile, bool P_Popup_Menu,
                            const QString &P_GridName, const QString &P_FormName, bool P_SortRecordset,
                            const QString &P_Unused, bool P_AutoLocation, bool P_DbClickEdit)
{
    Q_UNUSED(P_Unused);
    quietly([&] {
        detach();
        m_autoLocation = P_AutoLocation;
        m_popupMenu = P_Popup_Menu;
        m_sortRecordset = P_SortRecordset;
        m_dbClickEdit = P_DbClickEdit;
        m_grid = P_VsFlexgrid;
        if (!m_grid)
            return;
        FlexGrid *g = m_grid;
        connect(g, &FlexGrid::afterRowColChange, this, &Kesto_VSFlexgrid::onRowColChange);
        connect(g, &FlexGrid::beforeDataRefresh, this, &Kesto_VSFlexgrid::onBeforeDataRefresh);
        connect(g, &FlexGrid::afterDataRefresh, this, &Kesto_VSFlexgrid::onAfterDataRefresh);
        connect(g, &FlexGrid::beforeUserResize, this, &Kesto_VSFlexgrid::onBeforeUserResize);
        connect(g, &FlexGrid::afterUserResize, this, &Kesto_VSFlexgrid::onAfterUserResize);
        connect(g, &FlexGrid::mouseUp, this,
                [this](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &) { onMouseUp(button); });
        connect(g, &FlexGrid::afterSort, this, &Kesto_VSFlexgrid::onAfterSort);
        connect(g, &FlexGrid::dblClick, this, &Kesto_VSFlexgrid::onDblClick);
        connect(g, &FlexGrid::keyDown, this, &Kesto_VSFlexgrid::onKeyDown);
        connect(g, &FlexGrid::gotFocus, this, &Kesto_VSFlexgrid::onGotFocus);
        connect(g, &FlexGrid::lostFocus, this, &Kesto_VSFlexgrid::onLostFocus);

        m_parentName = g->window() ? g->window()->objectName() : QString();
        m_formName = P_FormName.trimmed().isEmpty() ? m_parentName : P_FormName;
        m_gridName = P_GridName.trimmed().isEmpty() ? g->objectName() : P_GridName;
        m_iniFile = P_iniFile;
        reloadLayout();
        if (!g->isBound())
            g->setRows(g->fixedRows()); // a free grid starts without data rows
        Refresh();
        m_rememberedColor = focusColor();
    });
}

void Kesto_VSFlexgrid::reloadLayout()
{
    ClearGridLayout(m_layout);
    LoadGridLayout(m_formName, m_gridName, m_layout, m_iniFile);
}

void Kesto_VSFlexgrid::Refresh()
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    g->setRedraw(false);
    quietly([&] {
        g->setRowHeightMin(250);
        if (g->fixedRows() > 0 && g->rowHeight(0) < g->rowHeightMin())
            g->setRowHeight(0, g->rowHeightMin());
        ApplyGridLayout(*g, m_layout, m_variantCols);
        if (g->fixedCols() > 0) {
            if (m_col0WidthSet)
                g->setColWidth(0, m_col0Width);
            g->setTextMatrix(0, 0, QStringLiteral("No"));
            g->setColAlignment(0, 4);
        }

        const int rows = g->rows();
        if (m_autoLocation) {
            if (m_savedRow == rows)
                --m_savedRow; // the last row went away: stay on the new last row
            if (m_savedRow > 0 && m_savedRow < rows) {
                if (m_savedTopRow < rows)
                    g->setTopRow(m_savedTopRow);
                g->setRow(m_savedRow);
                if (m_savedCol > 0 && m_savedCol < g->cols()) {
                    g->setLeftCol(m_savedLeftCol);
                    g->setCol(m_savedCol);
                }
            } else if (g->fixedRows() < rows) {
                g->setRow(g->fixedRows());
            }
        } else if (g->fixedRows() < rows) {
            g->setRow(g->fixedRows());
        }

        if (g->fixedCols() > 0 && g->row() > 0)
            g->setTextMatrix(g->row(), 0, kMarker);
    });
    g->setRedraw(true);
}

void Kesto_VSFlexgrid::onRowColChange(int oldRow, int oldCol, int newRow, int newCol)
{
    Q_UNUSED(oldCol);
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        if (m_toolTipMode) {
            if (newCol >= g->fixedCols() && newRow >= g->fixedRows())
                g->setToolTipText(g->textMatrix(newRow, newCol));
            else
                g->setToolTipText(m_savedToolTip);
        }
        if (g->rows() > 1 && oldRow != newRow && g->fixedCols() > 0) {
            if (oldRow > 0)
                g->setTextMatrix(oldRow, 0, QString::number(oldRow - g->fixedRows() + 1));
            if (newRow > 0)
                g->setTextMatrix(newRow, 0, kMarker);
        }
    });
}

void Kesto_VSFlexgrid::onBeforeDataRefresh()
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    m_savedTopRow = g->topRow();
    m_savedLeftCol = g->leftCol();
    m_savedRow = g->row();
    m_savedCol = g->col();
}

void Kesto_VSFlexgrid::onAfterDataRefresh()
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        g->setCol(0);
        if (g->rows() > 0)
            g->setRow(0);
        if (g->fixedCols() > 0)
            g->fillRowNumbers();
    });
    Refresh();
}

void Kesto_VSFlexgrid::onBeforeUserResize(int row, int col, bool *cancel)
{
    Q_UNUSED(row);
    if (col == -1)
        return; // rows may always be resized
    if (col == 0) {
        *cancel = true;
        return;
    }
    const int count = m_layout[0].colCount;
    if (col > count) {
        if (!m_variantCols)
            *cancel = true;
        return;
    }
    const QString visible = m_layout[col - 1].visible;
    if (visible.isEmpty() || visible.startsWith(QLatin1Char('F'), Qt::CaseInsensitive))
        *cancel = true;
}

void Kesto_VSFlexgrid::onAfterUserResize(int row, int col)
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        if (row >= 0)
            m_layout[0].rowHeight = g->rowHeight(row);
        if (col > 0 && col <= kGridLayoutEntries)
            m_layout[col - 1].width = g->colWidth(col);
    });
    Refresh();
    quietly([&] { SaveGridLayout(m_formName, m_gridName, m_layout, m_iniFile); });
}

void Kesto_VSFlexgrid::onMouseUp(Qt::MouseButton button)
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        if (button != Qt::LeftButton || (g->mouseRow() != 0 && g->mouseRow() != -1) || !m_sortRecordset ||
            g->mouseCol() < g->fixedCols() || !g->isBound())
            return;
        const std::shared_ptr<ResultSet> records = g->dataSource();
        const int k = g->mouseCol() - g->fixedCols();
        if (!records || records->columnCount() <= k || g->rows() <= g->fixedRows())
            return;
        if (g->sortBound(g->mouseCol(), m_sortAscending))
            m_sortAscending = !m_sortAscending;
    });
}

void Kesto_VSFlexgrid::onAfterSort(int col, int order)
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        // A free grid that sorted itself keeps its source record set in the same order.
        if (col < g->fixedCols() || g->isBound() || !m_sortRecordset)
            return;
        const std::shared_ptr<ResultSet> records = g->dataSource();
        const int k = col - g->fixedCols();
        if (!records || records->columnCount() <= k)
            return;
        FlexGrid::sortResultSet(*records, k, order == FlexGrid::SortAscending);
    });
}

void Kesto_VSFlexgrid::onDblClick()
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        if (g->mouseRow() == 0 || g->cols() == 1) {
            if (g->mouseCol() == 0)
                openSettings();
            return;
        }
        if (g->row() < 1 || g->col() < 1)
            return;
        const QPixmap picture = g->cellPicture(g->row(), g->col());
        if (!picture.isNull()) {
            Display_Pict(g->window(), picture);
        } else if (m_showExport && g->rows() > g->fixedRows()) {
            GridExportInfo info;
            info.formName = m_formName;
            info.gridName = m_gridName;
            info.caption = m_caption;
            info.owner = g->window();
            ExcelExport::ExportToChosenFile(FlexGridExport(*g), info);
        } else if (m_dbClickEdit) {
            editHandOff();
        }
    });
}

void Kesto_VSFlexgrid::openSettings()
{
    FlexGrid *g = m_grid;
    SaveGridLayout(m_formName, m_gridName, m_layout, m_iniFile);
    {
        mmss_set dialog(g->window());
        dialog.Parent_form = g->window();
        dialog.Get_FormName = m_formName;
        dialog.Get_GridName = m_gridName;
        dialog.Gridc_File = m_iniFile;
        dialog.W_Caption = m_caption;
        dialog.Enabled_TO_Excel = m_showExport;
        dialog.W_GridRealName = g->objectName();
        dialog.Source_Grid = g;
        ModalRunner::exec(&dialog);
    }
    reloadLayout();
    Refresh();
}

void Kesto_VSFlexgrid::editHandOff()
{
    // The window that owns the grid edits the row; the name says which grid asked.
    emit editRequested(m_grid->objectName().toUpper());
}

void Kesto_VSFlexgrid::onKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    FlexGrid *g = m_grid;
    if (!g || key != Qt::Key_C || (modifiers & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return;
    quietly([&] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(g->text());
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        QCoreApplication::processEvents();
        QGuiApplication::restoreOverrideCursor();
    });
}

void Kesto_VSFlexgrid::onGotFocus()
{
    if (!m_grid)
        return;
    m_rememberedColor = m_grid->backColorSel();
    m_grid->setBackColorSel(focusColor());
}

void Kesto_VSFlexgrid::onLostFocus()
{
    if (m_grid)
        m_grid->setBackColorSel(m_rememberedColor);
}

void Kesto_VSFlexgrid::LoadCellPicture(int P_PictureCol)
{
    FlexGrid *g = m_grid;
    if (!g)
        return;
    quietly([&] {
        if (P_PictureCol < 0 || P_PictureCol >= g->cols() || g->colHidden(P_PictureCol))
            return;
        for (int r = std::max(1, g->fixedRows()); r < g->rows(); ++r) {
            QPixmap picture;
            DbGateway::LoadPictureIfExists(g->textMatrix(r, P_PictureCol), picture);
            g->setCellPicture(r, P_PictureCol, picture);
        }
    });
}

bool Kesto_VSFlexgrid::Export_Excel(const QString &file)
{
    if (!m_grid)
        return false;
    GridExportInfo info;
    info.formName = m_formName;
    info.gridName = m_gridName;
    info.caption = m_caption;
    info.owner = m_grid->window();
    return ExcelExport::Export_Excel(FlexGridExport(*m_grid), info, file);
}

void Kesto_VSFlexgrid::Display_Pict(QWidget *owner, const QPixmap &picture)
{
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("Display_Pict"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *area = new QScrollArea(&dialog);
    auto *label = new QLabel(area);
    label->setObjectName(QStringLiteral("Picture"));
    label->setPixmap(picture);
    area->setWidget(label);
    layout->addWidget(area);
    dialog.resize(std::min(picture.width() + 40, 1000), std::min(picture.height() + 40, 800));
    ModalRunner::exec(&dialog);
}
