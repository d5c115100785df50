#include "store/ModelContext.h"

#include "store/Database.h"
#include "store/ExternalData.h"
#include "store/PinOrder.h"
#include "store/SearchIndex.h"
#include "store/StoreLogging.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace brivet {
namespace {

const char* const itemColumns =
    "pk, id, contentType, urlString, filePath, fileName, timestamp, sourceAppName, "
    "sourceAppBundleID, characterCount, imageDataSize, thumbnailDataSize, fileDataSize, "
    "textContent, (SELECT group_concat(length(data) || ' ' || mimeType, char(10)) "
    "FROM ClipboardItemRepresentation WHERE item = ClipboardItem.pk)";
const char* const categoryColumns = "pk, id, name, colorHex, \"order\", isDefault";

std::optional<qint64> sizeOf(const std::optional<Blob>& blob)
{
    return blob ? std::optional<qint64>(blob->size()) : std::nullopt;
}

Statement& bindOptionalInt(Statement& statement, int index, std::optional<qint64> value)
{
    return value ? statement.bind(index, *value) : statement.bindNull(index);
}

// Puts a record's file contents in place: a staged file is moved there (and may already have
// been, when a failed save writes its changes again), other contents are written.
std::optional<QString> writeFileData(const Blob& blob, const QString& path)
{
    if (!ExternalData::isStaged(blob))
        return ExternalData::writePrivateFile(path, blob.data());
    const QByteArray staged = QFile::encodeName(blob.file());
    if (::rename(staged.constData(), QFile::encodeName(path).constData()) == 0 ||
        (errno == ENOENT && QFile::exists(path)))
        return std::nullopt;
    return QStringLiteral("cannot move %1 to %2: %3")
        .arg(blob.file(), path, qt_error_string(errno));
}

// The stored fields of an item that an insert and an update both write, as parameters 1 to 10.
Statement& bindItemFields(Statement& statement, const ClipboardItem& item)
{
    return statement.bind(1, item.id.toString(QUuid::WithoutBraces))
        .bind(2, item.contentType)
        .bind(3, item.urlString)
        .bind(4, item.filePath)
        .bind(5, item.fileName)
        .bind(6, item.timestamp.toMSecsSinceEpoch())
        .bind(7, item.sourceAppName)
        .bind(8, item.sourceAppBundleID)
        .bind(9, item.characterCount)
        .bind(10, item.textContent);
}

std::optional<QString> sqlResult(Database& database, bool ok)
{
    return ok ? std::nullopt : std::optional<QString>(database.lastError());
}

void bindAll(Statement& statement, const QVariantList& arguments, int first)
{
    for (int i = 0; i < arguments.size(); ++i)
        statement.bind(first + i, arguments.at(i));
}

// The rows of a query, each made into a record; std::nullopt when the query fails.
template <typename Record, typename FromRow>
std::optional<QList<Record>> collectRows(Database& database, const QString& sql,
                                         const QVariantList& arguments, FromRow fromRow)
{
    Statement* query = database.prepare(sql.toStdString());
    if (!query)
        return std::nullopt;
    bindAll(*query, arguments, 1);
    QList<Record> records;
    while (query->step())
        records.append(fromRow(*query));
    if (query->failed())
        return std::nullopt;
    return records;
}

// Runs one statement with its parameters.
ModelContext::Operation runStatement(const char* sql, QVariantList arguments)
{
    return [sql, arguments = std::move(arguments)](Database& db) -> std::optional<QString> {
        Statement* statement = db.prepare(sql);
        if (!statement)
            return db.lastError();
        bindAll(*statement, arguments, 1);
        return sqlResult(db, statement->exec());
    };
}

// Writes a category's fields as parameters 1 to 5 and its identity as parameter 6.
ModelContext::Operation writeCategory(const Category& category, const char* sql)
{
    const Category record = category;
    return [record, sql](Database& db) -> std::optional<QString> {
        Statement* write = db.prepare(sql);
        return sqlResult(db, write && write->bind(1, record.id.toString(QUuid::WithoutBraces))
                                          .bind(2, record.name)
                                          .bind(3, record.colorHex)
                                          .bind(4, record.order)
                                          .bind(5, qint64(record.isDefault ? 1 : 0))
                                          .bind(6, record.persistentId())
                                          .exec());
    };
}

} // namespace

