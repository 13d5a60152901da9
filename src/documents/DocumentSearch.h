#pragma once

#include "platform/db/Sql.h"

#include <QList>
#include <QString>
#include <QVariant>

class Dialect;

// What a document search looks for: the caller's table and columns, and the
// criteria as the user left them in the dialog's fields.
struct DocumentSearch
{
    QString DefTable;
    QString DefField;              // blank: "Inv_No"
    QString DefInvDate;            // blank: "inv_date"
    QString DefInvStatusFieldName; // blank: DefTable + ".Status"
    QString DefInvOther;           // an extra condition with "?" placeholders
    QList<QVariant> DefInvOtherValues;

    QString Inv_No;       // number prefix
    QString Cb_Check;     // "未审核", "已审核", "已结案", "全 部"
    QString print_status; // "未列印", "已列印", "全 部"
    QString Date1;        // first day, inclusive
    QString Date2;        // last day, inclusive
    QString Form_Man;
    QString Bar_Man;
    QString Proc_Man;
    QString Check_Man;
    QString Frm_INV; // source receipt of a line, matched as typed
};

// The search's statement; when a date text is no date, badDateField names
// its field ("Date1" or "Date2") and the statement is empty.
struct SearchStatement
{
    Statement statement;
    QString badDateField;
};

// The distinct document numbers matching a search, in ascending order.
SearchStatement BuildSearchStatement(const DocumentSearch &search, const Dialect &dialect);
// The distinct values of a people column, null read as empty, in ascending order.
QString SearchPeopleQuery(const QString &table, const QString &column, const Dialect &dialect);
