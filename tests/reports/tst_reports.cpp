// Print and preview of the document windows through the report list, the
// report definition editor and the SQL builder, driven through their real
// widgets on the database of the run.
#include "DocumentFixture.h"
#include "TestSupport.h"

#include "context/RunContext.h"
#include "platform/report/ReportComponent.h"
#include "platform/ui/FlexGrid.h"
#include "platform/ui/ModalRunner.h"
#include "platform/ui/PictureButton.h"
#include "reports/FrmDesignReportSQL.h"
#include "reports/FrmDesignReportShow.h"
#include "reports/FrmDesignSQL.h"
#include "reports/KestoDesign.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The issue report: prices only for users who may see them.
const char *const kIssueScript =
    "Function cols()\r\n"
    "  If View_Price Then\r\n"
    "    cols = \"l.Mtr_Amt, m.Avg_Cost\"\r\n"
    "  Else\r\n"
    "    cols = \"l.Mtr_Amt\"\r\n"
    "  End If\r\n"
    "End Function\r\n"
    "W_SQL = \"SELECT \" & cols() & \" FROM Mmst411 h INNER JOIN Mmst412 l ON l.Rec_411 = h.Rec_411 \" & _\r\n"
    "  \"LEFT JOIN mmst611 m ON m.Rec_611 = l.Rec_611 WHERE h.Inv_No = '\" & Replace(inv_no, \"'\", \"''\") & \"'\"";

QString issueSql(const QString &number, bool prices)
{
    return QStringLiteral("SELECT ") +
           (prices ? QStringLiteral("l.Mtr_Amt, m.Avg_Cost") : QStringLiteral("l.Mtr_Amt")) +
           QStringLiteral(" FROM Mmst411 h INNER JOIN Mmst412 l ON l.Rec_411 = h.Rec_411 LEFT JOIN mmst611 m ON "
                          "m.Rec_611 = l.Rec_611 WHERE h.Inv_No = '") +
           number + QLatin1Char('\'');
}

QStringList captionsOf(const FlexGrid *grid)
{
    QStringList out;
    for (int r = 0; r < grid->rows(); ++r)
        out << grid->textMatrix(r, 0);
    return out;
}

template <class W>
W *child(QWidget *parent, const char *name)
{
    W *w = parent->findChild<W *>(QLatin1String(name));
    if (!w)
        qWarning("no control %s", name);
    return w;
}

void clickButton(QWidget *parent, const char *name)
{
    if (auto *b = child<QPushButton>(parent, name))
        b->click();
}

} // namespace

class TstReports : public QObject, public DocumentFixture
{
    Q_OBJECT

    ScriptedMessageBox *box = nullptr;
    QList<ReportPrintCall> calls;
    // What the user does in each dialog, by the dialog's name; a dialog without an entry is cancelled.
    QHash<QString, std::function<void(QDialog *)>> act;
    QStringList opened;
    QString pdf;

    void report(const QString &form, const QString &code, const QString &caption, const QString &script, int basic = 0,
                int type = 0)
    {
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmstc111 (form_name, Report_Name, report_caption, report_sql, "
                                    "order_fields, basic_sql_flag, Type) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                     {form, code, caption, script, QStringLiteral("Mtr_Amt"), basic, type});
    }
    QString messageIds() const
    {
        QStringList ids;
        for (const MessageRequest &m : box->shown())
            ids << m.form + QLatin1Char('/') + m.messageId;
        return ids.join(QLatin1Char(','));
    }
    void press(const char *button) { w->findChild<PictureButton *>(QLatin1String(button))->click(); }
    static FrmDesignReportShow *list(QDialog *d) { return qobject_cast<FrmDesignReportShow *>(d); }
    // Opens the popup menu over the first row, as a right click does.
    static QMenu *popupAt(FrmDesignReportShow *l, int row)
    {
        FlexGrid *g = l->grid();
        g->setCurrentCell(row, 0);
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, g->cellRect(row, 0).center());
        return l->popupMenu();
    }

private slots:
    void initTestCase() { box = new ScriptedMessageBox; }
    void cleanupTestCase() { delete box; }

