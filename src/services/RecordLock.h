#pragma once

#include "platform/db/Connection.h"
#include "services/DocumentHistory.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

// Who takes a header lock this module records beside the Lock column: the
// user and the workstation (the machine's name).
struct LockHolder
{
    QString userId;
    QString userName;
    QString workstation;
    bool isEmpty() const { return userId.isEmpty() && workstation.isEmpty(); }
};

// The recorded holder of a header's lock.
struct LockHeldBy
{
    QString token; // the lock's own mark: the holder renews and gives back by it
    QString userId;
    QString userName;
    QString workstation;
    QDateTime since;
    QDateTime leaseAt;   // when the holder last said it still holds it
    bool gone = false;   // the lease has run out: the program that held it died
};

// The cooperative lock on document headers: a text column that reads 'Yes'
// (exactly that spelling) while some user holds the row. Every window of the
// ERP takes it before changing a document and gives it back afterwards.
//
// A condition is SQL text with '?' placeholders for its values, e.g.
// "Mmst411.Rec_411=?" with the key as the one value.
class RecordLock
{
public:
    // Refusals are shown with the stored texts of conn.
    explicit RecordLock(const Connection &conn);

    // True when the caller now holds the row(s). The lock is taken by one
    // conditional update, so of two users racing for a free row exactly one
    // wins. With allowMany every matched row is taken, or none when one of
    // them is held. Refusals are shown to the user; a condition the server
    // cannot read reaches the caller as ErpError.
    bool LockRecord(const QString &table, const QString &condition, const QList<QVariant> &values,
                    const QString &lockColumn, bool allowMany) const;
    // The same without telling anyone: the refusal's text, empty when the
    // caller now holds the row(s).
    QString tryLock(const QString &table, const QString &condition, const QList<QVariant> &values,
                    const QString &lockColumn, bool allowMany) const;
    // How a refusal of tryLock is shown: the form name and message id.
    static QString refusalForm() { return QStringLiteral(""); }
    static QString refusalMessageId() { return QStringLiteral("Check_OK_1"); }
    // Shows a refusal of tryLock as LockRecord does.
    void tellRefusal(const QString &refusal) const;
    // Writes 'No' whoever held the row; never fails loudly.
    void UnlockRecord(const QString &table, const QString &condition, const QList<QVariant> &values,
                      const QString &lockColumn) const;

    // The document header by its key, and by its number.
    bool lockHeader(qint64 rec411) const;
    QString tryLockHeader(qint64 rec411) const;
    void unlockHeader(qint64 rec411) const;
    void unlockHeaderByNumber(const QString &invNo) const;

    // The header's lock taken for holder and recorded beside it with a fresh
    // lease (token: its mark, made here). A lock held by the same user on the
    // same workstation, or by a holder whose lease has run out, is taken
    // over; one without a recorded holder (another program's) is not. The
    // refusal's text, empty when held; heldBy: who holds it when recorded.
    QString tryLockHeader(qint64 rec411, const LockHolder &holder, QString &token,
                          std::optional<LockHeldBy> *heldBy = nullptr) const;
    // The recorded holder of the header's lock, if any.
    std::optional<LockHeldBy> headerHolder(qint64 rec411) const;
    // Renews the lease of the lock held under token; false when it is no
    // longer that holder's. Never fails loudly.
    bool renewHeaderLease(qint64 rec411, const QString &token) const;
    // Gives the lock held under token back; a lock someone else holds by now
    // is left alone. Never fails loudly.
    void unlockHeader(qint64 rec411, const QString &token) const;
    // Frees the lock of the holder seen (a supervisor's release, written to
    // the document's history under by in the same transaction): false when
    // it changed hands meanwhile.
    bool releaseHeld(qint64 rec411, const LockHeldBy &seen, const HistoryActor &by = {}) const;

    // A holder that has not renewed its lease for this long is gone.
    static constexpr int kLeaseSeconds = 25;
    // How often a holder renews.
    static constexpr int kRenewSeconds = 5;

    // Whether the database records lock holders (made by --init and
    // --upgrade); read once per connection.
    static bool recordsHolders(const Connection &conn);

    // Drops the record of the header lock's holder (a lock given back, or
    // taken without one). Never fails loudly.
    void forgetHolder(qint64 rec411) const;

private:
    Connection m_conn;
};
