#include "platform/ui/FlexGrid.h"

#include "platform/db/Sql.h"
#include "platform/ui/FlexGridModel.h"
#include "platform/ui/Twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

// Draws cells with merged runs and the grid lines (the view's own lines
// cannot leave out the line inside a run), and runs the edit checks.
class FlexGridDelegate : public QStyledItemDelegate
{
public:
    explicit FlexGridDelegate(FlexGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        FlexGridModel *m = m_grid->m_model;
        const int row = m->gridRow(index.row());
        const int col = m->gridCol(index.column());
        const bool mergeUp = mergesWithAbove(row, col);
        const bool mergeDown = mergesWithAbove(row + 1, col);
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // A run shows its text once, on its first row in view.
        if (mergeUp && row - 1 >= m_grid->topRow())
            opt.text.clear();
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);

        const int hint = style->styleHint(QStyle::SH_Table_GridLineColor, &opt, w);
        painter->save();
        painter->setPen(QColor::fromRgba(static_cast<QRgb>(hint)));
        painter->drawLine(opt.rect.topRight(), opt.rect.bottomRight());
        if (!mergeDown)
            painter->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
        painter->restore();
    }

    bool mergesWithAbove(int row, int col) const
    {
        FlexGridModel *m = m_grid->m_model;
        const FlexGrid::MergeMode mode = m_grid->mergeCells();
        if (mode == FlexGrid::MergeNever || col < 0 || col >= m->gridCols() || !m->column(col).merge)
            return false;
        if (!m->equalsAbove(row, col))
            return false;
        if (mode == FlexGrid::MergeRestrictColumns || mode == FlexGrid::MergeRestrictAll) {
            // Restricted: the cells to the left must be equal too.
            for (int c = m->fixedCols(); c < col; ++c)
                if (!m->equalsAbove(row, c))
                    return false;
        }
        return true;
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_validated = false;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        const QString text = line ? line->text() : editor->property("text").toString();
        const int row = m_grid->m_model->gridRow(index.row());
        const int col = m_grid->m_model->gridCol(index.column());
        const bool ok = m_validated || m_grid->validateEditorText(row, col, text);
        m_validated = false;
        if (!ok)
            return;
        model->setData(index, text, Qt::EditRole);
        emit m_grid->afterEdit(row, col);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        // A refused entry keeps the editor open.
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            auto *line = qobject_cast<QLineEdit *>(object);
            if (line &&
                (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
                if (!m_grid->validateEditorText(m_grid->row(), m_grid->col(), line->text()))
                    return true;
                m_validated = true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    FlexGrid *m_grid;
    mutable bool m_validated = false;
};

// The frozen columns: a view over the grid's own model and selection that
// never scrolls sideways. It takes no focus and opens no editor by itself:
// keys go to the grid, and edits pass the grid's checks first.
class FlexGridFrozenView : public QTableView
{
public:
    explicit FlexGridFrozenView(FlexGrid *grid) : QTableView(grid), m_grid(grid)
    {
        setObjectName(QStringLiteral("FrozenColumns"));
        setFocusPolicy(Qt::NoFocus);
        setFocusProxy(grid);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollMode(ScrollPerPixel);
        setVerticalScrollMode(grid->verticalScrollMode());
        setShowGrid(false);
        setWordWrap(false);
        verticalHeader()->hide();
        viewport()->setMouseTracking(true);
        QHeaderView *h = horizontalHeader();
        h->setSectionsClickable(false);
        h->setHighlightSections(false);
        h->setSectionsMovable(false);
        h->setMinimumSectionSize(1);
        h->setDefaultAlignment(grid->horizontalHeader()->defaultAlignment());
        h->viewport()->setMouseTracking(true);
    }

    // Rows scroll with the grid's, on a range already brought up to date.
    void followRows(int value)
    {
        if (verticalScrollBar()->maximum() < value)
            updateGeometries();
        verticalScrollBar()->setValue(value);
    }

    // Opens the editor here, after the grid has allowed it.
    bool openEditor(const QModelIndex &index, EditTrigger trigger, QEvent *event)
    {
        return QTableView::edit(index, trigger, event);
    }

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override
    {
        // Events that open nothing, and an editor already open, stay here.
        if (!(trigger & editTriggers()) || (state() == EditingState && index == currentIndex()))
            return QTableView::edit(index, trigger, event);
        return m_grid->edit(index, trigger, event);
    }

private:
    FlexGrid *m_grid;
};

FlexGrid::FlexGrid(QWidget *parent) : QTableView(parent)
{
    m_model = new FlexGridModel(this);
    setModel(m_model);
    m_delegate = new FlexGridDelegate(this);
    setItemDelegate(m_delegate);
    setShowGrid(false);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setWordWrap(false);
    viewport()->setMouseTracking(true);
    for (QHeaderView *h : {horizontalHeader(), verticalHeader()}) {
        // Header presses must not select whole rows or columns: the current
        // cell only moves where the user clicks a cell.
        h->setSectionsClickable(false);
        h->setHighlightSections(false);
        h->setSectionsMovable(false);
        h->setMinimumSectionSize(1);
        h->viewport()->installEventFilter(this);
        h->viewport()->setMouseTracking(true);
    }
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    if (auto *corner = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly))
        corner->installEventFilter(this);

    m_backColorSel = palette().color(QPalette::Active, QPalette::Highlight);
    m_foreColorSel = palette().color(QPalette::Active, QPalette::HighlightedText);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (size <= 0)
            return;
        FlexGridModel::Column &c = m_model->column(m_model->gridCol(section));
        // Keep the twips that were set as long as they give this pixel width.
        if (c.width < 0 || twipsToPixels(c.width) != size)
            c.width = pixelsToTwips(size);
    });
    m_frozen = new FlexGridFrozenView(this);
    m_frozen->setModel(m_model);
    m_frozen->setSelectionModel(selectionModel());
    m_frozen->setItemDelegate(m_delegate);
    m_frozen->viewport()->installEventFilter(this);
    m_frozen->horizontalHeader()->viewport()->installEventFilter(this);
    m_frozen->hide();
    viewport()->stackUnder(m_frozen);
    // Both parts move together: rows scroll as one, widths and heights follow.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen, &FlexGridFrozenView::followRows);
    connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
    connect(m_frozen->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (v != 0)
            m_frozen->horizontalScrollBar()->setValue(0);
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (m_syncingFrozen || section >= m_frozen->model()->columnCount())
            return;
        m_syncingFrozen = true;
        if (isFrozenModelCol(section) && m_frozen->horizontalHeader()->sectionSize(section) != size)
            m_frozen->horizontalHeader()->resizeSection(section, size);
        m_syncingFrozen = false;
        updateFrozenGeometry();
    });
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        // The user drags a border in the frozen part.
        if (m_syncingFrozen || size <= 0)
            return;
        m_syncingFrozen = true;
        horizontalHeader()->resizeSection(section, size);
        m_syncingFrozen = false;
        updateFrozenGeometry();
    });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        m_rowHeightsSet = true;
        if (section < m_frozen->model()->rowCount() && m_frozen->verticalHeader()->sectionSize(section) != size)
            m_frozen->verticalHeader()->resizeSection(section, size);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_rowHeightsSet = false; // both parts are back at their default row height
        shapeChanged();
    });
    connect(m_model, &QAbstractItemModel::columnsInserted, this, [this] { shapeChanged(); });
    connect(m_model, &QAbstractItemModel::columnsRemoved, this, [this] { shapeChanged(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { shapeChanged(); });
    shapeChanged();
}

FlexGrid::~FlexGrid() = default;

// --- shape ------------------------------------------------------------------

int FlexGrid::rows() const
{
    return m_model->gridRows();
}

void FlexGrid::setRows(int rows)
{
    m_model->setGridRows(rows);
    shapeChanged();
}

int FlexGrid::cols() const
{
    return m_model->gridCols();
}

void FlexGrid::setCols(int cols)
{
    m_model->setGridCols(std::max(cols, fixedCols()));
    shapeChanged();
}

int FlexGrid::fixedRows() const
{
    return m_model->fixedRows();
}

void FlexGrid::setFixedRows(int n)
{
    m_model->setFixedRows(n);
    shapeChanged();
}

int FlexGrid::fixedCols() const
{
    return m_model->fixedCols();
}

void FlexGrid::setFixedCols(int n)
{
    if (n > 0 && cols() == 0)
        m_model->setGridCols(1);
    m_model->setFixedCols(n);
    shapeChanged();
}

int FlexGrid::frozenCols() const
{
    return m_frozenCols;
}

void FlexGrid::setFrozenCols(int n)
{
    m_frozenCols = std::max(0, n);
    syncFrozen();
}

int FlexGrid::activeFrozen() const
{
    // Something must be left to scroll.
    const int n = m_model->columnCount();
    return m_frozenCols > 0 && m_frozenCols < n ? m_frozenCols : 0;
}

bool FlexGrid::isFrozenModelCol(int modelCol) const
{
    return modelCol >= 0 && modelCol < activeFrozen();
}

int FlexGrid::frozenWidth() const
{
    int width = 0;
    for (int mc = 0; mc < activeFrozen(); ++mc)
        if (!horizontalHeader()->isSectionHidden(mc))
            width += horizontalHeader()->sectionSize(mc);
    return width;
}

void FlexGrid::syncFrozen()
{
    if (!m_frozen)
        return;
    const int frozen = activeFrozen();
    if (frozen == 0) {
        m_frozen->hide();
        return;
    }
    m_syncingFrozen = true;
    QHeaderView *mine = horizontalHeader();
    QHeaderView *theirs = m_frozen->horizontalHeader();
    for (int mc = 0; mc < m_model->columnCount(); ++mc) {
        const bool shown = mc < frozen && !mine->isSectionHidden(mc);
        theirs->setSectionHidden(mc, !shown);
        if (shown && theirs->sectionSize(mc) != mine->sectionSize(mc))
            theirs->resizeSection(mc, mine->sectionSize(mc));
    }
    QHeaderView *rows = m_frozen->verticalHeader();
    rows->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
    rows->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    // Row by row only when rows were given heights of their own: a grid of a
    // million rows is refreshed often.
    if (m_rowHeightsSet) {
        for (int mr = 0; mr < m_model->rowCount(); ++mr)
            if (rows->sectionSize(mr) != verticalHeader()->sectionSize(mr))
                rows->resizeSection(mr, verticalHeader()->sectionSize(mr));
    }
    m_frozen->setSelectionBehavior(selectionBehavior());
    m_frozen->setSelectionMode(selectionMode());
    m_frozen->setEditTriggers(editTriggers());
    m_syncingFrozen = false;
    m_frozen->show();
    updateFrozenGeometry();
}

void FlexGrid::updateFrozenGeometry()
{
    if (!m_frozen)
        return;
    if (activeFrozen() == 0) {
        m_frozen->hide();
        return;
    }
    QHeaderView *hh = horizontalHeader();
    const QRect vp = viewport()->geometry();
    const int top = hh->isHidden() ? vp.top() : hh->geometry().top();
    m_frozen->horizontalHeader()->setHidden(hh->isHidden());
    if (!hh->isHidden())
        m_frozen->horizontalHeader()->setFixedHeight(hh->height());
    m_frozen->setGeometry(vp.left(), top, std::min(frozenWidth(), vp.width()), vp.bottom() - top + 1);
    m_frozen->followRows(verticalScrollBar()->value());
}

void FlexGrid::updateGeometries()
{
    QTableView::updateGeometries();
    updateFrozenGeometry();
}

void FlexGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void FlexGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || activeFrozen() == 0) {
        QTableView::scrollTo(index, hint);
        return;
    }
    // A frozen cell is always in view sideways; a scrolling one must not
    // end up under the frozen part.
    QScrollBar *bar = horizontalScrollBar();
    const int before = bar->value();
    QTableView::scrollTo(index, hint);
    if (isFrozenModelCol(index.column())) {
        bar->setValue(before);
        return;
    }
    const int x = columnViewportPosition(index.column());
    const int covered = frozenWidth();
    if (x < covered)
        bar->setValue(bar->value() + x - covered);
}

