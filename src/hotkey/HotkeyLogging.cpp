#include "hotkey/HotkeyLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcHotkey, "brivet.hotkey", QtInfoMsg)

} // namespace brivet
