#include "services/StockLedger.h"

#include "services/SystemOptions.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"

#include <cmath>

namespace {

// A key part where null reads as empty.
QString orEmpty(const Dialect &d, const QString &column)
{
    return d.codeText(QStringLiteral("COALESCE(%1, '')").arg(column));
}

// The stock check compares at four decimals, as quantities are shown.
double fourDecimals(double value)
{
    return QString::number(value, 'f', 4).toDouble();
}

QVariant dateValue(const QDate &date)
{
    return date.isValid() ? QVariant(date) : QVariant();
}

// Stock as the balances hold it: followed in binary fractions, a sum of
// quantities would miss an exact zero by a few units in the last place.
double eightDecimals(double value)
{
    return std::round(value * 1e8) / 1e8;
}

// Material numbers that the code collation takes for one material.
QString materialKey(const QString &mtrNo)
{
    qsizetype end = mtrNo.size();
    while (end > 0 && mtrNo.at(end - 1) == QLatin1Char(' '))
        --end;
    return mtrNo.left(end).toCaseFolded();
}

} // namespace

StockLedger::StockLedger(const Connection &conn, const QString &userName)
    : m_conn(conn), m_userName(userName), m_statements(std::make_unique<PreparedStatements>(conn))
{}

StockLedger::~StockLedger() = default;
StockLedger::StockLedger(StockLedger &&) noexcept = default;

QDate StockLedger::today() const
{
    if (!m_today.isValid())
        m_today = DbGateway::toDate(DbGateway::GetServerDate(m_conn));
    return m_today;
}

bool StockLedger::CheckStockAvailable(const StockKey &key, double qty) const
{
    const Dialect &d = m_conn.dialect();
    m_checked.reset();
    // Read once per ledger: a posting checks every line under one setting.
    if (!m_negativeAllowed) {
        QString option;
        try {
            option = SystemOptions::value(*m_statements, QStringLiteral("仓库中允许负库存"));
        } catch (...) {
            // An unreadable option reads as not set.
        }
        m_negativeAllowed = option.trimmed() == QLatin1String("1");
    }
    if (*m_negativeAllowed)
        return true;
    if (!(qty > 0))
        return true;

    const unsigned parts = key.frmType.isEmpty() ? StockKey::All & ~StockKey::Type : StockKey::All;
    const Statement where = key.condition(d, parts);
    // The rows are read (not summed by the server) so that they can be held
    // until the caller commits: a second user checking the same stock waits
    // and then sees what this posting left.
    const ResultSet rows =
        Sql(*m_statements, d.lockedRows(QStringLiteral("mmst381"), QStringLiteral("Mtr_Amt, Rec_381"), where.text))
            .bindAll(where.values)
            .select();
    double available = 0;
    for (qint64 i = 0; i < rows.rowCount(); ++i)
        available += rows.value(i, 0).toDouble();
    // The posting that follows for this key reads the very rows this check
    // holds: it takes them from here instead of reading them again.
    m_checked = CheckedRows{where, rows};
    return fourDecimals(qty) <= fourDecimals(available);
}

double StockLedger::receiptPrice(const QString &frmInv, const QString &mtrNo) const
{
    const Dialect &d = m_conn.dialect();
    // A receipt number that is not blank never matches a null one, so the
    // plain comparison says the same and lets the receipt's index serve it.
    const bool blank = frmInv.trimmed().isEmpty();
    const QString receipt = blank ? orEmpty(d, QStringLiteral("Frm_Inv")) : QStringLiteral("Frm_Inv");
    const QString sql =
        d.topN(QStringLiteral("SELECT COALESCE(Mtr_Prs, 0) FROM mmst381 WHERE %1 = ? AND Mtr_No = ? ORDER BY Rec_381")
                   .arg(receipt),
               1);
    return Sql(*m_statements, sql).bind(notNullText(frmInv)).bind(notNullText(mtrNo)).scalar().toDouble();
}

const IndexDef &StockLedger::balanceIndex()
{
    static const IndexDef index{{QStringLiteral("Order_No"), QStringLiteral("Mo_No"), QStringLiteral("Frm_Inv"),
                                 QStringLiteral("Frm_Type"), QStringLiteral("Mtr_No"), QStringLiteral("Bar_No"),
                                 QStringLiteral("Color_No")},
                                true,
                                {QStringLiteral("Order_No"), QStringLiteral("Mo_No"), QStringLiteral("Color_No")},
                                QStringLiteral("Mtr_Amt")};
    return index;
}

QString StockLedger::resolveSourceType(const StockKey &key) const
{
    if (!key.frmType.isEmpty())
        return key.frmType;
    const Dialect &d = m_conn.dialect();
    const QVariant known =
        Sql(*m_statements, d.topN(QStringLiteral("SELECT Frm_Type FROM mmst381 WHERE Frm_Inv = ? ORDER BY Rec_381"), 1))
            .bind(notNullText(key.frmInv))
            .select()
            .value(0, 0);
    if (known.isValid())
        return notNullText(valueText(known));
    const bool purchase =
        !Sql(*m_statements, d.topN(QStringLiteral("SELECT Purc_No FROM mmst312 WHERE Purc_No = ?"), 1))
             .bind(notNullText(key.frmInv))
             .select()
             .isEmpty();
    return purchase ? QStringLiteral("A") : QStringLiteral("C");
}