void FlexGrid::shapeChanged()
{
    horizontalHeader()->setHidden(fixedRows() == 0);
    applyColumnGeometry();
    applyHeaderHeight();
    syncFrozen();
    // Keep the current cell inside the grid.
    const int r = std::clamp(m_row, 0, std::max(rows() - 1, 0));
    const int c = std::clamp(m_col, 0, std::max(cols() - 1, 0));
    m_row = r;
    m_col = c;
    syncViewCurrent();
}

// --- current cell -------------------------------------------------------------

int FlexGrid::row() const
{
    return m_row;
}

void FlexGrid::setRow(int row)
{
    if (row < 0 || row >= rows())
        return;
    moveCurrent(row, m_col, false);
}

int FlexGrid::col() const
{
    return m_col;
}

void FlexGrid::setCol(int col)
{
    if (col < 0 || col >= cols())
        return;
    moveCurrent(m_row, col, false);
}

void FlexGrid::setCurrentCell(int row, int col)
{
    if (row < 0 || row >= rows() || col < 0 || col >= cols())
        return;
    moveCurrent(row, col, false);
}

void FlexGrid::moveCurrent(int row, int col, bool fromView)
{
    if (row == m_row && col == m_col) {
        if (!fromView)
            syncViewCurrent();
        return;
    }
    const int oldRow = m_row;
    const int oldCol = m_col;
    emit leaveCell();
    m_row = row;
    m_col = col;
    if (!fromView)
        syncViewCurrent();
    if (isBound() && dataSource()) {
        const qint64 src = m_model->sourceRow(row);
        if (src >= 0)
            dataSource()->moveTo(src);
    }
    emit afterRowColChange(oldRow, oldCol, row, col);
    emit enterCell();
}

