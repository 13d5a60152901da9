// Approval and reset of issues of 10 to 10,000 lines on the generated
// factory, each beside its floor: the same number of prepared balance
// selects, balance updates and journal inserts (deletes for the reset) by
// primary key in one transaction on the same database, rolled back. Beside
// them, approving 1,000 lines with the document history kept beside the
// same approval on a connection that keeps none: what the history costs.
//
//   build-release/bench/bench_posting [sqlite|pg] [lines...]
#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DocumentHistory.h"
#include "support/BenchHarness.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace {

struct Document
{
    qint64 rec411 = 0;
    QString invNo;
    QDate date;
    QList<qint64> balances;      // Rec_381 of each line
    QList<QList<QVariant>> keys; // Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No of each line
};

// An open issue by manufacturing order over n balances that each hold at
// least a unit, taking half a unit from each.
Document makeIssue(const Connection &conn, int n)
{
    Document doc;
    doc.date = QDate::currentDate();
    doc.invNo = QStringLiteral("BENCH%1").arg(n);
    Transaction tx(conn);
    Sql(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 IN (SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?)"))
        .bind(doc.invNo)
        .exec();
    Sql(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Inv_No = ?")).bind(doc.invNo).exec();
    doc.rec411 = Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, "
                                          "Prop_Duty, Out_Flag, Pcs_No, Status, Lock, Form_Man, Upd_Name) "
                                          "VALUES (?, ?, '1', '0001001', '2', '0', '0', '', '0', 'No', ?, ?)"))
                     .bind(doc.invNo)
                     .bind(doc.date)
                     .bind(QStringLiteral("bench"))
                     .bind(QStringLiteral("bench"))
                     .insert(QStringLiteral("Rec_411"));
    // Spread over the whole table, as a real document's sources are.
    const qint64 total =
        Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst381 WHERE Mtr_Amt >= 1")).scalar().toLongLong();
    const qint64 step = std::max<qint64>(1, total / n);
    const ResultSet rows =
        Sql(conn, QStringLiteral("SELECT b.Rec_381, m.Rec_611, b.Frm_Inv, b.Frm_Type, b.Order_No, b.Mo_No, b.Bar_No, "
                                 "b.Color_No, b.Mtr_No FROM mmst381 b INNER JOIN mmst611 m ON m.Mtr_No = b.Mtr_No "
                                 "WHERE b.Mtr_Amt >= 1 ORDER BY b.Rec_381"))
            .select();
    for (qint64 i = 0; i < rows.rowCount() && doc.balances.size() < n; i += step) {
        Sql(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, "
                                 "Bar_No, Color_No, Stock_Mode, Supl_Inv, Upd_Name) "
                                 "VALUES (?, ?, ?, ?, ?, ?, 0.5, ?, ?, '2', '2', 'bench')"))
            .bindAll({doc.rec411, rows.value(i, 1), rows.value(i, 2), rows.value(i, 3), rows.value(i, 4),
                      rows.value(i, 5), rows.value(i, 6), rows.value(i, 7)})
            .exec();
        doc.balances.append(rows.value(i, 0).toLongLong());
        doc.keys.append({rows.value(i, 4), rows.value(i, 5), rows.value(i, 2), rows.value(i, 3), rows.value(i, 8),
                         rows.value(i, 6), rows.value(i, 7)});
    }
    tx.commit();
    return doc;
}

void prepare(QSqlQuery &q, const QString &text)
{
    if (!q.prepare(text))
        Connection::raise(q.lastError(), text);
}
void run(QSqlQuery &q)
{
    if (!q.exec())
        Connection::raise(q.lastError());
}

// What posting these lines cannot do with less: per line one prepared
// select and one update of the balance by its key, and one journal insert
// (approve) or delete (reset), in one committed transaction. The journal rows
// carry the lines' stock keys, so their index entries land where a real
// posting's do. The reset floor
// takes back what the approve floor did, so the two leave the data as it was.
// Returns its milliseconds.
double floorRun(const Connection &conn, const Document &doc, bool approve)
{
    QList<qint64> journalKeys;
    if (!approve) {
        const ResultSet keys =
            Sql(conn, QStringLiteral("SELECT Rec_388 FROM mmst388 WHERE Inv_No = ? ORDER BY Rec_388"))
                .bind(doc.invNo + QStringLiteral("F"))
                .select();
        for (qint64 i = 0; i < keys.rowCount(); ++i)
            journalKeys.append(keys.value(i, 0).toLongLong());
    }
    QElapsedTimer clock;
    clock.start();
    Transaction tx(conn);
    QSqlQuery select(conn.database()), update(conn.database()), journal(conn.database());
    prepare(select, QStringLiteral("SELECT Mtr_Amt FROM mmst381 WHERE Rec_381 = ?"));
    prepare(update,
            QStringLiteral("UPDATE mmst381 SET Mtr_Amt = Mtr_Amt + ?, Upd_Name = ?, Upd_Date = ? WHERE Rec_381 = ?"));
    if (approve)
        prepare(journal,
                QStringLiteral("INSERT INTO mmst388 (Inv_No, Inv_Type, Inv_Date, Order_No, Mo_No, Frm_Inv, "
                               "Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs, d_order_no, d_mo_no, "
                               "Upd_Name, Upd_Date) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, '', '', ?, ?)"));
    else
        prepare(journal, QStringLiteral("DELETE FROM mmst388 WHERE Rec_388 = ?"));
    const QString today = doc.date.toString(Qt::ISODate);
    for (qsizetype i = 0; i < doc.balances.size(); ++i) {
        const qint64 key = doc.balances.at(i);
        select.bindValue(0, key);
        run(select);
        select.next();
        select.finish();
        update.bindValue(0, approve ? -0.5 : 0.5);
        update.bindValue(1, QStringLiteral("bench"));
        update.bindValue(2, today);
        update.bindValue(3, key);
        run(update);
        if (approve) {
            journal.bindValue(0, doc.invNo + QStringLiteral("F"));
            journal.bindValue(1, QStringLiteral("生产领料单"));
            journal.bindValue(2, today);
            const QList<QVariant> &k = doc.keys.at(i);
            for (int p = 0; p < k.size(); ++p)
                journal.bindValue(3 + p, k.at(p));
            journal.bindValue(10, -0.5);
            journal.bindValue(11, QStringLiteral("bench"));
            journal.bindValue(12, today);
        } else {
            journal.bindValue(0, journalKeys.value(i));
        }
        run(journal);
    }
    select.finish();
    update.finish();
    journal.finish();
    tx.commit();
    return double(clock.nsecsElapsed()) / 1e6;
}

