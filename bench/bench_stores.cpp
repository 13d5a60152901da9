// What a clerk waits for on the generated factory, statement side, each
// figure a median after warm-up runs beside the raw floor of its own
// statements (captured from one run, prepared once and run raw on the same
// connection in the same run):
//
// - the line dialog's refresh of its lists for every kind, stock mode and
//   nature, with nothing typed and with a real line's fields typed, also
//   beside as many statements that read nothing, on the factory (N = 1), on
//   one with three times its history (N = 3, when generated) and on the
//   factory with its planner statistics deleted;
// - one key's usage import, opening a 200-line document and the 30-day
//   search at N = 1 and N = 3;
// - the usage import's search for every family, mode and supplier-nature
//   option, the broad searches with nothing typed, the search dialog's
//   people lists and the header lock, at N = 1.
//
//   build-release/bench/bench_stores [sqlite|pg] [--prepare]
// (--prepare: only make the PostgreSQL factories that are missing)
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
#include <optional>

namespace {

constexpr double kTargetMs = 10;
constexpr double kHistoryRatio = 1.5;

QString scalarText(const Connection &conn, const QString &sql)
{
    return Sql(conn, sql).scalar().toString();
}

QString ms(double v)
{
    return QString::number(v, 'f', 2);
}

struct Timing
{
    double median = 0;
    double rawFloor = 0;
    int statements = 0;
};

// The work's median and the raw floor of the statements it issues.
Timing measure(const Connection &conn, const std::function<void()> &work, int runs = 21)
{
    Timing t;
    t.median = Bench::median(Bench::timeWarmRuns(runs, work));
    const QList<Statement> statements = Bench::capture(work);
    Bench::RawStatements raw(conn, statements);
    t.rawFloor = Bench::median(Bench::timeWarmRuns(runs, [&] { raw.run(); }));
    t.statements = int(statements.size());
    if (qEnvironmentVariableIsSet("ERP_BENCH_DETAIL")) {
        for (int i = 0; i < raw.size(); ++i) {
            const double one = Bench::median(Bench::timeWarmRuns(
                11, [&] { raw.run(i); }, 50));
            std::printf("    %8.3f ms  %s\n", one, qPrintable(raw.statement(i).text.simplified().left(200)));
        }
    }
    return t;
}

// Planner statistics gone: SQLite's deleted and forgotten on this
// connection; PostgreSQL's deleted and a new session opened, since a
// session keeps what it read of them.
Connection withoutStatistics(Connection conn)
{
    if (conn.backend() == Backend::PostgreSQL) {
        Sql(conn, QStringLiteral("DELETE FROM pg_statistic")).exec();
        return Connection::open(conn.url());
    }
    Sql(conn, QStringLiteral("DELETE FROM sqlite_stat1")).exec();
    Sql(conn, QStringLiteral("ANALYZE sqlite_schema")).exec();
    return conn;
}

struct Refresh
{
    QString type, mode;
    bool outsourcing = false;
    bool typed = false;

