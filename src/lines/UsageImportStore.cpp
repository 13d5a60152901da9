#include "lines/UsageImportStore.h"

#include "platform/db/LongSelect.h"
#include "services/DocumentState.h"
#include "services/HeaderLock.h"
#include "services/SystemOptions.h"

#include "platform/core/ErpError.h"
#include "platform/db/Value.h"

#include <QHash>

#include <cmath>

namespace {

// Text with its values, bound in the order the text is written.
struct Builder
{
    QString text;
    QList<QVariant> values;

    Builder &add(const QString &part)
    {
        text += part;
        return *this;
    }
    Builder &add(const QString &part, const QVariant &value)
    {
        text += part;
        values.append(value);
        return *this;
    }
};

QString prefix(const QString &typed)
{
    return typed.trimmed() + QLatin1Char('%');
}

// Issues and supplementary issues count positive; every other kind, a line
// without a header among them, counts negative.
const char *const kIssuedSum = "SUM(CASE WHEN h.Inv_Type = '1' OR h.Inv_Type = '3' THEN l.Mtr_Amt "
                               "ELSE -l.Mtr_Amt END)";
const char *const kOutsourcedSum = "SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '3' THEN l.Mtr_Amt "
                                   "ELSE -l.Mtr_Amt END)";

// What identifies a need of each family in the statement's tables.
struct Family
{
    const char *bom;    // the bill-of-material table
    const char *amount; // needed with loss
};

Family familyOf(UsageFamily family)
{
    switch (family) {
    case UsageFamily::ManufacturingOrder:
        return {"Mmst1141", "(COALESCE(Mmst1141.Mtr_Amt, 0) + COALESCE(Mmst1141.Mtr_Loss, 0))"};
    case UsageFamily::Order:
        return {"Mmst01123", "(COALESCE(Mmst01123.Mtr_Amt, 0) + COALESCE(Mmst01123.Mtr_Loss, 0))"};
    case UsageFamily::Outsourcing:
        break;
    }
    return {"mmst1213", "(COALESCE(mmst1213.Mtr_Amt, 0) + COALESCE(mmst1213.Loss_Amt, 0))"};
}

// The quantity one need has already had from the lines of one table: a sum
// over its own order (and manufacturing order when byMo) and material, read
// through the index on those keys. The prefixes typed stay as a filter.
void addIssued(Builder &b, const Dialect &d, const QString &sum, const QString &from, const QString &bom, bool byMo,
               const QString &o, const QString &m)
{
    b.add(QStringLiteral("COALESCE((SELECT %1 FROM %2 WHERE l.Order_No = mmst011.Order_No").arg(sum, from));
    if (byMo)
        b.add(QStringLiteral(" AND l.Mo_No = Mmst111.Mo_No"));
    b.add(QStringLiteral(" AND l.Rec_611 = %1.Rec_611 AND ").arg(bom) + d.codeLike(QStringLiteral("l.Order_No")) +
              QStringLiteral(" ?"),
          o);
    if (byMo)
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("l.Mo_No")) + QStringLiteral(" ?"), m);
    b.add(QStringLiteral("), 0)"));
}

