#include "documents/DocumentStore.h"

#include "platform/core/ErpError.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"
#include "services/FieldLimits.h"
#include "services/HeaderLock.h"
#include "services/RecordLock.h"
#include "services/StockLedger.h"

#include <QRandomGenerator>
#include <QThread>

#include <algorithm>

QString PostingOutcome::shortageText() const
{
    const QChar cr(u'\r');
    return QStringLiteral("订单:") + orderNo + cr + QStringLiteral("制单:") + moNo + cr + QStringLiteral("料品") +
           mtrNo + QStringLiteral("库存不够.");
}

DocumentStore::DocumentStore(const Connection &conn) : m_conn(conn) {}

ResultSet DocumentStore::headers(const Statement &filter, const QString &invType) const
{
    QString sql = QStringLiteral(
        "SELECT Mmst411.Rec_411, Mmst411.Inv_No, Mmst411.Inv_Date, Mmst411.Org_No, Mmst001.Org_name, Mmst411.Remark, "
        "Mmst411.Bar_Man, Mmst411.Form_Man, COALESCE(Mmst411.Pcs_No, '') AS Pcs_No, Mmst411.Check_Man, "
        "Mmst411.stock_mode, Mmst411.prop_duty, Mmst411.Proc_Man, COALESCE(Mmst411.Out_Flag, '0') AS Out_Flag, "
        "Mmst411.print_status FROM Mmst411 LEFT JOIN Mmst001 ON Mmst411.Org_No = Mmst001.Org_No");
    QList<QVariant> values;
    if (filter.text.trimmed().isEmpty()) {
        sql += QStringLiteral(" WHERE 1=2 ");
    } else {
        sql += QStringLiteral(" WHERE ") + filter.text;
        values = filter.values;
    }
    sql += QStringLiteral(" AND Mmst411.Inv_Type = ? ORDER BY Mmst411.Inv_No DESC");
    values.append(invType);
    return Sql(m_conn, sql).bindAll(values).select();
}

QString DocumentStore::linesSql()
{
    return QStringLiteral(
        "SELECT Mmst412.Rec_412, Mmst412.frm_inv, Mmst412.Mo_No, Mmst412.order_no, Mmst412.rec_611, vmmst611.mtr_no, "
        "vmmst611.mtr_name, vmmst611.mtr_dim, mmst605.color_name, vmmst611.unit_name, Mmst412.mtr_amt, "
        "mmst903.bar_name, mmst400.frm_type_name AS frm_type, Mmst412.upd_name, Mmst412.upd_date, Mmst412.remark, "
        "Mmst412.stock_mode FROM Mmst412 LEFT JOIN Mmst411 ON Mmst412.Rec_411 = Mmst411.Rec_411 "
        "LEFT JOIN mmst605 ON mmst605.color_no = Mmst412.color_no LEFT JOIN mmst903 ON Mmst412.bar_no = mmst903.bar_no "
        "LEFT JOIN vmmst611 ON Mmst412.rec_611 = vmmst611.rec_611 LEFT JOIN mmst400 ON Mmst412.Frm_type = mmst400.Frm_Type "
        "WHERE Mmst412.Rec_411 = ? ORDER BY Mmst412.frm_inv, vmmst611.mtr_no");
}

ResultSet DocumentStore::lines(const QVariant &rec411) const
{
    // An invalid key selects no line but still gives the grid its columns.
    return Sql(m_conn, linesSql()).bind(rec411.isValid() && !rec411.isNull() ? rec411 : QVariant(qint64(-1))).select();
}

namespace {

// The columns a save writes on insert and update alike, in this order.
const char *const kSavedColumns = "Inv_No, Inv_Date, Org_No, Proc_Man, Bar_Man, Remark, Upd_Name, Upd_Date, "
                                  "Stock_Mode, Prop_Duty, Pcs_No, Out_Flag, Inv_Type";

QList<QVariant> savedValues(const HeaderValues &v)
{
    return {v.invNo,
            v.invDate,
            v.orgNo,
            v.procMan,
            v.barMan,
            v.remark,
            v.updName,
            v.updDate,
            QString::number(v.stockMode),
            QString::number(v.propDuty),
            v.pcsNo,
            v.outsourcing ? QStringLiteral("1") : QStringLiteral("0"),
            v.invType};
}

} // namespace

