// A document's history as the clerks write it through the windows: every
// kind of change leaves one row naming the user and workstation, in the
// same transaction as the change (a change that fails leaves none), and the
// history window and "erp-host --history" show the rows.
#include "DocumentFixture.h"
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "context/RunContext.h"
#include "documents/DocumentStore.h"
#include "documents/DocumentWindow.h"
#include "documents/HistoryWindow.h"
#include "documents/MenuMdi.h"
#include "entry/ClsBarManuBill.h"
#include "lines/Frm40BMx.h"
#include "lines/UsageImportStore.h"
#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportComponent.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "reports/FrmDesignReportShow.h"
#include "services/DbGateway.h"
#include "services/DocumentHistory.h"

#include <QComboBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace {

// Fails the journal insert of an approval, as a server that goes away in
// the middle of it would.
void failJournalInsert(const Connection &, const QString &text, const QList<QVariant> &)
{
    if (text.startsWith(QLatin1String("INSERT INTO mmst388")))
        throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("test"), QStringLiteral("connection lost"));
}

} // namespace

class TstHistory : public QObject, public DocumentFixture
{
    Q_OBJECT

    LedgerInvariant ledgerHolds;
    ScriptedMessageBox *box = nullptr;
    QString pdf;

    void click(const char *name)
    {
        auto *b = w->findChild<PictureButton *>(QLatin1String(name));
        QVERIFY2(b && b->isEnabled(), name);
        b->click();
    }
    void choose(const char *name, const QString &text)
    {
        w->findChild<QComboBox *>(QLatin1String(name))->setEditText(text);
    }
    QList<HistoryEntry> historyOf(const QString &invNo)
    {
        return DocumentHistory(conn).entries(invNo, QStringLiteral("1"));
    }
    static QStringList kinds(const QList<HistoryEntry> &entries)
    {
        QStringList out;
        for (const HistoryEntry &e : entries)
            out << e.kindCode;
        return out;
    }
    Menu_Mdi *rightClick(int row)
    {
        FlexGrid *g = w->grid();
        if (row > 0)
            g->setRow(row);
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, QPoint(10, g->viewport()->height() - 5));
        return w->lineMenu();
    }
    // Runs one item of the grid's popup menu with the dialog it opens driven by fill.
    void menuItem(QToolButton *(Menu_Mdi::*item)() const, int row, const std::function<void(QDialog *)> &fill)
    {
        QPointer<Menu_Mdi> menu = rightClick(row);
        QVERIFY(menu && menu->isVisible());
        QVERIFY((menu->*item)()->isEnabled());
        ModalRunner::setDriver([&](QDialog *d) {
            d->show();
            fill(d);
            return d->result();
        });
        (menu->*item)()->click();
        ModalRunner::setDriver({});
    }
    static void ok(QWidget *d) { d->findChild<PictureButton *>(QStringLiteral("Cmd_Ok"))->click(); }
    static void enterLine(Frm40BMx &d, const QString &frmInv, const QString &qty)
    {
        d.setFieldText(QStringLiteral("Mtr_No"), QStringLiteral("F001"));
        d.setFieldText(QStringLiteral("Order_No"), QStringLiteral("SO1"));
        d.setFieldText(QStringLiteral("Mo_No"), QStringLiteral("MO1"));
        d.setFieldText(QStringLiteral("Frm_inv"), frmInv);
        d.setFieldText(QStringLiteral("frm_type"), QStringLiteral("采购入库"));
        d.setFieldText(QStringLiteral("Bar_Name"), QStringLiteral("主仓"));
        d.setFieldText(QStringLiteral("Mtr_Amt"), qty);
    }
    // The grid row of the line drawn from that receipt.
    int rowOf(const QString &frmInv)
    {
        FlexGrid *g = w->grid();
        for (int r = g->fixedRows(); r < g->rows(); ++r)
            if (w->linesRs().text(g->sourceRow(r), QStringLiteral("frm_inv")) == frmInv)
                return r;
        return -1;
    }
    // The history window the key or the menu opens, as its table shows it.
    QList<QStringList> historyWindowRows(const std::function<void()> &open, QString *title = nullptr)
    {
        QList<QStringList> rows;
        ModalRunner::setDriver([&](QDialog *d) {
            if (auto *h = qobject_cast<HistoryWindow *>(d)) {
                if (title)
                    *title = h->windowTitle();
                QTableWidget *t = h->table();
                for (int r = 0; r < t->rowCount(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < t->columnCount(); ++c)
                        cells << t->item(r, c)->text();
                    rows << cells;
                }
                // Read-only: no cell can be edited.
                if (t->editTriggers() != QAbstractItemView::NoEditTriggers)
                    rows << QStringList{QStringLiteral("editable")};
            }
            d->reject();
            return d->result();
        });
        open();
        ModalRunner::setDriver({});
        return rows;
    }

