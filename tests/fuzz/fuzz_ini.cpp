// The settings-file reader on any file: load, read every section with keys
// taken from the file itself, change a key, save and read it back.
#include "FuzzSupport.h"

#include "platform/ini/IniFile.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = fuzz::tempPath("settings.ini");
    if (!fuzz::writeFile(path, bytes))
        return 0;
    IniFile ini(path);
    if (!ini.load())
        return 0;
    const QStringList sections = ini.sections();
    // Candidate keys: the left side of every line.
    QStringList keys;
    for (const QString &line : QString::fromUtf8(bytes).split(QLatin1Char('\n')))
        keys << line.section(QLatin1Char('='), 0, 0).trimmed();
    for (const QString &section : sections) {
        for (const QString &key : keys) {
            ini.value(section, key);
            ini.value(section, key, QString(), 8);
            ini.contains(section, key);
        }
    }
    const QString section = sections.isEmpty() ? QStringLiteral("Fuzz") : sections.first();
    if (ini.setValue(section, QStringLiteral("FuzzKey"), QStringLiteral("v1,2")) && ini.save()) {
        IniFile again(path);
        // A value just written must read back as written.
        if (!again.load() || again.value(section, QStringLiteral("FuzzKey")) != QLatin1String("v1,2"))
            __builtin_trap();
    }
    QFile::remove(path);
    return 0;
}
