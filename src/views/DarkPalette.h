#pragma once

#include <QPalette>

namespace brivet {

// The colours Brivet's windows use when the desktop asks for dark ones.
[[nodiscard]] QPalette darkPalette();

} // namespace brivet
