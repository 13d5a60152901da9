#include "platform/ini/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Section name of a "[name]" line, or a null string for any other line.
QString sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return QString();
    const qsizetype close = t.lastIndexOf(QLatin1Char(']'));
    const QString name = (close > 0 ? t.mid(1, close - 1) : t.mid(1)).trimmed();
    return name.isNull() ? QStringLiteral("") : name; // "[]" is still a section line
}

bool isSectionLine(const QString &line)
{
    return line.trimmed().startsWith(QLatin1Char('['));
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString unquote(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

// The Windows program wrote its settings in the workstation's code page,
// GBK on the factory's Chinese installations; GB18030 reads every GBK file.
// Without that codec the platform's own code page is the next best guess.
QStringDecoder legacyDecoder()
{
    QStringDecoder gb("GB18030");
    return gb.isValid() ? std::move(gb) : QStringDecoder(QStringConverter::System);
}

QStringEncoder legacyEncoder()
{
    QStringEncoder gb("GB18030");
    return gb.isValid() ? std::move(gb) : QStringEncoder(QStringConverter::System);
}

QByteArray encoded(const QString &text, bool legacy)
{
    if (!legacy)
        return text.toUtf8();
    QStringEncoder encoder = legacyEncoder();
    return encoder.encode(text);
}

// Cuts text to at most maxBytes bytes in the file's encoding without
// splitting a character.
QString cutToBytes(const QString &text, int maxBytes, bool legacy)
{
    if (encoded(text, legacy).size() <= maxBytes)
        return text;
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const qsizetype size = encoded(text.mid(end, step), legacy).size();
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += step;
    }
    return text.left(end);
}

bool hasLineBreak(const QString &s)
{
    return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
}

} // namespace

IniFile::IniFile(const QString &path) : m_path(path) {}

bool IniFile::load(QString *error)
{
    m_lines.clear();
    m_bom = false;
    m_legacy = false;
    m_eol = QStringLiteral("\r\n");

    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith(kUtf8Bom)) {
        m_bom = true;
        bytes.remove(0, kUtf8Bom.size());
    }
    QString text;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    text = utf8.decode(bytes);
    // Bytes that are no UTF-8 come from the earlier program: read them in its
    // code page and write them back the same way.
    if (utf8.hasError() && !m_bom) {
        QStringDecoder legacy = legacyDecoder();
        text = legacy.decode(bytes);
        m_legacy = true;
    }
    if (text.isEmpty())
        return true;
    // Keep the file's own line-break style when rewriting it.
    if (!text.contains(QLatin1String("\r\n")) && text.contains(QLatin1Char('\n')))
        m_eol = QStringLiteral("\n");
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast(); // the final line break
    return true;
}

bool IniFile::save(QString *error) const
{
    QByteArray out;
    if (m_bom)
        out += kUtf8Bom;
    for (const QString &line : m_lines) {
        out += encoded(line, m_legacy);
        out += m_eol.toLatin1();
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(out) != out.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

int IniFile::findSection(const QString &section) const
{
    const QString wanted = section.trimmed();
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString name = sectionName(m_lines.at(i));
        if (!name.isNull() && sameName(name, wanted))
            return i;
    }
    return -1;
}

int IniFile::sectionEnd(int headerLine) const
{
    int i = headerLine + 1;
    while (i < m_lines.size() && !isSectionLine(m_lines.at(i)))
        ++i;
    return i;
}

IniFile::KeyLine IniFile::findKey(int headerLine, const QString &key) const
{
    const QString wanted = key.trimmed();
    const int end = sectionEnd(headerLine);
    for (int i = headerLine + 1; i < end; ++i) {
        const QString &line = m_lines.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString name = line.left(eq).trimmed();
        if (sameName(name, wanted))
            return KeyLine{i, name, line.mid(eq + 1).trimmed()};
    }
    return KeyLine{};
}

QString IniFile::value(const QString &section, const QString &key, const QString &defaultValue, int bufferSize) const
{
    QString result = defaultValue;
    const int header = findSection(section);
    if (header >= 0) {
        const KeyLine found = findKey(header, key);
        if (found.line >= 0)
            result = unquote(found.value);
    }
    if (bufferSize > 0)
        result = cutToBytes(result, bufferSize - 1, m_legacy);
    else if (bufferSize == 0)
        result.clear();
    return result;
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    const int header = findSection(section);
    return header >= 0 && findKey(header, key).line >= 0;
}

QStringList IniFile::sections() const
{
    QStringList names;
    for (const QString &line : m_lines) {
        const QString name = sectionName(line);
        if (!name.isNull())
            names << name;
    }
    return names;
}

bool IniFile::setValue(const QString &section, const QString &key, const QString &value, QString *error)
{
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (sec.isEmpty() || hasLineBreak(sec) || sec.contains(QLatin1Char(']')))
        return fail(QStringLiteral("invalid section name \"%1\"").arg(section));
    if (k.isEmpty() || hasLineBreak(k) || k.contains(QLatin1Char('=')) || k.startsWith(QLatin1Char('[')))
        return fail(QStringLiteral("invalid key name \"%1\"").arg(key));
    if (hasLineBreak(value))
        return fail(QStringLiteral("a value cannot span lines"));

    const int header = findSection(sec);
    if (header < 0) {
        m_lines << QLatin1Char('[') + sec + QLatin1Char(']') << k + QLatin1Char('=') + value;
        return true;
    }
    const KeyLine found = findKey(header, k);
    if (found.line >= 0) {
        // Keep the spelling of the key as the file has it.
        m_lines[found.line] = found.key + QLatin1Char('=') + value;
        return true;
    }
    // New keys go after the last non-blank line of the section, so blank
    // lines separating it from the next section stay where they are.
    int insertAt = sectionEnd(header);
    while (insertAt - 1 > header && m_lines.at(insertAt - 1).trimmed().isEmpty())
        --insertAt;
    m_lines.insert(insertAt, k + QLatin1Char('=') + value);
    return true;
}

QString IniFile::readString(const QString &file, const QString &section, const QString &key,
                            const QString &defaultValue, int bufferSize)
{
    IniFile ini(file);
    ini.load(); // an unreadable file reads as empty, like a missing one
    return ini.value(section, key, defaultValue, bufferSize);
}

bool IniFile::writeString(const QString &file, const QString &section, const QString &key, const QString &value,
                          QString *error)
{
    IniFile ini(file);
    return ini.load(error) && ini.setValue(section, key, value, error) && ini.save(error);
}
