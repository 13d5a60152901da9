#include "platform/script/ScriptBuiltins.h"

#include "platform/script/ScriptObject.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>
#include <bit>
#include <cmath>
#include <limits>

namespace script {
namespace {

using Args = QList<ScriptValue>;
using Fn = ScriptValue (*)(const Args &, const BuiltinHooks &);

// Texts and arrays beyond these sizes end the script with "Out of memory".
constexpr qint64 kMaxTextLength = 64 * 1024 * 1024;

struct Builtin
{
    int minArgs;
    int maxArgs;
    Fn fn;
};

bool has(const Args &a, int i)
{
    return i < a.size() && !a.at(i).isEmpty();
}

qint64 argLong(const Args &a, int i, qint64 dflt)
{
    return has(a, i) ? a.at(i).toLong() : dflt;
}

// Len, InStr, UBound and the like answer a Long whatever the size.
ScriptValue longResult(qint64 n)
{
    return ScriptValue::ofType(ScriptValue::Long, double(n));
}

ScriptValue scalar(const ScriptValue &v)
{
    return v.isObject() ? ScriptObject::defaultValue(v.objectValue()) : v;
}

QString text(const ScriptValue &v)
{
    return scalar(v).toString();
}

Qt::CaseSensitivity compareMode(const Args &a, int i)
{
    return argLong(a, i, 0) == 1 ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// A compare argument that must be vbBinaryCompare or vbTextCompare.
Qt::CaseSensitivity checkedCompareMode(const Args &a, int i)
{
    if (i >= a.size())
        return Qt::CaseSensitive;
    const ScriptValue v = scalar(a.at(i));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    const qint64 mode = v.toLong();
    if (mode != 0 && mode != 1)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return mode == 1 ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// Functions that refuse Null in any argument given (Replace, Split, InStrRev).
void refuseNull(const Args &a)
{
    for (const ScriptValue &v : a) {
        if (scalar(v).isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    }
}

qint64 nonNegative(const ScriptValue &v)
{
    const qint64 n = v.toLong();
    if (n < 0)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return n;
}

QString checkedText(qint64 length)
{
    if (length > kMaxTextLength)
        throwScriptError(ScriptErrorNumber::OutOfMemory);
    return QString();
}

QDateTime dateArg(const ScriptValue &v)
{
    return ScriptValue::dateTimeFromOle(scalar(v).toDate());
}

ScriptValue dateResult(const QDateTime &dt)
{
    if (!dt.isValid() || dt.date().year() < 100 || dt.date().year() > 9999)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return ScriptValue::date(ScriptValue::oleFromDateTime(dt));
}

// Rounds half to even at the given decimals, treating values within the
// binary representation's error of a half as exactly a half.
double roundTo(double d, int digits)
{
    const double scale = std::pow(10.0, digits);
    const double x = d * scale;
    if (!std::isfinite(x))
        return d;
    const double fl = std::floor(x);
    const double diff = x - fl;
    double r;
    if (std::fabs(diff - 0.5) < 1e-9)
        r = std::fmod(fl, 2.0) == 0 ? fl : fl + 1;
    else
        r = std::round(x);
    return r / scale;
}

ScriptValue sameNumericType(const ScriptValue &n, double d)
{
    switch (n.type()) {
    case ScriptValue::Integer:
    case ScriptValue::Long:
    case ScriptValue::Byte:
        return ScriptValue::ofType(n.type(), d);
    case ScriptValue::Boolean:
        return ScriptValue::ofType(ScriptValue::Integer, d);
    case ScriptValue::Empty:
        return ScriptValue::ofType(ScriptValue::Integer, d);
    default:
        return ScriptValue::ofType(n.type() == ScriptValue::String ? ScriptValue::Double : n.type(), d);
    }
}

ScriptValue converted(const ScriptValue &v, double lo, double hi, ScriptValue::Type t)
{
    const ScriptValue s = scalar(v);
    if (s.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    double d = s.toDouble();
    if (t != ScriptValue::Double && t != ScriptValue::Single && t != ScriptValue::Currency)
        d = ScriptOps::bankersRound(d);
    if (t == ScriptValue::Currency)
        d = roundTo(d, 4);
    if (!(d >= lo && d <= hi))
        throwScriptError(ScriptErrorNumber::Overflow);
    return ScriptValue::ofType(t, d);
}

const QString kWeekdays[] = {QStringLiteral("Sunday"),    QStringLiteral("Monday"),   QStringLiteral("Tuesday"),
                             QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
                             QStringLiteral("Saturday")};

int vbWeekday(const QDate &d, int firstDay)
{
    const int sundayBased = d.dayOfWeek() % 7 + 1; // Sunday 1 … Saturday 7
    if (firstDay < 1 || firstDay > 7)
        firstDay = 1;
    return (sundayBased - firstDay + 7) % 7 + 1;
}

QString formatNumberText(double d, int digits, bool leading, bool parens, bool group)
{
    QString s = QString::number(std::fabs(roundTo(d, digits)), 'f', digits);
    const bool negative = roundTo(d, digits) < 0;
    QString intPart = s.section(QLatin1Char('.'), 0, 0);
    const QString frac = digits > 0 ? s.section(QLatin1Char('.'), 1, 1) : QString();
    if (group) {
        for (qsizetype i = intPart.size() - 3; i > 0; i -= 3)
            intPart.insert(i, QLatin1Char(','));
    }
    if (!leading && intPart == QLatin1String("0") && digits > 0)
        intPart.clear();
    s = digits > 0 ? intPart + QLatin1Char('.') + frac : intPart;
    if (negative)
        s = parens ? QLatin1Char('(') + s + QLatin1Char(')') : QLatin1Char('-') + s;
    return s;
}

qint64 secondsOf(double ole)
{
    return qint64(std::llround(ole * 86400.0));
}

// ---- the functions ----

ScriptValue fLen(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    return v.isNull() ? v : longResult(v.toString().size());
}

ScriptValue fLeft(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    const qint64 n = nonNegative(a.at(1));
    return v.isNull() ? v : ScriptValue(v.toString().left(n));
}

ScriptValue fRight(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    const qint64 n = nonNegative(a.at(1));
    return v.isNull() ? v : ScriptValue(v.toString().right(n));
}

// Mid refuses an Empty text, start or length (5) and a Null start or
// length (94); a Null text gives Null.
ScriptValue fMid(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isEmpty())
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const ScriptValue startArg = scalar(a.at(1)), lenArg = a.size() > 2 ? scalar(a.at(2)) : ScriptValue();
    if (startArg.isNull() || lenArg.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    if (startArg.isEmpty() || (a.size() > 2 && lenArg.isEmpty()))
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const qint64 start = startArg.toLong();
    if (start < 1)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const qint64 len = a.size() > 2 ? nonNegative(lenArg) : -1;
    if (v.isNull())
        return v;
    return ScriptValue(v.toString().mid(start - 1, len));
}

// InStr([start,] text, wanted[, compare]): a Null start or compare is
// refused (94), a compare other than 0 or 1 too (5); a Null text gives Null.
ScriptValue fInStr(const Args &a, const BuiltinHooks &)
{
    const bool withStart = a.size() >= 3;
    const Qt::CaseSensitivity cs = a.size() == 4 ? checkedCompareMode(a, 3) : Qt::CaseSensitive;
    qint64 start = 1;
    if (withStart) {
        const ScriptValue startArg = scalar(a.at(0));
        if (startArg.isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
        start = startArg.toLong();
        if (start < 1)
            throwScriptError(ScriptErrorNumber::InvalidCall);
    }
    const ScriptValue s1 = scalar(a.at(withStart ? 1 : 0)), s2 = scalar(a.at(withStart ? 2 : 1));
    if (s1.isNull() || s2.isNull())
        return ScriptValue::null();
    const QString t1 = s1.toString(), t2 = s2.toString();
    if (t1.isEmpty())
        return longResult(0);
    if (start > t1.size())
        return longResult(0);
    if (t2.isEmpty())
        return longResult(start);
    return longResult(t1.indexOf(t2, start - 1, cs) + 1);
}

// Unlike InStr, InStrRev refuses Null in every argument.
ScriptValue fInStrRev(const Args &a, const BuiltinHooks &)
{
    refuseNull(a);
    const Qt::CaseSensitivity cs = checkedCompareMode(a, 3);
    const ScriptValue s1 = scalar(a.at(0)), s2 = scalar(a.at(1));
    qint64 start = has(a, 2) ? a.at(2).toLong() : -1;
    if (start == 0 || start < -1)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const QString t1 = s1.toString(), t2 = s2.toString();
    if (t1.isEmpty())
        return longResult(0);
    if (start == -1)
        start = t1.size();
    if (start > t1.size())
        return longResult(0);
    if (t2.isEmpty())
        return longResult(start);
    const qsizetype from = start - t2.size();
    if (from < 0)
        return longResult(0);
    return longResult(t1.lastIndexOf(t2, from, cs) + 1);
}

// Unlike most text functions Replace does not pass Null through: Null in
// any argument is refused.
ScriptValue fReplace(const Args &a, const BuiltinHooks &)
{
    refuseNull(a);
    const ScriptValue e = scalar(a.at(0));
    const qint64 start = has(a, 3) ? a.at(3).toLong() : 1;
    const qint64 count = has(a, 4) ? a.at(4).toLong() : -1;
    if (start < 1 || count < -1)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const Qt::CaseSensitivity cs = checkedCompareMode(a, 5);
    const QString find = text(a.at(1)), repl = text(a.at(2));
    // As in VBScript, the result starts at "start": what comes before is dropped.
    QString s = e.toString().mid(start - 1);
    if (find.isEmpty() || count == 0)
        return ScriptValue(s);
    QString out;
    qsizetype pos = 0;
    qint64 done = 0;
    while (count < 0 || done < count) {
        const qsizetype hit = s.indexOf(find, pos, cs);
        if (hit < 0)
            break;
        out += QStringView(s).mid(pos, hit - pos);
        out += repl;
        if (out.size() > kMaxTextLength)
            throwScriptError(ScriptErrorNumber::OutOfMemory);
        pos = hit + find.size();
        ++done;
    }
    out += QStringView(s).mid(pos);
    return ScriptValue(out);
}

ScriptValue trimmed(const ScriptValue &v0, bool left, bool right)
{
    const ScriptValue v = scalar(v0);
    if (v.isNull())
        return v;
    const QString s = v.toString();
    qsizetype b = 0, e = s.size();
    while (left && b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (right && e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return ScriptValue(s.mid(b, e - b));
}

ScriptValue fTrim(const Args &a, const BuiltinHooks &)
{
    return trimmed(a.at(0), true, true);
}
ScriptValue fLTrim(const Args &a, const BuiltinHooks &)
{
    return trimmed(a.at(0), true, false);
}
ScriptValue fRTrim(const Args &a, const BuiltinHooks &)
{
    return trimmed(a.at(0), false, true);
}

ScriptValue fUCase(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    return v.isNull() ? v : ScriptValue(v.toString().toUpper());
}

ScriptValue fLCase(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    return v.isNull() ? v : ScriptValue(v.toString().toLower());
}

ScriptValue fSpace(const Args &a, const BuiltinHooks &)
{
    const qint64 n = nonNegative(a.at(0));
    checkedText(n);
    return ScriptValue(QString(n, QLatin1Char(' ')));
}

ScriptValue fString(const Args &a, const BuiltinHooks &)
{
    const qint64 n = nonNegative(a.at(0));
    const ScriptValue c = scalar(a.at(1));
    if (c.isNull())
        return c;
    checkedText(n);
    QChar ch;
    if (c.isString()) {
        if (c.stringValue().isEmpty())
            throwScriptError(ScriptErrorNumber::InvalidCall);
        ch = c.stringValue().at(0);
    } else {
        ch = QChar(ushort(c.toLong() % 256));
    }
    return ScriptValue(QString(n, ch));
}

// Null in any argument is refused; so are a count below -1 and a compare
// other than 0 or 1.
ScriptValue fSplit(const Args &a, const BuiltinHooks &)
{
    refuseNull(a);
    const QString s = text(a.at(0));
    const QString delim = a.size() > 1 && !a.at(1).isEmpty() ? text(a.at(1)) : QStringLiteral(" ");
    const qint64 count = has(a, 2) ? a.at(2).toLong() : -1;
    if (count < -1)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const Qt::CaseSensitivity cs = checkedCompareMode(a, 3);
    QList<ScriptValue> items;
    if (s.isEmpty() || count == 0)
        return ScriptValue::array(items);
    if (delim.isEmpty())
        return ScriptValue::array({ScriptValue(s)});
    qsizetype pos = 0;
    while (count < 0 || items.size() < count - 1) {
        const qsizetype hit = s.indexOf(delim, pos, cs);
        if (hit < 0)
            break;
        items << ScriptValue(s.mid(pos, hit - pos));
        pos = hit + delim.size();
    }
    items << ScriptValue(s.mid(pos));
    return ScriptValue::array(items);
}

const ScriptArray &arrayArg(const ScriptValue &v)
{
    if (!v.isArray())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    return *v.arrayValue();
}

// Join takes a one-dimensional array: Null is refused (94), an object
// (438) and anything else (13) too, as is a Null element (13).
ScriptValue fJoin(const Args &a, const BuiltinHooks &)
{
    const ScriptValue &v = a.at(0);
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    if (v.isObject())
        throwScriptError(ScriptErrorNumber::NoSuchMember);
    const ScriptArray &arr = arrayArg(v);
    if (a.size() > 1 && scalar(a.at(1)).isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    if (arr.upper.size() > 1)
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    const QString delim = a.size() > 1 ? text(a.at(1)) : QStringLiteral(" ");
    QStringList parts;
    for (const ScriptValue &item : arr.items) {
        const ScriptValue element = scalar(item);
        if (element.isNull() || element.isArray())
            throwScriptError(ScriptErrorNumber::TypeMismatch);
        parts << element.toString();
    }
    const QString out = parts.join(delim);
    checkedText(out.size());
    return ScriptValue(out);
}

ScriptValue bound(const Args &a, bool upper)
{
    const ScriptArray &arr = arrayArg(a.at(0));
    const qint64 dim = has(a, 1) ? a.at(1).toLong() : 1;
    if (dim < 1 || dim > arr.upper.size())
        throwScriptError(ScriptErrorNumber::SubscriptOutOfRange);
    return longResult(upper ? arr.upper.at(dim - 1) : 0);
}

ScriptValue fUBound(const Args &a, const BuiltinHooks &)
{
    return bound(a, true);
}
ScriptValue fLBound(const Args &a, const BuiltinHooks &)
{
    return bound(a, false);
}
ScriptValue fArray(const Args &a, const BuiltinHooks &)
{
    return ScriptValue::array(a);
}
ScriptValue fIsArray(const Args &a, const BuiltinHooks &)
{
    return ScriptValue::boolean(a.at(0).isArray());
}
ScriptValue fIsEmpty(const Args &a, const BuiltinHooks &)
{
    return ScriptValue::boolean(a.at(0).isEmpty());
}
ScriptValue fIsNull(const Args &a, const BuiltinHooks &)
{
    return ScriptValue::boolean(a.at(0).isNull());
}
ScriptValue fIsObject(const Args &a, const BuiltinHooks &)
{
    return ScriptValue::boolean(a.at(0).isObject());
}

// An object counts by its default value; one without a default is no number.
ScriptValue fIsNumeric(const Args &a, const BuiltinHooks &)
{
    ScriptValue v = a.at(0);
    if (v.isObject()) {
        if (!v.objectValue())
            return ScriptValue::boolean(false);
        try {
            v = ScriptObject::defaultValue(v.objectValue());
        } catch (const ScriptError &) {
            return ScriptValue::boolean(false);
        }
    }
    double d = 0;
    if (v.isString())
        return ScriptValue::boolean(ScriptValue::parseNumber(v.stringValue(), &d));
    return ScriptValue::boolean(v.isNumeric() || v.isEmpty());
}

ScriptValue fIsDate(const Args &a, const BuiltinHooks &)
{
    const ScriptValue &v = a.at(0);
    double d = 0;
    if (v.isString())
        return ScriptValue::boolean(ScriptValue::parseDate(v.stringValue(), &d));
    return ScriptValue::boolean(v.type() == ScriptValue::Date);
}

ScriptValue fCStr(const Args &a, const BuiltinHooks &)
{
    return ScriptValue(text(a.at(0)));
}
ScriptValue fCInt(const Args &a, const BuiltinHooks &)
{
    return converted(a.at(0), -32768, 32767, ScriptValue::Integer);
}
ScriptValue fCLng(const Args &a, const BuiltinHooks &)
{
    return converted(a.at(0), -2147483648.0, 2147483647.0, ScriptValue::Long);
}
// True is all bits set: as a Byte, 255.
ScriptValue fCByte(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.type() == ScriptValue::Boolean)
        return ScriptValue::ofType(ScriptValue::Byte, v.numberValue() != 0 ? 255 : 0);
    return converted(v, 0, 255, ScriptValue::Byte);
}
ScriptValue fCDbl(const Args &a, const BuiltinHooks &)
{
    return converted(a.at(0), -1.79e308, 1.79e308, ScriptValue::Double);
}
ScriptValue fCSng(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = converted(a.at(0), -3.4e38, 3.4e38, ScriptValue::Single);
    return ScriptValue::ofType(ScriptValue::Single, double(float(v.numberValue())));
}
ScriptValue fCCur(const Args &a, const BuiltinHooks &)
{
    return converted(a.at(0), -922337203685477.0, 922337203685477.0, ScriptValue::Currency);
}

ScriptValue fCBool(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    return ScriptValue::boolean(v.toBool());
}

ScriptValue fCDate(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    return ScriptValue::date(v.toDate());
}

ScriptValue rounding(const ScriptValue &v0, double (*f)(double))
{
    const ScriptValue v = scalar(v0);
    if (v.isNull())
        return v;
    const ScriptValue n = v.toNumeric();
    return sameNumericType(n, f(n.numberValue()));
}

ScriptValue fInt(const Args &a, const BuiltinHooks &)
{
    return rounding(a.at(0), [](double d) { return std::floor(d); });
}
ScriptValue fFix(const Args &a, const BuiltinHooks &)
{
    return rounding(a.at(0), [](double d) { return std::trunc(d); });
}

ScriptValue fAbs(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const ScriptValue n = v.toNumeric();
    const double d = std::fabs(n.numberValue());
    if (n.type() == ScriptValue::Integer && d > 32767)
        return ScriptValue::ofType(ScriptValue::Long, d);
    return sameNumericType(n, d);
}

// Integers, Longs and Booleans come back as they are; anything else is
// rounded as a Double.
ScriptValue fRound(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const qint64 digits = has(a, 1) ? a.at(1).toLong() : 0;
    if (digits < 0 || digits > 15)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    if (v.type() == ScriptValue::Integer || v.type() == ScriptValue::Long || v.type() == ScriptValue::Boolean)
        return v;
    return ScriptValue::number(roundTo(v.toDouble(), int(digits)));
}

ScriptValue fSgn(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    const double d = v.toDouble();
    return ScriptValue::integer(d > 0 ? 1 : (d < 0 ? -1 : 0));
}

ScriptValue fChrW(const Args &a, const BuiltinHooks &)
{
    qint64 n = a.at(0).toLong();
    if (n < -32768 || n > 65535)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    if (n < 0)
        n += 65536;
    return ScriptValue(QString(QChar(ushort(n))));
}

// Chr and Asc speak the workstations' code page, 936 (GBK): a character is
// one byte below 128, or a lead byte 0x81 to 0xFE and a trail byte.
// ChrW and AscW speak Unicode.
ScriptValue fChr(const Args &a, const BuiltinHooks &)
{
    const qint64 n = a.at(0).toLong();
    if (n < -32768 || n > 65535)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const quint16 code = quint16(n);
    if (code < 0x80)
        return ScriptValue(QString(QChar(code)));
    QByteArray bytes;
    if (code > 0xFF)
        bytes.append(char(code >> 8));
    bytes.append(char(code & 0xFF));
    thread_local QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    const QString s = gbk.isValid() ? gbk.decode(bytes) : QString();
    const bool lead = code > 0xFF && (code >> 8) >= 0x81 && (code >> 8) <= 0xFE;
    if (gbk.hasError() || s.size() != 1 || (code > 0xFF && !lead) || s.at(0) == QChar::ReplacementCharacter) {
        gbk.resetState();
        throwScriptError(ScriptErrorNumber::InvalidCall);
    }
    return ScriptValue(s);
}

ScriptValue fAsc(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    const QString s = v.toString();
    if (s.isEmpty())
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const QChar c = s.at(0);
    if (c.unicode() < 0x80)
        return ScriptValue::integer(c.unicode());
    thread_local QStringEncoder gbk("GBK", QStringEncoder::Flag::Stateless);
    const QByteArray bytes = gbk.isValid() ? QByteArray(gbk.encode(QString(c))) : QByteArray();
    if (gbk.hasError() || bytes.isEmpty() || bytes.size() > 2) {
        gbk.resetState();
        return ScriptValue::integer('?'); // what the code page cannot hold
    }
    const quint16 code =
        bytes.size() == 1 ? quint8(bytes.at(0)) : quint16(quint8(bytes.at(0)) << 8 | quint8(bytes.at(1)));
    return ScriptValue::integer(qint16(code));
}

// AscW is an Integer: code units from 0x8000 on are negative.
ScriptValue fAscW(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    const QString s = v.toString();
    if (s.isEmpty())
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return ScriptValue::integer(qint16(s.at(0).unicode()));
}

ScriptValue fNow(const Args &, const BuiltinHooks &)
{
    const QDateTime now = QDateTime::currentDateTime();
    return ScriptValue::date(ScriptValue::oleFromDateTime(
        QDateTime(now.date(), QTime(0, 0).addSecs(now.time().msecsSinceStartOfDay() / 1000))));
}

ScriptValue fDate(const Args &, const BuiltinHooks &)
{
    return ScriptValue::date(ScriptValue::oleFromDateTime(QDateTime(QDate::currentDate(), QTime(0, 0))));
}

ScriptValue fTime(const Args &, const BuiltinHooks &)
{
    return ScriptValue::date((QTime::currentTime().msecsSinceStartOfDay() / 1000) / 86400.0);
}

ScriptValue fTimer(const Args &, const BuiltinHooks &)
{
    return ScriptValue::ofType(ScriptValue::Single, QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

template <int Part>
ScriptValue datePart(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const QDateTime dt = dateArg(v);
    int r = 0;
    switch (Part) {
    case 0:
        r = dt.date().year();
        break;
    case 1:
        r = dt.date().month();
        break;
    case 2:
        r = dt.date().day();
        break;
    case 3:
        r = dt.time().hour();
        break;
    case 4:
        r = dt.time().minute();
        break;
    default:
        r = dt.time().second();
        break;
    }
    return ScriptValue::integer(r);
}

// The first day of the week: 1 (Sunday) to 7, or 0 for the system's
// (Sunday here). Null is refused (94), anything else out of range (5).
int firstDayArg(const Args &a, int i)
{
    if (i >= a.size())
        return 1;
    const ScriptValue v = scalar(a.at(i));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    const qint64 day = v.toLong();
    if (day < 0 || day > 7)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return day == 0 ? 1 : int(day);
}

ScriptValue fWeekday(const Args &a, const BuiltinHooks &)
{
    const int firstDay = firstDayArg(a, 1);
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    return ScriptValue::integer(vbWeekday(dateArg(v).date(), firstDay));
}

ScriptValue fWeekdayName(const Args &a, const BuiltinHooks &)
{
    const qint64 n = a.at(0).toLong();
    if (n < 1 || n > 7)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const int first = firstDayArg(a, 2);
    const QString name = kWeekdays[(n - 1 + first - 1) % 7];
    return ScriptValue(has(a, 1) && a.at(1).toBool() ? name.left(3) : name);
}

ScriptValue fMonthName(const Args &a, const BuiltinHooks &)
{
    const qint64 n = a.at(0).toLong();
    if (n < 1 || n > 12)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const QLocale c = QLocale::c();
    return ScriptValue(c.monthName(int(n), has(a, 1) && a.at(1).toBool() ? QLocale::ShortFormat : QLocale::LongFormat));
}

ScriptValue fDateAdd(const Args &a, const BuiltinHooks &)
{
    const QString interval = text(a.at(0)).toLower();
    const qint64 n = a.at(1).toLong();
    const ScriptValue d = scalar(a.at(2));
    if (d.isNull())
        return d;
    const QDateTime dt = dateArg(d);
    // Beyond these the result leaves the date range anyway.
    if (std::llabs(n) > 120000 && interval != QLatin1String("s") && interval != QLatin1String("n") &&
        interval != QLatin1String("h") && interval != QLatin1String("d") && interval != QLatin1String("y") &&
        interval != QLatin1String("w"))
        throwScriptError(ScriptErrorNumber::InvalidCall);
    if (interval == QLatin1String("yyyy"))
        return dateResult(QDateTime(dt.date().addYears(int(n)), dt.time()));
    if (interval == QLatin1String("q"))
        return dateResult(QDateTime(dt.date().addMonths(int(n * 3)), dt.time()));
    if (interval == QLatin1String("m"))
        return dateResult(QDateTime(dt.date().addMonths(int(n)), dt.time()));
    if (interval == QLatin1String("y") || interval == QLatin1String("d") || interval == QLatin1String("w"))
        return dateResult(QDateTime(dt.date().addDays(n), dt.time()));
    if (interval == QLatin1String("ww"))
        return dateResult(QDateTime(dt.date().addDays(n * 7), dt.time()));
    qint64 secs = 0;
    if (interval == QLatin1String("h"))
        secs = n * 3600;
    else if (interval == QLatin1String("n"))
        secs = n * 60;
    else if (interval == QLatin1String("s"))
        secs = n;
    else
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return dateResult(dt.addSecs(secs));
}

ScriptValue fDateDiff(const Args &a, const BuiltinHooks &)
{
    const QString interval = text(a.at(0)).toLower();
    const ScriptValue v1 = scalar(a.at(1)), v2 = scalar(a.at(2));
    if (v1.isNull() || v2.isNull())
        return ScriptValue::null();
    const double o1 = v1.toDate(), o2 = v2.toDate();
    const QDateTime d1 = ScriptValue::dateTimeFromOle(o1), d2 = ScriptValue::dateTimeFromOle(o2);
    const auto floorDiv = [](qint64 x, qint64 y) { return x >= 0 ? x / y : -((-x + y - 1) / y); };
    qint64 r = 0;
    if (interval == QLatin1String("yyyy"))
        r = d2.date().year() - d1.date().year();
    else if (interval == QLatin1String("q"))
        r = (d2.date().year() * 4 + (d2.date().month() - 1) / 3) - (d1.date().year() * 4 + (d1.date().month() - 1) / 3);
    else if (interval == QLatin1String("m"))
        r = (d2.date().year() * 12 + d2.date().month()) - (d1.date().year() * 12 + d1.date().month());
    else if (interval == QLatin1String("y") || interval == QLatin1String("d"))
        r = d1.date().daysTo(d2.date());
    else if (interval == QLatin1String("w"))
        r = d1.date().daysTo(d2.date()) / 7;
    else if (interval == QLatin1String("ww")) {
        const int first = int(argLong(a, 3, 1));
        const QDate w1 = d1.date().addDays(1 - vbWeekday(d1.date(), first));
        const QDate w2 = d2.date().addDays(1 - vbWeekday(d2.date(), first));
        r = w1.daysTo(w2) / 7;
    } else if (interval == QLatin1String("h"))
        r = floorDiv(secondsOf(o2), 3600) - floorDiv(secondsOf(o1), 3600);
    else if (interval == QLatin1String("n"))
        r = floorDiv(secondsOf(o2), 60) - floorDiv(secondsOf(o1), 60);
    else if (interval == QLatin1String("s"))
        r = secondsOf(o2) - secondsOf(o1);
    else
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return ScriptValue::ofType(ScriptValue::Long, double(r));
}

// The week of the year as DatePart("ww") counts it: firstWeek 1 (or 0, the
// system's) starts with January 1, 2 with the first week holding four days
// of the year, 3 with the first full week. A day before the first week
// belongs to the last week of the year before.
int weekOfYear(const QDate &d, int firstDay, int firstWeek)
{
    const QDate jan1(d.year(), 1, 1);
    const int wdJan1 = vbWeekday(jan1, firstDay); // 1 = the week's first day
    const int daysBefore = wdJan1 - 1;            // days of jan1's week that lie in the old year
    int week;
    if (firstWeek == 2)
        week = (d.dayOfYear() - 1 + daysBefore) / 7 + (daysBefore <= 3 ? 1 : 0);
    else if (firstWeek == 3)
        week = (d.dayOfYear() - 1 + daysBefore) / 7 + (daysBefore == 0 ? 1 : 0);
    else
        week = (d.dayOfYear() - 1 + daysBefore) / 7 + 1;
    if (week == 0)
        return weekOfYear(QDate(d.year() - 1, 12, 31), firstDay, firstWeek);
    return week;
}

ScriptValue fDatePart(const Args &a, const BuiltinHooks &)
{
    const QString interval = text(a.at(0)).toLower();
    const ScriptValue v = scalar(a.at(1));
    const qint64 firstDay = has(a, 2) ? a.at(2).toLong() : 1;
    const qint64 firstWeek = has(a, 3) ? a.at(3).toLong() : 1;
    if (firstDay < 0 || firstDay > 7 || firstWeek < 0 || firstWeek > 3)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    static const QStringList intervals = {
        QStringLiteral("yyyy"), QStringLiteral("q"),  QStringLiteral("m"), QStringLiteral("y"), QStringLiteral("d"),
        QStringLiteral("w"),    QStringLiteral("ww"), QStringLiteral("h"), QStringLiteral("n"), QStringLiteral("s")};
    if (!intervals.contains(interval))
        throwScriptError(ScriptErrorNumber::InvalidCall);
    if (v.isNull())
        return v;
    const QDateTime dt = dateArg(v);
    const QDate d = dt.date();
    // 0 is the system's setting: Sunday and the week of January 1 here.
    const int day = firstDay == 0 ? 1 : int(firstDay);
    int r = 0;
    if (interval == QLatin1String("yyyy"))
        r = d.year();
    else if (interval == QLatin1String("q"))
        r = (d.month() - 1) / 3 + 1;
    else if (interval == QLatin1String("m"))
        r = d.month();
    else if (interval == QLatin1String("y"))
        r = d.dayOfYear();
    else if (interval == QLatin1String("d"))
        r = d.day();
    else if (interval == QLatin1String("w"))
        r = vbWeekday(d, day);
    else if (interval == QLatin1String("ww"))
        r = weekOfYear(d, day, firstWeek == 0 ? 1 : int(firstWeek));
    else if (interval == QLatin1String("h"))
        r = dt.time().hour();
    else if (interval == QLatin1String("n"))
        r = dt.time().minute();
    else
        r = dt.time().second();
    return ScriptValue::integer(r);
}

ScriptValue fDateSerial(const Args &a, const BuiltinHooks &)
{
    qint64 y = a.at(0).toLong();
    if (y >= 0 && y < 30)
        y += 2000;
    else if (y >= 30 && y < 100)
        y += 1900;
    if (y < 100 || y > 9999)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const qint64 m = a.at(1).toLong(), d = a.at(2).toLong();
    if (std::llabs(m) > 120000 || std::llabs(d) > 3650000)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const QDate date = QDate(int(y), 1, 1).addMonths(int(m - 1)).addDays(d - 1);
    return dateResult(QDateTime(date, QTime(0, 0)));
}

ScriptValue fTimeSerial(const Args &a, const BuiltinHooks &)
{
    const qint64 secs = a.at(0).toLong() * 3600 + a.at(1).toLong() * 60 + a.at(2).toLong();
    const ScriptValue r = ScriptValue::date(secs / 86400.0);
    r.toDate(); // Overflow beyond the date range
    return r;
}

ScriptValue fDateValue(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    return ScriptValue::date(std::trunc(v.toDate()));
}

ScriptValue fTimeValue(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const double d = v.toDate();
    return ScriptValue::date(std::fabs(d - std::trunc(d)));
}

// The Format functions take no Null: as the value it is a type mismatch
// (13), as an option an invalid use of Null (94).
ScriptValue formatValue(const Args &a)
{
    for (qsizetype i = 1; i < a.size(); ++i) {
        if (scalar(a.at(i)).isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    }
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull() || v.isArray())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    return v;
}

ScriptValue fFormatNumber(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = formatValue(a);
    const qint64 digits = has(a, 1) ? a.at(1).toLong() : -1;
    const auto tri = [&](int i, bool dflt) {
        if (!has(a, i))
            return dflt;
        const qint64 t = a.at(i).toLong();
        return t == -2 ? dflt : t != 0;
    };
    if (digits < -1 || digits > 15)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    return ScriptValue(
        formatNumberText(v.toDouble(), digits < 0 ? 2 : int(digits), tri(2, true), tri(3, false), tri(4, true)));
}

// The workstation's currency is the yuan, written as Chinese (PRC) regional
// settings write it: ¥1,234.50, ¥-1,234.50, or (¥1,234.50) with parentheses.
ScriptValue fFormatCurrency(const Args &a, const BuiltinHooks &h)
{
    const ScriptValue v = formatValue(a);
    Args b = a;
    if (b.size() > 3)
        b[3] = ScriptValue::integer(0); // the sign is placed here
    const double d = v.toDouble();
    b[0] = ScriptValue::number(std::fabs(d));
    const QString digits = fFormatNumber(b, h).toString();
    const bool parens = has(a, 3) && a.at(3).toLong() != 0 && a.at(3).toLong() != -2;
    const QString yuan = QString(QChar(0x00A5));
    const int places = has(a, 1) && a.at(1).toLong() >= 0 ? int(a.at(1).toLong()) : 2;
    if (roundTo(d, places) >= 0)
        return ScriptValue(yuan + digits);
    return ScriptValue(parens ? QLatin1Char('(') + yuan + digits + QLatin1Char(')') : yuan + QLatin1Char('-') + digits);
}

ScriptValue fFormatPercent(const Args &a, const BuiltinHooks &h)
{
    Args b = a;
    b[0] = ScriptValue::number(formatValue(a).toDouble() * 100);
    return ScriptValue(fFormatNumber(b, h).toString() + QLatin1Char('%'));
}

ScriptValue fFormatDateTime(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = formatValue(a);
    const double d = v.toDate();
    const QDateTime dt = ScriptValue::dateTimeFromOle(d);
    switch (argLong(a, 1, 0)) {
    case 0:
        return ScriptValue(ScriptValue::formatDate(d));
    case 1:
        return ScriptValue(QLocale::c().toString(dt.date(), QStringLiteral("dddd, MMMM d, yyyy")));
    case 2:
        return ScriptValue(dt.date().toString(QStringLiteral("yyyy-MM-dd")));
    case 3:
        return ScriptValue(dt.time().toString(QStringLiteral("HH:mm:ss")));
    case 4:
        return ScriptValue(dt.time().toString(QStringLiteral("HH:mm")));
    default:
        throwScriptError(ScriptErrorNumber::InvalidCall);
    }
}

ScriptValue fTypeName(const Args &a, const BuiltinHooks &)
{
    return ScriptValue(a.at(0).typeName());
}

ScriptValue fVarType(const Args &a, const BuiltinHooks &)
{
    const ScriptValue &v = a.at(0);
    return ScriptValue::integer(v.isArray() ? 8204 : int(v.type()));
}

ScriptValue radix(const Args &a, int base)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const qint64 n = v.toLong();
    quint64 u = quint64(n);
    if (n < 0)
        u = (n >= -32768 && (v.type() == ScriptValue::Integer || v.type() == ScriptValue::Byte)) ? quint16(n)
                                                                                                 : quint32(n);
    return ScriptValue(QString::number(u, base).toUpper());
}

ScriptValue fHex(const Args &a, const BuiltinHooks &)
{
    return radix(a, 16);
}
ScriptValue fOct(const Args &a, const BuiltinHooks &)
{
    return radix(a, 8);
}

ScriptValue fStrReverse(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
    QString s = v.toString();
    std::reverse(s.begin(), s.end());
    return ScriptValue(s);
}

ScriptValue fStrComp(const Args &a, const BuiltinHooks &)
{
    const ScriptValue x = scalar(a.at(0)), y = scalar(a.at(1));
    if (x.isNull() || y.isNull())
        return ScriptValue::null();
    const int c = QString::compare(x.toString(), y.toString(), compareMode(a, 2));
    return ScriptValue::integer(c < 0 ? -1 : (c > 0 ? 1 : 0));
}

ScriptValue fFilter(const Args &a, const BuiltinHooks &)
{
    const ScriptArray &arr = arrayArg(a.at(0));
    const QString match = text(a.at(1));
    const bool include = has(a, 2) ? a.at(2).toBool() : true;
    QList<ScriptValue> out;
    for (const ScriptValue &item : arr.items) {
        const QString s = item.isNull() ? QString() : text(item);
        if (s.contains(match, compareMode(a, 3)) == include)
            out << ScriptValue(s);
    }
    return ScriptValue::array(out);
}

ScriptValue math(const Args &a, double (*f)(double), bool positive)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const double d = v.toDouble();
    if (positive && d <= 0)
        throwScriptError(ScriptErrorNumber::InvalidCall);
    const double r = f(d);
    if (std::isnan(r))
        throwScriptError(ScriptErrorNumber::InvalidCall);
    if (!std::isfinite(r))
        throwScriptError(ScriptErrorNumber::Overflow);
    return ScriptValue::number(r);
}

ScriptValue fSqr(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::sqrt(d); }, false);
}
ScriptValue fExp(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::exp(d); }, false);
}
ScriptValue fLog(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::log(d); }, true);
}
ScriptValue fSin(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::sin(d); }, false);
}
ScriptValue fCos(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::cos(d); }, false);
}
ScriptValue fTan(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::tan(d); }, false);
}
ScriptValue fAtn(const Args &a, const BuiltinHooks &)
{
    return math(
        a, [](double d) { return std::atan(d); }, false);
}

