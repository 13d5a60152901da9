#include "documents/LedgerStore.h"

#include "documents/DocumentKind.h"
#include "platform/core/ErpError.h"
#include "platform/db/Schema.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"
#include "services/DocumentHistory.h"
#include "services/RecordLock.h"
#include "services/StockKey.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {

// ---------------------------------------------------------------- values

// A code as the database compares it: trailing blanks and case ignored,
// null as empty.
QString codeOf(const QVariant &v)
{
    QString s = v.toString();
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == QLatin1Char(' '))
        --end;
    s.truncate(end);
    return s.toCaseFolded();
}

QString shown(const QVariant &v)
{
    return v.toString().trimmed();
}

// Quantities keep eight decimals in the balances and the journal.
double eight(double v)
{
    return std::round(v * 1e8) / 1e8;
}

QString number(double v)
{
    return numberText(eight(v));
}

// Sums of many rows drift in the last binary places; a difference the
// eight decimals of a balance cannot hold is none.
bool same(double a, double b)
{
    return std::fabs(a - b) < 5e-7;
}

// The database's address as a report may show it: without its password.
QString shownAddress(const QString &url)
{
    if (url.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive)) {
        QUrl u(url);
        if (!u.password().isEmpty())
            u.setPassword(QStringLiteral("***"));
        return u.toString();
    }
    QString shown = url;
    static const QRegularExpression password(QStringLiteral("(pwd|password)\\s*=[^;]*"),
                                             QRegularExpression::CaseInsensitiveOption);
    return shown.replace(password, QStringLiteral("\\1=***"));
}

QString thousands(qint64 n)
{
    return QLocale::c().toString(n);
}

// Mixes the bits of a 64-bit value (splitmix64's finaliser).
quint64 mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// One journal row (or the row a line should have made) as a number: its key
// and its quantity at four decimals. A document's rows add up to a sum that
// does not depend on their order, so lines and journal compare in one pass.
quint64 entryHash(const QString &key, double qty)
{
    return mix(quint64(qHash(key, 0x5bd1e995)) ^ mix(quint64(std::llround(qty * 1e4))));
}

// ---------------------------------------------------------------- stock keys

// The stock key's parts in the order the findings show them.
constexpr int kKeyParts = 7; // order, mo, receipt, type, material, location, colour
constexpr int kTypePart = 3;

QString keyOf(const QString (&parts)[kKeyParts], bool withType = true)
{
    QString k;
    k.reserve(64);
    for (int i = 0; i < kKeyParts; ++i) {
        if (i)
            k += QChar(0x1f);
        if (withType || i != kTypePart)
            k += parts[i];
    }
    return k;
}

QString shownKey(const QStringList &parts)
{
    return parts.join(QLatin1Char('|'));
}

const char *const kKeyColumns = "Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Color_No";

// ---------------------------------------------------------------- documents

bool postedStatus(const QString &status)
{
    return status == QLatin1String("2") || status == QLatin1String("6") || status == QLatin1String("7");
}

// The three kinds, by their journal name.
const DocumentKind *kindOfJournal(const QString &name)
{
    for (const DocumentKind *k :
         {&DocumentKind::issue(), &DocumentKind::materialReturn(), &DocumentKind::supplementary()})
        if (name == k->heading)
            return k;
    return nullptr;
}

const DocumentKind *kindOfType(const QString &invType)
{
    for (const DocumentKind *k :
         {&DocumentKind::issue(), &DocumentKind::materialReturn(), &DocumentKind::supplementary()})
        if (invType == k->invType())
            return k;
    return nullptr;
}

QString docKey(const QString &invNoCode, const DocumentKind &kind)
{
    return invNoCode + QChar(0x1f) + kind.invType();
}

// The row a line's approval writes: its key by the line's stock-deduction
// mode (the receipt's parts always, the order unless by material, the
// manufacturing order only by manufacturing order) and its signed quantity.
struct ExpectedRow
{
    QString parts[kKeyParts];
    QStringList shown;
    double qty = 0;
    bool typed = true; // a line without source type posts under the type the balance has
};

ExpectedRow expectedRow(const QString &mode, const QVariant &order, const QVariant &mo, const QVariant &receipt,
                        const QVariant &type, const QString &material, const QVariant &location, const QVariant &colour,
                        double qty, bool stockOut)
{
    ExpectedRow r;
    const bool byMaterial = mode == QLatin1String("0");
    const bool byMo = mode.isEmpty() || mode == QLatin1String("2");
    const QVariant none = QString();
    const QVariant values[kKeyParts] = {
        byMaterial ? none : order, byMo ? mo : none, receipt, type, material, location, colour};
    for (int i = 0; i < kKeyParts; ++i) {
        r.parts[i] = codeOf(values[i]);
        r.shown.append(shown(values[i]));
    }
    r.typed = !r.parts[kTypePart].isEmpty();
    r.qty = stockOut ? -qty : qty;
    return r;
}

// What one document's rows come to.
struct Print
{
    qint64 rows = 0;
    quint64 full = 0; // sum of entryHash over the whole key
    quint64 bare = 0; // the same without the source type
    double sum = 0;
    bool untyped = false;
    QString invNo; // as the first row shows it
    QString kindName;

    void add(const QString (&parts)[kKeyParts], double qty)
    {
        ++rows;
        full += entryHash(keyOf(parts), qty);
        bare += entryHash(keyOf(parts, false), qty);
        sum += qty;
    }
};

struct Header
{
    QString invNo;
    QString docKey;
    const DocumentKind *kind = nullptr;
    QString status;
    bool moves = true;
    bool locked = false;
};

// ---------------------------------------------------------------- the passes

