#include "platform/ui/FlexGridModel.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

namespace {

Qt::Alignment alignmentFor(int code, bool number)
{
    switch (code) {
    case 0:
        return Qt::AlignLeft | Qt::AlignTop;
    case 1:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case 2:
        return Qt::AlignLeft | Qt::AlignBottom;
    case 3:
        return Qt::AlignHCenter | Qt::AlignTop;
    case 4:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case 5:
        return Qt::AlignHCenter | Qt::AlignBottom;
    case 6:
        return Qt::AlignRight | Qt::AlignTop;
    case 7:
        return Qt::AlignRight | Qt::AlignVCenter;
    case 8:
        return Qt::AlignRight | Qt::AlignBottom;
    default:
        return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    }
}

bool isNumberType(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

// "0.00", "#,##0.00", "0" and the like: decimals after the point, grouping
// when a comma appears before it. Other formats leave the text alone.
QString applyFormat(const QString &format, const QString &text)
{
    if (format.isEmpty() || text.isEmpty())
        return text;
    static const QRegularExpression numeric(QStringLiteral("^[#0,]*(\\.[0#]+)?$"));
    if (!numeric.match(format).hasMatch())
        return text;
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok)
        return text;
    const int dot = format.indexOf(QLatin1Char('.'));
    const int decimals = dot < 0 ? 0 : int(format.size() - dot - 1);
    QString out = QString::number(v, 'f', decimals);
    if (format.left(dot < 0 ? format.size() : dot).contains(QLatin1Char(','))) {
        QLocale c(QLocale::C);
        c.setNumberOptions(QLocale::DefaultNumberOptions);
        out = c.toString(v, 'f', decimals);
    }
    return out;
}

// Sort kinds, in their order: empty, number, date, text.
enum SortKind : quint32 { EmptyKind = 0, NumberKind = 1, DateKind = 2, TextKind = 3 };

// The stable order of many values by kind, then by value within the kind
// (numbers and dates by value, texts case-folded). No text is compared while
// the rows are sorted: equal folded texts share one rank, the few distinct
// texts are ranked once, and the rows are sorted by two integers, kind and
// value, in a way that keeps equal values in source order.
class RowOrder
{
public:
    explicit RowOrder(size_t rows) { m_entries.reserve(rows); }

    void addEmpty() { push(EmptyKind, 0); }
    void addNumber(SortKind kind, double number)
    {
        if (number == 0)
            number = 0; // -0 and 0 are one value
        quint64 bits;
        std::memcpy(&bits, &number, sizeof bits);
        // Doubles ordered as unsigned integers: negatives reversed, below the positives.
        constexpr quint64 sign = quint64(1) << 63;
        push(kind, (bits & sign) ? ~bits : bits | sign);
    }
    // A text already case-folded.
    void addFolded(const QString &folded)
    {
        const qsizetype before = m_ids.size();
        quint32 &id = m_ids[folded];
        if (m_ids.size() != before) {
            id = quint32(m_texts.size());
            m_texts.push_back(folded);
        }
        push(TextKind, id);
    }
    void addValue(const QVariant &v)
    {
        if (v.isNull() || !v.isValid()) {
            addEmpty();
        } else if (isNumberType(v) || v.typeId() == QMetaType::Bool) {
            addNumber(NumberKind, v.toDouble());
        } else if (v.typeId() == QMetaType::QDate) {
            addNumber(DateKind, double(v.toDate().toJulianDay()) * 86400000.0);
        } else if (v.typeId() == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            addNumber(DateKind, double(dt.date().toJulianDay()) * 86400000.0 + dt.time().msecsSinceStartOfDay());
        } else {
            addFolded(v.toString().toCaseFolded());
        }
    }
    // A free grid's cell: numbers are texts that read as one.
    void addText(const QString &text)
    {
        if (text.isEmpty()) {
            addEmpty();
            return;
        }
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (ok)
            addNumber(NumberKind, v);
        else
            addFolded(text.toCaseFolded());
    }

