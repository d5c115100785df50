#include "sync/SyncEngine.h"

#include "sync/SyncLogging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QtConcurrent>
#include <algorithm>

namespace brivet {
namespace {

std::vector<SyncOperation> decodeOutbox(const std::vector<std::pair<qint64, QByteArray>>& rows)
{
    std::vector<SyncOperation> ops;
    for (const auto& row : rows)
        if (auto decoded = decodeOperations(row.second))
            for (SyncOperation& op : *decoded)
                ops.push_back(std::move(op));
    return ops;
}

constexpr size_t batchOperations = 20000;
constexpr int segmentOperations = 5000;
constexpr qint64 batchBlobBytes = 64 * 1024 * 1024;

SyncState::Record newRecord(bool isItem)
{
    SyncState::Record record;
    record.isItem = isItem;
    return record;
}

} // namespace

SyncEngine::SyncEngine(ModelContext& context, SyncState& state, SyncFolder folder,
                       SyncSettings settings, QObject* parent)
    : QObject(parent), m_context(context), m_state(state), m_folder(std::move(folder)),
      m_settings(std::move(settings)), m_clock(state.device(), m_settings.wallClock)
{
    m_clock.restore(m_state.clock());
    connect(&m_context, &ModelContext::changed, this, &SyncEngine::noticeChange);
    connect(&m_reader, &QFutureWatcher<Batch>::finished, this, [this] {
        m_batch = m_reader.result();
        applyNextSlice();
    });
}

SyncEngine::~SyncEngine()
{
    m_reader.waitForFinished();
}

void SyncEngine::start()
{
    // Records the journal does not know (kept before sync was on), and journalled records
    // the store lost while the program was not running.
    if (const auto keys = m_context.keys(ItemFetch{})) {
        std::set<PersistentId> known;
        for (const auto& [id, record] : m_state.records())
            if (record.storeId != 0 && record.isItem)
                known.insert(record.storeId);
        for (const ItemKey& key : *keys)
            if (known.erase(key.id) == 0)
                m_dirtyItems.insert(key.id);
        m_dirtyItems.insert(known.begin(), known.end());
    }
    if (const auto categories = m_context.fetch(CategoryFetch{})) {
        for (const Category& category : *categories) {
            if (category.isDefault || m_state.recordOfStoreId(false, category.persistentId()))
                continue;
            m_dirtyCategories.insert(category.persistentId());
            if (const auto items = m_context.keys(ItemFetch{
                    ItemPredicate::inCategory(category), ItemFetch::Order::NewestFirst, {}}))
                for (const ItemKey& key : *items)
                    m_dirtyLinks.insert({key.id, category.persistentId()});
        }
    }
    scheduleRecord();

    m_writeTimer = new QTimer(this);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(m_settings.writeDelay);
    connect(m_writeTimer, &QTimer::timeout, this, [this] {
        if (!writeOutbox(1))
            m_writeTimer->start(); // the folder may come back (a removable disk, a mount)
        else if (!m_state.outbox(1).empty())
            m_writeTimer->start(); // the next piece of a long backlog
    });
    m_scanTimer = new QTimer(this);
    m_scanTimer->setInterval(m_settings.scanInterval);
    connect(m_scanTimer, &QTimer::timeout, this, &SyncEngine::scheduleMerge);
    m_scanTimer->start();

    const QString devices = m_folder.root() + QStringLiteral("/brivet/devices");
    QDir().mkpath(devices);
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(devices);
    // A segment may wait for a blob: its arrival is worth a look too.
    const QString blobs = m_folder.root() + QStringLiteral("/brivet/blobs");
    QDir().mkpath(blobs);
    m_watcher->addPath(blobs);
    auto watchDevices = [this] {
        // New devices' directories join the watch; a burst of changes makes one merge.
        const QDir devices(m_folder.root() + QStringLiteral("/brivet/devices"));
        for (const QString& name : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (name != m_folder.deviceName() &&
                !m_watcher->directories().contains(devices.filePath(name)))
                m_watcher->addPath(devices.filePath(name));
        QTimer::singleShot(200, this, &SyncEngine::scheduleMerge);
    };
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, watchDevices);
    watchDevices();
    m_writeTimer->start();
}

void SyncEngine::noticeChange(const ModelChange& change)
{
    if (m_applyingRemote)
        return; // the merge's own writes: already in the journal of the device that made them
    switch (change.entity) {
    case ModelChange::Entity::Item:
        if (change.kind != ModelChange::Kind::RolledBack)
            m_dirtyItems.insert(change.id);
        break;
    case ModelChange::Entity::Category:
        m_dirtyCategories.insert(change.id);
        break;
    case ModelChange::Entity::Link:
        m_dirtyLinks.insert({change.id, change.category});
        break;
    }
    scheduleRecord();
}

void SyncEngine::scheduleRecord()
{
    if (m_recordScheduled)
        return;
    m_recordScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_recordScheduled = false;
        if (!recordLocalChanges(QDeadlineTimer(m_settings.sliceBudget)))
            return;
        if (hasUnrecordedChanges())
            scheduleRecord();
        if (m_writeTimer && !m_writeTimer->isActive())
            m_writeTimer->start();
    });
}

