#include "services/DbGateway.h"

#include "platform/core/Environment.h"
#include "platform/core/ErpError.h"
#include "platform/db/Value.h"
#include "services/ErrorReporter.h"
#include "services/TextCode.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMetaProperty>
#include <QMutex>
#include <QObject>

namespace {

QDateTime g_serverNowOverride;

} // namespace

QString DbGateway::LookupField(const Connection &conn, const QString &table, const QString &field,
                               const QString &keyField, const QString &keyValue)
{
    try {
        const QString sql =
            conn.dialect().topN(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(field, table, keyField), 1);
        return valueText(Sql(conn, sql).bind(keyValue).scalar());
    } catch (...) {
        return {};
    }
}

QString DbGateway::LookupStatus(const Connection &conn, const QString &keyField, const QString &keyValue,
                                const QString &table, const QString &field)
{
    const ResultSet rs =
        Sql(conn, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(field, table, keyField)).bind(keyValue).select();
    if (rs.isEmpty())
        return QStringLiteral("9");
    return NullToString(rs.value(0, 0), QStringLiteral("0"));
}

qint64 DbGateway::ReturnRecCount(const Connection &conn, const QString &sql, QString &message, bool showMessage,
                                 bool warnWhenEmpty, const QList<QVariant> &values)
{
    qint64 n = 0;
    try {
        const ResultSet rs = Sql(conn, sql).bindAll(values).select();
        if (rs.columnCount() == 0)
            return 0; // the statement returns no rows
        n = rs.rowCount();
        if (!showMessage)
            return n;
        int style = 0;
        QString title;
        if (warnWhenEmpty && n == 0)
            ErrorReporter::forConnection(conn).show(QStringLiteral("PublicFunction"),
                                                    QStringLiteral("ReturnRecCount_1"), message, style, title);
        else if (!warnWhenEmpty && n > 0)
            ErrorReporter::forConnection(conn).show(QStringLiteral("PublicFunction"),
                                                    QStringLiteral("ReturnRecCount_2"), message, style, title);
    } catch (...) {
        ErrorReporter::forConnection(conn).report(QStringLiteral("PublicFunction"), QStringLiteral("ReturnRecCount"),
                                                  sql);
    }
    return n;
}

QString DbGateway::ReturnFieldValue(const Connection &conn, const QString &sql, const QList<QVariant> &values)
{
    try {
        const ResultSet rs = Sql(conn, sql).bindAll(values).select();
        if (rs.columnCount() > 0 && rs.rowCount() == 1)
            return NullToString(rs.value(0, 0));
    } catch (...) {
        ErrorReporter::forConnection(conn).report(QStringLiteral("PublicFunction"), QStringLiteral("ReturnFieldValue"),
                                                  sql);
    }
    return {};
}

void DbGateway::setServerNowOverride(const QDateTime &value)
{
    g_serverNowOverride = value;
}

