#include "platform/script/ScriptSyntax.h"

#include <QSet>

namespace script {
namespace {

// Nesting deeper than this (parentheses, blocks) is refused rather than
// risking the parser's own stack.
constexpr int kMaxNesting = 200;

struct Token
{
    enum Kind { End, EndOfStatement, Identifier, Number, String, Date, Symbol };
    Kind kind = End;
    QString text;      // identifiers as written, symbols, string contents
    QString lower;     // identifiers in lower case
    ScriptValue value; // numbers and dates
    int line = 1;
    bool spaceBefore = false;
    bool newline = false; // EndOfStatement from a line break (not ':')
};

// A compilation error: VBScript's number and text, and a detail that tells
// where: "line 4: Expected 'End' in the If statement begun on line 2".
[[noreturn]] void failAt(qint64 number, int line, const QString &where)
{
    ScriptError e(number, scriptErrorText(number), QStringLiteral("Microsoft VBScript compilation error"), line);
    e.detail = QStringLiteral("line %1: %2 %3").arg(line).arg(e.description, where);
    throw e;
}

// What a piece of source text looks like in a detail: its start, on one line.
QString excerpt(const QString &text)
{
    const QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    return line.size() <= 24 ? line : line.left(24) + QStringLiteral("...");
}

// ---- lexer ----

class Lexer
{
public:
    explicit Lexer(const QString &text) : m_text(text) {}

    std::vector<Token> run()
    {
        std::vector<Token> out;
        while (true) {
            bool space = skipBlanks();
            Token t;
            t.line = m_line;
            t.spaceBefore = space;
            if (m_pos >= m_text.size()) {
                t.kind = Token::End;
                out.push_back(t);
                return out;
            }
            const QChar c = m_text.at(m_pos);
            if (c == QLatin1Char('\'')) {
                skipToLineEnd();
                continue;
            }
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                if (c == QLatin1Char('\r') && peek(1) == QLatin1Char('\n'))
                    ++m_pos;
                ++m_pos;
                t.kind = Token::EndOfStatement;
                t.newline = true;
                out.push_back(t);
                ++m_line;
                continue;
            }
            if (c == QLatin1Char(':')) {
                ++m_pos;
                t.kind = Token::EndOfStatement;
                out.push_back(t);
                continue;
            }
            if (c == QLatin1Char('"')) {
                t.kind = Token::String;
                t.text = readString();
                out.push_back(t);
                continue;
            }
            if (c == QLatin1Char('#')) {
                t.kind = Token::Date;
                const qsizetype end = m_text.indexOf(QLatin1Char('#'), m_pos + 1);
                const qsizetype eol = lineEnd();
                if (end < 0 || end > eol)
                    failAt(ScriptErrorNumber::SyntaxError, m_line,
                           QStringLiteral("in the date literal %1").arg(excerpt(m_text.mid(m_pos, eol - m_pos))));
                double d = 0;
                if (!ScriptValue::parseDate(m_text.mid(m_pos + 1, end - m_pos - 1), &d))
                    failAt(ScriptErrorNumber::SyntaxError, m_line,
                           QStringLiteral("in the date literal %1").arg(m_text.mid(m_pos, end + 1 - m_pos)));
                t.value = ScriptValue::date(d);
                m_pos = end + 1;
                out.push_back(t);
                continue;
            }
            if (c.isDigit() || (c == QLatin1Char('.') && peek(1).isDigit())) {
                t.kind = Token::Number;
                t.value = readNumber();
                out.push_back(t);
                continue;
            }
            if (c == QLatin1Char('&') &&
                (peek(1).toLower() == QLatin1Char('h') || peek(1).toLower() == QLatin1Char('o')) &&
                isRadixDigit(peek(2), peek(1).toLower() == QLatin1Char('h'))) {
                t.kind = Token::Number;
                t.value = readRadix();
                out.push_back(t);
                continue;
            }
            if (c.isLetter() || c == QLatin1Char('[')) {
                t.kind = Token::Identifier;
                t.text = readIdentifier();
                t.lower = t.text.toLower();
                if (t.lower == QLatin1String("rem") && c != QLatin1Char('[') &&
                    (out.empty() || out.back().kind == Token::EndOfStatement)) {
                    skipToLineEnd();
                    continue;
                }
                out.push_back(t);
                continue;
            }
            t.kind = Token::Symbol;
            static const QStringList two = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">="),
                                            QStringLiteral("=<"), QStringLiteral("=>"), QStringLiteral("><")};
            const QString pair = m_text.mid(m_pos, 2);
            if (two.contains(pair)) {
                // "=<", "=>" and "><" are old spellings of "<=", ">=" and "<>".
                t.text = pair == QLatin1String("=<")   ? QStringLiteral("<=")
                         : pair == QLatin1String("=>") ? QStringLiteral(">=")
                         : pair == QLatin1String("><") ? QStringLiteral("<>")
                                                       : pair;
                m_pos += 2;
                out.push_back(t);
                continue;
            }
            static const QString single = QStringLiteral("()=<>+-*/\\^&,.");
            if (!single.contains(c))
                failAt(1032, m_line, QStringLiteral("'%1'").arg(c)); // Invalid character
            t.text = QString(c);
            ++m_pos;
            out.push_back(t);
        }
    }

