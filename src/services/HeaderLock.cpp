#include "services/HeaderLock.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

HeaderLock::HeaderLock(const Connection &conn, qint64 rec411, Telling telling)
    : m_conn(conn), m_rec411(rec411), m_refusal(RecordLock(conn).tryLockHeader(rec411))
{
    m_held = m_refusal.isEmpty();
    if (m_held)
        RecordLock(conn).forgetHolder(rec411); // a lock without a holder, as other programs take it
    else if (telling == Tell)
        RecordLock(conn).tellRefusal(m_refusal);
}

HeaderLock::HeaderLock(const Connection &conn, qint64 rec411, const LockHolder &holder, Telling telling)
    : m_conn(conn), m_rec411(rec411)
{
    const RecordLock locks(conn);
    try {
        if (!RecordLock::recordsHolders(conn))
            throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("HeaderLock"), QStringLiteral("no holders"));
        m_refusal = locks.tryLockHeader(rec411, holder, m_token, &m_heldBy);
    } catch (const ErpError &) {
        // A database not yet brought up to the holders' table: the lock as
        // other programs take it.
        m_token.clear();
        m_heldBy.reset();
        m_refusal = locks.tryLockHeader(rec411);
    }
    m_held = m_refusal.isEmpty();
    if (m_held)
        startRenewing();
    else if (telling == Tell)
        locks.tellRefusal(m_refusal);
}

HeaderLock::~HeaderLock()
{
    release();
}

HeaderLock::HeaderLock(HeaderLock &&other) noexcept
    : m_conn(other.m_conn), m_rec411(other.m_rec411), m_held(other.m_held), m_refusal(other.m_refusal),
      m_token(other.m_token), m_heldBy(other.m_heldBy)
{
    other.m_held = false;
    other.m_renewal.reset();
    if (m_held)
        startRenewing();
}

HeaderLock &HeaderLock::operator=(HeaderLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_conn = other.m_conn;
        m_rec411 = other.m_rec411;
        m_held = other.m_held;
        m_refusal = other.m_refusal;
        m_token = other.m_token;
        m_heldBy = other.m_heldBy;
        other.m_held = false;
        other.m_renewal.reset();
        if (m_held)
            startRenewing();
    }
    return *this;
}

void HeaderLock::startRenewing()
{
    // Renewed on the event loop of the thread that holds the lock; a thread
    // without one (a batch job) holds it for less than a lease.
    if (m_token.isEmpty() || !QAbstractEventDispatcher::instance())
        return;
    // The timer lives with the guard; its lambda reads only copies.
    m_renewal = std::make_unique<QTimer>();
    m_renewal->setInterval(RecordLock::kRenewSeconds * 1000);
    QObject::connect(m_renewal.get(), &QTimer::timeout,
                     [conn = m_conn, key = m_rec411, token = m_token] { RecordLock(conn).renewHeaderLease(key, token); });
    m_renewal->start();
}

bool HeaderLock::renew() const
{
    return m_held && (m_token.isEmpty() || RecordLock(m_conn).renewHeaderLease(m_rec411, m_token));
}

void HeaderLock::dismiss()
{
    m_held = false;
    m_renewal.reset();
}

void HeaderLock::release()
{
    m_renewal.reset();
    if (!m_held)
        return;
    m_held = false;
    // Never throws: unlocking is best effort on a way out.
    if (m_token.isEmpty())
        RecordLock(m_conn).unlockHeader(m_rec411);
    else
        RecordLock(m_conn).unlockHeader(m_rec411, m_token);
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
