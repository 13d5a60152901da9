#include "platform/xlsx/XlsxPrivate.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <iterator>
#include <string>
#include <string_view>

using namespace xlsx;

namespace {

const QStringList kSheetSchemaOrder = {
    QStringLiteral("sheetPr"),
    QStringLiteral("dimension"),
    QStringLiteral("sheetViews"),
    QStringLiteral("sheetFormatPr"),
    QStringLiteral("cols"),
    QStringLiteral("sheetData"),
    QStringLiteral("sheetCalcPr"),
    QStringLiteral("sheetProtection"),
    QStringLiteral("protectedRanges"),
    QStringLiteral("scenarios"),
    QStringLiteral("autoFilter"),
    QStringLiteral("sortState"),
    QStringLiteral("dataConsolidate"),
    QStringLiteral("customSheetViews"),
    QStringLiteral("mergeCells"),
    QStringLiteral("phoneticPr"),
    QStringLiteral("conditionalFormatting"),
    QStringLiteral("dataValidations"),
    QStringLiteral("hyperlinks"),
    QStringLiteral("printOptions"),
    QStringLiteral("pageMargins"),
    QStringLiteral("pageSetup"),
    QStringLiteral("headerFooter"),
    QStringLiteral("rowBreaks"),
    QStringLiteral("colBreaks"),
    QStringLiteral("customProperties"),
    QStringLiteral("cellWatches"),
    QStringLiteral("ignoredErrors"),
    QStringLiteral("smartTags"),
    QStringLiteral("drawing"),
    QStringLiteral("legacyDrawing"),
    QStringLiteral("legacyDrawingHF"),
    QStringLiteral("drawingHF"),
    QStringLiteral("picture"),
    QStringLiteral("oleObjects"),
    QStringLiteral("controls"),
    QStringLiteral("webPublishItems"),
    QStringLiteral("tableParts"),
    QStringLiteral("extLst"),
};

const QStringList kSheetManaged = {QStringLiteral("dimension"), QStringLiteral("cols"), QStringLiteral("sheetData"),
                                   QStringLiteral("mergeCells")};

bool validCell(int row, int column)
{
    return row >= 1 && row <= XlsxRange::maxRows && column >= 1 && column <= XlsxRange::maxColumns;
}

const char *const kHAlignNames[] = {"general", "left",    "center",           "right",
                                    "fill",    "justify", "centerContinuous", "distributed"};
const char *const kVAlignNames[] = {"bottom", "top", "center", "justify", "distributed"};

} // namespace

namespace xlsx {

// Text in a shared or inline string escapes characters XML cannot carry as
// "_xHHHH_"; a literal "_x" sequence is protected as "_x005F_".
QString decodeStringItem(const QString &text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype pos = 0;
    auto it = escape.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(pos, m.capturedStart() - pos);
        out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        pos = m.capturedEnd();
    }
    out += QStringView(text).mid(pos);
    return out;
}

QString encodeStringItem(const QString &text)
{
    static const QRegularExpression literal(QStringLiteral("_x[0-9A-Fa-f]{4}_"));
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == u'_' &&
            literal.match(text, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
                .hasMatch()) {
            out += QLatin1String("_x005F_");
            continue;
        }
        const char16_t u = ch.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            out += QLatin1String("_x") + QString::number(u, 16).toUpper().rightJustified(4, u'0') + u'_';
        else
            out += ch;
    }
    return out;
}

void readStringItem(QXmlStreamReader &r, const QString &xml, QString *text, QString *rich)
{
    const qint64 innerStart = r.characterOffset();
    qint64 last = innerStart;
    bool hasRuns = false;
    int depth = 0;
    text->clear();
    rich->clear();
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            if (r.name() == u"rPh" || r.name() == u"phoneticPr") {
                r.skipCurrentElement(); // reading aids, not part of the text
            } else if (r.name() == u"t") {
                *text += r.readElementText();
            } else {
                if (r.name() == u"r")
                    hasRuns = true;
                ++depth;
            }
        } else if (r.isEndElement()) {
            if (depth == 0) {
                if (hasRuns)
                    *rich = xml.mid(innerStart, last - innerStart);
                break;
            }
            --depth;
        }
        last = r.characterOffset();
    }
    *text = decodeStringItem(*text);
}

int StreamedStrings::index(const QString &text, const QHash<QString, int> &sharedIndex)
{
    ++references;
    const auto known = byText.constFind(text);
    if (known != byText.cend())
        return known.value();
    const auto held = sharedIndex.constFind(u't' + text);
    const int i = held != sharedIndex.cend() ? held.value() : base + int(added.size());
    if (held == sharedIndex.cend())
        added.append(text);
    byText.insert(text, i);
    return i;
}

