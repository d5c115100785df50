#include "panel/PanelLogging.h"

namespace brivet {
Q_LOGGING_CATEGORY(lcPanel, "brivet.panel", QtInfoMsg)
}