// The needs of the family with what is already issued against each, read
// once per bill-of-material line. Everything after them (the stock that
// pairs with a need, the quantities proposed) is driven by these rows.
void addNeeds(Builder &b, const Dialect &d, UsageFamily family, const QString &o, const QString &m, const QString &pcs)
{
    const Family f = familyOf(family);
    const QString bom = QLatin1String(f.bom);
    const bool order = family == UsageFamily::Order;
    b.add(QStringLiteral("WITH needs AS (SELECT %2 AS Rec_111, mmst011.Rec_011 AS Rec_011, "
                         "%3 AS Mo_No, mmst011.Order_No AS Order_No, %1.Rec_611 AS Rec_611, "
                         "vmmst611.Mtr_No AS Mtr_No, vmmst611.Mtr_Name AS Mtr_Name, vmmst611.Mtr_Dim AS Mtr_Dim, "
                         "vmmst611.Color_Name AS Color_Name, vmmst611.Unit_Name AS Unit_Name, %4 AS Mtr_Model, "
                         "%5 AS Out_Amt, ")
              .arg(bom, order ? QStringLiteral("0") : QStringLiteral("Mmst111.Rec_111"),
                   order ? QStringLiteral("''") : QStringLiteral("Mmst111.Mo_No"),
                   order ? QStringLiteral("''") : QStringLiteral("Mmst111.Mtr_Model"), QLatin1String(f.amount)));
    const QString lines = QStringLiteral("Mmst412 l LEFT JOIN Mmst411 h ON h.Rec_411 = l.Rec_411");
    if (family == UsageFamily::Outsourcing) {
        // Only the documents of this outsourcing order count as issued.
        b.add(QStringLiteral("COALESCE((SELECT %1 FROM Mmst411 h INNER JOIN Mmst412 l ON l.Rec_411 = h.Rec_411 "
                             "WHERE h.Pcs_No = ? AND l.Mo_No = Mmst111.Mo_No AND l.Rec_611 = mmst1213.Rec_611), 0)")
                  .arg(QLatin1String(kOutsourcedSum)),
              pcs);
    } else {
        const bool byMo = !order;
        b.add(QStringLiteral("("));
        addIssued(b, d, QLatin1String(kIssuedSum), lines, bom, byMo, o, m);
        // The two further material families.
        const QString further =
            QStringLiteral("SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '2' THEN -l.Mtr_Amt END)");
        b.add(QStringLiteral(" + "));
        addIssued(b, d, further, QStringLiteral("mmst408 l INNER JOIN mmst407 h ON h.Rec_407 = l.Rec_407"), bom, byMo,
                  o, m);
        b.add(QStringLiteral(" + "));
        addIssued(b, d, further, QStringLiteral("mmst4521 l INNER JOIN mmst452 h ON h.Rec_452 = l.Rec_452"), bom, byMo,
                  o, m);
        b.add(QStringLiteral(")"));
    }
    b.add(QStringLiteral(" AS Total_Amt"));
    switch (family) {
    case UsageFamily::ManufacturingOrder:
        b.add(QStringLiteral(" FROM Mmst1141 INNER JOIN Mmst111 ON Mmst1141.Rec_111 = Mmst111.Rec_111"
                             " LEFT JOIN mmst011 ON Mmst111.Rec_011 = mmst011.Rec_011"
                             " LEFT JOIN vmmst611 ON Mmst1141.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" WHERE Mmst111.Status = '2' AND ") + d.codeLike(QStringLiteral("Mmst111.Mo_No")) +
                  QStringLiteral(" ?"),
              m);
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("mmst011.Order_No")) + QStringLiteral(" ?"), o);
        break;
    case UsageFamily::Order:
        b.add(QStringLiteral(
            " FROM Mmst01123 INNER JOIN mmst011 ON Mmst01123.Rec_011 = mmst011.Rec_011 AND mmst011.Status = '2'"
            " INNER JOIN vmmst611 ON Mmst01123.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" WHERE ") + d.codeLike(QStringLiteral("mmst011.Order_No")) + QStringLiteral(" ?"), o);
        break;
    case UsageFamily::Outsourcing:
        b.add(QStringLiteral(" FROM mmst1213 INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121"
                             " INNER JOIN Mmst111 ON mmst1213.Rec_111 = Mmst111.Rec_111"
                             " LEFT JOIN mmst011 ON Mmst111.Rec_011 = mmst011.Rec_011"
                             " INNER JOIN vmmst611 ON mmst1213.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" WHERE mmst121.Pcs_No = ? AND Mmst111.Status = '2'"), pcs);
        break;
    }
    b.add(QStringLiteral(")"));
}

// The stock sources S, summed per source key by the document's mode. Colour
// is part of the key: a line must name the balance it was proposed from.
// Only balances that can pair with a need are read, through the index on
// the key the mode pairs by; a source key is either kept or left out whole.
void addStock(Builder &b, const Dialect &d, int mode, bool bySupplier, UsageFamily family, const QString &o,
              const QString &m)
{
    QString keys = QStringLiteral("Mtr_No, Frm_Inv, Frm_Type, Bar_No, COALESCE(Color_No, '')");
    if (mode == 1)
        keys.prepend(QStringLiteral("Order_No, "));
    else if (mode == 2)
        keys.prepend(QStringLiteral("Mo_No, Order_No, "));
    const QString supplierKeys = QStringLiteral(
        "COALESCE(Supl_No, ''), COALESCE(Prod_No, ''), COALESCE(Prod_Name, ''), COALESCE(Duty_Weight, 0)");
    QString select = keys;
    select.replace(QStringLiteral("COALESCE(Color_No, '')"), QStringLiteral("COALESCE(Color_No, '') AS Color_No"));
    select += bySupplier
                  ? QStringLiteral(", COALESCE(Supl_No, '') AS Supl_No, COALESCE(Prod_No, '') AS Prod_No, "
                                   "COALESCE(Prod_Name, '') AS Prod_Name, COALESCE(Duty_Weight, 0) AS Duty_Weight")
                  : QStringLiteral(", '' AS Supl_No, '' AS Prod_No, '' AS Prod_Name, 0 AS Duty_Weight");
    b.add(QStringLiteral(" INNER JOIN (SELECT %1, SUM(Mtr_Amt) AS Mtr_Amt FROM mmst381 WHERE ").arg(select));
    const QString noOrder = d.codeText(QStringLiteral("COALESCE(Order_No, '')")) + QStringLiteral(" = ''");
    const QString noMo = d.codeText(QStringLiteral("COALESCE(Mo_No, '')")) + QStringLiteral(" = ''");
    if (mode == 0) {
        // Free stock: the bills of material compare with the empty code, the
        // outsourcing order reads a null code as empty too.
        if (family == UsageFamily::Outsourcing)
            b.add(noOrder + QStringLiteral(" AND ") + noMo);
        else
            b.add(QStringLiteral("Order_No = '' AND Mo_No = ''"));
        b.add(QStringLiteral(" AND Mtr_No IN (SELECT Mtr_No FROM needs)"));
    } else if (mode == 1) {
        b.add(d.codeLike(QStringLiteral("Order_No")) + QStringLiteral(" ?"), o);
        b.add(QStringLiteral(" AND ") + noMo);
        b.add(QStringLiteral(" AND Order_No IN (SELECT Order_No FROM needs)"));
    } else {
        b.add(d.codeLike(QStringLiteral("Order_No")) + QStringLiteral(" ?"), o);
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("Mo_No")) + QStringLiteral(" ?"), m);
        // An order's need takes only stock of no manufacturing order; the
        // like above has already left out a null one.
        if (family == UsageFamily::Order)
            b.add(QStringLiteral(" AND Mo_No = '' AND Order_No IN (SELECT Order_No FROM needs)"));
        else
            b.add(QStringLiteral(" AND Mo_No IN (SELECT Mo_No FROM needs)"));
    }
    b.add(QStringLiteral(" GROUP BY ") + keys + (bySupplier ? QStringLiteral(", ") + supplierKeys : QString()) +
          QStringLiteral(") mmst381 ON 1=1"));
}

// Sources of the need's own order (and manufacturing order) only.
void addStockPairing(Builder &b, const Dialect &d, int mode, UsageFamily family)
{
    if (mode != 0)
        b.add(QStringLiteral(" AND mmst381.Order_No = n.Order_No"));
    if (mode == 2) {
        if (family == UsageFamily::Order)
            b.add(QStringLiteral(" AND ") + d.codeText(QStringLiteral("COALESCE(mmst381.Mo_No, '')")) +
                  QStringLiteral(" = ''"));
        else
            b.add(QStringLiteral(" AND mmst381.Mo_No = n.Mo_No"));
    }
    b.add(QStringLiteral(" AND mmst381.Mtr_No = n.Mtr_No"));
}

// Names, and the supplier whose nature fits the when the option asks for it.
void addSourceNames(Builder &b, bool bySupplier, const QString &propDuty)
{
    b.add(QStringLiteral(" LEFT JOIN mmst903 ON mmst903.Bar_No = mmst381.Bar_No"
                         " LEFT JOIN mmst400 ON mmst400.Frm_Type = mmst381.Frm_Type"));
    if (!bySupplier)
        return;
    const QString transfer = QStringLiteral("可转厂");
    const QString invoice = QStringLiteral("可开发票");
    const QString join = QStringLiteral(" INNER JOIN mmst301 ON mmst381.Supl_No = mmst301.Supl_No AND ");
    const QString p = propDuty.trimmed();
    if (p == QLatin1String("0"))
        b.add(join + QStringLiteral("mmst301.Supl_Prop <> ?"), transfer)
            .add(QStringLiteral(" AND mmst301.Supl_Prop <> ?"), invoice);
    else if (p == QLatin1String("1"))
        b.add(join + QStringLiteral("mmst301.Supl_Prop = ?"), transfer);
    else if (p == QLatin1String("2"))
        b.add(join + QStringLiteral("mmst301.Supl_Prop = ?"), invoice);
}

const char *const kOpen = "(n.Out_Amt - n.Total_Amt)";

QString selectList(bool capped)
{
    const QString open = QLatin1String(kOpen);
    const QString proposed =
        capped ? QStringLiteral("CASE WHEN mmst381.Mtr_Amt < %1 THEN mmst381.Mtr_Amt ELSE %1 END").arg(open) : open;
    return QStringLiteral(" SELECT '' AS \"Sel\", n.Mo_No AS Mo_No, n.Order_No AS Order_No, n.Rec_611 AS Rec_611, "
                          "n.Mtr_No AS Mtr_No, n.Mtr_Name AS Mtr_Name, n.Mtr_Dim AS Mtr_Dim, "
                          "n.Color_Name AS Color_Name, n.Unit_Name AS Unit_Name, "
                          "COALESCE(mmst381.Mtr_Amt, 0) AS Bar_Amt, n.Out_Amt AS Out_Amt, n.Total_Amt AS Total_Amt, "
                          "%1 AS Mtr_Amt1, %2 AS Mtr_Amt, mmst381.Frm_Inv, mmst381.Frm_Type, mmst400.Frm_Type_Name, "
                          "mmst381.Bar_No, mmst903.Bar_Name, mmst381.Supl_No, mmst381.Prod_No, mmst381.Prod_Name, "
                          "mmst381.Duty_Weight, n.Mtr_Model AS Mtr_Model, mmst381.Color_No FROM needs n")
        .arg(open, proposed);
}

// Ties between equal sources are broken the same way on every server.
const char *const kSourceOrder =
    "COALESCE(mmst381.Mtr_Amt, 0) DESC, mmst381.Frm_Inv, mmst381.Frm_Type, mmst381.Bar_No, "
    "mmst381.Color_No, mmst381.Supl_No";

int normalMode(int mode)
{
    return mode == 0 || mode == 1 ? mode : 2;
}

} // namespace

