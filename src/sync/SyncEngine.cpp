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

constexpr size_t batchOperations = 20000;
// Outbox rows per segment: reading them and clearing them after the write are main-thread steps.
constexpr int segmentOperations = 1000;
constexpr qint64 batchBlobBytes = 64 * 1024 * 1024;
// New records whose blobs one worker job writes.
constexpr size_t blobJobItems = 64;

// The latest stamp of the fields a change overwrites: the change must come after it.
Stamp latestStamp(const SyncState::Record& record, const QCborMap& fields)
{
    Stamp latest;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it)
        if (const auto known = record.fields.find(it.key().toString());
            known != record.fields.end() && latest < known->second.stamp)
            latest = known->second.stamp;
    return latest;
}

// A tombstone keeps the names of the blobs its record had, so that they can be collected
// once the tombstone expires.
void keepBlobNamesOnly(SyncState::Record& record)
{
    std::erase_if(record.fields, [](const auto& entry) {
        return !RecordFields::isBlobField(entry.first) || !entry.second.value;
    });
}

// Whether a device that merged so far has applied the operation stamped so.
bool covers(const std::map<QByteArray, quint64>& coverage, const Stamp& stamp)
{
    const auto it = coverage.find(stamp.device);
    return it != coverage.end() && stamp.time <= it->second;
}

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
      m_settings(std::move(settings)),
      m_store{context.storePath(), context.externalDataDirectory(), m_stopping},
      m_clock(state.device(), m_settings.wallClock)
{
    m_clock.restore(m_state.clock());
    connect(&m_context, &ModelContext::changed, this, &SyncEngine::noticeChange);
    connect(&m_reader, &QFutureWatcher<Batch>::finished, this, [this] {
        m_batch = m_reader.future().takeResult();
        if (takeNews(m_batch)) {
            m_batch = {};
            m_merging = false;
            return;
        }
        applyNextSlice();
    });
    connect(&m_blobJob, &QFutureWatcher<SyncJobs::NamedBlobs>::finished, this,
            &SyncEngine::blobJobDone);
    connect(&m_folderJob, &QFutureWatcher<SyncJobs::Written>::finished, this,
            &SyncEngine::folderJobDone);
    connect(&m_storeCheck, &QFutureWatcher<SyncJobs::Unjournalled>::finished, this, [this] {
        SyncJobs::Unjournalled found = m_storeCheck.future().takeResult();
        if (!found.error.isEmpty()) {
            fail(
                QStringLiteral("cannot compare the history with the journal: %1").arg(found.error));
            return;
        }
        const int count = int(found.items.size() + found.categories.size() + found.links.size());
        // A whole history is found when sync is turned on: swapped in, not inserted one by one.
        if (m_dirtyItems.empty())
            m_dirtyItems.swap(found.items);
        m_dirtyItems.insert(found.items.begin(), found.items.end());
        m_dirtyCategories.insert(found.categories.begin(), found.categories.end());
        m_dirtyLinks.insert(found.links.begin(), found.links.end());
        if (count > 0)
            qCInfo(lcSync) << count << "records and pins of the history are not journalled yet";
        scheduleRecord();
        emit storeChecked(count);
        startBlobCheck();
    });
    connect(&m_blobCheck, &QFutureWatcher<SyncJobs::BlobCheck>::finished, this, [this] {
        SyncJobs::BlobCheck check = m_blobCheck.future().takeResult();
        if (check.restored > 0)
            qCInfo(lcSync) << "wrote again" << check.restored << "blobs the folder lacked";
        m_blobsSeen = std::move(check.present);
        if (std::exchange(m_blobCheckAgain, false))
            startBlobCheck(true);
    });
}

SyncEngine::~SyncEngine()
{
    m_stopping->store(true);
    // A job whose result was taken is no longer running (nor finished): only running ones are
    // waited for.
    for (QFutureWatcherBase* job : std::initializer_list<QFutureWatcherBase*>{
             &m_reader, &m_blobJob, &m_storeCheck, &m_folderJob, &m_blobCheck})
        if (job->isRunning())
            job->waitForFinished();
}

