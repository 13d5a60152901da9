// The number readers of typed quantities on any text. The result is used
// as a quantity, so it must always be a finite number.
#include "FuzzSupport.h"

#include "lines/SourceLists.h"
#include "lines/UsageImportStore.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString s = fuzz::text(data, size);
    const double a = SourceLists::leadingNumber(s);
    const double b = UsageImportStore::leadingNumber(s);
    if (!std::isfinite(a) || !std::isfinite(b))
        __builtin_trap();
    return 0;
}
