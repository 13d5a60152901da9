#include "platform/xlsx/XlsxWorkbook.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Workbooks written here are read back by openpyxl (Debian python3-openpyxl),
// a reader that shares no code with ours; workbooks it writes are read by ours.
// The Python helpers live beside this file.

class TestXlsx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void rangeText_data();
    void rangeText();
    void definedNameRules_data();
    void definedNameRules();

    void newWorkbookExport();
    void removeColumnShortensSheet();
    void twoSheets();
    void templateRowCopies();
    void readsWorkbookFromOtherWriter();
    void readsHandWrittenPackage();
    void failures();
    void streamedRowsJoinTheHeldOnes();
    void manyStreamedRowsReadBack();

private:
    QString runPython(const QString &script, const QStringList &args);
    QStringList dump(const QString &path, const QStringList &parts = {});
    QString path(const QString &name) const { return m_dir->filePath(name); }

    QString m_python;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestXlsx::initTestCase()
{
    for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        QProcess p;
        p.start(candidate, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
            m_python = candidate;
            break;
        }
    }
    QVERIFY2(!m_python.isEmpty(), "python3 with openpyxl (Debian package python3-openpyxl) is needed");
}

void TestXlsx::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestXlsx::runPython(const QString &script, const QStringList &args)
{
    const QString source = qEnvironmentVariable("ERP_SOURCE_DIR");
    const QString file =
        source.isEmpty() ? QFINDTESTDATA(script) : source + QStringLiteral("/tests/platform/xlsx/") + script;
    if (!QFile::exists(file))
        return QStringLiteral("<no script %1>").arg(script);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    p.setProcessEnvironment(env);
    p.start(m_python, QStringList{file} + args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << "python failed:" << QString::fromUtf8(p.readAllStandardError());
        return QStringLiteral("<python failed>");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList TestXlsx::dump(const QString &file, const QStringList &parts)
{
    return runPython(QStringLiteral("xlsx_dump.py"), QStringList{file} + parts).trimmed().split(u'\n');
}

void TestXlsx::rangeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("absolute");

    QTest::newRow("cell") << "b2" << true << "B2"
                          << "$B$2";
    QTest::newRow("absolute area") << "$A$1:$C$3" << true << "A1:C3"
                                   << "$A$1:$C$3";
    QTest::newRow("reversed area is normalised") << "C3:A1" << true << "A1:C3"
                                                 << "$A$1:$C$3";
    QTest::newRow("last cell of a sheet") << "XFD1048576" << true << "XFD1048576"
                                          << "$XFD$1048576";
    QTest::newRow("column past the last") << "XFE1" << false << ""
                                          << "";
    QTest::newRow("row past the last") << "A1048577" << false << ""
                                       << "";
    QTest::newRow("row zero") << "A0" << false << ""
                              << "";
    QTest::newRow("sheet part is not a range") << "Sheet1!A1" << false << ""
                                               << "";
    QTest::newRow("whole column") << "A:A" << false << ""
                                  << "";
}

void TestXlsx::rangeText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, relative);
    QFETCH(QString, absolute);

    const XlsxRange range = XlsxRange::fromString(text);
    QCOMPARE(range.isValid(), valid);
    QCOMPARE(range.toString(), relative);
    QCOMPARE(range.toString(true), absolute);
}

void TestXlsx::definedNameRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");

    QTest::newRow("template marker") << "DetailBegin" << true;
    QTest::newRow("cleaned Chinese caption") << "单价元" << true;
    QTest::newRow("underscore start") << "_total" << true;
    QTest::newRow("four letters and digits is no cell") << "ABCD1" << true;
    QTest::newRow("dotted") << "a.b" << true;
    QTest::newRow("cell reference") << "A1" << false;
    QTest::newRow("last cell") << "xfd1048576" << false;
    QTest::newRow("R1C1 reference") << "R1C1" << false;
    QTest::newRow("bare R") << "r" << false;
    QTest::newRow("bare C") << "C" << false;
    QTest::newRow("row in R1C1 style") << "R12" << false;
    QTest::newRow("digit first") << "1abc" << false;
    QTest::newRow("space") << "单价 元" << false;
    QTest::newRow("bracket") << "单价(元)" << false;
    QTest::newRow("empty") << "" << false;
}

void TestXlsx::definedNameRules()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);

    QCOMPARE(XlsxWorkbook::isValidDefinedName(name), valid);
    XlsxWorkbook wb;
    QCOMPARE(wb.setDefinedName(name, QStringLiteral("Sheet1"), XlsxRange(2, 3)), valid);
    QCOMPARE(wb.definedNameReference(name), valid ? QStringLiteral("Sheet1!$C$2") : QString());
    QCOMPARE(wb.errorString().isEmpty(), valid);
}

