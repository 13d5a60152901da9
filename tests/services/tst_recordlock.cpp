// The header lock on the backend under test: who gets it, what the user is
// told, what the lock column holds afterwards, and two users racing for it.
#include "TestSupport.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/HeaderLock.h"
#include "services/RecordLock.h"

#include <QElapsedTimer>
#include <QTest>

#include <future>
#include <optional>
#include <thread>

namespace {
const QString kHeld = QStringLiteral("记录已锁定,请稍等");
const QString kDeleted = QStringLiteral("当前记录已被其它用户删除,请检查!");
const QString kNotUnique = QStringLiteral("记录锁定失败,要锁定的记录条件不唯一!");
} // namespace

class TstRecordLock : public QObject
{
    Q_OBJECT

    Connection conn;

    qint64 header(const QString &invNo, const QVariant &lock)
    {
        return Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Lock) VALUES (?, '1', ?)"))
            .bind(invNo)
            .bind(lock)
            .insert(QStringLiteral("Rec_411"));
    }
    QString lockOf(const QString &invNo)
    {
        return Sql(conn, QStringLiteral("SELECT Lock FROM Mmst411 WHERE Inv_No = ?")).bind(invNo).scalar().toString();
    }
    static void verifyShown(const ScriptedMessageBox &box, const QString &text)
    {
        if (text.isEmpty()) {
            QVERIFY2(box.shown().isEmpty(), qPrintable(box.texts().join(QLatin1Char('|'))));
            return;
        }
        QCOMPARE(box.texts(), QStringList{text});
        QCOMPARE(box.last().form, QString());
        QCOMPARE(box.last().messageId, QStringLiteral("Check_OK_1"));
        QCOMPARE(box.last().style, 64);
        QCOMPARE(box.last().title, QStringLiteral("提示"));
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh();
        // DISTINCT keeps the view read-only on every server.
        TestDb::exec(conn, QStringLiteral("CREATE VIEW v_lock AS SELECT DISTINCT Rec_411, Inv_No, Lock FROM Mmst411"));
    }

    void init()
    {
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411"));
        TestDb::exec(conn, QStringLiteral("DELETE FROM ErpSys_Message"));
    }

    void lockOneRow_data()
    {
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("won");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        QTest::newRow("null lock") << QVariant() << false << true << ""
                                   << "Yes";
        QTest::newRow("released") << QVariant("No") << false << true << ""
                                  << "Yes";
        QTest::newRow("'yes' in lower case is free") << QVariant("yes") << false << true << ""
                                                     << "Yes";
        QTest::newRow("held") << QVariant("Yes") << false << false << kHeld << "Yes";
        QTest::newRow("deleted by another user") << QVariant("No") << true << false << kDeleted << "";
    }
    void lockOneRow()
    {
        QFETCH(QVariant, before);
        QFETCH(bool, deleted);
        QFETCH(bool, won);
        QFETCH(QString, message);
        QFETCH(QString, after);
        const qint64 key = header(QStringLiteral("LL001"), before);
        header(QStringLiteral("LL002"), QVariant());
        if (deleted)
            TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Rec_411 = ?"), {key});
        ScriptedMessageBox box;
        QCOMPARE(RecordLock(conn).LockRecord(QStringLiteral("Mmst411"), QStringLiteral("Mmst411.Rec_411=?"), {key},
                                             QStringLiteral("Lock"), false),
                 won);
        verifyShown(box, message);
        QCOMPARE(lockOf(QStringLiteral("LL001")), after);
        QCOMPARE(lockOf(QStringLiteral("LL002")), QString());
    }

    void lockSeveralRows_data()
    {
        QTest::addColumn<QVariant>("second");
        QTest::addColumn<bool>("allowMany");
        QTest::addColumn<bool>("won");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("not unique") << QVariant() << false << false << kNotUnique << QStringList{"No", ""};
        QTest::newRow("many allowed") << QVariant() << true << true << "" << QStringList{"Yes", "Yes"};
        QTest::newRow("many allowed, one held")
            << QVariant("Yes") << true << false << kHeld << QStringList{"No", "Yes"};
    }
    void lockSeveralRows()
    {
        QFETCH(QVariant, second);
        QFETCH(bool, allowMany);
        QFETCH(bool, won);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        header(QStringLiteral("LL001"), QStringLiteral("No"));
        header(QStringLiteral("LL002"), second);
        ScriptedMessageBox box;
        QCOMPARE(RecordLock(conn).LockRecord(QStringLiteral("Mmst411"), QStringLiteral("Inv_Type=?"),
                                             {QStringLiteral("1")}, QStringLiteral("Lock"), allowMany),
                 won);
        verifyShown(box, message);
        QCOMPARE((QStringList{lockOf(QStringLiteral("LL001")), lockOf(QStringLiteral("LL002"))}), after);
    }

    void failures()
    {
        header(QStringLiteral("LL001"), QStringLiteral("No"));
        ScriptedMessageBox box;
        // A condition the server cannot read is the caller's failure, not a refusal.
        QVERIFY_THROWS_EXCEPTION(ErpError, RecordLock(conn).LockRecord(QStringLiteral("Mmst411"),
                                                                       QStringLiteral("No_Such_Column=?"), {1},
                                                                       QStringLiteral("Lock"), false));
        QVERIFY(box.shown().isEmpty());
        // The row is found but cannot be written.
        QVERIFY(!RecordLock(conn).LockRecord(QStringLiteral("v_lock"), QStringLiteral("Inv_No=?"),
                                             {QStringLiteral("LL001")}, QStringLiteral("Lock"), false));
        verifyShown(box, QStringLiteral("加锁失败"));
        // Giving back never complains.
        box.clear();
        RecordLock(conn).UnlockRecord(QStringLiteral("No_Such_Table"), QStringLiteral("Rec_411=?"), {1},
                                      QStringLiteral("LOCK"));
        QVERIFY(box.shown().isEmpty());
    }

    void storedTextReplacesTheMessages()
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO ErpSys_Message (Frm_Name, Message_Id, Message) VALUES ('', 'Check_OK_1', ?)"),
            {QStringLiteral("单据正被他人修改")});
        const qint64 key = header(QStringLiteral("LL001"), QStringLiteral("Yes"));
        ScriptedMessageBox box;
        QVERIFY(!RecordLock(conn).lockHeader(key));
        QCOMPARE(box.texts(), QStringList{QStringLiteral("单据正被他人修改")});
    }

    void headerByKeyAndNumber()
    {
        const qint64 key = header(QStringLiteral("LL'01"), QVariant());
        header(QStringLiteral("LL002"), QStringLiteral("Yes"));
        ScriptedMessageBox box;
        const RecordLock lock(conn);
        lock.unlockHeader(key); // a row nobody holds just reads "No"
        QCOMPARE(lockOf(QStringLiteral("LL'01")), QStringLiteral("No"));
        QVERIFY(lock.lockHeader(key));
        QVERIFY(!lock.lockHeader(key));
        verifyShown(box, kHeld);
        lock.unlockHeaderByNumber(QStringLiteral("LL'01"));
        QCOMPARE(lockOf(QStringLiteral("LL'01")), QStringLiteral("No"));
        QVERIFY(lock.lockHeader(key));
        lock.unlockHeader(key);
        QCOMPARE(lockOf(QStringLiteral("LL'01")), QStringLiteral("No"));
        QCOMPARE(lockOf(QStringLiteral("LL002")), QStringLiteral("Yes"));
    }

    // The first user takes the lock inside a transaction; the second reads the
    // row while it still looks free and then tries to take it. The second must
    // wait for the first to commit and then be refused, never hold it too.
    void twoUsersRace()
    {
        const qint64 key = header(QStringLiteral("LL001"), QStringLiteral("No"));
        std::promise<bool> taken;
        std::promise<void> done;
        std::thread first([&, url = conn.url()] {
            Connection other = Connection::open(url);
            {
                Transaction tx(other, Transaction::Read);
                taken.set_value(RecordLock(other).lockHeader(key));
                std::this_thread::sleep_for(std::chrono::milliseconds(600));
                tx.commit();
            }
            other.close();
            done.set_value();
        });
        const bool firstWon = taken.get_future().get();
        ScriptedMessageBox box;
        QElapsedTimer waited;
        waited.start();
        const bool secondWon = RecordLock(conn).lockHeader(key);
        const qint64 ms = waited.elapsed();
        done.get_future().wait();
        first.join();
        qInfo("second user waited %lld ms for the first to commit", ms);
        QVERIFY(firstWon);
        QVERIFY(!secondWon);
        QVERIFY2(ms >= 300, "the second user did not wait for the first");
        verifyShown(box, kHeld);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
    }
    // ------------------------------------------------------------ scoped header lock

    void guardGivesLockBackOnEveryWayOut()
    {
        ScriptedMessageBox box;
        const qint64 key = header(QStringLiteral("G1"), QStringLiteral("No"));
        {
            HeaderLock lock(conn, key);
            QVERIFY(lock.held());
            QCOMPARE(lockOf(QStringLiteral("G1")), QStringLiteral("Yes"));
        }
        QCOMPARE(lockOf(QStringLiteral("G1")), QStringLiteral("No"));

        // A failure between taking and giving back leaves nothing held.
        try {
            HeaderLock lock(conn, key);
            QVERIFY(lock.held());
            throw ErpError(-1, QStringLiteral("test"), QStringLiteral("failure while locked"));
        } catch (const ErpError &) {
        }
        QCOMPARE(lockOf(QStringLiteral("G1")), QStringLiteral("No"));

        // Handed over to a longer owner, the lock stays until that one goes.
        std::optional<HeaderLock> kept;
        {
            HeaderLock lock(conn, key);
            kept.emplace(std::move(lock));
        }
        QCOMPARE(lockOf(QStringLiteral("G1")), QStringLiteral("Yes"));
        kept.reset();
        QCOMPARE(lockOf(QStringLiteral("G1")), QStringLiteral("No"));
        verifyShown(box, QString());
    }

    void guardThatLostNeverFreesTheWinner()
    {
        ScriptedMessageBox box;
        const qint64 key = header(QStringLiteral("G2"), QStringLiteral("Yes"));
        {
            HeaderLock lock(conn, key);
            QVERIFY(!lock.held());
        }
        // The other user's lock is untouched by the guard that did not get it.
        QCOMPARE(lockOf(QStringLiteral("G2")), QStringLiteral("Yes"));
        verifyShown(box, kHeld);
    }

    void dismissedGuardWritesNothing()
    {
        ScriptedMessageBox box;
        const qint64 key = header(QStringLiteral("G3"), QStringLiteral("No"));
        {
            HeaderLock lock(conn, key);
            QVERIFY(lock.held());
            // A statement gave the lock back, and another user took it since.
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Rec_411 = ?"), {key});
            lock.dismiss();
        }
        QCOMPARE(lockOf(QStringLiteral("G3")), QStringLiteral("Yes"));
    }
};

QTEST_GUILESS_MAIN(TstRecordLock)
#include "tst_recordlock.moc"
