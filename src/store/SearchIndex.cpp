#include "store/SearchIndex.h"

#include "store/Database.h"
#include "store/StoreLogging.h"

namespace brivet::SearchIndex {
namespace {

const char* const fields[] = {"textContent", "urlString", "fileName", "sourceAppName"};

// Updates of other fields (a promote changes only the timestamp) leave the index alone.
const char* const schemaSql = R"sql(
CREATE TABLE IF NOT EXISTS ClipboardItemSearchPending(item INTEGER PRIMARY KEY);
CREATE TABLE ClipboardItemFolded(
    item INTEGER PRIMARY KEY,
    textContent TEXT,
    urlString TEXT,
    fileName TEXT,
    sourceAppName TEXT
);
CREATE VIRTUAL TABLE ClipboardItemSearch USING fts5(
    textContent, urlString, fileName, sourceAppName,
    content = 'ClipboardItemFolded', content_rowid = 'item',
    tokenize = 'trigram case_sensitive 1'
);
CREATE TRIGGER IF NOT EXISTS ClipboardItem_searchInsert AFTER INSERT ON ClipboardItem BEGIN
    INSERT OR IGNORE INTO ClipboardItemSearchPending(item) VALUES(new.pk);
END;
CREATE TRIGGER IF NOT EXISTS ClipboardItem_searchUpdate AFTER UPDATE ON ClipboardItem
WHEN old.pk IS NOT new.pk OR old.textContent IS NOT new.textContent
    OR old.urlString IS NOT new.urlString OR old.fileName IS NOT new.fileName
    OR old.sourceAppName IS NOT new.sourceAppName BEGIN
    INSERT OR IGNORE INTO ClipboardItemSearchPending(item) VALUES(old.pk);
    INSERT OR IGNORE INTO ClipboardItemSearchPending(item) VALUES(new.pk);
END;
CREATE TRIGGER IF NOT EXISTS ClipboardItem_searchDelete AFTER DELETE ON ClipboardItem BEGIN
    INSERT OR IGNORE INTO ClipboardItemSearchPending(item) VALUES(old.pk);
END;
CREATE INDEX IF NOT EXISTS ClipboardItem_byId ON ClipboardItem(id);
)sql";

bool tableExists(Database& database, const char* name)
{
    Statement* query =
        database.prepare("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = ?");
    const bool exists =
        query && query->bind(1, QString::fromLatin1(name)).step() && query->int64(0) == 1;
    if (query)
        query->finish();
    return exists;
}

std::optional<QString> failure(Database& database)
{
    return database.lastError();
}

// Runs a statement whose parameters are the item and its four searched fields.
bool execWithFields(Statement* statement, PersistentId item,
                    const std::optional<QString> (&values)[4])
{
    return statement && statement->bind(1, item)
                            .bind(2, values[0])
                            .bind(3, values[1])
                            .bind(4, values[2])
                            .bind(5, values[3])
                            .exec();
}

} // namespace

QString fold(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C).toCaseFolded();
}

bool matches(const ClipboardItem& item, const QString& foldedNeedle)
{
    for (const auto* field :
         {&item.textContent, &item.urlString, &item.fileName, &item.sourceAppName}) {
        if (*field && fold(**field).contains(foldedNeedle))
            return true;
    }
    return false;
}

