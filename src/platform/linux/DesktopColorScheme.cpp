#include "platform/linux/DesktopColorScheme.h"

#include <QSettings>

namespace brivet {

namespace {

bool namesDarkTheme(const QString& theme)
{
    return theme.endsWith(QLatin1String(":dark"), Qt::CaseInsensitive) ||
           theme.endsWith(QLatin1String("-dark"), Qt::CaseInsensitive);
}

} // namespace

bool desktopPrefersDarkColors(const QString& configHome, const QString& gtkTheme)
{
    if (!gtkTheme.isEmpty())
        return namesDarkTheme(gtkTheme);
    QSettings gtk(configHome + QStringLiteral("/gtk-3.0/settings.ini"), QSettings::IniFormat);
    gtk.beginGroup(QStringLiteral("Settings"));
    const QVariant preferDark = gtk.value(QStringLiteral("gtk-application-prefer-dark-theme"));
    if (preferDark.isValid())
        return preferDark.toString() == QLatin1String("1") ||
               preferDark.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    return namesDarkTheme(gtk.value(QStringLiteral("gtk-theme-name")).toString());
}

} // namespace brivet