private slots:
    void initTestCase()
    {
        box = new ScriptedMessageBox;
        Environment::setNow(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        DbGateway::setServerNowOverride(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 5)));
    }
    void cleanupTestCase()
    {
        delete box;
        DbGateway::setServerNowOverride({});
        Environment::setNow({});
    }

    void init()
    {
        conn = TestDb::fresh();
        const QStringList fixture = {
            "INSERT INTO mmst901 (user_id, user_name, user_no) VALUES ('chen', '陈志明', 'A001'), ('li', '李丽', NULL), "
            "('wang', '王主管', 'C003')",
            "INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B')",
            "INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES ('chen', 'MENU_F4_1', 'AUDCRPVSILMXF'), "
            "('li', 'MENU_F4_1', 'AUCRPVI'), ('wang', 'MENU_F4_1', 'AUDCRPVSILMXFK')",
            "INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES ('0001', '生产部', '0001'), ('0001001', '裁床组', '0001001')",
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type, Avg_Cost, Mtr_Cost) VALUES (1, 'F001', '牛津布', '0', 2.5, 2.5)",
            "INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')",
            "INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '主仓')",
            "INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (1, 'SO1', '2')",
            "INSERT INTO mmst111 (Rec_111, Mo_No, Rec_011, Status) VALUES (1, 'MO1', 1, '2')",
            "INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) "
            "VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', '', 10, 2.5), ('SO1', 'MO1', 'PI002', 'A', 'F001', 'W01', '', 8, 2.5)",
            "INSERT INTO mmst388 (Inv_No, Inv_Type, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, "
            "Mtr_Prs) VALUES ('PI001', '采购入库单', 'SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', '', 10, 2.5), "
            "('PI002', '采购入库单', 'SO1', 'MO1', 'PI002', 'A', 'F001', 'W01', '', 8, 2.5)",
            "INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0'), ('按订单用料控制领料', '0')",
            "INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, Prop_Duty, Out_Flag, Status, Lock) VALUES "
            "(4, 'LL004', '2026-12-04', '1', '0001001', '2', '0', '0', '0', 'No'), "
            "(5, 'LL005', '2026-12-05', '1', '0001001', '2', '0', '0', '0', 'No')",
            "INSERT INTO Mmst412 (Rec_412, Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, Color_No, Stock_Mode) "
            "VALUES (3, 4, 1, 'PI001', 'A', 'SO1', 'MO1', 4, 'W01', '', '2'), "
            "(4, 5, 1, 'PI002', 'A', 'SO1', 'MO1', 50, 'W01', '', '2')",
            "INSERT INTO mmstc111 (form_name, Report_Name, report_caption, report_sql, basic_sql_flag, Type) VALUES "
            "('40B', 'RPT_H1', '领料单', 'W_SQL = \"SELECT Inv_No FROM Mmst411 WHERE Inv_No = ''\" & inv_no & \"''\"', 0, 0)",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        for (const auto &[table, key] :
             {std::pair{"Mmst411", "Rec_411"}, std::pair{"Mmst412", "Rec_412"}, std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        box->clear();
        pdf = dir.filePath(QStringLiteral("printed.pdf"));
        report::setPdfOutput(pdf);
        open();
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        ModalRunner::setDriver({});
        Sql::setObserver(nullptr);
        report::setPdfOutput(QString());
        delete w;
        w = nullptr;
        runContext().Conn = Connection();
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    // One document's life through the window, every kind of change once.
    void everyChangeIsWritten()
    {
        click("Cmd_Add");
        const QString number = w->findChild<QComboBox *>(QStringLiteral("Inv_No"))->currentText();
        QCOMPARE(number, QStringLiteral("A001-26120001"));
        choose("Org_Name", QStringLiteral("裁床组"));
        choose("Stock_Mode", QStringLiteral("按制单"));
        click("Cmd_Ok");
        QVERIFY(w->hasRecord());

        click("Cmd_Edit");
        w->findChild<QLineEdit *>(QStringLiteral("Remark"))->setText(QStringLiteral("第一批"));
        choose("Stock_Mode", QStringLiteral("按订单"));
        click("Cmd_Ok");
        click("Cmd_Edit");
        choose("Stock_Mode", QStringLiteral("按制单"));
        click("Cmd_Ok");

        menuItem(&Menu_Mdi::Menu_Add, 0, [](QDialog *d) {
            auto *line = qobject_cast<Frm40BMx *>(d);
            QVERIFY(line);
            enterLine(*line, QStringLiteral("PI001"), QStringLiteral("2"));
            ok(d);
            QCOMPARE(d->result(), int(QDialog::Accepted));
        });
        menuItem(&Menu_Mdi::Menu_Add, 1, [](QDialog *d) {
            enterLine(*qobject_cast<Frm40BMx *>(d), QStringLiteral("PI002"), QStringLiteral("1"));
            ok(d);
        });
        menuItem(&Menu_Mdi::Menu_Edit, rowOf(QStringLiteral("PI001")), [](QDialog *d) {
            qobject_cast<Frm40BMx *>(d)->setFieldText(QStringLiteral("Mtr_Amt"), QStringLiteral("3"));
            ok(d);
        });
        box->answer(6);
        menuItem(&Menu_Mdi::Menu_Delete, rowOf(QStringLiteral("PI002")), [](QDialog *) {});
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 l INNER JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 "
                                      "WHERE h.Inv_No = ?"),
                       {number}),
                 QStringLiteral("1"));

        box->answer(1);
        click("cmd_check");
        QCOMPARE(field(QStringLiteral("SELECT Status FROM Mmst411 WHERE Inv_No = ?"), {number}), QStringLiteral("2"));
        box->answer(1);
        click("cmd_reset");
        QCOMPARE(field(QStringLiteral("SELECT Status FROM Mmst411 WHERE Inv_No = ?"), {number}), QStringLiteral("0"));

        ModalRunner::setDriver([](QDialog *d) {
            d->show();
            if (auto *list = qobject_cast<FrmDesignReportShow *>(d)) {
                list->selectCaption(QStringLiteral("领料单"));
                list->Cmd_Ok_Click();
            } else {
                d->reject();
            }
            return d->result();
        });
        click("Cmd_Print");
        ModalRunner::setDriver({});
        QVERIFY(QFileInfo(pdf).size() > 0);
        QCOMPARE(field(QStringLiteral("SELECT print_status FROM Mmst411 WHERE Inv_No = ?"), {number}),
                 QStringLiteral("1"));

        box->answer(6);
        click("Cmd_Delete");
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Inv_No = ?"), {number}), QStringLiteral("0"));

        // Kept after the document went, oldest first, each naming the clerk.
        const QList<HistoryEntry> h = historyOf(number);
        QCOMPARE(kinds(h), (QStringList{"created", "header", "header", "line-added", "line-added", "line-changed",
                                        "line-deleted", "approved", "reset", "printed", "deleted"}));
        for (const HistoryEntry &e : h) {
            QCOMPARE(e.userId, QStringLiteral("chen"));
            QCOMPARE(e.userName, QStringLiteral("陈志明"));
            QCOMPARE(e.workstation, DbGateway::GetMachineName());
            QVERIFY(e.at.isValid());
            QCOMPARE(e.invNo, number);
        }
        QCOMPARE(h.at(0).detail, QStringLiteral("单据编号 A001-26120001"));
        QCOMPARE(h.at(1).detail, QStringLiteral("备注: (空) → 第一批\n扣库存方式: 按制单 → 按订单"));
        QCOMPARE(h.at(2).detail, QStringLiteral("扣库存方式: 按订单 → 按制单"));
        QCOMPARE(h.at(3).detail, QStringLiteral("材料 F001, 来料单号 PI001, 数量 2"));
        QCOMPARE(h.at(4).detail, QStringLiteral("材料 F001, 来料单号 PI002, 数量 1"));
        QCOMPARE(h.at(5).detail,
                 QStringLiteral("明细: 材料 F001, 来料单号 PI001, 数量 2 → 材料 F001, 来料单号 PI001, 数量 3"));
        QCOMPARE(h.at(6).detail, QStringLiteral("材料 F001, 来料单号 PI002, 数量 1"));
        QCOMPARE(h.at(7).detail, QStringLiteral("过账 1 条明细"));
        QCOMPARE(h.at(8).detail, QStringLiteral("过账 1 条明细"));
        QCOMPARE(h.at(9).detail, QStringLiteral("报表 领料单"));
        QCOMPARE(h.at(10).detail, QStringLiteral("连同 1 条明细"));

        // The command line shows the deleted document's history too.
        QString out;
        QCOMPARE(ClsBarManuBill().ListHistory(conn, QStringLiteral("40B"), number, false, out), 0);
        QVERIFY2(out.startsWith(QStringLiteral("生产领料单 A001-26120001\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("新增单据")) && out.contains(QStringLiteral("删除单据")) &&
                     out.contains(QStringLiteral("陈志明 (chen)")),
                 qPrintable(out));
        // A detail of several lines continues under its row.
        QVERIFY2(out.contains(QStringLiteral("备注: (空) → 第一批\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("  扣库存方式: 按制单 → 按订单\n")), qPrintable(out));
        QCOMPARE(ClsBarManuBill().ListHistory(conn, QStringLiteral("40B"), number, true, out), 0);
        const QJsonArray rows = QJsonDocument::fromJson(out.toUtf8()).array();
        QCOMPARE(rows.size(), 11);
        QCOMPARE(rows.at(7).toObject().value(QStringLiteral("change")).toString(), QStringLiteral("approved"));
        QCOMPARE(rows.at(7).toObject().value(QStringLiteral("caption")).toString(), QStringLiteral("审核"));
        QCOMPARE(rows.at(7).toObject().value(QStringLiteral("userName")).toString(), QStringLiteral("陈志明"));
        QCOMPARE(ClsBarManuBill().ListHistory(conn, QStringLiteral("40X"), number, false, out), 2);
        QCOMPARE(ClsBarManuBill().ListHistory(conn, QStringLiteral("40C"), number, false, out), 0);
        QCOMPARE(out, QStringLiteral("生产退料单 A001-26120001 has no history\n"));
    }

    // A supervisor's release of a clerk's lock is written under the supervisor.
    void aSupervisorsReleaseIsWritten()
    {
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Rec_411 = 4"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Erp_Lock_Holder (Table_Name, Rec_Key, Holder_Token, Holder_User, "
                                    "Holder_Name, Workstation, Locked_At, Lease_At) VALUES ('Mmst411', 4, 'li-1', "
                                    "'li', '李丽', 'WS-B', '2026-12-09 09:30:00', '2026-12-09 10:00:00')"));
        open(QStringLiteral("wang"));
        show(QStringLiteral("LL004"));
        box->answer(6);
        click("Cmd_Edit");
        QCOMPARE(w->lastAction(), 2);
        box->answer(6);
        click("cmd_cancel");
        const QList<HistoryEntry> h = historyOf(QStringLiteral("LL004"));
        QCOMPARE(kinds(h), QStringList{"lock-released"});
        QCOMPARE(h.first().userId, QStringLiteral("wang"));
        QCOMPARE(h.first().userName, QStringLiteral("王主管"));
        QCOMPARE(h.first().detail, QStringLiteral("锁定者 李丽 (工作站 WS-B), 自 2026-12-09 09:30:00 起"));
    }

    // A change that is refused or fails half way writes no history.
    void aChangeThatFailsWritesNothing()
    {
        show(QStringLiteral("LL005")); // asks for 50 of 8
        box->answer(1);
        click("cmd_check");
        QCOMPARE(box->last().text, QStringLiteral("订单:SO1\r制单:MO1\r料品F001库存不够."));
        QVERIFY(historyOf(QStringLiteral("LL005")).isEmpty());

        show(QStringLiteral("LL004"));
        Sql::setObserver(failJournalInsert);
        box->answer(1);
        click("cmd_check");
        Sql::setObserver(nullptr);
        QCOMPARE(box->last().text, QStringLiteral("更新时发生错误!"));
        QCOMPARE(field(QStringLiteral("SELECT Status FROM Mmst411 WHERE Rec_411 = 4")), QStringLiteral("0"));
        QVERIFY(historyOf(QStringLiteral("LL004")).isEmpty());

        // Then it goes through, and only that is written.
        box->answer(1);
        click("cmd_check");
        QCOMPARE(kinds(historyOf(QStringLiteral("LL004"))), QStringList{"approved"});
    }

    // Ctrl+H and the grid's popup menu open the same read-only window.
    void theHistoryWindowShowsIt()
    {
        // Nothing shown: nothing to open.
        QString title;
        QVERIFY(historyWindowRows([this] { w->showHistory(); }, &title).isEmpty());
        QVERIFY(title.isEmpty());

        show(QStringLiteral("LL004"));
        box->answer(1);
        click("cmd_check");
        box->answer(1);
        click("cmd_reset");
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const QList<QStringList> byKey = historyWindowRows(
            [this] {
                QTest::keyClick(w->findChild<QLineEdit *>(QStringLiteral("Remark")), Qt::Key_H, Qt::ControlModifier);
            },
            &title);
        QCOMPARE(title, QStringLiteral("生产领料单 LL004 的修改记录"));
        QCOMPARE(byKey.size(), 2);
        QCOMPARE(byKey.at(0).mid(1), (QStringList{QStringLiteral("审核"), QStringLiteral("陈志明 (chen)"),
                                                  DbGateway::GetMachineName(), QStringLiteral("过账 1 条明细")}));
        QCOMPARE(byKey.at(1).at(1), QStringLiteral("重置"));

        // The menu keeps its three line commands and offers the history below them.
        QPointer<Menu_Mdi> menu = rightClick(1);
        QVERIFY(menu->Menu_Add()->isEnabled());
        QVERIFY(menu->Menu_Edit()->isEnabled());
        QVERIFY(menu->Menu_History()->isEnabled());
        QCOMPARE(menu->Menu_History()->text(), QStringLiteral("修改记录"));
        const QList<QStringList> byMenu = historyWindowRows([&] { menu->Menu_History()->click(); });
        QCOMPARE(byMenu, byKey);
        // Looking changes nothing: no lock taken, no row written.
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
        QCOMPARE(historyOf(QStringLiteral("LL004")).size(), 2);
    }

    // The usage import and the clearing before it write a row per line.
    void importAndClearingWriteEachLine()
    {
        const HistoryActor who{QStringLiteral("li"), QStringLiteral("李丽"), QStringLiteral("WS-B")};
        UsageSave save;
        save.rec411 = 5;
        save.stockMode = 2;
        save.userName = QStringLiteral("李丽");
        save.who = who;
        save.updDate = QDate(2026, 12, 9);
        UsageLine line;
        line.moNo = QStringLiteral("MO1");
        line.orderNo = QStringLiteral("SO1");
        line.rec611 = 1;
        line.frmInv = QStringLiteral("PI001");
        line.frmType = QStringLiteral("A");
        line.barNo = QStringLiteral("W01");
        line.mtrAmt = 1.5;
        save.lines = {line};
        line.frmInv = QStringLiteral("PI002");
        line.mtrAmt = 2;
        save.lines << line;
        QCOMPARE(UsageImportStore(conn).write(save).lines, 2);
        DocumentStore(conn).deleteLines(5, who);
        const QList<HistoryEntry> h = historyOf(QStringLiteral("LL005"));
        QCOMPARE(kinds(h), (QStringList{"line-added", "line-added", "line-deleted", "line-deleted", "line-deleted"}));
        QCOMPARE(h.at(0).detail, QStringLiteral("材料 F001, 来料单号 PI001, 数量 1.5"));
        QCOMPARE(h.at(1).detail, QStringLiteral("材料 F001, 来料单号 PI002, 数量 2"));
        QCOMPARE(h.at(2).detail, QStringLiteral("材料 F001, 来料单号 PI002, 数量 50"));
        for (const HistoryEntry &e : h)
            QCOMPARE(e.workstation, QStringLiteral("WS-B"));
    }
};

QTEST_MAIN(TstHistory)
#include "tst_history.moc"
