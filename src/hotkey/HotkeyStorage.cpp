#include "hotkey/HotkeyStorage.h"

#include "common/NotificationCenter.h"
#include "hotkey/HotkeyLogging.h"
#include "hotkey/HotkeyManager.h"

namespace brivet {

HotkeyStorage::HotkeyStorage(GlobalHotkey* globalHotkey, NotificationCenter& notificationCenter)
    : m_globalHotkey(globalHotkey), m_notificationCenter(notificationCenter)
{}

HotkeyStorage::~HotkeyStorage()
{
    unregisterHotkey();
}

void HotkeyStorage::unregisterHotkey()
{
    if (m_hotkeyRef) {
        m_globalHotkey->unregisterHotkey(*m_hotkeyRef);
        m_hotkeyRef.reset();
    }
    if (m_eventHandlerRef) {
        m_globalHotkey->removeHandler(*m_eventHandlerRef);
        m_eventHandlerRef.reset();
    }
    if (m_notificationTask) {
        QObject::disconnect(*m_notificationTask);
        m_notificationTask.reset();
    }
}

void HotkeyStorage::registerHotkey(quint32 keyCode, quint32 modifiers)
{
    unregisterHotkey();

    if (m_globalHotkey) {
        // The handler knows nothing but the notification centre: it announces the press and
        // leaves the rest to whoever listens.
        NotificationCenter* center = &m_notificationCenter;
        m_eventHandlerRef = m_globalHotkey->installHandler(
            [center] { center->post(HotkeyManager::hotkeyPressedNotification()); });
        if (!m_eventHandlerRef)
            qCWarning(lcHotkey) << "could not install the hotkey handler";

        m_hotkeyRef = m_globalHotkey->registerHotkey(keyCode, modifiers);
        if (m_hotkeyRef) {
            qCInfo(lcHotkey).nospace()
                << "registered key code " << keyCode << " modifiers " << modifiers << " ("
                << HotkeyManager::displayString(keyCode, modifiers) << ")";
        } else {
            qCWarning(lcHotkey).nospace()
                << "could not register " << HotkeyManager::displayString(keyCode, modifiers)
                << " (key code " << keyCode << ", modifiers " << modifiers
                << "); the hotkey will not respond";
        }
    } else {
        qCWarning(lcHotkey) << "this desktop session offers no global hotkeys";
    }

    // The listening task starts even when the registration failed: it then simply hears
    // nothing.
    HotkeyStream* stream = &m_hotkeyStream;
    m_notificationTask =
        QObject::connect(&m_notificationCenter, &NotificationCenter::posted, &m_hotkeyStream,
                         [stream](const QString& name) {
                             if (name == HotkeyManager::hotkeyPressedNotification())
                                 stream->yield();
                         });
}

} // namespace brivet
