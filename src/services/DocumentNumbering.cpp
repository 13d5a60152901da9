#include "services/DocumentNumbering.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"

namespace {

// The number a text starts with (blanks before it skipped); 0 when none.
qint64 leadingNumber(const QString &text)
{
    const QString s = text.trimmed();
    qsizetype n = 0;
    while (n < s.size() && n < 18 && s.at(n).isDigit())
        ++n;
    return n == 0 ? 0 : s.left(n).toLongLong();
}

QString padded(qint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}

} // namespace

QString DocumentNumbering::CreateStdCode(const Connection &conn, const QString &itemNo, const QString &field,
                                         const QString &table, bool skipUniqueCheck)
{
    const ResultSet std = Sql(conn, QStringLiteral("SELECT FWord, Bit_1, Len_A, Bit_2, Len_B, Item_Using "
                                                   "FROM No_Std WHERE Item_No = ?"))
                              .bind(itemNo)
                              .select();
    if (std.rowCount() != 1)
        return noNumber();

    QString word = std.text(0, QStringLiteral("FWord"));
    const QDate today = Environment::today();
    if (std.value(0, QStringLiteral("Bit_1")).toInt() != 0) {
        const int yearDigits = std.value(0, QStringLiteral("Len_A")).toInt();
        if (yearDigits == 2)
            word += padded(today.year() % 100, 2);
        else if (yearDigits == 4)
            word += padded(today.year(), 4);
    }
    if (std.value(0, QStringLiteral("Bit_2")).toInt() != 0)
        word += today.toString(QStringLiteral("MMdd"));

    const int sequenceDigits = std.value(0, QStringLiteral("Len_B")).toInt();
    if (std.value(0, QStringLiteral("Item_Using")).toInt() == 0 || sequenceDigits < 1)
        return noNumber();

    const QVariant largest =
        Sql(conn, QStringLiteral("SELECT MAX(%1) FROM %2 WHERE %3 ?").arg(field, table, conn.dialect().codeLike(field)))
            .bind(word + QLatin1Char('%'))
            .scalar();
    qint64 next = 1;
    if (!largest.isNull() && largest.isValid())
        next = leadingNumber(valueText(largest).mid(word.size())) + 1;
    const QString result = word + padded(next, sequenceDigits);

    if (!skipUniqueCheck) {
        const QString taken =
            conn.dialect().topN(QStringLiteral("SELECT %1 FROM %2 WHERE %1 = ?").arg(field, table), 1);
        if (!Sql(conn, taken).bind(result).select().isEmpty())
            return noNumber();
    }
    return result;
}

QString DocumentNumbering::CreateDocumentNo(const Connection &conn, const QString &userId, const QString &table,
                                            const QString &defaultPrefix, const QString &natureCode)
{
    Q_UNUSED(natureCode);
    const ResultSet user =
        Sql(conn, QStringLiteral("SELECT user_no FROM mmst901 WHERE user_id = ?")).bind(userId).select();
    if (user.isEmpty())
        throw ErpError(3021, QStringLiteral("CreateDocumentNo"),
                       QStringLiteral("user %1 has no row in mmst901").arg(userId));
    const QString code = user.text(0, 0).trimmed();
    const QString prefix = (code.isEmpty() ? defaultPrefix : code) + QLatin1Char('-');

    const QString serverDate = DbGateway::GetServerDate(conn); // yyyy-mm-dd
    const QString period = serverDate.mid(2, 2) + serverDate.mid(5, 2);

    // Only numbers of exactly this layout count, so hand-typed numbers
    // sharing the prefix do not disturb the sequence.
    const Dialect &d = conn.dialect();
    const QVariant largest =
        Sql(conn, QStringLiteral("SELECT MAX(Inv_No) FROM %1 WHERE %2 ? AND %3 = ?")
                      .arg(table, d.codeLike(QStringLiteral("Inv_No")), d.textLength(QStringLiteral("Inv_No"))))
            .bind(prefix + period + QLatin1Char('%'))
            .bind(qint64(prefix.size() + 8))
            .scalar();
    const QString maxValue = largest.isNull() || !largest.isValid() ? QStringLiteral("0000") : valueText(largest);
    const qint64 sequence = leadingNumber(maxValue.mid(prefix.size() + 4, 4)) + 1;
    return (prefix + period + padded(sequence, 4)).left(20);
}
