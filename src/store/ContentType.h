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

} // namespace brivet
