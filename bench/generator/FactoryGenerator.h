#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Schema.h"

#include <QString>

#include <functional>

// Fills a database made by "erp-host --init" with a factory of a few years:
// materials, orders with their usage, manufacturing orders with bills of
// material, outsourcing orders, receipts with their balances, and
// requisitions of the three kinds in every status. At scale 1: 2,000
// materials, 2,000 manufacturing orders, 100,000 documents with about
// 1,000,000 lines, 200,000 balances and about 1,000,000 journal rows.
// Every balance equals the sum of its key's journal rows (the receipt plus
// the approved documents), as posting would have left it. The same seed and
// scale give the same rows.
struct FactoryScale
{
    double scale = 1.0;
    // Eras of three years of history: each adds the orders, manufacturing
    // orders, outsourcing orders, receipts and documents of three more years
    // before the last three, whose stock has since been used up. The stock
    // on hand and the last three years stay as at 1.
    int history = 1;
    quint64 seed = 20261209;
    std::function<void(const QString &)> progress; // one line per step, may be empty
    // The schema's summaries: their triggers are dropped for the load and
    // they are counted once at its end, as a bulk load should.
    QList<SummaryDef> summaries;
};

// What was written.
struct FactoryCounts
{
    qint64 materials = 0;
    qint64 orders = 0;
    qint64 manufacturingOrders = 0;
    qint64 outsourcingOrders = 0;
    qint64 receipts = 0;
    qint64 balances = 0;
    qint64 documents = 0;
    qint64 lines = 0;
    qint64 journalRows = 0;
};

// Throws ErpError; everything is written in one transaction.
FactoryCounts generateFactory(const Connection &conn, const FactoryScale &options);

// The fields of the first line with a manufacturing order of an approved
// production document (or of an outsourcing one, with the document's
// outsourcing order), as the line dialog would show them typed: what a
// refresh with "fields typed" is measured and checked on. Empty when the
// factory has no such line.
struct FactoryLine
{
    QString mtrNo, orderNo, moNo, frmInv, frmTypeName, barName;
    QString pcsNo; // the document's outsourcing order
};
FactoryLine firstLineWithMo(const Connection &conn, bool outsourcing = false);

// Brings the planner's statistics up to date (after --init and --generate).
void refreshStatistics(const Connection &conn);
