#pragma once

#include <QString>

// The hook captions and messages pass through before they are shown, kept
// apart from the gateway so the message services can use it without it.
namespace TextCode {

QString change(const QString &text, int mode = 0);
// True unless the last change() saw a traditional-Chinese system locale.
bool isNotTraditionalLocale();

} // namespace TextCode
