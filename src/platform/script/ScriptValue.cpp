#include "platform/script/ScriptValue.h"

#include "platform/script/ScriptObject.h"

#include <QDateTime>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// Longest text the engine builds; beyond it VBScript would run out of memory
// and so does the script, instead of the process.
constexpr qsizetype kMaxStringLength = 64 * 1024 * 1024;

const QDate kOleEpoch(1899, 12, 30);
// Dates run from 100-01-01 to 9999-12-31, as in VBScript.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0; // exclusive

double checkedDate(double d)
{
    if (!(d >= kMinOleDate && d < kMaxOleDate))
        throwScriptError(ScriptErrorNumber::Overflow);
    return d;
}

bool isIntegral(ScriptValue::Type t)
{
    return t == ScriptValue::Integer || t == ScriptValue::Long || t == ScriptValue::Byte || t == ScriptValue::Boolean ||
           t == ScriptValue::Empty;
}

bool isSmall(ScriptValue::Type t)
{
    return t == ScriptValue::Integer || t == ScriptValue::Byte || t == ScriptValue::Boolean || t == ScriptValue::Empty;
}

// The integer result of an operation on integral operands: Integer when both
// were at most Integer and it fits, else Long, else Double (VBScript's overflow
// promotion).
ScriptValue integralResult(qint64 r, ScriptValue::Type a, ScriptValue::Type b)
{
    if (a == ScriptValue::Byte && b == ScriptValue::Byte && r >= 0 && r <= 255)
        return ScriptValue::ofType(ScriptValue::Byte, double(r));
    if (isSmall(a) && isSmall(b) && r >= -32768 && r <= 32767)
        return ScriptValue::ofType(ScriptValue::Integer, double(r));
    if (r >= std::numeric_limits<qint32>::min() && r <= std::numeric_limits<qint32>::max())
        return ScriptValue::ofType(ScriptValue::Long, double(r));
    return ScriptValue::number(double(r));
}

ScriptValue resolved(const ScriptValue &v)
{
    if (v.isObject())
        return ScriptObject::defaultValue(v.objectValue());
    return v;
}

ScriptValue checkedString(QString s)
{
    if (s.size() > kMaxStringLength)
        throwScriptError(ScriptErrorNumber::OutOfMemory);
    return ScriptValue(s);
}

} // namespace

