// Grids written to Excel workbooks: plain export, template export, template
// design and delete. Every written file is read back by openpyxl (Debian's
// python3-openpyxl), which shares no code with our writer.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "grid/ExcelExport.h"
#include "grid/GridSettingsDialog.h"
#include "platform/ui/FlexGrid.h"
#include "platform/xlsx/XlsxWorkbook.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kForm = QStringLiteral("mmss40B");
const QString kGrid = QStringLiteral("Grid1");
const QString kSheet = QStringLiteral("mmss40BGrid1");

QString scriptPath(const QString &name)
{
    return qEnvironmentVariable("ERP_SOURCE_DIR") + QStringLiteral("/tests/platform/xlsx/") + name;
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Line-grid contents: column 0 row numbers, row 0 captions.
ExportTable lineGrid(const QList<QStringList> &rows)
{
    ExportTable t(int(rows.size()), int(rows.first().size()) + 1);
    for (int r = 0; r < rows.size(); ++r) {
        t.setText(r, 0, r == 0 ? QStringLiteral("No") : QString::number(r));
        for (int c = 0; c < rows.at(r).size(); ++c)
            t.setText(r, c + 1, rows.at(r).at(c));
    }
    return t;
}

} // namespace

class TstGridExport : public QObject
{
    Q_OBJECT

    QString python;
    Connection conn;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedMessageBox> box;
    QStringList opened;       // files handed to the desktop
    bool opens = true;        // whether a program opens them
    QStringList chooserCalls; // filter|title of each file dialog
    QString chosen;           // what the file dialog answers

    QString path(const QString &name) const { return dir->filePath(name); }
    QString templatePath() const { return dir->filePath(QStringLiteral("model/mmss40BGrid1.xlsx")); }
    GridExportInfo info(const QString &caption = {}) const { return GridExportInfo{kForm, kGrid, caption, nullptr}; }

