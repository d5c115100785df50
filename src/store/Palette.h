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

// Opaque sRGB colour from text such as "#FF9500": outer '#' runs stripped, then read as a
// hexadecimal number (white space and a 0x prefix allowed, stops at the first non-digit);
// the lowest 24 bits are red, green, blue. Unreadable text gives black. As 0xAARRGGBB (what
// QColor takes as a QRgb).
quint32 colorFromHex(const QString& text);

// Makes sure the built-in "Clipboard History" category exists. Failures are silent.
void ensureDefaultCategory(ModelContext& context);

} // namespace brivet