    // Positions of the values added, in sorted order.
    std::vector<qint64> order(bool ascending)
    {
        if (!m_texts.empty()) {
            std::vector<quint32> byText(m_texts.size());
            std::iota(byText.begin(), byText.end(), quint32(0));
            std::sort(byText.begin(), byText.end(), [&](quint32 a, quint32 b) {
                return m_texts[a].compare(m_texts[b], Qt::CaseSensitive) < 0; // folded already
            });
            std::vector<quint32> rank(m_texts.size());
            for (size_t i = 0; i < byText.size(); ++i)
                rank[byText[i]] = quint32(i);
            for (Entry &e : m_entries) {
                if (e.kind == TextKind)
                    e.value = rank[size_t(e.value)];
            }
        }
        // Descending is the reversed comparison; equal values still keep source order.
        if (!ascending) {
            for (Entry &e : m_entries) {
                e.kind = TextKind - e.kind;
                e.value = ~e.value;
            }
        }
        sortByKey();
        std::vector<qint64> out(m_entries.size());
        for (size_t i = 0; i < m_entries.size(); ++i)
            out[i] = qint64(m_entries[i].row);
        return out;
    }

private:
    struct Entry
    {
        quint64 value;
        quint32 row;
        quint32 kind;
    };
    void push(SortKind kind, quint64 value) { m_entries.push_back({value, quint32(m_entries.size()), kind}); }

    // By kind, then value: a radix sort from the lowest byte up, which keeps
    // entries of one key in the order they were added (the rows' order).
    // Bytes that every entry shares are passed over, so ranks of a few
    // thousand texts take two passes.
    void sortByKey()
    {
        constexpr int kBytes = 9; // eight of the value, then the kind
        const auto byteOf = [](const Entry &e, int b) {
            return b < 8 ? unsigned(e.value >> (8 * b)) & 0xffu : unsigned(e.kind);
        };
        std::vector<std::array<size_t, 256>> counts(kBytes);
        for (auto &c : counts)
            c.fill(0);
        for (const Entry &e : m_entries) {
            for (int b = 0; b < kBytes; ++b)
                ++counts[size_t(b)][byteOf(e, b)];
        }
        std::vector<Entry> spare(m_entries.size());
        for (int b = 0; b < kBytes; ++b) {
            std::array<size_t, 256> &count = counts[size_t(b)];
            if (std::find(count.begin(), count.end(), m_entries.size()) != count.end())
                continue; // one byte value for all: nothing moves
            size_t at = 0;
            for (size_t &c : count)
                at += std::exchange(c, at);
            for (const Entry &e : m_entries)
                spare[count[byteOf(e, b)]++] = e;
            m_entries.swap(spare);
        }
    }

    std::vector<Entry> m_entries;
    QHash<QString, quint32> m_ids;
    std::vector<QString> m_texts;
};

// Whether a free grid's text reads as a number (for the general alignment).
bool textIsNumber(const QString &text)
{
    if (text.isEmpty())
        return false;
    bool ok = false;
    text.trimmed().toDouble(&ok);
    return ok;
}

} // namespace

FlexGridModel::FlexGridModel(FlexGrid *grid) : QAbstractTableModel(grid), m_grid(grid)
{
    // A new grid has its header row and row-number column and one data column.
    m_columns.resize(2);
}

FlexGridModel::~FlexGridModel() = default;

int FlexGridModel::gridRows() const
{
    const int fixed = m_fixedRows > 0 ? 1 : 0;
    if (m_mode != FlexGrid::Free) {
        const qint64 n = m_source ? m_source->rowCount() : 0;
        return fixed + int(std::min<qint64>(n, std::numeric_limits<int>::max() - 1));
    }
    return fixed + int(m_freeRows.size());
}

int FlexGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return gridRows() - (m_fixedRows > 0 ? 1 : 0);
}

int FlexGridModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return std::max(0, gridCols() - (m_fixedCols > 0 ? 1 : 0));
}

