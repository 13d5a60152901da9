#include "documents/DocumentSearch.h"

#include "platform/db/Dialect.h"
#include "services/DbGateway.h"
#include "services/DocumentState.h"

namespace {

QString orDefault(const QString &text, const QString &fallback)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? fallback : t;
}

QString code(const char *text)
{
    return DbGateway::ChangeStrCode(QString::fromUtf8(text));
}

} // namespace

SearchStatement BuildSearchStatement(const DocumentSearch &s, const Dialect &dialect)
{
    SearchStatement out;
    const QString table = s.DefTable.trimmed();
    const QString number = table + QLatin1Char('.') + orDefault(s.DefField, QStringLiteral("Inv_No"));
    const QString date = table + QLatin1Char('.') + orDefault(s.DefInvDate, QStringLiteral("inv_date"));
    const QString status = orDefault(s.DefInvStatusFieldName, table + QStringLiteral(".Status"));

    QString f = QStringLiteral("1=1");
    QList<QVariant> &v = out.statement.values;
    const auto like = [&](const QString &column, const QString &pattern) {
        f += QStringLiteral(" AND ") + dialect.codeLike(column) + QStringLiteral(" ?");
        v.append(pattern);
    };

    const QString no = s.Inv_No.trimmed();
    if (!no.isEmpty())
        like(number, no + QLatin1Char('%'));

    // Whole days as a half-open range on the column itself, so its index serves.
    if (!s.Date1.trimmed().isEmpty()) {
        const QDate from = DbGateway::toDate(s.Date1.trimmed());
        if (!from.isValid())
            return SearchStatement{{}, QStringLiteral("Date1")};
        f += QStringLiteral(" AND ") + date + QStringLiteral(" >= ?");
        v.append(from);
    }
    if (!s.Date2.trimmed().isEmpty()) {
        const QDate to = DbGateway::toDate(s.Date2.trimmed());
        if (!to.isValid())
            return SearchStatement{{}, QStringLiteral("Date2")};
        f += QStringLiteral(" AND ") + date + QStringLiteral(" < ?");
        v.append(to.addDays(1));
    }

    const std::pair<const char *, const QString *> people[] = {
        {"Form_Man", &s.Form_Man}, {"Bar_Man", &s.Bar_Man}, {"Proc_Man", &s.Proc_Man}, {"Check_Man", &s.Check_Man}};
    for (const auto &[column, text] : people)
        if (!text->trimmed().isEmpty())
            like(table + QLatin1Char('.') + QLatin1String(column),
                 QLatin1Char('%') + text->trimmed() + QLatin1Char('%'));

    if (!s.DefInvOther.trimmed().isEmpty()) {
        f += QStringLiteral(" AND (") + s.DefInvOther + QLatin1Char(')');
        v.append(s.DefInvOtherValues);
    }

    // A document never printed has no print status yet.
    if (s.print_status == code("未列印") || s.print_status == code("已列印")) {
        f += QStringLiteral(" AND COALESCE(") + table + QStringLiteral(".print_status, 0) = ?");
        v.append(s.print_status == code("未列印") ? 0 : 1);
    }

    if (s.Cb_Check == code("未审核") || s.Cb_Check == code("已审核")) {
        f += QStringLiteral(" AND ") + status + QStringLiteral(" = ?");
        v.append(documentStatusCode(s.Cb_Check == code("未审核") ? DocumentStatus::Open : DocumentStatus::Approved));
    } else if (s.Cb_Check == code("已结案")) {
        f += QStringLiteral(" AND (") + status + QStringLiteral(" = ? OR ") + status + QStringLiteral(" = ?)");
        // Both codes of a document closed elsewhere.
        v.append(QStringLiteral("6"));
        v.append(QStringLiteral("7"));
    }

    // Documents with at least one line drawn from that receipt; wildcards
    // only when the user types them.
    const QString receipt = s.Frm_INV.trimmed();
    if (!receipt.isEmpty()) {
        f += QStringLiteral(" AND EXISTS (SELECT 1 FROM Mmst412 WHERE Mmst412.Rec_411 = ") + table +
             QStringLiteral(".Rec_411 AND ") + dialect.codeLike(QStringLiteral("Mmst412.Frm_Inv")) +
             QStringLiteral(" ?)");
        v.append(receipt);
    }

    out.statement.text = QStringLiteral("SELECT DISTINCT ") + number + QStringLiteral(" FROM ") + table +
                         QStringLiteral(" WHERE ") + f + QStringLiteral(" ORDER BY ") + number;
    return out;
}

QString SearchPeopleQuery(const QString &table, const QString &column, const Dialect &dialect)
{
    // Null and empty read alike and sort first on every server.
    if (dialect.backend() == Backend::SqlServer)
        return QStringLiteral("SELECT DISTINCT COALESCE(%1, '') AS %1 FROM %2 ORDER BY 1").arg(column, table);
    // A few people over many headers: step through the column's index from
    // one value to the next instead of reading every header.
    return QStringLiteral("WITH RECURSIVE people(v) AS (SELECT MIN(%1) FROM %2 UNION ALL "
                          "SELECT (SELECT MIN(%1) FROM %2 WHERE %1 > people.v) FROM people WHERE people.v IS NOT NULL) "
                          "SELECT v AS %1 FROM people WHERE v IS NOT NULL "
                          "UNION SELECT '' WHERE EXISTS (SELECT 1 FROM %2 WHERE %1 IS NULL) ORDER BY 1")
        .arg(column, table);
}
