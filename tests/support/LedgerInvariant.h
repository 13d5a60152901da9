#pragma once

#include "platform/db/Connection.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTest>

// What must hold of the stock ledger after any test that posts, resets,
// edits or deletes: one balance row per stock key, each balance its opening
// plus what the journal moved, no negative stock unless the option allows
// it, no header left locked that was free, every approved document posted once line for
// line and no other document posted at all, and the counts of approved
// lines the database keeps (Mmst412_Mo, Mmst412_Mtr) those documents' lines.
//
// open() takes the opening (each key's balance less its journal, each
// document's status, lines and journal rows). Whatever a test writes through
// TestDb::exec afterwards is fixture, not the module's doing, and moves the
// opening with it; a test that breaks the ledger on purpose by other means
// calls waive().
class LedgerInvariant
{
public:
    LedgerInvariant() = default;
    LedgerInvariant(const LedgerInvariant &) = delete;
    LedgerInvariant &operator=(const LedgerInvariant &) = delete;
    ~LedgerInvariant();

    void open(const Connection &conn);
    void rebase();
    void waive() { m_waived = true; }
    // Called by TestDb::exec after each fixture statement.
    static void fixtureWritten();
    bool isOpen() const { return m_conn.isValid() && !m_waived; }

    // Empty when everything holds; otherwise one line per breach.
    QStringList violations() const;

private:
    struct DocumentState
    {
        bool exists = false;
        QString status;
        qint64 lines = 0;
        qint64 journalRows = 0;
        bool locked = false;
        bool operator==(const DocumentState &) const = default;
    };
    QHash<QString, double> openings() const;
    QHash<QString, double> balances() const;
    QHash<QString, DocumentState> documents() const;
    QStringList breaches() const;

    Connection m_conn;
    QHash<QString, double> m_opening;
    QHash<QString, double> m_balances;
    QHash<QString, DocumentState> m_documents;
    bool m_waived = false;
    bool m_unreadable = false; // the fixture took a table away for a while
};

// In a test's cleanup(): fails the test when the ledger does not hold, and
// goes on with the rest of the cleanup.
#define LEDGER_HOLDS(invariant)                                                                                        \
    do {                                                                                                               \
        if ((invariant).isOpen()) {                                                                                    \
            const QStringList breaches_ = (invariant).violations();                                                    \
            if (!breaches_.isEmpty())                                                                                  \
                QTest::qFail(qPrintable(breaches_.join(QLatin1Char('\n'))), __FILE__, __LINE__);                       \
        }                                                                                                              \
    } while (false)