QString scriptErrorText(qint64 number)
{
    switch (number) {
    case 3:
        return QStringLiteral("Return without GoSub");
    case 5:
        return QStringLiteral("Invalid procedure call or argument");
    case 6:
        return QStringLiteral("Overflow");
    case 7:
        return QStringLiteral("Out of memory");
    case 9:
        return QStringLiteral("Subscript out of range");
    case 10:
        return QStringLiteral("This array is fixed or temporarily locked");
    case 11:
        return QStringLiteral("Division by zero");
    case 13:
        return QStringLiteral("Type mismatch");
    case 14:
        return QStringLiteral("Out of string space");
    case 28:
        return QStringLiteral("Out of stack space");
    case 35:
        return QStringLiteral("Sub or Function not defined");
    case 48:
        return QStringLiteral("Error in loading DLL");
    case 51:
        return QStringLiteral("Internal error");
    case 91:
        return QStringLiteral("Object variable not set");
    case 92:
        return QStringLiteral("For loop not initialized");
    case 94:
        return QStringLiteral("Invalid use of Null");
    case 424:
        return QStringLiteral("Object required");
    case 429:
        return QStringLiteral("ActiveX component can't create object");
    case 438:
        return QStringLiteral("Object doesn't support this property or method");
    case 450:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case 451:
        return QStringLiteral("Object not a collection");
    case 458:
        return QStringLiteral("Variable uses an Automation type not supported in VBScript");
    case 500:
        return QStringLiteral("Variable is undefined");
    case 501:
        return QStringLiteral("Illegal assignment");
    case 502:
        return QStringLiteral("Object not safe for scripting");
    case 506:
        return QStringLiteral("Class not defined");
    case 445:
        return QStringLiteral("Object doesn't support this action");
    case 449:
        return QStringLiteral("Argument not optional");
    case 430:
        return QStringLiteral("Class doesn't support Automation");
    case 70:
        return QStringLiteral("Permission denied");
    case 53:
        return QStringLiteral("File not found");
    case 5016:
        return QStringLiteral("Regular Expression object expected");
    case 5017:
        return QStringLiteral("Syntax error in regular expression");
    case 5018:
        return QStringLiteral("Unexpected quantifier");
    case 5019:
        return QStringLiteral("Expected ']' in regular expression");
    case 5020:
        return QStringLiteral("Expected ')' in regular expression");
    case 5021:
        return QStringLiteral("Invalid range in character set");
    case 1001:
        return QStringLiteral("Out of memory");
    case 1002:
        return QStringLiteral("Syntax error");
    case 1003:
        return QStringLiteral("Expected ':'");
    case 1005:
        return QStringLiteral("Expected '('");
    case 1006:
        return QStringLiteral("Expected ')'");
    case 1010:
        return QStringLiteral("Expected identifier");
    case 1011:
        return QStringLiteral("Expected '='");
    case 1012:
        return QStringLiteral("Expected 'If'");
    case 1013:
        return QStringLiteral("Expected 'To'");
    case 1014:
        return QStringLiteral("Expected 'End'");
    case 1015:
        return QStringLiteral("Expected 'Function'");
    case 1016:
        return QStringLiteral("Expected 'Sub'");
    case 1017:
        return QStringLiteral("Expected 'Then'");
    case 1018:
        return QStringLiteral("Expected 'Wend'");
    case 1019:
        return QStringLiteral("Expected 'Loop'");
    case 1020:
        return QStringLiteral("Expected 'Next'");
    case 1021:
        return QStringLiteral("Expected 'Case'");
    case 1022:
        return QStringLiteral("Expected 'Select'");
    case 1023:
        return QStringLiteral("Expected expression");
    case 1024:
        return QStringLiteral("Expected statement");
    case 1025:
        return QStringLiteral("Expected end of statement");
    case 1026:
        return QStringLiteral("Expected integer constant");
    case 1027:
        return QStringLiteral("Expected 'While' or 'Until'");
    case 1028:
        return QStringLiteral("Expected 'While', 'Until' or end of statement");
    case 1029:
        return QStringLiteral("Expected 'With'");
    case 1032:
        return QStringLiteral("Invalid character");
    case 1033:
        return QStringLiteral("Unterminated string constant");
    case 1038:
        return QStringLiteral("'loop' without 'do'");
    case 1039:
        return QStringLiteral("Invalid 'exit' statement");
    case 1041:
        return QStringLiteral("Name redefined");
    case 1044:
        return QStringLiteral("Cannot use parentheses when calling a Sub");
    case 1045:
        return QStringLiteral("Expected literal constant");
    case 1046:
        return QStringLiteral("Expected 'In'");
    case 1047:
        return QStringLiteral("Expected 'Class'");
    case 1048:
        return QStringLiteral("Must be defined inside a Class");
    case 1049:
        return QStringLiteral("Expected Let or Set or Get in property declaration");
    case 1050:
        return QStringLiteral("Expected 'Property'");
    case 1052:
        return QStringLiteral("Cannot have multiple default property/method in a Class");
    case 1053:
        return QStringLiteral("Class initialize or terminate do not have arguments");
    case 1054:
        return QStringLiteral("Property set or let must have at least one argument");
    case 1057:
        return QStringLiteral("'Default' specification must also specify 'Public'");
    case 1055:
        return QStringLiteral("Unexpected 'Next'");
    case ScriptErrorNumber::InvalidArgument:
        return QStringLiteral("Invalid argument");
    case ScriptErrorNumber::Aborted:
        return QStringLiteral("The script ran longer than its time limit");
    default:
        return QStringLiteral("Unknown runtime error");
    }
}

void throwScriptError(qint64 number, const QString &detail)
{
    Q_UNUSED(detail);
    throw ScriptError(number, scriptErrorText(number));
}

// ---- construction ----

ScriptValue ScriptValue::null()
{
    ScriptValue v;
    v.m_type = Null;
    return v;
}

ScriptValue ScriptValue::boolean(bool b)
{
    ScriptValue v;
    v.m_type = Boolean;
    v.m_number = b ? -1 : 0;
    return v;
}

ScriptValue ScriptValue::integer(qint64 i)
{
    return integralResult(i, Integer, Integer);
}

