#include "platform/report/ReportComponent.h"

#include "TestSupport.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/report/ReportLayout.h"
#include "platform/script/ScriptEngine.h"
#include "platform/ui/ModalRunner.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
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

// What pdfinfo says of a PDF: its page count and the first page's size in points.
struct PdfInfo
{
    int pages = -1;
    QSizeF size;
};
PdfInfo pdfInfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    PdfInfo info;
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return info;
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Pages:")))
            info.pages = line.mid(6).trimmed().toInt();
        if (line.startsWith(QLatin1String("Page size:"))) {
            const QStringList t = line.mid(10).simplified().split(QLatin1Char(' '));
            if (t.size() >= 3)
                info.size = QSizeF(t.at(0).toDouble(), t.at(2).toDouble());
        }
    }
    return info;
}

// The print dialog as a user fills it in: a page range, copies, and the
// orientation on its properties page; then its OK. The printer is a PDF
// file, as the dialog's "Print to File (PDF)" makes it where a print server
// lists that entry (this machine has none).
void fillPrintDialog(QPrintDialog *d, const QString &file, int from, int to, int copies, bool landscape)
{
    if (from > 0) {
        d->findChild<QRadioButton *>(QStringLiteral("printRange"))->setChecked(true);
        d->findChild<QSpinBox *>(QStringLiteral("from"))->setValue(from);
        d->findChild<QSpinBox *>(QStringLiteral("to"))->setValue(to);
    }
    d->findChild<QSpinBox *>(QStringLiteral("copies"))->setValue(copies);
    if (auto *collate = d->findChild<QCheckBox *>(QStringLiteral("collate")))
        collate->setChecked(true);
    // The orientation is on the printer's properties page, a dialog of its own.
    bool turned = false;
    QTimer::singleShot(0, d, [&turned, landscape] {
        QWidget *properties = QApplication::activeModalWidget();
        auto *button = properties ? properties->findChild<QRadioButton *>(landscape ? QStringLiteral("landscape")
                                                                                  : QStringLiteral("portrait"))
                                  : nullptr;
        if (button) {
            button->click();
            turned = true;
        }
        if (auto *dialog = qobject_cast<QDialog *>(properties))
            dialog->accept();
    });
    d->findChild<QPushButton *>(QStringLiteral("properties"))->click();
    QVERIFY(turned);
    d->accept();
    d->printer()->setOutputFormat(QPrinter::PdfFormat);
    d->printer()->setOutputFileName(file);
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

    // The print dialog decides: its page range, copies and orientation are
    // what comes out; the layout's A4 portrait is only where it starts.
    void printDialogDecides_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("page 2 of 3, portrait") << 2 << 2 << 1 << false;
        QTest::newRow("page 2, landscape") << 2 << 2 << 1 << true;
        QTest::newRow("pages 2 to 3, two copies") << 2 << 3 << 2 << false;
        QTest::newRow("all pages, landscape") << 0 << 0 << 1 << true;
    }
    void printDialogDecides()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, copies);
        QFETCH(bool, landscape);
        makeDocument("LL261209063", 70);
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261209063", false);
        // The whole slip on its own paper: three pages.
        const QStringList whole = pdfPages(printPdf("RPT40B01", sql));
        QCOMPARE(whole.size(), 3);
        report::setPdfOutput({});

        const QString out = pdf(QStringLiteral("dialog%1").arg(++m_runs));
        ModalRunner::setDriver([&](QDialog *d) {
            auto *dialog = qobject_cast<QPrintDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            fillPrintDialog(dialog, out, from, to, copies, landscape);
            return dialog->result();
        });
        QVERIFY(ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "P", false, nullptr, sql, {}, kCompany));
        const PdfInfo info = pdfInfo(out);
        const QStringList pages = pdfPages(out);
        QCOMPARE(info.pages, int(pages.size()));
        // A4 in points, turned when landscape was chosen.
        QCOMPARE(qRound(info.size.width()), landscape ? 842 : 595);
        QCOMPARE(qRound(info.size.height()), landscape ? 595 : 842);
        // The pages count as laid out on the paper printed: a turned page holds fewer lines.
        const QRegularExpressionMatch counted =
            QRegularExpression(QStringLiteral("共(\\d+)页")).match(noBlanks(pages.value(0)));
        QVERIFY(counted.hasMatch());
        const int total = counted.captured(1).toInt();
        QVERIFY2(landscape ? total > 3 : total == 3, qPrintable(QString::number(total)));
        const int first = from > 0 ? from : 1;
        const int last = from > 0 ? to : total;
        QCOMPARE(int(pages.size()), (last - first + 1) * copies);
        for (int i = 0; i < pages.size(); ++i) {
            const int page = first + i % (last - first + 1);
            QVERIFY2(noBlanks(pages.at(i)).contains(pageCounter(page, total)), qPrintable(pages.at(i)));
        }
        if (from == 2 && to == 2)
            QVERIFY(!noBlanks(pdfText(out)).contains(pageCounter(1, total)));
    }

    // Print from the preview's own button: the print dialog's range holds;
    // a printer that fails is reported as P reports it; a preview only looked
    // at prints nothing and says so.
    void printFromThePreview()
    {
        makeDocument("LL261209064", 70);
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261209064", false);
        QString out = pdf("frompreview");
        bool press = true;
        QRect shownAt;
        QRect room;
        ModalRunner::setDriver([&](QDialog *d) {
            if (auto *dialog = qobject_cast<QPrintDialog *>(d)) {
                fillPrintDialog(dialog, out, 2, 2, 1, false);
                return dialog->result();
            }
            auto *preview = qobject_cast<QPrintPreviewDialog *>(d);
            if (!preview)
                return int(QDialog::Rejected);
            preview->show();
            shownAt = preview->frameGeometry();
            room = preview->screen()->availableGeometry();
            if (press) {
                QAction *print = preview->findChild<QAction *>(QStringLiteral("PreviewPrint"));
                if (!print)
                    return int(QDialog::Rejected);
                print->trigger();
                return preview->result();
            }
            preview->reject();
            return preview->result();
        });
        QVERIFY(ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, sql, {}, kCompany));
        QVERIFY2(room.contains(shownAt), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                        .arg(shownAt.x())
                                                        .arg(shownAt.y())
                                                        .arg(shownAt.width())
                                                        .arg(shownAt.height())));
        QCOMPARE(pdfInfo(out).pages, 1);
        QVERIFY(noBlanks(pdfText(out)).contains(pageCounter(2, 3)));

        // Only looked at: nothing came out.
        press = false;
        QVERIFY(!ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, sql, {}, kCompany));

        // A printer that refuses: the failure reaches the caller, in P's words.
        press = true;
        out = tmp.filePath("no/such/folder/frompreview.pdf");
        try {
            ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "V", false, nullptr, sql, {}, kCompany);
            QFAIL("no error");
        } catch (const ErpError &e) {
            QCOMPARE(e.description(), QStringLiteral("打印报表 生产领料单 失败"));
        }
    }

    // Stopping a long print: the printer's job is aborted, the user is told,
    // and nothing counts as printed.
    void stoppingALongPrint()
    {
        makeDocument("LL261209065", 70);
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261209065", false);
        ScriptedMessageBox box;
        const QString out = pdf("stopped");
        ModalRunner::setDriver([&](QDialog *d) {
            auto *dialog = qobject_cast<QPrintDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            fillPrintDialog(dialog, out, 0, 0, 1, false);
            return dialog->result();
        });
        int painted = 0;
        report::setProgressHook([&painted](QProgressDialog *progress, int page) {
            painted = page;
            if (page == 1)
                progress->cancel();
        });
        const bool printed =
            ReportComponent(appPath).rptPrint(conn, "RPT40B01", nullptr, "P", false, nullptr, sql, {}, kCompany);
        report::setProgressHook({});
        QVERIFY(!printed);
        QCOMPARE(painted, 1);
        QCOMPARE(box.shown().size(), 1);
        QVERIFY2(box.last().text.startsWith(QStringLiteral("打印报表 生产领料单 已取消")), qPrintable(box.last().text));
        QVERIFY(pdfInfo(out).pages < 3);
    }

    // A wrapping column prints a text wider than itself whole, on further
    // lines of its row; the row grows and the pages still hold every line.
    void longTextsWrap()
    {
        const QString spec = QStringLiteral("加厚型 PU涂层 防水等级W4 幅宽150cm 克重420g/m2 "
                                            "颜色按客户色卡 批次须一致 背面贴合3mm海绵");
        TestDb::exec(conn, QStringLiteral("UPDATE mmst611 SET Mtr_Dim = ? WHERE Mtr_No = 'F001'"), {spec});
        const QString sql = scriptSql(conn, "40B", "RPT40B01", "LL261207001", false);
        const QString text = pdfText(printPdf("RPT40B01", sql));
        QString flat = text;
        flat.remove(QRegularExpression(QStringLiteral("\\s")));
        QString want = spec;
        want.remove(QLatin1Char(' '));
        // Each wrapped piece is whole on its line: joined they give the text.
        QStringList pieces;
        for (QString line : text.split(QLatin1Char('\n')))
            for (const QString &part : line.split(QRegularExpression(QStringLiteral("\\s{2,}")), Qt::SkipEmptyParts))
                if (spec.contains(part.trimmed()) && part.trimmed().size() > 3)
                    pieces << part.trimmed();
        QString joined = pieces.join(QString());
        joined.remove(QLatin1Char(' '));
        QVERIFY2(joined.contains(want), qPrintable(pieces.join(QLatin1Char('|'))));
        QVERIFY(!text.contains(QChar(0x2026))); // nothing cut with "…"

        // The same column without wrap cuts the text.
        const QString app = appWithLayout(
            "CUT", "[report]\n[columns]\nMtr_No 材料代号 20 left\nMtr_Dim 规格 30 left\nMtr_Amt 数量 18 right\n");
        const QString cut = pdfText(printPdf("CUT", sql, app));
        QVERIFY(!noBlanks(cut).contains(want));
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
