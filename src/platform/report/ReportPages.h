#pragma once

#include "platform/report/ReportLayout.h"

#include <QPageLayout>
#include <functional>

class QPainter;
class QPagedPaintDevice;

namespace report {

// A report laid out on pages: which lines go on which page, painted on
// demand. Laying out needs no device (all sizes are millimetres), so the
// page count is known before the first page is painted.
class ReportPages
{
public:
    ReportPages(ReportLayout layout, const ResultSet &rows, QString companyName);

    int pageCount() const { return int(m_pages.size()); }
    QPageLayout pageLayout() const;
    const ReportLayout &layout() const { return m_layout; }

    // Paints page (0-based) with the painter's origin at the paper's corner.
    void paintPage(QPainter &painter, int page) const;
    // Paints every page on device. progress(done, total) is asked before each
    // page; false stops there. Returns whether every page was painted.
    bool paintAll(QPagedPaintDevice *device, const std::function<bool(int, int)> &progress = {}) const;

    // The text of one cell, as printed.
    QString cellText(qint64 row, int column) const;

private:
    struct Item
    {
        enum Kind { Detail, GroupTotal, ReportTotal } kind = Detail;
        qint64 row = 0;
        QString label;
        QList<double> sums; // per column, for totals
    };
    struct Page
    {
        int first = 0; // items [first, last)
        int last = 0;
        bool signatures = false;
    };

    void buildItems();
    void paginate();
    double headerHeight() const;
    double titleHeight() const;
    QString headerText(const LayoutField &field) const;

    ReportLayout m_layout;
    const ResultSet &m_rows;
    QString m_company;
    QList<int> m_columnIndex; // result column of each layout column
    QList<double> m_widths;   // printed widths in mm
    QList<Item> m_items;
    QList<Page> m_pages;
    QSizeF m_paperMm;
};

} // namespace report
