#pragma once

#include <QLoggingCategory>

namespace brivet {

// The desktop facilities: the back end chosen, clipboard reading, front application,
// thumbnails.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

} // namespace brivet