void TestXlsx::newWorkbookExport()
{
    const QString special = QStringLiteral("他说\"好\" & <ok> 'x'");
    {
        XlsxWorkbook wb;
        QCOMPARE(wb.sheetNames(), QStringList{QStringLiteral("Sheet1")});
        XlsxSheet *sheet = wb.sheet(0);
        QVERIFY(sheet->setName(QStringLiteral("mmss40BGrid1")));

        // Merged, centred, bold 18-point title over the three columns.
        QVERIFY(sheet->setText(1, 1, QStringLiteral("领料单")));
        QVERIFY(sheet->mergeCells(XlsxRange(1, 1, 1, 3)));
        for (int c = 1; c <= 3; ++c) {
            QVERIFY(sheet->setHorizontalAlignment(1, c, XlsxHAlign::Center));
            QVERIFY(sheet->setVerticalAlignment(1, c, XlsxVAlign::Center));
            QVERIFY(sheet->setBold(1, c, true));
            QVERIFY(sheet->setFontSize(1, c, 18));
        }
        const QStringList headers = {QStringLiteral("数量"), QStringLiteral("件数"), QStringLiteral("物料")};
        const double widths[] = {1200.0 / 120, 900.0 / 120, 1500.0 / 120};
        for (int c = 1; c <= 3; ++c) {
            QVERIFY(sheet->setColumnWidth(c, widths[c - 1]));
            QVERIFY(sheet->setBold(2, c, true));
            QVERIFY(sheet->setNumberFormat(2, c, QStringLiteral("@")));
            QVERIFY(sheet->setText(2, c, headers.at(c - 1)));
        }
        QVERIFY(sheet->setNumberFormat(3, 1, QStringLiteral("0.0000_ ")));
        QVERIFY(sheet->setNumber(3, 1, 12.5));
        QVERIFY(sheet->setNumberFormat(3, 2, QStringLiteral("0_ ")));
        QVERIFY(sheet->setNumber(3, 2, 12));
        QVERIFY(sheet->setNumberFormat(3, 3, QStringLiteral("@")));
        QVERIFY(sheet->setText(3, 3, QStringLiteral("A12")));
        QVERIFY(sheet->setHorizontalAlignment(3, 3, XlsxHAlign::Right));
        QVERIFY(sheet->setText(4, 3, special));
        QVERIFY(sheet->setText(5, 3, QStringLiteral("  padded  ")));
        QVERIFY(sheet->setText(6, 3, QStringLiteral("数量"))); // same string as a header, stored once
        QVERIFY(sheet->setNumber(4, 1, 0.1 + 0.2));

        QVERIFY(!sheet->setText(0, 1, QStringLiteral("x")));
        QVERIFY(!sheet->setText(1, XlsxRange::maxColumns + 1, QStringLiteral("x")));
        QVERIFY(!sheet->mergeCells(XlsxRange(1, 3, 2, 3))); // overlaps the title

        QVERIFY2(wb.save(path("plain.xlsx")), qPrintable(wb.errorString()));
    }

    const QStringList expected = {
        "SHEETS mmss40BGrid1",
        "SHEET mmss40BGrid1",
        "CELL A1 s '领料单' fmt='General' bold=1 size=18 align=center/center",
        "CELL A2 s '数量' fmt='@' bold=1 size=11 align=None/None",
        "CELL B2 s '件数' fmt='@' bold=1 size=11 align=None/None",
        "CELL C2 s '物料' fmt='@' bold=1 size=11 align=None/None",
        "CELL A3 n 12.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL B3 n 12 fmt='0_ ' bold=0 size=11 align=None/None",
        "CELL C3 s 'A12' fmt='@' bold=0 size=11 align=right/None",
        "CELL A4 n 0.30000000000000004 fmt='General' bold=0 size=11 align=None/None",
        "CELL C4 s '他说\"好\" & <ok> \\'x\\'' fmt='General' bold=0 size=11 align=None/None",
        "CELL C5 s '  padded  ' fmt='General' bold=0 size=11 align=None/None",
        "CELL C6 s '数量' fmt='General' bold=0 size=11 align=None/None",
        "MERGE A1:C1",
        "WIDTH A 10",
        "WIDTH B 7.5",
        "WIDTH C 12.5",
        "NUMFMT 164 '0.0000_ '",
        "NUMFMT 165 '0_ '",
        "PART xl/sharedStrings.xml <?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"8\" uniqueCount=\"7\">"
        "<si><t>领料单</t></si><si><t>数量</t></si><si><t>件数</t></si><si><t>物料</t></si><si><t>A12</t></si>"
        "<si><t>他说&quot;好&quot; &amp; &lt;ok&gt; 'x'</t></si><si><t xml:space=\"preserve\">  padded  </t></si></sst>",
    };
    QCOMPARE(dump(path("plain.xlsx"), {QStringLiteral("xl/sharedStrings.xml")}).join(u'\n'), expected.join(u'\n'));

    // Our own reader sees the same.
    XlsxWorkbook back;
    QVERIFY2(back.open(path("plain.xlsx")), qPrintable(back.errorString()));
    XlsxSheet *sheet = back.sheet(QStringLiteral("MMSS40BGRID1"));
    QVERIFY(sheet);
    QCOMPARE(sheet->text(1, 1), QStringLiteral("领料单"));
    QVERIFY(sheet->isBold(1, 1));
    QCOMPARE(sheet->fontSize(1, 1), 18.0);
    QCOMPARE(sheet->horizontalAlignment(1, 1), XlsxHAlign::Center);
    QCOMPARE(sheet->verticalAlignment(1, 1), XlsxVAlign::Center);
    QCOMPARE(sheet->cellType(3, 1), XlsxSheet::CellType::Number);
    QCOMPARE(sheet->value(3, 1), QVariant(12.5));
    QCOMPARE(sheet->numberFormat(3, 1), QStringLiteral("0.0000_ "));
    QCOMPARE(sheet->numberFormat(3, 2), QStringLiteral("0_ "));
    QCOMPARE(sheet->numberFormat(3, 3), QStringLiteral("@"));
    QCOMPARE(sheet->numberFormat(3, 4), QStringLiteral("General"));
    QCOMPARE(sheet->text(4, 3), special);
    QCOMPARE(sheet->text(5, 3), QStringLiteral("  padded  "));
    QCOMPARE(sheet->text(4, 1), QStringLiteral("0.30000000000000004"));
    QCOMPARE(sheet->columnWidth(2), 7.5);
    QCOMPARE(sheet->columnWidth(4), 0.0);
    QCOMPARE(sheet->mergedRanges(), QList<XlsxRange>{XlsxRange(1, 1, 1, 3)});
    QCOMPARE(sheet->lastRow(), 6);
    QCOMPARE(sheet->lastColumn(), 3);
}

