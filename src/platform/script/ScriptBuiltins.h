#pragma once

// The language's built-in functions and constants. Internal to the engine.

#include "platform/script/ScriptValue.h"

#include <functional>

namespace script {

struct BuiltinHooks
{
    // MsgBox(prompt, buttons, title) → the answer (1 OK, 6 Yes, ...).
    std::function<int(const QString &, int, const QString &)> messageBox;
    // The 24-bit state of Rnd and Randomize, the engine's own.
    quint32 *rndSeed = nullptr;
};

// Time spent outside the script while it runs (waiting for a MsgBox answer,
// inside a host object such as a database call) is not the script's own: a
// run's time limit leaves it out. Nested spans count once.
class OutsideTime
{
public:
    OutsideTime();
    ~OutsideTime();
    OutsideTime(const OutsideTime &) = delete;
    OutsideTime &operator=(const OutsideTime &) = delete;
    // Milliseconds spent outside so far on this thread (grows only).
    static qint64 total();

private:
    qint64 m_started;
};

// The constant of that (lower-case) name, e.g. vbCrLf; false when there is none.
bool builtinConstant(const QString &key, ScriptValue *out);
bool isBuiltinFunction(const QString &key);
// Calls the built-in function; args are already evaluated (built-ins take
// every argument ByVal). Throws ScriptError.
ScriptValue callBuiltin(const QString &key, const QList<ScriptValue> &args, const BuiltinHooks &hooks);

} // namespace script
