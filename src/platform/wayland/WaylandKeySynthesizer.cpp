#include "platform/wayland/WaylandKeySynthesizer.h"

#include "platform/wayland/WaylandFakeInput.h"
#include "platform/wayland/WaylandLogging.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/wayland/WaylandVirtualKeyboard.h"

#include <linux/input-event-codes.h>

namespace brivet {

WaylandKeySynthesizer::WaylandKeySynthesizer(std::shared_ptr<WaylandToplevels> toplevels)
    : m_toplevels(std::move(toplevels)), m_keyboard(WaylandVirtualKeyboard::create())
{
    // Where there is neither, the Null synthesiser that takes this one's place says so.
    if (m_keyboard) {
        qCInfo(lcWayland) << "pasting through the compositor's virtual keyboard";
    } else if ((m_fakeInput = WaylandFakeInput::create())) {
        qCInfo(lcWayland) << "pasting through the compositor's fake input";
    }
}

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
    const bool shift = shortcut == PasteShortcut::ControlShiftV;
    if (m_fakeInput) {
        // KWin runs these through its own keyboard: the modifiers follow from the keys.
        m_fakeInput->key(KEY_LEFTCTRL, true);
        if (shift)
            m_fakeInput->key(KEY_LEFTSHIFT, true);
        m_fakeInput->key(KEY_V, true);
        m_fakeInput->key(KEY_V, false);
        if (shift)
            m_fakeInput->key(KEY_LEFTSHIFT, false);
        m_fakeInput->key(KEY_LEFTCTRL, false);
        return m_fakeInput->sync();
    }
    if (!m_keyboard)
        return false;
    m_keyboard->key(KEY_LEFTCTRL, true);
    if (shift)
        m_keyboard->key(KEY_LEFTSHIFT, true);
    m_keyboard->setModifiers(WaylandVirtualKeyboard::Control |
                             (shift ? WaylandVirtualKeyboard::Shift : 0));
    m_keyboard->key(KEY_V, true);
    m_keyboard->key(KEY_V, false);
    if (shift)
        m_keyboard->key(KEY_LEFTSHIFT, false);
    m_keyboard->key(KEY_LEFTCTRL, false);
    m_keyboard->setModifiers(0);
    return m_keyboard->sync();
}

} // namespace brivet
