#include "platform/PlatformLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcPlatform, "brivet.platform", QtInfoMsg)

} // namespace brivet