// Rnd is VBScript's 24-bit linear congruential generator, so that a seed
// gives the language's own sequence. Rnd(negative) seeds it from the
// number's bits (the same number each time), Rnd(0) repeats the last one.
quint32 nextRnd(quint32 seed)
{
    return (seed * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
}

ScriptValue fRnd(const Args &a, const BuiltinHooks &h)
{
    quint32 &seed = *h.rndSeed;
    if (a.isEmpty() || a.at(0).isEmpty()) {
        seed = nextRnd(seed);
    } else {
        const double d = scalar(a.at(0)).toDouble();
        if (!(std::fabs(d) <= double(std::numeric_limits<float>::max())))
            throwScriptError(ScriptErrorNumber::Overflow); // no Single
        const float f = float(d);
        if (f < 0) {
            const quint32 bits = std::bit_cast<quint32>(f);
            seed = nextRnd(bits + (bits >> 24));
        } else if (f > 0) {
            seed = nextRnd(seed);
        }
    }
    return ScriptValue::ofType(ScriptValue::Single, double(float(seed) / 16777216.0f));
}

// Randomize n takes the high half of n as a Double for the middle bits of
// the state and keeps its low byte; without n the clock gives the number.
ScriptValue fRandomize(const Args &a, const BuiltinHooks &h)
{
    const double d = a.isEmpty() || a.at(0).isEmpty() ? QTime::currentTime().msecsSinceStartOfDay() / 1000.0
                                                      : scalar(a.at(0)).toDouble();
    quint32 high = quint32(std::bit_cast<quint64>(d) >> 32);
    high ^= high >> 16;
    quint32 &seed = *h.rndSeed;
    seed = ((high & 0xFFFFu) << 8) | (seed & 0xFFu);
    return ScriptValue();
}

ScriptValue fMsgBox(const Args &a, const BuiltinHooks &h)
{
    const QString prompt = text(a.at(0));
    const int buttons = int(argLong(a, 1, 0));
    const QString title = a.size() > 2 ? text(a.at(2)) : QString();
    if (!h.messageBox)
        return ScriptValue::integer(1);
    const OutsideTime waiting;
    return ScriptValue::integer(h.messageBox(prompt, buttons, title));
}

ScriptValue fRGB(const Args &a, const BuiltinHooks &)
{
    qint64 c[3];
    for (int i = 0; i < 3; ++i) {
        const ScriptValue v = scalar(a.at(i));
        if (v.isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
        c[i] = v.toLong();
        if (c[i] < 0)
            throwScriptError(ScriptErrorNumber::InvalidCall);
        c[i] = std::min<qint64>(c[i], 255); // beyond 255 counts as 255
    }
    return longResult(c[0] + c[1] * 256 + c[2] * 65536);
}

// As JavaScript's escape: letters, digits and @*_+-./ stay, other
// characters below 256 become %XX and the rest %uXXXX.
ScriptValue fEscape(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const QString s = v.toString();
    checkedText(qint64(s.size()) * 6);
    static const QString kept = QStringLiteral("@*_+-./");
    QString out;
    for (const QChar c : s) {
        const ushort u = c.unicode();
        if ((u < 128 && c.isLetterOrNumber()) || kept.contains(c))
            out += c;
        else if (u < 256)
            out += QStringLiteral("%%1").arg(u, 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QStringLiteral("%u") + QStringLiteral("%1").arg(u, 4, 16, QLatin1Char('0')).toUpper();
    }
    return ScriptValue(out);
}

ScriptValue fUnescape(const Args &a, const BuiltinHooks &)
{
    const ScriptValue v = scalar(a.at(0));
    if (v.isNull())
        return v;
    const QString s = v.toString();
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) == QLatin1Char('%')) {
            bool ok = false;
            if (i + 5 < s.size() && s.at(i + 1) == QLatin1Char('u')) {
                const ushort u = s.mid(i + 2, 4).toUShort(&ok, 16);
                if (ok && s.mid(i + 2, 4).size() == 4 && !s.mid(i + 2, 4).contains(QLatin1Char('+')) &&
                    !s.mid(i + 2, 4).contains(QLatin1Char('-'))) {
                    out += QChar(u);
                    i += 5;
                    continue;
                }
            }
            if (i + 2 < s.size()) {
                const QString hex = s.mid(i + 1, 2);
                const ushort u = hex.toUShort(&ok, 16);
                if (ok && !hex.contains(QLatin1Char('+')) && !hex.contains(QLatin1Char('-'))) {
                    out += QChar(u);
                    i += 2;
                    continue;
                }
            }
        }
        out += s.at(i);
    }
    return ScriptValue(out);
}

