#include "platform/linux/FreedesktopNotifier.h"

#include "platform/PlatformLogging.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace brivet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

void FreedesktopNotifier::notify(const QString& summary, const QString& body)
{
    QDBusConnectionInterface* daemon = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!daemon || !daemon->isServiceRegistered(kService).value()) {
        qCInfo(lcPlatform).noquote() << "no notification server to tell:" << summary << "-" << body;
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                       kService, QStringLiteral("Notify"));
    call << QStringLiteral("Brivet") << uint(0) << QStringLiteral("com.brivet.Brivet") << summary
         << body << QStringList() << QVariantMap() << int(-1);
    // Not waited for: a server that is slow to answer never holds up the caller.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call));
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, summary, body] {
            watcher->deleteLater();
            if (const QDBusPendingReply<uint> reply = *watcher; reply.isError())
                qCWarning(lcPlatform).noquote() << "the notification server refused" << summary
                                                << "-" << body << ":" << reply.error().message();
            else
                qCDebug(lcPlatform) << "notified:" << summary;
        });
}

} // namespace brivet
