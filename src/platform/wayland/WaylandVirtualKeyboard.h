#pragma once

#include "platform/wayland/WaylandKeyboard.h"

#include <memory>

namespace brivet {

// A virtual keyboard of the compositor's seat (zwp_virtual_keyboard_manager_v1) on a connection
// of its own, with a US layout: keys are evdev codes (linux/input-event-codes.h). Compositors
// drop keys sent right after a virtual keyboard appears, so make one early and keep it. Ctrl
// and Shift pressed on it are held for the keys that follow (the keyboard's modifier state).
class WaylandVirtualKeyboard : public WaylandKeyboard
{
public:
    // Null when there is no compositor, or it offers no virtual keyboard (or refuses one).
    static std::unique_ptr<WaylandVirtualKeyboard> create();
    ~WaylandVirtualKeyboard() override;
    WaylandVirtualKeyboard(const WaylandVirtualKeyboard&) = delete;
    WaylandVirtualKeyboard& operator=(const WaylandVirtualKeyboard&) = delete;

    void key(uint32_t evdevCode, bool pressed) override;
    [[nodiscard]] bool sync() override;

private:
    WaylandVirtualKeyboard();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
