#pragma once

#include "platform/db/Sql.h"

#include <functional>
#include <optional>

// A statement that may run for seconds (a search over every order), run so
// that the person waiting can see it and stop it: on a connection of its
// own to the same database, in a thread of its own, while keepGoing is
// called on this thread about every 50 ms with the milliseconds gone.
// keepGoing answering false cancels the statement on the server and
// nullopt comes back. A connection that cannot be opened a second time (one
// a host opened and handed over) runs the statement here, without calls.
// Failures throw ErpError, as Sql does. The time-out is the statement's.
std::optional<ResultSet> selectWithProgress(const Connection &conn, const Statement &statement, int timeoutSeconds,
                                            const std::function<bool(qint64 elapsedMs)> &keepGoing);