// The engine tells scripts that test for it the language and version of the
// Windows engine whose behaviour it follows.
ScriptValue fScriptEngine(const Args &, const BuiltinHooks &)
{
    return ScriptValue(QStringLiteral("VBScript"));
}
ScriptValue fScriptEngineMajorVersion(const Args &, const BuiltinHooks &)
{
    return longResult(5);
}
ScriptValue fScriptEngineMinorVersion(const Args &, const BuiltinHooks &)
{
    return longResult(8);
}
ScriptValue fScriptEngineBuildVersion(const Args &, const BuiltinHooks &)
{
    return longResult(16384);
}

// Chinese (PRC), the workstations' locale; texts here do not depend on it.
ScriptValue fGetLocale(const Args &, const BuiltinHooks &)
{
    return longResult(2052);
}
ScriptValue fSetLocale(const Args &, const BuiltinHooks &)
{
    return longResult(2052);
}

// Without a window of its own a script gets no input: the answer of Cancel.
ScriptValue fInputBox(const Args &, const BuiltinHooks &)
{
    return ScriptValue(QString());
}

ScriptValue fCreateObject(const Args &a, const BuiltinHooks &)
{
    throwScriptError(ScriptErrorNumber::CannotCreateObject, text(a.at(0)));
}

const QHash<QString, Builtin> &table()
{
    static const QHash<QString, Builtin> t = {
        {QStringLiteral("len"), {1, 1, fLen}},
        {QStringLiteral("left"), {2, 2, fLeft}},
        {QStringLiteral("right"), {2, 2, fRight}},
        {QStringLiteral("mid"), {2, 3, fMid}},
        {QStringLiteral("instr"), {2, 4, fInStr}},
        {QStringLiteral("instrrev"), {2, 4, fInStrRev}},
        {QStringLiteral("replace"), {3, 6, fReplace}},
        {QStringLiteral("trim"), {1, 1, fTrim}},
        {QStringLiteral("ltrim"), {1, 1, fLTrim}},
        {QStringLiteral("rtrim"), {1, 1, fRTrim}},
        {QStringLiteral("ucase"), {1, 1, fUCase}},
        {QStringLiteral("lcase"), {1, 1, fLCase}},
        {QStringLiteral("space"), {1, 1, fSpace}},
        {QStringLiteral("string"), {2, 2, fString}},
        {QStringLiteral("split"), {1, 4, fSplit}},
        {QStringLiteral("join"), {1, 2, fJoin}},
        {QStringLiteral("ubound"), {1, 2, fUBound}},
        {QStringLiteral("lbound"), {1, 2, fLBound}},
        {QStringLiteral("array"), {0, 10000, fArray}},
        {QStringLiteral("isarray"), {1, 1, fIsArray}},
        {QStringLiteral("isempty"), {1, 1, fIsEmpty}},
        {QStringLiteral("isnull"), {1, 1, fIsNull}},
        {QStringLiteral("isnumeric"), {1, 1, fIsNumeric}},
        {QStringLiteral("isdate"), {1, 1, fIsDate}},
        {QStringLiteral("isobject"), {1, 1, fIsObject}},
        {QStringLiteral("cstr"), {1, 1, fCStr}},
        {QStringLiteral("cint"), {1, 1, fCInt}},
        {QStringLiteral("clng"), {1, 1, fCLng}},
        {QStringLiteral("cbyte"), {1, 1, fCByte}},
        {QStringLiteral("cdbl"), {1, 1, fCDbl}},
        {QStringLiteral("csng"), {1, 1, fCSng}},
        {QStringLiteral("ccur"), {1, 1, fCCur}},
        {QStringLiteral("cbool"), {1, 1, fCBool}},
        {QStringLiteral("cdate"), {1, 1, fCDate}},
        {QStringLiteral("int"), {1, 1, fInt}},
        {QStringLiteral("fix"), {1, 1, fFix}},
        {QStringLiteral("abs"), {1, 1, fAbs}},
        {QStringLiteral("round"), {1, 2, fRound}},
        {QStringLiteral("sgn"), {1, 1, fSgn}},
        {QStringLiteral("chr"), {1, 1, fChr}},
        {QStringLiteral("chrw"), {1, 1, fChrW}},
        {QStringLiteral("asc"), {1, 1, fAsc}},
        {QStringLiteral("ascw"), {1, 1, fAscW}},
        {QStringLiteral("now"), {0, 0, fNow}},
        {QStringLiteral("date"), {0, 0, fDate}},
        {QStringLiteral("time"), {0, 0, fTime}},
        {QStringLiteral("timer"), {0, 0, fTimer}},
        {QStringLiteral("year"), {1, 1, datePart<0>}},
        {QStringLiteral("month"), {1, 1, datePart<1>}},
        {QStringLiteral("day"), {1, 1, datePart<2>}},
        {QStringLiteral("hour"), {1, 1, datePart<3>}},
        {QStringLiteral("minute"), {1, 1, datePart<4>}},
        {QStringLiteral("second"), {1, 1, datePart<5>}},
        {QStringLiteral("weekday"), {1, 2, fWeekday}},
        {QStringLiteral("weekdayname"), {1, 3, fWeekdayName}},
        {QStringLiteral("monthname"), {1, 2, fMonthName}},
        {QStringLiteral("dateadd"), {3, 3, fDateAdd}},
        {QStringLiteral("datediff"), {3, 5, fDateDiff}},
        {QStringLiteral("dateserial"), {3, 3, fDateSerial}},
        {QStringLiteral("timeserial"), {3, 3, fTimeSerial}},
        {QStringLiteral("datevalue"), {1, 1, fDateValue}},
        {QStringLiteral("timevalue"), {1, 1, fTimeValue}},
        {QStringLiteral("formatnumber"), {1, 5, fFormatNumber}},
        {QStringLiteral("formatpercent"), {1, 5, fFormatPercent}},
        {QStringLiteral("formatdatetime"), {1, 2, fFormatDateTime}},
        {QStringLiteral("typename"), {1, 1, fTypeName}},
        {QStringLiteral("vartype"), {1, 1, fVarType}},
        {QStringLiteral("hex"), {1, 1, fHex}},
        {QStringLiteral("oct"), {1, 1, fOct}},
        {QStringLiteral("strreverse"), {1, 1, fStrReverse}},
        {QStringLiteral("strcomp"), {2, 3, fStrComp}},
        {QStringLiteral("filter"), {2, 4, fFilter}},
        {QStringLiteral("sqr"), {1, 1, fSqr}},
        {QStringLiteral("exp"), {1, 1, fExp}},
        {QStringLiteral("log"), {1, 1, fLog}},
        {QStringLiteral("sin"), {1, 1, fSin}},
        {QStringLiteral("cos"), {1, 1, fCos}},
        {QStringLiteral("tan"), {1, 1, fTan}},
        {QStringLiteral("atn"), {1, 1, fAtn}},
        {QStringLiteral("rnd"), {0, 1, fRnd}},
        {QStringLiteral("randomize"), {0, 1, fRandomize}},
        {QStringLiteral("msgbox"), {1, 5, fMsgBox}},
        {QStringLiteral("createobject"), {1, 2, fCreateObject}},
        {QStringLiteral("getobject"), {0, 2, fCreateObject}},
        {QStringLiteral("datepart"), {2, 4, fDatePart}},
        {QStringLiteral("formatcurrency"), {1, 5, fFormatCurrency}},
        {QStringLiteral("rgb"), {3, 3, fRGB}},
        {QStringLiteral("escape"), {1, 1, fEscape}},
        {QStringLiteral("unescape"), {1, 1, fUnescape}},
        {QStringLiteral("scriptengine"), {0, 0, fScriptEngine}},
        {QStringLiteral("scriptenginemajorversion"), {0, 0, fScriptEngineMajorVersion}},
        {QStringLiteral("scriptengineminorversion"), {0, 0, fScriptEngineMinorVersion}},
        {QStringLiteral("scriptenginebuildversion"), {0, 0, fScriptEngineBuildVersion}},
        {QStringLiteral("getlocale"), {0, 0, fGetLocale}},
        {QStringLiteral("setlocale"), {0, 1, fSetLocale}},
        {QStringLiteral("inputbox"), {1, 7, fInputBox}},
    };
    return t;
}

} // namespace

