#pragma once

#include "platform/db/Connection.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class PreparedStatements;

// Who changes a document: the signed-in user and the workstation of the
// window (or tool) that does it.
struct HistoryActor
{
    QString userId;
    QString userName;
    QString workstation;
};

// The kinds of change a document's history keeps.
enum class HistoryKind {
    Created,
    HeaderSaved,
    LineAdded,
    LineChanged,
    LineDeleted,
    Approved,
    Reset,
    Deleted,
    Printed,
    LockReleased,
};

// One row of a document's history as read back.
struct HistoryEntry
{
    qint64 id = 0;
    qint64 rec411 = 0;
    QString invNo;
    QString invType;
    QString kindCode; // as stored; kind() reads it
    QString detail;   // one change a line
    QString userId;
    QString userName;
    QString workstation;
    QDateTime at; // the server's time

    std::optional<HistoryKind> kind() const;
};

// The history of the documents (Erp_Doc_History). A row is written inside
// the caller's transaction, so that it stands or falls with the change it
// tells of; nothing here updates or deletes a row. A database made before
// the table existed keeps no history until "erp-host --upgrade" makes it.
class DocumentHistory
{
public:
    explicit DocumentHistory(const Connection &conn);

    // Whether the database keeps a history; read once per connection.
    static bool isKept(const Connection &conn);

    // Writes one row for the header of that key, which must still exist
    // (its number and kind are read with the insert), at the server's time.
    void record(qint64 rec411, HistoryKind kind, const QString &detail, const HistoryActor &who) const;
    // The same for a header about to go or gone: its number and kind given.
    void record(qint64 rec411, const QString &invNo, const QString &invType, HistoryKind kind, const QString &detail,
                const HistoryActor &who) const;
    // The same on statements kept prepared (writers of many rows at once).
    static void record(PreparedStatements &statements, qint64 rec411, HistoryKind kind, const QString &detail,
                       const HistoryActor &who);

    // A document's rows, oldest first: by its key, and by its number and
    // kind (also the rows of documents deleted since; an empty kind: any).
    QList<HistoryEntry> entries(qint64 rec411) const;
    QList<HistoryEntry> entries(const QString &invNo, const QString &invType) const;

    static QString code(HistoryKind kind);
    static std::optional<HistoryKind> parse(const QString &code);
    // What the history window and "erp-host --history" call the change.
    static QString caption(HistoryKind kind);
    static QString caption(const HistoryEntry &entry);

    // Detail texts: "label: old → new", and a line's identity and quantity.
    static QString change(const QString &label, const QString &before, const QString &after);
    static QString lineText(const QString &mtrNo, const QString &frmInv, double quantity);

    // The entries as a table of text, one row a line (a detail of several
    // lines continues under it), for the command line.
    static QString text(const QList<HistoryEntry> &entries);

private:
    Connection m_conn;
};