private:
    QChar peek(qsizetype ahead) const { return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead) : QChar(); }
    qsizetype lineEnd() const
    {
        qsizetype p = m_pos;
        while (p < m_text.size() && m_text.at(p) != QLatin1Char('\n') && m_text.at(p) != QLatin1Char('\r'))
            ++p;
        return p;
    }
    void skipToLineEnd() { m_pos = lineEnd(); }

    // Blanks, and a line continuation: "_" with nothing but blanks after it on its line.
    bool skipBlanks()
    {
        bool any = false;
        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos);
            if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QChar(0x3000) || c == QChar(0xFEFF)) {
                ++m_pos;
                any = true;
                continue;
            }
            if (c == QLatin1Char('_')) {
                qsizetype p = m_pos + 1;
                while (p < m_text.size() && (m_text.at(p) == QLatin1Char(' ') || m_text.at(p) == QLatin1Char('\t')))
                    ++p;
                if (p < m_text.size() && (m_text.at(p) == QLatin1Char('\r') || m_text.at(p) == QLatin1Char('\n'))) {
                    if (m_text.at(p) == QLatin1Char('\r') && p + 1 < m_text.size() &&
                        m_text.at(p + 1) == QLatin1Char('\n'))
                        ++p;
                    m_pos = p + 1;
                    ++m_line;
                    any = true;
                    continue;
                }
                failAt(1032, m_line, QStringLiteral("'_': a line continuation must end its line"));
            }
            break;
        }
        return any;
    }

    QString readString()
    {
        QString s;
        const qsizetype start = m_pos;
        ++m_pos;
        while (true) {
            if (m_pos >= m_text.size() || m_text.at(m_pos) == QLatin1Char('\n') ||
                m_text.at(m_pos) == QLatin1Char('\r'))
                failAt(1033, m_line, excerpt(m_text.mid(start, m_pos - start))); // Unterminated string constant
            const QChar c = m_text.at(m_pos++);
            if (c == QLatin1Char('"')) {
                if (peek(0) == QLatin1Char('"')) {
                    s += c;
                    ++m_pos;
                    continue;
                }
                return s;
            }
            s += c;
        }
    }

    static bool isRadixDigit(QChar c, bool hex)
    {
        if (hex)
            return c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        return c >= QLatin1Char('0') && c <= QLatin1Char('7');
    }

    ScriptValue readRadix()
    {
        const bool hex = m_text.at(m_pos + 1).toLower() == QLatin1Char('h');
        m_pos += 2;
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && isRadixDigit(m_text.at(m_pos), hex))
            ++m_pos;
        bool ok = false;
        const quint64 raw = m_text.mid(start, m_pos - start).toULongLong(&ok, hex ? 16 : 8);
        if (!ok || raw > 0xFFFFFFFFull)
            failAt(ScriptErrorNumber::Overflow, m_line,
                   QStringLiteral("in the number %1").arg(m_text.mid(start - 2, m_pos - start + 2)));
        // Four digits or fewer are a 16-bit pattern (&HFFFF is -1) unless a
        // trailing "&" asks for 32 bits (&HFFFF& is 65535); eight digits are
        // a 32-bit pattern (&HFFFFFFFF is -1). Like any number literal the
        // value is an Integer where it fits 16 bits, else a Long.
        const bool wide = peek(0) == QLatin1Char('&');
        if (wide)
            ++m_pos;
        const qint64 value = raw <= 0xFFFF && !wide ? qint64(qint16(quint16(raw))) : qint64(qint32(quint32(raw)));
        return ScriptValue::integer(value);
    }

    ScriptValue readNumber()
    {
        const qsizetype start = m_pos;
        bool isFloat = false;
        while (m_pos < m_text.size() && m_text.at(m_pos).isDigit())
            ++m_pos;
        if (peek(0) == QLatin1Char('.') && peek(1) != QLatin1Char('.')) {
            isFloat = true;
            ++m_pos;
            while (m_pos < m_text.size() && m_text.at(m_pos).isDigit())
                ++m_pos;
        }
        if (peek(0).toLower() == QLatin1Char('e') &&
            (peek(1).isDigit() ||
             ((peek(1) == QLatin1Char('+') || peek(1) == QLatin1Char('-')) && peek(2).isDigit()))) {
            isFloat = true;
            m_pos += 2;
            while (m_pos < m_text.size() && m_text.at(m_pos).isDigit())
                ++m_pos;
        }
        const double d = m_text.mid(start, m_pos - start).toDouble();
        if (peek(0).isLetter() || peek(0) == QLatin1Char('_'))
            failAt(ScriptErrorNumber::ExpectedEndOfStatement, m_line,
                   QStringLiteral("after the number %1").arg(m_text.mid(start, m_pos - start)));
        if (!isFloat && d <= 2147483647.0)
            return ScriptValue::integer(qint64(d));
        return ScriptValue::number(d);
    }

    QString readIdentifier()
    {
        if (m_text.at(m_pos) == QLatin1Char('[')) {
            const qsizetype end = m_text.indexOf(QLatin1Char(']'), m_pos);
            if (end < 0 || end > lineEnd())
                failAt(1010, m_line,
                       QStringLiteral("in the bracketed name %1")
                           .arg(excerpt(m_text.mid(m_pos, lineEnd() - m_pos)))); // Expected identifier
            const QString name = m_text.mid(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
            return name;
        }
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == QLatin1Char('_')))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    const QString &m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// ---- parser ----

const QSet<QString> &reservedWords()
{
    static const QSet<QString> words = {
        QStringLiteral("and"),     QStringLiteral("call"),     QStringLiteral("case"),   QStringLiteral("class"),
        QStringLiteral("const"),   QStringLiteral("dim"),      QStringLiteral("do"),     QStringLiteral("each"),
        QStringLiteral("else"),    QStringLiteral("elseif"),   QStringLiteral("empty"),  QStringLiteral("end"),
        QStringLiteral("eqv"),     QStringLiteral("erase"),    QStringLiteral("exit"),   QStringLiteral("false"),
        QStringLiteral("for"),     QStringLiteral("function"), QStringLiteral("if"),     QStringLiteral("imp"),
        QStringLiteral("in"),      QStringLiteral("is"),       QStringLiteral("loop"),   QStringLiteral("mod"),
        QStringLiteral("new"),     QStringLiteral("next"),     QStringLiteral("not"),    QStringLiteral("nothing"),
        QStringLiteral("null"),    QStringLiteral("on"),       QStringLiteral("option"), QStringLiteral("or"),
        QStringLiteral("private"), QStringLiteral("public"),   QStringLiteral("redim"),  QStringLiteral("select"),
        QStringLiteral("set"),     QStringLiteral("stop"),     QStringLiteral("sub"),    QStringLiteral("then"),
        QStringLiteral("to"),      QStringLiteral("true"),     QStringLiteral("until"),  QStringLiteral("wend"),
        QStringLiteral("while"),   QStringLiteral("with"),     QStringLiteral("xor")};
    return words;
}

class Parser
{
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    std::shared_ptr<Program> program()
    {
        auto prog = std::make_shared<Program>();
        m_program = prog.get();
        m_dims = &prog->dims;
        m_consts = &prog->consts;
        m_scopes.push_back({});
        while (true) {
            skipSeparators();
            if (at().kind == Token::End)
                break;
            if (isWord("class")) {
                prog->classes.push_back(classDefinition());
                endOfStatement();
                continue;
            }
            if (isProcedureStart()) {
                prog->procedures.push_back(globalProcedure());
                endOfStatement();
                continue;
            }
            prog->statements.push_back(statement());
            endOfStatement();
        }
        return prog;
    }

    ExprPtr standaloneExpression()
    {
        skipSeparators();
        const ConstructGuard construct(this, QStringLiteral("expression"), at().line);
        ExprPtr e = expression();
        skipSeparators();
        if (at().kind != Token::End)
            fail(ScriptErrorNumber::ExpectedEndOfStatement, at().line);
        return e;
    }

