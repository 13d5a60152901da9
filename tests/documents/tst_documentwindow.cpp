// The document windows driven as a user drives them: toolbar clicks, typed
// fields and answered message boxes, checked against what the window shows
// and what the database holds afterwards.
#include "DocumentFixture.h"
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "documents/DocumentWindow.h"
#include "entry/ClsBarManuBill.h"
#include "context/RunContext.h"
#include "platform/core/Environment.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "services/DbGateway.h"

#include "documents/DocumentScreen.h"
#include "documents/DocumentStore.h"
#include "generator/FactoryGenerator.h"
#include "platform/ui/FieldWidth.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDialog>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

class TstDocumentWindow : public QObject, public DocumentFixture
{
    Q_OBJECT

    LedgerInvariant ledgerHolds;

    ScriptedMessageBox *box = nullptr;

    QComboBox *combo(const char *name) { return w->findChild<QComboBox *>(QLatin1String(name)); }
    HeadItem *item(const char *name) { return w->findChild<HeadItem *>(QLatin1String(name)); }
    bool enabled(const char *name) { return w->findChild<QWidget *>(QLatin1String(name))->isEnabled(); }
    void click(const char *name)
    {
        auto *b = w->findChild<PictureButton *>(QLatin1String(name));
        QVERIFY2(b && b->isEnabled(), name);
        b->click();
    }
    void choose(const char *name, const QString &text) { combo(name)->setEditText(text); }
    QString statusOf(const QString &no)
    {
        return field(QStringLiteral("SELECT Status FROM Mmst411 WHERE Inv_No = ?"), {no});
    }
    double balance() { return Sql(conn, QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381")).scalar().toDouble(); }
    QStringList messages() { return box->texts(); }

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
            "INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B')",
            "INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES ('chen', 'MENU_F4_1', 'AUDCRPVSILMXF'), ('li', 'MENU_F4_1', 'AUCRPVI')",
            "INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES ('0001', '生产部', '0001'), ('0001001', '裁床组', '0001001')",
            "INSERT INTO mmst002 (Emp_No, User_Name) VALUES ('E1', '王建军')",
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) VALUES (1, 'F001', '牛津布', 2.5, 2.5)",
            "INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt, Mtr_Prs) "
            "VALUES ('SO1', 'MO1', 'PI001', 'A', 'F001', 'W01', '', 10, 2.5)",
            "INSERT INTO mmst909 (Item_No, Item_Value) VALUES ('仓库中允许负库存', '0'), ('按订单用料控制领料', '0')",
            "INSERT INTO mmst121 (Pcs_No, Status) VALUES ('WF001', '2')",
            "INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, Prop_Duty, Out_Flag, Status, Lock, Remark) VALUES "
            "(1, 'LL001', '2026-12-01', '1', '0001001', '2', '0', '0', '0', 'No', '两行同一库存'), "
            "(2, 'LL002', '2026-12-02', '1', '0001001', '2', '0', '0', '2', 'No', '已审核'), "
            "(3, 'LL003', '2026-12-03', '1', '0001001', NULL, NULL, '1', '0', 'No', '外发无明细'), "
            "(4, 'TL001', '2026-12-03', '2', '0001001', '2', '0', '0', '0', 'No', '退料'), "
            "(5, 'LL004', '2026-12-04', '1', '0001001', '2', '0', '0', '0', 'No', '可以审核')",
            "UPDATE Mmst411 SET Pcs_No = 'WF001' WHERE Rec_411 = 3",
            "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, Color_No, Stock_Mode) VALUES "
            "(1, 1, 'PI001', 'A', 'SO1', 'MO1', 6, 'W01', '', '2'), (1, 1, 'PI001', 'A', 'SO1', 'MO1', 5, 'W01', '', '2'), "
            "(2, 1, 'PI001', 'A', 'SO1', 'MO1', 3, 'W01', '', '2'), (5, 1, 'PI001', 'A', 'SO1', 'MO1', 4, 'W01', '', '2')",
            // LL002 is approved: its line is in the journal and out of the balance.
            "INSERT INTO mmst388 (Inv_No, Inv_Type, Inv_Date, Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
            "Color_No, Mtr_Amt, Mtr_Prs) VALUES ('LL002', '生产领料单', '2026-12-02', 'SO1', 'MO1', 'PI001', 'A', "
            "'F001', 'W01', '', -3, 2.5)",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        // The fixture gave its own keys; new rows must come after them.
        for (const auto &[table, key] :
             {std::pair{"Mmst411", "Rec_411"}, std::pair{"Mmst412", "Rec_412"}, std::pair{"mmst611", "Rec_611"}})
            for (const QString &sql : conn.dialect().resetSerial(QLatin1String(table), QLatin1String(key)))
                TestDb::exec(conn, sql);
        box->clear();
        open();
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
        runContext().Conn = Connection();
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void aFreshWindow()
    {
        QCOMPARE(w->objectName(), QStringLiteral("mmss40B"));
        QCOMPARE(combo("Inv_No")->count(), 0);
        QCOMPARE(combo("Inv_No")->currentText(), QString());
        QCOMPARE(item("Inv_Date")->text(), QStringLiteral("2026-12-09"));
        QCOMPARE(item("Form_Man")->text(), QStringLiteral("陈志明"));
        QCOMPARE(item("Bar_Man")->text(), QStringLiteral("陈志明"));
        QCOMPARE(w->stockModePosition(), -1);
        QCOMPARE(combo("Prop_Duty")->currentText(), QStringLiteral("其它"));
        QVERIFY(!w->hasRecord());
        QVERIFY(enabled("Cmd_Add"));
        QVERIFY(enabled("Cmd_Find"));
        QVERIFY(enabled("Cmd_Import"));
        QVERIFY(!enabled("Cmd_Edit"));
        QVERIFY(!enabled("Cmd_Delete"));
        QVERIFY(!enabled("cmd_check"));
        QVERIFY(!enabled("Cmd_Ok"));
        QCOMPARE(w->findChild<QPushButton *>(QStringLiteral("Input_Mo_Mtr"))->text(),
                 QStringLiteral("导入制单用量(I)"));
        QVERIFY(messages().isEmpty());
    }

    void showingDocuments()
    {
        show(QStringLiteral("LL003"));
        QVERIFY(w->hasRecord());
        QCOMPARE(combo("Stock_Mode")->currentText(), QStringLiteral("按制单"));
        QCOMPARE(combo("Prop_Duty")->currentText(), QStringLiteral("其它"));
        QVERIFY(w->findChild<QRadioButton *>(QStringLiteral("Option2"))->isChecked());
        QCOMPARE(combo("Pcs_No")->currentText(), QStringLiteral("WF001"));
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Remark"))->text(), QStringLiteral("外发无明细"));
        QCOMPARE(combo("Org_Name")->currentText(), QStringLiteral("裁床组"));

        show(QStringLiteral("LL002"));
        QCOMPARE(w->grid()->rows(), 2); // the header row and one line
        QCOMPARE(w->grid()->foreColorSel(), QColor(255, 0, 0));
        QVERIFY(enabled("cmd_reset"));
        QVERIFY(enabled("Cmd_Close"));
        QVERIFY(!enabled("Cmd_Edit"));
        QVERIFY(!enabled("Input_Mo_Mtr"));

        show(QStringLiteral("LL001"));
        QCOMPARE(w->grid()->rows(), 3);
        QVERIFY(w->grid()->foreColorSel() != QColor(255, 0, 0));
        QVERIFY(enabled("cmd_check"));
        QVERIFY(enabled("Cmd_Edit"));
        QVERIFY(enabled("Input_Mo_Mtr"));
        // Production documents with lines keep their choice.
        QVERIFY(!enabled("Option1"));
    }

    void addingADocument()
    {
        click("Cmd_Add");
        QCOMPARE(w->lastAction(), 1);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("A001-26120001"));
        QVERIFY(enabled("Cmd_Ok"));
        QVERIFY(!enabled("Cmd_Add"));
        choose("Org_Name", QStringLiteral("裁床组"));
        click("Cmd_Ok");
        QCOMPARE(box->last().text, QStringLiteral("请选择正确的扣库存方式!"));
        QCOMPARE(box->last().form, QStringLiteral("mmss40B"));
        QCOMPARE(box->last().messageId, QStringLiteral("Check_OK_1"));
        QCOMPARE(w->lastAction(), 1);

        choose("Stock_Mode", QStringLiteral("按订单"));
        w->findChild<QLineEdit *>(QStringLiteral("Remark"))->setText(QStringLiteral("  O'Neil 的布  "));
        click("Cmd_Ok");
        QCOMPARE(w->lastAction(), 0);
        const ResultSet row =
            Sql(conn, QStringLiteral("SELECT Status, Lock, Form_Man, Stock_Mode, Inv_Type, Org_No, Remark, Out_Flag "
                                     "FROM Mmst411 WHERE Inv_No = 'A001-26120001'"))
                .select();
        QCOMPARE(row.rowCount(), 1);
        QCOMPARE(row.text(0, 0), QStringLiteral("0"));
        QCOMPARE(row.text(0, 1), QStringLiteral("No"));
        QCOMPARE(row.text(0, 2), QStringLiteral("陈志明"));
        QCOMPARE(row.text(0, 3), QStringLiteral("1"));
        QCOMPARE(row.text(0, 4), QStringLiteral("1"));
        QCOMPARE(row.text(0, 5), QStringLiteral("0001001"));
        QCOMPARE(row.text(0, 6), QStringLiteral("O'Neil 的布"));
        QCOMPARE(row.text(0, 7), QStringLiteral("0"));
        QVERIFY(w->hasRecord());
        QCOMPARE(combo("Inv_No")->findText(QStringLiteral("A001-26120001")), 0);
        QVERIFY(enabled("cmd_check"));

        // The next document of the month takes the next number and keeps the mode.
        click("Cmd_Add");
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("A001-26120002"));
        QCOMPARE(combo("Stock_Mode")->currentText(), QStringLiteral("按订单"));
    }

    // After each refusal of the header's check the focus is on the field it
    // names, and the Enter that closed the message box does not move it on.
    void focusAfterHeaderRefusals_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no number") << "Inv_No" << "  " << "请输入领料单号!" << "Inv_No";
        QTest::newRow("number taken") << "Inv_No" << "TL001" << "此领料单号已经重复!请重新输入!" << "Inv_No";
        QTest::newRow("unknown department") << "Org_Name" << "没有这个部门" << "此单位不存在,请重新输入!"
                                            << "Org_Name";
        QTest::newRow("no stock mode") << "Stock_Mode" << "" << "请选择正确的扣库存方式!" << "Stock_Mode";
        QTest::newRow("no nature") << "Prop_Duty" << "什么" << "请选择正确的领料性质!" << "Prop_Duty";
        QTest::newRow("production with an outsourcing number") << "Pcs_No" << "WF001" << "生产领料不须输入外发单号!"
                                                               << "Pcs_No";
        QTest::newRow("outsourcing without its number") << "Option2" << "" << "外单领料时必须输入外发单号!"
                                                        << "Pcs_No";
        QTest::newRow("outsourcing number unknown") << "Option2" << "WF999" << "无此外发单号!" << "Pcs_No";
    }
    void focusAfterHeaderRefusals()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        click("Cmd_Add");
        auto *remark = w->findChild<QLineEdit *>(QStringLiteral("Remark"));
        remark->setFocus();
        choose("Org_Name", QStringLiteral("裁床组"));
        choose("Stock_Mode", QStringLiteral("按制单"));
        if (field == QLatin1String("Option2")) {
            w->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
            choose("Pcs_No", value);
        } else {
            choose(field.toLatin1().constData(), value);
        }
        QWidget elsewhere; // the message box's window
        elsewhere.show();
        box->whileShown([&elsewhere](const MessageRequest &) { QTest::keyPress(&elsewhere, Qt::Key_Return); });
        click("Cmd_Ok");
        QTest::keyRelease(w->focusWidget(), Qt::Key_Return);
        QCOMPARE(box->last().text, message);
        QWidget *f = w->focusWidget();
        while (f && f != w && f->objectName().isEmpty())
            f = f->parentWidget();
        QCOMPARE(f ? f->objectName() : QString(), focus);
        QCOMPARE(w->lastAction(), 1);
    }

    // The date drop-down opens on the month of the date the field holds,
    // today's when it holds none; Esc closes the drop-down only.
    void dateDropDown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("shown");
        QTest::newRow("a date") << "2025-03-15" << QDate(2025, 3, 15);
        QTest::newRow("empty") << "" << QDate::currentDate();
        QTest::newRow("not a date") << "2025-13-45" << QDate::currentDate();
    }
    void dateDropDown()
    {
        QFETCH(QString, text);
        QFETCH(QDate, shown);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        click("Cmd_Add");
        HeadItem *date = item("Inv_Date");
        date->setText(text);
        QTest::mouseClick(date->dropDownButton(), Qt::LeftButton);
        QCalendarWidget *calendar = date->calendar();
        QVERIFY(calendar);
        QCOMPARE(calendar->yearShown(), shown.year());
        QCOMPARE(calendar->monthShown(), shown.month());
        QCOMPARE(calendar->selectedDate(), shown);
        // Esc: pressed in the drop-down, released over the window.
        QWidget *popup = calendar->window();
        QTest::keyPress(QApplication::focusWidget() ? QApplication::focusWidget() : popup, Qt::Key_Escape);
        QVERIFY(!popup->isVisible());
        QTest::keyRelease(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape);
        QVERIFY2(!messages().contains(QStringLiteral("真的要取消操作吗?")), qPrintable(messages().join(u'|')));
        QCOMPARE(w->lastAction(), 1);
        QCOMPARE(date->text(), text);
        // A day clicked goes into the field.
        QTest::mouseClick(date->dropDownButton(), Qt::LeftButton);
        date->calendar()->setSelectedDate(shown.addDays(1));
        emit date->calendar()->activated(shown.addDays(1));
        QCOMPARE(date->text(), shown.addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
        // Esc in the window itself still asks to cancel.
        QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape);
        QVERIFY(messages().contains(QStringLiteral("真的要取消操作吗?")));
    }

    // The number box and its list show the longest numbers whole, at the
    // font the window shows them in: the demo's, a generated factory's and
    // the numbering's.
    void numberBoxShowsWholeNumbers()
    {
        QStringList numbers = DocumentScreen::longestNumbers();
        numbers << QStringLiteral("LL261209001") << QStringLiteral("A001-26120001");
        {
            // A generated factory's documents: kind, day, four-digit sequence.
            Connection factory = TestDb::freshSqlite(true);
            FactoryScale small;
            small.scale = 0.002;
            generateFactory(factory, small);
            numbers << Sql(factory, QStringLiteral("SELECT Inv_No FROM Mmst411 ORDER BY LENGTH(Inv_No) DESC, Inv_No"))
                           .select()
                           .text(0, 0);
            factory.close();
        }
        QComboBox *box = combo("Inv_No");
        for (const QString &n : std::as_const(numbers))
            box->addItem(n);
        w->resize(900, 600);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (const QString &n : std::as_const(numbers)) {
            box->setEditText(n);
            QVERIFY2(FieldWidth::showsWhole(box->lineEdit(), n),
                     qPrintable(QStringLiteral("%1: %2 px of text in %3 px")
                                    .arg(n)
                                    .arg(box->fontMetrics().horizontalAdvance(n))
                                    .arg(box->lineEdit()->width())));
        }
        box->showPopup();
        QAbstractItemView *list = box->view();
        QVERIFY(QTest::qWaitForWindowExposed(list->window()));
        for (int i = 0; i < box->count(); ++i) {
            const QRect cell = list->visualRect(list->model()->index(i, 0));
            const int text = list->fontMetrics().horizontalAdvance(box->itemText(i));
            QVERIFY2(text + 6 <= cell.width() && cell.right() <= list->viewport()->width(),
                     qPrintable(QStringLiteral("%1: %2 of %3").arg(box->itemText(i)).arg(text).arg(cell.width())));
        }
        box->hidePopup();
    }

    void numberUsedByAnotherKind()
    {
        click("Cmd_Add");
        choose("Inv_No", QStringLiteral("TL001"));
        choose("Org_Name", QStringLiteral("裁床组"));
        choose("Stock_Mode", QStringLiteral("按制单"));
        click("Cmd_Ok");
        QCOMPARE(box->last().text, QStringLiteral("此领料单号已经重复!请重新输入!"));
        QCOMPARE(box->last().messageId, QStringLiteral("ReturnRecCount_2"));
        QCOMPARE(w->lastAction(), 1);
    }

    void editingKeepsTheNumberAndCarriesTheMode()
    {
        show(QStringLiteral("LL001"));
        click("Cmd_Edit");
        QCOMPARE(w->lastAction(), 2);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        choose("Stock_Mode", QStringLiteral("按订单"));
        click("Cmd_Ok");
        QVERIFY2(!messages().contains(QStringLiteral("此领料单号已经重复!请重新输入!")),
                 qPrintable(messages().join('|')));
        QCOMPARE(w->lastAction(), 0);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 1 AND Stock_Mode = '1'")),
                 QStringLiteral("2"));
    }

    // Texts beyond their column stop at its length, texts a server cannot
    // store and dates that are no dates are refused in the window's words,
    // on every backend, and nothing reaches the driver.
    void badInputIsRefusedInTheWindowsWords_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal"); // empty: saved
        QTest::addColumn<QString>("stored");  // the column afterwards
        const QString longRemark = QString(4000, QChar(u'长'));
        QTest::newRow("remark of 4,000 characters") << "Remark" << longRemark << "" << QString(255, QChar(u'长'));
        QTest::newRow("requisitioner beyond 40")
            << "Proc_Man" << QString(60, QChar(u'王')) << "" << QString(40, QChar(u'王'));
        QTest::newRow("warehouse person beyond 40")
            << "Bar_Man" << QString(41, QLatin1Char('b')) << "" << QString(40, QLatin1Char('b'));
        QTest::newRow("NUL in the remark") << "Remark" << QStringLiteral("两行") + QChar(0) + QStringLiteral("同一")
                                           << "输入的内容含有不能保存的控制字符,请重新输入!"
                                           << "两行同一库存";
        QTest::newRow("line break in the requisitioner")
            << "Proc_Man" << QStringLiteral("王\n建") << "输入的内容含有不能保存的控制字符,请重新输入!"
            << "";
        QTest::newRow("a date that is no date") << "Inv_Date" << QStringLiteral("2026-13-45") << "请输入正确的日期!"
                                                << "2026-12-01";
    }
    void badInputIsRefusedInTheWindowsWords()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        QFETCH(QString, stored);
        show(QStringLiteral("LL001"));
        click("Cmd_Edit");
        choose("Org_Name", QStringLiteral("裁床组"));
        const QString text = typed;
        if (field == QLatin1String("Remark"))
            w->findChild<QLineEdit *>(QStringLiteral("Remark"))->setText(text);
        else
            item(qPrintable(field))->setText(text);
        box->clear();
        click("Cmd_Ok");
        const QString column = field == QLatin1String("Inv_Date") ? QStringLiteral("Inv_Date") : field;
        QString now = this->field(QStringLiteral("SELECT %1 FROM Mmst411 WHERE Inv_No = 'LL001'").arg(column));
        if (field == QLatin1String("Inv_Date"))
            now = DbGateway::FormatDateText(now);
        if (refusal.isEmpty()) {
            QVERIFY2(messages().isEmpty(), qPrintable(messages().join('|')));
            QCOMPARE(w->lastAction(), 0);
            QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        } else {
            QCOMPARE(messages(), QStringList{refusal});
            QCOMPARE(box->last().messageId, QStringLiteral("Check_OK_1"));
            // The entry stays open, with its lock, for the user to correct.
            QCOMPARE(w->lastAction(), 2);
            QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        }
        QCOMPARE(now, stored);
    }

    void productionOrOutsourcing()
    {
        click("Cmd_Add");
        choose("Org_Name", QStringLiteral("裁床组"));
        choose("Stock_Mode", QStringLiteral("按制单"));
        choose("Pcs_No", QStringLiteral("WF001"));
        click("Cmd_Ok");
        QCOMPARE(box->last().text, QStringLiteral("生产领料不须输入外发单号!"));
        w->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
        choose("Pcs_No", QStringLiteral("WF404"));
        click("Cmd_Ok");
        QCOMPARE(box->last().text, QStringLiteral("无此外发单号!"));
        choose("Pcs_No", QStringLiteral("WF001"));
        click("Cmd_Ok");
        QCOMPARE(w->lastAction(), 0);
        QCOMPARE(
            field(QStringLiteral("SELECT Out_Flag FROM Mmst411 WHERE Pcs_No = 'WF001' AND Inv_No = 'A001-26120001'")),
            QStringLiteral("1"));
    }

    void aFutureDateAsks()
    {
        click("Cmd_Add");
        choose("Org_Name", QStringLiteral("裁床组"));
        choose("Stock_Mode", QStringLiteral("按制单"));
        item("Inv_Date")->setText(QStringLiteral("2026-12-10"));
        box->answer(7);
        click("Cmd_Ok");
        QCOMPARE(box->last().text, QStringLiteral("单据日期大於当前日期,是否要继续?"));
        QCOMPARE(box->last().style, 292);
        QCOMPARE(w->lastAction(), 1);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411")), QStringLiteral("5"));
    }

    void natureChangeRenumbersOnlyWhileAdding()
    {
        click("Cmd_Add");
        choose("Inv_No", QStringLiteral("MY-OWN"));
        combo("Prop_Duty")->setCurrentIndex(1);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("A001-26120001"));
        box->answer(6);
        click("cmd_cancel");

        show(QStringLiteral("LL004"));
        click("Cmd_Edit");
        combo("Prop_Duty")->setCurrentIndex(2);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("LL004"));
    }

    void cancellingAnAdd()
    {
        show(QStringLiteral("LL001"));
        click("Cmd_Add");
        choose("Inv_No", QStringLiteral("KEEP-ME"));
        box->answer(7);
        click("cmd_cancel");
        QCOMPARE(box->last().text, QStringLiteral("真的要取消操作吗?"));
        QCOMPARE(box->last().form, QStringLiteral("确认要删除这笔资料?"));
        QCOMPARE(box->last().messageId, QStringLiteral("Menu_Delete_Click_2"));
        QCOMPARE(box->last().title, QStringLiteral("提示信息"));
        QCOMPARE(w->lastAction(), 1);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("KEEP-ME"));
        box->answer(6);
        click("cmd_cancel");
        QCOMPARE(w->lastAction(), 0);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("LL001"));
        QVERIFY(!enabled("Org_Name"));
    }

    void editRefusedWhenApprovedOrLockedMeanwhile()
    {
        show(QStringLiteral("LL001"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Status = '2' WHERE Inv_No = 'LL001'"));
        click("Cmd_Edit");
        QCOMPARE(box->last().text, QStringLiteral("此单已审核, 不能进行修改!"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(w->lastAction(), 0);

        show(QStringLiteral("LL004"));
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET Lock = 'Yes' WHERE Inv_No = 'LL004'"));
        click("Cmd_Edit");
        QCOMPARE(box->last().text, QStringLiteral("记录已锁定,请稍等"));
        QCOMPARE(w->lastAction(), 0);
    }

    void deletingLandsOnANeighbour()
    {
        for (const char *no : {"LL001", "LL003", "LL004"})
            combo("Inv_No")->addItem(QString::fromLatin1(no));
        show(QStringLiteral("LL004"));
        box->answer(6);
        click("Cmd_Delete");
        QCOMPARE(box->last().text, QStringLiteral("确定要删除吗"));
        QCOMPARE(box->last().style, 324);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Inv_No = 'LL004'")), QStringLiteral("0"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = 5")), QStringLiteral("0"));
        QCOMPARE(combo("Inv_No")->count(), 2);
        QCOMPARE(combo("Inv_No")->currentText(), QStringLiteral("LL003"));
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Remark"))->text(), QStringLiteral("外发无明细"));

        // The only number left: the window ends with nothing shown.
        combo("Inv_No")->clear();
        show(QStringLiteral("LL003"));
        box->answer(6);
        click("Cmd_Delete");
        QCOMPARE(combo("Inv_No")->count(), 0);
        QCOMPARE(combo("Inv_No")->currentText(), QString());
        QVERIFY(!w->hasRecord());
        QCOMPARE(w->lastAction(), 0);
    }

    void deleteAnsweredNo()
    {
        show(QStringLiteral("LL004"));
        box->answer(7);
        click("Cmd_Delete");
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE Inv_No = 'LL004'")), QStringLiteral("1"));
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
    }

    void approvalCancelledShortOrPosted()
    {
        show(QStringLiteral("LL004"));
        box->answer(2);
        click("cmd_check");
        QCOMPARE(box->last().text, QStringLiteral("确认要审核此单据吗?"));
        QCOMPARE(box->last().style, 65);
        QCOMPARE(statusOf(QStringLiteral("LL004")), QStringLiteral("0"));
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
        QCOMPARE(w->lastAction(), 0);

        // Two lines drawing 6 and 5 from 10 under one key.
        show(QStringLiteral("LL001"));
        box->answer(1);
        click("cmd_check");
        QCOMPARE(box->last().text, QStringLiteral("订单:SO1\r制单:MO1\r料品F001库存不够."));
        QCOMPARE(statusOf(QStringLiteral("LL001")), QStringLiteral("0"));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(balance(), 10.0);

        show(QStringLiteral("LL004"));
        box->answer(1);
        click("cmd_check");
        QCOMPARE(statusOf(QStringLiteral("LL004")), QStringLiteral("2"));
        QCOMPARE(field(QStringLiteral("SELECT Check_Man FROM Mmst411 WHERE Inv_No = 'LL004'")),
                 QStringLiteral("陈志明"));
        QCOMPARE(lockOf(QStringLiteral("LL004")), QStringLiteral("No"));
        QCOMPARE(balance(), 6.0);
        QCOMPARE(item("Check_Man")->text(), QStringLiteral("陈志明"));
        QVERIFY(enabled("cmd_reset"));
        QVERIFY(w->findChild<QFrame *>(QStringLiteral("Picture1"))->isEnabled());

        box->answer(1);
        click("cmd_reset");
        QCOMPARE(box->last().text, QStringLiteral("确认要重置此单据吗?"));
        QCOMPARE(statusOf(QStringLiteral("LL004")), QStringLiteral("0"));
        QCOMPARE(balance(), 10.0);
        QCOMPARE(item("Check_Man")->text(), QString());
    }

    // Another user approves, resets or deletes while this one answers the
    // question: once the lock is held the status is read again, and the
    // command refuses as it would have before, posting nothing twice.
    void statusMovedWhileTheUserAnswers_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("yes");
        QTest::addColumn<QString>("meanwhile"); // approve, reset, delete
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("balance");
        QTest::newRow("approved twice") << "LL004"
                                        << "cmd_check" << 1 << "approve"
                                        << "此单据已被审核,不能再审核!"
                                        << "2" << 6.0;
        QTest::newRow("reset twice") << "LL002"
                                     << "cmd_reset" << 1 << "reset"
                                     << "此单据已被其他用户重置,不能再重置!"
                                     << "0" << 13.0;
        QTest::newRow("deleted after approval") << "LL004"
                                                << "Cmd_Delete" << 6 << "approve"
                                                << "此单已审核, 当前操作不能进行!"
                                                << "2" << 6.0;
        QTest::newRow("approved after deletion") << "LL001"
                                                 << "cmd_check" << 1 << "delete"
                                                 << "当前记录已被其它用户删除,请检查!"
                                                 << "" << 10.0;
    }
    void statusMovedWhileTheUserAnswers()
    {
        QFETCH(QString, number);
        QFETCH(QString, button);
        QFETCH(int, yes);
        QFETCH(QString, meanwhile);
        QFETCH(QString, refusal);
        QFETCH(QString, status);
        QFETCH(double, balance);
        show(number);
        const qint64 key = field(QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?"), {number}).toLongLong();
        const QString url = conn.url();
        box->whileShown([&](const MessageRequest &) {
            Connection other = Connection::open(url);
            if (meanwhile == QLatin1String("delete"))
                DocumentStore(other).deleteDocument(key);
            else
                QVERIFY(DocumentStore(other)
                            .post(DocumentKind::issue(), meanwhile == QLatin1String("approve"), key, number,
                                  QDate(2026, 12, 4), QStringLiteral("李丽"))
                            .posted);
            other.close();
        });
        box->answer(yes);
        click(qPrintable(button));
        QCOMPARE(box->last().text, refusal);
        QCOMPARE(statusOf(number), status);
        QCOMPARE(this->balance(), balance);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmst388 WHERE Inv_No = ?"), {number}),
                 QString::number(status == QLatin1String("2") ? 1 : 0));
        if (!status.isEmpty())
            QCOMPARE(lockOf(number), QStringLiteral("No"));
        QCOMPARE(w->lastAction(), 0);
    }

    void approvingWithoutLines()
    {
        show(QStringLiteral("LL003"));
        click("cmd_check");
        QCOMPARE(box->last().text, QStringLiteral("此单据没有明细资料,请录入其明细!"));
        QCOMPARE(lockOf(QStringLiteral("LL003")), QStringLiteral("No"));
        QCOMPARE(statusOf(QStringLiteral("LL003")), QStringLiteral("0"));
    }

    void leavingTheWindow()
    {
        show(QStringLiteral("LL001"));
        click("Cmd_Edit");
        box->answer(7);
        QVERIFY(!w->close());
        QCOMPARE(box->last().text, QStringLiteral("是否要退出系统"));
        QCOMPARE(box->last().form, QStringLiteral("确认要退出吗?"));
        QCOMPARE(box->last().style, 36);
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("Yes"));
        box->answer(6);
        QVERIFY(w->close());
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!DocumentWindow::instance(DocumentKind::issue()));
        w = nullptr;

        open();
        const qsizetype before = box->shown().size();
        QVERIFY(w->close()); // browsing: no question
        QCOMPARE(box->shown().size(), before);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w = nullptr;
    }

    void aFailedSaveGivesTheLockBack()
    {
        show(QStringLiteral("LL001"));
        click("Cmd_Edit");
        if (conn.backend() == Backend::SQLite) {
            TestDb::exec(conn, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE OF Remark ON Mmst411 "
                                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        } else {
            TestDb::exec(
                conn, QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'refused'; "
                                     "END $$ LANGUAGE plpgsql"));
            TestDb::exec(conn, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE OF Remark ON Mmst411 "
                                              "FOR EACH ROW EXECUTE FUNCTION refuse()"));
        }
        w->findChild<QLineEdit *>(QStringLiteral("Remark"))->setText(QStringLiteral("changed"));
        click("Cmd_Ok");
        QVERIFY(box->last().text.startsWith(QStringLiteral("程序在  upd_data  过程发生错误!")));
        QCOMPARE(lockOf(QStringLiteral("LL001")), QStringLiteral("No"));
        QCOMPARE(w->lastAction(), 0);
        QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Remark"))->text(), QStringLiteral("两行同一库存"));
        QVERIFY(!enabled("Org_Name"));
    }

    void rightsGateTheToolbar()
    {
        open(QStringLiteral("li"));
        show(QStringLiteral("LL001"));
        QVERIFY(enabled("Cmd_Edit"));
        QVERIFY(!enabled("Cmd_Delete"));
        QVERIFY(enabled("Cmd_Add"));
        // Without the delete right the grid shows the document in red.
        QCOMPARE(w->grid()->foreColorSel(), QColor(255, 0, 0));
    }

    void browseButtons()
    {
        // Browsing: the department button does nothing.
        int dialogs = 0;
        ModalRunner::setDriver([&](QDialog *) {
            ++dialogs;
            return int(QDialog::Rejected);
        });
        w->findChild<QToolButton *>(QStringLiteral("Cmd_Brow_Org"))->click();
        QCOMPARE(dialogs, 0);

        click("Cmd_Add");
        ModalRunner::setDriver([&](QDialog *d) {
            ++dialogs;
            d->show();
            auto *tree = d->findChild<QTreeWidget *>(QStringLiteral("tvwdb"));
            const QList<QTreeWidgetItem *> found =
                tree->findItems(QStringLiteral("裁床组"), Qt::MatchRecursive | Qt::MatchExactly);
            tree->scrollToItem(found.value(0));
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.value(0)).center());
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Cmd_Ok")), Qt::LeftButton);
            return d->result();
        });
        w->findChild<QToolButton *>(QStringLiteral("Cmd_Brow_Org"))->click();
        QCOMPARE(dialogs, 1);
        QCOMPARE(combo("Org_Name")->currentText(), QStringLiteral("裁床组"));

        // The contract list offers approved outsourcing orders once outsourcing is chosen.
        w->findChild<QToolButton *>(QStringLiteral("Cmd_Brow_Pcs"))->click();
        QCOMPARE(dialogs, 1); // production document: nothing opens
        w->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
        ModalRunner::setDriver([&](QDialog *d) {
            ++dialogs;
            d->show();
            auto *grid = d->findChild<FlexGrid *>();
            grid->setRow(1);
            QTest::keyClick(grid, Qt::Key_Return);
            return d->result();
        });
        w->findChild<QToolButton *>(QStringLiteral("Cmd_Brow_Pcs"))->click();
        ModalRunner::setDriver({});
        QCOMPARE(dialogs, 2);
        QCOMPARE(combo("Pcs_No")->currentText(), QStringLiteral("WF001"));
    }

    void functionKeys()
    {
        QTest::keyClick(combo("Inv_No"), Qt::Key_F2); // add
        QCOMPARE(w->lastAction(), 1);
        QTest::keyClick(combo("Inv_No"), Qt::Key_F3); // edit is off while adding
        QCOMPARE(w->lastAction(), 1);
        QTest::keyClick(combo("Inv_No"), Qt::Key_F5); // confirm
        QCOMPARE(box->last().text, QStringLiteral("此单位不存在,请重新输入!"));
        QCOMPARE(w->lastAction(), 1);
    }

    void otherKinds()
    {
        open(QStringLiteral("chen"), QStringLiteral("MENU_F4_3"));
        QCOMPARE(w->objectName(), QStringLiteral("mmss40C"));
        QCOMPARE(w->heading(), QStringLiteral("生产退料单"));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label_Org"))->text(), QStringLiteral("退料部门:"));
        QCOMPARE(item("Proc_Man")->caption(), QStringLiteral("退料:"));
        show(QStringLiteral("TL001"));
        QVERIFY(w->hasRecord());
        show(QStringLiteral("LL001")); // an issue number shows nothing in the return window
        QVERIFY(!w->hasRecord());
    }
};

QTEST_MAIN(TstDocumentWindow)
#include "tst_documentwindow.moc"
