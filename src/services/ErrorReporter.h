#pragma once

#include "platform/db/Connection.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class ErpError;
struct MessageRequest;

// Messages, failures and usage checks. Every message box of the module is
// addressed by a form name and a message id; a row of ErpSys_Message with
// that pair replaces the built-in text.
//
// A reporter is built from what it needs: the connection holding the stored
// texts and the error log, the user and the workstation tag written into log
// rows. Services make one on the connection they were given (forConnection).
// The static forms are for the windows: they forward to the reporter of the
// window-side context, which the entry point installs with setProvider();
// this layer never reads that context itself. Without a provider the static
// forms show built-in texts and log nothing.
class ErrorReporter
{
public:
    ErrorReporter() = default;
    ErrorReporter(const Connection &conn, const QString &userName, const QString &runTag);

    // The reporter of the window-side context, or one on no connection.
    using Provider = std::function<ErrorReporter()>;
    static void setProvider(Provider provider);
    static ErrorReporter current();
    // The current reporter's user and tag, on conn.
    static ErrorReporter forConnection(const Connection &conn);

    const Connection &connection() const { return m_conn; }
    const QString &userName() const { return m_userName; }
    const QString &runTag() const { return m_runTag; }

    // Shows text (replaced by a stored text when exactly one row holds one)
    // with style (0 shown as 64) and title (empty shown as "提示"); returns
    // the answer. text, style and title are updated as shown.
    int show(const QString &formName, const QString &messageId, QString &text, int &style, QString &title) const;
    int show(const QString &formName, const QString &messageId, const QString &text, int style = 0,
             const QString &title = {}) const;

    // Shows the failure being handled (call it inside a catch block) and logs
    // it in Erp_Error_Msg. Outside a failure and without detail it does nothing.
    void report(const QString &formName, const QString &procedureName, const QString &detail = {}) const;
    void report(const QString &formName, const QString &procedureName, const QString &detail,
                const ErpError &error) const;

    // True when another table still refers to currentValue (the user has been told which).
    bool checkIdDataIsUsing(const QString &tableName, const QString &fieldKey, const QVariant &currentValue,
                            bool bareValue) const;
    // The same without showing: the message that says which table refers to
    // the value (or why the check cannot be made), none when nothing does.
    std::optional<MessageRequest> idDataInUse(const QString &tableName, const QString &fieldKey,
                                              const QVariant &currentValue, bool bareValue) const;

    // The same, through current().
    static int ShowErpMessage(const QString &formName, const QString &messageId, QString &text, int &style,
                              QString &title);
    static int ShowErpMessage(const QString &formName, const QString &messageId, const QString &text, int style = 0,
                              const QString &title = {});
    static void ReportError(const QString &formName, const QString &procedureName, const QString &detail = {});
    static void ReportError(const QString &formName, const QString &procedureName, const QString &detail,
                            const ErpError &error);
    static bool CheckIdDataIsUsing(const QString &tableName, const QString &fieldKey, const QVariant &currentValue,
                                   bool bareValue);

    // The text a failure is shown with.
    static QString errorText(const QString &procedureName, qint64 number, const QString &description);

private:
    // The first column when sql gives exactly one row, else empty; a failure is reported.
    QString singleValue(const QString &sql, const QList<QVariant> &values) const;

    Connection m_conn;
    QString m_userName;
    QString m_runTag;
};
