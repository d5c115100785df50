#pragma once

#include "store/ClipboardItem.h"
#include "sync/HybridClock.h"
#include "sync/SyncOperation.h"

#include <QCborValue>
#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace brivet {

class Database;

// What this device knows of every synced record, beside the history store: for each field the
// stamp of the value that won and a fingerprint of the value the store holds, the tombstones
// of deleted records, the pin set, the segments already merged and the operations waiting to
// be written to the folder. A SQLite file of its own (0600); used on one thread.
class SyncState
{
public:
    struct Field
    {
        Stamp stamp;
        QByteArray fingerprint;
        // The value itself, kept while the record is not in the store yet, and for byte buffers
        // (their blob's name).
        std::optional<QCborValue> value;
    };
    struct Record
    {
        bool isItem = true;
        PersistentId storeId = 0; // 0: not in the store (not created yet, or deleted)
        bool created = false;     // its creating write has been seen
        Stamp deleted;            // null while it lives
        std::map<QString, Field> fields;
    };
    struct Membership
    {
        QUuid item;
        QUuid category;
        Stamp stamp;
        bool present = false;
        std::optional<qint64> position = std::nullopt; // see SyncOperation::position
    };

    // Every record and pin at one moment.
    struct Contents
    {
        std::vector<std::pair<QUuid, Record>> records;
        std::vector<Membership> memberships;
        quint64 clock = 0;
        std::map<QByteArray, quint64> coverage; // as in Progress
    };
    // How far this device has merged: the segments applied ("device/sequence"), and for each
    // device (this one too) the clock up to which every operation it stamped has been applied
    // here. Such an operation on a record this device no longer knows, or a record a snapshot's
    // writer had seen so and no longer holds, was deleted longer ago than a tombstone lives.
    struct Progress
    {
        QSet<QString> applied;
        std::map<QByteArray, quint64> coverage;
    };

    static std::unique_ptr<SyncState> open(const QString& path, QString* error);
    // The records and pins as one consistent read through a read-only connection of its own:
    // for a worker thread, while the owner goes on writing.
    static std::optional<Contents> read(const QString& path, QString* error);
    static std::optional<Progress> readProgress(const QString& path, QString* error);
    ~SyncState();

    QString path() const { return m_path; }
    QByteArray device() const { return m_device; }
    // A value derived from the key the state was made with (empty for a new state).
    QString keyCheck() const;
    void setKeyCheck(const QString& check);
    // When this device last wrote a snapshot of its journal (ms since the epoch, 0: never).
    qint64 lastSnapshot() const;
    void setLastSnapshot(qint64 milliseconds);
    quint64 clock() const;
    quint64 nextSequence() const;
    void setClock(quint64 clock);
    void setNextSequence(quint64 sequence);

    [[nodiscard]] bool begin();
    [[nodiscard]] bool commit();
    void rollback();

    std::optional<Record> record(const QUuid& id) const;
    std::optional<QUuid> recordOfStoreId(bool isItem, PersistentId storeId) const;
    void putRecord(const QUuid& id, const Record& record);
    void removeRecord(const QUuid& id);
    // Drops the tombstones of records deleted before the time (ms since the epoch).
    void removeTombstonesBefore(qint64 milliseconds);
    // Every record, in no order, for snapshots and checks.
    std::vector<std::pair<QUuid, Record>> records() const;

    std::optional<Membership> membership(const QUuid& item, const QUuid& category) const;
    void putMembership(const Membership& membership);
    // The memberships a record takes part in (as the item or as the category).
    std::vector<Membership> membershipsOf(const QUuid& record) const;
    std::vector<Membership> memberships() const;
    void removeMembershipsOf(const QUuid& record);

    bool isApplied(const QString& device, quint64 sequence) const;
    void markApplied(const QString& device, quint64 sequence, const SegmentReach& reach = {});

    // Encoded operations waiting to be written, oldest first, with their row ids.
    void appendOutbox(const QByteArray& operation);
    std::vector<std::pair<qint64, QByteArray>> outbox(int limit) const;
    void clearOutboxThrough(qint64 rowId);

    QString lastError() const;

private:
    SyncState(std::unique_ptr<Database> database, QString path);
    QString meta(const char* key) const;
    void setMeta(const char* key, const QString& value);

    std::unique_ptr<Database> m_database;
    QString m_path;
    QByteArray m_device;
};

} // namespace brivet
