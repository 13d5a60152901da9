#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "services/StockKey.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

// Stock balances (mmst381), the movement journal (mmst388) and the moving
// average cost of materials (mmst611). Quantities are signed from the
// warehouse's side: stock leaving is negative.
//
// The operations open no transaction and catch no failure: the caller posts
// a whole document inside one Transaction(conn, Transaction::Write) and rolls
// it back on any failure. Inside that transaction a check and the postings
// after it are atomic against other users: the balance rows the check and the
// posting read stay locked until commit on servers with row locks, and on
// SQLite the write transaction excludes every other writer from its start.
class StockLedger
{
public:
    // Posts on conn under userName (written into balance and journal rows).
    // Lives no longer than one posting on an open connection.
    StockLedger(const Connection &conn, const QString &userName);
    ~StockLedger();
    StockLedger(StockLedger &&) noexcept;

    // True when qty may be taken from the key: always with the option
    // "仓库中允许负库存" at "1" (no stock is read then) or for qty <= 0;
    // otherwise when qty does not exceed the key's balance, both rounded to
    // four decimals. A key without source type counts balances of every type.
    bool CheckStockAvailable(const StockKey &key, double qty) const;

    // Adds qty to the key's balance; a balance reaching exactly zero is
    // deleted, a missing one is created. A key without source type posts
    // under resolveSourceType. price -1 means "the receipt's price", looked
    // up among the receipt's balances of the material (0 when none). Returns
    // the price used. Receipts (qty > 0) move the average cost.
    double PostStockBalance(const StockKey &key, double qty, double price = -1) const;
    // PostStockBalance at the receipt's price for a caller that does not ask
    // which price that was: the price is looked up only where a new balance
    // row or the average cost takes it.
    void postLine(const StockKey &key, double qty) const;

    // The source type a posting of a key without one lands on: the type of
    // the receipt's first balance, else "A" for a purchase receipt, else "C".
    // A key with a source type keeps it.
    QString resolveSourceType(const StockKey &key) const;
    // The source type of the first journal row of the document number, kind
    // and key (its source type aside); empty when none.
    QString journalSourceType(const QString &invNo, const QString &kindName, const StockKey &key) const;
    // Holds the average-cost rows of the materials until the transaction
    // ends, in the order given, so that approvals take them in one order.
    void lockCosts(const QStringList &materials) const;

    // For a posting inside a write transaction that holds the cost rows of
    // the materials it receives (lockCosts; on SQLite the transaction itself
    // excludes every other writer): a material's stock is summed once for
    // the average cost and then followed by what this ledger posts. Postings
    // that take stock out may still run beside it; the averages come out as
    // if they had run after this one.
    void keepMaterialStock() { m_keepStock = true; }

    // The unique index that keeps one balance row per stock key.
    static const IndexDef &balanceIndex();

    // Moving average over the material's whole stock S at this moment:
    // (S * average + qty * price) / (S + qty), the standard cost when S + qty
    // is 0. Only for qty > 0 and a price other than 0.
    void UpdateAvgCost(const QString &mtrNo, double qty, double price) const;

    // What a journal row was written with.
    struct JournalRow
    {
        double price = 0;
        QString dMoNo;
    };
    // One journal row for a posted line. price 0 is looked up in earlier
    // journal rows of the key (its location aside); an empty dMoNo becomes
    // the key's manufacturing order.
    JournalRow InsertStockJournal(const QString &invNo, const QDate &invDate, const QString &kindName,
                                  const StockKey &key, double qty, double price = 0, const QString &dMoNo = {}) const;

    // Removes every journal row of the document number, kind and key,
    // whatever their source type or date.
    void DeleteStockJournal(const QString &invNo, const QString &kindName, const StockKey &key) const;

private:
    double post(const StockKey &key, double qty, double price, bool tellPrice) const;
    double receiptPrice(const QString &frmInv, const QString &mtrNo) const;
    // The server's date, read once per ledger: one posting, one date.
    QDate today() const;

    Connection m_conn;
    QString m_userName;
    // The per-line statements are prepared once per ledger, not per line.
    std::unique_ptr<PreparedStatements> m_statements;
    mutable QDate m_today;
    mutable std::optional<bool> m_negativeAllowed;
    // The rows the last stock check read and holds, with their condition.
    struct CheckedRows
    {
        Statement where;
        ResultSet rows;
    };
    mutable std::optional<CheckedRows> m_checked;
    // Materials' whole stock, kept after keepMaterialStock().
    bool m_keepStock = false;
    mutable QHash<QString, double> m_materialStock;
};
