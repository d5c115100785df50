#include "platform/linux/DesktopSession.h"

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
    return session;
}

} // namespace brivet
