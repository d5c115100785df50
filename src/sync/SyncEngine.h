#pragma once

#include "store/ModelContext.h"
#include "sync/HybridClock.h"
#include "sync/SyncFolder.h"
#include "sync/SyncJobs.h"
#include "sync/SyncState.h"

#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QSet>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <set>

class QFileSystemWatcher;
class QTimer;

namespace brivet {

struct SyncSettings
{
    HybridClock::WallClock wallClock = [] {
        return QDateTime::currentMSecsSinceEpoch();
    };
    // Byte buffers larger than this stay on the device that captured them.
    qint64 blobLimit = 25 * 1024 * 1024;
    // Local changes are gathered into one segment for this long.
    std::chrono::milliseconds writeDelay{2000};
    // Another device's segments are looked for this often, besides the file-system watch.
    std::chrono::milliseconds scanInterval{30000};
    // The longest the main thread spends applying merged changes at one go.
    std::chrono::milliseconds sliceBudget{8};
    // How long a deleted record's tombstone is kept: long enough for a device that was away.
    // A blob whose last record was deleted longer ago than this leaves the folder.
    qint64 tombstoneLifetimeMs = 90LL * 24 * 3600 * 1000;
    // Past this many segments of its own, a device folds its journal into a snapshot (and at
    // the latest half a tombstone lifetime after its last snapshot).
    size_t segmentsBeforeCompaction = 64;
    // Another device's clock further ahead of this one's than this does not move this clock.
    qint64 clockAheadLimitMs = 24LL * 3600 * 1000;
    // Blobs that live records name and the folder lacks are looked for this often.
    std::chrono::milliseconds blobCheckInterval{3600 * 1000};
};

// Keeps the history store in step with the user's other devices through the sync folder.
// Local changes, heard from the store's change notices, go into this device's journal;
// the other devices' journals are merged into the store, field by field, the latest write
// winning, a deletion winning over every write, pins as an add/remove set; merged changes
// reach the views through the store's own notices. Lives on the main thread, which only
// compares records and applies merged changes, in short slices; reading the folder, naming
// and sealing blobs, writing segments and snapshots, collecting blobs and checking the store
// at start run on workers (SyncJobs).
class SyncEngine : public QObject
{
    Q_OBJECT
public:
    SyncEngine(ModelContext& context, SyncState& state, SyncFolder folder,
               SyncSettings settings = {}, QObject* parent = nullptr);
    ~SyncEngine() override;

    // Follows the store's changes and the folder (file-system watch and a periodic scan),
    // and looks on a worker for records whose store version the journal lacks (a history
    // kept before sync was on, changes saved just before the process was killed).
    void start();

    // The steps, each complete when it returns (tests; the flush at exit).
    // Local changes heard since the last call into the outbox, until the deadline; false on
    // failure. With a deadline, the byte buffers of new records are named and written on a
    // worker first, and their records journalled once that is done.
    [[nodiscard]] bool
    recordLocalChanges(const QDeadlineTimer& deadline = QDeadlineTimer(QDeadlineTimer::Forever));
    bool hasUnrecordedChanges() const;
    // The outbox into new segments of this device's journal (at most maxSegments of them, of
    // a bounded size each, so that a history journalled for the first time reaches the
    // other devices in pieces they can read one at a time).
    [[nodiscard]] bool writeOutbox(int maxSegments = std::numeric_limits<int>::max());
    // Reads and applies every complete segment not merged yet; the number of operations
    // applied, std::nullopt on failure.
    std::optional<int> mergeNow();
    // Writes a snapshot of this device's state, removes its older segments and collects the
    // blobs of records deleted longer ago than the tombstone lifetime; then writes again the
    // blobs of live records the folder lacks.
    [[nodiscard]] bool compact();
    // Writes again the blobs of live records that the folder lacks; how many.
    int restoreMissingBlobs();

    // Reads the folder on a worker and applies what it finds in slices; mergeFinished tells
    // the end.
    void scheduleMerge();
    bool isMerging() const { return m_merging; }
    // Local changes are still being journalled or written (blobs, segments, a snapshot).
    bool isJournalling() const;
    QString lastError() const { return m_lastError; }
    const SyncFolder& folder() const { return m_folder; }

signals:
    void mergeFinished(int operations);
    void failed(const QString& message);
    // The check at start is done: so many records were found unjournalled.
    void storeChecked(int records);
    // A segment of this device's journal was written (outbox rows or a snapshot).
    void segmentWritten(quint64 sequence, bool snapshot);
    // A snapshot replaced the journal; the blobs it removed from the folder.
    void compacted(const QStringList& collectedBlobs);
    // A segment written by this computer's clock far ahead of this one's was read.
    void clockAhead(const QString& host);
    // The folder holds a second key file: nothing more is read or written.
    void keyConflict(const QStringList& files);

private:
    struct Batch
    {
        std::vector<SyncOperation> operations;
        QHash<QString, QByteArray> blobs;
        std::vector<std::pair<SyncFolder::Segment, SegmentReach>> segments;
        // How far every device's operations had been merged before this batch.
        std::map<QByteArray, quint64> coverage;
        // Records a snapshot's writer had seen and no longer holds: deleted on another device
        // longer ago than a tombstone lives, while this one was away. Removed after the
        // operations, each with a deletion of this device's own.
        std::vector<std::pair<QUuid, bool>> expired; // id, is an item
        // Records found expired while applying: their other operations here go too.
        QSet<QUuid> dropped;
        QStringList hostsAhead; // computers whose segments were written days ahead
        QStringList keyConflicts;
        QString error;
        size_t next = 0; // operations, then expired records
        bool more = false; // segments were left for the next batch
    };
    enum class Collected
    {
        Done,
        Deferred, // waits for its blobs to be written on a worker
        Failed,
    };

