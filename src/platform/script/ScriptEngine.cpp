#include "platform/script/ScriptEngine.h"

#include "platform/core/ErpError.h"
#include "platform/script/ScriptBuiltins.h"
#include "platform/script/ScriptSyntax.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

namespace script {
namespace {

// Deepest nesting of procedure calls, and the most stack a run may use
// below the host's frame: well inside a 1 MB thread stack, whatever the
// build's frame sizes.
constexpr int kMaxCallDepth = 1000;
constexpr std::ptrdiff_t kStackBudget = 384 * 1024;
// Largest array ReDim or Dim creates.
constexpr qsizetype kMaxArrayElements = 16 * 1024 * 1024;

const QString kRuntimeSource = QStringLiteral("VBScript runtime error");

using Slot = std::shared_ptr<ScriptValue>;

struct Frame
{
    const Procedure *proc = nullptr; // null for the global code
    QHash<QString, Slot> vars;
    QSet<QString> consts;
    Slot result; // a Function's return value
    bool resumeNext = false;
    std::vector<ScriptValue> withStack;
};

enum class Flow { Normal, ExitFor, ExitDo, ExitProc };

// A stop that On Error Resume Next must not swallow (time limit).
struct Abort
{
    ScriptError error;
};

// Calls into host objects: their own failure types become script errors.
template <typename F>
auto hostCall(F f) -> decltype(f())
{
    try {
        return f();
    } catch (const ErpError &e) {
        throw ScriptError(e.number(), e.description(), e.source());
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &e) {
        throw ScriptError(ErpErrorNumber::GenericProvider, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace

class Interpreter;

// The Err object: Number (its default), Description, Source, Clear, Raise.
class ErrObject : public ScriptObject
{
public:
    explicit ErrObject(Interpreter *in) : m_in(in) {}
    QString typeName() const override { return QStringLiteral("ErrObject"); }
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;

private:
    Interpreter *m_in;
};

class Interpreter
{
public:
    Interpreter() { m_err = std::make_shared<ErrObject>(this); }

    // -- Err object state --
    qint64 errNumber = 0;
    QString errDescription, errSource;
    void clearErr()
    {
        errNumber = 0;
        errDescription.clear();
        errSource.clear();
    }
    void setErr(const ScriptError &e)
    {
        errNumber = e.number;
        errDescription = e.description;
        errSource = e.source.isEmpty() ? kRuntimeSource : e.source;
    }

    // -- host error state --
    bool hasError = false;
    qint64 errorNumber = 0;
    QString errorDescription, errorSource;
    int errorLine = 0;

    int timeLimit = 0;
    BuiltinHooks hooks;

    void reset()
    {
        // A host object cannot drop the code that is running it.
        if (!m_frames.empty()) {
            fail(ScriptError(ScriptErrorNumber::InvalidCall, scriptErrorText(ScriptErrorNumber::InvalidCall)));
            return;
        }
        m_global = Frame();
        m_procs.clear();
        m_programs.clear();
        m_objects.clear();
        m_memberObjects.clear();
        m_optionExplicit = false;
        clearErr();
        clearError();
    }

    void clearError()
    {
        hasError = false;
        errorNumber = 0;
        errorDescription.clear();
        errorSource.clear();
        errorLine = 0;
    }

    // Runs one host operation with the global frame current, turning every
    // failure into the error state.
    template <typename F>
    bool guarded(F f)
    {
        const bool outermost = m_frames.empty();
        char probe = 0;
        if (outermost) {
            m_timer.start();
            m_stackBase = &probe;
        }
        const size_t frames = m_frames.size();
        const int depth = m_depth;
        m_global.resumeNext = false;
        m_frames.push_back(&m_global);
        bool ok = false;
        try {
            f();
            ok = true;
        } catch (const ScriptError &e) {
            fail(e);
        } catch (const Abort &a) {
            fail(a.error);
        } catch (const std::bad_alloc &) {
            fail(ScriptError(ScriptErrorNumber::OutOfMemory, scriptErrorText(ScriptErrorNumber::OutOfMemory)));
        }
        m_frames.resize(frames);
        m_depth = depth;
        if (outermost)
            m_stackBase = nullptr;
        return ok;
    }

    void fail(const ScriptError &e)
    {
        hasError = true;
        errorNumber = e.number;
        errorDescription = e.description;
        errorSource = e.source.isEmpty() ? kRuntimeSource : e.source;
        errorLine = e.line > 0 ? e.line : m_line;
    }

    bool addCode(const QString &code)
    {
        std::shared_ptr<Program> program;
        try {
            program = parseProgram(code);
        } catch (const ScriptError &e) {
            fail(e);
            return false;
        } catch (const std::bad_alloc &) {
            fail(ScriptError(ScriptErrorNumber::OutOfMemory, scriptErrorText(ScriptErrorNumber::OutOfMemory)));
            return false;
        }
        m_programs.push_back(program);
        for (const auto &proc : program->procedures)
            m_procs.insert(proc->key, proc);
        if (program->optionExplicit)
            m_optionExplicit = true;
        return guarded([&] {
            hoist(m_global, program->dims);
            execBlock(program->statements);
        });
    }

    // Names a scope declares with Dim exist from its start, as in VBScript:
    // a procedure's Dim makes the name local even above the statement.
    static void hoist(Frame &f, const QStringList &dims)
    {
        for (const QString &key : dims) {
            if (!f.vars.contains(key))
                f.vars.insert(key, std::make_shared<ScriptValue>());
        }
    }

    ScriptValue eval(const QString &text)
    {
        ExprPtr expr;
        try {
            expr = parseExpression(text);
        } catch (const ScriptError &e) {
            fail(e);
            return ScriptValue();
        }
        ScriptValue result;
        m_line = 1;
        guarded([&] { result = evaluate(*expr); });
        return result;
    }

    ScriptValue run(const QString &name, const QList<ScriptValue> &args)
    {
        ScriptValue result;
        guarded([&] {
            const auto proc = m_procs.value(name.toLower());
            if (!proc)
                throwScriptError(ScriptErrorNumber::ProcedureNotDefined, name);
            result = callProcedure(*proc, nullptr, &args);
        });
        return result;
    }

    bool addObject(const QString &name, std::shared_ptr<ScriptObject> object, bool addMembers)
    {
        if (name.trimmed().isEmpty() || !object) {
            fail(ScriptError(ScriptErrorNumber::InvalidArgument, scriptErrorText(ScriptErrorNumber::InvalidArgument)));
            return false;
        }
        const QString key = name.toLower();
        if (m_objects.contains(key)) {
            fail(ScriptError(ScriptErrorNumber::NameRedefined, scriptErrorText(ScriptErrorNumber::NameRedefined)));
            return false;
        }
        m_objects.insert(key, object);
        if (addMembers)
            m_memberObjects.append(object);
        return true;
    }

    bool hasGlobal(const QString &name) const { return m_global.vars.contains(name.toLower()); }
    ScriptValue global(const QString &name) const
    {
        const Slot s = m_global.vars.value(name.toLower());
        return s ? *s : ScriptValue();
    }
    void setGlobal(const QString &name, const ScriptValue &v)
    {
        const QString key = name.toLower();
        Slot &s = m_global.vars[key];
        if (!s)
            s = std::make_shared<ScriptValue>();
        *s = v;
    }
    bool hasProcedure(const QString &name) const { return m_procs.contains(name.toLower()); }

private:
    Frame &current() { return *m_frames.back(); }

    // Out of stack space (28) before the process runs out of it.
    void checkStack()
    {
        char probe = 0;
        if (m_stackBase && std::abs(m_stackBase - &probe) > kStackBudget)
            throwScriptError(ScriptErrorNumber::OutOfStack);
    }

    void checkTime()
    {
        if (timeLimit > 0 && m_timer.elapsed() > timeLimit)
            throw Abort{ScriptError(ScriptErrorNumber::Aborted, scriptErrorText(ScriptErrorNumber::Aborted),
                                    kRuntimeSource, m_line)};
    }

    // ---- statements ----

    Flow execBlock(const Block &block)
    {
        checkStack();
        for (const auto &stmt : block) {
            m_line = stmt->line;
            checkTime();
            try {
                const Flow flow = exec(*stmt);
                if (flow != Flow::Normal)
                    return flow;
            } catch (ScriptError &e) {
                if (e.line == 0)
                    e.line = stmt->line;
                if (!current().resumeNext)
                    throw;
                setErr(e);
            }
        }
        return Flow::Normal;
    }

    Flow exec(const Stmt &s)
    {
        switch (s.kind) {
        case Stmt::CallStmt:
            evaluate(*s.target);
            return Flow::Normal;
        case Stmt::Assign:
            assign(*s.target, evaluate(*s.value), Assignment::Let);
            return Flow::Normal;
        case Stmt::SetStmt:
            assign(*s.target, evaluate(*s.value), Assignment::Set);
            return Flow::Normal;
        case Stmt::Dim:
            for (const Declaration &d : s.decls)
                declare(d);
            return Flow::Normal;
        case Stmt::ReDim:
            for (const Declaration &d : s.decls)
                redim(d, s.preserve);
            return Flow::Normal;
        case Stmt::Const:
            for (const auto &[name, expr] : s.consts) {
                const QString key = name.toLower();
                Frame &f = current();
                f.vars.insert(key, std::make_shared<ScriptValue>(evaluate(*expr)));
                f.consts.insert(key);
            }
            return Flow::Normal;
        case Stmt::If:
            for (const auto &[cond, body] : s.branches) {
                if (condition(*cond))
                    return execBlock(body);
            }
            return execBlock(s.elseBody);
        case Stmt::Select:
            return execSelect(s);
        case Stmt::For:
            return execFor(s);
        case Stmt::ForEach:
            return execForEach(s);
        case Stmt::Do:
            while (true) {
                if (s.preTest && s.value && condition(*s.value) == s.until)
                    break;
                const Flow flow = execBlock(s.body);
                if (flow == Flow::ExitDo)
                    break;
                if (flow != Flow::Normal)
                    return flow;
                if (!s.preTest && condition(*s.value) == s.until)
                    break;
                checkTime();
            }
            return Flow::Normal;
        case Stmt::While:
            while (condition(*s.value)) {
                const Flow flow = execBlock(s.body);
                if (flow != Flow::Normal)
                    return flow;
                checkTime();
            }
            return Flow::Normal;
        case Stmt::Exit:
            switch (s.exitKind) {
            case Stmt::ExitFor:
                return Flow::ExitFor;
            case Stmt::ExitDo:
                return Flow::ExitDo;
            default:
                return Flow::ExitProc;
            }
        case Stmt::OnErrorResumeNext:
            current().resumeNext = true;
            clearErr();
            return Flow::Normal;
        case Stmt::OnErrorGoto0:
            current().resumeNext = false;
            clearErr();
            return Flow::Normal;
        case Stmt::With: {
            const ScriptValue v = evaluate(*s.target);
            if (!v.isObject() || !v.objectValue())
                throwScriptError(ScriptErrorNumber::ObjectRequired);
            Frame &f = current();
            f.withStack.push_back(v);
            struct Pop
            {
                Frame &f;
                ~Pop() { f.withStack.pop_back(); }
            } pop{f};
            return execBlock(s.body);
        }
        case Stmt::Erase: {
            const Declaration &d = s.decls.front();
            const Slot slot = findSlot(d.key, false);
            if (!slot || !slot->isArray())
                throwScriptError(ScriptErrorNumber::TypeMismatch, d.name);
            ScriptArray &arr = slot->mutableArray();
            if (arr.fixed) {
                for (ScriptValue &item : arr.items)
                    item = ScriptValue();
            } else {
                arr.upper.clear();
                arr.items.clear();
            }
            return Flow::Normal;
        }
        case Stmt::OptionExplicit:
            m_optionExplicit = true;
            return Flow::Normal;
        }
        return Flow::Normal;
    }

    bool condition(const Expr &e)
    {
        const ScriptValue v = evaluate(e);
        if (v.isNull())
            return false;
        return v.toBool();
    }

    QList<int> bounds(const std::vector<ExprPtr> &exprs)
    {
        QList<int> upper;
        for (const auto &b : exprs) {
            const qint64 u = evaluate(*b).toLong();
            if (u < -1)
                throwScriptError(ScriptErrorNumber::SubscriptOutOfRange);
            upper << int(u);
        }
        if (ScriptArray::count(upper) > kMaxArrayElements)
            throwScriptError(ScriptErrorNumber::OutOfMemory);
        return upper;
    }

    void declare(const Declaration &d)
    {
        Frame &f = current();
        const Slot existing = f.vars.value(d.key);
        // Declared once: a Dim met again (in a loop) keeps the value; a hoisted
        // name still gets its array here.
        if (existing && !(d.isArray && existing->isEmpty()))
            return;
        auto slot = std::make_shared<ScriptValue>();
        if (d.isArray) {
            auto arr = std::make_shared<ScriptArray>();
            if (!d.bounds.empty()) {
                arr->upper = bounds(d.bounds);
                arr->items.resize(ScriptArray::count(arr->upper));
                arr->fixed = true;
            }
            *slot = ScriptValue::array(arr);
        }
        if (existing)
            *existing = *slot;
        else
            f.vars.insert(d.key, slot);
    }

    void redim(const Declaration &d, bool preserve)
    {
        Slot slot = findSlot(d.key, false);
        if (!slot) {
            if (isConst(d.key))
                throwScriptError(ScriptErrorNumber::IllegalAssignment, d.name);
            slot = std::make_shared<ScriptValue>();
            current().vars.insert(d.key, slot);
        }
        if (slot->isArray() && slot->arrayValue()->fixed)
            throwScriptError(ScriptErrorNumber::ArrayFixed);
        auto arr = std::make_shared<ScriptArray>();
        arr->upper = bounds(d.bounds);
        arr->items.resize(ScriptArray::count(arr->upper));
        if (preserve && slot->isArray() && !slot->arrayValue()->upper.isEmpty()) {
            const ScriptArray &old = *slot->arrayValue();
            if (old.upper.size() != arr->upper.size())
                throwScriptError(ScriptErrorNumber::SubscriptOutOfRange);
            for (qsizetype i = 0; i + 1 < old.upper.size(); ++i) {
                if (old.upper.at(i) != arr->upper.at(i))
                    throwScriptError(ScriptErrorNumber::SubscriptOutOfRange);
            }
            // Only the last dimension changes: copy row by row.
            const qsizetype oldLast = old.upper.last() + 1, newLast = arr->upper.last() + 1;
            const qsizetype rows = oldLast > 0 ? old.items.size() / oldLast : 0;
            for (qsizetype r = 0; r < rows; ++r) {
                for (qsizetype c = 0; c < std::min(oldLast, newLast); ++c)
                    arr->items[r * newLast + c] = old.items.at(r * oldLast + c);
            }
        }
        *slot = ScriptValue::array(arr);
    }

    Flow execSelect(const Stmt &s)
    {
        const ScriptValue subject = evaluate(*s.value);
        for (const CaseClause &clause : s.cases) {
            bool match = clause.items.empty();
            for (const CaseItem &item : clause.items) {
                const ScriptValue v = evaluate(*item.value);
                const bool literal = item.value->kind == Expr::Literal;
                if (item.kind == CaseItem::Value) {
                    match = ScriptOps::compare(subject, v, false, literal) == 0;
                } else if (item.kind == CaseItem::Range) {
                    const ScriptValue to = evaluate(*item.to);
                    const int lo = ScriptOps::compare(subject, v, false, literal);
                    const int hi = ScriptOps::compare(subject, to, false, item.to->kind == Expr::Literal);
                    match = lo != 2 && hi != 2 && lo >= 0 && hi <= 0;
                } else {
                    const ScriptValue r = ScriptOps::binary(item.op, subject, v, false, literal);
                    match = !r.isNull() && r.toBool();
                }
                if (match)
                    break;
            }
            if (match)
                return execBlock(clause.body);
        }
        return Flow::Normal;
    }

    Flow execFor(const Stmt &s)
    {
        const ScriptValue start = evaluate(*s.value).toNumeric();
        const ScriptValue end = evaluate(*s.to).toNumeric();
        const ScriptValue step = s.step ? evaluate(*s.step).toNumeric() : ScriptValue::integer(1);
        if (start.isNull() || end.isNull() || step.isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
        const bool up = step.toDouble() >= 0;
        assign(*s.target, start, Assignment::Let);
        while (true) {
            const ScriptValue counter = evaluate(*s.target);
            const int c = ScriptOps::compare(counter, end);
            if (up ? c > 0 : c < 0)
                break;
            const Flow flow = execBlock(s.body);
            if (flow == Flow::ExitFor)
                break;
            if (flow != Flow::Normal)
                return flow;
            checkTime();
            assign(*s.target, ScriptOps::binary(ScriptOps::Op::Add, evaluate(*s.target), step), Assignment::Let);
        }
        return Flow::Normal;
    }

    Flow execForEach(const Stmt &s)
    {
        const ScriptValue coll = evaluate(*s.value);
        QList<ScriptValue> items;
        if (coll.isArray()) {
            items = coll.arrayValue()->items;
        } else if (coll.isObject() && coll.objectValue()) {
            if (!hostCall([&] { return coll.objectValue()->enumerate(&items); }))
                throwScriptError(ScriptErrorNumber::NotACollection);
        } else {
            throwScriptError(ScriptErrorNumber::NotACollection);
        }
        for (const ScriptValue &item : items) {
            assign(*s.target, item, Assignment::Raw);
            const Flow flow = execBlock(s.body);
            if (flow == Flow::ExitFor)
                break;
            if (flow != Flow::Normal)
                return flow;
            checkTime();
        }
        return Flow::Normal;
    }

    // ---- names ----

    bool isConst(const QString &key)
    {
        Frame &f = current();
        if (f.proc && f.vars.contains(key))
            return f.consts.contains(key);
        return m_global.consts.contains(key);
    }

    // The variable a name denotes in the current scope, or null. With
    // writable, constants do not count.
    Slot findSlot(const QString &key, bool includeConsts)
    {
        Frame &f = current();
        if (f.proc) {
            const auto it = f.vars.constFind(key);
            if (it != f.vars.cend())
                return includeConsts || !f.consts.contains(key) ? it.value() : nullptr;
            if (f.proc->isFunction && key == f.proc->key)
                return f.result;
        }
        const auto it = m_global.vars.constFind(key);
        if (it != m_global.vars.cend())
            return includeConsts || !m_global.consts.contains(key) ? it.value() : nullptr;
        return nullptr;
    }

    std::shared_ptr<ScriptObject> memberObjectWith(const QString &key, bool property, bool method)
    {
        const auto objects = m_memberObjects; // a host call may add objects meanwhile
        for (const auto &o : objects) {
            if ((property && o->hasProperty(key)) || (method && o->hasMethod(key)))
                return o;
        }
        return nullptr;
    }

    ScriptValue readName(const Expr &e)
    {
        const QString &key = e.key;
        if (const Slot s = findSlot(key, true))
            return *s;
        if (const auto proc = m_procs.value(key))
            return callProcedure(*proc, nullptr, nullptr);
        if (const auto obj = m_objects.value(key))
            return ScriptValue::object(obj);
        if (key == QLatin1String("err"))
            return ScriptValue::object(m_err);
        if (const auto o = memberObjectWith(key, true, true)) {
            return hostCall([&] { return o->hasProperty(key) ? o->getProperty(key) : o->callMethod(key, {}); });
        }
        ScriptValue c;
        if (builtinConstant(key, &c))
            return c;
        if (isBuiltinFunction(key))
            return callBuiltin(key, {}, hooks);
        if (m_optionExplicit)
            throwScriptError(ScriptErrorNumber::VariableUndefined, e.name);
        return ScriptValue();
    }

    QList<ScriptValue> evaluateArgs(const std::vector<ExprPtr> &args)
    {
        QList<ScriptValue> values;
        values.reserve(qsizetype(args.size()));
        for (const auto &a : args)
            values << (a ? evaluate(*a) : ScriptValue());
        return values;
    }

    QList<qint64> subscripts(const QList<ScriptValue> &args)
    {
        QList<qint64> subs;
        for (const ScriptValue &a : args)
            subs << a.toLong();
        return subs;
    }

    // value(args): an array element or the default member of an object.
    ScriptValue index(const ScriptValue &v, const QList<ScriptValue> &args, const QString &name)
    {
        if (v.isArray()) {
            const qsizetype off = v.arrayValue()->offset(subscripts(args));
            if (off < 0)
                throwScriptError(ScriptErrorNumber::SubscriptOutOfRange, name);
            return v.arrayValue()->items.at(off);
        }
        if (v.isObject()) {
            const auto &o = v.objectValue();
            if (!o)
                throwScriptError(ScriptErrorNumber::ObjectRequired, name);
            return hostCall([&] {
                if (o->hasMethod(QString()))
                    return o->callMethod(QString(), args);
                if (args.isEmpty())
                    return ScriptValue(v);
                throwScriptError(ScriptErrorNumber::NoSuchMember, name);
            });
        }
        if (args.isEmpty())
            return v;
        throwScriptError(ScriptErrorNumber::TypeMismatch, name);
    }

    std::shared_ptr<ScriptObject> memberBase(const Expr &member)
    {
        ScriptValue base;
        if (member.left) {
            base = evaluate(*member.left);
        } else {
            Frame &f = current();
            if (f.withStack.empty())
                throwScriptError(ScriptErrorNumber::ObjectRequired, member.name);
            base = f.withStack.back();
        }
        if (!base.isObject() || !base.objectValue()) {
            const QString what = member.left && member.left->kind == Expr::Name ? member.left->name : member.name;
            throwScriptError(ScriptErrorNumber::ObjectRequired, what);
        }
        return base.objectValue();
    }

    ScriptValue readMember(const std::shared_ptr<ScriptObject> &o, const Expr &member, const QList<ScriptValue> *args)
    {
        const QString &name = member.name;
        return hostCall([&] {
            if (!args || args->isEmpty()) {
                if (o->hasProperty(name))
                    return o->getProperty(name);
                if (o->hasMethod(name))
                    return o->callMethod(name, {});
                throwScriptError(ScriptErrorNumber::NoSuchMember, name);
            }
            if (o->hasMethod(name))
                return o->callMethod(name, *args);
            if (o->hasProperty(name))
                return index(o->getProperty(name), *args, name);
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        });
    }

    ScriptValue evaluateCall(const Expr &e)
    {
        const Expr &callee = *e.left;
        if (callee.kind == Expr::Name) {
            const QString &key = callee.key;
            const Frame &f = current();
            const bool isOwnFunction = f.proc && f.proc->isFunction && key == f.proc->key;
            if (!isOwnFunction) {
                if (const Slot s = findSlot(key, true))
                    return index(*s, evaluateArgs(e.args), callee.name);
            }
            if (const auto proc = m_procs.value(key))
                return callProcedure(*proc, &e.args, nullptr);
            if (const auto obj = m_objects.value(key))
                return index(ScriptValue::object(obj), evaluateArgs(e.args), callee.name);
            if (key == QLatin1String("err"))
                return index(ScriptValue::object(m_err), evaluateArgs(e.args), callee.name);
            if (const auto o = memberObjectWith(key, true, true)) {
                const QList<ScriptValue> args = evaluateArgs(e.args);
                return hostCall([&] {
                    if (o->hasMethod(key))
                        return o->callMethod(key, args);
                    return index(o->getProperty(key), args, callee.name);
                });
            }
            if (key == QLatin1String("eval") || key == QLatin1String("execute") ||
                key == QLatin1String("executeglobal"))
                return runText(key, evaluateArgs(e.args));
            if (isBuiltinFunction(key))
                return callBuiltin(key, evaluateArgs(e.args), hooks);
            ScriptValue c;
            if (builtinConstant(key, &c))
                return index(c, evaluateArgs(e.args), callee.name);
            throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
        }
        if (callee.kind == Expr::Member) {
            const auto o = memberBase(callee);
            const QList<ScriptValue> args = evaluateArgs(e.args);
            return readMember(o, callee, &args);
        }
        return index(evaluate(callee), evaluateArgs(e.args), QString());
    }

    // Eval(text) evaluates an expression; Execute runs statements in the
    // current scope, ExecuteGlobal in the global one.
    ScriptValue runText(const QString &key, const QList<ScriptValue> &args)
    {
        if (args.size() != 1)
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, key);
        const QString text = args.at(0).toString();
        if (key == QLatin1String("eval")) {
            const ExprPtr expr = parseExpression(text);
            return evaluate(*expr);
        }
        const std::shared_ptr<Program> program = parseProgram(text);
        m_programs.push_back(program);
        for (const auto &proc : program->procedures)
            m_procs.insert(proc->key, proc);
        if (key == QLatin1String("executeglobal")) {
            m_frames.push_back(&m_global);
            struct Pop
            {
                std::vector<Frame *> &frames;
                ~Pop() { frames.pop_back(); }
            } pop{m_frames};
            hoist(m_global, program->dims);
            execBlock(program->statements);
        } else {
            hoist(current(), program->dims);
            execBlock(program->statements);
        }
        return ScriptValue();
    }

    ScriptValue callProcedure(const Procedure &proc, const std::vector<ExprPtr> *argExprs,
                              const QList<ScriptValue> *argValues)
    {
        const size_t given = argExprs ? argExprs->size() : (argValues ? size_t(argValues->size()) : 0);
        if (given != proc.params.size())
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, proc.name);
        if (m_depth >= kMaxCallDepth)
            throwScriptError(ScriptErrorNumber::OutOfStack);
        checkStack();
        Frame frame;
        frame.proc = &proc;
        for (size_t i = 0; i < proc.params.size(); ++i) {
            const Parameter &p = proc.params[i];
            if (argExprs) {
                const Expr *a = (*argExprs)[i].get();
                if (a && !p.byVal && a->kind == Expr::Name) {
                    // ByRef: the parameter is the caller's variable itself.
                    if (Slot s = findSlot(a->key, false)) {
                        frame.vars.insert(p.key, s);
                        continue;
                    }
                }
                frame.vars.insert(p.key, std::make_shared<ScriptValue>(a ? evaluate(*a) : ScriptValue()));
            } else {
                frame.vars.insert(p.key, std::make_shared<ScriptValue>(argValues->at(qsizetype(i))));
            }
        }
        if (proc.isFunction)
            frame.result = std::make_shared<ScriptValue>();
        hoist(frame, proc.dims);
        ++m_depth;
        m_frames.push_back(&frame);
        struct Leave
        {
            Interpreter *in;
            ~Leave()
            {
                in->m_frames.pop_back();
                --in->m_depth;
            }
        } leave{this};
        execBlock(proc.body);
        return proc.isFunction ? *frame.result : ScriptValue();
    }

    // ---- assignment ----

    enum class Assignment { Let, Set, Raw };

    void assign(const Expr &target, ScriptValue v, Assignment mode)
    {
        if (mode == Assignment::Set && !v.isObject())
            throwScriptError(ScriptErrorNumber::ObjectRequired, target.name);
        if (mode == Assignment::Let && v.isObject())
            v = ScriptObject::defaultValue(v.objectValue());
        switch (target.kind) {
        case Expr::Name: {
            const QString &key = target.key;
            if (Slot s = findSlot(key, false)) {
                *s = std::move(v);
                return;
            }
            if (isConst(key) || m_procs.contains(key) || m_objects.contains(key))
                throwScriptError(ScriptErrorNumber::IllegalAssignment, target.name);
            if (const auto o = memberObjectWith(key, true, false)) {
                hostCall([&] { o->setProperty(key, v); });
                return;
            }
            if (m_optionExplicit)
                throwScriptError(ScriptErrorNumber::VariableUndefined, target.name);
            current().vars.insert(key, std::make_shared<ScriptValue>(std::move(v)));
            return;
        }
        case Expr::Member: {
            const auto o = memberBase(target);
            hostCall([&] { o->setProperty(target.name, v); });
            return;
        }
        case Expr::Call: {
            const Expr &callee = *target.left;
            if (callee.kind == Expr::Name) {
                const Slot s = findSlot(callee.key, false);
                if (s && s->isArray()) {
                    const QList<qint64> subs = subscripts(evaluateArgs(target.args));
                    ScriptArray &arr = s->mutableArray();
                    const qsizetype off = arr.offset(subs);
                    if (off < 0)
                        throwScriptError(ScriptErrorNumber::SubscriptOutOfRange, callee.name);
                    arr.items[off] = std::move(v);
                    return;
                }
                if (!s)
                    throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
                if (s->isObject() && s->objectValue()) {
                    const QList<ScriptValue> args = evaluateArgs(target.args);
                    const auto o = s->objectValue();
                    hostCall([&] { o->setItem(args, v); });
                    return;
                }
                throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
            }
            throwScriptError(ScriptErrorNumber::NoSuchMember, callee.name);
        }
        default:
            throwScriptError(ScriptErrorNumber::IllegalAssignment);
        }
    }

    // ---- expressions ----

public:
    ScriptValue evaluate(const Expr &e)
    {
        switch (e.kind) {
        case Expr::Literal:
            return e.value;
        case Expr::Paren:
            return evaluate(*e.left);
        case Expr::Unary: {
            const ScriptValue v = evaluate(*e.left);
            return e.unary == Expr::Neg ? ScriptOps::negate(v) : ScriptOps::logicalNot(v);
        }
        case Expr::Binary: {
            const ScriptValue l = evaluate(*e.left);
            const ScriptValue r = evaluate(*e.right);
            return ScriptOps::binary(e.op, l, r, e.left->kind == Expr::Literal, e.right->kind == Expr::Literal);
        }
        case Expr::Name:
            return readName(e);
        case Expr::Member:
            return readMember(memberBase(e), e, nullptr);
        case Expr::Call:
            checkStack();
            return evaluateCall(e);
        }
        return ScriptValue();
    }

private:
    Frame m_global;
    std::vector<Frame *> m_frames;
    QHash<QString, std::shared_ptr<Procedure>> m_procs;
    std::vector<std::shared_ptr<Program>> m_programs;
    QHash<QString, std::shared_ptr<ScriptObject>> m_objects;
    QList<std::shared_ptr<ScriptObject>> m_memberObjects;
    std::shared_ptr<ErrObject> m_err;
    bool m_optionExplicit = false;
    int m_line = 0;
    int m_depth = 0;
    const char *m_stackBase = nullptr;
    QElapsedTimer m_timer;
};

// ---- Err ----

bool ErrObject::hasProperty(const QString &name) const
{
    const QString n = name.toLower();
    return n.isEmpty() || n == QLatin1String("number") || n == QLatin1String("description") ||
           n == QLatin1String("source") || n == QLatin1String("helpfile") || n == QLatin1String("helpcontext");
}

bool ErrObject::hasMethod(const QString &name) const
{
    const QString n = name.toLower();
    return n == QLatin1String("clear") || n == QLatin1String("raise");
}

ScriptValue ErrObject::getProperty(const QString &name)
{
    const QString n = name.toLower();
    if (n.isEmpty() || n == QLatin1String("number"))
        return ScriptValue::integer(m_in->errNumber);
    if (n == QLatin1String("description"))
        return ScriptValue(m_in->errDescription);
    if (n == QLatin1String("source"))
        return ScriptValue(m_in->errSource);
    if (n == QLatin1String("helpfile"))
        return ScriptValue(QString());
    return ScriptValue::integer(0);
}

void ErrObject::setProperty(const QString &name, const ScriptValue &value)
{
    const QString n = name.toLower();
    if (n.isEmpty() || n == QLatin1String("number"))
        m_in->errNumber = value.toLong();
    else if (n == QLatin1String("description"))
        m_in->errDescription = value.toString();
    else if (n == QLatin1String("source"))
        m_in->errSource = value.toString();
    else if (n != QLatin1String("helpfile") && n != QLatin1String("helpcontext"))
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

ScriptValue ErrObject::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    const QString n = name.toLower();
    if (n == QLatin1String("clear")) {
        if (!args.isEmpty())
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
        m_in->clearErr();
        return ScriptValue();
    }
    if (n == QLatin1String("raise")) {
        if (args.isEmpty() || args.size() > 5)
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
        const qint64 number = args.at(0).toLong();
        if (number == 0)
            throwScriptError(ScriptErrorNumber::InvalidCall);
        const QString source = args.size() > 1 && !args.at(1).isEmpty() ? args.at(1).toString() : QString();
        const QString description =
            args.size() > 2 && !args.at(2).isEmpty() ? args.at(2).toString() : scriptErrorText(number);
        throw ScriptError(number, description, source);
    }
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

} // namespace script

// ---- the host interface ----

ScriptEngine::ScriptEngine() : d(std::make_unique<script::Interpreter>()) {}
ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::reset()
{
    d->reset();
}
bool ScriptEngine::addCode(const QString &code)
{
    return d->addCode(code);
}
bool ScriptEngine::addObject(const QString &name, std::shared_ptr<ScriptObject> object, bool addMembers)
{
    return d->addObject(name, std::move(object), addMembers);
}
ScriptValue ScriptEngine::eval(const QString &expression)
{
    return d->eval(expression);
}
ScriptValue ScriptEngine::run(const QString &procedure, const QList<ScriptValue> &args)
{
    return d->run(procedure, args);
}
bool ScriptEngine::hasError() const
{
    return d->hasError;
}
qint64 ScriptEngine::errorNumber() const
{
    return d->errorNumber;
}
QString ScriptEngine::errorDescription() const
{
    return d->errorDescription;
}
QString ScriptEngine::errorSource() const
{
    return d->errorSource;
}
int ScriptEngine::errorLine() const
{
    return d->errorLine;
}
void ScriptEngine::clearError()
{
    d->clearError();
}
bool ScriptEngine::hasGlobal(const QString &name) const
{
    return d->hasGlobal(name);
}
ScriptValue ScriptEngine::global(const QString &name) const
{
    return d->global(name);
}
void ScriptEngine::setGlobal(const QString &name, const ScriptValue &value)
{
    d->setGlobal(name, value);
}
bool ScriptEngine::hasProcedure(const QString &name) const
{
    return d->hasProcedure(name);
}
void ScriptEngine::setTimeLimit(int milliseconds)
{
    d->timeLimit = milliseconds;
}
void ScriptEngine::setMessageBoxHandler(std::function<int(const QString &, int, const QString &)> handler)
{
    d->hooks.messageBox = std::move(handler);
}