QDateTime DbGateway::serverNow(const Connection &conn)
{
    if (g_serverNowOverride.isValid())
        return g_serverNowOverride;
    const QVariant v = Sql(conn, conn.dialect().serverNowQuery()).scalar();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    return QDateTime::fromString(v.toString().left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString DbGateway::GetServerDate(const Connection &conn)
{
    return FormatDateText(serverNow(conn));
}

QString DbGateway::GetServerDateTime(const Connection &conn)
{
    const QDateTime now = serverNow(conn);
    return FormatDateText(now) + QLatin1Char(' ') + now.time().toString(QStringLiteral("hh:mm:ss"));
}

QString DbGateway::NullToString(const QVariant &value, const QString &defaultValue)
{
    if (!value.isValid() || value.isNull())
        return defaultValue;
    return valueText(value);
}

QDateTime DbGateway::toDateTime(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return {};
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    const QString t = value.toString().trimmed();
    for (const QString &format : {QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                                  QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd HH:mm:ss")}) {
        const QDateTime d = QDateTime::fromString(t.left(format.size()), format);
        if (d.isValid())
            return d;
    }
    return {};
}

bool DbGateway::hasTable(const Connection &conn, const QString &table)
{
    static QHash<QString, bool> known;
    static QMutex guard;
    const QMutexLocker hold(&guard);
    const QString key = conn.connectionName() + QLatin1Char('|') + table;
    const auto it = known.constFind(key);
    if (it != known.constEnd())
        return *it;
    bool has = false;
    try {
        has = !Sql(conn, conn.dialect().tableExistsQuery()).bind(table).select().isEmpty();
    } catch (...) {
        // An unreadable catalogue: taken as without the table rather than failing the change.
    }
    known.insert(key, has);
    return has;
}

QDate DbGateway::toDate(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    const QString s = value.toString().trimmed();
    if (s.isEmpty())
        return {};
    static const char *const formats[] = {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d", "yyyyMMdd"};
    const QString datePart = s.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('T'), 0, 0);
    for (const char *f : formats) {
        const QDate d = QDate::fromString(datePart, QLatin1String(f));
        // The parser takes a leading minus as a year before our era; no
        // document is dated there.
        if (d.isValid() && d.year() > 0)
            return d;
    }
    return {};
}

QString DbGateway::FormatDateText(const QVariant &value)
{
    QString s;
    const QDate d = toDate(value);
    if (d.isValid())
        s = d.toString(QStringLiteral("yyyyMMdd"));
    else
        s = value.isNull() ? QString() : valueText(value);
    if (s.size() == 8)
        return s.left(4) + QLatin1Char('-') + s.mid(4, 2) + QLatin1Char('-') + s.mid(6, 2);
    if (s.isEmpty())
        return {};
    QString parts[3];
    int group = 0;
    for (const QChar c : s) {
        if (c.isDigit()) {
            if (group < 3)
                parts[group] += c;
        } else {
            ++group;
        }
    }
    return parts[0] + QLatin1Char('-') + parts[1] + QLatin1Char('-') + parts[2];
}

QString DbGateway::ChangeStrCode(const QString &text, int mode)
{
    return TextCode::change(text, mode);
}

bool DbGateway::IsNotTraditionalLocale()
{
    return TextCode::isNotTraditionalLocale();
}

bool DbGateway::Check_Date_Ok(const QDate &date, const QString &label)
{
    const QString given = date.toString(QStringLiteral("yyyy-MM-dd"));
    const QString today = Environment::today().toString(QStringLiteral("yyyy-MM-dd"));
    if (given <= today)
        return true;
    QString text = label + QStringLiteral("大於当前日期,是否要继续?");
    int style = 292;
    QString title = QStringLiteral("警告");
    const int answer = ErrorReporter::ShowErpMessage(QStringLiteral("PublicFunction"), QStringLiteral("Check_Date_Ok"),
                                                     text, style, title);
    return answer != 7;
}

bool DbGateway::CheckMemberExists(const QObject *object, const QString &member)
{
    if (!object)
        return false;
    const QByteArray name = member.toUtf8();
    return object->metaObject()->indexOfProperty(name.constData()) >= 0 || object->property(name.constData()).isValid();
}

bool DbGateway::CheckControlExists(const QObject *form, const QString &controlName)
{
    if (!form)
        return false;
    const auto children = form->findChildren<QObject *>();
    for (const QObject *child : children)
        if (child->objectName().compare(controlName, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool DbGateway::FileExists(const QString &path)
{
    const QFileInfo fi(path);
    return !path.isEmpty() && fi.exists() && !fi.isDir();
}

bool DbGateway::DirExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString DbGateway::TrimTrailingBackslash(const QString &path)
{
    if (path.size() > 1 && path.endsWith(QLatin1Char('\\')))
        return path.left(path.size() - 1);
    return path;
}

QString DbGateway::GetWindowsDir()
{
    const QString root = qEnvironmentVariable("SystemRoot");
    return root.isEmpty() ? QDir::rootPath() : root;
}

QString DbGateway::GetMachineName()
{
    return Environment::machineName();
}

QString DbGateway::TrimAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}