QString sharedStringKey(const XlsxSheetPrivate::Cell &cell)
{
    return cell.richXml.isEmpty() ? u't' + cell.value : u'r' + cell.richXml;
}

} // namespace xlsx

// ---- XlsxSheetPrivate ---------------------------------------------------------------

void XlsxSheetPrivate::initEmpty()
{
    m_rows.clear();
    m_columns.clear();
    m_merges.clear();
    m_part.setRoot(QStringLiteral("worksheet"), kMainNs);
    m_part.m_namespaces.append({QStringLiteral("r"), kRelNs});
    for (const QString &name : kSheetManaged)
        m_part.ensureManaged(name, kSheetSchemaOrder);
}

bool XlsxSheetPrivate::parse(const QString &xml, const QStringList &sharedStrings, const QStringList &sharedRich,
                             bool richUsable, QString *error)
{
    m_rows.clear();
    m_columns.clear();
    m_merges.clear();
    const bool ok = m_part.parse(
        xml, kSheetManaged,
        [&](QXmlStreamReader &r) {
            if (r.name() == u"sheetData")
                return parseSheetData(r, xml, sharedStrings, sharedRich, richUsable);
            if (r.name() == u"cols")
                return parseCols(r);
            if (r.name() == u"mergeCells")
                return parseMerges(r);
            r.skipCurrentElement(); // dimension: recomputed on save
            return !r.hasError();
        },
        error);
    if (!ok)
        return false;
    for (const QString &name : kSheetManaged)
        m_part.ensureManaged(name, kSheetSchemaOrder);
    unshareFormulas();
    return true;
}

bool XlsxSheetPrivate::parseSheetData(QXmlStreamReader &r, const QString &xml, const QStringList &sharedStrings,
                                      const QStringList &sharedRich, bool richUsable)
{
    // Formatted runs can be kept only if they are written in the default
    // namespace, as the shared string part we write uses it.
    const bool inlineRichUsable = m_part.m_prefix.isEmpty();
    int rowNumber = 0;
    while (r.readNextStartElement()) {
        if (r.name() != u"row") {
            r.skipCurrentElement();
            continue;
        }
        AttrList rowAttrs = readAttributes(r);
        const int given = attrValue(rowAttrs, QStringLiteral("r")).toInt();
        rowNumber = given > 0 ? given : rowNumber + 1;
        removeAttr(rowAttrs, QStringLiteral("r"));
        removeAttr(rowAttrs, QStringLiteral("spans")); // optional hint, stale once cells move
        if (rowNumber > XlsxRange::maxRows)
            return false;
        Row &row = m_rows[rowNumber];
        row.attrs = rowAttrs;
        int column = 0;
        while (r.readNextStartElement()) {
            if (r.name() != u"c") {
                r.skipCurrentElement();
                continue;
            }
            AttrList cellAttrs = readAttributes(r);
            const XlsxRange ref = XlsxRange::fromString(attrValue(cellAttrs, QStringLiteral("r")));
            column = ref.isValid() ? ref.firstColumn : column + 1;
            if (column > XlsxRange::maxColumns)
                return false;
            Cell cell;
            cell.style = attrValue(cellAttrs, QStringLiteral("s")).toInt();
            const QString type = attrValue(cellAttrs, QStringLiteral("t"), QStringLiteral("n"));
            for (const char *known : {"r", "s", "t"})
                removeAttr(cellAttrs, QLatin1String(known));
            cell.otherAttrs = cellAttrs;
            QString v;
            bool hasValue = false;
            QString inlineText;
            QString inlineRich;
            while (r.readNextStartElement()) {
                if (r.name() == u"f") {
                    cell.formulaAttrs = readAttributes(r);
                    cell.formula = r.readElementText();
                } else if (r.name() == u"v") {
                    v = r.readElementText();
                    hasValue = true;
                } else if (r.name() == u"is") {
                    readStringItem(r, xml, &inlineText, &inlineRich);
                } else {
                    r.skipCurrentElement();
                }
            }
            if (type == u"s") {
                const int index = v.toInt();
                cell.type = XlsxSheet::CellType::Text;
                cell.value = sharedStrings.value(index);
                if (richUsable)
                    cell.richXml = sharedRich.value(index);
            } else if (type == u"inlineStr") {
                cell.type = XlsxSheet::CellType::Text;
                cell.value = inlineText;
                if (inlineRichUsable)
                    cell.richXml = inlineRich;
            } else if (type == u"str") {
                cell.type = hasValue ? XlsxSheet::CellType::Text : XlsxSheet::CellType::Empty;
                cell.value = v;
            } else if (type == u"b") {
                cell.type = XlsxSheet::CellType::Boolean;
                cell.value = v.trimmed() == u"1" || v.trimmed() == u"true" ? QStringLiteral("1") : QStringLiteral("0");
            } else if (type == u"e") {
                cell.type = XlsxSheet::CellType::Error;
                cell.value = v;
            } else if (hasValue && !v.isEmpty()) {
                cell.type = XlsxSheet::CellType::Number;
                cell.value = v.trimmed();
            }
            row.cells.insert(column, cell);
        }
    }
    return !r.hasError();
}

