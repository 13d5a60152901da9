#include "LedgerInvariant.h"

#include "TestSupport.h"
#include "services/RecordLock.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

#include <QSet>

#include <cmath>

namespace {

// The invariant of the test running now, if it opened one.
LedgerInvariant *g_watching = nullptr;

// Codes compare without case and trailing blanks, and a missing code is an
// empty one: the same normalisation the unique balance index uses.
QString code(const QVariant &v)
{
    QString s = v.isNull() ? QString() : v.toString();
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s.toUpper();
}

const char *const kKeyColumns = "Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No";

QString keyOf(const ResultSet &rs, int row)
{
    QStringList parts;
    for (int c = 0; c < 7; ++c)
        parts << code(rs.value(row, c));
    return parts.join(QLatin1Char('|'));
}

bool same(double a, double b)
{
    return std::fabs(a - b) < 1e-6;
}

} // namespace

LedgerInvariant::~LedgerInvariant()
{
    if (g_watching == this)
        g_watching = nullptr;
}

void LedgerInvariant::open(const Connection &conn)
{
    m_conn = conn;
    m_waived = false;
    g_watching = this;
    rebase();
}

void LedgerInvariant::rebase()
{
    try {
        m_opening = openings();
        m_balances = balances();
        m_documents = documents();
        m_unreadable = false;
    } catch (const ErpError &) {
        m_unreadable = true;
    }
}

void LedgerInvariant::fixtureWritten()
{
    if (g_watching && g_watching->m_conn.isOpen())
        g_watching->rebase();
}

QHash<QString, LedgerInvariant::DocumentState> LedgerInvariant::documents() const
{
    QHash<QString, DocumentState> out;
    const ResultSet headers = Sql(m_conn, QStringLiteral("SELECT h.Inv_No, h.Status, (SELECT COUNT(*) FROM Mmst412 l "
                                                         "WHERE l.Rec_411 = h.Rec_411), h.Lock FROM Mmst411 h"))
                                  .select();
    for (int r = 0; r < headers.rowCount(); ++r) {
        DocumentState &s = out[code(headers.value(r, 0))];
        s.exists = true;
        s.status = headers.value(r, 1).toString().trimmed();
        s.lines += headers.value(r, 2).toLongLong();
        s.locked = s.locked || headers.value(r, 3).toString().trimmed() == QLatin1String("Yes");
    }
    const ResultSet posted =
        Sql(m_conn, QStringLiteral("SELECT Inv_No, COUNT(*) FROM mmst388 WHERE Inv_Type IN (?, ?, ?) "
                                   "GROUP BY Inv_No"))
            .bindAll({QStringLiteral("生产领料单"), QStringLiteral("生产退料单"), QStringLiteral("生产补料单")})
            .select();
    for (int r = 0; r < posted.rowCount(); ++r)
        out[code(posted.value(r, 0))].journalRows += posted.value(r, 1).toLongLong();
    return out;
}

QHash<QString, double> LedgerInvariant::balances() const
{
    QHash<QString, double> out;
    const ResultSet rows =
        Sql(m_conn, QStringLiteral("SELECT %1, Mtr_Amt FROM mmst381").arg(QLatin1String(kKeyColumns))).select();
    for (int r = 0; r < rows.rowCount(); ++r)
        out[keyOf(rows, r)] += rows.value(r, 7).toDouble();
    return out;
}

QHash<QString, double> LedgerInvariant::openings() const
{
    QHash<QString, double> out;
    const ResultSet balances =
        Sql(m_conn, QStringLiteral("SELECT %1, Mtr_Amt FROM mmst381").arg(QLatin1String(kKeyColumns))).select();
    for (int r = 0; r < balances.rowCount(); ++r)
        out[keyOf(balances, r)] += balances.value(r, 7).toDouble();
    const ResultSet journal =
        Sql(m_conn, QStringLiteral("SELECT %1, Mtr_Amt FROM mmst388").arg(QLatin1String(kKeyColumns))).select();
    for (int r = 0; r < journal.rowCount(); ++r)
        out[keyOf(journal, r)] -= journal.value(r, 7).toDouble();
    return out;
}

QStringList LedgerInvariant::violations() const
{
    if (m_unreadable) // the fixture took a ledger table away: nothing to hold
        return {};
    try {
        return breaches();
    } catch (const ErpError &e) {
        return {QStringLiteral("the ledger could not be read: %1").arg(e.description())};
    }
}

