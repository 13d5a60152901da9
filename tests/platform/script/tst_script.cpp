#include "platform/script/ScriptEngine.h"

#include "TestSupport.h"
#include "platform/core/ErpError.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

namespace {

// The fixed text every report run starts with.
const QString kPrelude = QStringLiteral("const vbmodal=1\r\n"
                                        "const vbChecked=1\r\n"
                                        "const vbunChecked=0\r\n"
                                        "Function Change_StrCode(P_Str)\r\n"
                                        "Change_StrCode=P_Str\r\n"
                                        "end function\r\n"
                                        "Function val(P_Str)\r\n"
                                        "val=P_Str\r\n"
                                        "end function\r\n"
                                        "Function trim(P_Str)\r\n"
                                        "trim=rtrim(ltrim(P_Str))\r\n"
                                        "end function\r\n"
                                        " Function iif(p_bool, p_truevalue, p_falseValue)\r\n"
                                        "   If p_bool = True Then\r\n"
                                        "   iif = p_truevalue\r\n"
                                        "   Else\r\n"
                                        "   iif = p_falseValue\r\n"
                                        "   End If\r\n"
                                        " End Function\r\n");

// A host object kept in a map: properties are entries, methods fixed.
class Bag : public ScriptObject
{
public:
    QHash<QString, ScriptValue> props;
    QStringList calls;
    ScriptEngine *engine = nullptr; // for a method that calls back into the engine

    QString typeName() const override { return QStringLiteral("Bag"); }
    bool hasProperty(const QString &name) const override { return props.contains(name.toLower()); }
    bool hasMethod(const QString &name) const override
    {
        const QString n = name.toLower();
        return n == QLatin1String("add") || n == QLatin1String("fail") || n == QLatin1String("items") ||
               n == QLatin1String("log") || n == QLatin1String("dbfail") || n == QLatin1String("reset");
    }
    ScriptValue getProperty(const QString &name) override { return props.value(name.toLower()); }
    void setProperty(const QString &name, const ScriptValue &value) override
    {
        if (!hasProperty(name))
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        props.insert(name.toLower(), value);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        const QString n = name.toLower();
        calls << n;
        if (n == QLatin1String("add")) {
            if (args.size() != 2)
                throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
            return ScriptOps::binary(ScriptOps::Op::Add, args.at(0), args.at(1));
        }
        if (n == QLatin1String("fail"))
            throw ScriptError(-2147217900, QStringLiteral("statement refused"), QStringLiteral("Db"));
        if (n == QLatin1String("log"))
            return ScriptValue();
        if (n == QLatin1String("reset")) {
            engine->reset();
            return ScriptValue::boolean(engine->hasError());
        }
        if (n == QLatin1String("dbfail"))
            throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("Gateway"),
                           QStringLiteral("Invalid object name 'mmst999'."));
        return ScriptValue::object(std::make_shared<List>());
    }

    // A collection For Each can walk.
    class List : public ScriptObject
    {
    public:
        bool hasProperty(const QString &name) const override
        {
            return name.compare("Count", Qt::CaseInsensitive) == 0 || name.compare("Written", Qt::CaseInsensitive) == 0;
        }
        bool hasMethod(const QString &name) const override
        {
            return name.isEmpty() || name.compare("Item", Qt::CaseInsensitive) == 0;
        }
        ScriptValue getProperty(const QString &name) override
        {
            return name.compare("Count", Qt::CaseInsensitive) == 0 ? ScriptValue::integer(3) : ScriptValue(written);
        }
        void setProperty(const QString &name, const ScriptValue &) override
        {
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        }
        ScriptValue callMethod(const QString &, const QList<ScriptValue> &args) override
        {
            return ScriptValue(QStringLiteral("item") + args.value(0).toString());
        }
        void setItem(const QList<ScriptValue> &args, const ScriptValue &value) override
        {
            if (args.size() != 1)
                throwScriptError(ScriptErrorNumber::WrongArgumentCount);
            written = args.at(0).toString() + QLatin1Char('=') + value.toString();
        }
        bool enumerate(QList<ScriptValue> *items) override
        {
            *items = {ScriptValue("a"), ScriptValue("b"), ScriptValue("c")};
            return true;
        }
        QString written;
    };
};

} // namespace

// A window-like QObject for the adapter: properties, invokable methods and a named child.
class FakeWindow : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString caption MEMBER m_caption)
    Q_PROPERTY(int count READ count)
public:
    explicit FakeWindow(QObject *parent = nullptr) : QObject(parent) {}
    int count() const { return 7; }
    Q_INVOKABLE int add(int a, int b) const { return a + b; }
    Q_INVOKABLE QString greet(const QString &who) const { return QStringLiteral("hello ") + who; }
    Q_INVOKABLE QVariant echo(const QVariant &v) const { return v; }
    QString m_caption = QStringLiteral("生产领料单");
};

class TstScript : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void expressions_data();
    void expressions();
    void expressionErrors_data();
    void expressionErrors();
    void statements_data();
    void statements();
    void procedures_data();
    void procedures();
    void runtimeErrors_data();
    void runtimeErrors();
    void syntaxErrors_data();
    void syntaxErrors();
    void onErrorResumeNext_data();
    void onErrorResumeNext();
    void limitsEndTheScriptNotTheProcess_data();
    void limitsEndTheScriptNotTheProcess();
    void timeLimitStopsRunawayLoop();
    void damagedTextsFailCleanly();
    void hostObjects_data();
    void hostObjects();
    void hostObjectRegistration();
    void qobjectAdapter_data();
    void qobjectAdapter();
    void controlCollection_data();
    void controlCollection();
    void globalsAndErrorState();
    void dynamicCode_data();
    void dynamicCode();
    void messageBox();
    void variantConversions_data();
    void variantConversions();
    void variantsToHost();
    void prelude_data();
    void prelude();
    void reportScripts_data();
    void reportScripts();
    void classes_data();
    void classes();
    void languageErrors_data();
    void languageErrors();
    void languageForms_data();
    void languageForms();
    void regExp_data();
    void regExp();
    void regExpErrors_data();
    void regExpErrors();
    void builtinValues_data();
    void builtinValues();
    void builtinArgumentErrors_data();
    void builtinArgumentErrors();
    void classInstancesAndTheHost();
    void declarationsAnywhere_data();
    void declarationsAnywhere();
    void typesAsTheLanguage_data();
    void typesAsTheLanguage();
    void errorNumbersAsTheLanguage_data();
    void errorNumbersAsTheLanguage();
    void resumeNextIntoBlocks_data();
    void resumeNextIntoBlocks();
    void rndSequence_data();
    void rndSequence();
    void compileErrorDetails_data();
    void compileErrorDetails();

private:
    std::unique_ptr<ScriptEngine> m_engine;
    std::shared_ptr<Bag> m_bag;
    std::unique_ptr<FakeWindow> m_window;
};

void TstScript::init()
{
    m_engine = std::make_unique<ScriptEngine>();
    m_bag = std::make_shared<Bag>();
    m_bag->props.insert(QStringLiteral("name"), ScriptValue("布料"));
    m_bag->props.insert(QStringLiteral("qty"), ScriptValue::integer(12));
    m_window = std::make_unique<FakeWindow>();
    m_window->setObjectName(QStringLiteral("mmss40B"));
    auto *child = new FakeWindow(m_window.get());
    child->setObjectName(QStringLiteral("Inv_No"));
    child->m_caption = QStringLiteral("MI-001");
}

// ---- expressions ----

void TstScript::expressions_data()
{
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");

    // precedence
    QTest::newRow("mul before add") << "1 + 2 * 3"
                                    << "Integer"
                                    << "7";
    QTest::newRow("negation before power") << "-2 ^ 2"
                                           << "Double"
                                           << "4";
    QTest::newRow("power is left associative") << "2 ^ 3 ^ 2"
                                               << "Double"
                                               << "64";
    QTest::newRow("negative exponent") << "2 ^ -1"
                                       << "Double"
                                       << "0.5";
    QTest::newRow("intdiv before mod") << "7 Mod 5 \\ 2"
                                       << "Integer"
                                       << "1";
    QTest::newRow("mul before intdiv") << "10 \\ 2 * 3"
                                       << "Integer"
                                       << "1";
    QTest::newRow("concat after add") << "1 + 2 & 3"
                                      << "String"
                                      << "33";
    QTest::newRow("comparison after concat") << "\"a\" & \"b\" = \"ab\""
                                             << "Boolean"
                                             << "True";
    QTest::newRow("not after comparison") << "Not 1 = 2"
                                          << "Boolean"
                                          << "True";
    QTest::newRow("and before or") << "True Or False And False"
                                   << "Boolean"
                                   << "True";
    QTest::newRow("parentheses") << "(1 + 2) * 3"
                                 << "Integer"
                                 << "9";
    // arithmetic types
    QTest::newRow("integer overflows to long") << "32767 + 1"
                                               << "Long"
                                               << "32768";
    QTest::newRow("long overflows to double") << "2147483647 + 1"
                                              << "Double"
                                              << "2147483648";
    QTest::newRow("division is double") << "7 / 2"
                                        << "Double"
                                        << "3.5";
    QTest::newRow("intdiv rounds operands to even") << "7.5 \\ 2"
                                                    << "Long"
                                                    << "4";
    QTest::newRow("mod keeps dividend sign") << "-7 Mod 3"
                                             << "Integer"
                                             << "-1";
    QTest::newRow("double text") << "0.1 + 0.2"
                                 << "Double"
                                 << "0.3";
    QTest::newRow("fifteen significant digits") << "CStr(1 / 3)"
                                                << "String"
                                                << "0.333333333333333";
    QTest::newRow("small double uses exponent") << "CStr(0.00001)"
                                                << "String"
                                                << "1E-05";
    QTest::newRow("int of numeric text") << "Int(\"3.7\")"
                                         << "Double"
                                         << "3";
    QTest::newRow("date in a text") << "\"d:\" & #2026-12-09# & \" \" & #08:05:00#"
                                    << "String"
                                    << "d:2026-12-09 08:05:00";
    QTest::newRow("large double uses exponent") << "1E+20 * 10"
                                                << "Double"
                                                << "1E+21";
    QTest::newRow("boolean in arithmetic") << "True + True"
                                           << "Integer"
                                           << "-2";
    QTest::newRow("empty is zero") << "Empty + 5"
                                   << "Integer"
                                   << "5";
    QTest::newRow("hex literal") << "&HFF + &H10"
                                 << "Integer"
                                 << "271";
    QTest::newRow("hex ffff is integer -1") << "&HFFFF"
                                            << "Integer"
                                            << "-1";
    // strings
    QTest::newRow("plus joins two texts") << "\"1\" + \"2\""
                                          << "String"
                                          << "12";
    QTest::newRow("plus adds text and number") << "\"1\" + 2"
                                               << "Double"
                                               << "3";
    QTest::newRow("ampersand converts numbers") << "1 & 2"
                                                << "String"
                                                << "12";
    QTest::newRow("ampersand drops null") << "\"a\" & Null"
                                          << "String"
                                          << "a";
    QTest::newRow("doubled quote") << "\"say \"\"hi\"\"\""
                                   << "String"
                                   << "say \"hi\"";
    QTest::newRow("chinese text") << "\"领料\" & \"单\""
                                  << "String"
                                  << "领料单";
    // comparisons
    QTest::newRow("number equals numeric text literal") << "10 = \"10\""
                                                        << "Boolean"
                                                        << "True";
    QTest::newRow("texts compare binary") << "\"a\" < \"B\""
                                          << "Boolean"
                                          << "False";
    QTest::newRow("empty equals empty text") << "Empty = \"\""
                                             << "Boolean"
                                             << "True";
    QTest::newRow("empty equals zero") << "Empty = 0"
                                       << "Boolean"
                                       << "True";
    QTest::newRow("null comparison is null") << "Null = Null"
                                             << "Null"
                                             << "Null";
    QTest::newRow("true is minus one") << "True = -1"
                                       << "Boolean"
                                       << "True";
    QTest::newRow("nothing is nothing") << "Nothing Is Nothing"
                                        << "Boolean"
                                        << "True";
    QTest::newRow("dates compare") << "#2026-12-09# > #2026-12-08#"
                                   << "Boolean"
                                   << "True";
    // logic
    QTest::newRow("and on integers is bitwise") << "12 And 10"
                                                << "Integer"
                                                << "8";
    QTest::newRow("or on integers") << "12 Or 3"
                                    << "Integer"
                                    << "15";
    QTest::newRow("xor") << "True Xor True"
                         << "Boolean"
                         << "False";
    QTest::newRow("not integer") << "Not 0"
                                 << "Integer"
                                 << "-1";
    QTest::newRow("eqv") << "False Eqv False"
                         << "Boolean"
                         << "True";
    QTest::newRow("imp") << "True Imp False"
                         << "Boolean"
                         << "False";
    QTest::newRow("null and false") << "Null And False"
                                    << "Boolean"
                                    << "False";
    QTest::newRow("null or true") << "Null Or True"
                                  << "Boolean"
                                  << "True";
    QTest::newRow("null and true") << "Null And True"
                                   << "Null"
                                   << "Null";
    QTest::newRow("null plus number") << "Null + 1"
                                      << "Null"
                                      << "Null";
    // text functions
    QTest::newRow("len") << "Len(\"领料单\")"
                         << "Long"
                         << "3";
    QTest::newRow("len of number") << "Len(12.5)"
                                   << "Long"
                                   << "4";
    QTest::newRow("left right mid") << "Left(\"abcdef\", 2) & Right(\"abcdef\", 2) & Mid(\"abcdef\", 3, 2)"
                                    << "String"
                                    << "abefcd";
    QTest::newRow("mid to end") << "Mid(\"abcdef\", 4)"
                                << "String"
                                << "def";
    QTest::newRow("left longer than text") << "Left(\"ab\", 5)"
                                           << "String"
                                           << "ab";
    QTest::newRow("instr") << "InStr(\"abcabc\", \"c\")"
                           << "Long"
                           << "3";
    QTest::newRow("instr with start") << "InStr(4, \"abcabc\", \"c\")"
                                      << "Long"
                                      << "6";
    QTest::newRow("instr text compare") << "InStr(1, \"ABC\", \"b\", 1)"
                                        << "Long"
                                        << "2";
    QTest::newRow("instr missing") << "InStr(\"abc\", \"z\")"
                                   << "Long"
                                   << "0";
    QTest::newRow("instrrev") << "InStrRev(\"a.b.c\", \".\")"
                              << "Long"
                              << "4";
    QTest::newRow("replace") << "Replace(\"a-b-c\", \"-\", \"+\")"
                             << "String"
                             << "a+b+c";
    QTest::newRow("replace with count") << "Replace(\"a-b-c\", \"-\", \"\", 1, 1)"
                                        << "String"
                                        << "ab-c";
    QTest::newRow("replace from start drops the front") << "Replace(\"a-b-c\", \"-\", \"\", 3)"
                                                        << "String"
                                                        << "bc";
    QTest::newRow("replace quote for sql") << "Replace(\"O'Neil\", \"'\", \"''\")"
                                           << "String"
                                           << "O''Neil";
    QTest::newRow("trim functions") << "\"[\" & Trim(\"  a  \") & LTrim(\" b \") & RTrim(\" c \") & \"]\""
                                    << "String"
                                    << "[ab  c]";
    QTest::newRow("trim keeps tabs") << "Len(Trim(vbTab & \"x\"))"
                                     << "Long"
                                     << "2";
    QTest::newRow("case") << "UCase(\"aB\") & LCase(\"Cd\")"
                          << "String"
                          << "ABcd";
    QTest::newRow("space and string") << "Space(2) & String(3, \"xy\") & String(2, 65)"
                                      << "String"
                                      << "  xxxAA";
    QTest::newRow("split and join") << "Join(Split(\"a,b,,c\", \",\"), \"|\")"
                                    << "String"
                                    << "a|b||c";
    QTest::newRow("split with count") << "Join(Split(\"a b c\", \" \", 2), \"|\")"
                                      << "String"
                                      << "a|b c";
    QTest::newRow("split of empty text") << "UBound(Split(\"\"))"
                                         << "Long"
                                         << "-1";
    QTest::newRow("strcomp") << "StrComp(\"a\", \"A\", 1) & StrComp(\"a\", \"b\")"
                             << "String"
                             << "0-1";
    QTest::newRow("chr asc") << "Chr(65) & Asc(\"a\") & ChrW(39046) & AscW(\"领\")"
                             << "String"
                             << "A97领-26490";
    QTest::newRow("strreverse") << "StrReverse(\"abc\")"
                                << "String"
                                << "cba";
    QTest::newRow("instrrev from a start") << "InStrRev(\"a.b.c\", \".\", 3)"
                                           << "Long"
                                           << "2";
    QTest::newRow("instr of empty search") << "InStr(2, \"abc\", \"\")"
                                           << "Long"
                                           << "2";
    QTest::newRow("replace ignoring case") << "Replace(\"aXbx\", \"x\", \"-\", 1, -1, vbTextCompare)"
                                           << "String"
                                           << "a-b-";
    QTest::newRow("split on a word") << "Join(Split(\"a and b and c\", \" and \"), \"+\")"
                                     << "String"
                                     << "a+b+c";
    QTest::newRow("hex of a negative long") << "Hex(-65536)"
                                            << "String"
                                            << "FFFF0000";
    QTest::newRow("formatnumber parentheses") << "FormatNumber(-5, 1, , -1)"
                                              << "String"
                                              << "(5.0)";
    QTest::newRow("datediff weeks") << "DateDiff(\"ww\", #2026-12-05#, #2026-12-13#)"
                                    << "Long"
                                    << "2";
    QTest::newRow("hex oct") << "Hex(255) & \" \" & Hex(-1) & \" \" & Oct(8)"
                             << "String"
                             << "FF FFFF 10";
    // arrays
    QTest::newRow("array ubound") << "UBound(Array(1, 2, 3))"
                                  << "Long"
                                  << "2";
    QTest::newRow("array lbound") << "LBound(Array(1))"
                                  << "Long"
                                  << "0";
    QTest::newRow("array element") << "Array(\"x\", \"y\")(1)"
                                   << "String"
                                   << "y";
    QTest::newRow("isarray") << "IsArray(Array()) & IsArray(\"a\")"
                             << "String"
                             << "TrueFalse";
    QTest::newRow("filter") << "Join(Filter(Array(\"ab\", \"cd\", \"ab2\"), \"ab\"), \",\")"
                            << "String"
                            << "ab,ab2";
    // inspection and conversion
    QTest::newRow("isempty isnull") << "IsEmpty(Empty) & IsNull(Null) & IsEmpty(\"\")"
                                    << "String"
                                    << "TrueTrueFalse";
    QTest::newRow("isnumeric") << "IsNumeric(\"12.5\") & IsNumeric(\" 3 \") & IsNumeric(\"1a\") & IsNumeric(\"\")"
                               << "String"
                               << "TrueTrueFalseFalse";
    QTest::newRow("isdate") << "IsDate(\"2026-12-09\") & IsDate(\"2026-02-30\") & IsDate(\"x\")"
                            << "String"
                            << "TrueFalseFalse";
    QTest::newRow("isobject") << "IsObject(Nothing) & IsObject(1)"
                              << "String"
                              << "TrueFalse";
    QTest::newRow("cstr of boolean") << "CStr(True)"
                                     << "String"
                                     << "True";
    QTest::newRow("cint rounds half to even") << "CInt(2.5) & CInt(3.5) & CInt(\"-1.5\")"
                                              << "String"
                                              << "24-2";
    QTest::newRow("clng") << "CLng(\"123456\")"
                          << "Long"
                          << "123456";
    QTest::newRow("cdbl") << "CDbl(\"1.25\")"
                          << "Double"
                          << "1.25";
    QTest::newRow("cbool") << "CBool(\"false\") & CBool(2) & CBool(0)"
                           << "String"
                           << "FalseTrueFalse";
    QTest::newRow("ccur rounds to 4 places") << "CCur(1.23456)"
                                             << "Currency"
                                             << "1.2346";
    QTest::newRow("int floors fix truncates") << "Int(-1.5) & \" \" & Fix(-1.5) & \" \" & Int(1.5)"
                                              << "String"
                                              << "-2 -1 1";
    QTest::newRow("abs sgn") << "Abs(-3) & Sgn(-2) & Sgn(0)"
                             << "String"
                             << "3-10";
    QTest::newRow("round half to even") << "Round(2.5) & \" \" & Round(1.25, 1) & \" \" & Round(2.675, 2)"
                                        << "String"
                                        << "2 1.2 2.68";
    QTest::newRow("typename") << "TypeName(1) & TypeName(\"\") & TypeName(Empty) & TypeName(Null) & TypeName(Nothing)"
                              << "String"
                              << "IntegerStringEmptyNullNothing";
    QTest::newRow("typename of array") << "TypeName(Array())"
                                       << "String"
                                       << "Variant()";
    QTest::newRow("vartype") << "VarType(\"a\") & VarType(1.5) & VarType(Array())"
                             << "String"
                             << "858204";
    QTest::newRow("formatnumber") << "FormatNumber(1234567.891)"
                                  << "String"
                                  << "1,234,567.89";
    QTest::newRow("formatnumber digits no grouping") << "FormatNumber(-1234.5, 0, , , 0)"
                                                     << "String"
                                                     << "-1234";
    QTest::newRow("formatnumber leading digit") << "FormatNumber(0.5, 1, 0)"
                                                << "String"
                                                << ".5";
    QTest::newRow("formatpercent") << "FormatPercent(0.125, 1)"
                                   << "String"
                                   << "12.5%";
    // dates
    QTest::newRow("date literal") << "#2026-12-09#"
                                  << "Date"
                                  << "2026-12-09";
    QTest::newRow("date literal with time") << "#12/9/2026 2:05:00 PM#"
                                            << "Date"
                                            << "2026-12-09 14:05:00";
    QTest::newRow("cdate") << "CDate(\"2026-12-09 08:30:00\")"
                           << "Date"
                           << "2026-12-09 08:30:00";
    QTest::newRow("date parts")
        << "Year(#2026-12-09 08:30:15#) & Month(#2026-12-09#) & Day(#2026-12-09#) & "
           "Hour(#2026-12-09 08:30:15#) & Minute(#2026-12-09 08:30:15#) & Second(#2026-12-09 08:30:15#)"
        << "String"
        << "202612983015";
    QTest::newRow("date plus days") << "#2026-12-31# + 1"
                                    << "Date"
                                    << "2027-01-01";
    QTest::newRow("date minus date") << "#2026-12-31# - #2026-12-01#"
                                     << "Double"
                                     << "30";
    QTest::newRow("dateadd month clamps day") << "DateAdd(\"m\", 1, #2026-01-31#)"
                                              << "Date"
                                              << "2026-02-28";
    QTest::newRow("dateadd hours") << "DateAdd(\"h\", 25, #2026-12-09#)"
                                   << "Date"
                                   << "2026-12-10 01:00:00";
    QTest::newRow("dateadd negative days") << "DateAdd(\"d\", -9, #2026-12-09#)"
                                           << "Date"
                                           << "2026-11-30";
    QTest::newRow("datediff days") << "DateDiff(\"d\", #2026-12-01 23:00#, #2026-12-03 01:00#)"
                                   << "Long"
                                   << "2";
    QTest::newRow("datediff months") << "DateDiff(\"m\", #2026-01-31#, #2026-03-01#)"
                                     << "Long"
                                     << "2";
    QTest::newRow("datediff years") << "DateDiff(\"yyyy\", #2025-12-31#, #2026-01-01#)"
                                    << "Long"
                                    << "1";
    QTest::newRow("datediff minutes") << "DateDiff(\"n\", #2026-12-09 08:00#, #2026-12-09 09:30#)"
                                      << "Long"
                                      << "90";
    QTest::newRow("dateserial rolls over") << "DateSerial(2026, 13, 0)"
                                           << "Date"
                                           << "2026-12-31";
    QTest::newRow("weekday") << "Weekday(#2026-12-09#) & Weekday(#2026-12-09#, vbMonday)"
                             << "String"
                             << "43";
    QTest::newRow("formatdatetime") << "FormatDateTime(#2026-12-09 08:30:00#, vbShortDate) & \" \" & "
                                       "FormatDateTime(#2026-12-09 08:30:00#, vbShortTime)"
                                    << "String"
                                    << "2026-12-09 08:30";
    QTest::newRow("monthname") << "MonthName(12)"
                               << "String"
                               << "December";
    QTest::newRow("now is today") << "DateValue(Now) = Date"
                                  << "Boolean"
                                  << "True";
    QTest::newRow("time has no date part") << "Int(CDbl(Time))"
                                           << "Double"
                                           << "0";
    // constants
    QTest::newRow("line break constants") << "Len(vbCrLf) & Asc(vbCr) & Asc(vbLf) & Asc(vbTab) & Len(vbNullString)"
                                          << "String"
                                          << "2131090";
    QTest::newRow("names ignore case") << "LEN(\"ab\") + len(\"c\")"
                                       << "Long"
                                       << "3";
}

