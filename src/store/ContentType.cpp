#include "store/ContentType.h"

namespace brivet {

QString rawValue(ContentType type)
{
    switch (type) {
    case ContentType::Text:
        return QStringLiteral("text");
    case ContentType::Image:
        return QStringLiteral("image");
    case ContentType::Link:
        return QStringLiteral("link");
    case ContentType::File:
        return QStringLiteral("file");
    }
    return QStringLiteral("text");
}

ContentType contentTypeFromRaw(const QString& raw)
{
    if (raw == QLatin1String("image"))
        return ContentType::Image;
    if (raw == QLatin1String("link"))
        return ContentType::Link;
    if (raw == QLatin1String("file"))
        return ContentType::File;
    return ContentType::Text;
}

} // namespace brivet
