#include "lines/SourceLists.h"

#include "services/SystemOptions.h"

#include "platform/core/ErpError.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>

namespace {

QString T(const QString &s)
{
    return notNullText(s.trimmed());
}

bool isReturn(const LineInputs &in)
{
    return in.invType != QLatin1String("1") && in.invType != QLatin1String("3");
}

// The first column, without nulls (outer joins and empty groups give them),
// read as the rows come: some lists run to thousands of entries.
QStringList firstColumn(Sql &sql)
{
    QSqlQuery &q = sql.openForward();
    QStringList list;
    while (q.next()) {
        const QVariant v = q.value(0);
        if (!v.isNull())
            list << valueText(v);
    }
    const QSqlError error = q.lastError();
    q.finish();
    if (error.isValid())
        Connection::raise(error, sql.text());
    return list;
}

QStringList firstColumn(Sql &&sql)
{
    return firstColumn(sql);
}

// A list that ends with one entry chooses it, except while the dialog loads.
void chooseSingle(const LineInputs &in, const QStringList &list, QString &field)
{
    if (!in.loading && list.size() == 1)
        field = list.first();
}

// Exactly one row gives its first column, anything else empty.
QString singleValue(const ResultSet &rs)
{
    return rs.rowCount() == 1 && rs.columnCount() > 0 ? valueText(rs.value(0, 0)) : QString();
}

// The nature of earlier documents a return draws on.
QString natureCondition(const LineInputs &in)
{
    return in.outsourcing ? QStringLiteral(" AND COALESCE(a.Out_Flag, '0') = '1'")
                          : QStringLiteral(" AND COALESCE(a.Out_Flag, '0') = '0'");
}

// The nature as the line counts keep it: Out_Flag, null read as '0'.
QString nature(const LineInputs &in)
{
    return in.outsourcing ? QStringLiteral("1") : QStringLiteral("0");
}

// COALESCE(column, '') = ? as codes compare, written so that an index on
// the column serves it: a text of blanks alone is the empty code.
QString codeOrEmpty(const QString &column, const QString &value, QList<QVariant> &values)
{
    values << value;
    const bool empty = std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c == QLatin1Char(' '); });
    return empty ? QStringLiteral("(%1 = ? OR %1 IS NULL)").arg(column) : QStringLiteral("%1 = ?").arg(column);
}

qint64 key(const QString &text)
{
    bool ok = false;
    const qint64 k = text.trimmed().toLongLong(&ok);
    return ok ? k : -1;
}

} // namespace

SourceLists::SourceLists(const Connection &conn)
    : m_conn(conn), m_statements(std::make_shared<PreparedStatements>(conn)), m_kept(std::make_shared<KeptLists>())
{}

QString SourceLists::stockModeCondition(const Dialect &d, const QString &orderColumn, const QString &moColumn,
                                        const LineInputs &in, bool nullAsEmpty, QList<QVariant> &values)
{
    const auto column = [&](const QString &c) {
        return nullAsEmpty ? d.codeText(QStringLiteral("COALESCE(%1, '')").arg(c)) : c;
    };
    const QString mode = in.stockMode.trimmed();
    values << (mode == QLatin1String("0") ? QStringLiteral("") : T(in.orderNo));
    values << (mode == QLatin1String("2") ? T(in.moNo) : QStringLiteral(""));
    return QStringLiteral(" AND %1 = ? AND %2 = ?").arg(column(orderColumn), column(moColumn));
}

double SourceLists::leadingNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?)"));
    const QRegularExpressionMatch m = number.match(text);
    // A number no column can hold ("1e309" reads as infinity) is no number.
    const double value = m.hasMatch() ? m.captured(1).toDouble() : 0.0;
    return std::isfinite(value) ? value : 0.0;
}

QString SourceLists::option(const QString &name) const
{
    return SystemOptions(m_conn).value(DbGateway::ChangeStrCode(name)).trimmed();
}

bool SourceLists::issueByOrderUsage() const
{
    return leadingNumber(option(QStringLiteral("按订单用料控制领料"))) != 0;
}