void TstScript::expressions()
{
    QFETCH(QString, expr);
    QFETCH(QString, type);
    QFETCH(QString, text);
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY2(!m_engine->hasError(), qPrintable(m_engine->errorDescription()));
    QCOMPARE(v.typeName(), type);
    QCOMPARE(v.isNull() ? QStringLiteral("Null") : v.toString(), text);
}

void TstScript::expressionErrors_data()
{
    QTest::addColumn<QString>("expr");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("description");

    QTest::newRow("division by zero") << "1 / 0" << qint64(11) << "Division by zero";
    QTest::newRow("mod by zero") << "5 Mod 0" << qint64(11) << "Division by zero";
    QTest::newRow("zero by zero") << "0 / 0" << qint64(6) << "Overflow";
    QTest::newRow("text times number") << "\"abc\" * 2" << qint64(13) << "Type mismatch";
    QTest::newRow("cint overflow") << "CInt(40000)" << qint64(6) << "Overflow";
    QTest::newRow("mid from zero") << "Mid(\"abc\", 0)" << qint64(5) << "Invalid procedure call or argument";
    QTest::newRow("left negative") << "Left(\"abc\", -1)" << qint64(5) << "Invalid procedure call or argument";
    QTest::newRow("asc of empty") << "Asc(\"\")" << qint64(5) << "Invalid procedure call or argument";
    QTest::newRow("cstr of null") << "CStr(Null)" << qint64(94) << "Invalid use of Null";
    QTest::newRow("ubound of non-array") << "UBound(1)" << qint64(13) << "Type mismatch";
    QTest::newRow("subscript out of range") << "Array(1, 2)(2)" << qint64(9) << "Subscript out of range";
    QTest::newRow("unknown function") << "NoSuchThing(1)" << qint64(13) << "Type mismatch";
    QTest::newRow("wrong argument count")
        << "Len(\"a\", 2)" << qint64(450) << "Wrong number of arguments or invalid property assignment";
    QTest::newRow("is needs objects") << "1 Is 2" << qint64(424) << "Object required";
    QTest::newRow("member of a non-object") << "Array(1).Count" << qint64(424) << "Object required";
    QTest::newRow("err has no such member")
        << "Err.Nope" << qint64(438) << "Object doesn't support this property or method";
    QTest::newRow("dangling operator") << "1 +" << qint64(1023) << "Expected expression";
    QTest::newRow("trailing tokens") << "1 2" << qint64(1025) << "Expected end of statement";
    QTest::newRow("unterminated text") << "\"abc" << qint64(1033) << "Unterminated string constant";
    QTest::newRow("unclosed parenthesis") << "(1 + 2" << qint64(1006) << "Expected ')'";
    QTest::newRow("date beyond 9999") << "#9999-12-31# + 1" << qint64(6) << "Overflow";
    QTest::newRow("cdate of a huge number") << "Year(CDate(1E+300))" << qint64(6) << "Overflow";
    QTest::newRow("dateadd beyond the range")
        << "DateAdd(\"yyyy\", 100000, #2026-01-01#)" << qint64(5) << "Invalid procedure call or argument";
    QTest::newRow("createobject") << "CreateObject(\"Some.Thing\")" << qint64(429)
                                  << "ActiveX component can't create object";
}

void TstScript::expressionErrors()
{
    QFETCH(QString, expr);
    QFETCH(qint64, number);
    QFETCH(QString, description);
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY(v.isEmpty());
    QVERIFY(m_engine->hasError());
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), description);
}

// ---- statements ----

void TstScript::statements_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("if elseif else")
        << "x = 5\nIf x < 3 Then\n r = \"a\"\nElseIf x < 10 Then\n r = \"b\"\nElse\n r = \"c\"\nEnd If"
        << "b";
    QTest::newRow("statements after elseif and else on their line")
        << "x = 2\nIf x = 1 Then\n r = 1\nElseIf x = 2 Then r = \"two\"\nElse r = 3\nEnd If"
        << "two";
    QTest::newRow("else if opens a nested if") << "If False Then\n r = 1\nElse If True Then\n r = 2\n End If\nEnd If"
                                               << "2";
    QTest::newRow("if without match") << "r = \"z\"\nIf False Then\n r = \"a\"\nEnd If"
                                      << "z";
    QTest::newRow("null condition takes else") << "If Null Then\n r = 1\nElse\n r = 2\nEnd If"
                                               << "2";
    QTest::newRow("single-line if") << "If 1 = 1 Then r = \"yes\" Else r = \"no\""
                                    << "yes";
    QTest::newRow("single-line if else with colons") << "If 1 = 2 Then r = 1 : r = 2 Else r = 3 : r = r & 4"
                                                     << "34";
    QTest::newRow("single-line if then colons") << "r = 0 : If True Then r = r + 1 : r = r + 10"
                                                << "11";
    QTest::newRow("nested if")
        << "a = 1 : b = 2\nIf a = 1 Then\n If b = 3 Then\n  r = \"x\"\n Else\n  r = \"y\"\n End If\nEnd If"
        << "y";
    QTest::newRow("select value list")
        << "x = 4\nSelect Case x\nCase 1, 2\n r = \"low\"\nCase 3, 4, 5\n r = \"mid\"\nCase Else\n r = \"high\"\nEnd Select"
        << "mid";
    QTest::newRow("select range") << "Select Case 15\nCase 1 To 9\n r = 1\nCase 10 To 19\n r = 2\nEnd Select"
                                  << "2";
    QTest::newRow("select is") << "Select Case 50\nCase Is < 10\n r = 1\nCase Is >= 50\n r = 2\nEnd Select"
                               << "2";
    QTest::newRow("select else") << "Select Case \"q\"\nCase \"a\"\n r = 1\nCase Else\n r = 2\nEnd Select"
                                 << "2";
    QTest::newRow("select text is case sensitive")
        << "Select Case \"A\"\nCase \"a\"\n r = 1\nCase \"A\"\n r = 2\nEnd Select"
        << "2";
    QTest::newRow("select on null takes else") << "Select Case Null\nCase 1\n r = 1\nCase Else\n r = 2\nEnd Select"
                                               << "2";
    QTest::newRow("select text subject against number")
        << "s = \"10\"\nSelect Case s\nCase 10\n r = \"num\"\nCase Else\n r = \"else\"\nEnd Select"
        << "num";
    QTest::newRow("counter changed inside the loop") << "For i = 1 To 9\n r = r & i\n i = i + 1\nNext"
                                                     << "13579";
    QTest::newRow("select without match") << "r = 0\nSelect Case 3\nCase 1\n r = 1\nEnd Select"
                                          << "0";
    QTest::newRow("for") << "For i = 1 To 5\n r = r & i\nNext"
                         << "12345";
    QTest::newRow("for step down") << "For i = 10 To 1 Step -3\n r = r & i & \",\"\nNext"
                                   << "10,7,4,1,";
    QTest::newRow("for fractional step") << "For i = 0 To 1 Step 0.25\n n = n + 1\nNext\nr = n"
                                         << "5";
    QTest::newRow("for counter after loop") << "For i = 1 To 3\nNext\nr = i"
                                            << "4";
    QTest::newRow("for never entered") << "r = \"x\"\nFor i = 5 To 1\n r = \"y\"\nNext"
                                       << "x";
    QTest::newRow("for bounds evaluated once") << "n = 3\nFor i = 1 To n\n n = 10\n c = c + 1\nNext i\nr = c"
                                               << "3";
    QTest::newRow("exit for") << "For i = 1 To 10\n If i = 4 Then Exit For\n r = r & i\nNext"
                              << "123";
    QTest::newRow("exit inner for only")
        << "For i = 1 To 2\n For j = 1 To 5\n  If j = 2 Then Exit For\n  r = r & i & j\n Next\nNext"
        << "1121";
    QTest::newRow("for each array") << "For Each x In Array(\"a\", \"b\", \"c\")\n r = x & r\nNext"
                                    << "cba";
    QTest::newRow("for each split") << "For Each p In Split(\"1;2;3\", \";\")\n r = r + CInt(p)\nNext"
                                    << "6";
    QTest::newRow("do while") << "i = 0\nDo While i < 3\n i = i + 1\nLoop\nr = i"
                              << "3";
    QTest::newRow("do until") << "i = 0\nDo Until i >= 4\n i = i + 2\nLoop\nr = i"
                              << "4";
    QTest::newRow("loop while runs once") << "i = 10\nDo\n i = i + 1\nLoop While i < 5\nr = i"
                                          << "11";
    QTest::newRow("loop until") << "Do\n i = i + 1\nLoop Until i = 3\nr = i"
                                << "3";
    QTest::newRow("do exit do") << "Do\n i = i + 1\n If i = 7 Then Exit Do\nLoop\nr = i"
                                << "7";
    QTest::newRow("exit do inside for inside do")
        << "Do\n For i = 1 To 3\n  If i = 2 Then Exit Do\n Next\n r = \"not here\"\nLoop\nr = r & \"out\" & i"
        << "out2";
    QTest::newRow("while wend") << "While i < 4\n i = i + 1\nWend\nr = i"
                                << "4";
    QTest::newRow("dim array") << "Dim a(2)\na(0) = \"x\" : a(2) = \"z\"\nr = a(0) & a(1) & a(2) & UBound(a)"
                               << "xz2";
    QTest::newRow("two dimensions") << "Dim m(1, 2)\nm(1, 2) = 5 : m(0, 1) = 3\nr = m(1, 2) + m(0, 1) & UBound(m, 2)"
                                    << "82";
    QTest::newRow("redim preserve keeps items")
        << "Dim a()\nReDim a(1)\na(0) = 1 : a(1) = 2\nReDim Preserve a(3)\na(3) = 4\nr = Join(a, \",\")"
        << "1,2,,4";
    QTest::newRow("redim preserve shrinks")
        << "ReDim a(3)\na(0) = \"k\" : a(3) = \"x\"\nReDim Preserve a(0)\nr = UBound(a) & a(0)"
        << "0k";
    QTest::newRow("redim preserve last dimension")
        << "ReDim m(1, 1)\nm(1, 1) = 9\nReDim Preserve m(1, 3)\nr = m(1, 1) & UBound(m, 2)"
        << "93";
    QTest::newRow("redim clears") << "ReDim a(2)\na(1) = 5\nReDim a(2)\nr = IsEmpty(a(1))"
                                  << "True";
    QTest::newRow("arrays copy on assignment") << "a = Array(1, 2)\nb = a\nb(0) = 9\nr = a(0) & b(0)"
                                               << "19";
    QTest::newRow("erase dynamic array") << "ReDim a(2)\nErase a\nOn Error Resume Next\nx = UBound(a)\nr = Err.Number"
                                         << "9";
    QTest::newRow("const") << "Const Rate = 0.5, Title = \"T\"\nr = Title & 4 * Rate"
                           << "T2";
    QTest::newRow("comments and rem") << "' a comment\nr = 1 ' trailing\nRem r = 2\nr = r + 1 : Rem r = 5"
                                      << "2";
    QTest::newRow("line continuation") << "r = \"a\" & _\n    \"b\" & _\r\n \"c\""
                                       << "abc";
    QTest::newRow("colon separators") << "a = 1: b = 2: r = a + b"
                                      << "3";
    QTest::newRow("crlf line ends") << "x = 2\r\nIf x = 2 Then\r\n r = \"two\"\r\nEnd If\r\n"
                                    << "two";
    QTest::newRow("names ignore case") << "MyVar = 3\nr = myvar + MYVAR"
                                       << "6";
    QTest::newRow("keywords ignore case") << "IF 1 THEN\n R = \"ok\"\nEND IF"
                                          << "ok";
    QTest::newRow("option explicit with dim") << "Option Explicit\nDim r\nr = 1"
                                              << "1";
    QTest::newRow("number variable is less than text variable") << "a = 10 : b = \"9\"\nr = (a = b) & (a < b)"
                                                                << "FalseTrue";
    QTest::newRow("number variable against text literal") << "a = 10\nr = (a = \"10\") & (\"10\" = a)"
                                                          << "TrueTrue";
    QTest::newRow("text variable against number literal") << "a = \"10\"\nr = (a = 10) & (a > 9)"
                                                          << "TrueTrue";
    QTest::newRow("nested with")
        << "With Bag\n With .Items\n  r = .Count & (.Item(\"x\") = Empty)\n End With\n r = r & .Qty\nEnd With"
        << "3False12";
    QTest::newRow("with member as an argument") << "With Bag\n Bag.Log .Name\n r = Bag.Add(.Qty, 1)\nEnd With"
                                                << "13";
    QTest::newRow("parenthesised first of several arguments")
        << "Sub S(a, b)\n a = a + 1 : b = b + 1\nEnd Sub\nx = 1 : y = 1\nS (x), y\nr = x & y"
        << "12";
    QTest::newRow("with block on host object") << "With Bag\n .Qty = .Qty + 1\n r = .Name & .Qty\nEnd With"
                                               << "布料13";
    QTest::newRow("set and is") << "Set a = Bag\nSet b = a\nr = (a Is b) & (a Is Nothing)"
                                << "TrueFalse";
}

