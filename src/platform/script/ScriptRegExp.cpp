#include "platform/script/ScriptRegExp.h"

#include "platform/script/ScriptObject.h"

#include <QRegularExpression>

namespace script {
namespace {

bool is(const QString &name, const char *what)
{
    return name.compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

// A text argument as the RegExp methods take it: objects by their default
// value; Null does not convert to a text (type mismatch).
QString textArg(const QList<ScriptValue> &args, int i)
{
    const ScriptValue v = args.at(i).isObject() ? ScriptObject::defaultValue(args.at(i).objectValue()) : args.at(i);
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    return v.toString();
}

// Replace's replacement is converted as a Variant becomes a text without
// the language's help: a Boolean is its number, True "-1" and False "0".
QString replacementArg(const ScriptValue &arg)
{
    const ScriptValue v = arg.isObject() ? ScriptObject::defaultValue(arg.objectValue()) : arg;
    if (v.isNull())
        throwScriptError(ScriptErrorNumber::TypeMismatch);
    if (v.type() == ScriptValue::Boolean)
        return v.numberValue() != 0 ? QStringLiteral("-1") : QStringLiteral("0");
    return v.toString();
}

// The numbered items of a read-only collection: Count, Item(i) as the default, For Each.
class ItemList : public ScriptObject
{
public:
    ItemList(QString typeName, QList<ScriptValue> items) : m_typeName(std::move(typeName)), m_items(std::move(items)) {}
    QString typeName() const override { return m_typeName; }
    bool hasProperty(const QString &name) const override { return is(name, "Count"); }
    bool hasMethod(const QString &name) const override { return name.isEmpty() || is(name, "Item"); }
    ScriptValue getProperty(const QString &name) override
    {
        if (!is(name, "Count"))
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        return ScriptValue::ofType(ScriptValue::Long, double(m_items.size()));
    }
    void setProperty(const QString &name, const ScriptValue &) override
    {
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        if (!name.isEmpty() && !is(name, "Item"))
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        if (args.size() != 1)
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
        const qint64 i = args.at(0).toLong();
        if (i < 0 || i >= m_items.size())
            throwScriptError(ScriptErrorNumber::InvalidCall);
        return m_items.at(i);
    }
    bool enumerate(QList<ScriptValue> *items) override
    {
        *items = m_items;
        return true;
    }

private:
    QString m_typeName;
    QList<ScriptValue> m_items;
};

// One match: Value (the default), FirstIndex (0-based), Length, SubMatches.
class MatchObject : public ScriptObject
{
public:
    explicit MatchObject(const QRegularExpressionMatch &m)
        : m_value(m.captured(0)), m_firstIndex(m.capturedStart(0)), m_length(m.capturedLength(0))
    {
        QList<ScriptValue> subs;
        for (int g = 1; g <= m.regularExpression().captureCount(); ++g) {
            // A group that took no part in the match is Empty.
            subs << (m.capturedStart(g) < 0 ? ScriptValue() : ScriptValue(m.captured(g)));
        }
        m_subMatches = std::make_shared<ItemList>(QStringLiteral("ISubMatches"), subs);
    }
    QString typeName() const override { return QStringLiteral("IMatch2"); }
    bool hasProperty(const QString &name) const override
    {
        return name.isEmpty() || is(name, "Value") || is(name, "FirstIndex") || is(name, "Length") ||
               is(name, "SubMatches");
    }
    bool hasMethod(const QString &) const override { return false; }
    ScriptValue getProperty(const QString &name) override
    {
        if (name.isEmpty() || is(name, "Value"))
            return ScriptValue(m_value);
        if (is(name, "FirstIndex"))
            return ScriptValue::ofType(ScriptValue::Long, double(m_firstIndex));
        if (is(name, "Length"))
            return ScriptValue::ofType(ScriptValue::Long, double(m_length));
        if (is(name, "SubMatches"))
            return ScriptValue::object(m_subMatches);
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    void setProperty(const QString &name, const ScriptValue &) override
    {
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &) override
    {
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }

private:
    QString m_value;
    qsizetype m_firstIndex, m_length;
    std::shared_ptr<ItemList> m_subMatches;
};

class RegExpObject : public ScriptObject
{
public:
    QString typeName() const override { return QStringLiteral("IRegExp2"); }
    bool hasProperty(const QString &name) const override
    {
        return is(name, "Pattern") || is(name, "IgnoreCase") || is(name, "Global") || is(name, "Multiline");
    }
    bool hasMethod(const QString &name) const override
    {
        return is(name, "Test") || is(name, "Execute") || is(name, "Replace");
    }
    ScriptValue getProperty(const QString &name) override
    {
        if (is(name, "Pattern"))
            return ScriptValue(m_pattern);
        if (is(name, "IgnoreCase"))
            return ScriptValue::boolean(m_ignoreCase);
        if (is(name, "Global"))
            return ScriptValue::boolean(m_global);
        if (is(name, "Multiline"))
            return ScriptValue::boolean(m_multiline);
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    void setProperty(const QString &name, const ScriptValue &value) override
    {
        const ScriptValue v = value.isObject() ? ScriptObject::defaultValue(value.objectValue()) : value;
        if (is(name, "Pattern"))
            m_pattern = v.toString();
        else if (is(name, "IgnoreCase"))
            m_ignoreCase = v.toBool();
        else if (is(name, "Global"))
            m_global = v.toBool();
        else if (is(name, "Multiline"))
            m_multiline = v.toBool();
        else
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        const int wanted = is(name, "Replace") ? 2 : 1;
        if (!hasMethod(name))
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        if (args.size() != wanted)
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
        const QString subject = textArg(args, 0);
        const QRegularExpression re = compiled();
        if (is(name, "Test"))
            return ScriptValue::boolean(re.match(subject).hasMatch());
        if (is(name, "Execute")) {
            QList<ScriptValue> matches;
            auto it = re.globalMatch(subject);
            while (it.hasNext()) {
                matches << ScriptValue::object(std::make_shared<MatchObject>(it.next()));
                if (!m_global)
                    break;
            }
            return ScriptValue::object(std::make_shared<ItemList>(QStringLiteral("IMatchCollection2"), matches));
        }
        const QString replacement = replacementArg(args.at(1));
        QString out;
        qsizetype last = 0;
        auto it = re.globalMatch(subject);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            out += QStringView(subject).mid(last, m.capturedStart(0) - last);
            out += expand(replacement, m, subject);
            last = m.capturedEnd(0);
            if (!m_global)
                break;
        }
        out += QStringView(subject).mid(last);
        return ScriptValue(out);
    }

private:
    // VBScript's pattern language in PCRE's words: "$" without Multiline is
    // the end of the text only, and \uXXXX is a code unit.
    QString translated() const
    {
        QString out;
        bool inClass = false;
        for (qsizetype i = 0; i < m_pattern.size(); ++i) {
            const QChar c = m_pattern.at(i);
            if (c == QLatin1Char('\\') && i + 1 < m_pattern.size()) {
                const QChar n = m_pattern.at(i + 1);
                if (n == QLatin1Char('u') && i + 5 < m_pattern.size()) {
                    bool ok = false;
                    m_pattern.mid(i + 2, 4).toUShort(&ok, 16);
                    if (ok) {
                        out += QStringLiteral("\\x{") + m_pattern.mid(i + 2, 4) + QLatin1Char('}');
                        i += 5;
                        continue;
                    }
                }
                out += c;
                out += n;
                ++i;
                continue;
            }
            if (inClass) {
                if (c == QLatin1Char(']'))
                    inClass = false;
                out += c;
                continue;
            }
            if (c == QLatin1Char('[')) {
                inClass = true;
                out += c;
                // A "]" right after "[" or "[^" is a member in PCRE but ends the class in VBScript.
                if (i + 1 < m_pattern.size() && m_pattern.at(i + 1) == QLatin1Char('^')) {
                    out += QLatin1Char('^');
                    ++i;
                }
                if (i + 1 < m_pattern.size() && m_pattern.at(i + 1) == QLatin1Char(']')) {
                    // "[]" matches nothing, "[^]" any character.
                    if (out.endsWith(QLatin1Char('^')))
                        out.chop(1);
                    else
                        out += QLatin1Char('^');
                    out += QStringLiteral("\\s\\S]");
                    inClass = false;
                    ++i;
                }
                continue;
            }
            if (c == QLatin1Char('$') && !m_multiline) {
                out += QStringLiteral("\\z");
                continue;
            }
            out += c;
        }
        return out;
    }

    QRegularExpression compiled() const
    {
        QRegularExpression::PatternOptions options;
        if (m_ignoreCase)
            options |= QRegularExpression::CaseInsensitiveOption;
        if (m_multiline)
            options |= QRegularExpression::MultilineOption;
        QRegularExpression re(translated(), options);
        if (!re.isValid()) {
            const QString why = re.errorString();
            if (why.contains(QLatin1String("terminating ]")))
                throwScriptError(5019);
            if (why.contains(QLatin1String("closing parenthesis")))
                throwScriptError(5020);
            if (why.contains(QLatin1String("quantifier")) || why.contains(QLatin1String("nothing to repeat")))
                throwScriptError(5018);
            if (why.contains(QLatin1String("range out of order")))
                throwScriptError(5021);
            throwScriptError(5017);
        }
        return re;
    }

    // $1..$99, $& (the match), $` and $' (the text before and after), $$.
    static QString expand(const QString &replacement, const QRegularExpressionMatch &m, const QString &subject)
    {
        const int groups = m.regularExpression().captureCount();
        QString out;
        for (qsizetype i = 0; i < replacement.size(); ++i) {
            const QChar c = replacement.at(i);
            if (c != QLatin1Char('$') || i + 1 >= replacement.size()) {
                out += c;
                continue;
            }
            const QChar n = replacement.at(i + 1);
            if (n == QLatin1Char('$')) {
                out += QLatin1Char('$');
                ++i;
            } else if (n == QLatin1Char('&')) {
                out += m.captured(0);
                ++i;
            } else if (n == QLatin1Char('`')) {
                out += QStringView(subject).left(m.capturedStart(0));
                ++i;
            } else if (n == QLatin1Char('\'')) {
                out += QStringView(subject).mid(m.capturedEnd(0));
                ++i;
            } else if (n.isDigit() && n != QLatin1Char('0')) {
                int g = n.digitValue();
                qsizetype used = 1;
                if (i + 2 < replacement.size() && replacement.at(i + 2).isDigit()) {
                    const int two = g * 10 + replacement.at(i + 2).digitValue();
                    if (two <= groups) {
                        g = two;
                        used = 2;
                    }
                }
                if (g > groups) {
                    out += c;
                    continue;
                }
                out += m.captured(g);
                i += used;
            } else {
                out += c;
            }
        }
        return out;
    }

    QString m_pattern;
    bool m_ignoreCase = false, m_global = false, m_multiline = false;
};

} // namespace

std::shared_ptr<ScriptObject> makeRegExp()
{
    return std::make_shared<RegExpObject>();
}

} // namespace script
