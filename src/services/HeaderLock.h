#pragma once

#include "platform/db/Connection.h"

// The cooperative lock of one document header, held for a scope: taken when
// the guard is made (the user has been told when it could not be), given
// back when the guard goes, whatever path leaves the scope. A guard can be
// moved to whoever keeps the lock longer (an edit holds it until save or
// cancel), and dismissed when a write has already given the lock back.
class HeaderLock
{
public:
    HeaderLock(const Connection &conn, qint64 rec411);
    ~HeaderLock();
    HeaderLock(HeaderLock &&other) noexcept;
    HeaderLock &operator=(HeaderLock &&other) noexcept;
    HeaderLock(const HeaderLock &) = delete;
    HeaderLock &operator=(const HeaderLock &) = delete;

    bool held() const { return m_held; }
    qint64 key() const { return m_rec411; }
    // Gives the lock back now.
    void release();
    // Forgets the lock without writing: a statement that wrote the header
    // has given it back already, and someone else may hold it by now.
    void dismiss() { m_held = false; }

private:
    Connection m_conn;
    qint64 m_rec411 = 0;
    bool m_held = false;
};
