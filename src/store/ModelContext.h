#pragma once

#include "store/Category.h"
#include "store/ClipboardItem.h"

#include <QList>
#include <QObject>
#include <QUuid>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brivet {

class Database;
namespace PinOrder {
struct Pin;
}

// Which items a fetch returns. Built only through the named constructors, so that the
// store alone knows how records are kept.
class ItemPredicate
{
public:
    static ItemPredicate all();
    // Items pinned to the category.
    static ItemPredicate inCategory(const Category& category);
    // Items pinned to any category.
    static ItemPredicate pinned();
    // Items whose text, link, file name or source application contains the text
    // (case-insensitive).
    static ItemPredicate matching(const QString& text);
    // The one record with this persistent identity.
    static ItemPredicate persistentId(PersistentId id);
    // The one record with this id.
    static ItemPredicate id(const QUuid& id);
    ItemPredicate operator&&(const ItemPredicate& other) const;

private:
    friend class ModelContext;
    QString m_sql = QStringLiteral("1");
    // The same test for a store whose search index is still being made (empty: m_sql).
    QString m_unindexedSql;
    QVariantList m_arguments;
    bool m_searchesText = false; // reads the search index
};

class CategoryPredicate
{
public:
    static CategoryPredicate all();
    static CategoryPredicate isDefault(bool value);

private:
    friend class ModelContext;
    QString m_sql = QStringLiteral("1");
    QVariantList m_arguments;
};

struct ItemFetch
{
    enum class Order
    {
        NewestFirst,
        OldestFirst
    };
    ItemPredicate predicate = ItemPredicate::all();
    Order order = Order::NewestFirst; // by timestamp
    std::optional<int> limit;
};

struct CategoryFetch
{
    CategoryPredicate predicate = CategoryPredicate::all();
    std::optional<int> limit; // always sorted by order, ascending
};

// Where a record stands in the history's order: newest timestamp first, ties broken by the
// later insert first.
struct ItemKey
{
    qint64 timestamp; // ms since the epoch, UTC
    PersistentId id;
    friend bool operator==(const ItemKey&, const ItemKey&) = default;
    // True when a comes before b in the history's order.
    static bool newerFirst(const ItemKey& a, const ItemKey& b)
    {
        return a.timestamp != b.timestamp ? a.timestamp > b.timestamp : a.id > b.id;
    }
};

// What changed in a context, for live views. Notices are sent when the change is saved, in
// the order the changes were made, so that a view that reads through another connection
// finds what the notice says; RolledBack tells that unsaved changes were discarded and that
// everything a view derived from them may be wrong.
struct ModelChange
{
    enum class Entity
    {
        Item,
        Category,
        Link
    };
    enum class Kind
    {
        Inserted,
        Updated,
        Deleted,
        RolledBack
    };
    Entity entity;
    Kind kind;
    PersistentId id; // the item or category (for links: the item); 0 for RolledBack
    // Inserted or updated items: the timestamp the record now has; deleted ones: the one it
    // had, when known.
    std::optional<QDateTime> timestamp = std::nullopt;
    // Links: the category the item was pinned to or unpinned from.
    PersistentId category = 0;
};

// The main context: the one place records are inserted, changed, deleted, fetched and saved.
// Changes apply at once, so fetches see them, and become durable on save(). A save that fails
// keeps every change pending; the next save writes them again.
class ModelContext : public QObject
{
    Q_OBJECT
public:
    // A change as it is written to the database: nullopt on success, else the reason.
    using Operation = std::function<std::optional<QString>(Database&)>;

    ~ModelContext() override;

    void insert(ClipboardItem& item);
    void insert(Category& category);
    // Writes the record's fields (not its byte buffers) back to the store.
    void update(const ClipboardItem& item);
    void update(const Category& category);
    // Deletes the record; its links to the other side go with it (nullify on both ends).
    void remove(const ClipboardItem& item);
    void remove(const Category& category);

    // Pins the item to the category, in front of the category's other pins (see PinOrder); a
    // pin that exists stays where it is.
    void link(const ClipboardItem& item, const Category& category);
    // Pins the item at this position in the category's order (std::nullopt: none, the record's
    // timestamp places it), or moves its pin there.
    void link(const ClipboardItem& item, const Category& category, std::optional<qint64> position);
    void unlink(const ClipboardItem& item, const Category& category);