bool XlsxSheetPrivate::parseCols(QXmlStreamReader &r)
{
    while (r.readNextStartElement()) {
        if (r.name() == u"col") {
            AttrList attrs = readAttributes(r);
            const int first = attrValue(attrs, QStringLiteral("min")).toInt();
            const int last = std::min(attrValue(attrs, QStringLiteral("max")).toInt(), XlsxRange::maxColumns);
            removeAttr(attrs, QStringLiteral("min"));
            removeAttr(attrs, QStringLiteral("max"));
            for (int c = std::max(first, 1); c <= last; ++c)
                m_columns.insert(c, attrs);
        }
        r.skipCurrentElement();
    }
    return !r.hasError();
}

bool XlsxSheetPrivate::parseMerges(QXmlStreamReader &r)
{
    while (r.readNextStartElement()) {
        if (r.name() == u"mergeCell") {
            const XlsxRange range = XlsxRange::fromString(r.attributes().value(QLatin1String("ref")).toString());
            if (range.isValid() && !range.isSingleCell())
                m_merges.append(range);
        }
        r.skipCurrentElement();
    }
    return !r.hasError();
}

// Shared formulas store their text once; every cell gets its own copy so
// rows can be copied and moved freely.
void XlsxSheetPrivate::unshareFormulas()
{
    struct Master
    {
        QString formula;
        int row;
        int column;
    };
    QHash<QString, Master> masters;
    const QString t = QStringLiteral("t");
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row) {
        for (auto cell = row->cells.cbegin(); cell != row->cells.cend(); ++cell) {
            if (attrValue(cell->formulaAttrs, t) == u"shared" && !cell->formula.isEmpty())
                masters.insert(attrValue(cell->formulaAttrs, QStringLiteral("si")),
                               {cell->formula, row.key(), cell.key()});
        }
    }
    for (auto row = m_rows.begin(); row != m_rows.end(); ++row) {
        for (auto cell = row->cells.begin(); cell != row->cells.end(); ++cell) {
            const QString kind = attrValue(cell->formulaAttrs, t);
            if (kind == u"shared") {
                if (cell->formula.isEmpty()) {
                    const auto master = masters.constFind(attrValue(cell->formulaAttrs, QStringLiteral("si")));
                    if (master != masters.cend())
                        cell->formula =
                            offsetFormula(master->formula, row.key() - master->row, cell.key() - master->column);
                }
                cell->formulaAttrs.clear();
            }
        }
    }
}

XlsxRange XlsxSheetPrivate::usedRange() const
{
    XlsxRange used;
    const auto unite = [&used](const XlsxRange &span) {
        used = used.isValid()
                   ? XlsxRange(std::min(used.firstRow, span.firstRow), std::min(used.firstColumn, span.firstColumn),
                               std::max(used.lastRow, span.lastRow), std::max(used.lastColumn, span.lastColumn))
                   : span;
    };
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row) {
        if (row->cells.isEmpty() || m_stream.holds(row.key()))
            continue;
        unite(XlsxRange(row.key(), row->cells.firstKey(), row.key(), row->cells.lastKey()));
    }
    if (m_stream.count > 0)
        unite(XlsxRange(m_stream.firstRow, m_stream.firstColumn, m_stream.firstRow + m_stream.count - 1,
                        m_stream.lastColumn));
    return used;
}

QByteArray XlsxSheetPrivate::write(const QHash<QString, int> &sharedIndex) const
{
    return writePart(sharedIndex, nullptr);
}

QByteArray XlsxSheetPrivate::writePart(const QHash<QString, int> &sharedIndex, qint64 *split) const
{
    return m_part.write([&](QXmlStreamWriter &w, const QString &name) {
        if (name == u"dimension") {
            const XlsxRange used = usedRange();
            w.writeEmptyElement(m_part.qname(name));
            w.writeAttribute(QStringLiteral("ref"), used.isValid() ? used.toString() : QStringLiteral("A1"));
        } else if (name == u"cols") {
            writeCols(w);
        } else if (name == u"sheetData") {
            writeSheetData(w, sharedIndex, split);
        } else if (name == u"mergeCells" && !m_merges.isEmpty()) {
            w.writeStartElement(m_part.qname(name));
            w.writeAttribute(QStringLiteral("count"), QString::number(m_merges.size()));
            for (const XlsxRange &m : m_merges) {
                w.writeEmptyElement(m_part.qname(QStringLiteral("mergeCell")));
                w.writeAttribute(QStringLiteral("ref"), m.toString());
            }
            w.writeEndElement();
        }
    });
}

