#include "platform/Platform.h"
#include "platform/x11/X11KeySynthesizer.h"

namespace brivet {

Platform createPlatform()
{
    Platform platform;
    platform.keySynthesizer = std::make_unique<X11KeySynthesizer>();
    return platform;
}

} // namespace brivet