std::optional<ClipboardItem> SyncEngine::storeItem(PersistentId id) const
{
    const auto items = m_context.fetch(
        ItemFetch{ItemPredicate::persistentId(id), ItemFetch::Order::NewestFirst, 1});
    if (!items || items->isEmpty())
        return std::nullopt;
    return items->first();
}

std::optional<Category> SyncEngine::storeCategory(PersistentId id) const
{
    if (const auto categories = m_context.fetch(CategoryFetch{}))
        for (const Category& category : *categories)
            if (category.persistentId() == id)
                return category;
    return std::nullopt;
}

void SyncEngine::fail(const QString& message)
{
    m_lastError = message;
    qCWarning(lcSync) << message;
    emit failed(message);
}

bool SyncEngine::hasUnrecordedChanges() const
{
    return !m_dirtyItems.empty() || !m_dirtyCategories.empty() || !m_dirtyLinks.empty();
}

bool SyncEngine::recordLocalChanges(const QDeadlineTimer& deadline)
{
    if (!hasUnrecordedChanges())
        return true;
    if (!m_state.begin()) {
        fail(QStringLiteral("cannot write the sync state: %1").arg(m_state.lastError()));
        return false;
    }
    std::vector<SyncOperation> ops;
    bool ok = true;
    size_t categories = 0, items = 0, links = 0;
    auto more = [&deadline, &ok, first = true]() mutable {
        return ok && (std::exchange(first, false) || !deadline.hasExpired());
    };
    // Categories and items first, so that a pin finds both ends journalled.
    for (auto it = m_dirtyCategories.begin(); it != m_dirtyCategories.end() && more();
         ++it, ++categories)
        ok = collectCategory(*it, ops);
    if (categories == m_dirtyCategories.size())
        for (auto it = m_dirtyItems.begin(); it != m_dirtyItems.end() && more(); ++it, ++items)
            ok = collectItem(*it, ops);
    if (categories == m_dirtyCategories.size() && items == m_dirtyItems.size())
        for (auto it = m_dirtyLinks.begin(); it != m_dirtyLinks.end() && more(); ++it, ++links)
            collectLink(it->first, it->second, ops);
    for (const SyncOperation& op : ops)
        m_state.appendOutbox(encodeOperations({op}));
    m_state.setClock(m_clock.last());
    if (!ok || !m_state.commit()) {
        m_state.rollback();
        if (ok)
            fail(QStringLiteral("cannot write the sync state: %1").arg(m_state.lastError()));
        return false;
    }
    m_dirtyCategories.erase(m_dirtyCategories.begin(),
                            std::next(m_dirtyCategories.begin(), categories));
    m_dirtyItems.erase(m_dirtyItems.begin(), std::next(m_dirtyItems.begin(), items));
    m_dirtyLinks.erase(m_dirtyLinks.begin(), std::next(m_dirtyLinks.begin(), links));
    return true;
}

void SyncEngine::collectDeletion(bool isItem, PersistentId storeId, std::vector<SyncOperation>& ops)
{
    const auto id = m_state.recordOfStoreId(isItem, storeId);
    auto record = id ? m_state.record(*id) : std::nullopt;
    if (!record || !record->deleted.isNull())
        return;
    const auto type =
        isItem ? SyncOperation::Type::DeleteItem : SyncOperation::Type::DeleteCategory;
    SyncOperation op{type, m_clock.now(), *id, {}, false, false, {}};
    record->deleted = op.stamp;
    record->storeId = 0;
    record->fields.clear();
    m_state.putRecord(*id, *record);
    m_state.removeMembershipsOf(*id);
    ops.push_back(std::move(op));
}