void TstScript::statements()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY(m_engine->addObject(QStringLiteral("Bag"), m_bag, false));
    QVERIFY2(m_engine->addCode(code),
             qPrintable(QStringLiteral("%1 (line %2)").arg(m_engine->errorDescription()).arg(m_engine->errorLine())));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::procedures_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("byref is the default") << "Sub Bump(n)\n n = n + 1\nEnd Sub\nx = 1\nBump x\nr = x"
                                          << "2";
    QTest::newRow("byval leaves the caller's variable")
        << "Sub Bump(ByVal n)\n n = n + 1\nEnd Sub\nx = 1\nBump x\nr = x"
        << "1";
    QTest::newRow("explicit byref") << "Sub Bump(ByRef n)\n n = n * 10\nEnd Sub\nx = 2\nCall Bump(x)\nr = x"
                                    << "20";
    QTest::newRow("parenthesised argument is byval") << "Sub Bump(n)\n n = n + 1\nEnd Sub\nx = 1\nBump (x)\nr = x"
                                                     << "1";
    QTest::newRow("expression argument") << "Sub Bump(n)\n n = n + 1\nEnd Sub\nx = 1\nBump x + 0\nr = x"
                                         << "1";
    QTest::newRow("byref array") << "Sub Fill(a)\n a(0) = \"set\"\nEnd Sub\nDim v(1)\nFill v\nr = v(0)"
                                 << "set";
    QTest::newRow("byref of a variable not used before") << "Sub Fill(a)\n a = \"filled\"\nEnd Sub\nFill v\nr = v"
                                                         << "filled";
    QTest::newRow("function result") << "Function Twice(n)\n Twice = n * 2\nEnd Function\nr = Twice(21)"
                                     << "42";
    QTest::newRow("function without assignment is empty") << "Function F()\nEnd Function\nr = TypeName(F())"
                                                          << "Empty";
    QTest::newRow("function called without parentheses")
        << "Function Hello\n Hello = \"hi\"\nEnd Function\nr = Hello & Hello()"
        << "hihi";
    QTest::newRow("function name reads its own result")
        << "Function Acc(n)\n Acc = 1\n Acc = Acc + n\nEnd Function\nr = Acc(5)"
        << "6";
    QTest::newRow("recursion")
        << "Function Fact(n)\n If n <= 1 Then\n  Fact = 1\n Else\n  Fact = n * Fact(n - 1)\n End If\nEnd Function\nr = Fact(10)"
        << "3628800";
    QTest::newRow("exit function")
        << "Function F(n)\n F = \"early\"\n If n > 0 Then Exit Function\n F = \"late\"\nEnd Function\nr = F(1) & F(0)"
        << "earlylate";
    QTest::newRow("exit sub") << "Dim r\nSub S()\n r = \"a\"\n Exit Sub\n r = \"b\"\nEnd Sub\nS"
                              << "a";
    QTest::newRow("exit for inside a function")
        << "Function F()\n For i = 1 To 9\n  If i = 3 Then Exit For\n Next\n F = i\nEnd Function\nr = F()"
        << "3";
    QTest::newRow("locals are private") << "Sub S()\n Dim x\n x = 5\nEnd Sub\nx = 1\nS\nr = x"
                                        << "1";
    QTest::newRow("undeclared in sub writes existing global") << "Sub S()\n g = g + 1\nEnd Sub\ng = 1\nS\nS\nr = g"
                                                              << "3";
    QTest::newRow("new name in sub is local") << "Sub S()\n fresh = 1\nEnd Sub\nS\nr = IsEmpty(fresh)"
                                              << "True";
    QTest::newRow("dim below its use is still local") << "x = 1\nSub S()\n x = 5\n Dim x\nEnd Sub\nS\nr = x"
                                                      << "1";
    QTest::newRow("dim below its use under option explicit") << "Option Explicit\nr = 2\nDim r"
                                                             << "2";
    QTest::newRow("procedure defined after use") << "r = Later()\nFunction Later()\n Later = \"ok\"\nEnd Function"
                                                 << "ok";
    QTest::newRow("multiple arguments") << "Function J(a, b, c)\n J = a & b & c\nEnd Function\nr = J(1, \"-\", 2)"
                                        << "1-2";
    QTest::newRow("sub with arguments without call") << "Dim r\nSub Put(a, b)\n r = a + b\nEnd Sub\nPut 2, 3"
                                                     << "5";
    QTest::newRow("call keyword") << "Dim r\nSub Put(a)\n r = a\nEnd Sub\nCall Put(\"c\")"
                                  << "c";
    QTest::newRow("public and private")
        << "Dim r\nPublic Function A()\n A = 1\nEnd Function\nPrivate Sub B()\n r = A() + 1\nEnd Sub\nB"
        << "2";
    QTest::newRow("local const") << "Function F()\n Const k = 3\n F = k * 2\nEnd Function\nr = F()"
                                 << "6";
    QTest::newRow("user function replaces builtin")
        << "Function Len(s)\n Len = \"mine\"\nEnd Function\nr = Len(\"abc\")"
        << "mine";
}

void TstScript::procedures()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

// ---- errors ----

void TstScript::runtimeErrors_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("line");

    QTest::newRow("division by zero") << "r = 1\nx = 0\ny = 5 / x\nr = 2" << qint64(11) << "Division by zero" << 3;
    QTest::newRow("type mismatch") << "r = 1\nx = \"a\" - 1" << qint64(13) << "Type mismatch" << 2;
    QTest::newRow("subscript") << "r = 1\nDim a(2)\na(3) = 1" << qint64(9) << "Subscript out of range" << 3;
    QTest::newRow("fixed array cannot be redimmed")
        << "r = 1\nDim a(2)\nReDim a(5)" << qint64(10) << "This array is fixed or temporarily locked" << 3;
    QTest::newRow("preserve cannot change first dimension")
        << "r = 1\nReDim m(1, 1)\nReDim Preserve m(2, 1)" << qint64(9) << "Subscript out of range" << 3;
    QTest::newRow("error inside procedure reports its line")
        << "r = 1\nSub S()\n x = 1\n y = x / 0\nEnd Sub\nS" << qint64(11) << "Division by zero" << 4;
    QTest::newRow("wrong argument count to sub") << "r = 1\nSub S(a)\nEnd Sub\nS 1, 2" << qint64(450)
                                                 << "Wrong number of arguments or invalid property assignment" << 4;
    QTest::newRow("undefined with option explicit")
        << "Option Explicit\nDim r\nr = 1\nx = 5" << qint64(500) << "Variable is undefined" << 4;
    QTest::newRow("assigning to a const") << "r = 1\nConst K = 1\nK = 2" << qint64(501) << "Illegal assignment" << 3;
    QTest::newRow("set needs an object") << "r = 1\nSet x = 5" << qint64(424) << "Object required" << 2;
    QTest::newRow("member of non-object") << "r = 1\nx = 5\ny = x.Value" << qint64(424) << "Object required" << 3;
    QTest::newRow("for each over a number")
        << "r = 1\nFor Each v In 5\nNext" << qint64(451) << "Object not a collection" << 2;
    QTest::newRow("err raise with text") << "r = 1\nErr.Raise 1000, \"Mine\", \"custom failure\"" << qint64(1000)
                                         << "custom failure" << 2;
    QTest::newRow("err raise known number") << "r = 1\nErr.Raise 13" << qint64(13) << "Type mismatch" << 2;
    QTest::newRow("indexing a plain value") << "r = 1\nx = 5\nx(1) = 2" << qint64(13) << "Type mismatch" << 3;
    QTest::newRow("null in cint") << "r = 1\nx = CInt(Null)" << qint64(94) << "Invalid use of Null" << 2;
    QTest::newRow("array in concatenation") << "r = 1\nx = Array(1) & \"a\"" << qint64(13) << "Type mismatch" << 2;
}

void TstScript::runtimeErrors()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(QString, description);
    QFETCH(int, line);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), description);
    QCOMPARE(m_engine->errorLine(), line);
    // The statements before the failure ran and their effects stay.
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), QStringLiteral("1"));
}

void TstScript::syntaxErrors_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<int>("line");

    QTest::newRow("if without end if") << "r = 1\nIf r Then\n r = 2\n" << qint64(1014) << 4;
    QTest::newRow("if without then") << "r = 1\nIf r\n r = 2\nEnd If" << qint64(1017) << 2;
    QTest::newRow("for without next") << "r = 1\nFor i = 1 To 2\n r = 2" << qint64(1020) << 3;
    QTest::newRow("for without to") << "r = 1\nFor i = 1\nNext" << qint64(1013) << 2;
    QTest::newRow("loop without do") << "r = 1\nLoop" << qint64(1038) << 2;
    QTest::newRow("next without for") << "r = 1\nNext" << qint64(1055) << 2;
    QTest::newRow("while without wend") << "r = 1\nWhile r\n" << qint64(1018) << 3;
    QTest::newRow("end sub missing") << "r = 1\nSub S()\n r = 2\n" << qint64(1014) << 4;
    QTest::newRow("end function for a sub") << "r = 1\nSub S()\nEnd Function" << qint64(1016) << 3;
    QTest::newRow("exit for outside a loop") << "r = 1\nExit For" << qint64(1039) << 2;
    QTest::newRow("exit sub at top level") << "r = 1\nExit Sub" << qint64(1039) << 2;
    QTest::newRow("unterminated string") << "r = 1\nx = \"abc\nr = 2" << qint64(1033) << 2;
    QTest::newRow("missing expression") << "r = 1\nx = \nr = 2" << qint64(1023) << 2;
    QTest::newRow("two statements on a line") << "r = 1\nx = 1 y = 2" << qint64(1025) << 2;
    QTest::newRow("expected statement") << "r = 1\n) = 1" << qint64(1024) << 2;
    QTest::newRow("invalid character") << "r = 1\nx = 1 ? 2" << qint64(1032) << 2;
    QTest::newRow("name redefined") << "r = 1\nDim a\nDim a" << qint64(1041) << 3;
    QTest::newRow("select without case") << "r = 1\nSelect r\nEnd Select" << qint64(1021) << 2;
    QTest::newRow("error after continuation") << "r = 1 + _\n 2 +\nr = 3" << qint64(1023) << 2;
    QTest::newRow("nested sub") << "Sub A()\n Sub B()\n End Sub\nEnd Sub" << qint64(1024) << 2;
    QTest::newRow("bad date literal") << "r = #2026-13-45#" << qint64(1002) << 1;
    QTest::newRow("too deeply nested") << "r = " + QString(300, QLatin1Char('(')) + "1" + QString(300, QLatin1Char(')'))
                                       << qint64(28) << 1;
}

void TstScript::syntaxErrors()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(int, line);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorLine(), line);
    QCOMPARE(m_engine->errorSource(), QStringLiteral("Microsoft VBScript compilation error"));
    // The detail names the line, the error and where it was found.
    const QString head = QStringLiteral("line %1: %2 ").arg(line).arg(m_engine->errorDescription());
    QVERIFY2(m_engine->errorDetail().startsWith(head) && m_engine->errorDetail().size() > head.size(),
             qPrintable(m_engine->errorDetail()));
    // A text that does not compile runs nothing.
    QVERIFY(!m_engine->hasGlobal(QStringLiteral("r")));
}

void TstScript::onErrorResumeNext_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("continues with the next statement")
        << "On Error Resume Next\nx = 1 / 0\nr = \"after \" & Err.Number & \" \" & Err.Description"
        << "after 11 Division by zero";
    QTest::newRow("err source") << "On Error Resume Next\nx = 1 / 0\nr = Err.Source"
                                << "Microsoft VBScript runtime error";
    QTest::newRow("err is number by default")
        << "On Error Resume Next\nx = CInt(\"z\")\nIf Err Then r = \"failed \" & Err"
        << "failed 13";
    QTest::newRow("clear")
        << "On Error Resume Next\nx = 1 / 0\nErr.Clear\nr = Err.Number & \"[\" & Err.Description & \"]\""
        << "0[]";
    QTest::newRow("raise with source and description")
        << "On Error Resume Next\nErr.Raise vbObjectError + 7, \"Report\", \"no rows\"\nr = (Err.Number - vbObjectError) & Err.Source & Err.Description"
        << "7Reportno rows";
    QTest::newRow("error in called sub resumes in the caller")
        << "Dim r\nSub S()\n r = r & \"a\"\n x = 1 / 0\n r = r & \"b\"\nEnd Sub\nOn Error Resume Next\nS\nr = r & \"c\" & Err.Number"
        << "ac11";
    QTest::newRow("handler inside the sub")
        << "Dim r\nSub S()\n On Error Resume Next\n x = 1 / 0\n r = \"inner \" & Err.Number\nEnd Sub\nS"
        << "inner 11";
    QTest::newRow("error inside a loop body continues the loop")
        << "On Error Resume Next\nFor i = -1 To 1\n r = r & (1 \\ i) & \",\"\nNext"
        << "-1,1,";
    QTest::newRow("on error goto 0 clears err") << "On Error Resume Next\nx = 1 / 0\nOn Error GoTo 0\nr = Err.Number"
                                                << "0";
    QTest::newRow("host failure reaches err")
        << "On Error Resume Next\nBag.Fail\nr = Err.Number & \" \" & Err.Description & \" \" & Err.Source"
        << "-2147217900 statement refused Db";
    QTest::newRow("database failure reaches err")
        << "On Error Resume Next\nBag.DbFail\nr = Err.Number & \" \" & Err.Description & \" \" & Err.Source"
        << "-2147217900 Invalid object name 'mmst999'. Gateway";
    QTest::newRow("err number can be set") << "Err.Number = 5\nr = Err.Number"
                                           << "5";
}

void TstScript::onErrorResumeNext()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY(m_engine->addObject(QStringLiteral("Bag"), m_bag, false));
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QVERIFY(!m_engine->hasError());
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::limitsEndTheScriptNotTheProcess_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");

    QTest::newRow("endless recursion") << "Function F(n)\n F = F(n + 1)\nEnd Function\nx = F(1)" << qint64(28);
    QTest::newRow("mutual recursion") << "Sub A()\n B\nEnd Sub\nSub B()\n A\nEnd Sub\nA" << qint64(28);
    QTest::newRow("recursion through nested blocks")
        << "Function F(n)\n Select Case n Mod 2\n Case 0\n  For i = 1 To 1\n   If True Then\n    Do\n     F = F(n + 1) & \"\"\n     Exit Do\n    Loop\n   End If\n  Next\n Case Else\n  While True\n   F = Len(Mid(F(n + 1), 1))\n  Wend\n End Select\nEnd Function\nx = F(0)"
        << qint64(28);
    QTest::newRow("doubling text") << "s = \"x\"\nDo\n s = s & s\nLoop" << qint64(7);
    QTest::newRow("huge space") << "s = Space(2000000000)" << qint64(7);
    QTest::newRow("huge array") << "ReDim a(100000, 100000)" << qint64(7);
    QTest::newRow("array size beyond 64 bits") << "ReDim a(2147483647, 2147483647, 2147483647)" << qint64(7);
}

void TstScript::limitsEndTheScriptNotTheProcess()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    // The engine is still usable afterwards.
    QCOMPARE(m_engine->eval(QStringLiteral("1 + 1")).toString(), QStringLiteral("2"));
}

void TstScript::timeLimitStopsRunawayLoop()
{
    m_engine->setTimeLimit(200);
    QElapsedTimer t;
    t.start();
    QVERIFY(!m_engine->addCode(QStringLiteral("On Error Resume Next\nDo\n i = i + 1\nLoop\nr = \"never\"")));
    QCOMPARE(m_engine->errorNumber(), ScriptErrorNumber::Aborted);
    QVERIFY(t.elapsed() < 5000);
    QVERIFY(m_engine->global(QStringLiteral("i")).toLong() > 0);
    QVERIFY(!m_engine->hasGlobal(QStringLiteral("r")));
}

// Every cut and every one-character damage of a script that uses most of the
// grammar either runs or fails with an error number and a line.
void TstScript::damagedTextsFailCleanly()
{
    const QString code =
        kPrelude +
        QStringLiteral(
            "Option Explicit\n"
            "Dim a(3), i, s, t, W_SQL : ReDim b(1)\n"
            "Const K = \"x\"\n"
            "Function F(ByVal n, ByRef m)\n"
            " On Error Resume Next\n"
            " Select Case n\n Case 1, 2 : F = \"lo\"\n Case 3 To 5 : F = \"mid\"\n Case Is > 9 : F = 1 / 0\n Case Else : F = Err.Number\n End Select\n"
            " m = m & F\n"
            "End Function\n"
            "For i = 0 To 3 Step 1 : a(i) = F(i, s) : Next\n"
            "For Each t In a\n If IsNumeric(t) Then s = s & \"#\" Else s = s & Left(t, 1)\nNext\n"
            "Do While Len(s) < 40 : s = s & _\n  K : Loop\n"
            "While i > 0 : i = i - 1 : Wend\n"
            "With Bag\n .Qty = .Qty + iif(Trim(\" y \") = \"y\", 1, 0)\nEnd With\n"
            "If s <> \"\" Then\n W_SQL = \"SELECT '\" & Replace(s, \"'\", \"''\") & \"'\"\nElseIf i Then\n Err.Raise 5\nEnd If\n");
    QVERIFY2(m_engine->addObject(QStringLiteral("Bag"), m_bag, false) && m_engine->addCode(code),
             qPrintable(m_engine->errorDescription()));

    int failures = 0;
    const auto check = [&](const QString &text) {
        ScriptEngine engine;
        engine.setTimeLimit(2000);
        engine.addObject(QStringLiteral("Bag"), std::make_shared<Bag>(), false);
        if (engine.addCode(text))
            return;
        ++failures;
        QVERIFY2(engine.errorNumber() != 0 && !engine.errorDescription().isEmpty(), qPrintable(text));
        const qsizetype lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))).size();
        QVERIFY2(engine.errorLine() >= 1 && engine.errorLine() <= lines,
                 qPrintable(QStringLiteral("line %1 of %2: %3").arg(engine.errorLine()).arg(lines).arg(text)));
    };
    for (qsizetype cut = 0; cut < code.size(); cut += 3)
        check(code.left(cut));
    const QString noise = QStringLiteral("\"()#&._:'\n=<>,x1 ");
    for (qsizetype at = 0; at < code.size(); at += 2)
        check(QString(code).replace(at, 1, noise.at(at % noise.size())));
    QVERIFY(failures > 100);
}

// ---- host objects ----

void TstScript::hostObjects_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("property by object name") << "r = Bag.Name & Bag.Qty"
                                             << "布料12";
    QTest::newRow("member names ignore case") << "r = BAG.name"
                                              << "布料";
    QTest::newRow("global member property") << "r = Name"
                                            << "布料";
    QTest::newRow("global member method") << "r = Add(2, 3)"
                                          << "5";
    QTest::newRow("method statement without parentheses") << "Bag.Log \"x\", 1\nr = \"done\""
                                                          << "done";
    QTest::newRow("setting a property") << "Bag.Qty = 20\nr = Bag.Qty"
                                        << "20";
    QTest::newRow("setting a global member property") << "Qty = Qty + 1\nr = Bag.Qty"
                                                      << "13";
    QTest::newRow("collection default member") << "Set l = Bag.Items\nr = l(5) & l.Count"
                                               << "item53";
    QTest::newRow("writing the default member") << "Set l = Bag.Items\nl(\"Qty\") = 5\nr = l.Written"
                                                << "Qty=5";
    QTest::newRow("for each over a collection") << "For Each it In Bag.Items()\n r = r & it\nNext"
                                                << "abc";
    QTest::newRow("local variable shadows a member")
        << "Dim r\nSub S()\n Dim Name\n Name = \"local\"\n r = Name & Bag.Name\nEnd Sub\nS"
        << "local布料";
    QTest::newRow("unknown member") << "On Error Resume Next\nx = Bag.Missing\nr = Err.Number & \" \" & Err.Description"
                                    << "438 Object doesn't support this property or method";
    QTest::newRow("host object typename") << "r = TypeName(Bag)"
                                          << "Bag";
}

