#include "store/StoreLogging.h"

Q_LOGGING_CATEGORY(lcStore, "brivet.store", QtInfoMsg)