std::optional<QString> drain(Database& database)
{
    Statement* pending = database.prepare("SELECT item FROM ClipboardItemSearchPending");
    if (!pending)
        return failure(database);
    std::vector<PersistentId> items;
    while (pending->step())
        items.push_back(pending->int64(0));
    if (pending->failed())
        return failure(database);
    for (const PersistentId item : items) {
        Statement* old = database.prepare("SELECT textContent, urlString, fileName, "
                                          "sourceAppName FROM ClipboardItemFolded WHERE item = ?");
        if (!old)
            return failure(database);
        if (old->bind(1, item).step()) {
            std::optional<QString> values[4];
            for (int i = 0; i < 4; ++i)
                values[i] = old->optionalText(i);
            old->finish();
            Statement* remove = database.prepare(
                "INSERT INTO ClipboardItemSearch(ClipboardItemSearch, rowid, textContent, "
                "urlString, fileName, sourceAppName) VALUES('delete', ?, ?, ?, ?, ?)");
            if (!execWithFields(remove, item, values))
                return failure(database);
            Statement* forget = database.prepare("DELETE FROM ClipboardItemFolded WHERE item = ?");
            if (!forget || !forget->bind(1, item).exec())
                return failure(database);
        } else if (old->failed()) {
            return failure(database);
        }

        Statement* current = database.prepare("SELECT textContent, urlString, fileName, "
                                              "sourceAppName FROM ClipboardItem WHERE pk = ?");
        if (!current)
            return failure(database);
        if (!current->bind(1, item).step()) {
            if (current->failed())
                return failure(database);
            continue; // deleted
        }
        std::optional<QString> folded[4];
        for (int i = 0; i < 4; ++i) {
            if (auto value = current->optionalText(i))
                folded[i] = fold(*value);
        }
        current->finish();
        for (const char* sql :
             {"INSERT INTO ClipboardItemFolded(item, textContent, urlString, fileName, "
              "sourceAppName) VALUES(?, ?, ?, ?, ?)",
              "INSERT INTO ClipboardItemSearch(rowid, textContent, urlString, fileName, "
              "sourceAppName) VALUES(?, ?, ?, ?, ?)"}) {
            Statement* insert = database.prepare(sql);
            if (!execWithFields(insert, item, folded))
                return failure(database);
        }
    }
    if (!items.empty() && !database.exec("DELETE FROM ClipboardItemSearchPending"))
        return failure(database);
    return std::nullopt;
}

std::optional<QString> ensure(Database& database)
{
    if (!database.exec("BEGIN IMMEDIATE"))
        return failure(database);
    auto fail = [&database]() -> std::optional<QString> {
        const QString error = database.lastError();
        if (!database.exec("ROLLBACK"))
            qCWarning(lcStore) << "rollback failed:" << database.lastError();
        return error;
    };
    if (!tableExists(database, "ClipboardItemSearch") ||
        !tableExists(database, "ClipboardItemFolded")) {
        qCInfo(lcStore) << "building the search index";
        // Whatever part of an index is there is rebuilt from the records.
        if (!database.exec("DROP TABLE IF EXISTS ClipboardItemSearch;"
                           "DROP TABLE IF EXISTS ClipboardItemFolded;") ||
            !database.exec(schemaSql) ||
            !database.exec("INSERT OR IGNORE INTO ClipboardItemSearchPending(item) "
                           "SELECT pk FROM ClipboardItem"))
            return fail();
    }
    if (auto error = drain(database)) {
        if (!database.exec("ROLLBACK"))
            qCWarning(lcStore) << "rollback failed:" << database.lastError();
        return error;
    }
    if (!database.exec("COMMIT"))
        return fail();
    return std::nullopt;
}

Condition condition(const QString& foldedNeedle, bool scan)
{
    Condition condition;
    // The trigram index finds three characters and more (code points, as it counts them).
    if (!scan && foldedNeedle.toUcs4().size() >= 3) {
        QString phrase = foldedNeedle;
        phrase.replace(QLatin1Char('"'), QLatin1String("\"\""));
        condition.items = QStringLiteral("SELECT rowid AS item FROM ClipboardItemSearch "
                                         "WHERE ClipboardItemSearch MATCH ?1");
        condition.argument = QLatin1Char('"') + phrase + QLatin1Char('"');
    } else {
        QStringList tests;
        for (const char* field : fields)
            tests << QStringLiteral("instr(ClipboardItemFolded.%1, ?1) > 0")
                         .arg(QLatin1String(field));
        condition.foldedTest =
            QLatin1Char('(') + tests.join(QLatin1String(" OR ")) + QLatin1Char(')');
        condition.items = QStringLiteral("SELECT item FROM ClipboardItemFolded WHERE %1")
                              .arg(condition.foldedTest);
        condition.argument = foldedNeedle;
    }
    condition.sql = QStringLiteral("pk IN (%1)").arg(condition.items);
    return condition;
}

} // namespace brivet::SearchIndex
