#pragma once

#include <QLoggingCategory>

namespace brivet {

// The GNOME back end: Brivet's extension in GNOME Shell and what goes through it.
Q_DECLARE_LOGGING_CATEGORY(lcGnome)

} // namespace brivet
