#pragma once

#include <QColor>
#include <QPair>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QVariant>

#include <memory>

class ResultSet;
class FlexGridModel;
class FlexGridDelegate;
class FlexGridFrozenView;

// The data grid of every window: a QTableView over a model of our own.
//
// Coordinates are grid coordinates: row 0 .. rows()-1 and column 0 .. cols()-1,
// fixed rows and columns included. A grid has at most one fixed row (row 0,
// drawn as the column header) and at most one fixed column (column 0, drawn as
// the row header); data rows start at fixedRows(), data columns at fixedCols().
// Sizes are in twips (15 to a pixel).
//
// Data comes in two ways:
//  - Free (dataMode() == Free): the grid stores its own cell texts; setRows,
//    setCols, setTextMatrix, addItem and removeItem shape it. A result set given
//    to setDataSource in free mode is copied into the cells (small results only).
//  - Bound (any other data mode): the grid is a view over a ResultSet. Cell
//    texts are read from it as they are drawn, nothing is copied; data column c
//    shows field c - fixedCols() (further columns set by setCols are empty
//    unbound columns). The row header column shows row numbers computed as it is
//    drawn. Sorting builds a permutation of row positions; the result set keeps
//    its row order, and its cursor follows the grid's current row (the source
//    row of the grid row). The grid shares ownership of the result set, so a
//    window that replaces or drops its own pointer never leaves the grid on a
//    freed result; setDataSource(nullptr) unbinds.
//
// Alignment codes: 0 left-top, 1 left-centre, 2 left-bottom, 3 centre-top,
// 4 centre-centre, 5 centre-bottom, 6 right-top, 7 right-centre, 8 right-bottom,
// 9 general (texts left, numbers right; the default).
class FlexGrid : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(QString ToolTipText READ toolTipText WRITE setToolTipText)
    Q_PROPERTY(int Rows READ rows WRITE setRows)
    Q_PROPERTY(int Cols READ cols WRITE setCols)
    Q_PROPERTY(int Row READ row WRITE setRow)
    Q_PROPERTY(int Col READ col WRITE setCol)
    Q_PROPERTY(QString Text READ text WRITE setText)
