#pragma once

#include <QLoggingCategory>

namespace brivet {

// Capture's log lines: kinds and record ids, never clipboard content.
Q_DECLARE_LOGGING_CATEGORY(lcCapture)

} // namespace brivet