bool SyncEngine::collectItem(PersistentId storeId, std::vector<SyncOperation>& ops)
{
    const std::optional<ClipboardItem> item = storeItem(storeId);
    if (!item) {
        collectDeletion(true, storeId, ops);
        return true;
    }
    auto record = m_state.record(item->id);
    if (record && !record->deleted.isNull())
        return true; // deleted on another device; the merge takes it out of the store
    const bool created = !record || record->storeId == 0;
    bool blobsWritten = true;
    RecordFields::BlobNamer namer;
    if (created) {
        namer = [this, &blobsWritten](const QByteArray& bytes) -> QString {
            if (bytes.size() > m_settings.blobLimit)
                return {};
            const QString name = m_folder.key().contentName(bytes);
            if (auto error = m_folder.writeBlob(name, bytes)) {
                fail(*error);
                blobsWritten = false;
            }
            return name;
        };
    }
    const QCborMap fields = RecordFields::ofItem(*item, namer);
    if (!blobsWritten)
        return false;
    SyncState::Record next = record.value_or(SyncState::Record{});
    next.isItem = true;
    next.storeId = storeId;
    next.created = true;
    SyncOperation op{SyncOperation::Type::WriteItem, {}, item->id, {}, created, false, {}};
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        const QString name = it.key().toString();
        const QByteArray fingerprint = RecordFields::fingerprint(it.value());
        const auto known = next.fields.find(name);
        if (!created && known != next.fields.end() && known->second.fingerprint == fingerprint)
            continue;
        op.fields.insert(it.key(), it.value());
    }
    if (op.fields.isEmpty())
        return true;
    op.stamp = m_clock.now();
    for (auto it = op.fields.constBegin(); it != op.fields.constEnd(); ++it) {
        const QString name = it.key().toString();
        next.fields[name] = {op.stamp, RecordFields::fingerprint(it.value()),
                             RecordFields::isBlobField(name) ? std::optional(it.value())
                                                             : std::nullopt};
    }
    m_state.putRecord(item->id, next);
    ops.push_back(std::move(op));
    return true;
}

bool SyncEngine::collectCategory(PersistentId storeId, std::vector<SyncOperation>& ops)
{
    const std::optional<Category> category = storeCategory(storeId);
    if (!category) {
        collectDeletion(false, storeId, ops);
        return true;
    }
    // Every device has a default category of its own: it stands for the whole history and
    // is never synced.
    if (category->isDefault)
        return true;
    auto record = m_state.record(category->id);
    if (record && !record->deleted.isNull())
        return true;
    const bool created = !record || record->storeId == 0;
    SyncState::Record next = record.value_or(SyncState::Record{});
    next.isItem = false;
    next.storeId = storeId;
    next.created = true;
    SyncOperation op{SyncOperation::Type::WriteCategory, {}, category->id, {}, created, false, {}};
    const QCborMap fields = RecordFields::ofCategory(*category);
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        const auto known = next.fields.find(it.key().toString());
        if (created || known == next.fields.end() ||
            known->second.fingerprint != RecordFields::fingerprint(it.value()))
            op.fields.insert(it.key(), it.value());
    }
    if (op.fields.isEmpty())
        return true;
    op.stamp = m_clock.now();
    for (auto it = op.fields.constBegin(); it != op.fields.constEnd(); ++it)
        next.fields[it.key().toString()] = {op.stamp, RecordFields::fingerprint(it.value()),
                                            std::nullopt};
    m_state.putRecord(category->id, next);
    ops.push_back(std::move(op));
    return true;
}

void SyncEngine::collectLink(PersistentId itemId, PersistentId categoryId,
                             std::vector<SyncOperation>& ops)
{
    const auto item = m_state.recordOfStoreId(true, itemId);
    const auto category = m_state.recordOfStoreId(false, categoryId);
    const auto summary = m_context.summary(itemId, 0);
    if (!item || !category || !summary)
        return; // a default category's pin, or a record deleted since (its tombstone covers it)
    const auto pin = m_context.pinState(itemId, categoryId);
    if (!pin)
        return;
    const bool present = pin->pinned;
    const std::optional<qint64> position = present ? pin->position : std::nullopt;
    const auto known = m_state.membership(*item, *category);
    if (known && known->present == present && known->position == position)
        return;
    SyncOperation op{SyncOperation::Type::Membership,
                     m_clock.now(),
                     *item,
                     *category,
                     false,
                     present,
                     {},
                     position};
    m_state.putMembership({*item, *category, op.stamp, present, position});
    ops.push_back(std::move(op));
}

