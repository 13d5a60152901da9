// Approval and reset of documents as the stock ledger sees them: balances,
// journal rows and header status, with shortages, options and two users.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentStore.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/StockLedger.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <functional>

class TstDocumentStore : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;

    qint64 header(const QString &invNo, const QString &invType, const QString &date = QStringLiteral("2026-12-01"))
    {
        return Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Inv_Date, Status, Stock_Mode, Lock) "
                                        "VALUES (?, ?, ?, '0', '2', 'Yes')"))
            .bind(invNo)
            .bind(invType)
            .bind(date)
            .insert(QStringLiteral("Rec_411"));
    }
    void line(qint64 rec411, double qty, const QVariant &mode = QStringLiteral("2"),
              const QString &order = QStringLiteral("SO1"), const QString &mo = QStringLiteral("MO1"),
              const QString &bar = QStringLiteral("W01"), const QString &type = QStringLiteral("A"))
    {
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, "
                "Mtr_Amt, Bar_No, Color_No, Stock_Mode) "
                "VALUES (?, (SELECT Rec_611 FROM mmst611 WHERE Mtr_No = 'F001'), 'PI001', ?, ?, ?, ?, ?, '', ?)"),
            {rec411, type, order, mo, qty, bar, mode});
    }
    void stock(double qty, const QString &order = QStringLiteral("SO1"), const QString &mo = QStringLiteral("MO1"),
               const QString &bar = QStringLiteral("W01"))
    {
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                    "Color_No, Mtr_Amt, Mtr_Prs) VALUES (?, ?, 'PI001', 'A', 'F001', ?, '', ?, 2.5)"),
                     {order, mo, bar, qty});
    }
    // Every balance row as "order/mo/receipt/type/location:amount", in key order.
    QStringList balances()
    {
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT Order_No, Mo_No, Frm_Inv, Frm_Type, Bar_No, Mtr_Amt "
                                     "FROM mmst381 ORDER BY Order_No, Mo_No, Frm_Inv, Frm_Type, Bar_No"))
                .select();
        QStringList out;
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            out << QStringLiteral("%1/%2/%3/%4/%5:%6")
                       .arg(rs.text(i, 0), rs.text(i, 1), rs.text(i, 2), rs.text(i, 3), rs.text(i, 4))
                       .arg(rs.value(i, 5).toDouble());
        return out;
    }
    bool onPostgres() const { return conn.backend() == Backend::PostgreSQL; }
    // Makes every write of mmst381 of that kind take 0.3 s on PostgreSQL, so
    // that two users racing on it overlap for certain.
    void slowBalanceWrites(const QString &event)
    {
        if (!onPostgres())
            return;
        TestDb::exec(conn, QStringLiteral("CREATE OR REPLACE FUNCTION erp_test_pause() RETURNS trigger AS $$ "
                                          "BEGIN PERFORM pg_sleep(0.3); RETURN NEW; END $$ LANGUAGE plpgsql"));
        TestDb::exec(conn, QStringLiteral("CREATE TRIGGER erp_test_pause_%1 BEFORE %1 ON mmst381 FOR EACH ROW "
                                          "EXECUTE FUNCTION erp_test_pause()")
                               .arg(event));
    }
    // Runs each user's work on a connection of their own, all let go at one
    // moment; each says what came of it.
    using Work = std::function<QString(const Connection &, const QString &user)>;
    QStringList together(const QList<Work> &work)
    {
        QSemaphore ready;
        QSemaphore go;
        QStringList said(work.size());
        QList<QThread *> threads;
        for (int who = 0; who < work.size(); ++who) {
            threads << QThread::create([&, who, url = conn.url()] {
                Connection own = Connection::open(url);
                ready.release();
                go.acquire();
                try {
                    said[who] = work.at(who)(own, QStringLiteral("user%1").arg(who));
                } catch (const ErpError &e) {
                    said[who] = QStringLiteral("error ") + e.nativeCode() + QLatin1Char(' ') + e.description();
                }
                own.close();
            });
            threads.last()->start();
        }
        ready.acquire(int(work.size()));
        go.release(int(work.size()));
        for (QThread *t : threads) {
            t->wait(60000);
            delete t;
        }
        std::sort(said.begin(), said.end());
        return said;
    }
    static QString told(const PostingOutcome &o)
    {
        switch (o.result) {
        case PostingOutcome::Result::Posted:
            return QStringLiteral("posted");
        case PostingOutcome::Result::Short:
            return QStringLiteral("short");
        case PostingOutcome::Result::StatusMoved:
            return QStringLiteral("status was ") + o.status;
        }
        return {};
    }
    static Work posting(const DocumentKind &kind, bool approve, qint64 rec411, const QString &no)
    {
        return [kind, approve, rec411, no](const Connection &c, const QString &user) {
            return told(DocumentStore(c).post(kind, approve, rec411, no, QDate(2026, 12, 1), user));
        };
    }
    double balance(const QString &order = QStringLiteral("SO1"), const QString &mo = QStringLiteral("MO1"))
    {
        return Sql(conn, QStringLiteral(
                             "SELECT SUM(Mtr_Amt) FROM mmst381 WHERE Order_No = ? AND Mo_No = ? AND Mtr_No = 'F001'"))
            .bind(order)
            .bind(mo)
            .scalar()
            .toDouble();
    }
    qint64 balanceRows() { return Sql(conn, QStringLiteral("SELECT * FROM mmst381")).select().rowCount(); }
    ResultSet journal()
    {
        return Sql(conn,
                   QStringLiteral(
                       "SELECT Inv_No, Inv_Type, Mtr_Amt, Order_No, Mo_No, d_mo_no FROM mmst388 ORDER BY Rec_388"))
            .select();
    }
    ResultSet head(qint64 rec411)
    {
        return Sql(conn, QStringLiteral("SELECT Status, Check_Man, Lock, Upd_Name FROM Mmst411 WHERE Rec_411 = ?"))
            .bind(rec411)
            .select();
    }
    PostingOutcome post(const DocumentKind &kind, bool approve, qint64 rec411, const QString &no,
                        const QDate &date = QDate(2026, 12, 1))
    {
        return DocumentStore(conn).post(kind, approve, rec411, no, date, QStringLiteral("陈志明"));
    }

