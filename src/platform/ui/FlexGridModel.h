#pragma once

#include "platform/ui/FlexGrid.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPixmap>

#include <memory>
#include <vector>

class ResultSet;

// The storage behind a FlexGrid. Model rows and columns are the grid's data
// rows and columns plus any fixed column beyond the row header; the fixed row
// and the fixed column are served as header data.
//
// Bound data is read from the result set as it is drawn: a cell's text is made
// only when the view asks for it, the row header's numbers are computed, and a
// sort is a permutation of source rows. Free data is stored as texts per row.
class FlexGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        int field = -1; // bound: field of the result set, -1 for none
        QString header; // free mode, or set over a bound field's name
        bool headerSet = false;
        QString key;
        bool keySet = false;
        int width = -1; // twips, -1 for the default
        int align = FlexGrid::kGeneralAlignment;
        int fixedAlign = FlexGrid::kGeneralAlignment;
        bool hidden = false;
        QString format;
        QVariant data;
        bool merge = false;
    };
    struct Extra
    {
        FlexGrid::CheckState check = FlexGrid::NoCheckbox;
        QPixmap picture;
        QString text; // unbound column of a bound grid
    };

    explicit FlexGridModel(FlexGrid *grid);
    ~FlexGridModel() override;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // Grid coordinates.
    int gridRows() const;
    int gridCols() const { return int(m_columns.size()); }
    int fixedRows() const { return m_fixedRows; }
    int fixedCols() const { return m_fixedCols; }
    int gridRow(int modelRow) const { return modelRow + (m_fixedRows > 0 ? 1 : 0); }
    int gridCol(int modelCol) const { return modelCol + (m_fixedCols > 0 ? 1 : 0); }
    int modelRow(int gridRow) const { return gridRow - (m_fixedRows > 0 ? 1 : 0); }
    int modelCol(int gridCol) const { return gridCol - (m_fixedCols > 0 ? 1 : 0); }

    void setGridRows(int rows);
    void setGridCols(int cols);
    void setFixedRows(int n);
    void setFixedCols(int n);

    const Column &column(int col) const { return m_columns.at(col); }
    Column &column(int col) { return m_columns[col]; }
    void moveColumn(int from, int to);
    void columnChanged(int col); // repaint after a property change

    QString cellText(int row, int col) const;
    QString displayText(int row, int col) const; // with the column's format
    QVariant cellValue(int row, int col) const;
    void setCellText(int row, int col, const QString &text);
    const Extra *extra(int row, int col) const;
    Extra &extraRef(int row, int col);
    bool equalsAbove(int row, int col) const; // merge test against the row above

    void insertRow(int row, const QStringList &texts);
    void removeRow(int row);
    void clearData();

    FlexGrid::DataMode dataMode() const { return m_mode; }
    void setDataMode(FlexGrid::DataMode mode);
    std::shared_ptr<ResultSet> source() const { return m_source; }
    void bind(std::shared_ptr<ResultSet> records);
    void reread();
    qint64 sourceRow(int gridRow) const;
    bool sortBound(int col, bool ascending);
    // The grid-row order a sort by col gives, computed without touching the
    // grid; false for raw bytes or a column without a field.
    bool boundOrder(int col, bool ascending, std::vector<qint64> *order) const;
    void setBoundOrder(int col, bool ascending, std::vector<qint64> order);
    void sortFree(int col, bool ascending);
    int sortColumn() const { return m_sortCol; }
    FlexGrid::SortOrder sortOrder() const { return m_sortOrder; }

    // Row header (fixed column 0): bound rows show their number unless a text
    // was written into the cell.
    void fillRowNumbers();

private:
    struct FreeRow
    {
        QList<QString> texts;     // by grid column
        QHash<int, Extra> extras; // by grid column
    };

    bool isDataRow(int row) const { return row >= (m_fixedRows > 0 ? 1 : 0) && row < gridRows(); }
    void resetColumnsToSource();
    QString rowNumberText(int row) const;
    void emitCell(int row, int col);

    FlexGrid *m_grid;
    FlexGrid::DataMode m_mode = FlexGrid::Free;
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    QList<Column> m_columns;
    // free data
    QList<FreeRow> m_freeRows; // data rows and any row beyond the header
    // bound data
    std::shared_ptr<ResultSet> m_source;
    std::vector<qint64> m_order;                    // grid data row -> source row; empty means source order
    QHash<qint64, QHash<int, Extra>> m_boundExtras; // by source row, then grid column
    QHash<int, QString> m_rowHeaderTexts;           // by grid row
    int m_sortCol = -1;
    FlexGrid::SortOrder m_sortOrder = FlexGrid::SortNone;
};