QVariant FlexGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = gridRow(index.row());
    const int col = gridCol(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return displayText(row, col);
    case Qt::EditRole:
        return cellText(row, col);
    case Qt::TextAlignmentRole: {
        const Column &c = m_columns.at(col);
        bool number = false;
        if (c.align == FlexGrid::kGeneralAlignment) {
            if (m_mode != FlexGrid::Free && c.field >= 0)
                number = isNumberType(cellValue(row, col));
            else
                number = textIsNumber(cellText(row, col));
        }
        return QVariant::fromValue(alignmentFor(c.align, number));
    }
    case Qt::CheckStateRole:
        if (const Extra *e = extra(row, col); e && e->check != FlexGrid::NoCheckbox)
            return e->check == FlexGrid::Checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        if (const Extra *e = extra(row, col); e && !e->picture.isNull())
            return e->picture;
        return {};
    case Qt::ToolTipRole:
        return m_grid->toolTipText().isEmpty() ? QVariant() : QVariant(m_grid->toolTipText());
    default:
        return {};
    }
}

QVariant FlexGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const int col = gridCol(section);
        if (col < 0 || col >= gridCols() || m_fixedRows == 0)
            return {};
        if (role == Qt::DisplayRole)
            return cellText(0, col);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(alignmentFor(m_columns.at(col).fixedAlign, false));
    } else {
        const int row = gridRow(section);
        if (m_fixedCols == 0 || row < 0 || row >= gridRows())
            return {};
        if (role == Qt::DisplayRole)
            return cellText(row, 0);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(alignmentFor(m_columns.at(0).align, false));
    }
    if (role == Qt::ToolTipRole && !m_grid->toolTipText().isEmpty())
        return m_grid->toolTipText();
    return {};
}

Qt::ItemFlags FlexGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_grid->editable() != FlexGrid::EditNone)
        f |= Qt::ItemIsEditable;
    return f;
}

bool FlexGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    setCellText(gridRow(index.row()), gridCol(index.column()), value.toString());
    return true;
}

void FlexGridModel::setGridRows(int rows)
{
    if (m_mode != FlexGrid::Free)
        return; // a bound grid has the rows of its source
    const int fixed = m_fixedRows > 0 ? 1 : 0;
    const int want = std::max(0, rows - fixed); // the header row stays
    const int have = int(m_freeRows.size());
    if (want > have) {
        beginInsertRows({}, have, want - 1);
        m_freeRows.resize(want);
        for (int i = have; i < want; ++i)
            m_freeRows[i].texts.resize(gridCols());
        endInsertRows();
    } else if (want < have) {
        beginRemoveRows({}, want, have - 1);
        m_freeRows.resize(want);
        endRemoveRows();
    }
}

void FlexGridModel::setGridCols(int cols)
{
    cols = std::max(0, cols);
    const int have = gridCols();
    if (cols == have)
        return;
    const int fixed = m_fixedCols > 0 ? 1 : 0;
    if (cols > have) {
        const int first = std::max(have, fixed) - fixed;
        const int last = cols - fixed - 1;
        if (last >= first)
            beginInsertColumns({}, first, last);
        m_columns.resize(cols);
        for (FreeRow &r : m_freeRows)
            r.texts.resize(cols);
        if (m_mode != FlexGrid::Free && m_source) {
            // New columns of a bound grid take the fields not shown yet, in order.
            QList<bool> used(m_source->columnCount(), false);
            for (int c = 0; c < have; ++c)
                if (m_columns[c].field >= 0 && m_columns[c].field < used.size())
                    used[m_columns[c].field] = true;
            for (int c = std::max(have, fixed); c < cols; ++c) {
                const int f = c - fixed;
                m_columns[c].field = (f < used.size() && !used[f]) ? f : -1;
                if (m_columns[c].field >= 0)
                    used[f] = true;
            }
        }
        if (last >= first)
            endInsertColumns();
    } else {
        const int first = std::max(cols, fixed) - fixed;
        const int last = have - fixed - 1;
        if (last >= first)
            beginRemoveColumns({}, first, last);
        m_columns.resize(cols);
        for (FreeRow &r : m_freeRows) {
            r.texts.resize(cols);
            for (auto it = r.extras.begin(); it != r.extras.end();)
                it = it.key() >= cols ? r.extras.erase(it) : std::next(it);
        }
        if (last >= first)
            endRemoveColumns();
    }
}

