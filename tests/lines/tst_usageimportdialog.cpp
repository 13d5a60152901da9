// The usage import dialog driven as a user drives it: criteria typed,
// rows ticked and quantities typed in the grid, the save question answered,
// checked against the grid and the lines written.
#include "LedgerInvariant.h"
#include "TestSupport.h"

#include "context/RunContext.h"
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
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

// Stands in for the document window: records each reload of its line grid.
class Caller : public QWidget, public LineHost
{
    Q_OBJECT
public:
    QStringList refreshed;
    QString outsourcingOrderNo() const override { return {}; }
    QString stockDeductionText() const override { return {}; }
    // As the document window does, the lines written reload its grid1.
    void linesChanged(const QString &) override { refreshed << QStringLiteral("grid1"); }
};

class TstUsageImportDialog : public QObject
{
    Q_OBJECT

    Connection conn;
    LedgerInvariant ledgerHolds;
    ScriptedMessageBox *box = nullptr;
    QTemporaryDir home;
    std::unique_ptr<Caller> caller;
    Frm40BMx4 *dlg = nullptr;
    qint64 rec411 = 0;

    enum { ColCheck = 1, ColMtrAmt = 14, ColFrmInv = 15 };

    void stock(const QString &frmInv, double qty, const QString &moNo = QStringLiteral("MO1"))
    {
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No, Mtr_Amt) "
                         "VALUES ('SO1', ?, ?, 'A', 'F001', 'W01', '', ?)"),
                     {moNo, frmInv, qty});
    }
    // A fresh dialog over the caller, shown (not modal) so the grid takes clicks.
    void open()
    {
        delete dlg;
        dlg = new Frm40BMx4(caller.get());
        dlg->W_Prop_Duty = QStringLiteral("0");
        dlg->setHost(caller.get());
        dlg->setDocument(true, 2, QString(), rec411);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
    }
    template <class T>
    T *child(const char *name)
    {
        return dlg->findChild<T *>(QLatin1String(name));
    }
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
            out << (g->cellChecked(r, ColCheck) == FlexGrid::Checked ? QStringLiteral("+") : QStringLiteral("-")) +
                       g->textMatrix(r, ColFrmInv) + QLatin1Char(':') + g->textMatrix(r, ColMtrAmt);
        return out;
    }
    // Types a quantity into row's cell; true when the entry was accepted.
    bool typeQuantity(int row, const QString &text)
    {
        FlexGrid *g = grid();
        g->setFocus();
        g->setCurrentCell(row, ColMtrAmt);
        QTest::keyClick(g, Qt::Key_F2);
        // The view deletes an editor it has closed, so it is watched, not kept.
        QPointer<QLineEdit> editor = openEditor();
        if (!editor)
            return false;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::qWait(20);
        return !editor || !editor->isVisible();
    }
    QStringList ticks()
    {
        QStringList out;
        for (const QString &row : rows())
            out << row.left(1);
        return out;
    }
    QLineEdit *openEditor()
    {
        for (QLineEdit *e : grid()->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }
    void save(const QString &buttonName, int answer)
    {
        box->answer(answer);
        QTest::mouseClick(button(buttonName.toLatin1().constData()), Qt::LeftButton);
    }
    // Written lines as "receipt:quantity".
    QStringList written()
    {
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT Frm_Inv, Mtr_Amt FROM Mmst412 WHERE Rec_411 = ? ORDER BY Rec_412"))
                .bind(rec411)
                .select();
        QStringList out;
        for (qint64 i = 0; i < rs.rowCount(); ++i)
            out << rs.text(i, 0) + QLatin1Char(':') + QString::number(rs.value(i, 1).toDouble());
        return out;
    }

private slots:
    void initTestCase() { Environment::setNow(QDateTime(QDate(2026, 12, 9), QTime(10, 0))); }
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
        ledgerHolds.open(conn);
    }
    void cleanup()
    {
        ModalRunner::setDriver({});
        delete dlg;
        dlg = nullptr;
        caller.reset();
        delete box;
        box = nullptr;
        LEDGER_HOLDS(ledgerHolds);
        conn.close();
    }

    void searchTicksEveryProposal()
    {
        // Nothing to save before a search.
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(!button("Cmd_Find")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isEnabled());

        search(QStringLiteral("MO1"));
        // The larger source first; each proposes what it holds, up to the need of 10.
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
        // The manufacturing order and order of one need show as one cell.
        QVERIFY(grid()->mergeCol(2) && grid()->mergeCol(3));
        QVERIFY(!grid()->mergeCol(4));
        QCOMPARE(grid()->mergedRows(2, 2), qMakePair(1, 2));
        QCOMPARE(grid()->mergedRows(2, 3), qMakePair(1, 2));
        QVERIFY(grid()->mergeCells() != FlexGrid::MergeNever);
        QCOMPARE(grid()->textMatrix(1, 2) + QLatin1Char('/') + grid()->textMatrix(1, 13), QStringLiteral("MO1/10"));
        QVERIFY(button("Cmd_Ok")->isEnabled());
        QVERIFY(child<QCheckBox>("CheckBox1")->isEnabled() && child<QCheckBox>("CheckBox1")->isChecked());
        QVERIFY(!button("Cmd_Find")->isEnabled());
        QVERIFY(box->shown().isEmpty());

        // Select-all, by click or Alt+A, clears and ticks every row.
        QTest::mouseClick(child<QCheckBox>("CheckBox1"), Qt::LeftButton);
        QCOMPARE(ticks(), (QStringList{"-", "-"}));
        QTest::keyClick(dlg, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(ticks(), (QStringList{"+", "+"}));
    }

    void searchReplacesTheProposal_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("message");
        QTest::newRow("no rows") << false << "没有符合查询条件的记录";
        QTest::newRow("failure") << true << "sele_data";
    }
    void searchReplacesTheProposal()
    {
        QFETCH(bool, fails);
        QFETCH(QString, message);
        search(QStringLiteral("MO1"));
        QCOMPARE(rows().size(), 2);
        if (fails)
            TestDb::exec(conn, QStringLiteral("DROP TABLE mmst903"));
        search(fails ? QStringLiteral("MO") : QStringLiteral("MO9"));
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.contains(message), qPrintable(box->last().text));
        QCOMPARE(box->last().form, QStringLiteral("Frm40BMx4"));
        // The earlier proposal is gone: nothing of it can be saved.
        QVERIFY(rows().isEmpty());
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isEnabled());
        QVERIFY(!child<QCheckBox>("CheckBox1")->isChecked());
    }

    // A search that runs beyond half a second says so and can be stopped:
    // stopped, it proposes nothing and says nothing more, and the search
    // stays open for another try.
    void aLongSearchCanBeStopped()
    {
        // The search's own statement, in its own thread, is held up 1.5 s.
        Sql::setObserver([](const Connection &, const QString &, const QList<QVariant> &) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                QThread::msleep(1500);
        });
        QString label, stopText;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto *waiting = dlg->findChild<QProgressDialog *>();
            auto *stop = waiting ? waiting->findChild<QPushButton *>() : nullptr;
            if (!stop || !waiting->isVisible() || !label.isEmpty())
                return;
            label = waiting->labelText();
            stopText = stop->text();
            QTest::mouseClick(stop, Qt::LeftButton);
        });
        watch.start();
        search(QStringLiteral("MO1"));
        watch.stop();
        Sql::setObserver(nullptr);
        QCOMPARE(label, QStringLiteral("正在查找符合条件的用量, 请稍候..."));
        QCOMPARE(stopText, QStringLiteral("停止查找"));
        QVERIFY(rows().isEmpty());
        QVERIFY(box->shown().isEmpty());
        QVERIFY(!button("Cmd_Ok")->isEnabled());
        QVERIFY(button("Cmd_Find")->isEnabled());
        QVERIFY(!dlg->findChild<QProgressDialog *>());
        // The next search, not held up, proposes as ever, without the window.
        search(QStringLiteral("MO1"));
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
        QVERIFY(box->shown().isEmpty());
    }

    void saveWritesTickedRowsAfterYes()
    {
        search(QStringLiteral("MO1"));
        clickCell(2, ColCheck); // untick PI1
        QVERIFY(typeQuantity(1, QStringLiteral("5")));
        QCOMPARE(rows(), (QStringList{"+PI2:5", "-PI1:6"}));
        save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);

        QCOMPARE(box->last().text, QStringLiteral("确认要保存当前选择的数据到生产领料单吗?"));
        QCOMPARE(box->last().style, 36);
        QCOMPARE(box->last().form, runContext().Msg_Delete);
        QCOMPARE(box->last().messageId, QStringLiteral("Menu_Delete_Click_2"));
        QCOMPARE(written(), QStringList{"PI2:5"});
        const ResultSet rs =
            Sql(conn, QStringLiteral("SELECT Mo_No, Order_No, Rec_611, Stock_Mode, Upd_Name, Upd_Date, P_Mtr, Bar_No "
                                     "FROM Mmst412"))
                .select();
        QCOMPARE((QStringList{rs.text(0, 0), rs.text(0, 1), rs.text(0, 2), rs.text(0, 3), rs.text(0, 4),
                              rs.value(0, 5).toDate().toString(Qt::ISODate), rs.text(0, 6), rs.text(0, 7)}),
                 (QStringList{"MO1", "SO1", "1", "2", "陈志明", "2026-12-09", "BP01", "W01"}));
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
    }

    void closing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("refreshes");
        QTest::newRow("OK, No") << "Cmd_Ok" << int(MessageAnswer::No) << QStringList{} << 0;
        QTest::newRow("Cancel, No") << "Cmd_Cancel" << int(MessageAnswer::No) << QStringList{} << 0;
        QTest::newRow("Cancel, Yes") << "Cmd_Cancel" << int(MessageAnswer::Yes) << QStringList{"PI2:8", "PI1:6"} << 1;
        QTest::newRow("nothing ticked, Yes") << "untick" << int(MessageAnswer::Yes) << QStringList{} << 1;
        QTest::newRow("Esc") << "Esc" << 0 << QStringList{} << 0;
    }
    void closing()
    {
        QFETCH(QString, how);
        QFETCH(int, answer);
        QFETCH(QStringList, expected);
        QFETCH(int, refreshes);
        search(QStringLiteral("MO1"));
        if (how == QLatin1String("Esc")) {
            QTest::keyClick(grid(), Qt::Key_Escape);
        } else {
            if (how == QLatin1String("untick"))
                QTest::mouseClick(child<QCheckBox>("CheckBox1"), Qt::LeftButton);
            save(how == QLatin1String("untick") ? QStringLiteral("Cmd_Ok") : how, answer);
        }
        QCOMPARE(box->texts(), answer ? QStringList{"确认要保存当前选择的数据到生产领料单吗?"} : QStringList{});
        QCOMPARE(written(), expected);
        QCOMPARE(caller->refreshed.size(), refreshes);
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
        QCOMPARE(grid()->textMatrix(1, ColMtrAmt), cell);
        if (!accepted)
            QTest::keyClick(openEditor(), Qt::Key_Escape);
        // What the cell holds is what is saved.
        save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);
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
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("expected");
        // Four sources, all ticked: PI4, PI3, PI2, PI1.
        QTest::newRow("downwards") << 1 << 3 << "shift" << QStringList{"-", "-", "-", "+"};
        QTest::newRow("upwards") << 4 << 2 << "shift" << QStringList{"+", "-", "-", "-"};
        QTest::newRow("without shift") << 1 << 3 << "" << QStringList{"-", "+", "-", "+"};
        QTest::newRow("another key after shift") << 1 << 3 << "shift,right" << QStringList{"-", "+", "-", "+"};
        // Shift with another modifier held is not Shift alone.
        QTest::newRow("control and shift") << 1 << 3 << "ctrlshift" << QStringList{"-", "+", "-", "+"};
    }
    void shiftTicksARange()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, keys);
        QFETCH(QStringList, expected);
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst381"));
        for (int i = 1; i <= 4; ++i)
            stock(QStringLiteral("PI%1").arg(i), i);
        search(QStringLiteral("MO1"));
        QCOMPARE(ticks(), (QStringList{"+", "+", "+", "+"}));
        clickCell(first, ColCheck);
        if (keys.startsWith(QLatin1String("shift")))
            QTest::keyPress(grid(), Qt::Key_Shift, Qt::ShiftModifier);
        if (keys == QLatin1String("ctrlshift"))
            QTest::keyPress(grid(), Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
        if (keys.endsWith(QLatin1String("right")))
            QTest::keyClick(grid(), Qt::Key_Right);
        clickCell(second, ColCheck);
        QCOMPARE(ticks(), expected);

        // A range is used once: the next tick changes its own row only.
        clickCell(2, ColCheck);
        expected[1] = expected[1] == QLatin1String("+") ? QStringLiteral("-") : QStringLiteral("+");
        QCOMPARE(ticks(), expected);
    }

    void failedSaveWritesNothingAndStaysOpen()
    {
        search(QStringLiteral("MO1"));
        // The server refuses the second line: the first is not kept either.
        TestDb::exec(conn, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Mmst412 WHEN "
                                          "(SELECT COUNT(*) FROM Mmst412) >= 1 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);
        QCOMPARE(box->shown().size(), 2);
        QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_Click")), qPrintable(box->last().text));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toInt(), 0);
        QVERIFY(caller->refreshed.isEmpty());
        QVERIFY(dlg->isVisible());
        QVERIFY(button("Cmd_Ok")->isEnabled());
    }

    // Another clerk deletes or approves the document while this one ticks
    // its needs: nothing is written, the clerk is told why in the system's
    // words, and the document's grid is read again.
    void documentMovedMeanwhile_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("told");
        QTest::newRow("deleted") << "DELETE FROM Mmst411"
                                 << "此单已被他人删除!";
        QTest::newRow("approved") << "UPDATE Mmst411 SET Status = '2'"
                                  << "此单已审核, 不能进行修改!";
        QTest::newRow("closed") << "UPDATE Mmst411 SET Status = '7'"
                                << "此单已结案, 不能进行修改!";
    }
    void documentMovedMeanwhile()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, told);
        search(QStringLiteral("MO1"));
        TestDb::exec(conn, meanwhile);
        save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);
        QCOMPARE(box->last().text, told);
        QCOMPARE(box->last().form, QStringLiteral("Frm40BMx4"));
        QCOMPARE(box->last().messageId, QStringLiteral("Check_OK_1"));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412")).scalar().toInt(), 0);
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
        QVERIFY(!dlg->isVisible());
    }

    void importThroughTheOpener_data()
    {
        QTest::addColumn<bool>("byOrder");
        QTest::addColumn<bool>("production");
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("expected");
        // The order's bill of material needs 4; the outsourcing order 5. By
        // order, only stock of the order without manufacturing order counts.
        QTest::newRow("order bill of material") << true << true << 2 << "导入订单Bom用量(Frm40BMx4)"
                                                << "PI9:4";
        QTest::newRow("outsourcing order") << false << false << 1 << "导入制单用量(Frm40BMx4)"
                                           << "PI9:5";
    }
    void importThroughTheOpener()
    {
        QFETCH(bool, byOrder);
        QFETCH(bool, production);
        QFETCH(int, stockMode);
        QFETCH(QString, caption);
        QFETCH(QString, expected);
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Mmst01123 (Rec_011, Rec_611, Mtr_Amt, Mtr_Loss) VALUES (1, 1, 4, 0)"));
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst121 (Rec_121, Pcs_No, Status) VALUES (1, 'WF1', '2')"));
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst1213 (Rec_121, Rec_111, Rec_611, Mtr_Amt, Loss_Amt) VALUES (1, 1, 1, 4, 1)"));
        stock(QStringLiteral("PI9"), 7, QStringLiteral(""));
        delete dlg;
        dlg = nullptr;
        QPointer<Frm40BMx4> seen;
        ModalRunner::setDriver([&](QDialog *d) {
            d->show();
            if (!QTest::qWaitForWindowExposed(d))
                return -1;
            seen = dlg = qobject_cast<Frm40BMx4 *>(d);
            [&] {
                QVERIFY(dlg);
                QCOMPARE(d->windowTitle(), caption);
                QCOMPARE(child<HeadItem>("Mo_No")->isVisible(), !byOrder);
                QTest::keyClicks(child<QComboBox>("Order_No"), QStringLiteral("so"));
                QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
                // A single row opens ticked, with select-all open and ticked.
                QCOMPARE(rows(), QStringList{"+" + expected});
                QVERIFY(child<QCheckBox>("CheckBox1")->isEnabled() && child<QCheckBox>("CheckBox1")->isChecked());
                save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);
            }();
            dlg = nullptr;
            return d->result();
        });
        runUsageImport(*caller, caller.get(),
                       {caption, QStringLiteral("0"), byOrder, production, stockMode, QStringLiteral("WF1"), rec411,
                        conn, HistoryActor{QString(), QStringLiteral("陈志明"), QString()}});
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(!seen); // released after use
        QCOMPARE(written(), QStringList{expected});
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Stock_Mode FROM Mmst412")).scalar().toString(),
                 QString::number(stockMode));
        QCOMPARE(caller->refreshed, QStringList{"grid1"});
    }

    void sortKeepsTicksWithTheirRows()
    {
        search(QStringLiteral("MO1"));
        clickCell(1, ColCheck); // untick PI2
        FlexGrid *g = grid();
        QHeaderView *header = g->horizontalHeader();
        const int section = ColMtrAmt - g->fixedCols();
        const auto clickHeader = [&] {
            g->scrollTo(g->model()->index(0, section));
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        // The first click sorts descending (as shown), the second ascending.
        clickHeader();
        QCOMPARE(rows(), (QStringList{"-PI2:8", "+PI1:6"}));
        clickHeader();
        QCOMPARE(rows(), (QStringList{"+PI1:6", "-PI2:8"}));
        // Rows are numbered in their new order; the current row keeps its
        // marker and the current cell goes back to its tick box.
        QCOMPARE((QStringList{g->textMatrix(1, 0), g->textMatrix(2, 0)}), (QStringList{"★", "2"}));
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), int(ColCheck));
        save(QStringLiteral("Cmd_Ok"), MessageAnswer::Yes);
        QCOMPARE(written(), QStringList{"PI1:6"});
    }

    void pickersFillTheirFields()
    {
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst011 (Rec_011, Order_No, Status) VALUES (2, 'SO2', '2'), (3, 'SX3', '2')"));
        TestDb::exec(
            conn,
            QStringLiteral("INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Type) VALUES (2, 'BAG1', '背包', '1')"));
        TestDb::exec(
            conn,
            QStringLiteral(
                "INSERT INTO mmst111 (Rec_111, Mo_No, Rec_011, Status) VALUES (2, 'MO2', 1, '2'), (3, 'MX3', 1, '2')"));
        TestDb::exec(conn,
                     QStringLiteral(
                         "INSERT INTO mmst112 (Rec_111, Rec_611, Mtr_Amt) VALUES (1, 2, 100), (2, 2, 50), (3, 2, 50)"));
        QStringList listed;
        ModalRunner::setDriver([&](QDialog *d) {
            auto *g = d->findChild<FlexGrid *>(QStringLiteral("Grid1"));
            listed.clear();
            for (int r = g->fixedRows(); r < g->rows(); ++r)
                listed << g->textMatrix(r, 0);
            g->setCurrentCell(2, 0); // the user picks the second row
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_0")), Qt::LeftButton);
            return d->result();
        });
        // Listed by the typed prefix whatever its case.
        QTest::keyClicks(child<QComboBox>("Order_No"), QStringLiteral("so"));
        QTest::mouseClick(child<QToolButton>("Cmd_order_brow"), Qt::LeftButton);
        QCOMPARE(listed, (QStringList{"SO1", "SO2"}));
        QCOMPARE(child<QComboBox>("Order_No")->currentText(), QStringLiteral("SO2"));
        child<QComboBox>("Order_No")->setEditText(QStringLiteral("SO1"));

        // Manufacturing orders newest first.
        QTest::keyClicks(child<HeadItem>("Mo_No")->editor(), QStringLiteral("mo"));
        QTest::mouseClick(child<QToolButton>("Cmd_Mtr_Brow"), Qt::LeftButton);
        QCOMPARE(listed, (QStringList{"MO2", "MO1"}));
        QCOMPARE(child<HeadItem>("Mo_No")->text(), QStringLiteral("MO1"));
        QVERIFY(button("Cmd_Find")->isEnabled());
        QTest::mouseClick(button("Cmd_Find"), Qt::LeftButton);
        QCOMPARE(rows(), (QStringList{"+PI2:8", "+PI1:6"}));
    }
};

QTEST_MAIN(TstUsageImportDialog)
#include "tst_usageimportdialog.moc"
