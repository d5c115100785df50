#include "views/ViewsLogging.h"

namespace brivet {
Q_LOGGING_CATEGORY(lcViews, "brivet.views", QtInfoMsg)
}
