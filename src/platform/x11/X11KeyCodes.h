#pragma once

#include <QtGlobal>
#include <optional>

namespace brivet {

// Brivet's key codes name physical key positions of the ANSI layout. On Linux a physical key is
// its evdev code, and the X server numbers it evdev + 8 (as does Qt's
// QKeyEvent::nativeScanCode() on X11). Modifier keys have no key code.
[[nodiscard]] std::optional<quint32> evdevCodeForKeyCode(quint32 keyCode);
[[nodiscard]] std::optional<quint32> keyCodeForEvdevCode(quint32 evdevCode);

inline constexpr quint32 X11KeyCodeOffset = 8;

[[nodiscard]] inline std::optional<quint32> x11KeyCodeForKeyCode(quint32 keyCode)
{
    if (auto evdev = evdevCodeForKeyCode(keyCode))
        return *evdev + X11KeyCodeOffset;
    return std::nullopt;
}

[[nodiscard]] inline std::optional<quint32> keyCodeForX11KeyCode(quint32 x11KeyCode)
{
    if (x11KeyCode < X11KeyCodeOffset)
        return std::nullopt;
    return keyCodeForEvdevCode(x11KeyCode - X11KeyCodeOffset);
}

} // namespace brivet