UsageFamily UsageCriteria::family() const
{
    if (!production)
        return UsageFamily::Outsourcing;
    return byOrder ? UsageFamily::Order : UsageFamily::ManufacturingOrder;
}

UsageImportStore::UsageImportStore(const Connection &conn) : m_conn(conn) {}

QString UsageImportStore::option(const QString &itemNo) const
{
    return SystemOptions(m_conn).value(itemNo);
}

bool UsageImportStore::uncappedSite() const
{
    const QVariant v =
        Sql(m_conn, m_conn.dialect().topN(QStringLiteral("SELECT Rpt_Dir FROM mmst000 WHERE Rpt_Dir = ?"), 1))
            .bind(QString::fromLatin1(UncappedSiteCode))
            .scalar();
    return !valueText(v).isEmpty();
}

Statement UsageImportStore::proposalStatement(const UsageCriteria &c) const
{
    const Dialect &d = m_conn.dialect();
    const UsageFamily family = c.family();
    const int mode = normalMode(c.stockMode);
    const bool bySupplier = option(QString::fromUtf8(OptionSupplierNature)).trimmed() == QLatin1String("1");
    const bool capped = !(family == UsageFamily::ManufacturingOrder && uncappedSite());
    const QString o = prefix(c.orderNo);
    const QString m = prefix(c.moNo);
    const QString pcs = notNullText(c.pcsNo.trimmed());

    Builder b;
    addNeeds(b, d, family, o, m, pcs);
    b.add(selectList(capped));
    addStock(b, d, mode, bySupplier, family, o, m);
    addStockPairing(b, d, mode, family);
    addSourceNames(b, bySupplier, c.propDuty);
    b.add(QStringLiteral(" WHERE mmst381.Mtr_Amt > 0 AND %1 > 0 ORDER BY ").arg(QLatin1String(kOpen)));
    if (family == UsageFamily::Order)
        b.add(QStringLiteral("n.Rec_611, ") + QLatin1String(kSourceOrder) + QStringLiteral(", n.Order_No"));
    else
        b.add(QStringLiteral("n.Rec_111, n.Rec_611, n.Rec_011, ") + QLatin1String(kSourceOrder));
    return {b.text, b.values};
}

