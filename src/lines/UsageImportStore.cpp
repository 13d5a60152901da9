#include "lines/UsageImportStore.h"

#include "services/SystemOptions.h"

#include "platform/core/ErpError.h"
#include "platform/db/Value.h"

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

// The quantities of one family: needed with loss, already issued, still open.
struct Need
{
    QString bom;    // the bill-of-material table
    QString amount; // needed with loss
    QString issued; // issued by earlier documents
    QString open() const { return QStringLiteral("(%1 - %2)").arg(amount, issued); }
};

Need needOf(UsageFamily family)
{
    const QString others = QStringLiteral(" + COALESCE(wai_amt.use_amt, 0) + COALESCE(fa_amt.use_fa, 0)");
    switch (family) {
    case UsageFamily::ManufacturingOrder:
        return {QStringLiteral("Mmst1141"),
                QStringLiteral("(COALESCE(Mmst1141.Mtr_Amt, 0) + COALESCE(Mmst1141.Mtr_Loss, 0))"),
                QStringLiteral("(COALESCE(total_amt.mtr_amt, 0)") + others + QLatin1Char(')')};
    case UsageFamily::Order:
        return {QStringLiteral("Mmst01123"),
                QStringLiteral("(COALESCE(Mmst01123.Mtr_Amt, 0) + COALESCE(Mmst01123.Mtr_Loss, 0))"),
                QStringLiteral("(COALESCE(total_amt.mtr_amt, 0)") + others + QLatin1Char(')')};
    case UsageFamily::Outsourcing:
        break;
    }
    return {QStringLiteral("mmst1213"),
            QStringLiteral("(COALESCE(mmst1213.Mtr_Amt, 0) + COALESCE(mmst1213.Loss_Amt, 0))"),
            QStringLiteral("COALESCE(total_amt.mtr_amt, 0)")};
}

// Issues and supplementary issues count positive; every other kind, a line
// without a header among them, counts negative.
const char *const kIssuedSum = "SUM(CASE WHEN h.Inv_Type = '1' OR h.Inv_Type = '3' THEN l.Mtr_Amt "
                               "ELSE -l.Mtr_Amt END)";
const char *const kOutsourcedSum = "SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '3' THEN l.Mtr_Amt "
                                   "ELSE -l.Mtr_Amt END)";

// The two further material families, grouped by keys and filtered on
// order (and manufacturing order when byMo).
void addFurtherFamilies(Builder &b, const Dialect &d, const QString &bom, bool byMo, const QString &o, const QString &m)
{
    struct Family
    {
        const char *alias, *sumName, *head, *line, *key;
    };
    const Family families[] = {{"wai_amt", "use_amt", "mmst407", "mmst408", "Rec_407"},
                               {"fa_amt", "use_fa", "mmst452", "mmst4521", "Rec_452"}};
    for (const Family &f : families) {
        const QString keys =
            byMo ? QStringLiteral("l.Mo_No, l.Order_No, l.Rec_611") : QStringLiteral("l.Order_No, l.Rec_611");
        b.add(
            QStringLiteral(
                " LEFT JOIN (SELECT %1, SUM(CASE h.Inv_Type WHEN '1' THEN l.Mtr_Amt WHEN '2' THEN -l.Mtr_Amt END) AS %2 "
                "FROM %3 l INNER JOIN %4 h ON h.%5 = l.%5 WHERE %6 ?")
                .arg(keys, QLatin1String(f.sumName), QLatin1String(f.line), QLatin1String(f.head), QLatin1String(f.key),
                     d.codeLike(QStringLiteral("l.Order_No"))),
            o);
        if (byMo)
            b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("l.Mo_No")) + QStringLiteral(" ?"), m);
        const QString alias = QLatin1String(f.alias);
        b.add(QStringLiteral(" GROUP BY %1) %2 ON %2.Order_No = mmst011.Order_No").arg(keys, alias));
        if (byMo)
            b.add(QStringLiteral(" AND %1.Mo_No = Mmst111.Mo_No").arg(alias));
        b.add(QStringLiteral(" AND %1.Rec_611 = %2.Rec_611").arg(alias, bom));
    }
}