// Reads a table forward, row by row, and says how long it took.
class Pass
{
public:
    Pass(const Connection &conn, const QString &table, const Statement &sql, LedgerReport &report,
         const LedgerVerifier::Progress &progress)
        : m_table(table), m_report(report), m_progress(progress), m_sql(conn, sql)
    {
        if (m_progress)
            m_progress(m_table, -1, 0);
        m_clock.start();
        m_query = &m_sql.openForward();
    }
    bool next()
    {
        if (m_query->next()) {
            ++m_rows;
            return true;
        }
        if (m_query->lastError().isValid()) {
            const QSqlError e = m_query->lastError();
            m_query->finish();
            Connection::raise(e);
        }
        return false;
    }
    QVariant value(int i) const { return m_query->value(i); }
    ~Pass()
    {
        m_query->finish();
        const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
        m_report.tables.append({m_table, m_rows, seconds});
        if (m_progress)
            m_progress(m_table, m_rows, seconds);
    }

private:
    QString m_table;
    LedgerReport &m_report;
    const LedgerVerifier::Progress &m_progress;
    Sql m_sql;
    QSqlQuery *m_query = nullptr;
    QElapsedTimer m_clock;
    qint64 m_rows = 0;
};

// A stock key as the balance pass and the journal pass leave it.
struct KeyState
{
    double balance = 0;
    int rows = 0;           // balance rows
    qint64 firstRec381 = 0; // the lowest
    double firstAmount = 0;
    QString shown; // as its first balance row shows it
    double journal = 0;
    qint64 journalRows = 0;
    qint64 firstRec388 = 0;
    QString material; // the material's code
};

// A material's average cost followed through its journal.
struct CostReplay
{
    double stock = 0;
    double average = 0;
    // How much of the average before the first row is left in it: the
    // average can be recomputed only when nothing is.
    double trace = 1;
    double standard = 0;
    bool seen = false;
};

// Detail of an approved document whose journal rows are not its lines.
struct PostingDiff
{
    qint64 expectedRows = 0;
    double expectedSum = 0;
    qint64 foundRows = 0;
    double foundSum = 0;
    QString note;
};

PostingDiff postingDiff(const Connection &conn, qint64 rec411, const QString &invNo, const DocumentKind &kind,
                        bool moves)
{
    PostingDiff d;
    const bool stockOut = takesStockOnApproval(kind.type);
    struct Row
    {
        QString full;
        QString bare;
        QString shown;
        double qty;
        bool typed;
    };
    QList<Row> expected;
    if (moves) {
        const ResultSet lines =
            Sql(conn, QStringLiteral("SELECT l.Stock_Mode, l.Order_No, l.Mo_No, l.Frm_Inv, l.Frm_Type, m.Mtr_No, "
                                     "l.Bar_No, l.Color_No, l.Mtr_Amt FROM Mmst412 l "
                                     "INNER JOIN mmst611 m ON m.Rec_611 = l.Rec_611 WHERE l.Rec_411 = ? "
                                     "ORDER BY l.Rec_412"))
                .bind(rec411)
                .select();
        for (qint64 r = 0; r < lines.rowCount(); ++r) {
            const ExpectedRow e = expectedRow(lines.text(r, 0).trimmed(), lines.value(r, 1), lines.value(r, 2),
                                              lines.value(r, 3), lines.value(r, 4), lines.text(r, 5), lines.value(r, 6),
                                              lines.value(r, 7), lines.value(r, 8).toDouble(), stockOut);
            expected.append({keyOf(e.parts), keyOf(e.parts, false), shownKey(e.shown), e.qty, e.typed});
            d.expectedSum += e.qty;
        }
    }
    d.expectedRows = expected.size();
    const ResultSet journal = Sql(conn, QStringLiteral("SELECT %1, Mtr_Amt FROM mmst388 WHERE Inv_No = ? AND "
                                                       "Inv_Type = ? ORDER BY Rec_388")
                                            .arg(QLatin1String(kKeyColumns)))
                                  .bind(invNo)
                                  .bind(kind.heading)
                                  .select();
    d.foundRows = journal.rowCount();
    QStringList extra;
    for (qint64 r = 0; r < journal.rowCount(); ++r) {
        QString parts[kKeyParts];
        QStringList show;
        for (int i = 0; i < kKeyParts; ++i) {
            parts[i] = codeOf(journal.value(r, i));
            show.append(shown(journal.value(r, i)));
        }
        const double qty = journal.value(r, kKeyParts).toDouble();
        d.foundSum += qty;
        const QString full = keyOf(parts);
        const QString bare = keyOf(parts, false);
        const auto match = std::find_if(expected.begin(), expected.end(), [&](const Row &e) {
            return (e.typed ? e.full == full : e.bare == bare) && same(e.qty, qty);
        });
        if (match != expected.end())
            expected.erase(match);
        else
            extra.append(QStringLiteral("%1 %2").arg(number(qty), shownKey(show)));
    }
    QStringList missing;
    for (const Row &e : expected)
        missing.append(QStringLiteral("%1 %2").arg(number(e.qty), e.shown));
    const auto some = [](const QStringList &items) {
        QStringList first = items.mid(0, 3);
        if (items.size() > 3)
            first.append(QStringLiteral("and %1 more").arg(items.size() - 3));
        return first.join(QStringLiteral("; "));
    };
    QStringList note;
    if (!missing.isEmpty())
        note.append(QStringLiteral("missing: ") + some(missing));
    if (!extra.isEmpty())
        note.append(QStringLiteral("not of its lines: ") + some(extra));
    if (!moves)
        note.prepend(QStringLiteral("dated before the stock was taken over, it posts nothing"));
    d.note = note.join(QStringLiteral("; "));
    return d;
}


QString age(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("age unknown");
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 7200)
        return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 2 * 86400)
        return QStringLiteral("%1 h").arg(seconds / 3600);
    return QStringLiteral("%1 days").arg(seconds / 86400);
}