void TstScript::hostObjects()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY(m_engine->addObject(QStringLiteral("Bag"), m_bag, true));
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::hostObjectRegistration()
{
    QVERIFY(!m_engine->addObject(QString(), m_bag, true));
    QCOMPARE(m_engine->errorNumber(), ScriptErrorNumber::InvalidArgument);
    QVERIFY(!m_engine->addObject(QStringLiteral("Nobody"), nullptr, true));
    QCOMPARE(m_engine->errorNumber(), ScriptErrorNumber::InvalidArgument);

    m_engine->clearError();
    QVERIFY(m_engine->addObject(QStringLiteral("Ado"), m_bag, true));
    QVERIFY(!m_engine->addObject(QStringLiteral("ADO"), m_bag, true));
    QCOMPARE(m_engine->errorNumber(), ScriptErrorNumber::NameRedefined);

    // Without members the names are reachable only through the object.
    m_engine->reset();
    QVERIFY(!m_engine->hasError());
    QVERIFY(m_engine->addObject(QStringLiteral("Ado"), m_bag, false));
    QVERIFY(m_engine->eval(QStringLiteral("Qty")).isEmpty());
    QCOMPARE(m_engine->eval(QStringLiteral("Ado.Qty")).toString(), QStringLiteral("12"));
    QVERIFY(!m_engine->addCode(QStringLiteral("Ado = 1")));
    QCOMPARE(m_engine->errorNumber(), qint64(501));

    // A host object cannot reset the engine under the running script.
    m_engine->reset();
    m_bag->engine = m_engine.get();
    QVERIFY(m_engine->addObject(QStringLiteral("Ado"), m_bag, false));
    QVERIFY(
        m_engine->addCode(QStringLiteral("Function F()\n F = 1\nEnd Function\nrefused = Ado.Reset()\nafter = F()")));
    QCOMPARE(m_engine->global(QStringLiteral("refused")).toString(), QStringLiteral("True"));
    QCOMPARE(m_engine->global(QStringLiteral("after")).toString(), QStringLiteral("1"));
    QCOMPARE(m_engine->errorNumber(), qint64(5));
}

void TstScript::qobjectAdapter_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("caption");

    QTest::newRow("read properties") << "r = Win.Caption & Win.Count"
                                     << "生产领料单7"
                                     << "生产领料单";
    QTest::newRow("write a property") << "Win.Caption = \"new\"\nr = Win.Caption"
                                      << "new"
                                      << "new";
    QTest::newRow("invokable methods") << "r = Win.Add(2, 40) & \" \" & Win.Greet(\"x\")"
                                       << "42 hello x"
                                       << "生产领料单";
    QTest::newRow("variant parameter") << "r = Win.Echo(1.5) * 2"
                                       << "3"
                                       << "生产领料单";
    QTest::newRow("named child") << "r = Win.Inv_No.Caption"
                                 << "MI-001"
                                 << "生产领料单";
    QTest::newRow("child by global member") << "Inv_No.Caption = \"MI-9\"\nr = Win.inv_no.caption"
                                            << "MI-9"
                                            << "生产领料单";
    QTest::newRow("one object through two wrappers") << "r = Win.Inv_No Is Inv_No"
                                                     << "True"
                                                     << "生产领料单";
    QTest::newRow("name is the object name") << "r = Win.Name & \" \" & Inv_No.name"
                                             << "mmss40B Inv_No"
                                             << "生产领料单";
    QTest::newRow("QObject's own slots stay hidden")
        << "On Error Resume Next\nWin.deleteLater\nr = Err.Number & Win.Caption"
        << "438生产领料单"
        << "生产领料单";
    QTest::newRow("read-only property") << "On Error Resume Next\nWin.Count = 3\nr = Err.Number"
                                        << "501"
                                        << "生产领料单";
    QTest::newRow("wrong argument count") << "On Error Resume Next\nx = Win.Add(1)\nr = Err.Number"
                                          << "450"
                                          << "生产领料单";
    QTest::newRow("argument of the wrong type") << "On Error Resume Next\nx = Win.Add(\"a\", 1)\nr = Err.Number"
                                                << "13"
                                                << "生产领料单";
}

void TstScript::qobjectAdapter()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QFETCH(QString, caption);
    QVERIFY(m_engine->addObject(QStringLiteral("Win"), QObjectScriptObject::wrap(m_window.get()), true));
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
    QCOMPARE(m_window->m_caption, caption);
}

void TstScript::controlCollection_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("by name through this") << "r = this.Inv_No.Caption"
                                          << "MI-001";
    QTest::newRow("by name as a global") << "r = inv_no.Caption"
                                         << "MI-001";
    QTest::newRow("count and position") << "r = this.Count & this(0).Name & this.Item(1).Name"
                                        << "2Inv_NoRemark";
    QTest::newRow("item by name ignores case") << "r = this(\"REMARK\").Caption"
                                               << "生产领料单";
    QTest::newRow("for each") << "For Each c In this\n r = r & c.Name & \";\"\nNext"
                              << "Inv_No;Remark;";
    QTest::newRow("position out of range") << "On Error Resume Next\nSet c = this(5)\nr = Err.Number"
                                           << "9";
    QTest::newRow("unnamed objects are left out") << "r = TypeName(this) & this.Count"
                                                  << "Controls2";
}

void TstScript::controlCollection()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    new QObject(m_window.get()); // no name: not a control of the collection
    (new FakeWindow(m_window.get()))->setObjectName(QStringLiteral("Remark"));
    QVERIFY(m_engine->addObject(QStringLiteral("this"), std::make_shared<QObjectCollectionScriptObject>(m_window.get()),
                                true));
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::globalsAndErrorState()
{
    m_engine->setGlobal(QStringLiteral("Inv_No"), ScriptValue("MI-7"));
    QVERIFY(m_engine->addCode(QStringLiteral("W_SQL = \"where no='\" & inv_no & \"'\"")));
    QCOMPARE(m_engine->global(QStringLiteral("w_sql")).toString(), QStringLiteral("where no='MI-7'"));

    // Procedures and globals survive into later code and calls.
    QVERIFY(m_engine->addCode(QStringLiteral(
        "counter = 0\nFunction Tag(p)\n Tag = p & \"#\" & counter\n counter = counter + 1\nEnd Function")));
    QCOMPARE(m_engine->run(QStringLiteral("TAG"), {ScriptValue("a")}).toString(), QStringLiteral("a#0"));
    QCOMPARE(m_engine->eval(QStringLiteral("Tag(\"b\")")).toString(), QStringLiteral("b#1"));
    QVERIFY(m_engine->hasProcedure(QStringLiteral("tag")));

    // The error stays through later successful operations until cleared.
    QVERIFY(!m_engine->addCode(QStringLiteral("x = 1 / 0")));
    QVERIFY(m_engine->addCode(QStringLiteral("y = 1")));
    QCOMPARE(m_engine->errorNumber(), qint64(11));
    m_engine->run(QStringLiteral("Missing"));
    QCOMPARE(m_engine->errorNumber(), qint64(35));
    QVERIFY(m_engine->run(QStringLiteral("Tag"), {}).isEmpty());
    QCOMPARE(m_engine->errorNumber(), qint64(450));

    // Arguments of run() are copies: the procedure cannot change the host's values.
    QVERIFY(m_engine->addCode(QStringLiteral("last = 0\nSub Twice(v)\n v = v * 2\n last = v\nEnd Sub")));
    const QList<ScriptValue> args = {ScriptValue::integer(21)};
    QVERIFY(m_engine->run(QStringLiteral("Twice"), args).isEmpty());
    QCOMPARE(args.at(0).toString(), QStringLiteral("21"));
    QCOMPARE(m_engine->global(QStringLiteral("last")).toString(), QStringLiteral("42"));
    m_engine->clearError();
    QVERIFY(!m_engine->hasError());
    QCOMPARE(m_engine->errorDescription(), QString());

    m_engine->reset();
    QVERIFY(!m_engine->hasGlobal(QStringLiteral("W_SQL")));
    QVERIFY(!m_engine->hasProcedure(QStringLiteral("Tag")));
    QVERIFY(m_engine->eval(QStringLiteral("inv_no")).isEmpty());
}

void TstScript::dynamicCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("eval an expression") << "x = 4\nr = Eval(\"x * 2 + 1\")"
                                        << "9";
    QTest::newRow("eval compares with =") << "x = 4\nr = Eval(\"x = 4\")"
                                          << "True";
    QTest::newRow("execute assigns") << "Execute \"r = 1 + 1\""
                                     << "2";
    QTest::newRow("execute runs in the caller's scope")
        << "Dim r\nSub S()\n Dim v\n Execute \"v = 5\"\n r = v\nEnd Sub\nS"
        << "5";
    QTest::newRow("executeglobal defines procedures")
        << "ExecuteGlobal \"Function Sq(n)\" & vbCrLf & \"Sq = n * n\" & vbCrLf & \"End Function\"\nr = Sq(7)"
        << "49";
    QTest::newRow("syntax error in executed text") << "On Error Resume Next\nExecute \"If\"\nr = Err.Number"
                                                   << "1023";
}

void TstScript::dynamicCode()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::messageBox()
{
    QStringList asked;
    m_engine->setMessageBoxHandler([&](const QString &prompt, int buttons, const QString &title) {
        asked << QStringLiteral("%1|%2|%3").arg(prompt).arg(buttons).arg(title);
        return 6;
    });
    QVERIFY(m_engine->addCode(QStringLiteral(
        "If MsgBox(\"Delete?\", vbYesNo + vbQuestion, \"Report\") = vbYes Then r = \"yes\"\nMsgBox \"done\"")));
    QCOMPARE(asked, QStringList({QStringLiteral("Delete?|36|Report"), QStringLiteral("done|0|")}));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), QStringLiteral("yes"));
}

void TstScript::variantConversions_data()
{
    QTest::addColumn<QVariant>("variant");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");

    QTest::newRow("invalid is empty") << QVariant() << "Empty"
                                      << "";
    QTest::newRow("database null text") << QVariant(QMetaType::fromType<QString>()) << "Null"
                                        << "Null";
    QTest::newRow("database null number") << QVariant(QMetaType::fromType<int>()) << "Null"
                                          << "Null";
    QTest::newRow("empty text stays text") << QVariant(QString()) << "String"
                                           << "";
    QTest::newRow("small int") << QVariant(12) << "Integer"
                               << "12";
    QTest::newRow("int beyond 16 bits") << QVariant(70000) << "Long"
                                        << "70000";
    QTest::newRow("64-bit") << QVariant(qlonglong(5000000000)) << "Double"
                            << "5000000000";
    QTest::newRow("double") << QVariant(2.5) << "Double"
                            << "2.5";
    QTest::newRow("bool") << QVariant(true) << "Boolean"
                          << "True";
    QTest::newRow("date") << QVariant(QDate(2026, 12, 9)) << "Date"
                          << "2026-12-09";
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2026, 12, 9), QTime(8, 5, 3))) << "Date"
                                   << "2026-12-09 08:05:03";
    QTest::newRow("time") << QVariant(QTime(23, 59, 59)) << "Date"
                          << "23:59:59";
    QTest::newRow("list") << QVariant(QStringList({"a", "b"})) << "Variant()"
                          << "a,b";
}

void TstScript::variantConversions()
{
    QFETCH(QVariant, variant);
    QFETCH(QString, type);
    QFETCH(QString, text);
    m_engine->setGlobal(QStringLiteral("v"), ScriptValue::fromVariant(variant));
    QCOMPARE(m_engine->eval(QStringLiteral("TypeName(v)")).toString(), type);
    if (type == QLatin1String("Variant()"))
        QCOMPARE(m_engine->eval(QStringLiteral("Join(v, \",\")")).toString(), text);
    else if (type == QLatin1String("Null"))
        QVERIFY(m_engine->eval(QStringLiteral("IsNull(v)")).toBool());
    else
        QCOMPARE(m_engine->eval(QStringLiteral("CStr(v)")).toString(), text);
}

void TstScript::variantsToHost()
{
    QVERIFY(m_engine->addCode(QStringLiteral(
        "d = #2026-12-09 08:30:00#\nn = 3.25\ni = 7\nb = False\ns = \"布\"\nz = Null\na = Array(1, \"x\")\nSet o = Nothing")));
    QCOMPARE(m_engine->global("d").toVariant(), QVariant(QDateTime(QDate(2026, 12, 9), QTime(8, 30))));
    QCOMPARE(m_engine->global("n").toVariant(), QVariant(3.25));
    QCOMPARE(m_engine->global("i").toVariant(), QVariant(7));
    QCOMPARE(m_engine->global("b").toVariant(), QVariant(false));
    QCOMPARE(m_engine->global("s").toVariant(), QVariant(QStringLiteral("布")));
    QVERIFY(m_engine->global("z").toVariant().isNull());
    QCOMPARE(m_engine->global("a").toVariant(), QVariant(QVariantList({1, QStringLiteral("x")})));
    QVERIFY(!m_engine->global("o").toVariant().isValid());
    QVERIFY(!m_engine->global("never").toVariant().isValid());
}

// ---- the prelude and stored report scripts ----

void TstScript::prelude_data()
{
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("expected");

    QTest::newRow("iif true") << "iif(1 = 1, \"yes\", \"no\")"
                              << "yes";
    QTest::newRow("iif false") << "iif(1 = 2, \"yes\", \"no\")"
                               << "no";
    QTest::newRow("iif on a non-boolean true value") << "iif(1, \"yes\", \"no\")"
                                                     << "no";
    QTest::newRow("trim strips both ends") << "\"[\" & trim(\"  a b  \") & \"]\""
                                           << "[a b]";
    QTest::newRow("val keeps text") << "TypeName(val(\"12\")) & val(\"12\")"
                                    << "String12";
    QTest::newRow("change_strcode is identity") << "Change_StrCode(\"执行\")"
                                                << "执行";
    QTest::newRow("constants") << "vbmodal & vbChecked & vbunChecked"
                               << "110";
}

void TstScript::prelude()
{
    QFETCH(QString, expr);
    QFETCH(QString, expected);
    QVERIFY2(m_engine->addCode(kPrelude), qPrintable(m_engine->errorDescription()));
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY2(!m_engine->hasError(), qPrintable(m_engine->errorDescription()));
    QCOMPARE(v.toString(), expected);
}

void TstScript::reportScripts_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<bool>("viewPrice");

    for (const char *form : {"40B", "40C", "40D"}) {
        QTest::addRow("%s with prices", form) << QString::fromLatin1(form) << true;
        QTest::addRow("%s without prices", form) << QString::fromLatin1(form) << false;
    }
}

void TstScript::reportScripts()
{
    QFETCH(QString, form);
    QFETCH(bool, viewPrice);

    const Connection conn = TestDb::freshSqlite(true);
    QSqlQuery q(conn.database());
    q.prepare(QStringLiteral("SELECT report_sql FROM mmstc111 WHERE form_name = ? AND basic_sql_flag = 0"));
    q.addBindValue(form);
    QVERIFY(q.exec());
    QVERIFY(q.next());
    const QString script = q.value(0).toString().trimmed();

    // The variables text a document window hands over, as the report list builds it.
    const QString variables = QStringLiteral("inv_no=\"MI20261209-003\"\r\n") + QStringLiteral("const View_Price=") +
                              (viewPrice ? "True" : "False") + "\r\n" + QStringLiteral("const W_Filter=\"\"\r\n");
    QVERIFY(m_engine->addCode(kPrelude));
    QVERIFY(m_engine->addCode(variables));
    QVERIFY(m_engine->addObject(QStringLiteral("Ado"), m_bag, true));
    QVERIFY2(m_engine->addCode(script), qPrintable(m_engine->errorDescription()));
    const QString sql = m_engine->eval(QStringLiteral("W_SQL")).toString();
    QVERIFY(!m_engine->hasError());

    const QString price =
        viewPrice ? QStringLiteral(", v.Avg_Cost AS Mtr_Prs, l.Mtr_Amt * v.Avg_Cost AS Mtr_Money") : QString();
    // Each window's report prints documents of its own kind only.
    const QString kind = form == QLatin1String("40B") ? "1" : form == QLatin1String("40C") ? "2" : "3";
    const QString expected =
        QStringLiteral("SELECT h.Inv_No, h.Inv_Date, d.Org_Name, h.Proc_Man, h.Bar_Man, h.Check_Man, h.Remark,"
                       " l.Frm_Inv, l.Order_No, l.Mo_No, v.Mtr_No, v.Mtr_Name, v.Mtr_Dim, c.Color_Name,"
                       " b.Bar_Name, v.Unit_Name, l.Mtr_Amt") +
        price +
        QStringLiteral(" FROM Mmst411 h INNER JOIN Mmst412 l ON l.Rec_411 = h.Rec_411"
                       " LEFT JOIN mmst001 d ON d.Org_No = h.Org_No"
                       " LEFT JOIN vmmst611 v ON v.Rec_611 = l.Rec_611"
                       " LEFT JOIN mmst605 c ON c.Color_No = l.Color_No"
                       " LEFT JOIN mmst903 b ON b.Bar_No = l.Bar_No"
                       " WHERE h.Inv_No = 'MI20261209-003' AND h.Inv_Type = '") +
        kind + QStringLiteral("' ORDER BY v.Mtr_No, l.Rec_412");
    QCOMPARE(sql, expected);
    // The report list's host may run the script again on the same engine:
    // its function is defined anew, not refused.
    QVERIFY2(m_engine->addCode(script), qPrintable(m_engine->errorDescription()));
    QCOMPARE(m_engine->eval(QStringLiteral("W_SQL")).toString(), expected);

    // The same script with a syntax error leaves W_SQL empty.
    m_engine->reset();
    QVERIFY(m_engine->addCode(kPrelude));
    QVERIFY(m_engine->addCode(variables));
    QVERIFY(!m_engine->addCode(script + QStringLiteral("\r\nIf View_Price\r\n")));
    QCOMPARE(m_engine->errorNumber(), qint64(1017));
    QVERIFY(m_engine->eval(QStringLiteral("W_SQL")).isEmpty());
}

// ---- classes ----

