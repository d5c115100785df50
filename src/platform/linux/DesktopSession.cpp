#include "platform/linux/DesktopSession.h"

#include "platform/gnome/GnomeShellExtension.h"
#include "platform/wayland/WaylandDataControl.h"

#include <QDBusConnection>

namespace brivet {

DesktopSession DesktopSession::fromEnvironment(const QProcessEnvironment& environment)
{
    DesktopSession session;
    session.isWayland =
        environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland") ||
        !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    session.hasX11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    session.desktopName =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).section(QLatin1Char(':'), 0, 0);
    session.qtPlatform = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    session.isGnome = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                          .split(QLatin1Char(':'))
                          .contains(QLatin1String("GNOME"));
    return session;
}

DesktopSession DesktopSession::detect(const QProcessEnvironment& environment)
{
    DesktopSession session = fromEnvironment(environment);
    const QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    const bool qtOnWayland =
        session.qtPlatform.isEmpty() || session.qtPlatform.startsWith(QLatin1String("wayland"));
    if (!display.isEmpty() && qtOnWayland)
        session.hasWaylandClipboard = DataControl::isOffered(display.toLocal8Bit());
    if (!display.isEmpty() && qtOnWayland && session.isGnome && !session.hasWaylandClipboard) {
        // A connection of its own: Qt's application object does not exist yet.
        const QString name = QStringLiteral("brivet-gnome-probe");
        {
            const QDBusConnection bus =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
            session.hasGnomeShellExtension = bus.isConnected() && GnomeShellExtension::answers(bus);
        }
        QDBusConnection::disconnectFromBus(name);
    }
    return session;
}

} // namespace brivet
