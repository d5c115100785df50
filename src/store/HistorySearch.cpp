#include "store/HistorySearch.h"

#include "store/Database.h"
#include "store/PinOrder.h"
#include "store/SearchIndex.h"
#include "store/StoreLogging.h"

#include <chrono>
#include <sqlite3.h>

namespace brivet {
namespace {

constexpr int indexedHeadRecords = 500;
constexpr qint64 sampleLifetimeNs = 3600LL * 1000 * 1000 * 1000;
// The index is tried first only when it reads fewer postings than this (a few milliseconds):
// it reads them all in one step, which nothing interrupts.
constexpr double triedPostings = 100000;

qint64 steadyNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

HistorySearch::HistorySearch(QString databasePath, Deliver deliver)
    : m_databasePath(std::move(databasePath)), m_deliver(std::move(deliver)),
      m_thread([this] { run(); })
{}

HistorySearch::~HistorySearch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopping = true;
    m_wake.notify_one();
    m_thread.join();
}

void HistorySearch::post(HistoryQuery query)
{
    m_latest = query.generation;
    {
        std::lock_guard lock(m_mutex);
        m_next = std::move(query);
    }
    m_wake.notify_one();
}

void HistorySearch::loadWholeHistory()
{
    {
        std::lock_guard lock(m_mutex);
        m_wholeHistoryWanted = true;
    }
    m_wake.notify_one();
}

int HistorySearch::progress(void* self)
{
    auto* search = static_cast<HistorySearch*>(self);
    if (const qint64 until = search->m_tryUntil; until != 0 && steadyNow() > until)
        return 1;
    if (search->m_running == 0) // the whole history: nothing overtakes it
        return search->m_stopping ? 1 : 0;
    // Non-zero interrupts the statement: a newer query is waiting, or the search is ending.
    return search->m_stopping || search->m_latest != search->m_running ? 1 : 0;
}

void HistorySearch::run()
{
    std::unique_ptr<Database> database;
    for (;;) {
        HistoryQuery query;
        bool wholeHistory = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_next || m_wholeHistoryWanted; });
            if (m_stop)
                return;
            if (m_wholeHistoryWanted) {
                wholeHistory = true;
                m_wholeHistoryWanted = false;
            } else {
                query = std::move(*m_next);
                m_next.reset();
            }
        }
        if (!database) {
            QString error;
            database = Database::openReadOnly(m_databasePath, &error);
            if (!database) {
                qCWarning(lcStore) << "search:" << error;
                HistorySearchResult failed;
                failed.generation = query.generation;
                failed.wholeHistory = wholeHistory;
                m_deliver(std::move(failed));
                continue;
            }
            sqlite3_progress_handler(database->handle(), 1000, &HistorySearch::progress, this);
            if (!SearchIndex::addFunctions(*database))
                qCWarning(lcStore) << "search:" << database->lastError();
        }
        // Until the index holds every record, the records themselves are tested.
        m_indexed = m_indexed || SearchIndex::isReady(*database);
        if (wholeHistory) {
            m_running = 0;
            HistorySearchResult result = answer(*database, HistoryQuery{});
            result.wholeHistory = true;
            m_historySize = qint64(result.keys.size());
            if (!m_stopping)
                m_deliver(std::move(result));
            refreshSample(*database);
            continue;
        }
        if (query.foldedNeedle.size() >= 3)
            refreshSample(*database);
        m_running = query.generation;
        // A long needle with a part that is rare in the history: the index answers it at once,
        // and the newest records would hardly hold a match.
        const QString part = m_indexed && !query.candidates
                                 ? m_sample.rarestPart(query.foldedNeedle)
                                 : query.foldedNeedle;
        // Few records: sorted here, so that the asker need not go through its whole list.
        if (part != query.foldedNeedle)
            query.ordered = true;
        if (part == query.foldedNeedle && !query.foldedNeedle.isEmpty() && !query.category &&
            !query.candidates) {
            if (query.indexTryMs > 0 && m_indexed &&
                SearchIndex::condition(query.foldedNeedle).foldedTest.isEmpty() &&
                m_sample.postingsPerRecord(query.foldedNeedle) * double(m_historySize) <
                    triedPostings) {
                m_tryUntil = steadyNow() + qint64(query.indexTryMs) * 1000000;
                HistorySearchResult quick = answer(*database, query);
                m_tryUntil = 0;
                if (m_latest != query.generation || m_stopping)
                    continue;
                if (quick.ok) {
                    m_deliver(std::move(quick));
                    continue;
                }
            }
            HistorySearchResult head = headOf(*database, query);
            if (m_latest != query.generation || m_stopping)
                continue;
            // The whole history read: the head is the answer. An empty head shows nothing
            // that the answer would not show a moment later.
            if (head.ok && (!head.head || !head.keys.empty())) {
                const bool whole = !head.head;
                m_deliver(std::move(head));
                if (whole)
                    continue;
            }
        }
        HistorySearchResult result = answer(*database, query, part);
        if (m_latest == query.generation && !m_stopping)
            m_deliver(std::move(result));
    }
}

void HistorySearch::refreshSample(Database& database)
{
    const qint64 now = steadyNow();
    if (!m_indexed || m_stopping ||
        (m_sampleReadAt != 0 && now - m_sampleReadAt < sampleLifetimeNs))
        return;
    m_running = 0; // read whole, not overtaken: a few milliseconds an hour
    m_sample = TrigramSample::read(database);
    m_sampleReadAt = now;
}

