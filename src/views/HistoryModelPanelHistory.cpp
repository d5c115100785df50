#include "views/HistoryModelPanelHistory.h"

#include "store/HistoryModel.h"

#include <QVariantMap>

namespace brivet {

HistoryModelPanelHistory::HistoryModelPanelHistory(HistoryModel& model, QObject* parent)
    : PanelHistory(parent), m_model(model)
{
    connect(&m_model, SIGNAL(countChanged()), this, SIGNAL(countChanged()));
    connect(&m_model, SIGNAL(categoryListChanged()), this, SIGNAL(categoriesChanged()));
    connect(&m_model, SIGNAL(searchingChanged()), this, SLOT(searchingChanged()));
}

int HistoryModelPanelHistory::count() const
{
    return m_model.rowCount();
}

void HistoryModelPanelHistory::setSearchText(const QString& text)
{
    m_model.setProperty("searchText", text);
}

void HistoryModelPanelHistory::setCategoryId(const QUuid& id)
{
    m_model.setProperty("categoryId", id);
}

bool HistoryModelPanelHistory::isFiltering() const
{
    return m_model.property("searching").toBool();
}

void HistoryModelPanelHistory::searchingChanged()
{
    if (!isFiltering())
        emit filteringFinished();
}

std::optional<ClipboardItem> HistoryModelPanelHistory::item(int row) const
{
    return m_model.item(row);
}

bool HistoryModelPanelHistory::promote(int row)
{
    return m_model.promote(row);
}

bool HistoryModelPanelHistory::remove(int row)
{
    return m_model.remove(row);
}

bool HistoryModelPanelHistory::toggleCategory(int row, const QUuid& categoryId)
{
    return m_model.toggleCategory(row, categoryId);
}

bool HistoryModelPanelHistory::isInCategory(int row, const QUuid& categoryId) const
{
    return m_model.isInCategory(row, categoryId);
}

QList<PanelCategory> HistoryModelPanelHistory::categories() const
{
    QList<PanelCategory> result;
    const QVariantList list = m_model.property("categoryList").toList();
    for (const QVariant& entry : list) {
        const QVariantMap map = entry.toMap();
        result.append({QUuid(map.value(QStringLiteral("id")).toString()),
                       map.value(QStringLiteral("name")).toString(),
                       map.value(QStringLiteral("colorHex")).toString(),
                       map.value(QStringLiteral("isDefault")).toBool()});
    }
    return result;
}

} // namespace brivet
