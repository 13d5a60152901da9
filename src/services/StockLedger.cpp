#include "services/StockLedger.h"

#include "entry/RunContext.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"

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

} // namespace

StockLedger::StockLedger() : m_conn(runContext().Conn), m_userName(runContext().User_Name) {}

StockLedger::StockLedger(const Connection &conn, const QString &userName) : m_conn(conn), m_userName(userName) {}

bool StockLedger::CheckStockAvailable(const QString &orderNo, const QString &frmInv, const QString &mtrNo,
                                      const QString &colorNo, const QString &barNo, double qty, const QString &moNo,
                                      const QString &frmType) const
{
    const Dialect &d = m_conn.dialect();
    QString option;
    try {
        option = valueText(Sql(m_conn, d.topN(QStringLiteral("SELECT Item_Value FROM mmst909 WHERE Item_No = ?"), 1))
                               .bind(QStringLiteral("仓库中允许负库存"))
                               .scalar());
    } catch (...) {
        // An unreadable option reads as not set.
    }
    if (option.trimmed() == QLatin1String("1"))
        return true;
    if (!(qty > 0))
        return true;

    QString where = QStringLiteral("%1 = ? AND Frm_Inv = ? AND %2 = ? AND Mtr_No = ? AND %3 = ? AND Bar_No = ?")
                        .arg(orEmpty(d, QStringLiteral("Order_No")), orEmpty(d, QStringLiteral("Color_No")),
                             orEmpty(d, QStringLiteral("Mo_No")));
    QList<QVariant> values{notNullText(orderNo), notNullText(frmInv), notNullText(colorNo), notNullText(mtrNo), notNullText(moNo), notNullText(barNo)};
    if (!frmType.isEmpty()) {
        where += QStringLiteral(" AND Frm_Type = ?");
        values << frmType;
    }
    // The rows are read (not summed by the server) so that they can be held
    // until the caller commits: a second user checking the same stock waits
    // and then sees what this posting left.
    const ResultSet rows = Sql(m_conn, d.lockedRows(QStringLiteral("mmst381"), QStringLiteral("Mtr_Amt"), where))
                               .bindAll(values)
                               .select();
    double available = 0;
    for (qint64 i = 0; i < rows.rowCount(); ++i)
        available += rows.value(i, 0).toDouble();
    return fourDecimals(qty) <= fourDecimals(available);
}

double StockLedger::receiptPrice(const QString &frmInv, const QString &mtrNo) const
{
    const Dialect &d = m_conn.dialect();
    const QString sql = d.topN(QStringLiteral("SELECT COALESCE(Mtr_Prs, 0) FROM mmst381 WHERE %1 = ? AND Mtr_No = ? "
                                              "ORDER BY Rec_381")
                                   .arg(orEmpty(d, QStringLiteral("Frm_Inv"))),
                               1);
    return Sql(m_conn, sql).bind(notNullText(frmInv)).bind(notNullText(mtrNo)).scalar().toDouble();
}

