#include "sync/SyncState.h"

#include "store/Database.h"
#include "sync/SyncLogging.h"

#include <QCborArray>
#include <QCborMap>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <sodium.h>
#include <sys/stat.h>

namespace brivet {
namespace {

const char* const schemaSql = R"sql(
CREATE TABLE IF NOT EXISTS Meta(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS Record(
    id BLOB PRIMARY KEY NOT NULL,
    isItem INTEGER NOT NULL,
    storeId INTEGER NOT NULL DEFAULT 0,
    created INTEGER NOT NULL DEFAULT 0,
    deleted BLOB,
    fields BLOB
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS Record_byStoreId ON Record(isItem, storeId) WHERE storeId != 0;
CREATE INDEX IF NOT EXISTS Record_byDeleted ON Record(deleted) WHERE deleted IS NOT NULL;
CREATE TABLE IF NOT EXISTS Membership(
    item BLOB NOT NULL,
    category BLOB NOT NULL,
    stamp BLOB NOT NULL,
    present INTEGER NOT NULL,
    position INTEGER,
    PRIMARY KEY(item, category)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS Membership_byCategory ON Membership(category);
CREATE TABLE IF NOT EXISTS Applied(device TEXT NOT NULL, sequence INTEGER NOT NULL,
    clock INTEGER NOT NULL DEFAULT 0, snapshot INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(device, sequence)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS Reach(device TEXT PRIMARY KEY NOT NULL, clock INTEGER NOT NULL)
    WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS Outbox(id INTEGER PRIMARY KEY, operation BLOB NOT NULL);
)sql";

QByteArray encodeFields(const std::map<QString, SyncState::Field>& fields)
{
    QCborMap map;
    for (const auto& [name, field] : fields) {
        QCborArray entry{field.stamp.encoded(), field.fingerprint};
        if (field.value)
            entry.append(*field.value);
        map.insert(name, entry);
    }
    return map.toCborValue().toCbor();
}

std::map<QString, SyncState::Field> decodeFields(const QByteArray& bytes)
{
    std::map<QString, SyncState::Field> fields;
    const QCborMap map = QCborValue::fromCbor(bytes).toMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QCborArray entry = it.value().toArray();
        SyncState::Field field{Stamp::decode(entry.at(0).toByteArray()), entry.at(1).toByteArray(),
                               std::nullopt};
        if (entry.size() > 2)
            field.value = entry.at(2);
        fields.emplace(it.key().toString(), std::move(field));
    }
    return fields;
}

SyncState::Record recordFromRow(Statement& row, int first)
{
    SyncState::Record record;
    record.isItem = row.int64(first) != 0;
    record.storeId = row.int64(first + 1);
    record.created = row.int64(first + 2) != 0;
    if (!row.isNull(first + 3))
        record.deleted = Stamp::decode(row.blob(first + 3));
    record.fields = decodeFields(row.blob(first + 4));
    return record;
}

std::vector<SyncState::Membership> membershipRows(Statement* query)
{
    std::vector<SyncState::Membership> rows;
    while (query && query->step())
        rows.push_back({QUuid::fromRfc4122(query->blob(0)), QUuid::fromRfc4122(query->blob(1)),
                        Stamp::decode(query->blob(2)), query->int64(3) != 0,
                        query->optionalInt64(4)});
    return rows;
}

bool hasColumn(Database& database, const char* table, const char* column)
{
    Statement* query =
        database.prepare("SELECT count(*) FROM pragma_table_info(?) WHERE name = ?");
    const bool has = query &&
                     query->bind(1, QString::fromLatin1(table))
                         .bind(2, QString::fromLatin1(column))
                         .step() &&
                     query->int64(0) == 1;
    if (query)
        query->finish();
    return has;
}

QString metaValue(Database& database, const char* key)
{
    Statement* query = database.prepare("SELECT value FROM Meta WHERE key = ?");
    if (!query || !query->bind(1, QString::fromLatin1(key)).step())
        return {};
    const QString value = query->text(0);
    query->finish();
    return value;
}

void raise(std::map<QByteArray, quint64>& coverage, const QByteArray& device, quint64 clock)
{
    if (clock != 0 && device.size() == 16)
        coverage[device] = std::max(coverage[device], clock);
}

// How far every device's operations have been merged (see SyncState::Progress).
std::optional<std::map<QByteArray, quint64>> coverageOf(Database& database)
{
    std::map<QByteArray, quint64> coverage;
    raise(coverage, QByteArray::fromHex(metaValue(database, "device").toLatin1()),
          metaValue(database, "clock").toULongLong());
    Statement* query = database.prepare("SELECT device, clock FROM Reach");
    while (query && query->step())
        raise(coverage, QByteArray::fromHex(query->text(0).toLatin1()), quint64(query->int64(1)));
    if (!query || query->failed())
        return std::nullopt;
    // A device's journal counts from the newest snapshot merged of it (which stands for every
    // earlier segment), else from its first segment, and as far as it runs without a gap.
    struct Row
    {
        quint64 sequence;
        quint64 clock;
        bool snapshot;
    };
    std::map<QString, std::vector<Row>> journals;
    query = database.prepare("SELECT device, sequence, clock, snapshot FROM Applied");
    while (query && query->step())
        journals[query->text(0)].push_back(
            {quint64(query->int64(1)), quint64(query->int64(2)), query->int64(3) != 0});
    if (!query || query->failed())
        return std::nullopt;
    for (auto& [device, rows] : journals) {
        std::sort(rows.begin(), rows.end(),
                  [](const Row& a, const Row& b) { return a.sequence < b.sequence; });
        auto from = rows.begin();
        quint64 expected = 1;
        for (auto it = rows.begin(); it != rows.end(); ++it)
            if (it->snapshot)
                from = it, expected = it->sequence;
        quint64 clock = 0;
        for (auto it = from; it != rows.end() && it->sequence == expected; ++it, ++expected)
            clock = std::max(clock, it->clock);
        raise(coverage, QByteArray::fromHex(device.toLatin1()), clock);
    }
    return coverage;
}

// Runs read in one transaction of a read-only connection of its own: a consistent view while
// the owner of the state goes on writing.
template<typename T, typename Read>
std::optional<T> readConsistently(const QString& path, QString* error, Read read)
{
    auto database = Database::openReadOnly(path, error);
    if (!database)
        return std::nullopt;
    std::optional<T> result;
    if (database->exec("BEGIN"))
        result = read(*database);
    if (!result || !database->exec("COMMIT")) {
        *error = database->lastError();
        return std::nullopt;
    }
    return result;
}

} // namespace

std::unique_ptr<SyncState> SyncState::open(const QString& path, QString* error)
{
    auto database = Database::open(path, /*create=*/!QFileInfo::exists(path), error);
    if (!database)
        return nullptr;
    ::chmod(QFile::encodeName(path).constData(), 0600);
    if (!database->exec("PRAGMA journal_mode = WAL") ||
        !database->exec("PRAGMA synchronous = NORMAL") || !database->exec(schemaSql)) {
        *error = database->lastError();
        return nullptr;
    }
    // A state file written before pins had places, or before merged segments kept how far
    // their writers had come, lacks those columns.
    if ((!hasColumn(*database, "Membership", "position") &&
         !database->exec("ALTER TABLE Membership ADD COLUMN position INTEGER")) ||
        (!hasColumn(*database, "Applied", "clock") &&
         (!database->exec("ALTER TABLE Applied ADD COLUMN clock INTEGER NOT NULL DEFAULT 0") ||
          !database->exec(
              "ALTER TABLE Applied ADD COLUMN snapshot INTEGER NOT NULL DEFAULT 0")))) {
        *error = database->lastError();
        return nullptr;
    }
    database->checkpointInBackground(path);
    std::unique_ptr<SyncState> state(new SyncState(std::move(database), path));
    const QString device = state->meta("device");
    if (device.size() == 32) {
        state->m_device = QByteArray::fromHex(device.toLatin1());
    } else {
        if (sodium_init() < 0) {
            *error = QStringLiteral("the cryptography library failed");
            return nullptr;
        }
        state->m_device.resize(16);
        randombytes_buf(state->m_device.data(), 16);
        state->setMeta("device", QString::fromLatin1(state->m_device.toHex()));
    }
    return state;
}

std::optional<SyncState::Contents> SyncState::read(const QString& path, QString* error)
{
    return readConsistently<Contents>(path, error, [](Database& database) {
        std::optional<Contents> contents(std::in_place);
        Statement* query =
            database.prepare("SELECT id, isItem, storeId, created, deleted, fields FROM Record");
        while (query && query->step())
            contents->records.emplace_back(QUuid::fromRfc4122(query->blob(0)),
                                           recordFromRow(*query, 1));
        if (!query || query->failed())
            return std::optional<Contents>();
        contents->memberships = membershipRows(
            database.prepare("SELECT item, category, stamp, present, position FROM Membership"));
        contents->clock = metaValue(database, "clock").toULongLong();
        auto coverage = coverageOf(database);
        if (!coverage)
            return std::optional<Contents>();
        contents->coverage = std::move(*coverage);
        return contents;
    });
}

std::optional<SyncState::Progress> SyncState::readProgress(const QString& path, QString* error)
{
    return readConsistently<Progress>(path, error, [](Database& database) {
        std::optional<Progress> progress(std::in_place);
        Statement* query = database.prepare("SELECT device, sequence FROM Applied");
        while (query && query->step())
            progress->applied.insert(query->text(0) + QLatin1Char('/') +
                                     QString::number(query->int64(1)));
        auto coverage = query && !query->failed() ? coverageOf(database) : std::nullopt;
        if (!coverage)
            return std::optional<Progress>();
        progress->coverage = std::move(*coverage);
        return progress;
    });
}

SyncState::SyncState(std::unique_ptr<Database> database, QString path)
    : m_database(std::move(database)), m_path(std::move(path))
{}

QString SyncState::keyCheck() const
{
    return meta("keyCheck");
}

void SyncState::setKeyCheck(const QString& check)
{
    setMeta("keyCheck", check);
}

qint64 SyncState::lastSnapshot() const
{
    return meta("lastSnapshot").toLongLong();
}

void SyncState::setLastSnapshot(qint64 milliseconds)
{
    setMeta("lastSnapshot", QString::number(milliseconds));
}

void SyncState::removeTombstonesBefore(qint64 milliseconds)
{
    // Stamps sort as their encoded bytes; the bare time sorts before every stamp of that time.
    QByteArray bound(8, Qt::Uninitialized);
    qToBigEndian(quint64(milliseconds) << 16, bound.data());
    Statement* write =
        m_database->prepare("DELETE FROM Record WHERE deleted IS NOT NULL AND deleted < ?");
    if (!write || !write->bindBlob(1, bound).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

SyncState::~SyncState() = default;

QString SyncState::meta(const char* key) const
{
    Statement* query = m_database->prepare("SELECT value FROM Meta WHERE key = ?");
    if (!query || !query->bind(1, QString::fromLatin1(key)).step())
        return {};
    const QString value = query->text(0);
    query->finish();
    return value;
}

void SyncState::setMeta(const char* key, const QString& value)
{
    Statement* write = m_database->prepare("INSERT OR REPLACE INTO Meta(key, value) VALUES(?, ?)");
    if (!write || !write->bind(1, QString::fromLatin1(key)).bind(2, value).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

quint64 SyncState::clock() const
{
    return meta("clock").toULongLong();
}

quint64 SyncState::nextSequence() const
{
    return std::max<quint64>(meta("nextSequence").toULongLong(), 1);
}

void SyncState::setClock(quint64 clock)
{
    setMeta("clock", QString::number(clock));
}

void SyncState::setNextSequence(quint64 sequence)
{
    setMeta("nextSequence", QString::number(sequence));
}

bool SyncState::begin()
{
    return m_database->exec("BEGIN IMMEDIATE");
}

bool SyncState::commit()
{
    return m_database->exec("COMMIT");
}

void SyncState::rollback()
{
    if (m_database->inTransaction() && !m_database->exec("ROLLBACK"))
        qCWarning(lcSync) << "rollback failed:" << m_database->lastError();
}

QString SyncState::lastError() const
{
    return m_database->lastError();
}

std::optional<SyncState::Record> SyncState::record(const QUuid& id) const
{
    Statement* query = m_database->prepare(
        "SELECT isItem, storeId, created, deleted, fields FROM Record WHERE id = ?");
    if (!query || !query->bindBlob(1, id.toRfc4122()).step())
        return std::nullopt;
    Record record = recordFromRow(*query, 0);
    query->finish();
    return record;
}

std::optional<QUuid> SyncState::recordOfStoreId(bool isItem, PersistentId storeId) const
{
    Statement* query = m_database->prepare(
        "SELECT id FROM Record WHERE isItem = ? AND storeId = ? AND storeId != 0");
    if (!query || !query->bind(1, qint64(isItem)).bind(2, storeId).step())
        return std::nullopt;
    const QUuid id = QUuid::fromRfc4122(query->blob(0));
    query->finish();
    return id;
}

void SyncState::putRecord(const QUuid& id, const Record& record)
{
    Statement* write = m_database->prepare(
        "INSERT OR REPLACE INTO Record(id, isItem, storeId, created, deleted, fields) "
        "VALUES(?, ?, ?, ?, ?, ?)");
    if (!write)
        return;
    write->bindBlob(1, id.toRfc4122())
        .bind(2, qint64(record.isItem))
        .bind(3, record.storeId)
        .bind(4, qint64(record.created));
    record.deleted.isNull() ? write->bindNull(5) : write->bindBlob(5, record.deleted.encoded());
    write->bindBlob(6, encodeFields(record.fields));
    if (!write->exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

void SyncState::removeRecord(const QUuid& id)
{
    Statement* write = m_database->prepare("DELETE FROM Record WHERE id = ?");
    if (!write || !write->bindBlob(1, id.toRfc4122()).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

std::vector<std::pair<QUuid, SyncState::Record>> SyncState::records() const
{
    std::vector<std::pair<QUuid, Record>> all;
    Statement* query =
        m_database->prepare("SELECT id, isItem, storeId, created, deleted, fields FROM Record");
    while (query && query->step())
        all.emplace_back(QUuid::fromRfc4122(query->blob(0)), recordFromRow(*query, 1));
    return all;
}

std::optional<SyncState::Membership> SyncState::membership(const QUuid& item,
                                                           const QUuid& category) const
{
    Statement* query =
        m_database->prepare("SELECT item, category, stamp, present, position FROM Membership "
                            "WHERE item = ? AND category = ?");
    if (!query)
        return std::nullopt;
    query->bindBlob(1, item.toRfc4122()).bindBlob(2, category.toRfc4122());
    auto rows = membershipRows(query);
    return rows.empty() ? std::nullopt : std::optional<Membership>(rows.front());
}

void SyncState::putMembership(const Membership& membership)
{
    Statement* write = m_database->prepare(
        "INSERT OR REPLACE INTO Membership(item, category, stamp, present, position) "
        "VALUES(?, ?, ?, ?, ?)");
    if (!write || !write->bindBlob(1, membership.item.toRfc4122())
                       .bindBlob(2, membership.category.toRfc4122())
                       .bindBlob(3, membership.stamp.encoded())
                       .bind(4, qint64(membership.present))
                       .bind(5, membership.position ? QVariant(*membership.position) : QVariant())
                       .exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

std::vector<SyncState::Membership> SyncState::membershipsOf(const QUuid& record) const
{
    Statement* query =
        m_database->prepare("SELECT item, category, stamp, present, position FROM Membership "
                            "WHERE item = ?1 OR category = ?1");
    if (!query)
        return {};
    query->bindBlob(1, record.toRfc4122());
    return membershipRows(query);
}

std::vector<SyncState::Membership> SyncState::memberships() const
{
    return membershipRows(
        m_database->prepare("SELECT item, category, stamp, present, position FROM Membership"));
}

void SyncState::removeMembershipsOf(const QUuid& record)
{
    Statement* write =
        m_database->prepare("DELETE FROM Membership WHERE item = ?1 OR category = ?1");
    if (!write || !write->bindBlob(1, record.toRfc4122()).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

bool SyncState::isApplied(const QString& device, quint64 sequence) const
{
    Statement* query =
        m_database->prepare("SELECT 1 FROM Applied WHERE device = ? AND sequence = ?");
    if (!query || !query->bind(1, device).bind(2, qint64(sequence)).step())
        return false;
    query->finish();
    return true;
}

void SyncState::markApplied(const QString& device, quint64 sequence, const SegmentReach& reach)
{
    Statement* write = m_database->prepare(
        "INSERT OR IGNORE INTO Applied(device, sequence, clock, snapshot) VALUES(?, ?, ?, ?)");
    if (!write || !write->bind(1, device)
                       .bind(2, qint64(sequence))
                       .bind(3, qint64(reach.clock))
                       .bind(4, qint64(reach.snapshot))
                       .exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
    for (const auto& [seen, clock] : reach.seen) {
        write = m_database->prepare(
            "INSERT INTO Reach(device, clock) VALUES(?, ?) "
            "ON CONFLICT(device) DO UPDATE SET clock = max(clock, excluded.clock)");
        if (!write ||
            !write->bind(1, QString::fromLatin1(seen.toHex())).bind(2, qint64(clock)).exec())
            qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
    }
}

void SyncState::appendOutbox(const QByteArray& operation)
{
    Statement* write = m_database->prepare("INSERT INTO Outbox(operation) VALUES(?)");
    if (!write || !write->bindBlob(1, operation).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

std::vector<std::pair<qint64, QByteArray>> SyncState::outbox(int limit) const
{
    std::vector<std::pair<qint64, QByteArray>> rows;
    Statement* query = m_database->prepare("SELECT id, operation FROM Outbox ORDER BY id LIMIT ?");
    if (query)
        query->bind(1, qint64(limit));
    while (query && query->step())
        rows.emplace_back(query->int64(0), query->blob(1));
    return rows;
}

void SyncState::clearOutboxThrough(qint64 rowId)
{
    Statement* write = m_database->prepare("DELETE FROM Outbox WHERE id <= ?");
    if (!write || !write->bind(1, rowId).exec())
        qCWarning(lcSync) << "cannot write the sync state:" << m_database->lastError();
}

} // namespace brivet
