#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

class ScriptObject;
struct ScriptArray;

// A failure inside the script engine: a VBScript error number and its text.
// Host objects throw it to hand an error to the script (Err.Number etc.).
class ScriptError
{
public:
    ScriptError(qint64 number, QString description, QString source = QString(), int line = 0)
        : number(number), description(std::move(description)), source(std::move(source)), line(line)
    {}
    qint64 number;
    QString description;
    QString source;
    int line; // 1-based line of the code text; 0 when not known yet
    // For compilation errors: the line and the construct the parser was in
    // ("line 4: Expected 'End' in the If block begun on line 2").
    QString detail;
};

// VBScript's own error numbers, those the engine raises.
namespace ScriptErrorNumber {
constexpr qint64 InvalidCall = 5;
constexpr qint64 Overflow = 6;
constexpr qint64 OutOfMemory = 7;
constexpr qint64 SubscriptOutOfRange = 9;
constexpr qint64 ArrayFixed = 10;
constexpr qint64 DivisionByZero = 11;
constexpr qint64 TypeMismatch = 13;
constexpr qint64 OutOfStack = 28;
constexpr qint64 ProcedureNotDefined = 35;
constexpr qint64 ObjectNotSet = 91;
constexpr qint64 InvalidUseOfNull = 94;
constexpr qint64 CannotCreateObject = 429;
constexpr qint64 ObjectRequired = 424;
constexpr qint64 NoSuchMember = 438;
constexpr qint64 WrongArgumentCount = 450;
constexpr qint64 NotACollection = 451;
constexpr qint64 UnsupportedType = 458;
constexpr qint64 ClassNotDefined = 506;
constexpr qint64 VariableUndefined = 500;
constexpr qint64 IllegalAssignment = 501;
constexpr qint64 SyntaxError = 1002;
constexpr qint64 ExpectedStatement = 1024;
constexpr qint64 ExpectedEndOfStatement = 1025;
constexpr qint64 NameRedefined = 1041;
constexpr qint64 InvalidArgument = -2147024809; // 0x80070057
constexpr qint64 Aborted = -2147467260;         // 0x80004004, the run exceeded its time limit
} // namespace ScriptErrorNumber

// The standard text of a VBScript error number ("Type mismatch"); numbers
// without one read "Unknown runtime error".
QString scriptErrorText(qint64 number);
// Throws ScriptError(number) with its standard text. The detail (the name
// concerned) is not part of the description, as Err.Description has none.
[[noreturn]] void throwScriptError(qint64 number, const QString &detail = QString());

// A VBScript Variant. Texts of numbers and dates do not follow the locale:
// "." is the decimal point and dates read yyyy-MM-dd HH:mm:ss, so SQL text
// built from them is the same on every workstation.
//
// Arrays share their storage between copies until one of
// them is written (copy on write), which gives VBScript's value semantics for
// array assignment. Objects are shared references; Nothing is an Object
// value without an object.
class ScriptValue
{
public:
    // The numbers are VarType's.
    enum Type {
        Empty = 0,
        Null = 1,
        Integer = 2,
        Long = 3,
        Single = 4,
        Double = 5,
        Currency = 6,
        Date = 7,
        String = 8,
        Object = 9,
        Boolean = 11,
        Byte = 17,
        Array = 8204
    };

    ScriptValue() = default;
    ScriptValue(const QString &s) : m_type(String), m_string(s) {}
    ScriptValue(const char *s) : m_type(String), m_string(QString::fromUtf8(s)) {}
    // Numbers and Booleans go through integer(), number() and boolean(): a
    // literal 0 would otherwise become the text constructor's null pointer.
    ScriptValue(std::nullptr_t) = delete;
    ScriptValue(int) = delete;
    ScriptValue(bool) = delete;
    ScriptValue(double) = delete;

