#include "views/Colors.h"

#include <limits>

namespace brivet {

QColor colorFromHex(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char('#'))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char('#'))
        --end;

    qsizetype i = begin;
    while (i < end && text.at(i).isSpace())
        ++i;
    if (i + 1 < end && text.at(i) == QLatin1Char('0') &&
        (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X')))
        i += 2;

    quint64 value = 0;
    for (; i < end; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        // Like the system scanner, a number too large for 64 bits reads as the largest one.
        if (value > (std::numeric_limits<quint64>::max() >> 4)) {
            value = std::numeric_limits<quint64>::max();
            continue;
        }
        value = (value << 4) | static_cast<quint64>(digit);
    }
    return QColor::fromRgb(static_cast<QRgb>(value & 0xFFFFFF));
}

QColor kindColor(ContentType type)
{
    switch (type) {
    case ContentType::Text:
        return QColor::fromRgb(0xFF9F0A);
    case ContentType::Image:
        return QColor::fromRgb(0xBF5AF2);
    case ContentType::Link:
        return QColor::fromRgb(0x0A84FF);
    case ContentType::File:
        return QColor::fromRgb(0x30D158);
    }
    return Qt::black;
}

} // namespace brivet
