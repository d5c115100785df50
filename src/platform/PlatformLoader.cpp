#include "platform/Platform.h"
#include "platform/PlatformLogging.h"
#include "platform/gnome/GnomeDesktop.h"
#include "platform/gnome/GnomePasteboard.h"
#include "platform/gnome/GnomeShellExtension.h"
#include "platform/linux/DesktopSession.h"
#include "platform/linux/FreedesktopNotifier.h"
#include "platform/linux/FreedesktopThumbnailer.h"
#include "platform/linux/KeychainSecretStore.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/null/NullPlatform.h"
#include "platform/wayland/WaylandFrontApplication.h"
#include "platform/wayland/WaylandGlobalHotkey.h"
#include "platform/wayland/WaylandKeySynthesizer.h"
#include "platform/wayland/WaylandPanelSurface.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/x11/X11FrontApplication.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11KeySynthesizer.h"
#include "platform/x11/X11PanelSurface.h"
#include "platform/x11/X11Pasteboard.h"

#include <QCoreApplication>
#include <QDBusConnection>

namespace brivet {

Platform::Kind Platform::kindFor(const DesktopSession& session)
{
    const bool qtOnXcb = session.qtPlatform.startsWith(QLatin1String("xcb"));
    const bool qtOnWayland = session.qtPlatform.startsWith(QLatin1String("wayland"));
    // A platform plugin chosen by the user that draws nowhere (tests, a headless run).
    if (!session.qtPlatform.isEmpty() && !qtOnXcb && !qtOnWayland)
        return Kind::Null;
    if (session.isWayland && session.hasWaylandClipboard && !qtOnXcb)
        return Kind::Wayland;
    if (session.isWayland && session.hasGnomeShellExtension && !qtOnXcb)
        return Kind::Gnome;
    // Qt told to draw on a compositor that keeps the clipboard from managers.
    if (qtOnWayland)
        return Kind::Null;
    return session.hasX11 ? Kind::X11 : Kind::Null;
}

QByteArray Platform::qtPlatformFor(Kind kind)
{
    switch (kind) {
    case Kind::X11:
        // Also where the session would have Qt use Wayland: the back end speaks X11.
        return QByteArrayLiteral("xcb");
    case Kind::Wayland:
    case Kind::Gnome:
        return QByteArrayLiteral("wayland");
    case Kind::Null:
        break;
    }
    return {};
}

namespace {

// Shown once at each start on GNOME without the extension (the terminal hears it from main):
// Brivet then sees the clipboard only through XWayland, while an X11 application has the focus.
void tellHowToEnableTheExtension(DesktopNotifier& notifier)
{
    const QString body = QCoreApplication::translate(
        "Platform",
        "GNOME Shell lets Brivet see the clipboard only through its GNOME Shell extension. "
        "Enable it with `gnome-extensions enable brivet@brivet.com` (or in the Extensions "
        "application), log out and in again, and restart Brivet.");
    notifier.notify(
        QCoreApplication::translate("Platform", "Brivet needs its GNOME Shell extension"), body);
}

} // namespace

Platform createPlatform(const DesktopSession& session)
{
    Platform platform;
    platform.kind = Platform::kindFor(session);
    // What any Linux desktop offers, whatever draws the windows.
    platform.fileThumbnailer = std::make_unique<FreedesktopThumbnailer>();
    platform.loginItems = std::make_unique<XdgAutostart>(XdgAutostart::defaultAutostartDir(),
                                                         QCoreApplication::applicationFilePath());
    platform.secrets = std::make_unique<KeychainSecretStore>(QStringLiteral("Brivet"));
    platform.notifier = std::make_unique<FreedesktopNotifier>();
    switch (platform.kind) {
    case Platform::Kind::X11:
        qCInfo(lcPlatform) << "back end: X11";
        platform.pasteboard = std::make_unique<X11Pasteboard>();
        platform.frontApplication = std::make_unique<X11FrontApplication>();
        platform.keySynthesizer = std::make_unique<X11KeySynthesizer>();
        platform.globalHotkey = std::make_unique<X11GlobalHotkey>();
        platform.panelSurface = std::make_unique<X11PanelSurface>();
        break;
    case Platform::Kind::Wayland: {
        qCInfo(lcPlatform) << "back end: Wayland (the clipboard, the paste stroke and the "
                              "front application where the compositor offers them)";
        // Copies are credited by the monitor when it sees them, through the front application
        // below: it reads the compositor's news on the main thread.
        platform.pasteboard = std::make_unique<WaylandPasteboard>();
        // One list of windows for both: the application in front, and the window a paste
        // goes to (whose app_id tells terminals apart). Without the list, the stroke goes to
        // the window that has the keyboard, as Ctrl+V.
        auto toplevels = std::make_shared<WaylandToplevels>();
        if (toplevels->isAvailable())
            platform.frontApplication = std::make_unique<WaylandFrontApplication>(toplevels);
        else
            platform.frontApplication = std::make_unique<NullFrontApplication>();
        if (auto keys = std::make_unique<WaylandKeySynthesizer>(toplevels); keys->isAvailable())
            platform.keySynthesizer = std::move(keys);
        else
            platform.keySynthesizer = std::make_unique<NullKeySynthesizer>();
        platform.globalHotkey = std::make_unique<WaylandGlobalHotkey>();
        if (auto surface = std::make_unique<WaylandPanelSurface>(); surface->isAvailable()) {
            if (toplevels->isAvailable())
                surface->setToplevels(toplevels);
            platform.panelSurface = std::move(surface);
        }
        else
            platform.panelSurface = std::make_unique<NullPanelSurface>();
        break;
    }
    case Platform::Kind::Gnome: {
        qCInfo(lcPlatform) << "back end: GNOME, through Brivet's GNOME Shell extension";
        // The connection that owns Brivet's name: the extension answers no other.
        auto shell = std::make_shared<GnomeShellExtension>(QDBusConnection::sessionBus());
        platform.pasteboard = std::make_unique<GnomePasteboard>(*shell);
        platform.frontApplication = std::make_unique<GnomeFrontApplication>(shell);
        platform.keySynthesizer = std::make_unique<GnomeKeySynthesizer>(shell);
        platform.globalHotkey = std::make_unique<GnomeGlobalHotkey>(shell);
        platform.panelSurface = std::make_unique<GnomePanelSurface>();
        break;
    }
    case Platform::Kind::Null:
        qCWarning(lcPlatform).noquote()
            << "no back end fits this session"
            << (session.desktopName.isEmpty() ? QString() : QStringLiteral("(%1)").arg(session.desktopName))
            << "; Brivet runs without the desktop's facilities";
        platform.pasteboard = std::make_unique<NullPasteboard>();
        platform.frontApplication = std::make_unique<NullFrontApplication>();
        platform.keySynthesizer = std::make_unique<NullKeySynthesizer>();
        platform.globalHotkey = std::make_unique<NullGlobalHotkey>();
        platform.panelSurface = std::make_unique<NullPanelSurface>();
        break;
    }
    if (session.isGnome && session.isWayland && platform.kind != Platform::Kind::Gnome &&
        platform.kind != Platform::Kind::Wayland)
        tellHowToEnableTheExtension(*platform.notifier);
    return platform;
}

} // namespace brivet
