// The gateway and the message services, on a fresh database of the backend
// under test: what callers read back, what the user is shown, what is logged.
#include "TestSupport.h"

#include "context/RunContext.h"
#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"

#include <QTemporaryDir>
#include <QTest>

class TstGateway : public QObject
{
    Q_OBJECT

    Connection conn;

    ErrorReporter reporter() const
    {
        return ErrorReporter(conn, QStringLiteral("陈志明"), QStringLiteral("WS00112345"));
    }

    ResultSet errorLog() { return Sql(conn, QStringLiteral("SELECT * FROM Erp_Error_Msg")).select(); }

private slots:
    void initTestCase()
    {
        conn = TestDb::fresh();
        // The workstation's context, as the entry point installs it for the
        // look-ups that report their own failures.
        ErrorReporter::setProvider([this] { return reporter(); });
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (mtr_no, mtr_name) VALUES (?, ?)"),
                     {QStringLiteral("O'Neil"), QStringLiteral("奥尼尔牛津布")});
        TestDb::exec(conn, QStringLiteral("INSERT INTO mmst611 (mtr_no, mtr_name) VALUES (?, ?)"),
                     {QStringLiteral("ZIP-5"), QVariant()});
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Status) VALUES ('LL001', '1', '2')"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO Mmst411 (Inv_No, Inv_Type, Status) VALUES ('LL002', '1', NULL)"));
    }

    void init()
    {
        TestDb::exec(conn, QStringLiteral("DELETE FROM ErpSys_Message"));
        TestDb::exec(conn, QStringLiteral("DELETE FROM Erp_Error_Msg"));
        Environment::setNow({});
        Environment::setSystemLocaleId(0);
    }

    void lookupField_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("keyValue");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a quote in the code") << "mmst611"
                                             << "O'Neil"
                                             << "奥尼尔牛津布";
        QTest::newRow("other case, trailing blanks") << "mmst611"
                                                     << "o'neil  "
                                                     << "奥尼尔牛津布";
        QTest::newRow("null value") << "mmst611"
                                    << "ZIP-5"
                                    << "";
        QTest::newRow("no row") << "mmst611"
                                << "NONE"
                                << "";
        QTest::newRow("a table that does not exist") << "no_such_table"
                                                     << "O'Neil"
                                                     << "";
    }
    void lookupField()
    {
        QFETCH(QString, table);
        QFETCH(QString, keyValue);
        QFETCH(QString, expected);
        ScriptedMessageBox box;
        QCOMPARE(DbGateway::LookupField(conn, table, QStringLiteral("mtr_name"), QStringLiteral("mtr_no"), keyValue),
                 expected);
        QVERIFY2(box.shown().isEmpty(), "a lookup never shows anything");
    }

    void lookupStatus()
    {
        const QString approved =
            Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No='LL001'")).scalar().toString();
        const QString nullStatus =
            Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No='LL002'")).scalar().toString();
        QCOMPARE(DbGateway::LookupStatus(conn, "Rec_411", approved, "Mmst411", "Status"), QStringLiteral("2"));
        QCOMPARE(DbGateway::LookupStatus(conn, "Rec_411", nullStatus, "Mmst411", "Status"), QStringLiteral("0"));
        QCOMPARE(DbGateway::LookupStatus(conn, "Rec_411", "999999", "Mmst411", "Status"), QStringLiteral("9"));
        QVERIFY_THROWS_EXCEPTION(ErpError, DbGateway::LookupStatus(conn, "Rec_411", "1", "No_Such_Table", "Status"));
    }

    void returnFieldValue()
    {
        ScriptedMessageBox box;
        const QString one = QStringLiteral("SELECT mtr_name FROM mmst611 WHERE mtr_no = ?");
        QCOMPARE(DbGateway::ReturnFieldValue(conn, one, {QStringLiteral("O'Neil")}), QStringLiteral("奥尼尔牛津布"));
        QCOMPARE(DbGateway::ReturnFieldValue(conn, QStringLiteral("SELECT mtr_name FROM mmst611")), QString());
        QCOMPARE(DbGateway::ReturnFieldValue(conn, one, {QStringLiteral("NONE")}), QString());
        QVERIFY(box.shown().isEmpty());

        // A failing statement is reported under PublicFunction with the SQL as
        // detail, quotes and all, and the log row keeps that detail.
        const QString bad = QStringLiteral("SELECT x FROM no_such_table WHERE a = 'O''Neil'");
        QCOMPARE(DbGateway::ReturnFieldValue(conn, bad), QString());
        QCOMPARE(box.shown().size(), 1);
        QCOMPARE(box.last().style, 16);
        QCOMPARE(box.last().title, QStringLiteral("错误提示信息"));
        QVERIFY(box.last().text.startsWith(
            QStringLiteral("程序在  ReturnFieldValue  过程发生错误!\r\n\r\n描述如下:\r\n\r\n(")));
        QVERIFY(box.last().text.contains(bad + QStringLiteral("(")));
        const ResultSet log = errorLog();
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.text(0, 0), QStringLiteral("PublicFunction"));
        QCOMPARE(log.text(0, 1), QStringLiteral("ReturnFieldValue"));
        QVERIFY(log.text(0, 4).startsWith(bad + QStringLiteral("(")));
        QCOMPARE(log.text(0, 5), QStringLiteral("WS00112345"));
    }

    void returnRecCount_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("showMessage");
        QTest::addColumn<bool>("warnWhenEmpty");
        QTest::addColumn<QString>("messageId"); // empty: no message
        QTest::newRow("silent, some rows") << 2 << false << true << "";
        QTest::newRow("silent, no row") << 0 << false << false << "";
        QTest::newRow("must exist, missing") << 0 << true << true << "ReturnRecCount_1";
        QTest::newRow("must exist, two rows") << 2 << true << true << "";
        QTest::newRow("must not exist, present") << 2 << true << false << "ReturnRecCount_2";
        QTest::newRow("must not exist, none") << 0 << true << false << "";
    }
    void returnRecCount()
    {
        QFETCH(int, rows);
        QFETCH(bool, showMessage);
        QFETCH(bool, warnWhenEmpty);
        QFETCH(QString, messageId);
        ScriptedMessageBox box;
        QString message = QStringLiteral("此领料单号已经重复!请重新输入!");
        const QString sql = rows == 0 ? QStringLiteral("SELECT mtr_no FROM mmst611 WHERE 1=2")
                                      : QStringLiteral("SELECT mtr_no FROM mmst611");
        QCOMPARE(DbGateway::ReturnRecCount(conn, sql, message, showMessage, warnWhenEmpty), qint64(rows == 0 ? 0 : 2));
        QCOMPARE(box.shown().size(), messageId.isEmpty() ? 0 : 1);
        if (!messageId.isEmpty()) {
            QCOMPARE(box.last().form, QStringLiteral("PublicFunction"));
            QCOMPARE(box.last().messageId, messageId);
            QCOMPARE(box.last().text, QStringLiteral("此领料单号已经重复!请重新输入!"));
            QCOMPARE(box.last().style, 64);
            QCOMPARE(box.last().title, QStringLiteral("提示"));
        }
    }

    void returnRecCountBeyondSixteenBits()
    {
        {
            Transaction tx(conn);
            Sql insert(conn, QStringLiteral(
                                 "INSERT INTO Erp_Error_Msg (Frm_Name, Proc_Name, Err_No) VALUES ('bulk', 'bulk', 1)"));
            for (int i = 0; i < 40000; ++i)
                Sql(conn, insert.text()).exec();
            tx.commit();
        }
        QString message;
        QCOMPARE(DbGateway::ReturnRecCount(conn, QStringLiteral("SELECT * FROM Erp_Error_Msg"), message, false, false),
                 qint64(40000));
    }

    void serverDateAndTime()
    {
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"))
                    .match(DbGateway::GetServerDate(conn))
                    .hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"))
                    .match(DbGateway::GetServerDateTime(conn))
                    .hasMatch());
        DbGateway::setServerNowOverride(QDateTime(QDate(2007, 12, 20), QTime(14, 5, 9)));
        QCOMPARE(DbGateway::GetServerDate(conn), QStringLiteral("2007-12-20"));
        QCOMPARE(DbGateway::GetServerDateTime(conn), QStringLiteral("2007-12-20 14:05:09"));
        DbGateway::setServerNowOverride({});
    }

    void formatDateText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("date value") << QVariant(QDate(2007, 1, 5)) << "2007-01-05";
        QTest::newRow("date-time value") << QVariant(QDateTime(QDate(2007, 12, 20), QTime(23, 59))) << "2007-12-20";
        QTest::newRow("text that is no date") << QVariant(QStringLiteral("2007.13.45")) << "2007-13-45";
        QTest::newRow("text date") << QVariant(QStringLiteral("2007/1/5")) << "2007-01-05";
        QTest::newRow("a year before our era is no date") << QVariant(QStringLiteral("-2024.03.05")) << "-2024-03";
        QTest::newRow("free text, extra group dropped") << QVariant(QStringLiteral("99x1y2z77")) << "99-1-2";
        QTest::newRow("empty") << QVariant(QString()) << "";
        QTest::newRow("null") << QVariant() << "";
    }
    void formatDateText()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        QCOMPARE(DbGateway::FormatDateText(value), expected);
    }

    void nullToString()
    {
        QCOMPARE(DbGateway::NullToString(QVariant(), QStringLiteral("0")), QStringLiteral("0"));
        QCOMPARE(DbGateway::NullToString(QVariant(QMetaType(QMetaType::QString)), QStringLiteral("x")),
                 QStringLiteral("x"));
        QCOMPARE(DbGateway::NullToString(QVariant(12.5)), QStringLiteral("12.5"));
        QCOMPARE(DbGateway::NullToString(QVariant(QDate(2007, 12, 20))), QStringLiteral("2007-12-20"));
    }

    void showErpMessage()
    {
        ScriptedMessageBox box;
        QString text = QStringLiteral("请输入领料单号!");
        int style = 0;
        QString title;
        reporter().show(QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), text, style, title);
        QCOMPARE(box.last().text, QStringLiteral("请输入领料单号!"));
        QCOMPARE(box.last().style, 64);
        QCOMPARE(box.last().title, QStringLiteral("提示"));
        QCOMPARE(style, 64);
        QCOMPARE(title, QStringLiteral("提示"));

        // One stored row replaces every message of that key, the caller sees it too.
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO ErpSys_Message (Frm_Name, Message_Id, Message) VALUES (?, ?, ?)"),
                     {QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), QStringLiteral("单号不可空白 'X'")});
        text = QStringLiteral("此单位不存在,请重新输入!");
        reporter().show(QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), text, style, title);
        QCOMPARE(box.last().text, QStringLiteral("单号不可空白 'X'"));
        QCOMPARE(text, QStringLiteral("单号不可空白 'X'"));
        reporter().show(QStringLiteral("mmss40C"), QStringLiteral("Check_OK_1"), QStringLiteral("原文"));
        QCOMPARE(box.last().text, QStringLiteral("原文"));

        // Two rows for the key: the lookup needs exactly one, so the caller's text stands.
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO ErpSys_Message (Frm_Name, Message_Id, Message) VALUES (?, ?, ?)"),
                     {QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), QStringLiteral("第二条")});
        reporter().show(QStringLiteral("mmss40B"), QStringLiteral("Check_OK_1"), QStringLiteral("原文"));
        QCOMPARE(box.last().text, QStringLiteral("原文"));
    }

    void reportError()
    {
        ScriptedMessageBox box;
        try {
            throw ErpError(91, QStringLiteral("barmanubill"), QStringLiteral("Object variable not set"));
        } catch (...) {
            reporter().report(QStringLiteral("Frm40BMx"), QStringLiteral("Check_ok"));
        }
        QCOMPARE(box.shown().size(), 1);
        QCOMPARE(box.last().text,
                 QStringLiteral("程序在  Check_ok  过程发生错误!\r\n\r\n描述如下:\r\n\r\n(91)Object variable not set"));
        QCOMPARE(box.last().text.split(QStringLiteral("\r\n")).size(), 5);
        QCOMPARE(box.last().style, 16);
        ResultSet log = errorLog();
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.text(0, 0), QStringLiteral("Frm40BMx"));
        QCOMPARE(log.text(0, 1), QStringLiteral("Check_ok"));
        QCOMPARE(log.text(0, 2), QStringLiteral("barmanubill"));
        QCOMPARE(log.value(0, 3).toLongLong(), 91);
        QCOMPARE(log.text(0, 4), QStringLiteral("Object variable not set"));
        QCOMPARE(log.text(0, 6), Environment::today().toString(QStringLiteral("yyyy-MM-dd")));

        // Quotes in the description become double quotes when there is no detail.
        try {
            throw ErpError(5, QStringLiteral("x"), QStringLiteral("bad 'value'"));
        } catch (...) {
            reporter().report(QStringLiteral("mmss40B"), QStringLiteral("Form_Load"));
        }
        QVERIFY(box.last().text.endsWith(QStringLiteral("(5)bad \"value\"")));

        // The generic provider failure is shown but not logged.
        TestDb::exec(conn, QStringLiteral("DELETE FROM Erp_Error_Msg"));
        try {
            throw ErpError(-2147467259, QStringLiteral("provider"), QStringLiteral("unspecified"));
        } catch (...) {
            reporter().report(QStringLiteral("mmss40B"), QStringLiteral("Vcontrol"));
        }
        QCOMPARE(box.shown().size(), 3);
        QCOMPARE(errorLog().rowCount(), 0);

        // Outside a failure and without detail nothing happens.
        reporter().report(QStringLiteral("mmss40B"), QStringLiteral("Vcontrol"));
        QCOMPARE(box.shown().size(), 3);
    }

    // The windows' static forms reach the installed context: its stored texts and its log.
    void staticFormsUseInstalledContext()
    {
        ScriptedMessageBox box;
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO ErpSys_Message (Frm_Name, Message_Id, Message) VALUES (?, ?, ?)"),
                     {QStringLiteral("mmss40D"), QStringLiteral("Cmd_Ok_1"), QStringLiteral("已存的文字")});
        ErrorReporter::ShowErpMessage(QStringLiteral("mmss40D"), QStringLiteral("Cmd_Ok_1"), QStringLiteral("原文"));
        QCOMPARE(box.last().text, QStringLiteral("已存的文字"));
        try {
            throw ErpError(13, QStringLiteral("barmanubill"), QStringLiteral("Type mismatch"));
        } catch (...) {
            ErrorReporter::ReportError(QStringLiteral("mmss40D"), QStringLiteral("upd_data1"));
        }
        const ResultSet log = errorLog();
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.text(0, 1), QStringLiteral("upd_data1"));
        QCOMPARE(log.text(0, 5), QStringLiteral("WS00112345"));
    }

    void checkIdDataIsUsing()
    {
        ScriptedMessageBox box;
        TestDb::exec(conn, QStringLiteral("DELETE FROM FieldUseInformation"));
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO FieldUseInformation (Table_Key, Field_Key, Table_Name, Field_Name, "
                                    "Table_Descption) VALUES (?, ?, ?, ?, ?)"),
                     {QStringLiteral(" mmst411 "), QStringLiteral("Rec_411"), QStringLiteral("Mmst412"),
                      QStringLiteral("Rec_411"), QStringLiteral("领料单明细")});
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO FieldUseInformation (Table_Key, Field_Key, Table_Name, Field_Name, "
                                    "Table_Descption) VALUES (?, ?, ?, ?, ?)"),
                     {QStringLiteral("mmst411"), QStringLiteral("Rec_411"), QStringLiteral("mmst411"),
                      QStringLiteral("Rec_411"), QStringLiteral("自己")});
        const qint64 header =
            Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No='LL001'")).scalar().toLongLong();
        TestDb::exec(conn, QStringLiteral("INSERT INTO Mmst412 (Rec_411, Mtr_Amt) VALUES (?, 1)"), {header});

        QVERIFY(reporter().checkIdDataIsUsing(QStringLiteral("mmst411"), QStringLiteral("Rec_411"), header, true));
        QCOMPARE(box.last().text, QStringLiteral("<领料单明细>中使用了当前操作表中的信息,当前操作不能进行!"));
        QCOMPARE(box.last().style, 64);
        QCOMPARE(box.last().title, QStringLiteral("提示"));

        // The other header has no lines; the self-reference row is ignored.
        box.clear();
        const qint64 other =
            Sql(conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No='LL002'")).scalar().toLongLong();
        QVERIFY(!reporter().checkIdDataIsUsing(QStringLiteral("mmst411"), QStringLiteral("Rec_411"), other, true));
        QVERIFY(box.shown().isEmpty());

        QVERIFY(!reporter().checkIdDataIsUsing(QStringLiteral("mmst411"), QStringLiteral("Rec_411"), QVariant(), true));
        QVERIFY(reporter().checkIdDataIsUsing(QStringLiteral(" "), QStringLiteral("Rec_411"), 1, true));
        QCOMPARE(box.last().messageId, QStringLiteral("CheckIdDataIsUsing_1"));
        QCOMPARE(box.last().text,
                 QStringLiteral("在检查表格中的字段的使用情况时必须输入表格名称、表格字段名称、指定字段的当前值"));
    }

    void checkDateOk()
    {
        ScriptedMessageBox box;
        Environment::setNow(QDateTime(QDate(2007, 12, 20), QTime(10, 0)));
        QVERIFY(DbGateway::Check_Date_Ok(QDate(2007, 12, 20), QStringLiteral("单据日期")));
        QVERIFY(box.shown().isEmpty());
        box.answer(MessageAnswer::No);
        QVERIFY(!DbGateway::Check_Date_Ok(QDate(2007, 12, 21), QStringLiteral("单据日期")));
        QCOMPARE(box.last().form, QStringLiteral("PublicFunction"));
        QCOMPARE(box.last().messageId, QStringLiteral("Check_Date_Ok"));
        QCOMPARE(box.last().text, QStringLiteral("单据日期大於当前日期,是否要继续?"));
        QCOMPARE(box.last().style, 292);
        QCOMPARE(box.last().title, QStringLiteral("警告"));
        box.answer(MessageAnswer::Yes);
        QVERIFY(DbGateway::Check_Date_Ok(QDate(2007, 12, 21), QStringLiteral("单据日期")));
    }

    void changeStrCodeLocale()
    {
        Environment::setSystemLocaleId(1028);
        QCOMPARE(DbGateway::ChangeStrCode(QStringLiteral("生产领料单")), QStringLiteral("生产领料单"));
        QVERIFY(!DbGateway::IsNotTraditionalLocale());
        Environment::setSystemLocaleId(2052);
        DbGateway::ChangeStrCode(QString());
        QVERIFY(DbGateway::IsNotTraditionalLocale());
        Environment::setSystemLocaleId(-1);
        DbGateway::ChangeStrCode(QString());
        QVERIFY(!DbGateway::IsNotTraditionalLocale());
    }

    void pathsAndNames()
    {
        QCOMPARE(DbGateway::TrimTrailingBackslash(QStringLiteral("\\")), QStringLiteral("\\"));
        QCOMPARE(DbGateway::TrimTrailingBackslash(QStringLiteral("C:\\erp\\")), QStringLiteral("C:\\erp"));
        QCOMPARE(DbGateway::TrimTrailingBackslash(QStringLiteral("C:\\erp\\\\")), QStringLiteral("C:\\erp\\"));
        QCOMPARE(DbGateway::TrimAtNul(QStringLiteral("a.xlsx") + QChar(0) + QStringLiteral("junk")),
                 QStringLiteral("a.xlsx"));
        QTemporaryDir dir;
        QVERIFY(DbGateway::DirExists(dir.path()));
        QVERIFY(!DbGateway::FileExists(dir.path()));
        QFile f(dir.filePath(QStringLiteral("x.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(DbGateway::FileExists(f.fileName()));
        QVERIFY(!DbGateway::DirExists(f.fileName()));

        Environment::setMachineName(QStringLiteral("A-VERY-LONG-WORKSTATION-NAME"));
        QCOMPARE(DbGateway::GetMachineName(), QStringLiteral("A-VERY-LONG-WORKSTA"));
        Environment::setMachineName({});
    }

    void runTag()
    {
        Environment::setMachineName(QStringLiteral("abc"));
        RunContext::resetRandomSequence();
        const QString first = RunContext::makeRunTag();
        const QString second = RunContext::makeRunTag();
        QVERIFY2(QRegularExpression(QStringLiteral("^abc\\d{5}$")).match(first).hasMatch(), qPrintable(first));
        QVERIFY(first != second);
        // A new process starts the same sequence again.
        RunContext::resetRandomSequence();
        QCOMPARE(RunContext::makeRunTag(), first);
        Environment::setMachineName(QStringLiteral("WORKSTATION7"));
        QVERIFY(RunContext::makeRunTag().startsWith(QStringLiteral("WORKS")));
        Environment::setMachineName({});
    }
};

QTEST_GUILESS_MAIN(TstGateway)
#include "tst_gateway.moc"