void FlexGrid::syncViewCurrent()
{
    if (!selectionModel())
        return;
    m_syncing = true;
    const int mr = m_model->modelRow(m_row);
    const int mc = std::max(m_model->modelCol(m_col), 0);
    if (mr >= 0 && mr < m_model->rowCount() && mc < m_model->columnCount()) {
        QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
        if (m_selectionStyle == SelectByRow)
            flags |= QItemSelectionModel::Rows;
        else if (m_selectionStyle == SelectByColumn)
            flags |= QItemSelectionModel::Columns;
        selectionModel()->setCurrentIndex(m_model->index(mr, mc), flags);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->clearCurrentIndex();
    }
    m_syncing = false;
}

void FlexGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid())
        return;
    moveCurrent(m_model->gridRow(current.row()), m_model->gridCol(current.column()), true);
}

int FlexGrid::topRow() const
{
    if (m_model->rowCount() == 0)
        return fixedRows();
    const int mr = rowAt(0);
    return m_model->gridRow(mr < 0 ? 0 : mr);
}

void FlexGrid::setTopRow(int row)
{
    const int mr = m_model->modelRow(row);
    if (mr < 0 || mr >= m_model->rowCount())
        return;
    updateGeometries();
    if (verticalScrollMode() == ScrollPerItem)
        verticalScrollBar()->setValue(verticalHeader()->visualIndex(mr));
    else
        verticalScrollBar()->setValue(verticalHeader()->sectionPosition(mr));
}

int FlexGrid::leftCol() const
{
    if (m_model->columnCount() == 0)
        return fixedCols();
    // The first column that scrolls, right of the frozen ones.
    const int mc = columnAt(frozenWidth());
    return m_model->gridCol(mc < 0 ? 0 : mc);
}

void FlexGrid::setLeftCol(int col)
{
    const int mc = m_model->modelCol(col);
    if (mc < 0 || mc >= m_model->columnCount())
        return;
    updateGeometries();
    horizontalScrollBar()->setValue(horizontalHeader()->sectionPosition(mc) - frozenWidth());
}

int FlexGrid::mouseRow() const
{
    return m_mouseRow;
}
int FlexGrid::mouseCol() const
{
    return m_mouseCol;
}

int FlexGrid::rowAtPoint(const QPoint &pos) const
{
    const QHeaderView *hh = horizontalHeader();
    const QHeaderView *vh = verticalHeader();
    const QRect hr = hh->isHidden() ? QRect() : hh->geometry();
    const QRect vr = vh->isHidden() ? QRect() : vh->geometry();
    if (hr.contains(pos))
        return 0;
    if (!hr.isEmpty() && !vr.isEmpty() && pos.x() >= vr.left() && pos.x() <= vr.right() && pos.y() >= hr.top() &&
        pos.y() <= hr.bottom())
        return 0; // the corner
    if (vr.contains(pos)) {
        const int mr = vh->logicalIndexAt(pos.y() - vr.top());
        return mr < 0 ? -1 : m_model->gridRow(mr);
    }
    const QRect vp = viewport()->geometry();
    if (vp.contains(pos)) {
        const int mr = rowAt(pos.y() - vp.top());
        return mr < 0 ? -1 : m_model->gridRow(mr);
    }
    return -1;
}

