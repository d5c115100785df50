#include "store/HistoryModel.h"

#include "store/HistorySearch.h"
#include "store/ModelContainer.h"
#include "store/SearchIndex.h"
#include "store/StoreLogging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>

namespace brivet {

struct HistoryModel::Projection
{
    ClipboardItem item; // textContent cut to previewLength, byte buffers unloaded
    QVariantList categories;
};

HistoryModel::HistoryModel(ModelContainer& container, QObject* parent)
    : QAbstractListModel(parent), m_context(container.mainContext())
{
    m_search =
        std::make_unique<HistorySearch>(container.path(), [this](HistorySearchResult result) {
            QMetaObject::invokeMethod(
                this, [this, result = std::move(result)]() mutable { applyResult(result); },
                Qt::QueuedConnection);
        });
    connect(&m_context, &ModelContext::changed, this, &HistoryModel::onChanged);
    refreshCategories();
    reload();
}

HistoryModel::~HistoryModel()
{
    m_search.reset(); // no answer arrives after this
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QHash<int, QByteArray> HistoryModel::roleNames() const
{
    return {
        {ItemIdRole, "itemId"},
        {PersistentIdRole, "persistentId"},
        {ContentTypeRole, "contentType"},
        {TimestampRole, "timestamp"},
        {TimeAgoRole, "timeAgo"},
        {DetailTextRole, "detailText"},
        {PreviewTextRole, "previewText"},
        {UrlStringRole, "urlString"},
        {FileNameRole, "fileName"},
        {FilePathRole, "filePath"},
        {SourceAppNameRole, "sourceAppName"},
        {SourceAppBundleIDRole, "sourceAppBundleID"},
        {CharacterCountRole, "characterCount"},
        {HasThumbnailRole, "hasThumbnail"},
        {HasImageRole, "hasImage"},
        {CategoriesRole, "categories"},
    };
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Projection* row = projection(index.row());
    if (!row)
        return {};
    const ClipboardItem& item = row->item;
    auto text = [](const std::optional<QString>& value) {
        return value.value_or(QString());
    };
    switch (role) {
    case ItemIdRole:
        return item.id.toString(QUuid::WithoutBraces);
    case PersistentIdRole:
        return item.persistentId();
    case ContentTypeRole:
        return rawValue(item.type());
    case TimestampRole:
        return item.timestamp;
    case TimeAgoRole:
        return item.timeAgo();
    case Qt::DisplayRole:
    case DetailTextRole:
        return item.detailText();
    case PreviewTextRole:
        return text(item.textContent);
    case UrlStringRole:
        return text(item.urlString);
    case FileNameRole:
        return text(item.fileName);
    case FilePathRole:
        return text(item.filePath);
    case SourceAppNameRole:
        return text(item.sourceAppName);
    case SourceAppBundleIDRole:
        return text(item.sourceAppBundleID);
    case CharacterCountRole:
        return item.characterCount;
    case HasThumbnailRole:
        return item.thumbnailData.has_value();
    case HasImageRole:
        return item.imageData.has_value();
    case CategoriesRole:
        return row->categories;
    default:
        return {};
    }
}

const HistoryModel::Projection* HistoryModel::projection(int row) const
{
    const PersistentId id = m_rows[size_t(row)].id;
    auto cached = m_cache.constFind(id);
    if (cached != m_cache.cend())
        return cached->get();
    auto summary = m_context.summary(id, previewLength);
    if (!summary)
        return nullptr;
    auto made = std::make_shared<Projection>();
    made->item = std::move(*summary);
    for (const Category& category : m_context.categories(made->item).value_or(QList<Category>()))
        made->categories.append(QVariantMap{
            {QStringLiteral("id"), category.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("name"), category.name},
            {QStringLiteral("colorHex"), category.colorHex},
            {QStringLiteral("isDefault"), category.isDefault},
        });
    // Cards come and go as the strip scrolls; a few hundred projections cover any screen.
    if (m_cache.size() >= 512)
        m_cache.clear();
    m_cache.insert(id, made);
    return made.get();
}

std::optional<PersistentId> HistoryModel::filterCategory() const
{
    if (m_categoryId.isNull())
        return std::nullopt;
    for (const Category& category : m_categories) {
        if (category.id == m_categoryId)
            return category.isDefault ? std::nullopt
                                      : std::optional<PersistentId>(category.persistentId());
    }
    return 0; // an unknown category holds nothing
}

// The unsearched list shows its first page at once and the rest when the worker has read
// it; a search keeps the rows it replaces until its answer is there.
void HistoryModel::reload()
{
    const std::optional<PersistentId> category = filterCategory();
    m_touched.clear();
    m_search->post({++m_generation, m_foldedNeedle, category});
    setSearching(true);
    if (!m_foldedNeedle.isEmpty())
        return;
    ItemPredicate predicate = ItemPredicate::all();
    if (category) {
        for (const Category& known : m_categories)
            if (known.persistentId() == *category)
                predicate = ItemPredicate::inCategory(known);
        if (*category == 0)
            predicate = ItemPredicate::persistentId(0);
    }
    auto keys = m_context.keys(ItemFetch{predicate, {}, firstPage});
    const int before = rowCount();
    beginResetModel();
    m_rows = keys.value_or(std::vector<ItemKey>());
    endResetModel();
    if (rowCount() != before)
        emit countChanged();
}

void HistoryModel::applyResult(HistorySearchResult& result)
{
    if (result.generation != m_generation)
        return;
    std::vector<Row> rows = std::move(result.keys);
    if (!result.ok)
        qCWarning(lcStore) << "history query failed; the list shows nothing";
    if (!m_touched.isEmpty()) {
        // Records changed since the question was asked stand where the store has them now.
        std::erase_if(rows, [this](const Row& row) { return m_touched.contains(row.id); });
        for (const PersistentId id : std::as_const(m_touched)) {
            if (auto timestamp = passingTimestamp(id)) {
                const Row row{*timestamp, id};
                rows.insert(std::lower_bound(rows.begin(), rows.end(), row, ItemKey::newerFirst),
                            row);
            }
        }
        m_touched.clear();
    }
    const int before = rowCount();
    const bool extendsShown =
        rows.size() >= m_rows.size() && std::equal(m_rows.begin(), m_rows.end(), rows.begin());
    if (extendsShown && rows.size() > m_rows.size()) {
        beginInsertRows({}, before, int(rows.size()) - 1);
        m_rows = std::move(rows);
        endInsertRows();
    } else if (!extendsShown) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    setSearching(false);
    if (rowCount() != before)
        emit countChanged();
}

void HistoryModel::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_foldedNeedle = SearchIndex::fold(text);
    emit searchTextChanged();
    reload();
}

void HistoryModel::setCategoryId(const QUuid& id)
{
    if (id == m_categoryId)
        return;
    m_categoryId = id;
    emit categoryIdChanged();
    reload();
}

void HistoryModel::setSearching(bool value)
{
    if (m_searching == value)
        return;
    m_searching = value;
    emit searchingChanged();
}

void HistoryModel::waitForSearch()
{
    QDeadlineTimer deadline(60000);
    while (m_searching && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

QVariantList HistoryModel::categoryList() const
{
    QVariantList list;
    for (const Category& category : m_categories)
        list.append(QVariantMap{
            {QStringLiteral("id"), category.id.toString(QUuid::WithoutBraces)},
            {QStringLiteral("name"), category.name},
            {QStringLiteral("colorHex"), category.colorHex},
            {QStringLiteral("isDefault"), category.isDefault},
            {QStringLiteral("order"), category.order},
        });
    return list;
}

void HistoryModel::refreshCategories()
{
    m_categories = m_context.fetch(CategoryFetch{}).value_or(QList<Category>());
}

int HistoryModel::rowOf(PersistentId id) const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id)
            return int(i);
    return -1;
}

int HistoryModel::insertionRow(qint64 timestamp, PersistentId id) const
{
    const ItemKey key{timestamp, id};
    auto it =
        std::lower_bound(m_rows.begin(), m_rows.end(), key, [](const Row& row, const ItemKey& k) {
            return ItemKey::newerFirst({row.timestamp, row.id}, k);
        });
    return int(it - m_rows.begin());
}

std::optional<ClipboardItem> HistoryModel::record(PersistentId id) const
{
    auto items = m_context.fetch(ItemFetch{ItemPredicate::persistentId(id), {}, 1});
    if (!items || items->isEmpty())
        return std::nullopt;
    return items->first();
}

void HistoryModel::removeRecord(PersistentId id)
{
    m_cache.remove(id);
    const int row = rowOf(id);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    emit countChanged();
}

void HistoryModel::placeRecord(PersistentId id, qint64 timestamp, bool isNew)
{
    m_cache.remove(id);
    // A new record has no row yet: no need to look through a million rows to be sure.
    const int from = isNew ? -1 : rowOf(id);
    if (from >= 0 && m_rows[size_t(from)].timestamp == timestamp) {
        emit dataChanged(index(from), index(from));
        return;
    }
    if (from >= 0) {
        // Where the record goes among the others, counted without it.
        Row moved = m_rows[size_t(from)];
        m_rows.erase(m_rows.begin() + from);
        const int to = insertionRow(timestamp, id);
        m_rows.insert(m_rows.begin() + from, moved);
        moved.timestamp = timestamp;
        if (to == from) {
            m_rows[size_t(from)] = moved;
            emit dataChanged(index(from), index(from));
            return;
        }
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
        m_rows.erase(m_rows.begin() + from);
        m_rows.insert(m_rows.begin() + to, moved);
        endMoveRows();
        emit dataChanged(index(to), index(to));
        return;
    }
    const int to = insertionRow(timestamp, id);
    beginInsertRows({}, to, to);
    m_rows.insert(m_rows.begin() + to, Row{timestamp, id});
    endInsertRows();
    emit countChanged();
}

// The timestamp of a record that passes the current filter; nothing when it does not.
std::optional<qint64> HistoryModel::passingTimestamp(PersistentId id) const
{
    auto current = record(id);
    if (!current)
        return std::nullopt;
    if (auto category = filterCategory()) {
        const auto categories = m_context.categories(*current).value_or(QList<Category>());
        if (std::none_of(categories.begin(), categories.end(),
                         [&](const Category& c) { return c.persistentId() == *category; }))
            return std::nullopt;
    }
    if (!m_foldedNeedle.isEmpty() && !SearchIndex::matches(*current, m_foldedNeedle))
        return std::nullopt;
    return current->timestamp.toMSecsSinceEpoch();
}

// Brings one record's row in line with the store: present where it belongs when it passes
// the filter, absent otherwise.
void HistoryModel::followRecord(PersistentId id, bool isNew)
{
    if (m_searching)
        m_touched.insert(id);
    if (auto timestamp = passingTimestamp(id))
        placeRecord(id, *timestamp, isNew);
    else if (!isNew)
        removeRecord(id);
}

void HistoryModel::onChanged(const ModelChange& change)
{
    if (change.kind == ModelChange::Kind::RolledBack) {
        refreshCategories();
        emit categoryListChanged();
        reload();
        return;
    }
    switch (change.entity) {
    case ModelChange::Entity::Item:
        if (change.kind == ModelChange::Kind::Deleted) {
            if (m_searching)
                m_touched.insert(change.id);
            removeRecord(change.id);
        } else {
            followRecord(change.id, change.kind == ModelChange::Kind::Inserted);
        }
        break;
    case ModelChange::Entity::Link:
        followRecord(change.id);
        break;
    case ModelChange::Entity::Category: {
        // Deleting the category of the filter, or making it the default, changes the filter.
        const std::optional<PersistentId> filterBefore = filterCategory();
        refreshCategories();
        emit categoryListChanged();
        m_cache.clear();
        if (filterCategory() != filterBefore)
            reload();
        else if (rowCount() > 0)
            emit dataChanged(index(0), index(rowCount() - 1), {CategoriesRole});
        break;
    }
    }
}

bool HistoryModel::promote(int row)
{
    auto current = (row >= 0 && row < rowCount()) ? record(m_rows[size_t(row)].id) : std::nullopt;
    if (!current)
        return false;
    current->timestamp = QDateTime::currentDateTimeUtc();
    m_context.update(*current);
    if (!m_context.save())
        qCInfo(lcStore) << "promote not saved yet:" << m_context.lastError();
    followRecord(current->persistentId());
    return true;
}

bool HistoryModel::remove(int row)
{
    auto current = (row >= 0 && row < rowCount()) ? record(m_rows[size_t(row)].id) : std::nullopt;
    if (!current)
        return false;
    m_context.remove(*current);
    if (!m_context.save())
        qCInfo(lcStore) << "delete not saved yet:" << m_context.lastError();
    removeRecord(current->persistentId());
    return true;
}

bool HistoryModel::toggleCategory(int row, const QUuid& categoryId)
{
    auto current = (row >= 0 && row < rowCount()) ? record(m_rows[size_t(row)].id) : std::nullopt;
    if (!current)
        return false;
    for (const Category& category : m_categories) {
        if (category.id != categoryId)
            continue;
        if (isInCategory(row, categoryId))
            m_context.unlink(*current, category);
        else
            m_context.link(*current, category);
        m_cache.remove(current->persistentId());
        return true;
    }
    return false;
}

bool HistoryModel::isInCategory(int row, const QUuid& categoryId) const
{
    const Projection* p = (row >= 0 && row < rowCount()) ? projection(row) : nullptr;
    if (!p)
        return false;
    // From the store, not the card's copy: a toggle shows before its notice arrives.
    const auto categories = m_context.categories(p->item).value_or(QList<Category>());
    return std::any_of(categories.begin(), categories.end(),
                       [&](const Category& category) { return category.id == categoryId; });
}

std::optional<ClipboardItem> HistoryModel::item(int row) const
{
    if (row < 0 || row >= rowCount())
        return std::nullopt;
    return record(m_rows[size_t(row)].id);
}

int HistoryModel::rowOfId(const QUuid& id) const
{
    auto keys = m_context.keys(ItemFetch{ItemPredicate::id(id), {}, 1});
    if (!keys || keys->empty())
        return -1;
    return rowOf(keys->front().id);
}

} // namespace brivet