ResultSet UsageImportStore::proposals(const UsageCriteria &criteria) const
{
    // One statement over the bills of material, three sums and the stock:
    // on a large database it may run long.
    // The long limit is for this statement only; the other work of the
    // window must not wait minutes for a lock.
    m_conn.setCommandTimeout(600);
    const Statement s = proposalStatement(criteria);
    try {
        ResultSet rs = Sql(m_conn, s.text).bindAll(s.values).select();
        m_conn.resetCommandTimeout();
        return rs;
    } catch (...) {
        m_conn.resetCommandTimeout();
        throw;
    }
}

std::optional<ResultSet> UsageImportStore::proposals(const UsageCriteria &criteria,
                                                     const std::function<bool(qint64)> &keepGoing) const
{
    return selectWithProgress(m_conn, proposalStatement(criteria), 600, keepGoing);
}

Statement UsageImportStore::orderPicker(const QString &orderPrefix) const
{
    return {QStringLiteral(
                "SELECT DISTINCT a.Order_No AS \"订单代号\", a.Order_Date AS \"订单日期\", a.Comp_No AS \"客户代号\", "
                "b.Comp_Name AS \"客户名称\" FROM Mmst011 a LEFT JOIN Mmst021 b ON a.Comp_No = b.Comp_No "
                "WHERE %1 ? AND a.Status = '2' ORDER BY \"订单代号\", \"订单日期\"")
                .arg(m_conn.dialect().codeLike(QStringLiteral("a.Order_No"))),
            {prefix(orderPrefix)}};
}

