#include "platform/script/ScriptEngine.h"

#include "platform/core/ErpError.h"
#include "platform/script/ScriptBuiltins.h"
#include "platform/script/ScriptRegExp.h"
#include "platform/script/ScriptSyntax.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

namespace script {

class ClassInstance;

namespace {

// Deepest nesting of procedure calls, and the most stack a run may use
// below the host's frame: well inside a 1 MB thread stack, whatever the
// build's frame sizes.
constexpr int kMaxCallDepth = 1000;
constexpr std::ptrdiff_t kStackBudget = 384 * 1024;
// Largest array ReDim or Dim creates.
constexpr qsizetype kMaxArrayElements = 16 * 1024 * 1024;

const QString kRuntimeSource = QStringLiteral("Microsoft VBScript runtime error");

using Slot = std::shared_ptr<ScriptValue>;

struct Frame
{
    const Procedure *proc = nullptr;     // null for the global code
    std::shared_ptr<ClassInstance> self; // Me, in a procedure of a class
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
    // What a host object does (a database call, a dialog) is not the script's time.
    const OutsideTime outside;
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

// VBScript's numbers for the HRESULTs a raised error may carry: the
// control facility's codes are plain VBScript errors, and the common COM
// and dispatch failures have VBScript equivalents.
qint64 vbErrorNumber(qint64 number)
{
    const quint32 u = quint32(number);
    if ((u & 0xFFFF0000u) == 0x800A0000u)
        return u & 0xFFFFu;
    switch (u) {
    case 0x8007000Eu: // E_OUTOFMEMORY
        return ScriptErrorNumber::OutOfMemory;
    case 0x80070057u: // E_INVALIDARG
        return ScriptErrorNumber::InvalidCall;
    case 0x80070005u: // E_ACCESSDENIED
        return 70;
    case 0x80004001u: // E_NOTIMPL
        return 445;
    case 0x80004002u: // E_NOINTERFACE
        return 430;
    case 0x80020003u: // DISP_E_MEMBERNOTFOUND
    case 0x80020006u: // DISP_E_UNKNOWNNAME
        return ScriptErrorNumber::NoSuchMember;
    case 0x80020005u: // DISP_E_TYPEMISMATCH
        return ScriptErrorNumber::TypeMismatch;
    case 0x8002000Au: // DISP_E_OVERFLOW
        return ScriptErrorNumber::Overflow;
    case 0x8002000Bu: // DISP_E_BADINDEX
        return ScriptErrorNumber::SubscriptOutOfRange;
    case 0x8002000Eu: // DISP_E_BADPARAMCOUNT
        return ScriptErrorNumber::WrongArgumentCount;
    case 0x8002000Fu: // DISP_E_PARAMNOTOPTIONAL
        return 449;
    case 0x80020012u: // DISP_E_DIVBYZERO
        return ScriptErrorNumber::DivisionByZero;
    case 0x800401F3u: // CO_E_CLASSSTRING
    case 0x80040154u: // REGDB_E_CLASSNOTREG
        return ScriptErrorNumber::CannotCreateObject;
    default:
        return number;
    }
}

} // namespace

class Interpreter;

// Instances whose last reference went: the interpreter finishes them one
// by one (Class_Terminate, then delete), so that a long chain of objects is
// released without recursion.
struct Graveyard
{
    std::vector<ClassInstance *> items;
};

// An object of a script's own Class: its variables, and its procedures
// called through the interpreter that made it.
class ClassInstance : public ScriptObject
{
public:
    ClassInstance(Interpreter *in, std::shared_ptr<const ClassDef> def) : in(in), def(std::move(def)) {}
    QString typeName() const override { return def->name; }
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;
    void setItem(const QList<ScriptValue> &args, const ScriptValue &value) override;

    Interpreter *in; // null once its engine was reset: the object is dead
    std::shared_ptr<const ClassDef> def;
    QHash<QString, Slot> fields;
    bool pendingTerminate = false; // Class_Terminate still to run
    std::weak_ptr<ClassInstance> self;
};

struct InstanceDeleter
{
    std::weak_ptr<Graveyard> graveyard;
    void operator()(ClassInstance *p) const
    {
        if (const auto g = graveyard.lock()) {
            g->items.push_back(p);
            return;
        }
        delete p;
    }
};

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

// Me outside a class: the script itself, its global variables as
// properties and its procedures as methods.
class GlobalScope : public ScriptObject
{
public:
    explicit GlobalScope(Interpreter *in) : in(in) {}
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;

