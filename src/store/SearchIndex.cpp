#include "store/SearchIndex.h"

#include "store/Database.h"
#include "store/StoreLogging.h"

#include <sqlite3.h>

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
CREATE TABLE ClipboardItemSearchState(
    folding INTEGER NOT NULL,
    buildFrom INTEGER,
    buildTo INTEGER
);
)sql";

// The folding the index was made with; an index of another one is made again.
constexpr int kFolding = 2;

// Marks that only decorate a letter and that people leave out when they type: the
// combining diacritics of Latin, Greek and Cyrillic, Hebrew points and Arabic vowel marks.
// Marks that are letters of their script (Indic vowel signs, kana voicing marks) stay.
bool isOptionalMark(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0x0591 && c <= 0x05BD) || c == 0x05BF ||
           c == 0x05C1 || c == 0x05C2 || c == 0x05C4 || c == 0x05C5 || c == 0x05C7 ||
           (c >= 0x064B && c <= 0x065F) || c == 0x0670;
}

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
    const QString decomposed = text.toCaseFolded().normalized(QString::NormalizationForm_D);
    QString kept;
    kept.reserve(decomposed.size());
    for (const char32_t c : QStringView(decomposed).toUcs4()) {
        if (isOptionalMark(c))
            continue;
        if (QChar::requiresSurrogates(c)) {
            kept.append(QChar(QChar::highSurrogate(c)));
            kept.append(QChar(QChar::lowSurrogate(c)));
        } else {
            kept.append(QChar(char16_t(c)));
        }
    }
    // Case folding again: a letter freed of its mark may fold further (İ to i).
    return kept.normalized(QString::NormalizationForm_C).toCaseFolded();
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

