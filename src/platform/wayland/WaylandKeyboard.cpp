#include "platform/wayland/WaylandKeyboard.h"

#include "platform/wayland/WaylandFakeInput.h"
#include "platform/wayland/WaylandLogging.h"
#include "platform/wayland/WaylandVirtualKeyboard.h"

namespace brivet {

std::unique_ptr<WaylandKeyboard> WaylandKeyboard::create()
{
    if (auto keyboard = WaylandVirtualKeyboard::create()) {
        qCInfo(lcWayland) << "pasting through the compositor's virtual keyboard";
        return keyboard;
    }
    if (auto input = WaylandFakeInput::create()) {
        qCInfo(lcWayland) << "pasting through the compositor's fake input";
        return input;
    }
    return nullptr;
}

bool WaylandKeyboard::press(std::initializer_list<uint32_t> modifiers, uint32_t keyCode)
{
    for (const uint32_t modifier : modifiers)
        key(modifier, true);
    key(keyCode, true);
    key(keyCode, false);
    for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier)
        key(*modifier, false);
    return sync();
}

} // namespace brivet
