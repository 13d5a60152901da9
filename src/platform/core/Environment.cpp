#include "platform/core/Environment.h"

#include <QLocale>
#include <QSysInfo>

namespace {
QString g_machineName;
int g_localeId = 0;
QDateTime g_now;
} // namespace

namespace Environment {

QString machineName()
{
    const QString name = g_machineName.isEmpty() ? QSysInfo::machineHostName() : g_machineName;
    return name.left(19);
}

void setMachineName(const QString &name)
{
    g_machineName = name;
}

int systemLocaleId()
{
    if (g_localeId != 0)
        return g_localeId;
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Chinese) {
        if (locale.territory() == QLocale::Taiwan)
            return 1028;
        if (locale.territory() == QLocale::HongKong)
            return 3076;
        return 2052;
    }
    if (locale.language() == QLocale::English)
        return locale.territory() == QLocale::UnitedKingdom ? 2057 : 1033;
    return 1033;
}

void setSystemLocaleId(int id)
{
    g_localeId = id;
}

QDateTime now()
{
    return g_now.isValid() ? g_now : QDateTime::currentDateTime();
}

void setNow(const QDateTime &now)
{
    g_now = now;
}

} // namespace Environment
