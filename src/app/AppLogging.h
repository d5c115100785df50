#pragma once

#include <QLoggingCategory>

namespace brivet {

// The application shell: start-up, the tray, the command line, shutdown.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

} // namespace brivet
