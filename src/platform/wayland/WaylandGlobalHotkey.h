#pragma once

#include "platform/GlobalHotkey.h"

#include <QDBusConnection>
#include <memory>

namespace brivet {

class PortalGlobalShortcuts;

// The global shortcut on a Wayland compositor: through the desktop's GlobalShortcuts portal
// where it is implemented (KDE Plasma), bound once with Brivet's combination as the preferred
// trigger; elsewhere none is registered and the Shortcuts tab says how to bind the command on
// this compositor. The key codes of Brivet's own key events are known either way: Qt on
// Wayland reports xkb key codes, which number the keys as the X server does (evdev + 8). The
// panel reads its keys through them.
class WaylandGlobalHotkey : public GlobalHotkey
{
    Q_OBJECT
public:
    explicit WaylandGlobalHotkey(QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);
    ~WaylandGlobalHotkey() override;

    std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotkey(HotkeyRegistrationId) override {}
    std::optional<quint32> keyCodeForNativeScanCode(quint32 nativeScanCode) const override;
    // Empty where the portal binds the shortcut; else the configuration line of sway or
    // Hyprland, or the compositor's keyboard settings.
    QString manualBinding(const QString& command) const override;

    // The combination in the XDG shortcut notation of a trigger ("LOGO+SHIFT+v"),
    // its key named as on a US keyboard; empty for a key without a name.
    static QString portalTrigger(quint32 keyCode, quint32 modifiers);

private:
    std::unique_ptr<PortalGlobalShortcuts> m_portal;
};

} // namespace brivet
