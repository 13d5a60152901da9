#include "services/SystemOptions.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"

QString SystemOptions::value(const QString &itemNo) const
{
    return valueText(
        Sql(m_conn, m_conn.dialect().topN(QStringLiteral("SELECT Item_Value FROM mmst909 WHERE Item_No = ?"), 1))
            .bind(itemNo)
            .scalar());
}
