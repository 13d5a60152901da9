#include "services/DocumentHistory.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/DbGateway.h"


#include <algorithm>

namespace {

struct KindName
{
    HistoryKind kind;
    const char *code;
    const char *caption;
};

constexpr KindName kKinds[] = {
    {HistoryKind::Created, "created", "新增单据"},
    {HistoryKind::HeaderSaved, "header", "修改表头"},
    {HistoryKind::LineAdded, "line-added", "新增明细"},
    {HistoryKind::LineChanged, "line-changed", "修改明细"},
    {HistoryKind::LineDeleted, "line-deleted", "删除明细"},
    {HistoryKind::Approved, "approved", "审核"},
    {HistoryKind::Reset, "reset", "重置"},
    {HistoryKind::Deleted, "deleted", "删除单据"},
    {HistoryKind::Printed, "printed", "打印"},
    {HistoryKind::LockReleased, "lock-released", "解除锁定"},
};

const KindName &nameOf(HistoryKind kind)
{
    for (const KindName &k : kKinds)
        if (k.kind == kind)
            return k;
    return kKinds[0];
}

const QString &insertText()
{
    static const QString t =
        QStringLiteral("INSERT INTO Erp_Doc_History (Rec_411, Inv_No, Inv_Type, Change_Kind, Detail, User_Id, "
                       "User_Name, Workstation, Changed_At) ");
    return t;
}

// The header's number and kind are copied from its row in the same statement.
QString insertFromHeader(const Connection &conn)
{
    return insertText() + QStringLiteral("SELECT Rec_411, Inv_No, Inv_Type, ?, ?, ?, ?, ?, %1 FROM Mmst411 "
                                         "WHERE Rec_411 = ?")
                              .arg(conn.dialect().nowExpression());
}

// Who, cut to the columns' lengths: a long workstation name must not keep a change from being saved.
QList<QVariant> actorValues(const HistoryActor &who)
{
    return {notNullText(who.userId.trimmed().left(20)), notNullText(who.userName.trimmed().left(40)),
            notNullText(who.workstation.trimmed().left(60))};
}


QList<HistoryEntry> readEntries(const ResultSet &rs)
{
    QList<HistoryEntry> out;
    out.reserve(rs.rowCount());
    for (qint64 r = 0; r < rs.rowCount(); ++r) {
        HistoryEntry e;
        e.id = rs.value(r, 0).toLongLong();
        e.rec411 = rs.value(r, 1).toLongLong();
        e.invNo = rs.text(r, 2).trimmed();
        e.invType = rs.text(r, 3).trimmed();
        e.kindCode = rs.text(r, 4).trimmed();
        e.detail = rs.text(r, 5);
        e.userId = rs.text(r, 6).trimmed();
        e.userName = rs.text(r, 7).trimmed();
        e.workstation = rs.text(r, 8).trimmed();
        e.at = DbGateway::toDateTime(rs.value(r, 9));
        out.append(e);
    }
    return out;
}

const QString &selectText()
{
    static const QString t = QStringLiteral("SELECT Rec_Hist, Rec_411, Inv_No, Inv_Type, Change_Kind, Detail, User_Id, "
                                            "User_Name, Workstation, Changed_At FROM Erp_Doc_History WHERE ");
    return t;
}

} // namespace

std::optional<HistoryKind> HistoryEntry::kind() const
{
    return DocumentHistory::parse(kindCode);
}

DocumentHistory::DocumentHistory(const Connection &conn) : m_conn(conn) {}

bool DocumentHistory::isKept(const Connection &conn)
{
    return DbGateway::hasTable(conn, QStringLiteral("Erp_Doc_History"));
}

void DocumentHistory::record(qint64 rec411, HistoryKind kind, const QString &detail, const HistoryActor &who) const
{
    if (!isKept(m_conn))
        return;
    Sql(m_conn, insertFromHeader(m_conn))
        .bind(QString::fromLatin1(nameOf(kind).code))
        .bind(notNullText(detail))
        .bindAll(actorValues(who))
        .bind(rec411)
        .exec();
}

void DocumentHistory::record(qint64 rec411, const QString &invNo, const QString &invType, HistoryKind kind,
                             const QString &detail, const HistoryActor &who) const
{
    if (!isKept(m_conn))
        return;
    Sql(m_conn,
        insertText() + QStringLiteral("VALUES (?, ?, ?, ?, ?, ?, ?, ?, %1)").arg(m_conn.dialect().nowExpression()))
        .bindAll({rec411, notNullText(invNo.trimmed()), notNullText(invType.trimmed()),
                  QString::fromLatin1(nameOf(kind).code), notNullText(detail)})
        .bindAll(actorValues(who))
        .exec();
}

