#pragma once

#include <QString>
#include <QStringList>

// A settings file in the classic profile-string format: "[Section]" lines
// followed by "key=value" lines.
//
// Reading behaves as the classic profile-string reader: section and key names
// compare without regard to case, the first matching section and key win, key
// and value are trimmed of blanks, a value enclosed in matching single or
// double quotes loses them, and everything after the first '=' is the value
// (commas are ordinary characters). A line without '=' defines no key.
//
// Writing replaces the key's line in place or adds it after the last line of
// its section, creating the section at the end of the file; every other line,
// comment, the byte-order mark and the line-break style are kept. The file is
// replaced atomically, so a crash never leaves half a settings file behind.
//
// New files are UTF-8; a UTF-8 byte-order mark is read and kept. A file that
// is not valid UTF-8 was written by the earlier Windows program in the
// workstation's code page: it reads as GB18030 (a superset of GBK) and is
// written back in it. A missing file reads as empty.
class IniFile
{
public:
    explicit IniFile(const QString &path);

    // Reads the file; a missing file loads as empty and succeeds.
    bool load(QString *error = nullptr);
    // Writes the lines back, atomically.
    bool save(QString *error = nullptr) const;

    QString path() const { return m_path; }
    // The file was read in the earlier program's code page, not UTF-8.
    bool isLegacyEncoded() const { return m_legacy; }

    // The value of key in section, or defaultValue when the section or key is
    // missing. bufferSize > 0 acts as a fixed character buffer of that many
    // bytes: the value is cut to at most bufferSize - 1 bytes in the file's
    // encoding, never in the middle of a character.
    QString value(const QString &section, const QString &key, const QString &defaultValue = QString(),
                  int bufferSize = -1) const;
    bool contains(const QString &section, const QString &key) const;
    QStringList sections() const;

    // Sets key in section (in memory). Fails for names or values that cannot
    // be stored on one line: empty or multi-line names, '=' in a key, ']' in a
    // section, line breaks in a value.
    bool setValue(const QString &section, const QString &key, const QString &value, QString *error = nullptr);

    // One-shot helpers: load, read or change one key, save.
    static QString readString(const QString &file, const QString &section, const QString &key,
                              const QString &defaultValue = QString(), int bufferSize = -1);
    static bool writeString(const QString &file, const QString &section, const QString &key, const QString &value,
                            QString *error = nullptr);

private:
    struct KeyLine
    {
        int line = -1;
        QString key;
        QString value;
    };

    int findSection(const QString &section) const;
    int sectionEnd(int headerLine) const;
    KeyLine findKey(int headerLine, const QString &key) const;

    QString m_path;
    QStringList m_lines;
    bool m_bom = false;
    bool m_legacy = false;
    QString m_eol = QStringLiteral("\r\n");
};