namespace {

// Brings one record's entry up to date: the old one out, the record's folded fields in (none
// when the record is gone).
std::optional<QString> reindex(Database& database, PersistentId item)
{
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
    if (!current->bind(1, item).step())
        return current->failed() ? failure(database) : std::nullopt; // deleted
    std::optional<QString> folded[4];
    for (int i = 0; i < 4; ++i) {
        if (auto value = current->optionalText(i))
            folded[i] = fold(*value);
    }
    current->finish();
    for (const char* sql : {"INSERT INTO ClipboardItemFolded(item, textContent, urlString, "
                            "fileName, sourceAppName) VALUES(?, ?, ?, ?, ?)",
                            "INSERT INTO ClipboardItemSearch(rowid, textContent, urlString, "
                            "fileName, sourceAppName) VALUES(?, ?, ?, ?, ?)"}) {
        Statement* insert = database.prepare(sql);
        if (!execWithFields(insert, item, folded))
            return failure(database);
    }
    return std::nullopt;
}

std::optional<int> storedFolding(Database& database)
{
    if (!tableExists(database, "ClipboardItemSearchState"))
        return std::nullopt;
    Statement* query = database.prepare("SELECT folding FROM ClipboardItemSearchState");
    if (!query || !query->step())
        return std::nullopt;
    const int folding = int(query->int64(0));
    query->finish();
    return folding;
}

// brivet_match(needle, field...): whether one of the fields, folded, contains the folded
// needle; what the index answers, for records it does not hold yet.
void matchFunction(sqlite3_context* context, int count, sqlite3_value** values)
{
    auto textOf = [](sqlite3_value* value) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                 sqlite3_value_bytes(value));
    };
    const QString needle = textOf(values[0]);
    for (int i = 1; i < count; ++i) {
        if (sqlite3_value_type(values[i]) != SQLITE_NULL && fold(textOf(values[i])).contains(needle)) {
            sqlite3_result_int(context, 1);
            return;
        }
    }
    sqlite3_result_int(context, 0);
}

} // namespace

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
        if (auto error = reindex(database, item))
            return error;
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
        !tableExists(database, "ClipboardItemFolded") || storedFolding(database) != kFolding) {
        // Whatever part of an index is there is made again from the records; the records
        // there now are left to buildSome(), those written from now on to drain().
        if (!database.exec("DROP TABLE IF EXISTS ClipboardItemSearch;"
                           "DROP TABLE IF EXISTS ClipboardItemFolded;"
                           "DROP TABLE IF EXISTS ClipboardItemSearchState;") ||
            !database.exec(schemaSql))
            return fail();
        Statement* state = database.prepare(
            "INSERT INTO ClipboardItemSearchState(folding, buildFrom, buildTo) "
            "SELECT ?, min(pk), max(pk) FROM ClipboardItem");
        if (!state || !state->bind(1, qint64(kFolding)).exec() ||
            !database.exec("DELETE FROM ClipboardItemSearchPending WHERE item <= "
                           "(SELECT buildTo FROM ClipboardItemSearchState)"))
            return fail();
        if (!isReady(database))
            qCInfo(lcStore) << "the search index is made anew, in the background";
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

std::optional<QString> buildSome(Database& database, int records, bool* done)
{
    *done = false;
    if (!database.exec("BEGIN IMMEDIATE"))
        return failure(database);
    auto fail = [&database]() -> std::optional<QString> {
        const QString error = database.lastError();
        if (!database.exec("ROLLBACK"))
            qCWarning(lcStore) << "rollback failed:" << database.lastError();
        return error;
    };
    Statement* state =
        database.prepare("SELECT buildFrom, buildTo FROM ClipboardItemSearchState");
    if (!state || !state->step())
        return fail();
    const std::optional<qint64> from = state->optionalInt64(0);
    const qint64 to = state->optionalInt64(1).value_or(0);
    state->finish();
    std::vector<PersistentId> items;
    if (from) {
        Statement* next = database.prepare("SELECT pk FROM ClipboardItem WHERE pk >= ? AND "
                                           "pk <= ? ORDER BY pk LIMIT ?");
        if (!next)
            return fail();
        next->bind(1, *from).bind(2, to).bind(3, qint64(records));
        while (next->step())
            items.push_back(next->int64(0));
        if (next->failed())
            return fail();
    }
    for (const PersistentId item : items) {
        if (auto error = reindex(database, item)) {
            if (!database.exec("ROLLBACK"))
                qCWarning(lcStore) << "rollback failed:" << database.lastError();
            return error;
        }
    }
    *done = int(items.size()) < records || items.back() >= to;
    Statement* advance = database.prepare("UPDATE ClipboardItemSearchState SET buildFrom = ?");
    if (!advance)
        return fail();
    if (*done)
        advance->bindNull(1);
    else
        advance->bind(1, items.back() + 1);
    if (!advance->exec() || !database.exec("COMMIT"))
        return fail();
    return std::nullopt;
}

bool isReady(Database& database)
{
    Statement* query =
        database.prepare("SELECT buildFrom IS NULL AND folding = ? FROM ClipboardItemSearchState");
    if (!query)
        return false;
    const bool ready = query->bind(1, qint64(kFolding)).step() && query->int64(0) != 0;
    query->finish();
    return ready;
}

bool addFunctions(Database& database)
{
    return sqlite3_create_function_v2(database.handle(), "brivet_match", -1,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      &matchFunction, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Condition condition(const QString& foldedNeedle, bool scan, bool indexed, const QString& indexPart)
{
    Condition condition;
    condition.indexed = indexed;
    condition.argument = foldedNeedle;
    const auto foldedTests = [] {
        QStringList tests;
        for (const char* field : fields)
            tests << QStringLiteral("instr(ClipboardItemFolded.%1, ?1) > 0")
                         .arg(QLatin1String(field));
        return QLatin1Char('(') + tests.join(QLatin1String(" OR ")) + QLatin1Char(')');
    };
    // The needle as one phrase of the index's query syntax, quotes doubled.
    const auto phrase = [](int parameter) {
        return QStringLiteral("SELECT rowid AS item FROM ClipboardItemSearch WHERE "
                              "ClipboardItemSearch MATCH '\"' || replace(?%1, '\"', '\"\"') || '\"'")
            .arg(parameter);
    };
    if (!indexed) {
        condition.foldedTest = QStringLiteral(
            "brivet_match(?1, ClipboardItem.textContent, ClipboardItem.urlString, "
            "ClipboardItem.fileName, ClipboardItem.sourceAppName)");
        condition.items =
            QStringLiteral("SELECT pk AS item FROM ClipboardItem WHERE %1").arg(condition.foldedTest);
    } else if (!scan && foldedNeedle.toUcs4().size() >= 3) {
        // The trigram index finds three characters and more (code points, as it counts them).
        if (indexPart.toUcs4().size() >= 3 && indexPart != foldedNeedle &&
            foldedNeedle.contains(indexPart)) {
            condition.part = indexPart;
            condition.items = QStringLiteral("SELECT item FROM ClipboardItemFolded WHERE item IN "
                                             "(%1) AND %2")
                                  .arg(phrase(3), foldedTests());
        } else {
            condition.items = phrase(1);
        }
    } else {
        condition.foldedTest = foldedTests();
        condition.items = QStringLiteral("SELECT item FROM ClipboardItemFolded WHERE %1")
                              .arg(condition.foldedTest);
    }
    condition.sql = QStringLiteral("pk IN (%1)").arg(condition.items);
    return condition;
}

} // namespace brivet::SearchIndex
