#pragma once

#include "store/ClipboardItem.h"
#include "store/HistoryRows.h"
#include "store/HistorySearch.h"
#include "store/ModelContext.h"

#include <QAbstractListModel>
#include <QSet>
#include <QUuid>
#include <QVariantList>
#include <memory>
#include <optional>
#include <vector>

namespace brivet {

class ModelContainer;

// How far a search reads the newest records for its first rows before the whole answer: until
// it has found `matches` matches or read `records` records; and how long the index is tried
// first for a needle it finds (0: not at all).
struct FirstPageLimits
{
    int matches = HistoryQuery{}.headMatches;
    int records = HistoryQuery{}.headRecords;
    int indexTryMs = HistoryQuery{}.indexTryMs;
};

// The history as the panel's card strip shows it: newest first, filtered by an optional
// category and a search text. Holds only the ordered identities of the records that pass the
// filter and loads a light projection of a row (no image or file bytes, the start of the text)
// when a card asks for it. Follows the main context's change notices row by row; searches run
// on a worker with a read-only connection of their own.
class HistoryModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(QUuid categoryId READ categoryId WRITE setCategoryId NOTIFY categoryIdChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(bool searching READ searching NOTIFY searchingChanged)
    // The rows shown are the first rows of the current filter's answer (searching may still be
    // true: the rest of the answer is then appended when the worker has it).
    Q_PROPERTY(bool firstPageReady READ firstPageReady NOTIFY firstPageReadyChanged)
    Q_PROPERTY(QVariantList categoryList READ categoryList NOTIFY categoryListChanged)

public:
    enum Role
    {
        ItemIdRole = Qt::UserRole + 1,
        PersistentIdRole,
        ContentTypeRole,
        TimestampRole,
        DetailTextRole,
        PreviewTextRole,
        UrlStringRole,
        FileNameRole,
        FilePathRole,
        SourceAppNameRole,
        CharacterCountRole,
        HasThumbnailRole,
        CategoriesRole,
        // Whether the record has a text at all (an empty one is a text).
        HasTextRole,
    };
    Q_ENUM(Role)

    // Characters of textContent a card gets as previewText.
    static constexpr int previewLength = 500;

    explicit HistoryModel(ModelContainer& container, QObject* parent = nullptr);
    HistoryModel(ModelContainer& container, const FirstPageLimits& limits,
                 QObject* parent = nullptr);
    ~HistoryModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    QUuid categoryId() const { return m_categoryId; }
    void setCategoryId(const QUuid& id);
    int count() const { return rowCount(); }
    bool searching() const { return m_searching; }
    bool firstPageReady() const { return m_firstPageReady; }
    QVariantList categoryList() const;

    // Timestamp now, saved (a failed save is logged and the change stays pending); the row
    // moves to 0. Out of range: nothing happens and the result is false.
    Q_INVOKABLE bool promote(int row);
    // Gives a record, shown or not, the timestamp `when`, saved the same way; false when the
    // record is gone.
    bool promoteRecord(PersistentId id, const QDateTime& when);
    // Deletes the record and saves; the row disappears. The record is kept in memory (its bytes
    // and categories too) until forgetRemoved(), for restoreRemoved().
    Q_INVOKABLE bool remove(int row);
    // Brings back the newest record remove() deleted: its fields and bytes, its time, and its
    // pins to the categories that still exist. It comes back as a new record (a new id), as a
    // deletion is final for sync. Returns its row, -1 when there was none or it is not shown.
    int restoreRemoved();
    bool hasRemoved() const { return !m_removed.empty(); }
    void forgetRemoved() { m_removed.clear(); }
    // Pins or unpins the record; saved by the context at the next turn of the event loop.
    Q_INVOKABLE bool toggleCategory(int row, const QUuid& categoryId);
    Q_INVOKABLE bool isInCategory(int row, const QUuid& categoryId) const;
    // Whether the rows are a category's pins in the category's own order (a category chosen,
    // no search); elsewhere the order is the history's, newest first.
    bool showsPinOrder() const;
    // Moves the card at row to row to in the category's order, saved; the row it ends at, -1
    // when the rows are not in a category's order or a row is out of range.
    Q_INVOKABLE int movePin(int row, int to);
    // The whole record, its byte buffers loaded on first use (preview, paste).
    std::optional<ClipboardItem> item(int row) const;
    Q_INVOKABLE int rowOfId(const QUuid& id) const;

signals:
    void searchTextChanged();
    void categoryIdChanged();
    void countChanged();
    void searchingChanged();
    void firstPageReadyChanged();
    void categoryListChanged();

private:
    struct Projection;

    // Rows a card strip sees at once, loaded before the rest of a list arrives.
    static constexpr int firstPage = 256;
    // The most rows a refinement of a search checks one by one instead of asking the index.
    static constexpr int maxRefined = 2000;

    const HistoryRows& shown() const;
    void onChanged(const ModelChange& change);
    void reload();
    void applyResult(HistorySearchResult& result);
    void applyFirstPage(HistorySearchResult& result);
    void swapIn(HistoryRows& list, HistoryRows rows, bool isShown);
    void placeIn(HistoryRows& list, const ItemKey& key, bool isNew, bool isShown);
    // timestamp: the record's, when known (found at once in a long list).
    void removeFrom(HistoryRows& list, PersistentId id, bool isShown,
                    const std::optional<QDateTime>& timestamp = std::nullopt);
    void followRecord(PersistentId id, bool isNew = false);
    // Where the record stands under the current filter (its timestamp, or its pin's sort key
    // in a category's order); nothing when it does not pass the filter.
    std::optional<qint64> passingKey(PersistentId id) const;
    void updateSearching();
    void setFirstPageReady(bool ready);
    void refreshCategories();
    std::optional<PersistentId> filterCategory() const;
    const Projection* projection(int row) const;
    std::optional<ClipboardItem> record(PersistentId id) const;

    // A record remove() deleted, as restoreRemoved() brings it back.
    struct Removed
    {
        ClipboardItemContent content; // byte buffers loaded
        QDateTime timestamp;
        qint64 characterCount = 0;
        QList<QUuid> categoryIds;
    };

    ModelContext& m_context;
    std::vector<Removed> m_removed; // newest last
    std::unique_ptr<HistorySearch> m_search;
    QString m_searchText;
    QString m_foldedNeedle;
    QUuid m_categoryId;
    QList<Category> m_categories;

    // The whole history, newest first, followed change by change; complete once the worker
    // has read it (until then its first page).
    HistoryRows m_all;
    bool m_allComplete = false;
    QSet<PersistentId> m_allTouched; // changed while the whole history was read
    // The rows that pass the category and search filters, when there is a filter.
    HistoryRows m_filtered;
    bool m_filterActive = false;
    quint64 m_generation = 0;
    bool m_filterQueryInFlight = false;
    // The filter the filtered rows answer completely, when it had a needle.
    QString m_answeredNeedle;
    std::optional<PersistentId> m_answeredCategory;
    QSet<PersistentId> m_touched; // changed while the filter in flight was answered
    bool m_searching = false;
    bool m_firstPageReady = true;
    // While the filtered rows are the first rows of an answer still on its way: the oldest
    // record they answer for. A record older than it waits for the whole answer.
    std::optional<ItemKey> m_prefixBoundary;
    const FirstPageLimits m_limits;

    mutable QHash<PersistentId, std::shared_ptr<Projection>> m_cache;
};

} // namespace brivet
