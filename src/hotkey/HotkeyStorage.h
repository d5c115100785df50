#pragma once

#include "hotkey/HotkeyStream.h"
#include "platform/GlobalHotkey.h"

#include <QMetaObject>
#include <optional>

namespace brivet {

class NotificationCenter;

// The hotkey manager's hold on the platform: the registered combination, the installed press
// handler, the listening task that turns "com.brivet.hotkeyPressed" notifications into stream
// elements, and the stream itself. Owned by the manager; releasing it releases the
// registration, so no press handler outlives the objects it posts to.
class HotkeyStorage
{
public:
    // globalHotkey may be null: the session offers no global hotkeys and nothing registers.
    HotkeyStorage(GlobalHotkey* globalHotkey, NotificationCenter& notificationCenter);
    ~HotkeyStorage();
    HotkeyStorage(const HotkeyStorage&) = delete;
    HotkeyStorage& operator=(const HotkeyStorage&) = delete;

    // Installs the handler, registers the combination and starts the listening task, after
    // removing whatever an earlier call left.
    void registerHotkey(quint32 keyCode, quint32 modifiers);
    // Removes the registration, then the handler, then the listening task.
    void unregisterHotkey();

    HotkeyStream& hotkeyStream() { return m_hotkeyStream; }
    bool isRegistered() const { return m_hotkeyRef.has_value(); }

private:
    GlobalHotkey* m_globalHotkey;
    NotificationCenter& m_notificationCenter;
    std::optional<HotkeyRegistrationId> m_hotkeyRef;
    std::optional<HotkeyHandlerId> m_eventHandlerRef;
    std::optional<QMetaObject::Connection> m_notificationTask;
    HotkeyStream m_hotkeyStream;
};

} // namespace brivet
