// A workstation that dies in the middle of a long write: a second copy of
// this program approves a 5,000-line issue, or saves 5,000 imported lines,
// and is killed (SIGKILL) once its transaction has written to the database.
// Nothing of the interrupted transaction may be visible afterwards, the
// ledger must still hold, and the same work must then go through.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentKind.h"
#include "documents/DocumentStore.h"
#include "lines/UsageImportStore.h"
#include "services/HeaderLock.h"
#include "platform/db/Sql.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <optional>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kLines = 5000;
constexpr int kLocations = 50;
const QString kInvNo = QStringLiteral("LL9001");

QString location(int i)
{
    return QStringLiteral("W%1").arg(i % kLocations, 2, 10, QLatin1Char('0'));
}

QList<UsageLine> importLines()
{
    QList<UsageLine> lines;
    for (int i = 0; i < kLines; ++i) {
        UsageLine l;
        l.moNo = QStringLiteral("MO1");
        l.orderNo = QStringLiteral("SO1");
        l.rec611 = 1;
        l.mtrAmt = 1 + i % 3;
        l.frmInv = QStringLiteral("PI001");
        l.frmType = QStringLiteral("A");
        l.barNo = location(i);
        lines << l;
    }
    return lines;
}

LockHolder deadHolder()
{
    return {QStringLiteral("li"), QStringLiteral("李丽"), QStringLiteral("WS-DIES")};
}

