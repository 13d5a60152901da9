#include "services/SystemOptions.h"

#include "platform/db/Sql.h"
#include "platform/db/Value.h"

namespace {
QString optionQuery(const Connection &conn)
{
    return conn.dialect().topN(QStringLiteral("SELECT Item_Value FROM mmst909 WHERE Item_No = ?"), 1);
}
} // namespace

QString SystemOptions::value(const QString &itemNo) const
{
    return valueText(Sql(m_conn, optionQuery(m_conn)).bind(itemNo).scalar());
}

QString SystemOptions::value(PreparedStatements &statements, const QString &itemNo)
{
    return valueText(Sql(statements, optionQuery(statements.connection())).bind(itemNo).scalar());
}