    // A compilation error at that line, named by the constructs being
    // parsed, the innermost three.
    [[noreturn]] void fail(qint64 number, int line) const
    {
        if (m_constructs.empty())
            failAt(number, line, QStringLiteral("at the script's top level"));
        QStringList where;
        for (auto it = m_constructs.crbegin(); it != m_constructs.crend() && where.size() < 3; ++it)
            where << phrase(QStringLiteral("in"), *it, line);
        failAt(number, line, where.join(QStringLiteral(", ")));
    }

private:
    // What is being parsed, innermost last, for the details of errors.
    // Named when an error needs it, from its first tokens: parsing names nothing.
    struct Construct
    {
        enum Kind { Fixed, Statement, Procedure, Class, Arguments };
        Kind kind;
        QString what; // Fixed: the name; Arguments: the callee, if any
        int line;
        size_t start; // its first token
    };
    // A token as an error's detail shows it.
    static QString shown(const Token &t)
    {
        switch (t.kind) {
        case Token::End:
            return QStringLiteral("the end of the text");
        case Token::String:
            return QLatin1Char('"') + t.text + QLatin1Char('"');
        case Token::Number:
        case Token::Date:
            return t.value.toString();
        default:
            return t.text;
        }
    }
    QString describe(const Construct &c) const
    {
        switch (c.kind) {
        case Construct::Statement:
            return statementName(c.start);
        case Construct::Procedure:
            return wordAt(c.start, "property")
                       ? QStringLiteral("Property %1 %2").arg(keyword(c.start + 1), tokenAt(c.start + 2).text)
                       : QStringLiteral("%1 %2").arg(keyword(c.start), tokenAt(c.start + 1).text);
        case Construct::Class:
            return QStringLiteral("Class %1").arg(tokenAt(c.start + 1).text);
        case Construct::Arguments:
            return c.what.isEmpty() ? QStringLiteral("argument list")
                                    : QStringLiteral("argument list of %1").arg(c.what);
        default:
            return c.what;
        }
    }
    QString phrase(const QString &preposition, const Construct &c, int line) const
    {
        return c.line == line ? QStringLiteral("%1 the %2").arg(preposition, describe(c))
                              : QStringLiteral("%1 the %2 begun on line %3").arg(preposition, describe(c)).arg(c.line);
    }
    struct ConstructGuard
    {
        ConstructGuard(Parser *p, Construct::Kind kind, int line, QString what = QString()) : p(p)
        {
            p->m_constructs.push_back({kind, std::move(what), line, p->m_pos});
        }
        ConstructGuard(Parser *p, QString what, int line) : ConstructGuard(p, Construct::Fixed, line, std::move(what))
        {}
        ~ConstructGuard()
        {
            p->m_lastConstruct = std::move(p->m_constructs.back());
            p->m_constructs.pop_back();
        }
        ConstructGuard(const ConstructGuard &) = delete;
        ConstructGuard &operator=(const ConstructGuard &) = delete;
        Parser *p;
    };

    // -- token helpers --
    const Token &at(int ahead = 0) const
    {
        const size_t i = std::min(m_pos + size_t(ahead), m_tokens.size() - 1);
        return m_tokens[i];
    }
    const Token &next() { return m_tokens[m_pos < m_tokens.size() - 1 ? m_pos++ : m_pos]; }
    bool isWord(const char *w, int ahead = 0) const
    {
        const Token &t = at(ahead);
        return t.kind == Token::Identifier && t.lower == QLatin1String(w);
    }
    bool isSymbol(const char *s, int ahead = 0) const
    {
        const Token &t = at(ahead);
        return t.kind == Token::Symbol && t.text == QLatin1String(s);
    }
    bool acceptWord(const char *w)
    {
        if (!isWord(w))
            return false;
        next();
        return true;
    }
    bool acceptSymbol(const char *s)
    {
        if (!isSymbol(s))
            return false;
        next();
        return true;
    }
    void expectWord(const char *w, qint64 error)
    {
        if (!acceptWord(w))
            fail(error, at().line);
    }
    void expectSymbol(const char *s, qint64 error)
    {
        if (!acceptSymbol(s))
            fail(error, at().line);
    }
    bool atStatementEnd() const
    {
        return at().kind == Token::EndOfStatement || at().kind == Token::End ||
               (m_singleLineIf > 0 && (isWord("else") || (isWord("end") && isWord("if", 1)))) || atProcedureEnd();
    }
    // A statement must end here: what follows is named after the statement.
    void endOfStatement()
    {
        if (at().kind == Token::End)
            return;
        if (at().kind != Token::EndOfStatement) {
            // After a statement or block just finished, or in the header of
            // the block still open.
            const bool after =
                m_lastConstruct.line > 0 && (m_constructs.empty() || m_lastConstruct.start > m_constructs.back().start);
            if (!after)
                fail(ScriptErrorNumber::ExpectedEndOfStatement, at().line);
            failAt(ScriptErrorNumber::ExpectedEndOfStatement, at().line,
                   QStringLiteral("at '%1' %2")
                       .arg(shown(at()), phrase(QStringLiteral("after"), m_lastConstruct, at().line)));
        }
        next();
    }
    void skipSeparators()
    {
        while (at().kind == Token::EndOfStatement)
            next();
    }
    QString identifier()
    {
        const Token &t = at();
        if (t.kind != Token::Identifier || reservedWords().contains(t.lower))
            fail(1010, t.line); // Expected identifier
        next();
        return t.text;
    }

    struct DepthGuard
    {
        explicit DepthGuard(Parser *p) : p(p)
        {
            if (++p->m_depth > kMaxNesting)
                p->fail(ScriptErrorNumber::OutOfStack, p->at().line);
        }
        ~DepthGuard() { --p->m_depth; }
        Parser *p;
    };

    // Names declared in one scope (the script's top level or one procedure):
    // a second declaration of a name is a compilation error.
    void declare(const QString &name, int line)
    {
        const QString key = name.toLower();
        if (m_scopes.back().contains(key))
            fail(ScriptErrorNumber::NameRedefined, line);
        m_scopes.back().insert(key);
    }

    // -- procedures --
    // "Sub", "Function", "Property", each optionally after Public/Private [Default].
    bool isProcedureStart() const
    {
        int i = 0;
        if (isWord("public", i) || isWord("private", i))
            ++i;
        if (isWord("default", i))
            ++i;
        return isWord("sub", i) || isWord("function", i) ||
               (isWord("property", i) && (isPropertyKind(i + 1) || at(i + 1).kind == Token::Identifier));
    }
    bool isPropertyKind(int ahead) const
    {
        return isWord("get", ahead) || isWord("let", ahead) || isWord("set", ahead);
    }
    void modifiers(bool *isPublic, bool *isDefault)
    {
        if (acceptWord("private"))
            *isPublic = false;
        else
            acceptWord("public");
        if (acceptWord("default")) {
            if (!*isPublic)
                fail(1057, at().line); // Default needs Public
            *isDefault = true;
        }
    }

    // A Sub or Function of the script, at its top level or inside a block of
    // its top-level code: VBScript declares it for the whole script either way.
    std::shared_ptr<Procedure> globalProcedure()
    {
        bool isPublic = true, isDefault = false;
        modifiers(&isPublic, &isDefault);
        auto proc = procedure();
        proc->isPublic = isPublic;
        if (isDefault)
            fail(1057, proc->line); // Default outside a class
        return proc;
    }