void TestXlsx::removeColumnShortensSheet()
{
    {
        XlsxWorkbook wb;
        XlsxSheet *sheet = wb.sheet(0);
        QVERIFY(sheet->setText(1, 1, QStringLiteral("标题")));
        QVERIFY(sheet->mergeCells(XlsxRange(1, 1, 1, 4)));
        QVERIFY(sheet->mergeCells(XlsxRange(3, 2, 3, 3))); // loses column B: one cell left, no merge
        for (int c = 1; c <= 4; ++c) {
            QVERIFY(sheet->setColumnWidth(c, 10 * c));
            QVERIFY(sheet->setText(2, c, XlsxRange::columnName(c)));
            QVERIFY(sheet->setNumber(4, c, c));
        }
        QVERIFY(sheet->setBold(2, 4, true));
        QVERIFY(sheet->setFormula(5, 4, QStringLiteral("=SUM(A4:D4)+$B$4")));
        QVERIFY(wb.setDefinedName(QStringLiteral("ColB"), QStringLiteral("Sheet1"), XlsxRange(2, 2)));
        QVERIFY(wb.setDefinedName(QStringLiteral("ColD"), QStringLiteral("Sheet1"), XlsxRange(2, 4)));
        QVERIFY(wb.setDefinedName(QStringLiteral("Band"), QStringLiteral("Sheet1"), XlsxRange(2, 1, 4, 4)));

        QCOMPARE(sheet->lastColumn(), 4);
        QVERIFY(sheet->removeColumn(2));
        QCOMPARE(sheet->lastColumn(), 3);
        QCOMPARE(wb.definedNameReference(QStringLiteral("colb")), QStringLiteral("Sheet1!#REF!"));
        QVERIFY(!wb.resolveDefinedName(QStringLiteral("ColB"), nullptr, nullptr));
        QVERIFY(wb.save(path("cols.xlsx")));
    }
    const QStringList expected = {
        "SHEETS Sheet1",
        "SHEET Sheet1",
        "CELL A1 s '标题' fmt='General' bold=0 size=11 align=None/None",
        "CELL A2 s 'A' fmt='General' bold=0 size=11 align=None/None",
        "CELL B2 s 'C' fmt='General' bold=0 size=11 align=None/None",
        "CELL C2 s 'D' fmt='General' bold=1 size=11 align=None/None",
        "CELL A4 n 1 fmt='General' bold=0 size=11 align=None/None",
        "CELL B4 n 3 fmt='General' bold=0 size=11 align=None/None",
        "CELL C4 n 4 fmt='General' bold=0 size=11 align=None/None",
        "CELL C5 f '=SUM(A4:C4)+#REF!' fmt='General' bold=0 size=11 align=None/None",
        "MERGE A1:C1",
        "WIDTH A 10",
        "WIDTH B 30",
        "WIDTH C 40",
        "NAME ColB Sheet1!#REF!",
        "NAME ColD Sheet1!$C$2",
        "NAME Band Sheet1!$A$2:$C$4",
    };
    QCOMPARE(dump(path("cols.xlsx")).join(u'\n'), expected.join(u'\n'));
}

void TestXlsx::twoSheets()
{
    {
        XlsxWorkbook wb;
        QVERIFY(wb.sheet(0)->setName(QStringLiteral("汇总")));
        XlsxSheet *second = wb.addSheet(QStringLiteral("Detail 2"));
        QVERIFY(second);
        QVERIFY(!wb.addSheet(QStringLiteral("detail 2"))); // names ignore case
        QVERIFY(!wb.errorString().isEmpty());
        QVERIFY(!wb.addSheet(QStringLiteral("a/b")));
        QVERIFY(!wb.sheet(0)->setName(QStringLiteral("DETAIL 2")));
        QCOMPARE(wb.sheetNames(), (QStringList{QStringLiteral("汇总"), QStringLiteral("Detail 2")}));
        QCOMPARE(wb.sheetIndex(QStringLiteral("DETAIL 2")), 1);
        QCOMPARE(wb.sheet(2), nullptr);

        QVERIFY(wb.sheet(0)->setText(1, 1, QStringLiteral("first")));
        QVERIFY(second->setNumber(2, 2, 42));
        QVERIFY(wb.sheet(0)->setFormula(1, 2, QStringLiteral("'Detail 2'!B2*2")));
        QVERIFY(wb.setDefinedName(QStringLiteral("Answer"), QStringLiteral("detail 2"), XlsxRange(2, 2)));
        // Renaming a sheet carries references to it along.
        QVERIFY(second->setName(QStringLiteral("Detail")));
        QCOMPARE(wb.sheet(0)->formula(1, 2), QStringLiteral("Detail!B2*2"));
        QVERIFY(wb.save(path("two.xlsx")));
    }
    const QStringList expected = {
        "SHEETS 汇总|Detail",
        "SHEET 汇总",
        "CELL A1 s 'first' fmt='General' bold=0 size=11 align=None/None",
        "CELL B1 f '=Detail!B2*2' fmt='General' bold=0 size=11 align=None/None",
        "SHEET Detail",
        "CELL B2 n 42 fmt='General' bold=0 size=11 align=None/None",
        "NAME Answer Detail!$B$2",
    };
    QCOMPARE(dump(path("two.xlsx")).join(u'\n'), expected.join(u'\n'));

    XlsxWorkbook back;
    QVERIFY(back.open(path("two.xlsx")));
    QString sheetName;
    XlsxRange range;
    QVERIFY(back.resolveDefinedName(QStringLiteral("answer"), &sheetName, &range));
    QCOMPARE(sheetName, QStringLiteral("Detail"));
    QCOMPARE(range, XlsxRange(2, 2));
    QCOMPARE(back.sheet(sheetName)->value(range.firstRow, range.firstColumn), QVariant(42.0));
}

