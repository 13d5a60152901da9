// The script engine on any text: compile, run the top-level code, call what
// it defined and evaluate the text as an expression. Loops are stopped by
// the engine's own time limit, so that a "Do ... Loop" ends as an error.
#include "FuzzSupport.h"

#include "platform/script/ScriptEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString code = fuzz::text(data, size);
    ScriptEngine engine;
    engine.setTimeLimit(100);
    engine.setMessageBoxHandler([](const QString &, int, const QString &) { return 1; });
    engine.addCode(code);
    if (engine.hasProcedure(QStringLiteral("Main")))
        engine.run(QStringLiteral("Main"), {ScriptValue(QStringLiteral("x")), ScriptValue::integer(1)});
    engine.clearError();
    engine.eval(code);
    // A reset after a failure must leave an engine that still works. The
    // check gets time enough that a busy machine cannot fail it.
    engine.reset();
    engine.setTimeLimit(10000);
    engine.addCode(QStringLiteral("x = 1 + 1"));
    if (engine.hasError() || engine.global(QStringLiteral("x")).toString() != QLatin1String("2"))
        __builtin_trap();
    return 0;
}