ItemPredicate ItemPredicate::all()
{
    ItemPredicate predicate;
    predicate.m_sql = QStringLiteral("1");
    return predicate;
}

ItemPredicate ItemPredicate::inCategory(const Category& category)
{
    ItemPredicate predicate;
    predicate.m_sql =
        QStringLiteral("pk IN (SELECT item FROM ClipboardItemCategory WHERE category = ?)");
    predicate.m_arguments = {category.persistentId()};
    return predicate;
}

ItemPredicate ItemPredicate::pinned()
{
    ItemPredicate predicate;
    predicate.m_sql = QStringLiteral("pk IN (SELECT item FROM ClipboardItemCategory)");
    return predicate;
}

ItemPredicate ItemPredicate::matching(const QString& text)
{
    const QString needle = SearchIndex::fold(text);
    const SearchIndex::Condition condition = SearchIndex::condition(needle);
    ItemPredicate predicate;
    predicate.m_sql = condition.sql;
    predicate.m_unindexedSql = SearchIndex::condition(needle, false, /*indexed=*/false).sql;
    predicate.m_arguments = {condition.argument};
    predicate.m_searchesText = true;
    return predicate;
}

ItemPredicate ItemPredicate::persistentId(PersistentId id)
{
    ItemPredicate predicate;
    predicate.m_sql = QStringLiteral("pk = ?");
    predicate.m_arguments = {id};
    return predicate;
}

ItemPredicate ItemPredicate::id(const QUuid& id)
{
    ItemPredicate predicate;
    predicate.m_sql = QStringLiteral("id = ?");
    predicate.m_arguments = {id.toString(QUuid::WithoutBraces)};
    return predicate;
}

ItemPredicate ItemPredicate::operator&&(const ItemPredicate& other) const
{
    // Numbered parameters of the right side move past those of the left side.
    auto shifted = [&](QString right) {
        for (qsizetype i = other.m_arguments.size(); i >= 1; --i)
            right.replace(QStringLiteral("?%1").arg(i),
                          QStringLiteral("?%1").arg(i + m_arguments.size()));
        return right;
    };
    ItemPredicate combined;
    combined.m_sql = QStringLiteral("(%1) AND (%2)").arg(m_sql, shifted(other.m_sql));
    if (!m_unindexedSql.isEmpty() || !other.m_unindexedSql.isEmpty())
        combined.m_unindexedSql =
            QStringLiteral("(%1) AND (%2)")
                .arg(m_unindexedSql.isEmpty() ? m_sql : m_unindexedSql,
                     shifted(other.m_unindexedSql.isEmpty() ? other.m_sql : other.m_unindexedSql));
    combined.m_arguments = m_arguments + other.m_arguments;
    combined.m_searchesText = m_searchesText || other.m_searchesText;
    return combined;
}

CategoryPredicate CategoryPredicate::all()
{
    CategoryPredicate predicate;
    predicate.m_sql = QStringLiteral("1");
    return predicate;
}

CategoryPredicate CategoryPredicate::isDefault(bool value)
{
    CategoryPredicate predicate;
    predicate.m_sql = QStringLiteral("isDefault = ?");
    predicate.m_arguments = {value ? 1 : 0};
    return predicate;
}

ModelContext::ModelContext(std::shared_ptr<Database> database, QString externalDataDir)
    : m_database(std::move(database)), m_externalDataDir(std::move(externalDataDir))
{
    if (Statement* next = m_database->prepare("SELECT coalesce(max(pk), 0) + 1 FROM ClipboardItem");
        next && next->step()) {
        m_nextItemId = next->int64(0);
        next->finish();
    }
    if (Statement* next = m_database->prepare("SELECT coalesce(max(pk), 0) + 1 FROM Category");
        next && next->step()) {
        m_nextCategoryId = next->int64(0);
        next->finish();
    }
}

QString ModelContext::storePath() const
{
    return m_database->path();
}