    // A procedure up to its End Sub (End Function, End Property); what
    // separates it from the next statement is left to the caller.
    std::shared_ptr<Procedure> procedure()
    {
        auto proc = std::make_shared<Procedure>();
        proc->line = at().line;
        const ConstructGuard construct(this, Construct::Procedure, proc->line);
        // A block around the declaration does not reach into its body.
        const QList<char> outerLoops = std::exchange(m_loops, {});
        const int outerSingleLineIf = std::exchange(m_singleLineIf, 0);
        if (acceptWord("property")) {
            if (acceptWord("get"))
                proc->kind = Procedure::PropertyGet;
            else if (acceptWord("let"))
                proc->kind = Procedure::PropertyLet;
            else if (acceptWord("set"))
                proc->kind = Procedure::PropertySet;
            else
                fail(1049, at().line); // Expected Let or Set or Get in property declaration
            if (!m_inClass)
                fail(1048, proc->line); // Must be defined inside a Class
        } else {
            proc->kind = isWord("function") ? Procedure::Function : Procedure::Sub;
            next();
        }
        proc->isFunction = proc->kind == Procedure::Function || proc->kind == Procedure::PropertyGet;
        proc->name = identifier();
        proc->key = proc->name.toLower();
        m_scopes.push_back({});
        QStringList *outerDims = m_dims;
        m_dims = &proc->dims;
        auto *outerConsts = std::exchange(m_consts, &proc->consts);
        if (acceptSymbol("(")) {
            if (!isSymbol(")")) {
                do {
                    Parameter p;
                    if (acceptWord("byval"))
                        p.byVal = true;
                    else
                        acceptWord("byref");
                    const int line = at().line;
                    p.name = identifier();
                    p.key = p.name.toLower();
                    declare(p.name, line);
                    if (acceptSymbol("("))
                        expectSymbol(")", 1006);
                    proc->params.push_back(p);
                } while (acceptSymbol(","));
            }
            expectSymbol(")", 1006);
        }
        const bool isProperty = proc->kind >= Procedure::PropertyGet;
        const char *kind = isProperty ? "property" : proc->kind == Procedure::Function ? "function" : "sub";
        if ((proc->kind == Procedure::PropertyLet || proc->kind == Procedure::PropertySet) && proc->params.empty())
            fail(1054, proc->line); // Property Set or Let must have at least one argument
        m_procKind = isProperty ? 3 : proc->isFunction ? 2 : 1;
        // The body may start on the header's line: "Function F(a) F = a End Function".
        if (at().kind == Token::EndOfStatement)
            next();
        proc->body = block({"end"});
        expectWord("end", 1014);
        expectWord(kind, isProperty ? 1050 : proc->isFunction ? 1015 : 1016);
        m_procKind = 0;
        m_scopes.pop_back();
        m_dims = outerDims;
        m_consts = outerConsts;
        m_loops = outerLoops;
        m_singleLineIf = outerSingleLineIf;
        return proc;
    }

    // -- blocks --
    // Statements up to one of the words that close the block (not consumed).
    Block block(std::initializer_list<const char *> closers)
    {
        DepthGuard guard(this);
        Block b;
        while (true) {
            skipSeparators();
            if (at().kind == Token::End)
                return b;
            for (const char *w : closers) {
                if (isWord(w))
                    return b;
            }
            b.push_back(statement());
            if (!atProcedureEnd())
                endOfStatement();
        }
    }

    // "End Sub", "End Function", "End Property": they may follow a statement on its line.
    bool atProcedureEnd() const
    {
        return m_procKind != 0 && isWord("end") && (isWord("sub", 1) || isWord("function", 1) || isWord("property", 1));
    }

    const Token &tokenAt(size_t i) const { return m_tokens[std::min(i, m_tokens.size() - 1)]; }
    bool wordAt(size_t i, const char *w) const
    {
        const Token &t = tokenAt(i);
        return t.kind == Token::Identifier && t.lower == QLatin1String(w);
    }
    bool symbolAt(size_t i, const char *s) const
    {
        const Token &t = tokenAt(i);
        return t.kind == Token::Symbol && t.text == QLatin1String(s);
    }

    // A keyword as the language spells it: "Get", "Sub".
    QString keyword(size_t i) const
    {
        const QString &w = tokenAt(i).lower;
        return w.left(1).toUpper() + w.mid(1);
    }

    // How the statement that starts at that token is named in an error's
    // detail, from its first words.
    QString statementName(size_t base) const
    {
        const Token &t = tokenAt(base);
        if (t.kind != Token::Identifier)
            return symbolAt(base, ".") ? QStringLiteral("assignment or call of .%1").arg(tokenAt(base + 1).text)
                                       : QStringLiteral("statement");
        static const QHash<QString, QString> names = {
            {QStringLiteral("dim"), QStringLiteral("Dim statement")},
            {QStringLiteral("redim"), QStringLiteral("ReDim statement")},
            {QStringLiteral("const"), QStringLiteral("Const statement")},
            {QStringLiteral("erase"), QStringLiteral("Erase statement")},
            {QStringLiteral("if"), QStringLiteral("If statement")},
            {QStringLiteral("select"), QStringLiteral("Select Case statement")},
            {QStringLiteral("do"), QStringLiteral("Do loop")},
            {QStringLiteral("while"), QStringLiteral("While loop")},
            {QStringLiteral("exit"), QStringLiteral("Exit statement")},
            {QStringLiteral("on"), QStringLiteral("On Error statement")},
            {QStringLiteral("set"), QStringLiteral("Set statement")},
            {QStringLiteral("call"), QStringLiteral("Call statement")},
            {QStringLiteral("with"), QStringLiteral("With statement")},
            {QStringLiteral("option"), QStringLiteral("Option statement")},
            {QStringLiteral("let"), QStringLiteral("Let statement")}};
        const auto it = names.constFind(t.lower);
        if (it != names.cend())
            return *it;
        if (t.lower == QLatin1String("for"))
            return wordAt(base + 1, "each") ? QStringLiteral("For Each loop") : QStringLiteral("For loop");
        if (t.lower == QLatin1String("public") || t.lower == QLatin1String("private"))
            return wordAt(base + 1, "const") ? QStringLiteral("Const statement")
                                             : QStringLiteral("%1 declaration").arg(keyword(base));
        if (reservedWords().contains(t.lower))
            return QStringLiteral("statement");
        size_t i = base + 1;
        QString name = t.text;
        while (symbolAt(i, ".") && tokenAt(i + 1).kind == Token::Identifier) {
            name += QLatin1Char('.') + tokenAt(i + 1).text;
            i += 2;
        }
        return symbolAt(i, "=") ? QStringLiteral("assignment to %1").arg(name) : QStringLiteral("call of %1").arg(name);
    }