// The kept counts the schema declares.
const QList<SummaryDef> &summaryDefinitions()
{
    static const QList<SummaryDef> summaries =
        Schema::load(QDir(schemaDirectory()).filePath(QStringLiteral("erp.schema"))).summaries();
    return summaries;
}

// Everything one check of the ledger finds, with what a repair would do.
LedgerReport analyse(const Connection &conn, const LedgerVerifier::Progress &progress, QList<BalanceChange> *changes)
{
    QElapsedTimer clock;
    clock.start();
    LedgerReport report;
    report.database = shownAddress(conn.url());
    const auto add = [&report](LedgerFinding::Kind kind, const QString &key, const QString &expected,
                               const QString &found, const QString &note = {}) {
        report.findings.append({kind, key, expected, found, note});
    };

    // One moment of the database for every table, changing nothing.
    Transaction tx(conn, Transaction::Read);
    if (const QString snapshot = conn.dialect().snapshotRead(); !snapshot.isEmpty())
        Sql(conn, snapshot).exec();

    report.negativeAllowed = Sql(conn, QStringLiteral("SELECT Item_Value FROM mmst909 WHERE Item_No = ?"))
                                 .bind(QStringLiteral("仓库中允许负库存"))
                                 .scalar()
                                 .toString()
                                 .trimmed() == QLatin1String("1");
    const QDateTime now = DbGateway::serverNow(conn);

    // Materials: their numbers by key, and where their average cost stands.
    QHash<qint64, QString> materialOf; // Rec_611 -> Mtr_No as stored
    struct Material
    {
        QString shown;
        double average = 0;
        double standard = 0;
    };
    QHash<QString, Material> materials; // by code
    {
        Pass p(conn, QStringLiteral("mmst611"),
               Statement(QStringLiteral("SELECT Rec_611, Mtr_No, Avg_Cost, Mtr_Cost FROM mmst611")), report, progress);
        while (p.next()) {
            const QString mtrNo = p.value(1).toString();
            materialOf.insert(p.value(0).toLongLong(), mtrNo);
            materials.insert(codeOf(mtrNo), {mtrNo.trimmed(), p.value(2).toDouble(), p.value(3).toDouble()});
        }
    }

    // Headers: what each document is and whether it should be posted.
    QHash<qint64, Header> headers;
    QHash<QString, qint64> headerOf; // document key -> Rec_411
    {
        Pass p(conn, QStringLiteral("Mmst411"),
               Statement(QStringLiteral("SELECT Rec_411, Inv_No, Inv_Type, Status, Inv_Date, Lock FROM Mmst411")),
               report, progress);
        while (p.next()) {
            Header h;
            h.invNo = shown(p.value(1));
            h.kind = kindOfType(shown(p.value(2)));
            h.status = shown(p.value(3));
            if (h.status.isEmpty())
                h.status = QStringLiteral("0");
            const QDate date = DbGateway::toDate(p.value(4));
            h.moves = date.isValid() && date > QDate(1900, 1, 1);
            h.locked = shown(p.value(5)) == QLatin1String("Yes");
            const qint64 key = p.value(0).toLongLong();
            if (h.kind) {
                h.docKey = docKey(codeOf(p.value(1)), *h.kind);
                headerOf.insert(h.docKey, key);
            }
            headers.insert(key, h);
        }
    }

    // Locks and their holders.
    {
        QHash<qint64, LedgerLock> held;
        if (RecordLock::recordsHolders(conn)) {
            Pass p(conn, QStringLiteral("Erp_Lock_Holder"),
                   Statement(QStringLiteral("SELECT Rec_Key, Holder_User, Holder_Name, Workstation, Locked_At, "
                                            "Lease_At FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411'")),
                   report, progress);
            while (p.next()) {
                LedgerLock l;
                l.rec411 = p.value(0).toLongLong();
                l.holder = shown(p.value(2)).isEmpty() ? shown(p.value(1)) : shown(p.value(2));
                l.workstation = shown(p.value(3));
                l.since = DbGateway::toDateTime(p.value(4));
                const QDateTime lease = DbGateway::toDateTime(p.value(5));
                l.gone = !lease.isValid() || lease.secsTo(now) > RecordLock::kLeaseSeconds;
                l.ageSeconds = l.since.isValid() ? l.since.secsTo(now) : -1;
                held.insert(l.rec411, l);
            }
        }
        QList<qint64> keys = headers.keys();
        std::sort(keys.begin(), keys.end());
        for (qint64 key : keys) {
            const Header &h = headers.value(key);
            if (!h.locked)
                continue;
            LedgerLock l = held.value(key);
            l.rec411 = key;
            l.invNo = h.invNo;
            report.locks.append(l);
            if (l.gone)
                add(LedgerFinding::Kind::StaleLock, h.invNo,
                    QStringLiteral("free within %1 s of its holder's last renewal").arg(RecordLock::kLeaseSeconds),
                    QStringLiteral("locked by %1 on %2 since %3")
                        .arg(l.holder, l.workstation, l.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                    QStringLiteral("its holder is gone"));
        }
        QList<qint64> holders = held.keys();
        std::sort(holders.begin(), holders.end());
        for (qint64 key : holders) {
            const auto h = headers.constFind(key);
            if (h != headers.constEnd() && h->locked)
                continue;
            const LedgerLock &l = held.value(key);
            add(LedgerFinding::Kind::StaleLock,
                h != headers.constEnd() ? h->invNo : QStringLiteral("header %1").arg(key), QStringLiteral("no holder"),
                QStringLiteral("held by %1 on %2").arg(l.holder, l.workstation),
                h != headers.constEnd() ? QStringLiteral("the header is not locked")
                                        : QStringLiteral("the header is gone"));
        }
    }

    // Documents reset since the history began: a reset brings stock back at
    // the receipt's price without a journal row, so their materials' average
    // cannot be followed through the journal.
    QSet<qint64> resetDocuments;
    if (DocumentHistory::isKept(conn)) {
        Pass p(conn, QStringLiteral("Erp_Doc_History"),
               Statement(QStringLiteral("SELECT DISTINCT Rec_411 FROM Erp_Doc_History WHERE Change_Kind = ?"),
                         {DocumentHistory::code(HistoryKind::Reset)}),
               report, progress);
        while (p.next())
            resetDocuments.insert(p.value(0).toLongLong());
    }
    QSet<QString> costUnknown; // materials whose average the journal cannot give

    // Lines: orphans, and what each posted document's journal should hold.
    QHash<QString, Print> expected; // by document key
    {
        Pass p(conn, QStringLiteral("Mmst412"),
               Statement(QStringLiteral("SELECT Rec_412, Rec_411, Rec_611, Stock_Mode, Order_No, Mo_No, Frm_Inv, "
                                        "Frm_Type, Bar_No, Color_No, Mtr_Amt FROM Mmst412")),
               report, progress);
        while (p.next()) {
            const qint64 rec411 = p.value(1).toLongLong();
            const auto h = headers.constFind(rec411);
            if (h == headers.constEnd()) {
                add(LedgerFinding::Kind::LineOrphan, QStringLiteral("line %1").arg(p.value(0).toLongLong()),
                    QStringLiteral("header %1").arg(rec411), QStringLiteral("no header"),
                    QStringLiteral("material %1, quantity %2")
                        .arg(materialOf.value(p.value(2).toLongLong()).trimmed(), number(p.value(10).toDouble())));
                continue;
            }
            const auto material = materialOf.constFind(p.value(2).toLongLong());
            if (material == materialOf.constEnd())
                continue; // an approval posts only lines whose material exists
            if (resetDocuments.contains(rec411))
                costUnknown.insert(codeOf(*material));
            if (!h->kind || !postedStatus(h->status) || !h->moves)
                continue;
            const ExpectedRow e =
                expectedRow(shown(p.value(3)), p.value(4), p.value(5), p.value(6), p.value(7), *material, p.value(8),
                            p.value(9), p.value(10).toDouble(), takesStockOnApproval(h->kind->type));
            Print &print = expected[h->docKey];
            print.add(e.parts, e.qty);
            print.untyped = print.untyped || !e.typed;
        }
    }

    // Balances, by stock key.
    QHash<QString, KeyState> keys;
    QHash<QString, QList<std::pair<qint64, double>>> splits; // rows beyond the first of a key
    {
        Pass p(conn, QStringLiteral("mmst381"),
               Statement(QStringLiteral("SELECT Rec_381, %1, Mtr_Amt FROM mmst381 ORDER BY Rec_381")
                             .arg(QLatin1String(kKeyColumns))),
               report, progress);
        QString parts[kKeyParts];
        while (p.next()) {
            for (int i = 0; i < kKeyParts; ++i)
                parts[i] = codeOf(p.value(1 + i));
            const QString key = keyOf(parts);
            const qint64 rec381 = p.value(0).toLongLong();
            const double amount = p.value(1 + kKeyParts).toDouble();
            KeyState &k = keys[key];
            if (k.rows == 0) {
                k.firstRec381 = rec381;
                k.firstAmount = amount;
                QStringList show;
                for (int i = 0; i < kKeyParts; ++i)
                    show.append(shown(p.value(1 + i)));
                k.shown = shownKey(show);
                k.material = parts[4];
            } else {
                splits[key].append({rec381, amount});
            }
            ++k.rows;
            k.balance += amount;
            if (amount < -5e-9 && !report.negativeAllowed)
                add(LedgerFinding::Kind::Negative, k.shown, QStringLiteral("0 or more"), number(amount),
                    QStringLiteral("row %1").arg(rec381));
        }
    }

    // The journal, in the order it was written: each key's sum, each
    // document's rows, and each material's average cost followed through it.
    QHash<QString, Print> found; // by document key
    QHash<QString, CostReplay> costs;
    {
        Pass p(conn, QStringLiteral("mmst388"),
               Statement(QStringLiteral("SELECT Rec_388, %1, Mtr_Amt, Mtr_Prs, Inv_No, Inv_Type FROM mmst388 "
                                        "ORDER BY Rec_388")
                             .arg(QLatin1String(kKeyColumns))),
               report, progress);
        QString parts[kKeyParts];
        const DocumentKind *lastKind = nullptr;
        QString lastKindName;
        while (p.next()) {
            for (int i = 0; i < kKeyParts; ++i)
                parts[i] = codeOf(p.value(1 + i));
            const double qty = p.value(1 + kKeyParts).toDouble();
            const double price = p.value(2 + kKeyParts).toDouble();
            KeyState &k = keys[keyOf(parts)];
            if (k.journalRows == 0) {
                k.firstRec388 = p.value(0).toLongLong();
                k.material = parts[4];
            }
            ++k.journalRows;
            k.journal += qty;

            const QString kindName = shown(p.value(4 + kKeyParts));
            if (kindName != lastKindName) {
                lastKindName = kindName;
                lastKind = kindOfJournal(kindName);
            }
            if (lastKind) {
                Print &print = found[docKey(codeOf(p.value(3 + kKeyParts)), *lastKind)];
                if (print.rows == 0) {
                    print.invNo = shown(p.value(3 + kKeyParts));
                    print.kindName = kindName;
                }
                print.add(parts, qty);
            }

            // The posting's moving average: the material's whole stock after
            // the row S, the average becomes (S * average + qty * price) /
            // (S + qty), the standard cost when that divisor is 0.
            CostReplay &c = costs[parts[4]];
            if (!c.seen) {
                c.seen = true;
                c.standard = materials.value(parts[4]).standard;
            }
            c.stock = eight(c.stock + qty);
            if (qty > 0 && price != 0) {
                const double divisor = eight(c.stock + qty);
                if (divisor == 0) {
                    c.average = c.standard;
                    c.trace = 0;
                } else {
                    c.average = (c.stock * c.average + qty * price) / divisor;
                    c.trace *= c.stock / divisor;
                }
            }
        }
    }

    // Each key: one row, holding what its journal adds up to. The keys that
    // are not are told in the order of their rows.
    std::vector<std::pair<qint64, QString>> wrong;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        const KeyState &k = it.value();
        const bool balanced = same(k.balance, k.journal);
        if (!balanced || k.rows > 1)
            costUnknown.insert(k.material);
        if (balanced && k.rows <= 1 && !(k.rows == 1 && same(k.balance, 0)))
            continue;
        wrong.emplace_back(k.rows ? k.firstRec381 : (qint64(1) << 62) + k.firstRec388, it.key());
    }
    std::sort(wrong.begin(), wrong.end());
    for (const auto &[position, key] : wrong) {
        KeyState &k = keys[key];
        const bool balanced = same(k.balance, k.journal);
        if (k.rows == 0) {
            // Only the journal knows this key: its first row names it.
            const ResultSet first =
                Sql(conn,
                    QStringLiteral("SELECT %1, Mtr_Prs FROM mmst388 WHERE Rec_388 = ?").arg(QLatin1String(kKeyColumns)))
                    .bind(k.firstRec388)
                    .select();
            QStringList show;
            for (int i = 0; i < kKeyParts; ++i)
                show.append(first.text(0, i).trimmed());
            k.shown = shownKey(show);
            add(LedgerFinding::Kind::Balance, k.shown, number(k.journal), QStringLiteral("no balance row"),
                QStringLiteral("%1 journal rows").arg(k.journalRows));
            if (changes) {
                BalanceChange c;
                c.action = BalanceChange::Action::Create;
                c.key = k.shown;
                c.parts = show;
                c.after = eight(k.journal);
                c.price = first.value(0, kKeyParts).toDouble();
                c.why = LedgerFinding::code(LedgerFinding::Kind::Balance);
                changes->append(c);
            }
            continue;
        }
        if (k.rows > 1) {
            QStringList rows{QStringLiteral("%1 (%2)").arg(k.firstRec381).arg(number(k.firstAmount))};
            for (const auto &[rec, amount] : splits.value(key))
                rows.append(QStringLiteral("%1 (%2)").arg(rec).arg(number(amount)));
            add(LedgerFinding::Kind::Duplicate, k.shown, QStringLiteral("1 row"),
                QStringLiteral("%1 rows: %2").arg(k.rows).arg(rows.join(QStringLiteral(", "))));
        }
        if (!balanced)
            add(LedgerFinding::Kind::Balance, k.shown, number(k.journal), number(k.balance),
                QStringLiteral("%1 journal rows").arg(k.journalRows));
        else if (k.rows == 1 && same(k.balance, 0))
            add(LedgerFinding::Kind::Empty, k.shown, QStringLiteral("no row"), QStringLiteral("0"),
                QStringLiteral("row %1").arg(k.firstRec381));
        if (!changes)
            continue;
        // The first row keeps the key and takes the journal's sum; the
        // others go. A key whose journal adds up to nothing keeps no row.
        const double target = eight(k.journal);
        const QString why = LedgerFinding::code(!balanced    ? LedgerFinding::Kind::Balance
                                                : k.rows > 1 ? LedgerFinding::Kind::Duplicate
                                                             : LedgerFinding::Kind::Empty);
        for (const auto &[rec, amount] : splits.value(key))
            changes->append({BalanceChange::Action::Remove,
                             rec,
                             k.shown,
                             {},
                             amount,
                             0,
                             0,
                             LedgerFinding::code(LedgerFinding::Kind::Duplicate)});
        if (target == 0)
            changes->append({BalanceChange::Action::Remove, k.firstRec381, k.shown, {}, k.firstAmount, 0, 0, why});
        else if (!same(k.firstAmount, target))
            changes->append({BalanceChange::Action::Set, k.firstRec381, k.shown, {}, k.firstAmount, target, 0, why});
    }

    // Documents: posted ones line for line, others not at all.
    {
        QList<qint64> recs = headers.keys();
        std::sort(recs.begin(), recs.end());
        for (qint64 rec411 : recs) {
            const Header &h = headers.value(rec411);
            if (!h.kind)
                continue;
            const Print want = expected.value(h.docKey);
            const Print have = found.value(h.docKey);
            if (postedStatus(h.status)) {
                const bool matches = want.rows == have.rows && same(want.sum, have.sum) &&
                                     (want.untyped ? want.bare == have.bare : want.full == have.full);
                if (matches)
                    continue;
                const PostingDiff d = postingDiff(conn, rec411, h.invNo, *h.kind, h.moves);
                add(LedgerFinding::Kind::Posting, h.invNo,
                    QStringLiteral("%1 journal rows, %2").arg(d.expectedRows).arg(number(d.expectedSum)),
                    QStringLiteral("%1 journal rows, %2").arg(d.foundRows).arg(number(d.foundSum)), d.note);
            } else if (have.rows > 0) {
                add(LedgerFinding::Kind::Unapproved, h.invNo, QStringLiteral("0 journal rows"),
                    QStringLiteral("%1 journal rows, %2").arg(have.rows).arg(number(have.sum)),
                    QStringLiteral("status '%1'").arg(h.status));
            }
        }
        QList<QString> gone;
        for (auto it = found.cbegin(); it != found.cend(); ++it)
            if (!headerOf.contains(it.key()))
                gone.append(it.key());
        std::sort(gone.begin(), gone.end());
        for (const QString &key : gone) {
            const Print &have = found.value(key);
            add(LedgerFinding::Kind::JournalOrphan, have.invNo, QStringLiteral("0 journal rows"),
                QStringLiteral("%1 journal rows, %2").arg(have.rows).arg(number(have.sum)),
                QStringLiteral("no %1 of that number").arg(have.kindName));
        }
    }

    // Average costs, where the journal gives them whatever they were before it.
    {
        QList<QString> codes = materials.keys();
        std::sort(codes.begin(), codes.end());
        for (const QString &code : codes) {
            const Material &m = materials.value(code);
            const auto c = costs.constFind(code);
            if (c == costs.constEnd() || costUnknown.contains(code) || std::fabs(c->trace) > 1e-9) {
                ++report.costsSkipped;
                continue;
            }
            ++report.costsChecked;
            if (std::fabs(c->average - m.average) > 1e-4 + 1e-6 * std::fabs(c->average))
                add(LedgerFinding::Kind::AverageCost, m.shown, numberText(std::round(c->average * 1e6) / 1e6),
                    numberText(std::round(m.average * 1e6) / 1e6));
        }
    }

    // The counts of approved lines the line dialog's lists read, against a
    // count of the lines themselves (a database not yet upgraded has none).
    for (const SummaryDef &summary : summaryDefinitions()) {
        if (Sql(conn, conn.dialect().tableExistsQuery()).bind(summary.name).select().isEmpty())
            continue;
        if (progress)
            progress(summary.name, -1, 0);
        QElapsedTimer read;
        read.start();
        const QList<Schema::SummaryDifference> off = Schema::summaryMismatches(conn, summary);
        const double seconds = double(read.nsecsElapsed()) / 1e9;
        const qint64 keys =
            Sql(conn, QStringLiteral("SELECT COUNT(*) FROM %1").arg(summary.name)).scalar().toLongLong();
        report.tables.append({summary.name, keys, seconds});
        if (progress)
            progress(summary.name, keys, seconds);
        for (const Schema::SummaryDifference &m : off)
            add(LedgerFinding::Kind::Summary, summary.name + QLatin1Char(' ') + m.key,
                QStringLiteral("%1 lines").arg(m.counted), QStringLiteral("%1 lines").arg(m.kept));
        if (!off.isEmpty())
            report.summariesOff.append(summary.name);
    }

    tx.rollback();
    report.seconds = double(clock.nsecsElapsed()) / 1e9;
    return report;
}

} // namespace

