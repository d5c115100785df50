#pragma once

#include <cstdint>
#include <memory>

namespace brivet {

// A virtual keyboard of the compositor's seat (zwp_virtual_keyboard_manager_v1) on a connection
// of its own, with a US layout: keys are evdev codes (linux/input-event-codes.h). Compositors
// drop keys sent right after a virtual keyboard appears, so make one early and keep it.
class WaylandVirtualKeyboard
{
public:
    enum Modifier
    {
        Control = 1,
        Shift = 2
    };

    // Null when there is no compositor, or it offers no virtual keyboard (or refuses one).
    static std::unique_ptr<WaylandVirtualKeyboard> create();
    ~WaylandVirtualKeyboard();
    WaylandVirtualKeyboard(const WaylandVirtualKeyboard&) = delete;
    WaylandVirtualKeyboard& operator=(const WaylandVirtualKeyboard&) = delete;

    void key(uint32_t evdevCode, bool pressed);
    // The modifiers the window in front is to see as held, a combination of Modifier.
    void setModifiers(int modifiers);
    // Waits until the compositor has taken what was sent; false when the connection is gone.
    [[nodiscard]] bool sync();

private:
    WaylandVirtualKeyboard();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
