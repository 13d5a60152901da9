// The grid control on its own: bound and free data, sorting, the current
// cell, user resizing and editing, driven through a shown grid.
#include "platform/db/Sql.h"
#include "platform/ui/FlexGrid.h"

#include <QDate>
#include <QHeaderView>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>

namespace {

// id, code, qty, made: numbers, texts of mixed case, dates and one null.
std::shared_ptr<ResultSet> sample()
{
    auto rs = std::make_shared<ResultSet>();
    rs->setColumns({QStringLiteral("id"), QStringLiteral("code"), QStringLiteral("qty"), QStringLiteral("made")});
    rs->appendRow({1, QStringLiteral("b"), 10.5, QDate(2024, 3, 1)});
    rs->appendRow({2, QStringLiteral("A"), 2, QDate(2023, 12, 31)});
    rs->appendRow({3, QStringLiteral("c"), 100, QVariant()});
    rs->appendRow({4, QStringLiteral("a"), 2, QDate(2024, 1, 15)});
    return rs;
}

QStringList column(const FlexGrid &g, int col)
{
    QStringList out;
    for (int r = g.fixedRows(); r < g.rows(); ++r)
        out.append(g.textMatrix(r, col));
    return out;
}

// id and one value of every kind, in no order: texts of both cases, ties
// among texts, numbers (-0 and 0, a flag) and dates, two nulls, an empty text.
std::shared_ptr<ResultSet> mixedKinds()
{
    auto rs = std::make_shared<ResultSet>();
    rs->setColumns({QStringLiteral("id"), QStringLiteral("val")});
    const QList<QVariant> values = {QStringLiteral("b"),
                                    3,
                                    QVariant(),
                                    QDate(2024, 1, 2),
                                    QStringLiteral("B"),
                                    2.5,
                                    -0.0,
                                    QDateTime(QDate(2024, 1, 1), QTime(10, 0)),
                                    qint64(0),
                                    true,
                                    QStringLiteral(""),
                                    QDate(2024, 1, 1),
                                    QStringLiteral("a"),
                                    QVariant(),
                                    QStringLiteral("物料10"),
                                    QStringLiteral("物料9"),
                                    -7};
    for (int i = 0; i < values.size(); ++i)
        rs->appendRow({i + 1, values.at(i)});
    return rs;
}

QStringList ids(const QList<int> &list)
{
    QStringList out;
    for (int id : list)
        out.append(QString::number(id));
    return out;
}

QPoint centre(const FlexGrid &g, int row, int col)
{
    return g.cellRect(row, col).center();
}

} // namespace

class TstFlexGrid : public QObject
{
    Q_OBJECT

    std::unique_ptr<FlexGrid> grid;

    void bindSample()
    {
        grid->setDataMode(FlexGrid::BoundBatch);
        grid->setDataSource(sample());
    }

private slots:
    void init()
    {
        grid = std::make_unique<FlexGrid>();
        grid->setObjectName(QStringLiteral("Grid1"));
        grid->resize(600, 300);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    }
    void cleanup() { grid.reset(); }

    void boundGridShowsTheSourceAsText()
    {
        bindSample();
        QCOMPARE(grid->rows(), 5);
        QCOMPARE(grid->cols(), 5);
        QCOMPARE(grid->textMatrix(0, 2), QStringLiteral("code"));
        QCOMPARE(grid->colKey(3), QStringLiteral("qty"));
        QCOMPARE(grid->colIndex(QStringLiteral("MADE")), 4);
        QCOMPARE(column(*grid, 3), QStringList({"10.5", "2", "100", "2"}));
        QCOMPARE(column(*grid, 4), QStringList({"2024-03-01", "2023-12-31", "", "2024-01-15"}));
        // The row-number column counts data rows from 1.
        QCOMPARE(column(*grid, 0), QStringList({"1", "2", "3", "4"}));
        // A caption written over the field name replaces it; the key stays.
        grid->setTextMatrix(0, 2, QStringLiteral("代号"));
        QCOMPARE(grid->textMatrix(0, 2), QStringLiteral("代号"));
        QCOMPARE(grid->colKey(2), QStringLiteral("code"));
    }