bool SyncEngine::writeOutbox(int maxSegments)
{
    for (int written = 0; written < maxSegments; ++written) {
        const auto rows = m_state.outbox(segmentOperations);
        if (rows.empty())
            return true;
        // Past any segment already in the folder: a segment once written never changes, even
        // when the program ended before it could note that it wrote it.
        quint64 sequence = m_state.nextSequence();
        for (const SyncFolder::Segment& segment : m_folder.segments())
            if (segment.device == m_folder.deviceName())
                sequence = std::max(sequence, segment.sequence + 1);
        if (auto error = m_folder.writeSegment(sequence, decodeOutbox(rows))) {
            fail(*error);
            return false;
        }
        if (!m_state.begin()) {
            fail(m_state.lastError());
            return false;
        }
        m_state.setNextSequence(sequence + 1);
        m_state.clearOutboxThrough(rows.back().first);
        if (!m_state.commit()) {
            m_state.rollback();
            fail(m_state.lastError());
            return false;
        }
    }
    return true;
}

SyncEngine::Batch SyncEngine::readBatch(const SyncFolder& folder, const QSet<QString>& applied)
{
    Batch batch;
    qint64 blobBytes = 0;
    for (const SyncFolder::Segment& segment : folder.segments()) {
        if (segment.device == folder.deviceName() ||
            applied.contains(segment.device + QLatin1Char('/') + QString::number(segment.sequence)))
            continue;
        auto contents = folder.read(segment);
        if (!contents) {
            qCDebug(lcSync) << "segment not complete yet:" << segment.path;
            continue;
        }
        for (SyncOperation& op : contents->operations)
            batch.operations.push_back(std::move(op));
        for (auto it = contents->blobs.constBegin(); it != contents->blobs.constEnd(); ++it) {
            blobBytes += it.value().size();
            batch.blobs.insert(it.key(), it.value());
        }
        batch.segments.push_back(segment);
        // A first sync of a long history comes in several batches, each of a bounded size.
        if (batch.operations.size() >= batchOperations || blobBytes >= batchBlobBytes) {
            batch.more = true;
            break;
        }
    }
    std::stable_sort(
        batch.operations.begin(), batch.operations.end(),
        [](const SyncOperation& a, const SyncOperation& b) { return a.stamp < b.stamp; });
    return batch;
}

std::optional<int> SyncEngine::mergeNow()
{
    if (m_merging)
        return std::nullopt;
    int count = 0;
    Batch batch;
    do {
        batch = readBatch(m_folder, m_state.appliedSegments());
        count += int(batch.operations.size());
        if (!applySlice(batch, QDeadlineTimer(QDeadlineTimer::Forever)))
            return std::nullopt;
    } while (batch.more);
    return count;
}

void SyncEngine::scheduleMerge()
{
    if (m_merging) {
        m_mergeAgain = true;
        return;
    }
    m_merging = true;
    m_mergeAgain = false;
    m_mergedCount = 0;
    m_reader.setFuture(
        QtConcurrent::run(&SyncEngine::readBatch, m_folder, m_state.appliedSegments()));
}

void SyncEngine::applyNextSlice()
{
    const size_t before = m_batch.next;
    const bool ok = applySlice(m_batch, QDeadlineTimer(m_settings.sliceBudget));
    m_mergedCount += int(m_batch.next - before);
    if (!ok || m_batch.next >= m_batch.operations.size()) {
        finishMerge(ok);
        return;
    }
    QTimer::singleShot(0, this, &SyncEngine::applyNextSlice);
}

void SyncEngine::finishMerge(bool ok)
{
    const bool more = ok && m_batch.more;
    m_batch = {};
    m_merging = false;
    if (more) {
        m_mergeAgain = false;
        m_merging = true;
        m_reader.setFuture(
            QtConcurrent::run(&SyncEngine::readBatch, m_folder, m_state.appliedSegments()));
        return;
    }
    if (ok)
        emit mergeFinished(m_mergedCount);
    if (m_mergeAgain)
        scheduleMerge();
}

