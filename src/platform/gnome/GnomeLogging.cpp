#include "platform/gnome/GnomeLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcGnome, "brivet.platform.gnome", QtInfoMsg)

} // namespace brivet
