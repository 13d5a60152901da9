// Line maintenance as the user does it: the grid's popup menu, the line
// entry dialog over a document window, and the usage import button, checked
// against the messages shown, the rows written and the header lock.
#include "DocumentFixture.h"
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentWindow.h"
#include "documents/MenuMdi.h"
#include "entry/ClsBarManuBill.h"
#include "context/RunContext.h"
#include "lines/Frm40BMx.h"
#include "lines/LineHost.h"
#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "services/DbGateway.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TstLinesUi : public QObject, public DocumentFixture
{
    Q_OBJECT

    LedgerInvariant ledgerHolds;

    ScriptedMessageBox *box = nullptr;
    QList<QString> dialogsSeen;
    // How a picker opened from the line dialog is answered.
    std::function<int(QDialog *)> picker;
    static int firstRow(QDialog *d)
    {
        auto *grid = d->findChild<FlexGrid *>();
        if (grid && grid->rows() > 1) {
            grid->setRow(1);
            QTest::keyClick(grid, Qt::Key_Return);
        }
        return d->result();
    }

    // Stock of F001 from a receipt in red, beside the fixture's uncoloured stock.
    void redStock(const QString &frmInv, double qty)
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, "
                           "Mtr_Amt, Mtr_Prs) VALUES ('SO1', 'MO1', ?, 'A', 'F001', 'W01', 'C01', ?, 2.5)"),
            {frmInv, qty});
    }

    int linesOf(int rec411)
    {
        return field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = ?"), {rec411}).toInt();
    }

    // A line selected in the grid, then a right click in it (row 0: no
    // line selected).
    Menu_Mdi *rightClick(int row)
    {
        FlexGrid *g = w->grid();
        if (row > 0)
            g->setRow(row);
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, QPoint(10, g->viewport()->height() - 5));
        return w->lineMenu();
    }
    // Runs one menu item with the line dialog driven by fill.
    void menuItem(QToolButton *(Menu_Mdi::*item)() const, int row, const std::function<void(Frm40BMx &)> &fill)
    {
        QPointer<Menu_Mdi> menu = rightClick(row);
        QVERIFY(menu && menu->isVisible());
        QVERIFY((menu->*item)()->isEnabled());
        ModalRunner::setDriver([&](QDialog *d) {
            d->show();
            if (auto *f = qobject_cast<Frm40BMx *>(d)) {
                dialogsSeen << d->windowTitle();
                fill(*f);
                return d->result();
            }
            return picker(d);
        });
        (menu->*item)()->click();
        ModalRunner::setDriver({});
        QVERIFY(!menu || !menu->isVisible());
    }
    static QComboBox *choice(QWidget *d, const char *name) { return d->findChild<QComboBox *>(QLatin1String(name)); }
    static HeadItem *item(QWidget *d, const char *name) { return d->findChild<HeadItem *>(QLatin1String(name)); }
    static void ok(QWidget *d) { d->findChild<PictureButton *>(QStringLiteral("Cmd_Ok"))->click(); }
    static void leave(QWidget *field)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &out);
    }
    // The fields of a line drawn from receipt frmInv.
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

    // A dialog adding to LL004 (by manufacturing order) over a host of its
    // own, shown and active so that the focus can be followed.
    struct PlainHost : LineHost
    {
        QString outsourcingOrderNo() const override { return QString(); }
        QString stockDeductionText() const override { return QStringLiteral("按制单"); }
        void linesChanged(const QString &) override {}
    };
    static LineRequest addingToLL004()
    {
        LineRequest r;
        r.invType = QStringLiteral("1");
        r.rec411 = QStringLiteral("5");
        r.stockMode = QStringLiteral("2");
        r.stockModePosition = 2;
        r.propDuty = QStringLiteral("0");
        return r;
    }
    static QString focusedField(QWidget *d)
    {
        // An item's text box stands for the item.
        QWidget *f = d->focusWidget();
        while (f && f != d && f->objectName().isEmpty())
            f = f->parentWidget();
        return f ? f->objectName() : QStringLiteral("<none>");
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
            "INSERT INTO mmst901 (user_id, user_name, user_no) VALUES ('chen', '陈志明', 'A001'), ('li', '李丽', NULL)",
            "INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B'), ('MENU_F4_2', '40B')",
            "INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES ('chen', 'MENU_F4_1', 'AUDCRPVSILMXF'), "
            "('chen', 'MENU_F4_2', 'AUDCRPVSILMXF'), ('li', 'MENU_F4_1', 'AUCRPVI')",
            "INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES ('0001', '生产部', '0001'), ('0001001', '裁床组', '0001001')",
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type, Avg_Cost, Mtr_Cost) VALUES (1, 'F001', '牛津布', '0', 2.5, 2.5)",
            "INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')",
            "INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '主仓')",
            "INSERT INTO mmst605 (Color_No, Color_Name) VALUES ('C01', '红色')",
            "INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (1, 'SO1', '2')",
            "INSERT INTO mmst111 (Rec_111, Mo_No, Rec_011, Status) VALUES (1, 'MO1', 1, '2')",
            "INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) "
            "VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', '', 10, 2.5), ('SO1', 'MO1', 'PI002', 'A', 'F001', 'W01', '', 8, 2.5)",
            "INSERT INTO mmst388 (Inv_No, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Mtr_Amt) "
            "VALUES ('PI001', 'SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', 10), ('PI002', 'SO1', 'MO1', 'PI002', 'A', 'F001', 'W01', 8)",
            "INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0'), ('按订单用料控制领料', '0')",
            "INSERT INTO mmst121 (Pcs_No, Status) VALUES ('WF001', '2')",
            "INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, Prop_Duty, Out_Flag, Status, Lock) VALUES "
            "(1, 'LL001', '2026-12-01', '1', '0001001', '2', '0', '0', '0', 'No'), "
            "(3, 'LL003', '2026-12-03', '1', '0001001', '1', '0', '0', '0', 'No'), "
            "(5, 'LL004', '2026-12-04', '1', '0001001', '2', '0', '0', '0', 'No'), "
            "(6, 'BL001', '2026-12-04', '3', '0001001', '2', '0', '0', '0', 'No')",
            "INSERT INTO Mmst412 (Rec_412, Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, Color_No, Stock_Mode, Remark) "
            "VALUES (1, 1, 1, 'PI001', 'A', 'SO1', 'MO1', 6, 'W01', '', '2', 'first'), "
            "(2, 1, 1, 'PI002', 'A', 'SO1', 'MO1', 5, 'W01', 'C01', '2', 'second'), "
            "(3, 5, 1, 'PI001', 'A', 'SO1', 'MO1', 4, 'W01', 'C01', NULL, 'only')",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        for (const auto &[table, key] :
             {std::pair{"Mmst411", "Rec_411"}, std::pair{"Mmst412", "Rec_412"}, std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        box->clear();
        dialogsSeen.clear();
        picker = firstRow;
        open();
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        ModalRunner::setDriver({});
        delete w;
        w = nullptr;
        runContext().Conn = Connection();
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void theMenuOffersWhatTheDocumentAllows()
    {
        show(QStringLiteral("LL003")); // no lines
        Menu_Mdi *menu = rightClick(0);
        QVERIFY(menu && menu->isVisible());
        QVERIFY(menu->Menu_Add()->isEnabled());
        QVERIFY(!menu->Menu_Edit()->isEnabled());
        QVERIFY(!menu->Menu_Delete()->isEnabled());
        menu->hide();

        show(QStringLiteral("LL001"));
        menu = rightClick(2);
        QVERIFY(menu->Menu_Edit()->isEnabled());
        QVERIFY(menu->Menu_Delete()->isEnabled());
        menu->hide();

        // A left click opens nothing.
        delete menu;
        QTest::mouseClick(w->grid()->viewport(), Qt::LeftButton, {}, QPoint(10, 30));
        QVERIFY(!w->lineMenu());

        // Without the delete right only add and change are offered.
        open(QStringLiteral("li"));
        show(QStringLiteral("LL001"));
        menu = rightClick(1);
        QVERIFY(menu->Menu_Add()->isEnabled());
        QVERIFY(menu->Menu_Edit()->isEnabled());
        QVERIFY(!menu->Menu_Delete()->isEnabled());
        menu->hide();
    }

    void addingALine()
    {
        redStock(QStringLiteral("PI002"), 8);
        show(QStringLiteral("LL004"));
        QString lockMeanwhile;
        QStringList seen;
        menuItem(&Menu_Mdi::Menu_Add, 1, [&](Frm40BMx &d) {
            lockMeanwhile = lockOf(QStringLiteral("LL004"));
            QCOMPARE(d.Rec_411, QStringLiteral("5"));
            QCOMPARE(d.W_STOCK_MODE, QStringLiteral("2"));
            QCOMPARE(d.stockModePosition(), 2);
            QVERIFY(!choice(&d, "Stock_Mode")->isVisible());
            // The document already draws F001 from PI001 under SO1/MO1.
            enterLine(d, QStringLiteral("PI001"), QStringLiteral("2"));
            ok(&d);
            seen << box->last().text;
            QVERIFY(d.isVisible());
            choice(&d, "Frm_inv")->setEditText(QStringLiteral("PI002"));
            item(&d, "Remark")->setText(QStringLiteral("O'Neil 的"));
            item(&d, "Color_Name")->setText(QStringLiteral("红色"));
            ok(&d);
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Accepted));
        });
        QCOMPARE(dialogsSeen, QStringList{QStringLiteral("新增生产领料明细(Frm40BMx)")});
        QCOMPARE(seen, QStringList{QStringLiteral("此材料已经存在於本单中")});
        QCOMPARE(lockMeanwhile, QStringLiteral("Yes"));
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
        const ResultSet row =
            Sql(conn,
                QStringLiteral("SELECT Frm_Inv, Mtr_Amt, Stock_Mode, Upd_Name, Remark, Color_No, Bar_No, Frm_Type "
                               "FROM Mmst412 WHERE Rec_411 = 5 AND Frm_Inv = 'PI002'"))
                .select();
        QCOMPARE(row.rowCount(), 1);
        QCOMPARE(row.value(0, 1).toDouble(), 2.0);
        QCOMPARE(row.text(0, 2), QStringLiteral("2"));
        QCOMPARE(row.text(0, 3), QStringLiteral("陈志明"));
        QCOMPARE(row.text(0, 4), QStringLiteral("O'Neil 的"));
        QCOMPARE(row.text(0, 5), QStringLiteral("C01"));
        QCOMPARE(row.text(0, 6), QStringLiteral("W01"));
        QCOMPARE(row.text(0, 7), QStringLiteral("A"));
        // The grid shows the new line, selected.
        FlexGrid *g = w->grid();
        QCOMPARE(g->rows(), 3);
        QCOMPARE(w->linesRs().text(g->sourceRow(g->row()), QStringLiteral("frm_inv")), QStringLiteral("PI002"));
        QVERIFY(!w->findChild<QComboBox *>(QStringLiteral("Org_Name"))->isEnabled());
    }

    void changingALineAndContinuing()
    {
        // The line is red: its own stock is the red one.
        redStock(QStringLiteral("PI001"), 10);
        redStock(QStringLiteral("PI002"), 8);
        show(QStringLiteral("LL004"));
        QStringList titles;
        menuItem(&Menu_Mdi::Menu_Edit, 1, [&](Frm40BMx &d) {
            QCOMPARE(d.Rec_412, QStringLiteral("3"));
            QCOMPARE(d.Rec_611, QStringLiteral("1"));
            QCOMPARE(d.fieldText(QStringLiteral("Mtr_No")), QStringLiteral("F001"));
            QCOMPARE(d.fieldText(QStringLiteral("Frm_inv")), QStringLiteral("PI001"));
            QCOMPARE(d.fieldText(QStringLiteral("frm_type")), QStringLiteral("采购入库"));
            QCOMPARE(d.fieldText(QStringLiteral("Bar_Name")), QStringLiteral("主仓"));
            QCOMPARE(d.fieldText(QStringLiteral("Color_Name")), QStringLiteral("红色"));
            QCOMPARE(d.fieldText(QStringLiteral("Mtr_Name")), QStringLiteral("牛津布"));
            QCOMPARE(d.fieldText(QStringLiteral("Mtr_Amt")).toDouble(), 4.0);
            QCOMPARE(d.fieldText(QStringLiteral("Remark")), QStringLiteral("only"));
            // A line without its own mode is taken by manufacturing order.
            QCOMPARE(d.W_STOCK_MODE, QStringLiteral("2"));
            QCOMPARE(d.stockModePosition(), 2);
            QVERIFY(d.findChild<QFrame *>(QStringLiteral("FrameMain"))->isEnabled());
            // One unit above the stock is refused, the stock itself is not.
            item(&d, "Mtr_Amt")->setText(QStringLiteral("11"));
            ok(&d);
            QCOMPARE(box->last().text, QStringLiteral("当前数量:11>库存数量:10"));
            item(&d, "Mtr_Amt")->setText(QStringLiteral("10"));
            d.findChild<QCheckBox *>(QStringLiteral("Chk_Add"))->setChecked(true);
            d.findChild<QCheckBox *>(QStringLiteral("Chk_Copy"))->setChecked(true);
            ok(&d);
            QVERIFY(d.isVisible());
            QCOMPARE(d.Modify(), 0);
            QCOMPARE(d.fieldText(QStringLiteral("Mtr_Amt")), QString());
            QCOMPARE(d.fieldText(QStringLiteral("Mtr_No")), QStringLiteral("F001"));
            // The next save adds a row of its own; the caption keeps "修改".
            d.setFieldText(QStringLiteral("Frm_inv"), QStringLiteral("PI002"));
            item(&d, "Mtr_Amt")->setText(QStringLiteral("3abc"));
            ok(&d);
            titles << d.windowTitle();
            QVERIFY(d.isVisible());
            QCOMPARE(d.findChild<QComboBox *>(QStringLiteral("Frm_inv"))->currentText(), QStringLiteral("PI002"));
            d.findChild<QCheckBox *>(QStringLiteral("Chk_Copy"))->setChecked(false);
            d.findChild<PictureButton *>(QStringLiteral("cmd_cancel"))->click();
        });
        QCOMPARE(titles, QStringList{QStringLiteral("修改生产领料明细(Frm40BMx)")});
        QCOMPARE(field(QStringLiteral("SELECT Mtr_Amt FROM Mmst412 WHERE Rec_412 = 3")).toDouble(), 10.0);
        QCOMPARE(field(QStringLiteral("SELECT Stock_Mode FROM Mmst412 WHERE Rec_412 = 3")), QStringLiteral("2"));
        QCOMPARE(
            field(QStringLiteral("SELECT Mtr_Amt FROM Mmst412 WHERE Rec_411 = 5 AND Frm_Inv = 'PI002'")).toDouble(),
            3.0);
        QCOMPARE(linesOf(5), 2);
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
    }

    void deletingALine()
    {
        show(QStringLiteral("LL001"));
        box->answer(7);
        menuItem(&Menu_Mdi::Menu_Delete, 2, [](Frm40BMx &) {});
        QCOMPARE(box->last().text, QStringLiteral("确认要删除行号为 2 的明细记录?"));
        QCOMPARE(box->last().style, 36);
        QCOMPARE(box->last().title, QStringLiteral("提示信息"));
        QCOMPARE(box->last().form, QStringLiteral("确认要删除这笔资料?"));
        QCOMPARE(box->last().messageId, QStringLiteral("Menu_Delete_Click_2"));
        QCOMPARE(linesOf(1), 2);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));

        const QString chosen = w->linesRs().text(w->grid()->sourceRow(2), QStringLiteral("Remark"));
        box->answer(6);
        menuItem(&Menu_Mdi::Menu_Delete, 2, [](Frm40BMx &) {});
        QCOMPARE(linesOf(1), 1);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Remark = ?"), {chosen}), QStringLiteral("0"));
        QCOMPARE(w->grid()->rows(), 2);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QVERIFY(dialogsSeen.isEmpty());
    }

    void lineCommandsRespectStatusAndLock()
    {
        show(QStringLiteral("LL001"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Inv_No = 'LL001'"));
        menuItem(&Menu_Mdi::Menu_Add, 1, [](Frm40BMx &) {});
        QCOMPARE(box->last().text, QStringLiteral("此单已审核, 不能进行修改!"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));

        show(QStringLiteral("LL004"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Inv_No = 'LL004'"));
        menuItem(&Menu_Mdi::Menu_Edit, 1, [](Frm40BMx &) {});
        QCOMPARE(box->last().text, QStringLiteral("记录已锁定,请稍等"));
        QVERIFY(dialogsSeen.isEmpty());
        QCOMPARE(linesOf(5), 1);
    }

    void dialogFields()
    {
        // The "=" key copies what is still needed on an issue.
        show(QStringLiteral("LL004"));
        menuItem(&Menu_Mdi::Menu_Add, 1, [&](Frm40BMx &d) {
            QLineEdit *qty = item(&d, "Mtr_Amt")->editor();
            item(&d, "Get_amt")->setText(QStringLiteral("7.5"));
            qty->setFocus();
            QTest::keyClicks(qty, QStringLiteral("="));
            QCOMPARE(qty->text(), QStringLiteral("7.5"));
            // Leaving the manufacturing order brings its order.
            choice(&d, "Mo_No")->setEditText(QStringLiteral("MO1"));
            leave(choice(&d, "Mo_No"));
            QCOMPARE(choice(&d, "Order_No")->currentText(), QStringLiteral("SO1"));
            choice(&d, "Mo_No")->setEditText(QString());
            leave(choice(&d, "Mo_No"));
            QCOMPARE(choice(&d, "Order_No")->currentText(), QString());
            QVERIFY(choice(&d, "Order_No")->lineEdit()->isReadOnly());
            // A remark stops at its column's length, as on every server.
            item(&d, "Remark")->setText(QString(300, QChar(u'注')));
            QCOMPARE(item(&d, "Remark")->text(), QString(255, QChar(u'注')));
            choice(&d, "Frm_inv")->setEditText(QString(30, QLatin1Char('P')));
            QCOMPARE(choice(&d, "Frm_inv")->currentText(), QString(20, QLatin1Char('P')));
            item(&d, "Remark")->setText(QString());
            // Closing the colour list without a choice keeps the colour typed.
            item(&d, "Color_Name")->setText(QStringLiteral("红色"));
            picker = [](QDialog *colours) { return colours->result(); };
            item(&d, "Color_Name")->browseButton()->click();
            QCOMPARE(item(&d, "Color_Name")->text(), QStringLiteral("红色"));
            d.reject();
        });
        QCOMPARE(linesOf(5), 1);

        // On a supplementary issue it changes nothing and leaves no "=".
        open(QStringLiteral("chen"), QStringLiteral("MENU_F4_2"));
        show(QStringLiteral("BL001"));
        menuItem(&Menu_Mdi::Menu_Add, 0, [&](Frm40BMx &d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("新增生产补料明细(Frm40BMx)"));
            QLineEdit *qty = item(&d, "Mtr_Amt")->editor();
            item(&d, "Get_amt")->setText(QStringLiteral("7.5"));
            qty->setText(QStringLiteral("4"));
            QTest::keyClicks(qty, QStringLiteral("="));
            QCOMPARE(qty->text(), QStringLiteral("4"));
            QVERIFY(item(&d, "Total_Amt")->isVisibleTo(&d));
            d.reject();
        });
    }

    void pickersFillTheLine()
    {
        show(QStringLiteral("LL004"));
        QStringList afterPicking;
        menuItem(&Menu_Mdi::Menu_Add, 1, [&](Frm40BMx &d) {
            d.findChild<QToolButton *>(QStringLiteral("cmd_Browse_Mo"))->click();
            afterPicking << d.fieldText(QStringLiteral("Mo_No")) << d.fieldText(QStringLiteral("Order_No"));
            // Sources under SO1/MO1, the latest receipt first.
            d.findChild<QToolButton *>(QStringLiteral("Cmd_Mtr_Brow"))->click();
            for (const char *name : {"Frm_inv", "frm_type", "Mtr_No", "Bar_Name", "Mtr_Name", "bar_amt"})
                afterPicking << d.fieldText(QLatin1String(name));
            item(&d, "Mtr_Amt")->setText(QStringLiteral("8"));
            ok(&d);
        });
        QCOMPARE(afterPicking, (QStringList{"MO1", "SO1", "PI002", "采购入库", "F001", "主仓", "牛津布", "8"}));
        QCOMPARE(
            field(QStringLiteral("SELECT Mtr_Amt FROM Mmst412 WHERE Rec_411 = 5 AND Frm_Inv = 'PI002'")).toDouble(),
            8.0);
    }

    void continuingWithoutCopyKeepsOnlyTheRemark()
    {
        show(QStringLiteral("LL004"));
        QStringList left;
        menuItem(&Menu_Mdi::Menu_Add, 1, [&](Frm40BMx &d) {
            enterLine(d, QStringLiteral("PI002"), QStringLiteral("1"));
            item(&d, "Remark")->setText(QStringLiteral("同批"));
            d.findChild<QCheckBox *>(QStringLiteral("Chk_Add"))->setChecked(true);
            ok(&d);
            for (const char *name :
                 {"Frm_inv", "frm_type", "Mtr_No", "Order_No", "Mo_No", "Bar_Name", "Mtr_Amt", "Remark"})
                left << d.fieldText(QLatin1String(name));
            d.reject();
        });
        QCOMPARE(left, (QStringList{"", "", "", "", "", "", "", "同批"}));
        QCOMPARE(linesOf(5), 2);
    }

    // The entry dialog over a host of its own: it takes the header's
    // outsourcing order from the host and reports every line it writes by
    // its key, the dialog staying open to add the next.
    void theHostHearsOfEachLineWritten()
    {
        struct Host : LineHost
        {
            QStringList changed;
            mutable int asked = 0;
            QString outsourcingOrderNo() const override
            {
                ++asked;
                return QString();
            }
            QString stockDeductionText() const override { return QStringLiteral("按制单"); }
            void linesChanged(const QString &rec412) override { changed << rec412; }
        } host;
        LineRequest adding;
        adding.invType = QStringLiteral("1");
        adding.rec411 = QStringLiteral("3"); // LL003, no lines yet
        adding.stockMode = QStringLiteral("2");
        adding.stockModePosition = 2;
        adding.propDuty = QStringLiteral("0");
        Frm40BMx d(&host, adding);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.findChild<QCheckBox *>(QStringLiteral("Chk_Add"))->setChecked(true);
        enterLine(d, QStringLiteral("PI001"), QStringLiteral("1"));
        ok(&d);
        enterLine(d, QStringLiteral("PI002"), QStringLiteral("2"));
        ok(&d);
        const ResultSet written =
            Sql(conn, QStringLiteral("SELECT Rec_412 FROM Mmst412 WHERE Rec_411 = 3 ORDER BY Frm_Inv")).select();
        QCOMPARE(written.rowCount(), 2);
        QCOMPARE(host.changed, (QStringList{written.text(0, 0), written.text(1, 0)}));
        QVERIFY(host.asked > 0);
        QVERIFY(d.isVisible());
    }

    // After a refusal the focus is on the field the check names (or the one
    // in error), and stays there: the Enter that closed the message box is
    // released over the dialog, and is no Enter of the dialog's.
    void focusAfterEachRefusal_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no material") << "Mtr_No" << "" << "请输入材料代号!" << "Mtr_No";
        QTest::newRow("unknown material") << "Mtr_No" << "NOPE" << "该材料代号不存在,请重新输入!" << "Mtr_No";
        QTest::newRow("line already there") << "Frm_inv" << "PI001" << "此材料已经存在於本单中" << "Mtr_No";
        QTest::newRow("no location") << "Bar_Name" << "" << "请输入仓别" << "Bar_Name";
        QTest::newRow("unknown location") << "Bar_Name" << "三号仓" << "无此仓别资料." << "Bar_Name";
        QTest::newRow("no quantity") << "Mtr_Amt" << "abc" << "请输入正确的数量." << "Mtr_Amt";
        QTest::newRow("receipt not under the order") << "Frm_inv" << "PI009" << "此订单或制号下无此来料单号"
                                                      << "Frm_inv";
        QTest::newRow("receipt without the material") << "Mtr_No" << "F002" << "此来料单号无此材料" << "Mtr_No";
        QTest::newRow("no stock at the location")
            << "Bar_Name" << "二号仓"
            << "当前来料单号:PI002+订单代号:SO1+ 制号:MO1+材料:F001+仓别:二号仓无库存，无法领料!"
            << "Bar_Name";
        QTest::newRow("more than the stock") << "Mtr_Amt" << "9" << "当前数量:9>库存数量:8" << "Mtr_Amt";
        // Returns of PI001, issued 6 by LL001 once it is approved.
        QTest::newRow("return: never issued from the receipt") << "return Frm_inv" << "PI009" << "此来料单号无此材料"
                                                               << "Mtr_No";
        QTest::newRow("return: all returned already")
            << "return returned" << "1"
            << "当前来料单号:PI001+订单代号:SO1+材料:F001没有领料或领料单未审核，不能退料!" << "Bar_Name";
        QTest::newRow("return: more than issued") << "return Mtr_Amt" << "7" << "当前数量:7>累计可退数量:6"
                                                  << "Mtr_Amt";
    }
    void focusAfterEachRefusal()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W02', '二号仓')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type) VALUES "
                                          "(2, 'F002', '织带', '0')"));
        const bool isReturn = field.startsWith(QLatin1String("return "));
        LineRequest request = addingToLL004();
        if (isReturn) {
            field = field.mid(7);
            request.invType = QStringLiteral("2");
            request.rec411 = QStringLiteral("6");
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Inv_No = 'LL001'"));
            if (field == QLatin1String("returned")) {
                // A return waiting for approval already took back the 6 issued.
                TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Type, Status, Out_Flag) "
                                                  "VALUES (7, 'TL001', '2', '0', '0')"));
                TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_412, Rec_411, Rec_611, Frm_Inv, Frm_Type, "
                                                  "Order_No, Mo_No, Mtr_Amt, Bar_No) VALUES (9, 7, 1, 'PI001', 'A', "
                                                  "'SO1', 'MO1', 6, 'W01')"));
                field = QStringLiteral("Mtr_Amt");
            }
        }
        PlainHost host;
        Frm40BMx d(&host, request);
        d.show();
        d.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        // The user is in the remark (leaving a field before would fill the
        // lists from it), with the line typed, and confirms.
        item(&d, "Remark")->editor()->setFocus();
        enterLine(d, isReturn ? QStringLiteral("PI001") : QStringLiteral("PI002"), QStringLiteral("5"));
        d.setFieldText(field, value);
        QWidget elsewhere; // the message box's window
        elsewhere.show();
        box->whileShown([&elsewhere](const MessageRequest &) { QTest::keyPress(&elsewhere, Qt::Key_Return); });
        ok(&d);
        QTest::keyRelease(d.focusWidget(), Qt::Key_Return);
        QVERIFY(!box->shown().isEmpty());
        QCOMPARE(box->last().text, message);
        QCOMPARE(focusedField(&d), focus);
        QVERIFY(d.isVisible());
        QCOMPARE(linesOf(5), 1);
        QCOMPARE(linesOf(6), 0);
    }

    // The unit reads beside the quantity; a 规格 longer than its
    // box shows its beginning.
    void unitAndSpecificationShowWhatTheyHold()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst610 (Unit_No, Unit_Name) VALUES ('YD', '码')"));
        TestDb::exec(conn, QStringLiteral("UPDATE mmst611 SET Mtr_Dim = ?, Unit_No = 'YD' WHERE Mtr_No = 'F001'"),
                     {QStringLiteral("1680D双股牛津布 PU涂层 防水等级W4 幅宽150cm 克重420g/m2 背面贴合3mm海绵")});
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.setFieldText(QStringLiteral("Mtr_No"), QStringLiteral("F001"));
        choice(&d, "Mtr_No")->setFocus();
        leave(choice(&d, "Mtr_No"));
        QCOMPARE(item(&d, "Unit_Name")->text(), QStringLiteral("码"));
        QLineEdit *dim = item(&d, "Mtr_Dim")->editor();
        QVERIFY(dim->text().startsWith(QStringLiteral("1680D")));
        QCOMPARE(dim->cursorPosition(), 0);
        QLineEdit *qty = item(&d, "Mtr_Amt")->editor();
        QLineEdit *unit = item(&d, "Unit_Name")->editor();
        const QRect q(qty->mapTo(&d, QPoint(0, 0)), qty->size());
        const QRect u(unit->mapTo(&d, QPoint(0, 0)), unit->size());
        QVERIFY2(u.left() > q.right() && qAbs(u.center().y() - q.center().y()) <= 2,
                 qPrintable(QStringLiteral("quantity %1,%2 unit %3,%4").arg(q.x()).arg(q.y()).arg(u.x()).arg(u.y())));
        QVERIFY(unit->fontMetrics().horizontalAdvance(unit->text()) < unit->width());
        d.reject();
    }

    void focusMovesOnAfterEachPicker()
    {
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        d.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        // The list pickers answer with their first row; the location tree
        // and the colour list are closed without a choice.
        ModalRunner::setDriver([](QDialog *p) {
            auto *grid = p->findChild<FlexGrid *>();
            if (!grid || p->objectName() != QStringLiteral("FrmList") || grid->rows() < 2)
                return int(QDialog::Rejected);
            // Chosen with the picker's OK button: a key would reach the
            // dialog too once the picker has closed.
            grid->setRow(1);
            p->findChild<QPushButton *>(QStringLiteral("Command1_0"))->click();
            return p->result();
        });
        QStringList focus;
        const auto pick = [&](const char *button) {
            d.findChild<QToolButton *>(QLatin1String(button))->click();
            focus << focusedField(&d);
        };
        pick("Cmd_Brow_Order");
        pick("cmd_Browse_Mo");
        pick("Cmd_Mtr_Brow");
        pick("cmd_frminv_brow");
        pick("Cmd_Browse_Bar");
        item(&d, "Color_Name")->browseButton()->click();
        focus << focusedField(&d);
        QCOMPARE(focus, (QStringList{"Mo_No", "Bar_Name", "Order_No", "frm_type", "Color_Name", "bar_amt"}));
        QCOMPARE(d.fieldText(QStringLiteral("Frm_inv")), QStringLiteral("PI002"));

        // A choice from a list moves on too; leaving a field whose text is
        // in its list moves nowhere further.
        choice(&d, "Mtr_No")->setFocus();
        emit choice(&d, "Mtr_No")->activated(0);
        QCOMPARE(focusedField(&d), QStringLiteral("Order_No"));
        choice(&d, "Bar_Name")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusedField(&d), QStringLiteral("Color_Name"));
        ModalRunner::setDriver({});
    }

    void tabFollowsTheFields()
    {
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        d.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        choice(&d, "Frm_inv")->setFocus();
        QStringList order{focusedField(&d)};
        for (int i = 0; i < 13; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << focusedField(&d);
        }
        QCOMPARE(order, (QStringList{"Frm_inv", "frm_type", "Mtr_No", "Order_No", "Mo_No", "Bar_Name", "Color_Name",
                                     "bar_amt", "Mtr_Amt", "Remark", "Chk_Copy", "Chk_Add", "Cmd_Ok", "cmd_cancel"}));
        // What the dialog fills in itself cannot be typed over.
        for (const char *name : {"Mtr_Name", "Mtr_Dim", "Unit_Name", "Total_Amt", "Get_amt", "Use_amt"})
            QVERIFY2(item(&d, name)->editor()->isReadOnly(), name);
        QVERIFY(!item(&d, "bar_amt")->editor()->isReadOnly());
    }

    void aFailingRefreshKeepsWhatItDidNotReach()
    {
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        enterLine(d, QStringLiteral("PI00"), QStringLiteral("1"));
        for (const char *name : {"Mtr_Name", "Total_Amt", "Use_amt", "bar_amt"})
            item(&d, name)->setText(QStringLiteral("before"));
        // The material description is read from a view that has gone: the
        // lists before it are refreshed, the amounts after it keep their texts.
        TestDb::exec(conn, QStringLiteral("DROP VIEW vmmst611"));
        box->clear();
        choice(&d, "Frm_inv")->setEditText(QStringLiteral("PI002"));
        leave(choice(&d, "Frm_inv"));
        QVERIFY(box->last().text.contains(QStringLiteral("  FillList  ")));
        QCOMPARE(choice(&d, "frm_type")->count(), 1);
        QCOMPARE(choice(&d, "Bar_Name")->count(), 1);
        QCOMPARE(choice(&d, "Bar_Name")->currentText(), QStringLiteral("主仓"));
        for (const char *name : {"Mtr_Name", "Total_Amt", "Use_amt", "bar_amt"})
            QCOMPARE(item(&d, name)->text(), QStringLiteral("before"));
        QCOMPARE(field(QStringLiteral("SELECT Proc_Name FROM Erp_Error_Msg")), QStringLiteral("FillList"));
    }

    void aFailingCheckIsReportedAsTheCheck()
    {
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        enterLine(d, QStringLiteral("PI002"), QStringLiteral("1"));
        TestDb::exec(conn, QStringLiteral("DROP TABLE mmst388"));
        box->clear();
        ok(&d);
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.contains(QStringLiteral("  Check_ok  ")), qPrintable(box->last().text));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Erp_Error_Msg WHERE Proc_Name = 'Check_ok'")),
                 QStringLiteral("1"));
        QVERIFY(d.isVisible());
        QCOMPARE(linesOf(5), 1);
    }

    // A control character typed into a field is refused when the field is
    // left, before anything is looked up with it: no driver text reaches
    // the clerk, and the field keeps the focus.
    void controlCharactersAreRefusedOnLeavingAField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("manufacturing order") << "Mo_No";
        QTest::newRow("receipt") << "Frm_inv";
        QTest::newRow("material") << "Mtr_No";
        QTest::newRow("order") << "Order_No";
        QTest::newRow("location") << "Bar_Name";
    }
    void controlCharactersAreRefusedOnLeavingAField()
    {
        QFETCH(QString, name);
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        box->clear();
        QComboBox *c = choice(&d, qPrintable(name));
        c->setEditText(QStringLiteral("MO") + QChar(0) + QStringLiteral("1'"));
        leave(c);
        QCOMPARE(box->texts(), QStringList{QStringLiteral("输入的内容含有不能保存的控制字符,请重新输入!")});
        QCOMPARE(box->last().form, QStringLiteral("Frm40BMx"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Erp_Error_Msg")), QStringLiteral("0"));
        QCOMPARE(focusedField(&d), name);
    }

    void equalsOnAReturnTakesWhatWasIssued()
    {
        PlainHost host;
        LineRequest r = addingToLL004();
        r.invType = QStringLiteral("2");
        Frm40BMx d(&host, r);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        item(&d, "Use_amt")->setText(QStringLiteral("6.5"));
        item(&d, "Get_amt")->setText(QStringLiteral("99"));
        QLineEdit *qty = item(&d, "Mtr_Amt")->editor();
        qty->setText(QStringLiteral("1"));
        QTest::keyClicks(qty, QStringLiteral("="));
        QCOMPARE(qty->text(), QStringLiteral("6.5"));
    }

    void orderUsageEntersTheOrderDirectly_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("byOrder");
        QTest::newRow("option on") << "1" << true;
        QTest::newRow("any number but zero") << "2" << true;
        QTest::newRow("option off") << "0" << false;
        QTest::newRow("option empty") << "" << false;
    }
    void orderUsageEntersTheOrderDirectly()
    {
        QFETCH(QString, option);
        QFETCH(bool, byOrder);
        TestDb::exec(conn, QStringLiteral("UPDATE mmst909 SET Item_Value = ? WHERE Item_No = '按订单用料控制领料'"),
                     {option});
        PlainHost host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(choice(&d, "Order_No")->lineEdit()->isReadOnly(), !byOrder);
        QCOMPARE(choice(&d, "Mo_No")->lineEdit()->isReadOnly(), byOrder);
        QCOMPARE(d.findChild<QToolButton *>(QStringLiteral("cmd_Browse_Mo"))->isEnabled(), !byOrder);
        // Under order usage a manufacturing order brings no order.
        choice(&d, "Mo_No")->setEditText(QStringLiteral("MO1"));
        leave(choice(&d, "Mo_No"));
        QCOMPARE(choice(&d, "Order_No")->currentText(), byOrder ? QString() : QStringLiteral("SO1"));
    }

    void aFailedWriteKeepsTheDialogOpen()
    {
        struct Host : PlainHost
        {
            QStringList changed;
            void linesChanged(const QString &rec412) override { changed << rec412; }
        } host;
        Frm40BMx d(&host, addingToLL004());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        enterLine(d, QStringLiteral("PI002"), QStringLiteral("1"));
        // The server refuses every new line, as a full disk would.
        const bool pg = conn.backend() == Backend::PostgreSQL;
        if (pg) {
            TestDb::exec(conn, QStringLiteral("CREATE FUNCTION no_more_lines() RETURNS trigger AS $$ "
                                              "BEGIN RAISE EXCEPTION 'disk full'; END $$ LANGUAGE plpgsql"));
            TestDb::exec(conn, QStringLiteral("CREATE TRIGGER no_more_lines BEFORE INSERT ON Mmst412 "
                                              "FOR EACH ROW EXECUTE FUNCTION no_more_lines()"));
        } else {
            TestDb::exec(conn, QStringLiteral("CREATE TRIGGER no_more_lines BEFORE INSERT ON Mmst412 "
                                              "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
        }
        box->clear();
        ok(&d);
        QVERIFY2(box->last().text.contains(QStringLiteral("  Cmd_Ok_MouseClick  ")), qPrintable(box->last().text));
        QVERIFY(d.isVisible());
        QVERIFY(host.changed.isEmpty());
        QCOMPARE(linesOf(5), 1);
        QCOMPARE(d.fieldText(QStringLiteral("Frm_inv")), QStringLiteral("PI002"));
        QCOMPARE(d.fieldText(QStringLiteral("Mtr_Amt")), QStringLiteral("1"));
        TestDb::exec(conn, pg ? QStringLiteral("DROP TRIGGER no_more_lines ON Mmst412")
                              : QStringLiteral("DROP TRIGGER no_more_lines"));
        ok(&d);
        QCOMPARE(linesOf(5), 2);
        QCOMPARE(host.changed.size(), 1);
    }

    void lineCommandsOnADocumentClosedOrDeleted_data()
    {
        QTest::addColumn<QString>("status"); // "gone": deleted by another user
        QTest::addColumn<QString>("message");
        QTest::newRow("closed 6") << "6"
                                  << "此单已结案, 不能进行修改!";
        QTest::newRow("closed 7") << "7"
                                  << "此单已结案, 不能进行修改!";
        QTest::newRow("deleted") << "gone"
                                 << "此单已被他人删除!";
    }
    void lineCommandsOnADocumentClosedOrDeleted()
    {
        QFETCH(QString, status);
        QFETCH(QString, message);
        show(QStringLiteral("LL001"));
        if (status == QLatin1String("gone"))
            TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411 WHERE Inv_No = 'LL001'"));
        else
            TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = ? WHERE Inv_No = 'LL001'"), {status});
        for (auto item : {&Menu_Mdi::Menu_Add, &Menu_Mdi::Menu_Edit, &Menu_Mdi::Menu_Delete}) {
            box->clear();
            box->answer(6);
            menuItem(item, 1, [](Frm40BMx &) {});
            QCOMPARE(box->texts(), QStringList{message});
        }
        QVERIFY(dialogsSeen.isEmpty());
        QCOMPARE(linesOf(1), 2);
        if (status != QLatin1String("gone"))
            QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
    }

    void aLineInUseElsewhereIsNotDeleted()
    {
        TestDb::exec(conn, QStringLiteral("CREATE TABLE qc_check (Rec_412 INTEGER)"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO qc_check VALUES (2)"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO FieldUseInformation (Table_Key, Field_Key, Table_Name, "
                                          "Field_Name, Table_Descption) VALUES ('Mmst412', 'Rec_412', 'qc_check', "
                                          "'Rec_412', '品检单')"));
        show(QStringLiteral("LL001"));
        int row = 1;
        while (w->linesRs().text(w->grid()->sourceRow(row), QStringLiteral("Rec_412")) != QLatin1String("2"))
            ++row;
        box->clear();
        box->answer(6);
        menuItem(&Menu_Mdi::Menu_Delete, row, [](Frm40BMx &) {});
        QCOMPARE(box->texts(), QStringList{QStringLiteral("<品检单>中使用了当前操作表中的信息,当前操作不能进行!")});
        QCOMPARE(linesOf(1), 2);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
    }

    void importAnsweredYesThenClosedLeavesNoLines()
    {
        show(QStringLiteral("LL004"));
        box->answer(6);
        ModalRunner::setDriver([&](QDialog *d) {
            dialogsSeen << d->windowTitle();
            return int(QDialog::Rejected);
        });
        w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->click();
        QCOMPARE(dialogsSeen, QStringList{QStringLiteral("导入制单用量(Frm40BMx4)")});
        QCOMPARE(linesOf(5), 0);
        QCOMPARE(w->grid()->rows(), 1);
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
    }

    void viewModeAndReturns()
    {
        LineRequest viewing;
        viewing.modify = 3;
        viewing.invType = QStringLiteral("2");
        viewing.rec411 = QStringLiteral("5");
        viewing.stockMode = QStringLiteral("2");
        viewing.fields = {{QStringLiteral("Mtr_No"), QStringLiteral("F001")},
                          {QStringLiteral("Mtr_Amt"), QStringLiteral("1")}};
        Frm40BMx d(w, viewing, w);
        QString title, qtyCaption;
        bool totalShown = true, neededShown = true, frameEnabled = true;
        ModalRunner::setDriver([&](QDialog *dialog) {
            dialog->show();
            title = dialog->windowTitle();
            qtyCaption = item(dialog, "Mtr_Amt")->caption();
            totalShown = item(dialog, "Total_Amt")->isVisibleTo(dialog);
            neededShown = item(dialog, "Get_amt")->isVisibleTo(dialog);
            frameEnabled = dialog->findChild<QFrame *>(QStringLiteral("FrameMain"))->isEnabled();
            ok(dialog);
            return dialog->result();
        });
        QCOMPARE(ModalRunner::exec(&d), int(QDialog::Accepted));
        QCOMPARE(title, QStringLiteral("查看生产退料明细(Frm40BMx)"));
        QCOMPARE(qtyCaption, QStringLiteral("退料数量:"));
        QVERIFY(!totalShown);
        QVERIFY(!neededShown);
        QVERIFY(!frameEnabled);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412")), QStringLiteral("3"));

        // A mode no opener passes is reported, and nothing is written.
        LineRequest wrongMode;
        wrongMode.modify = 5;
        wrongMode.invType = QStringLiteral("1");
        Frm40BMx bad(w, wrongMode, w);
        const QString untitled = bad.windowTitle();
        QString titleShown;
        ModalRunner::setDriver([&](QDialog *dialog) {
            dialog->show();
            titleShown = dialog->windowTitle();
            ok(dialog);
            return dialog->result();
        });
        ModalRunner::exec(&bad);
        QCOMPARE(titleShown, untitled);
        QVERIFY2(box->last().text.contains(QStringLiteral("不正确的修改状态标志")), qPrintable(box->last().text));
        QVERIFY(box->last().text.contains(QStringLiteral("Modify")));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412")), QStringLiteral("3"));
    }

    void usageImportReplacesTheLines()
    {
        show(QStringLiteral("LL004"));
        auto *button = w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"));
        QVERIFY(button->isEnabled());

        // Answered No: nothing changes and no dialog opens.
        box->answer(7);
        ModalRunner::setDriver([&](QDialog *d) {
            dialogsSeen << d->windowTitle();
            return int(QDialog::Rejected);
        });
        button->click();
        QCOMPARE(box->last().text, QStringLiteral("本单下已有资料,继续导入将删除本单下的资料,是否要继续?"));
        QCOMPARE(box->last().style, 292);
        QCOMPARE(box->last().title, QStringLiteral("提示"));
        QCOMPARE(box->last().form, QStringLiteral("确认要删除这笔资料?"));
        QVERIFY(dialogsSeen.isEmpty());
        QCOMPARE(linesOf(5), 1);
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));

        // Answered Yes: the old lines are gone before the dialog opens; lines
        // the dialog writes without a mode take the header's.
        box->answer(6);
        int linesWhenOpened = -1;
        QString lockWhenOpened;
        ModalRunner::setDriver([&](QDialog *d) {
            dialogsSeen << d->windowTitle();
            linesWhenOpened = linesOf(5);
            lockWhenOpened = lockOf(QStringLiteral("LL004"));
            TestDb::exec(
                conn,
                QStringLiteral(
                    "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Order_No, Mo_No, Mtr_Amt, Stock_Mode) VALUES "
                    "(5, 1, 'PI001', 'SO1', 'MO1', 3, NULL), (5, 1, 'PI002', 'SO1', 'MO1', 2, '1'), "
                    "(1, 1, 'PI009', 'SO1', 'MO1', 1, NULL)"));
            return int(QDialog::Accepted);
        });
        button->click();
        QCOMPARE(dialogsSeen, QStringList{QStringLiteral("导入制单用量(Frm40BMx4)")});
        QCOMPARE(linesWhenOpened, 0);
        QCOMPARE(lockWhenOpened, QStringLiteral("Yes"));
        QCOMPARE(field(QStringLiteral("SELECT Stock_Mode FROM Mmst412 WHERE Rec_411 = 5 AND Frm_Inv = 'PI001'")),
                 QStringLiteral("2"));
        QCOMPARE(field(QStringLiteral("SELECT Stock_Mode FROM Mmst412 WHERE Rec_411 = 5 AND Frm_Inv = 'PI002'")),
                 QStringLiteral("1"));
        // Another document's lines are none of this import's business.
        QCOMPARE(field(QStringLiteral("SELECT COALESCE(Stock_Mode, 'none') FROM Mmst412 WHERE Frm_Inv = 'PI009'")),
                 QStringLiteral("none"));
        QCOMPARE(w->grid()->rows(), 3);
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
    }

    void usageImportWithoutLinesAndFailing()
    {
        // Lines another user wrote since the document was shown are asked about.
        show(QStringLiteral("LL003"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Order_No, Mo_No, Mtr_Amt) "
                                          "VALUES (3, 1, 'PI001', 'SO1', '', 1)"));
        box->answer(7);
        w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->click();
        QCOMPARE(box->last().text, QStringLiteral("本单下已有资料,继续导入将删除本单下的资料,是否要继续?"));
        QCOMPARE(linesOf(3), 1);
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = 3"));

        const qsizetype before = box->shown().size();
        ModalRunner::setDriver([&](QDialog *d) {
            dialogsSeen << d->windowTitle();
            return int(QDialog::Rejected);
        });
        w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->click();
        QCOMPARE(box->shown().size(), before); // no question
        QCOMPARE(dialogsSeen.size(), 1);
        QCOMPARE(lockOf(QStringLiteral("LL003")), QStringLiteral("No"));

        // A failure while the header is held still gives the lock back.
        ModalRunner::setDriver([](QDialog *) -> int {
            throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("test"), QStringLiteral("connection lost"));
        });
        w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->click();
        QVERIFY2(box->last().text.contains(QStringLiteral("Input_Mo_Mtr_Click")), qPrintable(box->last().text));
        QCOMPARE(lockOf(QStringLiteral("LL003")), QStringLiteral("No"));

        // An approved document is refused before anything is locked.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Inv_No = 'LL003'"));
        dialogsSeen.clear();
        ModalRunner::setDriver([&](QDialog *d) {
            dialogsSeen << d->windowTitle();
            return int(QDialog::Rejected);
        });
        w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->click();
        QCOMPARE(box->last().text, QStringLiteral("此单已审核, 不能进行修改!"));
        QVERIFY(dialogsSeen.isEmpty());
    }
};

QTEST_MAIN(TstLinesUi)
#include "tst_linesui.moc"