    Interpreter *in; // null once its engine is gone
};

// Rnd's generator starts here in every engine and after every reset.
constexpr quint32 kRndStartSeed = 0x50000;

class Interpreter
{
public:
    Interpreter()
    {
        m_err = std::make_shared<ErrObject>(this);
        hooks.rndSeed = &m_rndSeed;
    }
    ~Interpreter()
    {
        if (m_me)
            m_me->in = nullptr;
        releaseInstances();
        m_graveyard.reset();
    }
    Interpreter(const Interpreter &) = delete;
    Interpreter &operator=(const Interpreter &) = delete;

    // -- Err object state --
    qint64 errNumber = 0;
    QString errDescription, errSource, errHelpFile;
    qint64 errHelpContext = 0;
    // What Err.Raise gave for HelpFile and HelpContext, taken by the next setErr.
    bool raisedHelp = false;
    QString raisedHelpFile;
    qint64 raisedHelpContext = 0;
    void clearErr()
    {
        errNumber = 0;
        errDescription.clear();
        errSource.clear();
        errHelpFile.clear();
        errHelpContext = 0;
    }
    void setErr(const ScriptError &e)
    {
        errNumber = e.number;
        errDescription = e.description;
        errSource = e.source.isEmpty() ? kRuntimeSource : e.source;
        errHelpFile = raisedHelp ? raisedHelpFile : QString();
        errHelpContext = raisedHelp ? raisedHelpContext : 0;
        raisedHelp = false;
    }

    // -- host error state --
    bool hasError = false;
    qint64 errorNumber = 0;
    QString errorDescription, errorSource, errorDetail;
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
        releaseInstances();
        m_global = Frame();
        m_procs.clear();
        m_classes.clear();
        m_programs.clear();
        m_objects.clear();
        m_memberObjects.clear();
        buryInstances(false);
        m_optionExplicit = false;
        m_rndSeed = kRndStartSeed;
        clearErr();
        clearError();
    }

    void clearError()
    {
        hasError = false;
        errorNumber = 0;
        errorDescription.clear();
        errorSource.clear();
        errorDetail.clear();
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
            m_outsideAtStart = OutsideTime::total();
            m_stackBase = &probe;
        }
        const size_t frames = m_frames.size();
        const int depth = m_depth;
        m_global.resumeNext = false;
        m_frames.push_back(&m_global);
        bool ok = false;
        try {
            f();
            buryInstances();
            ok = true;
        } catch (const ScriptError &e) {
            fail(e);
        } catch (const Abort &a) {
            fail(a.error);
        } catch (const std::bad_alloc &) {
            fail(ScriptError(ScriptErrorNumber::OutOfMemory, scriptErrorText(ScriptErrorNumber::OutOfMemory)));
        }
        if (!ok) {
            // Finish what the failure released, without running more script.
            try {
                buryInstances(false);
            } catch (...) {
            }
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
        errorDetail =
            !e.detail.isEmpty() ? e.detail : QStringLiteral("line %1: %2").arg(errorLine).arg(errorDescription);
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
        for (const auto &def : program->classes)
            m_classes.insert(def->key, def);
        if (program->optionExplicit)
            m_optionExplicit = true;
        return guarded([&] {
            hoist(m_global, program->dims, program->consts);
            execBlock(program->statements);
        });
    }

