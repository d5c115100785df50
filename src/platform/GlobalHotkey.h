#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace brivet {

// The modifier bits of a shortcut's mask, as Brivet stores them in its settings.
namespace HotkeyModifier {
inline constexpr quint32 Super = 0x100;
inline constexpr quint32 Shift = 0x200;
inline constexpr quint32 Alt = 0x800;
inline constexpr quint32 Control = 0x1000;
inline constexpr quint32 All = Super | Shift | Alt | Control;

// The mask of Qt's modifiers: Ctrl, Alt, Shift and Meta (Super); every other one is ignored.
constexpr quint32 fromQt(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::MetaModifier) ? Super : 0) |
           (modifiers.testFlag(Qt::ShiftModifier) ? Shift : 0) |
           (modifiers.testFlag(Qt::AltModifier) ? Alt : 0) |
           (modifiers.testFlag(Qt::ControlModifier) ? Control : 0);
}
} // namespace HotkeyModifier

// One key combination: the physical key's code (positions of the US layout: A = 0, V = 9,
// Space = 49) and a HotkeyModifier mask.
struct Shortcut
{
    quint32 keyCode = 0;
    quint32 modifiers = 0;

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

enum class HotkeyRegistrationId : quint64
{
};

// System-wide key combinations: a registered combination is reported by `activated` whichever
// application has the keyboard. Key codes name physical key positions, so a combination stays
// on the same key in every keyboard layout. Main thread only.
class GlobalHotkey : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~GlobalHotkey() override = default;

    // Claims the combination for Brivet. std::nullopt when it cannot be had: the key has no
    // physical counterpart, another program holds the combination, or the session offers no
    // global shortcuts.
    [[nodiscard]] virtual std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode,
                                                                             quint32 modifiers) = 0;
    virtual void unregisterHotkey(HotkeyRegistrationId registration) = 0;

    // The key code of the physical key that the application's own key events report as
    // `nativeScanCode` (QKeyEvent::nativeScanCode()); std::nullopt for keys that have none,
    // modifier keys included.
    [[nodiscard]] virtual std::optional<quint32>
    keyCodeForNativeScanCode(quint32 nativeScanCode) const = 0;

    // Where the desktop lets no program take a global shortcut but the user can bind a
    // command to a key: how to bind `command` on this desktop, in a sentence and the line to
    // write (separated by a line break). Empty where registerHotkey() is the way.
    virtual QString manualBinding(const QString& command) const
    {
        Q_UNUSED(command);
        return {};
    }

signals:
    // One press of a registered combination (holding the keys down is one press).
    void activated();
};

} // namespace brivet