void TstScript::classes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    const QString counter = QStringLiteral("Class Counter\n"
                                           " Public Count\n"
                                           " Private Sub Class_Initialize()\n"
                                           "  Count = 10\n"
                                           " End Sub\n"
                                           " Public Sub Bump(n)\n"
                                           "  Count = Count + n\n"
                                           " End Sub\n"
                                           " Public Sub Twice(ByRef v)\n"
                                           "  v = v * 2\n"
                                           " End Sub\n"
                                           "End Class\n");
    QTest::newRow("initialize, field and method") << counter + "Set c = New Counter\nc.Bump 5\nr = c.Count"
                                                  << "15";
    QTest::newRow("instances are separate")
        << counter + "Set a = New Counter\nSet b = New Counter\na.Bump 1\nb.Bump 2\nr = a.Count & b.Count"
        << "1112";
    QTest::newRow("byref argument of a method") << counter + "Set c = New Counter\nx = 4\nc.Twice x\nr = x"
                                                << "8";
    QTest::newRow("typename, vartype, isobject")
        << counter + "Set c = New Counter\nr = TypeName(c) & VarType(c) & IsObject(c)"
        << "Counter9True";
    QTest::newRow("with on a new instance") << counter + "With New Counter\n .Bump 1\n r = .Count\nEnd With"
                                            << "11";
    QTest::newRow("nested with") << counter +
                                        "Set c = New Counter\nWith c\n .Bump 1\n With New Counter\n  .Bump 5\n  r = "
                                        ".Count\n End With\n r = r & .Count\nEnd With"
                                 << "1511";
    QTest::newRow("property get and let around a private field")
        << "Class P\n Private m_v\n Public Property Get V\n  V = \"<\" & m_v & \">\"\n End Property\n"
           " Public Property Let V(x)\n  m_v = UCase(x)\n End Property\nEnd Class\n"
           "Set o = New P\no.V = \"ab\"\nr = o.V"
        << "<AB>";
    QTest::newRow("property set and get of an object")
        << "Class Holder\n Private m_o\n Public Property Set Item(o)\n  Set m_o = o\n End Property\n"
           " Public Property Get Item\n  Set Item = m_o\n End Property\nEnd Class\n"
           "Set h = New Holder\nSet h.Item = Bag\nr = h.Item.Name"
        << "布料";
    QTest::newRow("property get with an argument")
        << "Class T\n Public Property Get Twice(n)\n  Twice = n * 2\n End Property\nEnd Class\n"
           "Set t = New T\nr = t.Twice(21)"
        << "42";
    QTest::newRow("property let from inside the class")
        << "Class P\n Private m_v\n Public Property Let V(x)\n  m_v = x & \"!\"\n End Property\n"
           " Public Function Show()\n  V = \"in\"\n  Show = m_v\n End Function\nEnd Class\n"
           "Set o = New P\nr = o.Show()"
        << "in!";
    QTest::newRow("exit property") << "Class T\n Public Property Get V\n  V = 1\n  Exit Property\n  V = 2\n End "
                                      "Property\nEnd Class\nSet t = New T\nr = t.V"
                                   << "1";
    QTest::newRow("me is the instance")
        << "Class Node\n Public Name\n Public Function Self()\n  Set Self = Me\n End Function\nEnd Class\n"
           "Set n = New Node\nn.Name = \"x\"\nr = (n.Self Is n) & n.Self.Name"
        << "Truex";
    QTest::newRow("me passed to a global procedure")
        << "Function Describe(o)\n Describe = TypeName(o) & \":\" & o.Name\nEnd Function\n"
           "Class Node\n Public Name\n Public Function Tell()\n  Tell = Describe(Me)\n End Function\nEnd Class\n"
           "Set n = New Node\nn.Name = \"布\"\nr = n.Tell()"
        << "Node:布";
    QTest::newRow("me.field and private members inside the class")
        << "Class A\n Private s\n Private Function Hidden()\n  Hidden = \"h\"\n End Function\n"
           " Public Function Show()\n  Me.s = 3\n  Show = Hidden() & s & Me.Hidden\n End Function\nEnd Class\n"
           "Set a = New A\nr = a.Show()"
        << "h3h";
    QTest::newRow("default property get and let")
        << "Class List\n Private items(2)\n Public Default Property Get Item(i)\n  Item = items(i)\n End Property\n"
           " Public Property Let Item(i, v)\n  items(i) = v\n End Property\nEnd Class\n"
           "Set l = New List\nl(1) = \"b\"\nl.Item(2) = \"c\"\nr = l(1) & l.Item(2)"
        << "bc";
    QTest::newRow("default function as the value")
        << "Class Money\n Public Default Function Amount()\n  Amount = 42\n End Function\nEnd Class\n"
           "Set m = New Money\nx = m\nr = (m + 1) & \" \" & x & \" \" & TypeName(x)"
        << "43 42 Integer";
    QTest::newRow("public array field") << "Class Box\n Public Items(2)\n Public Dyn()\nEnd Class\nSet b = New "
                                           "Box\nb.Items(1) = 5\nr = b.Items(1) & UBound(b.Items) & IsArray(b.Dyn)"
                                        << "52True";
    QTest::newRow("recursion in a method")
        << "Class M\n Public Function Fact(n)\n  If n <= 1 Then\n   Fact = 1\n  Else\n   Fact = n * Fact(n - 1)\n  End "
           "If\n End Function\nEnd Class\nSet m = New M\nr = m.Fact(6)"
        << "720";
    QTest::newRow("procedures on one line inside a class")
        << "Class K\n Public Function F(a) F = a * 2 End Function\n Public Sub S(a) : last = a : End Sub\n Public "
           "last\nEnd Class\nSet k = New K\nk.S 7\nr = k.F(4) & k.last"
        << "87";
    QTest::newRow("instances in an array and for each")
        << counter + "Dim a(2)\nFor i = 0 To 2\n Set a(i) = New Counter\n a(i).Bump i\nNext\nFor Each c In a\n r = "
                     "r & c.Count\nNext"
        << "101112";
    QTest::newRow("class variables keep their own names")
        << "Count = \"global\"\n" + counter + "Set c = New Counter\nr = Count & c.Count"
        << "global10";
    QTest::newRow("a class's procedures hide globals of their name")
        << "Count = \"global\"\nClass C\n Public Function Count()\n  Count = \"method\"\n End Function\n Public "
           "Function Show()\n  Show = Count() & Count\n End Function\nEnd Class\nSet c = New C\nr = c.Show() & Count"
        << "methodmethodglobal";
    QTest::newRow("constants of a class") << "Class K\n Private Const Rate = 3, Unit = \"件\"\n Public Function "
                                             "Cost(n)\n  Cost = n * Rate & Unit\n End Function\nEnd Class\nSet k = New "
                                             "K\nr = k.Cost(2)"
                                          << "6件";
    QTest::newRow("a report script building its sql with a class")
        << "inv_no = \"MI-0042\"\nClass SqlBuilder\n Private parts\n Private Sub Class_Initialize()\n  parts = \"\"\n End "
           "Sub\n Public Sub Add(s)\n  If parts <> \"\" Then parts = parts & \" AND \"\n  parts = parts & s\n End Sub\n "
           "Public Property Get Text\n  Text = \"SELECT Inv_No FROM Mmst411 WHERE \" & parts\n End Property\nEnd "
           "Class\nSet b = New SqlBuilder\nb.Add \"Inv_No = '\" & inv_no & \"'\"\nb.Add \"Inv_Type = '1'\"\nW_SQL = "
           "b.Text\nr = W_SQL"
        << "SELECT Inv_No FROM Mmst411 WHERE Inv_No = 'MI-0042' AND Inv_Type = '1'";
    QTest::newRow("initialize sees globals")
        << "prefix = \"p\"\nClass T\n Public V\n Private Sub Class_Initialize()\n  "
           "V = prefix & \"1\"\n End Sub\nEnd Class\nSet t = New T\nr = t.V"
        << "p1";
    QTest::newRow("nothing after set to nothing") << counter + "Set c = New Counter\nSet c = Nothing\nr = c Is Nothing"
                                                  << "True";
    const QString tracer = QStringLiteral("Dim trace\n"
                                          "Class T\n"
                                          " Private Sub Class_Initialize()\n"
                                          "  trace = trace & \"+\"\n"
                                          " End Sub\n"
                                          " Private Sub Class_Terminate()\n"
                                          "  trace = trace & \"-\"\n"
                                          " End Sub\n"
                                          "End Class\n");
    QTest::newRow("terminate when the last reference goes")
        << tracer +
               "Set t = New T\nSet u = t\nSet t = Nothing\ntrace = trace & \"a\"\nSet u = Nothing\nr = trace & \"!\""
        << "+a-!";
    QTest::newRow("terminate at the end of a procedure")
        << tracer + "Sub Work()\n Dim o\n Set o = New T\n trace = trace & \"w\"\nEnd Sub\nWork\nr = trace"
        << "+w-";
    QTest::newRow("terminate of an unassigned new") << tracer + "x = TypeName(New T)\nr = trace & x"
                                                    << "+-T";
}

void TstScript::classes()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY(m_engine->addObject(QStringLiteral("Bag"), m_bag, false));
    QVERIFY2(m_engine->addCode(code), qPrintable(QStringLiteral("%1 %2 (line %3)")
                                                     .arg(m_engine->errorNumber())
                                                     .arg(m_engine->errorDescription())
                                                     .arg(m_engine->errorLine())));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::languageErrors_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("source");

    const QString runtime = QStringLiteral("Microsoft VBScript runtime error");
    const QString compilation = QStringLiteral("Microsoft VBScript compilation error");
    const QString a = QStringLiteral("Class A\n Private s\n Private Sub Hidden()\n End Sub\n Public Property Get "
                                     "RO\n  RO = 1\n End Property\nEnd Class\nSet a = New A\n");
    QTest::newRow("private field from outside")
        << a + "x = a.s" << qint64(438) << "Object doesn't support this property or method" << runtime;
    QTest::newRow("private method from outside")
        << a + "a.Hidden" << qint64(438) << "Object doesn't support this property or method" << runtime;
    QTest::newRow("read-only property") << a + "a.RO = 2" << qint64(450)
                                        << "Wrong number of arguments or invalid property assignment" << runtime;
    QTest::newRow("member a class lacks")
        << a + "a.Nope 1" << qint64(438) << "Object doesn't support this property or method" << runtime;
    QTest::newRow("class not defined") << "Set x = New Nowhere" << qint64(506) << "Class not defined" << runtime;
    QTest::newRow("error inside a method") << "Class A\n Sub S()\n  x = 1 / 0\n End Sub\nEnd Class\nSet a = New "
                                              "A\na.S"
                                           << qint64(11) << "Division by zero" << runtime;
    QTest::newRow("failing initialize stops new")
        << "Class A\n Private Sub Class_Initialize()\n  Err.Raise 1234, \"Init\", \"no\"\n End Sub\nEnd Class\nSet a = "
           "New A"
        << qint64(1234) << "no"
        << "Init";
    QTest::newRow("missing end class") << "Class A\n Public x\n" << qint64(1014) << "Expected 'End'" << compilation;
    QTest::newRow("end sub for a class") << "Class A\nEnd Sub" << qint64(1047) << "Expected 'Class'" << compilation;
    QTest::newRow("statement in a class body")
        << "Class A\n x = 1\nEnd Class" << qint64(1024) << "Expected statement" << compilation;
    QTest::newRow("property outside a class")
        << "Property Get X\nEnd Property" << qint64(1048) << "Must be defined inside a Class" << compilation;
    QTest::newRow("property without get let set")
        << "Class A\n Property X\n End Property\nEnd Class" << qint64(1049)
        << "Expected Let or Set or Get in property declaration" << compilation;
    QTest::newRow("end function for a property")
        << "Class A\n Property Get X\n End Function\nEnd Class" << qint64(1050) << "Expected 'Property'" << compilation;
    QTest::newRow("two defaults") << "Class A\n Public Default Function F()\n End Function\n Public Default Function "
                                     "G()\n End Function\nEnd Class"
                                  << qint64(1052) << "Cannot have multiple default property/method in a Class"
                                  << compilation;
    QTest::newRow("initialize with an argument")
        << "Class A\n Sub Class_Initialize(x)\n End Sub\nEnd Class" << qint64(1053)
        << "Class initialize or terminate do not have arguments" << compilation;
    QTest::newRow("property let without an argument")
        << "Class A\n Property Let X()\n End Property\nEnd Class" << qint64(1054)
        << "Property set or let must have at least one argument" << compilation;
    QTest::newRow("private default") << "Class A\n Private Default Function F()\n End Function\nEnd Class"
                                     << qint64(1057) << "'Default' specification must also specify 'Public'"
                                     << compilation;
    QTest::newRow("two members of one name")
        << "Class A\n Public x\n Sub x()\n End Sub\nEnd Class" << qint64(1041) << "Name redefined" << compilation;
    QTest::newRow("exit property outside a property") << "Class A\n Sub S()\n  Exit Property\n End Sub\nEnd Class"
                                                      << qint64(1039) << "Invalid 'exit' statement" << compilation;
    // Err.Raise
    QTest::newRow("raise without source names the runtime")
        << "Err.Raise 1000" << qint64(1000) << "Unknown runtime error" << runtime;
    QTest::newRow("raise of a vbscript hresult") << "Err.Raise &H800A000D&" << qint64(13) << "Type mismatch" << runtime;
    QTest::newRow("raise of e_outofmemory") << "Err.Raise &H8007000E&" << qint64(7) << "Out of memory" << runtime;
    QTest::newRow("raise of e_invalidarg")
        << "Err.Raise &H80070057&" << qint64(5) << "Invalid procedure call or argument" << runtime;
    QTest::newRow("raise of disp_e_divbyzero") << "Err.Raise &H80020012" << qint64(11) << "Division by zero" << runtime;
    QTest::newRow("raise of an object error keeps its number")
        << "Err.Raise vbObjectError + 7, \"App\", \"mine\"" << qint64(-2147221497) << "mine"
        << "App";
    QTest::newRow("raise 0") << "Err.Raise 0" << qint64(5) << "Invalid procedure call or argument" << runtime;
    QTest::newRow("raise of null") << "Err.Raise Null" << qint64(94) << "Invalid use of Null" << runtime;
}

void TstScript::languageErrors()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(QString, description);
    QFETCH(QString, source);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), description);
    QCOMPARE(m_engine->errorSource(), source);
}

// ---- statements and literals of the language's older texts ----

void TstScript::languageForms_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("negation before power") << "r = -3 ^ 2"
                                           << "9";
    QTest::newRow("negative exponent") << "r = 2 ^ -2"
                                       << "0.25";
    QTest::newRow("subtraction after power") << "r = 10 - 3 ^ 2"
                                             << "1";
    QTest::newRow("negated odd power") << "r = -2 ^ 3"
                                       << "-8";
    QTest::newRow("negation binds before multiplication") << "x = 3\nr = -x ^ 2 * 2"
                                                          << "18";
    QTest::newRow("hex with & is long") << "r = TypeName(&HFFFF&) & &HFFFF&"
                                        << "Long65535";
    QTest::newRow("hex without & is integer") << "r = TypeName(&HFFFF) & &HFFFF"
                                              << "Integer-1";
    QTest::newRow("eight hex digits with &") << "r = &HFFFFFFFF& & \" \" & &H8000&"
                                             << "-1 32768";
    QTest::newRow("octal with & is still an integer") << "r = TypeName(&O17&) & &O17&"
                                                      << "Integer15";
    QTest::newRow("hex & then concatenation") << "r = &H10& & \"x\""
                                              << "16x";
    QTest::newRow(">< is <>") << "r = (1 >< 2) & (1 >< 1)"
                              << "TrueFalse";
    QTest::newRow(">< in select case is")
        << "Select Case 3\n Case Is >< 3\n  r = \"ne\"\n Case Else\n  r = \"eq\"\nEnd "
           "Select"
        << "eq";
    QTest::newRow("stop does nothing") << "r = \"a\"\nStop\nr = r & \"b\""
                                       << "ab";
    QTest::newRow("let assigns") << "Let x = 5\nLet r = x * 2"
                                 << "10";
    QTest::newRow("one-line if with end if, then") << "If True Then r = \"a\" Else r = \"b\" End If"
                                                   << "a";
    QTest::newRow("one-line if with end if, else") << "If False Then r = \"a\" Else r = \"b\" End If"
                                                   << "b";
    QTest::newRow("one-line if with end if, no else") << "x = 1: If x = 1 Then r = \"one\" End If"
                                                      << "one";
    QTest::newRow("one-line if with colons and end if")
        << "If True Then r = \"a\": r = r & \"b\" Else r = \"c\" End If: r = r & \"!\""
        << "ab!";
    QTest::newRow("sub on one line with colons") << "Dim r\nSub S(): r = \"s\": End Sub\nS"
                                                 << "s";
    QTest::newRow("empty sub on one line") << "Sub S() End Sub\nS\nr = \"ok\""
                                           << "ok";
    QTest::newRow("function on one line") << "Function F(a) F = a * 2 End Function\nr = F(21)"
                                          << "42";
    QTest::newRow("statement before end sub on its line") << "Dim r\nSub S()\n r = 1\n r = r + 1 End Sub\nS"
                                                          << "2";
    QTest::newRow("call before end sub on its line")
        << "Dim r\nSub Put(x)\n r = x\nEnd Sub\nSub S()\n Put \"p\" End Sub\nS"
        << "p";
    QTest::newRow("call with a parenthesised name") << "Dim r\nSub Put(x)\n r = x\nEnd Sub\nCall (Put)(5)"
                                                    << "5";
    QTest::newRow("call with a parenthesised function")
        << "Dim r\nFunction F(a, b)\n r = a & b\nEnd Function\nCall (F)(1, 2)"
        << "12";
    QTest::newRow("byref array element") << "Sub Bump(n)\n n = n + 1\nEnd Sub\nDim a(2)\na(1) = 5\nBump a(1)\nr = a(1)"
                                         << "6";
    QTest::newRow("byref array element with call")
        << "Sub Bump(n)\n n = n + 1\nEnd Sub\nDim a(2)\na(1) = 5\nCall Bump(a(1))\nr = a(1)"
        << "6";
    QTest::newRow("byref element of a two-dimensional array")
        << "Sub Put(n)\n n = \"x\"\nEnd Sub\nDim m(1, 1)\nPut m(1, 0)\nr = m(1, 0) & \"|\" & m(0, 1)"
        << "x|";
    QTest::newRow("byval array element") << "Sub Bump(ByVal n)\n n = n + 1\nEnd Sub\nDim a(2)\na(1) = 5\nBump "
                                            "a(1)\nr = a(1)"
                                         << "5";
    QTest::newRow("parenthesised array element is byval")
        << "Sub Bump(n)\n n = n + 1\nEnd Sub\nDim a(2)\na(1) = 5\nBump (a(1))\nr = a(1)"
        << "5";
    QTest::newRow("byref element of a dynamic array from a function")
        << "Function Fill(s)\n s = \"f\"\n Fill = 1\nEnd Function\nReDim a(1)\nx = Fill(a(0))\nr = a(0) & x"
        << "f1";
    QTest::newRow("for each over a two-dimensional array in column order")
        << "Dim m(1, 2)\nFor i = 0 To 1\n For j = 0 To 2\n  m(i, j) = i & j\n Next\nNext\nFor Each v In m\n r = r & v "
           "& \" \"\nNext"
        << "00 10 01 11 02 12 ";
    QTest::newRow("for each over a three-dimensional array")
        << "Dim m(1, 1, 1)\nFor i = 0 To 1\n For j = 0 To 1\n  For k = 0 To 1\n   m(i, j, k) = i & j & k\n  Next\n "
           "Next\nNext\nFor Each v In m\n r = r & v & \" \"\nNext"
        << "000 100 010 110 001 101 011 111 ";
    QTest::newRow("for each over a one-dimensional array keeps its order")
        << "For Each v In Array(3, 1, 2)\n r = r & v\nNext"
        << "312";
    QTest::newRow("resume next enters the then branch")
        << "On Error Resume Next\nIf 1 / 0 > 0 Then\n r = \"then\"\nElse\n r = \"else\"\nEnd If\nr = r & Err.Number"
        << "then11";
    QTest::newRow("resume next enters a one-line then")
        << "On Error Resume Next\nIf CInt(\"x\") Then r = \"in\" Else r = \"out\""
        << "in";
    QTest::newRow("resume next enters the elseif branch")
        << "On Error Resume Next\nIf False Then\n r = 1\nElseIf 1 / 0 Then\n r = \"elseif\"\nElse\n r = 3\nEnd If"
        << "elseif";
    QTest::newRow("resume next in a procedure enters its branch")
        << "Dim r\nSub S()\n On Error Resume Next\n If Array(1)(3) = 0 Then r = \"in\"\nEnd Sub\nS"
        << "in";
    // Err.Raise and the Err object
    QTest::newRow("raise keeps help file and context")
        << "On Error Resume Next\nErr.Raise 1000, \"Src\", \"Desc\", \"help.chm\", 42\nr = Err.HelpFile & \"|\" & "
           "Err.HelpContext"
        << "help.chm|42";
    QTest::newRow("raise keeps an earlier raise's texts")
        << "On Error Resume Next\nErr.Raise 1000, \"Mine\", \"first\", \"h.chm\", 7\nErr.Raise 1001\nr = Err.Number & "
           "\"|\" & Err.Source & \"|\" & Err.Description & \"|\" & Err.HelpFile & Err.HelpContext"
        << "1001|Mine|first|h.chm7";
    QTest::newRow("raise after clear takes the defaults")
        << "On Error Resume Next\nErr.Raise 1000, \"Mine\", \"first\"\nErr.Clear\nErr.Raise 30000\nr = Err.Source & "
           "\"|\" & Err.Description & \"|\" & Err.HelpFile & Err.HelpContext"
        << "Microsoft VBScript runtime error|Unknown runtime error|0";
    QTest::newRow("raise of a known number after clear") << "On Error Resume Next\nErr.Raise 9\nr = Err.Description"
                                                         << "Subscript out of range";
    QTest::newRow("raise maps hresults for err.number")
        << "On Error Resume Next\nErr.Raise &H8007000E&\nr = Err.Number & \" \" & Err.Description"
        << "7 Out of memory";
    QTest::newRow("runtime error source and description")
        << "On Error Resume Next\nx = Array(1)(5)\nr = Err.Source & \"|\" & Err.Description"
        << "Microsoft VBScript runtime error|Subscript out of range";
    QTest::newRow("runtime error clears raised help")
        << "On Error Resume Next\nErr.Raise 1000, , , \"h.chm\", 3\nx = 1 / 0\nr = Err.Number & Err.HelpFile & "
           "Err.HelpContext"
        << "110";
    QTest::newRow("err properties are writable")
        << "Err.Number = 5\nErr.HelpFile = \"f\"\nErr.HelpContext = 9\nr = Err.Number & Err.HelpFile & Err.HelpContext"
        << "5f9";
}