qint64 DocumentStore::insertHeader(const HeaderValues &v) const
{
    // A new header is open ('0') and free; the maker is set once, here.
    return Sql(m_conn, QStringLiteral("INSERT INTO Mmst411 (Form_Man, %1, Status, Lock) "
                                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '0', 'No')")
                           .arg(QLatin1String(kSavedColumns)))
        .bind(v.formMan)
        .bindAll(savedValues(v))
        .insert(QStringLiteral("Rec_411"));
}

namespace {

QString assignmentsOfSavedColumns()
{
    QString assignments = QLatin1String(kSavedColumns);
    assignments.replace(QStringLiteral(", "), QStringLiteral(" = ?, "));
    return assignments + QStringLiteral(" = ?");
}

// A choice's caption by its stored position, as the window lists them.
QString choiceCaption(const QString &code, std::initializer_list<const char *> captions)
{
    bool number = false;
    const int at = code.trimmed().toInt(&number);
    if (!number || at < 0 || at >= int(captions.size()))
        return code.trimmed();
    return QString::fromUtf8(*(captions.begin() + at));
}

QString stockModeCaption(const QString &code)
{
    return choiceCaption(code, {"按材料", "按订单", "按制单"});
}

QString propDutyCaption(const QString &code)
{
    return choiceCaption(code, {"其它", "可转厂", "开发票", "进口", "其它类"});
}

QString outsourcingCaption(const QString &flag)
{
    return flag.trimmed() == QLatin1String("1") ? QStringLiteral("是") : QStringLiteral("否");
}

QString dateText(const QVariant &value)
{
    const QDate d = DbGateway::toDate(value);
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : valueText(value).trimmed();
}

// The header columns a save may change, as they stand before it.
const char *const kHeaderBefore = "SELECT Inv_No, Inv_Date, Org_No, Proc_Man, Bar_Man, Remark, Stock_Mode, Prop_Duty, "
                                  "Pcs_No, Out_Flag FROM Mmst411 WHERE Rec_411 = ?";

// What a save changed in the header, one "label: old → new" a line.
QString headerChanges(const ResultSet &before, const HeaderValues &v)
{
    if (before.isEmpty())
        return {};
    const auto old = [&before](int column) { return before.text(0, column).trimmed(); };
    const struct
    {
        const char *label;
        QString was;
        QString now;
    } fields[] = {
        {"单据编号", old(0), v.invNo.trimmed()},
        {"单据日期", dateText(before.value(0, 1)), v.invDate.toString(QStringLiteral("yyyy-MM-dd"))},
        {"领料部门", old(2), v.orgNo.trimmed()},
        {"领料人", old(3), v.procMan.trimmed()},
        {"仓管员", old(4), v.barMan.trimmed()},
        {"备注", old(5), v.remark.trimmed()},
        {"扣库存方式", stockModeCaption(old(6)), stockModeCaption(QString::number(v.stockMode))},
        {"领料性质", propDutyCaption(old(7)), propDutyCaption(QString::number(v.propDuty))},
        {"外发单号", old(8), v.pcsNo.trimmed()},
        {"外单领料", outsourcingCaption(old(9)), outsourcingCaption(v.outsourcing ? QStringLiteral("1") : QString())},
    };
    QStringList changed;
    for (const auto &f : fields)
        if (f.was != f.now)
            changed.append(DocumentHistory::change(QString::fromUtf8(f.label), f.was, f.now));
    return changed.join(QLatin1Char('\n'));
}

// A line as its history row names it: material, source and quantity.
const char *const kLineText = "SELECT m.Mtr_No, l.Frm_Inv, l.Mtr_Amt, l.Rec_412 FROM Mmst412 l "
                              "LEFT JOIN mmst611 m ON m.Rec_611 = l.Rec_611 WHERE ";

QString lineText(const ResultSet &rs, qint64 row)
{
    return DocumentHistory::lineText(rs.text(row, 0), rs.text(row, 1), rs.value(row, 2).toDouble());
}

} // namespace

