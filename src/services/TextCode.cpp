#include "services/TextCode.h"

#include "platform/core/Environment.h"

namespace {

bool g_notTraditional = true;

} // namespace

QString TextCode::change(const QString &text, int)
{
    const int locale = Environment::systemLocaleId();
    g_notTraditional = locale > 0 && locale != 1028;
    return text;
}

bool TextCode::isNotTraditionalLocale()
{
    return g_notTraditional;
}