    QString runPython(const QString &script, const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
        p.setProcessEnvironment(env);
        p.start(python, QStringList{scriptPath(script)} + args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return QStringLiteral("<python failed> ") + QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // What openpyxl sees, without the number-format table.
    QStringList dump(const QString &file)
    {
        QStringList lines = runPython(QStringLiteral("xlsx_dump.py"), {file}).trimmed().split(u'\n');
        lines.removeIf([](const QString &l) { return l.startsWith(QStringLiteral("NUMFMT ")); });
        return lines;
    }
    QStringList cellLines(const QString &file, const QString &sheet = kSheet)
    {
        QStringList out;
        bool in = false;
        for (const QString &l : dump(file)) {
            if (l.startsWith(QStringLiteral("SHEET ")))
                in = l == QStringLiteral("SHEET ") + sheet;
            else if (in && l.startsWith(QStringLiteral("CELL ")))
                out.append(l);
        }
        return out;
    }
    void saveTemplate(XlsxWorkbook &book)
    {
        QVERIFY(QDir().mkpath(QFileInfo(templatePath()).absolutePath()));
        QVERIFY2(book.save(templatePath()), qPrintable(book.errorString()));
    }

private slots:
    void initTestCase()
    {
        for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            QProcess p;
            p.start(candidate, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
            if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
                python = candidate;
                break;
            }
        }
        QVERIFY2(!python.isEmpty(), "python3 with openpyxl (Debian package python3-openpyxl) is needed");
        conn = TestDb::freshSqlite();
        runContext().Conn = conn;
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        runContext().App_Path = dir->path();
        box = std::make_unique<ScriptedMessageBox>();
        opened.clear();
        opens = true;
        chooserCalls.clear();
        chosen.clear();
        ExcelExport::setFileOpener([this](const QString &file) {
            opened.append(file);
            return opens;
        });
        ExcelExport::setFileChooser([this](QWidget *, const QString &filter, const QString &title) {
            chooserCalls.append(filter + u'|' + title);
            return chosen;
        });
    }

    void cleanup()
    {
        ExcelExport::setFileOpener({});
        ExcelExport::setFileChooser({});
        box.reset();
    }

    void withoutAProgramTheUserLearnsWhereTheFileIs()
    {
        ExportTable grid = lineGrid({{"物料编号", "数量"}, {"M-001", "12"}});
        opens = false;
        QVERIFY(ExcelExport::Export_Excel(grid, info(QStringLiteral("生产领料单")), path("nobody.xlsx")));
        QVERIFY(QFileInfo(path("nobody.xlsx")).size() > 0);
        QCOMPARE(opened, QStringList{path("nobody.xlsx")});
        QCOMPARE(box->texts(), QStringList{QStringLiteral("数据已导出到 %1 ,但本机没有可以打开它的程序.")
                                               .arg(QDir::toNativeSeparators(path("nobody.xlsx")))});
        QCOMPARE(box->last().form, QStringLiteral("PublicFunction"));
    }

    void plainExportDropsHiddenColumn()
    {
        ExportTable grid = lineGrid(
            {{"物料编号", "颜色", "数量", "单价(元)"}, {"M-001", "红", "12", "12.5"}, {"00123", "蓝", "3", "A12"}});
        grid.setColumn(1, 1200, 1, 4);
        grid.setColumn(2, 900, 1, 4, true);
        grid.setColumn(3, 960, 7, 4);
        grid.setColumn(4, 1440, 8, 6);
        QVERIFY(ExcelExport::Export_Excel(grid, info(QStringLiteral("生产领料单")), path("out.xlsx")));
        QCOMPARE(opened, QStringList{path("out.xlsx")});
        QVERIFY(box->shown().isEmpty());

        const QStringList expected = {
            "SHEETS mmss40BGrid1",
            "SHEET mmss40BGrid1",
            "CELL A1 s '生产领料单' fmt='General' bold=1 size=18 align=center/center",
            "CELL A2 s '物料编号' fmt='@' bold=1 size=11 align=center/center",
            "CELL B2 s '数量' fmt='@' bold=1 size=11 align=center/center",
            "CELL C2 s '单价(元)' fmt='@' bold=1 size=11 align=right/top",
            "CELL A3 s 'M-001' fmt='@' bold=0 size=11 align=left/center",
            "CELL B3 n 12 fmt='0_ ' bold=0 size=11 align=right/center",
            // Bottom is the file format's default vertical alignment: a reader sees none.
            "CELL C3 n 12.5 fmt='0.0000_ ' bold=0 size=11 align=right/None",
            "CELL A4 s '00123' fmt='@' bold=0 size=11 align=left/center",
            "CELL B4 n 3 fmt='0_ ' bold=0 size=11 align=right/center",
            "CELL C4 s 'A12' fmt='@' bold=0 size=11 align=right/None",
            "MERGE A1:C1",
            "WIDTH A 10",
            "WIDTH B 8",
            "WIDTH C 12",
        };
        QCOMPARE(dump(path("out.xlsx")), expected);
    }

    // Thousands of rows, the kinds mixed within columns: a reader finds every
    // cell in its place with its type, value, number format and alignment.
    void largePlainExportReadBackCellByCell()
    {
        const int rows = 4000;
        ExportTable grid(rows + 1, 6);
        const QStringList captions = {"No", "物料编号", "备注", "数量", "单价", "日期"};
        for (int c = 0; c < captions.size(); ++c)
            grid.setText(0, c, captions.at(c));
        grid.setColumn(1, 1200, 1, 4);
        grid.setColumn(2, 900, 1, 4, true);
        grid.setColumn(3, 960, 7, 3);
        grid.setColumn(4, 1440, 8, 6);
        grid.setColumn(5, 1080, 4, 4);
        // Expected value, type and number format of a cell, by its text.
        struct Seen
        {
            QString type, value, format;
        };
        const auto seen = [](const QString &text) {
            double number = 0;
            if (!ExcelExport::isNumericText(text, &number))
                return Seen{"s", u'\'' + text + u'\'', "@"};
            return Seen{"n", QString::number(number, 'g', QLocale::FloatingPointShortest),
                        text.contains(u'.') ? "0.0000_ " : "0_ "};
        };
        QStringList expected = {
            "SHEETS mmss40BGrid1",
            "SHEET mmss40BGrid1",
            "CELL A1 s '生产领料单' fmt='General' bold=1 size=18 align=center/center",
            "CELL A2 s '物料编号' fmt='@' bold=1 size=11 align=center/center",
            "CELL B2 s '数量' fmt='@' bold=1 size=11 align=center/top",
            "CELL C2 s '单价' fmt='@' bold=1 size=11 align=right/top",
            "CELL D2 s '日期' fmt='@' bold=1 size=11 align=center/center",
        };
        const QStringList alignments = {"left/center", "right/center", "right/None", "center/center"};
        for (int r = 1; r <= rows; ++r) {
            grid.setText(r, 0, QString::number(r));
            const QStringList texts = {
                QStringLiteral("M-%1").arg(r * 7 % 100000, 6, 10, QLatin1Char('0')),
                QStringLiteral("不导出"),
                r % 9 == 0 ? QStringLiteral("A%1").arg(r) : (r % 10 == 0 ? QString() : QString::number(r % 1000)),
                r % 7 == 0 ? QString::number(r % 50) : QString::number((r % 10000) / 8.0, 'f', 3),
                QStringLiteral("2026-%1-%2").arg(r % 12 + 1).arg(r % 28 + 1),
            };
            int sheetCol = 0;
            for (int c = 1; c <= texts.size(); ++c) {
                grid.setText(r, c, texts.at(c - 1));
                if (c == 2)
                    continue; // hidden
                ++sheetCol;
                const QString &text = texts.at(c - 1);
                if (text.isEmpty())
                    continue; // a styled cell without a value: a reader lists nothing
                const Seen s = seen(text);
                expected.append(QStringLiteral("CELL %1%2 %3 %4 fmt='%5' bold=0 size=11 align=%6")
                                    .arg(QChar(u'A' + sheetCol - 1))
                                    .arg(r + 2)
                                    .arg(s.type, s.value, s.format, alignments.at(sheetCol - 1)));
            }
        }
        expected += QStringList{"MERGE A1:D1", "WIDTH A 10", "WIDTH B 8", "WIDTH C 12", "WIDTH D 9"};
        QVERIFY(ExcelExport::Export_Excel(grid, info(QStringLiteral("生产领料单")), path("large.xlsx")));
        QCOMPARE(opened, QStringList{path("large.xlsx")});
        const QStringList lines = dump(path("large.xlsx"));
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines.at(i), expected.at(i));
    }

