#pragma once

#include <QString>
#include <QVariant>

class ErpError;

// Messages, failures and usage checks. Every message box of the module is
// addressed by a form name and a message id; a row of ErpSys_Message with
// that pair replaces the built-in text.
class ErrorReporter
{
public:
    // Shows text (replaced by a stored text when exactly one row holds one)
    // with style (0 shown as 64) and title (empty shown as "提示"); returns
    // the answer. text, style and title are updated as shown.
    static int ShowErpMessage(const QString &formName, const QString &messageId, QString &text, int &style,
                              QString &title);
    static int ShowErpMessage(const QString &formName, const QString &messageId, const QString &text,
                              int style = 0, const QString &title = {});

    // Shows the failure being handled (call it inside a catch block) and logs
    // it in Erp_Error_Msg. Outside a failure and without detail it does nothing.
    static void ReportError(const QString &formName, const QString &procedureName, const QString &detail = {});
    static void ReportError(const QString &formName, const QString &procedureName, const QString &detail,
                            const ErpError &error);
    // The text ReportError shows for a failure.
    static QString errorText(const QString &procedureName, qint64 number, const QString &description);

    // True when another table still refers to currentValue (the user has been told which).
    static bool CheckIdDataIsUsing(const QString &tableName, const QString &fieldKey, const QVariant &currentValue,
                                   bool bareValue);
};