void TestXlsx::templateRowCopies()
{
    QCOMPARE(runPython(QStringLiteral("xlsx_make_template.py"), {path("model.xlsx")}), QString());
    {
        XlsxWorkbook wb;
        QVERIFY2(wb.open(path("model.xlsx")), qPrintable(wb.errorString()));
        QCOMPARE(wb.sheetNames(), (QStringList{QStringLiteral("mmss40BGrid1"), QStringLiteral("Notes")}));
        QString sheetName;
        XlsxRange begin;
        QVERIFY(wb.resolveDefinedName(QStringLiteral("detailbegin"), &sheetName, &begin));
        QCOMPARE(sheetName, QStringLiteral("mmss40BGrid1"));
        QCOMPARE(begin, XlsxRange(3, 1));
        XlsxSheet *sheet = wb.sheet(sheetName);

        // Three data rows: copies inserted below the band row, each filled;
        // the last copy stays empty below them.
        QVERIFY(sheet->insertRowCopies(begin.firstRow, 3));
        const QStringList materials = {QStringLiteral("M-001"), QStringLiteral("M-002"), QStringLiteral("00123")};
        for (int r = 0; r < 3; ++r) {
            QVERIFY(sheet->setNumber(3 + r, 1, r + 1));
            QVERIFY(sheet->setText(3 + r, 2, materials.at(r)));
            QVERIFY(sheet->setNumber(3 + r, 3, 1.5 * (r + 1)));
        }
        // Header cells named outside the band get the grid's caption.
        XlsxRange caption;
        QVERIFY(wb.resolveDefinedName(QStringLiteral("单价元"), nullptr, &caption));
        QVERIFY(sheet->setText(caption.firstRow, caption.firstColumn, QStringLiteral("单价")));

        XlsxRange total;
        QVERIFY(wb.resolveDefinedName(QStringLiteral("合计"), nullptr, &total));
        QCOMPARE(total, XlsxRange(8, 3));
        QCOMPARE(sheet->formula(8, 3), QStringLiteral("SUM(C3:C7)"));
        QVERIFY(wb.save(path("export.xlsx")));
    }
    const QStringList expected = {
        "SHEETS mmss40BGrid1|Notes",
        "SHEET mmss40BGrid1",
        // The template's header font has no size of its own (size 0 here).
        "CELL A1 s '领料单明细' fmt='General' bold=1 size=18 align=center/center",
        "CELL A2 s '序号' fmt='General' bold=1 size=0 align=None/None",
        "CELL B2 s '单价' fmt='General' bold=1 size=0 align=None/None",
        "CELL C2 s '数量' fmt='General' bold=1 size=0 align=None/None",
        "CELL D2 s '单价(元)' fmt='General' bold=1 size=0 align=None/None",
        "CELL A3 n 1 fmt='0_ ' bold=0 size=11 align=None/None",
        "CELL B3 s 'M-001' fmt='@' bold=0 size=11 align=None/None",
        "CELL C3 n 1.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL D3 f '=C3*2' fmt='General' bold=0 size=11 align=right/None",
        "CELL A4 n 2 fmt='0_ ' bold=0 size=11 align=None/None",
        "CELL B4 s 'M-002' fmt='@' bold=0 size=11 align=None/None",
        "CELL C4 n 3 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL D4 f '=C4*2' fmt='General' bold=0 size=11 align=right/None",
        "CELL A5 n 3 fmt='0_ ' bold=0 size=11 align=None/None",
        "CELL B5 s '00123' fmt='@' bold=0 size=11 align=None/None",
        "CELL C5 n 4.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL D5 f '=C5*2' fmt='General' bold=0 size=11 align=right/None",
        "CELL D6 f '=C6*2' fmt='General' bold=0 size=11 align=right/None",
        "CELL A8 s '合计' fmt='General' bold=0 size=11 align=None/None",
        "CELL C8 f '=SUM(C3:C7)' fmt='General' bold=0 size=11 align=None/None",
        "MERGE A1:D1",
        "WIDTH B 20",
        "ORIENTATION landscape",
        "SHEET Notes",
        "CELL A1 s 'keep me' fmt='General' bold=0 size=11 align=None/None",
        "NAME DetailBegin 'mmss40BGrid1'!$A$3",
        "NAME AbsolutePosition 'mmss40BGrid1'!$A$3",
        "NAME 物料编号 'mmss40BGrid1'!$B$3",
        "NAME 数量 'mmss40BGrid1'!$C$3",
        "NAME 单价元 'mmss40BGrid1'!$B$2",
        "NAME 合计 'mmss40BGrid1'!$C$8",
        "NUMFMT 164 '0_ '",
        "NUMFMT 165 '0.0000_ '",
        "PART customXml/item1.xml <root>保留 &amp; keep</root>",
    };
    QCOMPARE(dump(path("export.xlsx"), {QStringLiteral("customXml/item1.xml")}).join(u'\n'), expected.join(u'\n'));
}