private slots:
    void init()
    {
        conn = TestDb::fresh();
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst611 (Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) VALUES ('F001', '牛津布', 2.5, 2.5)"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0')"));
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void issueShortOnItsSecondLine()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL001"), QStringLiteral("1"));
        line(doc, 6);
        line(doc, 5);
        const PostingOutcome out = post(DocumentKind::issue(), true, doc, QStringLiteral("LL001"));
        QVERIFY(!out.posted);
        QCOMPARE(out.shortageText(), QStringLiteral("订单:SO1\r制单:MO1\r料品F001库存不够."));
        QCOMPARE(balance(), 10.0);
        QCOMPARE(journal().rowCount(), 0);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("0"));
        QCOMPARE(head(doc).text(0, 2), QStringLiteral("Yes")); // released by the window, not here
    }

    void issueApprovedThenReset()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL002"), QStringLiteral("1"));
        line(doc, 6);
        line(doc, 4);
        QVERIFY(post(DocumentKind::issue(), true, doc, QStringLiteral("LL002")).posted);
        QCOMPARE(balanceRows(), 0); // 10 - 6 - 4 reaches exactly zero: the balance row goes
        ResultSet j = journal();
        QCOMPARE(j.rowCount(), 2);
        QCOMPARE(j.text(0, 1), QStringLiteral("生产领料单"));
        QCOMPARE(j.value(0, 2).toDouble() + j.value(1, 2).toDouble(), -10.0);
        QCOMPARE(j.text(0, 5), QStringLiteral("MO1"));
        ResultSet h = head(doc);
        QCOMPARE(h.text(0, 0), QStringLiteral("2"));
        QCOMPARE(h.text(0, 1), QStringLiteral("陈志明"));
        QCOMPARE(h.text(0, 2), QStringLiteral("No"));

        // Reset brings the stock back (recreating the balance) and removes the journal.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Rec_411 = ?"), {doc});
        QVERIFY(post(DocumentKind::issue(), false, doc, QStringLiteral("LL002")).posted);
        QCOMPARE(balance(), 10.0);
        QCOMPARE(journal().rowCount(), 0);
        h = head(doc);
        QCOMPARE(h.text(0, 0), QStringLiteral("0"));
        QCOMPARE(h.text(0, 1), QString());
        QCOMPARE(h.text(0, 2), QStringLiteral("No"));
    }

    void returnChecksOnlyWhenReset()
    {
        const qint64 doc = header(QStringLiteral("TL001"), QStringLiteral("2"));
        line(doc, 3);
        QVERIFY(post(DocumentKind::materialReturn(), true, doc, QStringLiteral("TL001")).posted);
        QCOMPARE(balance(), 3.0);
        QCOMPARE(journal().text(0, 1), QStringLiteral("生产退料单"));
        QCOMPARE(journal().value(0, 2).toDouble(), 3.0);
        // Meanwhile someone issued two of the three; the reset needs all three back.
        TestDb::exec(conn, QStringLiteral("UPDATE mmst381 SET Mtr_Amt = 1"));
        const PostingOutcome out = post(DocumentKind::materialReturn(), false, doc, QStringLiteral("TL001"));
        QVERIFY(!out.posted);
        QCOMPARE(balance(), 1.0);
        QCOMPARE(journal().rowCount(), 1);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("2"));
    }

    void stockModesChooseTheKey_data()
    {
        QTest::addColumn<QVariant>("mode");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("mo");
        QTest::newRow("by material: free stock") << QVariant(QStringLiteral("0")) << ""
                                                 << "";
        QTest::newRow("by order") << QVariant(QStringLiteral("1")) << "SO1"
                                  << "";
        QTest::newRow("by manufacturing order") << QVariant(QStringLiteral("2")) << "SO1"
                                                << "MO1";
        QTest::newRow("no mode reads as by manufacturing order") << QVariant() << "SO1"
                                                                 << "MO1";
    }
    void stockModesChooseTheKey()
    {
        QFETCH(QVariant, mode);
        QFETCH(QString, order);
        QFETCH(QString, mo);
        stock(5, order, mo);
        stock(50, QStringLiteral("SO9"), QStringLiteral("MO9")); // never touched
        const qint64 doc = header(QStringLiteral("LL003"), QStringLiteral("3"));
        line(doc, 2, mode);
        QVERIFY(post(DocumentKind::supplementary(), true, doc, QStringLiteral("LL003")).posted);
        QCOMPARE(balance(order, mo), 3.0);
        QCOMPARE(balance(QStringLiteral("SO9"), QStringLiteral("MO9")), 50.0);
        QCOMPARE(journal().text(0, 1), QStringLiteral("生产补料单"));
        QCOMPARE(journal().text(0, 3), order);
        QCOMPARE(journal().text(0, 4), mo);
        QCOMPARE(journal().text(0, 5), QStringLiteral("MO1")); // the line's own manufacturing order
    }

    void negativeStockAllowed()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '1'"));
        stock(2);
        const qint64 doc = header(QStringLiteral("LL004"), QStringLiteral("1"));
        line(doc, 5);
        QVERIFY(post(DocumentKind::issue(), true, doc, QStringLiteral("LL004")).posted);
        QCOMPARE(balance(), -3.0);
    }

    void oldDocumentMovesNoStock()
    {
        stock(1);
        const qint64 doc = header(QStringLiteral("LL005"), QStringLiteral("1"), QStringLiteral("1900-01-01"));
        line(doc, 5);
        QVERIFY(post(DocumentKind::issue(), true, doc, QStringLiteral("LL005"), QDate(1900, 1, 1)).posted);
        QCOMPARE(balance(), 1.0);
        QCOMPARE(journal().rowCount(), 0);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("2"));
        QCOMPARE(DocumentStore(conn).documentDate(QStringLiteral("ll005")), QDate(1900, 1, 1));
    }

    // The check that ends every ledger test sees what a faulty posting leaves.
    void theLedgerCheckSeesAFaultyPosting()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL007"), QStringLiteral("1"));
        line(doc, 4);
        QVERIFY(post(DocumentKind::issue(), true, doc, QStringLiteral("LL007")).posted);
        QCOMPARE(ledgerHolds.violations(), QStringList());

        const StockLedger ledger(conn, QStringLiteral("陈志明"));
        const StockKey key(QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("PI001"), QStringLiteral("A"),
                           QStringLiteral("F001"), QStringLiteral("W01"), QString());
        ledger.InsertStockJournal(QStringLiteral("LL007"), QDate(2026, 12, 1), QStringLiteral("生产领料单"), key, -4, 0,
                                  QString());
        ledger.PostStockBalance(key, -4);
        QCOMPARE(ledgerHolds.violations(), QStringList{QStringLiteral("2 journal rows of LL007 for 1 lines")});

        ledger.PostStockBalance(key, -5);
        QCOMPARE(ledgerHolds.violations(),
                 (QStringList{QStringLiteral("negative balance -3 for SO1|MO1|PI001|A|F001|W01|"),
                              QStringLiteral("balance of SO1|MO1|PI001|A|F001|W01| is -5 away from its opening plus "
                                             "its journal"),
                              QStringLiteral("2 journal rows of LL007 for 1 lines")}));
        ledgerHolds.waive();
    }

    void failureRollsBackEverything()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL006"), QStringLiteral("1"));
        line(doc, 2);
        line(doc, 3);
        // The journal cannot be written: the first line's balance posting must not stay.
        TestDb::exec(conn, QStringLiteral("DROP TABLE mmst388"));
        QVERIFY_THROWS_EXCEPTION(ErpError, post(DocumentKind::issue(), true, doc, QStringLiteral("LL006")));
        QCOMPARE(balance(), 10.0);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("0"));
    }

    void deleteRemovesLinesAndHeader()
    {
        const qint64 doc = header(QStringLiteral("LL007"), QStringLiteral("1"));
        line(doc, 1);
        line(doc, 2);
        const qint64 other = header(QStringLiteral("LL008"), QStringLiteral("1"));
        line(other, 1);
        QVERIFY(DocumentStore(conn).deleteDocument(doc).deleted);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT * FROM Mmst412 WHERE Rec_411 = ?")).bind(doc).select().rowCount(), 0);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT * FROM Mmst411 WHERE Rec_411 = ?")).bind(doc).select().rowCount(), 0);
        QCOMPARE(DocumentStore(conn).lines(other).rowCount(), 1);
    }

    void aFailingDeleteKeepsTheLines()
    {
        const qint64 doc = header(QStringLiteral("LL009"), QStringLiteral("1"));
        line(doc, 1);
        line(doc, 2);
        // The header cannot be deleted: the lines deleted before it must come back.
        TestDb::exec(conn, QStringLiteral("DROP TABLE Mmst411"));
        QVERIFY_THROWS_EXCEPTION(ErpError, DocumentStore(conn).deleteDocument(doc));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT * FROM Mmst412 WHERE Rec_411 = ?")).bind(doc).select().rowCount(), 2);
    }

    void headersAreInsertedAndUpdated()
    {
        const DocumentStore store(conn);
        HeaderValues v;
        v.invNo = QStringLiteral("LL-O'1");
        v.invDate = QDate(2026, 12, 9);
        v.orgNo = QStringLiteral("0001001");
        v.procMan = QStringLiteral("王建军");
        v.barMan = QStringLiteral("陈志明");
        v.formMan = QStringLiteral("陈志明");
        v.remark = QStringLiteral("a 'quoted' remark");
        v.updName = QStringLiteral("陈志明");
        v.updDate = QStringLiteral("2026-12-09 10:00:05");
        v.stockMode = 1;
        v.propDuty = 3;
        v.outsourcing = true;
        v.pcsNo = QStringLiteral("WF001");
        v.invType = QStringLiteral("3");
        const qint64 key = store.insertHeader(v);
        ResultSet h = store.headers(HeaderFilter::byKey(key), QStringLiteral("3"));
        QCOMPARE(h.rowCount(), 1);
        QCOMPARE(h.text(0, QStringLiteral("Inv_No")), QStringLiteral("LL-O'1"));
        QCOMPARE(h.text(0, QStringLiteral("Inv_Date")), QStringLiteral("2026-12-09"));
        QCOMPARE(h.text(0, QStringLiteral("Remark")), QStringLiteral("a 'quoted' remark"));
        QCOMPARE(h.text(0, QStringLiteral("stock_mode")), QStringLiteral("1"));
        QCOMPARE(h.text(0, QStringLiteral("prop_duty")), QStringLiteral("3"));
        QCOMPARE(h.text(0, QStringLiteral("Out_Flag")), QStringLiteral("1"));
        QCOMPARE(h.text(0, QStringLiteral("Form_Man")), QStringLiteral("陈志明"));
        QCOMPARE(store.headers(HeaderFilter::byKey(key), QStringLiteral("1")).rowCount(), 0); // another kind

        // An update keeps the maker, rewrites the rest and frees the lock.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes', Check_Man = 'x' WHERE Rec_411 = ?"), {key});
        v.formMan = QStringLiteral("someone else");
        v.remark = QString();
        v.stockMode = 0;
        store.updateHeader(key, v);
        h = store.headers(HeaderFilter::byNumber(QStringLiteral("ll-o'1")), QStringLiteral("3"));
        QCOMPARE(h.text(0, QStringLiteral("Form_Man")), QStringLiteral("陈志明"));
        QCOMPARE(h.text(0, QStringLiteral("Remark")), QString());
        QCOMPARE(h.text(0, QStringLiteral("stock_mode")), QStringLiteral("0"));
        QCOMPARE(h.text(0, QStringLiteral("Check_Man")), QStringLiteral("x"));
        QCOMPARE(head(key).text(0, 2), QStringLiteral("No"));
        // A header another user deleted cannot be updated silently.
        QVERIFY_THROWS_EXCEPTION(ErpError, store.updateHeader(key + 100, v));
        // Nor can one approved meanwhile be turned back to open by a save.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Rec_411 = ?"), {key});
        v.remark = QStringLiteral("late");
        QVERIFY_THROWS_EXCEPTION(ErpError, store.updateHeader(key, v));
        QCOMPARE(head(key).text(0, 0), QStringLiteral("2"));
        QCOMPARE(store.headers(HeaderFilter::byKey(key), QStringLiteral("3")).text(0, QStringLiteral("Remark")),
                 QString());
    }

    void twoUsersCannotBothTakeTheLastUnits()
    {
        stock(10);
        const qint64 first = header(QStringLiteral("LL101"), QStringLiteral("1"));
        line(first, 6);
        const qint64 second = header(QStringLiteral("LL102"), QStringLiteral("1"));
        line(second, 6);
        const QString url = conn.url();

        // Each user approves on a connection of their own, at the same moment.
        QSemaphore ready;
        QSemaphore go;
        QList<int> outcomes(2, -1);
        auto approve = [&](int who, qint64 rec411, const QString &no) {
            return QThread::create([&, who, rec411, no] {
                Connection own = Connection::open(url);
                ready.release();
                go.acquire();
                try {
                    outcomes[who] = DocumentStore(own)
                                            .post(DocumentKind::issue(), true, rec411, no, QDate(2026, 12, 1),
                                                  QStringLiteral("user%1").arg(who))
                                            .posted
                                        ? 1
                                        : 0;
                } catch (const ErpError &) {
                    outcomes[who] = 2;
                }
                own.close();
            });
        };
        QThread *a = approve(0, first, QStringLiteral("LL101"));
        QThread *b = approve(1, second, QStringLiteral("LL102"));
        a->start();
        b->start();
        ready.acquire(2);
        go.release(2);
        QVERIFY(a->wait(60000));
        QVERIFY(b->wait(60000));
        delete a;
        delete b;

        std::sort(outcomes.begin(), outcomes.end());
        QCOMPARE(outcomes, (QList<int>{0, 1})); // exactly one posted, the other was short
        QCOMPARE(balance(), 4.0);
        QCOMPARE(journal().rowCount(), 1);
        const int approved =
            Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Status = '2'")).scalar().toInt();
        QCOMPARE(approved, 1);
    }

    // Both users saw the document open and confirmed; only one may post.
    void approvedByTwoUsersAtOncePostsOnce()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL201"), QStringLiteral("1"));
        line(doc, 4);
        const Work approve = posting(DocumentKind::issue(), true, doc, QStringLiteral("LL201"));
        QCOMPARE(together({approve, approve}), (QStringList{"posted", "status was 2"}));
        QCOMPARE(balance(), 6.0);
        QCOMPARE(journal().rowCount(), 1);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("2"));
    }

    void resetByTwoUsersAtOnceReversesOnce()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL202"), QStringLiteral("1"));
        line(doc, 4);
        QVERIFY(post(DocumentKind::issue(), true, doc, QStringLiteral("LL202")).posted);
        const Work reset = posting(DocumentKind::issue(), false, doc, QStringLiteral("LL202"));
        QCOMPARE(together({reset, reset}), (QStringList{"posted", "status was 0"}));
        QCOMPARE(balances(), (QStringList{"SO1/MO1/PI001/A/W01:10"}));
        QCOMPARE(journal().rowCount(), 0);
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("0"));
    }

    void aDocumentApprovedMeanwhileIsNotDeleted()
    {
        stock(10);
        const qint64 doc = header(QStringLiteral("LL203"), QStringLiteral("1"));
        line(doc, 4);
        // Another user approves between this user's status check and the delete.
        Connection other = Connection::open(conn.url());
        QVERIFY(DocumentStore(other)
                    .post(DocumentKind::issue(), true, doc, QStringLiteral("LL203"), QDate(2026, 12, 1),
                          QStringLiteral("user1"))
                    .posted);
        other.close();
        const DeleteOutcome out = DocumentStore(conn).deleteDocument(doc);
        QVERIFY(!out.deleted);
        QCOMPARE(out.status, QStringLiteral("2"));
        QCOMPARE(head(doc).text(0, 0), QStringLiteral("2"));
        QCOMPARE(DocumentStore(conn).lines(doc).rowCount(), 1);
        QCOMPARE(journal().rowCount(), 1);
        // And one already gone is told as such.
        QCOMPARE(DocumentStore(conn).deleteDocument(doc + 100).status, QStringLiteral("9"));
    }

    // Nobody held stock under the key: both approvals create its balance.
    void twoApprovalsIntoANewKeyLeaveOneBalance()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = '1'")); // negative stock allowed
        const qint64 first = header(QStringLiteral("LL204"), QStringLiteral("1"));
        line(first, 2);
        const qint64 second = header(QStringLiteral("LL205"), QStringLiteral("1"));
        line(second, 3);
        slowBalanceWrites(QStringLiteral("INSERT"));
        QCOMPARE(together({posting(DocumentKind::issue(), true, first, QStringLiteral("LL204")),
                           posting(DocumentKind::issue(), true, second, QStringLiteral("LL205"))}),
                 (QStringList{"posted", "posted"}));
        QCOMPARE(balances(), (QStringList{"SO1/MO1/PI001/A/W01:-5"}));
        QCOMPARE(journal().rowCount(), 2);
    }

    // Each document draws on the same two balances, listed the other way round.
    void oppositeLineOrdersDoNotDeadlock()
    {
        stock(10, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W01"));
        stock(10, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W02"));
        const qint64 first = header(QStringLiteral("LL206"), QStringLiteral("1"));
        line(first, 1, QStringLiteral("2"), QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W01"));
        line(first, 1, QStringLiteral("2"), QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W02"));
        const qint64 second = header(QStringLiteral("LL207"), QStringLiteral("1"));
        line(second, 2, QStringLiteral("2"), QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W02"));
        line(second, 2, QStringLiteral("2"), QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W01"));
        slowBalanceWrites(QStringLiteral("UPDATE"));
        QCOMPARE(together({posting(DocumentKind::issue(), true, first, QStringLiteral("LL206")),
                           posting(DocumentKind::issue(), true, second, QStringLiteral("LL207"))}),
                 (QStringList{"posted", "posted"}));
        QCOMPARE(balances(), (QStringList{"SO1/MO1/PI001/A/W01:7", "SO1/MO1/PI001/A/W02:7"}));
    }

    // A return line without source type is posted under the receipt's type;
    // its reset must take back exactly that.
    void returnWithoutSourceTypeResetLeavesTheLedgerAsItWas()
    {
        stock(5, QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W02"));
        const qint64 doc = header(QStringLiteral("TL201"), QStringLiteral("2"));
        line(doc, 3, QStringLiteral("2"), QStringLiteral("SO1"), QStringLiteral("MO1"), QStringLiteral("W01"),
             QString());
        const QStringList before = balances();
        QVERIFY(post(DocumentKind::materialReturn(), true, doc, QStringLiteral("TL201")).posted);
        QCOMPARE(balances(), (QStringList{"SO1/MO1/PI001/A/W01:3", "SO1/MO1/PI001/A/W02:5"}));
        QCOMPARE(journal().rowCount(), 1);
        QVERIFY(post(DocumentKind::materialReturn(), false, doc, QStringLiteral("TL201")).posted);
        QCOMPARE(balances(), before);
        QCOMPARE(journal().rowCount(), 0);
    }

    // Each received line moves the average over the material's whole stock
    // as it stands after that line, balances outside the document included.
    void averageCostFollowsEveryReceivedLine()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                          "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', "
                                          "'W01', '', 10, 4)"));
        stock(20, QStringLiteral("SO9"), QStringLiteral("MO9")); // the receipt's price is its first row's, 4
        const qint64 doc = header(QStringLiteral("TL301"), QStringLiteral("2"));
        line(doc, 6, QStringLiteral("2"), QStringLiteral("SO2"), QStringLiteral("MO2"));
        line(doc, 4);
        const auto average = [&] {
            return Sql(conn, QStringLiteral("SELECT Avg_Cost FROM mmst611 WHERE Mtr_No = 'F001'")).scalar().toDouble();
        };
        QVERIFY(post(DocumentKind::materialReturn(), true, doc, QStringLiteral("TL301")).posted);
        // SO1/MO1 first: stock 34 after it, then 40 after the new SO2/MO2 balance.
        const double first = (34 * 2.5 + 4 * 4.0) / (34 + 4);
        const double second = (40 * first + 6 * 4.0) / (40 + 6);
        QVERIFY2(qAbs(average() - second) < 1e-5, qPrintable(QString::number(average(), 'f', 8)));
        // Taking the stock out again leaves the average where it is.
        QVERIFY(post(DocumentKind::materialReturn(), false, doc, QStringLiteral("TL301")).posted);
        QVERIFY2(qAbs(average() - second) < 1e-5, qPrintable(QString::number(average(), 'f', 8)));
        // Two postings in a row: the second sums the stock the first left.
        QVERIFY(post(DocumentKind::materialReturn(), true, doc, QStringLiteral("TL301")).posted);
        const double third = (40 * ((34 * second + 16.0) / 38) + 24.0) / 46;
        QVERIFY2(qAbs(average() - third) < 1e-5, qPrintable(QString::number(average(), 'f', 8)));
    }
};

QTEST_GUILESS_MAIN(TstDocumentStore)
#include "tst_documentstore.moc"