std::unique_ptr<ModelContext> ModelContext::openReader(const QString& storePath,
                                                       const QString& externalDataDirectory,
                                                       QString* error)
{
    std::shared_ptr<Database> database = Database::openReadOnly(storePath, error);
    if (!database)
        return nullptr;
    if (!SearchIndex::addFunctions(*database)) {
        *error = database->lastError();
        return nullptr;
    }
    return std::unique_ptr<ModelContext>(
        new ModelContext(std::move(database), externalDataDirectory));
}

ModelContext::~ModelContext()
{
    // Unsaved changes are discarded, as they would be if the process ended here.
    if (m_database->inTransaction() && !m_database->exec("ROLLBACK"))
        qCWarning(lcStore) << "rollback failed:" << m_database->lastError();
}

QString ModelContext::externalDataPath(PersistentId id) const
{
    return m_externalDataDir + QLatin1Char('/') + QString::number(id);
}

bool ModelContext::beginIfNeeded()
{
    return m_database->inTransaction() || m_database->exec("BEGIN IMMEDIATE");
}

void ModelContext::apply(Operation operation, const ModelChange& change)
{
    m_pending.push_back(std::move(operation));
    std::optional<QString> error;
    if (!m_needsReplay && !beginIfNeeded())
        error = m_database->lastError();
    else if (!m_needsReplay)
        error = run(m_pending.back());
    if (error) {
        m_lastError = *error;
        qCWarning(lcStore) << "change could not be written yet:" << m_lastError;
        m_needsReplay = true;
    }
    m_unsentNotices.push_back(change);
    scheduleAutosave();
}

std::optional<QString> ModelContext::run(const Operation& operation)
{
    m_searchIndexBehind = true;
    return operation(*m_database);
}

std::optional<QString> ModelContext::catchUpSearchIndex() const
{
    if (!m_searchIndexBehind)
        return std::nullopt;
    if (auto error = SearchIndex::drain(*m_database))
        return error;
    m_searchIndexBehind = false;
    return std::nullopt;
}

bool ModelContext::prepareFor(const ItemPredicate& predicate) const
{
    if (!predicate.m_searchesText || m_needsReplay)
        return true;
    if (auto error = catchUpSearchIndex()) {
        qCWarning(lcStore) << "cannot bring the search index up to date:" << *error;
        return false;
    }
    return true;
}

QString ModelContext::sqlOf(const ItemPredicate& predicate) const
{
    if (predicate.m_unindexedSql.isEmpty())
        return predicate.m_sql;
    // Once complete, the index stays complete.
    m_searchIndexComplete = m_searchIndexComplete || SearchIndex::isReady(*m_database);
    return m_searchIndexComplete ? predicate.m_sql : predicate.m_unindexedSql;
}

void ModelContext::scheduleAutosave()
{
    if (!m_autosaveEnabled || m_autosaveScheduled)
        return;
    m_autosaveScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_autosaveScheduled = false;
        if (hasChanges() && !save())
            qCDebug(lcStore) << "autosave failed, changes kept:" << m_lastError;
    });
}

void ModelContext::rollback()
{
    if (m_database->inTransaction() && !m_database->exec("ROLLBACK"))
        qCWarning(lcStore) << "rollback failed:" << m_database->lastError();
    m_pending.clear();
    m_unsentNotices.clear();
    m_filesToRemoveOnSave.clear();
    m_needsReplay = false;
    m_searchIndexBehind = false;
    emit changed({ModelChange::Entity::Item, ModelChange::Kind::RolledBack, 0});
}

bool ModelContext::replayPending()
{
    if (m_database->inTransaction() && !m_database->exec("ROLLBACK"))
        return false;
    if (!m_database->exec("BEGIN IMMEDIATE")) {
        m_lastError = m_database->lastError();
        return false;
    }
    for (const Operation& operation : m_pending) {
        if (auto error = run(operation)) {
            m_lastError = *error;
            if (!m_database->exec("ROLLBACK"))
                qCWarning(lcStore) << "rollback failed:" << m_database->lastError();
            return false;
        }
    }
    m_needsReplay = false;
    return true;
}

bool ModelContext::hasChanges() const
{
    return !m_pending.empty();
}

