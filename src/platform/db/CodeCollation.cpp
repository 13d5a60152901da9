#include "platform/db/CodeCollation.h"

#include <QString>

#include <algorithm>

int erpCompareCodes(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    auto trimmed = [](const char *p, int n) {
        while (n > 0 && p[n - 1] == ' ')
            --n;
        return n;
    };
    const auto *pa = static_cast<const char *>(a);
    const auto *pb = static_cast<const char *>(b);
    const int na = trimmed(pa, lengthA);
    const int nb = trimmed(pb, lengthB);
    bool ascii = true;
    for (int i = 0; i < na && ascii; ++i)
        ascii = (static_cast<unsigned char>(pa[i]) < 0x80);
    for (int i = 0; i < nb && ascii; ++i)
        ascii = (static_cast<unsigned char>(pb[i]) < 0x80);
    if (ascii) {
        const int n = std::min(na, nb);
        for (int i = 0; i < n; ++i) {
            const int ca = (pa[i] >= 'a' && pa[i] <= 'z') ? pa[i] - 32 : pa[i];
            const int cb = (pb[i] >= 'a' && pb[i] <= 'z') ? pb[i] - 32 : pb[i];
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        return na == nb ? 0 : (na < nb ? -1 : 1);
    }
    return QString::compare(QString::fromUtf8(pa, na), QString::fromUtf8(pb, nb), Qt::CaseInsensitive);
}
