#include "sync/SyncJobs.h"

#include "sync/SyncLogging.h"

#include <QHash>
#include <algorithm>

namespace brivet::SyncJobs {
namespace {

std::optional<ClipboardItem> itemOf(ModelContext& store, PersistentId id)
{
    const auto items =
        store.fetch(ItemFetch{ItemPredicate::persistentId(id), ItemFetch::Order::NewestFirst, 1});
    if (!items || items->isEmpty())
        return std::nullopt;
    return items->first();
}

bool stopped(const StoreSource& source)
{
    return source.stopping && source.stopping->load(std::memory_order_relaxed);
}

const QString stoppedError = QStringLiteral("stopped");

bool differs(const SyncState::Record& record, const QCborMap& fields)
{
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        const auto known = record.fields.find(it.key().toString());
        if (known == record.fields.end() ||
            known->second.fingerprint != RecordFields::fingerprint(it.value()))
            return true;
    }
    return false;
}

// The blob names a record's fields hold.
void addBlobNames(const SyncState::Record& record, QSet<QString>& names)
{
    for (const auto& [name, field] : record.fields)
        if (RecordFields::isBlobField(name) && field.value)
            if (const QString blob = RecordFields::blobName(*field.value); !blob.isEmpty())
                names.insert(blob);
}

std::optional<Blob> bufferOf(const ClipboardItem& item, const QString& field)
{
    for (auto& [name, buffer] : RecordFields::blobFields(item))
        if (name == field)
            return buffer;
    return std::nullopt;
}

} // namespace

Unjournalled findUnjournalled(const StoreSource& source, const QString& statePath)
{
    Unjournalled found;
    // The state first: a record journalled after this read is at worst found changed (and the
    // engine then finds nothing to write), never the other way round.
    auto state = SyncState::read(statePath, &found.error);
    if (!state)
        return found;
    auto store = ModelContext::openReader(source.path, source.externalDataDirectory, &found.error);
    if (!store)
        return found;
    QHash<QUuid, const SyncState::Record*> byId;
    QHash<QUuid, PersistentId> storeIdOf;
    for (const auto& [id, record] : state->records) {
        byId.insert(id, &record);
        if (record.deleted.isNull() && record.storeId != 0)
            storeIdOf.insert(id, record.storeId);
    }
    auto check = [&](const QUuid& id, PersistentId storeId, const QCborMap& fields,
                     std::set<PersistentId>& dirty) {
        const SyncState::Record* record = byId.value(id);
        if (!record)
            dirty.insert(storeId);
        else if (record->deleted.isNull() &&
                 (record->storeId != storeId || differs(*record, fields)))
            dirty.insert(storeId);
    };
    if (stopped(source)) {
        found.error = stoppedError;
        return found;
    }
    const auto items = store->fetch(ItemFetch{});
    const auto categories = store->fetch(CategoryFetch{});
    if (!items || !categories) {
        found.error = store->lastError();
        return found;
    }
    if (stopped(source)) {
        found.error = stoppedError;
        return found;
    }
    std::set<PersistentId> storeItems, storeCategories;
    for (const ClipboardItem& item : *items) {
        storeItems.insert(item.persistentId());
        check(item.id, item.persistentId(), RecordFields::ofItem(item, {}), found.items);
    }
    std::set<std::pair<PersistentId, PersistentId>> pins;
    for (const Category& category : *categories) {
        if (category.isDefault)
            continue;
        storeCategories.insert(category.persistentId());
        check(category.id, category.persistentId(), RecordFields::ofCategory(category),
              found.categories);
        const auto pinned = store->keys(
            ItemFetch{ItemPredicate::inCategory(category), ItemFetch::Order::NewestFirst, {}});
        for (const ItemKey& key : pinned.value_or(std::vector<ItemKey>{}))
            pins.insert({key.id, category.persistentId()});
    }
    // Journalled records the store lost: their deletions.
    for (const auto& [id, record] : state->records)
        if (record.deleted.isNull() && record.storeId != 0 &&
            !(record.isItem ? storeItems : storeCategories).count(record.storeId))
            (record.isItem ? found.items : found.categories).insert(record.storeId);
    std::set<std::pair<PersistentId, PersistentId>> journalled;
    for (const SyncState::Membership& membership : state->memberships) {
        const PersistentId item = storeIdOf.value(membership.item);
        const PersistentId category = storeIdOf.value(membership.category);
        if (membership.present && item != 0 && category != 0)
            journalled.insert({item, category});
    }
    std::set_symmetric_difference(pins.begin(), pins.end(), journalled.begin(), journalled.end(),
                                  std::inserter(found.links, found.links.end()));
    return found;
}