void TstScript::languageForms()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(QStringLiteral("%1 %2 (line %3)")
                                                     .arg(m_engine->errorNumber())
                                                     .arg(m_engine->errorDescription())
                                                     .arg(m_engine->errorLine())));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

// ---- RegExp ----

void TstScript::regExp_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    const QString re = QStringLiteral("Set re = New RegExp\n");
    QTest::newRow("test") << re + "re.Pattern = \"\\d+\"\nr = re.Test(\"ab12\") & re.Test(\"ab\")"
                          << "TrueFalse";
    QTest::newRow("properties and their defaults")
        << re + "r = \"[\" & re.Pattern & \"]\" & re.IgnoreCase & re.Global & re.Multiline\nre.Global = True\nr = r & "
                "re.Global"
        << "[]FalseFalseFalseTrue";
    QTest::newRow("ignore case") << re + "re.Pattern = \"abc\"\nr = re.Test(\"xABCx\")\nre.IgnoreCase = True\nr = r & "
                                         "re.Test(\"xABCx\")"
                                 << "FalseTrue";
    QTest::newRow("execute without global finds the first")
        << re + "re.Pattern = \"\\d+\"\nSet ms = re.Execute(\"a1b22c333\")\nr = ms.Count & \":\" & ms(0)"
        << "1:1";
    QTest::newRow("execute with global finds all")
        << re +
               "re.Pattern = \"\\d+\"\nre.Global = True\nSet ms = re.Execute(\"a1b22c333\")\nFor Each m In ms\n r = r & "
               "m.Value & \"@\" & m.FirstIndex & \"+\" & m.Length & \" \"\nNext\nr = r & ms.Count"
        << "1@1+1 22@3+2 333@6+3 3";
    QTest::newRow("execute finding nothing") << re + "re.Pattern = \"z\"\nr = re.Execute(\"abc\").Count"
                                             << "0";
    QTest::newRow("match value is the default") << re + "re.Pattern = \"\\d\"\nr = re.Execute(\"x9\")(0)"
                                                << "9";
    QTest::newRow("submatches") << re + "re.Pattern = \"(\\w+)@(\\w+)\\.com\"\nSet m = re.Execute(\"mail "
                                        "joe@site.com\")(0)\nr = m.SubMatches(0) & \"|\" & m.SubMatches(1) & \"|\" & "
                                        "m.SubMatches.Count & \"|\" & m.FirstIndex"
                                << "joe|site|2|5";
    QTest::newRow("for each over submatches") << re + "re.Pattern = \"(a)(b)(c)\"\nFor Each s In "
                                                      "re.Execute(\"abc\")(0).SubMatches\n r = r & s & \",\"\nNext"
                                              << "a,b,c,";
    QTest::newRow("a group that did not take part is empty")
        << re + "re.Pattern = \"(a)|(b)\"\nSet m = re.Execute(\"b\")(0)\nr = IsEmpty(m.SubMatches(0)) & m.SubMatches(1)"
        << "Trueb";
    QTest::newRow("replace the first") << re + "re.Pattern = \"o\"\nr = re.Replace(\"foo boo\", \"0\")"
                                       << "f0o boo";
    QTest::newRow("replace all") << re + "re.Pattern = \"o\"\nre.Global = True\nr = re.Replace(\"foo boo\", \"0\")"
                                 << "f00 b00";
    QTest::newRow("replace with groups") << re + "re.Pattern = \"(\\w+) (\\w+)\"\nr = re.Replace(\"hello world\", \"$2 "
                                                 "$1\")"
                                         << "world hello";
    QTest::newRow("replace with $&, $$ and a missing group")
        << re + "re.Pattern = \"b\"\nr = re.Replace(\"abc\", \"[$&][$$][$7]\")"
        << "a[b][$][$7]c";
    QTest::newRow("replace with the text around the match")
        << re + "re.Pattern = \"b\"\nr = re.Replace(\"abc\", \"<$`|$'>\")"
        << "a<a|c>c";
    QTest::newRow("global replace of empty matches")
        << re + "re.Pattern = \"x*\"\nre.Global = True\nr = re.Replace(\"abc\", \"-\")"
        << "-a-b-c-";
    QTest::newRow("caret without multiline")
        << re + "re.Pattern = \"^b\"\nr = re.Test(\"a\" & vbLf & \"b\")\nre.Multiline = "
                "True\nr = r & re.Test(\"a\" & vbLf & \"b\")"
        << "FalseTrue";
    QTest::newRow("dollar is the end of the text without multiline")
        << re + "re.Pattern = \"a$\"\nr = re.Test(\"a\" & vbLf)\nre.Multiline = True\nr = r & re.Test(\"a\" & vbLf) & "
                "re.Test(\"a\")"
        << "FalseTrueTrue";
    QTest::newRow("escaped dollar stays a character") << re + "re.Pattern = \"\\$\\d\"\nr = re.Test(\"cost $5\")"
                                                      << "True";
    QTest::newRow("dollar inside a class is a character") << re + "re.Pattern = \"[$]\"\nr = re.Test(\"a$b\")"
                                                          << "True";
    QTest::newRow("unicode escapes for chinese text")
        << re + "re.Pattern = \"[\\u4e00-\\u9fa5]+\"\nr = re.Execute(\"abc中文def\")(0)"
        << "中文";
    QTest::newRow("empty class matches nothing, negated empty class anything")
        << re + "re.Pattern = \"[]\"\nr = re.Test(\"abc\")\nre.Pattern = \"a[^]c\"\nr = r & re.Test(\"a\" & vbLf & "
                "\"c\")"
        << "FalseTrue";
    QTest::newRow("with over a new regexp")
        << "With New RegExp\n .Pattern = \"b\"\n .Global = True\n r = .Replace(\"abcb\", \"x\")\nEnd With"
        << "axcx";
    QTest::newRow("createobject makes a regexp")
        << "Set re = CreateObject(\"VBScript.RegExp\")\nre.Pattern = \"^[A-Z]{2}\\d{4}$\"\nr = TypeName(re) & "
           "re.Test(\"MI2026\")"
        << "IRegExp2True";
    QTest::newRow("typenames of results")
        << re +
               "re.Pattern = \"(a)\"\nSet ms = re.Execute(\"a\")\nr = TypeName(ms) & \" \" & TypeName(ms(0)) & \" \" & "
               "TypeName(ms(0).SubMatches)"
        << "IMatchCollection2 IMatch2 ISubMatches";
    QTest::newRow("a number as the subject") << re + "re.Pattern = \"^\\d+$\"\nr = re.Test(12345)"
                                             << "True";
    QTest::newRow("replacement true is -1, false 0")
        << re +
               "re.Pattern = \"b\"\nr = re.Replace(\"abc\", True) & re.Replace(\"abc\", False) & re.Replace(\"abc\", 1.5)"
        << "a-1ca0ca1.5c";
    QTest::newRow("replacement from an object's default")
        << "Class D\n Public Default Property Get V\n  V = \"$&$&\"\n End Property\nEnd Class\n" + re +
               "re.Pattern = \"b\"\nr = re.Replace(\"abc\", New D)"
        << "abbc";
    QTest::newRow("global read as a property inside expressions")
        << re + "re.Global = 1\nr = TypeName(re.Global) & (re.Global = True) & (Not re.Global) & Len(re.Global)\nIf "
                "re.Global Then r = r & \"!\""
        << "BooleanTrueFalse4!";
    QTest::newRow("in a report script: keep digits of a document number")
        << re + "re.Pattern = \"[^0-9]\"\nre.Global = True\nW_SQL = \"where seq = \" & re.Replace(\"MI-2026-0042\", "
                "\"\")\nr = W_SQL"
        << "where seq = 20260042";
}

void TstScript::regExp()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(QStringLiteral("%1 %2 (line %3)")
                                                     .arg(m_engine->errorNumber())
                                                     .arg(m_engine->errorDescription())
                                                     .arg(m_engine->errorLine())));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

void TstScript::regExpErrors_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("description");

    const QString re = QStringLiteral("Set re = New RegExp\n");
    QTest::newRow("unclosed group") << re + "re.Pattern = \"a(b\"\nx = re.Test(\"ab\")" << qint64(5020)
                                    << "Expected ')' in regular expression";
    QTest::newRow("unclosed class") << re + "re.Pattern = \"[ab\"\nx = re.Test(\"ab\")" << qint64(5019)
                                    << "Expected ']' in regular expression";
    QTest::newRow("quantifier without an item")
        << re + "re.Pattern = \"*a\"\nx = re.Execute(\"a\")" << qint64(5018) << "Unexpected quantifier";
    QTest::newRow("range out of order") << re + "re.Pattern = \"[z-a]\"\nx = re.Replace(\"a\", \"b\")" << qint64(5021)
                                        << "Invalid range in character set";
    QTest::newRow("test without its argument")
        << re + "x = re.Test()" << qint64(450) << "Wrong number of arguments or invalid property assignment";
    QTest::newRow("replace with one argument")
        << re + "x = re.Replace(\"a\")" << qint64(450) << "Wrong number of arguments or invalid property assignment";
    QTest::newRow("match out of range") << re + "re.Pattern = \"a\"\nx = re.Execute(\"a\")(1)" << qint64(5)
                                        << "Invalid procedure call or argument";
    QTest::newRow("null subject") << re + "x = re.Test(Null)" << qint64(13) << "Type mismatch";
    QTest::newRow("null replacement") << re + "x = re.Replace(\"a\", Null)" << qint64(13) << "Type mismatch";
    QTest::newRow("unknown member") << re + "x = re.Source" << qint64(438)
                                    << "Object doesn't support this property or method";
    QTest::newRow("other progids still fail") << "Set d = CreateObject(\"Scripting.FileSystemObject\")" << qint64(429)
                                              << "ActiveX component can't create object";
}

void TstScript::regExpErrors()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(QString, description);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), description);
}

// ---- more built-ins and constants ----

void TstScript::builtinValues_data()
{
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");

    QTest::newRow("rgb red") << "RGB(255, 0, 0)"
                             << "Long"
                             << "255";
    QTest::newRow("rgb mixes bytes") << "RGB(1, 2, 3)"
                                     << "Long"
                                     << "197121";
    QTest::newRow("rgb above 255 counts as 255") << "RGB(300, 0, 256)"
                                                 << "Long"
                                                 << "16711935";
    QTest::newRow("rgb rounds its arguments") << "RGB(1.5, 0, 0)"
                                              << "Long"
                                              << "2";
    QTest::newRow("formatcurrency") << "FormatCurrency(1234.5)"
                                    << "String"
                                    << "¥1,234.50";
    QTest::newRow("formatcurrency negative") << "FormatCurrency(-1234.5)"
                                             << "String"
                                             << "¥-1,234.50";
    QTest::newRow("formatcurrency with digits and parentheses") << "FormatCurrency(-1, 0, , -1)"
                                                                << "String"
                                                                << "(¥1)";
    QTest::newRow("formatcurrency without grouping") << "FormatCurrency(1234567, 1, , , 0)"
                                                     << "String"
                                                     << "¥1234567.0";
    QTest::newRow("formatcurrency of a text number") << "FormatCurrency(\"12.346\")"
                                                     << "String"
                                                     << "¥12.35";
    QTest::newRow("datepart year") << "DatePart(\"yyyy\", #2026-12-09#)"
                                   << "Integer"
                                   << "2026";
    QTest::newRow("datepart quarter") << "DatePart(\"q\", #2026-12-09#)"
                                      << "Integer"
                                      << "4";
    QTest::newRow("datepart month") << "DatePart(\"m\", #2026-12-09#)"
                                    << "Integer"
                                    << "12";
    QTest::newRow("datepart day of year") << "DatePart(\"y\", #2026-12-09#)"
                                          << "Integer"
                                          << "343";
    QTest::newRow("datepart day") << "DatePart(\"d\", \"2026-12-09\")"
                                  << "Integer"
                                  << "9";
    QTest::newRow("datepart weekday") << "DatePart(\"w\", #2026-12-09#)"
                                      << "Integer"
                                      << "4";
    QTest::newRow("datepart weekday from monday") << "DatePart(\"w\", #2026-12-09#, vbMonday)"
                                                  << "Integer"
                                                  << "3";
    QTest::newRow("datepart week of year") << "DatePart(\"ww\", #2026-12-09#)"
                                           << "Integer"
                                           << "50";
    QTest::newRow("datepart week with four days belongs to the old year")
        << "DatePart(\"ww\", #2027-01-01#, vbMonday, vbFirstFourDays)"
        << "Integer"
        << "53";
    QTest::newRow("datepart week with four days in the new year")
        << "DatePart(\"ww\", #2026-01-01#, vbMonday, vbFirstFourDays)"
        << "Integer"
        << "1";
    QTest::newRow("datepart first full week") << "DatePart(\"ww\", #2026-01-03#, vbSunday, vbFirstFullWeek) & \" \" & "
                                                 "DatePart(\"ww\", #2026-01-04#, vbSunday, vbFirstFullWeek)"
                                              << "String"
                                              << "52 1";
    QTest::newRow("datepart hour minute second")
        << "DatePart(\"h\", #2026-12-09 13:45:07#) & \":\" & DatePart(\"n\", #2026-12-09 13:45:07#) & \":\" & "
           "DatePart(\"s\", #2026-12-09 13:45:07#)"
        << "String"
        << "13:45:7";
    QTest::newRow("datepart interval ignores case") << "DatePart(\"YYYY\", #2026-12-09#)"
                                                    << "Integer"
                                                    << "2026";
    QTest::newRow("datepart of null") << "DatePart(\"d\", Null)"
                                      << "Null"
                                      << "Null";
    QTest::newRow("escape") << "Escape(\"a b+c/d.e@f*g_h-i\")"
                            << "String"
                            << "a%20b+c/d.e@f*g_h-i";
    QTest::newRow("escape of symbols") << "Escape(\"100%&'\"\"=\")"
                                       << "String"
                                       << "100%25%26%27%22%3D";
    QTest::newRow("escape of chinese") << "Escape(\"领料\")"
                                       << "String"
                                       << "%u9886%u6599";
    QTest::newRow("escape of latin-1") << "Escape(ChrW(233))"
                                       << "String"
                                       << "%E9";
    QTest::newRow("unescape") << "Unescape(\"%u9886%u6599%20%41%e9\")"
                              << "String"
                              << "领料 Aé";
    QTest::newRow("unescape leaves bad sequences") << "Unescape(\"%zz%u12%4\")"
                                                   << "String"
                                                   << "%zz%u12%4";
    QTest::newRow("escape and unescape round trip") << "Unescape(Escape(\"W_SQL='MI 0042' & 领\")) = \"W_SQL='MI 0042' "
                                                       "& 领\""
                                                    << "Boolean"
                                                    << "True";
    QTest::newRow("scriptengine") << "ScriptEngine"
                                  << "String"
                                  << "VBScript";
    QTest::newRow("scriptengine version")
        << "ScriptEngineMajorVersion & \".\" & ScriptEngineMinorVersion & \".\" & ScriptEngineBuildVersion"
        << "String"
        << "5.8.16384";
    QTest::newRow("scriptengine major is long") << "ScriptEngineMajorVersion()"
                                                << "Long"
                                                << "5";
    QTest::newRow("getlocale is chinese prc") << "GetLocale()"
                                              << "Long"
                                              << "2052";
    QTest::newRow("inputbox answers as cancelled") << "InputBox(\"数量\")"
                                                   << "String"
                                                   << "";
    // constants
    QTest::newRow("vbBlack") << "vbBlack"
                             << "Long"
                             << "0";
    QTest::newRow("vbRed") << "vbRed"
                           << "Long"
                           << "255";
    QTest::newRow("vbGreen") << "vbGreen"
                             << "Long"
                             << "65280";
    QTest::newRow("vbYellow") << "vbYellow"
                              << "Long"
                              << "65535";
    QTest::newRow("vbBlue") << "vbBlue"
                            << "Long"
                            << "16711680";
    QTest::newRow("vbMagenta") << "vbMagenta"
                               << "Long"
                               << "16711935";
    QTest::newRow("vbCyan") << "vbCyan"
                            << "Long"
                            << "16776960";
    QTest::newRow("vbWhite is rgb of 255s") << "vbWhite = RGB(255, 255, 255)"
                                            << "Boolean"
                                            << "True";
    QTest::newRow("compare modes") << "vbBinaryCompare & vbTextCompare"
                                   << "String"
                                   << "01";
    QTest::newRow("text compare in instr") << "InStr(1, \"ABC\", \"b\", vbTextCompare)"
                                           << "Long"
                                           << "2";
    QTest::newRow("msgbox buttons") << "vbOKOnly & vbOKCancel & vbAbortRetryIgnore & vbYesNoCancel & vbYesNo & "
                                       "vbRetryCancel"
                                    << "String"
                                    << "012345";
    QTest::newRow("msgbox icons") << "vbCritical + vbQuestion * 1000 + vbExclamation * 1000000 + vbInformation * "
                                     "1000000000"
                                  << "Double"
                                  << "64048032016";
    QTest::newRow("msgbox default buttons") << "vbDefaultButton1 & \" \" & vbDefaultButton2 & \" \" & vbDefaultButton3 "
                                               "& \" \" & vbDefaultButton4"
                                            << "String"
                                            << "0 256 512 768";
    QTest::newRow("msgbox modality and options")
        << "vbApplicationModal & \" \" & vbSystemModal & \" \" & vbMsgBoxHelpButton & \" \" & "
           "vbMsgBoxSetForeground & \" \" & vbMsgBoxRight & \" \" & vbMsgBoxRtlReading"
        << "String"
        << "0 4096 16384 65536 524288 1048576";
    QTest::newRow("msgbox answers") << "vbOK & vbCancel & vbAbort & vbRetry & vbIgnore & vbYes & vbNo"
                                    << "String"
                                    << "1234567";
    QTest::newRow("first day and week") << "vbUseSystem & vbUseSystemDayOfWeek & vbFirstJan1 & vbFirstFourDays & "
                                           "vbFirstFullWeek"
                                        << "String"
                                        << "00123";
    QTest::newRow("date formats") << "vbGeneralDate & vbLongDate & vbShortDate & vbLongTime & vbShortTime"
                                  << "String"
                                  << "01234";
    QTest::newRow("tristate") << "vbUseDefault & \" \" & vbTrue & \" \" & vbFalse"
                              << "String"
                              << "-2 -1 0";
    QTest::newRow("vartypes") << "vbEmpty & vbNull & vbInteger & vbLong & vbSingle & vbDouble & vbCurrency & vbDate "
                                 "& vbString & vbObject & \" \" & vbError & vbBoolean & vbVariant & vbDataObject & "
                                 "vbDecimal & vbByte & \" \" & vbArray"
                              << "String"
                              << "0123456789 101112131417 8192";
    QTest::newRow("vbObjectError") << "vbObjectError"
                                   << "Long"
                                   << "-2147221504";
    QTest::newRow("string constants") << "Len(vbCrLf & vbCr & vbLf & vbTab & vbNullChar & vbNullString & vbFormFeed "
                                         "& vbVerticalTab & vbNewLine)"
                                      << "Long"
                                      << "10";
    QTest::newRow("constants cannot be assigned") << "TypeName(vbRed)"
                                                  << "String"
                                                  << "Long";
}

