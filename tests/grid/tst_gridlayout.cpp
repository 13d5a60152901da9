// Per-user grid layouts: the settings-file format, putting a layout onto a
// grid, and the settings dialog driven through its real controls.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "grid/GridLayout.h"
#include "grid/GridSettingsDialog.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"

#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kForm = QStringLiteral("mmss40B");
const QString kGrid = QStringLiteral("Grid1");

QString readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

void writeAll(const QString &path, const QString &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

// The settings-file lines of one section, in file order.
QStringList sectionLines(const QString &path, const QString &section)
{
    QStringList lines;
    bool inSection = false;
    for (const QString &line : readAll(path).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (line.startsWith(u'['))
            inSection = line == u'[' + section + u']';
        else if (inSection)
            lines.append(line);
    }
    return lines;
}

} // namespace

class TstGridLayout : public QObject
{
    Q_OBJECT

    Connection conn;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedMessageBox> box;
    QString ini;
    QStringList answers; // what the next input boxes answer; "" cancels
    QStringList prompts; // what they asked

    // The dialog opened on the layout section, as the wrapper opens it.
    std::unique_ptr<mmss_set> openDialog()
    {
        auto dialog = std::make_unique<mmss_set>();
        dialog->Get_FormName = kForm;
        dialog->Get_GridName = kGrid;
        dialog->Gridc_File = ini;
        dialog->show();
        return dialog;
    }
    static QListWidget *list(mmss_set &d) { return d.findChild<QListWidget *>(QStringLiteral("List1")); }
    static QStringList captions(mmss_set &d)
    {
        QStringList out;
        for (int i = 0; i < list(d)->count(); ++i)
            out.append(list(d)->item(i)->text());
        return out;
    }

private slots:
    void initTestCase()
    {
        conn = TestDb::freshSqlite();
        runContext().Conn = conn;
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        ini = dir->filePath(QStringLiteral("user.ini"));
        box = std::make_unique<ScriptedMessageBox>();
        answers.clear();
        prompts.clear();
        ModalRunner::setDriver([this](QDialog *d) {
            auto *input = qobject_cast<QInputDialog *>(d);
            if (!input || answers.isEmpty())
                return int(QDialog::Rejected);
            prompts.append(input->windowTitle() + u'|' + input->labelText() + u'|' + input->textValue());
            const QString answer = answers.takeFirst();
            if (answer.isEmpty())
                return int(QDialog::Rejected);
            input->setTextValue(answer);
            return int(QDialog::Accepted);
        });
    }

    void cleanup()
    {
        ModalRunner::setDriver({});
        box.reset();
    }

    // ---- the file format ------------------------------------------------

    void noSectionGivesEmptyLayout()
    {
        writeAll(ini, QStringLiteral("[other]\r\nField0=A,B,1000,4,1,True\r\n"));
        GridLayout layout;
        ClearGridLayout(layout);
        LoadGridLayout(kForm, kGrid, layout, ini);
        QCOMPARE(GridLayoutCount(layout), 0);
        QCOMPARE(layout[0].rowHeight, 200.0);
        QCOMPARE(layout[0].colCount, qint16(0));

        FlexGrid grid;
        grid.setFixedCols(1);
        grid.setCols(6);
        grid.setRows(3);
        ApplyGridLayout(grid, layout, false);
        QCOMPARE(grid.cols(), 1); // only the row-number column
        QCOMPARE(grid.rowHeight(0), 200);
        QCOMPARE(grid.colWidth(0), 400);
    }

