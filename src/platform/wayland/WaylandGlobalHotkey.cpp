#include "platform/wayland/WaylandGlobalHotkey.h"

#include "platform/PlatformLogging.h"
#include "platform/linux/PortalGlobalShortcuts.h"
#include "platform/x11/X11KeyCodes.h"

#include <QStringList>
#include <xkbcommon/xkbcommon.h>

namespace brivet {

WaylandGlobalHotkey::WaylandGlobalHotkey(QDBusConnection bus, QObject* parent)
    : GlobalHotkey(parent), m_portal(std::make_unique<PortalGlobalShortcuts>(bus))
{
    if (!m_portal->isAvailable())
        qCWarning(lcPlatform) << "no global shortcut in this session: open the panel with "
                                 "`brivet --toggle`";
    connect(m_portal.get(), &PortalGlobalShortcuts::activated, this, &GlobalHotkey::activated);
}

WaylandGlobalHotkey::~WaylandGlobalHotkey() = default;

std::optional<HotkeyRegistrationId> WaylandGlobalHotkey::registerHotkey(quint32 keyCode,
                                                                        quint32 modifiers)
{
    if (!m_portal->isAvailable())
        return std::nullopt;
    // Asked once: after that the desktop's own dialog sets the trigger.
    m_portal->bind(portalTrigger(keyCode, modifiers));
    return HotkeyRegistrationId{1};
}

QString WaylandGlobalHotkey::portalTrigger(quint32 keyCode, quint32 modifiers)
{
    const std::optional<quint32> x11KeyCode = x11KeyCodeForKeyCode(keyCode);
    if (!x11KeyCode)
        return {};
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap =
        context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    xkb_state* state = keymap ? xkb_state_new(keymap) : nullptr;
    char name[64] = {};
    if (state)
        xkb_keysym_get_name(xkb_state_key_get_one_sym(state, *x11KeyCode), name, sizeof name);
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    if (!name[0] || QByteArray(name) == "NoSymbol")
        return {};
    QStringList parts;
    if (modifiers & HotkeyModifier::Control)
        parts << QStringLiteral("CTRL");
    if (modifiers & HotkeyModifier::Alt)
        parts << QStringLiteral("ALT");
    if (modifiers & HotkeyModifier::Shift)
        parts << QStringLiteral("SHIFT");
    if (modifiers & HotkeyModifier::Super)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

std::optional<quint32> WaylandGlobalHotkey::keyCodeForNativeScanCode(quint32 nativeScanCode) const
{
    return keyCodeForX11KeyCode(nativeScanCode);
}

QString WaylandGlobalHotkey::manualBinding(const QString& command) const
{
    if (m_portal->isAvailable())
        return {};
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (qEnvironmentVariableIsSet("SWAYSOCK") ||
        desktop.contains(QLatin1String("sway"), Qt::CaseInsensitive))
        return tr("Add this line to your sway configuration (~/.config/sway/config), then "
                  "reload it:\nbindsym Mod4+Shift+v exec %1")
            .arg(command);
    if (qEnvironmentVariableIsSet("HYPRLAND_INSTANCE_SIGNATURE") ||
        desktop.contains(QLatin1String("Hyprland"), Qt::CaseInsensitive))
        return tr("Add this line to your Hyprland configuration "
                  "(~/.config/hypr/hyprland.conf):\nbind = SUPER SHIFT, V, exec, %1")
            .arg(command);
    return tr("Bind this command to a key in your desktop's keyboard settings:\n%1").arg(command);
}

} // namespace brivet