ScriptValue ScriptValue::ofType(Type t, double d)
{
    ScriptValue v;
    v.m_type = t;
    v.m_number = d;
    return v;
}

ScriptValue ScriptValue::number(double d)
{
    return ofType(Double, d);
}

ScriptValue ScriptValue::date(double oleDate)
{
    return ofType(Date, oleDate);
}

ScriptValue ScriptValue::object(std::shared_ptr<ScriptObject> o)
{
    ScriptValue v;
    v.m_type = Object;
    v.m_object = std::move(o);
    return v;
}

ScriptValue ScriptValue::array(std::shared_ptr<ScriptArray> a)
{
    ScriptValue v;
    v.m_type = Array;
    v.m_array = std::move(a);
    return v;
}

ScriptValue ScriptValue::array(const QList<ScriptValue> &items)
{
    auto a = std::make_shared<ScriptArray>();
    a->upper = {int(items.size()) - 1};
    a->items = items;
    return array(a);
}

ScriptArray &ScriptValue::mutableArray()
{
    if (m_array.use_count() > 1)
        m_array = std::make_shared<ScriptArray>(*m_array);
    return *m_array;
}

bool ScriptValue::isNumeric() const
{
    switch (m_type) {
    case Integer:
    case Long:
    case Single:
    case Double:
    case Currency:
    case Boolean:
    case Byte:
        return true;
    default:
        return false;
    }
}

QString ScriptValue::typeName() const
{
    switch (m_type) {
    case Empty:
        return QStringLiteral("Empty");
    case Null:
        return QStringLiteral("Null");
    case Integer:
        return QStringLiteral("Integer");
    case Long:
        return QStringLiteral("Long");
    case Single:
        return QStringLiteral("Single");
    case Double:
        return QStringLiteral("Double");
    case Currency:
        return QStringLiteral("Currency");
    case Date:
        return QStringLiteral("Date");
    case String:
        return QStringLiteral("String");
    case Object:
        return m_object ? m_object->typeName() : QStringLiteral("Nothing");
    case Boolean:
        return QStringLiteral("Boolean");
    case Byte:
        return QStringLiteral("Byte");
    case Array:
        return QStringLiteral("Variant()");
    }
    return QString();
}

// ---- conversions ----

QString ScriptValue::toString() const
{
    switch (m_type) {
    case Empty:
        return QString();
    case Null:
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    case Boolean:
        return m_number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case Integer:
    case Long:
    case Byte:
        return QString::number(qint64(m_number));
    case Single:
        return QString::number(m_number, 'g', 7).toUpper();
    case Double:
    case Currency:
        return formatNumber(m_number);
    case Date:
        return formatDate(m_number);
    case String:
        return m_string;
    case Object:
        return resolved(*this).toString();
    case Array:
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    }
    return QString();
}

double ScriptValue::toDouble() const
{
    switch (m_type) {
    case Empty:
        return 0;
    case Null:
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    case String: {
        double d = 0;
        if (!parseNumber(m_string, &d))
            throwScriptError(ScriptErrorNumber::TypeMismatch);
        return d;
    }
    case Object:
        return resolved(*this).toDouble();
    case Array:
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    default:
        return m_number;
    }
}

qint64 ScriptValue::toLong() const
{
    const double d = ScriptOps::bankersRound(toDouble());
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        throwScriptError(ScriptErrorNumber::Overflow);
    return qint64(d);
}

bool ScriptValue::toBool() const
{
    switch (m_type) {
    case String: {
        bool b = false;
        if (parseBoolean(m_string, &b))
            return b;
        return toDouble() != 0;
    }
    case Object:
        return resolved(*this).toBool();
    default:
        return toDouble() != 0;
    }
}

double ScriptValue::toDate() const
{
    switch (m_type) {
    case String: {
        double d = 0;
        if (parseDate(m_string, &d) || parseNumber(m_string, &d))
            return checkedDate(d);
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    }
    case Object:
        return resolved(*this).toDate();
    default:
        return checkedDate(toDouble());
    }
}

ScriptValue ScriptValue::toNumeric() const
{
    switch (m_type) {
    case Empty:
        return ofType(Integer, 0);
    case Null:
        return *this;
    case String:
        return number(toDouble());
    case Object:
        return resolved(*this).toNumeric();
    case Array:
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    default:
        return *this;
    }
}

