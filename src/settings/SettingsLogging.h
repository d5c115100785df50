#pragma once

#include <QLoggingCategory>

namespace brivet {

// The settings: open at login, the settings window, recording a shortcut there.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

} // namespace brivet
