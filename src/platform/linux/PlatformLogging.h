#pragma once

#include <QLoggingCategory>

namespace brivet {

// The desktop facilities: clipboard reading, front application, thumbnails.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

} // namespace brivet