    void init()
    {
        conn = TestDb::fresh();
        const QStringList fixture = {
            "INSERT INTO mmst901 (user_id, user_name, user_no) VALUES ('chen', '陈志明', 'A001'), ('li', '李丽', NULL)",
            "INSERT INTO MMSTC02 (menu_id, prog_id) VALUES ('MENU_F4_1', '40B'), ('MENU_F4_2', '40D'), ('MENU_F4_3', "
            "'40C')",
            "INSERT INTO mmstc03 (User_id, menu_id, rights) VALUES ('chen', 'MENU_F4_1', 'AUDCRPVSILMXF'), ('chen', "
            "'MENU_F4_2', 'AUDCRPVSILMXF'), ('chen', 'MENU_F4_3', 'AUDCRPVSILMXF'), ('li', 'MENU_F4_1', 'AUCRPVI')",
            "INSERT INTO mmst001 (Org_No, Org_Name, Level_No) VALUES ('0001', '生产部', '0001')",
            "INSERT INTO mmst611 (Rec_611, Mtr_No, Mtr_Name, Avg_Cost, Mtr_Cost) VALUES (1, 'F001', '牛津布', 2.5, 2.5)",
            "INSERT INTO Mmst411 (Rec_411, Inv_No, Inv_Date, Inv_Type, Org_No, Stock_Mode, Prop_Duty, Out_Flag, "
            "Status, Lock) VALUES (1, 'LL001', '2026-12-01', '1', '0001', '2', '0', '0', '0', 'No'), (2, 'TL001', "
            "'2026-12-02', '2', '0001', '2', '0', '0', '0', 'No'), (3, 'BL001', '2026-12-03', '3', '0001', '2', '0', "
            "'0', '0', 'No')",
            "INSERT INTO Mmst412 (Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, Color_No, "
            "Stock_Mode) VALUES (1, 1, 'PI001', 'A', 'SO1', 'MO1', 6, 'W01', '', '2'), (2, 1, 'PI001', 'A', 'SO1', "
            "'MO1', 2, 'W01', '', '2')",
            "INSERT INTO mmstc01 (erp_id, erp_name, erp_order) VALUES ('M1', '仓库管理', 2), ('M0', '基础资料', 1), "
            "('M9', '空模块', 3)",
            "INSERT INTO mmstc06 (table_id, table_name, erp_id) VALUES ('Mmst412', '领料明细', 'M1'), ('mmst605', "
            "'颜色资料', 'M0'), ('Mmst411', '领料单', 'M1')",
            "INSERT INTO mmstc061 (table_id, col_id, col_name) VALUES ('Mmst412', 'Mtr_Amt', '领料数量'), ('Mmst412', "
            "'Bar_No', '仓位')",
        };
        for (const QString &sql : fixture)
            TestDb::exec(conn, sql);
        report(QStringLiteral("40B"), QStringLiteral("RPT_B1"), QStringLiteral("领料单"),
               QString::fromUtf8(kIssueScript));
        report(QStringLiteral("40B"), QStringLiteral("RPT_B0"), QStringLiteral("领料基础数据源"),
               QStringLiteral("W_SQL = \"SELECT 1 AS basic\""), 1);
        report(QStringLiteral("40B"), QStringLiteral("RPT_B2"), QStringLiteral("坏脚本"),
               QStringLiteral("  W_SQL = \"x\" If  "));
        report(QStringLiteral("40B"), QStringLiteral("RPT_T1"), QStringLiteral("预备数据"), QString(), 0, 1);
        report(QStringLiteral("40C"), QStringLiteral("RPT_C1"), QStringLiteral("退料单"),
               QStringLiteral("W_SQL = \"SELECT Inv_No FROM Mmst411 WHERE Inv_No = '\" & inv_no & \"'\""));
        report(QStringLiteral("40C"), QStringLiteral("RPT_C2"), QStringLiteral("领料单"),
               QStringLiteral("W_SQL = \"SELECT 2 AS other\""));

        box->clear();
        calls.clear();
        act.clear();
        opened.clear();
        pdf = dir.filePath(QStringLiteral("out.pdf"));
        QFile::remove(pdf);
        report::setPdfOutput(pdf);
        FrmDesignReportShow::setPrintObserver([this](const ReportPrintCall &c) { calls.append(c); });
        ModalRunner::setDriver([this](QDialog *d) {
            d->show();
            opened << d->objectName();
            if (act.contains(d->objectName()))
                act.value(d->objectName())(d);
            else
                d->reject();
            return d->result();
        });
    }
    void cleanup()
    {
        ModalRunner::setDriver({});
        FrmDesignReportShow::setPrintObserver({});
        report::setPdfOutput(QString());
        delete w;
        w = nullptr;
        runContext().Conn = Connection();
        conn.close();
    }

    // ---------------------------------------------------------------- print and preview