void FlexGridModel::setFixedRows(int n)
{
    n = std::clamp(n, 0, 1);
    if (n == m_fixedRows)
        return;
    beginResetModel();
    if (m_mode == FlexGrid::Free) {
        if (n == 0) {
            // The header row becomes the first data row.
            FreeRow r;
            r.texts.resize(gridCols());
            for (int c = 0; c < gridCols(); ++c)
                r.texts[c] = m_columns[c].header;
            m_freeRows.prepend(r);
        } else if (!m_freeRows.isEmpty()) {
            const FreeRow first = m_freeRows.takeFirst();
            for (int c = 0; c < gridCols() && c < first.texts.size(); ++c)
                m_columns[c].header = first.texts[c];
        }
    }
    m_fixedRows = n;
    endResetModel();
}

void FlexGridModel::setFixedCols(int n)
{
    n = std::clamp(n, 0, 1);
    if (n == m_fixedCols)
        return;
    beginResetModel();
    m_fixedCols = n;
    if (m_columns.isEmpty() && n > 0)
        m_columns.resize(1);
    endResetModel();
}

void FlexGridModel::moveColumn(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= gridCols() || to >= gridCols())
        return;
    beginResetModel();
    m_columns.move(from, to);
    for (FreeRow &r : m_freeRows) {
        r.texts.move(from, to);
        if (!r.extras.isEmpty()) {
            QHash<int, Extra> moved;
            for (auto it = r.extras.cbegin(); it != r.extras.cend(); ++it) {
                int c = it.key();
                if (c == from)
                    c = to;
                else if (from < to && c > from && c <= to)
                    --c;
                else if (from > to && c >= to && c < from)
                    ++c;
                moved.insert(c, it.value());
            }
            r.extras = moved;
        }
    }
    for (auto &perRow : m_boundExtras) {
        QHash<int, Extra> moved;
        for (auto it = perRow.cbegin(); it != perRow.cend(); ++it) {
            int c = it.key();
            if (c == from)
                c = to;
            else if (from < to && c > from && c <= to)
                --c;
            else if (from > to && c >= to && c < from)
                ++c;
            moved.insert(c, it.value());
        }
        perRow = moved;
    }
    endResetModel();
}

void FlexGridModel::columnChanged(int col)
{
    if (col < 0 || col >= gridCols())
        return;
    if (col < (m_fixedCols > 0 ? 1 : 0)) {
        if (rowCount() > 0)
            emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
        return;
    }
    const int mc = modelCol(col);
    emit headerDataChanged(Qt::Horizontal, mc, mc);
    if (rowCount() > 0)
        emit dataChanged(index(0, mc), index(rowCount() - 1, mc));
}

QString FlexGridModel::rowNumberText(int row) const
{
    return QString::number(row - (m_fixedRows > 0 ? 1 : 0) + 1);
}

QString FlexGridModel::cellText(int row, int col) const
{
    if (row < 0 || col < 0 || row >= gridRows() || col >= gridCols())
        return {};
    const bool headerRow = m_fixedRows > 0 && row == 0;
    const bool headerCol = m_fixedCols > 0 && col == 0;
    if (headerRow) {
        const Column &c = m_columns.at(col);
        if (m_mode != FlexGrid::Free && !c.headerSet && c.field >= 0 && m_source)
            return m_source->columns().value(c.field);
        return c.header;
    }
    if (m_mode == FlexGrid::Free)
        return m_freeRows.at(row - (m_fixedRows > 0 ? 1 : 0)).texts.value(col);
    if (headerCol) {
        const auto it = m_rowHeaderTexts.constFind(row);
        return it != m_rowHeaderTexts.cend() ? it.value() : rowNumberText(row);
    }
    const Column &c = m_columns.at(col);
    const qint64 src = sourceRow(row);
    if (c.field >= 0 && m_source && c.field < m_source->columnCount())
        return valueText(m_source->value(src, c.field));
    const Extra *e = extra(row, col);
    return e ? e->text : QString();
}

