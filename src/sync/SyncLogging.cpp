#include "sync/SyncLogging.h"

Q_LOGGING_CATEGORY(lcSync, "brivet.sync", QtInfoMsg)
