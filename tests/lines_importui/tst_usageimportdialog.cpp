// The usage import dialog driven as a user drives it: criteria typed,
// rows ticked and quantities typed in the grid, the save question answered,
// checked against the grid and the lines written.
#include "TestSupport.h"

#include "entry/RunContext.h"
#include "lines/UsageImportDialog.h"
#include "platform/core/Environment.h"
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// Stands in for the document window: records what it is asked to refresh.
class Caller : public QWidget
{
    Q_OBJECT
public:
    QStringList refreshed;
    Q_INVOKABLE void RefreshGrid(const QString &gridName) { refreshed << gridName; }
};

class TstUsageImportDialog : public QObject
{
    Q_OBJECT

    Connection conn;
    ScriptedMessageBox *box = nullptr;
    QTemporaryDir home;
    std::unique_ptr<Caller> caller;
    Frm40BMx4 *dlg = nullptr;
    qint64 rec411 = 0;

    enum { ColCheck = 1, ColMtrAmt = 14, ColFrmInv = 15 };

    void stock(const QString &frmInv, double qty, const QString &moNo = QStringLiteral("MO1"))
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt) "
                                          "VALUES ('SO1', ?, ?, 'A', 'F001', 'W01', '', ?)"),
                     {moNo, frmInv, qty});
    }
    // A fresh dialog over the caller, shown (not modal) so the grid takes clicks.
    void open(bool production = true, bool byOrder = false, int stockMode = 2)
    {
        delete dlg;
        dlg = new Frm40BMx4(caller.get());
        dlg->W_Prop_Duty = QStringLiteral("0");
        dlg->setOut_Type_Order(byOrder);
        dlg->setCallForm(caller.get());
        dlg->setDocument(production, stockMode, QString(), rec411);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
    }
    template <class T> T *child(const char *name) { return dlg->findChild<T *>(QLatin1String(name)); }
    FlexGrid *grid() { return child<FlexGrid>("Grid1"); }
    QPushButton *button(const char *name) { return child<QPushButton>(name); }
    void search(const QString &moNo)
    {
        QLineEdit *edit = child<HeadItem>("Mo_No")->editor();
        edit->clear();
        QTest::keyClicks(edit, moNo);
        QVERIFY(button("Cmd_Find")->isEnabled());
        QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
    }
    void clickCell(int row, int col, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        FlexGrid *g = grid();
        g->scrollTo(g->model()->index(row - 1, col));
        const QRect r = g->cellRect(row, col);
        QVERIFY2(!r.isEmpty(), "cell out of view");
        QTest::mouseClick(g->viewport(), Qt::LeftButton, mods, g->viewport()->mapFrom(g, r.center()));
    }
    // "receipt:quantity" per data row, with "+" for a ticked row.
    QStringList rows()
    {
        QStringList out;
        FlexGrid *g = grid();
        for (int r = g->fixedRows(); r < g->rows(); ++r)
            out << (g->cellChecked(r, ColCheck) == FlexGrid::Checked ? QStringLiteral("+") : QStringLiteral("-"))
                       + g->textMatrix(r, ColFrmInv) + QLatin1Char(':') + g->textMatrix(r, ColMtrAmt);
        return out;
    }
    // Types a quantity into row's cell; true when the entry was accepted.
    bool typeQuantity(int row, const QString &text)
    {
        FlexGrid *g = grid();
        g->setFocus();
        g->setCurrentCell(row, ColMtrAmt);
        QTest::keyClick(g, Qt::Key_F2);
        QLineEdit *editor = openEditor();
        if (!editor)
            return false;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::qWait(20);
        return !editor->isVisible();
    }
    QLineEdit *openEditor()
    {
        for (QLineEdit *e : grid()->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
    void save(const char *buttonName, int answer)
    {
        box->answer(answer);
        QTest::mouseClick(button(buttonName), Qt::LeftButton);
    }
    // Written lines as "receipt:quantity".
    QStringList written()
    {
        const ResultSet rs = Sql(conn, QStringLiteral("SELECT Frm_Inv, Mtr_Amt FROM Mmst412 WHERE Rec_411 = ? ORDER BY Rec_412"))
                                 .bind(rec411)
                                 .select();
        QStringList out;
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            out << rs.text(i, 0) + QLatin1Char(':') + QString::number(rs.value(i, 1).toDouble());
        return out;
    }

private slots:
    void initTestCase()
    {
        Environment::setNow(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    }
    void cleanupTestCase() { Environment::setNow({}); }

    void init()
    {
        box = new ScriptedMessageBox;
        conn = TestDb::fresh();
        runContext().Conn = conn;
        runContext().setPrompts();
        runContext().User_Name = QStringLiteral("陈志明");
        runContext().Ini_File = home.filePath(QStringLiteral("chen.ini"));
        const QStringList fixture = {
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type) VALUES (1, 'F001', '牛津布', '0')",
            "INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (1, 'SO1', '2')",
            "INSERT INTO mmst111 (Rec_111, Mo_No, Rec_011, Mtr_Model, Status) VALUES (1, 'MO1', 1, 'BP01', '2')",
            "INSERT INTO Mmst1141 (Rec_111, Rec_611, Mtr_Amt, Mtr_Loss) VALUES (1, 1, 9, 1)",
            "INSERT INTO mmst400 (Frm_Type, Frm_Type_Name) VALUES ('A', '采购入库')",
            "INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES ('W01', '一号仓')",
            "INSERT INTO mmst000 (Comp_No, Rpt_Dir) VALUES ('01', 'Report')",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        rec411 = Sql(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Inv_Date, Status, Stock_Mode) "
                                          "VALUES ('LL001', '1', '2026-12-09', '0', '2')"))
                     .insert(QStringLiteral("Rec_411"));
        stock(QStringLiteral("PI1"), 6);
        stock(QStringLiteral("PI2"), 8);
        caller = std::make_unique<Caller>();
        open();
        box->clear();
    }
    void cleanup()
    {
        ModalRunner::setDriver({});
        delete dlg;
        dlg = nullptr;
        caller.reset();
        delete box;
        box = nullptr;
        conn.close();
    }

    void searchTicksEveryProposal()
    {
        // Nothing to save before a search.
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(!button("Cmd_Find")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isChecked());

        search(QStringLiteral("MO1"));
        // The larger source first; each proposes what it holds, up to the need of 10.
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
        QCOMPARE(grid()->textMatrix(1, 2), QStringLiteral("MO1"));
        QCOMPARE(grid()->textMatrix(1, 13), QStringLiteral("10"));
        QVERIFY(button("Cmd_Ok")->isEnabled());
        QVERIFY(child<QCheckBox>("CheckBox1")->isEnabled());
        QVERIFY(child<QCheckBox>("CheckBox1")->isChecked());
        QVERIFY(!button("Cmd_Find")->isEnabled());
        QVERIFY(box->shown().isEmpty());

        // Select-all clears and ticks every row.
        QTest::mouseClick(child<QCheckBox>("CheckBox1"), Qt::LeftButton);
        QCOMPARE(rows(), (QStringList{"-PI2:8", "-PI1:6"}));
        QTest::keyClick(dlg, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
        QVERIFY(child<QCheckBox>("CheckBox1")->isChecked());
    }

    void searchWithoutRowsReplacesTheProposal()
    {
        search(QStringLiteral("MO1"));
        QCOMPARE(rows().size(), 2);
        search(QStringLiteral("MO9"));
        QCOMPARE(box->texts(), QStringList{"没有符合查询条件的记录"});
        QCOMPARE(box->last().form, QStringLiteral("Frm40BMx4"));
        QCOMPARE(box->last().messageId, QStringLiteral("Check_OK_1"));
        QVERIFY(rows().isEmpty());
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isChecked());
    }

    void saveWritesTickedRowsAfterYes()
    {
        search(QStringLiteral("MO1"));
        clickCell(2, ColCheck);   // untick PI1
        QVERIFY(typeQuantity(1, QStringLiteral("5")));
        QCOMPARE(rows(), (QStringList{"+PI2:5", "-PI1:6"}));
        save("Cmd_Ok", MessageAnswer::Yes);

        QCOMPARE(box->last().text, QStringLiteral("确认要保存当前选择的数据到生产领料单吗?"));
        QCOMPARE(box->last().style, 36);
        QCOMPARE(box->last().form, runContext().Msg_Delete);
        QCOMPARE(box->last().messageId, QStringLiteral("Menu_Delete_Click_2"));
        QCOMPARE(written(), QStringList{"PI2:5"});
        const ResultSet rs = Sql(conn, QStringLiteral("SELECT Mo_No, Order_No, Rec_611, Stock_Mode, Upd_Name, Upd_Date, P_Mtr, Bar_No "
                                                      "FROM Mmst412"))
                                 .select();
        QCOMPARE((QStringList{rs.text(0, 0), rs.text(0, 1), rs.text(0, 2), rs.text(0, 3), rs.text(0, 4),
                              rs.value(0, 5).toDate().toString(Qt::ISODate), rs.text(0, 6), rs.text(0, 7)}),
                 (QStringList{"MO1", "SO1", "1", "2", "陈志明", "2026-12-09", "BP01", "W01"}));
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
    }

    void eitherButtonAsksBeforeSaving_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("OK, No") << "Cmd_Ok" << int(MessageAnswer::No) << QStringList{};
        QTest::newRow("Cancel, No") << "Cmd_Cancel" << int(MessageAnswer::No) << QStringList{};
        QTest::newRow("Cancel, Yes") << "Cmd_Cancel" << int(MessageAnswer::Yes) << QStringList{"PI2:8", "PI1:6"};
    }
    void eitherButtonAsksBeforeSaving()
    {
        QFETCH(QString, buttonName);
        QFETCH(int, answer);
        QFETCH(QStringList, expected);
        search(QStringLiteral("MO1"));
        save(buttonName.toLatin1().constData(), answer);
        QCOMPARE(box->texts(), QStringList{"确认要保存当前选择的数据到生产领料单吗?"});
        QCOMPARE(written(), expected);
        QCOMPARE(caller->refreshed.size(), expected.isEmpty() ? 0 : 1);
        QVERIFY(!dlg->isVisible());
    }

    void escapeClosesWithoutAsking()
    {
        search(QStringLiteral("MO1"));
        QTest::keyClick(grid(), Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
        QVERIFY(box->shown().isEmpty());
        QVERIFY(written().isEmpty());
        QVERIFY(caller->refreshed.isEmpty());
    }

    void failedSearchLeavesNothingToSave()
    {
        search(QStringLiteral("MO1"));
        QCOMPARE(rows().size(), 2);
        TestDb::exec(conn, QStringLiteral("DROP TABLE mmst903"));
        search(QStringLiteral("MO"));
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.contains(QStringLiteral("sele_data")), qPrintable(box->last().text));
        // The proposal of the earlier criteria is gone, not saved by mistake.
        QVERIFY(rows().isEmpty());
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isEnabled());
    }

    void nothingTickedStillRefreshesTheDocument()
    {
        search(QStringLiteral("MO1"));
        QTest::mouseClick(child<QCheckBox>("CheckBox1"), Qt::LeftButton);
        save("Cmd_Ok", MessageAnswer::Yes);
        QVERIFY(written().isEmpty());
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
        QVERIFY(!dlg->isVisible());
    }

    void quantityEntry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("cell");
        QTest::newRow("not a number") << "5kg" << false << "8";
        QTest::newRow("negative") << "-3" << false << "0";
        QTest::newRow("zero") << "0" << true << "0";
        QTest::newRow("above stock and need") << "25" << true << "25";
    }
    void quantityEntry()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, cell);
        search(QStringLiteral("MO1"));
        QCOMPARE(typeQuantity(1, typed), accepted);
        QCOMPARE(box->texts(), accepted ? QStringList{} : QStringList{"请输入正确的数据格式!"});
        if (!accepted)
            QCOMPARE(box->last().messageId, QStringLiteral("Check_OK_1"));
        QCOMPARE(grid()->textMatrix(1, ColMtrAmt), cell);
        if (!accepted)
            QTest::keyClick(openEditor(), Qt::Key_Escape);
        // What the cell holds is what is saved.
        save("Cmd_Ok", MessageAnswer::Yes);
        QCOMPARE(written(), (QStringList{"PI2:" + cell, "PI1:6"}));
    }

    void onlyTickAndQuantityCanBeEdited()
    {
        search(QStringLiteral("MO1"));
        FlexGrid *g = grid();
        for (int col : {2, 10, 13, 15}) {
            g->setFocus();
            g->setCurrentCell(1, col);
            const QString before = g->textMatrix(1, col);
            QTest::keyClick(g, Qt::Key_F2);
            QTest::keyClicks(g, QStringLiteral("9"));
            QTest::keyClick(g, Qt::Key_Return);
            QVERIFY2(!openEditor(), qPrintable(QString::number(col)));
            QCOMPARE(g->textMatrix(1, col), before);
        }
    }

    void shiftTicksARange_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QStringList>("ticks");
        // Four sources: PI4 (4), PI3 (3), PI2 (2), PI1 (1).
        QTest::newRow("downwards") << 1 << 3 << true << QStringList{"-", "-", "-", "+"};
        QTest::newRow("upwards") << 4 << 2 << true << QStringList{"+", "-", "-", "-"};
        QTest::newRow("without shift") << 1 << 3 << false << QStringList{"-", "+", "-", "+"};
    }
    void shiftTicksARange()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(bool, shift);
        QFETCH(QStringList, ticks);
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst381"));
        for (int i = 1; i <= 4; ++i)
            stock(QStringLiteral("PI%1").arg(i), i);
        search(QStringLiteral("MO1"));
        QCOMPARE(rows(), (QStringList{"+PI4:4", "+PI3:3", "+PI2:2", "+PI1:1"}));
        clickCell(first, ColCheck);
        if (shift)
            QTest::keyPress(grid(), Qt::Key_Shift, Qt::ShiftModifier);
        clickCell(second, ColCheck, shift ? Qt::ShiftModifier : Qt::NoModifier);
        if (shift)
            QTest::keyRelease(grid(), Qt::Key_Shift, Qt::ShiftModifier);
        QStringList shown;
        for (const QString &row : rows())
            shown << row.left(1);
        QCOMPARE(shown, ticks);

        // The range is used up: the next tick changes its own row only.
        clickCell(2, ColCheck);
        QCOMPARE(rows().at(1).left(1), ticks.at(1) == QLatin1String("+") ? QStringLiteral("-") : QStringLiteral("+"));
        QCOMPARE(rows().at(0).left(1), ticks.at(0));
    }

    void anotherKeyDisarmsTheRange()
    {
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst381"));
        for (int i = 1; i <= 4; ++i)
            stock(QStringLiteral("PI%1").arg(i), i);
        search(QStringLiteral("MO1"));
        clickCell(1, ColCheck);
        QTest::keyPress(grid(), Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyRelease(grid(), Qt::Key_Shift, Qt::ShiftModifier);
        QTest::keyClick(grid(), Qt::Key_Right);
        clickCell(4, ColCheck);
        QCOMPARE(rows(), (QStringList{"-PI4:4", "+PI3:3", "+PI2:2", "-PI1:1"}));
    }

    void failedSaveWritesNothingAndStaysOpen()
    {
        search(QStringLiteral("MO1"));
        // Another user deletes the document meanwhile.
        TestDb::exec(conn, QStringLiteral("DELETE FROM Mmst411"));
        save("Cmd_Ok", MessageAnswer::Yes);
        QCOMPARE(box->shown().size(), 2);
        QCOMPARE(box->last().form, QStringLiteral("Frm40BMx4"));
        QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_Click")), qPrintable(box->last().text));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toInt(), 0);
        QVERIFY(caller->refreshed.isEmpty());
        QVERIFY(dlg->isVisible());
        QVERIFY(button("Cmd_Ok")->isEnabled());
    }

    void orderFamilyHidesTheManufacturingOrder()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst01123 (Rec_011, Rec_611, Mtr_Amt, Mtr_Loss) VALUES (1, 1, 4, 0)"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt) "
                                          "VALUES ('SO1', '', 'PI9', 'A', 'F001', 'W01', '', 7)"));
        UsageImportCall call{QStringLiteral("导入订单Bom用量(Frm40BMx4)"), QStringLiteral("0"), true, true, 2, QString(), rec411};
        QPointer<Frm40BMx4> seen;
        ModalRunner::setDriver([&](QDialog *d) {
            seen = qobject_cast<Frm40BMx4 *>(d);
            if (!seen)
                return int(QDialog::Rejected);
            d->show();
            if (!QTest::qWaitForWindowExposed(d))
                return -1;
            dlg = seen;
            [&] {
                QCOMPARE(d->windowTitle(), QStringLiteral("导入订单Bom用量(Frm40BMx4)"));
                QVERIFY(!child<HeadItem>("Mo_No")->isVisible());
                QTest::keyClicks(child<QComboBox>("Order_No"), QStringLiteral("so"));
                QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
                QCOMPARE(rows(), QStringList{"+PI9:4"});
                QCOMPARE(grid()->textMatrix(1, 2), QString());
                save("Cmd_Ok", MessageAnswer::Yes);
            }();
            dlg = nullptr;
            return d->result();
        });
        delete dlg;
        dlg = nullptr;
        runUsageImport(caller.get(), call);
        QVERIFY(!QTest::currentTestFailed());
        // Released after use.
        QVERIFY(!seen);
        QCOMPARE(written(), QStringList{"PI9:4"});
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
    }

    void orderPickerFillsTheOrder()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (2, 'SO2', '2'), (3, 'SX3', '2')"));
        QStringList listed;
        ModalRunner::setDriver([&](QDialog *d) {
            auto *g = d->findChild<FlexGrid *>(QStringLiteral("Grid1"));
            for (int r = g->fixedRows(); r < g->rows(); ++r)
                listed << g->textMatrix(r, 0);
            // The user picks the second row.
            g->setCurrentCell(2, 0);
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_0")), Qt::LeftButton);
            return d->result();
        });
        QTest::keyClicks(child<QComboBox>("Order_No"), QStringLiteral("SO"));
        QTest::mouseClick(child<QToolButton>("Cmd_order_brow"), Qt::LeftButton);
        QCOMPARE(listed, (QStringList{"SO1", "SO2"}));
        QCOMPARE(child<QComboBox>("Order_No")->currentText(), QStringLiteral("SO2"));
        QVERIFY(button("Cmd_Find")->isEnabled());
    }
    void outsourcingImportWorksFromTheDocument()
    {
        // The outsourcing order's need is 5; by order only stock of the
        // order that belongs to no manufacturing order is offered.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst121 (Rec_121, Pcs_No, Status) VALUES (1, 'WF1', '2')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (1, 1, 1, 4, 1)"));
        stock(QStringLiteral("PI7"), 3, QString());
        const UsageImportCall call{QStringLiteral("导入制单用量(Frm40BMx4)"), QStringLiteral("0"), false, false, 1,
                                   QStringLiteral("WF1"), rec411};
        delete dlg;
        dlg = nullptr;
        ModalRunner::setDriver([&](QDialog *d) {
            d->show();
            if (!QTest::qWaitForWindowExposed(d))
                return -1;
            dlg = qobject_cast<Frm40BMx4 *>(d);
            [&] {
                QVERIFY(dlg);
                QCOMPARE(d->windowTitle(), QStringLiteral("导入制单用量(Frm40BMx4)"));
                QVERIFY(child<HeadItem>("Mo_No")->isVisible());
                QTest::keyClicks(child<QComboBox>("Order_No"), QStringLiteral("SO"));
                QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
                // One row: ticked, and select-all open and ticked.
                QCOMPARE(rows(), QStringList{"+PI7:3"});
                QVERIFY(child<QCheckBox>("CheckBox1")->isEnabled());
                QVERIFY(child<QCheckBox>("CheckBox1")->isChecked());
                save("Cmd_Ok", MessageAnswer::Yes);
            }();
            dlg = nullptr;
            return d->result();
        });
        runUsageImport(caller.get(), call);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(written(), QStringList{"PI7:3"});
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Stock_Mode FROM Mmst412")).scalar().toString(), QStringLiteral("1"));
    }

    void sortKeepsTicksWithTheirRows()
    {
        search(QStringLiteral("MO1"));
        clickCell(1, ColCheck);   // untick PI2
        FlexGrid *g = grid();
        QHeaderView *header = g->horizontalHeader();
        const int section = ColMtrAmt - g->fixedCols();
        const auto clickHeader = [&] {
            g->scrollTo(g->model()->index(0, section));
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        // The first click sorts descending (as shown), the second ascending.
        clickHeader();
        QCOMPARE(rows(), (QStringList{"-PI2:8", "+PI1:6"}));
        clickHeader();
        QCOMPARE(rows(), (QStringList{"+PI1:6", "-PI2:8"}));
        // Rows are numbered in their new order; the current row keeps its
        // marker and the current cell goes back to its tick box.
        QStringList numbers;
        for (int r = g->fixedRows(); r < g->rows(); ++r)
            numbers << g->textMatrix(r, 0);
        QCOMPARE(numbers, (QStringList{"★", "2"}));
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), int(ColCheck));
        save("Cmd_Ok", MessageAnswer::Yes);
        QCOMPARE(written(), QStringList{"PI1:6"});
    }

    void manufacturingOrderPickerFillsTheField()
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type) VALUES (2, 'BAG1', '背包', '1')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst111 (Rec_111, Mo_No, Rec_011, Status) VALUES (2, 'MO2', 1, '2'), (3, 'MX3', 1, '2')"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst112 (Rec_111, Rec_611, Mtr_Amt) VALUES (1, 2, 100), (2, 2, 50), (3, 2, 50)"));
        QStringList listed;
        ModalRunner::setDriver([&](QDialog *d) {
            auto *g = d->findChild<FlexGrid *>(QStringLiteral("Grid1"));
            for (int r = g->fixedRows(); r < g->rows(); ++r)
                listed << g->textMatrix(r, 0);
            g->setCurrentCell(2, 0);
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_0")), Qt::LeftButton);
            return d->result();
        });
        QTest::keyClicks(child<HeadItem>("Mo_No")->editor(), QStringLiteral("mo"));
        QTest::mouseClick(child<QToolButton>("Cmd_Mtr_Brow"), Qt::LeftButton);
        // Newest number first, by the typed prefix whatever its case.
        QCOMPARE(listed, (QStringList{"MO2", "MO1"}));
        QCOMPARE(child<HeadItem>("Mo_No")->text(), QStringLiteral("MO1"));
        QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
    }
};

QTEST_MAIN(TstUsageImportDialog)
#include "tst_usageimportdialog.moc"
