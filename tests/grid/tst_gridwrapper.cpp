// The grid wrapper on a real window: row numbers and the current-row marker,
// keeping the user's place, resizing rules and their immediate save, header
// sorting, the settings dialog, copying, tool tips and the double click.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "grid/ExcelExport.h"
#include "grid/GridCol.h"
#include "grid/GridSettingsDialog.h"
#include "grid/KestoVSFlexgrid.h"
#include "platform/db/Sql.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"

#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("mmss40BGrid1");
const QString kMarker = QStringLiteral("\u2605");

// A document window as the module builds one: a named window around its grid,
// editing the row the wrapper asks for on a double click.
class DocWindow : public QWidget
{
    Q_OBJECT
public:
    DocWindow()
    {
        setObjectName(QStringLiteral("mmss40B"));
        auto *layout = new QVBoxLayout(this);
        other = new QLineEdit(this);
        grid = new FlexGrid(this);
        grid->setObjectName(QStringLiteral("Grid1"));
        layout->addWidget(other);
        layout->addWidget(grid);
        resize(700, 400);
    }
    QString W_Click;
    int edits = 0;
    FlexGrid *grid;
    QLineEdit *other;

    void Menu_Edit_Click() { ++edits; }
};

QList<int> markerRows(const FlexGrid &g)
{
    QList<int> rows;
    for (int r = 0; r < g.rows(); ++r)
        if (g.textMatrix(r, 0) == kMarker)
            rows.append(r);
    return rows;
}

QStringList columnTexts(const FlexGrid &g, int col)
{
    QStringList out;
    for (int r = g.fixedRows(); r < g.rows(); ++r)
        out.append(g.textMatrix(r, col));
    return out;
}

// The widget under the centre of a cell, and the point there in its coordinates.
QWidget *under(FlexGrid *g, int row, int col, QPoint *local)
{
    const QPoint p = g->cellRect(row, col).center();
    QWidget *w = g->childAt(p);
    *local = w->mapFrom(g, p);
    return w;
}

void click(FlexGrid *g, int row, int col)
{
    QPoint p;
    QWidget *w = under(g, row, col, &p);
    QTest::mouseClick(w, Qt::LeftButton, {}, p);
}

void doubleClick(FlexGrid *g, int row, int col)
{
    QPoint p;
    QWidget *w = under(g, row, col, &p);
    QTest::mouseDClick(w, Qt::LeftButton, {}, p);
}

// Drags the far border of a column (or, for row >= 0, of a row) by delta pixels.
void dragBorder(FlexGrid *g, int row, int col, int delta)
{
    const bool isRow = row >= 0;
    QHeaderView *h = isRow ? g->verticalHeader() : g->horizontalHeader();
    const int section = isRow ? row - g->fixedRows() : col - g->fixedCols();
    const int edge = h->sectionViewportPosition(section) + h->sectionSize(section) - 1;
    const QPoint from = isRow ? QPoint(h->width() / 2, edge) : QPoint(edge, h->height() / 2);
    const QPoint to = from + (isRow ? QPoint(0, delta) : QPoint(delta, 0));
    QTest::mousePress(h->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(h->viewport(), to);
    QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, to);
}

} // namespace

class TstGridWrapper : public QObject
{
    Q_OBJECT

    Connection conn;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedMessageBox> box;
    std::unique_ptr<DocWindow> window;
    std::unique_ptr<Kesto_VSFlexgrid> wrapper;
    QString ini;

    FlexGrid *grid() const { return window->grid; }

    std::shared_ptr<ResultSet> lines()
    {
        return std::make_shared<ResultSet>(
            Sql(conn, QStringLiteral("SELECT id, code, qty, memo, extra FROM grid_lines ORDER BY id")).select());
    }