int FlexGrid::colAtPoint(const QPoint &pos) const
{
    const QHeaderView *hh = horizontalHeader();
    const QHeaderView *vh = verticalHeader();
    const QRect hr = hh->isHidden() ? QRect() : hh->geometry();
    const QRect vr = vh->isHidden() ? QRect() : vh->geometry();
    if (!vr.isEmpty() && pos.x() >= vr.left() && pos.x() <= vr.right() &&
        (vr.contains(pos) || (!hr.isEmpty() && pos.y() >= hr.top() && pos.y() <= hr.bottom())))
        return 0;
    const QRect vp = viewport()->geometry();
    if (m_frozen->isVisible() && pos.x() >= vp.left() && pos.x() < vp.left() + m_frozen->width() &&
        (hr.contains(pos) || vp.contains(pos))) {
        const int mc = m_frozen->columnAt(pos.x() - vp.left());
        return mc < 0 ? -1 : m_model->gridCol(mc);
    }
    if (hr.contains(pos)) {
        const int mc = hh->logicalIndexAt(pos.x() - hr.left());
        return mc < 0 ? -1 : m_model->gridCol(mc);
    }
    if (vp.contains(pos)) {
        const int mc = columnAt(pos.x() - vp.left());
        return mc < 0 ? -1 : m_model->gridCol(mc);
    }
    return -1;
}

QRect FlexGrid::cellRect(int row, int col) const
{
    const QHeaderView *hh = horizontalHeader();
    const QHeaderView *vh = verticalHeader();
    const QRect hr = hh->isHidden() ? QRect() : hh->geometry();
    const QRect vr = vh->isHidden() ? QRect() : vh->geometry();
    const QRect vp = viewport()->geometry();
    const bool headerRow = fixedRows() > 0 && row == 0;
    const bool headerCol = fixedCols() > 0 && col == 0;
    int x, w, y, h;
    if (headerCol) {
        x = vr.left();
        w = vr.width();
    } else {
        const int mc = m_model->modelCol(col);
        if (mc < 0 || mc >= m_model->columnCount() || isColumnHidden(mc))
            return {};
        x = vp.left() + (isFrozenModelCol(mc) ? m_frozen->columnViewportPosition(mc) : columnViewportPosition(mc));
        w = columnWidth(mc);
    }
    if (headerRow) {
        y = hr.top();
        h = hr.height();
    } else {
        const int mr = m_model->modelRow(row);
        if (mr < 0 || mr >= m_model->rowCount())
            return {};
        y = vp.top() + rowViewportPosition(mr);
        h = QTableView::rowHeight(mr);
    }
    return QRect(x, y, w, h);
}

// --- columns --------------------------------------------------------------------

int FlexGrid::colWidth(int col) const
{
    if (col < 0 || col >= cols())
        return 0;
    const FlexGridModel::Column &c = m_model->column(col);
    if (c.width >= 0)
        return c.width;
    if (fixedCols() > 0 && col == 0)
        return pixelsToTwips(verticalHeader()->sizeHint().width());
    const int size = horizontalHeader()->sectionSize(m_model->modelCol(col));
    return pixelsToTwips(size > 0 ? size : horizontalHeader()->defaultSectionSize());
}

int FlexGrid::fitColumnsToContents(int maxPixels, bool widenOnly, int sampleRows)
{
    const QFontMetrics cells(font());
    const QFontMetrics heading(horizontalHeader()->font());
    // Room for the cell's margins and grid line, as the view draws them.
    const int pad = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) * 2 + 10;
    int total = 0;
    const int last = std::min(rows(), fixedRows() + std::max(0, sampleRows));
    for (int c = 0; c < cols(); ++c) {
        if (colHidden(c))
            continue;
        if (c < fixedCols()) {
            total += twipsToPixels(colWidth(c));
            continue;
        }
        int widest = fixedRows() > 0 ? heading.horizontalAdvance(textMatrix(0, c)) : 0;
        for (int r = fixedRows(); r < last; ++r)
            widest = std::max(widest, cells.horizontalAdvance(textMatrix(r, c)));
        int width = std::min(std::max(widest + pad, 24), std::max(24, maxPixels));
        if (widenOnly)
            width = std::max(width, twipsToPixels(colWidth(c)));
        setColWidth(c, pixelsToTwips(width));
        total += width;
    }
    return total;
}

void FlexGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).width = std::max(0, twips);
    applyColumnGeometry(col);
}

int FlexGrid::colAlignment(int col) const
{
    return col >= 0 && col < cols() ? m_model->column(col).align : kGeneralAlignment;
}

void FlexGrid::setColAlignment(int col, int code)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).align = (code >= 0 && code <= 9) ? code : kGeneralAlignment;
    m_model->columnChanged(col);
}

int FlexGrid::fixedAlignment(int col) const
{
    return col >= 0 && col < cols() ? m_model->column(col).fixedAlign : kGeneralAlignment;
}

void FlexGrid::setFixedAlignment(int col, int code)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).fixedAlign = (code >= 0 && code <= 9) ? code : kGeneralAlignment;
    m_model->columnChanged(col);
}

bool FlexGrid::colHidden(int col) const
{
    return col >= 0 && col < cols() && m_model->column(col).hidden;
}

void FlexGrid::setColHidden(int col, bool hidden)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).hidden = hidden;
    applyColumnGeometry(col);
}

QString FlexGrid::colKey(int col) const
{
    if (col < 0 || col >= cols())
        return {};
    const FlexGridModel::Column &c = m_model->column(col);
    if (c.keySet)
        return c.key;
    if (isBound() && dataSource() && c.field >= 0)
        return dataSource()->columns().value(c.field);
    return c.key;
}

void FlexGrid::setColKey(int col, const QString &key)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).key = key;
    m_model->column(col).keySet = true;
}