void DocumentStore::updateHeader(qint64 rec411, const HeaderValues &v) const
{
    // Only an open header is saved: an edit never turns an approved document
    // back to open behind the ledger's back.
    const qint64 n = Sql(m_conn, QStringLiteral("UPDATE Mmst411 SET %1, Status = '0', Lock = 'No' WHERE Rec_411 = ? "
                                                "AND COALESCE(Status, '0') = '0'")
                                     .arg(assignmentsOfSavedColumns()))
                         .bindAll(savedValues(v))
                         .bind(rec411)
                         .exec();
    if (n == 0)
        throw ErpError(
            ErpErrorNumber::SqlStatement, QStringLiteral("DocumentStore"),
            QStringLiteral(
                "Row cannot be located for updating. Some values may have been changed since it was last read."));
    forgetLockHolder(rec411);
}

void DocumentStore::forgetLockHolder(qint64 rec411) const
{
    // A statement that gave the header's lock back takes its holder with it.
    if (RecordLock::recordsHolders(m_conn))
        Sql(m_conn, QStringLiteral("DELETE FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' AND Rec_Key = ?"))
            .bind(rec411)
            .exec();
}

HeaderSaveOutcome DocumentStore::saveNew(const HeaderValues &v, const HistoryActor &who) const
{
    HeaderSaveOutcome outcome;
    Transaction tx(m_conn, Transaction::Write);
    // Looked up first, so that a number taken meanwhile rarely reaches the
    // unique index; the index still decides when two inserts race.
    const Statement taken = numberInUse(v.invNo, 0);
    if (!Sql(m_conn, m_conn.dialect().topN(taken.text, 1)).bindAll(taken.values).select().isEmpty()) {
        outcome.result = HeaderSaveOutcome::Result::NumberTaken;
        return outcome;
    }
    try {
        outcome.rec411 = insertHeader(v);
    } catch (const ErpError &e) {
        // Two clerks saving one proposed number: the second is told, as the check would have.
        if (!m_conn.dialect().isUniqueViolation(e.nativeCode()))
            throw;
        outcome.result = HeaderSaveOutcome::Result::NumberTaken;
        return outcome;
    }
    DocumentHistory(m_conn).record(outcome.rec411, HistoryKind::Created,
                                   QStringLiteral("单据编号 %1").arg(v.invNo.trimmed()), who);
    tx.commit();
    return outcome;
}

