#include "lines/LineStore.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"
#include "services/DocumentState.h"
#include "services/FieldLimits.h"
#include "services/HeaderLock.h"

#include <cmath>

namespace {

QString T(const QString &s)
{
    return notNullText(s.trimmed());
}

// A key given as text; -1 (no row) when it is not a number.
qint64 key(const QString &text)
{
    bool ok = false;
    const double k = text.trimmed().toDouble(&ok);
    // Beyond the range of a key it is no key (and no conversion to make).
    return ok && std::isfinite(k) && std::fabs(k) < 9.0e15 ? qint64(k) : -1;
}

QString firstText(const ResultSet &rs)
{
    return rs.isEmpty() ? QString() : rs.text(0, 0);
}

LineRefusal told(const QString &text, LineField focus = LineField::None, int style = 0, const QString &title = {})
{
    LineRefusal r;
    r.text = text;
    r.focus = focus;
    r.style = style;
    r.title = title;
    return r;
}

// A refusal the gateway's row count shows: "ReturnRecCount_1" when no row
// was found, "ReturnRecCount_2" when one was.
LineRefusal counted(const QString &text, bool whenEmpty, LineField focus)
{
    LineRefusal r = told(text, focus);
    r.formName = QStringLiteral("PublicFunction");
    r.messageId = whenEmpty ? QStringLiteral("ReturnRecCount_1") : QStringLiteral("ReturnRecCount_2");
    return r;
}

} // namespace

LineStore::LineStore(const Connection &conn) : m_conn(conn), m_lists(conn) {}