NamedBlobs writeBlobs(const StoreSource& source, const SyncFolder& folder,
                      const std::vector<PersistentId>& items, qint64 blobLimit)
{
    NamedBlobs named;
    auto store = ModelContext::openReader(source.path, source.externalDataDirectory, &named.error);
    if (!store)
        return named;
    for (const PersistentId id : items) {
        if (stopped(source)) {
            named.error = stoppedError;
            return named;
        }
        const auto item = itemOf(*store, id);
        if (!item)
            continue; // deleted meanwhile: its tombstone is journalled instead
        QHash<QString, QString>& names = named.names[id];
        for (const auto& [field, buffer] : RecordFields::blobFields(*item)) {
            if (!buffer)
                continue;
            if (buffer->size() > blobLimit) {
                names.insert(field, QString());
                continue;
            }
            const QByteArray bytes = buffer->data();
            const QString name = folder.key().contentName(bytes);
            if (auto error = folder.writeBlob(name, bytes)) {
                named.error = *error;
                named.names.erase(id);
                return named;
            }
            names.insert(field, name);
        }
    }
    return named;
}

Written writeSegment(const SyncFolder& folder, quint64 sequence,
                     const std::vector<std::pair<qint64, QByteArray>>& rows, quint64 clock)
{
    Written written;
    std::vector<SyncOperation> ops;
    for (const auto& row : rows)
        if (auto decoded = decodeOperations(row.second))
            for (SyncOperation& op : *decoded)
                ops.push_back(std::move(op));
    // Past any segment already in the folder: a segment once written never changes, even
    // when the program ended before it could note that it wrote it.
    written.sequence = folder.ownSegments(sequence).second;
    written.lastRow = rows.empty() ? 0 : rows.back().first;
    written.error = folder.writeSegment(written.sequence, ops, SegmentReach{clock, false, {}});
    written.ownSegments = folder.ownSegments(0).first;
    return written;
}

