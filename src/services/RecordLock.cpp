#include "services/RecordLock.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/DbGateway.h"
#include "services/ErrorReporter.h"

#include <QUuid>

namespace {

const QString kHeld = QStringLiteral("Yes");
const QString kFree = QStringLiteral("No");

bool refuse(const Connection &conn, const QString &text)
{
    // The empty form name must travel as '' (not null) so a stored text can replace it.
    ErrorReporter::forConnection(conn).show(QStringLiteral(""), QStringLiteral("Check_OK_1"), text, 0,
                                            QStringLiteral(""));
    return false;
}

const QString &heldText()
{
    static const QString t = QStringLiteral("记录已锁定,请稍等");
    return t;
}

const QString &deletedText()
{
    static const QString t = QStringLiteral("当前记录已被其它用户删除,请检查!");
    return t;
}

} // namespace

RecordLock::RecordLock(const Connection &conn) : m_conn(conn) {}

bool RecordLock::LockRecord(const QString &table, const QString &condition, const QList<QVariant> &values,
                            const QString &lockColumn, bool allowMany) const
{
    const QString refused = tryLock(table, condition, values, lockColumn, allowMany);
    return refused.isEmpty() || refuse(m_conn, refused);
}

QString RecordLock::tryLock(const QString &table, const QString &condition, const QList<QVariant> &values,
                            const QString &lockColumn, bool allowMany) const
{
    const QString select = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(lockColumn, table, condition);
    const qint64 found = Sql(m_conn, select).bindAll(values).select().rowCount();
    if (found == 0)
        return deletedText();
    if (found > 1 && !allowMany)
        return QStringLiteral("记录锁定失败,要锁定的记录条件不唯一!");

    // Check and take in one statement: a row held by someone else is never
    // overwritten, and the count of rows taken tells whether we won.
    const QString exact = m_conn.dialect().exactText(lockColumn);
    QString update = QStringLiteral("UPDATE %1 SET %2 = ? WHERE (%3) AND (%2 IS NULL OR %4 <> ?)")
                         .arg(table, lockColumn, condition, exact);
    QList<QVariant> bound{kHeld};
    bound << values << kHeld;
    if (allowMany) {
        // All or nothing: one held row keeps the whole set from being taken.
        update +=
            QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM %1 WHERE (%2) AND %3 = ?)").arg(table, condition, exact);
        bound << values << kHeld;
    }
    qint64 taken = 0;
    try {
        taken = Sql(m_conn, update).bindAll(bound).exec();
    } catch (const ErpError &) {
        return QStringLiteral("加锁失败");
    }
    if (taken > 0)
        return QString();
    // Nothing taken: the row is held, or it went away after the first read.
    if (Sql(m_conn, select).bindAll(values).select().isEmpty())
        return deletedText();
    return heldText();
}

void RecordLock::UnlockRecord(const QString &table, const QString &condition, const QList<QVariant> &values,
                              const QString &lockColumn) const
{
    try {
        QList<QVariant> bound{kFree};
        bound << values;
        Sql(m_conn, QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3").arg(table, lockColumn, condition))
            .bindAll(bound)
            .exec();
    } catch (...) {
        // Giving a lock back is best effort; the caller is already on its way out.
    }
}

bool RecordLock::lockHeader(qint64 rec411) const
{
    return LockRecord(QStringLiteral("Mmst411"), QStringLiteral("Mmst411.Rec_411=?"), {rec411}, QStringLiteral("Lock"),
                      false);
}

void RecordLock::tellRefusal(const QString &refusal) const
{
    refuse(m_conn, refusal);
}

QString RecordLock::tryLockHeader(qint64 rec411) const
{
    return tryLock(QStringLiteral("Mmst411"), QStringLiteral("Mmst411.Rec_411=?"), {rec411}, QStringLiteral("Lock"),
                   false);
}

void RecordLock::unlockHeader(qint64 rec411) const
{
    UnlockRecord(QStringLiteral("Mmst411"), QStringLiteral("Mmst411.Rec_411=?"), {rec411}, QStringLiteral("LOCK"));
    forgetHolder(rec411);
}

void RecordLock::unlockHeaderByNumber(const QString &invNo) const
{
    UnlockRecord(QStringLiteral("Mmst411"), QStringLiteral("Inv_No=?"), {invNo}, QStringLiteral("LOCK"));
    try {
        Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key IN "
                                   "(SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?)"))
            .bind(invNo)
            .exec();
    } catch (...) {
        // A database without the holders' table has none to forget.
    }
}

bool RecordLock::recordsHolders(const Connection &conn)
{
    return DbGateway::hasTable(conn, QStringLiteral("Erp_Lock_Holder"));
}

void RecordLock::forgetHolder(qint64 rec411) const
{
    if (!recordsHolders(m_conn))
        return;
    try {
        Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ?"))
            .bind(rec411)
            .exec();
    } catch (...) {
        // A database without the holders' table has none to forget.
    }
}


