#pragma once

#include "platform/db/Connection.h"
#include "platform/script/ScriptObject.h"

#include <memory>

class ResultSet;

// The database as report scripts see it, registered as "Ado": GetRecordset
// opens a result set the script walks (EOF, BOF, MoveFirst, MoveNext,
// Fields(i or name) with Value and Name, Fields.Count, RecordCount, Close),
// ExecuteSql runs a statement. Failures reach the script as its errors.
class Design_Ado final : public ScriptObject
{
public:
    explicit Design_Ado(const Connection &conn) : m_conn(conn) {}

    const Connection &connection() const { return m_conn; }

    QString typeName() const override { return QStringLiteral("Design_Ado"); }
    bool hasProperty(const QString &name) const override;
    bool hasMethod(const QString &name) const override;
    ScriptValue getProperty(const QString &name) override;
    void setProperty(const QString &name, const ScriptValue &value) override;
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override;

    // The result set object of rows, as GetRecordset hands it to scripts.
    static std::shared_ptr<ScriptObject> recordset(std::shared_ptr<ResultSet> rows);

private:
    Connection m_conn;
};