CheckedLine LineStore::check(const LineEntry &line) const
{
    const Dialect &d = m_conn.dialect();
    CheckedLine c;
    c.sourceSupplierNo = line.sourceSupplierNo;
    const auto refuse = [&c](const LineRefusal &r) {
        c.refusal = r;
        return c;
    };
    const auto rows = [this](const QString &sql, const QList<QVariant> &values) {
        return Sql(m_conn, sql).bindAll(values).select();
    };

    c.sourceTypeCode = m_lists.sourceTypeCode(line.frmType);
    const QString kind = line.invType.trimmed();
    if (kind != QLatin1String("1") && kind != QLatin1String("2") && kind != QLatin1String("3"))
        return refuse(told(QStringLiteral("程序错误,不正确的单据类型!")));
    // Texts a server cannot store are refused here, not by its driver.
    for (const auto &[text, focus] :
         {std::pair{&line.orderNo, LineField::Order_No}, std::pair{&line.moNo, LineField::Mo_No},
          std::pair{&line.mtrNo, LineField::Mtr_No}, std::pair{&line.frmInv, LineField::Frm_inv},
          std::pair{&line.barName, LineField::Bar_Name}, std::pair{&line.colorName, LineField::Color_Name},
          std::pair{&line.remark, LineField::Remark}})
        if (FieldLimits::hasControlCharacters(*text))
            return refuse(told(FieldLimits::controlCharactersMessage(), focus));
    bool headerIsNumber = false;
    line.rec411.trimmed().toDouble(&headerIsNumber);
    if (!headerIsNumber)
        return refuse(told(QStringLiteral("怪事^_^,上级记录号竟会是空值,这是程序错误!")));
    if (line.issueByOrderUsage && T(line.orderNo).isEmpty() &&
        line.headerStockModeText.trimmed() == QStringLiteral("按订单"))
        return refuse(told(QStringLiteral("请输入订单!"), LineField::Order_No));
    if (T(line.mtrNo).isEmpty())
        return refuse(told(QStringLiteral("请输入材料代号!"), LineField::Mtr_No));

    // Only materials of nature '0' are drawn, whatever the kind and nature.
    const ResultSet material =
        rows(QStringLiteral("SELECT Rec_611 FROM mmst611 WHERE Mtr_No = ? AND Type = '0'"), {T(line.mtrNo)});
    c.rec611 = material.rowCount() == 1 ? material.text(0, 0) : QString();
    if (c.rec611.isEmpty())
        return refuse(told(QStringLiteral("该材料代号不存在,请重新输入!"), LineField::Mtr_No));

    // One material once per source receipt, order and manufacturing order.
    QString duplicate = QStringLiteral("SELECT Rec_611 FROM Mmst412 WHERE Rec_411 = ? AND Rec_611 = ? AND Order_No = ? "
                                       "AND Frm_Inv = ? AND Mo_No = ?");
    QList<QVariant> duplicateValues{key(line.rec411), key(c.rec611), T(line.orderNo), T(line.frmInv), T(line.moNo)};
    if (line.modify == 2) {
        duplicate += QStringLiteral(" AND Rec_412 <> ?");
        duplicateValues << key(line.rec412);
    }
    if (!rows(duplicate, duplicateValues).isEmpty())
        return refuse(counted(QStringLiteral("此材料已经存在於本单中"), false, LineField::Mtr_No));

    if (T(line.barName).isEmpty())
        return refuse(told(QStringLiteral("请输入仓别"), LineField::Bar_Name));
    c.barNo = firstText(rows(d.topN(QStringLiteral("SELECT Bar_No FROM mmst903 WHERE Bar_Name = ? ORDER BY Bar_No"), 1),
                             {T(line.barName)}));
    if (c.barNo.isEmpty())
        return refuse(told(QStringLiteral("无此仓别资料."), LineField::Bar_Name));

    c.quantity = SourceLists::leadingNumber(line.mtrAmt);
    // Mtr_Amt is decimal(18,4): at most 14 digits before the point.
    if (!(c.quantity > 0) || c.quantity >= 1e14)
        return refuse(told(QStringLiteral("请输入正确的数量."), LineField::Mtr_Amt, 48, QStringLiteral("提示信息")));
    const QString q = numberText(c.quantity);

    if (kind == QLatin1String("2")) {
        // The source must have left the warehouse on an approved issue.
        const QString anyMaterial =
            firstText(rows(QStringLiteral("SELECT Rec_611 FROM mmst611 WHERE Mtr_No = ?"), {T(line.mtrNo)}));
        if (rows(QStringLiteral("SELECT b.Frm_Inv FROM Mmst411 a INNER JOIN Mmst412 b ON a.Rec_411 = b.Rec_411 "
                                "WHERE a.Status = '2' AND a.Inv_Type <> '2' AND b.Order_No = ? AND b.Mo_No = ? "
                                "AND b.Rec_611 = ? AND b.Frm_Inv = ?"),
                 {T(line.orderNo), notNullText(line.moNo), key(anyMaterial), notNullText(line.frmInv)})
                .isEmpty())
            return refuse(counted(QStringLiteral("此来料单号无此材料"), true, LineField::Mtr_No));
        // What is still returnable is read now, not taken from the screen.
        c.useAmt = m_lists.returnableQuantity(line, c.rec611, c.sourceTypeCode);
        const double u = SourceLists::leadingNumber(c.useAmt);
        if (!(u > 0))
            return refuse(told(QStringLiteral("当前来料单号:") + T(line.frmInv) + QStringLiteral("+订单代号:") +
                                   T(line.orderNo) + QStringLiteral("+材料:") + T(line.mtrNo) +
                                   QStringLiteral("没有领料或领料单未审核，不能退料!"),
                               LineField::Bar_Name));
        if (c.quantity > u)
            return refuse(told(QStringLiteral("当前数量:") + q + QStringLiteral(">累计可退数量:") + c.useAmt,
                               LineField::Mtr_Amt));
    } else {
        QList<QVariant> values{T(line.frmInv)};
        QString sql =
            QStringLiteral("SELECT Frm_Inv FROM mmst388 WHERE Frm_Inv = ?") +
            SourceLists::stockModeCondition(d, QStringLiteral("Order_No"), QStringLiteral("Mo_No"), line, true, values);
        if (rows(sql, values).isEmpty())
            return refuse(counted(QStringLiteral("此订单或制号下无此来料单号"), true, LineField::Frm_inv));

        values = {T(line.frmInv), T(line.mtrNo)};
        sql = QStringLiteral("SELECT mmst611.Mtr_No FROM mmst611 INNER JOIN mmst381 ON mmst611.Mtr_No = mmst381.Mtr_No "
                             "WHERE mmst381.Frm_Inv = ? AND mmst611.Mtr_No = ?");
        if (!line.outsourcing)
            sql += QStringLiteral(" AND mmst611.Type = '0'");
        sql += SourceLists::stockModeCondition(d, QStringLiteral("mmst381.Order_No"), QStringLiteral("mmst381.Mo_No"),
                                               line, true, values) +
               QStringLiteral(" AND mmst381.Mtr_Amt > 0");
        if (rows(sql, values).isEmpty())
            return refuse(counted(QStringLiteral("此来料单号无此材料"), true, LineField::Mtr_No));

        // The stock of the line's own key at the location, its colour
        // included: approval draws on that balance alone, so stock of the
        // same source in other colours does not cover the line.
        values = {T(line.frmInv), T(line.mtrNo)};
        sql =
            QStringLiteral("SELECT mmst381.Mtr_Amt FROM mmst381 INNER JOIN mmst903 ON mmst381.Bar_No = mmst903.Bar_No "
                           "WHERE mmst381.Frm_Inv = ? AND mmst381.Mtr_No = ?") +
            SourceLists::stockModeCondition(d, QStringLiteral("mmst381.Order_No"), QStringLiteral("mmst381.Mo_No"),
                                            line, true, values) +
            QStringLiteral(" AND mmst381.Mtr_Amt > 0 AND mmst903.Bar_Name = ? AND mmst381.Frm_Type = ? AND %1 = ?")
                .arg(d.codeText(QStringLiteral("COALESCE(mmst381.Color_No, '')")));
        values << T(line.barName) << notNullText(c.sourceTypeCode) << notNullText(colourNumber(line.colorName));
        const ResultSet stock = rows(sql, values);
        if (stock.isEmpty())
            return refuse(told(QStringLiteral("当前来料单号:") + T(line.frmInv) + QStringLiteral("+订单代号:") +
                                   T(line.orderNo) + QStringLiteral("+ 制号:") + T(line.moNo) +
                                   QStringLiteral("+材料:") + T(line.mtrNo) + QStringLiteral("+仓别:") +
                                   T(line.barName) + QStringLiteral("无库存，无法领料!"),
                               LineField::Bar_Name));
        double s = 0;
        for (qint64 r = 0; r < stock.rowCount(); ++r)
            s += stock.value(r, 0).toDouble();
        if (c.quantity > s)
            return refuse(told(QStringLiteral("当前数量:") + q + QStringLiteral(">库存数量:") + numberText(s),
                               LineField::Mtr_Amt, 64, QStringLiteral("提示")));
    }

    c.sourceSupplierNo = m_lists.receiptSupplier(line.frmType, line.frmInv, line.sourceSupplierNo);
    c.supplierPropertyCode = m_lists.supplierPropertyCode(c.sourceSupplierNo);
    if (m_lists.option(QStringLiteral("领料严格按厂商性质")) == QLatin1String("1")) {
        const QString nature = line.propDuty.trimmed();
        const QString head = QStringLiteral("此来料单号的厂商 (") + c.sourceSupplierNo + QStringLiteral(") ");
        // A supplier without a recorded property passes none of the tests,
        // as in the usage import.
        const QString sql = QStringLiteral("SELECT Supl_Prop FROM mmst301 WHERE Supl_No = ?");
        if (nature == QLatin1String("1")) {
            if (rows(sql + QStringLiteral(" AND Supl_Prop = '可转厂'"), {notNullText(c.sourceSupplierNo)}).isEmpty())
                return refuse(counted(head + QStringLiteral("的性质不是转厂的"), true, LineField::Frm_inv));
        } else if (nature == QLatin1String("2")) {
            if (rows(sql + QStringLiteral(" AND Supl_Prop = '可开发票'"), {notNullText(c.sourceSupplierNo)}).isEmpty())
                return refuse(counted(head + QStringLiteral("的性质不是开发票的"), true, LineField::Frm_inv));
        } else if (nature == QLatin1String("0")) {
            if (rows(sql + QStringLiteral(" AND Supl_Prop <> '可开发票' AND Supl_Prop <> '可转厂'"),
                     {notNullText(c.sourceSupplierNo)})
                    .isEmpty())
                return refuse(counted(head + QStringLiteral("的性质可能是：可转厂或开发票的 "), true, LineField::Frm_inv));
        }
    }
    return c;
}

