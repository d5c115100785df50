#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace brivet {

// What kind of graphical session Brivet was started in, from the variables the session sets.
struct DesktopSession
{
    bool isWayland = false; // XDG_SESSION_TYPE=wayland, or a Wayland display is set
    bool hasX11 = false;    // an X server (on Wayland: XWayland) is reachable through DISPLAY
    QString desktopName;    // XDG_CURRENT_DESKTOP's first entry ("GNOME", "KDE"), may be empty
    QString qtPlatform;     // QT_QPA_PLATFORM, when the user chose Qt's platform plugin

    static DesktopSession fromEnvironment(const QProcessEnvironment& environment);
};

} // namespace brivet
