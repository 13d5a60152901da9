// What a clerk waits for on the generated factory, statement side: the line
// dialog's refresh of its lists (every kind, nature and stock mode), the
// usage import's search (every family and mode, with and without the
// supplier-nature option, each for one typed order, manufacturing order or
// outsourcing order; the order family also over every order), the search dialog's people lists and a 30-day
// search, opening a 200-line document, and taking and releasing the header
// lock. Medians, after warm-up runs, beside their targets.
//
//   build-release/bench/bench_stores [sqlite|pg]
#include "documents/DocumentKind.h"
#include "documents/DocumentSearch.h"
#include "documents/DocumentStore.h"
#include "generator/FactoryLineInputs.h"
#include "lines/SourceLists.h"
#include "lines/UsageImportStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/RecordLock.h"
#include "support/BenchHarness.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdio>

namespace {

QString scalarText(const Connection &conn, const QString &sql)
{
    return Sql(conn, sql).scalar().toString();
}

int g_statements = 0;
void countStatement(const Connection &, const QString &, const QList<QVariant> &)
{
    ++g_statements;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString backend = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("sqlite");
    QString why;
    Connection conn = Bench::open(backend, &why);
    if (!conn.isValid()) {
        std::fprintf(stderr, "bench_stores: %s\n", qPrintable(why));
        return 1;
    }
    // Figures of the PostgreSQL factory say so.
    const QString on = backend == QLatin1String("pg") ? QStringLiteral(", PostgreSQL") : QString();
    const auto report = [&on](const QString &name, double ms, double targetMs, double floorMs = 0) {
        Bench::report(name + on, ms, floorMs, 0, targetMs);
    };
    try {
        // ---- line dialog: one refill per kind, stock mode and nature of
        // the inputs (nothing typed, and a real line's fields typed)
        const SourceLists lists(conn);
        const FactoryLine line = firstLineWithMo(conn);
        for (const char *type : {"1", "2", "3"}) {
            for (const char *mode : {"0", "1", "2"}) {
                for (bool typed : {false, true}) {
                    LineInputs in;
                    in.invType = QString::fromLatin1(type);
                    in.stockMode = QString::fromLatin1(mode);
                    if (typed)
                        typeFactoryLine(line, in);
                    const auto refill = [&] {
                        LineInputs copy = in;
                        FillResult out;
                        lists.fill(copy, out);
                    };
                    const double ms = Bench::median(Bench::timeWarmRuns(21, refill));
                    // The floor: as many statements, each bound and run the
                    // same way, that read nothing.
                    g_statements = 0;
                    Sql::setObserver(countStatement);
                    refill();
                    Sql::setObserver(nullptr);
                    const int statements = g_statements;
                    const double floor = Bench::median(Bench::timeWarmRuns(21, [&] {
                        for (int i = 0; i < statements; ++i)
                            Sql(conn, QStringLiteral("SELECT CAST(? AS INTEGER)")).bind(i).select();
                    }));
                    // On a server each statement is a round trip: the target
                    // is the local database's.
                    report(QStringLiteral("line dialog refresh, kind %1, mode %2, %3 (%4 statements)")
                               .arg(QLatin1String(type), QLatin1String(mode),
                                    typed ? QStringLiteral("fields typed") : QStringLiteral("nothing typed"))
                               .arg(statements),
                           ms, on.isEmpty() ? 10 : 0, floor);
                }
            }
        }

        // ---- usage import search: each family for the one order, manufacturing
        // order or outsourcing order a clerk imports from, and, for scale, the
        // order family over every order (nothing typed)
        const UsageImportStore usage(conn);
        const QString mo =
            scalarText(conn, QStringLiteral("SELECT Mo_No FROM mmst111 WHERE Status = '2' AND %1 'MG%' "
                                            "ORDER BY Rec_111 LIMIT 1")
                                 .arg(conn.dialect().codeLike(QStringLiteral("Mo_No"))));
        const QString order = scalarText(conn, QStringLiteral("SELECT o.Order_No FROM mmst011 o WHERE o.Status = '2' "
                                                              "AND EXISTS (SELECT 1 FROM Mmst01123 b "
                                                              "WHERE b.Rec_011 = o.Rec_011) ORDER BY o.Rec_011 LIMIT 1"));
        const QString pcs =
            scalarText(conn, QStringLiteral("SELECT Pcs_No FROM mmst121 WHERE Status = '2' AND %1 'WG%' "
                                            "ORDER BY Rec_121 LIMIT 1")
                                 .arg(conn.dialect().codeLike(QStringLiteral("Pcs_No"))));
        struct Family
        {
            const char *name;
            bool production;
            bool byOrder;
            QString typed;
        };
        const auto importSearch = [&](const Family &f, int mode, const QString &nature) {
            UsageCriteria c;
            c.stockMode = mode;
            c.propDuty = QStringLiteral("0");
            c.production = f.production;
            c.byOrder = f.byOrder;
            (!f.production ? c.pcsNo : f.byOrder ? c.orderNo : c.moNo) = f.typed;
            qint64 rows = 0;
            const double ms = Bench::median(Bench::timeWarmRuns(5, [&] { rows = usage.proposals(c).rowCount(); }));
            report(QStringLiteral("usage import search, %1, mode %2, supplier nature %3 (%4 rows)")
                              .arg(QLatin1String(f.name))
                              .arg(mode)
                              .arg(nature)
                              .arg(rows),
                          ms, f.typed.isEmpty() ? 0 : 200);
        };
        for (const char *nature : {"0", "1"}) {
            Sql(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = ? WHERE Item_No = ?"))
                .bindAll({QString::fromLatin1(nature), QString::fromUtf8(UsageImportStore::OptionSupplierNature)})
                .exec();
            for (int mode = 0; mode <= 2; ++mode) {
                for (const Family &f : {Family{"manufacturing order", true, false, mo}, Family{"order", true, true, order},
                                        Family{"outsourcing", false, false, pcs}})
                    importSearch(f, mode, QString::fromLatin1(nature));
            }
        }
        Sql(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '0' WHERE Item_No = ?"))
            .bind(QString::fromUtf8(UsageImportStore::OptionSupplierNature))
            .exec();
        for (int mode = 0; mode <= 2; ++mode)
            importSearch(Family{"every order, nothing typed", true, true, QString()}, mode, QStringLiteral("0"));

        // ---- search dialog: the four people lists, then a 30-day search
        const double people = Bench::median(Bench::timeWarmRuns(9, [&] {
            for (const char *column : {"Form_Man", "Bar_Man", "Proc_Man", "Check_Man"})
                Sql(conn, SearchPeopleQuery(QStringLiteral("Mmst411"), QString::fromLatin1(column), conn.dialect()))
                    .select();
        }));
        report(QStringLiteral("search dialog opening (four people lists)"), people, 20);
        DocumentSearch s;
        s.DefTable = QStringLiteral("Mmst411");
        s.DefInvOther = QStringLiteral("Mmst411.Inv_Type = ?");
        s.DefInvOtherValues = {QStringLiteral("1")};
        s.Cb_Check = QStringLiteral("全 部");
        s.print_status = QStringLiteral("全 部");
        s.Date1 = QDate::currentDate().addDays(-30).toString(Qt::ISODate);
        s.Date2 = QDate::currentDate().toString(Qt::ISODate);
        const SearchStatement st = BuildSearchStatement(s, conn.dialect());
        const double search = Bench::median(Bench::timeWarmRuns(9, [&] { Sql(conn, st.statement).select(); }));
        report(QStringLiteral("30-day search"), search, 0);

        // ---- opening a document of 200 lines: its header and its lines
        const ResultSet doc =
            Sql(conn, QStringLiteral("SELECT h.Rec_411, h.Inv_No FROM Mmst411 h WHERE h.Inv_Type = '1' "
                                     "ORDER BY h.Rec_411 LIMIT 1"))
                .select();
        const qint64 rec411 = doc.value(0, 0).toLongLong();
        const QString invNo = doc.text(0, 1);
        Sql(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, "
                                 "Bar_No, Color_No, Stock_Mode) SELECT ?, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                                 "Mtr_Amt, Bar_No, Color_No, Stock_Mode FROM Mmst412 WHERE Rec_412 <= 200 + "
                                 "(SELECT MIN(Rec_412) FROM Mmst412) AND Rec_411 <> ?"))
            .bind(rec411)
            .bind(rec411)
            .exec();
        const DocumentStore store(conn);
        const double open = Bench::median(Bench::timeWarmRuns(9, [&] {
            const ResultSet h = store.headers(HeaderFilter::byNumber(invNo), QStringLiteral("1"));
            store.lines(h.value(0, 0));
        }));
        const qint64 count = Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = ?"))
                                 .bind(rec411)
                                 .scalar()
                                 .toLongLong();
        report(QStringLiteral("document open (%1 lines)").arg(count), open, 20);

        // ---- the header lock, taken and given back
        const RecordLock lock(conn);
        const double locking = Bench::median(Bench::timeWarmRuns(21, [&] {
            lock.lockHeader(rec411);
            lock.unlockHeader(rec411);
        }));
        report(QStringLiteral("LockRecord + UnlockRecord"), locking, 0);
    } catch (const ErpError &e) {
        std::fprintf(stderr, "bench_stores: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