Written writeSnapshot(const StoreSource& source, const QString& statePath, const SyncFolder& folder,
                      quint64 sequence, qint64 horizon)
{
    Written written;
    written.snapshot = true;
    QString error;
    // The state first, then the store: a value read from the store is at least as new as the
    // stamp read for it; a newer local change is journalled later with a newer stamp.
    auto state = SyncState::read(statePath, &error);
    auto store = state ? ModelContext::openReader(source.path, source.externalDataDirectory, &error)
                       : nullptr;
    if (!state || !store) {
        written.error = error;
        return written;
    }
    const auto categories = store->fetch(CategoryFetch{});
    if (!categories) {
        written.error = store->lastError();
        return written;
    }
    QHash<PersistentId, const Category*> categoryOf;
    for (const Category& category : *categories)
        categoryOf.insert(category.persistentId(), &category);

    std::vector<SyncOperation> ops;
    QSet<QString> live, released;
    for (const auto& [id, record] : state->records) {
        if (stopped(source)) {
            written.error = stoppedError;
            return written;
        }
        if (!record.deleted.isNull()) {
            if (record.deleted.milliseconds() < horizon) {
                addBlobNames(record, released);
                continue;
            }
            ops.push_back({record.isItem ? SyncOperation::Type::DeleteItem
                                         : SyncOperation::Type::DeleteCategory,
                           record.deleted,
                           id,
                           {},
                           false,
                           false,
                           {}});
            continue;
        }
        addBlobNames(record, live);
        // The values: from the store for a record it holds, else those kept in the state.
        QCborMap values;
        if (record.storeId != 0) {
            if (record.isItem) {
                // A record left out reads as deleted to the devices that had seen it: only one
                // gone from the store since the state was read is (its tombstone follows).
                const auto items = store->fetch(ItemFetch{
                    ItemPredicate::persistentId(record.storeId), ItemFetch::Order::NewestFirst, 1});
                if (!items) {
                    written.error = store->lastError();
                    return written;
                }
                if (items->isEmpty())
                    continue;
                values = RecordFields::ofItem(items->first(), {});
            } else if (const Category* category = categoryOf.value(record.storeId)) {
                values = RecordFields::ofCategory(*category);
            } else {
                continue;
            }
        }
        std::map<QByteArray, SyncOperation> byStamp;
        for (const auto& [name, field] : record.fields) {
            const QCborValue value = field.value ? *field.value : values.value(name);
            SyncOperation& op = byStamp[field.stamp.encoded()];
            op.type =
                record.isItem ? SyncOperation::Type::WriteItem : SyncOperation::Type::WriteCategory;
            op.stamp = field.stamp;
            op.record = id;
            op.created = record.created;
            op.fields.insert(name, value);
        }
        for (auto& [stamp, op] : byStamp)
            ops.push_back(std::move(op));
    }
    for (const SyncState::Membership& membership : state->memberships)
        ops.push_back({SyncOperation::Type::Membership,
                       membership.stamp,
                       membership.item,
                       membership.category,
                       false,
                       membership.present,
                       {},
                       membership.position});
    written.sequence = folder.ownSegments(sequence).second;
    written.error =
        folder.writeSegment(written.sequence, ops, SegmentReach{state->clock, true, state->coverage});
    if (written.error)
        return written;
    folder.removeOwnSegmentsBefore(written.sequence);
    // Blobs whose last record was deleted longer ago than a device may be away.
    for (const QString& name : released)
        if (!live.contains(name) && folder.removeBlob(name))
            written.collectedBlobs.append(name);
    written.ownSegments = folder.ownSegments(0).first;
    return written;
}

BlobCheck restoreMissingBlobs(const StoreSource& source, const QString& statePath,
                              const SyncFolder& folder,
                              const std::optional<QSet<QString>>& presentBefore)
{
    BlobCheck check;
    check.present = folder.blobNames();
    if (presentBefore && std::all_of(presentBefore->begin(), presentBefore->end(),
                                     [&](const QString& name) { return check.present.contains(name); }))
        return check; // only arrivals since the last look
    QString error;
    auto state = SyncState::read(statePath, &error);
    auto store = state ? ModelContext::openReader(source.path, source.externalDataDirectory, &error)
                       : nullptr;
    if (!state || !store) {
        qCWarning(lcSync) << "cannot look for missing blobs:" << error;
        return check;
    }
    const QSet<QString>& present = check.present;
    int& restored = check.restored;
    for (const auto& [id, record] : state->records) {
        if (stopped(source))
            return check;
        if (!record.isItem || !record.deleted.isNull() || record.storeId == 0)
            continue;
        std::optional<ClipboardItem> item;
        for (const auto& [field, value] : record.fields) {
            const QString name = RecordFields::isBlobField(field) && value.value
                                     ? RecordFields::blobName(*value.value)
                                     : QString();
            if (name.isEmpty() || present.contains(name))
                continue;
            if (!item && !(item = itemOf(*store, record.storeId)))
                break;
            const std::optional<Blob> buffer = bufferOf(*item, field);
            if (!buffer)
                continue;
            const QByteArray bytes = buffer->data();
            if (folder.key().contentName(bytes) != name || folder.writeBlob(name, bytes))
                continue;
            ++restored;
        }
    }
    return check;
}

} // namespace brivet::SyncJobs
