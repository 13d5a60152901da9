#include "platform/db/Value.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

#include <cmath>

QString numberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    // Infinities and NaN have no digits to count (and no integer to count them in).
    if (!std::isfinite(value))
        return QString::number(value);
    // At most 15 significant digits; none after the point for numbers that long.
    const int wholeDigits = std::max(0, int(std::floor(std::log10(std::fabs(value)))) + 1);
    QString s = QString::number(value, 'f', std::max(0, 15 - wholeDigits));
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

QString valueText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return dt.toString(QStringLiteral("yyyy-MM-dd"));
        return dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

QString notNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}
