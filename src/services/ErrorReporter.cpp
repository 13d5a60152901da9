#include "services/ErrorReporter.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/core/MessageBoxService.h"
#include "platform/db/Sql.h"
#include "platform/db/Value.h"
#include "services/TextCode.h"

#include <QRegularExpression>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The failure being handled, or none (number 0) outside a catch block.
ErpError currentError()
{
    if (!std::current_exception())
        return ErpError(0, {}, {});
    try {
        throw;
    } catch (const ErpError &e) {
        return e;
    } catch (const std::exception &e) {
        return ErpError(-2147418113, QStringLiteral("barmanubill"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return ErpError(-2147418113, QStringLiteral("barmanubill"), QStringLiteral("Unexpected failure"));
    }
}

bool isIdentifier(const QString &name)
{
    static const QRegularExpression id(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return id.match(name).hasMatch();
}

ErrorReporter::Provider &provider()
{
    static ErrorReporter::Provider p;
    return p;
}

} // namespace

ErrorReporter::ErrorReporter(const Connection &conn, const QString &userName, const QString &runTag)
    : m_conn(conn), m_userName(userName), m_runTag(runTag)
{}

void ErrorReporter::setProvider(Provider p)
{
    provider() = std::move(p);
}

ErrorReporter ErrorReporter::current()
{
    return provider() ? provider()() : ErrorReporter();
}

ErrorReporter ErrorReporter::forConnection(const Connection &conn)
{
    ErrorReporter r = current();
    r.m_conn = conn;
    return r;
}

QString ErrorReporter::singleValue(const QString &sql, const QList<QVariant> &values) const
{
    // Reported as the gateway's one-value look-up reports, which it was.
    try {
        const ResultSet rs = Sql(m_conn, sql).bindAll(values).select();
        if (rs.columnCount() > 0 && rs.rowCount() == 1)
            return valueText(rs.value(0, 0));
    } catch (...) {
        report(QStringLiteral("PublicFunction"), QStringLiteral("ReturnFieldValue"), sql);
    }
    return {};
}

int ErrorReporter::show(const QString &formName, const QString &messageId, QString &text, int &style,
                        QString &title) const
{
    if (title.isEmpty())
        title = QStringLiteral("提示");
    const QString stored =
        singleValue(QStringLiteral("SELECT Message FROM ErpSys_Message WHERE Frm_Name = ? AND Message_Id = ?"),
                    {formName, messageId});
    if (!stored.isEmpty())
        text = stored;
    if (style == 0)
        style = 64;
    return MessageBoxService::instance().show(MessageRequest{formName, messageId, text, style, title});
}

int ErrorReporter::show(const QString &formName, const QString &messageId, const QString &text, int style,
                        const QString &title) const
{
    QString t = text;
    QString ti = title;
    return show(formName, messageId, t, style, ti);
}

int ErrorReporter::ShowErpMessage(const QString &formName, const QString &messageId, QString &text, int &style,
                                  QString &title)
{
    return current().show(formName, messageId, text, style, title);
}

int ErrorReporter::ShowErpMessage(const QString &formName, const QString &messageId, const QString &text, int style,
                                  const QString &title)
{
    return current().show(formName, messageId, text, style, title);
}

void ErrorReporter::ReportError(const QString &formName, const QString &procedureName, const QString &detail)
{
    // Read here, not in the forwarded call, so the failure being handled is still current.
    current().report(formName, procedureName, detail, currentError());
}

void ErrorReporter::ReportError(const QString &formName, const QString &procedureName, const QString &detail,
                                const ErpError &error)
{
    current().report(formName, procedureName, detail, error);
}

bool ErrorReporter::CheckIdDataIsUsing(const QString &tableName, const QString &fieldKey, const QVariant &currentValue,
                                       bool bareValue)
{
    return current().checkIdDataIsUsing(tableName, fieldKey, currentValue, bareValue);
}

QString ErrorReporter::errorText(const QString &procedureName, qint64 number, const QString &description)
{
    return TextCode::change(QStringLiteral("程序在  ") + procedureName + QStringLiteral("  过程") +
                            QStringLiteral("发生错误!") + kCrLf + kCrLf + QStringLiteral("描述如下:") + kCrLf + kCrLf +
                            QStringLiteral("(") + QString::number(number) + QStringLiteral(")") + description);
}

void ErrorReporter::report(const QString &formName, const QString &procedureName, const QString &detail) const
{
    report(formName, procedureName, detail, currentError());
}

void ErrorReporter::report(const QString &formName, const QString &procedureName, const QString &detail,
                           const ErpError &error) const
{
    const qint64 number = error.number();
    QString description;
    if (!detail.isEmpty())
        description = TextCode::change(detail + QStringLiteral("(") + error.description() + QStringLiteral(")"));
    else
        description = QString(error.description()).replace(QLatin1Char('\''), QLatin1Char('"'));
    if (detail.isEmpty() && number == 0)
        return;

    MessageBoxService::instance().show(MessageRequest{formName, QString(),
                                                      errorText(procedureName, number, description), 16,
                                                      TextCode::change(QStringLiteral("错误提示信息"))});

    if (number == ErpErrorNumber::GenericProvider)
        return;
    // The values are bound, so a detail holding quotes (an SQL text) is
    // logged as it is instead of breaking the statement.
    try {
        if (!m_conn.isOpen())
            return;
        Sql(m_conn, QStringLiteral("INSERT INTO Erp_Error_Msg (Frm_Name, Proc_Name, Err_Source, Err_No, Err_Desc, "
                                   "Run_Tag, Err_Date) VALUES (?, ?, ?, ?, ?, ?, ?)"))
            .bind(formName)
            .bind(procedureName)
            .bind(error.source())
            .bind(number)
            .bind(description)
            .bind(m_runTag)
            .bind(Environment::today().toString(QStringLiteral("yyyy-MM-dd")))
            .exec();
    } catch (...) {
        // The user has seen the box; a log that cannot be written is not worth a second one.
    }
}

bool ErrorReporter::checkIdDataIsUsing(const QString &tableName, const QString &fieldKey, const QVariant &currentValue,
                                       bool bareValue) const
{
    const std::optional<MessageRequest> used = idDataInUse(tableName, fieldKey, currentValue, bareValue);
    if (!used)
        return false;
    if (used->messageId.isEmpty()) {
        // Shown as it is: the table's name is part of the text, so no stored text replaces it.
        MessageBoxService::instance().show(*used);
    } else {
        QString text = used->text;
        int style = used->style;
        QString title = used->title;
        show(used->form, used->messageId, text, style, title);
    }
    return true;
}

std::optional<MessageRequest> ErrorReporter::idDataInUse(const QString &tableName, const QString &fieldKey,
                                                         const QVariant &currentValue, bool bareValue) const
{
    if (!currentValue.isValid())
        return std::nullopt;
    if (tableName.trimmed().isEmpty() || fieldKey.trimmed().isEmpty())
        return MessageRequest{
            QStringLiteral("PublicFunction"), QStringLiteral("CheckIdDataIsUsing_1"),
            QStringLiteral("在检查表格中的字段的使用情况时必须输入表格名称、表格字段名称、指定字段的当前值"), 64,
            QStringLiteral("提示")};
    const Connection &conn = m_conn;
    const ResultSet refs =
        Sql(conn, QStringLiteral("SELECT Field_Name, Table_Name, Table_Descption FROM FieldUseInformation "
                                 "WHERE UPPER(RTRIM(LTRIM(Table_Key))) = UPPER(?) "
                                 "AND UPPER(Table_Name) <> UPPER(?) "
                                 "AND UPPER(LTRIM(RTRIM(Field_Key))) = UPPER(?)"))
            .bind(tableName.trimmed())
            .bind(tableName)
            .bind(fieldKey.trimmed())
            .select();
    QVariant value = currentValue;
    if (bareValue) {
        bool ok = false;
        const double d = currentValue.toString().trimmed().toDouble(&ok);
        if (ok)
            value = d == qint64(d) ? QVariant(qint64(d)) : QVariant(d);
    } else {
        value = valueText(currentValue);
    }
    for (qint64 i = 0; i < refs.rowCount(); ++i) {
        const QString field = refs.text(i, 0).trimmed();
        const QString table = refs.text(i, 1).trimmed();
        // Names come from the catalogue; anything but a plain name is no reference we can read.
        if (!isIdentifier(field) || !isIdentifier(table))
            continue;
        const QString sql = conn.dialect().topN(QStringLiteral("SELECT %1 FROM %2 WHERE %1 = ?").arg(field, table), 1);
        const QString found = singleValue(sql, {value});
        if (!found.isEmpty())
            return MessageRequest{QStringLiteral("PublicFunction"), QString(),
                                  QStringLiteral("<") + refs.text(i, 2) + QStringLiteral(">") +
                                      TextCode::change(QStringLiteral("中使用了当前操作表中的信息,当前操作不能进行!")),
                                  64, QStringLiteral("提示")};
    }
    return std::nullopt;
}
