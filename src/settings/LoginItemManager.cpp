#include "settings/LoginItemManager.h"

#include "platform/LoginItemRegistry.h"
#include "settings/SettingsLogging.h"

#include <cstdio>

namespace brivet {

LoginItemManager::LoginItemManager(LoginItemRegistry* registry, QObject* parent)
    : QObject(parent), m_registry(registry)
{}

bool LoginItemManager::isEnabled() const
{
    const bool enabled = m_registry && m_registry->isRegistered();
    qCDebug(lcSettings) << "open at login reads" << (enabled ? "on" : "off");
    return enabled;
}

void LoginItemManager::setEnabled(bool enabled)
{
    const std::optional<QString> error =
        m_registry ? m_registry->setRegistered(enabled)
                   : std::optional<QString>(QStringLiteral("this desktop has no login items"));
    if (error) {
        std::printf("Failed to update login item: %s\n", qPrintable(*error));
        std::fflush(stdout);
    } else {
        qCInfo(lcSettings) << "open at login turned" << (enabled ? "on" : "off");
    }
    emit isEnabledChanged();
}

} // namespace brivet