    std::unique_ptr<Stmt> statement()
    {
        DepthGuard guard(this);
        auto s = std::make_unique<Stmt>();
        s->line = at().line;
        const Token &t = at();
        if (isProcedureStart()) {
            // A Sub or Function inside a block of the top-level code is the
            // script's own; inside a procedure or a one-line If it is not allowed.
            if (m_procKind != 0 || m_inClass || m_singleLineIf > 0)
                fail(ScriptErrorNumber::ExpectedStatement, t.line);
            m_program->procedures.push_back(globalProcedure());
            s->kind = Stmt::Procedure;
            return s;
        }
        const ConstructGuard construct(this, Construct::Statement, t.line);
        if (t.kind == Token::Symbol && t.text == QLatin1String("."))
            return assignOrCall(std::move(s));
        if (t.kind != Token::Identifier)
            fail(ScriptErrorNumber::ExpectedStatement, t.line);
        const QString w = t.lower;
        if (w == QLatin1String("dim") ||
            ((w == QLatin1String("public") || w == QLatin1String("private")) && !isWord("const", 1))) {
            next();
            s->kind = Stmt::Dim;
            declarations(s.get(), false);
            return s;
        }
        if (w == QLatin1String("public") || w == QLatin1String("private"))
            next();
        if (isWord("const")) {
            next();
            s->kind = Stmt::Const;
            do {
                const int line = at().line;
                const QString name = identifier();
                declare(name, line);
                expectSymbol("=", 1011);
                s->consts.emplace_back(name, expression());
                hoistConst(name, *s->consts.back().second);
            } while (acceptSymbol(","));
            return s;
        }
        if (w == QLatin1String("redim")) {
            next();
            s->kind = Stmt::ReDim;
            s->preserve = acceptWord("preserve");
            declarations(s.get(), true);
            return s;
        }
        if (w == QLatin1String("erase")) {
            next();
            s->kind = Stmt::Erase;
            Declaration d;
            d.name = identifier();
            d.key = d.name.toLower();
            s->decls.push_back(std::move(d));
            return s;
        }
        if (w == QLatin1String("if"))
            return ifStatement(std::move(s));
        if (w == QLatin1String("select"))
            return selectStatement(std::move(s));
        if (w == QLatin1String("for"))
            return forStatement(std::move(s));
        if (w == QLatin1String("do"))
            return doStatement(std::move(s));
        if (w == QLatin1String("while")) {
            next();
            s->kind = Stmt::While;
            s->value = expression();
            endOfStatement();
            m_loops.push_back('w');
            s->body = block({"wend"});
            m_loops.pop_back();
            expectWord("wend", 1018);
            return s;
        }
        if (w == QLatin1String("exit")) {
            next();
            s->kind = Stmt::Exit;
            if (acceptWord("for")) {
                s->exitKind = Stmt::ExitFor;
                if (!m_loops.contains('f'))
                    fail(1039, s->line);
            } else if (acceptWord("do")) {
                s->exitKind = Stmt::ExitDo;
                if (!m_loops.contains('d'))
                    fail(1039, s->line);
            } else if (acceptWord("sub")) {
                s->exitKind = Stmt::ExitSub;
                if (m_procKind != 1)
                    fail(1039, s->line);
            } else if (acceptWord("function")) {
                s->exitKind = Stmt::ExitFunction;
                if (m_procKind != 2)
                    fail(1039, s->line);
            } else if (acceptWord("property")) {
                s->exitKind = Stmt::ExitProperty;
                if (m_procKind != 3)
                    fail(1039, s->line);
            } else {
                fail(ScriptErrorNumber::SyntaxError, s->line);
            }
            return s;
        }
        if (w == QLatin1String("on")) {
            next();
            expectWord("error", ScriptErrorNumber::SyntaxError);
            if (acceptWord("resume")) {
                expectWord("next", ScriptErrorNumber::SyntaxError);
                s->kind = Stmt::OnErrorResumeNext;
            } else {
                expectWord("goto", ScriptErrorNumber::SyntaxError);
                if (at().kind != Token::Number || at().value.numberValue() != 0)
                    fail(ScriptErrorNumber::SyntaxError, at().line);
                next();
                s->kind = Stmt::OnErrorGoto0;
            }
            return s;
        }
        if (w == QLatin1String("set")) {
            next();
            s->kind = Stmt::SetStmt;
            s->target = place();
            expectSymbol("=", 1011);
            s->value = expression();
            return s;
        }
        if (w == QLatin1String("call")) {
            next();
            s->kind = Stmt::CallStmt;
            if (isSymbol("(")) {
                // "Call (f)(x)": the parenthesised name is the procedure.
                s->target = primary();
                return s;
            }
            s->target = place();
            return s;
        }
        if (w == QLatin1String("stop")) {
            next();
            s->kind = Stmt::Stop;
            return s;
        }
        if (w == QLatin1String("let") && at(1).kind == Token::Identifier) {
            next();
            s->target = place();
            expectSymbol("=", 1011);
            s->kind = Stmt::Assign;
            s->value = expression();
            return s;
        }
        if (w == QLatin1String("with")) {
            next();
            s->kind = Stmt::With;
            s->target = expression();
            endOfStatement();
            s->body = block({"end"});
            expectWord("end", 1014);
            expectWord("with", 1029);
            return s;
        }
        if (w == QLatin1String("option")) {
            next();
            expectWord("explicit", ScriptErrorNumber::SyntaxError);
            s->kind = Stmt::OptionExplicit;
            m_program->optionExplicit = true;
            return s;
        }
        if (w == QLatin1String("loop"))
            fail(1038, t.line);
        if (w == QLatin1String("next"))
            fail(1055, t.line);
        if (reservedWords().contains(w))
            fail(ScriptErrorNumber::ExpectedStatement, t.line);
        return assignOrCall(std::move(s));
    }

    // A constant of a literal value is known from the start of its scope:
    // a procedure reads the script's constants before their Const has run.
    void hoistConst(const QString &name, const Expr &e)
    {
        if (!m_consts)
            return;
        if (e.kind == Expr::Literal)
            m_consts->emplace_back(name.toLower(), e.value);
        else if (e.kind == Expr::Unary && e.unary == Expr::Neg && e.left->kind == Expr::Literal &&
                 e.left->value.isNumeric())
            m_consts->emplace_back(name.toLower(), ScriptOps::negate(e.left->value));
    }

    void declarations(Stmt *s, bool redim)
    {
        do {
            Declaration d;
            const int line = at().line;
            d.name = identifier();
            d.key = d.name.toLower();
            if (!redim) {
                declare(d.name, line);
                if (m_dims)
                    m_dims->append(d.key);
            }
            if (acceptSymbol("(")) {
                d.isArray = true;
                if (!isSymbol(")")) {
                    do
                        d.bounds.push_back(expression());
                    while (acceptSymbol(","));
                }
                expectSymbol(")", 1006);
            }
            if (redim && d.bounds.empty())
                fail(1005, line);
            s->decls.push_back(std::move(d));
        } while (acceptSymbol(","));
    }

