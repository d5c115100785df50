#include "platform/wayland/WaylandGlobalHotkey.h"

#include "platform/x11/X11KeyCodes.h"

namespace brivet {

std::optional<quint32> WaylandGlobalHotkey::keyCodeForNativeScanCode(quint32 nativeScanCode) const
{
    return keyCodeForX11KeyCode(nativeScanCode);
}

} // namespace brivet