// ---------------------------------------------------------------- findings

QString LedgerFinding::code(Kind kind)
{
    switch (kind) {
    case Kind::Balance:
        return QStringLiteral("balance");
    case Kind::Duplicate:
        return QStringLiteral("duplicate");
    case Kind::Empty:
        return QStringLiteral("empty");
    case Kind::Negative:
        return QStringLiteral("negative");
    case Kind::Posting:
        return QStringLiteral("posting");
    case Kind::Unapproved:
        return QStringLiteral("unapproved");
    case Kind::JournalOrphan:
        return QStringLiteral("journal-orphan");
    case Kind::LineOrphan:
        return QStringLiteral("line-orphan");
    case Kind::StaleLock:
        return QStringLiteral("stale-lock");
    case Kind::AverageCost:
        return QStringLiteral("average-cost");
    case Kind::Summary:
        return QStringLiteral("kept-count");
    }
    return {};
}

QString LedgerFinding::caption(Kind kind)
{
    switch (kind) {
    case Kind::Balance:
        return QStringLiteral("balance against the sum of its journal");
    case Kind::Duplicate:
        return QStringLiteral("two balance rows for one stock key");
    case Kind::Empty:
        return QStringLiteral("balance row holding nothing");
    case Kind::Negative:
        return QStringLiteral("negative balance, negative stock not allowed");
    case Kind::Posting:
        return QStringLiteral("approved document against its lines");
    case Kind::Unapproved:
        return QStringLiteral("journal rows of a document not approved");
    case Kind::JournalOrphan:
        return QStringLiteral("journal rows whose document is gone");
    case Kind::LineOrphan:
        return QStringLiteral("lines whose header is gone");
    case Kind::StaleLock:
        return QStringLiteral("lock of a holder that is gone");
    case Kind::AverageCost:
        return QStringLiteral("average cost against its journal");
    case Kind::Summary:
        return QStringLiteral("kept count of approved lines against the lines");
    }
    return {};
}

