#pragma once

#include <QString>
#include <array>

namespace brivet {

class ModelContext;

struct PaletteColor
{
    const char* name;
    const char* hex;
};

// The twelve colours offered for categories, in the order the editor shows them.
extern const std::array<PaletteColor, 12> categoryPalette;

// Makes sure the built-in "Clipboard History" category exists. Failures are silent.
void ensureDefaultCategory(ModelContext& context);

} // namespace brivet