void TstScript::builtinValues()
{
    QFETCH(QString, expr);
    QFETCH(QString, type);
    QFETCH(QString, text);
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY2(!m_engine->hasError(), qPrintable(m_engine->errorDescription()));
    QCOMPARE(v.typeName(), type);
    QCOMPARE(v.isNull() ? QStringLiteral("Null") : v.toString(), text);
}

// Built-ins refuse what VBScript refuses, with its numbers.
void TstScript::builtinArgumentErrors_data()
{
    QTest::addColumn<QString>("expr");
    QTest::addColumn<qint64>("number");

    const qint64 invalidCall = 5, typeMismatch = 13, null = 94, overflow = 6, subscript = 9, arguments = 450;
    QTest::newRow("left with a null length") << "Left(\"abc\", Null)" << null;
    QTest::newRow("right with a negative length") << "Right(\"abc\", -1)" << invalidCall;
    QTest::newRow("mid with a negative length") << "Mid(\"abc\", 1, -1)" << invalidCall;
    QTest::newRow("mid with a text start") << "Mid(\"abc\", \"x\")" << typeMismatch;
    QTest::newRow("instr from zero") << "InStr(0, \"a\", \"a\")" << invalidCall;
    QTest::newRow("instrrev from zero") << "InStrRev(\"a\", \"a\", 0)" << invalidCall;
    QTest::newRow("replace from zero") << "Replace(\"a\", \"a\", \"b\", 0)" << invalidCall;
    QTest::newRow("replace count below -1") << "Replace(\"a\", \"a\", \"b\", 1, -2)" << invalidCall;
    QTest::newRow("space of a negative") << "Space(-1)" << invalidCall;
    QTest::newRow("space of null") << "Space(Null)" << null;
    QTest::newRow("string of a negative") << "String(-1, \"a\")" << invalidCall;
    QTest::newRow("string of an empty text") << "String(3, \"\")" << invalidCall;
    QTest::newRow("asc of null") << "Asc(Null)" << null;
    QTest::newRow("chr of a negative") << "Chr(-1)" << invalidCall;
    QTest::newRow("chrw beyond 65535") << "ChrW(65536)" << invalidCall;
    QTest::newRow("cint of a word") << "CInt(\"abc\")" << typeMismatch;
    QTest::newRow("clng of null") << "CLng(Null)" << null;
    QTest::newRow("clng beyond long") << "CLng(3000000000)" << overflow;
    QTest::newRow("cbyte of a negative") << "CByte(-1)" << overflow;
    QTest::newRow("cbool of a word") << "CBool(\"maybe\")" << typeMismatch;
    QTest::newRow("cdate of a word") << "CDate(\"someday\")" << typeMismatch;
    QTest::newRow("cdbl of an array") << "CDbl(Array(1))" << typeMismatch;
    QTest::newRow("int of a word") << "Int(\"x\")" << typeMismatch;
    QTest::newRow("round to negative digits") << "Round(1.5, -1)" << invalidCall;
    QTest::newRow("sqr of a negative") << "Sqr(-1)" << invalidCall;
    QTest::newRow("log of zero") << "Log(0)" << invalidCall;
    QTest::newRow("exp beyond double") << "Exp(1000)" << overflow;
    QTest::newRow("hex of a word") << "Hex(\"zz\")" << typeMismatch;
    QTest::newRow("split of null") << "Split(Null)" << null;
    QTest::newRow("join of a number") << "Join(1)" << typeMismatch;
    QTest::newRow("ubound of a missing dimension") << "UBound(Array(1), 2)" << subscript;
    QTest::newRow("lbound of dimension zero") << "LBound(Array(1), 0)" << subscript;
    QTest::newRow("len of an array") << "Len(Array(1))" << typeMismatch;
    QTest::newRow("ucase of an array") << "UCase(Array(1))" << typeMismatch;
    QTest::newRow("monthname 13") << "MonthName(13)" << invalidCall;
    QTest::newRow("weekdayname 0") << "WeekdayName(0)" << invalidCall;
    QTest::newRow("year of a word") << "Year(\"abc\")" << typeMismatch;
    QTest::newRow("dateadd with a bad interval") << "DateAdd(\"x\", 1, #2026-01-01#)" << invalidCall;
    QTest::newRow("datediff with a bad interval") << "DateDiff(\"x\", #2026-01-01#, #2026-01-02#)" << invalidCall;
    QTest::newRow("datepart with a bad interval") << "DatePart(\"x\", #2026-01-01#)" << invalidCall;
    QTest::newRow("datepart with a bad first day") << "DatePart(\"w\", #2026-01-01#, 8)" << invalidCall;
    QTest::newRow("datepart of a word") << "DatePart(\"d\", \"abc\")" << typeMismatch;
    QTest::newRow("formatnumber of a word") << "FormatNumber(\"abc\")" << typeMismatch;
    QTest::newRow("formatnumber with 99 digits") << "FormatNumber(1, 99)" << invalidCall;
    QTest::newRow("formatcurrency of a word") << "FormatCurrency(\"abc\")" << typeMismatch;
    QTest::newRow("formatdatetime with format 9") << "FormatDateTime(#2026-01-01#, 9)" << invalidCall;
    QTest::newRow("rgb of a negative") << "RGB(-1, 0, 0)" << invalidCall;
    QTest::newRow("rgb of null") << "RGB(0, Null, 0)" << null;
    QTest::newRow("rgb of a word") << "RGB(\"red\", 0, 0)" << typeMismatch;
    QTest::newRow("rgb with two arguments") << "RGB(1, 2)" << arguments;
    QTest::newRow("escape of an array") << "Escape(Array(1))" << typeMismatch;
    QTest::newRow("scriptengine with an argument") << "ScriptEngine(1)" << arguments;
    QTest::newRow("strreverse of null") << "StrReverse(Null)" << null;
    QTest::newRow("sgn of null") << "Sgn(Null)" << null;
    QTest::newRow("replace of null") << "Replace(Null, \"a\", \"b\")" << null;
}

void TstScript::builtinArgumentErrors()
{
    QFETCH(QString, expr);
    QFETCH(qint64, number);
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY(v.isEmpty());
    QVERIFY(m_engine->hasError());
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), scriptErrorText(number));
}

// Objects of script classes as the host sees them, and their lifetime
// across resets.
void TstScript::classInstancesAndTheHost()
{
    QVERIFY(
        m_engine->addCode(QStringLiteral("Class Doc\n Public No\n Public Default Property Get Title\n  Title = "
                                         "\"单 \" & No\n End Property\n Public Function Lines(n)\n  Lines = n * 2\n "
                                         "End Function\nEnd Class\nSet d = New Doc\nd.No = \"MI-1\"")));
    const ScriptValue d = m_engine->global(QStringLiteral("d"));
    QVERIFY(d.isObject());
    const auto o = d.objectValue();
    QCOMPARE(o->typeName(), QStringLiteral("Doc"));
    QVERIFY(o->hasProperty(QStringLiteral("no")));
    QVERIFY(o->hasMethod(QStringLiteral("Lines")));
    QVERIFY(!o->hasMethod(QStringLiteral("Nope")));
    QCOMPARE(o->getProperty(QStringLiteral("No")).toString(), QStringLiteral("MI-1"));
    QCOMPARE(ScriptObject::defaultValue(o).toString(), QStringLiteral("单 MI-1"));
    QCOMPARE(o->callMethod(QStringLiteral("lines"), {ScriptValue::integer(4)}).toString(), QStringLiteral("8"));
    o->setProperty(QStringLiteral("No"), ScriptValue("MI-2"));
    QCOMPARE(m_engine->eval(QStringLiteral("d")).toString(), QStringLiteral("单 MI-2"));
    // A host call that fails reaches the host as a ScriptError.
    bool threw = false;
    try {
        o->callMethod(QStringLiteral("Lines"), {});
    } catch (const ScriptError &e) {
        threw = true;
        QCOMPARE(e.number, qint64(450));
    }
    QVERIFY(threw);

    // After a reset the object is dead, not dangling.
    m_engine->reset();
    QVERIFY(!o->hasProperty(QStringLiteral("No")));
    threw = false;
    try {
        o->getProperty(QStringLiteral("No"));
    } catch (const ScriptError &e) {
        threw = true;
        QCOMPARE(e.number, qint64(424));
    }
    QVERIFY(threw);

    // Objects that point at each other are released by a reset, and the
    // engine works on; a long chain is released without deep recursion.
    QVERIFY(
        m_engine->addCode(QStringLiteral("Class N\n Public NextOne\nEnd Class\nSet a = New N\nSet b = New N\nSet "
                                         "a.NextOne = b\nSet b.NextOne = a\nSet head = Nothing\nFor i = 1 To "
                                         "100000\n Set n = New N\n Set n.NextOne = head\n Set head = n\nNext\nSet n "
                                         "= Nothing\nSet head = Nothing\nr = \"released\"")));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), QStringLiteral("released"));
    m_engine->reset();
    QVERIFY(m_engine->addCode(QStringLiteral("x = 1 + 1")));
    QCOMPARE(m_engine->global(QStringLiteral("x")).toString(), QStringLiteral("2"));

    // Class_Terminate does not run on a reset, and a failing one is ignored.
    QVERIFY(m_engine->addCode(QStringLiteral("Class T\n Private Sub Class_Terminate()\n  x = 1 / 0\n End Sub\nEnd "
                                             "Class\nSet t = New T\nSet t = Nothing\nr = \"after\"")));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), QStringLiteral("after"));
}

// ---- constructs of the language anywhere a whole script may hold them ----

void TstScript::declarationsAnywhere_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    // Sub and Function belong to the script wherever its top-level code
    // declares them, taken branch or not.
    QTest::newRow("sub inside an if that is not taken")
        << "If False Then\n Sub F()\n  r = \"hoisted\"\n End Sub\nEnd If\nDim r\nF"
        << "hoisted";
    QTest::newRow("function inside a for loop") << "For i = 1 To 2\n Function Twice(n)\n  Twice = n * 2\n End "
                                                   "Function\nNext\nr = Twice(21)"
                                                << "42";
    QTest::newRow("function called above its block")
        << "r = G()\nIf False Then\n Function G()\n  G = \"early\"\n End Function\nEnd If"
        << "early";
    QTest::newRow("one-line sub inside an if") << "Dim r\nIf True Then\n Sub F() r = True End Sub\nEnd If\nF"
                                               << "True";
    QTest::newRow("one-line sub inside a select case")
        << "Select Case 1\n Case 2\n  Sub Q() r = \"q\" End Sub\nEnd Select\nDim r\nQ"
        << "q";
    QTest::newRow("sub inside a while loop that never runs")
        << "While False\n Private Sub W(a)\n  r = a\n End Sub\nWend\nDim r\nW \"w\""
        << "w";
    QTest::newRow("exit for inside a sub declared in a for loop belongs to its own loop")
        << "For i = 1 To 1\n Function F()\n  For j = 1 To 5\n   If j = 3 Then Exit For\n  Next\n  F = j\n End "
           "Function\nNext\nr = F()"
        << "3";
    // Class bodies on one line.
    QTest::newRow("class, member and end class on one line")
        << "Class C : Public x : End Class\nSet o = New C\no.x = 5\nr = o.x"
        << "5";
    QTest::newRow("member followed by end class") << "Class C\n Public x End Class\nSet o = New C\no.x = 4\nr = o.x"
                                                  << "4";
    QTest::newRow("method followed by end class")
        << "Class C : Function F : F = \"f\" : End Function End Class\nSet o = New C\nr = o.F"
        << "f";
    QTest::newRow("dim array followed by end class") << "Class C\n Dim a(2) End Class\nSet o = New C\nr = UBound(o.a)"
                                                     << "2";
    QTest::newRow("private member then end class after a colon")
        << "Class C\n Private p : Public Property Get V : V = 7 : End Property : End Class\nr = (New C).V"
        << "7";
    // Constants.
    QTest::newRow("const of a class read by its method")
        << "Class C\n Const k = 5\n Function F\n  F = k * 2\n End Function\nEnd Class\nSet o = New C\nr = o.F"
        << "10";
    QTest::newRow("global const read by a procedure before its const ran")
        << "r = F()\nConst g = 7\nFunction F\n F = g\nEnd Function"
        << "7";
    QTest::newRow("negative global const read early") << "r = F()\nConst n = -3\nFunction F\n F = n\nEnd Function"
                                                      << "-3";
    QTest::newRow("text const read by a procedure declared in a block")
        << "If True Then\n Function F\n  F = t & \"!\"\n End Function\nEnd If\nr = F()\nConst t = \"单\""
        << "单!";
    QTest::newRow("local const read above its statement") << "Function F\n F = k\n Const k = 2\nEnd Function\nr = F()"
                                                          << "2";
    // Me outside a class is the script.
    QTest::newRow("me at the top level is an object") << "r = IsObject(Me) & TypeName(Me)"
                                                      << "TrueObject";
    QTest::newRow("me calls a sub and reads a global") << "x = 5\nSub S(a)\n r = a * Me.x\nEnd Sub\nDim r\nMe.S 2"
                                                       << "10";
    QTest::newRow("me writes a global") << "Me.r = \"via me\""
                                        << "via me";
    // Calls through parenthesised names pass their arguments ByRef.
    QTest::newRow("call through three parentheses")
        << "Sub Bump(ByRef a)\n a = a + 1\nEnd Sub\nx = 1\nCall (((Bump))) (x)\nr = x"
        << "2";
    QTest::newRow("function value through a parenthesised name")
        << "Function Twice(ByRef a)\n a = a * 2\n Twice = a + 1\nEnd Function\nx = 3\ny = (Twice)(x)\nr = x & \" \" & y"
        << "6 7";
    QTest::newRow("parenthesised method of an object")
        << "Class C\n Sub Put(ByRef a)\n  a = \"set\"\n End Sub\nEnd Class\nSet o = New C\nCall (o.Put)(v)\nr = v"
        << "set";
    QTest::newRow("a copy of a fixed array can be redimmed") << "Dim a(2)\nb = a\nReDim b(5)\nr = UBound(a) & UBound(b)"
                                                             << "25";
    QTest::newRow("a fixed array passed byval can be redimmed")
        << "Sub S(ByVal x)\n ReDim x(4)\n r = UBound(x)\nEnd Sub\nDim a(1), r\nS a"
        << "4";
}

void TstScript::declarationsAnywhere()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDetail()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

// ---- types as VBScript gives them ----

void TstScript::typesAsTheLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");

    // Hex and octal literals are Integers where the value fits 16 bits.
    QTest::newRow("&h10& is an integer") << ""
                                         << "&h10&"
                                         << "Integer"
                                         << "16";
    QTest::newRow("&hffFF& is a long") << ""
                                       << "&hffFF&"
                                       << "Long"
                                       << "65535";
    QTest::newRow("&hffFFffFF& is the integer -1") << ""
                                                   << "&hffFFffFF&"
                                                   << "Integer"
                                                   << "-1";
    QTest::newRow("&h7fff& is an integer, &h8000& a long") << ""
                                                           << "TypeName(&h7fff&) & TypeName(&h8000&)"
                                                           << "String"
                                                           << "IntegerLong";
    QTest::newRow("&h8000 alone is the integer -32768") << ""
                                                        << "&h8000"
                                                        << "Integer"
                                                        << "-32768";
    QTest::newRow("&h10000 is a long") << ""
                                       << "&h10000"
                                       << "Long"
                                       << "65536";
    QTest::newRow("&h80000000 is the smallest long") << ""
                                                     << "&h80000000"
                                                     << "Long"
                                                     << "-2147483648";
    // Round keeps Integers, Longs and Booleans; the rest is a Double.
    QTest::newRow("round of true stays boolean") << ""
                                                 << "Round(True)"
                                                 << "Boolean"
                                                 << "True";
    QTest::newRow("round of false with digits stays boolean") << ""
                                                              << "Round(False, 2)"
                                                              << "Boolean"
                                                              << "False";
    QTest::newRow("round of an integer") << ""
                                         << "Round(CInt(7))"
                                         << "Integer"
                                         << "7";
    QTest::newRow("round of a long") << ""
                                     << "Round(70000)"
                                     << "Long"
                                     << "70000";
    QTest::newRow("round of a currency is a double") << ""
                                                     << "Round(CCur(2.5))"
                                                     << "Double"
                                                     << "2";
    QTest::newRow("round of a text is a double") << ""
                                                 << "Round(\"2.567\", 2)"
                                                 << "Double"
                                                 << "2.57";
    // Booleans in conversions and texts.
    QTest::newRow("cbyte of true is 255") << ""
                                          << "CByte(True)"
                                          << "Byte"
                                          << "255";
    QTest::newRow("cbyte of false is 0") << ""
                                         << "CByte(False)"
                                         << "Byte"
                                         << "0";
    QTest::newRow("cbool of #TRUE#") << ""
                                     << "CBool(\"#TRUE#\")"
                                     << "Boolean"
                                     << "True";
    QTest::newRow("cbool of #false# in lower case") << ""
                                                    << "CBool(\" #false# \")"
                                                    << "Boolean"
                                                    << "False";
    QTest::newRow("not of #FALSE#") << ""
                                    << "Not \"#FALSE#\""
                                    << "Boolean"
                                    << "True";
    QTest::newRow("not of a text true") << ""
                                        << "Not \"True\""
                                        << "Boolean"
                                        << "False";
    QTest::newRow("not of a numeric text is a long") << ""
                                                     << "Not \"1\""
                                                     << "Long"
                                                     << "-2";
    QTest::newRow("if on #TRUE#") << "If \"#TRUE#\" Then r = \"yes\" Else r = \"no\""
                                  << "r"
                                  << "String"
                                  << "yes";
    QTest::newRow("#TRUE# and true") << ""
                                     << "CBool(\"#TRUE#\" And True)"
                                     << "Boolean"
                                     << "True";
    // Constants.
    QTest::newRow("vbMsgBoxHelpButton is a long") << ""
                                                  << "vbMsgBoxHelpButton"
                                                  << "Long"
                                                  << "16384";
    QTest::newRow("vbDatabaseCompare") << ""
                                       << "vbDatabaseCompare"
                                       << "Integer"
                                       << "2";
    QTest::newRow("vbSystemModal stays an integer") << ""
                                                    << "vbSystemModal"
                                                    << "Integer"
                                                    << "4096";
    // Objects by their default value.
    const QString numericDefault =
        QStringLiteral("Class N\n Public Default Property Get V\n  V = \"12.5\"\n End Property\nEnd Class\n"
                       "Class E\n Public Default Property Get V\n End Property\nEnd Class\nClass P\nEnd Class\n");
    QTest::newRow("isnumeric of an object with a numeric default") << numericDefault << "IsNumeric(New N)"
                                                                   << "Boolean"
                                                                   << "True";
    QTest::newRow("isnumeric of an object without a default") << numericDefault << "IsNumeric(New P)"
                                                              << "Boolean"
                                                              << "False";
    QTest::newRow("isnumeric of nothing") << ""
                                          << "IsNumeric(Nothing)"
                                          << "Boolean"
                                          << "False";
    QTest::newRow("a variable assigned from an empty default member is empty")
        << numericDefault + "Set o = New E\nx = o"
        << "TypeName(x) & IsEmpty(x)"
        << "String"
        << "EmptyTrue";
    QTest::newRow("a variable assigned from a default member keeps its type") << numericDefault + "x = New N"
                                                                              << "x"
                                                                              << "String"
                                                                              << "12.5";
    // The workstations' code page for Chr and Asc, Unicode for the W forms.
    QTest::newRow("chr of a gbk code") << ""
                                       << "Chr(&HD6D0)"
                                       << "String"
                                       << "中";
    QTest::newRow("asc of a chinese character is its gbk code") << ""
                                                                << "Asc(\"中\")"
                                                                << "Integer"
                                                                << "-10544";
    QTest::newRow("ascw above &h7fff is negative") << ""
                                                   << "AscW(ChrW(&HFFFF))"
                                                   << "Integer"
                                                   << "-1";
    QTest::newRow("chr and asc round trip") << ""
                                            << "Asc(Chr(&HB0A1)) = &HB0A1"
                                            << "Boolean"
                                            << "True";
}

