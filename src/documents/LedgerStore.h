#pragma once

#include "platform/db/Connection.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// The ledger tools: the check of the stock ledger's identities (what
// "erp-host --verify" prints) and the repair of what may be rebuilt from the
// journal ("erp-host --repair"). Both work on a connection without widgets.

// One thing found wrong.
struct LedgerFinding
{
    enum class Kind {
        Balance,       // a balance that is not the sum of its key's journal rows
        Duplicate,     // a second balance row of one stock key
        Empty,         // a balance row that holds nothing (postings delete those)
        Negative,      // a negative balance while negative stock is not allowed
        Posting,       // an approved or closed document whose journal rows are not its lines
        Unapproved,    // journal rows of a document that is open (or of another status)
        JournalOrphan, // journal rows of a document that is gone
        LineOrphan,    // a line whose header is gone
        StaleLock,     // a header locked by a holder that is gone, or a holder of a free header
        AverageCost,   // a material's average cost that its receipts and postings do not give
        Summary,       // a kept count of approved lines that a count of the lines does not give
    };
    Kind kind = Kind::Balance;
    QString key;      // stock key "order|mo|receipt|type|material|location|colour", document, line or material
    QString expected; // what the ledger's other side gives
    QString found;    // what is there
    QString note;     // more about it (empty when the numbers say it all)

    // The check's name as the summary and the JSON call it.
    static QString code(Kind kind);
    static QString caption(Kind kind);
    // Whether --repair may mend it (balances and kept counts: it never
    // touches documents).
    static bool repairable(Kind kind);
};

// A header's lock as the check found it.
struct LedgerLock
{
    QString invNo;
    qint64 rec411 = 0;
    QString holder; // user name (or id); empty when another program holds it
    QString workstation;
    QDateTime since; // invalid when not recorded
    qint64 ageSeconds = -1;
    bool gone = false; // its holder stopped renewing: a finding
};

// What one table cost to read.
struct LedgerTable
{
    QString name;
    qint64 rows = 0;
    double seconds = 0;
};

struct LedgerReport
{
    QString database;
    QList<LedgerTable> tables;
    QList<LedgerFinding> findings;
    QList<LedgerLock> locks;
    bool negativeAllowed = false;
    qint64 costsChecked = 0; // materials whose average cost was recomputed
    qint64 costsSkipped = 0; // materials whose average cost cannot be recomputed
    QStringList summariesOff; // kept counts that differ from their lines
    double seconds = 0;

    bool clean() const { return findings.isEmpty(); }
    // 0 clean, 1 with findings.
    int exitStatus() const { return clean() ? 0 : 1; }
    qint64 count(LedgerFinding::Kind kind) const;
    // The summary table, the locks and one line per finding.
    QString text() const;
    QByteArray json() const;
};

// Reads the ledger in one read transaction that sees one moment of the
// database, one pass per table, and compares in memory.
class LedgerVerifier
{
public:
    explicit LedgerVerifier(const Connection &conn);

    // Called before a table is read (rows -1) and when it has been read.
    using Progress = std::function<void(const QString &table, qint64 rows, double seconds)>;
    // Throws ErpError when the database cannot be read.
    LedgerReport verify(const Progress &progress = {}) const;

private:
    Connection m_conn;
};

// One change of the repair to one balance row.
struct BalanceChange
{
    enum class Action { Set, Remove, Create };
    Action action = Action::Set;
    qint64 rec381 = 0; // Set and Remove
    QString key;       // as the finding shows it
    QStringList parts; // Create: Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No
    double before = 0; // what the row holds now (Set, Remove)
    double after = 0;  // Set, Create
    double price = 0;  // Create: the key's first journal price
    QString why;       // "balance", "duplicate", "empty"
};

// What a repair would change: balances rebuilt from the journal, duplicate
// rows of one key folded into the first, empty rows removed.
struct RepairPlan
{
    QList<BalanceChange> changes;
    // Kept counts of approved lines to count again from the lines.
    QStringList recount;
    // What it may not mend and leaves for a person (documents, negative
    // stock, average costs, locks).
    QList<LedgerFinding> left;
    bool isEmpty() const { return changes.isEmpty() && recount.isEmpty(); }
    QString text() const;
    static RepairPlan from(const LedgerReport &report, const QList<BalanceChange> &changes);
};

class LedgerRepair
{
public:
    // userName: written into the balance rows it changes.
    LedgerRepair(const Connection &conn, const QString &userName);

    // Checks the ledger and plans the repair.
    RepairPlan plan(LedgerReport *report = nullptr, const LedgerVerifier::Progress &progress = {}) const;

    struct Outcome
    {
        bool applied = false;
        QString refusal; // why nothing was changed, in the system's words
        qint64 changed = 0;
    };
    // Applies the plan in one write transaction, refused while any header
    // is locked or another transaction writes the ledger, and rolled back
    // whole when a row is no longer what the plan saw or anything fails.
    Outcome apply(const RepairPlan &plan) const;

private:
    Connection m_conn;
    QString m_userName;
};
