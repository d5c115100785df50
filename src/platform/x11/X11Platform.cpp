#include "platform/Platform.h"

namespace brivet {

Platform createPlatform()
{
    Platform platform;
    return platform;
}

} // namespace brivet
