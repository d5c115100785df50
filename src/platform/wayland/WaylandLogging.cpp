#include "platform/wayland/WaylandLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcWayland, "brivet.platform.wayland", QtInfoMsg)

} // namespace brivet
