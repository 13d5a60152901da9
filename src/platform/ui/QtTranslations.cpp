#include "platform/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace QtTranslations {

bool installed()
{
    // The standard buttons' texts live in this context in every Qt 6.
    return QCoreApplication::translate("QPlatformTheme", "OK") != QLatin1String("OK") ||
           QCoreApplication::translate("QPlatformTheme", "Cancel") != QLatin1String("Cancel");
}

bool install(const QLocale &locale)
{
    if (!QCoreApplication::instance())
        return false;
    // qt_*.qm pulls in qtbase_*.qm; the translator lives as long as the application.
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"), folder) &&
        !translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    if (!QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

bool installIfNone(const QLocale &locale)
{
    if (installed())
        return true;
    return install(locale);
}

} // namespace QtTranslations
