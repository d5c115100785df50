#include "views/HistoryModelPanelHistory.h"

#include "views/HistoryModel.h"

#include <QVariantMap>

namespace brivet {

HistoryModelPanelHistory::HistoryModelPanelHistory(HistoryModel& model, QObject* parent)
    : PanelHistory(parent), m_model(model)
{
    connect(&m_model, &HistoryModel::countChanged, this, &PanelHistory::countChanged);
    connect(&m_model, &HistoryModel::categoryListChanged, this, &PanelHistory::categoriesChanged);
    connect(&m_model, &HistoryModel::searchingChanged, this,
            &HistoryModelPanelHistory::filterStateChanged);
    connect(&m_model, &HistoryModel::firstPageReadyChanged, this,
            &HistoryModelPanelHistory::filterStateChanged);
}

int HistoryModelPanelHistory::count() const
{
    return m_model.rowCount();
}

void HistoryModelPanelHistory::setSearchText(const QString& text)
{
    m_model.setSearchText(text);
}

void HistoryModelPanelHistory::setCategoryId(const QUuid& id)
{
    m_model.setCategoryId(id);
}

bool HistoryModelPanelHistory::isFiltering() const
{
    // The model shows the first rows of an answer before the rest: what is shown is right.
    return !m_model.firstPageReady();
}

bool HistoryModelPanelHistory::isCompleting() const
{
    return m_model.firstPageReady() && m_model.searching();
}

void HistoryModelPanelHistory::filterStateChanged()
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

bool HistoryModelPanelHistory::promoteItem(const ClipboardItem& item, const QDateTime& when)
{
    return m_model.promoteRecord(item.persistentId(), when);
}

bool HistoryModelPanelHistory::remove(int row)
{
    return m_model.remove(row);
}

int HistoryModelPanelHistory::restoreRemoved()
{
    return m_model.restoreRemoved();
}

bool HistoryModelPanelHistory::hasRemoved() const
{
    return m_model.hasRemoved();
}

void HistoryModelPanelHistory::forgetRemoved()
{
    m_model.forgetRemoved();
}

bool HistoryModelPanelHistory::toggleCategory(int row, const QUuid& categoryId)
{
    return m_model.toggleCategory(row, categoryId);
}

bool HistoryModelPanelHistory::isInCategory(int row, const QUuid& categoryId) const
{
    return m_model.isInCategory(row, categoryId);
}

int HistoryModelPanelHistory::movePin(int row, int to)
{
    return m_model.movePin(row, to);
}

bool HistoryModelPanelHistory::showsPinOrder() const
{
    return m_model.showsPinOrder();
}

QList<PanelCategory> HistoryModelPanelHistory::categories() const
{
    QList<PanelCategory> result;
    const QVariantList list = m_model.categoryList();
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