Statement UsageImportStore::moPicker(const QString &moPrefix) const
{
    Statement s;
    s.text = QStringLiteral(
        "SELECT DISTINCT mmst111.Mo_No AS \"制号\", mmst111.Mo_Date AS \"制单日期\", mmst111.Over_Date AS \"落货日期\", "
        "mmst011.Order_No AS \"订单号\", mmst011.Order_Date AS \"订单日期\", mmst021.Comp_Name AS \"客户简称\", "
        "vmmst611.Mtr_No AS \"款号\", vmmst611.Mtr_Model AS \"型号\", mmst605.Color_Name AS \"颜色\", "
        "vmmst611.Mtr_Name AS \"名称\", vmmst611.Mtr_Dim AS \"规格\", mmst112.Mtr_Amt AS \"生产数量\", "
        "vmmst611.Unit_Name AS \"单位\", mmst112.Deliv_Date AS \"交期\", mmst112.Cust_Order AS \"客户订单号\", "
        "mmst112.Cust_Mtr AS \"客户款号\" FROM mmst111 LEFT JOIN mmst011 ON mmst111.Rec_011 = mmst011.Rec_011 "
        "INNER JOIN mmst112 ON mmst112.Rec_111 = mmst111.Rec_111 LEFT JOIN vmmst611 ON vmmst611.Rec_611 = mmst112.Rec_611 "
        "LEFT JOIN mmst605 ON mmst605.Color_No = mmst112.Color_No LEFT JOIN mmst021 ON mmst011.Comp_No = mmst021.Comp_No "
        "WHERE mmst111.Status = '2' AND vmmst611.Type <> '0'");
    if (!moPrefix.trimmed().isEmpty()) {
        s.text +=
            QStringLiteral(" AND ") + m_conn.dialect().codeLike(QStringLiteral("mmst111.Mo_No")) + QStringLiteral(" ?");
        s.values.append(prefix(moPrefix));
    }
    s.text += QStringLiteral(" ORDER BY \"制号\" DESC, \"订单号\" DESC");
    return s;
}

std::optional<UsageLine> UsageLine::fromCells(const QStringList &cells)
{
    const auto cell = [&](int column) { return notNullText(cells.value(column).trimmed()); };
    UsageLine line;
    line.moNo = cell(UsageImportStore::ColMoNo);
    const QString rec611 = cell(UsageImportStore::ColRec611);
    if (line.moNo.isEmpty() && rec611.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 key = rec611.toLongLong(&ok);
    line.rec611 = ok ? QVariant(key) : QVariant();
    line.orderNo = cell(UsageImportStore::ColOrderNo);
    line.mtrAmt = UsageImportStore::leadingNumber(cell(UsageImportStore::ColMtrAmt));
    line.frmInv = cell(UsageImportStore::ColFrmInv);
    line.frmType = cell(UsageImportStore::ColFrmType);
    line.pMtr = cell(UsageImportStore::ColMtrModel);
    line.barNo = cell(UsageImportStore::ColBarNo);
    line.suplNo = cell(UsageImportStore::ColSuplNo);
    line.prodNo = cell(UsageImportStore::ColProdNo);
    line.prodName = cell(UsageImportStore::ColProdName);
    line.dutyWeight = UsageImportStore::leadingNumber(cell(UsageImportStore::ColDutyWeight));
    line.colorNo = cell(UsageImportStore::ColColorNo);
    return line;
}

qint64 UsageImportStore::writeLines(const UsageSave &save) const
{
    const Written w = write(save);
    if (!w.refusal.isEmpty())
        throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("UsageImportStore"), w.refusal);
    return w.lines;
}

