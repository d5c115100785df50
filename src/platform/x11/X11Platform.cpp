#include "platform/Platform.h"
#include "platform/linux/FreedesktopThumbnailer.h"
#include "platform/x11/X11FrontApplication.h"
#include "platform/x11/X11GlobalClickMonitor.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11KeySynthesizer.h"
#include "platform/x11/X11Pasteboard.h"

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
    return platform;
}

} // namespace brivet
