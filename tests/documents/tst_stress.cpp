// Many clerks on one database: each client approves, resets, edits, deletes,
// makes documents of all three kinds and adds and deletes their lines, drawing
// on a few shared stock keys, the way the windows do it (the header lock, the
// status read again under it, the store's posting, the line dialog's check and
// save), with a pause where a user would answer. Afterwards the ledger must add up and nothing may be left locked.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentCommands.h"
#include "documents/DocumentStore.h"
#include "lines/LineStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/HeaderLock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cstdio>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

namespace {

constexpr int kDocuments = 12;
const char *const kSources[] = {"PI001", "PI002", "PI003"};

struct Tally
{
    std::atomic<int> operations{0};
    std::atomic<int> posted{0};
    std::atomic<int> edited{0};
    std::atomic<int> deleted{0};
    std::atomic<int> linesAdded{0};
    std::atomic<int> refused{0};
    std::atomic<int> retries{0};  // posting transactions run again after a deadlock or serialization failure
    std::atomic<int> failures{0}; // errors that reached the caller
    std::atomic<int> cut{0};      // changes a server restart cut: told as possibly not saved
    QStringList failureTexts;
    std::mutex failureMutex;
};

// The documents the clerks work on: deleted ones leave, new ones come.
class DocumentPool
{
public:
    void add(qint64 key, DocumentType type)
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_docs.emplace_back(key, type);
    }
    void clear()
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_docs.clear();
        numbers = 0;
    }
    void remove(qint64 key)
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_docs.erase(std::remove_if(m_docs.begin(), m_docs.end(), [key](const auto &d) { return d.first == key; }),
                     m_docs.end());
    }
    std::optional<std::pair<qint64, DocumentType>> pick(unsigned r)
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        if (m_docs.empty())
            return std::nullopt;
        return m_docs[r % m_docs.size()];
    }
    std::atomic<int> numbers{0};

private:
    std::mutex m_mutex;
    std::vector<std::pair<qint64, DocumentType>> m_docs;
};