QString FlexGridModel::displayText(int row, int col) const
{
    const Column &c = m_columns.at(col);
    return c.format.isEmpty() ? cellText(row, col) : applyFormat(c.format, cellText(row, col));
}

QVariant FlexGridModel::cellValue(int row, int col) const
{
    if (m_mode != FlexGrid::Free && isDataRow(row) && col >= 0 && col < gridCols()) {
        const Column &c = m_columns.at(col);
        if (c.field >= 0 && m_source && c.field < m_source->columnCount())
            return m_source->value(sourceRow(row), c.field);
    }
    return cellText(row, col);
}

void FlexGridModel::emitCell(int row, int col)
{
    const bool headerRow = m_fixedRows > 0 && row == 0;
    const bool headerCol = m_fixedCols > 0 && col == 0;
    if (headerRow) {
        if (!headerCol)
            emit headerDataChanged(Qt::Horizontal, modelCol(col), modelCol(col));
    } else if (headerCol) {
        emit headerDataChanged(Qt::Vertical, modelRow(row), modelRow(row));
    } else {
        const QModelIndex i = index(modelRow(row), modelCol(col));
        emit dataChanged(i, i);
    }
}

void FlexGridModel::setCellText(int row, int col, const QString &text)
{
    if (row < 0 || col < 0 || row >= gridRows() || col >= gridCols())
        return;
    const bool headerRow = m_fixedRows > 0 && row == 0;
    const bool headerCol = m_fixedCols > 0 && col == 0;
    if (headerRow) {
        m_columns[col].header = text;
        m_columns[col].headerSet = true;
    } else if (m_mode == FlexGrid::Free) {
        m_freeRows[row - (m_fixedRows > 0 ? 1 : 0)].texts[col] = text;
    } else if (headerCol) {
        // A row's own number needs no storage: it is what the header shows anyway.
        if (text == rowNumberText(row))
            m_rowHeaderTexts.remove(row);
        else
            m_rowHeaderTexts.insert(row, text);
    } else {
        const Column &c = m_columns.at(col);
        if (c.field >= 0 && m_source && c.field < m_source->columnCount()) {
            QVariant &v = m_source->rows()[sourceRow(row)][c.field];
            bool ok = false;
            if (isNumberType(v)) {
                const double d = text.trimmed().toDouble(&ok);
                if (ok)
                    v = (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float || d != qint64(d))
                            ? QVariant(d)
                            : QVariant(qint64(d));
            }
            if (!ok)
                v = text;
        } else {
            extraRef(row, col).text = text;
        }
    }
    emitCell(row, col);
}

const FlexGridModel::Extra *FlexGridModel::extra(int row, int col) const
{
    if (!isDataRow(row))
        return nullptr;
    if (m_mode == FlexGrid::Free) {
        const FreeRow &r = m_freeRows.at(row - (m_fixedRows > 0 ? 1 : 0));
        const auto it = r.extras.constFind(col);
        return it == r.extras.cend() ? nullptr : &it.value();
    }
    const auto rit = m_boundExtras.constFind(sourceRow(row));
    if (rit == m_boundExtras.cend())
        return nullptr;
    const auto it = rit->constFind(col);
    return it == rit->cend() ? nullptr : &it.value();
}

FlexGridModel::Extra &FlexGridModel::extraRef(int row, int col)
{
    if (m_mode == FlexGrid::Free)
        return m_freeRows[row - (m_fixedRows > 0 ? 1 : 0)].extras[col];
    return m_boundExtras[sourceRow(row)][col];
}

bool FlexGridModel::equalsAbove(int row, int col) const
{
    const int first = m_fixedRows > 0 ? 1 : 0;
    if (row <= first || row >= gridRows())
        return false;
    return cellText(row, col) == cellText(row - 1, col);
}

