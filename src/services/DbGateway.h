#pragma once

#include "platform/db/Sql.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

class QLineEdit;
class QObject;
class QPixmap;
class QWidget;

// The lookups every window uses, on the connection the caller gives.
// Values always travel as bound parameters; table and column names come from
// code. Lookups never fail loudly unless an operation says so.
class DbGateway
{
public:
    // First column of the first row of "SELECT field FROM table WHERE keyField = keyValue";
    // empty when there is no row, the value is null, or anything fails.
    static QString LookupField(const Connection &conn, const QString &table, const QString &field,
                               const QString &keyField, const QString &keyValue);
    // "9" when no row matches, "0" when the value is null. Failures reach the caller.
    static QString LookupStatus(const Connection &conn, const QString &keyField, const QString &keyValue,
                                const QString &table, const QString &field);
    // Rows of sql; with showMessage, warns under "ReturnRecCount_1" when the
    // count is 0 (warnWhenEmpty) or under "ReturnRecCount_2" when it is above 0.
    static qint64 ReturnRecCount(const Connection &conn, const QString &sql, QString &message, bool showMessage,
                                 bool warnWhenEmpty, const QList<QVariant> &values = {});
    // The first column when sql gives exactly one row, else empty.
    static QString ReturnFieldValue(const Connection &conn, const QString &sql, const QList<QVariant> &values = {});

    static QString GetServerDate(const Connection &conn);     // yyyy-mm-dd
    static QString GetServerDateTime(const Connection &conn); // yyyy-mm-dd hh:mm:ss
    static QDateTime serverNow(const Connection &conn);
    // Makes the server's clock read this value (tests); invalid restores it.
    static void setServerNowOverride(const QDateTime &value);

    static QString NullToString(const QVariant &value, const QString &defaultValue = {});
    static QString FormatDateText(const QVariant &value);
    // Reads a text as a date where it is one (yyyy-mm-dd, yyyy/mm/dd, yyyy.mm.dd, with a time or not).
    static QDate toDate(const QVariant &value);
    // Reads a date and time as the servers give it (a QDateTime, or a text
    // yyyy-mm-dd hh:mm:ss with or without 'T' and milliseconds); invalid otherwise.
    static QDateTime toDateTime(const QVariant &value);
    // Whether the database has the table (a database not yet upgraded may
    // lack one of the module's own); asked once per connection and table.
    static bool hasTable(const Connection &conn, const QString &table);

    // The hook captions and messages pass through before they are shown.
    static QString ChangeStrCode(const QString &text, int mode = 0);
    static bool IsNotTraditionalLocale();

    // Asks whether a date later than today may be used; false only for No.
    static bool Check_Date_Ok(const QDate &date, const QString &label);

    // Environment helpers.
    static bool CheckMemberExists(const QObject *object, const QString &member);
    static bool CheckControlExists(const QObject *form, const QString &controlName);
    static bool FileExists(const QString &path);
    static bool DirExists(const QString &path);
    static QString TrimTrailingBackslash(const QString &path);
    static QString GetWindowsDir();
    static QString GetMachineName();
    static QString TrimAtNul(const QString &text);

    // Operations on controls (defined with the widgets).
    // Fills a list control from sql (or from records) with column fieldIndex.
    static void AddRsToList(const Connection &conn, QWidget *control, const QString &sql, ResultSet *records,
                            int fieldIndex, bool clearFirst, bool restoreText, bool searchText, bool setFirstAsText,
                            const QList<QVariant> &values = {});
    // True when the control's trimmed text is empty; the user has then been told.
    static bool CheckIsNullString(QWidget *control, const QString &message);
    // The file the user chose, or empty. filter: "description|pattern|...".
    static QString ShowOpenFileDialog(QWidget *owner, const QString &filter, const QString &title,
                                      const QString &initialFolder, int flags = 0, bool save = false);
    static bool LoadPictureIfExists(const QString &path, QPixmap &picture);
    // Stops typing in edit at the declared length of the column, if it has one.
    static void limitToColumn(QLineEdit *edit, const QString &table, const QString &column);
    // The text a control shows (header item, edit, combo box, or its "text" property).
    static QString controlText(const QWidget *control);
};
