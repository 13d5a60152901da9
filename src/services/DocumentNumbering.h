#pragma once

#include "platform/db/Connection.h"

#include <QString>

// Proposes the number of a new document. Nothing is reserved: two users may
// get the same proposal, and the save step turns the second one away.
class DocumentNumbering
{
public:
    // "No number was produced."
    static QString noNumber() { return QStringLiteral("@@@@"); }

    // From the standard of itemNo in No_Std: fixed text, optional year and
    // MMDD from the workstation's clock, then the next running number after
    // the largest value of field in table sharing that leading part.
    // noNumber() without exactly one standard in force, or when the proposal
    // already exists (unless skipUniqueCheck).
    static QString CreateStdCode(const Connection &conn, const QString &itemNo, const QString &field,
                                 const QString &table, bool skipUniqueCheck);

    // The fallback layout: the user's code (defaultPrefix when the user has
    // none), "-", the server's YYMM and a four-digit sequence; at most 20
    // characters. natureCode is accepted and not used. A user id without a
    // row in mmst901 is a failure (ErpError).
    static QString CreateDocumentNo(const Connection &conn, const QString &userId, const QString &table,
                                    const QString &defaultPrefix, const QString &natureCode);
};