HeaderSaveOutcome DocumentStore::saveEdit(qint64 rec411, const HeaderValues &v, const QString &lockToken,
                                          const HistoryActor &who) const
{
    HeaderSaveOutcome outcome;
    outcome.rec411 = rec411;
    Transaction tx(m_conn, Transaction::Write);
    // The header, the release of the edit's lock and the lines' mode go
    // together: an approval cannot come between them and post under a key
    // the lines are about to leave.
    qint64 n = 0;
    const bool holders = RecordLock::recordsHolders(m_conn);
    // The fields as they were, for the history: read under the edit's lock.
    const ResultSet before =
        DocumentHistory::isKept(m_conn) ? Sql(m_conn, QLatin1String(kHeaderBefore)).bind(rec411).select() : ResultSet();
    try {
        Statement update(QStringLiteral("UPDATE Mmst411 SET %1, Status = '0', Lock = 'No' WHERE Rec_411 = ? "
                                        "AND COALESCE(Status, '0') = '0' AND %2 = 'Yes'")
                             .arg(assignmentsOfSavedColumns(), m_conn.dialect().exactText(QStringLiteral("Lock"))),
                         savedValues(v) << rec411);
        if (holders && !lockToken.isEmpty())
            update.append(QStringLiteral(" AND EXISTS (SELECT 1 FROM Erp_Lock_Holder WHERE Table_Name = 'Mmst411' "
                                         "AND Rec_Key = Mmst411.Rec_411 AND Holder_Token = ?)"),
                          {lockToken});
        n = Sql(m_conn, update).exec();
    } catch (const ErpError &e) {
        if (!m_conn.dialect().isUniqueViolation(e.nativeCode()))
            throw;
        outcome.result = HeaderSaveOutcome::Result::NumberTaken;
        return outcome;
    }
    if (n == 0) {
        outcome.status = statusOf(rec411);
        outcome.result = outcome.status == QLatin1String("0") ? HeaderSaveOutcome::Result::LockLost
                                                              : HeaderSaveOutcome::Result::NotOpen;
        return outcome;
    }
    Sql(m_conn, QStringLiteral("UPDATE Mmst412 SET Stock_Mode = ? WHERE Rec_411 = ?"))
        .bind(QString::number(v.stockMode))
        .bind(rec411)
        .exec();
    forgetLockHolder(rec411);
    DocumentHistory(m_conn).record(rec411, HistoryKind::HeaderSaved, headerChanges(before, v), who);
    tx.commit();
    return outcome;
}

LinesOutcome DocumentStore::changeLinesWhileOpen(qint64 rec411, const std::function<void()> &change) const
{
    LinesOutcome outcome;
    Transaction tx(m_conn, Transaction::Write);
    outcome.status = holdOpenHeader(m_conn, rec411);
    if (!outcome.status.isEmpty()) {
        outcome.done = false;
        return outcome;
    }
    change();
    tx.commit();
    return outcome;
}