QString SourceLists::orderOfMo(const QString &moNo) const
{
    const QVariant v =
        kept(m_conn.dialect().topN(QStringLiteral("SELECT mmst011.Order_No FROM mmst111 "
                                                  "INNER JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                                                  "WHERE mmst111.Mo_No = ?"),
                                   1))
            .bind(T(moNo))
            .scalar();
    return valueText(v);
}

QString SourceLists::materialKey(const LineInputs &in) const
{
    // Production issues only materials of nature '0'; outsourcing any.
    QString sql = QStringLiteral("SELECT Rec_611 FROM mmst611 WHERE Mtr_No = ?");
    if (!in.outsourcing)
        sql += QStringLiteral(" AND Type = '0'");
    const QString k = singleValue(kept(sql).bind(T(in.mtrNo)).select());
    return k.isEmpty() ? QStringLiteral("-1") : k;
}

QStringList SourceLists::moNumbers(const LineInputs &in) const
{
    if (isReturn(in)) {
        // Manufacturing orders of approved documents of the same nature, from
        // the count the database keeps of their lines (the empty one of lines
        // without a manufacturing order among them): as quick after years of
        // documents as after one.
        return firstColumn(
            kept(QStringLiteral("SELECT Mo_No FROM Mmst412_Mo WHERE Nature = ? ORDER BY Mo_No DESC")).bind(nature(in)));
    }
    if (in.outsourcing) {
        return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst111.Mo_No FROM mmst1213 "
                                               "INNER JOIN mmst111 ON mmst1213.Rec_111 = mmst111.Rec_111 "
                                               "INNER JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                                               "INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                                               "WHERE EXISTS (SELECT 1 FROM mmst381 "
                                               "WHERE mmst381.Order_No = mmst011.Order_No) "
                                               "AND mmst111.Status = '2' AND mmst121.Status = '2' "
                                               "AND mmst121.Pcs_No = ? ORDER BY mmst111.Mo_No DESC"))
                               .bind(notNullText(in.pcsNo)));
    }
    // Approved manufacturing orders whose order holds stock: one seek per
    // order, not a list of every balance's order. PostgreSQL, without
    // statistics, would seek once per manufacturing order instead: the
    // orders with stock are found first, once each.
    if (m_conn.backend() == Backend::PostgreSQL) {
        return firstColumn(kept(QStringLiteral("WITH stocked AS MATERIALIZED (SELECT mmst011.Rec_011 FROM mmst011 "
                                               "WHERE EXISTS (SELECT 1 FROM mmst381 "
                                               "WHERE mmst381.Order_No = mmst011.Order_No)) "
                                               "SELECT mmst111.Mo_No FROM mmst111 WHERE mmst111.Status = '2' "
                                               "AND mmst111.Rec_011 IN (SELECT Rec_011 FROM stocked) "
                                               "ORDER BY mmst111.Mo_No")));
    }
    // SQLite steps through the balances' order index once per order that
    // holds stock, so orders long used up cost nothing: as quick after years
    // of manufacturing orders as after one. The status is no index to take
    // (without statistics the planner would read every approved one).
    if (m_conn.backend() == Backend::SQLite) {
        return firstColumn(kept(QStringLiteral("WITH RECURSIVE stocked(v) AS (SELECT MIN(Order_No) FROM mmst381 "
                                               "UNION ALL SELECT (SELECT MIN(Order_No) FROM mmst381 "
                                               "WHERE Order_No > stocked.v) FROM stocked "
                                               "WHERE stocked.v IS NOT NULL) "
                                               "SELECT mmst111.Mo_No FROM stocked CROSS JOIN mmst011 "
                                               "CROSS JOIN mmst111 WHERE mmst011.Order_No = stocked.v "
                                               "AND mmst111.Rec_011 = mmst011.Rec_011 "
                                               "AND +mmst111.Status = '2' ORDER BY mmst111.Mo_No")));
    }
    return firstColumn(kept(QStringLiteral("SELECT mmst111.Mo_No FROM mmst111 "
                                           "INNER JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                                           "WHERE EXISTS (SELECT 1 FROM mmst381 "
                                           "WHERE mmst381.Order_No = mmst011.Order_No) "
                                           "AND mmst111.Status = '2' ORDER BY mmst111.Mo_No")));
}

std::optional<QStringList> SourceLists::materials(const LineInputs &in) const
{
    if (isReturn(in)) {
        // Materials of the manufacturing order's lines in approved documents
        // of the same nature, from the count the database keeps of them.
        return firstColumn(kept(QStringLiteral("SELECT DISTINCT m.Mtr_No FROM Mmst412_Mtr s "
                                               "INNER JOIN mmst611 m ON m.Rec_611 = s.Rec_611 "
                                               "WHERE s.Nature = ? AND s.Mo_No = ? ORDER BY m.Mtr_No"))
                               .bind(nature(in))
                               .bind(T(in.moNo)));
    }
    if (in.outsourcing) {
        // The outsourcing order's materials, under the manufacturing order or,
        // when the order was outsourced as a whole, under the order.
        if (!T(in.moNo).isEmpty()) {
            return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst611.Mtr_No FROM mmst611 "
                                                   "INNER JOIN mmst1213 ON mmst611.Rec_611 = mmst1213.Rec_611 "
                                                   "INNER JOIN mmst111 ON mmst1213.Rec_111 = mmst111.Rec_111 "
                                                   "INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                                                   "WHERE mmst111.Mo_No = ? AND mmst121.Status = '2' "
                                                   "AND mmst111.Status = '2' AND mmst121.Pcs_No = ? "
                                                   "ORDER BY mmst611.Mtr_No"))
                                   .bind(notNullText(in.moNo))
                                   .bind(notNullText(in.pcsNo)));
        }
        if (!T(in.orderNo).isEmpty()) {
            return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst611.Mtr_No FROM mmst611 "
                                                   "INNER JOIN mmst1213 ON mmst611.Rec_611 = mmst1213.Rec_611 "
                                                   "INNER JOIN mmst011 ON mmst1213.Rec_111 = mmst011.Rec_011 "
                                                   "INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                                                   "WHERE mmst011.Order_No = ? AND mmst121.Status = '2' "
                                                   "AND mmst011.Status = '2' AND mmst121.Pcs_No = ? "
                                                   "ORDER BY mmst611.Mtr_No"))
                                   .bind(T(in.orderNo))
                                   .bind(notNullText(in.pcsNo)));
        }
        return std::nullopt;
    }
    if (T(in.moNo).isEmpty())
        return std::nullopt;
    // The manufacturing order's bill of material.
    return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst611.Mtr_No FROM mmst111 "
                                           "INNER JOIN mmst1141 ON mmst111.Rec_111 = mmst1141.Rec_111 "
                                           "LEFT JOIN mmst611 ON mmst1141.Rec_611 = mmst611.Rec_611 "
                                           "WHERE mmst111.Mo_No = ? ORDER BY mmst611.Mtr_No"))
                           .bind(T(in.moNo)));
}