QString StockLedger::journalSourceType(const QString &invNo, const QString &kindName, const StockKey &key) const
{
    const Dialect &d = m_conn.dialect();
    Statement st(QStringLiteral("SELECT Frm_Type FROM mmst388 WHERE Inv_No = ? AND Inv_Type = ? AND "),
                 {notNullText(invNo), notNullText(DbGateway::ChangeStrCode(kindName))});
    st.append(key.condition(d, StockKey::All & ~StockKey::Type));
    st.text = d.topN(st.text + QStringLiteral(" ORDER BY Rec_388"), 1);
    return valueText(Sql(*m_statements, st).scalar()).trimmed();
}

void StockLedger::lockCosts(const QStringList &materials) const
{
    const Dialect &d = m_conn.dialect();
    if (!d.locksRows())
        return;
    for (const QString &m : materials)
        Sql(*m_statements,
            d.lockedRows(QStringLiteral("mmst611"), QStringLiteral("Avg_Cost"), QStringLiteral("Mtr_No = ?")))
            .bind(notNullText(m))
            .select();
}

double StockLedger::PostStockBalance(const StockKey &given, double qty, double price) const
{
    return post(given, qty, price, true);
}

void StockLedger::postLine(const StockKey &key, double qty) const
{
    post(key, qty, -1, false);
}

