// Cell references: the XlsxRange value type and the rewriting of references
// inside formulas and defined names when rows, columns or sheets change.

#include "platform/xlsx/XlsxPrivate.h"

#include <QRegularExpression>

namespace {

bool isAsciiLetter(QChar ch)
{
    return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

bool isDigit(QChar ch)
{
    return ch >= u'0' && ch <= u'9';
}

bool isNameChar(QChar ch)
{
    return ch.isLetterOrNumber() || ch == u'_' || ch == u'.' || ch == u'\\';
}

// Column part "$AB": returns the position after it, or -1.
qsizetype parseColumn(QStringView s, qsizetype pos, int *column, bool *absolute)
{
    *absolute = pos < s.size() && s[pos] == u'$';
    if (*absolute)
        ++pos;
    const qsizetype start = pos;
    int value = 0;
    while (pos < s.size() && isAsciiLetter(s[pos]) && pos - start < 3) {
        value = value * 26 + (s[pos].toUpper().unicode() - u'A' + 1);
        ++pos;
    }
    if (pos == start || (pos < s.size() && isAsciiLetter(s[pos])) || value > XlsxRange::maxColumns)
        return -1;
    *column = value;
    return pos;
}

// Row part "$12": returns the position after it, or -1.
qsizetype parseRow(QStringView s, qsizetype pos, int *row, bool *absolute)
{
    *absolute = pos < s.size() && s[pos] == u'$';
    if (*absolute)
        ++pos;
    const qsizetype start = pos;
    qint64 value = 0;
    while (pos < s.size() && isDigit(s[pos]) && pos - start < 8) {
        value = value * 10 + (s[pos].unicode() - u'0');
        ++pos;
    }
    if (pos == start || (pos < s.size() && isDigit(s[pos])) || value < 1 || value > XlsxRange::maxRows)
        return -1;
    *row = int(value);
    return pos;
}

qsizetype parseCell(QStringView s, qsizetype pos, int *column, bool *columnAbs, int *row, bool *rowAbs)
{
    pos = parseColumn(s, pos, column, columnAbs);
    return pos < 0 ? -1 : parseRow(s, pos, row, rowAbs);
}

// A reference must not run on into a name, a function call or a sheet prefix.
bool endsCleanly(QStringView s, qsizetype pos)
{
    if (pos >= s.size())
        return true;
    const QChar ch = s[pos];
    return !(isNameChar(ch) || ch == u'$' || ch == u'(' || ch == u'!' || ch == u'[' || ch == u'\'');
}

bool parseBody(QStringView s, qsizetype pos, xlsx::RefToken *t, qsizetype *end)
{
    using xlsx::RefToken;
    qsizetype p = parseCell(s, pos, &t->c1, &t->c1Abs, &t->r1, &t->r1Abs);
    if (p >= 0) {
        if (p < s.size() && s[p] == u':') {
            const qsizetype q = parseCell(s, p + 1, &t->c2, &t->c2Abs, &t->r2, &t->r2Abs);
            if (q >= 0 && endsCleanly(s, q)) {
                t->kind = RefToken::Area;
                *end = q;
                return true;
            }
        }
        if (!endsCleanly(s, p))
            return false;
        t->kind = RefToken::Cell;
        t->r2 = t->r1;
        t->c2 = t->c1;
        t->r2Abs = t->r1Abs;
        t->c2Abs = t->c1Abs;
        *end = p;
        return true;
    }
    p = parseColumn(s, pos, &t->c1, &t->c1Abs);
    if (p >= 0 && p < s.size() && s[p] == u':') {
        const qsizetype q = parseColumn(s, p + 1, &t->c2, &t->c2Abs);
        if (q >= 0 && endsCleanly(s, q)) {
            t->kind = RefToken::Columns;
            *end = q;
            return true;
        }
    }
    p = parseRow(s, pos, &t->r1, &t->r1Abs);
    if (p >= 0 && p < s.size() && s[p] == u':') {
        const qsizetype q = parseRow(s, p + 1, &t->r2, &t->r2Abs);
        if (q >= 0 && endsCleanly(s, q)) {
            t->kind = RefToken::Rows;
            *end = q;
            return true;
        }
    }
    return false;
}

// End of a quoted sheet name starting at pos ('…'), or -1.
qsizetype quotedEnd(QStringView s, qsizetype pos, QString *name)
{
    qsizetype p = pos + 1;
    while (p < s.size()) {
        if (s[p] == u'\'') {
            if (p + 1 < s.size() && s[p + 1] == u'\'') {
                name->append(u'\'');
                p += 2;
                continue;
            }
            return p + 1;
        }
        name->append(s[p]);
        ++p;
    }
    return -1;
}

bool parseReference(QStringView s, qsizetype pos, xlsx::RefToken *t, qsizetype *end)
{
    qsizetype bodyStart = pos;
    if (s[pos] == u'\'') {
        QString name;
        const qsizetype q = quotedEnd(s, pos, &name);
        if (q < 0 || q >= s.size() || s[q] != u'!')
            return false;
        t->sheet = name;
        bodyStart = q + 1;
    } else {
        qsizetype q = pos;
        while (q < s.size() && isNameChar(s[q]))
            ++q;
        if (q > pos && q < s.size() && s[q] == u'!') {
            t->sheet = s.mid(pos, q - pos).toString();
            bodyStart = q + 1;
        }
    }
    t->prefix = s.mid(pos, bodyStart - pos).toString();
    if (!parseBody(s, bodyStart, t, end))
        return false;
    t->start = pos;
    t->length = *end - pos;
    return true;
}

bool sameSheet(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool pointsTo(const xlsx::RefToken &t, const QString &ownerSheet, const QString &targetSheet)
{
    if (t.sheet.isEmpty())
        return !ownerSheet.isEmpty() && sameSheet(ownerSheet, targetSheet);
    return sameSheet(t.sheet, targetSheet);
}

QString invalidRef(const xlsx::RefToken &t)
{
    return t.prefix + QStringLiteral("#REF!");
}

} // namespace

// ---- XlsxRange -----------------------------------------------------------------

XlsxRange::XlsxRange(int row, int column) : XlsxRange(row, column, row, column) {}

XlsxRange::XlsxRange(int firstRow, int firstColumn, int lastRow, int lastColumn)
    : firstRow(firstRow), firstColumn(firstColumn), lastRow(lastRow), lastColumn(lastColumn)
{}

bool XlsxRange::isValid() const
{
    return firstRow >= 1 && firstColumn >= 1 && lastRow >= firstRow && lastColumn >= firstColumn &&
           lastRow <= maxRows && lastColumn <= maxColumns;
}

bool XlsxRange::contains(int row, int column) const
{
    return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
}

bool XlsxRange::intersects(const XlsxRange &o) const
{
    return firstRow <= o.lastRow && o.firstRow <= lastRow && firstColumn <= o.lastColumn && o.firstColumn <= lastColumn;
}

QString XlsxRange::toString(bool absolute) const
{
    if (!isValid())
        return QString();
    const QString d = absolute ? QStringLiteral("$") : QString();
    const QString first = d + columnName(firstColumn) + d + QString::number(firstRow);
    if (isSingleCell())
        return first;
    return first + u':' + d + columnName(lastColumn) + d + QString::number(lastRow);
}

XlsxRange XlsxRange::fromString(const QString &text)
{
    xlsx::RefToken t;
    qsizetype end = 0;
    if (text.isEmpty() || !parseBody(text, 0, &t, &end) || end != text.size())
        return XlsxRange();
    if (t.kind != xlsx::RefToken::Cell && t.kind != xlsx::RefToken::Area)
        return XlsxRange();
    return XlsxRange(std::min(t.r1, t.r2), std::min(t.c1, t.c2), std::max(t.r1, t.r2), std::max(t.c1, t.c2));
}

QString XlsxRange::columnName(int column)
{
    if (column < 1 || column > maxColumns)
        return QString();
    QString name;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        name.prepend(QChar(u'A' + rem));
        column = (column - 1) / 26;
    }
    return name;
}

int XlsxRange::columnNumber(const QString &name)
{
    int column = 0;
    bool absolute = false;
    return parseColumn(name, 0, &column, &absolute) == name.size() && !absolute ? column : 0;
}

// ---- formula rewriting -----------------------------------------------------------

namespace xlsx {

QString formatRefBody(const RefToken &t)
{
    auto dollar = [](bool abs) { return abs ? QStringLiteral("$") : QString(); };
    auto cell = [&](int r, bool ra, int c, bool ca) {
        return dollar(ca) + XlsxRange::columnName(c) + dollar(ra) + QString::number(r);
    };
    switch (t.kind) {
    case RefToken::Cell:
        return cell(t.r1, t.r1Abs, t.c1, t.c1Abs);
    case RefToken::Area:
        return cell(t.r1, t.r1Abs, t.c1, t.c1Abs) + u':' + cell(t.r2, t.r2Abs, t.c2, t.c2Abs);
    case RefToken::Columns:
        return dollar(t.c1Abs) + XlsxRange::columnName(t.c1) + u':' + dollar(t.c2Abs) + XlsxRange::columnName(t.c2);
    case RefToken::Rows:
        return dollar(t.r1Abs) + QString::number(t.r1) + u':' + dollar(t.r2Abs) + QString::number(t.r2);
    }
    return QString();
}

QString rewriteReferences(const QString &formula, const std::function<QString(const RefToken &, const QString &)> &edit)
{
    const QStringView s(formula);
    QString out;
    out.reserve(formula.size());
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar ch = s[i];
        if (ch == u'"') { // string literal, "" escapes a quote
            qsizetype j = i + 1;
            while (j < s.size()) {
                if (s[j] == u'"') {
                    if (j + 1 < s.size() && s[j + 1] == u'"') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = std::min(j + 1, s.size());
            out += s.mid(i, j - i);
            i = j;
            continue;
        }
        if (ch == u'[') { // external book or structured reference: left alone
            qsizetype j = i;
            int depth = 0;
            do {
                if (s[j] == u'[')
                    ++depth;
                else if (s[j] == u']')
                    --depth;
                ++j;
            } while (j < s.size() && depth > 0);
            // An external reference's sheet and cells belong to another book.
            while (j < s.size() && (isNameChar(s[j]) || s[j] == u'!' || s[j] == u'$' || s[j] == u':'))
                ++j;
            out += s.mid(i, j - i);
            i = j;
            continue;
        }
        if (ch == u'\'' || ch == u'$' || isNameChar(ch)) {
            RefToken t;
            qsizetype end = 0;
            if (parseReference(s, i, &t, &end)) {
                out += edit(t, s.mid(i, end - i).toString());
                i = end;
                continue;
            }
            qsizetype j = i + 1;
            if (ch == u'\'') {
                QString ignored;
                j = quotedEnd(s, i, &ignored);
                if (j < 0)
                    j = s.size();
            } else {
                while (j < s.size() && (isNameChar(s[j]) || s[j] == u'$'))
                    ++j;
            }
            out += s.mid(i, j - i);
            i = j;
            continue;
        }
        out += ch;
        ++i;
    }
    return out;
}

QList<RefToken> findReferences(const QString &formula)
{
    QList<RefToken> found;
    rewriteReferences(formula, [&found](const RefToken &t, const QString &original) {
        found.append(t);
        return original;
    });
    return found;
}

QString quoteSheetName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.]*$"));
    RefToken t;
    qsizetype end = 0;
    const bool looksLikeRef = parseBody(name, 0, &t, &end) && end == name.size();
    if (plain.match(name).hasMatch() && !looksLikeRef)
        return name;
    QString quoted = name;
    quoted.replace(QStringLiteral("'"), QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

QString insertRowsInFormula(const QString &formula, const QString &ownerSheet, const QString &targetSheet, int firstRow,
                            int count)
{
    return rewriteReferences(formula, [&](const RefToken &ref, const QString &original) {
        if (!pointsTo(ref, ownerSheet, targetSheet) || ref.kind == RefToken::Columns)
            return original;
        RefToken t = ref;
        if (t.r1 >= firstRow)
            t.r1 += count;
        if (t.r2 >= firstRow)
            t.r2 += count;
        if (t.r1 > XlsxRange::maxRows)
            return invalidRef(t);
        t.r2 = std::min(t.r2, XlsxRange::maxRows);
        return t.prefix + formatRefBody(t);
    });
}

QString removeColumnInFormula(const QString &formula, const QString &ownerSheet, const QString &targetSheet, int column)
{
    return rewriteReferences(formula, [&](const RefToken &ref, const QString &original) {
        if (!pointsTo(ref, ownerSheet, targetSheet) || ref.kind == RefToken::Rows)
            return original;
        RefToken t = ref;
        if (t.c1 == column && t.c2 == column)
            return invalidRef(t);
        if (t.c1 > column)
            --t.c1;
        if (t.c2 >= column)
            --t.c2;
        return t.prefix + formatRefBody(t);
    });
}

QString offsetFormula(const QString &formula, int rowOffset, int columnOffset)
{
    return rewriteReferences(formula, [&](const RefToken &ref, const QString &) {
        RefToken t = ref;
        if (t.kind != RefToken::Columns) {
            if (!t.r1Abs)
                t.r1 += rowOffset;
            if (!t.r2Abs)
                t.r2 += rowOffset;
        }
        if (t.kind != RefToken::Rows) {
            if (!t.c1Abs)
                t.c1 += columnOffset;
            if (!t.c2Abs)
                t.c2 += columnOffset;
        }
        const bool rowsOk = t.kind == RefToken::Columns ||
                            (t.r1 >= 1 && t.r2 >= 1 && t.r1 <= XlsxRange::maxRows && t.r2 <= XlsxRange::maxRows);
        const bool colsOk = t.kind == RefToken::Rows ||
                            (t.c1 >= 1 && t.c2 >= 1 && t.c1 <= XlsxRange::maxColumns && t.c2 <= XlsxRange::maxColumns);
        return rowsOk && colsOk ? t.prefix + formatRefBody(t) : invalidRef(t);
    });
}

QString renameSheetInFormula(const QString &formula, const QString &oldName, const QString &newName)
{
    return rewriteReferences(formula, [&](const RefToken &t, const QString &original) {
        if (t.sheet.isEmpty() || !sameSheet(t.sheet, oldName))
            return original;
        return quoteSheetName(newName) + u'!' + formatRefBody(t);
    });
}

} // namespace xlsx
