#pragma once

#include "platform/script/ScriptObject.h"
#include "platform/script/ScriptValue.h"

#include <functional>
#include <memory>

namespace script {
class Interpreter;
}

// A VBScript engine with the operations a script control offers a host:
// reset, add code, add named objects, evaluate an expression, run a
// procedure, and the error of the last failing operation.
//
// Every operation catches its own failures: a compilation or run-time error
// ends the operation, returns false or Empty and sets the error state, which
// stays until the next reset() or clearError() (a later successful operation
// does not clear it). Nothing a script does can crash the host: recursion is
// bounded (error 28), texts and arrays are bounded (error 7), and a time
// limit can stop runaway loops.
//
// Errors carry VBScript's numbers and texts: the source is "Microsoft
// VBScript runtime error" or "Microsoft VBScript compilation error" (or what
// Err.Raise or a host object gave), the description the bare standard text.
// Objects of a script's classes reach the host as ScriptObjects; after a
// reset they are dead and answer error 424.
class ScriptEngine
{
public:
    ScriptEngine();
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine &) = delete;
    ScriptEngine &operator=(const ScriptEngine &) = delete;

    // Drops all code, variables, procedures and objects, and the error state.
    // Refused (error 5) while a script is running, e.g. from a host object.
    void reset();

    // Compiles the text and runs its top-level statements at once; its Subs,
    // Functions and global variables stay for later calls. A compilation
    // error runs nothing; a run-time error stops the statements at that point.
    bool addCode(const QString &code);

    // Makes the object known under name. With addMembers its properties and
    // methods can also be used without qualification. An empty name or no
    // object is an invalid argument (-2147024809); a name already added is
    // refused with 1041 Name redefined.
    bool addObject(const QString &name, std::shared_ptr<ScriptObject> object, bool addMembers = false);

    // Evaluates one expression with the global names. Empty on failure.
    ScriptValue eval(const QString &expression);

    // Calls a Sub or Function by name with values (passed ByVal).
    ScriptValue run(const QString &procedure, const QList<ScriptValue> &args = {});

    bool hasError() const;
    qint64 errorNumber() const;
    QString errorDescription() const;
    QString errorSource() const;
    int errorLine() const; // 1-based line in the code text; 0 when not known
    // Where the error is, for a person reading it: its line and, for a
    // compilation error, the construct the text broke off in
    // ("line 4: Expected 'End' in the If statement begun on line 2").
    QString errorDetail() const;
    void clearError();

    // Global variables and constants, as the host reads and writes them.
    bool hasGlobal(const QString &name) const;
    ScriptValue global(const QString &name) const; // Empty when there is none
    void setGlobal(const QString &name, const ScriptValue &value);
    bool hasProcedure(const QString &name) const;

    // Stops any operation that runs longer than this (error -2147467260,
    // which On Error Resume Next cannot catch). 0 = no limit (the default).
    void setTimeLimit(int milliseconds);
    // Answers MsgBox calls; without a handler MsgBox shows nothing and answers 1 (OK).
    void setMessageBoxHandler(std::function<int(const QString &prompt, int buttons, const QString &title)> handler);

private:
    std::unique_ptr<script::Interpreter> d;
};
