#include "platform/wayland/WaylandKeySynthesizer.h"

#include "platform/wayland/WaylandLogging.h"
#include "platform/wayland/WaylandVirtualKeyboard.h"

#include <linux/input-event-codes.h>

namespace brivet {

WaylandKeySynthesizer::WaylandKeySynthesizer() : m_keyboard(WaylandVirtualKeyboard::create())
{
    // Where there is none, the Null synthesiser that takes this one's place says so.
    if (m_keyboard)
        qCInfo(lcWayland) << "pasting through the compositor's virtual keyboard";
}

WaylandKeySynthesizer::~WaylandKeySynthesizer() = default;

bool WaylandKeySynthesizer::sendShortcut(PasteShortcut shortcut)
{
    if (!m_keyboard)
        return false;
    const bool shift = shortcut == PasteShortcut::ControlShiftV;
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
