#pragma once

#include <QVariant>

// Text of a database value as the module shows and compares it: dates as
// yyyy-MM-dd, date-times as yyyy-MM-dd hh:mm:ss, numbers without exponent
// or trailing zeros, null as empty.
QString valueText(const QVariant &value);

// A number written the way values are shown and stored: up to 15 significant
// digits, '.' as decimal point.
QString numberText(double value);