void StockLedger::PostStockBalance(const QString &orderNo, const QString &frmInv, const QString &mtrNo,
                                   const QString &barNo, double qty, double &price, const QString &frmType,
                                   const QString &moNo, const QString &colorNo) const
{
    const Dialect &d = m_conn.dialect();
    const QString type = notNullText(frmType.trimmed());
    const QString key = QStringLiteral("%1 = ? AND Frm_Inv = ? AND Mtr_No = ? AND Bar_No = ? AND %2 = ? AND %3 = ? "
                                       "AND Frm_Type = ?")
                            .arg(orEmpty(d, QStringLiteral("Order_No")), orEmpty(d, QStringLiteral("Mo_No")),
                                 orEmpty(d, QStringLiteral("Color_No")));
    const QList<QVariant> keyValues{notNullText(orderNo), notNullText(frmInv), notNullText(mtrNo), notNullText(barNo),
                                    notNullText(moNo.trimmed()), notNullText(colorNo.trimmed()), type};
    const ResultSet balance = Sql(m_conn, d.lockedRows(QStringLiteral("mmst381"), QStringLiteral("Mtr_Amt"), key))
                                  .bindAll(keyValues)
                                  .select();
    // -1 is a request, never a price: resolve it before it reaches a row or the average.
    if (price == -1)
        price = receiptPrice(frmInv, mtrNo);
    const QDate today = DbGateway::toDate(DbGateway::GetServerDate(m_conn));
    const QString user = notNullText(m_userName.trimmed());

    if (balance.isEmpty()) {
        QString sourceType = type;
        if (sourceType.isEmpty()) {
            const QVariant known = Sql(m_conn, d.topN(QStringLiteral("SELECT Frm_Type FROM mmst381 WHERE Frm_Inv = ? "
                                                                     "ORDER BY Rec_381"),
                                                      1))
                                       .bind(notNullText(frmInv))
                                       .select()
                                       .value(0, 0);
            if (known.isValid()) {
                sourceType = notNullText(valueText(known));
            } else {
                const bool purchase = !Sql(m_conn, d.topN(QStringLiteral("SELECT Purc_No FROM mmst312 WHERE Purc_No = ?"), 1))
                                           .bind(notNullText(frmInv))
                                           .select()
                                           .isEmpty();
                sourceType = purchase ? QStringLiteral("A") : QStringLiteral("C");
            }
        }
        Sql(m_conn, QStringLiteral("INSERT INTO mmst381 (Order_No, Mo_No, Frm_Inv, Frm_Type, Mtr_No, Bar_No, Mtr_Amt, "
                                   "Mtr_Prs, Color_No, Upd_Name, Upd_Date) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
            .bindAll({notNullText(orderNo), notNullText(moNo.trimmed()), notNullText(frmInv), sourceType, notNullText(mtrNo), notNullText(barNo), qty,
                      price, notNullText(colorNo.trimmed()), user, dateValue(today)})
            .exec();
    } else if (balance.value(0, 0).toDouble() + qty == 0) {
        Sql(m_conn, QStringLiteral("DELETE FROM mmst381 WHERE ") + key).bindAll(keyValues).exec();
    } else {
        QList<QVariant> values{qty, user, dateValue(today)};
        values << keyValues;
        Sql(m_conn, QStringLiteral("UPDATE mmst381 SET Mtr_Amt = COALESCE(Mtr_Amt, 0) + ?, Upd_Name = ?, Upd_Date = ? "
                                   "WHERE ")
                        + key)
            .bindAll(values)
            .exec();
    }
    UpdateAvgCost(mtrNo, qty, price);
}

void StockLedger::UpdateAvgCost(const QString &mtrNo, double qty, double price) const
{
    if (!(qty > 0) || price == 0)
        return;
    const QString stock = QStringLiteral("COALESCE((SELECT SUM(b.Mtr_Amt) FROM mmst381 b WHERE b.Mtr_No = mmst611.Mtr_No), 0)");
    Sql(m_conn, QStringLiteral("UPDATE mmst611 SET Avg_Cost = CASE WHEN %1 + ? <> 0 "
                               "THEN (%1 * COALESCE(Avg_Cost, 0) + ?) / (%1 + ?) ELSE Mtr_Cost END "
                               "WHERE Mtr_No = ?")
                    .arg(stock))
        .bindAll({qty, qty * price, qty, notNullText(mtrNo)})
        .exec();
}

void StockLedger::InsertStockJournal(const QString &invNo, const QDate &invDate, const QString &kindName,
                                     const QString &orderNo, const QString &frmInv, const QString &frmType,
                                     const QString &mtrNo, const QString &barNo, double qty, double &price,
                                     const QString &moNo, const QString &colorNo, QString &dMoNo) const
{
    const Dialect &d = m_conn.dialect();
    const QString kind = DbGateway::ChangeStrCode(kindName);
    if (dMoNo.trimmed().isEmpty())
        dMoNo = moNo;
    if (price == 0) {
        const QString sql = d.topN(QStringLiteral("SELECT COALESCE(Mtr_Prs, 0) FROM mmst388 WHERE %1 = ? AND Frm_Inv = ? "
                                                  "AND Frm_Type = ? AND Mtr_No = ? AND %2 = ? AND %3 = ? ORDER BY Rec_388")
                                       .arg(orEmpty(d, QStringLiteral("Order_No")), orEmpty(d, QStringLiteral("Mo_No")),
                                            orEmpty(d, QStringLiteral("Color_No"))),
                                   1);
        price = Sql(m_conn, sql)
                    .bindAll({notNullText(orderNo), notNullText(frmInv), notNullText(frmType), notNullText(mtrNo), notNullText(moNo.trimmed()),
                              notNullText(colorNo.trimmed())})
                    .scalar()
                    .toDouble();
    }
    Sql(m_conn, QStringLiteral("INSERT INTO mmst388 (Inv_No, Mo_No, Inv_Type, Inv_Date, Order_No, Frm_Inv, Frm_Type, "
                               "Mtr_No, Bar_No, Mtr_Amt, Mtr_Prs, Upd_Name, Upd_Date, Color_No, d_order_no, d_mo_no) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        .bindAll({notNullText(invNo), notNullText(moNo.trimmed()), notNullText(kind), dateValue(invDate), notNullText(orderNo), notNullText(frmInv),
                  notNullText(frmType), notNullText(mtrNo), notNullText(barNo), qty, price, notNullText(m_userName.trimmed()),
                  dateValue(DbGateway::toDate(DbGateway::GetServerDate(m_conn))), notNullText(colorNo.trimmed()),
                  QStringLiteral(""), notNullText(dMoNo)})
        .exec();
}

void StockLedger::DeleteStockJournal(const QString &invNo, const QString &kindName, const QString &orderNo,
                                     const QString &frmInv, const QString &mtrNo, const QString &colorNo,
                                     const QString &barNo, const QString &moNo) const
{
    const Dialect &d = m_conn.dialect();
    Sql(m_conn, QStringLiteral("DELETE FROM mmst388 WHERE Inv_No = ? AND Inv_Type = ? AND %1 = ? AND %2 = ? "
                               "AND Frm_Inv = ? AND Mtr_No = ? AND Bar_No = ? AND %3 = ?")
                    .arg(orEmpty(d, QStringLiteral("Order_No")), orEmpty(d, QStringLiteral("Color_No")),
                         orEmpty(d, QStringLiteral("Mo_No"))))
        .bindAll({notNullText(invNo), notNullText(DbGateway::ChangeStrCode(kindName)), notNullText(orderNo), notNullText(colorNo), notNullText(frmInv),
                  notNullText(mtrNo), notNullText(barNo), notNullText(moNo.trimmed())})
        .exec();
}
