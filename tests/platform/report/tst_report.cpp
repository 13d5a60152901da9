#include "platform/report/ReportComponent.h"

#include "TestSupport.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportLayout.h"
#include "platform/script/ScriptEngine.h"
#include "platform/ui/ModalRunner.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using report::ReportComponent;

namespace {

// pdftotext leaves out the narrow blanks beside wide characters; the page
// counter "第 n 页 / 共 m 页" is found with blanks ignored.
QString pageCounter(int page, int pages)
{
    return QStringLiteral("第%1页/共%2页").arg(page).arg(pages);
}

QString noBlanks(QString text)
{
    text.remove(QLatin1Char(' '));
    return text;
}

const QString kCompany = QStringLiteral("东莞宏达箱包制品有限公司");

// The text of a PDF as pdftotext reads it; pages are separated by form feeds.
QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList pdfPages(const QString &path)
{
    QStringList pages = pdfText(path).split(QLatin1Char('\f'));
    while (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The SQL a stored report script leaves in W_SQL for the variables the
// report list gives it.
QString scriptSql(const Connection &conn, const QString &form, const QString &code, const QString &invNo,
                  bool viewPrice)
{
    const QString script =
        Sql(conn, QStringLiteral("SELECT report_sql FROM mmstc111 WHERE form_name = ? AND Report_Name = ?"))
            .bind(form)
            .bind(code)
            .scalar()
            .toString();
    ScriptEngine engine;
    const QString variables = QStringLiteral("inv_no=\"%1\"\r\nconst View_Price=%2\r\nconst W_Filter=\"\"\r\n")
                                  .arg(invNo, viewPrice ? QStringLiteral("True") : QStringLiteral("False"));
    if (!engine.addCode(variables) || !engine.addCode(script))
        return QStringLiteral("<script failed: %1>").arg(engine.errorDescription());
    return engine.global(QStringLiteral("W_SQL")).toString();
}

// A number as the seeded layouts print it: "#,##0.00".
QString number2(double v)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::NumberOptions());
    return c.toString(v, 'f', 2);
}

} // namespace

class TstReport : public QObject
{
    Q_OBJECT

    Connection conn;
    QTemporaryDir tmp;
    QString appPath;

    QString pdf(const QString &name) const { return tmp.filePath(name + QStringLiteral(".pdf")); }

    // Prints through the component into a PDF and returns the file.
    QString printPdf(const QString &code, const QString &sql, const QString &app = {})
    {
        const QString out = pdf(code + QString::number(++m_runs));
        report::setPdfOutput(out);
        ReportComponent(app.isEmpty() ? appPath : app)
            .rptPrint(conn, code, nullptr, QStringLiteral("V"), false, nullptr, sql, {}, kCompany);
        return out;
    }
    int m_runs = 0;

    // A folder with a report/ subfolder holding one layout file.
    QString appWithLayout(const QString &code, const QByteArray &text)
    {
        const QString dir = tmp.filePath(QStringLiteral("app%1").arg(++m_runs));
        QDir().mkpath(dir + QStringLiteral("/report"));
        QFile f(dir + QStringLiteral("/report/") + code + QStringLiteral(".layout"));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write layout");
        f.write(text);
        return dir;
    }

    qint64 count(const QString &table)
    {
        return Sql(conn, QStringLiteral("SELECT COUNT(*) FROM ") + table).scalar().toLongLong();
    }

