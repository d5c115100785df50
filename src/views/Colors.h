#pragma once

#include "store/ContentType.h"

#include <QColor>
#include <QString>

namespace brivet {

// Opaque sRGB colour from a category's colour text such as "#FF9500": outer '#' runs stripped,
// then read as a hexadecimal number (white space and a 0x prefix allowed, stops at the first
// non-digit); the lowest 24 bits are red, green, blue. Unreadable text gives black.
QColor colorFromHex(const QString& text);
// The accent colour of a kind of record, for its badge and accents.
QColor kindColor(ContentType type);

} // namespace brivet
