#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>

namespace brivet {

// Desktop notifications through the session bus's notification server
// (org.freedesktop.Notifications). Where no server runs, or it refuses, the message is logged.
class FreedesktopNotifier : public DesktopNotifier
{
public:
    explicit FreedesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());

    void notify(const QString& summary, const QString& body) override;

private:
    QDBusConnection m_bus;
};

} // namespace brivet
