#include "store/Category.h"

namespace brivet {

Category::Category(QString name, QString colorHex, qint64 order, bool isDefault)
    : name(std::move(name)), colorHex(std::move(colorHex)), order(order), isDefault(isDefault)
{}

size_t qHash(const Category& category, size_t seed)
{
    return ::qHash(category.persistentId(), seed);
}

} // namespace brivet
