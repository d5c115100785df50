#pragma once

#include "store/ClipboardItem.h"

#include <QString>
#include <QUuid>

namespace brivet {

// A named, coloured group that items are pinned to. The default category stands for the
// whole history. Equal exactly when it is the same stored record.
class Category
{
public:
    Category() = default; // store-driven creation: the field defaults
    Category(QString name, QString colorHex, qint64 order, bool isDefault);

    QUuid id = QUuid::createUuid();
    QString name;
    QString colorHex = QStringLiteral("#FFFFFF");
    qint64 order = 0;
    bool isDefault = false;

    PersistentId persistentId() const { return m_persistentId; }

    friend bool operator==(const Category& a, const Category& b)
    {
        return a.m_persistentId != 0 && a.m_persistentId == b.m_persistentId;
    }

private:
    friend class ModelContext;
    PersistentId m_persistentId = 0;
};

size_t qHash(const Category& category, size_t seed = 0);

} // namespace brivet
