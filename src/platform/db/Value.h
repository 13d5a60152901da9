#pragma once

#include <QVariant>

// Text of a database value as the module shows and compares it: dates as
// yyyy-MM-dd, date-times as yyyy-MM-dd hh:mm:ss, numbers without exponent
// or trailing zeros, null as empty.
QString valueText(const QVariant &value);

// A text to bind where an empty value must be stored as '' rather than
// NULL (a null QString binds as NULL): empty key parts of stock are ''.
QString notNullText(const QString &text);

// A number written the way values are shown and stored: up to 15 significant
// digits, '.' as decimal point.
QString numberText(double value);
