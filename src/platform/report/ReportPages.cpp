#include "platform/report/ReportPages.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <cmath>
#include <numeric>

namespace report {

namespace {

// CJK faces that scripts/test installs, the first preferred: its glyphs map back
// to the characters they show, so text copied or searched in a PDF reads as
// printed (the second maps shared glyphs to radicals and loses digits next to
// letters). Qt falls back by itself where neither is installed.
const QStringList kFontFamilies = {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")};
constexpr double kFooterMm = 8;
constexpr double kGapMm = 2;
constexpr double kSignatureMm = 16;
constexpr double kPadMm = 1;

QPageSize::PageSizeId pageId(const QString &paper)
{
    if (paper == QLatin1String("A3"))
        return QPageSize::A3;
    if (paper == QLatin1String("A5"))
        return QPageSize::A5;
    if (paper == QLatin1String("Letter"))
        return QPageSize::Letter;
    return QPageSize::A4;
}

QFont font(double pt, bool bold = false)
{
    QFont f;
    f.setFamilies(kFontFamilies);
    f.setPointSizeF(pt);
    f.setBold(bold);
    return f;
}

double toNumber(const QVariant &v)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok && std::isfinite(d) ? d : 0;
}

} // namespace

ReportPages::ReportPages(ReportLayout layout, const ResultSet &rows, QString companyName,
                         const std::optional<QPageLayout> &page)
    : m_given(layout), m_layout(std::move(layout)), m_rows(rows), m_company(std::move(companyName))
{
    // The layout's paper is the default; a print dialog's choice wins.
    m_page = page && page->isValid()
                 ? QPageLayout(page->pageSize(), page->orientation(), QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter)
                 : QPageLayout(QPageSize(pageId(m_layout.paper)),
                               m_layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                               QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    m_layout.landscape = m_page.orientation() == QPageLayout::Landscape;
    m_paperMm = m_page.fullRect(QPageLayout::Millimeter).size();
    for (const LayoutColumn &c : std::as_const(m_layout.columns))
        m_columnIndex.append(rows.columnIndex(c.field));
    // Columns wider than the paper shrink together; narrower ones stay as drawn.
    const double usable = m_paperMm.width() - 2 * m_layout.marginMm;
    double total = 0;
    for (const LayoutColumn &c : std::as_const(m_layout.columns))
        total += c.widthMm;
    // The font shrinks with them, so that what fitted a column still fits.
    const double scale = total > usable && total > 0 ? usable / total : 1.0;
    if (scale < 1.0) {
        const double pt = qMax(5.0, m_layout.fontPt * scale);
        if (m_layout.rowHeightMm > 0)
            m_layout.rowHeightMm *= pt / m_layout.fontPt;
        m_layout.fontPt = pt;
    }
    for (const LayoutColumn &c : std::as_const(m_layout.columns))
        m_widths.append(c.widthMm * scale);
    buildItems();
    wrapItems();
    paginate();
}

ReportPages ReportPages::onPage(const QPageLayout &page) const
{
    return ReportPages(m_given, m_rows, m_company, page);
}

QPageLayout ReportPages::pageLayout() const
{
    return m_page;
}

void ReportPages::buildItems()
{
    const int n = int(m_layout.columns.size());
    bool anySum = false;
    for (const LayoutColumn &c : std::as_const(m_layout.columns))
        anySum = anySum || c.sum;
    const int groupColumn = m_layout.groupBy.isEmpty() ? -1 : m_rows.columnIndex(m_layout.groupBy);
    QList<double> groupSums(n, 0.0), totalSums(n, 0.0);
    QString groupValue;
    bool groupOpen = false;
    auto closeGroup = [&] {
        if (!groupOpen)
            return;
        Item g;
        g.kind = Item::GroupTotal;
        g.label = m_layout.groupCaption + QLatin1Char(' ') + groupValue;
        g.sums = groupSums;
        m_items.append(g);
        groupSums.fill(0.0);
        groupOpen = false;
    };
    m_items.reserve(m_rows.rowCount() + 2);
    for (qint64 r = 0; r < m_rows.rowCount(); ++r) {
        if (groupColumn >= 0) {
            const QString v = m_rows.text(r, groupColumn);
            if (groupOpen && v != groupValue)
                closeGroup();
            groupValue = v;
            groupOpen = true;
        }
        Item d;
        d.row = r;
        m_items.append(d);
        for (int c = 0; c < n; ++c) {
            if (!m_layout.columns.at(c).sum)
                continue;
            const double v = toNumber(m_rows.value(r, m_columnIndex.at(c)));
            groupSums[c] += v;
            totalSums[c] += v;
        }
    }
    closeGroup();
    if (m_layout.showTotal) {
        Item t;
        t.kind = Item::ReportTotal;
        t.label = m_layout.totalCaption;
        t.sums = totalSums;
        if (!anySum)
            t.label += QStringLiteral(" %1").arg(m_rows.rowCount());
        m_items.append(t);
    }
}

namespace {

// Where a text may break: after a blank, a slash or a hyphen, and around
// wide (CJK) characters.
bool breaksAfter(const QString &s, qsizetype i)
{
    const QChar c = s.at(i);
    if (c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('-') || c == QLatin1Char(','))
        return true;
    return i + 1 < s.size() && (c.unicode() >= 0x2E80 || s.at(i + 1).unicode() >= 0x2E80);
}

// The text in lines no wider than widthMm at the font, broken where it may
// break, else where it must.
QStringList wrapText(const QString &text, const QFont &f, double widthMm)
{
    const QFontMetricsF fm(f);
    // Screen and printer round glyphs differently: a little room is kept.
    const double width = qMax(1.0, widthMm / 25.4 * fm.fontDpi() * 0.94);
    QStringList out;
    QString rest = text;
    while (!rest.isEmpty()) {
        if (fm.horizontalAdvance(rest) <= width) {
            out << rest;
            break;
        }
        qsizetype fit = 1;
        while (fit < rest.size() && fm.horizontalAdvance(rest.left(fit + 1)) <= width)
            ++fit;
        qsizetype cut = fit;
        for (qsizetype i = fit - 1; i > 0; --i)
            if (breaksAfter(rest, i)) {
                cut = i + 1;
                break;
            }
        out << rest.left(cut).trimmed();
        rest = rest.mid(cut);
        while (rest.startsWith(QLatin1Char(' ')))
            rest.remove(0, 1);
    }
    return out.isEmpty() ? QStringList{QString()} : out;
}

} // namespace

void ReportPages::wrapItems()
{
    const double rowH = m_layout.rowHeight();
    QList<int> wrapping;
    for (int c = 0; c < m_layout.columns.size(); ++c)
        if (m_layout.columns.at(c).wrap)
            wrapping << c;
    const QFontMetricsF fm(font(m_layout.fontPt));
    m_lineMm = qMin(rowH, fm.lineSpacing() / fm.fontDpi() * 25.4);
    for (Item &item : m_items) {
        item.height = rowH;
        if (item.kind != Item::Detail || wrapping.isEmpty())
            continue;
        int most = 1;
        QList<QStringList> lines(m_layout.columns.size());
        for (int c : std::as_const(wrapping)) {
            lines[c] = wrapText(cellText(item.row, c), font(m_layout.fontPt), m_widths.at(c) - 2 * kPadMm);
            most = qMax(most, int(lines.at(c).size()));
        }
        if (most > 1) {
            item.lines = lines;
            item.height = rowH + (most - 1) * m_lineMm;
        }
    }
}

double ReportPages::titleHeight() const
{
    const double pt = m_layout.fontPt;
    return (pt * 1.6 + pt * 1.3) * 0.3528 * 1.6;
}

double ReportPages::headerHeight() const
{
    if (m_layout.header.isEmpty())
        return 0;
    const int perLine = m_layout.landscape ? 4 : 3;
    const int lines = int((m_layout.header.size() + perLine - 1) / perLine);
    return lines * m_layout.rowHeight() + kGapMm;
}

void ReportPages::paginate()
{
    const double rowH = m_layout.rowHeight();
    const double top = m_layout.marginMm + titleHeight() + headerHeight() + rowH; // first line's top
    const double bottom = m_paperMm.height() - m_layout.marginMm - kFooterMm;
    const int count = int(m_items.size());
    // Rows as tall as their wrapped texts; each page holds at least one.
    double used = top;
    int first = 0;
    for (int i = 0; i < count; ++i) {
        const double h = m_items.at(i).height;
        if (i > first && used + h > bottom + 1e-9) {
            m_pages.append(Page{first, i, false});
            first = i;
            used = top;
        }
        used += h;
    }
    m_pages.append(Page{first, count, false});
    if (m_layout.signatures.isEmpty())
        return;
    if (bottom - used >= kGapMm * 2 + kSignatureMm) {
        m_pages.last().signatures = true;
    } else {
        Page p;
        p.first = p.last = count;
        p.signatures = true;
        m_pages.append(p);
    }
}

QString ReportPages::cellText(qint64 row, int column) const
{
    return m_layout.columns.at(column).format.apply(m_rows.value(row, m_columnIndex.at(column)));
}

QString ReportPages::headerText(const LayoutField &field) const
{
    if (field.field.isEmpty() || m_rows.isEmpty())
        return {};
    return field.format.apply(m_rows.value(0, m_rows.columnIndex(field.field)));
}

void ReportPages::paintPage(QPainter &p, int page) const
{
    if (page < 0 || page >= pageCount())
        return;
    const Page &pg = m_pages.at(page);
    const double k = p.device()->logicalDpiX() / 25.4; // device units per millimetre
    auto mm = [k](double v) { return v * k; };
    const double left = m_layout.marginMm;
    const double width = m_paperMm.width() - 2 * left;
    const double rowH = m_layout.rowHeight();
    const double pt = m_layout.fontPt;
    double y = m_layout.marginMm;

    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen thin(Qt::black);
    thin.setWidthF(mm(0.2));
    p.setPen(thin);

    auto text = [&](const QRectF &boxMm, const QString &s, Qt::Alignment align) {
        const QRectF r(mm(boxMm.x() + kPadMm), mm(boxMm.y()), mm(boxMm.width() - 2 * kPadMm), mm(boxMm.height()));
        const QFontMetricsF fm(p.font(), p.device());
        p.drawText(r, int(align | Qt::AlignVCenter), fm.elidedText(s, Qt::ElideRight, r.width()));
    };

    // Title: the company, then the report's caption.
    const double companyH = pt * 1.6 * 0.3528 * 1.6;
    const double captionH = pt * 1.3 * 0.3528 * 1.6;
    p.setFont(font(pt * 1.6, true));
    text(QRectF(left, y, width, companyH), m_company, Qt::AlignHCenter);
    y += companyH;
    p.setFont(font(pt * 1.3, true));
    text(QRectF(left, y, width, captionH), m_layout.caption, Qt::AlignHCenter);
    y += captionH;

    // Header fields, several to a line.
    p.setFont(font(pt));
    if (!m_layout.header.isEmpty()) {
        const int perLine = m_layout.landscape ? 4 : 3;
        const double w = width / perLine;
        for (int i = 0; i < m_layout.header.size(); ++i) {
            const LayoutField &f = m_layout.header.at(i);
            const double x = left + (i % perLine) * w;
            const double fy = y + (i / perLine) * rowH;
            text(QRectF(x, fy, w, rowH), f.label + QStringLiteral(": ") + headerText(f), Qt::AlignLeft);
        }
        y += headerHeight();
    }

    // Table: the headings on every page, then this page's lines.
    const int n = int(m_layout.columns.size());
    const int lines = pg.last - pg.first;
    if (lines > 0) {
        p.setFont(font(pt, true));
        double x = left;
        p.fillRect(QRectF(mm(left), mm(y), mm(std::accumulate(m_widths.begin(), m_widths.end(), 0.0)), mm(rowH)),
                   QColor(230, 230, 230));
        for (int c = 0; c < n; ++c) {
            const QRectF cell(x, y, m_widths.at(c), rowH);
            p.drawRect(QRectF(mm(cell.x()), mm(cell.y()), mm(cell.width()), mm(cell.height())));
            text(cell, m_layout.columns.at(c).heading, Qt::AlignHCenter);
            x += m_widths.at(c);
        }
        y += rowH;
        for (int i = pg.first; i < pg.last; ++i) {
            const Item &item = m_items.at(i);
            p.setFont(font(pt, item.kind != Item::Detail));
            x = left;
            bool labelled = false;
            for (int c = 0; c < n; ++c) {
                const LayoutColumn &col = m_layout.columns.at(c);
                const QRectF cell(x, y, m_widths.at(c), item.height);
                p.drawRect(QRectF(mm(cell.x()), mm(cell.y()), mm(cell.width()), mm(cell.height())));
                if (!item.lines.isEmpty() && item.lines.at(c).size() > 1) {
                    // A wrapped text: its lines from the top of the row.
                    const QStringList &cellLines = item.lines.at(c);
                    const double pad = (rowH - m_lineMm) / 2;
                    for (int l = 0; l < cellLines.size(); ++l)
                        text(QRectF(cell.x(), cell.y() + pad + l * m_lineMm, cell.width(), m_lineMm), cellLines.at(l),
                             col.align);
                    x += m_widths.at(c);
                    continue;
                }
                QString s;
                if (item.kind == Item::Detail)
                    s = cellText(item.row, c);
                else if (col.sum)
                    s = col.format.kind == ValueFormat::Number ? col.format.apply(item.sums.at(c))
                                                               : numberText(item.sums.at(c));
                else if (!labelled) {
                    s = item.label;
                    labelled = true;
                }
                text(cell, s, item.kind == Item::Detail || col.sum ? col.align : Qt::AlignLeft);
                x += m_widths.at(c);
            }
            y += item.height;
        }
    }

    // Signature boxes after the last line.
    if (pg.signatures) {
        y += kGapMm * 2;
        const int boxes = int(m_layout.signatures.size());
        const double w = width / boxes;
        p.setFont(font(pt));
        for (int i = 0; i < boxes; ++i) {
            const LayoutField &f = m_layout.signatures.at(i);
            const QRectF box(left + i * w, y, w, kSignatureMm);
            p.drawRect(QRectF(mm(box.x()), mm(box.y()), mm(box.width()), mm(box.height())));
            text(QRectF(box.x(), box.y(), box.width(), rowH), f.label + QLatin1Char(':'), Qt::AlignLeft);
            text(QRectF(box.x(), box.y() + rowH, box.width(), kSignatureMm - rowH), headerText(f), Qt::AlignHCenter);
        }
    }

    // Page numbers.
    p.setFont(font(pt));
    const double footY = m_paperMm.height() - m_layout.marginMm - kFooterMm;
    text(QRectF(left, footY, width, kFooterMm), QStringLiteral("第 %1 页 / 共 %2 页").arg(page + 1).arg(pageCount()),
         Qt::AlignHCenter);
    p.restore();
}

bool ReportPages::paintAll(QPagedPaintDevice *device, const std::function<bool(int, int)> &progress) const
{
    QList<int> order(pageCount());
    std::iota(order.begin(), order.end(), 0);
    return paintPages(device, order, progress);
}

bool ReportPages::paintPages(QPagedPaintDevice *device, const QList<int> &order,
                             const std::function<bool(int, int)> &progress,
                             const std::function<void()> &stopping) const
{
    QPainter p;
    if (!p.begin(device))
        return false;
    const int total = int(order.size());
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            if (stopping)
                stopping();
            p.end();
            return false;
        }
        if (i > 0 && !device->newPage()) {
            p.end();
            return false;
        }
        paintPage(p, order.at(i));
    }
    return p.end();
}

} // namespace report
