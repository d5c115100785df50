#include "store/StoreSchema.h"

#include "store/Database.h"
#include "store/StoreLogging.h"

#include <iterator>

namespace brivet {
namespace {

struct Step
{
    int version;
    const char* sql;
};

// Each step ends by setting the version it reaches. Steps are never changed once released:
// a change is a new step.
constexpr Step steps[] = {
    {10000, R"sql(
CREATE TABLE Metadata(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID;
INSERT INTO Metadata(key, value) VALUES
    ('schemaVersion', '1.0.0'), ('configuration', 'BrivetCloud'),
    ('entities', 'ClipboardItem,Category');
CREATE TABLE ClipboardItem(
    pk INTEGER PRIMARY KEY,
    id TEXT NOT NULL,
    contentType TEXT NOT NULL DEFAULT '',
    urlString TEXT,
    filePath TEXT,
    fileName TEXT,
    timestamp INTEGER NOT NULL,
    sourceAppName TEXT,
    sourceAppBundleID TEXT,
    characterCount INTEGER NOT NULL DEFAULT 0,
    imageDataSize INTEGER,
    thumbnailDataSize INTEGER,
    fileDataSize INTEGER,
    textContent TEXT
);
CREATE INDEX ClipboardItem_byTimestamp ON ClipboardItem(timestamp, pk);
CREATE TABLE ClipboardItemData(
    item INTEGER PRIMARY KEY REFERENCES ClipboardItem(pk) ON DELETE CASCADE,
    imageData BLOB,
    thumbnailData BLOB
);
CREATE TABLE Category(
    pk INTEGER PRIMARY KEY,
    id TEXT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    colorHex TEXT NOT NULL DEFAULT '#FFFFFF',
    "order" INTEGER NOT NULL DEFAULT 0,
    isDefault INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE ClipboardItemCategory(
    item INTEGER NOT NULL REFERENCES ClipboardItem(pk) ON DELETE CASCADE,
    category INTEGER NOT NULL REFERENCES Category(pk) ON DELETE CASCADE,
    PRIMARY KEY(item, category)
) WITHOUT ROWID;
CREATE INDEX ClipboardItemCategory_byCategory ON ClipboardItemCategory(category, item);
PRAGMA user_version = 10000;
)sql"},
    // 1.1.0: the further representations of a copy (rich text and the like), each the bytes
    // of one MIME type, and a place for a record's position among the pins of a category
    // (null: the usual order).
    {10100, R"sql(
CREATE TABLE ClipboardItemRepresentation(
    pk INTEGER PRIMARY KEY,
    item INTEGER NOT NULL REFERENCES ClipboardItem(pk) ON DELETE CASCADE,
    mimeType TEXT NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(item, mimeType)
);
ALTER TABLE ClipboardItemCategory ADD COLUMN position INTEGER;
UPDATE Metadata SET value = '1.1.0' WHERE key = 'schemaVersion';
PRAGMA user_version = 10100;
)sql"},
};

static_assert(std::size(steps) > 0 &&
              steps[std::size(steps) - 1].version == StoreSchema::currentVersion);

bool runStepsAfter(Database& database, qint64 fileVersion)
{
    for (const Step& step : steps) {
        if (step.version > fileVersion && !database.exec(step.sql))
            return false;
    }
    return true;
}

} // namespace

std::optional<QString> StoreSchema::newerFileRefusal(qint64 fileVersion, int readerVersion,
                                                     const QString& path)
{
    if (fileVersion <= readerVersion)
        return std::nullopt;
    return QStringLiteral("the store %1 was written by a newer version of Brivet "
                          "(schema %2.%3.%4)")
        .arg(path)
        .arg(fileVersion / 10000)
        .arg(fileVersion / 100 % 100)
        .arg(fileVersion % 100);
}

bool StoreSchema::isKnownVersion(qint64 fileVersion)
{
    for (const Step& step : steps) {
        if (step.version == fileVersion)
            return true;
    }
    return false;
}

bool StoreSchema::create(Database& database)
{
    return runStepsAfter(database, 0);
}

std::optional<QString> StoreSchema::upgrade(Database& database, qint64 fileVersion,
                                            const QString& path)
{
    if (fileVersion == currentVersion)
        return std::nullopt;
    if (!database.exec("BEGIN IMMEDIATE"))
        return QStringLiteral("cannot upgrade the store %1: %2").arg(path, database.lastError());
    if (!runStepsAfter(database, fileVersion) || !database.exec("COMMIT")) {
        const QString error = database.lastError();
        if (database.inTransaction() && !database.exec("ROLLBACK"))
            qCWarning(lcStore) << "cannot roll back the upgrade of" << path;
        return QStringLiteral("cannot upgrade the store %1: %2").arg(path, error);
    }
    qCInfo(lcStore) << "upgraded" << path << "from schema" << fileVersion << "to"
                    << currentVersionName;
    return std::nullopt;
}

} // namespace brivet