public:
    enum DataMode { Free = 0, Bound = 1, BoundBatch = 2, BoundImmediate = 3 };
    enum MergeMode {
        MergeNever = 0,
        MergeFree = 1,
        MergeRestrictRows = 2,
        MergeRestrictColumns = 3,
        MergeRestrictAll = 4
    };
    enum CheckState { NoCheckbox = 0, Checked = 1, Unchecked = 2 };
    enum SortOrder { SortNone = 0, SortAscending = 1, SortDescending = 2 };
    enum Editable { EditNone = 0, EditKbd = 1, EditKbdMouse = 2 };
    enum SelectionStyle { SelectFree = 0, SelectByRow = 1, SelectByColumn = 2 };
    static constexpr int kGeneralAlignment = 9;

    explicit FlexGrid(QWidget *parent = nullptr);
    ~FlexGrid() override;

    // --- shape -----------------------------------------------------------
    int rows() const;
    void setRows(int rows); // free mode only; bound grids have the source's rows
    int cols() const;
    void setCols(int cols);
    int fixedRows() const;
    void setFixedRows(int n); // 0 or 1
    int fixedCols() const;
    void setFixedCols(int n); // 0 or 1
    // Frozen data columns of the user's layout: the first n data columns stay
    // at the left edge while the others scroll sideways. A count that leaves
    // no column to scroll freezes nothing (the value is kept as set).
    int frozenCols() const;
    void setFrozenCols(int n);

    // --- current cell and view position --------------------------------
    int row() const;
    void setRow(int row);
    int col() const;
    void setCol(int col);
    void setCurrentCell(int row, int col);
    int topRow() const; // first data row in view
    void setTopRow(int row);
    int leftCol() const; // first scrollable data column in view
    void setLeftCol(int col);
    int mouseRow() const; // row under the mouse at its last event, -1 for none
    int mouseCol() const;
    // Grid row and column at a point of the grid widget, -1 for none.
    int rowAtPoint(const QPoint &pos) const;
    int colAtPoint(const QPoint &pos) const;
    // Where cell (row, col) is drawn, in grid widget coordinates (empty when out of view).
    QRect cellRect(int row, int col) const;

    // --- columns ----------------------------------------------------------
    int colWidth(int col) const; // twips
    void setColWidth(int col, int twips);
    // Every shown data column as wide as its heading and its widest text (of
    // the first sampleRows rows), none wider than maxPixels; widenOnly keeps
    // a column that is wider already (a user's layout). The columns' total
    // width in pixels.
    int fitColumnsToContents(int maxPixels, bool widenOnly = false, int sampleRows = 2000);
    int colAlignment(int col) const; // codes 0-9
    void setColAlignment(int col, int code);
    int fixedAlignment(int col) const; // alignment of the header cell
    void setFixedAlignment(int col, int code);
    bool colHidden(int col) const;
    void setColHidden(int col, bool hidden);
    QString colKey(int col) const; // field name of a bound column, or the key set
    void setColKey(int col, const QString &key);
    int colIndex(const QString &key) const; // -1 when no column has the key
    QString colFormat(int col) const;       // "0.00", "#,##0.00", "0" ... for numbers
    void setColFormat(int col, const QString &format);
    QVariant colData(int col) const;
    void setColData(int col, const QVariant &data);
    // Moves column col to position (data columns only); the column keeps its
    // width, alignment, key and data.
    void setColPosition(int col, int position);
    bool mergeCol(int col) const;
    void setMergeCol(int col, bool merge);

    // --- rows -------------------------------------------------------------
    int rowHeight(int row) const; // twips
    // row -1 sets every row (fixed rows included) at once.
    void setRowHeight(int row, int twips);
    int rowHeightMin() const;
    void setRowHeightMin(int twips);

    // --- cells ------------------------------------------------------------
    QString textMatrix(int row, int col) const;
    // In bound mode a data cell writes through to the result set (numbers stay
    // numbers when the text is one).
    void setTextMatrix(int row, int col, const QString &text);
    QVariant valueMatrix(int row, int col) const; // the bound value, or the text
    QString text() const;                         // text of the current cell
    void setText(const QString &text);
    CheckState cellChecked(int row, int col) const;
    void setCellChecked(int row, int col, CheckState state);
    QPixmap cellPicture(int row, int col) const; // null when none
    void setCellPicture(int row, int col, const QPixmap &picture);
    // First grid row >= startRow whose text in col equals text, -1 when none.
    int findRow(const QString &text, int startRow, int col, bool caseSensitive = false) const;
    // Rows of the run of equal values that cell (row, col) belongs to when its
    // column merges; {row, row} otherwise.
    QPair<int, int> mergedRows(int row, int col) const;

    // Column 0 of every data row shows the row's number (1 for the first data
    // row). Bound grids compute the numbers as they draw; texts written into
    // column 0 before are dropped.
    void fillRowNumbers();

    // Free mode: appends (or inserts before row) a row from tab-separated texts.
    void addItem(const QString &tabbedTexts, int row = -1);
    void removeItem(int row);
    void clearData(); // free mode: every data cell emptied

    // --- data -------------------------------------------------------------
    DataMode dataMode() const;
    void setDataMode(DataMode mode);
    bool isBound() const { return dataMode() != Free; }
    std::shared_ptr<ResultSet> dataSource() const;
    // Binds (or, in free mode, copies) the result set and refreshes the grid:
    // beforeDataRefresh() and afterDataRefresh() surround the refresh.
    void setDataSource(std::shared_ptr<ResultSet> records);
    // Bound mode: re-reads the source (after the window changed it) as a refresh.
    void refreshData();
    // Sorts the bound rows by data column col (stable; numbers as numbers,
    // dates as dates, texts as texts) and refreshes the grid. False when the
    // column holds raw bytes or is no field of the source.
    bool sortBound(int col, bool ascending);
    // Free mode: sorts the data rows by column col, then emits afterSort.
    void sortFree(int col, SortOrder order);
    // Puts the rows of a result set in the order of one field, the way the
    // grid sorts (stable; numbers, dates and texts each by their kind). False
    // for raw bytes or a field that does not exist.
    static bool sortResultSet(ResultSet &records, int field, bool ascending);
    // Source row of a data grid row (bound mode), -1 when none.
    qint64 sourceRow(int row) const;
    // Row and column order of the source as the grid shows it now.
    int sortColumn() const;
    SortOrder sortOrder() const;

    // --- display ----------------------------------------------------------
    bool redraw() const;
    void setRedraw(bool on); // false suspends drawing until set true again
    MergeMode mergeCells() const;
    void setMergeCells(MergeMode mode);
    QString toolTipText() const;
    void setToolTipText(const QString &text);
    QColor backColorSel() const; // background of the selected cells
    void setBackColorSel(const QColor &color);
    QColor foreColorSel() const;
    void setForeColorSel(const QColor &color);
    Editable editable() const;
    void setEditable(Editable mode);
    SelectionStyle selectionStyle() const;
    void setSelectionStyle(SelectionStyle style);
    // The text of the open cell editor (valid while validateEdit runs).
    QString editText() const;
    // Free mode: a header click sorts the grid (ascending first, then toggling).
    bool headerClickSorts() const;
    void setHeaderClickSorts(bool on);

    FlexGridModel *flexModel() const { return m_model; }
    // Keeps a cell clear of the frozen columns when it scrolls into view.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

