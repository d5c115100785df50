#pragma once

#include "store/ModelContext.h"
#include "store/TrigramSample.h"

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
// pinned to a category (none: any); newest first when ordered, else in no particular order
// (the asker knows the order). A category without a needle, ordered, comes in the category's
// own order (PinOrder), each key's timestamp then being the pin's sort key.
struct HistoryQuery
{
    quint64 generation = 0;
    QString foldedNeedle;
    std::optional<PersistentId> category;
    bool ordered = true;
    // A refinement: the answer is those of these records that match (the asker knows that no
    // other record can), in no particular order.
    std::optional<std::vector<PersistentId>> candidates;
    // A search without a category first reads the newest records one by one and hands over
    // the matches among them at once (an exact first page), stopping after headMatches
    // matches or headRecords records; then it answers completely. A needle the index finds
    // (three characters or more) is first given to the index for a few milliseconds: a word
    // that is not common is answered whole in that time.
    int headMatches = 64;
    int headRecords = 2000;
    int indexTryMs = 2; // 0: straight to the newest records
};

struct HistorySearchResult
{
    quint64 generation = 0;
    bool ok = false;
    bool ordered = true;
    bool wholeHistory = false; // the answer to loadWholeHistory()
    std::vector<ItemKey> keys; // unordered answers carry ids only
    // The first rows of the answer, newest first: every match at least as new as boundary
    // (the last record read). The whole answer follows with the same generation.
    bool head = false;
    ItemKey boundary;
};

// Answers history queries on a thread of its own, through a read-only connection of its own,
// so that a query over a million records never holds up the main thread. Only the newest
// query counts: a query posted while another runs interrupts it, and queries that were
// overtaken before they started never run. The whole history's keys are read first when asked.
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
    // Reads every record's key, newest first; never overtaken by a query.
    void loadWholeHistory();

private:
    void run();
    // indexPart: what to ask the index for, when not the whole needle.
    HistorySearchResult answer(class Database& database, const HistoryQuery& query,
                               const QString& indexPart = {});
    HistorySearchResult refine(class Database& database, const HistoryQuery& query);
    HistorySearchResult headOf(class Database& database, const HistoryQuery& query);
    static int progress(void* self);

    QString m_databasePath;
    Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<HistoryQuery> m_next;
    bool m_wholeHistoryWanted = false;
    bool m_stop = false;
    std::atomic<quint64> m_latest{0};
    std::atomic<quint64> m_running{0};
    std::atomic<bool> m_stopping{false};
    // While the index is given a short try: when it ends (steady clock, ns; 0: no try).
    std::atomic<qint64> m_tryUntil{0};
    bool m_indexed = false; // the index holds every record (worker thread only)
    // Which part of a long needle to ask the index for (worker thread only), read again now
    // and then as the history grows.
    void refreshSample(class Database& database);
    TrigramSample m_sample;
    qint64 m_sampleReadAt = 0; // steady clock, ns
    qint64 m_historySize = 0;  // records, as the whole history was last read
    std::thread m_thread;
};

} // namespace brivet
