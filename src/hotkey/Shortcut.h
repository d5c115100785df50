#pragma once

#include <QtGlobal>

namespace brivet {

// One key combination: the physical key's code (ANSI positions, V = 9) and the modifier mask
// (HotkeyModifier bits, platform/GlobalHotkey.h).
struct Shortcut
{
    quint32 keyCode = 0;
    quint32 modifiers = 0;

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

} // namespace brivet