QStringList SourceLists::sourceReceipts(const LineInputs &in) const
{
    if (isReturn(in)) {
        // A line without a manufacturing order counts as one of the empty
        // manufacturing order; the comparison lets the line index seek.
        QList<QVariant> values{T(in.orderNo)};
        const QString mo = codeOrEmpty(QStringLiteral("b.Mo_No"), T(in.moNo), values);
        values << notNullText(in.mtrNo);
        return firstColumn(kept(QStringLiteral("SELECT DISTINCT b.Frm_Inv FROM Mmst412 b "
                                               "INNER JOIN Mmst411 a ON a.Rec_411 = b.Rec_411 "
                                               "INNER JOIN mmst611 m ON b.Rec_611 = m.Rec_611 "
                                               "WHERE a.Status = '2' AND b.Order_No = ? AND ") +
                                mo + QStringLiteral(" AND m.Mtr_No = ?") + natureCondition(in) +
                                QStringLiteral(" ORDER BY b.Frm_Inv"))
                               .bindAll(values));
    }
    // Stock rows of the material under the mode; the quantity is not asked.
    QList<QVariant> values{T(in.mtrNo)};
    const QString mode =
        stockModeCondition(m_conn.dialect(), QStringLiteral("Order_No"), QStringLiteral("Mo_No"), in, false, values);
    return firstColumn(kept(QStringLiteral("SELECT DISTINCT Frm_Inv FROM mmst381 WHERE Mtr_No = ?") + mode +
                            QStringLiteral(" ORDER BY Frm_Inv"))
                           .bindAll(values));
}

QStringList SourceLists::sourceTypes(const LineInputs &in) const
{
    return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst400.Frm_Type_Name FROM mmst381 "
                                           "LEFT JOIN mmst400 ON mmst381.Frm_Type = mmst400.Frm_Type "
                                           "WHERE mmst381.Frm_Inv = ? ORDER BY mmst400.Frm_Type_Name"))
                           .bind(notNullText(in.frmInv)));
}

QString SourceLists::sourceTypeCode(const QString &typeName) const
{
    const QVariant v = kept(m_conn.dialect().topN(QStringLiteral("SELECT Frm_Type FROM mmst400 WHERE Frm_Type_Name = ? "
                                                                 "ORDER BY Frm_Type"),
                                                  1))
                           .bind(notNullText(typeName))
                           .scalar();
    return valueText(v);
}

QStringList SourceLists::locations(const LineInputs &in) const
{
    // The order and manufacturing order compare as typed, whatever the mode:
    // a line by material finds its locations once both are empty.
    return firstColumn(kept(QStringLiteral("SELECT DISTINCT mmst903.Bar_Name FROM mmst381 "
                                           "INNER JOIN mmst903 ON mmst381.Bar_No = mmst903.Bar_No "
                                           "WHERE mmst381.Frm_Inv = ? AND mmst381.Order_No = ? "
                                           "AND mmst381.Mo_No = ? AND mmst381.Mtr_No = ? "
                                           "ORDER BY mmst903.Bar_Name"))
                           .bindAll({T(in.frmInv), T(in.orderNo), T(in.moNo), T(in.mtrNo)}));
}

QStringList SourceLists::description(const QString &mtrNo) const
{
    const ResultSet rs = kept(QStringLiteral("SELECT Mtr_Name, Mtr_Dim, Unit_Name FROM vmmst611 WHERE Mtr_No = ?"))
                             .bind(notNullText(mtrNo))
                             .select();
    if (rs.rowCount() != 1)
        return {QString(), QString(), QString()};
    return {rs.text(0, 0), rs.text(0, 1), rs.text(0, 2)};
}