int FlexGrid::colIndex(const QString &key) const
{
    for (int c = 0; c < cols(); ++c)
        if (colKey(c).compare(key, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

QString FlexGrid::colFormat(int col) const
{
    return col >= 0 && col < cols() ? m_model->column(col).format : QString();
}

void FlexGrid::setColFormat(int col, const QString &format)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).format = format;
    m_model->columnChanged(col);
}

QVariant FlexGrid::colData(int col) const
{
    return col >= 0 && col < cols() ? m_model->column(col).data : QVariant();
}

void FlexGrid::setColData(int col, const QVariant &data)
{
    if (col >= 0 && col < cols())
        m_model->column(col).data = data;
}

void FlexGrid::setColPosition(int col, int position)
{
    if (col < fixedCols() || position < fixedCols() || col >= cols() || position >= cols())
        return;
    m_model->moveColumn(col, position);
}

bool FlexGrid::mergeCol(int col) const
{
    return col >= 0 && col < cols() && m_model->column(col).merge;
}

void FlexGrid::setMergeCol(int col, bool merge)
{
    if (col < 0 || col >= cols())
        return;
    m_model->column(col).merge = merge;
    m_model->columnChanged(col);
}

void FlexGrid::applyColumnGeometry()
{
    for (int c = 0; c < cols(); ++c)
        applyColumnGeometry(c);
    if (fixedCols() == 0)
        verticalHeader()->setHidden(true);
}

void FlexGrid::applyColumnGeometry(int col)
{
    if (fixedCols() > 0 && col == 0) {
        applyRowHeaderWidth();
        return;
    }
    const FlexGridModel::Column &c = m_model->column(col);
    const int mc = m_model->modelCol(col);
    if (mc < 0 || mc >= m_model->columnCount())
        return;
    QHeaderView *h = horizontalHeader();
    if (c.width >= 0) {
        const int px = twipsToPixels(c.width);
        if (c.hidden || px == 0) {
            h->setSectionHidden(mc, true);
        } else {
            h->setSectionHidden(mc, false);
            if (h->sectionSize(mc) != px)
                h->resizeSection(mc, px);
        }
    } else {
        h->setSectionHidden(mc, c.hidden);
    }
    if (isFrozenModelCol(mc)) {
        m_syncingFrozen = true;
        m_frozen->horizontalHeader()->setSectionHidden(mc, h->isSectionHidden(mc));
        if (!h->isSectionHidden(mc))
            m_frozen->horizontalHeader()->resizeSection(mc, h->sectionSize(mc));
        m_syncingFrozen = false;
        updateFrozenGeometry();
    }
}

void FlexGrid::applyRowHeaderWidth()
{
    QHeaderView *vh = verticalHeader();
    const FlexGridModel::Column &c = m_model->column(0);
    if (c.hidden || (c.width >= 0 && twipsToPixels(c.width) == 0)) {
        vh->setHidden(true);
        return;
    }
    vh->setHidden(false);
    if (c.width >= 0) {
        vh->setFixedWidth(twipsToPixels(c.width));
    } else {
        vh->setMinimumWidth(0);
        vh->setMaximumWidth(QWIDGETSIZE_MAX);
    }
    updateGeometries();
}

// --- rows ---------------------------------------------------------------------------

int FlexGrid::rowHeight(int row) const
{
    if (row < 0 || row >= rows())
        return 0;
    if (fixedRows() > 0 && row == 0)
        return m_headerHeight > 0 ? m_headerHeight : pixelsToTwips(horizontalHeader()->sizeHint().height());
    return pixelsToTwips(verticalHeader()->sectionSize(m_model->modelRow(row)));
}

void FlexGrid::setRowHeight(int row, int twips)
{
    twips = std::max(twips, m_rowHeightMin);
    const int px = std::max(1, twipsToPixels(twips));
    if (row == -1) {
        if (fixedRows() > 0) {
            m_headerHeight = twips;
            applyHeaderHeight();
        }
        verticalHeader()->setDefaultSectionSize(px);
        m_frozen->verticalHeader()->setDefaultSectionSize(px);
        return;
    }
    if (row < 0 || row >= rows())
        return;
    if (fixedRows() > 0 && row == 0) {
        m_headerHeight = twips;
        applyHeaderHeight();
        return;
    }
    const int mr = m_model->modelRow(row);
    if (verticalHeader()->sectionSize(mr) != px)
        verticalHeader()->resizeSection(mr, px);
}

int FlexGrid::rowHeightMin() const
{
    return m_rowHeightMin;
}

void FlexGrid::setRowHeightMin(int twips)
{
    m_rowHeightMin = std::max(0, twips);
    verticalHeader()->setMinimumSectionSize(std::max(1, twipsToPixels(m_rowHeightMin)));
    m_frozen->verticalHeader()->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
}

void FlexGrid::applyHeaderHeight()
{
    QHeaderView *hh = horizontalHeader();
    if (m_headerHeight > 0) {
        hh->setFixedHeight(std::max(1, twipsToPixels(m_headerHeight)));
    } else {
        hh->setMinimumHeight(0);
        hh->setMaximumHeight(QWIDGETSIZE_MAX);
    }
    updateGeometries();
}

// --- cells ----------------------------------------------------------------------------

QString FlexGrid::textMatrix(int row, int col) const
{
    return m_model->cellText(row, col);
}

void FlexGrid::setTextMatrix(int row, int col, const QString &text)
{
    m_model->setCellText(row, col, text);
}

QVariant FlexGrid::valueMatrix(int row, int col) const
{
    return m_model->cellValue(row, col);
}

QString FlexGrid::text() const
{
    return textMatrix(m_row, m_col);
}

void FlexGrid::setText(const QString &text)
{
    setTextMatrix(m_row, m_col, text);
}

FlexGrid::CheckState FlexGrid::cellChecked(int row, int col) const
{
    const FlexGridModel::Extra *e = m_model->extra(row, col);
    return e ? e->check : NoCheckbox;
}

void FlexGrid::setCellChecked(int row, int col, CheckState state)
{
    if (row < fixedRows() || row >= rows() || col < fixedCols() || col >= cols())
        return;
    m_model->extraRef(row, col).check = state;
    const QModelIndex i = m_model->index(m_model->modelRow(row), m_model->modelCol(col));
    emit m_model->dataChanged(i, i, {Qt::CheckStateRole});
}

QPixmap FlexGrid::cellPicture(int row, int col) const
{
    const FlexGridModel::Extra *e = m_model->extra(row, col);
    return e ? e->picture : QPixmap();
}

void FlexGrid::setCellPicture(int row, int col, const QPixmap &picture)
{
    if (row < fixedRows() || row >= rows() || col < fixedCols() || col >= cols())
        return;
    m_model->extraRef(row, col).picture = picture;
    const QModelIndex i = m_model->index(m_model->modelRow(row), m_model->modelCol(col));
    emit m_model->dataChanged(i, i, {Qt::DecorationRole});
}

int FlexGrid::findRow(const QString &text, int startRow, int col, bool caseSensitive) const
{
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int r = std::max(startRow, 0); r < rows(); ++r)
        if (textMatrix(r, col).compare(text, cs) == 0)
            return r;
    return -1;
}