QString LineStore::colourNumber(const QString &colorName) const
{
    return valueText(
        Sql(m_conn, m_conn.dialect().topN(
                        QStringLiteral("SELECT Color_No FROM mmst605 WHERE Color_Name = ? ORDER BY Color_No"), 1))
            .bind(T(colorName))
            .scalar());
}

bool LineStore::write(const LineEntry &line, const CheckedLine &c, qint64 &rec412, QString &detail) const
{
    const QString now = DocumentHistory::lineText(T(line.mtrNo), T(line.frmInv), c.quantity);
    const QString colorNo = colourNumber(line.colorName);
    const QList<QVariant> values{key(line.rec411),
                                 key(c.rec611),
                                 T(line.frmInv),
                                 notNullText(c.sourceTypeCode),
                                 T(line.orderNo),
                                 T(line.moNo),
                                 c.quantity,
                                 notNullText(c.barNo),
                                 notNullText(line.userName),
                                 DbGateway::serverNow(m_conn),
                                 T(line.remark),
                                 notNullText(c.supplierPropertyCode),
                                 QString::number(line.lineStockMode < 0 ? 0 : line.lineStockMode),
                                 notNullText(colorNo)};
    static const QString columns =
        QStringLiteral("Rec_411, Rec_611, Frm_Inv, Frm_Type, Order_No, Mo_No, Mtr_Amt, Bar_No, "
                       "Upd_Name, Upd_Date, Remark, Supl_Inv, Stock_Mode, Color_No");
    if (line.modify == 0) {
        rec412 =
            Sql(m_conn, QStringLiteral("INSERT INTO Mmst412 (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                            .arg(columns))
                .bindAll(values)
                .insert(QStringLiteral("Rec_412"));
        detail = now;
        return true;
    }
    QString assignments = columns;
    assignments.replace(QStringLiteral(", "), QStringLiteral(" = ?, "));
    rec412 = key(line.rec412);
    // The line as it was, for the history.
    const ResultSet before =
        Sql(m_conn, QStringLiteral("SELECT m.Mtr_No, l.Frm_Inv, l.Mtr_Amt FROM Mmst412 l "
                                   "LEFT JOIN mmst611 m ON m.Rec_611 = l.Rec_611 WHERE l.Rec_412 = ?"))
            .bind(rec412)
            .select();
    if (!before.isEmpty()) {
        const QString was =
            DocumentHistory::lineText(before.text(0, 0), before.text(0, 1), before.value(0, 2).toDouble());
        detail = was == now ? now : DocumentHistory::change(QStringLiteral("明细"), was, now);
    }
    const qint64 n = Sql(m_conn, QStringLiteral("UPDATE Mmst412 SET %1 = ? WHERE Rec_412 = ?").arg(assignments))
                         .bindAll(values)
                         .bind(rec412)
                         .exec();
    return n > 0;
}

LineSaveOutcome LineStore::save(const LineEntry &line) const
{
    LineSaveOutcome out;
    if (line.modify == 3)
        return out;
    if (line.modify != 0 && line.modify != 2)
        throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Modify"),
                       QStringLiteral("不正确的修改状态标志"));
    return save(line, check(line));
}

LineSaveOutcome LineStore::save(const LineEntry &line, const CheckedLine &checked) const
{
    LineSaveOutcome out;
    if (line.modify == 3)
        return out;
    if (line.modify != 0 && line.modify != 2)
        throw ErpError(ErpErrorNumber::GenericProvider, QStringLiteral("Modify"),
                       QStringLiteral("不正确的修改状态标志"));
    out.sourceSupplierNo = checked.sourceSupplierNo;
    out.supplierPropertyCode = checked.supplierPropertyCode;
    if (!checked.ok()) {
        out.kind = LineSaveOutcome::Refused;
        out.refusal = checked.refusal;
        return out;
    }
    Transaction tx(m_conn, Transaction::Write);
    // The document may have been approved, closed or deleted since the
    // dialog opened: its lines change only while it is open.
    const QString status = holdOpenHeader(m_conn, key(line.rec411));
    if (!status.isEmpty()) {
        out.kind = LineSaveOutcome::Refused;
        out.refusal = told(notOpenText(status));
        out.linesMoved = true;
        return out;
    }
    QString detail;
    if (!write(line, checked, out.rec412, detail)) {
        out.kind = LineSaveOutcome::Refused;
        out.refusal = told(QStringLiteral("当前记录已被其它用户删除,请检查!"));
        out.linesMoved = true;
        return out;
    }
    HistoryActor who = line.who;
    if (who.userName.isEmpty())
        who.userName = line.userName;
    DocumentHistory(m_conn).record(key(line.rec411),
                                   line.modify == 0 ? HistoryKind::LineAdded : HistoryKind::LineChanged, detail, who);
    tx.commit();
    out.kind = LineSaveOutcome::Written;
    return out;
}
