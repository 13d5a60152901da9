#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

#include <unistd.h>

namespace fuzz {

// The input as text, the way a file or a typed field reaches the code.
inline QString text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A file of this process's own under the temporary folder, so that several
// fuzzers can run side by side.
inline QString tempPath(const char *name)
{
    return QDir::tempPath() + QStringLiteral("/erp-fuzz-%1-%2").arg(getpid()).arg(QString::fromLatin1(name));
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

} // namespace fuzz