QPair<int, int> FlexGrid::mergedRows(int row, int col) const
{
    int first = row;
    int last = row;
    while (m_delegate->mergesWithAbove(first, col))
        --first;
    while (m_delegate->mergesWithAbove(last + 1, col))
        ++last;
    return {first, last};
}

void FlexGrid::addItem(const QString &tabbedTexts, int row)
{
    m_model->insertRow(row, tabbedTexts.split(QLatin1Char('\t')));
}

void FlexGrid::removeItem(int row)
{
    m_model->removeRow(row);
}

void FlexGrid::clearData()
{
    m_model->clearData();
}

void FlexGrid::fillRowNumbers()
{
    m_model->fillRowNumbers();
}

// --- data ---------------------------------------------------------------------------------

FlexGrid::DataMode FlexGrid::dataMode() const
{
    return m_model->dataMode();
}

void FlexGrid::setDataMode(DataMode mode)
{
    m_model->setDataMode(mode);
    shapeChanged();
}

std::shared_ptr<ResultSet> FlexGrid::dataSource() const
{
    return m_model->source();
}

void FlexGrid::beginRefresh()
{
    emit beforeDataRefresh();
}

void FlexGrid::endRefresh()
{
    shapeChanged();
    const int mc = m_model->modelCol(m_model->sortColumn());
    if (isBound() && m_model->sortOrder() != SortNone && mc >= 0) {
        horizontalHeader()->setSortIndicatorShown(true);
        horizontalHeader()->setSortIndicator(mc, m_model->sortOrder() == SortAscending ? Qt::AscendingOrder
                                                                                       : Qt::DescendingOrder);
    } else {
        horizontalHeader()->setSortIndicatorShown(false);
    }
    emit afterDataRefresh();
}

void FlexGrid::setDataSource(std::shared_ptr<ResultSet> records)
{
    beginRefresh();
    m_model->bind(std::move(records));
    endRefresh();
}

void FlexGrid::refreshData()
{
    beginRefresh();
    m_model->reread();
    endRefresh();
}

bool FlexGrid::sortBound(int col, bool ascending)
{
    if (!isBound() || !dataSource())
        return false;
    // The order is made before the refresh starts, so a refused sort refreshes nothing.
    std::vector<qint64> order;
    if (!m_model->boundOrder(col, ascending, &order))
        return false;
    beginRefresh();
    m_model->setBoundOrder(col, ascending, std::move(order));
    endRefresh();
    emit afterSort(col, ascending ? SortAscending : SortDescending);
    return true;
}

void FlexGrid::sortFree(int col, SortOrder order)
{
    if (isBound() || order == SortNone)
        return;
    m_model->sortFree(col, order == SortAscending);
    emit afterSort(col, order);
}

qint64 FlexGrid::sourceRow(int row) const
{
    return m_model->sourceRow(row);
}

int FlexGrid::sortColumn() const
{
    return m_model->sortColumn();
}

FlexGrid::SortOrder FlexGrid::sortOrder() const
{
    return m_model->sortOrder();
}

// --- display ---------------------------------------------------------------------------------

bool FlexGrid::redraw() const
{
    return m_redraw;
}

void FlexGrid::setRedraw(bool on)
{
    if (on == m_redraw)
        return;
    m_redraw = on;
    viewport()->setUpdatesEnabled(on);
    horizontalHeader()->viewport()->setUpdatesEnabled(on);
    verticalHeader()->viewport()->setUpdatesEnabled(on);
    m_frozen->viewport()->setUpdatesEnabled(on);
    m_frozen->horizontalHeader()->viewport()->setUpdatesEnabled(on);
    if (on) {
        m_frozen->viewport()->update();
        m_frozen->horizontalHeader()->viewport()->update();
        viewport()->update();
        horizontalHeader()->viewport()->update();
        verticalHeader()->viewport()->update();
    }
}

FlexGrid::MergeMode FlexGrid::mergeCells() const
{
    return m_mergeMode;
}

void FlexGrid::setMergeCells(MergeMode mode)
{
    m_mergeMode = mode;
    viewport()->update();
    m_frozen->viewport()->update();
}

QString FlexGrid::toolTipText() const
{
    return m_toolTip;
}

