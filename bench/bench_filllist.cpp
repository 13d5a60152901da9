// The line dialog's list refresh (FillList: every list, the description and
// the amounts, on the shared connection) on a real database: median and 90th
// percentile per call for each document kind and stock-deduction mode, from
// a source that holds stock there (issues) or an approved issue (returns).
//
//   build/app/erp-host/erp-host --init sqlite:/tmp/erp-demo.db
//   build/bench/bench_filllist sqlite:/tmp/erp-demo.db [calls]
#include "lines/SourceLists.h"
#include "platform/db/Connection.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The texts a clerk has entered once the line is filled in.
LineInputs typedLine(const Connection &conn, bool forReturn)
{
    const QString sql =
        forReturn ? QStringLiteral("SELECT b.Order_No, b.Mo_No, b.Frm_Inv, t.Frm_Type_Name, m.Mtr_No, w.Bar_Name "
                                   "FROM Mmst412 b INNER JOIN Mmst411 a ON a.Rec_411 = b.Rec_411 "
                                   "INNER JOIN mmst611 m ON m.Rec_611 = b.Rec_611 "
                                   "LEFT JOIN mmst400 t ON t.Frm_Type = b.Frm_Type "
                                   "LEFT JOIN mmst903 w ON w.Bar_No = b.Bar_No "
                                   "WHERE a.Status = '2' AND a.Inv_Type = '1' AND COALESCE(a.Out_Flag, '0') = '0' "
                                   "ORDER BY b.Rec_412")
                  : QStringLiteral("SELECT s.Order_No, s.Mo_No, s.Frm_Inv, t.Frm_Type_Name, s.Mtr_No, w.Bar_Name "
                                   "FROM mmst381 s INNER JOIN mmst611 m ON m.Mtr_No = s.Mtr_No "
                                   "LEFT JOIN mmst400 t ON t.Frm_Type = s.Frm_Type "
                                   "LEFT JOIN mmst903 w ON w.Bar_No = s.Bar_No "
                                   "WHERE s.Mtr_Amt > 0 AND s.Order_No <> '' AND s.Mo_No <> '' AND m.Type = '0' "
                                   "ORDER BY s.Rec_381");
    const ResultSet rs = Sql(conn, sql).select();
    LineInputs in;
    if (rs.isEmpty())
        return in;
    in.orderNo = rs.text(0, 0);
    in.moNo = rs.text(0, 1);
    in.frmInv = rs.text(0, 2);
    in.frmType = rs.text(0, 3);
    in.mtrNo = rs.text(0, 4);
    in.barName = rs.text(0, 5);
    return in;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[size_t(p * double(v.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_filllist DATABASE-URL [calls]\n");
        return 2;
    }
    const int calls = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 300;
    Connection conn = Connection::open(args.at(1));
    const SourceLists lists(conn);
    const bool byOrderUsage = lists.issueByOrderUsage();

    std::printf("FillList on %s, %d calls each (after 20 unmeasured)\n", qPrintable(args.at(1)), calls);
    std::printf("%-22s %-6s %12s %12s %8s\n", "kind", "mode", "median ms", "p90 ms", "lists");
    const struct
    {
        const char *name;
        const char *type;
    } kinds[] = {{"1 issue", "1"}, {"2 return", "2"}, {"3 supplementary", "3"}};
    for (const auto &kind : kinds) {
        const bool forReturn = QLatin1String(kind.type) == QLatin1String("2");
        const LineInputs typed = typedLine(conn, forReturn);
        if (typed.mtrNo.isEmpty()) {
            std::printf("%-22s no source in this database\n", kind.name);
            continue;
        }
        for (const char *mode : {"0", "1", "2"}) {
            std::vector<double> ms;
            ms.reserve(size_t(calls));
            int listed = 0;
            for (int i = -20; i < calls; ++i) {
                LineInputs in = typed;
                in.invType = QLatin1String(kind.type);
                in.stockMode = QLatin1String(mode);
                in.issueByOrderUsage = byOrderUsage;
                FillResult out;
                QElapsedTimer t;
                t.start();
                lists.fill(in, out);
                const double elapsed = double(t.nsecsElapsed()) / 1e6;
                if (i >= 0)
                    ms.push_back(elapsed);
                listed = int(out.frmInvList.size() + out.barNameList.size());
            }
            std::printf("%-22s %-6s %12.3f %12.3f %8d\n", kind.name, mode, percentile(ms, 0.5), percentile(ms, 0.9),
                        listed);
        }
    }
    conn.close();
    return 0;
}