double StockLedger::post(const StockKey &given, double qty, double price, bool tellPrice) const
{
    const Dialect &d = m_conn.dialect();
    // The balance lives under the source type a new one would take, so a
    // later posting without type (a reset) finds the same row.
    StockKey key = given;
    key.frmType = resolveSourceType(given);
    const Statement where = key.condition(d);
    const bool held = m_checked && m_checked->where.text == where.text && m_checked->where.values == where.values;
    // Where the insert adds to the key's row when there is one, a balance no
    // check has read is made or moved by that one statement.
    const bool upsert = !held && d.insertOrAddMeetsAnyRow();
    ResultSet balance;
    if (held)
        balance = std::move(m_checked->rows);
    else if (!upsert)
        balance =
            Sql(*m_statements, d.lockedRows(QStringLiteral("mmst381"), QStringLiteral("Mtr_Amt, Rec_381"), where.text))
                .bindAll(where.values)
                .select();
    m_checked.reset();
    // -1 is a request, never a price: resolve it before it reaches a row or
    // the average (or the caller, when it asks what was used).
    if (price == -1 && (tellPrice || balance.isEmpty() || qty > 0))
        price = receiptPrice(key.frmInv, key.mtrNo);
    const QDate today = this->today();
    const QString user = notNullText(m_userName.trimmed());

    if (balance.isEmpty()) {
        // Another user may insert the same key between the look and the
        // insert where rows are locked one by one: the insert then adds to
        // that row instead (the unique index makes the two meet). Either way
        // the row's new amount comes back; a balance that reached zero goes.
        const QString insert = d.insertOrAdd(
            QStringLiteral("mmst381"),
            {QStringLiteral("Order_No"), QStringLiteral("Mo_No"), QStringLiteral("Frm_Inv"), QStringLiteral("Frm_Type"),
             QStringLiteral("Mtr_No"), QStringLiteral("Bar_No"), QStringLiteral("Mtr_Amt"), QStringLiteral("Mtr_Prs"),
             QStringLiteral("Color_No"), QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")},
            balanceIndex(), QStringLiteral("Mtr_Amt"), {QStringLiteral("Upd_Name"), QStringLiteral("Upd_Date")});
        const ResultSet after = Sql(*m_statements, insert)
                                    .bindAll({notNullText(key.orderNo), notNullText(key.moNo), notNullText(key.frmInv),
                                              notNullText(key.frmType), notNullText(key.mtrNo), notNullText(key.barNo),
                                              qty, price, notNullText(key.colorNo), user, dateValue(today)})
                                    .select();
        if (qty != 0 && !after.isEmpty() && after.value(0, 0).toDouble() == 0)
            Sql(*m_statements, Statement(QStringLiteral("DELETE FROM mmst381 WHERE ")).append(where)).exec();
    } else {
        // The row read above is held: it is changed by its own key rather
        // than found again through the stock key.
        const Statement row =
            balance.rowCount() == 1 ? Statement(QStringLiteral("Rec_381 = ?"), {balance.value(0, 1)}) : where;
        if (balance.value(0, 0).toDouble() + qty == 0)
            Sql(*m_statements, Statement(QStringLiteral("DELETE FROM mmst381 WHERE ")).append(row)).exec();
        else
            Sql(*m_statements,
                Statement(QStringLiteral("UPDATE mmst381 SET Mtr_Amt = COALESCE(Mtr_Amt, 0) + ?, Upd_Name = ?, "
                                         "Upd_Date = ? WHERE "),
                          {qty, user, dateValue(today)})
                    .append(row))
                .exec();
    }
    // Every branch above moves the material's stock by exactly qty.
    const auto known = m_materialStock.find(materialKey(key.mtrNo));
    if (known != m_materialStock.end())
        *known = eightDecimals(*known + qty);
    UpdateAvgCost(key.mtrNo, qty, price);
    return price;
}

void StockLedger::UpdateAvgCost(const QString &mtrNo, double qty, double price) const
{
    if (!(qty > 0) || price == 0)
        return;
    if (m_keepStock) {
        // The material's stock, summed at its first receipt in this posting,
        // stays known from the quantities posted since: no other posting
        // that moves this average can run until this one commits.
        const QString material = materialKey(mtrNo);
        auto known = m_materialStock.find(material);
        if (known == m_materialStock.end())
            known = m_materialStock.insert(
                material,
                Sql(*m_statements, QStringLiteral("SELECT COALESCE(SUM(Mtr_Amt), 0) FROM mmst381 WHERE Mtr_No = ?"))
                    .bind(notNullText(mtrNo))
                    .scalar()
                    .toDouble());
        const double stock = *known;
        const double after = eightDecimals(stock + qty);
        Sql(*m_statements, QStringLiteral("UPDATE mmst611 SET Avg_Cost = CASE WHEN ? = 0.0 THEN Mtr_Cost "
                                          "ELSE (? * COALESCE(Avg_Cost, 0) + ?) / ? END WHERE Mtr_No = ?"))
            .bindAll({after, stock, qty * price, after, notNullText(mtrNo)})
            .exec();
        return;
    }
    // The material's stock is summed once (not once per use in the formula),
    // in the same statement, so the server computes it as before.
    Sql(*m_statements,
        QStringLiteral("UPDATE mmst611 SET Avg_Cost = (SELECT CASE WHEN s.t + ? <> 0 "
                       "THEN (s.t * COALESCE(mmst611.Avg_Cost, 0) + ?) / (s.t + ?) ELSE mmst611.Mtr_Cost END "
                       "FROM (SELECT COALESCE(SUM(b.Mtr_Amt), 0) AS t FROM mmst381 b WHERE b.Mtr_No = ?) s) "
                       "WHERE Mtr_No = ?"))
        .bindAll({qty, qty * price, qty, notNullText(mtrNo), notNullText(mtrNo)})
        .exec();
}

StockLedger::JournalRow StockLedger::InsertStockJournal(const QString &invNo, const QDate &invDate,
                                                        const QString &kindName, const StockKey &key, double qty,
                                                        double price, const QString &dMoNo) const
{
    const Dialect &d = m_conn.dialect();
    const QString kind = DbGateway::ChangeStrCode(kindName);
    JournalRow row{price, dMoNo.trimmed().isEmpty() ? key.moNo : dMoNo};
    if (row.price == 0) {
        // Earlier rows of the key at any location.
        const Statement where = key.condition(d, StockKey::All & ~StockKey::Location);
        row.price =
            Sql(*m_statements, Statement(d.topN(QStringLiteral("SELECT COALESCE(Mtr_Prs, 0) FROM mmst388 WHERE ") +
                                                    where.text + QStringLiteral(" ORDER BY Rec_388"),
                                                1),
                                         where.values))
                .scalar()
                .toDouble();
    }
    Sql(*m_statements,
        QStringLiteral("INSERT INTO mmst388 (Inv_No, Mo_No, Inv_Type, Inv_Date, Order_No, Frm_Inv, Frm_Type, "
                       "Mtr_No, Bar_No, Mtr_Amt, Mtr_Prs, Upd_Name, Upd_Date, Color_No, d_order_no, d_mo_no) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        .bindAll({notNullText(invNo), notNullText(key.moNo), notNullText(kind), dateValue(invDate),
                  notNullText(key.orderNo), notNullText(key.frmInv), notNullText(key.frmType), notNullText(key.mtrNo),
                  notNullText(key.barNo), qty, row.price, notNullText(m_userName.trimmed()), dateValue(today()),
                  notNullText(key.colorNo), QStringLiteral(""), notNullText(row.dMoNo)})
        .exec();
    return row;
}

void StockLedger::DeleteStockJournal(const QString &invNo, const QString &kindName, const StockKey &key) const
{
    const Dialect &d = m_conn.dialect();
    Sql(*m_statements, Statement(QStringLiteral("DELETE FROM mmst388 WHERE Inv_No = ? AND Inv_Type = ? AND "),
                                 {notNullText(invNo), notNullText(DbGateway::ChangeStrCode(kindName))})
                           .append(key.condition(d, StockKey::All & ~StockKey::Type)))
        .exec();
}
