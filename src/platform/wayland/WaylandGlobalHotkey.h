#pragma once

#include "platform/null/NullPlatform.h"

namespace brivet {

// The global shortcut on a Wayland compositor: none is registered (the user binds
// `brivet --toggle` in the compositor), but the key codes of Brivet's own key events are
// known: Qt on Wayland reports xkb key codes, which number the keys as the X server does
// (evdev + 8). The panel reads its keys through them. The Shortcuts tab says how to bind the
// command on this compositor.
class WaylandGlobalHotkey : public NullGlobalHotkey
{
    Q_OBJECT
public:
    using NullGlobalHotkey::NullGlobalHotkey;
    std::optional<quint32> keyCodeForNativeScanCode(quint32 nativeScanCode) const override;
    // The configuration line of sway or Hyprland, else the compositor's keyboard settings.
    QString manualBinding(const QString& command) const override;
};

} // namespace brivet
