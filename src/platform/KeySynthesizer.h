#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace brivet {

// A top-level window of the desktop session, as the window manager knows it. Opaque outside
// the platform code.
using WindowId = quint64;

// The two paste shortcuts applications use: most take Ctrl+V, terminals Ctrl+Shift+V.
enum class PasteShortcut
{
    ControlV,
    ControlShiftV
};

// Delivers synthesised key strokes to the window in front, and brings a window back to the
// front first when needed. Used on the main thread; every call returns at once (it waits for
// the display server only, never for another application).
class KeySynthesizer
{
public:
    virtual ~KeySynthesizer() = default;

    // False when the session cannot take synthesised keys; no stroke is then possible.
    virtual bool isAvailable() const = 0;
    // The window the window manager considers active, or std::nullopt when it does not say.
    virtual std::optional<WindowId> activeWindow() const = 0;
    // False once the window has been closed.
    virtual bool windowExists(WindowId window) const = 0;
    // The window's class names (instance and class), empty when it has none.
    virtual QStringList windowClasses(WindowId window) const = 0;
    // Asks the window manager to make the window active. Returns at once; the change shows
    // up in activeWindow() a little later.
    [[nodiscard]] virtual bool requestActivation(WindowId window) = 0;
    // Presses and releases the shortcut in the window that has the keyboard. Modifier keys
    // the user still holds are released first, so the window sees exactly the shortcut.
    [[nodiscard]] virtual bool sendShortcut(PasteShortcut shortcut) = 0;
};

} // namespace brivet
