#include "paste/PasteLogging.h"

Q_LOGGING_CATEGORY(lcPaste, "brivet.paste", QtInfoMsg)
