#include "platform/Platform.h"
#include "platform/linux/FreedesktopThumbnailer.h"
#include "platform/linux/KeychainSecretStore.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/x11/X11FrontApplication.h"
#include "platform/x11/X11GlobalClickMonitor.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11KeySynthesizer.h"
#include "platform/x11/X11Pasteboard.h"

#include <QCoreApplication>

namespace brivet {

Platform createPlatform()
{
    Platform platform;
    platform.pasteboard = std::make_unique<X11Pasteboard>();
    platform.frontApplication = std::make_unique<X11FrontApplication>();
    platform.fileThumbnailer = std::make_unique<FreedesktopThumbnailer>();
    platform.keySynthesizer = std::make_unique<X11KeySynthesizer>();
    platform.globalHotkey = std::make_unique<X11GlobalHotkey>();
    platform.globalClickMonitor = std::make_unique<X11GlobalClickMonitor>();
    platform.loginItems = std::make_unique<XdgAutostart>(XdgAutostart::defaultAutostartDir(),
                                                         QCoreApplication::applicationFilePath());
    platform.secrets = std::make_unique<KeychainSecretStore>(QStringLiteral("Brivet"));
    return platform;
}

} // namespace brivet