    void sortOrdersByKind_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("ids");
        // Numbers as numbers (100 after 10.5), equal values keep source order.
        QTest::newRow("numbers ascending") << 3 << true << QStringList({"2", "4", "1", "3"});
        QTest::newRow("numbers descending") << 3 << false << QStringList({"3", "1", "2", "4"});
        // Texts without regard to case, ties in source order.
        QTest::newRow("texts ascending") << 2 << true << QStringList({"2", "4", "1", "3"});
        // Dates as dates; the empty value first.
        QTest::newRow("dates ascending") << 4 << true << QStringList({"3", "2", "4", "1"});
        QTest::newRow("dates descending") << 4 << false << QStringList({"1", "4", "2", "3"});
    }
    void sortOrdersByKind()
    {
        QFETCH(int, col);
        QFETCH(bool, ascending);
        QFETCH(QStringList, ids);
        bindSample();
        QSignalSpy before(grid.get(), &FlexGrid::beforeDataRefresh);
        QSignalSpy after(grid.get(), &FlexGrid::afterDataRefresh);
        QVERIFY(grid->sortBound(col, ascending));
        QCOMPARE(column(*grid, 1), ids);
        QCOMPARE(before.count(), 1);
        QCOMPARE(after.count(), 1);
        // The source keeps its order; only the grid's view of it changed.
        QCOMPARE(grid->dataSource()->text(0, 0), QStringLiteral("1"));
        QCOMPARE(column(*grid, 0), QStringList({"1", "2", "3", "4"}));
    }

    void sortOrdersMixedKindsStably_data()
    {
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("order");
        // Empty, then numbers, dates, texts; -0 equals 0, a flag counts as 1;
        // "b" and "B" are one text; equal values keep their source order.
        QTest::newRow("ascending") << true << ids({3, 14, 17, 7, 9, 10, 6, 2, 12, 8, 4, 11, 13, 1, 5, 15, 16});
        // Descending reverses the comparison, not the rows: ties stay in source order.
        QTest::newRow("descending") << false << ids({16, 15, 1, 5, 13, 11, 4, 8, 12, 2, 6, 10, 7, 9, 17, 3, 14});
    }
    void sortOrdersMixedKindsStably()
    {
        QFETCH(bool, ascending);
        QFETCH(QStringList, order);
        grid->setDataMode(FlexGrid::BoundBatch);
        grid->setDataSource(mixedKinds());
        QVERIFY(grid->sortBound(2, ascending));
        QCOMPARE(column(*grid, 1), order);
        QCOMPARE(grid->sortOrder(), ascending ? FlexGrid::SortAscending : FlexGrid::SortDescending);
        // A result set put in order the same way, as free grids keep theirs.
        ResultSet copy = *mixedKinds();
        QVERIFY(FlexGrid::sortResultSet(copy, 1, ascending));
        QStringList sortedIds;
        for (qint64 r = 0; r < copy.rowCount(); ++r)
            sortedIds.append(copy.text(r, 0));
        QCOMPARE(sortedIds, order);
    }

    // Many rows with many ties: the grid's order is the one a stable sort
    // comparing kinds, numbers and case-folded texts gives.
    void sortAgreesWithAComparisonSort()
    {
        QRandomGenerator random(20261209);
        const QStringList texts = {"物料名称1", "物料名称10", "物料名称2", "Ab",     "aB",      "ab", "ab ",
                                   "",          "M-000123",   "m-000123",  "Straße", "STRASSE", "z"};
        auto rs = std::make_shared<ResultSet>();
        rs->setColumns({QStringLiteral("id"), QStringLiteral("val")});
        const int rows = 5000;
        for (int i = 0; i < rows; ++i) {
            QVariant v;
            switch (random.bounded(6)) {
            case 0:
                break; // null
            case 1:
                v = qint64(random.bounded(7)) - 3;
                break;
            case 2:
                v = (random.bounded(13) - 6) / 4.0; // -0 among them
                break;
            case 3:
                v = QDate(2026, 1, 1).addDays(random.bounded(5));
                break;
            default:
                v = texts.at(random.bounded(int(texts.size())));
                break;
            }
            rs->appendRow({i, v});
        }
        const auto kind = [](const QVariant &v) {
            if (!v.isValid() || v.isNull())
                return 0;
            if (v.typeId() == QMetaType::QDate)
                return 2;
            return v.typeId() == QMetaType::QString ? 3 : 1;
        };
        const auto less = [&](const QVariant &a, const QVariant &b) {
            if (kind(a) != kind(b))
                return kind(a) < kind(b);
            switch (kind(a)) {
            case 1:
                return a.toDouble() < b.toDouble();
            case 2:
                return a.toDate() < b.toDate();
            case 3:
                return a.toString().toCaseFolded() < b.toString().toCaseFolded();
            default:
                return false;
            }
        };
        grid->setDataMode(FlexGrid::BoundBatch);
        grid->setDataSource(rs);
        for (const bool ascending : {true, false}) {
            std::vector<qint64> expected(rows);
            std::iota(expected.begin(), expected.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](qint64 a, qint64 b) {
                const QVariant &va = rs->value(a, 1);
                const QVariant &vb = rs->value(b, 1);
                return ascending ? less(va, vb) : less(vb, va);
            });
            QVERIFY(grid->sortBound(2, ascending));
            std::vector<qint64> shown;
            for (int r = grid->fixedRows(); r < grid->rows(); ++r)
                shown.push_back(grid->sourceRow(r));
            QVERIFY2(shown == expected, ascending ? "ascending" : "descending");
        }
    }

    void freeSortReadsTextsAsNumbersWhereTheyAreOne_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("ids");
        // Empty first, then texts that read as numbers by value, then texts
        // without regard to case; equal ones keep their order both ways.
        QTest::newRow("ascending") << int(FlexGrid::SortAscending) << ids({3, 6, 4, 2, 7, 1, 5, 8});
        QTest::newRow("descending") << int(FlexGrid::SortDescending) << ids({8, 1, 5, 7, 2, 4, 6, 3});
    }
    void freeSortReadsTextsAsNumbersWhereTheyAreOne()
    {
        QFETCH(int, order);
        QFETCH(QStringList, ids);
        grid->setCols(3);
        grid->setRows(1);
        const QStringList texts = {"b", "10", "", "9", "B", " 7 ", "a", "x1"};
        for (int i = 0; i < texts.size(); ++i)
            grid->addItem(QStringLiteral("\t") + texts.at(i) + u'\t' + QString::number(i + 1));
        grid->sortFree(1, FlexGrid::SortOrder(order));
        QCOMPARE(column(*grid, 2), ids);
    }

    void sortRefusesRawBytesAndUnboundColumns()
    {
        auto rs = std::make_shared<ResultSet>();
        rs->setColumns({QStringLiteral("blob")});
        rs->appendRow({QByteArray("x")});
        grid->setDataMode(FlexGrid::BoundBatch);
        grid->setDataSource(rs);
        grid->setCols(3); // one more column than the source has fields
        QSignalSpy refreshed(grid.get(), &FlexGrid::afterDataRefresh);
        QVERIFY(!grid->sortBound(1, true));
        QVERIFY(!grid->sortBound(2, true));
        QCOMPARE(refreshed.count(), 0);
    }

    void cursorFollowsTheCurrentRowAfterASort()
    {
        bindSample();
        grid->sortBound(3, false); // ids 3, 1, 2, 4
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid.get(), centre(*grid, 2, 2)));
        QCOMPARE(grid->row(), 2);
        QCOMPARE(grid->dataSource()->fieldText(QStringLiteral("id")), QStringLiteral("1"));
        QCOMPARE(grid->sourceRow(2), 0);
    }

    void editsWriteThroughAndKeepNumbersNumeric()
    {
        bindSample();
        grid->setTextMatrix(1, 3, QStringLiteral("1")); // id 1 now has the smallest qty
        QCOMPARE(grid->dataSource()->value(0, 2).toDouble(), 1.0);
        grid->sortBound(3, true);
        QCOMPARE(column(*grid, 1).first(), QStringLiteral("1"));
    }

    void freeGridIsShapedByRowsColsAndItems()
    {
        grid->setCols(3);
        grid->setRows(1);
        grid->addItem(QStringLiteral("\tx\t10"));
        grid->addItem(QStringLiteral("\ty\t9"));
        grid->addItem(QStringLiteral("\tz\t100"), 1); // inserted before the first data row
        QCOMPARE(grid->rows(), 4);
        QCOMPARE(column(*grid, 1), QStringList({"z", "x", "y"}));
        grid->removeItem(2);
        QCOMPARE(column(*grid, 1), QStringList({"z", "y"}));
        // With header sorting on, clicks sort ascending, then descending; numbers as numbers.
        QSignalSpy sorted(grid.get(), &FlexGrid::afterSort);
        grid->setHeaderClickSorts(true);
        QHeaderView *h = grid->horizontalHeader();
        const QPoint header = h->viewport()->mapFrom(grid.get(), centre(*grid, 0, 2));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, header);
        QCOMPARE(column(*grid, 2), QStringList({"9", "100"}));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, header);
        QCOMPARE(column(*grid, 2), QStringList({"100", "9"}));
        QCOMPARE(sorted.count(), 2);
        QCOMPARE(sorted.last().at(1).toInt(), int(FlexGrid::SortDescending));
        // Shrinking to the header row leaves no data; the header stays.
        grid->setTextMatrix(0, 1, QStringLiteral("名称"));
        grid->setRows(0);
        QCOMPARE(grid->rows(), 1);
        QCOMPARE(grid->textMatrix(0, 1), QStringLiteral("名称"));
    }

    void columnPropertiesSurviveRebinding()
    {
        bindSample();
        grid->setColWidth(2, 1234);
        grid->setColHidden(3, true);
        grid->setColAlignment(2, 7);
        QCOMPARE(grid->colWidth(2), 1234); // twips are kept, not rounded to pixels
        QCOMPARE(grid->columnWidth(1), 1234 / 15);
        grid->setDataSource(sample());
        QCOMPARE(grid->colWidth(2), 1234);
        QVERIFY(grid->colHidden(3));
        QVERIFY(grid->isColumnHidden(2));
        QCOMPARE(grid->colAlignment(2), 7);
        // A moved column keeps its field, key and width.
        grid->setColPosition(2, 4);
        QCOMPARE(grid->colKey(4), QStringLiteral("code"));
        QCOMPARE(grid->textMatrix(1, 4), QStringLiteral("b"));
        QCOMPARE(grid->colWidth(4), 1234);
    }

    void mergedColumnsJoinEqualNeighbours_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("firstRow");
        QTest::addColumn<int>("lastRow");
        // col 1: a a a b ; col 2: x x y y
        QTest::newRow("free run in col 2") << int(FlexGrid::MergeFree) << 1 << 1 << 2;
        QTest::newRow("free run below") << int(FlexGrid::MergeFree) << 4 << 3 << 4;
        // Restricted: row 4 cannot join row 3 because col 1 changes there.
        QTest::newRow("restricted") << int(FlexGrid::MergeRestrictColumns) << 4 << 4 << 4;
        QTest::newRow("never") << int(FlexGrid::MergeNever) << 1 << 1 << 1;
    }
    void mergedColumnsJoinEqualNeighbours()
    {
        QFETCH(int, mode);
        QFETCH(int, row);
        QFETCH(int, firstRow);
        QFETCH(int, lastRow);
        grid->setCols(3);
        for (const char *line : {"\ta\tx", "\ta\tx", "\ta\ty", "\tb\ty"})
            grid->addItem(QString::fromLatin1(line));
        grid->setMergeCells(FlexGrid::MergeMode(mode));
        grid->setMergeCol(1, true);
        grid->setMergeCol(2, true);
        QCOMPARE(grid->mergedRows(row, 2), qMakePair(firstRow, lastRow));
    }

    void clickingCellsAndHeadersTracksTheMouse()
    {
        bindSample();
        QSignalSpy moved(grid.get(), &FlexGrid::afterRowColChange);
        QSignalSpy up(grid.get(), &FlexGrid::mouseUp);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid.get(), centre(*grid, 3, 2)));
        QCOMPARE(grid->row(), 3);
        QCOMPARE(grid->col(), 2);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.first().at(2).toInt(), 3);
        QCOMPARE(grid->text(), QStringLiteral("c"));
        // A click on a header cell reports row 0 and leaves the current cell alone.
        QHeaderView *h = grid->horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, h->viewport()->mapFrom(grid.get(), centre(*grid, 0, 3)));
        QCOMPARE(grid->mouseRow(), 0);
        QCOMPARE(grid->mouseCol(), 3);
        QCOMPARE(grid->row(), 3);
        QCOMPARE(up.count(), 2);
    }

    void userResizeCanBeRefused_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("allowed") << false;
        QTest::newRow("refused") << true;
    }
    void userResizeCanBeRefused()
    {
        QFETCH(bool, refuse);
        bindSample();
        grid->setColWidth(2, 1500);
        int asked = -2;
        connect(grid.get(), &FlexGrid::beforeUserResize, this, [&](int row, int col, bool *cancel) {
            QCOMPARE(row, -1);
            asked = col;
            *cancel = refuse;
        });
        QSignalSpy done(grid.get(), &FlexGrid::afterUserResize);
        QHeaderView *h = grid->horizontalHeader();
        const int x = h->sectionViewportPosition(1) + h->sectionSize(1) - 1;
        const int y = h->height() / 2;
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(x, y));
        QTest::mouseMove(h->viewport(), QPoint(x + 30, y));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(x + 30, y));
        QCOMPARE(asked, 2);
        QCOMPARE(grid->colWidth(2), refuse ? 1500 : 1500 + 30 * 15);
        QCOMPARE(done.count(), refuse ? 0 : 1);
    }

    void checkBoxesToggleOnlyWhenEditable_data()
    {
        QTest::addColumn<int>("editable");
        QTest::addColumn<bool>("refuseEdit");
        QTest::addColumn<int>("expected");
        QTest::newRow("read-only grid") << int(FlexGrid::EditNone) << false << int(FlexGrid::Checked);
        QTest::newRow("editable") << int(FlexGrid::EditKbdMouse) << false << int(FlexGrid::Unchecked);
        QTest::newRow("edit refused") << int(FlexGrid::EditKbdMouse) << true << int(FlexGrid::Checked);
    }
    void checkBoxesToggleOnlyWhenEditable()
    {
        QFETCH(int, editable);
        QFETCH(bool, refuseEdit);
        QFETCH(int, expected);
        bindSample();
        grid->setEditable(FlexGrid::Editable(editable));
        grid->setCellChecked(2, 1, FlexGrid::Checked);
        connect(grid.get(), &FlexGrid::beforeEdit, this, [&](int, int, bool *cancel) { *cancel = refuseEdit; });
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid.get(), centre(*grid, 2, 1)));
        QCOMPARE(int(grid->cellChecked(2, 1)), expected);
        // The tick belongs to the source row, so it follows the row through a sort.
        grid->sortBound(1, false);
        QCOMPARE(int(grid->cellChecked(3, 1)), expected);
    }

    void refusedEntryKeepsTheEditorOpen()
    {
        grid->setCols(2);
        grid->addItem(QStringLiteral("\t5"));
        grid->setEditable(FlexGrid::EditKbd);
        connect(grid.get(), &FlexGrid::validateEdit, this,
                [&](int, int, bool *cancel) { *cancel = grid->editText().toDouble() < 0; });
        grid->setCurrentCell(1, 1);
        grid->setFocus();
        QTest::keyClick(grid.get(), Qt::Key_F2);
        auto *editor = grid->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("-3"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::qWait(20); // the view commits an accepted entry from its event queue
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("5"));
        QVERIFY(editor->isVisible());
        editor->setText(QStringLiteral("7"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(grid->textMatrix(1, 1), QStringLiteral("7"));
    }

    void frozenCellsAreEditedWhereTheyAreSeen()
    {
        // Grid columns 1 (ticks) and 2 (a quantity) frozen; the rest scroll.
        grid->resize(200, 200);
        grid->setCols(7);
        for (int i = 0; i < 3; ++i)
            grid->addItem(QStringLiteral("\t\t%1\ta\tb\tc\td").arg(i + 1));
        for (int c = 1; c < 7; ++c)
            grid->setColWidth(c, 1200);
        grid->setFrozenCols(2);
        grid->setEditable(FlexGrid::EditKbdMouse);
        grid->setCellChecked(2, 1, FlexGrid::Unchecked);
        QList<int> beforeEdits;
        connect(grid.get(), &FlexGrid::beforeEdit, this, [&](int, int col, bool *) { beforeEdits << col; });
        grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
        QVERIFY(grid->horizontalScrollBar()->value() > 0);

        // A click on the frozen tick toggles it, through the grid's checks.
        const QPoint tick = centre(*grid, 2, 1);
        QWidget *under = grid->childAt(tick);
        QVERIFY(under && under != grid->viewport());
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(grid.get(), tick));
        QCOMPARE(int(grid->cellChecked(2, 1)), int(FlexGrid::Checked));
        QCOMPARE(beforeEdits, QList<int>{1});

        // Typing into a frozen cell opens the editor over it, in view.
        grid->setCurrentCell(3, 2);
        grid->setFocus();
        QTest::keyClick(grid.get(), Qt::Key_F2);
        QCOMPARE(beforeEdits, (QList<int>{1, 2}));
        QLineEdit *editor = under->findChild<QLineEdit *>();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->mapTo(grid.get(), QPoint(0, 0)).x(), grid->cellRect(3, 2).left());
        editor->setText(QStringLiteral("9"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(grid->textMatrix(3, 2), QStringLiteral("9"));
        QVERIFY(grid->horizontalScrollBar()->value() > 0);
    }
};

QTEST_MAIN(TstFlexGrid)
#include "tst_flexgrid.moc"
