#pragma once

#include "platform/report/ReportLayout.h"

#include <QPageLayout>
#include <functional>
#include <optional>

class QPainter;
class QPagedPaintDevice;

namespace report {

// A report laid out on pages: which lines go on which page, painted on
// demand. Laying out needs no device (all sizes are millimetres), so the
// page count is known before the first page is painted.
class ReportPages
{
public:
    // On the layout's own paper, or on page (the paper and orientation a
    // print dialog or a page set-up chose).
    ReportPages(ReportLayout layout, const ResultSet &rows, QString companyName,
                const std::optional<QPageLayout> &page = std::nullopt);
    // The same report laid out again on other paper.
    ReportPages onPage(const QPageLayout &page) const;

    int pageCount() const { return int(m_pages.size()); }
    QPageLayout pageLayout() const;
    const ReportLayout &layout() const { return m_layout; }

    // Paints page (0-based) with the painter's origin at the paper's corner.
    void paintPage(QPainter &painter, int page) const;
    // Paints every page on device. progress(done, total) is asked before each
    // page; false stops there. Returns whether every page was painted.
    bool paintAll(QPagedPaintDevice *device, const std::function<bool(int, int)> &progress = {}) const;
    // Paints the pages of order (0-based; a page may come more than once, for
    // copies) on device. progress(done, total) is asked before each page; false
    // stops there, and stopping(), when given, runs while the painter is still
    // active (a printer's job is aborted then). Returns whether every page was painted.
    bool paintPages(QPagedPaintDevice *device, const QList<int> &order,
                    const std::function<bool(int, int)> &progress = {},
                    const std::function<void()> &stopping = {}) const;

    // The text of one cell, as printed.
    QString cellText(qint64 row, int column) const;

private:
    struct Item
    {
        enum Kind { Detail, GroupTotal, ReportTotal } kind = Detail;
        qint64 row = 0;
        QString label;
        QList<double> sums;            // per column, for totals
        double height = 0;             // mm
        QList<QStringList> lines;      // per column of a wrapping detail row; empty: one line each
    };
    struct Page
    {
        int first = 0; // items [first, last)
        int last = 0;
        bool signatures = false;
    };

    void buildItems();
    void wrapItems();
    void paginate();
    double headerHeight() const;
    double titleHeight() const;
    QString headerText(const LayoutField &field) const;

    ReportLayout m_given; // as the caller gave it, for laying out again
    ReportLayout m_layout;
    QPageLayout m_page;
    const ResultSet &m_rows;
    QString m_company;
    QList<int> m_columnIndex; // result column of each layout column
    QList<double> m_widths;   // printed widths in mm
    QList<Item> m_items;
    QList<Page> m_pages;
    QSizeF m_paperMm;
    double m_lineMm = 0; // one more line of a wrapped text
};

} // namespace report