// The doomed workstation: says where it is, then works until it is killed.
int runChild(const QByteArray &mode, const QString &url)
{
    Connection conn = Connection::open(url);
    if (conn.backend() == Backend::SQLite) // spill pages to the file long before the commit
        Sql(conn, QStringLiteral("PRAGMA cache_size = 8")).exec();
    const QString pid = conn.backend() == Backend::PostgreSQL
                            ? Sql(conn, QStringLiteral("SELECT pg_backend_pid()")).scalar().toString()
                            : QStringLiteral("0");
    const qint64 rec411 =
        Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?")).bind(kInvNo).scalar().toLongLong();
    std::printf("begun %s\n", qPrintable(pid));
    std::fflush(stdout);
    if (mode == "hold") {
        // A clerk's window holding the document's lock until it is killed,
        // renewing its lease as a window does.
        HeaderLock lock(conn, rec411, deadHolder(), HeaderLock::Quiet);
        std::printf("%s\n", lock.held() ? "held" : qPrintable(lock.refusal()));
        std::fflush(stdout);
        return QCoreApplication::exec();
    }
    if (mode == "approve") {
        DocumentStore(conn).post(DocumentKind::issue(), true, rec411, kInvNo, QDate(2026, 12, 1),
                                 QStringLiteral("陈志明"));
    } else {
        UsageSave save;
        save.rec411 = rec411;
        save.userName = QStringLiteral("陈志明");
        save.updDate = QDate(2026, 12, 9);
        save.lines = importLines();
        UsageImportStore(conn).writeLines(save);
    }
    std::printf("finished\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

class TstCrash : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;
    qint64 rec411 = 0;

    QString scalar(const QString &sql, const QList<QVariant> &values = {})
    {
        return Sql(conn, sql).bindAll(values).scalar().toString();
    }
    // Every balance as "location:amount", and what the document holds.
    QString state()
    {
        QStringList out;
        const ResultSet rs = Sql(conn, QStringLiteral("SELECT Bar_No, Mtr_Amt FROM mmst381 ORDER BY Bar_No")).select();
        for (qint64 r = 0; r < rs.rowCount(); ++r)
            out << rs.text(r, 0) + QLatin1Char(':') + QString::number(rs.value(r, 1).toDouble());
        out << QStringLiteral("lines:") +
                   scalar(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = ?"), {rec411});
        out << QStringLiteral("journal:") +
                   scalar(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = ?"), {kInvNo});
        out << QStringLiteral("status:") +
                   scalar(QStringLiteral("SELECT Status FROM Mmst411 WHERE Rec_411 = ?"), {rec411});
        return out.join(QLatin1Char(' '));
    }

    // Starts the doomed workstation and kills it once its transaction has
    // written: on PostgreSQL when its session holds a transaction id, on
    // SQLite when the write-ahead log has grown; then a moment more.
    void killMidway(const QByteArray &mode)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ERP_CRASH_CHILD"), QString::fromLatin1(mode));
        env.insert(QStringLiteral("ERP_CRASH_URL"), conn.url());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(30000));
        const QByteArray first = child.readLine().trimmed();
        QVERIFY2(first.startsWith("begun "), first.constData());
        const QString pid = QString::fromLatin1(first.mid(6));

        const QString wal = conn.url().mid(QStringLiteral("sqlite:").size()) + QStringLiteral("-wal");
        const qint64 walAtStart = QFileInfo(wal).size();
        const auto hasWritten = [&] {
            if (conn.backend() == Backend::PostgreSQL)
                return Sql(conn, QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = ? AND backend_xid "
                                                "IS NOT NULL"))
                           .bind(pid.toInt())
                           .scalar()
                           .toInt() == 1;
            return QFileInfo(wal).size() > walAtStart + 64 * 1024;
        };
        QElapsedTimer clock;
        clock.start();
        while (!hasWritten() && child.state() == QProcess::Running && clock.elapsed() < 60000)
            QThread::msleep(2);
        QVERIFY2(child.state() == QProcess::Running, "the work finished before it could be interrupted");
        QVERIFY2(hasWritten(), "the transaction never wrote");
        QThread::msleep(QRandomGenerator::global()->bounded(50, 150));
        QVERIFY2(child.state() == QProcess::Running && !child.readAll().contains("finished"),
                 "the work finished before it could be interrupted");
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        if (conn.backend() == Backend::PostgreSQL) {
            // The server rolls back once it sees the session gone.
            clock.restart();
            while (Sql(conn, QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = ?"))
                           .bind(pid.toInt())
                           .scalar()
                           .toInt() != 0 &&
                   clock.elapsed() < 10000)
                QThread::msleep(20);
        }
        // On SQLite the dead writer's pages stay in the log, uncommitted:
        // readers never see them.
    }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) "
                                          "VALUES (1, 'F001', '牛津布', 2.5, 2.5)"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0')"));
        for (const auto &[table, key] : {std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        {
            Transaction tx(conn, Transaction::Write);
            for (int i = 0; i < kLocations; ++i)
                Sql(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                         "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', ?, "
                                         "'', 1000, 2.5)"))
                    .bind(location(i))
                    .exec();
            rec411 = Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Date, Inv_Type, Stock_Mode, Status, "
                                              "Lock) VALUES (?, '2026-12-01', '1', '2', '0', 'No')"))
                         .bind(kInvNo)
                         .insert(QStringLiteral("Rec_411"));
            tx.commit();
        }
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void killedApprovalLeavesNothing()
    {
        {
            Transaction tx(conn, Transaction::Write);
            const QList<UsageLine> lines = importLines();
            for (const UsageLine &l : lines)
                Sql(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                                         "Mtr_Amt, Bar_No, Color_No, Stock_Mode) VALUES (?, 1, 'PI001', 'A', 'SO1', "
                                         "'MO1', ?, ?, '', '2')"))
                    .bind(rec411)
                    .bind(l.mtrAmt)
                    .bind(l.barNo)
                    .exec();
            tx.commit();
        }
        ledgerHolds.rebase();
        const QString before = state();
        killMidway("approve");
        QCOMPARE(state(), before);
        LEDGER_HOLDS(ledgerHolds);

        // Nothing of the dead transaction stands in the way of the next one.
        QVERIFY(DocumentStore(conn)
                    .post(DocumentKind::issue(), true, rec411, kInvNo, QDate(2026, 12, 1), QStringLiteral("陈志明"))
                    .posted);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = ?"), {kInvNo}),
                 QString::number(kLines));
        double issued = 0;
        for (const UsageLine &l : importLines())
            issued += l.mtrAmt;
        QCOMPARE(Sql(conn, QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381")).scalar().toDouble(),
                 kLocations * 1000.0 - issued);
    }

    // A clerk's program dies holding a document's lock: the same clerk on
    // the same workstation takes it back at once; anyone else gets it once
    // the dead holder's lease has run out, within 30 seconds, without SQL by
    // hand.
    void killedLockHolder_data()
    {
        QTest::addColumn<bool>("sameClerk");
        QTest::newRow("the same clerk on the same workstation") << true;
        QTest::newRow("another clerk") << false;
    }
    void killedLockHolder()
    {
        QFETCH(bool, sameClerk);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ERP_CRASH_CHILD"), QStringLiteral("hold"));
        env.insert(QStringLiteral("ERP_CRASH_URL"), conn.url());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        QElapsedTimer wait;
        wait.start();
        while (!said.contains("held") && wait.elapsed() < 30000 && child.waitForReadyRead(1000))
            said += child.readAll();
        QVERIFY2(said.contains("held"), said.constData());
        QCOMPARE(scalar(QStringLiteral("SELECT Lock FROM Mmst411 WHERE Rec_411 = ?"), {rec411}), QStringLiteral("Yes"));
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QElapsedTimer sinceDeath;
        sinceDeath.start();

        const LockHolder next =
            sameClerk ? deadHolder() : LockHolder{QStringLiteral("chen"), QStringLiteral("陈志明"), QStringLiteral("WS-2")};
        std::optional<HeaderLock> lock;
        lock.emplace(conn, rec411, next, HeaderLock::Quiet);
        if (sameClerk) {
            QVERIFY2(lock->held(), qPrintable(lock->refusal()));
        } else {
            QCOMPARE(lock->refusal(), QStringLiteral("记录已锁定,请稍等"));
            QVERIFY(lock->heldBy() && !lock->heldBy()->gone);
            while (!lock->held() && sinceDeath.elapsed() < 45000) {
                QThread::msleep(500);
                lock.emplace(conn, rec411, next, HeaderLock::Quiet);
            }
            QVERIFY2(lock->held(), qPrintable(lock->refusal()));
            qInfo("the dead holder's lock was free %lld ms after its death", sinceDeath.elapsed());
            QVERIFY(sinceDeath.elapsed() <= 30000);
        }
        lock.reset();
        QCOMPARE(scalar(QStringLiteral("SELECT Lock FROM Mmst411 WHERE Rec_411 = ?"), {rec411}), QStringLiteral("No"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM Erp_Lock_Holder")), QStringLiteral("0"));
    }

    void killedImportSaveLeavesNothing()
    {
        const QString before = state();
        killMidway("import");
        QCOMPARE(state(), before);

        UsageSave save;
        save.rec411 = rec411;
        save.userName = QStringLiteral("陈志明");
        save.updDate = QDate(2026, 12, 9);
        save.lines = importLines();
        QCOMPARE(UsageImportStore(conn).writeLines(save), qint64(kLines));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = ?"), {rec411}),
                 QString::number(kLines));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = qgetenv("ERP_CRASH_CHILD");
    if (!mode.isEmpty())
        return runChild(mode, qEnvironmentVariable("ERP_CRASH_URL"));
    TstCrash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