QString SourceLists::totalUsage(const LineInputs &in) const
{
    QString sql;
    QList<QVariant> values;
    // Several matching rows (one per colour, or a material listed twice in a
    // bill of material) add up: without an order the first one is arbitrary.
    if (in.invType == QLatin1String("3")) {
        // A supplementary issue may draw up to the stock of its source at the
        // location, under the order as typed.
        values = {T(in.frmInv), T(in.orderNo), T(in.mtrNo), T(in.barName)};
        sql = QStringLiteral("SELECT SUM(mmst381.Mtr_Amt) FROM mmst381 "
                             "INNER JOIN mmst903 ON mmst381.Bar_No = mmst903.Bar_No "
                             "WHERE mmst381.Frm_Inv = ? AND mmst381.Order_No = ? AND mmst381.Mtr_No = ? "
                             "AND mmst903.Bar_Name = ?");
    } else if (in.outsourcing) {
        if (option(QStringLiteral("按订单进行外包")) == QLatin1String("1")) {
            sql = QStringLiteral("SELECT SUM(CEILING(COALESCE(mmst1213.Mtr_Amt, 0) + COALESCE(mmst1213.Loss_Amt, 0))) "
                                 "FROM mmst1213 INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                                 "INNER JOIN mmst011 ON mmst1213.Rec_111 = mmst011.Rec_011 "
                                 "LEFT JOIN mmst611 ON mmst1213.Rec_611 = mmst611.Rec_611 "
                                 "WHERE mmst011.Order_No = ? AND mmst121.Pcs_No = ? AND mmst611.Mtr_No = ?");
            values = {notNullText(in.orderNo), notNullText(in.pcsNo), notNullText(in.mtrNo)};
        } else {
            sql = QStringLiteral("SELECT SUM(CEILING(COALESCE(mmst1213.Mtr_Amt, 0) + COALESCE(mmst1213.Loss_Amt, 0))) "
                                 "FROM mmst1213 INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                                 "INNER JOIN mmst111 ON mmst1213.Rec_111 = mmst111.Rec_111 "
                                 "LEFT JOIN mmst611 ON mmst1213.Rec_611 = mmst611.Rec_611 "
                                 "WHERE mmst111.Mo_No = ? AND mmst121.Pcs_No = ? AND mmst611.Mtr_No = ?");
            values = {notNullText(in.moNo), notNullText(in.pcsNo), notNullText(in.mtrNo)};
        }
    } else if (in.issueByOrderUsage) {
        sql = QStringLiteral("SELECT SUM(CEILING(COALESCE(mmst015.Bom_Amt, 0) + COALESCE(mmst015.Loss_Amt, 0))) "
                             "FROM mmst015 INNER JOIN mmst611 ON mmst015.Rec_611 = mmst611.Rec_611 "
                             "WHERE mmst015.Order_No = ? AND mmst611.Mtr_No = ?");
        values = {T(in.orderNo), notNullText(in.mtrNo)};
    } else {
        sql = QStringLiteral("SELECT SUM(CEILING(COALESCE(mmst1141.Mtr_Amt, 0) + COALESCE(mmst1141.Mtr_Loss, 0))) "
                             "FROM mmst1141 INNER JOIN mmst111 ON mmst1141.Rec_111 = mmst111.Rec_111 "
                             "LEFT JOIN mmst611 ON mmst1141.Rec_611 = mmst611.Rec_611 "
                             "WHERE mmst111.Mo_No = ? AND mmst611.Mtr_No = ?");
        values = {notNullText(in.moNo), notNullText(in.mtrNo)};
    }
    return numberText(kept(sql).bindAll(values).scalar().toDouble());
}

QString SourceLists::issuedQuantity(const LineInputs &in) const
{
    const Dialect &d = m_conn.dialect();
    const bool supplementary = in.invType == QLatin1String("3");
    // Issues and supplementary issues add, returns subtract; a supplementary
    // issue counts only the supplementary issues before it. Documents of
    // either status count.
    QString sql = supplementary
                      ? QStringLiteral("SELECT SUM(b.Mtr_Amt)")
                      : QStringLiteral("SELECT SUM(CASE a.Inv_Type WHEN '1' THEN b.Mtr_Amt WHEN '2' THEN -b.Mtr_Amt "
                                       "WHEN '3' THEN b.Mtr_Amt END)");
    sql += QStringLiteral(" FROM Mmst411 a INNER JOIN Mmst412 b ON a.Rec_411 = b.Rec_411 "
                          "INNER JOIN mmst611 m ON b.Rec_611 = m.Rec_611 "
                          "WHERE b.Mo_No = ? AND b.Order_No = ? AND m.Mtr_No = ? AND %1 = ?")
               .arg(d.codeText(QStringLiteral("COALESCE(a.Pcs_No, '')")));
    QList<QVariant> values{T(in.moNo), supplementary || in.outsourcing ? notNullText(in.orderNo) : T(in.orderNo),
                           T(in.mtrNo), in.outsourcing ? notNullText(in.pcsNo) : QStringLiteral("")};
    if (supplementary)
        sql += QStringLiteral(" AND a.Inv_Type = '3'");
    if (in.modify == 2) {
        sql += QStringLiteral(" AND b.Rec_412 <> ?");
        values << key(in.rec412);
    }
    // Material documents of other modules under the same order, manufacturing
    // order and material, in the same statement: four sums, one round trip.
    sql = QStringLiteral("SELECT (") + sql +
          QStringLiteral("), (SELECT SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '2' THEN -l.Mtr_Amt END) "
                         "FROM mmst407 h INNER JOIN mmst408 l ON h.Rec_407 = l.Rec_407 "
                         "INNER JOIN mmst611 m ON l.Rec_611 = m.Rec_611 "
                         "WHERE l.Mo_No = ? AND l.Order_No = ? AND m.Mtr_No = ?), "
                         "(SELECT SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '2' THEN -l.Mtr_Amt END) "
                         "FROM mmst452 h INNER JOIN mmst4521 l ON h.Rec_452 = l.Rec_452 "
                         "INNER JOIN mmst611 m ON l.Rec_611 = m.Rec_611 "
                         "WHERE l.Mo_No = ? AND l.Order_No = ? AND m.Mtr_No = ?), "
                         "(SELECT SUM(CASE WHEN h.Inv_Type = '1' THEN l.Mtr_Amt ELSE -l.Mtr_Amt END) "
                         "FROM mmst413 h INNER JOIN mmst414 l ON h.Rec_413 = l.Rec_413 "
                         "WHERE l.Order_No = ? AND l.Mo_No = ? AND l.Source_Mtr_No = ?)");
    const QList<QVariant> keyValues{T(in.moNo), notNullText(in.orderNo), T(in.mtrNo)};
    values << keyValues << keyValues << T(in.orderNo) << T(in.moNo) << T(in.mtrNo);
    const ResultSet rs = kept(sql).bindAll(values).select();
    double used = 0;
    for (int c = 0; c < rs.columnCount(); ++c)
        used += rs.value(0, c).toDouble();
    return numberText(used);
}

