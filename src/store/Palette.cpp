#include "store/Palette.h"

#include "store/ModelContext.h"
#include "store/StoreLogging.h"

#include <limits>

namespace brivet {

const std::array<PaletteColor, 12> categoryPalette = {{
    {"Red", "#FF3B30"},
    {"Orange", "#FF9500"},
    {"Yellow", "#FFCC00"},
    {"Green", "#34C759"},
    {"Mint", "#00C7BE"},
    {"Teal", "#30B0C7"},
    {"Cyan", "#32ADE6"},
    {"Blue", "#007AFF"},
    {"Indigo", "#5856D6"},
    {"Purple", "#AF52DE"},
    {"Pink", "#FF2D55"},
    {"Brown", "#A2845E"},
}};

quint32 colorFromHex(const QString& text)
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
    return 0xFF000000u | static_cast<quint32>(value & 0xFFFFFF);
}

void ensureDefaultCategory(ModelContext& context)
{
    const auto existing = context.fetch(CategoryFetch{CategoryPredicate::isDefault(true), {}});
    if (existing && !existing->isEmpty())
        return;
    Category category(QStringLiteral("Clipboard History"), QStringLiteral("#FFFFFF"), 0, true);
    context.insert(category);
    if (!context.save())
        qCDebug(lcStore) << "saving the default category failed:" << context.lastError();
}

} // namespace brivet
