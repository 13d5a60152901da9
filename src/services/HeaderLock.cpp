#include "services/HeaderLock.h"

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