void SyncEngine::start()
{
    if (m_state.lastSnapshot() == 0) {
        if (!m_state.begin())
            fail(m_state.lastError());
        m_state.setLastSnapshot(m_settings.wallClock());
        if (!m_state.commit())
            m_state.rollback();
    }
    m_storeCheck.setFuture(QtConcurrent::run(&SyncJobs::findUnjournalled, m_store, m_state.path()));

    m_writeTimer = new QTimer(this);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(m_settings.writeDelay);
    connect(m_writeTimer, &QTimer::timeout, this, &SyncEngine::scheduleWrite);
    m_scanTimer = new QTimer(this);
    m_scanTimer->setInterval(m_settings.scanInterval);
    connect(m_scanTimer, &QTimer::timeout, this, &SyncEngine::scheduleMerge);
    m_scanTimer->start();
    m_blobCheckTimer = new QTimer(this);
    m_blobCheckTimer->setInterval(m_settings.blobCheckInterval);
    connect(m_blobCheckTimer, &QTimer::timeout, this, [this] { startBlobCheck(); });
    m_blobCheckTimer->start();
    // A blob removed from the folder (collected by another device, which did not know of a
    // record here that names it) is written again soon, not at the next hourly check: a
    // journal file naming it cannot be read elsewhere until then.
    m_blobsChangedTimer = new QTimer(this);
    m_blobsChangedTimer->setSingleShot(true);
    m_blobsChangedTimer->setInterval(2000);
    connect(m_blobsChangedTimer, &QTimer::timeout, this, [this] { startBlobCheck(true); });

    const QString devices = m_folder.root() + QStringLiteral("/brivet/devices");
    QDir().mkpath(devices);
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(devices);
    // A segment may wait for a blob: its arrival is worth a look too.
    const QString blobs = m_folder.root() + QStringLiteral("/brivet/blobs");
    QDir().mkpath(blobs);
    m_watcher->addPath(blobs);
    // A second key file arriving stops sync at once.
    m_watcher->addPath(m_folder.root() + QStringLiteral("/brivet"));
    auto watchDevices = [this, blobs](const QString& changed = {}) {
        if (changed == blobs) {
            m_blobsChangedTimer->start();
            QTimer::singleShot(200, this, &SyncEngine::scheduleMerge);
            return;
        }
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
        if (!recordLocalChanges(sliceDeadline()))
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

bool SyncEngine::isJournalling() const
{
    return hasUnrecordedChanges() || !m_waitingForBlobs.empty() || !m_blobsInFlight.empty() ||
           m_folderJobRunning || m_storeCheck.isRunning() || !m_state.outbox(1).empty();
}

bool SyncEngine::recordLocalChanges(const QDeadlineTimer& deadline)
{
    const bool inSlices = !deadline.isForever();
    if (!inSlices) {
        // Complete now: the blobs a worker is writing are taken over, the rest written here.
        if (m_blobJob.isRunning())
            m_blobJob.waitForFinished();
        blobJobDone();
        m_dirtyItems.insert(m_waitingForBlobs.begin(), m_waitingForBlobs.end());
        m_waitingForBlobs.clear();
        m_dirtyLinks.insert(m_waitingLinks.begin(), m_waitingLinks.end());
        m_waitingLinks.clear();
    }
    if (!hasUnrecordedChanges())
        return true;
    if (!m_state.begin()) {
        fail(QStringLiteral("cannot write the sync state: %1").arg(m_state.lastError()));
        return false;
    }
    std::vector<SyncOperation> ops;
    bool ok = true;
    std::vector<PersistentId> categories, items, deferred;
    std::vector<std::pair<PersistentId, PersistentId>> links, waitingLinks;
    auto more = [&deadline, &ok, first = true]() mutable {
        return ok && (std::exchange(first, false) || !deadline.hasExpired());
    };
    // Categories and items first, so that a pin finds both ends journalled.
    for (auto it = m_dirtyCategories.begin(); it != m_dirtyCategories.end() && more(); ++it) {
        ok = collectCategory(*it, ops);
        categories.push_back(*it);
    }
    if (categories.size() == m_dirtyCategories.size())
        for (auto it = m_dirtyItems.begin(); it != m_dirtyItems.end() && more(); ++it) {
            switch (collectItem(*it, ops, inSlices)) {
            case Collected::Done:
                items.push_back(*it);
                break;
            case Collected::Deferred:
                deferred.push_back(*it);
                break;
            case Collected::Failed:
                ok = false;
                break;
            }
        }
    if (categories.size() == m_dirtyCategories.size() &&
        items.size() + deferred.size() == m_dirtyItems.size()) {
        const std::set<PersistentId> waiting(deferred.begin(), deferred.end());
        for (auto it = m_dirtyLinks.begin(); it != m_dirtyLinks.end() && more(); ++it) {
            if (waiting.count(it->first) || m_waitingForBlobs.count(it->first) ||
                m_blobsInFlight.count(it->first))
                waitingLinks.push_back(*it);
            else
                collectLink(it->first, it->second, ops);
            links.push_back(*it);
        }
    }
    for (const SyncOperation& op : ops)
        m_state.appendOutbox(encodeOperations({op}));
    m_state.setClock(m_clock.last());
    if (!ok || !m_state.commit()) {
        m_state.rollback();
        if (ok)
            fail(QStringLiteral("cannot write the sync state: %1").arg(m_state.lastError()));
        return false;
    }
    for (PersistentId id : categories)
        m_dirtyCategories.erase(id);
    for (PersistentId id : items)
        m_dirtyItems.erase(id);
    for (PersistentId id : deferred) {
        m_dirtyItems.erase(id);
        m_waitingForBlobs.insert(id);
    }
    for (const auto& link : links)
        m_dirtyLinks.erase(link);
    m_waitingLinks.insert(waitingLinks.begin(), waitingLinks.end());
    startBlobJob();
    return true;
}

void SyncEngine::startBlobJob()
{
    if (m_blobJob.isRunning() || !m_blobsInFlight.empty() || m_waitingForBlobs.empty())
        return;
    std::vector<PersistentId> items;
    while (!m_waitingForBlobs.empty() && items.size() < blobJobItems) {
        items.push_back(*m_waitingForBlobs.begin());
        m_blobsInFlight.insert(items.back());
        m_waitingForBlobs.erase(m_waitingForBlobs.begin());
    }
    m_blobJob.setFuture(
        QtConcurrent::run(&SyncJobs::writeBlobs, m_store, m_folder, items, m_settings.blobLimit));
}

void SyncEngine::blobJobDone()
{
    if (m_blobsInFlight.empty())
        return; // taken over by a step that waited for it
    const SyncJobs::NamedBlobs named = m_blobJob.future().takeResult();
    for (const auto& [item, names] : named.names)
        m_blobNames[item] = names;
    if (!named.error.isEmpty()) {
        fail(named.error);
        // The folder may come back (a removable disk, a mount): tried again later.
        m_waitingForBlobs.insert(m_blobsInFlight.begin(), m_blobsInFlight.end());
        m_blobsInFlight.clear();
        QTimer::singleShot(m_settings.writeDelay, this, &SyncEngine::startBlobJob);
        return;
    }
    m_dirtyItems.insert(m_blobsInFlight.begin(), m_blobsInFlight.end());
    m_blobsInFlight.clear();
    if (m_waitingForBlobs.empty()) {
        m_dirtyLinks.insert(m_waitingLinks.begin(), m_waitingLinks.end());
        m_waitingLinks.clear();
    }
    scheduleRecord();
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
    keepBlobNamesOnly(*record);
    m_state.putRecord(*id, *record);
    m_state.removeMembershipsOf(*id);
    ops.push_back(std::move(op));
}

SyncEngine::Collected SyncEngine::collectItem(PersistentId storeId, std::vector<SyncOperation>& ops,
                                              bool inSlices)
{
    const std::optional<ClipboardItem> item = storeItem(storeId);
    if (!item) {
        collectDeletion(true, storeId, ops);
        m_blobNames.erase(storeId);
        return Collected::Done;
    }
    auto record = m_state.record(item->id);
    if (record && !record->deleted.isNull())
        return Collected::Done; // deleted on another device; the merge takes it out of the store
    const bool created = !record || record->storeId == 0;
    bool blobsWritten = true;
    bool deferred = false;
    RecordFields::BlobNamer namer;
    if (created) {
        const auto named = m_blobNames.find(storeId);
        namer = [&, named](const QString& field, const Blob& buffer) -> QString {
            if (named != m_blobNames.end())
                return named->second.value(field);
            if (buffer.size() > m_settings.blobLimit)
                return {};
            if (inSlices) {
                // Reading, sealing and writing a large buffer takes longer than a slice.
                deferred = true;
                return {};
            }
            const QByteArray bytes = buffer.data();
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
        return Collected::Failed;
    if (deferred)
        return Collected::Deferred;
    m_blobNames.erase(storeId);
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
        return Collected::Done;
    op.stamp = m_clock.after(latestStamp(next, op.fields));
    for (auto it = op.fields.constBegin(); it != op.fields.constEnd(); ++it) {
        const QString name = it.key().toString();
        next.fields[name] = {op.stamp, RecordFields::fingerprint(it.value()),
                             RecordFields::isBlobField(name) ? std::optional(it.value())
                                                             : std::nullopt};
    }
    m_state.putRecord(item->id, next);
    ops.push_back(std::move(op));
    return Collected::Done;
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
    op.stamp = m_clock.after(latestStamp(next, op.fields));
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
                     known ? m_clock.after(known->stamp) : m_clock.now(),
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
    if (m_folderJobRunning) {
        m_folderJob.waitForFinished();
        folderJobDone();
    }
    for (int written = 0; written < maxSegments; ++written) {
        auto rows = m_state.outbox(segmentOperations + 1);
        if (rows.empty())
            return true;
        const quint64 clock = outboxReach(rows);
        const SyncJobs::Written segment =
            SyncJobs::writeSegment(m_folder, m_state.nextSequence(), rows, clock);
        if (!noteWritten(segment))
            return false;
    }
    return true;
}

quint64 SyncEngine::outboxReach(std::vector<std::pair<qint64, QByteArray>>& rows) const
{
    // With the whole outbox in the segment, every operation this device stamped up to the
    // saved clock is in it or before it; with rows left for later, how far is not known.
    if (rows.size() <= size_t(segmentOperations))
        return m_state.clock();
    rows.resize(segmentOperations);
    return 0;
}

bool SyncEngine::noteWritten(const SyncJobs::Written& written)
{
    if (written.error) {
        fail(*written.error);
        return false;
    }
    if (!m_state.begin()) {
        fail(m_state.lastError());
        return false;
    }
    m_state.setNextSequence(written.sequence + 1);
    if (written.snapshot) {
        m_state.removeTombstonesBefore(m_snapshotHorizon);
        m_state.setLastSnapshot(m_settings.wallClock());
    } else {
        m_state.clearOutboxThrough(written.lastRow);
    }
    if (!m_state.commit()) {
        m_state.rollback();
        fail(m_state.lastError());
        return false;
    }
    emit segmentWritten(written.sequence, written.snapshot);
    if (written.snapshot) {
        if (!written.collectedBlobs.isEmpty())
            qCInfo(lcSync) << "collected" << written.collectedBlobs.size()
                           << "blobs of records deleted long ago";
        emit compacted(written.collectedBlobs);
    }
    return true;
}

void SyncEngine::scheduleWrite()
{
    if (m_folderJobRunning || m_keyConflict)
        return;
    auto rows = m_state.outbox(segmentOperations + 1);
    if (rows.empty())
        return;
    const quint64 clock = outboxReach(rows);
    m_folderJobRunning = true;
    m_folderJob.setFuture(QtConcurrent::run(&SyncJobs::writeSegment, m_folder,
                                            m_state.nextSequence(), std::move(rows), clock));
}

void SyncEngine::startCompaction()
{
    if (m_folderJobRunning || m_keyConflict)
        return;
    m_folderJobRunning = true;
    m_snapshotHorizon = m_settings.wallClock() - m_settings.tombstoneLifetimeMs;
    m_folderJob.setFuture(QtConcurrent::run(&SyncJobs::writeSnapshot, m_store, m_state.path(),
                                            m_folder, m_state.nextSequence(), m_snapshotHorizon));
}

void SyncEngine::folderJobDone()
{
    if (!m_folderJobRunning || !m_folderJob.isFinished())
        return; // taken over by a step that waited for it
    m_folderJobRunning = false;
    const SyncJobs::Written written = m_folderJob.future().takeResult();
    if (!noteWritten(written)) {
        if (m_writeTimer)
            m_writeTimer->start(); // the folder may come back (a removable disk, a mount)
        return;
    }
    if (m_journalNamesExpired) {
        compactIfExpiredNamed();
        return;
    }
    if (written.snapshot) {
        startBlobCheck();
    } else {
        const bool due =
            m_settings.wallClock() - m_state.lastSnapshot() > m_settings.tombstoneLifetimeMs / 2;
        if (written.ownSegments > m_settings.segmentsBeforeCompaction || due) {
            startCompaction();
            return;
        }
    }
    if (m_writeTimer && !m_state.outbox(1).empty())
        m_writeTimer->start(); // the next piece of a long backlog
}

void SyncEngine::startBlobCheck(bool onlyIfRemoved)
{
    if (m_keyConflict)
        return;
    if (m_blobCheck.isRunning()) {
        m_blobCheckAgain = m_blobCheckAgain || onlyIfRemoved;
        return;
    }
    m_blobCheck.setFuture(QtConcurrent::run(&SyncJobs::restoreMissingBlobs, m_store,
                                            m_state.path(), m_folder,
                                            onlyIfRemoved ? m_blobsSeen : std::nullopt));
}

int SyncEngine::restoreMissingBlobs()
{
    return SyncJobs::restoreMissingBlobs(m_store, m_state.path(), m_folder).restored;
}

SyncEngine::Batch SyncEngine::readBatch(const SyncFolder& folder, const QString& statePath,
                                        qint64 aheadLimit)
{
    Batch batch;
    batch.keyConflicts = SyncFolder::conflictingKeyFiles(folder.root());
    if (!batch.keyConflicts.isEmpty())
        return batch;
    auto progress = SyncState::readProgress(statePath, &batch.error);
    if (!progress)
        return batch;
    const QSet<QString>& applied = progress->applied;
    batch.coverage = std::move(progress->coverage);
    // What each snapshot with a reach names, to find the records its writer dropped.
    std::vector<std::pair<QSet<QUuid>, size_t>> snapshots; // records named, segment index
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
        if (contents->writer.reach.snapshot && !contents->writer.reach.seen.empty()) {
            QSet<QUuid> named;
            for (const SyncOperation& op : contents->operations)
                if (op.type != SyncOperation::Type::Membership)
                    named.insert(op.record);
            snapshots.emplace_back(std::move(named), batch.segments.size());
        }
        for (SyncOperation& op : contents->operations)
            batch.operations.push_back(std::move(op));
        for (auto it = contents->blobs.constBegin(); it != contents->blobs.constEnd(); ++it) {
            blobBytes += it.value().size();
            batch.blobs.insert(it.key(), it.value());
        }
        if (contents->writer.writtenAt > aheadLimit)
            batch.hostsAhead.append(contents->writer.host.isEmpty() ? segment.device.left(8)
                                                                    : contents->writer.host);
        batch.segments.emplace_back(segment, std::move(contents->writer.reach));
        // A first sync of a long history comes in several batches, each of a bounded size.
        if (batch.operations.size() >= batchOperations || blobBytes >= batchBlobBytes) {
            batch.more = true;
            break;
        }
    }
    // A record a snapshot's writer had seen (an operation on it within the writer's reach) and
    // left out was deleted there longer ago than a tombstone lives; this device, away that
    // long, still holds it, or is about to take it from an older segment of this batch.
    if (!snapshots.empty()) {
        auto state = SyncState::read(statePath, &batch.error);
        if (!state)
            return batch;
        std::set<QUuid> expired;
        auto check = [&](const QUuid& id, const Stamp& stamp) {
            for (const auto& [named, segment] : snapshots)
                if (!named.contains(id) && covers(batch.segments[segment].second.seen, stamp))
                    expired.insert(id);
        };
        QHash<QUuid, bool> kinds;
        QSet<QUuid> known;
        for (const auto& [id, record] : state->records) {
            known.insert(id);
            if (!record.deleted.isNull())
                continue;
            kinds.insert(id, record.isItem);
            for (const auto& [name, field] : record.fields)
                check(id, field.stamp);
        }
        for (const SyncOperation& op : batch.operations)
            if (op.isWrite() && !known.contains(op.record)) {
                kinds.insert(op.record, op.isItem());
                check(op.record, op.stamp);
            }
        for (const QUuid& id : expired)
            batch.expired.emplace_back(id, kinds.value(id));
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
        batch = readBatch(m_folder, m_state.path(), aheadLimit());
        if (takeNews(batch))
            return std::nullopt;
        count += int(batch.operations.size());
        if (!applySlice(batch, QDeadlineTimer(QDeadlineTimer::Forever)))
            return std::nullopt;
    } while (batch.more);
    if (std::exchange(m_journalNamesExpired, false) && !compact())
        return std::nullopt;
    return count;
}

QDeadlineTimer SyncEngine::sliceDeadline() const
{
    // A quarter of the budget for the work and about as much for writing it out (the
    // commits): the event loop may run two queued slices before it turns to input again.
    return QDeadlineTimer(m_settings.sliceBudget / 4);
}

qint64 SyncEngine::aheadLimit() const
{
    return m_settings.wallClock() + m_settings.clockAheadLimitMs;
}

bool SyncEngine::takeNews(const Batch& batch)
{
    for (const QString& host : batch.hostsAhead) {
        if (m_hostsAhead.contains(host))
            continue;
        m_hostsAhead.insert(host);
        qCWarning(lcSync) << "the clock of" << host << "runs more than a day ahead";
        emit clockAhead(host);
    }
    if (!batch.error.isEmpty()) {
        fail(QStringLiteral("cannot read the sync state: %1").arg(batch.error));
        return true;
    }
    if (batch.keyConflicts.isEmpty())
        return false;
    m_keyConflict = true;
    fail(QStringLiteral("the sync folder holds more than one key file: %1")
             .arg(batch.keyConflicts.join(QStringLiteral(", "))));
    emit keyConflict(batch.keyConflicts);
    return true;
}

void SyncEngine::scheduleMerge()
{
    if (m_keyConflict)
        return;
    if (m_merging) {
        m_mergeAgain = true;
        return;
    }
    m_merging = true;
    m_mergeAgain = false;
    m_mergedCount = 0;
    startReading();
}

void SyncEngine::startReading()
{
    m_reader.setFuture(
        QtConcurrent::run(&SyncEngine::readBatch, m_folder, m_state.path(), aheadLimit()));
}

void SyncEngine::applyNextSlice()
{
    const size_t before = m_batch.next;
    const bool ok = applySlice(m_batch, sliceDeadline());
    m_mergedCount += int(m_batch.next - before);
    if (!ok || m_batch.next >= m_batch.operations.size() + m_batch.expired.size()) {
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
        startReading();
        return;
    }
    if (ok)
        emit mergeFinished(m_mergedCount);
    compactIfExpiredNamed();
    if (m_mergeAgain)
        scheduleMerge();
}

void SyncEngine::compactIfExpiredNamed()
{
    if (!m_journalNamesExpired || m_folderJobRunning || m_keyConflict)
        return;
    m_journalNamesExpired = false;
    startCompaction();
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
    const size_t operations = batch.operations.size();
    const size_t end = operations + batch.expired.size();
    while (batch.next < end && (batch.next == first || !deadline.hasExpired())) {
        if (batch.next < operations) {
            apply(batch.operations[batch.next], batch);
        } else {
            const auto& [id, isItem] = batch.expired[batch.next - operations];
            removeExpired(id, isItem);
        }
        ++batch.next;
    }
    if (batch.next >= end) {
        for (const auto& [segment, reach] : batch.segments)
            m_state.markApplied(segment.device, segment.sequence, reach);
        if (!batch.expired.empty())
            qCInfo(lcSync) << batch.expired.size()
                           << "records were deleted on other devices while this one was away";
    }
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

void SyncEngine::apply(const SyncOperation& op, Batch& batch)
{
    // A clock far ahead would pull every clock forward for good; the operation still applies
    // (its stamp decides against other writes, and a later local change comes after it).
    if (op.stamp.milliseconds() <= aheadLimit())
        m_clock.observe(op.stamp);
    switch (op.type) {
    case SyncOperation::Type::WriteItem:
    case SyncOperation::Type::WriteCategory:
        applyWrite(op, batch);
        break;
    case SyncOperation::Type::DeleteItem:
    case SyncOperation::Type::DeleteCategory:
        applyDelete(op);
        break;
    case SyncOperation::Type::Membership:
        applyMembership(op, batch);
        break;
    }
}

void SyncEngine::applyWrite(const SyncOperation& op, Batch& batch)
{
    const bool isItem = op.type == SyncOperation::Type::WriteItem;
    const auto known = m_state.record(op.record);
    // Merged here before, and the record is gone since: its tombstone has expired. The newer
    // writes to it in this batch (a snapshot of a device that was away) go with it.
    if (!known && (batch.dropped.contains(op.record) || covers(batch.coverage, op.stamp))) {
        batch.dropped.insert(op.record);
        return;
    }
    SyncState::Record record = known.value_or(newRecord(isItem));
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
            materialize(op.record, record, batch.blobs);
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
    keepBlobNamesOnly(record);
    m_state.putRecord(op.record, record);
    m_state.removeMembershipsOf(op.record);
}

void SyncEngine::applyMembership(const SyncOperation& op, const Batch& batch)
{
    const auto known = m_state.membership(op.record, op.category);
    // A pin merged here before is forgotten only with its item or category.
    if (known ? !(known->stamp < op.stamp) : covers(batch.coverage, op.stamp))
        return;
    const SyncState::Membership membership{op.record, op.category, op.stamp, op.present,
                                           op.position};
    m_state.putMembership(membership);
    linkInStore(membership);
}

void SyncEngine::removeExpired(const QUuid& id, bool isItem)
{
    const auto record = m_state.record(id);
    if (!record || !record->deleted.isNull())
        return;
    const SyncOperation op{isItem ? SyncOperation::Type::DeleteItem
                                  : SyncOperation::Type::DeleteCategory,
                           m_clock.now(), id, {}, false, false, {}};
    applyDelete(op);
    // Journalled as this device's own deletion: a device still holding it learns of it.
    m_state.appendOutbox(encodeOperations({op}));
    // This device's journal may name the record's blobs, collected long ago elsewhere: the other
    // devices could not read it until a snapshot replaces it.
    m_journalNamesExpired = true;
}

bool SyncEngine::compact()
{
    if (!recordLocalChanges() || !writeOutbox())
        return false;
    m_snapshotHorizon = m_settings.wallClock() - m_settings.tombstoneLifetimeMs;
    if (!noteWritten(SyncJobs::writeSnapshot(m_store, m_state.path(), m_folder,
                                             m_state.nextSequence(), m_snapshotHorizon)))
        return false;
    restoreMissingBlobs();
    return true;
}

} // namespace brivet