LinesOutcome DocumentStore::deleteLine(qint64 rec412, const HistoryActor &who) const
{
    LinesOutcome outcome;
    Transaction tx(m_conn, Transaction::Write);
    const QVariant header =
        Sql(m_conn, QStringLiteral("SELECT Rec_411 FROM Mmst412 WHERE Rec_412 = ?")).bind(rec412).scalar();
    if (!header.isValid()) {
        // Deleted by another clerk already: nothing left to do.
        outcome.done = false;
        outcome.lineGone = true;
        return outcome;
    }
    outcome.status = holdOpenHeader(m_conn, header.toLongLong());
    if (!outcome.status.isEmpty()) {
        outcome.done = false;
        return outcome;
    }
    const ResultSet line =
        Sql(m_conn, QLatin1String(kLineText) + QStringLiteral("l.Rec_412 = ?")).bind(rec412).select();
    Sql(m_conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_412 = ?")).bind(rec412).exec();
    if (!line.isEmpty())
        DocumentHistory(m_conn).record(header.toLongLong(), HistoryKind::LineDeleted, lineText(line, 0), who);
    tx.commit();
    return outcome;
}

LinesOutcome DocumentStore::deleteLines(qint64 rec411, const HistoryActor &who) const
{
    return changeLinesWhileOpen(rec411, [&] {
        const ResultSet lines =
            DocumentHistory::isKept(m_conn)
                ? Sql(m_conn, QLatin1String(kLineText) + QStringLiteral("l.Rec_411 = ? ORDER BY l.Rec_412"))
                      .bind(rec411)
                      .select()
                : ResultSet();
        Sql(m_conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = ?")).bind(rec411).exec();
        PreparedStatements statements(m_conn);
        for (qint64 r = 0; r < lines.rowCount(); ++r)
            DocumentHistory::record(statements, rec411, HistoryKind::LineDeleted, lineText(lines, r), who);
    });
}

LinesOutcome DocumentStore::fillMissingLineStockModes(qint64 rec411, const HistoryActor &who) const
{
    return changeLinesWhileOpen(rec411, [&] {
        const qint64 filled =
            Sql(m_conn, QStringLiteral("UPDATE Mmst412 SET Stock_Mode = (SELECT Mmst411.Stock_Mode FROM Mmst411 "
                                       "WHERE Mmst411.Rec_411 = Mmst412.Rec_411) "
                                       "WHERE Rec_411 = ? AND COALESCE(Stock_Mode, '') = ''"))
                .bind(rec411)
                .exec();
        if (filled <= 0)
            return;
        const QString mode = valueText(
            Sql(m_conn, QStringLiteral("SELECT Stock_Mode FROM Mmst411 WHERE Rec_411 = ?")).bind(rec411).scalar());
        DocumentHistory(m_conn).record(
            rec411, HistoryKind::LineChanged,
            DocumentHistory::change(QStringLiteral("扣库存方式"), QString(), stockModeCaption(mode)) +
                QStringLiteral(", %1 条明细").arg(filled),
            who);
    });
}

qint64 DocumentStore::markPrinted(const QString &invNo, const QString &detail, const HistoryActor &who) const
{
    Transaction tx(m_conn, Transaction::Write);
    const ResultSet keys =
        Sql(m_conn, QStringLiteral("SELECT Rec_411 FROM Mmst411 WHERE Inv_No = ?")).bind(invNo).select();
    const qint64 marked =
        Sql(m_conn, QStringLiteral("UPDATE Mmst411 SET print_status = 1 WHERE Inv_No = ?")).bind(invNo).exec();
    for (qint64 r = 0; r < keys.rowCount(); ++r)
        DocumentHistory(m_conn).record(keys.value(r, 0).toLongLong(), HistoryKind::Printed, detail, who);
    tx.commit();
    return marked;
}

QString DocumentStore::statusOf(qint64 rec411) const
{
    const ResultSet rs =
        Sql(m_conn, QStringLiteral("SELECT Status FROM Mmst411 WHERE Rec_411 = ?")).bind(rec411).select();
    if (rs.isEmpty())
        return QStringLiteral("9");
    const QString status = rs.text(0, 0).trimmed();
    return status.isEmpty() ? QStringLiteral("0") : status;
}

DeleteOutcome DocumentStore::deleteDocument(qint64 rec411, const HistoryActor &who) const
{
    DeleteOutcome outcome;
    {
        Transaction tx(m_conn, Transaction::Write);
        // What the history keeps of the document once its header is gone.
        const ResultSet header =
            Sql(m_conn, QStringLiteral("SELECT Inv_No, Inv_Type FROM Mmst411 WHERE Rec_411 = ?")).bind(rec411).select();
        // The header goes first and only while open: an approval holding it
        // makes this wait, and then finds nothing to delete.
        const qint64 n =
            Sql(m_conn, QStringLiteral("DELETE FROM Mmst411 WHERE Rec_411 = ? AND COALESCE(Status, '0') = '0'"))
                .bind(rec411)
                .exec();
        if (n > 0) {
            const qint64 lines =
                Sql(m_conn, QStringLiteral("DELETE FROM Mmst412 WHERE Rec_411 = ?")).bind(rec411).exec();
            forgetLockHolder(rec411);
            DocumentHistory(m_conn).record(rec411, header.text(0, 0), header.text(0, 1), HistoryKind::Deleted,
                                           QStringLiteral("连同 %1 条明细").arg(lines), who);
            tx.commit();
            outcome.deleted = true;
            return outcome;
        }
    }
    outcome.status = statusOf(rec411);
    return outcome;
}

ResultSet DocumentStore::postingRows(qint64 rec411) const
{
    return Sql(m_conn,
               QStringLiteral("SELECT a.stock_mode, a.frm_inv, a.order_no, a.mo_no, a.frm_type, mmst611.Mtr_No, "
                              "a.Mtr_Amt, a.Bar_No, a.color_no FROM Mmst412 a "
                              "INNER JOIN mmst611 ON a.rec_611 = mmst611.rec_611 "
                              "INNER JOIN Mmst411 ON a.rec_411 = Mmst411.rec_411 "
                              "WHERE a.rec_411 = ? ORDER BY mmst611.Mtr_No, a.order_no, a.mo_no, a.frm_inv, "
                              "a.frm_type, a.Bar_No, a.color_no"))
        .bind(rec411)
        .select();
}

HeaderRefusal DocumentStore::numberTaken()
{
    // As the gateway's count check tells it.
    HeaderRefusal r;
    r.text = QStringLiteral("此领料单号已经重复!请重新输入!");
    r.formName = QStringLiteral("PublicFunction");
    r.messageId = QStringLiteral("ReturnRecCount_2");
    r.focus = HeaderField::Inv_No;
    return r;
}

HeaderRefusal DocumentStore::checkHeader(const HeaderInput &in, qint64 rec411) const
{
    const auto refuse = [](const QString &text, HeaderField focus) {
        HeaderRefusal r;
        r.text = text;
        r.focus = focus;
        return r;
    };
    if (in.invNo.trimmed().isEmpty()) {
        HeaderRefusal r = refuse(QStringLiteral("请输入领料单号!"), HeaderField::Inv_No);
        r.style = 64;
        r.title = QStringLiteral("提示信息");
        r.formName = QStringLiteral("PublicFunction");
        r.messageId = QStringLiteral("CheckIsNullString");
        return r;
    }
    // Texts a server cannot store are refused here, not by its driver.
    const std::pair<const QString &, HeaderField> texts[] = {
        {in.invNo, HeaderField::Inv_No},     {in.orgName, HeaderField::Org_Name}, {in.pcsNo, HeaderField::Pcs_No},
        {in.procMan, HeaderField::Proc_Man}, {in.barMan, HeaderField::Bar_Man},   {in.remark, HeaderField::Remark},
    };
    for (const auto &[text, field] : texts)
        if (FieldLimits::hasControlCharacters(text))
            return refuse(FieldLimits::controlCharactersMessage(), field);
    const Statement taken = numberInUse(in.invNo.trimmed(), rec411);
    if (!Sql(m_conn, m_conn.dialect().topN(taken.text, 1)).bindAll(taken.values).select().isEmpty())
        return numberTaken();
    if (DbGateway::LookupField(m_conn, QStringLiteral("Mmst001"), QStringLiteral("Org_No"), QStringLiteral("Org_Name"),
                               in.orgName)
            .isEmpty())
        return refuse(QStringLiteral("此单位不存在,请重新输入!"), HeaderField::Org_Name);
    if (in.stockMode < 0)
        return refuse(QStringLiteral("请选择正确的扣库存方式!"), HeaderField::Stock_Mode);
    if (in.propDuty < 0)
        return refuse(QStringLiteral("请选择正确的领料性质!"), HeaderField::Prop_Duty);
    const QString pcs = in.pcsNo.trimmed();
    if (!in.outsourcing && !pcs.isEmpty())
        return refuse(QStringLiteral("生产领料不须输入外发单号!"), HeaderField::Pcs_No);
    if (in.outsourcing && pcs.isEmpty())
        return refuse(QStringLiteral("外单领料时必须输入外发单号!"), HeaderField::Pcs_No);
    if (in.outsourcing) {
        const Statement order = outsourcingOrder(in.pcsNo);
        if (Sql(m_conn, m_conn.dialect().topN(order.text, 1)).bindAll(order.values).select().isEmpty())
            return refuse(QStringLiteral("无此外发单号!"), HeaderField::Pcs_No);
    }
    if (!DbGateway::toDate(in.invDate).isValid())
        return refuse(QStringLiteral("请输入正确的日期!"), HeaderField::Inv_Date);
    return {};
}

qint64 DocumentStore::lineCount(qint64 rec411) const
{
    return Sql(m_conn, QStringLiteral("SELECT COUNT(*) FROM Mmst412 WHERE Rec_411 = ?"))
        .bind(rec411)
        .scalar()
        .toLongLong();
}

Statement DocumentStore::numberInUse(const QString &invNo, qint64 exceptRec411)
{
    Statement st(QStringLiteral("SELECT * FROM Mmst411 WHERE Inv_No = ?"), {invNo});
    if (exceptRec411 != 0)
        st.append(QStringLiteral(" AND Rec_411 <> ?"), {exceptRec411});
    return st;
}

Statement DocumentStore::outsourcingOrder(const QString &pcsNo)
{
    return {QStringLiteral("SELECT Pcs_No FROM mmst121 WHERE Pcs_No = ?"), {pcsNo}};
}

QString DocumentStore::requisitionersQuery()
{
    return QStringLiteral("SELECT DISTINCT User_Name FROM mmst002");
}

QString DocumentStore::outsourcingPickerQuery()
{
    return DbGateway::ChangeStrCode(QStringLiteral(
               " SELECT mmst121.Pcs_No 外发单号,mmst121.Pcs_Date 合约日期,Mmst021.comp_Name 厂商,"
               "Mmst621.Money_Name 币别 FROM mmst121 LEFT JOIN Mmst021 ON mmst121.comp_No=Mmst021.comp_No "
               "LEFT JOIN Mmst621 ON mmst121.Money_No=Mmst621.Money_No ")) +
           QStringLiteral(" WHERE mmst121.Status='2' ORDER BY mmst121.Pcs_No DESC");
}

QDate DocumentStore::documentDate(const QString &invNo) const
{
    return DbGateway::toDate(
        Sql(m_conn, m_conn.dialect().topN(QStringLiteral("SELECT inv_date FROM Mmst411 WHERE inv_no = ?"), 1))
            .bind(invNo)
            .scalar());
}

namespace {

// Codes compare without regard to case and trailing blanks.
QString codeOrder(const QString &code)
{
    qsizetype end = code.size();
    while (end > 0 && code.at(end - 1).isSpace())
        --end;
    return code.left(end).toCaseFolded();
}

// One global order of stock keys: every approval locks the balances it
// touches in this order, so two approvals never wait on each other in a ring.
QStringList keyOrder(const StockKey &k)
{
    return QStringList{codeOrder(k.mtrNo),   codeOrder(k.orderNo), codeOrder(k.moNo),   codeOrder(k.frmInv),
                       codeOrder(k.frmType), codeOrder(k.barNo),   codeOrder(k.colorNo)};
}

struct PostingLine
{
    StockKey key;
    double qty = 0;
    QString lineMoNo;
    QStringList order; // keyOrder(key), built once for the sort
};

} // namespace

PostingOutcome DocumentStore::post(const DocumentKind &kind, bool approve, qint64 rec411, const QString &invNo,
                                   const QDate &invDate, const QString &userName, const HistoryActor &who) const
{
    const Dialect &d = m_conn.dialect();
    for (int attempt = 1;; ++attempt) {
        try {
            PostingOutcome outcome = postOnce(kind, approve, rec411, invNo, invDate, userName, who);
            outcome.attempts = attempt;
            return outcome;
        } catch (const ErpError &e) {
            if (attempt >= kPostingAttempts || !d.isTransient(e.nativeCode()))
                throw;
        }
        // The other transaction has been let through; start again a little
        // later, at a moment of our own.
        QThread::msleep(20 * attempt + QRandomGenerator::global()->bounded(80));
    }
}

PostingOutcome DocumentStore::postOnce(const DocumentKind &kind, bool approve, qint64 rec411, const QString &invNo,
                                       const QDate &invDate, const QString &userName, const HistoryActor &who) const
{
    PostingOutcome outcome;
    // A return brings stock in on approval; the issues take it out.
    const bool stockIn = takesStockOnApproval(kind.type) != approve;
    const bool moves = invDate.isValid() && invDate > QDate(1900, 1, 1);
    StockLedger ledger(m_conn, userName);

    Transaction tx(m_conn, Transaction::Write);
    // The status first: a second user approving the same document waits for
    // this header row, then finds it no longer open and posts nothing.
    const QString now = m_conn.dialect().nowExpression();
    const qint64 changed =
        Sql(m_conn, QStringLiteral("UPDATE Mmst411 SET Status = ?, Check_Man = ?, Lock = 'No', Upd_Name = ?, "
                                   "Upd_Date = %1 WHERE Rec_411 = ? AND COALESCE(Status, '0') = ?")
                        .arg(now))
            .bind(approve ? QStringLiteral("2") : QStringLiteral("0"))
            .bind(approve ? userName : QString())
            .bind(userName.trimmed())
            .bind(rec411)
            .bind(approve ? QStringLiteral("0") : QStringLiteral("2"))
            .exec();
    if (changed == 0) {
        tx.rollback();
        outcome.result = PostingOutcome::Result::StatusMoved;
        outcome.status = statusOf(rec411);
        return outcome;
    }
    forgetLockHolder(rec411);

    const ResultSet rows = postingRows(rec411);
    QList<PostingLine> lines;
    for (qint64 i = 0; moves && i < rows.rowCount(); ++i) {
        const QString mode = rows.text(i, QStringLiteral("stock_mode")).trimmed();
        const QString o = mode == QLatin1String("0") ? QString() : rows.text(i, QStringLiteral("order_no"));
        const QString m =
            (mode.isEmpty() || mode == QLatin1String("2")) ? rows.text(i, QStringLiteral("mo_no")) : QString();
        // The stock-deduction mode decides which parts of the line enter its key.
        PostingLine line{StockKey(o, m, rows.text(i, QStringLiteral("frm_inv")),
                                  rows.text(i, QStringLiteral("frm_type")), rows.text(i, QStringLiteral("Mtr_No")),
                                  rows.text(i, QStringLiteral("Bar_No")), rows.text(i, QStringLiteral("color_no"))),
                         rows.value(i, QStringLiteral("Mtr_Amt")).toDouble(),
                         rows.text(i, QStringLiteral("mo_no")),
                         {}};
        // A line without source type moves the balance its approval posted
        // to: the reset takes the type the approval's journal row carries.
        if (line.key.frmType.isEmpty()) {
            if (!approve)
                line.key.frmType = ledger.journalSourceType(invNo, kind.heading, line.key);
            line.key.frmType = ledger.resolveSourceType(line.key);
        }
        line.order = keyOrder(line.key);
        lines.append(line);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const PostingLine &a, const PostingLine &b) { return a.order < b.order; });
    // Stock coming in moves average costs: their rows are taken before any
    // balance, in material order, so that no approval holds a balance while
    // it waits for a cost row.
    if (stockIn) {
        QStringList materials;
        for (const PostingLine &l : lines)
            if (materials.isEmpty() || codeOrder(materials.last()) != l.order.first())
                materials.append(l.key.mtrNo);
        ledger.lockCosts(materials);
        ledger.keepMaterialStock();
    }

    for (const PostingLine &l : lines) {
        if (!stockIn && !ledger.CheckStockAvailable(l.key, l.qty)) {
            tx.rollback();
            outcome.orderNo = l.key.orderNo;
            outcome.moNo = l.key.moNo;
            outcome.mtrNo = l.key.mtrNo;
            return outcome;
        }
        ledger.postLine(l.key, stockIn ? l.qty : -l.qty);
        if (approve)
            ledger.InsertStockJournal(invNo, invDate, kind.heading, l.key, stockIn ? l.qty : -l.qty, 0, l.lineMoNo);
        else
            ledger.DeleteStockJournal(invNo, kind.heading, l.key);
    }
    HistoryActor actor = who;
    if (actor.userName.isEmpty())
        actor.userName = userName;
    DocumentHistory(m_conn).record(rec411, approve ? HistoryKind::Approved : HistoryKind::Reset,
                                   QStringLiteral("过账 %1 条明细").arg(lines.size()), actor);
    tx.commit();
    outcome.result = PostingOutcome::Result::Posted;
    outcome.posted = true;
    return outcome;
}
