#include "capture/CaptureLogging.h"

namespace brivet {

Q_LOGGING_CATEGORY(lcCapture, "brivet.capture", QtInfoMsg)

} // namespace brivet