QString SourceLists::returnableQuantity(const LineInputs &in, const QString &rec611, const QString &typeCode) const
{
    const Dialect &d = m_conn.dialect();
    const bool withSupplementary = option(QStringLiteral("退料已领数量包括补料量")) == QLatin1String("1");
    // Issues count once approved; returns count at once, so a return waiting
    // for approval already lowers what may be returned.
    QString sql;
    QString kinds;
    if (withSupplementary) {
        sql = QStringLiteral("SELECT SUM(CASE a.Inv_Type WHEN '1' THEN b.Mtr_Amt WHEN '2' THEN -b.Mtr_Amt "
                             "WHEN '3' THEN b.Mtr_Amt END)");
        kinds =
            QStringLiteral(" AND (((a.Inv_Type = '1' OR a.Inv_Type = '3') AND a.Status = '2') OR a.Inv_Type = '2')");
    } else if (in.outsourcing) {
        sql = QStringLiteral("SELECT SUM(CASE WHEN a.Inv_Type = '1' THEN b.Mtr_Amt ELSE -b.Mtr_Amt END)");
        kinds = QStringLiteral(" AND ((a.Inv_Type = '1' AND a.Status = '2') OR a.Inv_Type = '2')");
    } else {
        sql = QStringLiteral("SELECT SUM(CASE a.Inv_Type WHEN '1' THEN b.Mtr_Amt WHEN '2' THEN -b.Mtr_Amt END)");
        kinds = QStringLiteral(" AND ((a.Inv_Type = '1' AND a.Status = '2') OR a.Inv_Type = '2')");
    }
    sql += QStringLiteral(" FROM Mmst411 a INNER JOIN Mmst412 b ON a.Rec_411 = b.Rec_411 ");
    sql += in.outsourcing ? QStringLiteral("LEFT JOIN mmst903 ON b.Bar_No = mmst903.Bar_No ")
                          : QStringLiteral("INNER JOIN mmst903 ON b.Bar_No = mmst903.Bar_No ");
    sql += QStringLiteral("WHERE b.Order_No = ? AND b.Mo_No = ? AND b.Frm_Inv = ?") + kinds +
           QStringLiteral(" AND b.Rec_611 = ? AND b.Frm_Type = ?");
    QList<QVariant> values{notNullText(in.orderNo), notNullText(in.moNo), notNullText(in.frmInv), key(rec611),
                           notNullText(typeCode)};
    if (in.outsourcing) {
        sql += QStringLiteral(" AND %1 = ?").arg(d.codeText(QStringLiteral("COALESCE(a.Pcs_No, '')")));
        values << notNullText(in.pcsNo);
    } else {
        sql += QStringLiteral(" AND COALESCE(a.Out_Flag, '0') = '0'");
    }
    if (in.modify == 2) {
        sql += QStringLiteral(" AND b.Rec_412 <> ?");
        values << key(in.rec412);
    }
    return singleValue(kept(sql).bindAll(values).select());
}

QString SourceLists::sourceStock(const LineInputs &in) const
{
    QList<QVariant> values{T(in.mtrNo), T(in.frmInv)};
    const QString mode =
        stockModeCondition(m_conn.dialect(), QStringLiteral("Order_No"), QStringLiteral("Mo_No"), in, true, values);
    return singleValue(kept(QStringLiteral("SELECT SUM(Mtr_Amt) FROM mmst381 WHERE Mtr_No = ? AND Frm_Inv = ?") + mode)
                           .bindAll(values)
                           .select());
}

QString SourceLists::stockSupplier(const LineInputs &in, const QString &typeCode, const QString &current) const
{
    QList<QVariant> values{T(in.frmInv)};
    QString sql = QStringLiteral("SELECT DISTINCT Supl_No FROM mmst381 WHERE Frm_Inv = ?");
    sql += stockModeCondition(m_conn.dialect(), QStringLiteral("Order_No"), QStringLiteral("Mo_No"), in, false, values);
    sql += QStringLiteral(" AND Mtr_No = ? AND Frm_Type = ? ORDER BY Supl_No");
    values << notNullText(in.mtrNo) << notNullText(typeCode);
    const ResultSet rs = kept(sql).bindAll(values).select();
    return rs.isEmpty() ? current : rs.text(0, 0);
}

QString SourceLists::receiptSupplier(const QString &typeName, const QString &frmInv, const QString &current) const
{
    QString table;
    QString keyColumn;
    if (typeName == QStringLiteral("采购入库")) {
        table = QStringLiteral("mmst312");
        keyColumn = QStringLiteral("Purc_No");
    } else if (typeName == QStringLiteral("委外入库")) {
        table = QStringLiteral("mmst314");
        keyColumn = QStringLiteral("Purc_No");
    } else if (typeName == QStringLiteral("其它入库")) {
        table = QStringLiteral("mmst403");
        keyColumn = QStringLiteral("Inv_No");
    } else if (typeName == QStringLiteral("借料入库")) {
        table = QStringLiteral("mmst433");
        keyColumn = QStringLiteral("Inv_No");
    } else {
        return current;
    }
    const QVariant v =
        kept(m_conn.dialect().topN(QStringLiteral("SELECT Supl_No FROM %1 WHERE %2 = ?").arg(table, keyColumn), 1))
            .bind(T(frmInv))
            .scalar();
    return valueText(v);
}