UsageImportStore::Written UsageImportStore::write(const UsageSave &save) const
{
    // A negative quantity would turn the line's stock movement around.
    for (const UsageLine &line : save.lines) {
        if (!std::isfinite(line.mtrAmt) || line.mtrAmt < 0 || !std::isfinite(line.dutyAmt()))
            throw ErpError(ErpErrorNumber::Overflow, QStringLiteral("UsageImportStore"),
                           QString::fromUtf8(MsgBadQuantity));
    }
    // The document's choice as it stands, its position written as it is.
    const QString mode = QString::number(save.stockMode);
    const QString updDate = save.updDate.toString(QStringLiteral("yyyy-MM-dd"));

    Transaction tx(m_conn, Transaction::Write);
    // Lines join only an open document: one approved, closed or deleted
    // meanwhile keeps the lines it has.
    Written outcome;
    const QString status = holdOpenHeader(m_conn, save.rec411);
    if (!status.isEmpty()) {
        outcome.refusal = notOpenText(status);
        return outcome;
    }
    qint64 written = 0;
    HistoryActor who = save.who;
    if (who.userName.isEmpty())
        who.userName = save.userName;
    // Material numbers for the history rows, read once.
    QHash<qint64, QString> materials;
    const bool history = DocumentHistory::isKept(m_conn);
    PreparedStatements statements(m_conn);
    for (const UsageLine &line : save.lines) {
        Sql(m_conn, QStringLiteral(
                        "INSERT INTO Mmst412 (Rec_411, Mo_No, Order_No, Rec_611, Mtr_Amt, Frm_Inv, Frm_Type, P_Mtr, "
                        "Bar_No, Supl_No, Prod_No, Prod_Name, Duty_Weight, Duty_Amt, Stock_Mode, Upd_Name, Upd_Date, "
                        "Color_No) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
            .bindAll({save.rec411, notNullText(line.moNo.trimmed()), notNullText(line.orderNo.trimmed()), line.rec611,
                      line.mtrAmt, notNullText(line.frmInv.trimmed()), notNullText(line.frmType.trimmed()),
                      notNullText(line.pMtr.trimmed()), notNullText(line.barNo.trimmed()),
                      notNullText(line.suplNo.trimmed()), notNullText(line.prodNo.trimmed()),
                      notNullText(line.prodName.trimmed()), line.dutyWeight, line.dutyAmt(), mode,
                      notNullText(save.userName), updDate, notNullText(line.colorNo.trimmed())})
            .exec();
        ++written;
        if (!history)
            continue;
        const qint64 material = line.rec611.toLongLong();
        auto known = materials.find(material);
        if (known == materials.end())
            known = materials.insert(
                material, valueText(Sql(statements, QStringLiteral("SELECT Mtr_No FROM mmst611 WHERE Rec_611 = ?"))
                                        .bind(line.rec611)
                                        .scalar()));
        DocumentHistory::record(statements, save.rec411, HistoryKind::LineAdded,
                                DocumentHistory::lineText(*known, line.frmInv, line.mtrAmt), who);
    }
    tx.commit();
    outcome.lines = written;
    return outcome;
}

UsageImportStore::QuantityCheck UsageImportStore::checkQuantity(const QString &typed)
{
    bool ok = false;
    const double value = typed.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return QuantityCheck::NotANumber;
    return value < 0 ? QuantityCheck::Negative : QuantityCheck::Accepted;
}

double UsageImportStore::leadingNumber(const QString &typed)
{
    const QString s = typed.trimmed();
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < s.size() && s.at(i).isDigit() && s.at(i).unicode() < 128)
            ++i;
        return i - from;
    };
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < s.size() && s.at(i) == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return 0;
    qsizetype end = i;
    if (i < s.size() && (s.at(i) == u'e' || s.at(i) == u'E')) {
        ++i;
        if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-'))
            ++i;
        if (digits() > 0)
            end = i;
    }
    const double value = s.left(end).toDouble();
    return std::isfinite(value) ? value : 0;
}
