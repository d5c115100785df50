#pragma once

#include "store/ModelContext.h"
#include "sync/HybridClock.h"
#include "sync/SyncFolder.h"
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
    qint64 tombstoneLifetimeMs = 90LL * 24 * 3600 * 1000;
};

// Keeps the history store in step with the user's other devices through the sync folder.
// Local changes, heard from the store's change notices, go into this device's journal;
// the other devices' journals are merged into the store, field by field, the latest write
// winning, a deletion winning over every write, pins as an add/remove set; merged changes
// reach the views through the store's own notices. Lives on the main thread; the folder is
// read on a worker, and merged changes are applied in short slices.
class SyncEngine : public QObject
{
    Q_OBJECT
public:
    SyncEngine(ModelContext& context, SyncState& state, SyncFolder folder,
               SyncSettings settings = {}, QObject* parent = nullptr);
    ~SyncEngine() override;

    // Follows the store's changes and the folder (file-system watch and a periodic scan),
    // and journals the records the journal does not know yet (a history that existed before
    // sync was turned on).
    void start();

    // The steps, each complete when it returns (the timers run them too).
    // Local changes heard since the last call into the outbox, until the deadline (a history
    // journalled for the first time takes many turns); false on failure.
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
    // Writes a snapshot of this device's state and removes its older segments; tombstones
    // past their lifetime go.
    [[nodiscard]] bool compact();

    // Reads the folder on a worker and applies what it finds in slices; mergeFinished tells
    // the end.
    void scheduleMerge();
    bool isMerging() const { return m_merging; }
    QString lastError() const { return m_lastError; }
    const SyncFolder& folder() const { return m_folder; }

signals:
    void mergeFinished(int operations);
    void failed(const QString& message);

private:
    struct Batch
    {
        std::vector<SyncOperation> operations;
        QHash<QString, QByteArray> blobs;
        std::vector<SyncFolder::Segment> segments;
        size_t next = 0;
        bool more = false; // segments were left for the next batch
    };

    void noticeChange(const ModelChange& change);
    void scheduleRecord();
    static Batch readBatch(const SyncFolder& folder, const QSet<QString>& applied);
    // Applies operations of the batch until the deadline; false on failure.
    bool applySlice(Batch& batch, const QDeadlineTimer& deadline);
    void applyNextSlice();
    void finishMerge(bool ok);
    void apply(const SyncOperation& op, const QHash<QString, QByteArray>& blobs);
    void applyWrite(const SyncOperation& op, const QHash<QString, QByteArray>& blobs);
    void applyDelete(const SyncOperation& op);
    void applyMembership(const SyncOperation& op);
    void materialize(const QUuid& id, SyncState::Record& record,
                     const QHash<QString, QByteArray>& blobs);
    void linkInStore(const SyncState::Membership& membership);

    // A record gone from the store: its tombstone, unless it has one already.
    void collectDeletion(bool isItem, PersistentId storeId, std::vector<SyncOperation>& ops);
    bool collectItem(PersistentId storeId, std::vector<SyncOperation>& ops);
    bool collectCategory(PersistentId storeId, std::vector<SyncOperation>& ops);
    void collectLink(PersistentId item, PersistentId category, std::vector<SyncOperation>& ops);
    std::optional<ClipboardItem> storeItem(PersistentId id) const;
    std::optional<Category> storeCategory(PersistentId id) const;
    void fail(const QString& message);

    ModelContext& m_context;
    SyncState& m_state;
    SyncFolder m_folder;
    SyncSettings m_settings;
    HybridClock m_clock;

    bool m_applyingRemote = false;
    std::set<PersistentId> m_dirtyItems;
    std::set<PersistentId> m_dirtyCategories;
    std::set<std::pair<PersistentId, PersistentId>> m_dirtyLinks;
    bool m_recordScheduled = false;

    QTimer* m_writeTimer = nullptr;
    QTimer* m_scanTimer = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    bool m_merging = false;
    bool m_mergeAgain = false;
    int m_mergedCount = 0;
    QFutureWatcher<Batch> m_reader;
    Batch m_batch;
    QString m_lastError;
};

} // namespace brivet