// The stock sources S, summed per source key by the document's mode. Colour
// is part of the key: a line must name the balance it was proposed from.
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
    } else if (mode == 1) {
        b.add(d.codeLike(QStringLiteral("Order_No")) + QStringLiteral(" ?"), o);
        b.add(QStringLiteral(" AND ") + noMo);
    } else {
        b.add(d.codeLike(QStringLiteral("Order_No")) + QStringLiteral(" ?"), o);
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("Mo_No")) + QStringLiteral(" ?"), m);
    }
    b.add(QStringLiteral(" GROUP BY ") + keys + (bySupplier ? QStringLiteral(", ") + supplierKeys : QString()) +
          QStringLiteral(") mmst381 ON 1=1"));
}

// Sources of the need's own order (and manufacturing order) only.
void addStockPairing(Builder &b, const Dialect &d, int mode, UsageFamily family)
{
    if (mode != 0)
        b.add(QStringLiteral(" AND mmst381.Order_No = mmst011.Order_No"));
    if (mode == 2) {
        if (family == UsageFamily::Order)
            b.add(QStringLiteral(" AND ") + d.codeText(QStringLiteral("COALESCE(mmst381.Mo_No, '')")) +
                  QStringLiteral(" = ''"));
        else
            b.add(QStringLiteral(" AND mmst381.Mo_No = Mmst111.Mo_No"));
    }
    b.add(QStringLiteral(" AND mmst381.Mtr_No = vmmst611.Mtr_No"));
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

QString selectList(UsageFamily family, const Need &need, bool capped)
{
    const QString open = need.open();
    const QString proposed =
        capped ? QStringLiteral("CASE WHEN mmst381.Mtr_Amt < %1 THEN mmst381.Mtr_Amt ELSE %1 END").arg(open) : open;
    const QString moNo = family == UsageFamily::Order ? QStringLiteral("''") : QStringLiteral("Mmst111.Mo_No");
    const QString model = family == UsageFamily::Order ? QStringLiteral("''") : QStringLiteral("Mmst111.Mtr_Model");
    return QStringLiteral("SELECT '' AS \"Sel\", %1 AS Mo_No, mmst011.Order_No, %2.Rec_611, vmmst611.Mtr_No, "
                          "vmmst611.Mtr_Name, vmmst611.Mtr_Dim, vmmst611.Color_Name, vmmst611.Unit_Name, "
                          "COALESCE(mmst381.Mtr_Amt, 0) AS Bar_Amt, %3 AS Out_Amt, %4 AS Total_Amt, %5 AS Mtr_Amt1, "
                          "%6 AS Mtr_Amt, mmst381.Frm_Inv, mmst381.Frm_Type, mmst400.Frm_Type_Name, mmst381.Bar_No, "
                          "mmst903.Bar_Name, mmst381.Supl_No, mmst381.Prod_No, mmst381.Prod_Name, mmst381.Duty_Weight, "
                          "%7 AS Mtr_Model, mmst381.Color_No")
        .arg(moNo, need.bom, need.amount, need.issued, open, proposed, model);
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
    const Need need = needOf(family);
    const QString issuedSum = QLatin1String(kIssuedSum);
    const QString lineOrder = d.codeLike(QStringLiteral("l.Order_No")) + QStringLiteral(" ?");

    Builder b;
    b.add(selectList(family, need, capped));
    switch (family) {
    case UsageFamily::ManufacturingOrder:
        b.add(QStringLiteral(" FROM Mmst1141 INNER JOIN Mmst111 ON Mmst1141.Rec_111 = Mmst111.Rec_111"
                             " LEFT JOIN mmst011 ON Mmst111.Rec_011 = mmst011.Rec_011"
                             " LEFT JOIN vmmst611 ON Mmst1141.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" LEFT JOIN (SELECT l.Mo_No, l.Order_No, l.Rec_611, %1 AS mtr_amt FROM Mmst412 l "
                             "LEFT JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 WHERE ")
                      .arg(issuedSum) +
                  lineOrder,
              o);
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("l.Mo_No")) + QStringLiteral(" ?"), m);
        b.add(QStringLiteral(
            " GROUP BY l.Mo_No, l.Order_No, l.Rec_611) total_amt ON total_amt.Order_No = mmst011.Order_No"
            " AND total_amt.Mo_No = Mmst111.Mo_No AND total_amt.Rec_611 = Mmst1141.Rec_611"));
        addFurtherFamilies(b, d, need.bom, true, o, m);
        addStock(b, d, mode, bySupplier, family, o, m);
        addStockPairing(b, d, mode, family);
        addSourceNames(b, bySupplier, c.propDuty);
        b.add(QStringLiteral(" WHERE Mmst111.Status = '2' AND ") + d.codeLike(QStringLiteral("Mmst111.Mo_No")) +
                  QStringLiteral(" ?"),
              m);
        b.add(QStringLiteral(" AND ") + d.codeLike(QStringLiteral("mmst011.Order_No")) + QStringLiteral(" ?"), o);
        b.add(QStringLiteral(
                  " AND mmst381.Mtr_Amt > 0 AND %1 > 0 ORDER BY Mmst111.Rec_111, Mmst1141.Rec_611, mmst011.Rec_011, ")
                  .arg(need.open()) +
              QLatin1String(kSourceOrder));
        break;
    case UsageFamily::Order:
        b.add(QStringLiteral(
            " FROM Mmst01123 INNER JOIN mmst011 ON Mmst01123.Rec_011 = mmst011.Rec_011 AND mmst011.Status = '2'"
            " INNER JOIN vmmst611 ON Mmst01123.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" LEFT JOIN (SELECT l.Order_No, l.Rec_611, %1 AS mtr_amt FROM Mmst412 l "
                             "LEFT JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 WHERE ")
                      .arg(issuedSum) +
                  lineOrder,
              o);
        b.add(QStringLiteral(" GROUP BY l.Order_No, l.Rec_611) total_amt ON total_amt.Order_No = mmst011.Order_No"
                             " AND total_amt.Rec_611 = Mmst01123.Rec_611"));
        addFurtherFamilies(b, d, need.bom, false, o, m);
        addStock(b, d, mode, bySupplier, family, o, m);
        addStockPairing(b, d, mode, family);
        addSourceNames(b, bySupplier, c.propDuty);
        b.add(QStringLiteral(" WHERE mmst381.Mtr_Amt > 0 AND ") + d.codeLike(QStringLiteral("mmst011.Order_No")) +
                  QStringLiteral(" ?"),
              o);
        b.add(QStringLiteral(" AND %1 > 0 ORDER BY Mmst01123.Rec_611, ").arg(need.open()) +
              QLatin1String(kSourceOrder) + QStringLiteral(", mmst011.Order_No"));
        break;
    case UsageFamily::Outsourcing:
        // Only the documents of this outsourcing order count as issued.
        b.add(QStringLiteral(" FROM mmst1213 INNER JOIN mmst121 ON mmst1213.Rec_121 = mmst121.Rec_121"
                             " INNER JOIN Mmst111 ON mmst1213.Rec_111 = Mmst111.Rec_111"
                             " LEFT JOIN mmst011 ON Mmst111.Rec_011 = mmst011.Rec_011"
                             " INNER JOIN vmmst611 ON mmst1213.Rec_611 = vmmst611.Rec_611"));
        b.add(QStringLiteral(" LEFT JOIN (SELECT l.Mo_No, l.Rec_611, %1 AS mtr_amt FROM Mmst412 l "
                             "LEFT JOIN Mmst411 h ON h.Rec_411 = l.Rec_411 WHERE h.Pcs_No = ?")
                  .arg(QLatin1String(kOutsourcedSum)),
              notNullText(c.pcsNo.trimmed()));
        b.add(QStringLiteral(" GROUP BY l.Mo_No, l.Rec_611) total_amt ON total_amt.Mo_No = Mmst111.Mo_No"
                             " AND total_amt.Rec_611 = mmst1213.Rec_611"));
        addStock(b, d, mode, bySupplier, family, o, m);
        addStockPairing(b, d, mode, family);
        b.add(QStringLiteral(" AND Mmst111.Status = '2' AND mmst381.Mtr_Amt > 0 AND %1 > 0").arg(need.open()));
        addSourceNames(b, bySupplier, c.propDuty);
        b.add(QStringLiteral(" WHERE mmst121.Pcs_No = ?"), notNullText(c.pcsNo.trimmed()));
        b.add(QStringLiteral(" ORDER BY Mmst111.Rec_111, mmst1213.Rec_611, mmst011.Rec_011, ") +
              QLatin1String(kSourceOrder));
        break;
    }
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
    // Lines of a document deleted meanwhile would belong to nothing.
    if (!Sql(m_conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Rec_411 = ?"))
             .bind(save.rec411)
             .scalar()
             .isValid())
        throw ErpError(ErpErrorNumber::SqlStatement, QStringLiteral("UsageImportStore"),
                       QStringLiteral("Mmst411 %1 no longer exists.").arg(save.rec411));
    qint64 written = 0;
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
    }
    tx.commit();
    return written;
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
