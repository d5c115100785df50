#include "platform/wayland/WaylandGlobalHotkey.h"

#include "platform/x11/X11KeyCodes.h"

namespace brivet {

std::optional<quint32> WaylandGlobalHotkey::keyCodeForNativeScanCode(quint32 nativeScanCode) const
{
    return keyCodeForX11KeyCode(nativeScanCode);
}

QString WaylandGlobalHotkey::manualBinding(const QString& command) const
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (qEnvironmentVariableIsSet("SWAYSOCK") ||
        desktop.contains(QLatin1String("sway"), Qt::CaseInsensitive))
        return tr("Add this line to your sway configuration (~/.config/sway/config), then "
                  "reload it:\nbindsym Mod4+Shift+v exec %1")
            .arg(command);
    if (qEnvironmentVariableIsSet("HYPRLAND_INSTANCE_SIGNATURE") ||
        desktop.contains(QLatin1String("Hyprland"), Qt::CaseInsensitive))
        return tr("Add this line to your Hyprland configuration "
                  "(~/.config/hypr/hyprland.conf):\nbind = SUPER SHIFT, V, exec, %1")
            .arg(command);
    return tr("Bind this command to a key in your desktop's keyboard settings:\n%1").arg(command);
}

} // namespace brivet