bool ModelContext::save()
{
    if (m_pending.empty())
        return true;
    if (m_needsReplay && !replayPending()) {
        m_needsReplay = true;
        qCWarning(lcStore) << "save failed, changes kept:" << m_lastError;
        return false;
    }
    if (auto error = catchUpSearchIndex()) {
        m_lastError = *error;
        qCWarning(lcStore) << "save failed, changes kept:" << m_lastError;
        return false;
    }
    if (!m_database->exec("COMMIT")) {
        m_lastError = m_database->lastError();
        qCWarning(lcStore) << "save failed, changes kept:" << m_lastError;
        // A failed commit may have rolled everything back; write it again so that fetches
        // keep seeing the pending changes.
        if (!m_database->inTransaction() && !replayPending())
            m_needsReplay = true;
        return false;
    }
    m_pending.clear();
    for (const QString& path : std::exchange(m_filesToRemoveOnSave, {}))
        QFile::remove(path);
    m_lastError.clear();
    // A receiver may change the context again; those changes get notices of their own.
    for (const ModelChange& change : std::exchange(m_unsentNotices, {}))
        emit changed(change);
    return true;
}

void ModelContext::insert(ClipboardItem& item)
{
    if (item.m_persistentId != 0)
        return;
    item.m_persistentId = m_nextItemId++;
    const ClipboardItem record = item;
    const QString externalPath = externalDataPath(record.m_persistentId);
    if (item.fileData && ExternalData::isStaged(*item.fileData))
        item.fileData = Blob::fromFile(externalPath, item.fileData->size());
    apply(
        [record, externalPath](Database& db) -> std::optional<QString> {
            Statement* insert = db.prepare(
                "INSERT INTO ClipboardItem(id, contentType, urlString, filePath, fileName, "
                "timestamp, sourceAppName, sourceAppBundleID, characterCount, textContent, pk, "
                "imageDataSize, thumbnailDataSize, fileDataSize) "
                "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
            if (!insert)
                return db.lastError();
            bindItemFields(*insert, record).bind(11, record.m_persistentId);
            bindOptionalInt(*insert, 12, sizeOf(record.imageData));
            bindOptionalInt(*insert, 13, sizeOf(record.thumbnailData));
            bindOptionalInt(*insert, 14, sizeOf(record.fileData));
            if (!insert->exec())
                return db.lastError();

            if (record.imageData || record.thumbnailData) {
                Statement* data = db.prepare("INSERT INTO ClipboardItemData(item, imageData, "
                                             "thumbnailData) VALUES(?, ?, ?)");
                if (!data)
                    return db.lastError();
                data->bind(1, record.m_persistentId);
                record.imageData ? data->bindBlob(2, record.imageData->data()) : data->bindNull(2);
                record.thumbnailData ? data->bindBlob(3, record.thumbnailData->data())
                                     : data->bindNull(3);
                if (!data->exec())
                    return db.lastError();
            }
            for (auto it = record.representations.constBegin();
                 it != record.representations.constEnd(); ++it) {
                Statement* form = db.prepare("INSERT INTO ClipboardItemRepresentation(item, "
                                             "mimeType, data) VALUES(?, ?, ?)");
                if (!form || !form->bind(1, record.m_persistentId)
                                  .bind(2, it.key())
                                  .bindBlob(3, it.value().data())
                                  .exec())
                    return db.lastError();
            }
            if (record.fileData) {
                if (auto error = writeFileData(*record.fileData, externalPath))
                    return error;
            }
            return std::nullopt;
        },
        {ModelChange::Entity::Item, ModelChange::Kind::Inserted, record.m_persistentId,
         record.timestamp});
}

void ModelContext::insert(Category& category)
{
    if (category.m_persistentId != 0)
        return;
    category.m_persistentId = m_nextCategoryId++;
    apply(writeCategory(category, "INSERT INTO Category(id, name, colorHex, \"order\", isDefault, "
                                  "pk) VALUES(?, ?, ?, ?, ?, ?)"),
          {ModelChange::Entity::Category, ModelChange::Kind::Inserted, category.m_persistentId});
}

void ModelContext::update(const ClipboardItem& item)
{
    if (item.m_persistentId == 0)
        return;
    const ClipboardItem record = item;
    apply(
        [record](Database& db) -> std::optional<QString> {
            Statement* update = db.prepare(
                "UPDATE ClipboardItem SET id = ?, contentType = ?, urlString = ?, filePath = ?, "
                "fileName = ?, timestamp = ?, sourceAppName = ?, sourceAppBundleID = ?, "
                "characterCount = ?, textContent = ? WHERE pk = ?");
            return sqlResult(
                db,
                update && bindItemFields(*update, record).bind(11, record.m_persistentId).exec());
        },
        {ModelChange::Entity::Item, ModelChange::Kind::Updated, record.m_persistentId,
         record.timestamp});
}

void ModelContext::update(const Category& category)
{
    if (category.m_persistentId == 0)
        return;
    apply(writeCategory(category, "UPDATE Category SET id = ?, name = ?, colorHex = ?, "
                                  "\"order\" = ?, isDefault = ? WHERE pk = ?"),
          {ModelChange::Entity::Category, ModelChange::Kind::Updated, category.m_persistentId});
}

void ModelContext::remove(const ClipboardItem& item)
{
    const PersistentId id = item.m_persistentId;
    if (id == 0)
        return;
    if (item.fileData)
        m_filesToRemoveOnSave.push_back(externalDataPath(id));
    apply(runStatement("DELETE FROM ClipboardItem WHERE pk = ?", {id}),
          {ModelChange::Entity::Item, ModelChange::Kind::Deleted, id, item.timestamp});
}

void ModelContext::remove(const Category& category)
{
    const PersistentId id = category.m_persistentId;
    if (id == 0)
        return;
    apply(runStatement("DELETE FROM Category WHERE pk = ?", {id}),
          {ModelChange::Entity::Category, ModelChange::Kind::Deleted, id});
}

void ModelContext::link(const ClipboardItem& item, const Category& category)
{
    const PersistentId itemId = item.m_persistentId;
    const PersistentId categoryId = category.m_persistentId;
    if (itemId == 0 || categoryId == 0)
        return;
    // The moment of the pin, or just in front of the first pin when that is later (a clock
    // that went back, positions synced from a device whose clock is ahead).
    apply(
        runStatement(
            "INSERT OR IGNORE INTO ClipboardItemCategory(item, category, position) "
            "VALUES(?1, ?2, max(?3, 1 + coalesce((SELECT max(coalesce(l.position, i.timestamp)) "
            "FROM ClipboardItemCategory l JOIN ClipboardItem i ON i.pk = l.item "
            "WHERE l.category = ?2), 0)))",
            {itemId, categoryId, QDateTime::currentMSecsSinceEpoch()}),
        {ModelChange::Entity::Link, ModelChange::Kind::Inserted, itemId, std::nullopt, categoryId});
}

void ModelContext::link(const ClipboardItem& item, const Category& category,
                        std::optional<qint64> position)
{
    const PersistentId itemId = item.m_persistentId;
    const PersistentId categoryId = category.m_persistentId;
    if (itemId == 0 || categoryId == 0)
        return;
    apply(
        runStatement("INSERT INTO ClipboardItemCategory(item, category, position) "
                     "VALUES(?1, ?2, ?3) ON CONFLICT(item, category) "
                     "DO UPDATE SET position = excluded.position",
                     {itemId, categoryId, position ? QVariant(*position) : QVariant()}),
        {ModelChange::Entity::Link, ModelChange::Kind::Updated, itemId, std::nullopt, categoryId});
}

void ModelContext::unlink(const ClipboardItem& item, const Category& category)
{
    const PersistentId itemId = item.m_persistentId;
    const PersistentId categoryId = category.m_persistentId;
    if (itemId == 0 || categoryId == 0)
        return;
    apply(
        runStatement("DELETE FROM ClipboardItemCategory WHERE item = ? AND category = ?",
                     {itemId, categoryId}),
        {ModelChange::Entity::Link, ModelChange::Kind::Deleted, itemId, std::nullopt, categoryId});
}

ClipboardItem ModelContext::itemFromRow(Statement& row) const
{
    ClipboardItem item;
    const PersistentId id = row.int64(0);
    item.m_persistentId = id;
    item.id = QUuid::fromString(row.text(1));
    item.contentType = row.text(2);
    item.urlString = row.optionalText(3);
    item.filePath = row.optionalText(4);
    item.fileName = row.optionalText(5);
    item.timestamp = QDateTime::fromMSecsSinceEpoch(row.int64(6), Qt::UTC);
    item.sourceAppName = row.optionalText(7);
    item.sourceAppBundleID = row.optionalText(8);
    item.characterCount = row.int64(9);
    item.textContent = row.optionalText(13);

    const std::weak_ptr<Database> database = m_database;
    auto columnLoader = [database, id](const char* sql) {
        return [database, id, sql]() -> QByteArray {
            auto db = database.lock();
            Statement* read = db ? db->prepare(sql) : nullptr;
            if (!read || !read->bind(1, id).step())
                return {};
            QByteArray bytes = read->blob(0);
            read->finish();
            return bytes;
        };
    };
    if (auto size = row.optionalInt64(10))
        item.imageData =
            Blob(*size, columnLoader("SELECT imageData FROM ClipboardItemData WHERE item = ?"));
    if (auto size = row.optionalInt64(11))
        item.thumbnailData =
            Blob(*size, columnLoader("SELECT thumbnailData FROM ClipboardItemData WHERE item = ?"));
    if (auto size = row.optionalInt64(12)) {
        const QString path = externalDataPath(id);
        item.fileData = Blob(*size, [path]() -> QByteArray {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        });
    }
    // "size mimeType" lines, in the full projection only.
    const QString forms = row.columnCount() > 14 ? row.text(14) : QString();
    for (QStringView line : QStringView(forms).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        const QString mimeType = line.sliced(space + 1).toString();
        item.representations.insert(
            mimeType,
            Blob(line.first(space).toLongLong(), [database, id, mimeType]() -> QByteArray {
                auto db = database.lock();
                Statement* read = db ? db->prepare("SELECT data FROM ClipboardItemRepresentation "
                                                   "WHERE item = ? AND mimeType = ?")
                                     : nullptr;
                if (!read || !read->bind(1, id).bind(2, mimeType).step())
                    return {};
                QByteArray bytes = read->blob(0);
                read->finish();
                return bytes;
            }));
    }
    return item;
}

Category ModelContext::categoryFromRow(Statement& row) const
{
    Category category;
    category.m_persistentId = row.int64(0);
    category.id = QUuid::fromString(row.text(1));
    category.name = row.text(2);
    category.colorHex = row.text(3);
    category.order = row.int64(4);
    category.isDefault = row.int64(5) != 0;
    return category;
}

std::optional<QList<ClipboardItem>> ModelContext::fetch(const ItemFetch& descriptor) const
{
    if (!prepareFor(descriptor.predicate))
        return std::nullopt;
    QString sql =
        QStringLiteral("SELECT %1 FROM ClipboardItem WHERE %2 ORDER BY timestamp %3, pk %3")
            .arg(QLatin1String(itemColumns), sqlOf(descriptor.predicate),
                 descriptor.order == ItemFetch::Order::NewestFirst ? QLatin1String("DESC")
                                                                   : QLatin1String("ASC"));
    if (descriptor.limit)
        sql += QStringLiteral(" LIMIT %1").arg(*descriptor.limit);
    return collectRows<ClipboardItem>(*m_database, sql, descriptor.predicate.m_arguments,
                                      [this](Statement& row) { return itemFromRow(row); });
}

std::optional<QList<Category>> ModelContext::fetch(const CategoryFetch& descriptor) const
{
    QString sql = QStringLiteral("SELECT %1 FROM Category WHERE %2 ORDER BY \"order\", pk")
                      .arg(QLatin1String(categoryColumns), descriptor.predicate.m_sql);
    if (descriptor.limit)
        sql += QStringLiteral(" LIMIT %1").arg(*descriptor.limit);
    return collectRows<Category>(*m_database, sql, descriptor.predicate.m_arguments,
                                 [this](Statement& row) { return categoryFromRow(row); });
}

std::optional<qint64> ModelContext::count(const ItemPredicate& predicate) const
{
    if (!prepareFor(predicate))
        return std::nullopt;
    const QString sql =
        QStringLiteral("SELECT count(*) FROM ClipboardItem WHERE %1").arg(sqlOf(predicate));
    Statement* query = m_database->prepare(sql.toStdString());
    if (!query)
        return std::nullopt;
    bindAll(*query, predicate.m_arguments, 1);
    if (!query->step())
        return std::nullopt;
    const qint64 result = query->int64(0);
    query->finish();
    return result;
}

std::optional<std::vector<ItemKey>> ModelContext::keys(const ItemFetch& descriptor) const
{
    if (!prepareFor(descriptor.predicate))
        return std::nullopt;
    QString sql =
        QStringLiteral("SELECT timestamp, pk FROM ClipboardItem WHERE %1 "
                       "ORDER BY timestamp %2, pk %2")
            .arg(sqlOf(descriptor.predicate), descriptor.order == ItemFetch::Order::NewestFirst
                                                  ? QLatin1String("DESC")
                                                  : QLatin1String("ASC"));
    if (descriptor.limit)
        sql += QStringLiteral(" LIMIT %1").arg(*descriptor.limit);
    Statement* query = m_database->prepare(sql.toStdString());
    if (!query)
        return std::nullopt;
    bindAll(*query, descriptor.predicate.m_arguments, 1);
    std::vector<ItemKey> keys;
    while (query->step())
        keys.push_back({query->int64(0), query->int64(1)});
    if (query->failed())
        return std::nullopt;
    return keys;
}

std::optional<ClipboardItem> ModelContext::summary(PersistentId id, int prefixLength) const
{
    const std::string sql = "SELECT pk, id, contentType, urlString, filePath, fileName, timestamp, "
                            "sourceAppName, sourceAppBundleID, characterCount, imageDataSize, "
                            "thumbnailDataSize, fileDataSize, substr(textContent, 1, " +
                            std::to_string(std::max(prefixLength, 0)) +
                            ") FROM ClipboardItem WHERE pk = ?";
    Statement* query = m_database->prepare(sql);
    if (!query || !query->bind(1, id).step())
        return std::nullopt;
    ClipboardItem item = itemFromRow(*query);
    query->finish();
    return item;
}

std::optional<QList<Category>> ModelContext::categories(const ClipboardItem& item) const
{
    return collectRows<Category>(
        *m_database,
        QStringLiteral("SELECT c.pk, c.id, c.name, c.colorHex, c.\"order\", c.isDefault "
                       "FROM Category c JOIN ClipboardItemCategory l ON l.category = c.pk "
                       "WHERE l.item = ? ORDER BY c.\"order\", c.pk"),
        {item.m_persistentId}, [this](Statement& row) { return categoryFromRow(row); });
}

std::optional<QList<ClipboardItem>> ModelContext::items(const Category& category) const
{
    return fetch(ItemFetch{ItemPredicate::inCategory(category), ItemFetch::Order::NewestFirst, {}});
}

std::optional<ModelContext::PinState> ModelContext::pinState(PersistentId item,
                                                             PersistentId category) const
{
    Statement* query = m_database->prepare(
        "SELECT position FROM ClipboardItemCategory WHERE item = ? AND category = ?");
    if (!query || !query->bind(1, item).bind(2, category).step())
        return query && !query->failed() ? std::optional(PinState{}) : std::nullopt;
    PinState state{true, query->optionalInt64(0)};
    query->finish();
    return state;
}

std::optional<std::vector<PinOrder::Pin>> ModelContext::pins(PersistentId category,
                                                             std::optional<int> limit) const
{
    std::string sql = PinOrder::keysSql;
    if (limit)
        sql += " LIMIT " + std::to_string(*limit);
    Statement* query = m_database->prepare(sql);
    if (!query)
        return std::nullopt;
    query->bind(1, category);
    std::vector<PinOrder::Pin> pins;
    while (query->step())
        pins.push_back({{query->int64(0), query->int64(1)}, query->int64(2) != 0});
    if (query->failed())
        return std::nullopt;
    return pins;
}

} // namespace brivet