    void previewOfTheIssueWindow()
    {
        open();
        show(QStringLiteral("LL001"));
        QStringList captions;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            FrmDesignReportShow *l = list(d);
            captions = captionsOf(l->grid());
            QCOMPARE(l->windowTitle(), QStringLiteral("打印报表(FrmReportShow)"));
            QCOMPARE(l->Choice(), QStringLiteral("V"));
            QVERIFY(l->View_Price());
            QCOMPARE(l->SetVariantCode(), QStringLiteral("inv_no=\"LL001\""));
            QCOMPARE(l->variablesText(),
                     QStringLiteral("inv_no=\"LL001\"\r\nconst View_Price=True\r\nconst W_Filter=\"\"\r\n"));
            QCOMPARE(l->grid()->row(), 0);
            l->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        press("Cmd_Preview");
        // The reports of 40B in report-code order, and nothing of 40C.
        QCOMPARE(captions, (QStringList{QStringLiteral("领料基础数据源"), QStringLiteral("领料单"),
                                        QStringLiteral("坏脚本"), QStringLiteral("预备数据")}));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].reportCode, QStringLiteral("RPT_B1"));
        QCOMPARE(calls[0].choice, QStringLiteral("V"));
        QVERIFY(!calls[0].rows);
        QCOMPARE(calls[0].sql.value_or(QString()), issueSql(QStringLiteral("LL001"), true));
        QCOMPARE(calls[0].companyName, QStringLiteral("华南示范箱包有限公司"));
        QVERIFY2(box->shown().isEmpty(), qPrintable(box->texts().join(QLatin1Char('\n'))));
        QVERIFY(QFileInfo(pdf).size() > 0);
        // The list is released after each use.
        QVERIFY(!FrmDesignReportShow::exists());
        QCOMPARE(w->lastAction(), 0);
    }

    void printPassesTheNumberAsShown()
    {
        open();
        show(QStringLiteral("LL001"));
        // Typed over while browsing, quote and all.
        w->findChild<QComboBox *>(QStringLiteral("Inv_No"))->setEditText(QStringLiteral("LL\"9'9"));
        QString variant;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            variant = list(d)->SetVariantCode();
            list(d)->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        press("Cmd_Print");
        QCOMPARE(variant, QStringLiteral("inv_no=\"LL\"\"9'9\""));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].choice, QStringLiteral("P"));
        QCOMPARE(calls[0].sql.value_or(QString()), issueSql(QStringLiteral("LL\"9''9"), true));
    }

    void withoutThePriceRightTheScriptLeavesPricesOut()
    {
        open(QStringLiteral("li"));
        show(QStringLiteral("LL001"));
        bool viewPrice = true;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            viewPrice = list(d)->View_Price();
            list(d)->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        press("Cmd_Print");
        QVERIFY(!viewPrice);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].sql.value_or(QString()), issueSql(QStringLiteral("LL001"), false));
    }

    void returnWindowListsItsOwnReports()
    {
        open(QStringLiteral("chen"), QStringLiteral("MENU_F4_3"));
        show(QStringLiteral("TL001"));
        QStringList captions;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            captions = captionsOf(list(d)->grid());
            list(d)->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        press("Cmd_Preview");
        QCOMPARE(captions, (QStringList{QStringLiteral("退料单"), QStringLiteral("领料单")}));
        // The caption both windows use is 40C's report here.
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].reportCode, QStringLiteral("RPT_C2"));
        QCOMPARE(calls[0].sql.value_or(QString()), QStringLiteral("SELECT 2 AS other"));
    }

    void emptyListAsksToChoose()
    {
        open(QStringLiteral("chen"), QStringLiteral("MENU_F4_2"));
        show(QStringLiteral("BL001"));
        bool stillOpen = false;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            QCOMPARE(list(d)->grid()->rows(), 0);
            clickButton(d, "Cmd_Ok");
            stillOpen = d->isVisible();
            d->reject();
        };
        press("Cmd_Print");
        QCOMPARE(box->texts(), QStringList{QStringLiteral("您没有选择要打印的报表,请先选择!")});
        QCOMPARE(messageIds(), QStringLiteral("FrmDesignReportShow/Cmd_Ok_1"));
        QCOMPARE(box->last().style, 64);
        QVERIFY(stillOpen);
        QVERIFY(calls.isEmpty());
    }

    void reportDeletedMeanwhile()
    {
        open();
        show(QStringLiteral("LL001"));
        QStringList after;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            list(d)->selectCaption(QStringLiteral("领料单"));
            Connection other = Connection::open(conn.url());
            Sql(other, QStringLiteral("DELETE FROM mmstc111 WHERE form_name = '40B' AND Report_Name = 'RPT_B1'"))
                .exec();
            other.close();
            clickButton(d, "Cmd_Ok");
            after = captionsOf(list(d)->grid());
            d->reject();
        };
        press("Cmd_Print");
        QCOMPARE(box->texts(), QStringList{QStringLiteral("您选择的报表已不存在!")});
        QCOMPARE(messageIds(), QStringLiteral("FrmDesignReportShow/Cmd_Ok_2"));
        QCOMPARE(after,
                 (QStringList{QStringLiteral("领料基础数据源"), QStringLiteral("坏脚本"), QStringLiteral("预备数据")}));
        QVERIFY(calls.isEmpty());
    }

    void brokenReportScriptIsAnEmptySql()
    {
        open();
        show(QStringLiteral("LL001"));
        bool hidden = false;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            list(d)->selectCaption(QStringLiteral("坏脚本"));
            clickButton(d, "Cmd_Ok");
            hidden = !d->isVisible();
        };
        press("Cmd_Print");
        // No script message: only the list's own words.
        QCOMPARE(box->texts(), QStringList{QStringLiteral("没有设置记录集或SQL语句格式错误!")});
        QCOMPARE(messageIds(), QStringLiteral("FrmDesignReportShow/Check_Ok_3"));
        QVERIFY(hidden);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].sql.value_or(QStringLiteral("none")), QString());
        QVERIFY(!QFileInfo::exists(pdf));
    }

    void failingComponentIsReportedByTheList()
    {
        report(QStringLiteral("40B"), QStringLiteral("RPT_BAD"), QStringLiteral("错表"),
               QStringLiteral("W_SQL = \"SELECT nope FROM nowhere\""));
        open();
        show(QStringLiteral("LL001"));
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            list(d)->selectCaption(QStringLiteral("错表"));
            clickButton(d, "Cmd_Ok");
            d->reject();
        };
        press("Cmd_Print");
        QCOMPARE(calls.size(), 1);
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_Click")), qPrintable(box->last().text));
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(w->lastAction(), 0);
        QVERIFY(!FrmDesignReportShow::exists());
    }

    void brokenVariablesTextIsShownWithTheStatement()
    {
        runContext().Conn = conn;
        FrmDesignReportShow &l = FrmDesignReportShow::obtain();
        l.setFormId(QStringLiteral("40B"));
        l.setChoice(QStringLiteral("P"));
        l.setSetVariantCode(QStringLiteral("inv_no=\"LL\"001\""));
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            list(d)->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        ModalRunner::exec(&l);
        FrmDesignReportShow::release();
        QCOMPARE(box->shown().size(), 2);
        const QString text = box->shown().at(0).text;
        QVERIFY2(text.startsWith(QStringLiteral("执行脚本时出错,描述如下:")), qPrintable(text));
        QVERIFY(text.endsWith(QStringLiteral("出错的语句为\r\n") + QString::fromUtf8(kIssueScript)));
        QCOMPARE(box->shown().at(1).text, QStringLiteral("没有设置记录集或SQL语句格式错误!"));
    }

    void filterWithAQuoteReachesTheScript()
    {
        runContext().Conn = conn;
        report(QStringLiteral("40X"), QStringLiteral("RPT_X"), QStringLiteral("过滤"),
               QStringLiteral("W_SQL = \"SELECT 1 WHERE \" & W_Filter"));
        FrmDesignReportShow &l = FrmDesignReportShow::obtain();
        l.setFormId(QStringLiteral("40X"));
        l.setChoice(QStringLiteral("P"));
        l.setFilter(QStringLiteral("Remark = 'say \"hi\"'"));
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) { clickButton(d, "Cmd_Ok"); };
        ModalRunner::exec(&l);
        FrmDesignReportShow::release();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].sql.value_or(QString()), QStringLiteral("SELECT 1 WHERE Remark = 'say \"hi\"'"));
    }

    void preparedReports()
    {
        runContext().Conn = conn;
        auto rows = std::make_shared<ResultSet>();
        rows->setColumns({QStringLiteral("Mtr_No")});
        rows->appendRow({QStringLiteral("F001")});
        for (bool prepared : {true, false}) {
            calls.clear();
            box->clear();
            FrmDesignReportShow &l = FrmDesignReportShow::obtain();
            l.setFormId(QStringLiteral("40B"));
            l.setChoice(QStringLiteral("V"));
            l.setAllowPrint(true);
            if (prepared)
                l.W_RptForm().insert(QStringLiteral("RPT_T1"), rows);
            bool stillOpen = false;
            act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
                list(d)->selectCaption(QStringLiteral("预备数据"));
                clickButton(d, "Cmd_Ok");
                stillOpen = d->isVisible();
                d->reject();
            };
            ModalRunner::exec(&l);
            FrmDesignReportShow::release();
            if (prepared) {
                QCOMPARE(calls.size(), 1);
                QCOMPARE(calls[0].rows, rows);
                QVERIFY(!calls[0].sql);
                QVERIFY(calls[0].allowPrint);
                QVERIFY(!stillOpen);
            } else {
                // A missing entry is a failure of the OK button; the list stays.
                QVERIFY(calls.isEmpty());
                QVERIFY(stillOpen);
                QCOMPARE(box->shown().size(), 1);
                QVERIFY2(box->last().text.contains(QStringLiteral("Cmd_Ok_Click")), qPrintable(box->last().text));
            }
        }
    }

    // Only a print that came out marks the document: P, or the preview's
    // own print button; a preview closed without printing leaves the mark.
    void printMarkFollowsWhatCameOut()
    {
        report::setPdfOutput({});
        open();
        show(QStringLiteral("LL001"));
        auto mark = [this] {
            return field(QStringLiteral("SELECT COALESCE(print_status, 0) FROM Mmst411 WHERE Inv_No = 'LL001'"));
        };
        auto *label = w->findChild<QLabel *>(QStringLiteral("Label_Printed"));
        const QString out = dir.filePath(QStringLiteral("printed.pdf"));
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            list(d)->selectCaption(QStringLiteral("领料单"));
            clickButton(d, "Cmd_Ok");
        };
        // The print dialog's printer is a PDF file.
        act[QStringLiteral("ReportPrintDialog")] = [&](QDialog *d) {
            auto *dialog = static_cast<QPrintDialog *>(d);
            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog->printer()->setOutputFileName(out);
            d->setResult(QDialog::Accepted);
        };

        // Looked at and closed.
        press("Cmd_Preview");
        QVERIFY(opened.contains(QStringLiteral("ReportPreview")));
        QCOMPARE(mark(), QStringLiteral("0"));
        QVERIFY(!label->isVisibleTo(w));
        // The print dialog left without printing.
        act[QStringLiteral("ReportPrintDialog")] = [](QDialog *d) { d->setResult(QDialog::Rejected); };
        press("Cmd_Print");
        QCOMPARE(mark(), QStringLiteral("0"));

        act[QStringLiteral("ReportPrintDialog")] = [&](QDialog *d) {
            auto *dialog = static_cast<QPrintDialog *>(d);
            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog->printer()->setOutputFileName(out);
            d->setResult(QDialog::Accepted);
        };
        press("Cmd_Print");
        QVERIFY(QFileInfo(out).size() > 0);
        QCOMPARE(mark(), QStringLiteral("1"));
        QVERIFY(label->isVisibleTo(w));
        QCOMPARE(label->text(), QStringLiteral("已打印"));
        // The search's "已列印" finds it now.
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE COALESCE(print_status, 0) = 1")),
                 QStringLiteral("1"));

        // Printed from the preview.
        TestDb::exec(conn, QStringLiteral("UPDATE Mmst411 SET print_status = 0"));
        show(QStringLiteral("LL001"));
        QVERIFY(!label->isVisibleTo(w));
        act[QStringLiteral("ReportPreview")] = [](QDialog *d) {
            d->findChild<QAction *>(QStringLiteral("PreviewPrint"))->trigger();
        };
        QFile::remove(out);
        press("Cmd_Preview");
        QVERIFY(QFileInfo(out).size() > 0);
        QCOMPARE(mark(), QStringLiteral("1"));
        QVERIFY(label->isVisibleTo(w));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM Mmst411 WHERE COALESCE(print_status, 0) = 1")),
                 QStringLiteral("1"));
    }

    // A list closed without a release is gone: obtained again, it lists the
    // reports of the window that obtained it.
    void closedListStartsAfresh()
    {
        runContext().Conn = conn;
        QStringList first, second;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            (first.isEmpty() ? first : second) = captionsOf(list(d)->grid());
            clickButton(d, "Cmd_Cancel");
        };
        FrmDesignReportShow &issue = FrmDesignReportShow::obtain();
        issue.setFormId(QStringLiteral("40B"));
        issue.W_RptForm().insert(QStringLiteral("RPT_T1"), std::make_shared<ResultSet>());
        ModalRunner::exec(&issue);
        QVERIFY(!FrmDesignReportShow::exists());
        FrmDesignReportShow &ret = FrmDesignReportShow::obtain();
        QVERIFY(ret.W_RptForm().isEmpty());
        ret.setFormId(QStringLiteral("40C"));
        ModalRunner::exec(&ret);
        FrmDesignReportShow::release();
        QCOMPARE(first.value(0), QStringLiteral("领料基础数据源"));
        QCOMPARE(second, (QStringList{QStringLiteral("退料单"), QStringLiteral("领料单")}));
    }

    // The demo's slips come first in their lists: OK as the list opens
    // prints the slip, not the basic data source.
    void seededSlipComesFirst()
    {
        conn.close();
        conn = TestDb::freshSqlite(true);
        runContext().Conn = conn;
        for (const char *form : {"40B", "40C", "40D"}) {
            calls.clear();
            FrmDesignReportShow &l = FrmDesignReportShow::obtain();
            l.setFormId(QLatin1String(form));
            l.setChoice(QStringLiteral("P"));
            l.setSetVariantCode(QStringLiteral("inv_no=\"X\""));
            act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) { clickButton(d, "Cmd_Ok"); };
            ModalRunner::exec(&l);
            FrmDesignReportShow::release();
            QCOMPARE(calls.size(), 1);
            QCOMPARE(calls[0].reportCode, QStringLiteral("RPT") + QLatin1String(form) + QStringLiteral("01"));
        }
    }

    void headlessPrintWritesThePdf()
    {
        runContext().Conn = conn;
        const QString file = dir.filePath(QStringLiteral("headless.pdf"));
        ClsBarManuBill module;
        QCOMPARE(module.PrintDocument(conn, QStringLiteral("40B"), QStringLiteral("LL001"), QStringLiteral("领料单"),
                                      file, QStringLiteral("chen"), QStringLiteral("华南示范箱包有限公司")),
                 QString());
        QVERIFY(QFileInfo(file).size() > 0);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].choice, QStringLiteral("P"));
        // Printed as the window prints: marked, and only that document.
        QCOMPARE(field(QStringLiteral("SELECT Inv_No FROM Mmst411 WHERE COALESCE(print_status, 0) = 1")),
                 QStringLiteral("LL001"));
        QCOMPARE(module.PrintDocument(conn, QStringLiteral("40B"), QStringLiteral("LL001"), QStringLiteral("没有"),
                                      file, QStringLiteral("chen"), QString()),
                 QStringLiteral("window code 40B has no report 没有"));
        QCOMPARE(module.PrintDocument(conn, QStringLiteral("40B"), QStringLiteral("TL001"), QString(), file,
                                      QStringLiteral("chen"), QString()),
                 QStringLiteral("no document TL001 in window mmss40B"));
        QCOMPARE(module.PrintDocument(conn, QStringLiteral("40Z"), QStringLiteral("LL001"), QString(), file,
                                      QStringLiteral("chen"), QString()),
                 QStringLiteral("no document window has the report code 40Z"));
    }

    // ---------------------------------------------------------------- popup menu and editor

    void popupOffersEditOnlyForOrdinaryReports()
    {
        open();
        show(QStringLiteral("LL001"));
        QList<QList<bool>> visible;
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            FrmDesignReportShow *l = list(d);
            for (int row = 0; row < 4; ++row) {
                QMenu *m = popupAt(l, row);
                QList<bool> v;
                for (const char *name : {"mnuAddReport", "mnuEditReport", "mnuDeleteReport"})
                    v << m->findChild<QAction *>(QLatin1String(name))->isVisible();
                visible << v;
                QCOMPARE(m->title(), QStringLiteral("报表管理"));
                m->hide();
            }
            d->reject();
        };
        press("Cmd_Print");
        // Basic source, ordinary report, ordinary report, prepared report.
        QCOMPARE(visible, (QList<QList<bool>>{
                              {true, false, false}, {true, true, true}, {true, true, true}, {true, false, false}}));
    }

    void addEditAndDeleteAReportWithAQuote()
    {
        open();
        show(QStringLiteral("LL001"));
        runContext().User_Name = QStringLiteral("陈志明");
        const QString title = QStringLiteral("O'Brien 的\"单\"");
        QStringList shownCode, afterAdd, afterDelete;
        act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("编辑报表设定"));
            shownCode << child<QLineEdit>(d, "TxtFormName")->text() << child<QLineEdit>(d, "TxtReportName")->text();
            child<QLineEdit>(d, "TxtReportName")->setText(QStringLiteral("RPT_Q"));
            child<QLineEdit>(d, "txtReportCaption")->setText(title);
            child<QLineEdit>(d, "TxtOrderFields")->setText(QStringLiteral("Mtr_Amt"));
            child<QPlainTextEdit>(d, "txtSQL")->setPlainText(QStringLiteral("W_SQL = \"SELECT 'q' AS q\""));
            clickButton(d, "CmdSave");
        };
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            FrmDesignReportShow *l = list(d);
            popupAt(l, 0)->hide();
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuAddReport"))->trigger();
            afterAdd = captionsOf(l->grid());
            // Edit: the title stays, the sort fields change.
            act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *e) {
                QCOMPARE(child<QLineEdit>(e, "txtReportCaption")->text(), title);
                QCOMPARE(child<QPlainTextEdit>(e, "txtSQL")->toPlainText(),
                         QStringLiteral("W_SQL = \"SELECT 'q' AS q\""));
                child<QLineEdit>(e, "TxtOrderFields")->setText(QStringLiteral("q"));
                clickButton(e, "CmdSave");
            };
            QVERIFY(l->selectCaption(title));
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuEditReport"))->trigger();
            QCOMPARE(field(QStringLiteral("SELECT order_fields FROM mmstc111 WHERE report_caption = ?"), {title}),
                     QStringLiteral("q"));
            // Print it.
            QVERIFY(l->selectCaption(title));
            clickButton(d, "Cmd_Ok");
        };
        press("Cmd_Print");
        QCOMPARE(shownCode, (QStringList{QStringLiteral("40B"), QStringLiteral("U")}));
        QVERIFY(afterAdd.contains(title));
        QCOMPARE(
            field(QStringLiteral("SELECT Report_Name FROM mmstc111 WHERE form_name = '40B' AND report_caption = ?"),
                  {title}),
            QStringLiteral("RPT_Q"));
        QCOMPARE(field(QStringLiteral("SELECT Upd_Name FROM mmstc111 WHERE report_caption = ?"), {title}),
                 QStringLiteral("陈志明"));
        QCOMPARE(field(QStringLiteral("SELECT COALESCE(basic_sql_flag, 0) + COALESCE(Type, 0) FROM mmstc111 WHERE "
                                      "report_caption = ?"),
                       {title}),
                 QStringLiteral("0"));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].reportCode, QStringLiteral("RPT_Q"));
        QCOMPARE(calls[0].sql.value_or(QString()), QStringLiteral("SELECT 'q' AS q"));

        // Delete it: the question, then the row is gone and the list says so.
        box->clear();
        box->answer(MessageAnswer::Yes);
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            FrmDesignReportShow *l = list(d);
            QVERIFY(l->selectCaption(title));
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuDeleteReport"))->trigger();
            afterDelete = captionsOf(l->grid());
            d->reject();
        };
        press("Cmd_Print");
        QCOMPARE(box->texts(),
                 (QStringList{QStringLiteral("确认要删除您选择的报表?"), QStringLiteral("成功删除报表!")}));
        QCOMPARE(box->shown().at(0).style, 292);
        QCOMPARE(messageIds(),
                 QStringLiteral("FrmDesignReportShow/mnuAddReport_Click_1,FrmDesignReportShow/mnuAddReport_Click_2"));
        QVERIFY(!afterDelete.contains(title));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmstc111 WHERE report_caption = ?"), {title}),
                 QStringLiteral("0"));
    }

    void deleteAnsweredNoOrOvertaken()
    {
        open();
        show(QStringLiteral("LL001"));
        box->answer(MessageAnswer::No);
        act[QStringLiteral("FrmDesignReportShow")] = [&](QDialog *d) {
            FrmDesignReportShow *l = list(d);
            QVERIFY(l->selectCaption(QStringLiteral("坏脚本")));
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuDeleteReport"))->trigger();
            // Another user deletes it while this one reads the question.
            box->whileShown([this](const MessageRequest &) {
                Connection other = Connection::open(conn.url());
                Sql(other, QStringLiteral("DELETE FROM mmstc111 WHERE Report_Name = 'RPT_B2'")).exec();
                other.close();
            });
            box->answer(MessageAnswer::Yes);
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuDeleteReport"))->trigger();
            // And editing a report that is gone is refused.
            l->grid()->setTextMatrix(0, 0, QStringLiteral("坏脚本"));
            l->grid()->setCurrentCell(0, 0);
            l->popupMenu()->findChild<QAction *>(QStringLiteral("mnuEditReport"))->trigger();
            d->reject();
        };
        press("Cmd_Print");
        QCOMPARE(box->texts(),
                 (QStringList{QStringLiteral("确认要删除您选择的报表?"), QStringLiteral("确认要删除您选择的报表?"),
                              QStringLiteral("您选择的报表已不存在!"),
                              QStringLiteral("您选择的报表现已不存在,无法进入修改状态!")}));
        QCOMPARE(box->last().messageId, QStringLiteral("mnuEditReport_Click_1"));
        QVERIFY(!opened.contains(QStringLiteral("FrmDesignReportSQL")));
    }

    void editorRefusals_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("text");
        QTest::newRow("add, title of the window") << false << "RPT9"
                                                  << "坏脚本"
                                                  << "CmdSave_Click_4"
                                                  << "该报表标题已经存在,请重新输入!";
        QTest::newRow("edit, title of another report") << true << "RPT_B1"
                                                       << "坏脚本"
                                                       << "CmdSave_Click_3"
                                                       << "该报表标题已经存在,请重新输入!";
        QTest::newRow("code cleared") << false << "  "
                                      << "新报表"
                                      << "CmdSave_Click_2"
                                      << "必须输入报表代号,该代号用於关联报表文件!";
        QTest::newRow("no title") << true << "RPT_B1"
                                  << " "
                                  << "CmdSave_Click_1"
                                  << "必须输入报表标题,标题用於区分不同的报表!";
    }
    void editorRefusals()
    {
        QFETCH(bool, editing);
        QFETCH(QString, code);
        QFETCH(QString, title);
        QFETCH(QString, messageId);
        QFETCH(QString, text);
        runContext().Conn = conn;
        FrmDesignReportSQL &e = FrmDesignReportSQL::obtain();
        e.setDesignFormName(QStringLiteral("40B"));
        e.setReportName(editing ? QStringLiteral("RPT_B1") : QStringLiteral("U"));
        if (editing)
            e.setReportCaption(QStringLiteral("领料单"));
        e.setEditMode(editing);
        bool stillOpen = false;
        QString focused;
        act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *d) {
            child<QLineEdit>(d, "TxtReportName")->setText(code);
            child<QLineEdit>(d, "txtReportCaption")->setText(title);
            clickButton(d, "CmdSave");
            stillOpen = d->isVisible();
            focused = d->focusWidget() ? d->focusWidget()->objectName() : QString();
            d->reject();
        };
        ModalRunner::exec(&e);
        const bool cancelled = e.UserCancel();
        FrmDesignReportSQL::release();
        QCOMPARE(box->texts(), QStringList{text});
        QCOMPARE(messageIds(), QStringLiteral("FrmDesignReportSQL/") + messageId);
        QVERIFY(stillOpen);
        QVERIFY(cancelled);
        QCOMPARE(focused, messageId == QLatin1String("CmdSave_Click_2") ? QStringLiteral("TxtReportName")
                                                                        : QStringLiteral("txtReportCaption"));
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmstc111 WHERE form_name = '40B'")), QStringLiteral("4"));
    }

    void editorAcceptsWhatOnlyLooksTaken()
    {
        runContext().Conn = conn;
        // Unchanged title: saved without the existence check. A title of
        // another window: accepted.
        for (const bool editing : {true, false}) {
            FrmDesignReportSQL &e = FrmDesignReportSQL::obtain();
            e.setDesignFormName(QStringLiteral("40C"));
            e.setReportName(editing ? QStringLiteral("RPT_C1") : QStringLiteral("U"));
            e.setReportCaption(editing ? QStringLiteral("退料单") : QString());
            e.setEditMode(editing);
            act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *d) {
                if (!editing) {
                    child<QLineEdit>(d, "TxtReportName")->setText(QStringLiteral("RPT_C9"));
                    child<QLineEdit>(d, "txtReportCaption")->setText(QStringLiteral("坏脚本"));
                }
                child<QPlainTextEdit>(d, "txtSQL")->setPlainText(QStringLiteral("W_SQL = \"new\""));
                clickButton(d, "CmdSave");
            };
            ModalRunner::exec(&e);
            QVERIFY(!e.UserCancel());
            FrmDesignReportSQL::release();
        }
        QVERIFY(box->shown().isEmpty());
        QCOMPARE(field(QStringLiteral("SELECT report_sql FROM mmstc111 WHERE form_name = '40C' AND report_caption = ?"),
                       {QStringLiteral("退料单")}),
                 QStringLiteral("W_SQL = \"new\""));
        QCOMPARE(
            field(QStringLiteral("SELECT Report_Name FROM mmstc111 WHERE form_name = '40C' AND report_caption = ?"),
                  {QStringLiteral("坏脚本")}),
            QStringLiteral("RPT_C9"));
    }

    void editorBasicSourcesAndVariables()
    {
        runContext().Conn = conn;
        FrmDesignReportSQL &e = FrmDesignReportSQL::obtain();
        e.setDesignFormName(QStringLiteral("40B"));
        e.setSetVariantCode(QStringLiteral("inv_no=\"LL001\"\r\nconst View_Price=True\r\n"));
        e.setReportName(QStringLiteral("U"));
        e.setSQL(QStringLiteral("W_SQL = \"old\""));
        e.setEditMode(false);
        QStringList sources;
        QString script, selected;
        act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *d) {
            auto *combo = child<QComboBox>(d, "basic_sql");
            for (int i = 0; i < combo->count(); ++i)
                sources << combo->itemText(i);
            QCOMPARE(combo->currentText(), QStringLiteral("领料基础数据源"));
            clickButton(d, "CmdGetBasicSql");
            auto *sql = child<QPlainTextEdit>(d, "txtSQL");
            script = sql->toPlainText();
            clickButton(d, "CmdShowInitCode");
            sql->setFocus();
            QTest::keyClick(child<QLineEdit>(d, "TxtOrderFields"), Qt::Key_A, Qt::ControlModifier);
            selected = sql->textCursor().selectedText();
            clickButton(d, "CmdCancel");
        };
        ModalRunner::exec(&e);
        QVERIFY(e.UserCancel());
        FrmDesignReportSQL::release();
        QCOMPARE(sources, QStringList{QStringLiteral("领料基础数据源")});
        QCOMPARE(script, QStringLiteral("W_SQL = \"SELECT 1 AS basic\""));
        QCOMPARE(box->texts(), QStringList{QStringLiteral("inv_no=\"LL001\"\r\nconst View_Price=True\r\n")});
        QCOMPARE(selected, script);
        QCOMPARE(field(QStringLiteral("SELECT COUNT(*) FROM mmstc111")), QStringLiteral("6"));
    }

    // ---------------------------------------------------------------- SQL builder

    void builderTreeColumnsAndInsertions()
    {
        runContext().Conn = conn;
        FrmDesignReportSQL &e = FrmDesignReportSQL::obtain();
        e.setDesignFormName(QStringLiteral("40B"));
        e.setSQL(QStringLiteral("W_SQL = \"SELECT \""));
        QStringList modules, tables;
        bool lastExpanded = false;
        int columnsAtOpen = -1;
        QList<QStringList> columns;
        QStringList emptyModule;
        QString built, help;
        act[QStringLiteral("FrmDesignSQL")] = [&](QDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("编辑SQL语句"));
            auto *tv = child<QTreeWidget>(d, "Tv");
            for (int i = 0; i < tv->topLevelItemCount(); ++i) {
                modules << tv->topLevelItem(i)->text(0);
                for (int c = 0; c < tv->topLevelItem(i)->childCount(); ++c)
                    tables << tv->topLevelItem(i)->child(c)->text(0);
            }
            lastExpanded = tv->topLevelItem(tv->topLevelItemCount() - 1)->isExpanded();
            auto *grid = child<FlexGrid>(d, "grdFields");
            columnsAtOpen = grid->rows() - grid->fixedRows();
            QVERIFY(grid->colHidden(0) && grid->colHidden(1));
            QCOMPARE(grid->colWidth(2), 1200);
            QCOMPARE(grid->colWidth(3), 1500);
            const auto readGrid = [grid] {
                QStringList rows;
                for (int r = grid->fixedRows(); r < grid->rows(); ++r)
                    rows << grid->textMatrix(r, 2) + QLatin1Char('=') + grid->textMatrix(r, 3);
                return rows;
            };
            for (const QString &name : {QStringLiteral("领料明细(Mmst412)"), QStringLiteral("颜色资料(mmst605)")}) {
                QTreeWidgetItem *item = tv->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
                QVERIFY(item);
                emit tv->itemClicked(item, 0);
                columns << readGrid();
            }
            emit tv->itemClicked(tv->findItems(QStringLiteral("空模块"), Qt::MatchExactly).value(0), 0);
            emptyModule = readGrid();

            // Back to the lines; insert Mtr_Amt and Bar_No with every option, then a word.
            emit tv->itemClicked(tv->findItems(QStringLiteral("领料明细(Mmst412)"), Qt::MatchRecursive).value(0), 0);
            auto *sql = child<QPlainTextEdit>(d, "txtSQL");
            QTextCursor at = sql->textCursor();
            at.setPosition(16); // inside the quotes, after "SELECT "
            sql->setTextCursor(at);
            child<QCheckBox>(d, "chkAddName")->setChecked(true);
            child<QCheckBox>(d, "chkAddTable")->setChecked(true);
            child<QCheckBox>(d, "chkAddComma")->setChecked(true);
            const int amt = grid->findRow(QStringLiteral("Mtr_Amt"), grid->fixedRows(), 2);
            grid->setCurrentCell(amt, 2);
            clickButton(d, "cmdAddField");
            child<QCheckBox>(d, "chkAddName")->setChecked(false);
            child<QCheckBox>(d, "chkAddComma")->setChecked(false);
            grid->setCurrentCell(grid->findRow(QStringLiteral("Bar_No"), grid->fixedRows(), 2), 2);
            clickButton(d, "cmdAddField");
            auto *words = child<QListWidget>(d, "LstSqlOper");
            QCOMPARE(words->count(), 14);
            QCOMPARE(words->item(2)->text(), QStringLiteral(" From "));
            QCOMPARE(words->item(13)->text(), QStringLiteral(" Sum(),"));
            emit words->itemDoubleClicked(words->item(2));
            help = child<QPlainTextEdit>(d, "txtDesc")->toPlainText();
            // The test with the builder's own host: nothing runs, nothing is shown.
            child<QPlainTextEdit>(d, "txtSQL")->appendPlainText(QStringLiteral("MsgBox \"never\""));
            clickButton(d, "CmdTest");
            built = sql->toPlainText();
            clickButton(d, "CmdSave");
        };
        QString afterSave;
        act[QStringLiteral("FrmDesignReportSQL")] = [&](QDialog *d) {
            clickButton(d, "CmdSql");
            afterSave = child<QPlainTextEdit>(d, "txtSQL")->toPlainText();
            d->reject();
        };
        ModalRunner::exec(&e);
        FrmDesignReportSQL::release();
        QCOMPARE(modules,
                 (QStringList{QStringLiteral("基础资料"), QStringLiteral("仓库管理"), QStringLiteral("空模块")}));
        QCOMPARE(tables, (QStringList{QStringLiteral("颜色资料(mmst605)"), QStringLiteral("领料单(Mmst411)"),
                                      QStringLiteral("领料明细(Mmst412)")}));
        QVERIFY(lastExpanded);
        QCOMPARE(columnsAtOpen, 0);
        QCOMPARE(columns.size(), 2);
        // Display names where recorded; a table without any lists its names twice.
        const auto lower = [](QStringList l) {
            for (QString &s : l)
                s = s.toLower();
            return l;
        };
        QVERIFY(lower(columns[0]).contains(QStringLiteral("mtr_amt=领料数量")));
        QVERIFY(lower(columns[0]).contains(QStringLiteral("rec_411=rec_411")));
        QVERIFY(!columns[1].isEmpty());
        for (const QString &row : columns[1]) {
            const QStringList parts = row.split(QLatin1Char('='));
            QCOMPARE(parts.value(0), parts.value(1));
        }
        QVERIFY(lower(columns[1]).contains(QStringLiteral("color_name=color_name")));
        QVERIFY(emptyModule.isEmpty());
        QCOMPARE(built.section(QLatin1Char('\n'), 0, 0).toLower(),
                 QStringLiteral("w_sql = \"select mmst412.mtr_amt as 领料数量,mmst412.bar_no from \""));
        QCOMPARE(afterSave, built);
        QCOMPARE(help, QStringLiteral(
                           "变量类:\n    W_SQL:返回的SQL语句,W_Filter:系统传递的过滤条件,View_Price:是否允许查看单价,"
                           "W_RsRead用於显示数据过程,W_RsWrite用於更新数据过程.Ado.ExecuteSql执行sql语句,"
                           "ado.GetRecordset取回记录集\n表单类:\n    frmlist为通用列表,frmmtrlist为材料列表,"
                           "this为控件集合\n"));
        QVERIFY(FrmDesignSQL::helpText().endsWith(QStringLiteral("this为控件集合\r\n")));
        QVERIFY(box->shown().isEmpty());
    }

    void builderCancelKeepsTheScriptAndTestsOnAGivenHost()
    {
        runContext().Conn = conn;
        QWidget operating;
        operating.setObjectName(QStringLiteral("FrmOper"));
        auto *target = new QLineEdit(&operating);
        target->setObjectName(QStringLiteral("Txt_Target"));
        Kesto_Design host(conn);
        host.setOperForm(&operating);
        FrmDesignSQL &b = FrmDesignSQL::obtain();
        b.setSQL(QStringLiteral("Txt_Target.text = \"tested\""));
        b.setFormCaption(QStringLiteral("报表脚本"));
        b.SetDesign(&host);
        QStringList controls;
        QString title, inserted;
        act[QStringLiteral("FrmDesignSQL")] = [&](QDialog *d) {
            title = d->windowTitle();
            auto *dom = child<QTreeWidget>(d, "TreeDom");
            QTreeWidgetItem *root = dom->topLevelItem(0);
            for (int i = 0; root && i < root->childCount(); ++i)
                controls << root->child(i)->text(0);
            clickButton(d, "CmdTest");
            auto *sql = child<QPlainTextEdit>(d, "txtSQL");
            sql->moveCursor(QTextCursor::End);
            emit dom->itemDoubleClicked(root->child(controls.indexOf(QStringLiteral("Txt_Target"))), 0);
            inserted = sql->toPlainText();
            clickButton(d, "CmdCancel");
        };
        ModalRunner::exec(&b);
        QVERIFY(b.UserCancel());
        QCOMPARE(b.SQL(), QStringLiteral("Txt_Target.text = \"tested\""));
        FrmDesignSQL::release();
        QCOMPARE(title, QStringLiteral("报表脚本"));
        QVERIFY(controls.contains(QStringLiteral("Txt_Target")));
        QVERIFY(controls.contains(QStringLiteral("SC")));
        QCOMPARE(target->text(), QStringLiteral("tested"));
        QCOMPARE(inserted, QStringLiteral("Txt_Target.text = \"tested\"Txt_Target"));
    }
};

QTEST_MAIN(TstReports)
#include "tst_reports.moc"
