#include "views/HistoryModel.h"

#include "store/HistorySearch.h"
#include "store/ModelContainer.h"
#include "store/PinOrder.h"
#include "store/SearchIndex.h"
#include "views/ViewsLogging.h"

#include <algorithm>

namespace brivet {
namespace {

// No half of a surrogate pair at either end: containment of such texts means containment of
// their characters, which is what the index answers.
bool isWholeText(const QString& text)
{
    return !text.isEmpty() && !text.front().isLowSurrogate() && !text.back().isHighSurrogate();
}

} // namespace

struct HistoryModel::Projection
{
    ClipboardItem item; // textContent cut to previewLength, byte buffers unloaded
    QVariantList categories;
};

HistoryModel::HistoryModel(ModelContainer& container, QObject* parent)
    : HistoryModel(container, FirstPageLimits{}, parent)
{}

HistoryModel::HistoryModel(ModelContainer& container, const FirstPageLimits& limits,
                           QObject* parent)
    : QAbstractListModel(parent),
      m_context(container.mainContext()), m_limits{std::max(limits.matches, 1),
                                                   std::max(limits.records, 1),
                                                   std::max(limits.indexTryMs, 0)}
{
    m_search =
        std::make_unique<HistorySearch>(container.path(), [this](HistorySearchResult result) {
            QMetaObject::invokeMethod(
                this, [this, result = std::move(result)]() mutable { applyResult(result); },
                Qt::QueuedConnection);
        });
    connect(&m_context, &ModelContext::changed, this, &HistoryModel::onChanged);
    refreshCategories();
    // The first cards at once; the rest of the history as soon as the worker has read it.
    auto first = m_context.keys(ItemFetch{{}, {}, firstPage});
    m_all = HistoryRows::fromNewestFirst(first.value_or(std::vector<ItemKey>()));
    m_search->loadWholeHistory();
    updateSearching();
}

HistoryModel::~HistoryModel()
{
    m_search.reset(); // no answer arrives after this
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shown().size();
}

QHash<int, QByteArray> HistoryModel::roleNames() const
{
    return {
        {ItemIdRole, "itemId"},
        {PersistentIdRole, "persistentId"},
        {ContentTypeRole, "contentType"},
        {TimestampRole, "timestamp"},
        {DetailTextRole, "detailText"},
        {PreviewTextRole, "previewText"},
        {UrlStringRole, "urlString"},
        {FileNameRole, "fileName"},
        {FilePathRole, "filePath"},
        {SourceAppNameRole, "sourceAppName"},
        {CharacterCountRole, "characterCount"},
        {HasThumbnailRole, "hasThumbnail"},
        {CategoriesRole, "categories"},
        {HasTextRole, "hasText"},
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
    case CharacterCountRole:
        return item.characterCount;
    case HasThumbnailRole:
        return item.thumbnailData.has_value();
    case CategoriesRole:
        return row->categories;
    case HasTextRole:
        return item.textContent.has_value();
    default:
        return {};
    }
}

const HistoryModel::Projection* HistoryModel::projection(int row) const
{
    const PersistentId id = shown().at(row).id;
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

void HistoryModel::setFirstPageReady(bool ready)
{
    if (m_firstPageReady == ready)
        return;
    m_firstPageReady = ready;
    emit firstPageReadyChanged();
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

std::optional<ClipboardItem> HistoryModel::record(PersistentId id) const
{
    auto items = m_context.fetch(ItemFetch{ItemPredicate::persistentId(id), {}, 1});
    if (!items || items->isEmpty())
        return std::nullopt;
    return items->first();
}

std::optional<qint64> HistoryModel::passingKey(PersistentId id) const
{
    auto current = record(id);
    if (!current)
        return std::nullopt;
    std::optional<qint64> position;
    if (auto category = filterCategory()) {
        const auto pin = m_context.pinState(id, *category);
        if (!pin || !pin->pinned)
            return std::nullopt;
        position = pin->position;
    }
    if (!m_foldedNeedle.isEmpty() && !SearchIndex::matches(*current, m_foldedNeedle))
        return std::nullopt;
    if (showsPinOrder() && position)
        return *position;
    return current->timestamp.toMSecsSinceEpoch();
}

bool HistoryModel::showsPinOrder() const
{
    return filterCategory().has_value() && m_foldedNeedle.isEmpty();
}

const HistoryRows& HistoryModel::shown() const
{
    return m_filterActive ? m_filtered : m_all;
}

void HistoryModel::updateSearching()
{
    const bool searching = m_filterQueryInFlight || (!m_filterActive && !m_allComplete);
    if (m_searching == searching)
        return;
    m_searching = searching;
    emit searchingChanged();
}

// The unfiltered list is always at hand and kept up to date. A category shows its first page
// at once and the rest when the worker has answered; a search keeps the rows it replaces
// until its answer is there.
void HistoryModel::reload()
{
    const std::optional<PersistentId> category = filterCategory();
    // A longer needle finds a part of what the shorter one found: when that is little, only it
    // is checked, which is what makes typing a rare word quick in a large history.
    const bool refinable =
        m_filterActive && !m_filterQueryInFlight && m_allComplete && !m_answeredNeedle.isEmpty() &&
        m_answeredCategory == category && isWholeText(m_answeredNeedle) &&
        m_foldedNeedle.contains(m_answeredNeedle) && m_filtered.size() <= maxRefined;
    m_touched.clear();
    ++m_generation; // answers to earlier filters no longer count
    m_answeredNeedle.clear();
    m_prefixBoundary.reset();
    const int before = rowCount();
    if (!category && m_foldedNeedle.isEmpty()) {
        m_filterQueryInFlight = false;
        if (m_filterActive) {
            beginResetModel();
            m_filterActive = false;
            m_filtered = {};
            endResetModel();
        }
    } else {
        m_filterQueryInFlight = true;
        // Without the whole list at hand the worker sorts; with it, sorting here is quicker.
        // A category's own order is the worker's to read.
        HistoryQuery query{
            m_generation, m_foldedNeedle,   category,         !m_allComplete || showsPinOrder(),
            std::nullopt, m_limits.matches, m_limits.records, m_limits.indexTryMs};
        if (refinable) {
            query.candidates.emplace();
            for (int row = 0; row < m_filtered.size(); ++row)
                query.candidates->push_back(m_filtered.at(row).id);
        }
        m_search->post(std::move(query));
        if (m_foldedNeedle.isEmpty()) {
            std::vector<ItemKey> keys;
            for (const PinOrder::Pin& pin :
                 m_context.pins(*category, firstPage).value_or(std::vector<PinOrder::Pin>()))
                keys.push_back(pin.key);
            beginResetModel();
            m_filterActive = true;
            m_filtered = HistoryRows::fromNewestFirst(std::move(keys));
            if (m_filtered.size() >= firstPage)
                m_prefixBoundary = m_filtered.at(m_filtered.size() - 1);
            endResetModel();
        }
    }
    // A search shows nothing of its own until the worker's first rows; a category shows its
    // first page at once.
    setFirstPageReady(m_foldedNeedle.isEmpty());
    updateSearching();
    if (rowCount() != before)
        emit countChanged();
}

// Replaces the rows shown from list with rows, by appending when rows only extends them.
void HistoryModel::swapIn(HistoryRows& list, HistoryRows rows, bool isShown)
{
    const int before = rowCount();
    if (!isShown) {
        list = std::move(rows);
    } else if (rows.startsWith(list) && rows.size() > list.size()) {
        beginInsertRows({}, list.size(), rows.size() - 1);
        list = std::move(rows);
        endInsertRows();
    } else if (!rows.startsWith(list) || rows.size() != list.size()) {
        beginResetModel();
        list = std::move(rows);
        endResetModel();
    }
    if (rowCount() != before)
        emit countChanged();
}

void HistoryModel::applyResult(HistorySearchResult& result)
{
    if (!result.ok)
        qCWarning(lcViews) << "history query failed; the list shows what it could read";
    if (result.wholeHistory) {
        HistoryRows all = HistoryRows::fromNewestFirst(std::move(result.keys));
        // Records changed while the list was read stand where the store has them now.
        for (const PersistentId id : std::as_const(m_allTouched)) {
            if (const int row = all.rowOf(id); row >= 0)
                all.erase(row);
            if (auto current = record(id)) {
                const ItemKey key{current->timestamp.toMSecsSinceEpoch(), id};
                all.insert(all.insertionRow(key), key);
            }
        }
        m_allTouched.clear();
        m_allComplete = true;
        swapIn(m_all, std::move(all), !m_filterActive);
        updateSearching();
        return;
    }
    if (result.generation != m_generation)
        return;
    if (result.head) {
        applyFirstPage(result);
        return;
    }
    HistoryRows rows;
    if (result.ordered) {
        rows = HistoryRows::fromNewestFirst(std::move(result.keys));
    } else {
        PersistentId largest = 0;
        for (const ItemKey& key : result.keys)
            largest = std::max(largest, key.id);
        std::vector<bool> matching(size_t(largest) + 1);
        for (const ItemKey& key : result.keys)
            matching[size_t(key.id)] = true;
        rows = m_all.filtered(matching);
    }
    // Records changed since the question was asked stand where the store has them now.
    for (const PersistentId id : std::as_const(m_touched)) {
        if (const int row = rows.rowOf(id); row >= 0)
            rows.erase(row);
        if (auto timestamp = passingKey(id)) {
            const ItemKey key{*timestamp, id};
            rows.insert(rows.insertionRow(key), key);
        }
    }
    m_touched.clear();
    m_filterQueryInFlight = false;
    m_prefixBoundary.reset();
    m_answeredNeedle = m_foldedNeedle;
    m_answeredCategory = filterCategory();
    if (!m_filterActive) {
        beginResetModel();
        m_filterActive = true;
        m_filtered = std::move(rows);
        endResetModel();
        emit countChanged();
    } else {
        swapIn(m_filtered, std::move(rows), true);
    }
    setFirstPageReady(true);
    updateSearching();
}

// The first rows of a search's answer, shown until the whole answer extends them.
void HistoryModel::applyFirstPage(HistorySearchResult& result)
{
    if (!m_filterQueryInFlight || m_firstPageReady)
        return;
    HistoryRows rows = HistoryRows::fromNewestFirst(std::move(result.keys));
    // Records changed since the question was asked stand where the store has them now, when
    // that is within the rows read; the whole answer places the others (they stay touched).
    for (const PersistentId id : std::as_const(m_touched)) {
        if (const int row = rows.rowOf(id); row >= 0)
            rows.erase(row);
        if (auto timestamp = passingKey(id)) {
            const ItemKey key{*timestamp, id};
            if (!ItemKey::newerFirst(result.boundary, key))
                rows.insert(rows.insertionRow(key), key);
        }
    }
    m_prefixBoundary = result.boundary;
    const int before = rowCount();
    beginResetModel();
    m_filterActive = true;
    m_filtered = std::move(rows);
    endResetModel();
    if (rowCount() != before)
        emit countChanged();
    setFirstPageReady(true);
}

void HistoryModel::removeFrom(HistoryRows& list, PersistentId id, bool isShown,
                              const std::optional<QDateTime>& timestamp)
{
    const int row =
        timestamp ? list.rowOf(ItemKey{timestamp->toMSecsSinceEpoch(), id}) : list.rowOf(id);
    if (row < 0)
        return;
    if (isShown)
        beginRemoveRows({}, row, row);
    list.erase(row);
    if (isShown) {
        endRemoveRows();
        emit countChanged();
    }
}

void HistoryModel::placeIn(HistoryRows& list, const ItemKey& key, bool isNew, bool isShown)
{
    // A new record has no row yet: no need to look through a million rows to be sure.
    const int from = isNew ? -1 : list.rowOf(key.id);
    if (from < 0) {
        const int to = list.insertionRow(key);
        if (isShown)
            beginInsertRows({}, to, to);
        list.insert(to, key);
        if (isShown) {
            endInsertRows();
            emit countChanged();
        }
        return;
    }
    // Where it goes counted with its old row still there, then without it.
    const int slot = list.insertionRow(key);
    const int to = slot > from ? slot - 1 : slot;
    if (to != from && isShown)
        beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    list.erase(from);
    list.insert(to, key);
    if (to != from && isShown)
        endMoveRows();
    if (isShown)
        emit dataChanged(index(to), index(to));
}

// Brings one record's row in the filtered list in line with the store.
void HistoryModel::followRecord(PersistentId id, bool isNew)
{
    auto timestamp = passingKey(id);
    // Older than the first rows shown of an answer still to come: its row comes with it.
    if (timestamp && m_prefixBoundary && ItemKey::newerFirst(*m_prefixBoundary, {*timestamp, id}))
        timestamp.reset();
    if (timestamp)
        placeIn(m_filtered, {*timestamp, id}, isNew, true);
    else if (!isNew)
        removeFrom(m_filtered, id, true);
}

void HistoryModel::onChanged(const ModelChange& change)
{
    if (change.kind == ModelChange::Kind::RolledBack) {
        // Anything may have changed: read everything again.
        refreshCategories();
        emit categoryListChanged();
        m_cache.clear();
        auto first = m_context.keys(ItemFetch{{}, {}, firstPage});
        m_allComplete = false;
        m_allTouched.clear();
        swapIn(m_all, HistoryRows::fromNewestFirst(first.value_or(std::vector<ItemKey>())),
               !m_filterActive);
        m_search->loadWholeHistory();
        reload();
        return;
    }
    m_cache.remove(change.id);
    if (m_filterQueryInFlight && change.entity != ModelChange::Entity::Category)
        m_touched.insert(change.id);
    switch (change.entity) {
    case ModelChange::Entity::Item: {
        const bool isNew = change.kind == ModelChange::Kind::Inserted;
        if (!m_allComplete)
            m_allTouched.insert(change.id);
        if (change.kind == ModelChange::Kind::Deleted)
            removeFrom(m_all, change.id, !m_filterActive, change.timestamp);
        else if (change.timestamp)
            placeIn(m_all, {change.timestamp->toMSecsSinceEpoch(), change.id}, isNew,
                    !m_filterActive);
        if (m_filterActive) {
            if (change.kind == ModelChange::Kind::Deleted) {
                removeFrom(m_filtered, change.id, true, change.timestamp);
            } else {
                followRecord(change.id, isNew);
            }
        }
        break;
    }
    case ModelChange::Entity::Link:
        if (m_filterActive) {
            followRecord(change.id);
        } else if (const int row = m_all.rowOf(change.id); row >= 0) {
            emit dataChanged(index(row), index(row), {CategoriesRole});
        }
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
    if (row < 0 || row >= rowCount())
        return false;
    return promoteRecord(shown().at(row).id, QDateTime::currentDateTimeUtc());
}

bool HistoryModel::promoteRecord(PersistentId id, const QDateTime& when)
{
    auto current = id != 0 ? record(id) : std::nullopt;
    if (!current)
        return false;
    current->timestamp = when;
    m_context.update(*current);
    if (!m_context.save()) {
        // The change stays pending, and so does its notice: show it now all the same.
        qCInfo(lcViews) << "promote not saved yet:" << m_context.lastError();
        onChanged({ModelChange::Entity::Item, ModelChange::Kind::Updated, current->persistentId(),
                   current->timestamp});
    }
    return true;
}

bool HistoryModel::remove(int row)
{
    auto current = (row >= 0 && row < rowCount()) ? record(shown().at(row).id) : std::nullopt;
    if (!current)
        return false;
    // Kept whole for an undo: the bytes are read before the record and its file go.
    const auto bytes = [](const std::optional<Blob>& blob) {
        return blob ? std::optional(blob->data()) : std::nullopt;
    };
    Removed removed{{current->contentType, current->textContent, bytes(current->imageData),
                     bytes(current->thumbnailData), current->urlString, current->filePath,
                     current->fileName, bytes(current->fileData), current->sourceAppName,
                     current->sourceAppBundleID, {}},
                    current->timestamp,
                    current->characterCount,
                    {}};
    for (auto it = current->representations.constBegin(); it != current->representations.constEnd();
         ++it)
        removed.content.representations.insert(it.key(), it.value().data());
    for (const Category& category : m_context.categories(*current).value_or(QList<Category>()))
        removed.categoryIds.append(category.id);
    m_removed.push_back(std::move(removed));
    m_context.remove(*current);
    if (!m_context.save()) {
        qCInfo(lcViews) << "delete not saved yet:" << m_context.lastError();
        onChanged({ModelChange::Entity::Item, ModelChange::Kind::Deleted, current->persistentId()});
    }
    return true;
}

int HistoryModel::restoreRemoved()
{
    if (m_removed.empty())
        return -1;
    const Removed removed = std::move(m_removed.back());
    m_removed.pop_back();
    ClipboardItem item(removed.content, removed.timestamp);
    item.characterCount = removed.characterCount;
    m_context.insert(item);
    for (const Category& category : m_categories) {
        if (removed.categoryIds.contains(category.id))
            m_context.link(item, category);
    }
    if (!m_context.save())
        qCInfo(lcViews) << "undone delete not saved yet:" << m_context.lastError();
    qCInfo(lcViews) << "brought back a deleted" << item.contentType << "item";
    return rowOfId(item.id);
}

bool HistoryModel::toggleCategory(int row, const QUuid& categoryId)
{
    auto current = (row >= 0 && row < rowCount()) ? record(shown().at(row).id) : std::nullopt;
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

int HistoryModel::movePin(int row, int to)
{
    const std::optional<PersistentId> categoryId = filterCategory();
    if (!showsPinOrder() || row < 0 || row >= rowCount() || to < 0 || to >= rowCount())
        return -1;
    const PersistentId id = shown().at(row).id;
    const auto category =
        std::find_if(m_categories.cbegin(), m_categories.cend(),
                     [&](const Category& c) { return c.persistentId() == *categoryId; });
    const auto pins = m_context.pins(*categoryId);
    if (category == m_categories.cend() || !pins)
        return -1;
    // The store's order is the one moved in; the rows shown are that order.
    const auto from = std::find_if(pins->begin(), pins->end(),
                                   [id](const PinOrder::Pin& pin) { return pin.key.id == id; });
    if (from == pins->end())
        return -1;
    const int storeRow = int(from - pins->begin());
    const auto placements = PinOrder::move(*pins, storeRow, storeRow + (to - row));
    for (const PinOrder::Placement& placement : placements) {
        if (auto summary = m_context.summary(placement.item, 0))
            m_context.link(*summary, *category, placement.position);
    }
    if (!m_context.save())
        qCInfo(lcViews) << "pin order not saved yet:" << m_context.lastError();
    return shown().rowOf(id);
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
    return record(shown().at(row).id);
}

int HistoryModel::rowOfId(const QUuid& id) const
{
    auto keys = m_context.keys(ItemFetch{ItemPredicate::id(id), {}, 1});
    if (!keys || keys->empty())
        return -1;
    return shown().rowOf(keys->front().id);
}

} // namespace brivet