bool LedgerFinding::repairable(Kind kind)
{
    return kind == Kind::Balance || kind == Kind::Duplicate || kind == Kind::Empty || kind == Kind::Summary;
}

namespace {

constexpr LedgerFinding::Kind kAllKinds[] = {
    LedgerFinding::Kind::Balance,       LedgerFinding::Kind::Duplicate,  LedgerFinding::Kind::Empty,
    LedgerFinding::Kind::Negative,      LedgerFinding::Kind::Posting,    LedgerFinding::Kind::Unapproved,
    LedgerFinding::Kind::JournalOrphan, LedgerFinding::Kind::LineOrphan, LedgerFinding::Kind::StaleLock,
    LedgerFinding::Kind::AverageCost,   LedgerFinding::Kind::Summary,
};

QString findingLine(const LedgerFinding &f)
{
    QString line =
        QStringLiteral("%1  %2  expected %3  found %4").arg(LedgerFinding::code(f.kind), f.key, f.expected, f.found);
    if (!f.note.isEmpty())
        line += QStringLiteral("  (%1)").arg(f.note);
    return line;
}

QString padded(const QString &text, int width)
{
    return text + QString(std::max<qsizetype>(1, width - text.size()), QLatin1Char(' '));
}

QString lockLine(const LedgerLock &l)
{
    if (l.holder.isEmpty() && l.workstation.isEmpty() && !l.since.isValid())
        return QStringLiteral("%1  locked by another program (no holder recorded)").arg(l.invNo);
    return QStringLiteral("%1  locked by %2 on %3 since %4 (%5)%6")
        .arg(l.invNo, l.holder, l.workstation, l.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             age(l.ageSeconds), l.gone ? QStringLiteral(", holder gone") : QString());
}

} // namespace

