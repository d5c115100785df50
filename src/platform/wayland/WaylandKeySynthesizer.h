#pragma once

#include "platform/KeySynthesizer.h"

#include <memory>

namespace brivet {

class WaylandKeyboard;
class WaylandToplevels;

// The paste stroke on Wayland through a virtual keyboard made once, at start (compositors drop
// the first keys of a new one), else through KWin's fake input. The stroke goes to the window that
// has the keyboard; which window that is, and its app_id (that tells terminals apart), come from
// the compositor's list of windows where it keeps one.
class WaylandKeySynthesizer : public KeySynthesizer
{
public:
    explicit WaylandKeySynthesizer(std::shared_ptr<WaylandToplevels> toplevels);
    ~WaylandKeySynthesizer() override;

    bool isAvailable() const override { return m_keyboard != nullptr; }
    std::optional<WindowId> activeWindow() const override;
    bool windowExists(WindowId window) const override;
    QStringList windowClasses(WindowId window) const override;
    bool requestActivation(WindowId window) override;
    bool sendShortcut(PasteShortcut shortcut) override;

private:
    std::shared_ptr<WaylandToplevels> m_toplevels;
    std::unique_ptr<WaylandKeyboard> m_keyboard;
};

} // namespace brivet
