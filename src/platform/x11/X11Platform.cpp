#include "platform/Platform.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11KeySynthesizer.h"
#include "platform/x11/X11Pasteboard.h"

namespace brivet {

Platform createPlatform()
{
    Platform platform;
    platform.pasteboard = std::make_unique<X11Pasteboard>();
    platform.keySynthesizer = std::make_unique<X11KeySynthesizer>();
    platform.globalHotkey = std::make_unique<X11GlobalHotkey>();
    return platform;
}

} // namespace brivet
