#pragma once

#include "grid/GridLayout.h"
#include "platform/ui/FlexGrid.h"

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>

class QWidget;

// Gives every data grid of the module the same behaviour: the user's column
// layout, a row-number column with the "★" marker on the current row, cell
// tool tips, sorting the bound rows by a header click, Ctrl+C, keeping the
// user's place across data refreshes, saving widths and row height as soon as
// the user drags them, the settings dialog on a double click in the top-left
// corner, and a double click on a data cell that shows its picture, exports
// the grid to Excel or asks for the row to be edited.
//
// A window creates one instance per grid and attaches it with Grid(); from
// then on the instance listens to the grid's signals. Nothing it does reports
// a failure, except the export.
class Kesto_VSFlexgrid : public QObject
{
    Q_OBJECT
public:
    explicit Kesto_VSFlexgrid(QObject *parent = nullptr);
    ~Kesto_VSFlexgrid() override;

    void SetVariantCols(bool P_VariantCols);
    void ShowViewMenu(bool P_ShowViewMenu);
    void ShowExportMenu(bool P_ShowExportMenu, const QString &P_Caption);
    // Call after Grid(): keeps the grid's own tool tip for cells outside the data.
    void SetToolTip(bool P_ToolTipIsGridContent);
    // Width (twips) every Refresh gives the row-number column.
    void SetCol0Width(int P_Col0Width);
    // Attaches the grid. P_Unused is kept for the callers' argument lists.
    void Grid(FlexGrid *P_VsFlexgrid, const QString &P_iniFile, bool P_Popup_Menu, const QString &P_GridName,
              const QString &P_FormName, bool P_SortRecordset, const QString &P_Unused, bool P_AutoLocation,
              bool P_DbClickEdit);
    // Loads the picture files named in a column's cells into those cells.
    void LoadCellPicture(int P_PictureCol);
    // Re-applies the layout, the row-number column and the current row.
    void Refresh();
    // Writes the grid to an Excel file (through the grid's template when it has one).
    bool Export_Excel(const QString &file);

    FlexGrid *grid() const { return m_grid; }
    QString formName() const { return m_formName; }
    QString gridName() const { return m_gridName; }
    QString parentName() const { return m_parentName; }
    QString iniFile() const { return m_iniFile; }
    const GridLayout &layout() const { return m_layout; }
    bool popupMenu() const { return m_popupMenu; }
    bool sortRecordset() const { return m_sortRecordset; }
    bool autoLocation() const { return m_autoLocation; }
    bool dbClickEdit() const { return m_dbClickEdit; }
    bool variantCols() const { return m_variantCols; }
    bool showExport() const { return m_showExport; }
    bool showView() const { return m_showView; }
    QString exportCaption() const { return m_caption; }

    // The colour the grid's selection takes while the grid has the focus.
    static QColor focusColor();

    // Shows a cell's picture in a modal viewer "Display_Pict" (run through ModalRunner).
    static void Display_Pict(QWidget *owner, const QPixmap &picture);

signals:
    // A double click on a data cell asks for the row to be edited (with
    // P_DbClickEdit); gridName is the grid's object name in upper case.
    void editRequested(const QString &gridName);

private:
    void detach();
    void onRowColChange(int oldRow, int oldCol, int newRow, int newCol);
    void onBeforeDataRefresh();
    void onAfterDataRefresh();
    void onBeforeUserResize(int row, int col, bool *cancel);
    void onAfterUserResize(int row, int col);
    void onMouseUp(Qt::MouseButton button);
    void onAfterSort(int col, int order);
    void onDblClick();
    void onKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void onGotFocus();
    void onLostFocus();
    void openSettings();
    void editHandOff();
    void reloadLayout();

    QPointer<FlexGrid> m_grid;
    QString m_iniFile;
    QString m_formName;
    QString m_gridName;
    QString m_parentName;
    GridLayout m_layout;
    bool m_popupMenu = false;
    bool m_sortRecordset = false;
    bool m_autoLocation = false;
    bool m_dbClickEdit = false;
    bool m_variantCols = false;
    bool m_showExport = false;
    QString m_caption;
    bool m_showView = false;
    bool m_toolTipMode = false;
    QString m_savedToolTip;
    int m_col0Width = 0;
    bool m_col0WidthSet = false;
    QColor m_rememberedColor;
    int m_savedTopRow = 0;
    int m_savedLeftCol = 0;
    int m_savedRow = 0;
    int m_savedCol = 0;
    bool m_sortAscending = false; // the first header click sorts descending
};