    void noticeChange(const ModelChange& change);
    void scheduleRecord();
    static Batch readBatch(const SyncFolder& folder, const QString& statePath, qint64 aheadLimit);
    void startReading();
    // Applies operations of the batch until the deadline; false on failure.
    bool applySlice(Batch& batch, const QDeadlineTimer& deadline);
    void applyNextSlice();
    void finishMerge(bool ok);
    // Tells what the batch's reading found out; true when the merge must stop.
    bool takeNews(const Batch& batch);
    qint64 aheadLimit() const;
    QDeadlineTimer sliceDeadline() const;
    void apply(const SyncOperation& op, Batch& batch);
    void applyWrite(const SyncOperation& op, Batch& batch);
    void applyDelete(const SyncOperation& op);
    void applyMembership(const SyncOperation& op, const Batch& batch);
    void removeExpired(const QUuid& id, bool isItem);
    void materialize(const QUuid& id, SyncState::Record& record,
                     const QHash<QString, QByteArray>& blobs);
    void linkInStore(const SyncState::Membership& membership);

    // A record gone from the store: its tombstone, unless it has one already.
    void collectDeletion(bool isItem, PersistentId storeId, std::vector<SyncOperation>& ops);
    Collected collectItem(PersistentId storeId, std::vector<SyncOperation>& ops, bool inSlices);
    bool collectCategory(PersistentId storeId, std::vector<SyncOperation>& ops);
    void collectLink(PersistentId item, PersistentId category, std::vector<SyncOperation>& ops);
    std::optional<ClipboardItem> storeItem(PersistentId id) const;
    std::optional<Category> storeCategory(PersistentId id) const;
    void fail(const QString& message);

    // Workers.
    void startBlobJob();
    void blobJobDone();
    void scheduleWrite();
    void startCompaction();
    void folderJobDone();
    // Leaves the rows of one segment; the segment's reach (see SegmentReach).
    quint64 outboxReach(std::vector<std::pair<qint64, QByteArray>>& rows) const;
    // Notes a written segment in the state; false on failure.
    bool noteWritten(const SyncJobs::Written& written);
    // onlyIfRemoved: only when a blob the last check saw is gone (a change to the folder's
    // blobs); else every blob of a live record is looked for.
    void startBlobCheck(bool onlyIfRemoved = false);
    void compactIfExpiredNamed();

    ModelContext& m_context;
    SyncState& m_state;
    SyncFolder m_folder;
    SyncSettings m_settings;
    // Tells running jobs to end early when the engine goes away.
    std::shared_ptr<std::atomic_bool> m_stopping = std::make_shared<std::atomic_bool>(false);
    SyncJobs::StoreSource m_store;
    HybridClock m_clock;

    bool m_applyingRemote = false;
    std::set<PersistentId> m_dirtyItems;
    std::set<PersistentId> m_dirtyCategories;
    std::set<std::pair<PersistentId, PersistentId>> m_dirtyLinks;
    bool m_recordScheduled = false;
    // New records whose blobs a worker names and writes first, and their pins.
    std::set<PersistentId> m_waitingForBlobs;
    std::set<PersistentId> m_blobsInFlight;
    std::set<std::pair<PersistentId, PersistentId>> m_waitingLinks;
    std::map<PersistentId, QHash<QString, QString>> m_blobNames;
    QFutureWatcher<SyncJobs::NamedBlobs> m_blobJob;

    QFutureWatcher<SyncJobs::Unjournalled> m_storeCheck;
    QFutureWatcher<SyncJobs::Written> m_folderJob;
    bool m_folderJobRunning = false;
    qint64 m_snapshotHorizon = 0;
    QFutureWatcher<SyncJobs::BlobCheck> m_blobCheck;
    std::optional<QSet<QString>> m_blobsSeen; // at the last check
    bool m_blobCheckAgain = false;

    QTimer* m_writeTimer = nullptr;
    QTimer* m_scanTimer = nullptr;
    QTimer* m_blobCheckTimer = nullptr;
    QTimer* m_blobsChangedTimer = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    bool m_merging = false;
    bool m_mergeAgain = false;
    bool m_keyConflict = false;
    // Records deleted while this device was away were removed: its journal is written anew.
    bool m_journalNamesExpired = false;
    int m_mergedCount = 0;
    QFutureWatcher<Batch> m_reader;
    Batch m_batch;
    QSet<QString> m_hostsAhead;
    QString m_lastError;
};

} // namespace brivet
