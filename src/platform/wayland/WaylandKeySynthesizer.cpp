#include "platform/wayland/WaylandKeySynthesizer.h"

#include "platform/wayland/WaylandKeyboard.h"
#include "platform/wayland/WaylandToplevels.h"

#include <linux/input-event-codes.h>

namespace brivet {

WaylandKeySynthesizer::WaylandKeySynthesizer(std::shared_ptr<WaylandToplevels> toplevels)
    // Where there is none, the Null synthesiser that takes this one's place says so.
    : m_toplevels(std::move(toplevels)), m_keyboard(WaylandKeyboard::create())
{}

WaylandKeySynthesizer::~WaylandKeySynthesizer() = default;

std::optional<WindowId> WaylandKeySynthesizer::activeWindow() const
{
    const std::optional<WaylandToplevels::Window> front = m_toplevels->activated();
    return front ? std::optional(front->id) : std::nullopt;
}

bool WaylandKeySynthesizer::windowExists(WindowId window) const
{
    return m_toplevels->window(window).has_value();
}

QStringList WaylandKeySynthesizer::windowClasses(WindowId window) const
{
    const std::optional<WaylandToplevels::Window> found = m_toplevels->window(window);
    return found && !found->appId.isEmpty() ? QStringList{found->appId} : QStringList();
}

bool WaylandKeySynthesizer::requestActivation(WindowId window)
{
    return m_toplevels->activate(window);
}

bool WaylandKeySynthesizer::sendShortcut(PasteShortcut shortcut)
{
    if (!m_keyboard)
        return false;
    return shortcut == PasteShortcut::ControlShiftV
               ? m_keyboard->press({KEY_LEFTCTRL, KEY_LEFTSHIFT}, KEY_V)
               : m_keyboard->press({KEY_LEFTCTRL}, KEY_V);
}

} // namespace brivet
