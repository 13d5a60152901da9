#pragma once

#include "platform/db/Connection.h"

class PreparedStatements;

#include <QString>

// The system options: rows of mmst909, the option's name in Item_No and its
// value in Item_Value. One reader for every option the module consults.
class SystemOptions
{
public:
    explicit SystemOptions(const Connection &conn) : m_conn(conn) {}

    // The value as stored, empty when the option has no row or no value.
    // A failing read reaches the caller.
    QString value(const QString &itemNo) const;
    // The same read on a statement kept prepared, for readers that ask per line.
    static QString value(PreparedStatements &statements, const QString &itemNo);

private:
    Connection m_conn;
};
