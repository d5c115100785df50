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