std::function<QByteArray()> XlsxSheetPrivate::streamedWriter(const QHash<QString, int> &sharedIndex,
                                                             std::shared_ptr<StreamedStrings> strings) const
{
    struct State
    {
        QByteArray head; // up to where the streamed rows go
        QByteArray tail;
        int phase = 0; // head, rows, tail, done
        int next = 0;  // next streamed row
        std::vector<std::string> columnNames;
        std::string rowOpen, rowClose, cellOpen, valueOpen, valueClose; // tags, with the part's prefix
        XlsxRowCells cells;
    };
    auto state = std::make_shared<State>();
    qint64 split = -1;
    const QByteArray doc = writePart(sharedIndex, &split);
    state->head = doc.left(split);
    state->tail = doc.mid(split);
    state->next = m_stream.firstRow;
    for (int c = m_stream.firstColumn; c <= m_stream.lastColumn; ++c)
        state->columnNames.push_back(XlsxRange::columnName(c).toStdString());
    const std::string prefix = m_part.m_prefix.isEmpty() ? std::string() : m_part.m_prefix.toStdString() + ':';
    state->rowOpen = '<' + prefix + "row r=\"";
    state->rowClose = "</" + prefix + "row>";
    state->cellOpen = '<' + prefix + "c r=\"";
    state->valueOpen = "><" + prefix + "v>";
    state->valueClose = "</" + prefix + "v></" + prefix + "c>";

    return [this, state, strings, sharedIndex]() -> QByteArray {
        State &st = *state;
        switch (st.phase) {
        case 0:
            st.phase = 1;
            return std::exchange(st.head, QByteArray());
        case 1:
            break;
        case 2:
            st.phase = 3;
            return std::exchange(st.tail, QByteArray());
        default:
            return QByteArray();
        }
        // The rows in pieces of about a quarter megabyte, written the way the
        // cells held in memory are. Plain appends and number conversions:
        // this runs for every cell of a large export.
        constexpr size_t kPiece = 256 * 1024;
        std::string piece;
        piece.reserve(kPiece + 4096);
        char digits[24];
        const auto number = [&digits](long long n) {
            return std::string_view(digits, size_t(std::to_chars(digits, digits + sizeof digits, n).ptr - digits));
        };
        const int end = m_stream.firstRow + m_stream.count;
        while (st.next < end && piece.size() < kPiece) {
            const int row = st.next++;
            st.cells.m_cells.clear();
            m_stream.fill(row, st.cells);
            if (st.cells.m_cells.empty())
                continue;
            const std::string rowNumber(number(row));
            piece.append(st.rowOpen).append(rowNumber).append("\">");
            int last = m_stream.firstColumn - 1;
            for (const XlsxRowCells::Cell &c : st.cells.m_cells) {
                if (c.column <= last || c.column > m_stream.lastColumn)
                    continue; // out of order or outside the columns given
                last = c.column;
                piece.append(st.cellOpen).append(st.columnNames[size_t(c.column - m_stream.firstColumn)]);
                piece.append(rowNumber).push_back('"');
                if (c.format != 0)
                    piece.append(" s=\"").append(number(c.format)).push_back('"');
                if (c.type == XlsxSheet::CellType::Text) {
                    piece.append(" t=\"s\"").append(st.valueOpen);
                    piece.append(number(strings->index(c.text, sharedIndex))).append(st.valueClose);
                } else if (c.type == XlsxSheet::CellType::Number && std::isfinite(c.number)) {
                    piece.append(st.valueOpen).append(formatNumber(c.number).toStdString()).append(st.valueClose);
                } else {
                    piece.append("/>");
                }
            }
            piece.append(st.rowClose);
        }
        if (st.next >= end) {
            st.phase = 2;
            if (piece.empty()) { // the last rows had no cells: an empty piece would end the part here
                st.phase = 3;
                return std::exchange(st.tail, QByteArray());
            }
        }
        return QByteArray(piece.data(), qsizetype(piece.size()));
    };
}

void XlsxSheetPrivate::writeCols(QXmlStreamWriter &w) const
{
    if (m_columns.isEmpty())
        return;
    w.writeStartElement(m_part.qname(QStringLiteral("cols")));
    auto it = m_columns.cbegin();
    while (it != m_columns.cend()) {
        // Neighbouring columns with the same settings share one entry.
        const int first = it.key();
        int last = first;
        const AttrList attrs = it.value();
        ++it;
        while (it != m_columns.cend() && it.key() == last + 1 && it.value() == attrs) {
            last = it.key();
            ++it;
        }
        w.writeEmptyElement(m_part.qname(QStringLiteral("col")));
        w.writeAttribute(QStringLiteral("min"), QString::number(first));
        w.writeAttribute(QStringLiteral("max"), QString::number(last));
        writeAttributes(w, attrs);
    }
    w.writeEndElement();
}

