// The script host as the report list and the SQL builder use it: scripts run
// against a window with its controls, the registered objects and the prelude;
// the database through "Ado"; scripts bound to buttons.
#include "TestSupport.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "reports/DesignAdo.h"
#include "reports/KestoDesign.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A host object whose registration the engine accepts.
std::shared_ptr<ScriptObject> someObject()
{
    auto *o = new QObject;
    o->setObjectName(QStringLiteral("Some"));
    return std::shared_ptr<ScriptObject>(new QObjectScriptObject(o), [o](ScriptObject *s) {
        delete s;
        delete o;
    });
}

} // namespace

class TstScriptHost : public QObject
{
    Q_OBJECT

    Connection conn;
    ScriptedMessageBox *box = nullptr;
    QWidget *window = nullptr;
    QLineEdit *txt = nullptr;
    QPushButton *cmd = nullptr;
    Kesto_Design *design = nullptr;

    QString value(const QString &script, const QString &variables = {}, const QString &name = QStringLiteral("W_SQL"))
    {
        return design->GetValue(script, name, true, variables, true).toString();
    }

private slots:
    void init()
    {
        box = new ScriptedMessageBox;
        conn = TestDb::fresh();
        TestDb::exec(conn,
                     QStringLiteral("INSERT INTO mmst605 (Color_No, Color_Name) VALUES ('C1', '红'), ('C2', '蓝'), "
                                    "('C3', 'O''Neil')"));
        window = new QWidget;
        window->setObjectName(QStringLiteral("FrmTest"));
        txt = new QLineEdit(QStringLiteral("abc"), window);
        txt->setObjectName(QStringLiteral("Txt1"));
        cmd = new QPushButton(QStringLiteral("Go"), window);
        cmd->setObjectName(QStringLiteral("Cmd1"));
        design = new Kesto_Design(conn);
        design->setOperForm(window);
        design->ClearScriptObject(false);
    }
    void cleanup()
    {
        delete design;
        delete window;
        delete box;
        conn.close();
    }

    void engineIsAttachedOnce()
    {
        ScriptControl *sc = design->GetScriptControl();
        QVERIFY(sc);
        QCOMPARE(sc->objectName(), QStringLiteral("SC"));
        QCOMPARE(sc->parent(), window);
        // A second host on the same window uses the window's engine.
        Kesto_Design other(conn);
        other.setOperForm(window);
        QCOMPARE(other.GetScriptControl(), sc);
        QCOMPARE(window->findChildren<ScriptControl *>().size(), 1);
    }

