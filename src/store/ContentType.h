#pragma once

#include <QString>

namespace brivet {

// The four kinds of clipboard content, in their fixed order.
enum class ContentType
{
    Text = 0,
    Image = 1,
    Link = 2,
    File = 3
};

// "text", "image", "link" or "file".
QString rawValue(ContentType type);
// Exact, case-sensitive lookup; anything else (also "") is Text.
ContentType contentTypeFromRaw(const QString& raw);
// The accent colour of the kind, used for its badge and accents: opaque sRGB as 0xAARRGGBB
// (what QColor takes as a QRgb).
quint32 color(ContentType type);

} // namespace brivet
