// The pickers: department and location trees, the generic list and the
// colour list, driven as a caller drives them (obtain, modal show, results).
#include "ModalDriving.h"
#include "TestSupport.h"

#include "context/RunContext.h"
#include "pickers/FrmBar_Tree.h"
#include "pickers/FrmList.h"
#include "pickers/FrmOrg.h"
#include "pickers/FrmcolorList.h"
#include "platform/db/Sql.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/HeadItem.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/SingleInstance.h"
#include "platform/ui/Twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <stdexcept>

namespace {

QTreeWidget *treeOf(QDialog *d)
{
    return d->findChild<QTreeWidget *>(QStringLiteral("tvwdb"));
}

QTreeWidgetItem *findNode(QTreeWidget *tree, const QString &text)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.first() : nullptr;
}

// The tree as indented lines "text [key]", depth first in display order.
void dump(const QTreeWidgetItem *item, int depth, QStringList &out)
{
    out << QString(depth * 2, QLatin1Char(' ')) + item->text(0) + QStringLiteral(" [") +
               item->data(0, TreePicker::KeyRole).toString() + QStringLiteral("]");
    for (int i = 0; i < item->childCount(); ++i)
        dump(item->child(i), depth + 1, out);
}

QStringList dump(QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        dump(tree->topLevelItem(i), 0, out);
    return out;
}

// Every root-to-node path of keys, in any order.
void paths(const QTreeWidgetItem *item, const QString &prefix, QStringList &out)
{
    const QString p =
        prefix + QLatin1Char('/') + item->data(0, TreePicker::KeyRole).toString() + QLatin1Char('=') + item->text(0);
    out << p;
    for (int i = 0; i < item->childCount(); ++i)
        paths(item->child(i), p, out);
}

void clickNode(QTreeWidget *tree, QTreeWidgetItem *node, bool doubleClick)
{
    tree->scrollToItem(node);
    const QPoint at = tree->visualItemRect(node).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    if (doubleClick)
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
}

void clickCell(FlexGrid *grid, int row, int col, bool doubleClick)
{
    const QRect cell = grid->cellRect(row, col);
    const QPoint at = grid->viewport()->mapFrom(grid, QPoint(cell.center().x(), cell.top() + 5));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    if (doubleClick)
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

FlexGrid *gridOf(QDialog *d)
{
    return d->findChild<FlexGrid *>(QStringLiteral("Grid1"));
}

QStringList listOutputs(const FrmList &list)
{
    return {list.List1(),  list.List2(),  list.List3(),  list.List4(),  list.List5(),  list.List6(),
            list.List7(),  list.List8(),  list.List9(),  list.List10(), list.List11(), list.List12(),
            list.List13(), list.List14(), list.List15(), list.List16()};
}

// Colour codes of the data rows, in display order.
QStringList codesOf(const FlexGrid *grid)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, 2);
    return out;
}

void typeInto(HeadItem *item, const QString &text)
{
    item->setFocus();
    QWidget *target = item->focusProxy() ? item->focusProxy() : item->editor();
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_Backspace);
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

const QString kRedColours =
    QStringLiteral("SELECT Color_No AS \"代号\", Color_Name AS \"名称\", Color_Ename AS \"英文\" "
                   "FROM mmst605 WHERE Type_No = ? ORDER BY Color_No");

} // namespace

class TstPickers : public QObject
{
    Q_OBJECT

    Connection conn;
    ScriptedMessageBox *box = nullptr;
    bool stillOpen = false;
    std::unique_ptr<QTemporaryDir> home;

    // Shows the picker as a caller does and hands it to act while it is up.
    template <class Picker>
    int runPicker(Picker &picker, const std::function<void(QDialog *)> &act)
    {
        return runModal(picker, act, &stillOpen);
    }

    void addOrg(const QString &no, const QString &name, const QString &level)
    {
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES (?, ?, ?)"),
                     {no, name, level});
    }