    // Attaches the way the document windows do, then binds the lines.
    void attach(bool autoLocation = false, bool variantCols = false, bool dbClickEdit = false,
                const QString &gridName = {})
    {
        wrapper->SetVariantCols(variantCols);
        wrapper->Grid(grid(), ini, true, gridName, QString(), true, QString(), autoLocation, dbClickEdit);
        grid()->setDataMode(FlexGrid::BoundBatch);
        grid()->setDataSource(lines());
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::freshSqlite();
        runContext().Conn = conn;
        TestDb::exec(conn, QStringLiteral("CREATE TABLE grid_lines (id INTEGER, code TEXT, qty REAL, memo TEXT, "
                                          "extra TEXT)"));
        const QList<QList<QVariant>> rows = {{1, "M-01", 12.5, "a", "x"}, {2, "M-02", 3, "b", "y"},
                                             {3, "M-03", 40, "c", "z"},   {4, "M-04", 7.25, "d", "w"},
                                             {5, "M-05", 100, "e", "v"},  {6, "M-06", 3, "f", "u"}};
        for (const auto &r : rows)
            TestDb::exec(conn, QStringLiteral("INSERT INTO grid_lines VALUES (?, ?, ?, ?, ?)"), r);
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        ini = dir->filePath(QStringLiteral("user.ini"));
        // qty has an empty visible flag: shown, but its width is not the user's to change.
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[mmss40BGrid1]\r\nField0=id,编号,900,4,7,True\r\nField1=code,代号,1200,4,1,True\r\n"
                               "Field2=qty,数量,1000,4,7,\r\nField3=memo,备注,800,4,1,False\r\nRowHeight=300\r\n"
                               "FrozenCols=0\r\n")
                    .toUtf8());
        f.close();
        box = std::make_unique<ScriptedMessageBox>();
        window = std::make_unique<DocWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        wrapper = std::make_unique<Kesto_VSFlexgrid>();
        connect(wrapper.get(), &Kesto_VSFlexgrid::editRequested, window.get(), [w = window.get()](const QString &name) {
            w->W_Click = name;
            w->Menu_Edit_Click();
        });
    }

    void cleanup()
    {
        ModalRunner::setDriver({});
        ExcelExport::setFileChooser({});
        wrapper.reset();
        window.reset();
        box.reset();
        TestDb::exec(conn, QStringLiteral("DELETE FROM grid_lines WHERE id > 6"));
    }

    void attachingAppliesTheUsersLayout()
    {
        attach();
        QCOMPARE(wrapper->formName(), QStringLiteral("mmss40B"));
        QCOMPARE(wrapper->gridName(), QStringLiteral("Grid1"));
        QCOMPARE(grid()->cols(), 5); // four layout columns after the row numbers
        QCOMPARE(grid()->textMatrix(0, 0), QStringLiteral("No"));
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("代号"));
        QCOMPARE(grid()->colWidth(2), 1200);
        QVERIFY(grid()->colHidden(4));
        QCOMPARE(grid()->rowHeight(3), 300);
        QCOMPARE(grid()->colAlignment(0), 4);
    }

    void markerStaysOnExactlyTheCurrentRow()
    {
        attach();
        QCOMPARE(markerRows(*grid()), QList<int>({1}));
        click(grid(), 4, 2);
        QCOMPARE(grid()->row(), 4);
        QCOMPARE(markerRows(*grid()), QList<int>({4}));
        QCOMPARE(grid()->textMatrix(1, 0), QStringLiteral("1"));
        QTest::keyClick(grid(), Qt::Key_Down);
        QCOMPARE(markerRows(*grid()), QList<int>({5}));
        QCOMPARE(columnTexts(*grid(), 0), QStringList({"1", "2", "3", "4", kMarker, "6"}));
    }

    void keepsThePlaceAcrossRefreshes_data()
    {
        QTest::addColumn<bool>("autoLocation");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("deleteLast");
        QTest::addColumn<int>("expected");
        QTest::newRow("same rows") << true << 3 << false << 3;
        QTest::newRow("last row deleted") << true << 7 << true << 6;
        QTest::newRow("without keep-place") << false << 3 << false << 1;
    }
    void keepsThePlaceAcrossRefreshes()
    {
        QFETCH(bool, autoLocation);
        QFETCH(int, selected);
        QFETCH(bool, deleteLast);
        QFETCH(int, expected);
        TestDb::exec(conn, QStringLiteral("INSERT INTO grid_lines VALUES (7, 'M-07', 1, 'g', 't')"));
        attach(autoLocation);
        click(grid(), selected, 2);
        QCOMPARE(grid()->row(), selected);
        if (deleteLast)
            TestDb::exec(conn, QStringLiteral("DELETE FROM grid_lines WHERE id = 7"));
        grid()->setDataSource(lines());
        QCOMPARE(grid()->row(), expected);
        QCOMPARE(grid()->col(), autoLocation ? 2 : 0);
        QCOMPARE(markerRows(*grid()), QList<int>({expected}));
    }

    void resizeRulesAndImmediateSave_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("variantCols");
        QTest::addColumn<bool>("resizable");
        QTest::addColumn<QString>("storedLine");
        QTest::newRow("layout column") << 2 << false << true << QStringLiteral("code,代号,1650,4,1,True");
        QTest::newRow("empty visible flag") << 3 << false << false << QStringLiteral("qty,数量,1000,4,7,");
        QTest::newRow("column beyond the layout") << 5 << true << true << QString();
    }
    void resizeRulesAndImmediateSave()
    {
        QFETCH(int, col);
        QFETCH(bool, variantCols);
        QFETCH(bool, resizable);
        QFETCH(QString, storedLine);
        attach(false, variantCols);
        const int before = grid()->colWidth(col);
        dragBorder(grid(), -1, col, 30);
        QCOMPARE(grid()->colWidth(col), resizable ? before + 30 * 15 : before);
        if (!storedLine.isEmpty())
            QCOMPARE(IniFile::readString(ini, kSection, QStringLiteral("Field%1").arg(col - 1)), storedLine);
    }

    void rowNumberAndHiddenColumnsCannotBeDragged()
    {
        attach();
        // The border at the left edge of the first data column belongs to the row numbers.
        QHeaderView *h = grid()->horizontalHeader();
        const QPoint edge(1, h->height() / 2);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(h->viewport(), edge + QPoint(40, 0));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, edge + QPoint(40, 0));
        QCOMPARE(grid()->colWidth(0), 400);
        QCOMPARE(grid()->colWidth(1), 900);
        // The hidden column shows no header to grab, and its stored width stays.
        QVERIFY(grid()->cellRect(0, 4).isNull());
        QCOMPARE(IniFile::readString(ini, kSection, QStringLiteral("Field3")),
                 QStringLiteral("memo,备注,800,4,1,False"));
    }

    void rowDragSetsEveryRowAndIsSaved()
    {
        attach();
        dragBorder(grid(), 2, -1, 10);
        QCOMPARE(IniFile::readString(ini, kSection, QStringLiteral("RowHeight")), QStringLiteral("450"));
        QCOMPARE(grid()->rowHeight(5), 450);
        QCOMPARE(grid()->rowHeight(0), 450);
    }

    void headerClicksSortDescendingThenAscending_data()
    {
        QTest::addColumn<bool>("sortFlag");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        const QStringList unsorted = {"1", "2", "3", "4", "5", "6"};
        // qty 12.5, 3, 40, 7.25, 100, 3: numbers, ties in their own order.
        QTest::newRow("sorting") << true << QStringList({"5", "3", "1", "4", "2", "6"})
                                 << QStringList({"2", "6", "4", "1", "3", "5"});
        QTest::newRow("sort flag off") << false << unsorted << unsorted;
    }
    void headerClicksSortDescendingThenAscending()
    {
        QFETCH(bool, sortFlag);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        wrapper->Grid(grid(), ini, true, QString(), QString(), sortFlag, QString(), false, false);
        grid()->setDataMode(FlexGrid::BoundBatch);
        grid()->setDataSource(lines());
        click(grid(), 4, 2);
        click(grid(), 0, 3);
        QCOMPARE(columnTexts(*grid(), 1), first);
        QCOMPARE(markerRows(*grid()), QList<int>({sortFlag ? 1 : 4}));
        click(grid(), 0, 3);
        QCOMPARE(columnTexts(*grid(), 1), second);
        QCOMPARE(columnTexts(*grid(), 0).count(kMarker), 1);
    }

    void cornerDoubleClickOpensTheSettingsDialog_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("opens");
        QTest::newRow("corner") << QString() << 0 << 0 << true;
        QTest::newRow("other header") << QString() << 0 << 2 << false;
        // A grid without a layout has only its row-number column: any row of it opens.
        QTest::newRow("one-column grid") << QStringLiteral("GRID9") << 3 << 0 << true;
    }
    void cornerDoubleClickOpensTheSettingsDialog()
    {
        QFETCH(QString, gridName);
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(bool, opens);
        QStringList seen;
        ModalRunner::setDriver([&](QDialog *d) {
            auto *set = qobject_cast<mmss_set *>(d);
            if (!set)
                return int(QDialog::Rejected);
            seen << set->Get_FormName << set->Get_GridName << set->Gridc_File << set->W_GridRealName << set->W_Caption
                 << (set->Enabled_TO_Excel ? "excel" : "-") << (set->Parent_form == window.get() ? "parent" : "-");
            // What the user changes there reaches the grid when the dialog closes.
            IniFile::writeString(ini, kSection, QStringLiteral("Field1"),
                                 QStringLiteral("code,物料代号,1200,4,1,True"));
            return int(QDialog::Accepted);
        });
        wrapper->ShowExportMenu(true, QStringLiteral("生产领料单"));
        attach(false, false, false, gridName);
        QCOMPARE(grid()->cols(), gridName.isEmpty() ? 5 : 1);
        doubleClick(grid(), row, col);
        if (!opens) {
            QVERIFY(seen.isEmpty());
            return;
        }
        const QString section = gridName.isEmpty() ? QStringLiteral("Grid1") : gridName;
        QCOMPARE(seen, QStringList({"mmss40B", section, ini, "Grid1", "生产领料单", "excel", "parent"}));
        if (gridName.isEmpty())
            QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("物料代号"));
    }

    // Frozen columns on a grid too narrow for its columns.
    QTableView *frozenPart() const { return grid()->findChild<QTableView *>(QStringLiteral("FrozenColumns")); }
    void narrowWithFrozen(const QString &count)
    {
        QVERIFY(IniFile::writeString(ini, kSection, QStringLiteral("FrozenCols"), count));
        QVERIFY(
            IniFile::writeString(ini, kSection, QStringLiteral("Field3"), QStringLiteral("memo,备注,1600,4,1,True")));
        window->resize(260, 300);
        attach();
        QTest::qWait(1);
        QVERIFY(grid()->horizontalScrollBar()->maximum() > 0);
    }
    void scrollToTheLastColumn()
    {
        grid()->horizontalScrollBar()->setValue(grid()->horizontalScrollBar()->maximum());
        grid()->setCurrentCell(2, 4);
    }

    void frozenColumnsStayWhileTheOthersScroll()
    {
        narrowWithFrozen(QStringLiteral("1"));
        QCOMPARE(grid()->frozenCols(), 1);
        const int left = grid()->viewport()->geometry().left();
        QCOMPARE(grid()->cellRect(1, 1).left(), left);
        const int secondAtStart = grid()->cellRect(1, 2).left();
        scrollToTheLastColumn();
        QVERIFY(grid()->horizontalScrollBar()->value() > 0);
        // The frozen column is still at the left edge, drawn by the frozen part;
        // the scrolled ones pass under it and show right of it.
        for (int r = 1; r <= 3; ++r) {
            const QRect cell = grid()->cellRect(r, 1);
            QCOMPARE(cell.left(), left);
            QCOMPARE(grid()->childAt(cell.center()), frozenPart()->viewport());
            QCOMPARE(grid()->colAtPoint(cell.center()), 1);
            QCOMPARE(grid()->rowAtPoint(cell.center()), r);
        }
        QVERIFY(grid()->cellRect(1, 2).left() < secondAtStart);
        QVERIFY(grid()->cellRect(2, 4).left() >= left + grid()->cellRect(1, 1).width());
        QCOMPARE(grid()->leftCol(), grid()->colAtPoint(QPoint(left + grid()->cellRect(1, 1).width() + 1,
                                                              grid()->cellRect(1, 1).center().y())));
        // A click on a frozen cell makes it current and scrolls nothing away.
        const int scrolled = grid()->horizontalScrollBar()->value();
        click(grid(), 3, 1);
        QCOMPARE(grid()->row(), 3);
        QCOMPARE(grid()->col(), 1);
        QCOMPARE(grid()->horizontalScrollBar()->value(), scrolled);
        QCOMPARE(grid()->textMatrix(3, 1), QStringLiteral("3"));
        // A scrolling cell brought into view is not left under the frozen part.
        grid()->setCurrentCell(1, 2);
        QVERIFY(grid()->cellRect(1, 2).left() >= left + grid()->cellRect(1, 1).width());
    }

    void frozenPartFollowsSortWidthsAndRows()
    {
        narrowWithFrozen(QStringLiteral("2"));
        QTableView *frozen = frozenPart();
        QVERIFY(frozen && frozen->isVisible());
        scrollToTheLastColumn();
        // Sorting by a scrolling column: the frozen rows move with it.
        QVERIFY(grid()->sortBound(3, false));
        QCOMPARE(columnTexts(*grid(), 1), (QStringList{"5", "3", "1", "4", "2", "6"}));
        const auto aligned = [&] {
            for (int r = 1; r < grid()->rows(); ++r) {
                const QRect frozenCell = grid()->cellRect(r, 2);
                const QRect scrollingCell = grid()->cellRect(r, 4);
                if (frozenCell.top() != scrollingCell.top() || frozenCell.height() != scrollingCell.height())
                    return false;
                // What is drawn at the frozen cell is that row's frozen value.
                const QModelIndex shown = frozen->indexAt(frozen->viewport()->mapFrom(grid(), frozenCell.center()));
                if (shown.data().toString() != grid()->textMatrix(r, 2))
                    return false;
            }
            return true;
        };
        QVERIFY(aligned());
        // A width set on a frozen column reaches the frozen part, and the
        // scrolling columns start where it ends.
        grid()->setColWidth(1, 1500);
        grid()->horizontalScrollBar()->setValue(0);
        QCOMPARE(frozen->columnWidth(0), grid()->cellRect(1, 1).width());
        QCOMPARE(grid()->cellRect(1, 3).left(), grid()->cellRect(1, 2).right() + 1);
        QCOMPARE(frozen->width(), grid()->cellRect(1, 1).width() + grid()->cellRect(1, 2).width());
        // A border dragged in the frozen header is the user's resize, saved.
        QHeaderView *h = frozen->horizontalHeader();
        const int edge = h->sectionViewportPosition(1) + h->sectionSize(1) - 1;
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, h->height() / 2));
        QTest::mouseMove(h->viewport(), QPoint(edge + 15, h->height() / 2));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + 15, h->height() / 2));
        QCOMPARE(grid()->horizontalHeader()->sectionSize(1), h->sectionSize(1));
        QCOMPARE(IniFile::readString(ini, kSection, QStringLiteral("Field1")).section(u',', 2, 2),
                 QString::number(grid()->colWidth(2)));
        // Taller rows, scrolled down: both parts show the same rows.
        grid()->setRowHeight(-1, 600);
        grid()->setTopRow(4);
        QCOMPARE(frozen->rowAt(1), grid()->rowAt(1));
        scrollToTheLastColumn();
        QVERIFY(aligned());
    }

    // Every row of the frozen part sits beside the same row of the scrolling
    // part and shows that row's value of the frozen column.
    bool frozenRowsAligned(int frozenCol, int scrollingCol) const
    {
        QTableView *frozen = frozenPart();
        for (int r = 1; r < grid()->rows(); ++r) {
            const QRect frozenCell = grid()->cellRect(r, frozenCol);
            const QRect scrollingCell = grid()->cellRect(r, scrollingCol);
            if (frozenCell.isEmpty() || frozenCell.top() != scrollingCell.top() ||
                frozenCell.height() != scrollingCell.height())
                return false;
            const QModelIndex shown = frozen->indexAt(frozen->viewport()->mapFrom(grid(), frozenCell.center()));
            if (shown.data().toString() != grid()->textMatrix(r, frozenCol))
                return false;
        }
        return true;
    }

    void headerSortAfterTheFrozenCountChanged()
    {
        narrowWithFrozen(QStringLiteral("1"));
        ModalRunner::setDriver([&](QDialog *d) {
            auto *set = qobject_cast<mmss_set *>(d);
            if (!set)
                return int(QDialog::Rejected);
            set->show();
            auto *box = set->findChild<QLineEdit *>(QStringLiteral("FrozenCols"));
            box->setText(QStringLiteral("2"));
            emit box->editingFinished();
            set->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
            return set->result();
        });
        doubleClick(grid(), 0, 0);
        QCOMPARE(grid()->frozenCols(), 2);
        QVERIFY(frozenPart()->isVisible());
        QVERIFY(frozenRowsAligned(2, 3));
        // Header clicks on a scrolling column: descending, then ascending, and
        // the frozen part shows the sorted rows beside their scrolling cells.
        click(grid(), 0, 3);
        QCOMPARE(columnTexts(*grid(), 1), (QStringList{"5", "3", "1", "4", "2", "6"}));
        QCOMPARE(grid()->frozenCols(), 2);
        QVERIFY(frozenRowsAligned(2, 3));
        QVERIFY(frozenRowsAligned(1, 4));
        click(grid(), 0, 3);
        QCOMPARE(columnTexts(*grid(), 1), (QStringList{"2", "6", "4", "1", "3", "5"}));
        QVERIFY(frozenRowsAligned(2, 3));
        QCOMPARE(markerRows(*grid()), QList<int>({1}));
    }

    void settingsDialogFreezesAtOnce()
    {
        narrowWithFrozen(QStringLiteral("0"));
        QVERIFY(!frozenPart()->isVisible());
        ModalRunner::setDriver([&](QDialog *d) {
            auto *set = qobject_cast<mmss_set *>(d);
            if (!set)
                return int(QDialog::Rejected);
            set->show();
            auto *box = set->findChild<QLineEdit *>(QStringLiteral("FrozenCols"));
            box->setText(QStringLiteral("2"));
            emit box->editingFinished();
            set->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
            return set->result();
        });
        doubleClick(grid(), 0, 0);
        QCOMPARE(IniFile::readString(ini, kSection, QStringLiteral("FrozenCols")), QStringLiteral("2"));
        QCOMPARE(grid()->frozenCols(), 2);
        QVERIFY(frozenPart()->isVisible());
        scrollToTheLastColumn();
        QCOMPARE(grid()->cellRect(1, 2).left(), grid()->viewport()->geometry().left() + grid()->cellRect(1, 1).width());
        // A count that leaves nothing to scroll freezes nothing.
        grid()->setFrozenCols(4);
        QVERIFY(!frozenPart()->isVisible());
    }

    void ctrlCCopiesTheCurrentCell()
    {
        attach();
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        click(grid(), 3, 2);
        QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("M-03"));
        // Shift+Ctrl+C is not the copy key.
        click(grid(), 5, 2);
        QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("M-03"));
    }

    void toolTipsShowTheCellText()
    {
        wrapper->Grid(grid(), ini, true, QString(), QString(), true, QString(), false, false);
        grid()->setToolTipText(QStringLiteral("双击导出"));
        wrapper->SetToolTip(true);
        grid()->setDataMode(FlexGrid::BoundBatch);
        grid()->setDataSource(lines());
        // A refresh leaves the current cell in the row-number column: the grid's own tip.
        QCOMPARE(grid()->toolTip(), QStringLiteral("双击导出"));
        click(grid(), 2, 3);
        QCOMPARE(grid()->toolTip(), QStringLiteral("3"));
        QCOMPARE(grid()->model()->index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("3"));
    }

    void focusSwitchesTheSelectionColour()
    {
        attach();
        const QColor own(Qt::red);
        grid()->setBackColorSel(own);
        window->other->setFocus();
        grid()->setFocus();
        QTRY_COMPARE(grid()->backColorSel(), Kesto_VSFlexgrid::focusColor());
        window->other->setFocus();
        QTRY_COMPARE(grid()->backColorSel(), own);
    }

    void doubleClickOnADataCell_data()
    {
        QTest::addColumn<bool>("exportOn");
        QTest::addColumn<bool>("editOn");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("edits");
        QTest::newRow("export asks before replacing")
            << true << false << true << QStringList({"已存在，是否取代？"}) << 0;
        QTest::newRow("edit hand-off") << false << true << false << QStringList() << 1;
        QTest::newRow("neither") << false << false << false << QStringList() << 0;
    }
    void doubleClickOnADataCell()
    {
        QFETCH(bool, exportOn);
        QFETCH(bool, editOn);
        QFETCH(bool, fileExists);
        QFETCH(QStringList, messages);
        QFETCH(int, edits);
        const QString target = dir->filePath(QStringLiteral("out.xlsx"));
        if (fileExists) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep");
        }
        int chooserCalls = 0;
        ExcelExport::setFileChooser([&](QWidget *, const QString &, const QString &) {
            ++chooserCalls;
            return target;
        });
        box->answer(MessageAnswer::No);
        wrapper->ShowExportMenu(exportOn, QStringLiteral("生产领料单"));
        attach(false, false, editOn);
        doubleClick(grid(), 2, 2);
        QCOMPARE(chooserCalls, exportOn ? 1 : 0);
        QStringList shown;
        for (const MessageRequest &m : box->shown())
            shown << m.text.mid(target.size());
        QCOMPARE(shown, messages);
        QCOMPARE(window->edits, edits);
        QCOMPARE(window->W_Click, editOn ? QStringLiteral("GRID1") : QString());
        if (fileExists) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("keep"));
        }
    }

    void cellPicturesLoadAndShow()
    {
        const QString png = dir->filePath(QStringLiteral("bag.png"));
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(png));
        IniFile::writeString(ini, QStringLiteral("mmss40BGRIDP"), QStringLiteral("Field0"),
                             QStringLiteral("pic,图片,1500,4,1,True"));
        IniFile::writeString(ini, QStringLiteral("mmss40BGRIDP"), QStringLiteral("Field1"),
                             QStringLiteral("memo,备注,1500,4,1,False"));
        wrapper->Grid(grid(), ini, false, QStringLiteral("GRIDP"), QString(), false, QString(), false, false);
        QCOMPARE(grid()->rows(), 1); // a free grid starts with its header row only
        grid()->setRows(3);
        grid()->setTextMatrix(1, 1, png);
        grid()->setTextMatrix(2, 1, dir->filePath(QStringLiteral("missing.png")));
        grid()->setTextMatrix(1, 2, png);
        wrapper->LoadCellPicture(1);
        wrapper->LoadCellPicture(2); // hidden: left without pictures
        QCOMPARE(grid()->cellPicture(1, 1).size(), QSize(12, 8));
        QVERIFY(grid()->cellPicture(2, 1).isNull());
        QVERIFY(grid()->cellPicture(1, 2).isNull());

        QSize shown;
        ModalRunner::setDriver([&](QDialog *d) {
            if (d->objectName() == QStringLiteral("Display_Pict"))
                shown = d->findChild<QLabel *>(QStringLiteral("Picture"))->pixmap().size();
            return int(QDialog::Accepted);
        });
        doubleClick(grid(), 1, 1);
        QCOMPARE(shown, QSize(12, 8));
    }

    void columnDescriptorForwardsToTheGrid()
    {
        attach();
        GridCol col;
        col.Grid(grid(), 7);
        QCOMPARE(grid()->cols(), 8);
        QCOMPARE(col.Position(), 7);
        QCOMPARE(col.Name(), QStringLiteral("Grid1-7"));
        col.setCaption(QStringLiteral("合计"));
        col.setWidth(1500);
        col.setVisible(false);
        QCOMPARE(grid()->textMatrix(0, 7), QStringLiteral("合计"));
        QCOMPARE(grid()->colWidth(7), 1500);
        QVERIFY(grid()->colHidden(7));
        col.setPosition(2);
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("合计"));
        QCOMPARE(col.Position(), 2);
        QCOMPARE(col.Container(), grid());
    }
};

QTEST_MAIN(TstGridWrapper)
#include "tst_gridwrapper.moc"