qint64 LedgerReport::count(LedgerFinding::Kind kind) const
{
    return std::count_if(findings.cbegin(), findings.cend(), [kind](const LedgerFinding &f) { return f.kind == kind; });
}

QString LedgerReport::text() const
{
    QString out;
    qint64 rows = 0;
    for (const LedgerTable &t : tables)
        rows += t.rows;
    out += QStringLiteral("Ledger check of %1: %2 rows read in %3 s in one read transaction.\n\n")
               .arg(database, thousands(rows), QString::number(seconds, 'f', 1));
    out += padded(QStringLiteral("table"), 18) + padded(QStringLiteral("rows"), 12) + QStringLiteral("seconds\n");
    for (const LedgerTable &t : tables)
        out +=
            padded(t.name, 18) + padded(thousands(t.rows), 12) + QString::number(t.seconds, 'f', 2) + QLatin1Char('\n');
    out += QLatin1Char('\n') + padded(QStringLiteral("check"), 48) + QStringLiteral("findings\n");
    for (LedgerFinding::Kind kind : kAllKinds) {
        QString caption = LedgerFinding::caption(kind);
        if (kind == LedgerFinding::Kind::Negative && negativeAllowed)
            caption = QStringLiteral("negative balance (allowed by the option)");
        out += padded(caption, 48) + QString::number(count(kind)) + QLatin1Char('\n');
    }
    out += QStringLiteral("average costs recomputed: %1; skipped: %2 (their journal does not give them)\n")
               .arg(thousands(costsChecked), thousands(costsSkipped));
    out += QStringLiteral("\nlocked headers: %1\n").arg(locks.size());
    for (const LedgerLock &l : locks)
        out += QStringLiteral("  ") + lockLine(l) + QLatin1Char('\n');
    out += QStringLiteral("\nfindings: %1\n").arg(findings.size());
    for (const LedgerFinding &f : findings)
        out += findingLine(f) + QLatin1Char('\n');
    return out;
}

