#pragma once

#include <QLoggingCategory>

namespace brivet {

// "brivet.hotkey": registration, presses and shortcut recording.
Q_DECLARE_LOGGING_CATEGORY(lcHotkey)

} // namespace brivet
