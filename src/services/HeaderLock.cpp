#include "services/HeaderLock.h"

#include "platform/db/Sql.h"
#include "services/RecordLock.h"

HeaderLock::HeaderLock(const Connection &conn, qint64 rec411, Telling telling)
    : m_conn(conn), m_rec411(rec411), m_refusal(RecordLock(conn).tryLockHeader(rec411))
{
    m_held = m_refusal.isEmpty();
    if (!m_held && telling == Tell)
        RecordLock(conn).tellRefusal(m_refusal);
}

HeaderLock::~HeaderLock()
{
    release();
}

HeaderLock::HeaderLock(HeaderLock &&other) noexcept
    : m_conn(other.m_conn), m_rec411(other.m_rec411), m_held(other.m_held), m_refusal(other.m_refusal)
{
    other.m_held = false;
}

HeaderLock &HeaderLock::operator=(HeaderLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_conn = other.m_conn;
        m_rec411 = other.m_rec411;
        m_held = other.m_held;
        m_refusal = other.m_refusal;
        other.m_held = false;
    }
    return *this;
}

void HeaderLock::release()
{
    if (!m_held)
        return;
    m_held = false;
    // Never throws: unlocking is best effort on a way out.
    RecordLock(m_conn).unlockHeader(m_rec411);
}

QString holdOpenHeader(const Connection &conn, qint64 rec411)
{
    // Writing the row (to what it holds) takes it for the transaction on
    // every server; an approval that holds it first makes this wait, and
    // then the header is no longer open.
    const qint64 held = Sql(conn, QStringLiteral("UPDATE Mmst411 SET Status = Status WHERE Rec_411 = ? "
                                                 "AND COALESCE(Status, '0') = '0'"))
                            .bind(rec411)
                            .exec();
    if (held > 0)
        return QString();
    const ResultSet rs = Sql(conn, QStringLiteral("SELECT Status FROM Mmst411 WHERE Rec_411 = ?")).bind(rec411).select();
    if (rs.isEmpty())
        return QStringLiteral("9");
    const QString status = rs.text(0, 0).trimmed();
    return status.isEmpty() ? QStringLiteral("0") : status;
}
