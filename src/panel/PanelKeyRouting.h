#pragma once

#include "views/PanelKeyAction.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace brivet {

// One key press, reduced to what the routing reads: the physical key (Brivet's key codes,
// ANSI positions), whether the shortcut modifier is held (Ctrl on Linux) and Shift, and the
// text the key typed with the modifiers applied.
struct PanelKeyPress
{
    std::optional<quint32> keyCode;
    bool isCommand = false;
    bool isShift = false;
    bool isOption = false;  // Alt
    bool isMenuKey = false; // the Menu key or Shift+F10, wherever the keyboard has them
    QString text;
};

// Key codes the routing knows, by position.
namespace PanelKeyCode {
inline constexpr quint32 RightBracket = 30;
inline constexpr quint32 LeftBracket = 33;
inline constexpr quint32 Return = 36;
inline constexpr quint32 Z = 6;
inline constexpr quint32 Space = 49;
inline constexpr quint32 Delete = 51; // Backspace
inline constexpr quint32 Escape = 53;
inline constexpr quint32 LeftArrow = 123;
inline constexpr quint32 RightArrow = 124;
// The digits 1 to 9 of the top row, in order.
inline constexpr quint32 Digits[] = {0x12, 0x13, 0x14, 0x15, 0x17, 0x16, 0x1A, 0x1C, 0x19};
} // namespace PanelKeyCode

// The panel's action for a key press (Alt+Left and Alt+Right move the selected card in its
// category's order); std::nullopt leaves the press to the window's own
// handling (the focused control, or nothing). Shift+Space always asks for the preview, Space
// alone leaves the choice to the view (see PanelKeyAction::Kind::Space), Ctrl+Space marks. With the shortcut
// modifier only the table's
// keys are routed and nothing counts as typed text. Without it the brackets type like any
// key; text holding a control, format or private-use character (Tab, Ctrl+letter, keypad
// Enter, Forward Delete) is left to the window, and so is a key that types nothing (Up, Home,
// F1, a dead key).
[[nodiscard]] std::optional<PanelKeyAction> routePanelKey(const PanelKeyPress& press);

} // namespace brivet
