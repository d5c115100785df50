#include "app/Translations.h"

#include "app/AppLogging.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace brivet {

void installTranslations(QCoreApplication& application)
{
    const QLocale locale;
    auto* own = new QTranslator(&application);
    if (own->load(locale, QStringLiteral("brivet"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(own);
        qCDebug(lcApp) << "texts in" << own->language();
    } else {
        delete own;
    }
    auto* qt = new QTranslator(&application);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace brivet