    // Names a scope declares with Dim exist from its start, as in VBScript:
    // a procedure's Dim makes the name local even above the statement. So
    // do its constants of a literal value.
    static void hoist(Frame &f, const QStringList &dims, const std::vector<std::pair<QString, ScriptValue>> &consts)
    {
        for (const QString &key : dims) {
            if (!f.vars.contains(key))
                f.vars.insert(key, std::make_shared<ScriptValue>());
        }
        for (const auto &[key, value] : consts) {
            if (!f.vars.contains(key)) {
                f.vars.insert(key, std::make_shared<ScriptValue>(value));
                f.consts.insert(key);
            }
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

    // The script as an object, for Me outside a class.
    std::shared_ptr<GlobalScope> globalScope()
    {
        if (!m_me)
            m_me = std::make_shared<GlobalScope>(this);
        return m_me;
    }
    ScriptValue callGlobal(const QString &name, const QList<ScriptValue> &args)
    {
        const auto proc = m_procs.value(name.toLower());
        if (!proc)
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        return fromHost([&] { return callProcedure(*proc, nullptr, &args); });
    }

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
        // The script's own time: not the time it waited for its host.
        if (timeLimit > 0 && m_timer.elapsed() - (OutsideTime::total() - m_outsideAtStart) > timeLimit)
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
                if (!m_graveyard->items.empty())
                    buryInstances();
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
            m_lastCallConverted = false;
            evaluate(*s.target);
            // A conversion whose value nobody takes ("CInt x", "Call CDbl(x)")
            // is refused after the conversion itself succeeded.
            if (m_lastCallConverted)
                throwScriptError(ScriptErrorNumber::UnsupportedType);
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
            for (const auto &branch : s.branches) {
                // Resume Next goes on with the next statement, which is the
                // first one of this branch.
                const Expr &cond = *branch.first;
                if (resumingInto(cond.line, [&] { return condition(cond); }))
                    return execBlock(branch.second);
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
            // With Nothing (or a failing expression under Resume Next) runs
            // its block; each use of a member fails there with 424.
            ScriptValue v;
            resumingInto(s.line, [&] {
                v = evaluate(*s.target);
                return true;
            });
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
        case Stmt::Stop:
        case Stmt::Procedure:
            return Flow::Normal;
        }
        return Flow::Normal;
    }

    // Evaluates a test of a statement that holds a block. A failure under
    // On Error Resume Next is recorded and counts as true: the next
    // statement is the first of the block, which runs.
    template <typename F>
    bool resumingInto(int line, F test)
    {
        try {
            return test();
        } catch (ScriptError &e) {
            if (!current().resumeNext)
                throw;
            if (e.line == 0)
                e.line = line;
            setErr(e);
            return true;
        }
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

    // A failing subject skips the whole statement (Resume Next goes on after
    // End Select); a failing Case value enters the body of its clause.
    Flow execSelect(const Stmt &s)
    {
        const ScriptValue subject = evaluate(*s.value);
        for (const CaseClause &clause : s.cases) {
            bool match = clause.items.empty();
            for (const CaseItem &item : clause.items) {
                match = resumingInto(item.value->line, [&] { return caseMatches(subject, item); });
                if (match)
                    break;
            }
            if (match)
                return execBlock(clause.body);
        }
        return Flow::Normal;
    }

    bool caseMatches(const ScriptValue &subject, const CaseItem &item)
    {
        const ScriptValue v = evaluate(*item.value);
        const bool literal = item.value->kind == Expr::Literal;
        if (item.kind == CaseItem::Value)
            return ScriptOps::compare(subject, v, false, literal) == 0;
        if (item.kind == CaseItem::Range) {
            const ScriptValue to = evaluate(*item.to);
            const int lo = ScriptOps::compare(subject, v, false, literal);
            const int hi = ScriptOps::compare(subject, to, false, item.to->kind == Expr::Literal);
            return lo != 2 && hi != 2 && lo >= 0 && hi <= 0;
        }
        const ScriptValue r = ScriptOps::binary(item.op, subject, v, false, literal);
        return !r.isNull() && r.toBool();
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

    // A collection that fails (an error in its expression, or a value that is
    // no collection) under Resume Next runs the body once, the loop variable
    // untouched, as the statement after For Each is the first of the body.
    Flow execForEach(const Stmt &s)
    {
        QList<ScriptValue> items;
        const bool failed = resumingInto(s.value->line, [&] {
            items = collectionItems(evaluate(*s.value));
            return false;
        });
        if (failed) {
            const Flow flow = execBlock(s.body);
            return flow == Flow::ExitFor ? Flow::Normal : flow;
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

    QList<ScriptValue> collectionItems(const ScriptValue &coll)
    {
        QList<ScriptValue> items;
        if (coll.isArray())
            return storageOrder(*coll.arrayValue());
        if (coll.isObject() && coll.objectValue()) {
            if (!hostCall([&] { return coll.objectValue()->enumerate(&items); }))
                throwScriptError(ScriptErrorNumber::NotACollection);
            return items;
        }
        throwScriptError(ScriptErrorNumber::NotACollection);
    }

    // The elements as For Each visits them: the first subscript varies
    // fastest, as arrays lie in memory (a(0,0), a(1,0), a(0,1), ...).
    static QList<ScriptValue> storageOrder(const ScriptArray &arr)
    {
        if (arr.upper.size() < 2)
            return arr.items;
        const qsizetype dims = arr.upper.size();
        QList<qsizetype> stride(dims, 1);
        for (qsizetype d = dims - 2; d >= 0; --d)
            stride[d] = stride[d + 1] * (arr.upper.at(d + 1) + 1);
        QList<ScriptValue> out;
        out.reserve(arr.items.size());
        QList<int> index(dims, 0);
        for (qsizetype n = 0; n < arr.items.size(); ++n) {
            qsizetype off = 0;
            for (qsizetype d = 0; d < dims; ++d)
                off += index.at(d) * stride.at(d);
            out << arr.items.at(off);
            for (qsizetype d = 0; d < dims; ++d) {
                if (++index[d] <= arr.upper.at(d))
                    break;
                index[d] = 0;
            }
        }
        return out;
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
        if (f.self) {
            const auto field = f.self->fields.constFind(key);
            if (field != f.self->fields.cend())
                return field.value();
            // In a class, its own procedures hide global variables of their name.
            if (f.self->def->members.contains(key))
                return nullptr;
        }
        const auto it = m_global.vars.constFind(key);
        if (it != m_global.vars.cend())
            return includeConsts || !m_global.consts.contains(key) ? it.value() : nullptr;
        return nullptr;
    }

    // A name that denotes nothing yet: no variable, constant, procedure,
    // object, member or built-in.
    bool isUnusedName(const QString &key)
    {
        ScriptValue c;
        const auto &self = current().self;
        return !isConst(key) && !m_procs.contains(key) && !m_objects.contains(key) && key != QLatin1String("err") &&
               key != QLatin1String("me") && !(self && self->def->members.contains(key)) &&
               !memberObjectWith(key, true, true) && !builtinConstant(key, &c) && !isBuiltinFunction(key);
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
        const std::shared_ptr<ClassInstance> self = current().self;
        if (self && key == QLatin1String("me"))
            return ScriptValue::object(self);
        if (const Slot s = findSlot(key, true))
            return *s;
        if (self && selfCallable(key))
            return instanceRead(self, e.name, nullptr, nullptr);
        if (key == QLatin1String("me"))
            return ScriptValue::object(globalScope());
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

    static bool isConversion(const QString &builtin)
    {
        static const QSet<QString> conversions = {
            QStringLiteral("cint"), QStringLiteral("clng"), QStringLiteral("cbyte"), QStringLiteral("ccur"),
            QStringLiteral("cdbl"), QStringLiteral("csng"), QStringLiteral("cdate")};
        return conversions.contains(builtin);
    }

    // f(args): whether it came to a conversion built-in is remembered for
    // the statement that made the call.
    ScriptValue evaluateCall(const Expr &e)
    {
        bool converted = false;
        ScriptValue result = dispatchCall(e, &converted);
        m_lastCallConverted = converted;
        return result;
    }

    ScriptValue dispatchCall(const Expr &e, bool *converted)
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
            if (f.self && selfCallable(key))
                return instanceRead(f.self, callee.name, &e.args, nullptr);
            if (key == QLatin1String("me") && f.self)
                return index(ScriptValue::object(f.self), evaluateArgs(e.args), callee.name);
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
            if (key == QLatin1String("createobject")) {
                const QList<ScriptValue> args = evaluateArgs(e.args);
                if (args.size() >= 1 && args.size() <= 2 && !args.at(0).isObject() && !args.at(0).isArray() &&
                    !args.at(0).isNull() &&
                    args.at(0).toString().compare(QLatin1String("VBScript.RegExp"), Qt::CaseInsensitive) == 0)
                    return ScriptValue::object(makeRegExp());
                return callBuiltin(key, args, hooks);
            }
            if (isBuiltinFunction(key)) {
                ScriptValue result = callBuiltin(key, evaluateArgs(e.args), hooks);
                *converted = isConversion(key);
                return result;
            }
            ScriptValue c;
            if (builtinConstant(key, &c))
                return index(c, evaluateArgs(e.args), callee.name);
            throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
        }
        if (callee.kind == Expr::Member) {
            const auto o = memberBase(callee);
            if (const auto inst = asInstance(o))
                return instanceRead(inst, callee.name, &e.args, nullptr);
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
        for (const auto &def : program->classes)
            m_classes.insert(def->key, def);
        if (key == QLatin1String("executeglobal")) {
            m_frames.push_back(&m_global);
            struct Pop
            {
                std::vector<Frame *> &frames;
                ~Pop() { frames.pop_back(); }
            } pop{m_frames};
            hoist(m_global, program->dims, program->consts);
            execBlock(program->statements);
        } else {
            hoist(current(), program->dims, program->consts);
            execBlock(program->statements);
        }
        return ScriptValue();
    }

    // An array element passed ByRef: the procedure works on a copy that is
    // written back to the element when it returns.
    struct ElementRef
    {
        Slot array;
        QList<qint64> subscripts;
        Slot value;
    };

    ScriptValue callProcedure(const Procedure &proc, const std::vector<ExprPtr> *argExprs,
                              const QList<ScriptValue> *argValues, const std::shared_ptr<ClassInstance> &self = nullptr)
    {
        const size_t given = argExprs ? argExprs->size() : (argValues ? size_t(argValues->size()) : 0);
        if (given != proc.params.size())
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, proc.name);
        if (m_depth >= kMaxCallDepth)
            throwScriptError(ScriptErrorNumber::OutOfStack);
        checkStack();
        Frame frame;
        frame.proc = &proc;
        frame.self = self;
        std::vector<ElementRef> elements;
        for (size_t i = 0; i < proc.params.size(); ++i) {
            const Parameter &p = proc.params[i];
            if (argExprs) {
                const Expr *a = (*argExprs)[i].get();
                if (a && !p.byVal && a->kind == Expr::Name) {
                    // ByRef: the parameter is the caller's variable itself,
                    // made here when the caller has not used it yet.
                    Slot s = findSlot(a->key, false);
                    if (!s && !m_optionExplicit && isUnusedName(a->key)) {
                        s = std::make_shared<ScriptValue>();
                        current().vars.insert(a->key, s);
                    }
                    if (s) {
                        frame.vars.insert(p.key, s);
                        continue;
                    }
                }
                if (a && !p.byVal && a->kind == Expr::Call && a->left->kind == Expr::Name) {
                    const Slot arr = findSlot(a->left->key, false);
                    if (arr && arr->isArray()) {
                        const QList<qint64> subs = subscripts(evaluateArgs(a->args));
                        const qsizetype off = arr->arrayValue()->offset(subs);
                        if (off < 0)
                            throwScriptError(ScriptErrorNumber::SubscriptOutOfRange, a->left->name);
                        auto value = std::make_shared<ScriptValue>(arr->arrayValue()->items.at(off));
                        elements.push_back({arr, subs, value});
                        frame.vars.insert(p.key, value);
                        continue;
                    }
                }
                frame.vars.insert(p.key, std::make_shared<ScriptValue>(dynamicCopy(a ? evaluate(*a) : ScriptValue())));
            } else {
                frame.vars.insert(p.key, std::make_shared<ScriptValue>(dynamicCopy(argValues->at(qsizetype(i)))));
            }
        }
        if (proc.isFunction)
            frame.result = std::make_shared<ScriptValue>();
        hoist(frame, proc.dims, proc.consts);
        ++m_depth;
        m_frames.push_back(&frame);
        struct Leave
        {
            Interpreter *in;
            std::vector<ElementRef> &elements;
            ~Leave()
            {
                in->m_frames.pop_back();
                --in->m_depth;
                // Written back even when the procedure failed, as a reference would be.
                for (ElementRef &r : elements) {
                    if (!r.array->isArray())
                        continue;
                    ScriptArray &arr = r.array->mutableArray();
                    const qsizetype off = arr.offset(r.subscripts);
                    if (off >= 0)
                        arr.items[off] = *r.value;
                }
            }
        } leave{this, elements};
        execBlock(proc.body);
        return proc.isFunction ? *frame.result : ScriptValue();
    }

    // ---- classes ----

    static std::shared_ptr<ClassInstance> asInstance(const std::shared_ptr<ScriptObject> &o)
    {
        return std::dynamic_pointer_cast<ClassInstance>(o);
    }

    // Whether the procedure that runs belongs to that class: its Private
    // members are visible there.
    bool insideClass(const ClassDef *def)
    {
        const Frame &f = current();
        return f.self && f.self->def.get() == def;
    }

    // A procedure of the running instance's class reachable by a bare name.
    bool selfCallable(const QString &key)
    {
        const Frame &f = current();
        if (!f.self)
            return false;
        const auto it = f.self->def->members.constFind(key);
        return it != f.self->def->members.cend() && it->get;
    }

    std::shared_ptr<ScriptObject> newObject(const Expr &e)
    {
        const auto def = m_classes.value(e.key);
        if (!def) {
            if (e.key == QLatin1String("regexp"))
                return makeRegExp();
            throwScriptError(ScriptErrorNumber::ClassNotDefined, e.name);
        }
        std::shared_ptr<ClassInstance> inst(new ClassInstance(this, def), InstanceDeleter{m_graveyard});
        inst->self = inst;
        for (const ClassField &field : def->fields) {
            auto slot = std::make_shared<ScriptValue>();
            if (field.decl.isArray) {
                auto arr = std::make_shared<ScriptArray>();
                if (!field.decl.bounds.empty()) {
                    arr->upper = bounds(field.decl.bounds);
                    arr->items.resize(ScriptArray::count(arr->upper));
                    arr->fixed = true;
                }
                *slot = ScriptValue::array(arr);
            }
            inst->fields.insert(field.decl.key, slot);
        }
        for (const auto &[key, expr] : def->consts)
            inst->fields.insert(key, std::make_shared<ScriptValue>(evaluate(*expr)));
        if (m_instances.size() >= m_instancesPruneAt) {
            std::erase_if(m_instances, [](const std::weak_ptr<ClassInstance> &w) { return w.expired(); });
            m_instancesPruneAt = std::max<size_t>(64, m_instances.size() * 2);
        }
        m_instances.push_back(inst);
        const auto init = def->members.constFind(QStringLiteral("class_initialize"));
        if (init != def->members.cend() && init->get)
            callProcedure(*init->get, nullptr, nullptr, inst);
        inst->pendingTerminate = def->members.value(QStringLiteral("class_terminate")).get != nullptr;
        return inst;
    }

    void checkAlive(const ClassInstance &inst)
    {
        if (inst.in != this)
            throwScriptError(ScriptErrorNumber::ObjectRequired);
    }

    QString memberKey(const ClassInstance &inst, const QString &name)
    {
        const QString key = name.toLower();
        if (!key.isEmpty())
            return key;
        if (inst.def->defaultKey.isEmpty())
            throwScriptError(ScriptErrorNumber::NoSuchMember);
        return inst.def->defaultKey;
    }

public:
    // obj.name or obj.name(args); argExprs allow ByRef arguments.
    ScriptValue instanceRead(const std::shared_ptr<ClassInstance> &inst, const QString &name,
                             const std::vector<ExprPtr> *argExprs, const QList<ScriptValue> *argValues)
    {
        checkAlive(*inst);
        const ClassDef &def = *inst->def;
        const bool inside = insideClass(&def);
        const QString key = memberKey(*inst, name);
        const size_t given = argExprs ? argExprs->size() : (argValues ? size_t(argValues->size()) : 0);
        if (const Slot s = inst->fields.value(key)) {
            if (!inside && !def.fieldIsPublic.value(key))
                throwScriptError(ScriptErrorNumber::NoSuchMember, name);
            if (given == 0)
                return *s;
            return index(*s, argExprs ? evaluateArgs(*argExprs) : *argValues, name);
        }
        const auto it = def.members.constFind(key);
        if (it == def.members.cend() || !it->get || (!it->get->isPublic && !inside))
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        const Procedure &proc = *it->get;
        if (given > 0 && proc.params.empty()) {
            // A property without parameters indexed at once: obj.Items(2).
            const QList<ScriptValue> args = argExprs ? evaluateArgs(*argExprs) : *argValues;
            return index(callProcedure(proc, nullptr, nullptr, inst), args, name);
        }
        return callProcedure(proc, argExprs, argValues, inst);
    }

    // obj.name = value, obj.name(args) = value, Set obj.name = object.
    void instanceWrite(const std::shared_ptr<ClassInstance> &inst, const QString &name, const QList<ScriptValue> &args,
                       const ScriptValue &v, bool isSet)
    {
        checkAlive(*inst);
        const ClassDef &def = *inst->def;
        const bool inside = insideClass(&def);
        const QString key = memberKey(*inst, name);
        if (const Slot s = inst->fields.value(key)) {
            if (!inside && !def.fieldIsPublic.value(key))
                throwScriptError(ScriptErrorNumber::NoSuchMember, name);
            if (args.isEmpty()) {
                *s = dynamicCopy(v);
                return;
            }
            if (s->isArray()) {
                ScriptArray &arr = s->mutableArray();
                const qsizetype off = arr.offset(subscripts(args));
                if (off < 0)
                    throwScriptError(ScriptErrorNumber::SubscriptOutOfRange, name);
                arr.items[off] = v;
                return;
            }
            if (s->isObject() && s->objectValue()) {
                const auto o = s->objectValue();
                hostCall([&] { o->setItem(args, v); });
                return;
            }
            throwScriptError(ScriptErrorNumber::TypeMismatch, name);
        }
        const ClassMember m = def.members.value(key);
        const std::shared_ptr<Procedure> &proc = isSet ? m.set : m.let;
        if (!proc || (!proc->isPublic && !inside)) {
            // A member that exists but cannot take this assignment.
            if (m.get || m.let || m.set)
                throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        }
        QList<ScriptValue> all = args;
        all << v;
        callProcedure(*proc, nullptr, &all, inst);
    }

    // What the host may ask of an instance without knowing the script.
    bool instanceHas(const ClassInstance &inst, const QString &name, bool method)
    {
        const ClassDef &def = *inst.def;
        QString key = name.toLower();
        if (key.isEmpty())
            key = def.defaultKey;
        if (key.isEmpty() || inst.in != this)
            return false;
        const bool inside = !m_frames.empty() && insideClass(&def);
        if (!method && inst.fields.contains(key))
            return inside || def.fieldIsPublic.value(key);
        const auto it = def.members.constFind(key);
        if (it == def.members.cend())
            return false;
        auto visible = [&](const std::shared_ptr<Procedure> &p) { return p && (p->isPublic || inside); };
        return method ? visible(it->get) : (visible(it->get) || visible(it->let) || visible(it->set));
    }

    // A host call into an instance runs with the global frame below it.
    template <typename F>
    auto fromHost(F f) -> decltype(f())
    {
        if (!m_frames.empty())
            return f();
        decltype(f()) result{};
        if (!guarded([&] { result = f(); }))
            throw ScriptError(errorNumber, errorDescription, errorSource);
        return result;
    }

private:
    // Runs Class_Terminate of the instances released meanwhile and deletes
    // them; with runTerminate false they are only deleted.
    void buryInstances(bool runTerminate = true)
    {
        auto &items = m_graveyard->items;
        while (!items.empty()) {
            ClassInstance *p = items.back();
            items.pop_back();
            if (!runTerminate || !p->pendingTerminate || p->in != this) {
                delete p;
                continue;
            }
            p->pendingTerminate = false;
            std::shared_ptr<ClassInstance> inst(p, InstanceDeleter{m_graveyard});
            p->self = inst;
            const auto term = p->def->members.constFind(QStringLiteral("class_terminate"));
            try {
                callProcedure(*term->get, nullptr, nullptr, inst);
            } catch (const ScriptError &) {
                // A failing Class_Terminate does not fail the statement that let the object go.
            }
        }
    }

    // Disconnects every instance still alive (which also breaks reference
    // cycles between them) and deletes those released.
    void releaseInstances()
    {
        for (const auto &w : m_instances) {
            if (const auto inst = w.lock()) {
                inst->in = nullptr;
                inst->pendingTerminate = false;
                const QHash<QString, Slot> fields = std::move(inst->fields);
                inst->fields.clear();
                for (const Slot &slot : fields)
                    *slot = ScriptValue();
            }
        }
        m_instances.clear();
        m_instancesPruneAt = 64;
        buryInstances(false);
    }

    // ---- assignment ----

    enum class Assignment { Let, Set, Raw };

    // An array declared with bounds stays fixed in its own variable only: a
    // copy of it in another variable may be ReDimmed.
    static ScriptValue dynamicCopy(ScriptValue v)
    {
        if (v.isArray() && v.arrayValue()->fixed) {
            auto copy = std::make_shared<ScriptArray>(*v.arrayValue());
            copy->fixed = false;
            return ScriptValue::array(copy);
        }
        return v;
    }

    void assign(const Expr &target, ScriptValue v, Assignment mode)
    {
        if (mode == Assignment::Set && !v.isObject())
            throwScriptError(ScriptErrorNumber::ObjectRequired, target.name);
        if (mode == Assignment::Let && v.isObject())
            v = ScriptObject::defaultValue(v.objectValue());
        v = dynamicCopy(std::move(v));
        switch (target.kind) {
        case Expr::Name: {
            const QString &key = target.key;
            if (Slot s = findSlot(key, false)) {
                *s = std::move(v);
                return;
            }
            if (const auto &self = current().self) {
                const ClassMember m = self->def->members.value(key);
                if (m.let || m.set) {
                    instanceWrite(self, target.name, {}, v, mode == Assignment::Set);
                    return;
                }
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
            if (const auto inst = asInstance(o)) {
                instanceWrite(inst, target.name, {}, v,
                              mode == Assignment::Set || (mode == Assignment::Raw && v.isObject()));
                return;
            }
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
                if (!s) {
                    const auto &self = current().self;
                    if (self &&
                        (self->def->members.value(callee.key).let || self->def->members.value(callee.key).set)) {
                        instanceWrite(self, callee.name, evaluateArgs(target.args), v, mode == Assignment::Set);
                        return;
                    }
                    throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
                }
                if (s->isObject() && s->objectValue()) {
                    const QList<ScriptValue> args = evaluateArgs(target.args);
                    const auto o = s->objectValue();
                    hostCall([&] { o->setItem(args, v); });
                    return;
                }
                throwScriptError(ScriptErrorNumber::TypeMismatch, callee.name);
            }
            if (callee.kind == Expr::Member) {
                const auto o = memberBase(callee);
                if (const auto inst = asInstance(o)) {
                    instanceWrite(inst, callee.name, evaluateArgs(target.args), v, mode == Assignment::Set);
                    return;
                }
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
        case Expr::Member: {
            const auto o = memberBase(e);
            if (const auto inst = asInstance(o))
                return instanceRead(inst, e.name, nullptr, nullptr);
            return readMember(o, e, nullptr);
        }
        case Expr::Call:
            checkStack();
            return evaluateCall(e);
        case Expr::New:
            return ScriptValue::object(newObject(e));
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
    QHash<QString, std::shared_ptr<ClassDef>> m_classes;
    std::shared_ptr<Graveyard> m_graveyard = std::make_shared<Graveyard>();
    std::vector<std::weak_ptr<ClassInstance>> m_instances; // to disconnect them on reset
    size_t m_instancesPruneAt = 64;
    bool m_optionExplicit = false;
    std::shared_ptr<GlobalScope> m_me;
    bool m_lastCallConverted = false; // the last call came to CInt, CDbl, ...
    quint32 m_rndSeed = kRndStartSeed;
    int m_line = 0;
    int m_depth = 0;
    const char *m_stackBase = nullptr;
    QElapsedTimer m_timer;
    qint64 m_outsideAtStart = 0; // OutsideTime::total() when the run began
};

// ---- instances of script classes ----

bool ClassInstance::hasProperty(const QString &name) const
{
    return in && in->instanceHas(*this, name, false);
}

bool ClassInstance::hasMethod(const QString &name) const
{
    return in && in->instanceHas(*this, name, true);
}

ScriptValue ClassInstance::getProperty(const QString &name)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    const auto me = self.lock();
    return in->fromHost([&] { return in->instanceRead(me, name, nullptr, nullptr); });
}

void ClassInstance::setProperty(const QString &name, const ScriptValue &value)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    const auto me = self.lock();
    in->fromHost([&] {
        in->instanceWrite(me, name, {}, value, value.isObject());
        return true;
    });
}

ScriptValue ClassInstance::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    const auto me = self.lock();
    return in->fromHost([&] { return in->instanceRead(me, name, nullptr, &args); });
}

void ClassInstance::setItem(const QList<ScriptValue> &args, const ScriptValue &value)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    const auto me = self.lock();
    in->fromHost([&] {
        in->instanceWrite(me, QString(), args, value, value.isObject());
        return true;
    });
}

// ---- Me outside a class ----

bool GlobalScope::hasProperty(const QString &name) const
{
    return in && in->hasGlobal(name);
}

bool GlobalScope::hasMethod(const QString &name) const
{
    return in && in->hasProcedure(name);
}

ScriptValue GlobalScope::getProperty(const QString &name)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    if (!in->hasGlobal(name))
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    return in->global(name);
}

void GlobalScope::setProperty(const QString &name, const ScriptValue &value)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    in->setGlobal(name, value);
}

ScriptValue GlobalScope::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    if (!in)
        throwScriptError(ScriptErrorNumber::ObjectRequired);
    return in->callGlobal(name, args);
}

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
        return ScriptValue(m_in->errHelpFile);
    return ScriptValue::ofType(ScriptValue::Long, double(m_in->errHelpContext));
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
    else if (n == QLatin1String("helpfile"))
        m_in->errHelpFile = value.toString();
    else if (n == QLatin1String("helpcontext"))
        m_in->errHelpContext = value.toLong();
    else
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
        const ScriptValue numberArg =
            args.at(0).isObject() ? ScriptObject::defaultValue(args.at(0).objectValue()) : args.at(0);
        if (numberArg.isNull())
            throwScriptError(ScriptErrorNumber::InvalidUseOfNull);
        if (numberArg.isEmpty())
            throwScriptError(ScriptErrorNumber::InvalidCall);
        // A Long: a VBScript error number 1 to 65535, or a negative HRESULT
        // (&H8007000E& is -2147024882); nothing else names an error.
        const qint64 code = numberArg.toLong();
        if (code == 0 || code > 0xFFFF)
            throwScriptError(ScriptErrorNumber::InvalidCall);
        const qint64 number = vbErrorNumber(code);
        // What is not given stays as an earlier Raise (or error) left it, until Err.Clear.
        auto given = [&](int i) { return args.size() > i && !args.at(i).isEmpty(); };
        const QString source = given(1)                    ? args.at(1).toString()
                               : m_in->errSource.isEmpty() ? kRuntimeSource
                                                           : m_in->errSource;
        const QString description = given(2)                          ? args.at(2).toString()
                                    : !m_in->errDescription.isEmpty() ? m_in->errDescription
                                                                      : scriptErrorText(number);
        m_in->raisedHelp = true;
        m_in->raisedHelpFile = given(3) ? args.at(3).toString() : m_in->errHelpFile;
        m_in->raisedHelpContext = given(4) ? args.at(4).toLong() : m_in->errHelpContext;
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
QString ScriptEngine::errorDetail() const
{
    return d->errorDetail;
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
