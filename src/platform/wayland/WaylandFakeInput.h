#pragma once

#include "platform/wayland/WaylandKeyboard.h"

#include <memory>

namespace brivet {

// KWin's fake input device (org_kde_kwin_fake_input) on a connection of its own: key presses
// that KWin feeds through its own keyboard, layout and modifiers included. KWin lists it only to
// programs whose desktop file asks for it (X-KDE-Wayland-Interfaces). Keys are evdev codes.
class WaylandFakeInput : public WaylandKeyboard
{
public:
    // Null when there is no compositor, or it does not offer fake input to Brivet.
    static std::unique_ptr<WaylandFakeInput> create();
    ~WaylandFakeInput() override;
    WaylandFakeInput(const WaylandFakeInput&) = delete;
    WaylandFakeInput& operator=(const WaylandFakeInput&) = delete;

    void key(uint32_t evdevCode, bool pressed) override;
    [[nodiscard]] bool sync() override;

private:
    WaylandFakeInput();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