QStringList LedgerInvariant::breaches() const
{
    QStringList out;
    const ResultSet balances =
        Sql(m_conn, QStringLiteral("SELECT %1, Mtr_Amt FROM mmst381").arg(QLatin1String(kKeyColumns))).select();
    QSet<QString> seen;
    const bool negativeAllowed = Sql(m_conn, QStringLiteral("SELECT Item_Value FROM mmst909 WHERE Item_No = ?"))
                                     .bind(QStringLiteral("仓库中允许负库存"))
                                     .scalar()
                                     .toString()
                                     .trimmed() == QLatin1String("1");
    for (int r = 0; r < balances.rowCount(); ++r) {
        const QString key = keyOf(balances, r);
        if (seen.contains(key))
            out << QStringLiteral("two balance rows for %1").arg(key);
        seen.insert(key);
        const double amount = balances.value(r, 7).toDouble();
        // A fixture may start below zero; the module may not take it there.
        const auto was = m_balances.constFind(key);
        const bool moved = was == m_balances.cend() || std::fabs(was.value() - amount) > 1e-9;
        if (moved && amount < -1e-9 && !negativeAllowed)
            out << QStringLiteral("negative balance %1 for %2").arg(amount).arg(key);
    }

    const QHash<QString, double> now = openings();
    QSet<QString> keys(now.keyBegin(), now.keyEnd());
    for (auto it = m_opening.cbegin(); it != m_opening.cend(); ++it)
        keys.insert(it.key());
    for (const QString &key : keys)
        if (!same(now.value(key), m_opening.value(key)))
            out << QStringLiteral("balance of %1 is %2 away from its opening plus its journal")
                       .arg(key)
                       .arg(now.value(key) - m_opening.value(key));

    // The counts of approved lines the database keeps beside the journal
    // (the lists of the return read them) match the lines of the documents
    // whose approval posted them.
    for (const SummaryDef &summary : TestDb::schema().summaries())
        out += Schema::summaryDifferences(m_conn, summary);

    // Documents whose status, journal or lines changed since the opening
    // (fixture documents written as approved without a journal stay as they
    // were written): approved or closed ones posted once line for line,
    // others not at all, and none posted that is gone.
    const QHash<QString, DocumentState> before = m_documents;
    const QHash<QString, DocumentState> after = documents();
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const DocumentState &s = it.value();
        if (before.contains(it.key()) && before.value(it.key()) == s)
            continue;
        if (s.locked && !(before.contains(it.key()) && before.value(it.key()).locked))
            out << QStringLiteral("%1 left locked").arg(it.key());
        const bool approved =
            s.status == QLatin1String("2") || s.status == QLatin1String("6") || s.status == QLatin1String("7");
        if (!s.exists && s.journalRows > 0)
            out << QStringLiteral("%1 journal rows of %2, a document that is gone").arg(s.journalRows).arg(it.key());
        else if (s.exists && !approved && s.journalRows > 0)
            out << QStringLiteral("%1 journal rows of %2, whose status is '%3'")
                       .arg(s.journalRows)
                       .arg(it.key(), s.status);
        // An approval posts every line once, or nothing at all for a
        // document dated before the stock was taken over.
        else if (s.exists && approved && s.journalRows != s.lines && s.journalRows != 0)
            out << QStringLiteral("%1 journal rows of %2 for %3 lines").arg(s.journalRows).arg(it.key()).arg(s.lines);
    }

    // No header stays locked by a holder that is gone (a lease run out), and
    // no holder is recorded for a header that is not locked.
    if (RecordLock::recordsHolders(m_conn)) {
        const ResultSet holders =
            Sql(m_conn, QStringLiteral("SELECT h.Rec_Key, h.Holder_Name, h.Workstation, m.Lock FROM Erp_Lock_Holder h "
                                       "LEFT JOIN Mmst411 m ON m.Rec_411 = h.Rec_Key WHERE h.Table_Name = 'Mmst411'"))
                .select();
        for (qint64 r = 0; r < holders.rowCount(); ++r) {
            const qint64 key = holders.value(r, 0).toLongLong();
            if (holders.text(r, 3).trimmed() != QLatin1String("Yes")) {
                out << QStringLiteral("header %1 not locked but held by %2 on %3")
                           .arg(key)
                           .arg(holders.text(r, 1), holders.text(r, 2));
                continue;
            }
            const std::optional<LockHeldBy> by = RecordLock(m_conn).headerHolder(key);
            if (by && by->gone)
                out << QStringLiteral("header %1 locked by %2 on %3, who is gone")
                           .arg(key)
                           .arg(by->userName, by->workstation);
        }
    }
    return out;
}
