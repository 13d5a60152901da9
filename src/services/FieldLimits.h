#pragma once

#include <QString>

// What a text field may hold so that every database stores it alike: the
// column's length as the schema declares it, and no character a server
// cannot keep (NUL and the other control characters).
namespace FieldLimits {

// The declared length of a text or code column, 0 when the schema gives none
// (an unknown column, a memo, a number) or cannot be read.
int maxLength(const QString &table, const QString &column);

// True when the text holds NUL or another control character (tab, line breaks
// and the rest below a blank, and DEL).
bool hasControlCharacters(const QString &text);

// The message for a field that holds such characters.
QString controlCharactersMessage();

} // namespace FieldLimits