QString SourceLists::supplierPropertyCode(const QString &suplNo) const
{
    const QString prop =
        valueText(kept(m_conn.dialect().topN(QStringLiteral("SELECT Supl_Prop FROM mmst301 WHERE Supl_No = ?"), 1))
                      .bind(notNullText(suplNo))
                      .scalar());
    if (prop == QStringLiteral("可转厂"))
        return QStringLiteral("1");
    if (prop == QStringLiteral("可开发票"))
        return QStringLiteral("2");
    if (prop == QStringLiteral("通知单"))
        return QStringLiteral("3");
    return QStringLiteral("0");
}

namespace {

// PostgreSQL plans a statement kept prepared once for all values after a few
// runs, from the values' average frequency. The refill's statements compare
// codes whose empty value (nothing typed) is the most frequent of all, where
// such a plan reads hundreds of thousands of lines: while the lists refill,
// each run is planned for its own values, and the session's setting comes
// back after it.
class CustomPlans
{
public:
    explicit CustomPlans(PreparedStatements &statements) : m_statements(statements)
    {
        if (statements.connection().backend() != Backend::PostgreSQL)
            return;
        m_previous = Sql(statements, QStringLiteral("SELECT current_setting('plan_cache_mode'), "
                                                    "set_config('plan_cache_mode', 'force_custom_plan', false)"))
                         .scalar()
                         .toString();
    }
    ~CustomPlans()
    {
        if (m_previous.isEmpty())
            return;
        try {
            Sql(m_statements, QStringLiteral("SELECT set_config('plan_cache_mode', ?, false)")).bind(m_previous).exec();
        } catch (const ErpError &) {
            // A lost connection starts its next session with the server's setting.
        }
    }
    CustomPlans(const CustomPlans &) = delete;
    CustomPlans &operator=(const CustomPlans &) = delete;

private:
    PreparedStatements &m_statements;
    QString m_previous;
};

} // namespace

QString SourceLists::returnMosVersion() const
{
    if (m_conn.backend() != Backend::SQLite)
        return {};
    try {
        const QVariant v =
            kept(QStringLiteral("SELECT Version FROM Erp_Summary_Keys WHERE Name = 'Mmst412_Mo'")).scalar();
        return v.isNull() ? QString() : v.toString();
    } catch (const ErpError &) {
        // A database not yet upgraded: the list follows the state token.
        return {};
    }
}

void SourceLists::fill(LineInputs &in, FillResult &out) const
{
    const CustomPlans plans(*m_statements);
    out.stepsDone = 0;
    const auto finished = [&out](FillResult::Step step) { out.stepsDone = step + 1; };
    // Whatever changed in the database since the last refill, lists kept from
    // it are read again.
    const QString token = m_conn.stateToken();
    if (token.isEmpty() || token != m_kept->token) {
        m_kept->lists.clear();
        m_kept->token = token;
    }
    out.sourceSupplierNo = in.sourceSupplierNo;
    out.rec611 = materialKey(in);
    const QString typedMaterial = in.mtrNo;
    finished(FillResult::MaterialKey);

    const QString moKey = QStringLiteral("%1|%2|%3")
                              .arg(isReturn(in) ? QStringLiteral("2") : QStringLiteral("1"), nature(in),
                                   in.outsourcing ? notNullText(in.pcsNo) : QString());
    // A return's list of every manufacturing order ever issued grows with
    // the years: where the database numbers the comings and goings of its
    // keys, it is read again only when one came or went.
    const QString version = isReturn(in) ? returnMosVersion() : QString();
    if (!version.isEmpty()) {
        QPair<QString, QStringList> &kept = m_kept->returnMos[moKey];
        if (kept.first != version)
            kept = {version, moNumbers(in)};
        out.moNoList = kept.second;
    } else {
        if (token.isEmpty() || !m_kept->lists.contains(moKey))
            m_kept->lists.insert(moKey, moNumbers(in));
        out.moNoList = m_kept->lists.value(moKey);
    }
    finished(FillResult::MoList);
    out.mtrNoList = materials(in);
    // Production issues leave the material to the user: the bill of
    // material lists more than one and the first is no better a guess.
    if (isReturn(in) || in.outsourcing)
        chooseSingle(in, out.mtrNoList ? *out.mtrNoList : in.mtrNoList, in.mtrNo);
    finished(FillResult::MaterialList);
    out.frmInvList = sourceReceipts(in);
    chooseSingle(in, out.frmInvList, in.frmInv);
    finished(FillResult::ReceiptList);

    out.frmTypeList = sourceTypes(in);
    chooseSingle(in, out.frmTypeList, in.frmType);
    finished(FillResult::TypeList);
    out.sourceTypeCode = sourceTypeCode(in.frmType);
    finished(FillResult::TypeCode);

    out.barNameList = locations(in);
    chooseSingle(in, out.barNameList, in.barName);
    finished(FillResult::LocationList);

    const QStringList desc = description(in.mtrNo);
    out.mtrName = desc.at(0);
    out.mtrDim = desc.at(1);
    out.unitName = desc.at(2);
    // A material chosen above is the one the amounts are for.
    if (in.mtrNo != typedMaterial)
        out.rec611 = materialKey(in);
    finished(FillResult::Description);

    if (!isReturn(in)) {
        out.totalAmt = totalUsage(in);
        finished(FillResult::TotalUsage);
        out.useAmt = issuedQuantity(in);
        out.getAmt = numberText(out.totalAmt->toDouble() - out.useAmt.toDouble());
    } else {
        finished(FillResult::TotalUsage);
        out.useAmt = returnableQuantity(in, out.rec611, out.sourceTypeCode);
    }
    finished(FillResult::Issued);

    out.barAmt = in.mtrNo.isEmpty() ? QString() : sourceStock(in);
    finished(FillResult::SourceStock);

    if (!in.mtrNo.isEmpty()) {
        out.sourceSupplierNo = stockSupplier(in, out.sourceTypeCode, in.sourceSupplierNo);
        in.sourceSupplierNo = out.sourceSupplierNo;
    }
    finished(FillResult::Supplier);
}

