#pragma once

#include "platform/db/Connection.h"

#include <QList>
#include <QString>
#include <QVariant>

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

private:
    Connection m_conn;
};
