#pragma once

#include "store/ClipboardItem.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <deque>
#include <vector>

namespace brivet {

class ModelContext;

// What the history keeps. Pinned items (in a category of the user's) are kept whatever the
// rule says, in addition to what it keeps.
struct RetentionRule
{
    enum class Kind
    {
        KeepEverything,
        MaxItems, // the `limit` newest items
        MaxDays,  // items younger than `limit` days
        MaxBytes  // the newest items whose stored bytes add up to at most `limit`
    };
    Kind kind = Kind::KeepEverything;
    qint64 limit = 0;
    friend bool operator==(const RetentionRule&, const RetentionRule&) = default;
};

// Removes items from the history without holding up the main thread: which items go is found
// on a worker with a read-only connection of its own; the main context then deletes them in
// slices of a few milliseconds, each saved at once, so that the panel's model follows row by
// row through the context's change notices and sync journals every deletion. An item pinned
// meanwhile is spared. Main thread only (but for the worker it starts).
class HistoryPruner : public QObject
{
    Q_OBJECT
public:
    // What a slice of deletions (and its save) aims to keep the main thread at most. The
    // number of deletions per slice follows what the last slices took: a deletion's cost
    // varies with the record (the search index of a long text, the pages of a picture).
    static constexpr int sliceMs = 4;

    // databasePath: the store's file, read by the worker.
    HistoryPruner(ModelContext& context, QString databasePath, QObject* parent = nullptr);
    ~HistoryPruner() override;

    // Removes what the rule does not keep, as of now. A pass under way goes on; the newest
    // request runs after it.
    void applyRule(const RetentionRule& rule,
                   const QDateTime& now = QDateTime::currentDateTimeUtc());
    // Removes every item, the pinned ones too when alsoPinned.
    void clearHistory(bool alsoPinned);
    bool isBusy() const { return m_busy; }

    // The items of the whole history and how many of them are pinned (on the main thread).
    qint64 itemCount() const;
    qint64 pinnedCount() const;

    // The items a rule or a clearing removes, oldest first (on any thread, with a read-only
    // connection; empty when the file could not be read).
    static std::vector<PersistentId> doomedItems(const QString& databasePath,
                                                 const RetentionRule& rule, const QDateTime& now,
                                                 bool clearAll, bool alsoPinned);

signals:
    // A pass has ended: removed items went.
    void finished(qint64 removed);
    void isBusyChanged();

private:
    struct Request
    {
        RetentionRule rule;
        QDateTime now;
        bool clearAll = false;
        bool alsoPinned = false;
    };
    void start(const Request& request);
    void startNext();
    void removeSlice();
    void setBusy(bool busy);

    ModelContext& m_context;
    QString m_databasePath;
    std::optional<Request> m_next;
    bool m_busy = false;
    bool m_sparePinned = true;
    std::deque<PersistentId> m_doomed;
    qint64 m_removed = 0;
    int m_batch = 8; // deletions in the next slice
    QTimer m_slice;
    QFutureWatcher<std::vector<PersistentId>> m_search;
};

} // namespace brivet