Statement SourceLists::orderPicker(const LineInputs &in) const
{
    const Dialect &d = m_conn.dialect();
    if (in.outsourcing && option(QStringLiteral("按订单进行外包")) == QLatin1String("1")) {
        return {QStringLiteral("SELECT DISTINCT mmst011.Order_No AS \"订单代号\", mmst011.Order_Date AS \"订单日期\", "
                               "mmst011.Comp_No AS \"客户代号\", mmst021.Comp_Name AS \"客户名称\" FROM mmst1213 "
                               "INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                               "INNER JOIN mmst011 ON mmst1213.Rec_111 = mmst011.Rec_011 "
                               "LEFT JOIN mmst021 ON mmst021.Comp_No = mmst011.Comp_No "
                               "WHERE mmst121.Status = '2' AND mmst121.Pcs_No = ? AND %1 ? ORDER BY mmst011.Order_No")
                    .arg(d.codeLike(QStringLiteral("mmst011.Order_No"))),
                {notNullText(in.pcsNo), T(in.orderNo) + QLatin1Char('%')}};
    }
    return {QStringLiteral(
                "SELECT DISTINCT a.Order_No AS \"订单代号\", a.Order_Date AS \"订单日期\", a.Comp_No AS \"客户代号\", "
                "b.Comp_Name AS \"客户名称\" FROM mmst011 a LEFT JOIN mmst021 b ON a.Comp_No = b.Comp_No "
                "WHERE %1 ? AND a.Status = '2' ORDER BY a.Order_No, a.Order_Date")
                .arg(d.codeLike(QStringLiteral("a.Order_No"))),
            {T(in.orderNo) + QLatin1Char('%')}};
}

Statement SourceLists::moPicker(const LineInputs &in) const
{
    const Dialect &d = m_conn.dialect();
    if (in.outsourcing) {
        return {
            QStringLiteral("SELECT DISTINCT mmst111.Mo_No AS \"制号\", mmst011.Order_No AS \"订单代号\" FROM mmst1213 "
                           "INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121 "
                           "INNER JOIN mmst111 ON mmst1213.Rec_111 = mmst111.Rec_111 "
                           "INNER JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                           "WHERE %1 ? AND mmst121.Status = '2' AND mmst121.Pcs_No = ? "
                           "ORDER BY mmst111.Mo_No, mmst011.Order_No")
                .arg(d.codeLike(QStringLiteral("mmst111.Mo_No"))),
            {T(in.moNo) + QLatin1Char('%'), notNullText(in.pcsNo)}};
    }
    return {QStringLiteral("SELECT DISTINCT mmst111.Mo_No AS \"制号\", mmst011.Order_No AS \"订单代号\", "
                           "mmst611.Mtr_No AS \"款号\", mmst112.Cust_Order AS \"客户订单\" FROM mmst111 "
                           "LEFT JOIN mmst112 ON mmst111.Rec_111 = mmst112.Rec_111 "
                           "LEFT JOIN mmst611 ON mmst611.Rec_611 = mmst112.Rec_611 "
                           "LEFT JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
                           "WHERE %1 ? AND mmst111.Status = '2' ORDER BY mmst111.Mo_No")
                .arg(d.codeLike(QStringLiteral("mmst111.Mo_No"))),
            {T(in.moNo) + QLatin1Char('%')}};
}

// What a return may draw on, as its check requires: lines of approved issues
// of the document's nature under the manufacturing order typed (supplementary
// issues too when they count as issued). Added to the return pickers so that
// they offer no source the check then refuses.
QString SourceLists::returnSourceCondition(const LineInputs &in, QList<QVariant> &values) const
{
    const bool withSupplementary = option(QStringLiteral("退料已领数量包括补料量")) == QLatin1String("1");
    QString sql = QStringLiteral(" AND mmst412.Mo_No = ? AND EXISTS (SELECT 1 FROM Mmst411 a WHERE a.Rec_411 = "
                                 "mmst412.Rec_411 AND a.Status = '2' AND ") +
                  (withSupplementary ? QStringLiteral("(a.Inv_Type = '1' OR a.Inv_Type = '3')")
                                     : QStringLiteral("a.Inv_Type = '1'"));
    values << notNullText(in.moNo);
    if (in.outsourcing) {
        sql += QStringLiteral(" AND %1 = ?)").arg(m_conn.dialect().codeText(QStringLiteral("COALESCE(a.Pcs_No, '')")));
        values << notNullText(in.pcsNo);
    } else {
        sql += QStringLiteral(" AND COALESCE(a.Out_Flag, '0') = '0')");
    }
    return sql;
}

