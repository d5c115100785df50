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

quint32 color(ContentType type)
{
    switch (type) {
    case ContentType::Text:
        return 0xFFFF9F0A;
    case ContentType::Image:
        return 0xFFBF5AF2;
    case ContentType::Link:
        return 0xFF0A84FF;
    case ContentType::File:
        return 0xFF30D158;
    }
    return 0xFF000000;
}

} // namespace brivet
