#pragma once

#include "platform/db/Connection.h"
#include "services/RecordLock.h"

#include <memory>
#include <optional>

class QTimer;

// The cooperative lock of one document header, held for a scope: taken when
// the guard is made (when it could not be, the user has been told, or with
// Quiet refusal() says why for the caller to tell), given back when the guard
// goes, whatever path leaves the scope. A guard can be moved to whoever keeps
// the lock longer (an edit holds it until save or cancel), and dismissed when
// a write has already given the lock back.
//
// Taken for a holder, the lock is recorded beside the Lock column and its
// lease renewed while the guard lives (on the thread's event loop), so that a
// program that dies leaves a lock the next clerk can take.
class HeaderLock
{
public:
    enum Telling { Tell, Quiet };
    HeaderLock(const Connection &conn, qint64 rec411, Telling telling = Tell);
    HeaderLock(const Connection &conn, qint64 rec411, const LockHolder &holder, Telling telling = Tell);
    ~HeaderLock();
    HeaderLock(HeaderLock &&other) noexcept;
    HeaderLock &operator=(HeaderLock &&other) noexcept;
    HeaderLock(const HeaderLock &) = delete;
    HeaderLock &operator=(const HeaderLock &) = delete;

    bool held() const { return m_held; }
    // Why the lock could not be taken; empty when held.
    const QString &refusal() const { return m_refusal; }
    // Who holds the lock that refused this guard, when recorded.
    const std::optional<LockHeldBy> &heldBy() const { return m_heldBy; }
    qint64 key() const { return m_rec411; }
    // The recorded lock's mark (empty when no holder was recorded).
    const QString &token() const { return m_token; }
    // Renews the lease now; false when the lock is no longer this guard's.
    bool renew() const;
    // Gives the lock back now.
    void release();
    // Forgets the lock without writing: a statement that wrote the header
    // has given it back already, and someone else may hold it by now.
    void dismiss();

private:
    void startRenewing();
    Connection m_conn;
    qint64 m_rec411 = 0;
    bool m_held = false;
    QString m_refusal;
    QString m_token;
    std::optional<LockHeldBy> m_heldBy;
    std::unique_ptr<QTimer> m_renewal;
};

// Inside a write transaction: holds the document header's row until the
// transaction ends, so that no approval, reset or delete passes it
// meanwhile, when the document is open. The status found: empty when open
// ('0' or none), "9" when the header is gone, else its status.
QString holdOpenHeader(const Connection &conn, qint64 rec411);
