#include "reports/DesignAdo.h"

#include "platform/core/ErpError.h"
#include "platform/db/Sql.h"

namespace {

// The database errors a script can meet, as numbered by the data access layer.
constexpr qint64 kClosed = 3704;
constexpr qint64 kNoCurrentRecord = 3021;
constexpr qint64 kNotInCollection = 3265;

[[noreturn]] void fail(qint64 number, const char *text)
{
    throw ScriptError(number, QString::fromLatin1(text), QStringLiteral("ADODB.Recordset"));
}

bool is(const QString &name, const char *member)
{
    return name.compare(QLatin1String(member), Qt::CaseInsensitive) == 0;
}

bool oneOf(const QString &name, std::initializer_list<const char *> members)
{
    for (const char *m : members)
        if (is(name, m))
            return true;
    return false;
}

// Runs a database call for a script: the module's failure becomes the script's error.
template <class F>
auto forScript(F &&call) -> decltype(call())
{
    try {
        return call();
    } catch (const ErpError &e) {
        throw ScriptError(e.number(), e.description(), e.source());
    }
}

struct Cursor
{
    std::shared_ptr<ResultSet> rows;
    bool open = true;

    ResultSet &checked() const
    {
        if (!open)
            fail(kClosed, "Operation is not allowed when the object is closed.");
        return *rows;
    }
    bool eof() const { return checked().atEnd(); }
    bool bof() const
    {
        const ResultSet &r = checked();
        return r.beforeStart() || r.isEmpty();
    }
    int column(const ScriptValue &key) const
    {
        const ResultSet &r = checked();
        int c = -1;
        if (key.isString())
            c = r.columnIndex(key.stringValue());
        else if (key.isNumeric()) {
            const qint64 i = key.toLong();
            c = i >= 0 && i < r.columnCount() ? int(i) : -1;
        }
        if (c < 0)
            fail(kNotInCollection, "Item cannot be found in the collection corresponding to the requested name or "
                                   "ordinal.");
        return c;
    }
};

// One field of the current row: Value (the default member) and Name.
class FieldObject final : public ScriptObject
{
public:
    FieldObject(std::shared_ptr<Cursor> cursor, int column) : m_cursor(std::move(cursor)), m_column(column) {}
    QString typeName() const override { return QStringLiteral("Field"); }
    bool hasProperty(const QString &name) const override
    {
        return name.isEmpty() || oneOf(name, {"Value", "Name", "OriginalValue"});
    }
    bool hasMethod(const QString &) const override { return false; }
    ScriptValue getProperty(const QString &name) override
    {
        const ResultSet &r = m_cursor->checked();
        if (is(name, "Name"))
            return ScriptValue(r.columns().at(m_column));
        if (!r.hasCurrent())
            fail(kNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted. Requested "
                                   "operation requires a current record.");
        return ScriptValue::fromVariant(r.value(r.position(), m_column));
    }
    void setProperty(const QString &, const ScriptValue &) override
    {
        throwScriptError(ScriptErrorNumber::IllegalAssignment);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        if (args.isEmpty() && hasProperty(name))
            return getProperty(name);
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }

private:
    std::shared_ptr<Cursor> m_cursor;
    int m_column;
};

// The fields of a result set: Count, Item(i or name) (the default member).
class FieldsObject final : public ScriptObject
{
public:
    explicit FieldsObject(std::shared_ptr<Cursor> cursor) : m_cursor(std::move(cursor)) {}
    QString typeName() const override { return QStringLiteral("Fields"); }
    bool hasProperty(const QString &name) const override { return is(name, "Count"); }
    bool hasMethod(const QString &name) const override { return name.isEmpty() || is(name, "Item"); }
    ScriptValue getProperty(const QString &name) override
    {
        if (is(name, "Count"))
            return ScriptValue::integer(m_cursor->checked().columnCount());
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    void setProperty(const QString &name, const ScriptValue &) override
    {
        throwScriptError(ScriptErrorNumber::IllegalAssignment, name);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        if (name.isEmpty() || is(name, "Item")) {
            if (args.size() != 1)
                throwScriptError(ScriptErrorNumber::WrongArgumentCount, QStringLiteral("Item"));
            return item(args.first());
        }
        if (is(name, "Count") && args.isEmpty())
            return getProperty(name);
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    bool enumerate(QList<ScriptValue> *items) override
    {
        const int n = m_cursor->checked().columnCount();
        for (int c = 0; c < n; ++c)
            items->append(ScriptValue::object(std::make_shared<FieldObject>(m_cursor, c)));
        return true;
    }
    ScriptValue item(const ScriptValue &key)
    {
        return ScriptValue::object(std::make_shared<FieldObject>(m_cursor, m_cursor->column(key)));
    }

private:
    std::shared_ptr<Cursor> m_cursor;
};

class RecordsetObject final : public ScriptObject
{
public:
    explicit RecordsetObject(std::shared_ptr<ResultSet> rows)
        : m_cursor(std::make_shared<Cursor>(Cursor{std::move(rows), true})),
          m_fields(std::make_shared<FieldsObject>(m_cursor))
    {
        m_cursor->rows->moveFirst();
    }
    QString typeName() const override { return QStringLiteral("Recordset"); }
    bool hasProperty(const QString &name) const override
    {
        return oneOf(name, {"EOF", "BOF", "RecordCount", "Fields", "State", "AbsolutePosition"});
    }
    bool hasMethod(const QString &name) const override
    {
        return name.isEmpty() || oneOf(name, {"MoveFirst", "MoveNext", "MovePrevious", "MoveLast", "Close", "Fields"});
    }
    ScriptValue getProperty(const QString &name) override
    {
        if (is(name, "State"))
            return ScriptValue::integer(m_cursor->open ? 1 : 0);
        if (is(name, "EOF"))
            return ScriptValue::boolean(m_cursor->eof());
        if (is(name, "BOF"))
            return ScriptValue::boolean(m_cursor->bof());
        if (is(name, "RecordCount"))
            return ScriptValue::integer(m_cursor->checked().rowCount());
        if (is(name, "AbsolutePosition")) {
            const ResultSet &r = m_cursor->checked();
            return ScriptValue::integer(r.hasCurrent() ? r.position() + 1 : -1);
        }
        if (is(name, "Fields")) {
            m_cursor->checked();
            return ScriptValue::object(m_fields);
        }
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    }
    void setProperty(const QString &name, const ScriptValue &) override
    {
        throwScriptError(ScriptErrorNumber::IllegalAssignment, name);
    }
    ScriptValue callMethod(const QString &name, const QList<ScriptValue> &args) override
    {
        // rs("name") and rs.Fields("name") are the field.
        if (name.isEmpty() || (is(name, "Fields") && !args.isEmpty())) {
            if (args.size() != 1)
                throwScriptError(ScriptErrorNumber::WrongArgumentCount, QStringLiteral("Fields"));
            m_cursor->checked();
            return m_fields->item(args.first());
        }
        if (!args.isEmpty())
            throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
        if (is(name, "Close")) {
            m_cursor->checked();
            m_cursor->open = false;
            return ScriptValue();
        }
        ResultSet &r = m_cursor->checked();
        if (is(name, "MoveFirst"))
            r.moveFirst();
        else if (is(name, "MoveLast"))
            r.moveTo(r.rowCount() - 1);
        else if (is(name, "MoveNext")) {
            if (r.atEnd())
                fail(kNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted. "
                                       "Requested operation requires a current record.");
            r.moveNext();
        } else if (is(name, "MovePrevious")) {
            if (r.beforeStart())
                fail(kNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted. "
                                       "Requested operation requires a current record.");
            r.movePrevious();
        } else if (hasProperty(name))
            return getProperty(name);
        else
            throwScriptError(ScriptErrorNumber::NoSuchMember, name);
        return ScriptValue();
    }

private:
    std::shared_ptr<Cursor> m_cursor;
    std::shared_ptr<FieldsObject> m_fields;
};

} // namespace

std::shared_ptr<ScriptObject> Design_Ado::recordset(std::shared_ptr<ResultSet> rows)
{
    return std::make_shared<RecordsetObject>(std::move(rows));
}

bool Design_Ado::hasProperty(const QString &) const
{
    return false;
}

bool Design_Ado::hasMethod(const QString &name) const
{
    return oneOf(name, {"GetRecordset", "ExecuteSql"});
}

ScriptValue Design_Ado::getProperty(const QString &name)
{
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

void Design_Ado::setProperty(const QString &name, const ScriptValue &)
{
    throwScriptError(ScriptErrorNumber::NoSuchMember, name);
}

ScriptValue Design_Ado::callMethod(const QString &name, const QList<ScriptValue> &args)
{
    if (!hasMethod(name))
        throwScriptError(ScriptErrorNumber::NoSuchMember, name);
    if (args.size() != 1)
        throwScriptError(ScriptErrorNumber::WrongArgumentCount, name);
    const QString sql = args.first().toString();
    if (is(name, "GetRecordset")) {
        auto rows = forScript([&] { return std::make_shared<ResultSet>(Sql(m_conn, sql).select()); });
        return ScriptValue::object(recordset(std::move(rows)));
    }
    forScript([&] { return Sql(m_conn, sql).exec(); });
    return ScriptValue();
}
