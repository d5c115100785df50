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
    // The Wayland compositor lets a clipboard manager watch and set the clipboard (it offers a
    // data-control manager). Known only after asking it: see detect().
    bool hasWaylandClipboard = false;
    bool isGnome = false; // XDG_CURRENT_DESKTOP names GNOME (also "ubuntu:GNOME")
    // Brivet's GNOME Shell extension answers on the session bus. Known only after asking it:
    // see detect().
    bool hasGnomeShellExtension = false;

    // The session as its variables describe it; the compositor is not asked.
    static DesktopSession fromEnvironment(const QProcessEnvironment& environment);
    // fromEnvironment(), and the compositor asked through a short-lived connection of its own
    // when a Wayland display is set and Qt is not told to draw elsewhere; on GNOME without a
    // clipboard for managers, the shell's extension asked over the session bus.
    static DesktopSession detect(const QProcessEnvironment& environment);
};

} // namespace brivet