void TstScript::typesAsTheLanguage()
{
    QFETCH(QString, code);
    QFETCH(QString, expr);
    QFETCH(QString, type);
    QFETCH(QString, text);
    if (!code.isEmpty())
        QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDetail()));
    const ScriptValue v = m_engine->eval(expr);
    QVERIFY2(!m_engine->hasError(), qPrintable(m_engine->errorDetail()));
    QCOMPARE(v.typeName(), type);
    QCOMPARE(v.toString(), text);
}

// ---- error numbers as VBScript gives them ----

void TstScript::errorNumbersAsTheLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<int>("line");

    const qint64 invalidCall = 5, overflow = 6, fixed = 10, typeMismatch = 13, null = 94, objectRequired = 424,
                 noMember = 438, arguments = 450, unsupported = 458;
    // Argument checks of the built-ins.
    QTest::newRow("instr with a null start") << "x = InStr(Null, \"a\", \"b\")" << null << 1;
    QTest::newRow("instr with compare 2") << "x = InStr(1, \"a\", \"b\", 2)" << invalidCall << 1;
    QTest::newRow("instr with a null compare") << "x = InStr(1, \"a\", \"b\", Null)" << null << 1;
    QTest::newRow("instrrev of null") << "x = InStrRev(Null, \"a\")" << null << 1;
    QTest::newRow("instrrev from -2") << "x = InStrRev(\"abc\", \"a\", -2)" << invalidCall << 1;
    QTest::newRow("instrrev with compare 5") << "x = InStrRev(\"abc\", \"a\", 1, 5)" << invalidCall << 1;
    QTest::newRow("mid of empty") << "x = Mid(Empty, 1)" << invalidCall << 1;
    QTest::newRow("mid from null") << "x = Mid(\"abc\", Null)" << null << 1;
    QTest::newRow("mid of a null length") << "x = Mid(\"abc\", 1, Null)" << null << 1;
    QTest::newRow("mid from empty") << "x = Mid(\"abc\", Empty)" << invalidCall << 1;
    QTest::newRow("join of null") << "x = Join(Null)" << null << 1;
    QTest::newRow("join of an object") << "x = Join(New RegExp)" << noMember << 1;
    QTest::newRow("join with a null element") << "x = Join(Array(1, Null))" << typeMismatch << 1;
    QTest::newRow("join with a null delimiter") << "x = Join(Array(1), Null)" << null << 1;
    QTest::newRow("join of two dimensions") << "Dim m(1, 1)\nx = Join(m)" << typeMismatch << 2;
    QTest::newRow("split with a null delimiter") << "x = Split(\"a b\", Null)" << null << 1;
    QTest::newRow("split with a count of -2") << "x = Split(\"a b\", \" \", -2)" << invalidCall << 1;
    QTest::newRow("split with compare 2") << "x = Split(\"a b\", \" \", -1, 2)" << invalidCall << 1;
    QTest::newRow("replace with a null find") << "x = Replace(\"abc\", Null, \"x\")" << null << 1;
    QTest::newRow("replace with a null count") << "x = Replace(\"abc\", \"a\", \"x\", 1, Null)" << null << 1;
    QTest::newRow("replace with compare 2") << "x = Replace(\"abc\", \"a\", \"x\", 1, -1, 2)" << invalidCall << 1;
    QTest::newRow("chr of 256 is no gbk character") << "x = Chr(256)" << invalidCall << 1;
    QTest::newRow("chr of a lone lead byte") << "x = Chr(&H81)" << invalidCall << 1;
    QTest::newRow("chr beyond 65535") << "x = Chr(65536)" << invalidCall << 1;
    QTest::newRow("chr of null") << "x = Chr(Null)" << null << 1;
    QTest::newRow("weekday with first day 8") << "x = Weekday(#2026-01-01#, 8)" << invalidCall << 1;
    QTest::newRow("weekday with a null first day") << "x = Weekday(#2026-01-01#, Null)" << null << 1;
    QTest::newRow("weekdayname with first day 9") << "x = WeekdayName(1, False, 9)" << invalidCall << 1;
    QTest::newRow("monthname 0") << "x = MonthName(0)" << invalidCall << 1;
    QTest::newRow("monthname of null") << "x = MonthName(Null)" << null << 1;
    // A conversion whose value nobody takes, after the conversion itself.
    QTest::newRow("cint as a statement") << "r = 1\nCInt 5" << unsupported << 2;
    QTest::newRow("call cdbl") << "Call CDbl(\"1.5\")" << unsupported << 1;
    QTest::newRow("clng in parentheses as a statement") << "CLng(7)" << unsupported << 1;
    QTest::newRow("a failing conversion as a statement fails as the conversion") << "CByte 300" << overflow << 1;
    QTest::newRow("cint of a word") << "x = CInt(\"abc\")" << typeMismatch << 1;
    QTest::newRow("ccur beyond its range") << "x = CCur(1E+20)" << overflow << 1;
    QTest::newRow("csng of null") << "x = CSng(Null)" << null << 1;
    QTest::newRow("cdate without an argument") << "x = CDate()" << arguments << 1;
    // The Format functions and Null.
    QTest::newRow("formatnumber of null") << "x = FormatNumber(Null)" << typeMismatch << 1;
    QTest::newRow("formatnumber with null digits") << "x = FormatNumber(1, Null)" << null << 1;
    QTest::newRow("formatcurrency of null") << "x = FormatCurrency(Null)" << typeMismatch << 1;
    QTest::newRow("formatcurrency of a word") << "x = FormatCurrency(\"abc\")" << typeMismatch << 1;
    QTest::newRow("formatpercent of null") << "x = FormatPercent(Null)" << typeMismatch << 1;
    QTest::newRow("formatpercent with a null group option") << "x = FormatPercent(1, 2, -1, 0, Null)" << null << 1;
    QTest::newRow("formatdatetime of null") << "x = FormatDateTime(Null)" << typeMismatch << 1;
    QTest::newRow("formatdatetime with a null format") << "x = FormatDateTime(#2026-01-01#, Null)" << null << 1;
    QTest::newRow("formatdatetime with format 5") << "x = FormatDateTime(#2026-01-01#, 5)" << invalidCall << 1;
    // Err.Raise takes a Long that names an error.
    QTest::newRow("raise above 65535") << "Err.Raise 65536" << invalidCall << 1;
    QTest::newRow("raise beyond a long") << "Err.Raise 2147483648" << overflow << 1;
    // Statements.
    QTest::newRow("redim of a fixed array in a procedure") << "Sub S\n Dim a(1)\n ReDim a(2)\nEnd Sub\nS" << fixed << 3;
    QTest::newRow("redim preserve of a fixed array") << "Dim a(1)\nReDim Preserve a(2)" << fixed << 2;
    QTest::newRow("redim of a fixed array passed byref")
        << "Sub S(x)\n ReDim x(4)\nEnd Sub\nDim a(1)\nS a" << fixed << 2;
    QTest::newRow("with nothing fails where a member is used")
        << "With Nothing\n x = 1\n .Name = 2\nEnd With" << objectRequired << 3;
    QTest::newRow("with a number") << "With 5\n y = .Value\nEnd With" << objectRequired << 2;
    QTest::newRow("parenthesised function without parameters given an argument")
        << "Function F()\nEnd Function\nx = (F)(1)" << arguments << 3;
}

void TstScript::errorNumbersAsTheLanguage()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(int, line);
    QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorDescription(), scriptErrorText(number));
    QCOMPARE(m_engine->errorSource(), QStringLiteral("Microsoft VBScript runtime error"));
    QCOMPARE(m_engine->errorLine(), line);
    QCOMPARE(m_engine->errorDetail(), QStringLiteral("line %1: %2").arg(line).arg(scriptErrorText(number)));
}

// ---- On Error Resume Next into the blocks of statements ----

void TstScript::resumeNextIntoBlocks_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("failing if condition runs the then block")
        << "On Error Resume Next\nIf Array()(1) Then\n r = \"then\"\nElse\n r = \"else\"\nEnd If\nr = r & Err.Number"
        << "then9";
    QTest::newRow("failing elseif condition runs its block")
        << "On Error Resume Next\nx = 2\nIf x = 1 Then\n r = \"if\"\nElseIf x / 0 Then\n r = \"elseif\"\nElse\n r = "
           "\"else\"\nEnd If\nr = r & Err.Number"
        << "elseif11";
    QTest::newRow("failing case value runs its clause")
        << "On Error Resume Next\nSelect Case 1\nCase 1 / 0\n r = \"first\"\nCase 1\n r = \"second\"\nEnd "
           "Select\nr = r & Err.Number"
        << "first11";
    QTest::newRow("failing value in a list of a later clause")
        << "On Error Resume Next\nSelect Case 3\nCase 1, 2\n r = \"low\"\nCase 9, CInt(\"x\")\n r = \"bad\"\nCase 3\n "
           "r = \"three\"\nEnd Select\nr = r & Err.Number"
        << "bad13";
    QTest::newRow("failing subject skips the select")
        << "On Error Resume Next\nr = \"before\"\nSelect Case 1 / 0\nCase Else\n r = \"else\"\nEnd Select\nr = r & "
           "Err.Number"
        << "before11";
    QTest::newRow("failing collection runs the body once")
        << "On Error Resume Next\nFor Each x In 1 / 0\n n = n + 1\nNext\nr = n & IsEmpty(x) & Err.Number"
        << "1True11";
    QTest::newRow("for each over a number runs the body once")
        << "On Error Resume Next\nx = \"kept\"\nFor Each x In 5\n r = r & \"body \" & x\nNext\nr = r & \" \" & Err.Number"
        << "body kept 451";
    QTest::newRow("error raised inside the collection's function")
        << "Function Items()\n Items = Array(1)\n Err.Raise 1000\nEnd Function\nOn Error Resume Next\nFor Each x In "
           "Items()\n r = r & \"body\"\nNext\nr = r & Err.Number"
        << "body1000";
    QTest::newRow("exit for in the body run once") << "On Error Resume Next\nFor Each x In Nothing\n r = \"in\"\n Exit "
                                                      "For\n r = \"not here\"\nNext\nr = r & Err.Number"
                                                   << "in451";
    QTest::newRow("failing with expression runs its block")
        << "On Error Resume Next\nWith CreateObject(\"No.Such\")\n r = \"in\"\n x = .Value\n r = r & Err.Number\nEnd "
           "With"
        << "in424";
    QTest::newRow("in a procedure with its own handler")
        << "Dim r\nSub S()\n On Error Resume Next\n Select Case \"a\"\n Case 1 / 0\n  r = \"entered \" & Err.Number\n "
           "End Select\nEnd Sub\nS"
        << "entered 11";
    QTest::newRow("without resume next the error stops the select")
        << "Dim r\nSub S()\n Select Case 1\n Case 1 / 0\n  r = \"not here\"\n End Select\nEnd Sub\nOn Error Resume "
           "Next\nS\nr = r & Err.Number"
        << "11";
}

void TstScript::resumeNextIntoBlocks()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDetail()));
    QVERIFY(!m_engine->hasError());
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
}

// ---- Rnd and Randomize give the language's sequence ----

void TstScript::rndSequence_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("r");

    QTest::newRow("a new engine starts the known sequence") << "r = Rnd & \" \" & Rnd & \" \" & Rnd"
                                                            << "0.7055475 0.533424 0.5795186";
    QTest::newRow("rnd is a single") << "r = TypeName(Rnd)"
                                     << "Single";
    QTest::newRow("rnd(-1)") << "r = Rnd(-1)"
                             << "0.224007";
    QTest::newRow("rnd(-2) twice gives the same number") << "x = Rnd(-2)\ny = Rnd\nr = (Rnd(-2) = x) & (x <> y)"
                                                         << "TrueTrue";
    QTest::newRow("rnd(0) repeats the last number") << "x = Rnd\nr = (Rnd(0) = x) & (Rnd(0) = x) & (Rnd(1) <> x)"
                                                    << "TrueTrueTrue";
    QTest::newRow("randomize 0 on a new engine") << "Randomize 0\nr = Rnd"
                                                 << "0.7641413";
    QTest::newRow("rnd(-1) before randomize n repeats the sequence")
        << "Rnd -1\nRandomize 100\na = Rnd & Rnd\nRnd -1\nRandomize 100\nr = (Rnd & Rnd = a)"
        << "True";
    QTest::newRow("randomize n alone does not repeat it") << "Randomize 100\na = Rnd\nRandomize 100\nr = (Rnd = a)"
                                                          << "False";
    QTest::newRow("randomize keeps the numbers below one") << "Randomize\nFor i = 1 To 1000\n x = Rnd\n If x < 0 Or "
                                                              "x >= 1 Then r = \"out \" & x\nNext\nr = r & \"ok\""
                                                           << "ok";
}

void TstScript::rndSequence()
{
    QFETCH(QString, code);
    QFETCH(QString, r);
    QVERIFY2(m_engine->addCode(code), qPrintable(m_engine->errorDetail()));
    QCOMPARE(m_engine->global(QStringLiteral("r")).toString(), r);
    // A reset starts the sequence again.
    m_engine->reset();
    QCOMPARE(m_engine->eval(QStringLiteral("Rnd")).toString(), QStringLiteral("0.7055475"));
}

// ---- where a text fails to compile ----

void TstScript::compileErrorDetails_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("detail");

    QTest::newRow("two statements on a line")
        << "x = 1 y = 2" << qint64(1025) << "line 1: Expected end of statement at 'y' after the assignment to x";
    QTest::newRow("a call with two arguments without a comma")
        << "r = 1\nFoo 1 2" << qint64(1025) << "line 2: Expected end of statement at '2' after the call of Foo";
    QTest::newRow("junk after end if")
        << "If x Then\n y = 2\nEnd If z" << qint64(1025)
        << "line 3: Expected end of statement at 'z' after the If statement begun on line 1";
    QTest::newRow("if without end if") << "If x Then\n y = 2\n"
                                       << qint64(1014) << "line 3: Expected 'End' in the If statement begun on line 1";
    QTest::newRow("select without end select")
        << "Select Case x\n Case 1\n  y = 1\n"
        << qint64(1014) << "line 4: Expected 'End' in the Select Case statement begun on line 1";
    QTest::newRow("for header with junk")
        << "For i = 1 To 3 x\nNext" << qint64(1025) << "line 1: Expected end of statement in the For loop";
    QTest::newRow("unfinished expression in a loop of a sub")
        << "Sub A\n For i = 1 To 3\n  x = (1 + \n Next\nEnd Sub" << qint64(1023)
        << "line 3: Expected expression in the parenthesised expression, in the assignment to x, in the For loop "
           "begun on line 2";
    QTest::newRow("unclosed argument list")
        << "r = Foo(1, 2" << qint64(1006) << "line 1: Expected ')' in the argument list of Foo, in the assignment to r";
    QTest::newRow("bad parameter of a method")
        << "Class C\n Public Sub S(\nEnd Class" << qint64(1010)
        << "line 2: Expected identifier in the Sub S, in the Class C begun on line 1";
    QTest::newRow("property get without end property")
        << "Class C\n Property Get V\n  V = 1\n End Sub\nEnd Class" << qint64(1050)
        << "line 4: Expected 'Property' in the Property Get V begun on line 2, in the Class C begun on line 1";
    QTest::newRow("sub inside a block of a sub")
        << "Sub A()\n If True Then\n  Sub B()\n  End Sub\n End If\nEnd Sub" << qint64(1024)
        << "line 3: Expected statement in the If statement begun on line 2, "
           "in the Sub A begun on line 1";
    QTest::newRow("unterminated text") << "x = \"abc" << qint64(1033) << "line 1: Unterminated string constant \"abc";
    QTest::newRow("bad date literal") << "x = 1\nx = #2026-13-01#" << qint64(1002)
                                      << "line 2: Syntax error in the date literal #2026-13-01#";
    QTest::newRow("invalid character") << "x = 1 ? 2" << qint64(1032) << "line 1: Invalid character '?'";
    QTest::newRow("letters after a number")
        << "x = 12abc" << qint64(1025) << "line 1: Expected end of statement after the number 12";
    QTest::newRow("hex literal beyond 32 bits")
        << "x = &H100000000" << qint64(6) << "line 1: Overflow in the number &H100000000";
    QTest::newRow("loop until without its condition")
        << "Do\n x = 1\nLoop Until" << qint64(1023) << "line 3: Expected expression in the Do loop begun on line 1";
    QTest::newRow("dangling operator in an expression")
        << "1 +" << qint64(1023) << "line 1: Expected expression in the expression";
}

void TstScript::compileErrorDetails()
{
    QFETCH(QString, code);
    QFETCH(qint64, number);
    QFETCH(QString, detail);
    // A text of one expression goes through Eval, any other through AddCode.
    if (code == QLatin1String("1 +"))
        QVERIFY(m_engine->eval(code).isEmpty());
    else
        QVERIFY(!m_engine->addCode(code));
    QCOMPARE(m_engine->errorNumber(), number);
    QCOMPARE(m_engine->errorSource(), QStringLiteral("Microsoft VBScript compilation error"));
    QCOMPARE(m_engine->errorDetail(), detail);
}

QTEST_GUILESS_MAIN(TstScript)
#include "tst_script.moc"
