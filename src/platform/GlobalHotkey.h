#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>

namespace brivet {

// The modifier bits of a hotkey's mask. The values are those Brivet stores in its settings;
// each platform maps them onto its own modifiers (on Linux: Ctrl, Alt, Shift, Super).
namespace HotkeyModifier {
inline constexpr quint32 Command = 0x100;  // Super
inline constexpr quint32 Shift = 0x200;    // Shift
inline constexpr quint32 Option = 0x800;   // Alt
inline constexpr quint32 Control = 0x1000; // Ctrl
inline constexpr quint32 All = Command | Shift | Option | Control;
} // namespace HotkeyModifier

enum class HotkeyHandlerId : quint64
{
};
enum class HotkeyRegistrationId : quint64
{
};

// System-wide key combinations: registered combinations are reported to the installed
// handlers whichever application has the keyboard. Key codes name physical key positions
// (the ANSI layout: A = 0, S = 1, ..., V = 9, Space = 49), so a combination stays on the same
// key in every keyboard layout. All calls and handlers run on the main thread.
class GlobalHotkey
{
public:
    virtual ~GlobalHotkey() = default;

    // The handler is called once for every press of any registered combination.
    [[nodiscard]] virtual std::optional<HotkeyHandlerId>
    installHandler(std::function<void()> handler) = 0;
    virtual void removeHandler(HotkeyHandlerId handler) = 0;

    // Claims the combination for Brivet. std::nullopt when it cannot be had: the key has no
    // physical counterpart, or another program holds the combination.
    [[nodiscard]] virtual std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode,
                                                                             quint32 modifiers) = 0;
    virtual void unregisterHotkey(HotkeyRegistrationId registration) = 0;

    // The key code of the physical key that the application's own key events report as
    // `nativeScanCode` (QKeyEvent::nativeScanCode()); std::nullopt for keys that have none,
    // modifier keys included.
    [[nodiscard]] virtual std::optional<quint32>
    keyCodeForNativeScanCode(quint32 nativeScanCode) const = 0;
};

} // namespace brivet