    void numberFormats_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::newRow("decimal") << "12.5"
                                 << "n 12.5 fmt='0.0000_ '";
        QTest::newRow("whole") << "12"
                               << "n 12 fmt='0_ '";
        QTest::newRow("text") << "A12"
                              << "s 'A12' fmt='@'";
        QTest::newRow("negative decimal") << "-0.5"
                                          << "n -0.5 fmt='0.0000_ '";
        QTest::newRow("zero") << "0"
                              << "n 0 fmt='0_ '";
        QTest::newRow("blanks around") << " 7 "
                                       << "n 7 fmt='0_ '";
        QTest::newRow("code with leading zero") << "007"
                                                << "s '007' fmt='@'";
        QTest::newRow("more digits than a number holds") << "20261209000000017"
                                                         << "s '20261209000000017' fmt='@'";
        QTest::newRow("thousands separator") << "1,200"
                                             << "s '1,200' fmt='@'";
        // Forms read by the general number conversion beside the plain decimals.
        QTest::newRow("trailing zeros") << "-12.250"
                                        << "n -12.25 fmt='0.0000_ '";
        QTest::newRow("point last") << "5."
                                    << "n 5 fmt='0.0000_ '";
        QTest::newRow("point first") << ".5"
                                     << "n 0.5 fmt='0.0000_ '";
        QTest::newRow("plus sign") << "+7"
                                   << "n 7 fmt='0_ '";
        QTest::newRow("exponent") << "1e3"
                                  << "n 1000 fmt='0_ '";
    }

    void numberFormats()
    {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        const ExportTable grid = lineGrid({{"值"}, {text}});
        QVERIFY(ExcelExport::Export_Excel(grid, info(), path("one.xlsx")));
        const QStringList cells = cellLines(path("one.xlsx"));
        QCOMPARE(cells.size(), 2);
        QVERIFY2(cells.at(1).startsWith(QStringLiteral("CELL A2 ") + cell), qPrintable(cells.at(1)));
    }

    void templateFilled()
    {
        // A template as a user finishes it: title, header, detail row with
        // names (no DetailEnd), AbsolutePosition, a total below the band.
        QVERIFY(QDir().mkpath(QFileInfo(templatePath()).absolutePath()));
        QCOMPARE(runPython(QStringLiteral("xlsx_make_template.py"), {templatePath()}), QString());
        const ExportTable grid = lineGrid(
            {{"物料编号", "数量", "单价(元)"}, {"M-001", "1.5", "2"}, {"00123", "3", "4"}, {"123", "4.5", "6"}});
        QVERIFY(ExcelExport::Export_Excel(grid, info(QStringLiteral("ignored by templates")), path("t.xlsx")));
        QVERIFY(box->shown().isEmpty());
        const QStringList expected = {
            "SHEETS mmss40BGrid1|Notes",
            "SHEET mmss40BGrid1",
            "CELL A1 s '领料单明细' fmt='General' bold=1 size=18 align=center/center",
            "CELL A2 s '序号' fmt='General' bold=1 size=0 align=None/None",
            // 单价(元) is found as the name 单价元, which sits outside the band.
            "CELL B2 s '单价(元)' fmt='General' bold=1 size=0 align=None/None",
            "CELL C2 s '数量' fmt='General' bold=1 size=0 align=None/None",
            "CELL D2 s '单价(元)' fmt='General' bold=1 size=0 align=None/None",
            "CELL A3 n 1 fmt='0_ ' bold=0 size=11 align=None/None",
            "CELL B3 s 'M-001' fmt='@' bold=0 size=11 align=None/None",
            "CELL C3 n 1.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
            "CELL D3 f '=C3*2' fmt='General' bold=0 size=11 align=right/None",
            "CELL A4 n 2 fmt='0_ ' bold=0 size=11 align=None/None",
            "CELL B4 s '00123' fmt='@' bold=0 size=11 align=None/None",
            "CELL C4 n 3 fmt='0.0000_ ' bold=0 size=11 align=None/None",
            "CELL D4 f '=C4*2' fmt='General' bold=0 size=11 align=right/None",
            "CELL A5 n 3 fmt='0_ ' bold=0 size=11 align=None/None",
            // The template formats the column as text: "123" stays text.
            "CELL B5 s '123' fmt='@' bold=0 size=11 align=None/None",
            "CELL C5 n 4.5 fmt='0.0000_ ' bold=0 size=11 align=None/None",
            "CELL D5 f '=C5*2' fmt='General' bold=0 size=11 align=right/None",
            // One unfilled copy of the detail row stays below the data.
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
        };
        QCOMPARE(dump(path("t.xlsx")), expected);
        QCOMPARE(opened, QStringList{path("t.xlsx")});
    }

    void templateChoices_data()
    {
        QTest::addColumn<QStringList>("sheets");
        QTest::addColumn<QString>("detailBegin"); // reference on the last sheet, empty for none
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("cells"); // of the last sheet

        const QStringList filled = {"CELL A1 s '数量' fmt='General' bold=0 size=11 align=None/None",
                                    "CELL A2 n 5 fmt='General' bold=0 size=11 align=None/None",
                                    "CELL A3 n 6 fmt='General' bold=0 size=11 align=None/None"};
        QTest::newRow("one sheet carrying the name") << QStringList{"MMSS40BGRID1"} << "$A$2"
                                                     << ""
                                                     << "" << filled;
        QTest::newRow("named sheet last of two") << QStringList{"封面", "mmss40BGrid1"} << "$A$2"
                                                 << ""
                                                 << "" << filled;
        QTest::newRow("sheets all carry other names") << QStringList{"Sheet1", "Notes"} << "$A$2"
                                                      << "Export_excel_6"
                                                      << "报表模块中不存在指定的报表样式!" << QStringList{};
        QTest::newRow("no DetailBegin") << QStringList{"mmss40BGrid1"} << ""
                                        << "Export_excel_2"
                                        << "没有找到报表模板明细开始和结束的行标识!" << QStringList{};
        QTest::newRow("DetailBegin of a deleted row") << QStringList{"mmss40BGrid1"} << "#REF!"
                                                      << "Export_excel_2"
                                                      << "没有找到报表模板明细开始和结束的行标识!" << QStringList{};
    }

    void templateChoices()
    {
        QFETCH(QStringList, sheets);
        QFETCH(QString, detailBegin);
        QFETCH(QString, messageId);
        QFETCH(QString, message);
        QFETCH(QStringList, cells);
        {
            XlsxWorkbook book;
            QVERIFY(book.sheet(0)->setName(sheets.first()));
            for (int i = 1; i < sheets.size(); ++i)
                QVERIFY(book.addSheet(sheets.at(i)));
            XlsxSheet *last = book.sheet(int(sheets.size()) - 1);
            if (sheets.size() > 1)
                book.sheet(0)->setText(5, 5, QStringLiteral("封面"));
            last->setText(1, 1, QStringLiteral("数量"));
            const QString ref = u'\'' + last->name() + QStringLiteral("'!");
            if (!detailBegin.isEmpty())
                QVERIFY(book.setDefinedName(QStringLiteral("DetailBegin"), ref + detailBegin));
            QVERIFY(book.setDefinedName(QStringLiteral("数量"), ref + QStringLiteral("$A$2")));
            saveTemplate(book);
        }
        const ExportTable grid = lineGrid({{"数量"}, {"5"}, {"6"}});
        const bool written = ExcelExport::Export_Excel(grid, info(), path("t.xlsx"));
        QCOMPARE(written, messageId.isEmpty());
        if (messageId.isEmpty()) {
            QVERIFY(box->shown().isEmpty());
            QCOMPARE(cellLines(path("t.xlsx"), sheets.last()), cells);
            if (sheets.size() > 1) // the other sheet is left as it was
                QCOMPARE(cellLines(path("t.xlsx"), sheets.first()),
                         QStringList{"CELL E5 s '封面' fmt='General' bold=0 size=11 align=None/None"});
        } else {
            QCOMPARE(box->shown().size(), 1);
            QCOMPARE(box->last().form, QStringLiteral("PublicFunction"));
            QCOMPARE(box->last().messageId, messageId);
            QCOMPARE(box->last().text, message);
            QCOMPARE(box->last().style, 64);
            QCOMPARE(box->last().title, QStringLiteral("提示"));
            QVERIFY(!QFile::exists(path("t.xlsx")));
            QVERIFY(opened.isEmpty());
        }
    }

    void existingFileAsks_data()
    {
        QTest::addColumn<QString>("answerName"); // what the file dialog answers
        QTest::addColumn<QString>("existing");   // "file", "folder" or "" at the target
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages"); // ids shown
        QTest::addColumn<bool>("exported");

        QTest::newRow("new file, extension added") << "out"
                                                   << "" << 0 << QStringList{} << true;
        QTest::newRow("exists, replaced on Yes") << "out.XLSX"
                                                 << "file" << 6 << QStringList{"W_Grid_DblClick_1"} << true;
        QTest::newRow("exists, kept on No") << "out.xlsx"
                                            << "file" << 7 << QStringList{"W_Grid_DblClick_1"} << false;
        QTest::newRow("a folder cannot be replaced")
            << "out.xlsx"
            << "folder" << 6 << QStringList{"W_Grid_DblClick_1", "W_Grid_DblClick_2"} << false;
        QTest::newRow("dialog cancelled") << ""
                                          << "" << 0 << QStringList{} << false;
    }

    void existingFileAsks()
    {
        QFETCH(QString, answerName);
        QFETCH(QString, existing);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(bool, exported);
        const QString target = answerName.isEmpty() ? QString()
                               : answerName.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)
                                   ? path(answerName)
                                   : path(answerName + QStringLiteral(".xlsx"));
        if (existing == QStringLiteral("file")) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old contents");
        } else if (existing == QStringLiteral("folder")) {
            QVERIFY(QDir().mkpath(target));
        }
        chosen = answerName.isEmpty() ? QString() : path(answerName);
        if (answer)
            box->answer(answer);

        const ExportTable grid = lineGrid({{"数量"}, {"5"}});
        QCOMPARE(ExcelExport::ExportToChosenFile(grid, info()), exported);
        QCOMPARE(chooserCalls, QStringList{"Excel文件(*.xlsx)|*.xlsx|请选择要导出表格内的数据至目的文件名:"});
        QStringList ids;
        for (const MessageRequest &m : box->shown())
            ids.append(m.messageId);
        QCOMPARE(ids, messages);
        if (!messages.isEmpty()) {
            const MessageRequest &ask = box->shown().first();
            QCOMPARE(ask.form, QStringLiteral("PublicFunction"));
            QCOMPARE(ask.text, target + QStringLiteral("已存在，是否取代？"));
            QCOMPARE(ask.style, 36);
            QCOMPARE(ask.title, QStringLiteral("提示"));
        }
        if (messages.size() > 1)
            QCOMPARE(box->last().text, QStringLiteral("没有使用权限或文件已经被打开!"));
        if (exported) {
            QCOMPARE(opened, QStringList{target});
            QCOMPARE(cellLines(target).size(), 2);
        } else {
            QVERIFY(opened.isEmpty());
            if (existing == QStringLiteral("file"))
                QCOMPARE(readBytes(target), QByteArray("old contents"));
        }
    }

    void unwritableTargetReported()
    {
        const ExportTable grid = lineGrid({{"数量"}, {"5"}});
        QVERIFY(!ExcelExport::Export_Excel(grid, info(), path("no-folder/out.xlsx")));
        QCOMPARE(box->shown().size(), 1);
        QCOMPARE(box->last().messageId, QStringLiteral("Export_excel_5"));
        QCOMPARE(box->last().text, QStringLiteral("指定的文件可能已被打开或没有权限写入,保存失败!"));
        QVERIFY(opened.isEmpty());
    }

    void designFromTheSettingsDialog()
    {
        QWidget window;
        window.setObjectName(kForm);
        auto *grid = new FlexGrid(&window);
        grid->setObjectName(kGrid);
        grid->setFixedRows(1);
        grid->setFixedCols(1);
        grid->setCols(4);
        grid->setRows(3);
        const QStringList captions = {"物料编号", "颜色", "单价(元)"};
        for (int c = 1; c < 4; ++c) {
            grid->setTextMatrix(0, c, captions.at(c - 1));
            grid->setColWidth(c, 1200 * c);
            grid->setFixedAlignment(c, 4);
            grid->setColAlignment(c, 1);
        }
        grid->setColHidden(1, true); // the markers move to the first column kept
        grid->setTextMatrix(1, 2, QStringLiteral("红"));
        grid->setTextMatrix(1, 3, QStringLiteral("12.5"));
        grid->setTextMatrix(2, 3, QStringLiteral("99"));

        mmss_set dialog;
        dialog.Parent_form = &window;
        dialog.Get_FormName = kForm;
        dialog.Get_GridName = kGrid;
        dialog.Gridc_File = path("user.ini");
        dialog.W_Caption = QStringLiteral("生产领料单");
        dialog.Enabled_TO_Excel = true;
        dialog.W_GridRealName = kGrid;
        dialog.Source_Grid = grid;
        dialog.show();
        auto *design = dialog.findChild<QPushButton *>(QStringLiteral("Cmd_DesignModel"));
        QVERIFY(design->isEnabled());
        design->click();
        QVERIFY(box->shown().isEmpty());
        QCOMPARE(opened, QStringList{templatePath()});

        const QStringList expected = {
            "SHEETS mmss40BGrid1",
            "SHEET mmss40BGrid1",
            "CELL A1 s '生产领料单' fmt='General' bold=1 size=18 align=center/center",
            "CELL A2 s '颜色' fmt='@' bold=1 size=11 align=center/center",
            "CELL B2 s '单价(元)' fmt='@' bold=1 size=11 align=center/center",
            "CELL A3 s '红' fmt='@' bold=0 size=11 align=left/center",
            "CELL B3 s '12.5' fmt='@' bold=0 size=11 align=left/center",
            "MERGE A1:B1",
            "WIDTH A 20",
            "WIDTH B 30",
            "NAME 颜色 mmss40BGrid1!$A$2",
            "NAME 单价元 mmss40BGrid1!$B$2",
            "NAME DetailBegin mmss40BGrid1!$A$3",
            "NAME DetailEnd mmss40BGrid1!$A$3",
        };
        QCOMPARE(dump(templatePath()), expected);

        // An existing template is opened for editing, not rewritten.
        const QByteArray before = readBytes(templatePath());
        design->click();
        QCOMPARE(opened, (QStringList{templatePath(), templatePath()}));
        QCOMPARE(readBytes(templatePath()), before);
    }

    void designTitleWidth_data()
    {
        QTest::addColumn<int>("dataColumns");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("designed");
        QTest::newRow("26 columns with a title") << 26 << "标题" << true;
        QTest::newRow("27 columns with a title") << 27 << "标题" << false;
        QTest::newRow("27 columns without a title") << 27 << "" << true;
    }

    void designTitleWidth()
    {
        QFETCH(int, dataColumns);
        QFETCH(QString, caption);
        QFETCH(bool, designed);
        ExportTable grid(2, dataColumns + 1);
        for (int c = 1; c <= dataColumns; ++c)
            grid.setText(0, c, QStringLiteral("列%1").arg(c));
        QCOMPARE(ExcelExport::DesignTemplate(grid, info(caption)), designed);
        QCOMPARE(QFile::exists(templatePath()), designed);
        if (designed) {
            QVERIFY(box->shown().isEmpty());
            QCOMPARE(cellLines(templatePath()).size(), dataColumns + (caption.isEmpty() ? 0 : 1));
        } else {
            QCOMPARE(box->shown().size(), 1);
            QCOMPARE(box->last().form, QStringLiteral("mmss_set"));
            QCOMPARE(box->last().messageId, QStringLiteral("Cmd_DesignModel_Click_1"));
            QVERIFY2(box->last().text.endsWith(QStringLiteral("\n模板表格已被改动,有些表格项目已经找不到,导出失败!")),
                     qPrintable(box->last().text));
            QVERIFY(opened.isEmpty());
        }
    }

    void deleteTemplateFromTheDialog()
    {
        mmss_set dialog;
        dialog.Get_FormName = kForm;
        dialog.Get_GridName = kGrid;
        dialog.Gridc_File = path("user.ini");
        dialog.Enabled_TO_Excel = true;
        dialog.show();
        auto *remove = dialog.findChild<QPushButton *>(QStringLiteral("Cmd_DeleteModel"));

        remove->click();
        QCOMPARE(box->last().messageId, QStringLiteral("Cmd_DeleteModel_Click_1"));
        QCOMPARE(box->last().text, QStringLiteral("报表模板不存在!"));

        XlsxWorkbook book;
        saveTemplate(book);
        box->answer(MessageAnswer::No);
        remove->click();
        QCOMPARE(box->last().messageId, QStringLiteral("Cmd_DeleteModel_Click_2"));
        QCOMPARE(box->last().text, QStringLiteral("确认要删除本表格之导出Excel模板?"));
        QCOMPARE(box->last().style, 292);
        QVERIFY(QFile::exists(templatePath()));

        box->answer(MessageAnswer::Yes);
        remove->click();
        QVERIFY(!QFile::exists(templatePath()));
        QCOMPARE(box->shown().size(), 3);

        // Without export the template buttons are not offered.
        mmss_set plain;
        plain.show();
        QVERIFY(!plain.findChild<QPushButton *>(QStringLiteral("Cmd_DeleteModel"))->isEnabled());
    }
};

QTEST_MAIN(TstGridExport)
#include "tst_gridexport.moc"