std::optional<LockHeldBy> RecordLock::headerHolder(qint64 rec411) const
{
    const ResultSet rs =
        Sql(m_conn, QStringLiteral("SELECT Holder_Token, Holder_User, Holder_Name, Workstation, Locked_At, Lease_At "
                                   "FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ?"))
            .bind(rec411)
            .select();
    if (rs.isEmpty())
        return std::nullopt;
    LockHeldBy h;
    h.token = rs.text(0, 0);
    h.userId = rs.text(0, 1).trimmed();
    h.userName = rs.text(0, 2).trimmed();
    h.workstation = rs.text(0, 3).trimmed();
    h.since = DbGateway::toDateTime(rs.value(0, 4));
    h.leaseAt = DbGateway::toDateTime(rs.value(0, 5));
    const QDateTime now = DbGateway::serverNow(m_conn);
    h.gone = !h.leaseAt.isValid() || h.leaseAt.secsTo(now) > kLeaseSeconds;
    return h;
}

QString RecordLock::tryLockHeader(qint64 rec411, const LockHolder &holder, QString &token,
                                  std::optional<LockHeldBy> *heldBy) const
{
    token.clear();
    if (heldBy)
        heldBy->reset();
    const QString mark = QUuid::createUuid().toString(QUuid::WithoutBraces);
    Transaction tx(m_conn, Transaction::Write);
    const QString refused = tryLockHeader(rec411);
    const QDateTime now = DbGateway::serverNow(m_conn);
    const auto record = [&](const QString &previousToken) {
        if (previousToken.isEmpty()) {
            Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ?"))
                .bind(rec411)
                .exec();
            Sql(m_conn, QStringLiteral("INSERT INTO Erp_Lock_Holder (Table_Name, Rec_Key, Holder_Token, Holder_User, "
                                       "Holder_Name, Workstation, Locked_At, Lease_At) "
                                       "VALUES ('Mmst411', ?, ?, ?, ?, ?, ?, ?)"))
                .bindAll({rec411, mark, holder.userId, holder.userName, holder.workstation, now, now})
                .exec();
            return true;
        }
        // Taken over only from the holder seen: of two clerks taking over a
        // dead holder's lock at once, one wins.
        return Sql(m_conn, QStringLiteral("UPDATE Erp_Lock_Holder SET Holder_Token = ?, Holder_User = ?, "
                                          "Holder_Name = ?, Workstation = ?, Locked_At = ?, Lease_At = ? "
                                          "WHERE Table_Name = 'Mmst411' AND Rec_Key = ? AND Holder_Token = ?"))
                   .bindAll({mark, holder.userId, holder.userName, holder.workstation, now, now, rec411,
                             previousToken})
                   .exec() > 0;
    };
    if (refused.isEmpty()) {
        record(QString());
        tx.commit();
        token = mark;
        return refused;
    }
    if (refused != heldText())
        return refused;
    const std::optional<LockHeldBy> seen = headerHolder(rec411);
    if (seen) {
        const bool mine = seen->userId.compare(holder.userId, Qt::CaseInsensitive) == 0 &&
                          seen->workstation.compare(holder.workstation, Qt::CaseInsensitive) == 0;
        if ((mine || seen->gone) && record(seen->token)) {
            tx.commit();
            token = mark;
            return QString();
        }
        if (heldBy)
            *heldBy = seen;
    }
    return refused;
}

bool RecordLock::renewHeaderLease(qint64 rec411, const QString &token) const
{
    try {
        return Sql(m_conn, QStringLiteral("UPDATE Erp_Lock_Holder SET Lease_At = ? "
                                          "WHERE Table_Name = 'Mmst411' AND Rec_Key = ? AND Holder_Token = ?"))
                   .bindAll({DbGateway::serverNow(m_conn), rec411, token})
                   .exec() > 0;
    } catch (...) {
        // The next renewal tries again; the lease lasts three of them.
        return true;
    }
}

void RecordLock::unlockHeader(qint64 rec411, const QString &token) const
{
    try {
        Transaction tx(m_conn, Transaction::Write);
        const qint64 mine =
            Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ? "
                                       "AND Holder_Token = ?"))
                .bind(rec411)
                .bind(token)
                .exec();
        if (mine > 0)
            Sql(m_conn, QStringLiteral("UPDATE Mmst411 SET Lock = ? WHERE Rec_411 = ?")).bind(kFree).bind(rec411).exec();
        tx.commit();
    } catch (...) {
        // Giving a lock back is best effort; its lease runs out if this failed.
    }
}

bool RecordLock::releaseHeld(qint64 rec411, const LockHeldBy &seen, const HistoryActor &by) const
{
    Transaction tx(m_conn, Transaction::Write);
    const qint64 n =
        Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ? "
                                   "AND Holder_Token = ?"))
            .bind(rec411)
            .bind(seen.token)
            .exec();
    if (n == 0)
        return false;
    Sql(m_conn, QStringLiteral("UPDATE Mmst411 SET Lock = ? WHERE Rec_411 = ?")).bind(kFree).bind(rec411).exec();
    DocumentHistory(m_conn).record(rec411, HistoryKind::LockReleased,
                                   QStringLiteral("锁定者 %1 (工作站 %2), 自 %3 起")
                                       .arg(seen.userName.isEmpty() ? seen.userId : seen.userName, seen.workstation,
                                            seen.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                                   by);
    tx.commit();
    return true;
}
