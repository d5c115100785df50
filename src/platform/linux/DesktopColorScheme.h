#pragma once

#include <QString>

namespace brivet {

// Whether the desktop asks applications for dark colours, in the ways GTK applications are
// told outside GNOME's settings daemon: the GTK_THEME variable ("Adwaita:dark") and GTK's
// settings.ini (gtk-application-prefer-dark-theme, or a theme named "...-dark").
// configHome: $XDG_CONFIG_HOME; gtkTheme: the value of GTK_THEME.
[[nodiscard]] bool desktopPrefersDarkColors(const QString& configHome, const QString& gtkTheme);

} // namespace brivet