QVariant ScriptValue::toVariant() const
{
    switch (m_type) {
    case Empty:
        return QVariant();
    case Null:
        return QVariant(QMetaType(QMetaType::Nullptr));
    case Boolean:
        return QVariant(m_number != 0);
    case Integer:
    case Long:
    case Byte:
        return QVariant(qint64(m_number)).toInt();
    case Single:
    case Double:
    case Currency:
        return QVariant(m_number);
    case Date:
        return QVariant(dateTimeFromOle(m_number));
    case String:
        return QVariant(m_string);
    case Object: {
        auto *wrapper = dynamic_cast<QObjectScriptObject *>(m_object.get());
        return wrapper ? QVariant::fromValue(wrapper->object()) : QVariant();
    }
    case Array: {
        QVariantList list;
        for (const ScriptValue &item : m_array->items)
            list << item.toVariant();
        return list;
    }
    }
    return QVariant();
}

ScriptValue ScriptValue::fromVariant(const QVariant &v)
{
    if (!v.isValid())
        return ScriptValue();
    // A database NULL arrives as a typed variant without a value.
    if (v.isNull())
        return null();
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return boolean(v.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return integer(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return number(v.toDouble());
    case QMetaType::QDate:
        return date(oleFromDateTime(QDateTime(v.toDate(), QTime(0, 0))));
    case QMetaType::QDateTime:
        return date(oleFromDateTime(v.toDateTime()));
    case QMetaType::QTime:
        return date(v.toTime().msecsSinceStartOfDay() / 86400000.0);
    case QMetaType::QString:
        return ScriptValue(v.toString());
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        QList<ScriptValue> items;
        for (const QVariant &item : v.toList())
            items << fromVariant(item);
        return array(items);
    }
    case QMetaType::Nullptr:
        return null();
    default:
        break;
    }
    if (v.metaType().flags().testFlag(QMetaType::PointerToQObject))
        return object(QObjectScriptObject::wrap(v.value<QObject *>()));
    if (v.canConvert<QString>())
        return ScriptValue(v.toString());
    return ScriptValue();
}

// ---- texts of numbers and dates ----

bool ScriptValue::parseNumber(const QString &text, double *out)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    if (t.startsWith(QLatin1Char('&'))) {
        bool ok = false;
        qint64 n = 0;
        if (t.size() > 2 && t.at(1).toUpper() == QLatin1Char('H'))
            n = t.mid(2).toLongLong(&ok, 16);
        else if (t.size() > 2 && t.at(1).toUpper() == QLatin1Char('O'))
            n = t.mid(2).toLongLong(&ok, 8);
        if (!ok)
            return false;
        *out = double(n);
        return true;
    }
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?$"));
    if (!re.match(t).hasMatch())
        return false;
    t.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    *out = d;
    return true;
}

bool ScriptValue::parseBoolean(const QString &text, bool *out)
{
    const QString t = text.trimmed();
    const auto is = [&](const char *word) { return t.compare(QLatin1String(word), Qt::CaseInsensitive) == 0; };
    if (is("true") || is("#true#")) {
        *out = true;
        return true;
    }
    if (is("false") || is("#false#")) {
        *out = false;
        return true;
    }
    return false;
}

bool ScriptValue::parseDate(const QString &text, double *out)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(?:(?:(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})|(\\d{1,2})[-/](\\d{1,2})[-/](\\d{2,4})))?"
                       "\\s*(?:(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*([AaPp][Mm])?)?\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch() || text.trimmed().isEmpty())
        return false;
    double days = 0;
    if (!m.captured(1).isEmpty() || !m.captured(4).isEmpty()) {
        int y, mo, d;
        if (!m.captured(1).isEmpty()) {
            y = m.captured(1).toInt(), mo = m.captured(2).toInt(), d = m.captured(3).toInt();
        } else {
            mo = m.captured(4).toInt(), d = m.captured(5).toInt(), y = m.captured(6).toInt();
            if (m.captured(6).size() <= 2)
                y += y < 30 ? 2000 : 1900;
        }
        const QDate date(y, mo, d);
        if (!date.isValid())
            return false;
        days = double(kOleEpoch.daysTo(date));
    }
    if (!m.captured(7).isEmpty()) {
        int h = m.captured(7).toInt();
        const int mi = m.captured(8).toInt(), s = m.captured(9).toInt();
        const QString ampm = m.captured(10).toUpper();
        if (!ampm.isEmpty()) {
            if (h < 1 || h > 12)
                return false;
            h = (h % 12) + (ampm == QLatin1String("PM") ? 12 : 0);
        }
        if (h > 23 || mi > 59 || s > 59)
            return false;
        days += (h * 3600 + mi * 60 + s) / 86400.0;
    } else if (m.captured(1).isEmpty() && m.captured(4).isEmpty()) {
        return false;
    }
    *out = days;
    return true;
}