    std::unique_ptr<Stmt> ifStatement(std::unique_ptr<Stmt> s)
    {
        next();
        s->kind = Stmt::If;
        ExprPtr cond = expression();
        expectWord("then", 1017);
        if (at().kind != Token::EndOfStatement || !at().newline) {
            if (at().kind != Token::End && !(at().kind == Token::EndOfStatement && at().newline)) {
                // Single-line form: statements separated by ':' up to the line's end.
                ++m_singleLineIf;
                Block then = singleLineBlock();
                s->branches.emplace_back(std::move(cond), std::move(then));
                if (acceptWord("else"))
                    s->elseBody = singleLineBlock();
                // "If a Then b Else c End If" on one line: the End If is accepted.
                if (isWord("end") && isWord("if", 1)) {
                    next();
                    next();
                }
                --m_singleLineIf;
                return s;
            }
        }
        endOfStatement();
        Block then = block({"elseif", "else", "end"});
        s->branches.emplace_back(std::move(cond), std::move(then));
        while (true) {
            if (acceptWord("elseif")) {
                ExprPtr c = expression();
                expectWord("then", 1017);
                // A statement may follow on the same line, as after Else.
                s->branches.emplace_back(std::move(c), block({"elseif", "else", "end"}));
                continue;
            }
            if (acceptWord("else")) {
                s->elseBody = block({"end"});
            }
            break;
        }
        expectWord("end", 1014);
        expectWord("if", 1012);
        return s;
    }

    Block singleLineBlock()
    {
        Block b;
        while (true) {
            while (at().kind == Token::EndOfStatement && !at().newline)
                next();
            if (at().kind == Token::End || (at().kind == Token::EndOfStatement && at().newline) || isWord("else") ||
                (isWord("end") && isWord("if", 1)))
                return b;
            b.push_back(statement());
            if (at().kind == Token::EndOfStatement && !at().newline)
                continue;
            if (!atStatementEnd())
                fail(ScriptErrorNumber::ExpectedEndOfStatement, at().line);
        }
    }

    std::unique_ptr<Stmt> selectStatement(std::unique_ptr<Stmt> s)
    {
        next();
        expectWord("case", 1021);
        s->kind = Stmt::Select;
        s->value = expression();
        endOfStatement();
        skipSeparators();
        while (acceptWord("case")) {
            CaseClause clause;
            if (!acceptWord("else")) {
                do {
                    CaseItem item;
                    if (acceptWord("is")) {
                        item.kind = CaseItem::Is;
                        item.op = comparisonOperator();
                        if (item.op == ScriptOps::Op::Is)
                            fail(ScriptErrorNumber::SyntaxError, at().line);
                        item.value = concatenation();
                    } else {
                        item.value = expression();
                        if (acceptWord("to")) {
                            item.kind = CaseItem::Range;
                            item.to = expression();
                        }
                    }
                    clause.items.push_back(std::move(item));
                } while (acceptSymbol(","));
            }
            clause.body = block({"case", "end"});
            s->cases.push_back(std::move(clause));
        }
        expectWord("end", 1014);
        expectWord("select", 1022);
        return s;
    }

    ScriptOps::Op comparisonOperator()
    {
        using ScriptOps::Op;
        const Token &t = at();
        if (t.kind == Token::Symbol) {
            static const QHash<QString, Op> ops = {{QStringLiteral("="), Op::Eq},  {QStringLiteral("<>"), Op::Ne},
                                                   {QStringLiteral("<"), Op::Lt},  {QStringLiteral(">"), Op::Gt},
                                                   {QStringLiteral("<="), Op::Le}, {QStringLiteral(">="), Op::Ge}};
            const auto it = ops.find(t.text);
            if (it != ops.end()) {
                next();
                return it.value();
            }
        }
        fail(ScriptErrorNumber::SyntaxError, t.line);
    }

    std::unique_ptr<Stmt> forStatement(std::unique_ptr<Stmt> s)
    {
        next();
        auto counter = [&] {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Name;
            e->line = at().line;
            e->name = identifier();
            e->key = e->name.toLower();
            return e;
        };
        if (acceptWord("each")) {
            s->kind = Stmt::ForEach;
            s->target = counter();
            expectWord("in", 1046);
            s->value = expression();
        } else {
            s->kind = Stmt::For;
            s->target = counter();
            expectSymbol("=", 1011);
            s->value = expression();
            expectWord("to", 1013);
            s->to = expression();
            if (acceptWord("step"))
                s->step = expression();
        }
        endOfStatement();
        m_loops.push_back('f');
        s->body = block({"next"});
        m_loops.pop_back();
        expectWord("next", 1020);
        if (at().kind == Token::Identifier && !isWord("else"))
            identifier(); // "Next i": the name is not checked, as in VBScript
        return s;
    }

    std::unique_ptr<Stmt> doStatement(std::unique_ptr<Stmt> s)
    {
        next();
        s->kind = Stmt::Do;
        if (isWord("while") || isWord("until")) {
            s->until = isWord("until");
            next();
            s->value = expression();
        }
        endOfStatement();
        m_loops.push_back('d');
        s->body = block({"loop"});
        m_loops.pop_back();
        expectWord("loop", 1019);
        if (isWord("while") || isWord("until")) {
            if (s->value)
                fail(ScriptErrorNumber::ExpectedEndOfStatement, at().line);
            s->until = isWord("until");
            s->preTest = false;
            next();
            s->value = expression();
        }
        return s;
    }

    // A statement that starts with a name: "x = 1", "obj.Prop = 1", "a(2) = 1",
    // or a call: "Foo 1, 2", "obj.Method 1", "Foo(1)".
    std::unique_ptr<Stmt> assignOrCall(std::unique_ptr<Stmt> s)
    {
        ExprPtr target = place();
        if (acceptSymbol("=")) {
            s->kind = Stmt::Assign;
            s->target = std::move(target);
            s->value = expression();
            return s;
        }
        s->kind = Stmt::CallStmt;
        if (atStatementEnd()) {
            // "Foo(x)" without Call: the parentheses belong to the argument, which is passed ByVal.
            if (target->kind == Expr::Call && target->args.size() == 1 && target->args[0]) {
                auto paren = std::make_unique<Expr>();
                paren->kind = Expr::Paren;
                paren->line = target->line;
                paren->left = std::move(target->args[0]);
                target->args[0] = std::move(paren);
            }
            s->target = std::move(target);
            return s;
        }
        auto call = std::make_unique<Expr>();
        call->kind = Expr::Call;
        call->line = target->line;
        if (target->kind == Expr::Call && target->args.size() == 1 && isSymbol(",")) {
            // "Foo (a), b": the first argument was parenthesised.
            auto paren = std::make_unique<Expr>();
            paren->kind = Expr::Paren;
            paren->left = std::move(target->args[0]);
            call->left = std::move(target->left);
            call->args.push_back(std::move(paren));
            next();
        } else {
            call->left = std::move(target);
        }
        do {
            if (isSymbol(",") || atStatementEnd())
                call->args.push_back(nullptr);
            else
                call->args.push_back(expression());
        } while (acceptSymbol(","));
        s->target = std::move(call);
        return s;
    }