void FlexGridModel::insertRow(int row, const QStringList &texts)
{
    if (m_mode != FlexGrid::Free)
        return;
    const int fixed = m_fixedRows > 0 ? 1 : 0;
    int at = row < fixed || row > gridRows() ? int(m_freeRows.size()) : row - fixed;
    if (row < 0)
        at = int(m_freeRows.size());
    FreeRow r;
    r.texts.resize(gridCols());
    for (int c = 0; c < gridCols() && c < texts.size(); ++c)
        r.texts[c] = texts.at(c);
    beginInsertRows({}, at, at);
    m_freeRows.insert(at, r);
    endInsertRows();
}

void FlexGridModel::removeRow(int row)
{
    if (m_mode != FlexGrid::Free || !isDataRow(row))
        return;
    const int at = row - (m_fixedRows > 0 ? 1 : 0);
    beginRemoveRows({}, at, at);
    m_freeRows.removeAt(at);
    endRemoveRows();
}

void FlexGridModel::clearData()
{
    if (m_mode != FlexGrid::Free)
        return;
    for (FreeRow &r : m_freeRows) {
        std::fill(r.texts.begin(), r.texts.end(), QString());
        r.extras.clear();
    }
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    if (rowCount() > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

void FlexGridModel::setDataMode(FlexGrid::DataMode mode)
{
    if (mode == m_mode)
        return;
    beginResetModel();
    const bool wasFree = m_mode == FlexGrid::Free;
    m_mode = mode;
    if (wasFree && mode != FlexGrid::Free) {
        m_freeRows.clear();
        resetColumnsToSource();
    } else if (!wasFree && mode == FlexGrid::Free) {
        // Leaving bound mode keeps nothing of the source but the headers.
        for (int c = 0; c < gridCols(); ++c) {
            Column &col = m_columns[c];
            if (!col.headerSet && col.field >= 0 && m_source)
                col.header = m_source->columns().value(col.field);
            col.field = -1;
        }
        m_boundExtras.clear();
        m_rowHeaderTexts.clear();
        m_order.clear();
    }
    endResetModel();
}

void FlexGridModel::resetColumnsToSource()
{
    const int fixed = m_fixedCols > 0 ? 1 : 0;
    const int fields = m_source ? m_source->columnCount() : 0;
    m_columns.resize(fixed + fields);
    for (int c = 0; c < m_columns.size(); ++c) {
        Column &col = m_columns[c];
        col.field = c >= fixed ? c - fixed : -1;
        col.headerSet = false;
        col.header.clear();
        col.keySet = false;
        col.key.clear();
    }
    if (fixed)
        m_columns[0].headerSet = true;
}

void FlexGridModel::bind(std::shared_ptr<ResultSet> records)
{
    beginResetModel();
    m_source = std::move(records);
    m_order.clear();
    m_boundExtras.clear();
    m_rowHeaderTexts.clear();
    m_sortCol = -1;
    m_sortOrder = FlexGrid::SortNone;
    if (m_mode == FlexGrid::Free) {
        // Free mode takes a copy of the texts.
        const int fixed = m_fixedCols > 0 ? 1 : 0;
        const int fields = m_source ? m_source->columnCount() : 0;
        m_columns.resize(fixed + fields);
        for (int f = 0; f < fields; ++f) {
            m_columns[fixed + f].header = m_source->columns().at(f);
            m_columns[fixed + f].key = m_source->columns().at(f);
            m_columns[fixed + f].keySet = true;
            m_columns[fixed + f].field = -1;
        }
        m_freeRows.clear();
        const qint64 n = m_source ? m_source->rowCount() : 0;
        m_freeRows.resize(int(n));
        for (qint64 r = 0; r < n; ++r) {
            FreeRow &row = m_freeRows[int(r)];
            row.texts.resize(fixed + fields);
            if (fixed)
                row.texts[0] = QString();
            for (int f = 0; f < fields; ++f)
                row.texts[fixed + f] = m_source->text(r, f);
        }
    } else {
        resetColumnsToSource();
    }
    endResetModel();
}

void FlexGridModel::reread()
{
    beginResetModel();
    const qint64 n = m_source ? m_source->rowCount() : 0;
    if (!m_order.empty() && qint64(m_order.size()) != n)
        m_order.clear();
    m_rowHeaderTexts.clear();
    endResetModel();
}

qint64 FlexGridModel::sourceRow(int gridRow) const
{
    if (m_mode == FlexGrid::Free || !isDataRow(gridRow))
        return -1;
    const int i = gridRow - (m_fixedRows > 0 ? 1 : 0);
    return m_order.empty() ? qint64(i) : m_order[size_t(i)];
}

bool FlexGridModel::boundOrder(int col, bool ascending, std::vector<qint64> *order) const
{
    if (m_mode == FlexGrid::Free || !m_source || col < 0 || col >= gridCols())
        return false;
    const int field = m_columns.at(col).field;
    if (field < 0 || field >= m_source->columnCount())
        return false;
    const qint64 n = m_source->rowCount();
    RowOrder keys{size_t(n)};
    for (qint64 r = 0; r < n; ++r) {
        const QVariant &v = m_source->value(r, field);
        if (v.typeId() == QMetaType::QByteArray)
            return false; // raw bytes have no order
        keys.addValue(v);
    }
    *order = keys.order(ascending);
    return true;
}

void FlexGridModel::setBoundOrder(int col, bool ascending, std::vector<qint64> order)
{
    beginResetModel();
    m_order = std::move(order);
    m_rowHeaderTexts.clear();
    m_sortCol = col;
    m_sortOrder = ascending ? FlexGrid::SortAscending : FlexGrid::SortDescending;
    endResetModel();
}

bool FlexGridModel::sortBound(int col, bool ascending)
{
    std::vector<qint64> order;
    if (!boundOrder(col, ascending, &order))
        return false;
    setBoundOrder(col, ascending, std::move(order));
    return true;
}

void FlexGridModel::sortFree(int col, bool ascending)
{
    if (m_mode != FlexGrid::Free || col < 0 || col >= gridCols())
        return;
    RowOrder keys{size_t(m_freeRows.size())};
    for (const FreeRow &r : m_freeRows)
        keys.addText(r.texts.value(col));
    const std::vector<qint64> order = keys.order(ascending);
    emit layoutAboutToBeChanged();
    QList<FreeRow> sorted;
    sorted.reserve(m_freeRows.size());
    for (qint64 i : order)
        sorted.append(std::move(m_freeRows[i]));
    m_freeRows = std::move(sorted);
    m_sortCol = col;
    m_sortOrder = ascending ? FlexGrid::SortAscending : FlexGrid::SortDescending;
    emit layoutChanged();
}

void FlexGridModel::fillRowNumbers()
{
    if (m_fixedCols == 0)
        return;
    if (m_mode == FlexGrid::Free) {
        const int fixed = m_fixedRows > 0 ? 1 : 0;
        for (int i = 0; i < m_freeRows.size(); ++i)
            if (!m_freeRows[i].texts.isEmpty())
                m_freeRows[i].texts[0] = QString::number(i + 1);
        Q_UNUSED(fixed);
    } else {
        m_rowHeaderTexts.clear();
    }
    if (rowCount() > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

bool FlexGrid::sortResultSet(ResultSet &records, int field, bool ascending)
{
    if (field < 0 || field >= records.columnCount())
        return false;
    QList<QList<QVariant>> &rows = records.rows();
    RowOrder keys{size_t(rows.size())};
    for (const QList<QVariant> &r : std::as_const(rows)) {
        const QVariant v = r.value(field);
        if (v.typeId() == QMetaType::QByteArray)
            return false;
        keys.addValue(v);
    }
    const std::vector<qint64> order = keys.order(ascending);
    QList<QList<QVariant>> sorted;
    sorted.reserve(rows.size());
    for (qint64 i : order)
        sorted.append(std::move(rows[i]));
    rows = std::move(sorted);
    return true;
}
