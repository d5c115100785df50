#include "app/AppLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcApp, "brivet.app", QtInfoMsg)

} // namespace brivet