    QString name() const
    {
        static const char *const kinds[] = {"", "issue", "return", "supplementary issue"};
        static const char *const modes[] = {"by material", "by order", "by manufacturing order"};
        return QStringLiteral("refresh, %1, %2, %3, %4")
            .arg(QLatin1String(kinds[type.toInt()]), QLatin1String(modes[mode.toInt()]),
                 outsourcing ? QStringLiteral("outsourcing") : QStringLiteral("production"),
                 typed ? QStringLiteral("fields typed") : QStringLiteral("nothing typed"));
    }
    LineInputs inputs(const Connection &conn) const
    {
        const FactoryLine line = firstLineWithMo(conn, outsourcing);
        LineInputs in;
        in.invType = type;
        in.stockMode = mode;
        in.outsourcing = outsourcing;
        in.pcsNo = line.pcsNo;
        if (typed)
            typeFactoryLine(line, in);
        return in;
    }
};

// Another user's write, committed on a connection of its own: after it,
// nothing the lists kept may be used again.
class OtherUser
{
public:
    explicit OtherUser(const Connection &conn) : m_conn(Connection::open(conn.url())) {}
    ~OtherUser() { m_conn.close(); }
    void write()
    {
        Sql(m_conn, QStringLiteral("UPDATE mmst000 SET Comp_Ename = ?")).bind(QString::number(++m_writes)).exec();
    }

private:
    Connection m_conn;
    int m_writes = 0;
};

// The median of refreshes that each follow another user's write, after as
// many unmeasured ones.
double afterChanges(const Connection &conn, const SourceLists &lists, const Refresh &r, int runs = 15)
{
    OtherUser other(conn);
    const LineInputs in = r.inputs(conn);
    const auto work = [&] {
        LineInputs copy = in;
        FillResult out;
        lists.fill(copy, out);
    };
    Bench::timeRuns(runs, work, [&] { other.write(); });
    return Bench::median(Bench::timeRuns(runs, work, [&] { other.write(); }));
}

// A refresh on a database, as the dialog runs it: one list object for the
// dialog's life, every refresh after the first measured while nothing
// changes; the raw floor is that of the statements of a refresh after a
// change, when every list is read.
Timing refresh(const Connection &conn, const SourceLists &lists, const Refresh &r, double *nothing)
{
    const LineInputs in = r.inputs(conn);
    const auto work = [&] {
        LineInputs copy = in;
        FillResult out;
        lists.fill(copy, out);
    };
    Timing t;
    t.median = Bench::median(Bench::timeWarmRuns(21, work));
    OtherUser other(conn);
    other.write();
    const QList<Statement> statements = Bench::capture(work);
    Bench::RawStatements raw(conn, statements);
    t.rawFloor = Bench::median(Bench::timeWarmRuns(21, [&] { raw.run(); }));
    t.statements = int(statements.size());
    if (qEnvironmentVariableIsSet("ERP_BENCH_DETAIL")) {
        for (int i = 0; i < raw.size(); ++i) {
            const double one = Bench::median(Bench::timeWarmRuns(
                11, [&] { raw.run(i); }, 50));
            std::printf("    %8.3f ms  %s\n", one, qPrintable(raw.statement(i).text.simplified().left(200)));
        }
    }
    // As many statements, kept prepared as the lists keep theirs, that read nothing.
    PreparedStatements kept(conn);
    *nothing = Bench::median(Bench::timeWarmRuns(21, [&] {
        for (int i = 0; i < t.statements; ++i)
            Sql(kept, QStringLiteral("SELECT CAST(? AS INTEGER)")).bind(i).select();
    }));
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString backend = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("sqlite");
    const QString server = backend == QLatin1String("pg") ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
    QString why;
    Connection conn = Bench::open(backend, &why);
    if (!conn.isValid()) {
        std::fprintf(stderr, "bench_stores: %s\n", qPrintable(why));
        return 1;
    }
    if (argc > 2 && qstrcmp(argv[2], "--prepare") == 0) {
        Connection three = Bench::open(backend, &why, 3);
        if (!three.isValid())
            std::fprintf(stderr, "bench_stores: %s\n", qPrintable(why));
        return three.isValid() ? 0 : 1;
    }
    // Three times the history, when it has been generated.
    QString whyNot3;
    Connection conn3 =
        qEnvironmentVariableIsSet("ERP_BENCH_NO_HISTORY") ? Connection() : Bench::open(backend, &whyNot3, 3);
    if (!conn3.isValid())
        std::fprintf(stderr, "bench_stores: no N = 3 column (%s)\n", qPrintable(whyNot3));
    const auto report = [&server](const QString &name, double median, double targetMs, double floorMs = 0) {
        Bench::report(name + QStringLiteral(", ") + server, median, floorMs, 0, targetMs);
    };
    try {
        // ---- the line dialog's refresh
        QList<Refresh> refreshes;
        for (bool outsourcing : {false, true})
            for (const char *type : {"1", "2", "3"})
                for (const char *mode : {"0", "1", "2"})
                    for (bool typed : {false, true})
                        refreshes.append({QString::fromLatin1(type), QString::fromLatin1(mode), outsourcing, typed});
        struct Row
        {
            Timing n1;                                  // nothing changed in the database since the refresh before
            double changed = 0, changed3 = 0, bare = 0; // after another user's write
            double nothing = 0;
        };
        QList<Row> rows(refreshes.size());
        {
            const SourceLists lists(conn);
            std::optional<SourceLists> lists3;
            if (conn3.isValid())
                lists3.emplace(conn3);
            for (qsizetype i = 0; i < refreshes.size(); ++i) {
                if (qEnvironmentVariableIsSet("ERP_BENCH_DETAIL"))
                    std::printf("%s\n", qPrintable(refreshes.at(i).name()));
                rows[i].n1 = refresh(conn, lists, refreshes.at(i), &rows[i].nothing);
                rows[i].changed = afterChanges(conn, lists, refreshes.at(i));
                if (lists3)
                    rows[i].changed3 = afterChanges(conn3, *lists3, refreshes.at(i));
            }
        }
        {
            // A copy of its own, so that the figures after it keep their statistics.
            QString whyBare;
            Connection bare = withoutStatistics(Bench::open(backend, &whyBare));
            const SourceLists lists(bare);
            for (qsizetype i = 0; i < refreshes.size(); ++i) {
                if (qEnvironmentVariableIsSet("ERP_BENCH_DETAIL")) {
                    std::printf("%s, no statistics\n", qPrintable(refreshes.at(i).name()));
                    double nothing = 0;
                    refresh(bare, lists, refreshes.at(i), &nothing);
                }
                rows[i].bare = afterChanges(bare, lists, refreshes.at(i));
            }
            bare.close();
        }
        std::printf(
            "\n| line dialog %s (statements) | after a change ms | raw floor ms | ratio | "
            "reads-nothing floor ms | unchanged ms | N = 3 ms | N = 3 / N = 1 | no statistics ms | target | |\n",
            qPrintable(server));
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---|\n");
        for (qsizetype i = 0; i < refreshes.size(); ++i) {
            const Row &r = rows.at(i);
            const bool has3 = conn3.isValid();
            const double growth = has3 ? r.changed3 / r.changed : 0;
            const bool met = r.changed <= kTargetMs && r.n1.median <= kTargetMs && r.bare <= kTargetMs &&
                             (!has3 || (r.changed3 <= kTargetMs && growth <= kHistoryRatio));
            std::printf("| %s (%d) | %s | %s | %.1fx | %s | %s | %s | %s | %s | <= %g ms, N = 3 <= %gx N = 1 | %s |\n",
                        qPrintable(refreshes.at(i).name()), r.n1.statements, qPrintable(ms(r.changed)),
                        qPrintable(ms(r.n1.rawFloor)), r.changed / r.n1.rawFloor, qPrintable(ms(r.nothing)),
                        qPrintable(ms(r.n1.median)), has3 ? qPrintable(ms(r.changed3)) : "-",
                        has3 ? qPrintable(QString::number(growth, 'f', 2) + QLatin1Char('x')) : "-",
                        qPrintable(ms(r.bare)), kTargetMs, kHistoryRatio, met ? "met" : "MISSED");
        }
        std::fflush(stdout);

        // ---- the other interactive figures, at N = 1 and N = 3
        struct Figure
        {
            QString name;
            std::function<std::function<void()>(const Connection &)> work; // the work on a database
            double targetMs;
        };
        const auto firstOf = [](const Connection &c, const QString &sql) { return scalarText(c, sql); };
        const auto usageFor = [&](UsageFamily family, int mode) {
            return [=](const Connection &c) -> std::function<void()> {
                UsageCriteria crit;
                crit.stockMode = mode;
                crit.propDuty = QStringLiteral("0");
                crit.production = family != UsageFamily::Outsourcing;
                crit.byOrder = family == UsageFamily::Order;
                const Dialect &d = c.dialect();
                if (family == UsageFamily::ManufacturingOrder)
                    crit.moNo = firstOf(c, QStringLiteral("SELECT Mo_No FROM mmst111 WHERE Status = '2' AND %1 'MG%' "
                                                          "ORDER BY Rec_111 DESC LIMIT 1")
                                               .arg(d.codeLike(QStringLiteral("Mo_No"))));
                else if (family == UsageFamily::Order)
                    crit.orderNo = firstOf(c, QStringLiteral("SELECT o.Order_No FROM mmst011 o WHERE o.Status = '2' "
                                                             "AND EXISTS (SELECT 1 FROM Mmst01123 b WHERE b.Rec_011 = "
                                                             "o.Rec_011) ORDER BY o.Rec_011 DESC LIMIT 1"));
                else
                    crit.pcsNo = firstOf(c, QStringLiteral("SELECT Pcs_No FROM mmst121 WHERE Status = '2' "
                                                           "ORDER BY Rec_121 DESC LIMIT 1"));
                const auto store = std::make_shared<UsageImportStore>(c);
                return [store, crit] { store->proposals(crit); };
            };
        };
        const auto openDocument = [](const Connection &c) -> std::function<void()> {
            // The newest issue, given 200 lines.
            const ResultSet doc =
                Sql(c, QStringLiteral("SELECT h.Rec_411, h.Inv_No FROM Mmst411 h WHERE "
                                      "h.Inv_Type = '1' AND h.Status = '0' ORDER BY h.Rec_411 DESC LIMIT 1"))
                    .select();
            const qint64 rec411 = doc.value(0, 0).toLongLong();
            const QString invNo = doc.text(0, 1);
            Sql(c,
                QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, "
                               "Bar_No, Color_No, Stock_Mode) SELECT ?, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                               "Mtr_Amt, Bar_No, Color_No, Stock_Mode FROM Mmst412 WHERE Rec_412 <= 200 + "
                               "(SELECT MIN(Rec_412) FROM Mmst412) AND Rec_411 <> ?"))
                .bind(rec411)
                .bind(rec411)
                .exec();
            const auto store = std::make_shared<DocumentStore>(c);
            return [store, invNo] {
                const ResultSet h = store->headers(HeaderFilter::byNumber(invNo), QStringLiteral("1"));
                store->lines(h.value(0, 0));
            };
        };
        const auto search30 = [](const Connection &c) -> std::function<void()> {
            DocumentSearch s;
            s.DefTable = QStringLiteral("Mmst411");
            s.DefInvOther = QStringLiteral("Mmst411.Inv_Type = ?");
            s.DefInvOtherValues = {QStringLiteral("1")};
            s.Cb_Check = QStringLiteral("全 部");
            s.print_status = QStringLiteral("全 部");
            s.Date1 = QDate::currentDate().addDays(-30).toString(Qt::ISODate);
            s.Date2 = QDate::currentDate().toString(Qt::ISODate);
            const Statement st = BuildSearchStatement(s, c.dialect()).statement;
            return [c, st] { Sql(c, st).select(); };
        };
        const QList<Figure> figures{
            {QStringLiteral("usage import, one manufacturing order"), usageFor(UsageFamily::ManufacturingOrder, 2), 0},
            {QStringLiteral("usage import, one order"), usageFor(UsageFamily::Order, 1), 0},
            {QStringLiteral("usage import, one outsourcing order"), usageFor(UsageFamily::Outsourcing, 2), 0},
            {QStringLiteral("document open (200 lines)"), openDocument, kTargetMs},
            {QStringLiteral("30-day search"), search30, kTargetMs},
        };
        std::printf("\n| history, %s | N = 1 ms | raw floor ms | N = 3 ms | N = 3 / N = 1 | target | |\n",
                    qPrintable(server));
        std::printf("|---|---:|---:|---:|---:|---|---|\n");
        for (const Figure &f : figures) {
            const Timing one = measure(conn, f.work(conn), 9);
            std::optional<Timing> three;
            if (conn3.isValid())
                three = measure(conn3, f.work(conn3), 9);
            const double growth = three ? three->median / one.median : 0;
            const bool met = (f.targetMs <= 0 || one.median <= f.targetMs) && (!three || growth <= kHistoryRatio);
            std::printf("| %s | %s | %s | %s | %s | %sN = 3 <= %gx N = 1 | %s |\n", qPrintable(f.name),
                        qPrintable(ms(one.median)), qPrintable(ms(one.rawFloor)),
                        three ? qPrintable(ms(three->median)) : "-",
                        three ? qPrintable(QString::number(growth, 'f', 2) + QLatin1Char('x')) : "-",
                        f.targetMs > 0 ? qPrintable(QStringLiteral("<= %1 ms, ").arg(f.targetMs)) : "", kHistoryRatio,
                        met ? "met" : "MISSED");
        }
        std::printf("\n");
        std::fflush(stdout);
        if (conn3.isValid())
            conn3.close();

        // ---- usage import search: each family for the one order, manufacturing
        // order or outsourcing order a clerk imports from, and the broad
        // searches with nothing typed
        const UsageImportStore usage(conn);
        const QString mo = scalarText(conn, QStringLiteral("SELECT Mo_No FROM mmst111 WHERE Status = '2' AND %1 'MG%' "
                                                           "ORDER BY Rec_111 LIMIT 1")
                                                .arg(conn.dialect().codeLike(QStringLiteral("Mo_No"))));
        const QString order =
            scalarText(conn, QStringLiteral("SELECT o.Order_No FROM mmst011 o WHERE o.Status = '2' "
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
        const auto importSearch = [&](const Family &f, int mode, const QString &nature, double target) {
            UsageCriteria c;
            c.stockMode = mode;
            c.propDuty = QStringLiteral("0");
            c.production = f.production;
            c.byOrder = f.byOrder;
            (!f.production ? c.pcsNo : f.byOrder ? c.orderNo : c.moNo) = f.typed;
            qint64 found = 0;
            const double median = Bench::median(Bench::timeWarmRuns(5, [&] { found = usage.proposals(c).rowCount(); }));
            report(QStringLiteral("usage import search, %1, mode %2, supplier nature %3 (%4 rows)")
                       .arg(QLatin1String(f.name))
                       .arg(mode)
                       .arg(nature)
                       .arg(found),
                   median, target);
        };
        for (const char *nature : {"0", "1"}) {
            Sql(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = ? WHERE Item_No = ?"))
                .bindAll({QString::fromLatin1(nature), QString::fromUtf8(UsageImportStore::OptionSupplierNature)})
                .exec();
            for (int mode = 0; mode <= 2; ++mode) {
                for (const Family &f : {Family{"manufacturing order", true, false, mo},
                                        Family{"order", true, true, order}, Family{"outsourcing", false, false, pcs}})
                    importSearch(f, mode, QString::fromLatin1(nature), 200);
            }
        }
        Sql(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '0' WHERE Item_No = ?"))
            .bind(QString::fromUtf8(UsageImportStore::OptionSupplierNature))
            .exec();
        // The broad searches run behind a progress window that can cancel
        // them; the order family's stays under a second.
        for (int mode = 0; mode <= 2; ++mode) {
            importSearch(Family{"every order, nothing typed", true, true, QString()}, mode, QStringLiteral("0"), 1000);
            importSearch(Family{"every manufacturing order, nothing typed", true, false, QString()}, mode,
                         QStringLiteral("0"), 0);
        }

        // ---- search dialog: the four people lists
        const double people = Bench::median(Bench::timeWarmRuns(9, [&] {
            for (const char *column : {"Form_Man", "Bar_Man", "Proc_Man", "Check_Man"})
                Sql(conn, SearchPeopleQuery(QStringLiteral("Mmst411"), QString::fromLatin1(column), conn.dialect()))
                    .select();
        }));
        report(QStringLiteral("search dialog opening (four people lists)"), people, 20);

        // ---- the header lock, taken and given back
        const qint64 rec411 = Sql(conn, QStringLiteral("SELECT MIN(Rec_411) FROM Mmst411")).scalar().toLongLong();
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
