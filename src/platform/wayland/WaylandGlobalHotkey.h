#pragma once

#include "platform/null/NullPlatform.h"

namespace brivet {

// The global shortcut on a Wayland compositor: none is registered (the user binds
// `brivet --toggle` in the compositor), but the key codes of Brivet's own key events are
// known: Qt on Wayland reports xkb key codes, which number the keys as the X server does
// (evdev + 8). The panel reads its keys through them.
class WaylandGlobalHotkey : public NullGlobalHotkey
{
    Q_OBJECT
public:
    using NullGlobalHotkey::NullGlobalHotkey;
    std::optional<quint32> keyCodeForNativeScanCode(quint32 nativeScanCode) const override;
};

} // namespace brivet