private slots:
    void init()
    {
        box = new ScriptedMessageBox;
        conn = TestDb::fresh();
        runContext().Conn = conn;
        home = std::make_unique<QTemporaryDir>();
        runContext().Ini_File = home->filePath(QStringLiteral("chen.ini"));
        stillOpen = false;
        addOrg(QStringLiteral("0002"), QStringLiteral("物控部"), QStringLiteral("0002"));
        addOrg(QStringLiteral("0001"), QStringLiteral("生产部"), QStringLiteral("0001"));
        addOrg(QStringLiteral("0001002"), QStringLiteral("车缝车间"), QStringLiteral("0001002"));
        addOrg(QStringLiteral("0001001"), QStringLiteral("裁床组"), QStringLiteral("0001001"));
        addOrg(QStringLiteral("00011"), QStringLiteral("五位代码"), QStringLiteral("00011"));
        addOrg(QStringLiteral("0009001"), QStringLiteral("无上级"), QStringLiteral("0009001"));
        for (const auto &[no, type] : {std::pair{"01", "黑白灰"}, {"03", "红橙色系"}})
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst604 (Type_No, Color_Type) VALUES (?, ?)"),
                         {QString::fromUtf8(no), QString::fromUtf8(type)});
        const QVariant null;
        const QList<QList<QVariant>> colours{{"BK", "黑色", "Black", "01"},      {"WH", "白色", "White", "01"},
                                             {"DR", "深红色", "Dark Red", "03"}, {"RD", "红色", "Red", "03"},
                                             {"SC", "红色", "Scarlet", "03"},    {"OR", "橙色", null, "03"}};
        for (const QList<QVariant> &c : colours)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO mmst605 (Color_No, Color_Name, Color_Ename, Type_No) "
                                        "VALUES (?, ?, ?, ?)"),
                         {c[0].toString(), QString::fromUtf8(c[1].toByteArray()), c[2], c[3]});
        // Customers' own English names: one given, one left empty.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst6051 (Color_No, Color_Ename) VALUES ('BK', 'Jet Black'), "
                                          "('RD', ''), ('SC', 'Crimson')"));
        for (const auto &[no, name] : {std::pair{"A001", "原料仓"}, {"A001001", "面料区"}, {"A002", "成品仓"}})
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst903 (Bar_No, Bar_Name) VALUES (?, ?)"),
                         {QString::fromUtf8(no), QString::fromUtf8(name)});
    }
    void cleanup()
    {
        FrmOrg::release();
        FrmBar_Tree::release();
        FrmList::release();
        FrmcolorList::release();
        ModalRunner::setDriver({});
        delete box;
        box = nullptr;
    }

    void departmentTreeOpensFullyExpanded()
    {
        FrmOrg &picker = FrmOrg::obtain();
        QCOMPARE(picker.windowTitle(), QStringLiteral("组织选择(FrmOrg)"));
        QTreeWidget *tree = treeOf(&picker);
        QVERIFY(tree);
        // Sorted by text at every level; the five-character code and the
        // child without a parent are nowhere.
        const QStringList expected{
            QStringLiteral("公司 [A]"),
            QStringLiteral("  生产部 [0001]"),
            QStringLiteral("    裁床组 [0001001]"),
            QStringLiteral("    车缝车间 [0001002]"),
            QStringLiteral("  物控部 [0002]"),
        };
        QCOMPARE(dump(tree), expected);
        QCOMPARE(picker.currentKey(), QStringLiteral("A"));
        QTreeWidgetItemIterator it(tree);
        for (; *it; ++it) {
            QVERIFY2((*it)->isExpanded() || (*it)->childCount() == 0, qPrintable((*it)->text(0)));
            QCOMPARE((*it)->data(0, TreePicker::ImageRole).toInt(), 2);
        }

        // Folding a node gives it the closed image, opening it the open one.
        QTreeWidgetItem *prod = findNode(tree, QStringLiteral("生产部"));
        prod->setExpanded(false);
        QCOMPARE(prod->data(0, TreePicker::ImageRole).toInt(), 1);
        prod->setExpanded(true);
        QCOMPARE(prod->data(0, TreePicker::ImageRole).toInt(), 2);
    }

    void locationTree()
    {
        FrmBar_Tree &picker = FrmBar_Tree::obtain();
        QCOMPARE(picker.windowTitle(), QStringLiteral("仓位选择(FrmBar_Tree)"));
        const QStringList expected{
            QStringLiteral("仓位资料 [A]"),
            QStringLiteral("  成品仓 [A002]"),
            QStringLiteral("  原料仓 [A001]"),
            QStringLiteral("    面料区 [A001001]"),
        };
        QCOMPARE(dump(treeOf(&picker)), expected);

        const int r = runPicker(picker, [](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            clickNode(tree, findNode(tree, QStringLiteral("面料区")), true);
        });
        QCOMPARE(r, int(QDialog::Accepted));
        QCOMPARE(picker.Bar_Name(), QStringLiteral("面料区"));
        QCOMPARE(picker.Bar_ID(), QStringLiteral("A001001"));
    }

    void choosingADepartment_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("double click") << "dblclick";
        QTest::newRow("Enter in the tree") << "enter";
        QTest::newRow("OK button") << "ok";
        QTest::newRow("F5") << "f5";
    }
    void choosingADepartment()
    {
        QFETCH(QString, how);
        FrmOrg &picker = FrmOrg::obtain();
        const int r = runPicker(picker, [&](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            clickNode(tree, findNode(tree, QStringLiteral("车缝车间")), how == QLatin1String("dblclick"));
            if (how == QLatin1String("enter"))
                QTest::keyClick(tree, Qt::Key_Return);
            else if (how == QLatin1String("ok"))
                QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Cmd_Ok")), Qt::LeftButton);
            else if (how == QLatin1String("f5"))
                QTest::keyClick(tree, Qt::Key_F5);
        });
        QCOMPARE(r, int(QDialog::Accepted));
        QVERIFY(!stillOpen);
        QCOMPARE(picker.Org_No(), QStringLiteral("0001002"));
        QCOMPARE(picker.Org_Name(), QStringLiteral("车缝车间"));
        QCOMPARE(picker.Org_ID(), QStringLiteral("0001002"));
        QVERIFY(box->shown().isEmpty());
    }

    void rootChoosesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("double click") << "dblclick";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("OK button") << "ok";
    }
    void rootChoosesNothing()
    {
        QFETCH(QString, how);
        FrmOrg &picker = FrmOrg::obtain();
        QWidget *focusAfter = nullptr;
        runPicker(picker, [&](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            auto *ok = d->findChild<QPushButton *>(QStringLiteral("Cmd_Ok"));
            if (how == QLatin1String("dblclick")) {
                clickNode(tree, tree->topLevelItem(0), true);
            } else if (how == QLatin1String("enter")) {
                tree->setFocus();
                QTest::keyClick(tree, Qt::Key_Enter);
            } else {
                ok->setFocus();
                QTest::mouseClick(ok, Qt::LeftButton);
            }
            focusAfter = QApplication::focusWidget();
        });
        QVERIFY(stillOpen);
        QCOMPARE(picker.currentKey(), QStringLiteral("A"));
        QCOMPARE(picker.Org_No(), QString());
        QCOMPARE(picker.Org_Name(), QString());
        QCOMPARE(picker.Org_ID(), QString());
        QVERIFY(box->shown().isEmpty());
        QCOMPARE(focusAfter, treeOf(&picker)); // OK on the root sends the user to the tree
    }

    void emptyHierarchy_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("message");
        QTest::newRow("departments") << "mmst001"
                                     << "FrmOrg"
                                     << "请先建立组织!";
        QTest::newRow("locations") << "mmst903"
                                   << "FrmBar_Tree"
                                   << "请先建立仓位资料!";
    }
    void emptyHierarchy()
    {
        QFETCH(QString, table);
        QFETCH(QString, form);
        QFETCH(QString, message);
        TestDb::exec(conn, QStringLiteral("DELETE FROM ") + table);
        // A five-character code alone still leaves the tree empty.
        if (table == QLatin1String("mmst001"))
            addOrg(QStringLiteral("00011"), QStringLiteral("五位代码"), QStringLiteral("00011"));
        QDialog *picker = form == QLatin1String("FrmOrg") ? static_cast<QDialog *>(&FrmOrg::obtain())
                                                          : static_cast<QDialog *>(&FrmBar_Tree::obtain());
        QCOMPARE(treeOf(picker)->topLevelItem(0)->childCount(), 0);
        const int r = runPicker(*picker, [](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            clickNode(tree, tree->topLevelItem(0), true);
        });
        QCOMPARE(r, int(QDialog::Rejected));
        QVERIFY(!stillOpen);
        QCOMPARE(box->texts(), QStringList{message});
        QCOMPARE(box->last().form, form);
        QCOMPARE(box->last().style, 64);
        if (form == QLatin1String("FrmOrg"))
            QCOMPARE(FrmOrg::obtain().Org_ID(), QString());
        else
            QCOMPARE(FrmBar_Tree::obtain().Bar_ID(), QString());
    }

    void sharedNameGivesTheChosenDepartmentsNumber()
    {
        // The first row the database returns for the name is the other one.
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst001"));
        addOrg(QStringLiteral("D-001"), QStringLiteral("包装组"), QStringLiteral("0001001"));
        addOrg(QStringLiteral("D-002"), QStringLiteral("包装组"), QStringLiteral("0002001"));
        addOrg(QStringLiteral("0001"), QStringLiteral("生产部"), QStringLiteral("0001"));
        addOrg(QStringLiteral("0002"), QStringLiteral("物控部"), QStringLiteral("0002"));
        FrmOrg &picker = FrmOrg::obtain();
        runPicker(picker, [](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            QTreeWidgetItem *second = findNode(tree, QStringLiteral("物控部"))->child(0);
            clickNode(tree, second, true);
        });
        QCOMPARE(picker.Org_Name(), QStringLiteral("包装组"));
        QCOMPARE(picker.Org_ID(), QStringLiteral("0002001"));
        QCOMPARE(picker.Org_No(), QStringLiteral("D-002"));
    }

    void closingWithoutChoiceAndReleasing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("cancel button") << "cancel";
    }
    void closingWithoutChoiceAndReleasing()
    {
        QFETCH(QString, how);
        FrmOrg *picker = &FrmOrg::obtain();
        runPicker(*picker, [](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            clickNode(tree, findNode(tree, QStringLiteral("裁床组")), true);
        });
        QCOMPARE(picker->Org_ID(), QStringLiteral("0001001"));
        // Shown again without release: the earlier choice stays.
        const int r = runPicker(*picker, [&](QDialog *d) {
            QTreeWidget *tree = treeOf(d);
            clickNode(tree, findNode(tree, QStringLiteral("物控部")), false);
            if (how == QLatin1String("esc"))
                QTest::keyClick(tree, Qt::Key_Escape);
            else
                QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("cmd_quit")), Qt::LeftButton);
        });
        QCOMPARE(r, int(QDialog::Rejected));
        QVERIFY(!stillOpen);
        QCOMPARE(picker->Org_ID(), QStringLiteral("0001001"));
        // After release the next use starts empty.
        FrmOrg::release();
        picker = &FrmOrg::obtain();
        QCOMPARE(picker->Org_No(), QString());
        QCOMPARE(picker->Org_ID(), QString());
    }

    void listChoosesARow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Enter") << "enter";
        QTest::newRow("F5") << "f5";
        QTest::newRow("double click") << "dblclick";
        QTest::newRow("OK button") << "ok";
    }
    void listChoosesARow()
    {
        QFETCH(QString, how);
        FrmList &list = FrmList::obtain();
        list.setW_Select_Data(kRedColours, {QStringLiteral("03")});
        QCOMPARE(list.windowTitle(), QStringLiteral("明细列表"));
        FlexGrid *grid = gridOf(&list);
        // No row-number column: grid columns are the statement's columns.
        QCOMPARE(grid->cols(), 3);
        QCOMPARE(grid->rows(), 5);
        QCOMPARE((QStringList{grid->textMatrix(0, 0), grid->textMatrix(0, 1), grid->textMatrix(0, 2)}),
                 (QStringList{"代号", "名称", "英文"}));
        // Every row 350 twips high, header included (as whole pixels).
        QCOMPARE(grid->rowHeight(0), 350);
        QCOMPARE(twipsToPixels(grid->rowHeight(3)), twipsToPixels(350));

        const int r = runPicker(list, [&](QDialog *d) {
            FlexGrid *g = gridOf(d);
            clickCell(g, 3, 1, how == QLatin1String("dblclick"));
            if (how == QLatin1String("enter"))
                QTest::keyClick(g, Qt::Key_Return);
            else if (how == QLatin1String("f5"))
                QTest::keyClick(g, Qt::Key_F5);
            else if (how == QLatin1String("ok"))
                QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_0")), Qt::LeftButton);
        });
        QCOMPARE(r, int(QDialog::Accepted));
        QVERIFY(!stillOpen);
        QStringList expected{"RD", "红色", "Red"};
        for (int i = 3; i < 16; ++i)
            expected << QString();
        QCOMPARE(listOutputs(list), expected);
        QCOMPARE(list.List(0), QStringLiteral("RD"));
        QCOMPARE(list.List(2), QStringLiteral("Red"));
        QCOMPARE(list.List(3), QString());
        QCOMPARE(list.List(-1), QString());
        // Closing forgets the statement and unbinds the grid.
        QCOMPARE(list.W_Select_Data(), QString());
        QVERIFY(!grid->dataSource());
    }

    // The lists show whole texts: every column as wide as its longest
    // text, the window as wide as its columns within the screen, and the
    // last row above the scroll bar once scrolled to the end.
    void listsShowWholeTexts()
    {
        const QString spec = QStringLiteral("1680D双股牛津布 PU涂层 防水等级W4 幅宽150cm 克重420g/m2 背面贴合3mm海绵");
        for (int i = 0; i < 40; ++i)
            TestDb::exec(conn, QStringLiteral("INSERT INTO mmst605 (Color_No, Color_Name, Type_No) VALUES (?, ?, '03')"),
                         {QStringLiteral("L%1").arg(i, 2, 10, QLatin1Char('0')),
                          i == 7 ? QStringLiteral("深邃午夜蓝带金属光泽珠光效果") : QStringLiteral("色%1").arg(i)});
        const auto wholeTexts = [](QDialog *d, FlexGrid *grid, int firstColumn) {
            QVERIFY(grid->rows() > 20);
            const QFontMetrics fm(grid->font());
            for (int c = firstColumn; c < grid->cols(); ++c)
                for (int r = grid->fixedRows(); r < grid->rows(); ++r)
                    QVERIFY2(fm.horizontalAdvance(grid->textMatrix(r, c)) < twipsToPixels(grid->colWidth(c)),
                             qPrintable(grid->textMatrix(r, c)));
            QVERIFY(d->screen()->availableGeometry().contains(d->frameGeometry()));
            grid->scrollToBottom();
            QCoreApplication::processEvents();
            const QRect last = grid->cellRect(grid->rows() - 1, firstColumn);
            QVERIFY(!last.isEmpty());
            QVERIFY2(grid->viewport()->geometry().contains(last),
                     qPrintable(QStringLiteral("%1 below %2").arg(last.bottom()).arg(grid->viewport()->geometry().bottom())));
        };

        FrmList &list = FrmList::obtain();
        list.setW_Select_Data(QStringLiteral("SELECT Color_No AS 代号, Color_Name AS 名称, ? AS 规格 FROM mmst605 "
                                             "ORDER BY Color_No"),
                              {spec});
        runPicker(list, [&](QDialog *d) {
            wholeTexts(d, gridOf(d), 0);
            d->reject();
        });
        FrmList::release();

        FrmcolorList &colours = FrmcolorList::obtain();
        colours.setShow_Ename(true);
        runPicker(colours, [&](QDialog *d) {
            wholeTexts(d, gridOf(d), 1);
            d->reject();
        });
        FrmcolorList::release();
    }

    void listClosedWithoutChoice_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("cancel button") << "cancel";
    }
    void listClosedWithoutChoice()
    {
        QFETCH(QString, how);
        const auto cancel = [&](QDialog *d) {
            clickCell(gridOf(d), 1, 0, false);
            if (how == QLatin1String("esc"))
                QTest::keyClick(gridOf(d), Qt::Key_Escape);
            else
                QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_1")), Qt::LeftButton);
        };
        FrmList &list = FrmList::obtain();
        list.setW_Select_Data(kRedColours, {QStringLiteral("03")});
        QCOMPARE(runPicker(list, cancel), int(QDialog::Rejected));
        QVERIFY(!stillOpen);
        QCOMPARE(list.List1(), QString());

        // Used again without release: a cancel keeps the earlier choice.
        list.setW_Select_Data(kRedColours, {QStringLiteral("01")});
        runPicker(list, [](QDialog *d) { clickCell(gridOf(d), 2, 0, true); });
        QCOMPARE(list.List1(), QStringLiteral("WH"));
        list.setW_Select_Data(kRedColours, {QStringLiteral("03")});
        runPicker(list, cancel);
        QCOMPARE(list.List1(), QStringLiteral("WH"));
        QCOMPARE(list.List2(), QStringLiteral("白色"));
    }

    // A caller that fails after its choice still gives the list back: the
    // next use starts empty.
    void aFailingUseStillReleasesTheList()
    {
        QPointer<FrmList> used;
        try {
            ScopedInstance<FrmList> list;
            used = list.get();
            list->setW_Select_Data(kRedColours, {QStringLiteral("01")});
            runPicker(*list, [](QDialog *d) { clickCell(gridOf(d), 2, 0, true); });
            QCOMPARE(list->List1(), QStringLiteral("WH"));
            throw std::runtime_error("the caller fails with the choice in hand");
        } catch (const std::runtime_error &) {
        }
        QVERIFY(!used);
        FrmList &next = FrmList::obtain();
        QCOMPARE(next.List1(), QString());
        QCOMPARE(next.List(0), QString());
    }

    void aScopedUseReleasedEarlyIsReleasedOnce()
    {
        FrmOrg *kept = nullptr;
        {
            ScopedInstance<FrmOrg> picker;
            runPicker(*picker, [](QDialog *d) {
                QTreeWidget *tree = treeOf(d);
                clickNode(tree, findNode(tree, QStringLiteral("裁床组")), true);
            });
            QCOMPARE(picker->Org_ID(), QStringLiteral("0001001"));
            picker.release();
            QVERIFY(!picker.get());
            // A use begun after the early release is not ended by the handle's scope.
            kept = &FrmOrg::obtain();
            QCOMPARE(kept->Org_ID(), QString());
        }
        QPointer<FrmOrg> alive(kept);
        QVERIFY(alive);
        QCOMPARE(&FrmOrg::obtain(), kept);
    }

    void listWithNothingToChoose_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("reported");
        QTest::newRow("empty result") << kRedColours << "";
        QTest::newRow("failing statement") << "SELECT Color_No FROM no_such_table WHERE 1 = ?"
                                           << "Form_Load";
    }
    void listWithNothingToChoose()
    {
        QFETCH(QString, sql);
        QFETCH(QString, reported);
        FrmList &list = FrmList::obtain();
        list.setW_Select_Data(sql, {QStringLiteral("99")});
        if (reported.isEmpty()) {
            QVERIFY(box->shown().isEmpty());
        } else {
            QCOMPARE(box->shown().size(), 1);
            QCOMPARE(box->last().form, QStringLiteral("FrmList"));
            QVERIFY2(box->last().text.contains(reported), qPrintable(box->last().text));
        }
        QCOMPARE(gridOf(&list)->rows() - gridOf(&list)->fixedRows() <= 0, true);
        runPicker(list, [](QDialog *d) { QTest::keyClick(gridOf(d), Qt::Key_Return); });
        QVERIFY(!stillOpen);
        QCOMPARE(list.List1(), QString());
        QCOMPARE(list.List(0), QString());
    }

    void colourListOpenedOnANameThenFiltered()
    {
        FrmcolorList &picker = FrmcolorList::obtain();
        picker.setG_color_Filter(QStringLiteral("mmst605.Color_Name = ?"), {QStringLiteral("红色")});
        picker.setShow_Ename(true);
        QStringList opened, passedThrough, filtered, header;
        QWidget *focusAfter = nullptr;
        const int r = runPicker(picker, [&](QDialog *d) {
            FlexGrid *grid = gridOf(d);
            opened = codesOf(grid);
            // Tabbing through the type field without changing it keeps the list.
            d->findChild<HeadItem *>(QStringLiteral("Color_Type"))->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            passedThrough = codesOf(grid);
            for (int c = 0; c < grid->cols(); ++c)
                header << grid->textMatrix(0, c);
            HeadItem *name = d->findChild<HeadItem *>(QStringLiteral("Color_Name"));
            typeInto(name, QStringLiteral("红"));
            QTest::keyClick(name->editor(), Qt::Key_Return);
            filtered = codesOf(grid);
            focusAfter = QApplication::focusWidget();
            QTest::keyClick(grid, Qt::Key_Escape);
        });
        QCOMPARE(picker.windowTitle(), QStringLiteral("颜色清单(FrmcolorList)"));
        QCOMPARE(r, int(QDialog::Rejected));
        QVERIFY(!stillOpen);
        // Only the colours named exactly 红色, then every name containing it.
        QCOMPARE(opened, (QStringList{"RD", "SC"}));
        QCOMPARE(passedThrough, opened);
        QCOMPARE(filtered, (QStringList{"DR", "RD", "SC"}));
        QCOMPARE(header.mid(1), (QStringList{"颜色类别", "颜色代号", "颜色名称", "默认英文名称", "英文颜色"}));
        QCOMPARE(focusAfter, static_cast<QWidget *>(gridOf(&picker)));
        QCOMPARE(picker.G_color_FilterValues(), QList<QVariant>{QStringLiteral("%红%")});
        QCOMPARE(picker.Get_Color_no(), QString());
        QCOMPARE(picker.Get_color_name(), QString());
    }

    void colourChoice_data()
    {
        QTest::addColumn<bool>("showEname");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("expected"); // type, code, name, English name
        QTest::newRow("alternative English name") << true << "SC"
                                                  << "enter" << QStringList{"红橙色系", "SC", "红色", "Crimson"};
        QTest::newRow("empty alternative falls back to the default")
            << true << "RD"
            << "f5" << QStringList{"红橙色系", "RD", "红色", "Red"};
        QTest::newRow("alternatives not listed") << false << "SC"
                                                 << "dblclick" << QStringList{"红橙色系", "SC", "红色", "Scarlet"};
        QTest::newRow("no English name at all") << true << "OR"
                                                << "ok" << QStringList{"红橙色系", "OR", "橙色", ""};
        QTest::newRow("alternative of a black") << true << "BK"
                                                << "enter" << QStringList{"黑白灰", "BK", "黑色", "Jet Black"};
    }
    void colourChoice()
    {
        QFETCH(bool, showEname);
        QFETCH(QString, code);
        QFETCH(QString, how);
        QFETCH(QStringList, expected);
        FrmcolorList &picker = FrmcolorList::obtain();
        picker.setShow_Ename(showEname);
        int cols = 0;
        const int r = runPicker(picker, [&](QDialog *d) {
            FlexGrid *grid = gridOf(d);
            cols = grid->cols();
            const int row = grid->findRow(code, grid->fixedRows(), 2);
            clickCell(grid, row, 3, how == QLatin1String("dblclick"));
            if (how == QLatin1String("enter"))
                QTest::keyClick(grid, Qt::Key_Return);
            else if (how == QLatin1String("f5"))
                QTest::keyClick(grid, Qt::Key_F5);
            else if (how == QLatin1String("ok"))
                QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Command1_0")), Qt::LeftButton);
        });
        QCOMPARE(r, int(QDialog::Accepted));
        QVERIFY(!stillOpen);
        QCOMPARE(cols, showEname ? 6 : 5); // the row-number column in front
        QCOMPARE((QStringList{picker.Get_Color_TYPE(), picker.Get_Color_no(), picker.Get_color_name(),
                              picker.Get_Color_ename()}),
                 expected);
    }

    void colourTypeKeptInTheSettingsFile()
    {
        FrmcolorList &picker = FrmcolorList::obtain();
        QStringList listed, types;
        runPicker(picker, [&](QDialog *d) {
            HeadItem *type = d->findChild<HeadItem *>(QStringLiteral("Color_Type"));
            types = type->items();
            typeInto(type, QStringLiteral("灰"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            listed = codesOf(gridOf(d));
            // F5 with no data row current leaves the picker open.
            d->findChild<HeadItem *>(QStringLiteral("Color_No"))->setText(QStringLiteral("nothing"));
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Cmd_Find")), Qt::LeftButton);
            QTest::keyClick(gridOf(d), Qt::Key_F5);
            QVERIFY(d->isVisible());
            QTest::keyClick(gridOf(d), Qt::Key_Escape);
        });
        QCOMPARE(types, (QStringList{"红橙色系", "黑白灰"}));
        QCOMPARE(listed, (QStringList{"BK", "WH"}));
        QCOMPARE(
            IniFile::readString(runContext().Ini_File, QStringLiteral("FrmcolorList"), QStringLiteral("Color_Type")),
            QStringLiteral("灰"));
        QCOMPARE(picker.Get_Color_no(), QString());
    }

    // The tree built from one read of the table is the tree the per-node rule
    // gives: the children of p are the codes exactly three characters longer
    // that start with p (case and trailing blanks aside).
    void treeMatchesThePerNodeRule()
    {
        TestDb::exec(conn, QStringLiteral("DELETE FROM mmst001"));
        quint32 seed = 20240611;
        const auto next = [&seed](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        QStringList parents; // codes that may get children
        for (int i = 0; i < 6; ++i)
            parents << QStringLiteral("T%1").arg(i, 3, 10, QLatin1Char('0'));
        QStringList codes = parents;
        for (int round = 0; round < 400; ++round) {
            const QString parent = parents.at(int(next(quint32(parents.size()))));
            QString code = parent + QStringLiteral("%1").arg(next(40), 3, 10, QLatin1Char('0'));
            bool canParent = code.size() <= 27;
            switch (next(10)) {
            case 0:
                code = code.toLower();
                break; // case differs from the parent
            case 1:
                code = parent + QStringLiteral("9");
                canParent = false;
                break; // one character too many
            case 2:
                code = QStringLiteral("X") + code.mid(1);
                break; // an orphan, with its own subtree
            case 3:
                code += QStringLiteral("  ");
                canParent = false;
                break; // trailing blanks
            default:
                break;
            }
            if (codes.contains(code.trimmed(), Qt::CaseInsensitive))
                continue;
            codes << code;
            if (canParent)
                parents << code;
        }
        int n = 0;
        for (const QString &code : codes)
            addOrg(QStringLiteral("N%1").arg(++n), QStringLiteral("名%1").arg(next(50)), code);

        QStringList expected;
        const std::function<void(const QString &, const QString &)> walk = [&](const QString &p, const QString &path) {
            const ResultSet rs = Sql(conn, QStringLiteral("SELECT Level_No, Org_Name FROM mmst001 "
                                                          "WHERE UPPER(SUBSTR(Level_No, 1, ?)) = UPPER(?) "
                                                          "AND LENGTH(RTRIM(Level_No)) = ?"))
                                     .bind(p.size())
                                     .bind(p)
                                     .bind(p.size() + 3)
                                     .select();
            for (qint64 r = 0; r < rs.rowCount(); ++r) {
                const QString key = rs.text(r, 0).trimmed();
                const QString here = path + QLatin1Char('/') + key + QLatin1Char('=') + rs.text(r, 1);
                expected << here;
                walk(key, here);
            }
        };
        const ResultSet top = Sql(conn, QStringLiteral("SELECT Level_No, Org_Name FROM mmst001 "
                                                       "WHERE LENGTH(RTRIM(Level_No)) = 4"))
                                  .select();
        expected << QStringLiteral("/A=公司");
        for (qint64 r = 0; r < top.rowCount(); ++r) {
            const QString key = top.text(r, 0).trimmed();
            const QString here = QStringLiteral("/A=公司/") + key + QLatin1Char('=') + top.text(r, 1);
            expected << here;
            walk(key, here);
        }
        QVERIFY(expected.size() > 150);

        QStringList actual;
        paths(treeOf(&FrmOrg::obtain())->topLevelItem(0), QString(), actual);
        expected.sort();
        actual.sort();
        QCOMPARE(actual, expected);
    }
};

QTEST_MAIN(TstPickers)
#include "tst_pickers.moc"
