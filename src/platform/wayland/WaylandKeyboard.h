#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>

namespace brivet {

// A keyboard of the compositor's that Brivet presses keys on, each on a connection of its own:
// the virtual keyboard of wlroots compositors, or KWin's fake input. Keys are evdev codes
// (linux/input-event-codes.h); the modifiers the window in front sees follow from the modifier
// keys pressed.
class WaylandKeyboard
{
public:
    virtual ~WaylandKeyboard() = default;

    // The virtual keyboard where the compositor offers one, else its fake input; null when
    // neither is to be had. Compositors drop the first keys of a new virtual keyboard: make one
    // early and keep it.
    static std::unique_ptr<WaylandKeyboard> create();

    virtual void key(uint32_t evdevCode, bool pressed) = 0;
    // Waits until the compositor has taken what was sent; false when the connection is gone.
    [[nodiscard]] virtual bool sync() = 0;

    // Presses and releases key while the modifier keys are held, then waits as sync() does.
    [[nodiscard]] bool press(std::initializer_list<uint32_t> modifiers, uint32_t key);
};

} // namespace brivet
