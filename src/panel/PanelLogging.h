#pragma once

#include <QLoggingCategory>

namespace brivet {
Q_DECLARE_LOGGING_CATEGORY(lcPanel)
}