void TestXlsx::readsWorkbookFromOtherWriter()
{
    QCOMPARE(runPython(QStringLiteral("xlsx_make_template.py"), {path("model.xlsx")}), QString());
    XlsxWorkbook wb;
    QVERIFY2(wb.open(path("model.xlsx")), qPrintable(wb.errorString()));
    QCOMPARE(wb.sheetCount(), 2);
    XlsxSheet *sheet = wb.sheet(0);
    QCOMPARE(sheet->name(), QStringLiteral("mmss40BGrid1"));
    QCOMPARE(sheet->text(1, 1), QStringLiteral("领料单明细"));
    QVERIFY(sheet->isBold(1, 1));
    QCOMPARE(sheet->fontSize(1, 1), 18.0);
    QCOMPARE(sheet->horizontalAlignment(1, 1), XlsxHAlign::Center);
    QCOMPARE(sheet->mergedRanges(), QList<XlsxRange>{XlsxRange(1, 1, 1, 4)});
    QCOMPARE(sheet->text(2, 4), QStringLiteral("单价(元)"));
    QVERIFY(sheet->isBold(2, 4));
    QVERIFY(!sheet->isBold(3, 4));
    QCOMPARE(sheet->numberFormat(3, 1), QStringLiteral("0_ "));
    QCOMPARE(sheet->numberFormat(3, 2), QStringLiteral("@"));
    QCOMPARE(sheet->numberFormat(3, 3), QStringLiteral("0.0000_ "));
    QCOMPARE(sheet->formula(3, 4), QStringLiteral("C3*2"));
    QCOMPARE(sheet->horizontalAlignment(3, 4), XlsxHAlign::Right);
    QCOMPARE(sheet->columnWidth(2), 20.0);
    QCOMPARE(sheet->lastRow(), 5);
    QCOMPARE(wb.sheet(1)->text(1, 1), QStringLiteral("keep me"));

    QCOMPARE(wb.definedNames().size(), 6);
    QCOMPARE(wb.definedNameReference(QStringLiteral("absoluteposition")), QStringLiteral("'mmss40BGrid1'!$A$3"));
    QString sheetName;
    XlsxRange range;
    QVERIFY(wb.resolveDefinedName(QStringLiteral("数量"), &sheetName, &range));
    QCOMPARE(sheetName, QStringLiteral("mmss40BGrid1"));
    QCOMPARE(range, XlsxRange(3, 3));
    QVERIFY(!wb.resolveDefinedName(QStringLiteral("DetailEnd"), &sheetName, &range));
    QVERIFY(wb.removeDefinedName(QStringLiteral("DETAILBEGIN")));
    QVERIFY(!wb.removeDefinedName(QStringLiteral("DetailBegin")));
    QCOMPARE(wb.definedNames().size(), 5);
}

void TestXlsx::readsHandWrittenPackage()
{
    QCOMPARE(runPython(QStringLiteral("xlsx_make_package.py"), {path("raw.xlsx")}), QString());
    {
        XlsxWorkbook wb;
        QVERIFY2(wb.open(path("raw.xlsx")), qPrintable(wb.errorString()));
        XlsxSheet *sheet = wb.sheet(QStringLiteral("data"));
        QVERIFY(sheet);
        QCOMPARE(sheet->text(1, 1), QStringLiteral("inline 文本"));
        QCOMPARE(sheet->cellType(1, 2), XlsxSheet::CellType::Boolean);
        QCOMPARE(sheet->value(1, 2), QVariant(true));
        QCOMPARE(sheet->cellType(1, 3), XlsxSheet::CellType::Error);
        QCOMPARE(sheet->text(1, 3), QStringLiteral("#N/A"));
        QCOMPARE(sheet->text(2, 3), QStringLiteral("bold plain"));
        QCOMPARE(sheet->text(2, 4), QStringLiteral("tab\there _x0041_"));
        QCOMPARE(sheet->value(3, 1), QVariant(2.5));
        QCOMPARE(sheet->value(4, 1), QVariant(3.0)); // cells without an address follow on
        QCOMPARE(sheet->formula(2, 2), QStringLiteral("A2*10"));
        QCOMPARE(sheet->formula(3, 2), QStringLiteral("A3*10"));
        QCOMPARE(sheet->formula(4, 2), QStringLiteral("A4*10"));
        QCOMPARE(sheet->value(4, 2), QVariant(30.0));
        QCOMPARE(sheet->cellType(5, 1), XlsxSheet::CellType::Empty);
        QCOMPARE(sheet->value(5, 1), QVariant());

        QVERIFY(sheet->insertRowCopies(2, 1));
        QCOMPARE(sheet->formula(3, 2), QStringLiteral("A3*10"));
        QCOMPARE(sheet->formula(5, 2), QStringLiteral("A5*10"));
        QVERIFY2(wb.save(path("raw-out.xlsx")), qPrintable(wb.errorString()));
    }
    const QStringList expected = {
        "SHEETS Data",
        "SHEET Data",
        "CELL A1 s 'inline 文本' fmt='General' bold=0 size=11 align=None/None",
        "CELL B1 b True fmt='General' bold=0 size=11 align=None/None",
        "CELL C1 e '#N/A' fmt='General' bold=0 size=11 align=None/None",
        "CELL A2 n 1 fmt='General' bold=0 size=11 align=None/None",
        "CELL B2 f '=A2*10' fmt='General' bold=0 size=11 align=None/None",
        "CELL C2 s 'bold plain' fmt='General' bold=0 size=11 align=None/None",
        "CELL D2 s 'tab\\there _x0041_' fmt='General' bold=0 size=11 align=None/None",
        "CELL A3 n 1 fmt='General' bold=0 size=11 align=None/None",
        "CELL B3 f '=A3*10' fmt='General' bold=0 size=11 align=None/None",
        "CELL C3 s 'bold plain' fmt='General' bold=0 size=11 align=None/None",
        "CELL D3 s 'tab\\there _x0041_' fmt='General' bold=0 size=11 align=None/None",
        "CELL A4 n 2.5 fmt='General' bold=0 size=11 align=None/None",
        "CELL B4 f '=A4*10' fmt='General' bold=0 size=11 align=None/None",
        "CELL A5 n 3 fmt='General' bold=0 size=11 align=None/None",
        "CELL B5 f '=A5*10' fmt='General' bold=0 size=11 align=None/None",
        // Formatted runs are kept; the escape of a literal "_x" survives.
        "PART xl/sharedStrings.xml <?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"5\" uniqueCount=\"3\">"
        "<si><t>inline 文本</t></si><si><r><rPr><b/></rPr><t>bold</t></r><r><t xml:space=\"preserve\"> plain</t></r></si>"
        "<si><t>tab\there _x005F_x0041_</t></si></sst>",
    };
    QCOMPARE(dump(path("raw-out.xlsx"), {QStringLiteral("xl/sharedStrings.xml")}).join(u'\n'), expected.join(u'\n'));
}

