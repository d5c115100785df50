#include "settings/SettingsLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcSettings, "brivet.settings", QtInfoMsg)

} // namespace brivet
