#pragma once

#include <QLoggingCategory>

namespace brivet {

// The Wayland back end: the compositor's globals, the clipboard connection, reads and offers.
Q_DECLARE_LOGGING_CATEGORY(lcWayland)

} // namespace brivet