void TestXlsx::failures()
{
    XlsxWorkbook wb;
    QVERIFY(!wb.open(path("missing.xlsx")));
    QVERIFY(wb.errorString().contains(QStringLiteral("missing.xlsx")));
    QCOMPARE(wb.sheetNames(), QStringList{QStringLiteral("Sheet1")}); // a failed open leaves a new workbook

    QFile notZip(path("text.xlsx"));
    QVERIFY(notZip.open(QIODevice::WriteOnly));
    notZip.write("Field0=not a workbook\n");
    notZip.close();
    QVERIFY(!wb.open(path("text.xlsx")));
    QVERIFY(!wb.errorString().isEmpty());

    QVERIFY(!wb.save(path("no/such/folder/out.xlsx")));
    QVERIFY(!wb.errorString().isEmpty());
    QVERIFY(!QFile::exists(path("no/such/folder/out.xlsx")));

    QVERIFY(!wb.setDefinedName(QStringLiteral("x"), QStringLiteral("NoSheet"), XlsxRange(1, 1)));
    QVERIFY(wb.errorString().contains(QStringLiteral("NoSheet")));
    QVERIFY(!wb.setDefinedName(QStringLiteral("x"), QStringLiteral("Sheet1"), XlsxRange()));
    QVERIFY(wb.definedNames().isEmpty());

    // The workbook stays usable after the failures.
    QVERIFY(wb.sheet(0)->setText(1, 1, QStringLiteral("v1")));
    QVERIFY2(wb.save(path("after.xlsx")), qPrintable(wb.errorString()));
    XlsxWorkbook back;
    QVERIFY(back.open(path("after.xlsx")));
    QCOMPARE(back.sheet(0)->text(1, 1), QStringLiteral("v1"));

    // A damaged archive that claims 4 GB for its parts is refused before
    // anything of that size is allocated.
    QFile good(path("after.xlsx"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    QByteArray bytes = good.readAll();
    good.close();
    for (qsizetype at = bytes.indexOf("PK\x01\x02"); at >= 0; at = bytes.indexOf("PK\x01\x02", at + 4))
        bytes.replace(at + 24, 4, QByteArray("\xf0\xff\xff\xff", 4));
    QFile lying(path("lying.xlsx"));
    QVERIFY(lying.open(QIODevice::WriteOnly));
    lying.write(bytes);
    lying.close();
    XlsxWorkbook damaged;
    QVERIFY(!damaged.open(path("lying.xlsx")));
    QVERIFY2(damaged.errorString().contains(QStringLiteral("the part is too large")),
             qPrintable(damaged.errorString()));
}

namespace {

// Version needed and extra-field length of each local entry header: entries
// that carry 64-bit size fields need version 45 and an extra field.
QStringList localHeaders(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<unreadable>")};
    const QByteArray bytes = f.readAll();
    QStringList out;
    const auto word = [&](qsizetype at) { return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8; };
    for (qsizetype at = bytes.indexOf("PK\x03\x04"); at >= 0 && at + 30 <= bytes.size();
         at = bytes.indexOf("PK\x03\x04", at + 4)) {
        const int nameLength = word(at + 26);
        out.append(QString::fromUtf8(bytes.mid(at + 30, nameLength)) +
                   QStringLiteral(" v%1 extra %2").arg(word(at + 4)).arg(word(at + 28)));
    }
    return out;
}

} // namespace

void TestXlsx::streamedRowsJoinTheHeldOnes()
{
    const QString special = QStringLiteral("他说\"好\" & <ok>");
    QList<int> asked;
    {
        XlsxWorkbook wb;
        XlsxSheet *sheet = wb.sheet(0);
        QVERIFY(sheet->setText(1, 1, QStringLiteral("品名")));
        QVERIFY(sheet->setBold(1, 1, true));
        QVERIFY(sheet->setText(1, 2, QStringLiteral("数量")));
        // Row 2 carries the formats the streamed rows take; it and row 3 lie
        // in the streamed range and are left out.
        QVERIFY(sheet->setHorizontalAlignment(2, 1, XlsxHAlign::Right));
        QVERIFY(sheet->setNumberFormat(2, 2, QStringLiteral("0.0000_ ")));
        QVERIFY(sheet->setText(3, 1, QStringLiteral("held inside")));
        QVERIFY(sheet->setText(8, 1, QStringLiteral("合计")));
        QVERIFY(sheet->setNumber(8, 2, 99));
        XlsxSheet *other = wb.addSheet(QStringLiteral("Other"));
        QVERIFY(other->setText(1, 1, QStringLiteral("第二页")));

        const int right = sheet->cellFormat(2, 1);
        const int decimal = sheet->cellFormat(2, 2);
        const int whole = sheet->formatWithNumberFormat(decimal, QStringLiteral("0_ "));
        QVERIFY(right != 0 && decimal != right && whole != decimal);
        QCOMPARE(sheet->formatWithNumberFormat(decimal, QStringLiteral("0_ ")), whole); // made once

        const auto fill = [&](int row, XlsxRowCells &cells) {
            asked.append(row);
            switch (row) {
            case 2:
                cells.addText(1, right, QStringLiteral("品名")); // a string a held cell has
                cells.addNumber(2, decimal, 12.5);
                cells.addEmpty(3, whole);
                break;
            case 3:
                cells.addText(1, right, special);
                cells.addNumber(2, whole, -3);
                cells.addText(3, 0, QStringLiteral("第二页")); // one on the other sheet
                break;
            case 4:
                break; // a row without cells is not written
            case 5:
                cells.addText(1, right, QStringLiteral("  padded  "));
                cells.addNumber(2, decimal, 0.1 + 0.2);
                cells.addNumber(3, 0, 1e20);
                break;
            default:
                cells.addText(1, 0, QStringLiteral("x"));
                break;
            }
        };
        QVERIFY(!sheet->streamRows(2, 0, 1, 3, fill));
        QVERIFY(!sheet->streamRows(2, 5, 3, 1, fill));
        QVERIFY(!sheet->streamRows(XlsxRange::maxRows, 2, 1, 3, fill));
        QVERIFY(!sheet->streamRows(2, 5, 1, 3, {}));
        QVERIFY(sheet->streamRows(2, 5, 1, 3, fill));
        QVERIFY(asked.isEmpty()); // asked for while saving
        QVERIFY2(wb.save(path("streamed.xlsx")), qPrintable(wb.errorString()));
        QCOMPARE(asked, QList<int>({2, 3, 4, 5, 6}));

        // The rows were for that save: the next one writes the held rows again.
        asked.clear();
        QVERIFY2(wb.save(path("again.xlsx")), qPrintable(wb.errorString()));
        QVERIFY(asked.isEmpty());
    }

    const QStringList expected = {
        "SHEETS Sheet1|Other",
        "SHEET Sheet1",
        "CELL A1 s '品名' fmt='General' bold=1 size=11 align=None/None",
        "CELL B1 s '数量' fmt='General' bold=0 size=11 align=None/None",
        "CELL A2 s '品名' fmt='General' bold=0 size=11 align=right/None",
        "CELL B2 n 12.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL A3 s '他说\"好\" & <ok>' fmt='General' bold=0 size=11 align=right/None",
        "CELL B3 n -3 fmt='0_ ' bold=0 size=11 align=None/None",
        "CELL C3 s '第二页' fmt='General' bold=0 size=11 align=None/None",
        "CELL A5 s '  padded  ' fmt='General' bold=0 size=11 align=right/None",
        "CELL B5 n 0.30000000000000004 fmt='0.0000_ ' bold=0 size=11 align=None/None",
        "CELL C5 n 1e+20 fmt='General' bold=0 size=11 align=None/None",
        "CELL A6 s 'x' fmt='General' bold=0 size=11 align=None/None",
        "CELL A8 s '合计' fmt='General' bold=0 size=11 align=None/None",
        "CELL B8 n 99 fmt='General' bold=0 size=11 align=None/None",
        "SHEET Other",
        "CELL A1 s '第二页' fmt='General' bold=0 size=11 align=None/None",
        "NUMFMT 164 '0.0000_ '",
        "NUMFMT 165 '0_ '",
        // One table for both sheets and the streamed rows, every string once.
        "PART xl/sharedStrings.xml <?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"9\" uniqueCount=\"7\">"
        "<si><t>品名</t></si><si><t>数量</t></si><si><t>合计</t></si><si><t>第二页</t></si>"
        "<si><t>他说&quot;好&quot; &amp; &lt;ok&gt;</t></si><si><t xml:space=\"preserve\">  padded  </t></si>"
        "<si><t>x</t></si></sst>",
        "", // the part's closing line break
        "PART xl/worksheets/sheet1.xml <?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<dimension ref=\"A1:C8\"/><sheetData>"
        "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" s=\"2\" t=\"s\"><v>0</v></c><c r=\"B2\" s=\"3\"><v>12.5</v></c>"
        "<c r=\"C2\" s=\"4\"/></row>"
        "<row r=\"3\"><c r=\"A3\" s=\"2\" t=\"s\"><v>4</v></c><c r=\"B3\" s=\"4\"><v>-3</v></c>"
        "<c r=\"C3\" t=\"s\"><v>3</v></c></row>"
        "<row r=\"5\"><c r=\"A5\" s=\"2\" t=\"s\"><v>5</v></c><c r=\"B5\" s=\"3\"><v>0.30000000000000004</v></c>"
        "<c r=\"C5\"><v>1e+20</v></c></row>"
        "<row r=\"6\"><c r=\"A6\" t=\"s\"><v>6</v></c></row>"
        "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>2</v></c><c r=\"B8\"><v>99</v></c></row>"
        "</sheetData></worksheet>",
    };
    QCOMPARE(dump(path("streamed.xlsx"),
                  {QStringLiteral("xl/sharedStrings.xml"), QStringLiteral("xl/worksheets/sheet1.xml")})
                 .join(u'\n'),
             expected.join(u'\n'));
    // Entries small enough for the classic size fields use them, as the ones
    // written whole do: some spreadsheet programs refuse the 64-bit ones.
    const QStringList headers = localHeaders(path("streamed.xlsx"));
    QVERIFY2(headers.contains(QStringLiteral("xl/worksheets/sheet1.xml v20 extra 0")), qPrintable(headers.join(u'|')));
    QVERIFY2(headers.contains(QStringLiteral("xl/sharedStrings.xml v20 extra 0")), qPrintable(headers.join(u'|')));
    for (const QString &entry : headers)
        QVERIFY2(entry.endsWith(QStringLiteral(" v20 extra 0")), qPrintable(entry));

    // Our reader sees the same, and the held rows again in the next save.
    XlsxWorkbook back;
    QVERIFY2(back.open(path("streamed.xlsx")), qPrintable(back.errorString()));
    XlsxSheet *sheet = back.sheet(0);
    QCOMPARE(sheet->value(3, 1), QVariant(special));
    QCOMPARE(sheet->cellType(3, 2), XlsxSheet::CellType::Number);
    QCOMPARE(sheet->value(3, 2), QVariant(-3.0));
    QCOMPARE(sheet->numberFormat(3, 2), QStringLiteral("0_ "));
    QCOMPARE(sheet->cellType(2, 3), XlsxSheet::CellType::Empty);
    QCOMPARE(sheet->numberFormat(2, 3), QStringLiteral("0_ "));
    QCOMPARE(sheet->horizontalAlignment(5, 1), XlsxHAlign::Right);
    QCOMPARE(sheet->cellType(4, 1), XlsxSheet::CellType::Empty);
    QCOMPARE(sheet->lastRow(), 8);
    QVERIFY(back.open(path("again.xlsx")));
    QCOMPARE(back.sheet(0)->text(3, 1), QStringLiteral("held inside"));
    QCOMPARE(back.sheet(0)->cellType(5, 1), XlsxSheet::CellType::Empty);
    QCOMPARE(back.sheet(0)->text(8, 1), QStringLiteral("合计"));
}

// Rows enough for the sheet to be written in many pieces: every cell is read
// back in its place, and strings met again share their entry.
void TestXlsx::manyStreamedRowsReadBack()
{
    const int rows = 30000;
    const auto code = [](int r) { return QStringLiteral("M-%1").arg(r % 997, 6, 10, QLatin1Char('0')); };
    {
        XlsxWorkbook wb;
        XlsxSheet *sheet = wb.sheet(0);
        QVERIFY(sheet->setText(1, 1, QStringLiteral("代号")));
        QVERIFY(sheet->streamRows(2, rows, 1, 3, [&](int row, XlsxRowCells &cells) {
            cells.addText(1, 0, code(row));
            cells.addNumber(2, 0, row / 4.0);
            if (row % 3 == 0)
                cells.addText(3, 0, QStringLiteral("第%1行").arg(row));
        }));
        QVERIFY2(wb.save(path("many.xlsx")), qPrintable(wb.errorString()));
    }
    XlsxWorkbook back;
    QVERIFY2(back.open(path("many.xlsx")), qPrintable(back.errorString()));
    XlsxSheet *sheet = back.sheet(0);
    QCOMPARE(sheet->lastRow(), rows + 1);
    QCOMPARE(sheet->text(1, 1), QStringLiteral("代号"));
    for (int row = 2; row <= rows + 1; ++row) {
        if (sheet->text(row, 1) != code(row) || sheet->value(row, 2) != QVariant(row / 4.0) ||
            sheet->text(row, 3) != (row % 3 == 0 ? QStringLiteral("第%1行").arg(row) : QString()))
            QFAIL(qPrintable(QStringLiteral("row %1: %2 %3 %4")
                                 .arg(row)
                                 .arg(sheet->text(row, 1), sheet->text(row, 2), sheet->text(row, 3))));
    }
    const QStringList parts = dump(path("many.xlsx"), {QStringLiteral("xl/sharedStrings.xml")});
    QVERIFY(parts.last().contains(
        QStringLiteral("count=\"%1\" uniqueCount=\"%2\"").arg(1 + rows + rows / 3).arg(1 + 997 + rows / 3)));
    QCOMPARE(parts.filter(QStringLiteral("CELL ")).size(), 1 + 2 * rows + rows / 3);

    // Streamed rows that all come without cells leave the rest of the sheet whole.
    {
        XlsxWorkbook wb;
        QVERIFY(wb.sheet(0)->setText(rows + 2, 1, QStringLiteral("end")));
        QVERIFY(wb.sheet(0)->streamRows(1, rows, 1, 3, [](int, XlsxRowCells &) {}));
        QVERIFY2(wb.save(path("empty.xlsx")), qPrintable(wb.errorString()));
    }
    QVERIFY2(back.open(path("empty.xlsx")), qPrintable(back.errorString()));
    QCOMPARE(back.sheet(0)->text(rows + 2, 1), QStringLiteral("end"));
    QCOMPARE(back.sheet(0)->lastRow(), rows + 2);
}

QTEST_GUILESS_MAIN(TestXlsx)
#include "tst_xlsx.moc"