    void savedFileText()
    {
        writeAll(ini, QStringLiteral("[keep]\r\nx=1\r\n"));
        GridLayout layout;
        ClearGridLayout(layout);
        layout[0] = {QStringLiteral("Mtr_No"),
                     QStringLiteral("物料编号"),
                     1200,
                     4,
                     1,
                     QStringLiteral("True"),
                     315,
                     QStringLiteral("Field0"),
                     2,
                     1};
        layout[1] = {QStringLiteral("Mtr_Amt"),
                     QStringLiteral("数量"),
                     1234.5,
                     4,
                     7,
                     QStringLiteral("False"),
                     0,
                     QStringLiteral("Field1"),
                     0,
                     0};
        QVERIFY(SaveGridLayout(kForm, kGrid, layout, ini));
        QCOMPARE(readAll(ini), QStringLiteral("[keep]\r\nx=1\r\n[mmss40BGrid1]\r\n"
                                              "Field0=Mtr_No,物料编号,1200,4,1,True\r\n"
                                              "Field1=Mtr_Amt,数量,1234.5,4,7,False\r\n"
                                              "RowHeight=315\r\nFrozenCols=1\r\n"));

        GridLayout back;
        ClearGridLayout(back);
        LoadGridLayout(kForm, kGrid, back, ini);
        QCOMPARE(GridLayoutCount(back), 2);
        QCOMPARE(back[0].colCount, qint16(2));
        QCOMPARE(back[0].rowHeight, 315.0);
        QCOMPARE(back[0].frozenCols, qint16(1));
        QCOMPARE(back[1].width, 1234.5);
        QCOMPARE(back[1].colAlignment, qint16(7));
        QCOMPARE(back[1].visible, QStringLiteral("False"));
        QCOMPARE(back[1].key, QStringLiteral("Field1"));
    }

