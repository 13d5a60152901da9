#pragma once

#include "platform/db/Sql.h"

#include <QString>

class Dialect;

// The identity of one stock balance row and of its journal rows: order,
// manufacturing order, source receipt, source type, material, location and
// colour. Built once per posted line; the manufacturing order, colour and
// source type are kept trimmed, as the rows are written.
struct StockKey
{
    QString orderNo;
    QString moNo;
    QString frmInv;
    QString frmType;
    QString mtrNo;
    QString barNo;
    QString colorNo;

    // The parts a condition compares.
    enum Part : unsigned {
        Order = 0x01,
        Mo = 0x02,
        Receipt = 0x04,
        Type = 0x08,
        Material = 0x10,
        Location = 0x20,
        Colour = 0x40,
        All = 0x7f,
    };

    StockKey() = default;
    StockKey(const QString &orderNo, const QString &moNo, const QString &frmInv, const QString &frmType,
             const QString &mtrNo, const QString &barNo, const QString &colorNo);

    // "part = ? AND ..." over the unqualified columns of mmst381 / mmst388,
    // with the key's values bound. Order, manufacturing order and colour
    // compare with null read as empty, as codes compare.
    Statement condition(const Dialect &dialect, unsigned parts = All) const;
};
