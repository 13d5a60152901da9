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
    const auto *pa = static_cast<const unsigned char *>(a);
    const auto *pb = static_cast<const unsigned char *>(b);
    const int na = trimmed(reinterpret_cast<const char *>(pa), lengthA);
    const int nb = trimmed(reinterpret_cast<const char *>(pb), lengthB);
    // One pass: the first difference in upper-cased ASCII decides, but only
    // when both codes are ASCII throughout; any other byte anywhere sends the
    // pair to the Unicode comparison below.
    const int n = std::min(na, nb);
    int verdict = 0;
    int i = 0;
    for (; i < n; ++i) {
        const unsigned char ca = pa[i], cb = pb[i];
        if ((ca | cb) & 0x80)
            break;
        if (verdict == 0 && ca != cb) {
            const int ua = (ca >= 'a' && ca <= 'z') ? ca - 32 : ca;
            const int ub = (cb >= 'a' && cb <= 'z') ? cb - 32 : cb;
            if (ua != ub)
                verdict = ua < ub ? -1 : 1;
        }
    }
    bool ascii = i == n;
    for (int j = n; ascii && j < na; ++j)
        ascii = pa[j] < 0x80;
    for (int j = n; ascii && j < nb; ++j)
        ascii = pb[j] < 0x80;
    if (ascii)
        return verdict != 0 ? verdict : (na == nb ? 0 : (na < nb ? -1 : 1));
    return QString::compare(QString::fromUtf8(reinterpret_cast<const char *>(pa), na),
                            QString::fromUtf8(reinterpret_cast<const char *>(pb), nb), Qt::CaseInsensitive);
}
