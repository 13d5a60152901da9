#pragma once

#include <QLocale>

// Qt's own texts (the standard buttons of message boxes, the file, print and
// preview dialogs, the calendar) in the workstation's language, from the
// translations the system's Qt brings (Debian: qt6-translations-l10n).
namespace QtTranslations {

// Installs Qt's translation for the locale; false when there is none (an
// English locale, or the package is not installed).
bool install(const QLocale &locale = QLocale());
// Installs it only when nothing translates Qt's texts yet: a host that
// installed its own keeps it.
bool installIfNone(const QLocale &locale = QLocale());
// Whether Qt's texts are translated now (a standard button reads other than "OK").
bool installed();

} // namespace QtTranslations