    // std::nullopt when the fetch failed.
    std::optional<QList<ClipboardItem>> fetch(const ItemFetch& descriptor) const;
    std::optional<QList<Category>> fetch(const CategoryFetch& descriptor) const;
    std::optional<qint64> count(const ItemPredicate& predicate) const;
    // Where the records of a fetch stand, in the fetch's order, without loading them.
    std::optional<std::vector<ItemKey>> keys(const ItemFetch& descriptor) const;
    // A record as a list shows it: textContent cut to its first prefixLength characters,
    // byte buffers unloaded (their sizes known). std::nullopt when there is no such record.
    std::optional<ClipboardItem> summary(PersistentId id, int prefixLength) const;
    // Both ends of the many-to-many relationship, categories by order.
    std::optional<QList<Category>> categories(const ClipboardItem& item) const;
    std::optional<QList<ClipboardItem>> items(const Category& category) const;
    // Whether the item is pinned to the category, and at which position; std::nullopt when
    // the read failed.
    struct PinState
    {
        bool pinned = false;
        std::optional<qint64> position;
    };
    std::optional<PinState> pinState(PersistentId item, PersistentId category) const;
    // The category's pins in the category's order (PinOrder), at most limit of them.
    std::optional<std::vector<PinOrder::Pin>> pins(PersistentId category,
                                                   std::optional<int> limit = {}) const;

    // The store's file, and a context of its own over a read-only connection to it for one
    // worker thread (open, use and destroy it there), which sees what the main context saved;
    // nullptr when the store cannot be opened.
    QString storePath() const;
    static std::unique_ptr<ModelContext>
    openReader(const QString& storePath, const QString& externalDataDirectory, QString* error);

    // Where file contents are kept; a capture may stage them there (see ExternalData).
    QString externalDataDirectory() const { return m_externalDataDir; }

    bool hasChanges() const;
    // Makes every pending change durable and sends their notices. On failure the changes stay
    // pending and their notices wait for the save that succeeds.
    [[nodiscard]] bool save();
    // Discards every pending change and sends a RolledBack notice.
    void rollback();
    // Changes are saved at the next turn of the event loop when nobody saves them before
    // (on by default, as the main context of the program wants it).
    void setAutosaveEnabled(bool enabled) { m_autosaveEnabled = enabled; }
    QString lastError() const { return m_lastError; }

signals:
    void changed(const brivet::ModelChange& change);

private:
    friend class ModelContainer;
    ModelContext(std::shared_ptr<Database> database, QString externalDataDir);

    void apply(Operation operation, const ModelChange& change);
    void scheduleAutosave();
    std::optional<QString> run(const Operation& operation);
    // Brings the search index up to date with the changes written so far.
    std::optional<QString> catchUpSearchIndex() const;
    // False when a fetch must give up: the index could not be caught up for its predicate.
    bool prepareFor(const ItemPredicate& predicate) const;
    // The predicate's SQL for the search index as it is now.
    QString sqlOf(const ItemPredicate& predicate) const;
    bool beginIfNeeded();
    bool replayPending();
    QString externalDataPath(PersistentId id) const;
    ClipboardItem itemFromRow(class Statement& row) const;
    Category categoryFromRow(class Statement& row) const;

    std::shared_ptr<Database> m_database;
    QString m_externalDataDir;
    std::vector<Operation> m_pending;
    std::vector<ModelChange> m_unsentNotices;
    bool m_autosaveEnabled = true;
    bool m_autosaveScheduled = false;
    std::vector<QString> m_filesToRemoveOnSave;
    bool m_needsReplay = false;
    // Records were written since the search index was last caught up. The index is caught
    // up once per save (and before a search), not after every change: writing the full-text
    // index inside a transaction that goes on makes it flush a segment at every later
    // statement, which made each insert into a large history cost a segment write and merge.
    mutable bool m_searchIndexBehind = false;
    mutable bool m_searchIndexComplete = false;
    PersistentId m_nextItemId = 1;
    PersistentId m_nextCategoryId = 1;
    QString m_lastError;
};

} // namespace brivet

Q_DECLARE_METATYPE(brivet::ModelChange)