signals:
    // Mouse over cells, headers and the corner; mouseRow()/mouseCol() are set
    // before each is emitted.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void dblClick();
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void keyUp(int key, Qt::KeyboardModifiers modifiers);
    void gotFocus();
    void lostFocus();
    // The current cell moves: leaveCell, then afterRowColChange, then enterCell.
    void leaveCell();
    void afterRowColChange(int oldRow, int oldCol, int newRow, int newCol);
    void enterCell();
    // A user drag of a row border (col == -1) or column border (row == -1):
    // set *cancel to refuse it before it starts.
    void beforeUserResize(int row, int col, bool *cancel);
    void afterUserResize(int row, int col);
    // Around every refresh of bound data (binding, re-reading, sorting).
    void beforeDataRefresh();
    void afterDataRefresh();
    void afterSort(int col, int order);
    // Editing (only when editable()): set *cancel to refuse.
    void beforeEdit(int row, int col, bool *cancel);
    void validateEdit(int row, int col, bool *cancel);
    void afterEdit(int row, int col);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void updateGeometries() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class FlexGridDelegate;
    friend class FlexGridModel;
    friend class FlexGridFrozenView;

    // Frozen columns are drawn by a second view over the same model laid over
    // the left of this one; it shares the selection, widths and row heights.
    int activeFrozen() const; // model columns frozen now, 0 for none
    bool isFrozenModelCol(int modelCol) const;
    int frozenWidth() const; // pixels
    void syncFrozen();
    void updateFrozenGeometry();
    bool frozenEvent(QObject *watched, QEvent *event);

    void trackMouse(QWidget *source, const QPoint &pos);
    QPoint toGrid(QWidget *source, const QPoint &pos) const;
    void moveCurrent(int row, int col, bool fromView);
    void syncViewCurrent();
    void applyColumnGeometry();
    void applyColumnGeometry(int col);
    void applyRowHeaderWidth();
    void applyHeaderHeight();
    void applyPalette();
    void shapeChanged();
    bool resizeHandleAt(QHeaderView *header, const QPoint &pos, int *section) const;
    void toggleCheck(int row, int col);
    bool validateEditorText(int row, int col, const QString &text);
    void deliver(QObject *receiver, QEvent *event);
    void finishUserResize();
    void beginRefresh();
    void endRefresh();

    FlexGridModel *m_model = nullptr;
    FlexGridDelegate *m_delegate = nullptr;
    FlexGridFrozenView *m_frozen = nullptr;
    bool m_syncingFrozen = false;
    bool m_rowHeightsSet = false; // a row was resized since the last reset
    int m_row = 0;
    int m_col = 0;
    int m_mouseRow = -1;
    int m_mouseCol = -1;
    int m_frozenCols = 0;
    int m_rowHeightMin = 0;
    int m_headerHeight = 0; // twips; 0 for the style's own
    bool m_redraw = true;
    bool m_delivering = false;
    MergeMode m_mergeMode = MergeNever;
    bool m_syncing = false;
    bool m_headerClickSorts = false;
    Editable m_editable = EditNone;
    SelectionStyle m_selectionStyle = SelectFree;
    QString m_toolTip;
    QString m_editText;
    QColor m_backColorSel;
    QColor m_foreColorSel;
    // User resize in progress: header, section, size at its start.
    QHeaderView *m_resizeHeader = nullptr;
    int m_resizeSection = -1;
    int m_resizeStart = 0;
};