    void preludeAndVariables_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("quoted text") << "W_SQL = \"select * from mmst605\""
                                     << "select * from mmst605";
        QTest::newRow("iif true") << "W_SQL = iif(1 = 1, \"yes\", \"no\")"
                                  << "yes";
        QTest::newRow("iif false") << "W_SQL = iif(1 = 2, \"yes\", \"no\")"
                                   << "no";
        QTest::newRow("trim both ends") << "W_SQL = \"[\" & trim(\"  a b  \") & \"]\""
                                        << "[a b]";
        QTest::newRow("val keeps text") << "W_SQL = TypeName(val(\"12\")) & val(\"12\")"
                                        << "String12";
        QTest::newRow("Change_StrCode") << "W_SQL = Change_StrCode(\"领料\")"
                                        << "领料";
        QTest::newRow("constants") << "W_SQL = vbmodal & vbChecked & vbunChecked"
                                   << "110";
        QTest::newRow("variables") << "W_SQL = \"where Inv_No = '\" & inv_no & \"'\""
                                   << "where Inv_No = 'LL001'";
        QTest::newRow("select case and function") << "Function k(n)\r\nSelect Case n\r\nCase \"LL001\": k = \"A\"\r\n"
                                                     "Case Else: k = \"B\"\r\nEnd Select\r\nEnd Function\r\n"
                                                     "W_SQL = k(inv_no)"
                                                  << "A";
        QTest::newRow("view price") << "If View_Price Then W_SQL = \"p\" Else W_SQL = \"np\""
                                    << "np";
    }
    void preludeAndVariables()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QCOMPARE(value(script, QStringLiteral("inv_no=\"LL001\"\r\nconst View_Price=False\r\n")), expected);
        QVERIFY(box->shown().isEmpty());
    }

    void preludeIsTheFixedText()
    {
        const QString p = Kesto_Design::prelude();
        QVERIFY(p.startsWith(QStringLiteral("const vbmodal=1\r\nconst vbChecked=1\r\nconst vbunChecked=0\r\n")));
        QVERIFY(p.contains(QStringLiteral("\r\n Function iif(p_bool, p_truevalue, p_falseValue)\r\n   If p_bool = True "
                                          "Then\r\n   iif = p_truevalue\r\n")));
        QVERIFY(p.endsWith(QStringLiteral("   End If\r\n End Function\r\n")));
        QCOMPARE(p.count(kCrLf), 19);
    }

    void nothingSurvivesIntoTheNextRun()
    {
        QCOMPARE(value(QStringLiteral("Dim kept\r\nkept = 5\r\nW_SQL = \"a\"")), QStringLiteral("a"));
        QCOMPARE(value(QStringLiteral("W_SQL = TypeName(kept) & inv_no")), QStringLiteral("Empty"));
    }

    void scriptFailuresAreSilent()
    {
        // A syntax error in the report script: empty, no message.
        const ScriptValue v = design->GetValue(QStringLiteral("W_SQL = \"x\"\r\nIf Then"), QStringLiteral("W_SQL"),
                                               true, QString(), true);
        QVERIFY(v.toString().isEmpty());
        // A run-time error after the assignment keeps what was assigned.
        QCOMPARE(value(QStringLiteral("W_SQL = \"x\"\r\nx = 1 / 0")), QStringLiteral("x"));
        QVERIFY(box->shown().isEmpty());
        // Raised by the script itself: the statement still went through.
        QVERIFY(design->ExecuteStatement(QStringLiteral("Err.Raise 1000, \"me\", \"boom\""), true, QString(), true));
        QVERIFY(box->shown().isEmpty());
    }

    void variablesTextSyntaxErrorIsShown()
    {
        const QString script = QStringLiteral("W_SQL = \"select 1\"");
        const ScriptValue v =
            design->GetValue(script, QStringLiteral("W_SQL"), true, QStringLiteral("inv_no=\"LL\"001\""), true);
        QCOMPARE(v.type(), ScriptValue::String);
        QVERIFY(v.toString().isEmpty());
        QCOMPARE(box->shown().size(), 1);
        const MessageRequest &m = box->last();
        QVERIFY2(m.text.startsWith(QStringLiteral("执行脚本时出错,描述如下:")), qPrintable(m.text));
        QVERIFY(m.text.endsWith(QStringLiteral("出错的语句为\r\n") + script));
        QCOMPARE(m.style, 0);
        QVERIFY(m.title.isEmpty());
        // Without P_ShowError nothing is shown.
        box->clear();
        design->GetValue(script, QStringLiteral("W_SQL"), false, QStringLiteral("If Then"), true);
        QVERIFY(box->shown().isEmpty());
    }

    void executeStatementFailureNamesItsGroup()
    {
        design->AddObjectToScript(QStringLiteral("Ado"), someObject(), false); // a second "Ado"
        QVERIFY(!design->ExecuteStatement(QStringLiteral("x = 1"), true, QStringLiteral("测试"), true));
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.startsWith(QStringLiteral("执行测试脚本时出错,描述如下:")),
                 qPrintable(box->last().text));
        QVERIFY(box->last().text.endsWith(QStringLiteral("出错的语句为\r\nx = 1")));
    }

    void invalidArgumentRegistrationIsSkipped()
    {
        design->AddObjectToScript(QString(), someObject(), false);
        design->AddObjectToScript(QStringLiteral("Nobody"), nullptr, false);
        design->AddObjectToScript(QStringLiteral("Some"), someObject(), false);
        QCOMPARE(value(QStringLiteral("W_SQL = TypeName(Some) & \"/\" & Some.objectName")),
                 QStringLiteral("QObject/Some"));
        QVERIFY(box->shown().isEmpty());
    }

    void cleanUpKeepsFormLevelObjects()
    {
        design->AddObjectToScript(QStringLiteral("Temp1"), someObject(), false);
        design->AddObjectToScript(QStringLiteral("Kept"), someObject(), true);
        design->GetValue(QStringLiteral("W_SQL = 1"), QStringLiteral("W_SQL"), true, QString(), false);
        QCOMPARE(design->registeredObjects().size(), 3);
        design->GetValue(QStringLiteral("W_SQL = 1"), QStringLiteral("W_SQL"), true, QString(), true);
        QStringList names;
        for (const Change_DesignObject &o : design->registeredObjects())
            names << o.InnerName;
        QCOMPARE(names, (QStringList{QStringLiteral("Ado"), QStringLiteral("Kept")}));
        design->ClearScriptObject(true);
        QVERIFY(design->registeredObjects().isEmpty());
    }

    // A failed run leaves neither its code nor its objects in the engine,
    // and its temporary objects are gone from the list.
    void failedRunLeavesNothingBehind()
    {
        design->AddObjectToScript(QStringLiteral("Temp1"), someObject(), false);
        design->AddObjectToScript(QStringLiteral("Temp1"), someObject(), false); // name given twice
        QVERIFY(!design->ExecuteStatement(QStringLiteral("x = 1"), false, QString(), true));
        ScriptEngine &engine = design->GetScriptControl()->engine();
        QCOMPARE(engine.eval(QStringLiteral("TypeName(Ado) & TypeName(Temp1) & TypeName(Txt1)")).toString(),
                 QStringLiteral("EmptyEmptyEmpty"));
        QVERIFY(!engine.hasProcedure(QStringLiteral("iif")));
        QCOMPARE(design->registeredObjects().size(), 1);
        QVERIFY(design->ExecuteStatement(QStringLiteral("x = 1"), true, QString(), true));
        QVERIFY(box->shown().isEmpty());
    }

    void controlsByNameAndThroughThis()
    {
        QCOMPARE(
            value(QStringLiteral("W_SQL = Txt1.text & \"/\" & this.Txt1.text & \"/\" & this(\"txt1\").text & \"/\" "
                                 "& Cmd1.text")),
            QStringLiteral("abc/abc/abc/Go"));
        QVERIFY(design->ExecuteStatement(QStringLiteral("Txt1.text = \"from script\""), true, QString(), true));
        QCOMPARE(txt->text(), QStringLiteral("from script"));
    }

    void noOperatingWindow()
    {
        Kesto_Design bare(conn);
        QVERIFY(!bare.GetScriptControl());
        QVERIFY(bare.GetValue(QStringLiteral("W_SQL = 1"), QStringLiteral("W_SQL"), true, QString(), true).isEmpty());
        QVERIFY(!bare.ExecuteStatement(QStringLiteral("MsgBox 1"), true, QString(), true));
        // A window that went away is no operating window either.
        auto *gone = new QWidget;
        bare.setOperForm(gone);
        delete gone;
        QVERIFY(!bare.ExecuteStatement(QStringLiteral("x = 1"), true, QString(), true));
        QVERIFY(box->shown().isEmpty());
    }

    void runawayLoopEndsWithAnError()
    {
        design->setTimeLimit(200);
        QVERIFY(value(QStringLiteral("W_SQL = \"x\"\r\nDo\r\nLoop")).isEmpty());
        QCOMPARE(box->shown().size(), 1);
        QVERIFY(box->last().text.startsWith(QStringLiteral("执行脚本时出错,描述如下:")));
        box->clear();
        QVERIFY(!design->ExecuteStatement(QStringLiteral("On Error Resume Next\r\nDo While True\r\nLoop"), true,
                                          QString(), true));
        QCOMPARE(box->shown().size(), 1);
        // The next run has its full time again.
        QCOMPARE(value(QStringLiteral("W_SQL = \"fine\"")), QStringLiteral("fine"));
    }

    // The time limit counts the script's own time: not the 12 s a clerk
    // takes to answer its MsgBox, nor the time its database statements take,
    // so a script is never stopped between two of its writes for them.
    void timeLimitCountsTheScriptsOwnTime()
    {
        QCOMPARE(design->timeLimit(), 10000);
        box->whileShown([](const MessageRequest &) { QTest::qSleep(12000); });
        box->answer(MessageAnswer::Yes);
        QCOMPARE(value(QStringLiteral("a = MsgBox(\"真的要继续吗?\", 36)\r\nW_SQL = \"answered \" & a")),
                 QStringLiteral("answered 6"));
        QCOMPARE(box->shown().size(), 1);

        // A statement slower than the whole limit, then a second write: the
        // limit is set below what the statement alone takes here.
        {
            Transaction t(conn);
            for (int i = 0; i < 120; ++i)
                TestDb::exec(conn, QStringLiteral("INSERT INTO mmst605 (Color_No, Color_Name) VALUES (?, '色')"),
                             {QStringLiteral("K%1").arg(i)});
            t.commit();
        }
        const QString cross = QStringLiteral("FROM mmst605 a, mmst605 b, mmst605 c");
        QElapsedTimer took;
        took.start();
        Sql(conn, QStringLiteral("SELECT COUNT(*) ") + cross).scalar();
        const qint64 statement = took.elapsed();
        design->setTimeLimit(int(qMax<qint64>(5, statement / 2)));
        took.restart();
        QVERIFY(design->ExecuteStatement(
            QStringLiteral("Ado.ExecuteSql \"INSERT INTO mmst605 (Color_No, Color_Name) SELECT 'S1', COUNT(*) %1\"\r\n"
                           "Ado.ExecuteSql \"INSERT INTO mmst605 (Color_No, Color_Name) VALUES ('S2', '第二笔')\"")
                .arg(cross),
            true, QString(), true));
        QVERIFY2(took.elapsed() > design->timeLimit(), "the statement was meant to outlast the limit");
        QCOMPARE(Sql(conn, QStringLiteral("SELECT COUNT(*) FROM mmst605 WHERE Color_No IN ('S1', 'S2')")).scalar().toInt(),
                 2);
        QCOMPARE(box->shown().size(), 1);
        // Its own loop is still stopped.
        QVERIFY(!design->ExecuteStatement(QStringLiteral("Do\r\nLoop"), false, QString(), true));
    }

    void msgBoxGoesThroughTheMessageSeam()
    {
        box->answer(MessageAnswer::No);
        QCOMPARE(value(QStringLiteral("W_SQL = MsgBox(\"继续吗?\", 36, \"问\")")), QStringLiteral("7"));
        QCOMPARE(box->shown().size(), 1);
        QCOMPARE(box->last().text, QStringLiteral("继续吗?"));
        QCOMPARE(box->last().style, 36);
        QCOMPARE(box->last().title, QStringLiteral("问"));
        QCOMPARE(box->last().form, QStringLiteral("FrmTest"));
    }

    void adoResultSetsAreWalkable()
    {
        const QString script = QStringLiteral(
            "Set rs = Ado.GetRecordset(\"SELECT Color_No, Color_Name FROM mmst605 ORDER BY Color_No\")\r\n"
            "W_SQL = rs.RecordCount & \":\" & rs.Fields.Count & \":\" & LCase(rs.Fields(1).Name) & \":\" & rs.BOF\r\n"
            "Do While Not rs.EOF\r\n"
            "  W_SQL = W_SQL & \"|\" & rs.Fields(\"color_no\").Value & \"=\" & rs(\"Color_Name\") & \"=\" & rs.Fields(0)\r\n"
            "  rs.MoveNext\r\n"
            "Loop\r\n"
            "rs.MoveFirst\r\n"
            "W_SQL = W_SQL & \"|\" & rs.EOF & rs(0).Value\r\n"
            "rs.Close\r\n"
            "On Error Resume Next\r\n"
            "x = rs.EOF\r\n"
            "W_SQL = W_SQL & \"|\" & Err.Number\r\n"
            "Err.Clear\r\n"
            "x = rs.Fields(\"nothere\")\r\n");
        QCOMPARE(value(script), QStringLiteral("3:2:color_name:False|C1=红=C1|C2=蓝=C2|C3=O'Neil=C3|FalseC1|3704"));
        // An empty result is at its start and its end at once.
        QCOMPARE(value(QStringLiteral("Set rs = GetRecordset(\"SELECT Color_No FROM mmst605 WHERE 1 = 2\")\r\n"
                                      "W_SQL = rs.EOF & rs.BOF & rs.RecordCount")),
                 QStringLiteral("TrueTrue0"));
        QVERIFY(box->shown().isEmpty());
    }

    void adoStatementsAndTheirErrors()
    {
        QVERIFY(design->ExecuteStatement(
            QStringLiteral("Ado.ExecuteSql \"INSERT INTO mmst605 (Color_No, Color_Name) VALUES ('C9', '绿')\""), true,
            QString(), true));
        QCOMPARE(Sql(conn, QStringLiteral("SELECT Color_Name FROM mmst605 WHERE Color_No = 'C9'")).scalar().toString(),
                 QStringLiteral("绿"));
        // The database's failure reaches the script as its error.
        QCOMPARE(value(QStringLiteral("On Error Resume Next\r\nAdo.ExecuteSql \"INSERT INTO nowhere VALUES (1)\"\r\n"
                                      "W_SQL = (Err.Number <> 0) & \"/\" & (Len(Err.Description) > 0)")),
                 QStringLiteral("True/True"));
        QCOMPARE(
            value(QStringLiteral("On Error Resume Next\r\nSet rs = Ado.GetRecordset(\"SELECT nope FROM mmst605\")\r\n"
                                 "W_SQL = (Err.Number <> 0) & TypeName(rs)")),
            QStringLiteral("TrueEmpty"));
    }

    void boundButtonRunsItsScript()
    {
        Kesto_ControlEvent *e =
            design->W_ControlEvents().AddCommand(cmd, QStringLiteral("Txt1.text = \"clicked \" & Cmd1.text"));
        QCOMPARE(e->Name(), QStringLiteral("Cmd1"));
        QVERIFY(design->W_ControlEvents().FindItem(QStringLiteral("CMD1")));
        QCOMPARE(design->W_ControlEvents().item(QStringLiteral("cmd1")), e);
        QTest::mouseClick(cmd, Qt::LeftButton);
        QCOMPARE(txt->text(), QStringLiteral("clicked Go"));

        txt->setText(QStringLiteral("abc"));
        design->setAllowExecute(false);
        QTest::mouseClick(cmd, Qt::LeftButton);
        QCOMPARE(txt->text(), QStringLiteral("abc"));
        design->setAllowExecute(true);

        // A second binding of the name is the collection's duplicate key.
        try {
            design->W_ControlEvents().AddControl(cmd, QStringLiteral("x = 1"));
            QFAIL("a second binding was accepted");
        } catch (const ErpError &err) {
            QCOMPARE(err.number(), qint64(457));
        }
        QCOMPARE(design->W_ControlEvents().count(), 1);

        // Setting the operating window again drops the bindings.
        design->setOperForm(window);
        QCOMPARE(design->W_ControlEvents().count(), 0);
        QTest::mouseClick(cmd, Qt::LeftButton);
        QCOMPARE(txt->text(), QStringLiteral("abc"));
    }

    void boundScriptFailureNamesTheControl()
    {
        design->W_ControlEvents().AddCommand(cmd, QStringLiteral("x = 1"));
        design->AddObjectToScript(QStringLiteral("Ado"), someObject(), true); // breaks every set-up
        QTest::mouseClick(cmd, Qt::LeftButton);
        QCOMPARE(box->shown().size(), 1);
        QVERIFY2(box->last().text.startsWith(QStringLiteral("执行控件<Cmd1>的事件脚本时出错,描述如下:")),
                 qPrintable(box->last().text));
    }

    void otherControlsNeverFire()
    {
        auto *other = new QPushButton(QStringLiteral("Other"), window);
        other->setObjectName(QStringLiteral("Cmd2"));
        design->W_ControlEvents().AddControl(other, QStringLiteral("Txt1.text = \"fired\""));
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(txt->text(), QStringLiteral("abc"));
        QCOMPARE(design->W_ControlEvents().item(QStringLiteral("Cmd2"))->Script(),
                 QStringLiteral("Txt1.text = \"fired\""));
    }
};

QTEST_MAIN(TstScriptHost)
#include "tst_scripthost.moc"
