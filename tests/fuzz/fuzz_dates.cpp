// The date helpers of the gateway on any text, as typed or stored.
#include "FuzzSupport.h"

#include "services/DbGateway.h"

#include <QVariant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString s = fuzz::text(data, size);
    const QDate d = DbGateway::toDate(QVariant(s));
    const QString formatted = DbGateway::FormatDateText(QVariant(s));
    // A text that reads as a date is shown as that date.
    if (d.isValid() && formatted != d.toString(QStringLiteral("yyyy-MM-dd")))
        __builtin_trap();
    DbGateway::FormatDateText(QVariant(s.toUtf8()));
    if (d.isValid()) {
        DbGateway::FormatDateText(QVariant(QDateTime(d, QTime(23, 59, 59))));
        DbGateway::toDate(QVariant(d));
    }
    return 0;
}