void XlsxSheetPrivate::writeSheetData(QXmlStreamWriter &w, const QHash<QString, int> &sharedIndex, qint64 *split) const
{
    using CellType = XlsxSheet::CellType;
    w.writeStartElement(m_part.qname(QStringLiteral("sheetData")));
    const auto markSplit = [&] {
        if (!split || *split >= 0)
            return;
        w.writeCharacters(QString()); // closes the start tag before the position is taken
        *split = w.device()->pos();
    };
    for (auto row = m_rows.cbegin(); row != m_rows.cend(); ++row) {
        if (m_stream.holds(row.key()))
            continue;
        if (row.key() >= m_stream.firstRow + m_stream.count)
            markSplit();
        if (row->cells.isEmpty() && row->attrs.isEmpty())
            continue;
        w.writeStartElement(m_part.qname(QStringLiteral("row")));
        w.writeAttribute(QStringLiteral("r"), QString::number(row.key()));
        writeAttributes(w, row->attrs);
        for (auto cell = row->cells.cbegin(); cell != row->cells.cend(); ++cell) {
            const Cell &c = *cell;
            const bool hasFormula = !c.formula.isEmpty();
            w.writeStartElement(m_part.qname(QStringLiteral("c")));
            w.writeAttribute(QStringLiteral("r"), XlsxRange(row.key(), cell.key()).toString());
            if (c.style != 0)
                w.writeAttribute(QStringLiteral("s"), QString::number(c.style));
            QString value = c.value;
            switch (c.type) {
            case CellType::Text:
                if (hasFormula) {
                    w.writeAttribute(QStringLiteral("t"), QStringLiteral("str"));
                } else {
                    w.writeAttribute(QStringLiteral("t"), QStringLiteral("s"));
                    value = QString::number(sharedIndex.value(sharedStringKey(c)));
                }
                break;
            case CellType::Boolean:
                w.writeAttribute(QStringLiteral("t"), QStringLiteral("b"));
                break;
            case CellType::Error:
                w.writeAttribute(QStringLiteral("t"), QStringLiteral("e"));
                break;
            case CellType::Number:
            case CellType::Empty:
                break;
            }
            writeAttributes(w, c.otherAttrs);
            if (hasFormula) {
                w.writeStartElement(m_part.qname(QStringLiteral("f")));
                writeAttributes(w, c.formulaAttrs);
                w.writeCharacters(c.formula);
                w.writeEndElement();
            }
            if (c.type != CellType::Empty)
                w.writeTextElement(m_part.qname(QStringLiteral("v")), value);
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    markSplit();
    w.writeEndElement();
}

int XlsxSheetPrivate::effectiveStyle(int row, int column) const
{
    if (const Cell *cell = findCell(row, column))
        return cell->style;
    const auto r = m_rows.constFind(row);
    if (r != m_rows.cend() && attrValue(r->attrs, QStringLiteral("customFormat")) == u"1")
        return attrValue(r->attrs, QStringLiteral("s")).toInt();
    const auto c = m_columns.constFind(column);
    if (c != m_columns.cend())
        return attrValue(*c, QStringLiteral("style")).toInt();
    return 0;
}

XlsxSheetPrivate::Cell &XlsxSheetPrivate::cellAt(int row, int column)
{
    Row &r = m_rows[row];
    auto it = r.cells.find(column);
    if (it == r.cells.end()) {
        Cell cell;
        cell.style = effectiveStyle(row, column);
        it = r.cells.insert(column, cell);
    }
    return *it;
}

const XlsxSheetPrivate::Cell *XlsxSheetPrivate::findCell(int row, int column) const
{
    const auto r = m_rows.constFind(row);
    if (r == m_rows.cend())
        return nullptr;
    const auto c = r->cells.constFind(column);
    return c == r->cells.cend() ? nullptr : &*c;
}

bool XlsxSheetPrivate::applyStyle(int row, int column, const std::function<int(int)> &derive)
{
    if (!validCell(row, column))
        return false;
    Cell &cell = cellAt(row, column);
    cell.style = derive(cell.style);
    return true;
}

bool XlsxSheetPrivate::hasFormulas() const
{
    for (const Row &row : m_rows) {
        for (const Cell &cell : row.cells) {
            if (!cell.formula.isEmpty())
                return true;
        }
    }
    return false;
}

void XlsxSheetPrivate::rewriteFormulas(const std::function<QString(const QString &)> &rewrite)
{
    for (Row &row : m_rows) {
        for (Cell &cell : row.cells) {
            if (!cell.formula.isEmpty())
                cell.formula = rewrite(cell.formula);
        }
    }
}

// ---- XlsxSheet --------------------------------------------------------------------

XlsxSheet::XlsxSheet(XlsxWorkbook *workbook) : d(std::make_unique<XlsxSheetPrivate>(workbook)) {}

XlsxSheet::~XlsxSheet() = default;

XlsxWorkbook *XlsxSheet::workbook() const
{
    return d->m_workbook;
}

QString XlsxSheet::name() const
{
    return d->m_name;
}

bool XlsxSheet::setName(const QString &name)
{
    XlsxWorkbookPrivate *wb = d->m_workbook->d.get();
    if (!XlsxWorkbook::isValidSheetName(name))
        return wb->fail(QStringLiteral("invalid sheet name \"%1\"").arg(name));
    const int other = d->m_workbook->sheetIndex(name);
    if (other >= 0 && d->m_workbook->sheet(other) != this)
        return wb->fail(QStringLiteral("a sheet named \"%1\" exists already").arg(name));
    const QString old = d->m_name;
    wb->rewriteAllFormulas([&](const QString &f, const QString &) { return renameSheetInFormula(f, old, name); });
    for (auto &entry : wb->m_sheets) {
        if (entry.sheet == this)
            entry.name = name;
    }
    d->m_name = name;
    return true;
}

XlsxSheet::CellType XlsxSheet::cellType(int row, int column) const
{
    const XlsxSheetPrivate::Cell *cell = d->findCell(row, column);
    return cell ? cell->type : CellType::Empty;
}

QVariant XlsxSheet::value(int row, int column) const
{
    const XlsxSheetPrivate::Cell *cell = d->findCell(row, column);
    if (!cell)
        return QVariant();
    switch (cell->type) {
    case CellType::Number:
        return cell->value.toDouble();
    case CellType::Boolean:
        return cell->value == u"1";
    case CellType::Text:
    case CellType::Error:
        return cell->value;
    case CellType::Empty:
        break;
    }
    return QVariant();
}

QString XlsxSheet::text(int row, int column) const
{
    const XlsxSheetPrivate::Cell *cell = d->findCell(row, column);
    if (!cell)
        return QString();
    switch (cell->type) {
    case CellType::Number:
        return formatNumber(cell->value.toDouble());
    case CellType::Boolean:
        return cell->value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellType::Text:
    case CellType::Error:
        return cell->value;
    case CellType::Empty:
        break;
    }
    return QString();
}

QString XlsxSheet::formula(int row, int column) const
{
    const XlsxSheetPrivate::Cell *cell = d->findCell(row, column);
    return cell ? cell->formula : QString();
}

bool XlsxSheet::setText(int row, int column, const QString &text)
{
    if (!validCell(row, column))
        return false;
    XlsxSheetPrivate::Cell &cell = d->cellAt(row, column);
    cell.type = CellType::Text;
    cell.value = text;
    cell.richXml.clear();
    cell.formula.clear();
    cell.formulaAttrs.clear();
    return true;
}

bool XlsxSheet::setNumber(int row, int column, double number)
{
    if (!validCell(row, column) || !std::isfinite(number))
        return false;
    XlsxSheetPrivate::Cell &cell = d->cellAt(row, column);
    cell.type = CellType::Number;
    cell.value = formatNumber(number);
    cell.richXml.clear();
    cell.formula.clear();
    cell.formulaAttrs.clear();
    return true;
}

bool XlsxSheet::setFormula(int row, int column, const QString &formula)
{
    QString f = formula.trimmed();
    if (f.startsWith(u'='))
        f.remove(0, 1);
    if (!validCell(row, column) || f.isEmpty())
        return false;
    XlsxSheetPrivate::Cell &cell = d->cellAt(row, column);
    cell.type = CellType::Empty; // computed when the workbook is next opened
    cell.value.clear();
    cell.richXml.clear();
    cell.formula = f;
    cell.formulaAttrs.clear();
    return true;
}

bool XlsxSheet::clearValue(int row, int column)
{
    if (!validCell(row, column))
        return false;
    if (d->findCell(row, column)) {
        XlsxSheetPrivate::Cell &cell = d->cellAt(row, column);
        cell.type = CellType::Empty;
        cell.value.clear();
        cell.richXml.clear();
        cell.formula.clear();
        cell.formulaAttrs.clear();
    }
    return true;
}

QString XlsxSheet::numberFormat(int row, int column) const
{
    return d->m_workbook->d->m_styles.numberFormat(d->effectiveStyle(row, column));
}

bool XlsxSheet::setNumberFormat(int row, int column, const QString &format)
{
    if (format.isEmpty())
        return false;
    XlsxStyles &styles = d->m_workbook->d->m_styles;
    return d->applyStyle(row, column, [&](int xf) { return styles.withNumberFormat(xf, format); });
}

bool XlsxSheet::isBold(int row, int column) const
{
    return d->m_workbook->d->m_styles.isBold(d->effectiveStyle(row, column));
}

bool XlsxSheet::setBold(int row, int column, bool bold)
{
    XlsxStyles &styles = d->m_workbook->d->m_styles;
    return d->applyStyle(row, column, [&](int xf) { return styles.withBold(xf, bold); });
}

double XlsxSheet::fontSize(int row, int column) const
{
    return d->m_workbook->d->m_styles.fontSize(d->effectiveStyle(row, column));
}

bool XlsxSheet::setFontSize(int row, int column, double points)
{
    if (!(points >= 1 && points <= 409))
        return false;
    XlsxStyles &styles = d->m_workbook->d->m_styles;
    return d->applyStyle(row, column, [&](int xf) { return styles.withFontSize(xf, points); });
}

XlsxHAlign XlsxSheet::horizontalAlignment(int row, int column) const
{
    const QString name =
        d->m_workbook->d->m_styles.alignment(d->effectiveStyle(row, column), QStringLiteral("horizontal"));
    for (int i = 0; i < int(std::size(kHAlignNames)); ++i) {
        if (name == QLatin1String(kHAlignNames[i]))
            return XlsxHAlign(i);
    }
    return XlsxHAlign::General;
}

bool XlsxSheet::setHorizontalAlignment(int row, int column, XlsxHAlign alignment)
{
    XlsxStyles &styles = d->m_workbook->d->m_styles;
    const QString value = alignment == XlsxHAlign::General ? QString() : QLatin1String(kHAlignNames[int(alignment)]);
    return d->applyStyle(row, column,
                         [&](int xf) { return styles.withAlignment(xf, QStringLiteral("horizontal"), value); });
}

XlsxVAlign XlsxSheet::verticalAlignment(int row, int column) const
{
    const QString name =
        d->m_workbook->d->m_styles.alignment(d->effectiveStyle(row, column), QStringLiteral("vertical"));
    for (int i = 0; i < int(std::size(kVAlignNames)); ++i) {
        if (name == QLatin1String(kVAlignNames[i]))
            return XlsxVAlign(i);
    }
    return XlsxVAlign::Bottom;
}

bool XlsxSheet::setVerticalAlignment(int row, int column, XlsxVAlign alignment)
{
    XlsxStyles &styles = d->m_workbook->d->m_styles;
    const QString value = alignment == XlsxVAlign::Bottom ? QString() : QLatin1String(kVAlignNames[int(alignment)]);
    return d->applyStyle(row, column,
                         [&](int xf) { return styles.withAlignment(xf, QStringLiteral("vertical"), value); });
}

double XlsxSheet::columnWidth(int column) const
{
    return attrValue(d->m_columns.value(column), QStringLiteral("width")).toDouble();
}

bool XlsxSheet::setColumnWidth(int column, double width)
{
    if (column < 1 || column > XlsxRange::maxColumns || !(width >= 0 && width <= 255))
        return false;
    AttrList &attrs = d->m_columns[column];
    setAttr(attrs, QStringLiteral("width"), formatNumber(width));
    setAttr(attrs, QStringLiteral("customWidth"), QStringLiteral("1"));
    return true;
}

QList<XlsxRange> XlsxSheet::mergedRanges() const
{
    return d->m_merges;
}

bool XlsxSheet::mergeCells(const XlsxRange &range)
{
    if (!range.isValid() || range.isSingleCell())
        return false;
    for (const XlsxRange &m : d->m_merges) {
        if (m.intersects(range))
            return false;
    }
    d->m_merges.append(range);
    return true;
}

int XlsxSheet::lastRow() const
{
    for (auto it = d->m_rows.cend(); it != d->m_rows.cbegin();) {
        --it;
        if (!it->cells.isEmpty())
            return it.key();
    }
    return 0;
}

int XlsxSheet::lastColumn() const
{
    int last = 0;
    for (const XlsxSheetPrivate::Row &row : d->m_rows) {
        if (!row.cells.isEmpty())
            last = std::max(last, row.cells.lastKey());
    }
    return last;
}

bool XlsxSheet::insertRowCopies(int row, int count)
{
    const int lastUsed = d->m_rows.isEmpty() ? 0 : d->m_rows.lastKey();
    if (row < 1 || row > XlsxRange::maxRows || count < 1 || std::max(row, lastUsed) > XlsxRange::maxRows - count)
        return false;
    const QString self = d->m_name;
    const int firstNew = row + 1;

    // References move first, while every formula still sits in its own row.
    d->m_workbook->d->rewriteAllFormulas(
        [&](const QString &f, const QString &owner) { return insertRowsInFormula(f, owner, self, firstNew, count); });
    const QString refAttr = QStringLiteral("ref");
    for (XlsxSheetPrivate::Row &r : d->m_rows) {
        for (XlsxSheetPrivate::Cell &c : r.cells) {
            const QString ref = attrValue(c.formulaAttrs, refAttr);
            if (!ref.isEmpty())
                setAttr(c.formulaAttrs, refAttr, insertRowsInFormula(ref, self, self, firstNew, count));
        }
    }

    QMap<int, XlsxSheetPrivate::Row> rows;
    for (auto it = d->m_rows.cbegin(); it != d->m_rows.cend(); ++it)
        rows.insert(it.key() > row ? it.key() + count : it.key(), it.value());
    const auto templ = rows.constFind(row);
    if (templ != rows.cend()) {
        const XlsxSheetPrivate::Row source = *templ;
        for (int k = 1; k <= count; ++k) {
            XlsxSheetPrivate::Row copy = source;
            for (XlsxSheetPrivate::Cell &c : copy.cells) {
                if (c.formula.isEmpty())
                    continue;
                c.formula = offsetFormula(c.formula, k, 0);
                const QString ref = attrValue(c.formulaAttrs, refAttr);
                if (!ref.isEmpty())
                    setAttr(c.formulaAttrs, refAttr, offsetFormula(ref, k, 0));
            }
            rows.insert(row + k, copy);
        }
    }
    d->m_rows = rows;

    QList<XlsxRange> merges;
    for (XlsxRange m : std::as_const(d->m_merges)) {
        if (m.firstRow == row && m.lastRow == row) {
            merges.append(m);
            for (int k = 1; k <= count; ++k)
                merges.append(XlsxRange(row + k, m.firstColumn, row + k, m.lastColumn));
            continue;
        }
        if (m.firstRow > row)
            m.firstRow += count;
        if (m.lastRow > row)
            m.lastRow += count;
        merges.append(m);
    }
    d->m_merges = merges;
    return true;
}

bool XlsxSheet::streamRows(int firstRow, int count, int firstColumn, int lastColumn, RowFill fill)
{
    if (count < 1 || count > XlsxRange::maxRows || !fill || !validCell(firstRow, firstColumn) ||
        !validCell(firstRow + count - 1, lastColumn) || lastColumn < firstColumn)
        return false;
    d->m_stream = XlsxSheetPrivate::Stream{firstRow, count, firstColumn, lastColumn, std::move(fill)};
    return true;
}

int XlsxSheet::cellFormat(int row, int column) const
{
    return d->effectiveStyle(row, column);
}

int XlsxSheet::formatWithNumberFormat(int format, const QString &code)
{
    return d->m_workbook->d->m_styles.withNumberFormat(format, code);
}

bool XlsxSheet::removeColumn(int column)
{
    if (column < 1 || column > XlsxRange::maxColumns)
        return false;
    const QString self = d->m_name;
    d->m_workbook->d->rewriteAllFormulas(
        [&](const QString &f, const QString &owner) { return removeColumnInFormula(f, owner, self, column); });

    auto shiftLeft = [column](auto &map) {
        std::remove_reference_t<decltype(map)> moved;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (it.key() != column)
                moved.insert(it.key() > column ? it.key() - 1 : it.key(), it.value());
        }
        map = moved;
    };
    const QString refAttr = QStringLiteral("ref");
    for (XlsxSheetPrivate::Row &r : d->m_rows) {
        shiftLeft(r.cells);
        for (XlsxSheetPrivate::Cell &c : r.cells) {
            const QString ref = attrValue(c.formulaAttrs, refAttr);
            if (ref.isEmpty())
                continue;
            const QString moved = removeColumnInFormula(ref, self, self, column);
            if (moved.contains(QLatin1String("#REF!")))
                removeAttr(c.formulaAttrs, refAttr);
            else
                setAttr(c.formulaAttrs, refAttr, moved);
        }
    }
    shiftLeft(d->m_columns);

    QList<XlsxRange> merges;
    for (XlsxRange m : std::as_const(d->m_merges)) {
        if (m.firstColumn == column && m.lastColumn == column)
            continue;
        if (m.firstColumn > column)
            --m.firstColumn;
        if (m.lastColumn >= column)
            --m.lastColumn;
        if (!m.isSingleCell())
            merges.append(m);
    }
    d->m_merges = merges;
    return true;
}