    // A document of the issue window with n lines of the seeded materials.
    void makeDocument(const QString &invNo, int n)
    {
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Date, Inv_Type, Org_No, Proc_Man, Bar_Man, "
                                    "Status) VALUES (?, '2026-12-09', '1', '0001001', '王建军', '陈志明', '0')"),
                     {invNo});
        const qint64 rec =
            Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?")).bind(invNo).scalar().toLongLong();
        const ResultSet mats = Sql(conn, QStringLiteral("SELECT Rec_611 FROM mmst611 ORDER BY Rec_611")).select();
        Transaction t(conn);
        for (int i = 0; i < n; ++i)
            TestDb::exec(conn,
                         QStringLiteral("INSERT INTO Mmst412 (Rec_411, Rec_611, Mtr_Amt, Bar_No, Color_No) "
                                        "VALUES (?, ?, ?, 'A001002', 'BK')"),
                         {rec, mats.value(i % mats.rowCount(), 0), 10 + i});
        t.commit();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        appPath = QCoreApplication::applicationDirPath();
        QVERIFY2(QFile::exists(appPath + QStringLiteral("/report/RPT40B01.layout")),
                 "the seeded layouts are installed next to the program");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(), "poppler-utils is installed");
    }

    void init()
    {
        conn = TestDb::fresh(true);
        report::setPdfOutput({});
        ModalRunner::setDriver({});
    }

    void cleanup()
    {
        report::setPdfOutput({});
        ModalRunner::setDriver({});
        if (conn.isValid())
            conn.close();
    }

    // Each window's seeded report, run from its stored script, prints the
    // document: number, company, every line's material and quantity; prices
    // only for a user who may see them.
    void seededReport_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("invNo");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("viewPrice");
        QTest::newRow("issue, no prices") << "40B"
                                          << "LL261207001"
                                          << "生产领料单" << false;
        QTest::newRow("issue, prices") << "40B"
                                       << "LL261207001"
                                       << "生产领料单" << true;
        QTest::newRow("return, no prices") << "40C"
                                           << "TL261208001"
                                           << "生产退料单" << false;
        QTest::newRow("return, prices") << "40C"
                                        << "TL261208001"
                                        << "生产退料单" << true;
        QTest::newRow("supplementary, no prices") << "40D"
                                                  << "BL261208001"
                                                  << "生产补料单" << false;
        QTest::newRow("supplementary, prices") << "40D"
                                               << "BL261208002"
                                               << "生产补料单" << true;
    }
    void seededReport()
    {
        QFETCH(QString, form);
        QFETCH(QString, invNo);
        QFETCH(QString, caption);
        QFETCH(bool, viewPrice);
        const QString code = QStringLiteral("RPT") + form + QStringLiteral("01");
        const QString sql = scriptSql(conn, form, code, invNo, viewPrice);
        QVERIFY2(sql.startsWith(QLatin1String("SELECT")), qPrintable(sql));
        const QString text = pdfText(printPdf(code, sql));

        const ResultSet lines =
            Sql(conn, QStringLiteral("SELECT v.Mtr_No, l.Mtr_Amt, v.Avg_Cost, l.Mtr_Amt * v.Avg_Cost FROM Mmst412 l "
                                     "JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 JOIN vmmst611 v ON v.Rec_611 = l.Rec_611 "
                                     "WHERE h.Inv_No = ?"))
                .bind(invNo)
                .select();
        QVERIFY(lines.rowCount() > 0);
        QVERIFY2(text.contains(invNo), qPrintable(text));
        QVERIFY(text.contains(kCompany));
        QVERIFY(text.contains(caption));
        QVERIFY2(noBlanks(text).contains(pageCounter(1, 1)), qPrintable(text));
        for (const char *label : {"领料人:", "仓管员:", "审核人:", "合计"})
            QVERIFY2(text.contains(QString::fromUtf8(label)) || (form == "40C" && QByteArray(label) == "领料人:"),
                     label);
        double total = 0;
        for (qint64 r = 0; r < lines.rowCount(); ++r) {
            QVERIFY2(text.contains(lines.text(r, 0)), qPrintable(lines.text(r, 0)));
            QVERIFY2(text.contains(number2(lines.value(r, 1).toDouble())), qPrintable(lines.text(r, 1)));
            total += lines.value(r, 1).toDouble();
            const QString price = number2(lines.value(r, 2).toDouble());
            const QString amount = number2(lines.value(r, 3).toDouble());
            if (viewPrice) {
                QVERIFY2(text.contains(price), qPrintable(price));
                QVERIFY2(text.contains(amount), qPrintable(amount));
            } else {
                QVERIFY2(!text.contains(amount), qPrintable(amount));
            }
        }
        QVERIFY(text.contains(QStringLiteral("合计")));
        QCOMPARE(text.contains(QStringLiteral("单价")), viewPrice);
        QCOMPARE(text.contains(QStringLiteral("金额")), viewPrice);
        QVERIFY(text.contains(number2(total)));
    }

    // The script takes the document number as text: a quote in it stays a
    // value of the statement and finds nothing, instead of breaking it.
    void seededScriptQuotesTheNumber()
    {
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL' OR '1'='1", false);
        QVERIFY(sql.contains(QStringLiteral("'LL'' OR ''1''=''1'")));
        const QString text = pdfText(printPdf("RPT40B01", sql));
        QVERIFY(text.contains(QStringLiteral("生产领料单")));
        QVERIFY(!text.contains(QStringLiteral("LL261207001")));
        // The issue report prints issues only, not a return of that number.
        const QString other = pdfText(printPdf("RPT40B01", scriptSql(conn, "40B", "RPT40B01", "TL261208001", false)));
        QVERIFY(!other.contains(QStringLiteral("TL261208001")));
    }

    // One basic data source per window, marked as such, without a layout.
    void basicSourcesPrintAsPlainTables()
    {
        for (const QString &form : {QStringLiteral("40B"), QStringLiteral("40C"), QStringLiteral("40D")}) {
            const ResultSet rs =
                Sql(conn, QStringLiteral("SELECT Report_Name, report_caption FROM mmstc111 WHERE form_name = ? AND "
                                         "basic_sql_flag = 1"))
                    .bind(form)
                    .select();
            QCOMPARE(rs.rowCount(), 1);
            const QString code = rs.text(0, 0);
            QVERIFY(report::ReportLayout::findFile(appPath + "/report", code).isEmpty());
            const QString invNo = form == "40B" ? "LL261207001" : form == "40C" ? "TL261208001" : "BL261208001";
            const QString text = pdfText(printPdf(code, scriptSql(conn, form, code, invNo, false)));
            QVERIFY2(text.contains(rs.text(0, 1)), qPrintable(text)); // the stored caption
            // Headings are the result's column names, which one server gives in lower case.
            QVERIFY2(text.contains(QStringLiteral("Mtr_No"), Qt::CaseInsensitive), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("Mtr_Amt"), Qt::CaseInsensitive));
            QVERIFY(text.contains(invNo));
        }
    }

    // A document longer than a page: every page repeats the headings and
    // counts the pages; no line is lost between pages.
    void longDocumentSpansPages()
    {
        makeDocument("LL261209060", 60);
        const QString file = printPdf("RPT40B01", scriptSql(conn, "40B", "RPT40B01", "LL261209060", false));
        const QStringList pages = pdfPages(file);
        QVERIFY2(pages.size() > 1, qPrintable(QString::number(pages.size())));
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY2(pages.at(i).contains(QStringLiteral("材料代号")), qPrintable(QString::number(i)));
            QVERIFY(pages.at(i).contains(QStringLiteral("数量")));
            QVERIFY(pages.at(i).contains(QStringLiteral("LL261209060")));
            QVERIFY(noBlanks(pages.at(i)).contains(pageCounter(i + 1, int(pages.size()))));
        }
        const QString all = pages.join(QLatin1Char('\n'));
        for (int i = 0; i < 60; ++i)
            QVERIFY2(all.contains(number2(10 + i)), qPrintable(number2(10 + i)));
        QVERIFY(pages.last().contains(QStringLiteral("合计")));
        QVERIFY(pages.last().contains(number2(60 * 10 + 59 * 60 / 2.0)));
        QVERIFY(pages.last().contains(QStringLiteral("审核人:")));
    }

    // A code without a layout file prints every column of its result under
    // the caption stored for it, or under the code when there is none.
    void codeWithoutLayoutPrintsPlainTable()
    {
        const QString sql = QStringLiteral("SELECT Mtr_No, Mtr_Name, Avg_Cost FROM mmst611 WHERE Mtr_No IN ('F001', "
                                           "'F003') ORDER BY Mtr_No");
        const QString text = pdfText(printPdf("U", sql));
        for (const char *s : {"Mtr_No", "Mtr_Name", "Avg_Cost", "F001", "F003", "1680D双股牛津布", "600D涤纶牛津布",
                              "18.5", "9.8", "U"})
            QVERIFY2(text.contains(QString::fromUtf8(s), Qt::CaseInsensitive), qPrintable(QString::fromUtf8(s) + text));
        QVERIFY(text.contains(kCompany));
        QVERIFY(noBlanks(text).contains(pageCounter(1, 1)));
        QVERIFY(!text.contains(QStringLiteral("F002")));

        TestDb::exec(conn, QStringLiteral("INSERT INTO mmstc111 (form_name, Report_Name, report_caption) VALUES "
                                          "('40B', 'MYLIST', '我的材料表')"));
        QVERIFY(pdfText(printPdf("MYLIST", sql)).contains(QStringLiteral("我的材料表")));
    }

    // A prepared result set prints without SQL; no SQL and no rows print nothing.
    void preparedRowsAndEmptySql()
    {
        ResultSet rows;
        rows.setColumns({QStringLiteral("Mtr_No"), QStringLiteral("Mtr_Amt")});
        rows.appendRow({QStringLiteral("X-001"), 12.5});
        rows.appendRow({QStringLiteral("X-002"), 7});
        const QString out = pdf("prepared");
        report::setPdfOutput(out);
        ReportComponent(appPath).rptPrint(conn, "PREP", nullptr, "P", false, &rows, std::nullopt, {}, kCompany);
        const QString text = pdfText(out);
        QVERIFY(text.contains(QStringLiteral("X-001")));
        QVERIFY(text.contains(QStringLiteral("12.5")));

        const QString none = pdf("none");
        report::setPdfOutput(none);
        ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, QStringLiteral("  "), {},
                                          kCompany);
        ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, std::nullopt, {}, kCompany);
        QVERIFY(!QFile::exists(none));
    }

    // The report's SQL cannot change the database: a write is refused with
    // the server's error and leaves every row; afterwards the connection
    // writes again as before.
    void sqlRunsReadOnly_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("refused");
        QTest::newRow("delete") << "DELETE FROM mmst611" << true;
        QTest::newRow("update") << "UPDATE mmst611 SET Mtr_Name = 'x'" << true;
        QTest::newRow("insert") << "INSERT INTO mmst909 (item_no, item_value) VALUES ('x', 'y')" << true;
        QTest::newRow("drop") << "DROP TABLE mmst909" << true;
        // One server runs only the first statement, another refuses the second.
        QTest::newRow("select then delete") << "SELECT 1; DELETE FROM mmst611" << false;
    }
    void sqlRunsReadOnly()
    {
        QFETCH(QString, sql);
        QFETCH(bool, refused);
        const qint64 materials = count("mmst611");
        const qint64 options = count("mmst909");
        const QString names =
            Sql(conn, QStringLiteral("SELECT MIN(Mtr_Name) || MAX(Mtr_Name) FROM mmst611")).scalar().toString();
        const QString out = pdf("write");
        report::setPdfOutput(out);
        bool threw = false;
        try {
            ReportComponent(appPath).rptPrint(conn, "U", nullptr, "V", false, nullptr, sql, {}, kCompany);
        } catch (const ErpError &e) {
            threw = true;
            QVERIFY(!e.description().isEmpty());
        }
        if (refused)
            QVERIFY(threw);
        QCOMPARE(count("mmst611"), materials);
        QCOMPARE(count("mmst909"), options);
        QCOMPARE(Sql(conn, QStringLiteral("SELECT MIN(Mtr_Name) || MAX(Mtr_Name) FROM mmst611")).scalar().toString(),
                 names);
        // The connection is left as it was: writable, outside any transaction.
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst909 (item_no, item_value) VALUES ('after', '1')"));
        QCOMPARE(count("mmst909"), options + 1);
    }

    void sqlErrorIsReported()
    {
        report::setPdfOutput(pdf("err"));
        try {
            ReportComponent(appPath).rptPrint(conn, "U", nullptr, "V", false, nullptr,
                                              QStringLiteral("SELECT x FROM no_such_table"), {}, kCompany);
            QFAIL("no error");
        } catch (const ErpError &e) {
            QVERIFY2(e.description().contains(QStringLiteral("no_such_table")), qPrintable(e.description()));
        }
        QVERIFY(!QFile::exists(pdf("err")));
    }

    // Layout text the component does not understand is refused with the
    // file, the line and what is wrong; nothing is printed.
    void badLayout_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown section") << QByteArray("[report]\ncaption = x\n[colums]\n")
                                         << "报表格式 BAD.layout 第 3 行: 不认识的段 \"[colums]\"";
        QTest::newRow("outside a section") << QByteArray("# comment\ncaption = x\n")
                                           << "报表格式 BAD.layout 第 2 行: 内容 \"caption = x\" 不在任何段内";
        QTest::newRow("bad width") << QByteArray("[columns]\nMtr_No 料号 wide left\n")
                                   << "报表格式 BAD.layout 第 2 行: 宽度 \"wide\" 不是 1 到 1000 之间的数";
        QTest::newRow("zero width") << QByteArray("[columns]\nMtr_No 料号 0 left\n")
                                    << "报表格式 BAD.layout 第 2 行: 宽度 \"0\" 不是 1 到 1000 之间的数";
        QTest::newRow("bad align") << QByteArray("[columns]\nMtr_No 料号 20 middle\n")
                                   << "报表格式 BAD.layout 第 2 行: 对齐 \"middle\" 应为 left、right 或 center";
        QTest::newRow("short column") << QByteArray("[columns]\nMtr_No 料号\n")
                                      << "报表格式 BAD.layout 第 2 行: 栏位应写成 \"字段 标题 宽度 对齐 [格式] [sum] [wrap]\"";
        QTest::newRow("bad format") << QByteArray("[columns]\nMtr_No 料号 20 left 0.0.0\n")
                                    << "报表格式 BAD.layout 第 2 行: 不认识的格式 \"0.0.0\"";
        QTest::newRow("open quote") << QByteArray("[columns]\nMtr_No \"料 号 20 left\n")
                                    << "报表格式 BAD.layout 第 2 行: 引号没有结束";
        QTest::newRow("unknown key") << QByteArray("[report]\ncolour = red\n")
                                     << "报表格式 BAD.layout 第 2 行: [report] 中不认识的名称 \"colour\"";
        QTest::newRow("huge font") << QByteArray("[report]\nfont = 1e308\n")
                                   << "报表格式 BAD.layout 第 2 行: 字号 \"1e308\" 不是 5 到 30 之间的数";
        QTest::newRow("header without field")
            << QByteArray("[header]\n单号\n") << "报表格式 BAD.layout 第 2 行: 应写成 \"标签 = 字段\"";
        QTest::newRow("empty columns") << QByteArray("[columns]\n\n")
                                       << "报表格式 BAD.layout 第 3 行: [columns] 段没有栏位";
        QTest::newRow("column not in data")
            << QByteArray("[columns]\nMtr_Nr 料号 20 left\n") << "报表格式 BAD.layout: 数据中没有栏位 \"Mtr_Nr\"";
        QTest::newRow("group not in data") << QByteArray("[columns]\nMtr_No 料号 20 left\n[group]\nby = Bar_No\n")
                                           << "报表格式 BAD.layout: 数据中没有栏位 \"Bar_No\"";
        QTest::newRow("binary") << QByteArray("[report]\0\x01\x02", 11) << "报表格式 BAD.layout 不是文本文件";
    }
    void badLayout()
    {
        QFETCH(QByteArray, layout);
        QFETCH(QString, message);
        const QString app = appWithLayout("BAD", layout);
        const QString out = pdf("bad");
        QFile::remove(out);
        report::setPdfOutput(out);
        try {
            ReportComponent(app).rptPrint(conn, "bad", nullptr, "V", false, nullptr,
                                          QStringLiteral("SELECT Mtr_No, Mtr_Name FROM mmst611"), {}, kCompany);
            QFAIL("no error");
        } catch (const ErpError &e) {
            QCOMPARE(e.description(), message);
        }
        QVERIFY(!QFile::exists(out));
    }

    // Groups close with their subtotal when the value changes, the report
    // with its total; numbers in the layout's format, dates as dates.
    void groupsTotalsAndFormats()
    {
        const QString app = appWithLayout(
            "GRP", "\xEF\xBB\xBF# grouped\r\n[report]\r\ncaption = 分组测试\r\npaper = A5 landscape\r\n"
                   "[header]\r\n日期 = D date\r\n[columns]\r\nG 组 20 left\r\nN \"Item name\" 30 left\r\n"
                   "Q 数量 25 right #,##0.000 sum\r\nMissing? 缺 10 left\r\n[group]\r\nby = G\r\ncaption = 小计\r\n"
                   "[total]\r\ncaption = 总计\r\n[signatures]\r\n经手人\r\n");
        const QString sql = QStringLiteral(
            "SELECT 'A' AS G, 'n1' AS N, 1000.5 AS Q, '2026-12-09 10:11:12' AS D UNION ALL "
            "SELECT 'A', 'n2', 2, '2026-12-09 10:11:12' UNION ALL SELECT 'B', 'n3', 3.25, '2026-12-09 10:11:12'");
        const QString text = pdfText(printPdf("grp", sql, app));
        for (const char *s : {"分组测试", "Item name", "1,000.500", "2.000", "3.250", "小计 A", "1,002.500", "小计 B",
                              "总计", "1,005.750", "日期: 2026-12-09", "经手人:"})
            QVERIFY2(text.contains(QString::fromUtf8(s)), s);
        QVERIFY(!text.contains(QStringLiteral("缺")));
        QVERIFY(!text.contains(QStringLiteral("10:11:12")));
    }

    void valueFormats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("grouped") << "#,##0.00" << QVariant(1234567.891) << "1,234,567.89";
        QTest::newRow("plain decimals") << "0.0000" << QVariant(QStringLiteral("12.5")) << "12.5000";
        QTest::newRow("integer") << "0" << QVariant(41.6) << "42";
        QTest::newRow("negative zero") << "0.00" << QVariant(-0.001) << "0.00";
        QTest::newRow("negative") << "#,##0.00" << QVariant(-1500) << "-1,500.00";
        QTest::newRow("not a number") << "0.00" << QVariant(QStringLiteral("abc")) << "abc";
        QTest::newRow("null") << "0.00" << QVariant() << "";
        QTest::newRow("date of text") << "date" << QVariant(QStringLiteral("2026-12-09T08:00:00")) << "2026-12-09";
        QTest::newRow("date") << "date" << QVariant(QDate(2026, 1, 2)) << "2026-01-02";
        QTest::newRow("datetime") << "datetime" << QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)))
                                  << "2026-01-02 03:04";
    }
    void valueFormats()
    {
        QFETCH(QString, format);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        report::ValueFormat f;
        QVERIFY(report::ValueFormat::parse(format, &f));
        QCOMPARE(f.apply(value), text);
    }

    // A layout is found by its code whatever the case; a code never reaches
    // outside the report folder.
    void layoutLookup()
    {
        const QString folder = appPath + QStringLiteral("/report");
        QCOMPARE(report::ReportLayout::findFile(folder, "rpt40b01"), folder + "/RPT40B01.layout");
        QCOMPARE(report::ReportLayout::findFile(folder, " RPT40C01 "), folder + "/RPT40C01.layout");
        QVERIFY(report::ReportLayout::findFile(folder, "../report/RPT40B01").isEmpty());
        QVERIFY(report::ReportLayout::findFile(folder, "").isEmpty());
        QVERIFY(report::ReportLayout::findFile(folder, "NOPE").isEmpty());
    }

    // "V" opens the preview window with every page; its save action writes
    // the PDF the user names.
    void previewWindow()
    {
        makeDocument("LL261209061", 60);
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261209061", true);
        const QString saved = pdf("saved");
        int previewPages = -1;
        QString title;
        ModalRunner::setDriver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                files->selectFile(saved);
                return int(QDialog::Accepted);
            }
            auto *preview = qobject_cast<QPrintPreviewDialog *>(d);
            if (!preview)
                return int(QDialog::Rejected);
            title = preview->windowTitle();
            auto *widget = preview->findChild<QPrintPreviewWidget *>();
            widget->updatePreview();
            previewPages = widget->pageCount();
            for (QAction *a : preview->findChildren<QAction *>())
                if (a->objectName() == QLatin1String("SavePdf"))
                    a->trigger();
            return int(QDialog::Rejected);
        });
        ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, sql, {}, kCompany);
        QCOMPARE(title, QStringLiteral("打印预览 - 生产领料单"));
        const QStringList pages = pdfPages(saved);
        QVERIFY(pages.size() > 1);
        QCOMPARE(previewPages, pages.size());
        QVERIFY(pages.first().contains(QStringLiteral("单价")));
    }

    // "P" shows the print dialog; cancelling prints nothing, accepting prints
    // on the printer chosen there.
    void printDialog()
    {
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261207001", false);
        QString out = pdf("printed");
        int dialogs = 0;
        bool accept = false;
        ModalRunner::setDriver([&](QDialog *d) {
            auto *dialog = qobject_cast<QPrintDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            ++dialogs;
            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog->printer()->setOutputFileName(out);
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        });
        ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "P", false, nullptr, sql, {}, kCompany);
        QCOMPARE(dialogs, 1);
        QVERIFY(!QFile::exists(out));
        accept = true;
        ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "p", false, nullptr, sql, {}, kCompany);
        QCOMPARE(dialogs, 2);
        QVERIFY(pdfText(out).contains(QStringLiteral("LL261207001")));

        // A printer that cannot be written to is a failure, not a silent nothing.
        out = tmp.filePath("no/such/folder/printed.pdf");
        try {
            ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "P", false, nullptr, sql, {}, kCompany);
            QFAIL("no error");
        } catch (const ErpError &e) {
            QCOMPARE(e.description(), QStringLiteral("打印报表 生产领料单 失败"));
        }
    }

    void pdfFailureIsReported()
    {
        report::setPdfOutput(tmp.filePath("no/such/folder/x.pdf"));
        try {
            ReportComponent(appPath).rptPrint(conn, "U", nullptr, "V", false, nullptr,
                                              QStringLiteral("SELECT Mtr_No FROM mmst611"), {}, kCompany);
            QFAIL("no error");
        } catch (const ErpError &e) {
            QVERIFY2(e.description().startsWith(QStringLiteral("无法写入 PDF 文件 ")), qPrintable(e.description()));
        }
    }
};

QTEST_MAIN(TstReport)
#include "tst_report.moc"