QByteArray LedgerReport::json() const
{
    QJsonObject o;
    o.insert(QStringLiteral("database"), database);
    o.insert(QStringLiteral("clean"), clean());
    o.insert(QStringLiteral("seconds"), seconds);
    o.insert(QStringLiteral("negativeAllowed"), negativeAllowed);
    QJsonArray t;
    for (const LedgerTable &table : tables)
        t.append(QJsonObject{{QStringLiteral("table"), table.name},
                             {QStringLiteral("rows"), double(table.rows)},
                             {QStringLiteral("seconds"), table.seconds}});
    o.insert(QStringLiteral("tables"), t);
    QJsonObject counts;
    for (LedgerFinding::Kind kind : kAllKinds)
        counts.insert(LedgerFinding::code(kind), double(count(kind)));
    o.insert(QStringLiteral("checks"), counts);
    o.insert(QStringLiteral("averageCosts"), QJsonObject{{QStringLiteral("recomputed"), double(costsChecked)},
                                                         {QStringLiteral("skipped"), double(costsSkipped)}});
    QJsonArray l;
    for (const LedgerLock &lock : locks) {
        QJsonObject j{{QStringLiteral("document"), lock.invNo},
                      {QStringLiteral("holder"), lock.holder},
                      {QStringLiteral("workstation"), lock.workstation},
                      {QStringLiteral("holderGone"), lock.gone}};
        if (lock.since.isValid())
            j.insert(QStringLiteral("since"), lock.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        if (lock.ageSeconds >= 0)
            j.insert(QStringLiteral("ageSeconds"), double(lock.ageSeconds));
        l.append(j);
    }
    o.insert(QStringLiteral("locks"), l);
    QJsonArray f;
    for (const LedgerFinding &finding : findings) {
        QJsonObject j{{QStringLiteral("check"), LedgerFinding::code(finding.kind)},
                      {QStringLiteral("key"), finding.key},
                      {QStringLiteral("expected"), finding.expected},
                      {QStringLiteral("found"), finding.found}};
        if (!finding.note.isEmpty())
            j.insert(QStringLiteral("note"), finding.note);
        f.append(j);
    }
    o.insert(QStringLiteral("findings"), f);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

// ---------------------------------------------------------------- verifier

LedgerVerifier::LedgerVerifier(const Connection &conn) : m_conn(conn) {}

LedgerReport LedgerVerifier::verify(const Progress &progress) const
{
    return analyse(m_conn, progress, nullptr);
}

// ---------------------------------------------------------------- repair

RepairPlan RepairPlan::from(const LedgerReport &report, const QList<BalanceChange> &changes)
{
    RepairPlan plan;
    plan.changes = changes;
    plan.recount = report.summariesOff;
    for (const LedgerFinding &f : report.findings)
        if (!LedgerFinding::repairable(f.kind))
            plan.left.append(f);
    return plan;
}

QString RepairPlan::text() const
{
    QString out;
    if (changes.isEmpty() && recount.isEmpty())
        out += QStringLiteral("The balances add up to their journal: the repair has nothing to change.\n");
    else if (recount.isEmpty())
        out += QStringLiteral("The repair would change %1 balance rows in one transaction (no journal row, no "
                              "document):\n")
                   .arg(changes.size());
    else
        out += QStringLiteral("The repair would change %1 balance rows and count %2 kept counts again in one "
                              "transaction (no journal row, no document):\n")
                   .arg(changes.size())
                   .arg(recount.size());
    for (const BalanceChange &c : changes) {
        switch (c.action) {
        case BalanceChange::Action::Set:
            out += QStringLiteral("  set     row %1  %2  %3 -> %4  (%5)\n")
                       .arg(c.rec381)
                       .arg(c.key, number(c.before), number(c.after), c.why);
            break;
        case BalanceChange::Action::Remove:
            out += QStringLiteral("  remove  row %1  %2  holding %3  (%4)\n")
                       .arg(c.rec381)
                       .arg(c.key, number(c.before), c.why);
            break;
        case BalanceChange::Action::Create:
            out += QStringLiteral("  create  %1  %2 at price %3  (%4)\n")
                       .arg(c.key, number(c.after), numberText(c.price), c.why);
            break;
        }
    }
    for (const QString &summary : recount)
        out += QStringLiteral("  recount %1  (kept counts of approved lines, counted again from the lines)\n")
                   .arg(summary);
    if (!left.isEmpty()) {
        out += QStringLiteral("It leaves %1 findings that it may not mend:\n").arg(left.size());
        for (const LedgerFinding &f : left)
            out += QStringLiteral("  ") + findingLine(f) + QLatin1Char('\n');
    }
    return out;
}

LedgerRepair::LedgerRepair(const Connection &conn, const QString &userName) : m_conn(conn), m_userName(userName) {}

RepairPlan LedgerRepair::plan(LedgerReport *report, const LedgerVerifier::Progress &progress) const
{
    QList<BalanceChange> changes;
    const LedgerReport checked = analyse(m_conn, progress, &changes);
    if (report)
        *report = checked;
    return RepairPlan::from(checked, changes);
}

LedgerRepair::Outcome LedgerRepair::apply(const RepairPlan &plan) const
{
    Outcome outcome;
    if (plan.isEmpty())
        return outcome;
    const Dialect &d = m_conn.dialect();
    const QStringList hold = d.holdTablesNoWait({QStringLiteral("mmst381"), QStringLiteral("mmst388")});
    std::optional<Transaction> tx;
    try {
        // Where a write transaction takes the whole database its start
        // waits for a posting under way: only a moment.
        if (hold.isEmpty())
            m_conn.setCommandTimeout(1);
        tx.emplace(m_conn, Transaction::Write);
        if (hold.isEmpty())
            m_conn.resetCommandTimeout();
        for (const QString &statement : hold)
            Sql(m_conn, statement).exec();
    } catch (const ErpError &) {
        if (hold.isEmpty())
            m_conn.resetCommandTimeout();
        outcome.refusal = QStringLiteral("Another program is writing the stock ledger (a posting runs): nothing was "
                                         "changed. Run the repair again when it has finished.");
        return outcome;
    }
    // A clerk may be in the middle of a change that posts.
    const ResultSet locked = Sql(m_conn, QStringLiteral("SELECT Inv_No FROM Mmst411 WHERE %1 = 'Yes' ORDER BY Inv_No")
                                             .arg(d.exactText(QStringLiteral("Lock"))))
                                 .select();
    if (!locked.isEmpty()) {
        QStringList numbers;
        for (qint64 r = 0; r < locked.rowCount(); ++r)
            numbers.append(locked.text(r, 0).trimmed());
        outcome.refusal = QStringLiteral("Documents are locked (%1): nothing was changed. Run the repair again when "
                                         "no document is being changed.")
                              .arg(numbers.join(QStringLiteral(", ")));
        return outcome;
    }
    const QDate today = DbGateway::toDate(DbGateway::GetServerDate(m_conn));
    const QString user = notNullText(m_userName.trimmed().left(40));
    const QString changedMeanwhile =
        QStringLiteral("The balances changed since they were checked (%1): nothing was changed. Run the repair again.");
    // A row is changed only while it holds what the plan saw.
    const QString holds = QStringLiteral("Rec_381 = ? AND ABS(COALESCE(Mtr_Amt, 0) - ?) < 0.000000005");
    for (const BalanceChange &c : plan.changes) {
        qint64 n = 0;
        switch (c.action) {
        case BalanceChange::Action::Set:
            n = Sql(m_conn, QStringLiteral("UPDATE mmst381 SET Mtr_Amt = ?, Upd_Name = ?, Upd_Date = ? WHERE ") + holds)
                    .bindAll({c.after, user, today, c.rec381, c.before})
                    .exec();
            break;
        case BalanceChange::Action::Remove:
            n = Sql(m_conn, QStringLiteral("DELETE FROM mmst381 WHERE ") + holds).bindAll({c.rec381, c.before}).exec();
            break;
        case BalanceChange::Action::Create: {
            const StockKey key(c.parts.value(0), c.parts.value(1), c.parts.value(2), c.parts.value(3), c.parts.value(4),
                               c.parts.value(5), c.parts.value(6));
            const Statement where = key.condition(d);
            if (!Sql(m_conn, Statement(QStringLiteral("SELECT Rec_381 FROM mmst381 WHERE ")).append(where))
                     .select()
                     .isEmpty())
                break;
            n = Sql(m_conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, "
                                           "Color_No, Mtr_Amt, Mtr_Prs, Upd_Name, Upd_Date) "
                                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
                    .bindAll({notNullText(key.orderNo), notNullText(key.moNo), notNullText(key.frmInv),
                              notNullText(key.frmType), notNullText(key.mtrNo), notNullText(key.barNo),
                              notNullText(key.colorNo), c.after, c.price, user, today})
                    .exec();
            break;
        }
        }
        if (n != 1) {
            outcome.refusal = changedMeanwhile.arg(c.key);
            return outcome;
        }
        ++outcome.changed;
    }
    for (const SummaryDef &summary : summaryDefinitions())
        if (plan.recount.contains(summary.name)) {
            Schema::recountSummary(m_conn, summary);
            ++outcome.changed;
        }
    tx->commit();
    outcome.applied = true;
    return outcome;
}
