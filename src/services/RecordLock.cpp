#include "services/RecordLock.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "services/ErrorReporter.h"

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
    return QStringLiteral("记录已锁定,请稍等");
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
}

void RecordLock::unlockHeaderByNumber(const QString &invNo) const
{
    UnlockRecord(QStringLiteral("Mmst411"), QStringLiteral("Inv_No=?"), {invNo}, QStringLiteral("LOCK"));
}