    void layoutFromTheWindowsProgramSurvivesASave()
    {
        // GBK, as the earlier program wrote it: 物料编号 and 数量.
        const QByteArray gbk = QByteArray("[mmss40BGrid1]\r\nField0=Mtr_No,\xCE\xEF\xC1\xCF\xB1\xE0\xBA\xC5,"
                                          "1200,4,1,True\r\nField1=Mtr_Amt,\xCA\xFD\xC1\xBF,900,4,7,True\r\n"
                                          "RowHeight=300\r\nFrozenCols=1\r\n");
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(gbk);
        }
        GridLayout layout;
        ClearGridLayout(layout);
        LoadGridLayout(kForm, kGrid, layout, ini);
        QCOMPARE(GridLayoutCount(layout), 2);
        QCOMPARE(layout[0].caption, QStringLiteral("物料编号"));
        QCOMPARE(layout[1].caption, QStringLiteral("数量"));
        QCOMPARE(layout[0].frozenCols, qint16(1));
        // Saved unchanged, the file keeps its bytes.
        QVERIFY(SaveGridLayout(kForm, kGrid, layout, ini));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), gbk);
    }

    void commaInCaptionShiftsLaterParts()
    {
        GridLayout layout;
        ClearGridLayout(layout);
        layout[0] = {QStringLiteral("Mtr_Amt"),
                     QStringLiteral("数量,Kg"),
                     1200,
                     4,
                     7,
                     QStringLiteral("True"),
                     250,
                     QStringLiteral("Field0"),
                     1,
                     0};
        QVERIFY(SaveGridLayout(kForm, kGrid, layout, ini));
        QCOMPARE(sectionLines(ini, kForm + kGrid).first(), QStringLiteral("Field0=Mtr_Amt,数量,Kg,1200,4,7,True"));

        GridLayout back;
        ClearGridLayout(back);
        back[0].visible = QStringLiteral("before");
        LoadGridLayout(kForm, kGrid, back, ini);
        QCOMPARE(back[0].caption, QStringLiteral("数量"));
        QCOMPARE(back[0].width, 0.0);                        // "Kg"
        QCOMPARE(back[0].headAlignment, qint16(1200));       // the width
        QCOMPARE(back[0].colAlignment, qint16(4));           // the header alignment
        QCOMPARE(back[0].visible, QStringLiteral("7,True")); // neither shows nor hides
        QCOMPARE(GridLayoutVisibility(back[0].visible), -1);
    }

    void longLineCutOnReading_data()
    {
        QTest::addColumn<int>("captionChars");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<double>("width");
        QTest::addColumn<QString>("visible");

        // "F," + caption (3 bytes a character) + ",1000,4,1,True"; 127 bytes are read.
        QTest::newRow("fits") << 37 << QString(37, QChar(0x6599)) << 1000.0 << "True";
        QTest::newRow("visible cut to its first letter") << 38 << QString(38, QChar(0x6599)) << 1000.0 << "T";
        QTest::newRow("visible and column alignment lost") << 39 << QString(39, QChar(0x6599)) << 1000.0 << "old";
        // 42 characters end at byte 128: the last one would be split and is dropped.
        QTest::newRow("cut inside a character") << 42 << QString(41, QChar(0x6599)) << -1.0 << "old";
    }

    void longLineCutOnReading()
    {
        QFETCH(int, captionChars);
        QFETCH(QString, caption);
        QFETCH(double, width);
        QFETCH(QString, visible);
        writeAll(ini, QStringLiteral("[mmss40BGrid1]\r\nField0=F,") + QString(captionChars, QChar(0x6599)) +
                          QStringLiteral(",1000,4,1,True\r\nRowHeight=300\r\n"));
        GridLayout layout;
        ClearGridLayout(layout);
        layout[0].width = -1;
        layout[0].visible = QStringLiteral("old");
        LoadGridLayout(kForm, kGrid, layout, ini);
        QCOMPARE(layout[0].caption, caption);
        QCOMPARE(layout[0].width, width);
        QCOMPARE(layout[0].visible, visible);
        QCOMPARE(layout[0].rowHeight, 300.0);
    }

    // ---- onto a grid -------------------------------------------------------

    void layoutOntoGrid()
    {
        writeAll(ini, QStringLiteral("[mmss40BGrid1]\r\n"
                                     "Field0=Inv_No,单号,1500,4,0,True\r\n"
                                     "Field1=Mtr_Amt,数量,900,4,7,False\r\n"
                                     "Field2=Remark,备注,2000,3,8,maybe\r\n"
                                     "RowHeight=330\r\nFrozenCols=3\r\n"));
        GridLayout layout;
        ClearGridLayout(layout);
        LoadGridLayout(kForm, kGrid, layout, ini);
        FlexGrid grid;
        grid.setFixedCols(1);
        grid.setCols(8);
        grid.setRows(4);
        grid.setColHidden(3, true);
        ApplyGridLayout(grid, layout, false);

        QCOMPARE(grid.cols(), 4);
        QCOMPARE(grid.textMatrix(0, 1), QStringLiteral("单号"));
        QCOMPARE(grid.textMatrix(0, 3), QStringLiteral("备注"));
        QCOMPARE(grid.colHidden(1), false);
        QCOMPARE(grid.colHidden(2), true);
        QCOMPARE(grid.colHidden(3), true); // "maybe" leaves it as it was
        QCOMPARE(grid.colWidth(1), 1500);
        QCOMPARE(grid.colAlignment(2), 7);
        QCOMPARE(grid.fixedAlignment(3), 3);
        QCOMPARE(grid.colWidth(0), 400);
        QCOMPARE(grid.frozenCols(), 3);
        for (int r = 0; r < grid.rows(); ++r)
            QCOMPARE(grid.rowHeight(r), 330);

        // A stored count not below the grid's column count freezes nothing;
        // variant grids keep their extra columns.
        layout[0].frozenCols = 4;
        grid.setCols(6);
        grid.setColHidden(5, false);
        ApplyGridLayout(grid, layout, true);
        QCOMPARE(grid.cols(), 6);
        QCOMPARE(grid.colHidden(5), false);
        QCOMPARE(grid.frozenCols(), 4);
        layout[0].frozenCols = 6;
        ApplyGridLayout(grid, layout, true);
        QCOMPARE(grid.frozenCols(), 0);
    }

    void grid128EntriesShows127()
    {
        QString text = QStringLiteral("[mmss40BGrid1]\r\n");
        for (int i = 0; i < 128; ++i)
            text += QStringLiteral("Field%1=F%1,列%1,600,4,1,True\r\n").arg(i);
        writeAll(ini, text + QStringLiteral("RowHeight=250\r\n"));
        GridLayout layout;
        ClearGridLayout(layout);
        LoadGridLayout(kForm, kGrid, layout, ini);
        QCOMPARE(GridLayoutCount(layout), 128);
        QCOMPARE(layout[0].colCount, qint16(128));

        FlexGrid grid;
        grid.setFixedCols(1);
        grid.setRows(2);
        ApplyGridLayout(grid, layout, false);
        QCOMPARE(grid.cols(), 129);
        QCOMPARE(grid.textMatrix(0, 127), QStringLiteral("列126"));
        QCOMPARE(grid.colHidden(127), false);
        QCOMPARE(grid.colHidden(128), true);
        QVERIFY(grid.textMatrix(0, 128) != QStringLiteral("列127"));
    }

    // ---- the settings dialog --------------------------------------------------

    void lastTickedLineRefused()
    {
        writeAll(ini, QStringLiteral("[mmss40BGrid1]\r\nField0=A,甲,1000,4,1,False\r\n"
                                     "Field1=B,乙,1000,4,1,True\r\nField2=C,丙,1000,4,1,false\r\n"
                                     "RowHeight=250\r\nFrozenCols=0\r\n"));
        auto dialog = openDialog();
        QListWidget *l = list(*dialog);
        QCOMPARE(captions(*dialog), (QStringList{"甲", "乙", "丙"}));
        QCOMPARE(l->item(1)->checkState(), Qt::Checked);

        l->setCurrentRow(1);
        l->item(1)->setCheckState(Qt::Unchecked);
        QCOMPARE(box->shown().size(), 1);
        QCOMPARE(box->last().form, QStringLiteral("mmss_set"));
        QCOMPARE(box->last().messageId, QStringLiteral("List1_Click_1"));
        QCOMPARE(box->last().text, QStringLiteral("请不要把全部栏位隐藏"));
        QCOMPARE(box->last().style, 64);
        // The refused line stays shown; no other column is shown in its place.
        QCOMPARE(l->item(1)->checkState(), Qt::Checked);
        QCOMPARE(l->item(0)->checkState(), Qt::Unchecked);

        // With another line shown, clearing it is fine.
        l->item(2)->setCheckState(Qt::Checked);
        l->item(1)->setCheckState(Qt::Unchecked);
        QCOMPARE(box->shown().size(), 1);
        dialog->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(
            sectionLines(ini, kForm + kGrid).mid(0, 3),
            (QStringList{"Field0=A,甲,1000,4,1,False", "Field1=B,乙,1000,4,1,False", "Field2=C,丙,1000,4,1,True"}));
    }

    void editsStoredOnOkOnly_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("ok") << true;
        QTest::newRow("cancel") << false;
    }

    void editsStoredOnOkOnly()
    {
        QFETCH(bool, confirm);
        const QString original = QStringLiteral("[mmss40BGrid1]\r\nField0=A,甲,1000,4,1,True\r\n"
                                                "Field1=B,乙,1000.257,4,1,True\r\nRowHeight=250\r\nFrozenCols=2\r\n");
        writeAll(ini, original);
        auto dialog = openDialog();
        auto *width = dialog->findChild<QLineEdit *>(QStringLiteral("col_width"));
        auto *frozen = dialog->findChild<QLineEdit *>(QStringLiteral("FrozenCols"));
        auto *colAlign = dialog->findChild<QComboBox *>(QStringLiteral("col_Aligment"));
        auto *headAlign = dialog->findChild<QComboBox *>(QStringLiteral("head_Aligment"));
        QCOMPARE(colAlign->itemText(8), QStringLiteral("通    用"));
        QCOMPARE(frozen->text(), QStringLiteral("2"));

        list(*dialog)->setCurrentRow(1);
        QCOMPARE(width->text(), QStringLiteral("1000.26"));
        QCOMPARE(list(*dialog)->toolTip(), QStringLiteral("当前列号为:2"));
        width->clear();
        QTest::keyClicks(width, QStringLiteral("1500.5"));

        // "全部" beside each choice sets it on every column.
        headAlign->setCurrentIndex(3);
        dialog->findChild<QPushButton *>(QStringLiteral("Cmd_ALL1"))->click();
        colAlign->setCurrentIndex(6);
        dialog->findChild<QPushButton *>(QStringLiteral("Cmd_ALL2"))->click();
        list(*dialog)->setCurrentRow(0);
        colAlign->setCurrentIndex(8);
        dialog->col_Aligment_Click();

        frozen->setText(QStringLiteral("-3"));
        dialog->FrozenCols_Validate();
        QCOMPARE(frozen->text(), QStringLiteral("0"));

        // Enter in the list renames the selected line.
        answers = {QStringLiteral("甲种")};
        list(*dialog)->setFocus();
        QTest::keyClick(list(*dialog), Qt::Key_Return);
        QCOMPARE(prompts, QStringList{"修改标识|修改表格标识标题|甲"});
        QCOMPARE(captions(*dialog), (QStringList{"甲种", "乙"}));

        if (confirm) {
            dialog->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
            QCOMPARE(sectionLines(ini, kForm + kGrid),
                     (QStringList{"Field0=A,甲种,1000,3,8,True", "Field1=B,乙,1500.5,3,6,True", "RowHeight=250",
                                  "FrozenCols=0"}));
        } else {
            dialog->findChild<QPushButton *>(QStringLiteral("cmd_cancel"))->click();
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
            QCOMPARE(readAll(ini), original);
        }
        QVERIFY(box->shown().isEmpty());
    }

    void cancelKeepsAddAndDelete()
    {
        writeAll(ini, QStringLiteral("[mmss40BGrid1]\r\nField0=A,甲,1000,4,1,True\r\nField1=B,乙,800,3,7,False\r\n"
                                     "Field2=C,丙,1000,4,1,True\r\nRowHeight=280\r\nFrozenCols=1\r\n"));
        {
            auto dialog = openDialog();
            list(*dialog)->setCurrentRow(2);
            answers = {QStringLiteral("单价,元"), QStringLiteral("Price")};
            dialog->Menu_Add_Click();
            QCOMPARE(prompts,
                     (QStringList{"中文标识|新增表格中文标识标题|字段2", "英文标识|新增英文表格标识标题|Field2"}));
            // Inserted before the selected line, shown, its settings copied from the line above.
            QCOMPARE(captions(*dialog), (QStringList{"甲", "乙", "单价，元", "丙"}));
            QCOMPARE(list(*dialog)->item(2)->checkState(), Qt::Checked);
            dialog->findChild<QPushButton *>(QStringLiteral("cmd_cancel"))->click();
        }
        QCOMPARE(sectionLines(ini, kForm + kGrid),
                 (QStringList{"Field0=A,甲,1000,4,1,True", "Field1=B,乙,800,3,7,False",
                              "Field2=Price,单价，元,800,3,7,False", "RowHeight=280", "FrozenCols=1",
                              "Field3=C,丙,1000,4,1,True"}));

        {
            auto dialog = openDialog();
            list(*dialog)->setCurrentRow(0);
            box->answer(MessageAnswer::Yes);
            dialog->mnu_Delete_Click();
            QCOMPARE(box->last().text, QStringLiteral("确认要删除 甲 ?"));
            QCOMPARE(box->last().style, 292);
            QCOMPARE(captions(*dialog), (QStringList{"乙", "单价，元", "丙"}));
            dialog->findChild<QPushButton *>(QStringLiteral("cmd_cancel"))->click();
        }
        // Deleting the first column keeps the grid's row height and frozen columns.
        QCOMPARE(sectionLines(ini, kForm + kGrid),
                 (QStringList{"Field0=B,乙,800,3,7,False", "Field1=Price,单价，元,800,3,7,False",
                              "Field2=C,丙,1000,4,1,True", "RowHeight=280", "FrozenCols=1", "Field3="}));
    }

    void addToEmptyLayout()
    {
        auto dialog = openDialog();
        QVERIFY(!dialog->findChild<QPushButton *>(QStringLiteral("Cmd_ALL1"))->isEnabled());
        answers = {QStringLiteral("数量"), QStringLiteral("Mtr_Amt")};
        dialog->Menu_Add_Click();
        QCOMPARE(prompts.first(), QStringLiteral("中文标识|新增表格中文标识标题|字段-1"));
        QCOMPARE(captions(*dialog), QStringList{"数量"});
        QVERIFY(dialog->findChild<QPushButton *>(QStringLiteral("Cmd_ALL1"))->isEnabled());
        QCOMPARE(sectionLines(ini, kForm + kGrid),
                 (QStringList{"Field0=Mtr_Amt,数量,1200,4,1,True", "RowHeight=200", "FrozenCols=0"}));
    }

    void unwritableFileReportedOnOk()
    {
        writeAll(ini, QStringLiteral("[mmss40BGrid1]\r\nField0=A,甲,1000,4,1,True\r\n"));
        auto dialog = openDialog();
        dialog->Gridc_File = ini + QStringLiteral("/not-a-folder/user.ini");
        dialog->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
        QCOMPARE(box->shown().size(), 1);
        QCOMPARE(box->last().form, QStringLiteral("mmss_set"));
        QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_Click")), qPrintable(box->last().text));
        QVERIFY(dialog->isVisible()); // still open: nothing was stored
    }
};

QTEST_MAIN(TstGridLayout)
#include "tst_gridlayout.moc"