bool SyncEngine::applySlice(Batch& batch, const QDeadlineTimer& deadline)
{
    // Local changes not journalled yet go first: the merge compares against their stamps.
    if (m_context.hasChanges() && !m_context.save()) {
        fail(QStringLiteral("cannot save the history: %1").arg(m_context.lastError()));
        return false;
    }
    if (!recordLocalChanges(deadline))
        return false;
    if (hasUnrecordedChanges())
        return true; // a long backlog of local changes: the merge goes on when it is recorded
    if (!m_state.begin()) {
        fail(QStringLiteral("cannot write the sync state: %1").arg(m_state.lastError()));
        return false;
    }
    m_applyingRemote = true;
    const size_t first = batch.next;
    while (batch.next < batch.operations.size() &&
           (batch.next == first || !deadline.hasExpired())) {
        apply(batch.operations[batch.next], batch.blobs);
        ++batch.next;
    }
    if (batch.next >= batch.operations.size())
        for (const SyncFolder::Segment& segment : batch.segments)
            m_state.markApplied(segment.device, segment.sequence);
    m_state.setClock(m_clock.last());
    const bool saved = m_context.save();
    if (!saved)
        m_context.rollback();
    m_applyingRemote = false;
    if (!saved || !m_state.commit()) {
        m_state.rollback();
        batch.next = first;
        fail(QStringLiteral("cannot merge: %1")
                 .arg(saved ? m_state.lastError() : m_context.lastError()));
        return false;
    }
    return true;
}

void SyncEngine::apply(const SyncOperation& op, const QHash<QString, QByteArray>& blobs)
{
    m_clock.observe(op.stamp);
    switch (op.type) {
    case SyncOperation::Type::WriteItem:
    case SyncOperation::Type::WriteCategory:
        applyWrite(op, blobs);
        break;
    case SyncOperation::Type::DeleteItem:
    case SyncOperation::Type::DeleteCategory:
        applyDelete(op);
        break;
    case SyncOperation::Type::Membership:
        applyMembership(op);
        break;
    }
}

void SyncEngine::applyWrite(const SyncOperation& op, const QHash<QString, QByteArray>& blobs)
{
    const bool isItem = op.type == SyncOperation::Type::WriteItem;
    SyncState::Record record = m_state.record(op.record).value_or(newRecord(isItem));
    if (!record.deleted.isNull() || record.isItem != isItem)
        return; // a deletion beats every write, older or newer
    QCborMap winners;
    for (auto it = op.fields.constBegin(); it != op.fields.constEnd(); ++it) {
        const QString name = it.key().toString();
        const auto known = record.fields.find(name);
        if (known != record.fields.end() && !(known->second.stamp < op.stamp))
            continue;
        winners.insert(it.key(), it.value());
        const bool keepValue = record.storeId == 0 || RecordFields::isBlobField(name);
        record.fields[name] = {op.stamp, RecordFields::fingerprint(it.value()),
                               keepValue ? std::optional(it.value()) : std::nullopt};
    }
    record.created = record.created || op.created;
    if (record.storeId == 0) {
        if (record.created)
            materialize(op.record, record, blobs);
    } else if (!winners.isEmpty()) {
        if (isItem) {
            if (auto item = storeItem(record.storeId)) {
                for (auto it = winners.constBegin(); it != winners.constEnd(); ++it)
                    if (!RecordFields::isBlobField(it.key().toString()))
                        RecordFields::setOnItem(*item, it.key().toString(), it.value(), {});
                m_context.update(*item);
            }
        } else if (auto category = storeCategory(record.storeId)) {
            for (auto it = winners.constBegin(); it != winners.constEnd(); ++it)
                RecordFields::setOnCategory(*category, it.key().toString(), it.value());
            m_context.update(*category);
        }
    }
    m_state.putRecord(op.record, record);
}