// A second connection on the same database that keeps no history: the
// table is out of its sight for the moment the connection first looks.
Connection withoutHistory(const Connection &conn)
{
    Sql(conn, QStringLiteral("ALTER TABLE Erp_Doc_History RENAME TO Erp_Doc_History_Away")).exec();
    Connection other = Connection::open(conn.url());
    const bool kept = DocumentHistory::isKept(other);
    Sql(conn, QStringLiteral("ALTER TABLE Erp_Doc_History_Away RENAME TO Erp_Doc_History")).exec();
    if (kept)
        throw ErpError(1, QStringLiteral("bench"), QStringLiteral("the history is still seen"));
    return other;
}

// Approving 1,000 lines with the history kept, beside the same approval
// without it, runs alternating; each approval is reset before the next.
void historyCost(const Connection &conn, const Document &doc, const QString &name)
{
    if (!DocumentHistory::isKept(conn))
        throw ErpError(1, QStringLiteral("bench"), QStringLiteral("the database keeps no history"));
    Connection bare = withoutHistory(conn);
    const DocumentKind &kind = DocumentKind::issue();
    std::vector<double> with, without;
    for (int r = 0; r < 7; ++r) {
        for (const Connection *c : {&conn, static_cast<const Connection *>(&bare)}) {
            const DocumentStore store(*c);
            const double ms = Bench::timeRuns(1, [&] {
                if (!store.post(kind, true, doc.rec411, doc.invNo, doc.date, QStringLiteral("bench")).posted)
                    throw ErpError(1, QStringLiteral("bench"), QStringLiteral("approval refused"));
            })[0];
            (c == &conn ? with : without).push_back(ms);
            if (!store.post(kind, false, doc.rec411, doc.invNo, doc.date, QStringLiteral("bench")).posted)
                throw ErpError(1, QStringLiteral("bench"), QStringLiteral("reset refused"));
        }
    }
    bare.close();
    Bench::report(
        QStringLiteral("approve %1 lines with history, %2 (floor: without)").arg(doc.balances.size()).arg(name),
        Bench::median(with), Bench::median(without), 1.1, 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString backend =
        !args.isEmpty() && !args.first().at(0).isDigit() ? args.takeFirst() : QStringLiteral("sqlite");
    QList<int> sizes;
    for (const QString &a : args)
        sizes.append(a.toInt());
    if (sizes.isEmpty())
        sizes = {10, 100, 1000, 10000};
    QString why;
    Connection conn = Bench::open(backend, &why);
    if (!conn.isValid()) {
        std::fprintf(stderr, "bench_posting: %s\n", qPrintable(why));
        return 1;
    }
    const QString name = backend == QLatin1String("pg") ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
    try {
        DocumentStore store(conn);
        const DocumentKind &kind = DocumentKind::issue();
        for (int n : sizes) {
            const Document doc = makeIssue(conn, n);
            const int runs = n >= 10000 ? 3 : (n >= 1000 ? 5 : 9);
            std::vector<double> approve, reset, floorApprove, floorReset;
            for (int r = 0; r < runs; ++r) {
                approve.push_back(Bench::timeRuns(1, [&] {
                    if (!store.post(kind, true, doc.rec411, doc.invNo, doc.date, QStringLiteral("bench")).posted)
                        throw ErpError(1, QStringLiteral("bench"), QStringLiteral("approval refused"));
                })[0]);
                floorApprove.push_back(floorRun(conn, doc, true));
                floorReset.push_back(floorRun(conn, doc, false));
                reset.push_back(Bench::timeRuns(1, [&] {
                    if (!store.post(kind, false, doc.rec411, doc.invNo, doc.date, QStringLiteral("bench")).posted)
                        throw ErpError(1, QStringLiteral("bench"), QStringLiteral("reset refused"));
                })[0]);
            }
            const double target = n >= 1000 ? 3 : 0;
            Bench::report(QStringLiteral("approve %1 lines, %2").arg(n).arg(name), Bench::median(approve),
                          Bench::median(floorApprove), target, 0);
            Bench::report(QStringLiteral("reset %1 lines, %2").arg(n).arg(name), Bench::median(reset),
                          Bench::median(floorReset), target, 0);
            if (n == 1000)
                historyCost(conn, doc, name);
        }
    } catch (const ErpError &e) {
        std::fprintf(stderr, "bench_posting: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