QString ScriptValue::formatNumber(double d)
{
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    QString s = QString::number(d, 'g', 15);
    return s.toUpper();
}

double ScriptValue::oleFromDateTime(const QDateTime &dt)
{
    const double days = double(kOleEpoch.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return days + frac;
}

QDateTime ScriptValue::dateTimeFromOle(double d)
{
    if (!(d >= kMinOleDate && d < kMaxOleDate))
        return QDateTime();
    double days = std::trunc(d);
    qint64 secs = qRound64(std::fabs(d - days) * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        days += d < 0 ? -1 : 1;
    }
    return QDateTime(kOleEpoch.addDays(qint64(days)), QTime(0, 0).addSecs(int(secs)));
}

QString ScriptValue::formatDate(double oleDate)
{
    const QDateTime dt = dateTimeFromOle(oleDate);
    const bool hasTime = dt.time() != QTime(0, 0);
    if (std::trunc(oleDate) == 0)
        return dt.time().toString(QStringLiteral("HH:mm:ss"));
    if (!hasTime)
        return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// ---- arrays ----

qsizetype ScriptArray::count(const QList<int> &upper)
{
    // Saturates instead of overflowing, so a huge ReDim is refused, not wrapped.
    constexpr qsizetype cap = qsizetype(1) << 40;
    qsizetype n = 1;
    for (int u : upper) {
        n *= qsizetype(u) + 1;
        if (n > cap)
            return cap;
    }
    return upper.isEmpty() ? 0 : n;
}

qsizetype ScriptArray::offset(const QList<qint64> &subscripts) const
{
    if (subscripts.size() != upper.size())
        return -1;
    qsizetype off = 0;
    for (qsizetype i = 0; i < upper.size(); ++i) {
        const qint64 s = subscripts.at(i);
        if (s < 0 || s > upper.at(i))
            return -1;
        off = off * (qsizetype(upper.at(i)) + 1) + s;
    }
    return off;
}

// ---- operators ----

namespace ScriptOps {

double bankersRound(double d)
{
    return std::nearbyint(d); // default rounding mode: half to even
}

namespace {

bool isLiteralString(const ScriptValue &v, bool literal)
{
    return literal && v.isString();
}

int cmpDouble(double a, double b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int cmpString(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

ScriptValue logical(Op op, const ScriptValue &a, const ScriptValue &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn) {
        // Null is "unknown": the result is known only where the other side decides it.
        const ScriptValue &other = an ? b : a;
        if (an && bn)
            return ScriptValue::null();
        switch (op) {
        case Op::And:
            if (other.toDouble() == 0)
                return other.type() == ScriptValue::Boolean ? ScriptValue::boolean(false) : ScriptValue::integer(0);
            return ScriptValue::null();
        case Op::Or:
            if (other.type() == ScriptValue::Boolean && other.toBool())
                return other;
            return ScriptValue::null();
        case Op::Imp:
            if (an && b.toBool())
                return ScriptValue::boolean(true);
            if (bn && !a.toBool())
                return ScriptValue::boolean(true);
            return ScriptValue::null();
        default:
            return ScriptValue::null();
        }
    }
    qint64 x = 0, y = 0;
    const auto bits = [](const ScriptValue &v) {
        bool b = false;
        if (v.isString() && ScriptValue::parseBoolean(v.stringValue(), &b))
            return qint64(b ? -1 : 0);
        return v.toLong();
    };
    x = bits(a), y = bits(b);
    qint64 r = 0;
    switch (op) {
    case Op::And:
        r = x & y;
        break;
    case Op::Or:
        r = x | y;
        break;
    case Op::Xor:
        r = x ^ y;
        break;
    case Op::Eqv:
        r = ~(x ^ y);
        break;
    case Op::Imp:
        r = (~x) | y;
        break;
    default:
        break;
    }
    if (a.type() == ScriptValue::Boolean && b.type() == ScriptValue::Boolean)
        return ScriptValue::boolean(r != 0);
    return integralResult(r, a.type() == ScriptValue::Boolean ? ScriptValue::Integer : a.type(),
                          b.type() == ScriptValue::Boolean ? ScriptValue::Integer : b.type());
}

ScriptValue arithmetic(Op op, const ScriptValue &a0, const ScriptValue &b0)
{
    if (a0.isNull() || b0.isNull())
        return ScriptValue::null();
    const ScriptValue a = a0.toNumeric(), b = b0.toNumeric();
    const ScriptValue::Type ta = a.type(), tb = b.type();
    const double x = a.numberValue(), y = b.numberValue();
    switch (op) {
    case Op::Add:
    case Op::Sub:
    case Op::Mul: {
        if (isIntegral(ta) && isIntegral(tb)) {
            const qint64 xi = qint64(x), yi = qint64(y);
            const qint64 r = op == Op::Add ? xi + yi : (op == Op::Sub ? xi - yi : xi * yi);
            return integralResult(r, ta, tb);
        }
        const double r = op == Op::Add ? x + y : (op == Op::Sub ? x - y : x * y);
        if (!std::isfinite(r))
            throwScriptError(ScriptErrorNumber::Overflow);
        if (op != Op::Mul && (ta == ScriptValue::Date || tb == ScriptValue::Date)) {
            if (op == Op::Sub && ta == ScriptValue::Date && tb == ScriptValue::Date)
                return ScriptValue::number(r);
            return ScriptValue::date(checkedDate(r));
        }
        if ((ta == ScriptValue::Currency || tb == ScriptValue::Currency) && ta != ScriptValue::Double &&
            tb != ScriptValue::Double)
            return ScriptValue::ofType(ScriptValue::Currency, r);
        return ScriptValue::number(r);
    }
    case Op::Div: {
        if (y == 0)
            throwScriptError(x == 0 ? ScriptErrorNumber::Overflow : ScriptErrorNumber::DivisionByZero);
        const double r = x / y;
        if (!std::isfinite(r))
            throwScriptError(ScriptErrorNumber::Overflow);
        return ScriptValue::number(r);
    }
    case Op::IntDiv:
    case Op::Mod: {
        const qint64 xi = a.toLong(), yi = b.toLong();
        if (yi == 0)
            throwScriptError(ScriptErrorNumber::DivisionByZero);
        const qint64 r = op == Op::IntDiv ? xi / yi : xi % yi;
        return integralResult(r, isSmall(ta) ? ScriptValue::Integer : ScriptValue::Long,
                              isSmall(tb) ? ScriptValue::Integer : ScriptValue::Long);
    }
    case Op::Pow: {
        if (x == 0 && y < 0)
            throwScriptError(ScriptErrorNumber::DivisionByZero);
        const double r = std::pow(x, y);
        if (std::isnan(r))
            throwScriptError(ScriptErrorNumber::InvalidCall);
        if (!std::isfinite(r))
            throwScriptError(ScriptErrorNumber::Overflow);
        return ScriptValue::number(r);
    }
    default:
        return ScriptValue();
    }
}

} // namespace

int compare(const ScriptValue &a0, const ScriptValue &b0, bool lhsLiteral, bool rhsLiteral)
{
    if (a0.isNull() || b0.isNull())
        return 2;
    const ScriptValue a = resolved(a0), b = resolved(b0);
    if (a.isNull() || b.isNull())
        return 2;
    if (a.isArray() || b.isArray())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    if (a.isString() && b.isString())
        return cmpString(a.stringValue(), b.stringValue());
    if (a.isEmpty() && b.isEmpty())
        return 0;
    if (a.isString() || b.isString()) {
        const ScriptValue &s = a.isString() ? a : b;
        const ScriptValue &o = a.isString() ? b : a;
        const bool sIsA = a.isString();
        if (o.isEmpty())
            return sIsA ? cmpString(s.stringValue(), QString()) : cmpString(QString(), s.stringValue());
        // A constant of the code decides the type: the other side is converted to it.
        if (isLiteralString(s, sIsA ? lhsLiteral : rhsLiteral)) {
            const QString os = o.toString();
            return sIsA ? cmpString(s.stringValue(), os) : cmpString(os, s.stringValue());
        }
        if (sIsA ? rhsLiteral : lhsLiteral) {
            double d = 0;
            if (ScriptValue::parseNumber(s.stringValue(), &d))
                return sIsA ? cmpDouble(d, o.toDouble()) : cmpDouble(o.toDouble(), d);
        }
        // Two variables: a number is less than any text.
        return sIsA ? 1 : -1;
    }
    return cmpDouble(a.toDouble(), b.toDouble());
}

ScriptValue binary(Op op, const ScriptValue &a0, const ScriptValue &b0, bool lhsLiteral, bool rhsLiteral)
{
    if (op == Op::Is) {
        if (!a0.isObject() || !b0.isObject())
            throwScriptError(ScriptErrorNumber::ObjectRequired);
        const void *x = a0.objectValue() ? a0.objectValue()->identity() : nullptr;
        const void *y = b0.objectValue() ? b0.objectValue()->identity() : nullptr;
        return ScriptValue::boolean(x == y);
    }
    const ScriptValue a = resolved(a0), b = resolved(b0);
    switch (op) {
    case Op::Concat: {
        if (a.isNull() && b.isNull())
            return ScriptValue::null();
        return checkedString((a.isNull() ? QString() : a.toString()) + (b.isNull() ? QString() : b.toString()));
    }
    case Op::Add:
        if (a.isString() && b.isString())
            return checkedString(a.stringValue() + b.stringValue());
        if ((a.isString() && b.isEmpty()) || (a.isEmpty() && b.isString()))
            return a.isString() ? a : b;
        return arithmetic(op, a, b);
    case Op::Sub:
    case Op::Mul:
    case Op::Div:
    case Op::IntDiv:
    case Op::Mod:
    case Op::Pow:
        return arithmetic(op, a, b);
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Gt:
    case Op::Le:
    case Op::Ge: {
        const int c = compare(a, b, lhsLiteral, rhsLiteral);
        if (c == 2)
            return ScriptValue::null();
        bool r = false;
        switch (op) {
        case Op::Eq:
            r = c == 0;
            break;
        case Op::Ne:
            r = c != 0;
            break;
        case Op::Lt:
            r = c < 0;
            break;
        case Op::Gt:
            r = c > 0;
            break;
        case Op::Le:
            r = c <= 0;
            break;
        default:
            r = c >= 0;
            break;
        }
        return ScriptValue::boolean(r);
    }
    case Op::And:
    case Op::Or:
    case Op::Xor:
    case Op::Eqv:
    case Op::Imp:
        return logical(op, a, b);
    default:
        return ScriptValue();
    }
}

ScriptValue negate(const ScriptValue &a0)
{
    const ScriptValue a = resolved(a0);
    if (a.isNull())
        return a;
    const ScriptValue n = a.toNumeric();
    if (isIntegral(n.type()))
        return integralResult(-qint64(n.numberValue()),
                              n.type() == ScriptValue::Long ? ScriptValue::Long : ScriptValue::Integer,
                              ScriptValue::Integer);
    return ScriptValue::ofType(n.type(), -n.numberValue());
}

ScriptValue logicalNot(const ScriptValue &a0)
{
    const ScriptValue a = resolved(a0);
    if (a.isNull())
        return a;
    if (a.type() == ScriptValue::Boolean)
        return ScriptValue::boolean(a.numberValue() == 0);
    // A text that is no number but a Boolean ("True", "#FALSE#") negates as one.
    double d = 0;
    bool b = false;
    if (a.isString() && !ScriptValue::parseNumber(a.stringValue(), &d) &&
        ScriptValue::parseBoolean(a.stringValue(), &b))
        return ScriptValue::boolean(!b);
    return integralResult(~a.toLong(), isSmall(a.type()) ? ScriptValue::Integer : ScriptValue::Long,
                          ScriptValue::Integer);
}

} // namespace ScriptOps
