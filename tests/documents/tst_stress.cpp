// Many clerks on one database: each client approves, resets, deletes and
// changes the lines of documents of all three kinds drawing on a few shared
// stock keys, the way the windows do it (the header lock, the status read
// again under it, the store's posting), with a pause where a user would
// answer. Afterwards the ledger must add up and nothing may be left locked.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentLifecycle.h"
#include "documents/DocumentStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/HeaderLock.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>

namespace {

constexpr int kDocuments = 12;
const char *const kSources[] = {"PI001", "PI002", "PI003"};

struct Tally
{
    std::atomic<int> operations{0};
    std::atomic<int> posted{0};
    std::atomic<int> refused{0};
    std::atomic<int> failures{0}; // errors that reached the caller
    QStringList failureTexts;
    std::mutex failureMutex;
};

// Counts what the clients were told and answers with the default button;
// safe to call from every client's thread.
class CountingMessageBox final : public MessageBoxService
{
public:
    CountingMessageBox() { MessageBoxService::install(this); }
    ~CountingMessageBox() override { MessageBoxService::install(nullptr); }
    int show(const MessageRequest &request) override
    {
        ++shown;
        return defaultAnswer(request.style);
    }
    std::atomic<int> shown{0};
};

} // namespace

class TstStress : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;

    static int operationsPerClient()
    {
        const int n = qEnvironmentVariableIntValue("ERP_STRESS_OPS");
        return n > 0 ? n : 60;
    }
    int clients() const { return conn.backend() == Backend::SQLite ? 4 : 8; }

    QString scalar(const QString &sql, const QList<QVariant> &values = {})
    {
        return DbGateway::NullToString(Sql(conn, sql).bindAll(values).scalar());
    }

    // One client's session: its own connection, its own random sequence.
    static void client(const QString &url, int seed, int operations, Tally &tally)
    {
        Connection own = Connection::open(url);
        std::mt19937 random(seed);
        const auto pick = [&random](int n) { return int(random() % unsigned(n)); };
        for (int i = 0; i < operations; ++i, ++tally.operations) {
            const qint64 key = 1 + pick(kDocuments);
            const DocumentKind &kind = DocumentKind::of(DocumentType((key - 1) % 3));
            const int what = pick(10);
            try {
                HeaderLock lock(own, key);
                if (!lock.held()) {
                    ++tally.refused;
                    continue;
                }
                // The user reads the question while others go on.
                std::this_thread::sleep_for(std::chrono::microseconds(pick(3000)));
                const DocumentStatus status =
                    parseDocumentStatus(DbGateway::LookupStatus(own, QStringLiteral("Rec_411"), QString::number(key),
                                                                QStringLiteral("Mmst411"), QStringLiteral("Status")));
                DocumentStore store(own);
                if (what < 5) {
                    const bool approve = status == DocumentStatus::Open;
                    if (DocumentLifecycle::refusal(approve ? StatusGate::Approve : StatusGate::Reset, status)) {
                        ++tally.refused;
                        continue;
                    }
                    const QString invNo = QStringLiteral("ST%1").arg(key, 3, 10, QLatin1Char('0'));
                    const PostingOutcome out =
                        store.post(kind, approve, key, invNo, QDate(2026, 12, 1), QStringLiteral("clerk%1").arg(seed));
                    if (out.posted) {
                        lock.dismiss();
                        ++tally.posted;
                    } else {
                        ++tally.refused;
                    }
                } else if (DocumentLifecycle::refusal(StatusGate::Change, status)) {
                    ++tally.refused;
                } else if (what < 8) {
                    const char *source = kSources[pick(3)];
                    Sql(own,
                        QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                                       "Mtr_Amt, Bar_No, Color_No, Stock_Mode) "
                                       "VALUES (?, 1, ?, 'A', 'SO1', 'MO1', ?, 'W01', '', '2')"))
                        .bind(key)
                        .bind(QString::fromLatin1(source))
                        .bind(1 + pick(4))
                        .exec();
                } else {
                    const QVariant line =
                        Sql(own, own.dialect().topN(QStringLiteral("SELECT Rec_412 FROM Mmst412 WHERE Rec_411 = ? "
                                                                   "ORDER BY Rec_412"),
                                                    1))
                            .bind(key)
                            .scalar();
                    if (line.isValid())
                        store.deleteLine(line.toLongLong());
                }
            } catch (const ErpError &e) {
                ++tally.failures;
                const std::lock_guard<std::mutex> hold(tally.failureMutex);
                tally.failureTexts << e.description();
            }
        }
        own.close();
    }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) "
                                          "VALUES (1, 'F001', '牛津布', 2.5, 2.5)"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0')"));
        for (const char *source : kSources)
            TestDb::exec(
                conn,
                QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                               "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('SO1', 'MO1', ?, 'A', 'F001', 'W01', '', 20, 2.5)"),
                {QString::fromLatin1(source)});
        for (int key = 1; key <= kDocuments; ++key) {
            TestDb::exec(
                conn,
                QStringLiteral("INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Stock_Mode, "
                               "Status, Lock) VALUES (?, ?, '2026-12-01', ?, '2', '0', 'No')"),
                {key, QStringLiteral("ST%1").arg(key, 3, 10, QLatin1Char('0')), QString::number((key - 1) % 3 + 1)});
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                                        "Mtr_Amt, Bar_No, Color_No, Stock_Mode) "
                                        "VALUES (?, 1, ?, 'A', 'SO1', 'MO1', 2, 'W01', '', '2')"),
                         {key, QString::fromLatin1(kSources[key % 3])});
        }
        for (const auto &[table, key] : {std::pair{"Mmst411", "Rec_411"}, std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void manyClerksKeepTheLedgerWhole()
    {
        CountingMessageBox box;
        Tally tally;
        const int n = clients();
        const int ops = operationsPerClient();
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> threads;
        for (int c = 0; c < n; ++c)
            threads.emplace_back(client, conn.url(), 1000 + c, ops, std::ref(tally));
        for (std::thread &t : threads)
            t.join();
        qInfo("%s: %d clients, %d operations in %.1f s: %d posted, %d refused (%d told), %d failures",
              qPrintable(TestDb::backendName()), n, tally.operations.load(), clock.elapsed() / 1000.0,
              tally.posted.load(), tally.refused.load(), box.shown.load(), tally.failures.load());

        // No deadlock, lock time-out or other failure reached a caller.
        QVERIFY2(tally.failures == 0, qPrintable(tally.failureTexts.join(QLatin1Char('|'))));
        QCOMPARE(tally.operations.load(), n * ops);
        QVERIFY(tally.posted > 0);

        // Each balance is its opening 20 plus what the journal says moved.
        for (const char *source : kSources) {
            const double balance =
                scalar(QStringLiteral("SELECT COALESCE(SUM(Mtr_Amt), 0) FROM mmst381 WHERE Frm_Inv = ?"),
                       {QString::fromLatin1(source)})
                    .toDouble();
            const double moved =
                scalar(QStringLiteral("SELECT COALESCE(SUM(Mtr_Amt), 0) FROM mmst388 WHERE Frm_Inv = ?"),
                       {QString::fromLatin1(source)})
                    .toDouble();
            QCOMPARE(balance, 20.0 + moved);
            QVERIFY2(balance >= 0, source); // negative stock is not allowed here
            QCOMPARE(
                scalar(QStringLiteral("SELECT COUNT(*) FROM mmst381 WHERE Frm_Inv = ?"), {QString::fromLatin1(source)}),
                QStringLiteral("1"));
        }
        // Approved documents are posted once, line for line; open ones not at all.
        QCOMPARE(
            scalar(QStringLiteral(
                "SELECT COUNT(*) FROM Mmst411 h WHERE (SELECT COUNT(*) FROM mmst388 j WHERE j.Inv_No = h.Inv_No) <> "
                "CASE WHEN h.Status = '2' THEN (SELECT COUNT(*) FROM Mmst412 l WHERE l.Rec_411 = h.Rec_411) ELSE 0 END")),
            QStringLiteral("0"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Lock = 'Yes'")), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TstStress)
#include "tst_stress.moc"