Statement SourceLists::materialPicker(const LineInputs &in) const
{
    const Dialect &d = m_conn.dialect();
    const QString head =
        QStringLiteral("SELECT DISTINCT %1.Frm_Inv AS \"来料单号\", mmst400.Frm_Type_Name AS \"来料类型\", "
                       "%1.Order_No AS \"订单代号\", mmst611.Mtr_No AS \"材料代号\", mmst611.Mtr_Name AS \"材料名称\", "
                       "mmst611.Mtr_Dim AS \"材料规格\", mmst605.Color_Name AS \"颜色\", ");
    const QString joins = QStringLiteral(" LEFT JOIN mmst400 ON %1.Frm_Type = mmst400.Frm_Type "
                                         "LEFT JOIN mmst903 ON %1.Bar_No = mmst903.Bar_No "
                                         "LEFT JOIN mmst605 ON %1.Color_No = mmst605.Color_No ");
    QList<QVariant> values{T(in.mtrNo) + QLatin1Char('%')};
    if (isReturn(in)) {
        values << T(in.orderNo);
        const QString sources = returnSourceCondition(in, values);
        return {
            head.arg(QStringLiteral("mmst412")) +
                QStringLiteral("mmst412.Mtr_Amt AS \"已领数量\", mmst903.Bar_Name AS \"仓别\" FROM mmst412 "
                               "LEFT JOIN mmst611 ON mmst412.Rec_611 = mmst611.Rec_611") +
                joins.arg(QStringLiteral("mmst412")) +
                QStringLiteral("WHERE %1 ? AND mmst412.Order_No = ? AND mmst412.Mtr_Amt > 0 AND mmst611.Type <> '4'")
                    .arg(d.codeLike(QStringLiteral("mmst611.Mtr_No"))) +
                sources +
                QStringLiteral(" ORDER BY mmst412.Frm_Inv DESC, mmst412.Order_No, mmst611.Mtr_No DESC"),
            values};
    }
    QString sql = head.arg(QStringLiteral("mmst381")) +
                  QStringLiteral("mmst381.Mtr_Amt AS \"库存数量\", mmst903.Bar_Name AS \"仓别\"");
    sql += in.issueByOrderUsage ? QStringLiteral(", mmst381.P_Mtr AS \"型号\"")
                                : QStringLiteral(", mmst381.Mo_No AS \"制号\", mmst381.P_Mtr AS \"型号\"");
    sql += QStringLiteral(" FROM mmst381 LEFT JOIN mmst611 ON mmst381.Mtr_No = mmst611.Mtr_No") +
           joins.arg(QStringLiteral("mmst381")) +
           QStringLiteral("WHERE %1 ?").arg(d.codeLike(QStringLiteral("mmst611.Mtr_No"))) +
           stockModeCondition(d, QStringLiteral("mmst381.Order_No"), QStringLiteral("mmst381.Mo_No"), in,
                              in.issueByOrderUsage, values) +
           QStringLiteral(" AND mmst381.Mtr_Amt > 0 AND mmst611.Type <> '4' "
                          "ORDER BY mmst381.Frm_Inv DESC, mmst381.Order_No, mmst611.Mtr_No DESC");
    return {sql, values};
}

Statement SourceLists::receiptPicker(const LineInputs &in) const
{
    const Dialect &d = m_conn.dialect();
    const QString head =
        QStringLiteral("SELECT DISTINCT %1.Frm_Inv AS \"来料单号\", mmst400.Frm_Type_Name AS \"来料类型\", "
                       "%1.Order_No AS \"订单代号\", mmst611.Mtr_No AS \"材料代号\", mmst611.Mtr_Name AS \"材料名称\", "
                       "mmst611.Mtr_Dim AS \"材料规格\", %1.Mtr_Amt AS \"%2\", mmst903.Bar_Name AS \"仓别\" ");
    const QString joins = QStringLiteral(" LEFT JOIN mmst400 ON %1.Frm_Type = mmst400.Frm_Type "
                                         "LEFT JOIN mmst903 ON %1.Bar_No = mmst903.Bar_No ");
    if (isReturn(in)) {
        QList<QVariant> values{T(in.mtrNo) + QLatin1Char('%'), T(in.orderNo), T(in.frmInv) + QLatin1Char('%')};
        const QString sources = returnSourceCondition(in, values);
        return {
            head.arg(QStringLiteral("mmst412"), QStringLiteral("已领数量")) +
                QStringLiteral("FROM mmst412 LEFT JOIN mmst611 ON mmst412.Rec_611 = mmst611.Rec_611") +
                joins.arg(QStringLiteral("mmst412")) +
                QStringLiteral("WHERE %1 ? AND mmst412.Order_No = ? AND mmst412.Mtr_Amt > 0 AND %2 ?")
                    .arg(d.codeLike(QStringLiteral("mmst611.Mtr_No")), d.codeLike(QStringLiteral("mmst412.Frm_Inv"))) +
                sources + QStringLiteral(" ORDER BY mmst412.Frm_Inv DESC, mmst412.Order_No, mmst611.Mtr_No DESC"),
            values};
    }
    QList<QVariant> values{T(in.mtrNo)};
    QString sql =
        head.arg(QStringLiteral("mmst381"), QStringLiteral("库存数量")) +
        QStringLiteral("FROM mmst381 LEFT JOIN mmst611 ON mmst381.Mtr_No = mmst611.Mtr_No") +
        joins.arg(QStringLiteral("mmst381")) + QStringLiteral("WHERE mmst611.Mtr_No = ?") +
        stockModeCondition(d, QStringLiteral("mmst381.Order_No"), QStringLiteral("mmst381.Mo_No"), in, true, values) +
        QStringLiteral(" AND mmst381.Mtr_Amt > 0 AND %1 ? "
                       "ORDER BY mmst381.Frm_Inv DESC, mmst381.Order_No, mmst611.Mtr_No DESC")
            .arg(d.codeLike(QStringLiteral("mmst381.Frm_Inv")));
    values << T(in.frmInv) + QLatin1Char('%');
    return {sql, values};
}
