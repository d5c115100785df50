#pragma once

#include "platform/KeySynthesizer.h"

#include <memory>

namespace brivet {

class WaylandVirtualKeyboard;

// The paste stroke on Wayland through a virtual keyboard made once, at start (compositors drop
// the first keys of a new one). Which window is in front is not known here, so the stroke goes
// to the window that has the keyboard.
class WaylandKeySynthesizer : public KeySynthesizer
{
public:
    WaylandKeySynthesizer();
    ~WaylandKeySynthesizer() override;

    bool isAvailable() const override { return m_keyboard != nullptr; }
    std::optional<WindowId> activeWindow() const override { return std::nullopt; }
    bool windowExists(WindowId) const override { return false; }
    QStringList windowClasses(WindowId) const override { return {}; }
    bool requestActivation(WindowId) override { return false; }
    bool sendShortcut(PasteShortcut shortcut) override;

private:
    std::unique_ptr<WaylandVirtualKeyboard> m_keyboard;
};

} // namespace brivet