void DocumentHistory::record(PreparedStatements &statements, qint64 rec411, HistoryKind kind, const QString &detail,
                             const HistoryActor &who)
{
    const Connection &conn = statements.connection();
    if (!isKept(conn))
        return;
    Sql(statements, insertFromHeader(conn))
        .bind(QString::fromLatin1(nameOf(kind).code))
        .bind(notNullText(detail))
        .bindAll(actorValues(who))
        .bind(rec411)
        .exec();
}

QList<HistoryEntry> DocumentHistory::entries(qint64 rec411) const
{
    if (!isKept(m_conn))
        return {};
    return readEntries(
        Sql(m_conn, selectText() + QStringLiteral("Rec_411 = ? ORDER BY Rec_Hist")).bind(rec411).select());
}

QList<HistoryEntry> DocumentHistory::entries(const QString &invNo, const QString &invType) const
{
    if (!isKept(m_conn))
        return {};
    Statement st(selectText() + QStringLiteral("Inv_No = ?"), {notNullText(invNo.trimmed())});
    if (!invType.trimmed().isEmpty())
        st.append(QStringLiteral(" AND Inv_Type = ?"), {invType.trimmed()});
    st.append(QStringLiteral(" ORDER BY Rec_Hist"));
    return readEntries(Sql(m_conn, st).select());
}

QString DocumentHistory::code(HistoryKind kind)
{
    return QString::fromLatin1(nameOf(kind).code);
}

std::optional<HistoryKind> DocumentHistory::parse(const QString &code)
{
    for (const KindName &k : kKinds)
        if (code.trimmed().compare(QLatin1String(k.code), Qt::CaseInsensitive) == 0)
            return k.kind;
    return std::nullopt;
}

QString DocumentHistory::caption(HistoryKind kind)
{
    return QString::fromUtf8(nameOf(kind).caption);
}

QString DocumentHistory::caption(const HistoryEntry &entry)
{
    const auto kind = entry.kind();
    return kind ? caption(*kind) : entry.kindCode;
}

QString DocumentHistory::change(const QString &label, const QString &before, const QString &after)
{
    return QStringLiteral("%1: %2 → %3")
        .arg(label, before.isEmpty() ? QStringLiteral("(空)") : before,
             after.isEmpty() ? QStringLiteral("(空)") : after);
}

QString DocumentHistory::lineText(const QString &mtrNo, const QString &frmInv, double quantity)
{
    return QStringLiteral("材料 %1, 来料单号 %2, 数量 %3").arg(mtrNo.trimmed(), frmInv.trimmed(), numberText(quantity));
}

QString DocumentHistory::text(const QList<HistoryEntry> &entries)
{
    // Columns: time, document, change, user, workstation, detail.
    QList<QStringList> rows;
    rows.append({QStringLiteral("时间"), QStringLiteral("单据编号"), QStringLiteral("操作"), QStringLiteral("用户"),
                 QStringLiteral("工作站"), QStringLiteral("内容")});
    for (const HistoryEntry &e : entries) {
        const QString user = e.userName.isEmpty() || e.userName == e.userId
                                 ? e.userId
                                 : QStringLiteral("%1 (%2)").arg(e.userName, e.userId);
        const QStringList details = e.detail.split(QLatin1Char('\n'));
        rows.append({e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.invNo, caption(e), user, e.workstation,
                     details.value(0)});
        for (qsizetype i = 1; i < details.size(); ++i)
            rows.append({QString(), QString(), QString(), QString(), QString(), details.at(i)});
    }
    // Widths in terminal cells: a CJK character takes two.
    const auto cells = [](const QString &s) {
        int n = 0;
        for (const QChar c : s)
            n += c.unicode() >= 0x1100 ? 2 : 1;
        return n;
    };
    QList<int> widths(6, 0);
    for (const QStringList &row : rows)
        for (int c = 0; c < 5; ++c)
            widths[c] = std::max(widths[c], cells(row.at(c)));
    QString out;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < 6; ++c) {
            line += row.at(c);
            if (c < 5)
                line += QString(widths[c] - cells(row.at(c)) + 2, QLatin1Char(' '));
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}