    // A name or With member followed by member accesses and argument lists.
    ExprPtr place()
    {
        const Token &t = at();
        ExprPtr e;
        if (t.kind == Token::Symbol && t.text == QLatin1String(".")) {
            next();
            e = std::make_unique<Expr>();
            e->kind = Expr::Member;
            e->line = t.line;
            e->name = memberName();
            e->key = e->name.toLower();
        } else {
            e = std::make_unique<Expr>();
            e->kind = Expr::Name;
            e->line = t.line;
            e->name = identifier();
            e->key = e->name.toLower();
        }
        return postfix(std::move(e));
    }

    QString memberName()
    {
        const Token &t = at();
        if (t.kind != Token::Identifier)
            fail(1010, t.line);
        next();
        return t.text;
    }

    // "(f)(x)", "(((f)))(x)": parentheses around a procedure's or member's
    // name do not make a value of it; the arguments go to it, ByRef as usual.
    static ExprPtr calleeOf(ExprPtr e)
    {
        const Expr *inner = e.get();
        while (inner->kind == Expr::Paren)
            inner = inner->left.get();
        if (inner == e.get() || (inner->kind != Expr::Name && inner->kind != Expr::Member))
            return e;
        while (e->kind == Expr::Paren)
            e = std::move(e->left);
        return e;
    }

    ExprPtr postfix(ExprPtr e)
    {
        while (true) {
            if (isSymbol("(")) {
                DepthGuard guard(this);
                const ConstructGuard construct(this, Construct::Arguments, at().line,
                                               e->kind == Expr::Name || e->kind == Expr::Member ? e->name : QString());
                next();
                auto call = std::make_unique<Expr>();
                call->kind = Expr::Call;
                call->line = e->line;
                call->left = calleeOf(std::move(e));
                if (!isSymbol(")")) {
                    do {
                        if (isSymbol(",") || isSymbol(")"))
                            call->args.push_back(nullptr);
                        else
                            call->args.push_back(expression());
                    } while (acceptSymbol(","));
                }
                expectSymbol(")", 1006);
                e = std::move(call);
                continue;
            }
            if (isSymbol(".") && !at().spaceBefore) {
                next();
                auto m = std::make_unique<Expr>();
                m->kind = Expr::Member;
                m->line = e->line;
                m->left = std::move(e);
                m->name = memberName();
                m->key = m->name.toLower();
                e = std::move(m);
                continue;
            }
            return e;
        }
    }

    // -- expressions, lowest precedence first --
    ExprPtr binaryNode(ScriptOps::Op op, ExprPtr l, ExprPtr r)
    {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Binary;
        e->line = l->line;
        e->op = op;
        e->left = std::move(l);
        e->right = std::move(r);
        return e;
    }