    static ScriptValue null();
    static ScriptValue boolean(bool b);
    // Integer when the value fits 16 bits, Long for 32 bits, Double beyond.
    static ScriptValue integer(qint64 i);
    static ScriptValue ofType(Type t, double d); // numeric or Date value tagged with t
    static ScriptValue number(double d);
    static ScriptValue date(double oleDate);
    static ScriptValue object(std::shared_ptr<ScriptObject> o); // null pointer = Nothing
    static ScriptValue nothing() { return object(nullptr); }
    static ScriptValue array(std::shared_ptr<ScriptArray> a);
    static ScriptValue array(const QList<ScriptValue> &items); // one dimension, 0-based

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Empty; }
    bool isNull() const { return m_type == Null; }
    bool isString() const { return m_type == String; }
    bool isObject() const { return m_type == Object; }
    bool isArray() const { return m_type == Array; }
    bool isNumeric() const; // a numeric or Boolean subtype (not Date, not String)
    QString typeName() const;

    // Conversions as VBScript performs them; each throws ScriptError
    // (13 Type mismatch, 94 Invalid use of Null, 6 Overflow) where VBScript does.
    QString toString() const;
    double toDouble() const;
    qint64 toLong() const; // banker's rounding, as CLng
    bool toBool() const;
    double toDate() const; // as CDate
    // The numeric value or Boolean/Date/Empty as a number, for arithmetic.
    ScriptValue toNumeric() const;

    // Raw access without conversion.
    double numberValue() const { return m_number; }
    const QString &stringValue() const { return m_string; }
    const std::shared_ptr<ScriptObject> &objectValue() const { return m_object; }
    const std::shared_ptr<ScriptArray> &arrayValue() const { return m_array; }
    // The array for writing: detaches storage shared with other copies.
    ScriptArray &mutableArray();

    QVariant toVariant() const;
    static ScriptValue fromVariant(const QVariant &v);

    // Text parsing shared by conversions and IsNumeric/IsDate.
    static bool parseNumber(const QString &text, double *out);
    // "True", "False" and the forms "#TRUE#", "#FALSE#", without regard to case.
    static bool parseBoolean(const QString &text, bool *out);
    static bool parseDate(const QString &text, double *out);
    static QString formatNumber(double d);
    static QString formatDate(double oleDate);
    static double oleFromDateTime(const class QDateTime &dt);
    static class QDateTime dateTimeFromOle(double d);

private:
    Type m_type = Empty;
    double m_number = 0; // numbers, Booleans (0/1) and dates
    QString m_string;
    std::shared_ptr<ScriptObject> m_object;
    std::shared_ptr<ScriptArray> m_array;
};

// Array storage: any number of dimensions, each 0-based with an upper bound
// (-1 for an empty dimension); elements in row-major order.
struct ScriptArray
{
    QList<int> upper;
    QList<ScriptValue> items;
    bool fixed = false; // declared with bounds by Dim: ReDim refuses it

    // Element index of the subscripts, or -1 when one is out of range.
    qsizetype offset(const QList<qint64> &subscripts) const;
    static qsizetype count(const QList<int> &upper);
};

// Operators of the language on values, with VBScript's coercions.
namespace ScriptOps {
enum class Op { Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat, Eq, Ne, Lt, Gt, Le, Ge, And, Or, Xor, Eqv, Imp, Is };
// lhsLiteral/rhsLiteral: the operand is a constant of the code, which makes
// a comparison of a number with a text compare as the constant's type.
ScriptValue binary(Op op, const ScriptValue &a, const ScriptValue &b, bool lhsLiteral = false, bool rhsLiteral = false);
ScriptValue negate(const ScriptValue &a);
ScriptValue logicalNot(const ScriptValue &a);
// -1, 0, 1 as "=" compares; Null when either side is Null (returned as 2).
int compare(const ScriptValue &a, const ScriptValue &b, bool lhsLiteral = false, bool rhsLiteral = false);
double bankersRound(double d);
} // namespace ScriptOps