HistorySearchResult HistorySearch::refine(Database& database, const HistoryQuery& query)
{
    HistorySearchResult result{query.generation, false, false, false, {}, false, {}};
    const SearchIndex::Condition test =
        SearchIndex::condition(query.foldedNeedle, /*scan=*/true, m_indexed);
    const std::string sql =
        (test.indexed ? QStringLiteral("SELECT %1 FROM ClipboardItemFolded WHERE item = ?2")
                      : QStringLiteral("SELECT %1 FROM ClipboardItem WHERE pk = ?2"))
            .arg(test.foldedTest)
            .toStdString();
    for (const PersistentId id : *query.candidates) {
        if (m_latest != query.generation || m_stopping)
            return result;
        Statement* read = database.prepare(sql); // cached, and reset for this use
        if (!read)
            return result;
        if (!read->bind(1, test.argument).bind(2, id).step()) {
            if (read->failed())
                return result;
            continue; // deleted meanwhile
        }
        const bool matches = read->int64(0) != 0;
        read->finish();
        if (matches)
            result.keys.push_back({0, id});
    }
    result.ok = true;
    return result;
}

HistorySearchResult HistorySearch::headOf(Database& database, const HistoryQuery& query)
{
    HistorySearchResult result{query.generation, false, true, false, {}, false, {}};
    const SearchIndex::Condition scan =
        SearchIndex::condition(query.foldedNeedle, /*scan=*/true, m_indexed);
    Statement* statement = database.prepare(
        QStringLiteral("SELECT ClipboardItem.timestamp, ClipboardItem.pk, %1 FROM ClipboardItem "
                       "%2 ORDER BY ClipboardItem.timestamp DESC, ClipboardItem.pk DESC")
            .arg(scan.foldedTest,
                 scan.indexed ? QStringLiteral("JOIN ClipboardItemFolded ON "
                                               "ClipboardItemFolded.item = ClipboardItem.pk")
                              : QString())
            .toStdString());
    if (!statement)
        return result;
    statement->bind(1, scan.argument);
    // A needle the index finds and that is rare among the newest records is better left to
    // the index than looked for in many records one by one.
    const int budget = m_indexed && SearchIndex::condition(query.foldedNeedle).foldedTest.isEmpty()
                           ? std::min(query.headRecords, indexedHeadRecords)
                           : query.headRecords;
    int read = 0;
    bool more = true;
    while ((more = statement->step())) {
        const ItemKey key{statement->int64(0), statement->int64(1)};
        if (statement->int64(2) != 0)
            result.keys.push_back(key);
        result.boundary = key;
        if (int(result.keys.size()) >= query.headMatches || ++read >= budget)
            break;
    }
    result.ok = !statement->failed();
    statement->finish();
    // Stopped before the end: the first rows only. Read to the end: the whole answer.
    result.head = more;
    return result;
}

HistorySearchResult HistorySearch::answer(Database& database, const HistoryQuery& query,
                                          const QString& indexPart)
{
    if (query.candidates)
        return refine(database, query);
    QString sql;
    QVariantList arguments;
    QString part; // ?3, when the index is asked for a part of the needle
    const QString inCategory =
        QStringLiteral("SELECT item FROM ClipboardItemCategory WHERE category = ?2");
    if (!query.foldedNeedle.isEmpty()) {
        const SearchIndex::Condition match =
            SearchIndex::condition(query.foldedNeedle, /*scan=*/false, m_indexed, indexPart);
        arguments << match.argument;
        part = match.part;
        sql = match.items;
        if (query.category && !match.foldedTest.isEmpty()) {
            // A scan of the pinned records only, not of the whole history.
            sql = (match.indexed ? QStringLiteral("SELECT item FROM ClipboardItemFolded WHERE "
                                                  "item IN (%1) AND %2")
                                 : QStringLiteral("SELECT pk AS item FROM ClipboardItem WHERE "
                                                  "pk IN (%1) AND %2"))
                      .arg(inCategory, match.foldedTest);
            arguments << *query.category;
        } else if (query.category) {
            sql = QStringLiteral("SELECT item FROM (%1) WHERE item IN (%2)").arg(sql, inCategory);
            arguments << *query.category;
        }
    } else if (query.category) {
        sql = QString(inCategory).replace(QLatin1String("?2"), QLatin1String("?1"));
        arguments << *query.category;
    } else {
        sql = QStringLiteral("SELECT pk AS item FROM ClipboardItem");
    }
    // Ordered: through the timestamp index. Unordered: the identities straight from the index
    // or the links, which is what makes a search over a million records quick.
    if (query.ordered)
        sql = QStringLiteral("SELECT timestamp, pk FROM ClipboardItem WHERE pk IN (%1) "
                             "ORDER BY timestamp DESC, pk DESC")
                  .arg(sql);
    if (query.ordered && query.foldedNeedle.isEmpty() && !query.category)
        sql = QStringLiteral("SELECT timestamp, pk FROM ClipboardItem "
                             "ORDER BY timestamp DESC, pk DESC");
    if (query.ordered && query.foldedNeedle.isEmpty() && query.category)
        sql = QString::fromLatin1(PinOrder::keysSql);

    HistorySearchResult result{query.generation, false, query.ordered, false, {}, false, {}};
    Statement* statement = database.prepare(sql.toStdString());
    if (!statement)
        return result;
    for (int i = 0; i < arguments.size(); ++i)
        statement->bind(i + 1, arguments.at(i));
    if (!part.isEmpty())
        statement->bind(3, part);
    while (statement->step()) {
        if (query.ordered)
            result.keys.push_back({statement->int64(0), statement->int64(1)});
        else
            result.keys.push_back({0, statement->int64(0)});
    }
    result.ok = !statement->failed();
    statement->finish();
    return result;
}

} // namespace brivet
