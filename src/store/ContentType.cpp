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

QColor color(ContentType type)
{
    switch (type) {
    case ContentType::Text:
        return QColor::fromRgbF(1.0f, 0.624f, 0.039f);
    case ContentType::Image:
        return QColor::fromRgbF(0.749f, 0.353f, 0.949f);
    case ContentType::Link:
        return QColor::fromRgbF(0.039f, 0.518f, 1.0f);
    case ContentType::File:
        return QColor::fromRgbF(0.188f, 0.82f, 0.345f);
    }
    return {};
}

} // namespace brivet
