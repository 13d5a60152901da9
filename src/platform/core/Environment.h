#pragma once

#include <QDate>
#include <QString>

// The workstation: its name, its default locale, its clock. Each can be set
// by a test so that results that depend on them are repeatable.
namespace Environment {

QString machineName();                    // cut to 19 characters, as the workstation reports it
void setMachineName(const QString &name); // empty restores the real one

int systemLocaleId();           // Windows-style locale id: 1028 zh-TW, 2052 zh-CN, 1033 en-US...
void setSystemLocaleId(int id); // 0 restores the real one; -1 means "cannot be read"

QDateTime now();                   // the workstation's clock
void setNow(const QDateTime &now); // invalid restores the real clock
inline QDate today()
{
    return now().date();
}

} // namespace Environment
