#pragma once

#include "store/ModelContext.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace brivet {

// One question to the history: the records matching a folded needle (none: every record),
// pinned to a category (none: any), newest first.
struct HistoryQuery
{
    quint64 generation = 0;
    QString foldedNeedle;
    std::optional<PersistentId> category;
};

struct HistorySearchResult
{
    quint64 generation = 0;
    bool ok = false;
    std::vector<ItemKey> keys;
};

// Answers history queries on a thread of its own, through a read-only connection of its own,
// so that a query over a million records never holds up the main thread. Only the newest
// query counts: a query posted while another runs interrupts it, and queries that were
// overtaken before they started never run.
class HistorySearch
{
public:
    // deliver is called on the worker thread with each answer that was not overtaken.
    using Deliver = std::function<void(HistorySearchResult)>;

    HistorySearch(QString databasePath, Deliver deliver);
    ~HistorySearch();
    HistorySearch(const HistorySearch&) = delete;
    HistorySearch& operator=(const HistorySearch&) = delete;

    void post(HistoryQuery query);

private:
    void run();
    HistorySearchResult answer(class Database& database, const HistoryQuery& query);
    static int progress(void* self);

    QString m_databasePath;
    Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<HistoryQuery> m_next;
    bool m_stop = false;
    std::atomic<quint64> m_latest{0};
    std::atomic<quint64> m_running{0};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace brivet