void FlexGrid::setToolTipText(const QString &text)
{
    m_toolTip = text;
    setToolTip(text);
}

QColor FlexGrid::backColorSel() const
{
    return m_backColorSel;
}

void FlexGrid::setBackColorSel(const QColor &color)
{
    m_backColorSel = color;
    applyPalette();
}

QColor FlexGrid::foreColorSel() const
{
    return m_foreColorSel;
}

void FlexGrid::setForeColorSel(const QColor &color)
{
    m_foreColorSel = color;
    applyPalette();
}

void FlexGrid::applyPalette()
{
    QPalette p = palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Highlight, m_backColorSel);
        p.setColor(g, QPalette::HighlightedText, m_foreColorSel);
    }
    setPalette(p);
}

FlexGrid::Editable FlexGrid::editable() const
{
    return m_editable;
}

void FlexGrid::setEditable(Editable mode)
{
    m_editable = mode;
    switch (mode) {
    case EditNone:
        setEditTriggers(NoEditTriggers);
        break;
    case EditKbd:
        setEditTriggers(EditKeyPressed | AnyKeyPressed);
        break;
    case EditKbdMouse:
        setEditTriggers(EditKeyPressed | AnyKeyPressed | DoubleClicked | SelectedClicked);
        break;
    }
    m_frozen->setEditTriggers(editTriggers());
}

FlexGrid::SelectionStyle FlexGrid::selectionStyle() const
{
    return m_selectionStyle;
}

void FlexGrid::setSelectionStyle(SelectionStyle style)
{
    m_selectionStyle = style;
    setSelectionBehavior(style == SelectByRow ? SelectRows : style == SelectByColumn ? SelectColumns : SelectItems);
    m_frozen->setSelectionBehavior(selectionBehavior());
    syncViewCurrent();
}

QString FlexGrid::editText() const
{
    return m_editText;
}

bool FlexGrid::headerClickSorts() const
{
    return m_headerClickSorts;
}

void FlexGrid::setHeaderClickSorts(bool on)
{
    m_headerClickSorts = on;
}

// --- events ------------------------------------------------------------------------------------

QPoint FlexGrid::toGrid(QWidget *source, const QPoint &pos) const
{
    return source == this ? pos : source->mapTo(const_cast<FlexGrid *>(this), pos);
}

void FlexGrid::trackMouse(QWidget *source, const QPoint &pos)
{
    const QPoint p = toGrid(source, pos);
    m_mouseRow = rowAtPoint(p);
    m_mouseCol = colAtPoint(p);
}

bool FlexGrid::resizeHandleAt(QHeaderView *header, const QPoint &pos, int *section) const
{
    // The same test the header makes before it starts a drag.
    const int position = header->orientation() == Qt::Horizontal ? pos.x() : pos.y();
    int visual = header->visualIndexAt(position);
    if (visual == -1)
        return false;
    const int logical = header->logicalIndex(visual);
    const int start = header->sectionViewportPosition(logical);
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    bool atLeft = position < start + grip;
    bool atRight = position > start + header->sectionSize(logical) - grip;
    if (header->orientation() == Qt::Horizontal && header->isRightToLeft())
        std::swap(atLeft, atRight);
    if (atLeft) {
        while (visual > 0) {
            const int l = header->logicalIndex(--visual);
            if (!header->isSectionHidden(l)) {
                *section = l;
                return header->sectionResizeMode(l) == QHeaderView::Interactive;
            }
        }
        return false;
    }
    if (atRight) {
        *section = logical;
        return header->sectionResizeMode(logical) == QHeaderView::Interactive;
    }
    return false;
}

bool FlexGrid::frozenEvent(QObject *watched, QEvent *event)
{
    // Mouse events in the frozen cells are the grid's own, as in its viewport.
    auto *source = static_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::MouseMove:
        trackMouse(source, static_cast<QMouseEvent *>(event)->position().toPoint());
        return false;
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = me->position().toPoint();
        trackMouse(source, pos);
        emit mouseDown(me->button(), me->modifiers(), toGrid(source, pos));
        deliver(watched, event);
        if (me->button() == Qt::LeftButton && m_editable != EditNone && m_mouseRow == m_row && m_mouseCol == m_col &&
            cellChecked(m_row, m_col) != NoCheckbox)
            toggleCheck(m_row, m_col);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = me->position().toPoint();
        trackMouse(source, pos);
        deliver(watched, event);
        emit mouseUp(me->button(), me->modifiers(), toGrid(source, pos));
        return true;
    }
    case QEvent::MouseButtonDblClick:
        trackMouse(source, static_cast<QMouseEvent *>(event)->position().toPoint());
        deliver(watched, event);
        emit dblClick();
        return true;
    default:
        return false;
    }
}

