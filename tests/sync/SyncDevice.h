#pragma once

#include "store/ModelContainer.h"
#include "store/Palette.h"
#include "store/PinOrder.h"
#include "sync/SyncEngine.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <tuple>

namespace brivet::test {

// One device of a test: a real history store, its sync state and engine, and its own view of
// the sync folder (what the sync service has delivered to it so far).
struct SyncDevice
{
    // fixedId: a device id of its own choosing (1 to 255), for runs that repeat exactly;
    // 0 for a random one, as the program makes.
    SyncDevice(const QString& directory, const SyncKey& key, const qint64& clock, qint64 skew,
               SyncSettings settings = {}, int fixedId = 0)
        : folderRoot(directory + QStringLiteral("/folder"))
    {
        QDir().mkpath(folderRoot);
        auto created = ModelContainer::create(directory + QStringLiteral("/BrivetCloud.sqlite"));
        if (!std::holds_alternative<std::unique_ptr<ModelContainer>>(created))
            qFatal("store: %s", qPrintable(std::get<QString>(created)));
        container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        context().setAutosaveEnabled(false);
        ensureDefaultCategory(context());
        if (fixedId != 0) {
            sqlite3* db = nullptr;
            const QByteArray sql = "CREATE TABLE Meta(key TEXT PRIMARY KEY NOT NULL, value TEXT "
                                   "NOT NULL) WITHOUT ROWID; INSERT INTO Meta VALUES('device', '" +
                                   QByteArray(16, char(fixedId)).toHex() + "')";
            if (sqlite3_open(QFile::encodeName(directory + QStringLiteral("/sync.sqlite")), &db) !=
                    SQLITE_OK ||
                sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                qFatal("cannot give the device its id");
            sqlite3_close(db);
        }
        QString error;
        state = SyncState::open(directory + QStringLiteral("/sync.sqlite"), &error);
        if (!state)
            qFatal("sync state: %s", qPrintable(error));
        settings.wallClock = [&clock, skew] {
            return clock + skew;
        };
        engine = std::make_unique<SyncEngine>(context(), *state,
                                              SyncFolder(folderRoot, key, state->device(),
                                                         QFileInfo(directory).fileName(),
                                                         settings.wallClock),
                                              settings);
    }

    ModelContext& context() { return container->mainContext(); }
    // Saves, journals and writes the journal's new segment.
    bool publish()
    {
        return context().save() && engine->recordLocalChanges() && engine->writeOutbox();
    }

    QString folderRoot;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<SyncState> state;
    std::unique_ptr<SyncEngine> engine;
};

// What a store holds, in a form that compares across devices: records by id (fields and
// bytes), categories by id, pins as (item, category) pairs with their positions. Default
// categories excluded.
struct StoreContents
{
    using ItemFields =
        std::tuple<QString, std::optional<QString>, std::optional<QString>, std::optional<QString>,
                   std::optional<QString>, qint64, std::optional<QString>, std::optional<QString>,
                   qint64, QByteArray, QByteArray, QByteArray, std::map<QString, QByteArray>>;
    std::map<QUuid, ItemFields> items;
    std::map<QUuid, std::tuple<QString, QString, qint64>> categories;
    std::map<std::pair<QUuid, QUuid>, std::optional<qint64>> pins;

    static StoreContents of(ModelContext& context)
    {
        StoreContents contents;
        auto bytes = [](const std::optional<Blob>& blob) {
            return blob ? blob->data() : QByteArray("<none>");
        };
        const QList<ClipboardItem> items = context.fetch(ItemFetch{}).value();
        for (const ClipboardItem& item : items) {
            std::map<QString, QByteArray> forms;
            for (auto it = item.representations.constBegin(); it != item.representations.constEnd();
                 ++it)
                forms[it.key()] = it.value().data();
            contents.items[item.id] = {item.contentType,
                                       item.textContent,
                                       item.urlString,
                                       item.filePath,
                                       item.fileName,
                                       item.timestamp.toMSecsSinceEpoch(),
                                       item.sourceAppName,
                                       item.sourceAppBundleID,
                                       item.characterCount,
                                       bytes(item.imageData),
                                       bytes(item.thumbnailData),
                                       bytes(item.fileData),
                                       forms};
        }
        const QList<Category> categories = context.fetch(CategoryFetch{}).value();
        for (const Category& category : categories) {
            if (category.isDefault)
                continue;
            contents.categories[category.id] = {category.name, category.colorHex, category.order};
            std::map<PersistentId, QUuid> ids;
            const QList<ClipboardItem> pinned = context.items(category).value();
            for (const ClipboardItem& item : pinned)
                ids[item.persistentId()] = item.id;
            const auto pins = context.pins(category.persistentId()).value();
            for (const PinOrder::Pin& pin : pins)
                contents.pins[{ids.at(pin.key.id), category.id}] =
                    pin.positioned ? std::optional(pin.key.timestamp) : std::nullopt;
        }
        return contents;
    }
    friend bool operator==(const StoreContents&, const StoreContents&) = default;
};

} // namespace brivet::test