QString typeCode(DocumentType type)
{
    return QString::number(int(type) + 1);
}

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
    DocumentPool pool;

    // The document a dying clerk's program holds in the long form.
    static constexpr qint64 kHeldByTheDead = 1;
    static bool longForm() { return qEnvironmentVariableIntValue("ERP_STRESS_OPS") > 0; }

    // Starts a copy of this program that takes a document's lock and keeps
    // renewing it, then kills it.
    void killALockHolder(QElapsedTimer &sinceDeath)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ERP_STRESS_HOLDER"), conn.url());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        while (!said.contains("held") && child.waitForReadyRead(30000))
            said += child.readAll();
        QVERIFY2(said.contains("held"), said.constData());
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        sinceDeath.start();
    }

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

    static HeaderValues headerValues(const QString &invNo, DocumentType type, const QString &remark)
    {
        HeaderValues v;
        v.invNo = invNo;
        v.invDate = QDate(2026, 12, 1);
        v.remark = remark;
        v.updName = QStringLiteral("clerk");
        v.updDate = QStringLiteral("2026-12-01 10:00:00");
        v.stockMode = 2;
        v.invType = typeCode(type);
        v.formMan = QStringLiteral("clerk");
        return v;
    }

    // One client's session: its own connection, its own random sequence.
    // Each command goes as the window takes it: the header lock, the
    // status read again under it, a pause while the user answers, the
    // store's write.
    static void client(const QString &url, int seed, int operations, Tally &tally, DocumentPool &pool)
    {
        Connection own = Connection::open(url);
        std::mt19937 random(seed);
        const auto pick = [&random](int n) { return int(random() % unsigned(n)); };
        const auto refuse = [&tally] { ++tally.refused; };
        for (int i = 0; i < operations; ++i, ++tally.operations) {
            const auto doc = pool.pick(random());
            const int what = pick(20);
            try {
                if (!doc || what == 19) { // a new document with one line
                    const DocumentType type = DocumentType(pick(3));
                    const QString invNo = QStringLiteral("SN%1").arg(++pool.numbers, 4, 10, QLatin1Char('0'));
                    const qint64 key =
                        DocumentStore(own).insertHeader(headerValues(invNo, type, QStringLiteral("new")));
                    addLine(own, key, type, pick, tally);
                    pool.add(key, type);
                    continue;
                }
                const auto [key, type] = *doc;
                const DocumentKind &kind = DocumentKind::of(type);
                HeaderLock lock(own, key,
                                LockHolder{QStringLiteral("clerk%1").arg(seed), QStringLiteral("clerk%1").arg(seed),
                                           QStringLiteral("WS-%1").arg(seed)});
                if (!lock.held()) {
                    refuse();
                    continue;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(pick(3000)));
                const ResultSet head =
                    Sql(own, QStringLiteral("SELECT Status, Inv_No FROM Mmst411 WHERE Rec_411 = ?")).bind(key).select();
                if (head.rowCount() == 0) { // deleted by another clerk
                    refuse();
                    continue;
                }
                const DocumentStatus status = parseDocumentStatus(head.text(0, 0));
                const QString invNo = head.text(0, 1);
                DocumentStore store(own);
                if (what < 8) {
                    const bool approve = status == DocumentStatus::Open;
                    if (DocumentCommands::refusal(approve ? StatusGate::Approve : StatusGate::Reset, status)) {
                        refuse();
                        continue;
                    }
                    const PostingOutcome out =
                        store.post(kind, approve, key, invNo, QDate(2026, 12, 1), QStringLiteral("clerk%1").arg(seed));
                    tally.retries += out.attempts - 1;
                    if (out.posted) {
                        lock.dismiss();
                        ++tally.posted;
                    } else {
                        refuse();
                    }
                } else if (DocumentCommands::refusal(StatusGate::Change, status)) {
                    refuse();
                } else if (what < 10) { // edit and save the header
                    if (DocumentCommands::refusal(StatusGate::Save, status)) {
                        refuse();
                        continue;
                    }
                    store.updateHeader(key, headerValues(invNo, type, QStringLiteral("edit %1").arg(seed)));
                    lock.dismiss();
                    ++tally.edited;
                } else if (what < 11) { // delete the document
                    const DeleteOutcome out = store.deleteDocument(key);
                    if (out.deleted) {
                        lock.dismiss();
                        pool.remove(key);
                        ++tally.deleted;
                    } else {
                        refuse();
                    }
                } else if (what < 15) {
                    addLine(own, key, type, pick, tally);
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
                // A restart cut the change: the clerk is told it may not
                // have been saved, and the next command works.
                if (e.number() == ErpErrorNumber::ConnectionLost) {
                    ++tally.cut;
                    continue;
                }
                ++tally.failures;
                const std::lock_guard<std::mutex> hold(tally.failureMutex);
                tally.failureTexts << e.description();
            }
        }
        own.close();
    }

    // A line through the line dialog's check and save.
    template <typename Pick>
    static void addLine(const Connection &own, qint64 key, DocumentType type, Pick &pick, Tally &tally)
    {
        LineEntry e;
        e.invType = typeCode(type);
        e.stockMode = QStringLiteral("2");
        e.rec411 = QString::number(key);
        e.mtrNo = QStringLiteral("F001");
        e.orderNo = QStringLiteral("SO1");
        e.moNo = QStringLiteral("MO1");
        e.frmInv = QString::fromLatin1(kSources[pick(3)]);
        e.frmType = QStringLiteral("采购入库");
        e.barName = QStringLiteral("一号仓");
        e.mtrAmt = QString::number(1 + pick(4));
        e.propDuty = QStringLiteral("0");
        e.lineStockMode = 2;
        e.userName = QStringLiteral("clerk");
        const LineSaveOutcome out = LineStore(own).save(e);
        if (out.kind == LineSaveOutcome::Written)
            ++tally.linesAdded;
        else
            ++tally.refused;
    }

private slots:
    void init()
    {
        pool.clear();
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
        // Each receipt's own journal row: the line check finds a source there.
        for (const char *source : kSources)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO mmst388 (Inv_No, Inv_Type, Inv_Date, Order_No, Mo_No, Frm_Inv, "
                                        "Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) VALUES (?, '采购入库', "
                                        "'2026-11-20', 'SO1', 'MO1', ?, 'A', 'F001', 'W01', '', 20, 2.5)"),
                         {QString::fromLatin1(source), QString::fromLatin1(source)});
        // What the line dialog's check looks up: the source type, the location, the suppliers.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '一号仓')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst301 (Supl_No, Supl_Prop) VALUES ('S01', '可开发票')"));
        for (const char *source : kSources)
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst312 (Purc_No, Supl_No) VALUES (?, 'S01')"),
                         {QString::fromLatin1(source)});
        for (int key = 1; key <= kDocuments; ++key) {
            pool.add(key, DocumentType((key - 1) % 3));
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
        // The long form: a clerk's program dies holding a document's lock,
        // and on PostgreSQL the server restarts halfway through.
        QElapsedTimer sinceDeath;
        std::thread watcher;
        std::atomic<qint64> freeAfterMs{-1};
        if (longForm()) {
            killALockHolder(sinceDeath);
            // A clerk who keeps trying the dead holder's document, as the
            // clerks around him do, until it is no longer the dead one's.
            watcher = std::thread([&, url = conn.url()] {
                Connection own = Connection::open(url);
                const LockHolder watching{QStringLiteral("watch"), QStringLiteral("watch"), QStringLiteral("WS-WATCH")};
                while (freeAfterMs < 0 && sinceDeath.elapsed() < 60000) {
                    try {
                        const std::optional<LockHeldBy> by = RecordLock(own).headerHolder(kHeldByTheDead);
                        const bool takenOver = !by || by->workstation != QLatin1String("WS-DEAD");
                        if (takenOver || HeaderLock(own, kHeldByTheDead, watching, HeaderLock::Quiet).held())
                            freeAfterMs = sinceDeath.elapsed();
                    } catch (const ErpError &) {
                        // A restart cut the look: look again.
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                }
                own.close();
            });
        }
        std::atomic<bool> restarted{false};
        std::thread restarter;
        if (longForm() && conn.backend() == Backend::PostgreSQL)
            restarter = std::thread([&] {
                while (tally.operations < n * ops / 2)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                restarted = TestDb::restartPostgres();
            });
        std::vector<std::thread> threads;
        for (int c = 0; c < n; ++c)
            threads.emplace_back(client, conn.url(), 1000 + c, ops, std::ref(tally), std::ref(pool));
        for (std::thread &t : threads)
            t.join();
        if (restarter.joinable())
            restarter.join();
        qInfo("%s: %d clients, %d operations in %.1f s: %d posted, %d edited, %d deleted, %d lines added, "
              "%d refused (%d told), %d retries, %d cut by a restart, %d failures%s",
              qPrintable(TestDb::backendName()), n, tally.operations.load(), clock.elapsed() / 1000.0,
              tally.posted.load(), tally.edited.load(), tally.deleted.load(), tally.linesAdded.load(),
              tally.refused.load(), box.shown.load(), tally.retries.load(), tally.cut.load(), tally.failures.load(),
              restarted ? ", the server restarted halfway" : "");
        if (longForm() && conn.backend() == Backend::PostgreSQL)
            QVERIFY(restarted);
        if (longForm()) {
            if (watcher.joinable())
                watcher.join();
            qInfo("the dead holder's lock was free for the next clerk %.1f s after its death", freeAfterMs / 1000.0);
            QVERIFY2(freeAfterMs >= 0 && freeAfterMs <= 30000, qPrintable(QString::number(freeAfterMs)));
        }

        // No deadlock, lock time-out or other failure reached a caller.
        QVERIFY2(tally.failures == 0, qPrintable(tally.failureTexts.join(QLatin1Char('|'))));
        QCOMPARE(tally.operations.load(), n * ops);
        QVERIFY(tally.posted > 0);
        QVERIFY(tally.edited > 0);
        QVERIFY(tally.linesAdded > 0);
        QCOMPARE(ledgerHolds.violations(), QStringList());

        // Each balance is what its journal says came in and went out, the
        // receipt of 20 included.
        for (const char *source : kSources) {
            const double balance =
                scalar(QStringLiteral("SELECT COALESCE(SUM(Mtr_Amt), 0) FROM mmst381 WHERE Frm_Inv = ?"),
                       {QString::fromLatin1(source)})
                    .toDouble();
            const double moved =
                scalar(QStringLiteral("SELECT COALESCE(SUM(Mtr_Amt), 0) FROM mmst388 WHERE Frm_Inv = ?"),
                       {QString::fromLatin1(source)})
                    .toDouble();
            QCOMPARE(balance, moved);
            QVERIFY2(balance >= 0, source); // negative stock is not allowed here
            // One row, or none once the last unit went out.
            QVERIFY2(
                scalar(QStringLiteral("SELECT COUNT(*) FROM mmst381 WHERE Frm_Inv = ?"), {QString::fromLatin1(source)})
                        .toInt() == (balance == 0 ? 0 : 1),
                source);
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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The long form's dying clerk: holds a document's lock, renewing it, until killed.
    const QString url = qEnvironmentVariable("ERP_STRESS_HOLDER");
    if (!url.isEmpty()) {
        Connection conn = Connection::open(url);
        HeaderLock lock(conn, 1, LockHolder{QStringLiteral("dead"), QStringLiteral("dead"), QStringLiteral("WS-DEAD")},
                        HeaderLock::Quiet);
        std::printf("%s\n", lock.held() ? "held" : qPrintable(lock.refusal()));
        std::fflush(stdout);
        return QCoreApplication::exec();
    }
    TstStress test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_stress.moc"