bool builtinConstant(const QString &key, ScriptValue *out)
{
    static const QHash<QString, ScriptValue> constants = [] {
        QHash<QString, ScriptValue> c;
        c.insert(QStringLiteral("vbcrlf"), ScriptValue(QStringLiteral("\r\n")));
        c.insert(QStringLiteral("vbnewline"), ScriptValue(QStringLiteral("\r\n")));
        c.insert(QStringLiteral("vbcr"), ScriptValue(QStringLiteral("\r")));
        c.insert(QStringLiteral("vblf"), ScriptValue(QStringLiteral("\n")));
        c.insert(QStringLiteral("vbtab"), ScriptValue(QStringLiteral("\t")));
        c.insert(QStringLiteral("vbformfeed"), ScriptValue(QStringLiteral("\f")));
        c.insert(QStringLiteral("vbverticaltab"), ScriptValue(QStringLiteral("\v")));
        c.insert(QStringLiteral("vbnullstring"), ScriptValue(QString()));
        c.insert(QStringLiteral("vbnullchar"), ScriptValue(QString(QChar(0))));
        const std::pair<const char *, int> ints[] = {{"vbempty", 0},
                                                     {"vbnull", 1},
                                                     {"vbinteger", 2},
                                                     {"vblong", 3},
                                                     {"vbsingle", 4},
                                                     {"vbdouble", 5},
                                                     {"vbcurrency", 6},
                                                     {"vbdate", 7},
                                                     {"vbstring", 8},
                                                     {"vbobject", 9},
                                                     {"vberror", 10},
                                                     {"vbboolean", 11},
                                                     {"vbvariant", 12},
                                                     {"vbdataobject", 13},
                                                     {"vbbyte", 17},
                                                     {"vbarray", 8192},
                                                     {"vbbinarycompare", 0},
                                                     {"vbdatabasecompare", 2},
                                                     {"vbtextcompare", 1},
                                                     {"vbsunday", 1},
                                                     {"vbmonday", 2},
                                                     {"vbtuesday", 3},
                                                     {"vbwednesday", 4},
                                                     {"vbthursday", 5},
                                                     {"vbfriday", 6},
                                                     {"vbsaturday", 7},
                                                     {"vbusesystemdayofweek", 0},
                                                     {"vbfirstjan1", 1},
                                                     {"vbfirstfourdays", 2},
                                                     {"vbfirstfullweek", 3},
                                                     {"vbgeneraldate", 0},
                                                     {"vblongdate", 1},
                                                     {"vbshortdate", 2},
                                                     {"vblongtime", 3},
                                                     {"vbshorttime", 4},
                                                     {"vbtrue", -1},
                                                     {"vbfalse", 0},
                                                     {"vbusedefault", -2},
                                                     {"vbokonly", 0},
                                                     {"vbokcancel", 1},
                                                     {"vbabortretryignore", 2},
                                                     {"vbyesnocancel", 3},
                                                     {"vbyesno", 4},
                                                     {"vbretrycancel", 5},
                                                     {"vbcritical", 16},
                                                     {"vbquestion", 32},
                                                     {"vbexclamation", 48},
                                                     {"vbinformation", 64},
                                                     {"vbdefaultbutton1", 0},
                                                     {"vbdefaultbutton2", 256},
                                                     {"vbdefaultbutton3", 512},
                                                     {"vbdefaultbutton4", 768},
                                                     {"vbapplicationmodal", 0},
                                                     {"vbsystemmodal", 4096},
                                                     {"vbusesystem", 0},
                                                     {"vbdecimal", 14},
                                                     {"vbok", 1},
                                                     {"vbcancel", 2},
                                                     {"vbabort", 3},
                                                     {"vbretry", 4},
                                                     {"vbignore", 5},
                                                     {"vbyes", 6},
                                                     {"vbno", 7}};
        for (const auto &[name, value] : ints)
            c.insert(QString::fromLatin1(name), ScriptValue::integer(value));
        c.insert(QStringLiteral("vbobjecterror"), ScriptValue::ofType(ScriptValue::Long, -2147221504.0));
        // The message box's option flags are Longs whatever their size.
        const std::pair<const char *, double> longs[] = {{"vbmsgboxhelpbutton", 16384},
                                                         {"vbmsgboxsetforeground", 65536},
                                                         {"vbmsgboxright", 524288},
                                                         {"vbmsgboxrtlreading", 1048576}};
        for (const auto &[name, value] : longs)
            c.insert(QString::fromLatin1(name), ScriptValue::ofType(ScriptValue::Long, value));
        const std::pair<const char *, double> colours[] = {
            {"vbblack", 0x000000}, {"vbred", 0x0000FF},     {"vbgreen", 0x00FF00}, {"vbyellow", 0x00FFFF},
            {"vbblue", 0xFF0000},  {"vbmagenta", 0xFF00FF}, {"vbcyan", 0xFFFF00},  {"vbwhite", 0xFFFFFF}};
        for (const auto &[name, value] : colours)
            c.insert(QString::fromLatin1(name), ScriptValue::ofType(ScriptValue::Long, value));
        return c;
    }();
    const auto it = constants.find(key);
    if (it == constants.end())
        return false;
    *out = it.value();
    return true;
}

bool isBuiltinFunction(const QString &key)
{
    return table().contains(key);
}

ScriptValue callBuiltin(const QString &key, const QList<ScriptValue> &args, const BuiltinHooks &hooks)
{
    const auto it = table().find(key);
    if (it == table().end())
        throwScriptError(ScriptErrorNumber::TypeMismatch, key);
    if (args.size() < it->minArgs || args.size() > it->maxArgs)
        throwScriptError(ScriptErrorNumber::WrongArgumentCount, key);
    return it->fn(args, hooks);
}

namespace {
thread_local int t_outsideDepth = 0;
thread_local qint64 t_outsideTotal = 0;
thread_local QElapsedTimer t_clock;
} // namespace

OutsideTime::OutsideTime() : m_started(0)
{
    if (!t_clock.isValid())
        t_clock.start();
    if (t_outsideDepth++ == 0)
        m_started = t_clock.elapsed();
}

OutsideTime::~OutsideTime()
{
    if (--t_outsideDepth == 0)
        t_outsideTotal += t_clock.elapsed() - m_started;
}

qint64 OutsideTime::total()
{
    return t_outsideTotal;
}

} // namespace script