    ExprPtr expression()
    {
        DepthGuard guard(this);
        ExprPtr l = eqv();
        while (acceptWord("imp"))
            l = binaryNode(ScriptOps::Op::Imp, std::move(l), eqv());
        return l;
    }
    ExprPtr eqv()
    {
        ExprPtr l = xorExpr();
        while (acceptWord("eqv"))
            l = binaryNode(ScriptOps::Op::Eqv, std::move(l), xorExpr());
        return l;
    }
    ExprPtr xorExpr()
    {
        ExprPtr l = orExpr();
        while (acceptWord("xor"))
            l = binaryNode(ScriptOps::Op::Xor, std::move(l), orExpr());
        return l;
    }
    ExprPtr orExpr()
    {
        ExprPtr l = andExpr();
        while (acceptWord("or"))
            l = binaryNode(ScriptOps::Op::Or, std::move(l), andExpr());
        return l;
    }
    ExprPtr andExpr()
    {
        ExprPtr l = notExpr();
        while (acceptWord("and"))
            l = binaryNode(ScriptOps::Op::And, std::move(l), notExpr());
        return l;
    }
    ExprPtr notExpr()
    {
        if (isWord("not")) {
            DepthGuard guard(this);
            const int line = next().line;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->unary = Expr::Not;
            e->line = line;
            e->left = notExpr();
            return e;
        }
        return comparison();
    }
    ExprPtr comparison()
    {
        ExprPtr l = concatenation();
        while (true) {
            const Token &t = at();
            ScriptOps::Op op;
            if (t.kind == Token::Identifier && t.lower == QLatin1String("is")) {
                op = ScriptOps::Op::Is;
                next();
            } else if (t.kind == Token::Symbol && (t.text == QLatin1String("=") || t.text == QLatin1String("<>") ||
                                                   t.text == QLatin1String("<") || t.text == QLatin1String(">") ||
                                                   t.text == QLatin1String("<=") || t.text == QLatin1String(">="))) {
                op = comparisonOperator();
            } else {
                return l;
            }
            l = binaryNode(op, std::move(l), concatenation());
        }
    }
    ExprPtr concatenation()
    {
        ExprPtr l = additive();
        while (acceptSymbol("&"))
            l = binaryNode(ScriptOps::Op::Concat, std::move(l), additive());
        return l;
    }
    ExprPtr additive()
    {
        ExprPtr l = modulo();
        while (true) {
            if (acceptSymbol("+"))
                l = binaryNode(ScriptOps::Op::Add, std::move(l), modulo());
            else if (acceptSymbol("-"))
                l = binaryNode(ScriptOps::Op::Sub, std::move(l), modulo());
            else
                return l;
        }
    }
    ExprPtr modulo()
    {
        ExprPtr l = intDivision();
        while (acceptWord("mod"))
            l = binaryNode(ScriptOps::Op::Mod, std::move(l), intDivision());
        return l;
    }
    ExprPtr intDivision()
    {
        ExprPtr l = multiplicative();
        while (acceptSymbol("\\"))
            l = binaryNode(ScriptOps::Op::IntDiv, std::move(l), multiplicative());
        return l;
    }
    ExprPtr multiplicative()
    {
        ExprPtr l = power();
        while (true) {
            if (acceptSymbol("*"))
                l = binaryNode(ScriptOps::Op::Mul, std::move(l), power());
            else if (acceptSymbol("/"))
                l = binaryNode(ScriptOps::Op::Div, std::move(l), power());
            else
                return l;
        }
    }
    // "^" is left associative over negated operands: VBScript negates first,
    // so -3 ^ 2 is 9 and 2 ^ -1 is 0.5.
    ExprPtr power()
    {
        ExprPtr l = unary();
        while (acceptSymbol("^"))
            l = binaryNode(ScriptOps::Op::Pow, std::move(l), unary());
        return l;
    }
    ExprPtr unary()
    {
        if (isSymbol("-") || isSymbol("+")) {
            DepthGuard guard(this);
            const bool neg = isSymbol("-");
            const int line = next().line;
            ExprPtr operand = unary();
            if (!neg)
                return operand;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->unary = Expr::Neg;
            e->line = line;
            e->left = std::move(operand);
            return e;
        }
        return primary();
    }
    ExprPtr primary()
    {
        const Token &t = at();
        auto literal = [&](ScriptValue v) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Literal;
            e->line = t.line;
            e->value = std::move(v);
            next();
            return e;
        };
        switch (t.kind) {
        case Token::Number:
        case Token::Date:
            return literal(t.value);
        case Token::String:
            return literal(ScriptValue(t.text));
        case Token::Symbol:
            if (t.text == QLatin1String("(")) {
                DepthGuard guard(this);
                auto e = std::make_unique<Expr>();
                e->kind = Expr::Paren;
                e->line = t.line;
                {
                    const ConstructGuard construct(this, QStringLiteral("parenthesised expression"), t.line);
                    next();
                    e->left = expression();
                    expectSymbol(")", 1006);
                }
                return postfix(std::move(e));
            }
            if (t.text == QLatin1String("."))
                return place();
            break;
        case Token::Identifier:
            if (t.lower == QLatin1String("true"))
                return literal(ScriptValue::boolean(true));
            if (t.lower == QLatin1String("false"))
                return literal(ScriptValue::boolean(false));
            if (t.lower == QLatin1String("empty"))
                return literal(ScriptValue());
            if (t.lower == QLatin1String("null"))
                return literal(ScriptValue::null());
            if (t.lower == QLatin1String("nothing"))
                return literal(ScriptValue::nothing());
            if (t.lower == QLatin1String("new")) {
                auto e = std::make_unique<Expr>();
                e->kind = Expr::New;
                e->line = t.line;
                next();
                e->name = identifier();
                e->key = e->name.toLower();
                return e;
            }
            if (!reservedWords().contains(t.lower))
                return place();
            break;
        default:
            break;
        }
        fail(1023, t.line); // Expected expression
    }

    // What ends a member of a class: a separator, or the End Class on its line.
    void endOfMember()
    {
        if (!(isWord("end") && isWord("class", 1)))
            endOfStatement();
    }

    // Class Name ... End Class: variables (Public, Private, Dim) and procedures.
    std::shared_ptr<ClassDef> classDefinition()
    {
        auto def = std::make_shared<ClassDef>();
        const ConstructGuard construct(this, Construct::Class, at().line);
        const int line = next().line;
        def->name = identifier();
        def->key = def->name.toLower();
        declare(def->name, line);
        endOfStatement();
        m_inClass = true;
        m_scopes.push_back({});
        QStringList *outerDims = m_dims;
        m_dims = nullptr;                                     // class variables are not the script's globals
        auto *outerConsts = std::exchange(m_consts, nullptr); // nor are its constants
        QSet<QString> propertyNames;
        while (true) {
            skipSeparators();
            if (at().kind == Token::End)
                fail(1014, at().line);
            if (isWord("end")) {
                next();
                expectWord("class", 1047); // Expected 'Class'
                break;
            }
            if (isProcedureStart()) {
                bool isPublic = true, isDefault = false;
                modifiers(&isPublic, &isDefault);
                // A property's Get, Let and Set share one name; anything else is declared once.
                const bool isProperty = isWord("property");
                const int procLine = at().line;
                const QString name = at(isProperty ? 2 : 1).text;
                const QString key = name.toLower();
                if (!isProperty || !propertyNames.contains(key)) {
                    if (at(isProperty ? 2 : 1).kind == Token::Identifier)
                        declare(name, procLine);
                    if (isProperty)
                        propertyNames.insert(key);
                }
                auto proc = procedure();
                proc->isPublic = isPublic;
                proc->isDefault = isDefault;
                ClassMember &m = def->members[proc->key];
                std::shared_ptr<Procedure> *place = proc->kind == Procedure::PropertyLet   ? &m.let
                                                    : proc->kind == Procedure::PropertySet ? &m.set
                                                                                           : &m.get;
                if (*place)
                    fail(ScriptErrorNumber::NameRedefined, proc->line);
                if ((proc->key == QLatin1String("class_initialize") || proc->key == QLatin1String("class_terminate")) &&
                    !proc->params.empty())
                    fail(1053, proc->line); // Class initialize or terminate do not have arguments
                if (isDefault) {
                    if (!def->defaultKey.isEmpty() && def->defaultKey != proc->key)
                        fail(1052, proc->line); // Cannot have multiple default property/method in a Class
                    def->defaultKey = proc->key;
                }
                *place = std::move(proc);
                endOfMember();
                continue;
            }
            bool isPublic = true;
            if (acceptWord("private"))
                isPublic = false;
            else if (!acceptWord("public") && !acceptWord("dim") && !isWord("const"))
                fail(ScriptErrorNumber::ExpectedStatement, at().line);
            if (acceptWord("const")) {
                do {
                    const int constLine = at().line;
                    const QString name = identifier();
                    declare(name, constLine);
                    expectSymbol("=", 1011);
                    def->fieldIsPublic.insert(name.toLower(), isPublic);
                    def->consts.emplace_back(name.toLower(), expression());
                } while (acceptSymbol(","));
                endOfMember();
                continue;
            }
            Stmt decls;
            declarations(&decls, false);
            for (Declaration &d : decls.decls) {
                def->fieldIsPublic.insert(d.key, isPublic);
                def->fields.push_back({std::move(d), isPublic});
            }
            endOfMember();
        }
        m_scopes.pop_back();
        m_dims = outerDims;
        m_consts = outerConsts;
        m_inClass = false;
        return def;
    }

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    bool m_inClass = false;
    int m_depth = 0;
    int m_singleLineIf = 0;
    int m_procKind = 0;  // 0 top level, 1 Sub, 2 Function
    QList<char> m_loops; // 'f' For, 'd' Do, 'w' While: what Exit may leave
    std::vector<QSet<QString>> m_scopes;
    Program *m_program = nullptr;
    QStringList *m_dims = nullptr;                                    // where Dim names of the current scope go
    std::vector<std::pair<QString, ScriptValue>> *m_consts = nullptr; // where literal Consts of the scope go
    std::vector<Construct> m_constructs;
    Construct m_lastConstruct{Construct::Fixed, QString(), 0, 0}; // the construct finished last
};

} // namespace

std::shared_ptr<Program> parseProgram(const QString &text)
{
    Parser p(Lexer(text).run());
    return p.program();
}

ExprPtr parseExpression(const QString &text)
{
    Parser p(Lexer(text).run());
    return p.standaloneExpression();
}

} // namespace script