void SyncEngine::materialize(const QUuid& id, SyncState::Record& record,
                             const QHash<QString, QByteArray>& blobs)
{
    const RecordFields::BlobReader reader = [this, &blobs](const QString& name) {
        const auto found = blobs.constFind(name);
        return found != blobs.constEnd() ? std::optional(*found) : m_folder.readBlob(name);
    };
    if (record.isItem) {
        ClipboardItem item;
        item.id = id;
        for (auto& [name, field] : record.fields)
            if (field.value && !RecordFields::setOnItem(item, name, *field.value, reader))
                qCWarning(lcSync) << "cannot read the" << name << "of a synced item";
        m_context.insert(item);
        record.storeId = item.persistentId();
    } else {
        Category category;
        category.id = id;
        for (auto& [name, field] : record.fields)
            if (field.value)
                RecordFields::setOnCategory(category, name, *field.value);
        m_context.insert(category);
        record.storeId = category.persistentId();
    }
    for (auto& [name, field] : record.fields)
        if (!RecordFields::isBlobField(name))
            field.value.reset();
    m_state.putRecord(id, record);
    for (const SyncState::Membership& membership : m_state.membershipsOf(id))
        if (membership.present)
            linkInStore(membership);
}

void SyncEngine::linkInStore(const SyncState::Membership& membership)
{
    const auto item = m_state.record(membership.item);
    const auto category = m_state.record(membership.category);
    if (!item || !category || item->storeId == 0 || category->storeId == 0)
        return;
    const auto summary = m_context.summary(item->storeId, 0);
    const auto target = storeCategory(category->storeId);
    if (!summary || !target)
        return;
    if (membership.present)
        m_context.link(*summary, *target, membership.position);
    else
        m_context.unlink(*summary, *target);
}

void SyncEngine::applyDelete(const SyncOperation& op)
{
    const bool isItem = op.type == SyncOperation::Type::DeleteItem;
    SyncState::Record record = m_state.record(op.record).value_or(newRecord(isItem));
    if (record.isItem != isItem)
        return;
    if (record.deleted.isNull() || op.stamp < record.deleted)
        record.deleted = op.stamp;
    if (record.storeId != 0) {
        if (isItem) {
            if (auto item = storeItem(record.storeId))
                m_context.remove(*item);
        } else if (auto category = storeCategory(record.storeId)) {
            m_context.remove(*category);
        }
    }
    record.storeId = 0;
    record.fields.clear();
    m_state.putRecord(op.record, record);
    m_state.removeMembershipsOf(op.record);
}

void SyncEngine::applyMembership(const SyncOperation& op)
{
    const auto known = m_state.membership(op.record, op.category);
    if (known && !(known->stamp < op.stamp))
        return;
    const SyncState::Membership membership{op.record, op.category, op.stamp, op.present,
                                           op.position};
    m_state.putMembership(membership);
    linkInStore(membership);
}

bool SyncEngine::compact()
{
    if (!recordLocalChanges() || !writeOutbox())
        return false;
    const qint64 oldest = m_settings.wallClock() - m_settings.tombstoneLifetimeMs;
    std::vector<SyncOperation> ops;
    if (!m_state.begin()) {
        fail(m_state.lastError());
        return false;
    }
    for (auto& [id, record] : m_state.records()) {
        if (!record.deleted.isNull()) {
            if (record.deleted.milliseconds() < oldest) {
                m_state.removeRecord(id);
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
        // The values: from the store for a record it holds, else those kept in the state.
        QCborMap values;
        if (record.storeId != 0) {
            if (record.isItem) {
                if (auto item = storeItem(record.storeId))
                    values = RecordFields::ofItem(*item, {});
            } else if (auto category = storeCategory(record.storeId)) {
                values = RecordFields::ofCategory(*category);
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
    for (const SyncState::Membership& membership : m_state.memberships())
        ops.push_back({SyncOperation::Type::Membership,
                       membership.stamp,
                       membership.item,
                       membership.category,
                       false,
                       membership.present,
                       {},
                       membership.position});
    quint64 sequence = m_state.nextSequence();
    for (const SyncFolder::Segment& segment : m_folder.segments())
        if (segment.device == m_folder.deviceName())
            sequence = std::max(sequence, segment.sequence + 1);
    if (auto error = m_folder.writeSegment(sequence, ops)) {
        m_state.rollback();
        fail(*error);
        return false;
    }
    m_state.setNextSequence(sequence + 1);
    if (!m_state.commit()) {
        m_state.rollback();
        fail(m_state.lastError());
        return false;
    }
    m_folder.removeOwnSegmentsBefore(sequence);
    return true;
}

} // namespace brivet
