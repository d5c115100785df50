#pragma once

#include "store/ModelContext.h"
#include "sync/SyncFolder.h"
#include "sync/SyncState.h"

#include <QHash>
#include <QStringList>
#include <atomic>
#include <memory>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace brivet {

// The sync engine's work that reads the whole history, seals files or writes them: each a
// function of values only, run on a worker thread (QtConcurrent) while the main thread goes
// on, or inline where a caller wants the step complete (tests, the flush at exit). Each reads
// the store and the sync state through read-only connections of its own.
namespace SyncJobs {

// Where the history store is, for a read-only connection on the worker.
struct StoreSource
{
    QString path;
    QString externalDataDirectory;
    // Set when the engine goes away: a job then ends early, writing nothing more, and its
    // result is not used.
    std::shared_ptr<const std::atomic_bool> stopping;
};

// Records whose store version the journal does not have: changed, added or removed in the
// store since they were last journalled (a history kept before sync was on, or a process
// that ended between a save and its journalling).
struct Unjournalled
{
    std::set<PersistentId> items;
    std::set<PersistentId> categories;
    std::set<std::pair<PersistentId, PersistentId>> links; // item, category
    QString error;
};
Unjournalled findUnjournalled(const StoreSource& store, const QString& statePath);

// The blob names of items' byte buffers (an empty name for a buffer over the size limit),
// each blob sealed and written to the folder unless it is there already.
struct NamedBlobs
{
    std::map<PersistentId, QHash<QString, QString>> names; // item -> field -> blob name
    QString error;
};
NamedBlobs writeBlobs(const StoreSource& store, const SyncFolder& folder,
                      const std::vector<PersistentId>& items, qint64 blobLimit);

// What a write to this device's journal did.
struct Written
{
    bool snapshot = false;
    quint64 sequence = 0; // the segment written
    qint64 lastRow = 0;   // segments: the last outbox row it holds
    size_t ownSegments = 0;
    std::optional<QString> error;
    QStringList collectedBlobs; // snapshots: blobs removed from the folder
};
// Writes outbox rows as the journal's next segment (at sequence or past every own segment);
// clock: the reach of the segment (see SegmentReach), 0 when not known.
Written writeSegment(const SyncFolder& folder, quint64 sequence,
                     const std::vector<std::pair<qint64, QByteArray>>& rows, quint64 clock);
// Writes the device's whole merged state as one segment and removes its older segments.
// Tombstones older than horizon (ms) are left out; the blobs their records named go from the
// folder unless a live record names them too.
Written writeSnapshot(const StoreSource& store, const QString& statePath, const SyncFolder& folder,
                      quint64 sequence, qint64 horizon);

// Writes again the blobs of live records that the folder lacks (collected while the record
// was on its way, or lost), where the store still has their bytes. With the blobs the folder
// held at an earlier check, only when one of them is gone since.
struct BlobCheck
{
    int restored = 0;
    QSet<QString> present; // the folder's blobs at this check
};
BlobCheck restoreMissingBlobs(const StoreSource& store, const QString& statePath,
                              const SyncFolder& folder,
                              const std::optional<QSet<QString>>& presentBefore = std::nullopt);

} // namespace SyncJobs
} // namespace brivet