bool FlexGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_delivering && m_frozen && watched == m_frozen->viewport())
        return frozenEvent(watched, event) || QTableView::eventFilter(watched, event);
    QWidget *hv = horizontalHeader()->viewport();
    QWidget *fhv = m_frozen ? m_frozen->horizontalHeader()->viewport() : nullptr;
    QWidget *vv = verticalHeader()->viewport();
    auto *corner = qobject_cast<QAbstractButton *>(watched);
    const bool isCorner = corner && corner->parent() == this;
    if (m_delivering || (watched != hv && watched != vv && watched != fhv && !isCorner))
        return QTableView::eventFilter(watched, event);

    auto *source = static_cast<QWidget *>(watched);
    QHeaderView *header = watched == hv    ? horizontalHeader()
                          : watched == fhv ? m_frozen->horizontalHeader()
                          : watched == vv  ? verticalHeader()
                                           : nullptr;
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto *me = static_cast<QMouseEvent *>(event);
        trackMouse(source, me->position().toPoint());
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = me->position().toPoint();
        trackMouse(source, pos);
        int section = -1;
        if (header && me->button() == Qt::LeftButton && resizeHandleAt(header, pos, &section)) {
            const bool rowResize = header == verticalHeader();
            const int r = rowResize ? m_model->gridRow(section) : -1;
            const int c = rowResize ? -1 : m_model->gridCol(section);
            bool cancel = false;
            emit beforeUserResize(r, c, &cancel);
            if (cancel)
                return true;
            m_resizeHeader = header;
            m_resizeSection = section;
            m_resizeStart = header->sectionSize(section);
            if (event->type() == QEvent::MouseButtonDblClick) {
                // A double click on a border sizes the column to its contents.
                deliver(watched, event);
                finishUserResize();
                return true;
            }
            emit mouseDown(me->button(), me->modifiers(), toGrid(source, pos));
            return false;
        }
        if (event->type() == QEvent::MouseButtonDblClick)
            emit dblClick();
        else
            emit mouseDown(me->button(), me->modifiers(), toGrid(source, pos));
        return isCorner; // the corner must not select the whole grid
    }
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = me->position().toPoint();
        trackMouse(source, pos);
        if (!isCorner)
            deliver(watched, event);
        const bool resized = header && header == m_resizeHeader;
        if (resized)
            finishUserResize();
        emit mouseUp(me->button(), me->modifiers(), toGrid(source, pos));
        const bool columnHeader = header && header != verticalHeader();
        if (!resized && columnHeader && me->button() == Qt::LeftButton && m_headerClickSorts && !isBound() &&
            m_mouseRow == 0 && m_mouseCol >= fixedCols()) {
            const bool again = m_model->sortColumn() == m_mouseCol && m_model->sortOrder() == SortAscending;
            sortFree(m_mouseCol, again ? SortDescending : SortAscending);
        }
        return true;
    }
    default:
        break;
    }
    return QTableView::eventFilter(watched, event);
}

void FlexGrid::deliver(QObject *receiver, QEvent *event)
{
    m_delivering = true;
    QCoreApplication::sendEvent(receiver, event);
    m_delivering = false;
}

void FlexGrid::finishUserResize()
{
    QHeaderView *header = m_resizeHeader;
    const int section = m_resizeSection;
    m_resizeHeader = nullptr;
    m_resizeSection = -1;
    if (!header || section < 0 || header->sectionSize(section) == m_resizeStart)
        return;
    if (header == verticalHeader())
        emit afterUserResize(m_model->gridRow(section), -1);
    else
        emit afterUserResize(-1, m_model->gridCol(section));
}

void FlexGrid::mousePressEvent(QMouseEvent *event)
{
    trackMouse(viewport(), event->position().toPoint());
    emit mouseDown(event->button(), event->modifiers(), toGrid(viewport(), event->position().toPoint()));
    QTableView::mousePressEvent(event);
    // A click on a check box cell of an editable grid ticks or clears it.
    if (event->button() == Qt::LeftButton && m_editable != EditNone && m_mouseRow == m_row && m_mouseCol == m_col &&
        cellChecked(m_row, m_col) != NoCheckbox)
        toggleCheck(m_row, m_col);
}

void FlexGrid::mouseReleaseEvent(QMouseEvent *event)
{
    trackMouse(viewport(), event->position().toPoint());
    QTableView::mouseReleaseEvent(event);
    emit mouseUp(event->button(), event->modifiers(), toGrid(viewport(), event->position().toPoint()));
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    trackMouse(viewport(), event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    emit dblClick();
}

void FlexGrid::mouseMoveEvent(QMouseEvent *event)
{
    trackMouse(viewport(), event->position().toPoint());
    QTableView::mouseMoveEvent(event);
}

void FlexGrid::keyPressEvent(QKeyEvent *event)
{
    emit keyDown(event->key(), event->modifiers());
    if (event->matches(QKeySequence::Copy)) {
        // Copying is the owner's business (the grid wrapper copies the current cell).
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && m_editable != EditNone && cellChecked(m_row, m_col) != NoCheckbox) {
        toggleCheck(m_row, m_col);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void FlexGrid::keyReleaseEvent(QKeyEvent *event)
{
    emit keyUp(event->key(), event->modifiers());
    QTableView::keyReleaseEvent(event);
}

void FlexGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    emit gotFocus();
}

void FlexGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    emit lostFocus();
}

bool FlexGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (m_editable == EditNone || !index.isValid())
        return false;
    if (!(trigger & editTriggers()) || (state() == EditingState && index == currentIndex()))
        return QTableView::edit(index, trigger, event);
    const int row = m_model->gridRow(index.row());
    const int col = m_model->gridCol(index.column());
    if (cellChecked(row, col) != NoCheckbox)
        return false; // check boxes toggle, they have no editor
    bool cancel = false;
    emit beforeEdit(row, col, &cancel);
    if (cancel)
        return false;
    // A frozen cell is edited where it is seen.
    if (isFrozenModelCol(index.column()) && m_frozen->isVisible())
        return m_frozen->openEditor(index, trigger, event);
    return QTableView::edit(index, trigger, event);
}

void FlexGrid::toggleCheck(int row, int col)
{
    bool cancel = false;
    emit beforeEdit(row, col, &cancel);
    if (cancel)
        return;
    const CheckState next = cellChecked(row, col) == Checked ? Unchecked : Checked;
    m_editText = next == Checked ? QStringLiteral("1") : QStringLiteral("0");
    emit validateEdit(row, col, &cancel);
    if (cancel)
        return;
    setCellChecked(row, col, next);
    emit afterEdit(row, col);
}

bool FlexGrid::validateEditorText(int row, int col, const QString &text)
{
    m_editText = text;
    bool cancel = false;
    emit validateEdit(row, col, &cancel);
    return !cancel;
}
