#include "store/HistorySearch.h"

#include "store/Database.h"
#include "store/SearchIndex.h"
#include "store/StoreLogging.h"

#include <sqlite3.h>

namespace brivet {

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

int HistorySearch::progress(void* self)
{
    auto* search = static_cast<HistorySearch*>(self);
    // Non-zero interrupts the statement: a newer query is waiting, or the search is ending.
    return search->m_stopping || search->m_latest != search->m_running ? 1 : 0;
}

void HistorySearch::run()
{
    std::unique_ptr<Database> database;
    for (;;) {
        HistoryQuery query;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_next; });
            if (m_stop)
                return;
            query = std::move(*m_next);
            m_next.reset();
        }
        if (!database) {
            QString error;
            database = Database::openReadOnly(m_databasePath, &error);
            if (!database) {
                qCWarning(lcStore) << "search:" << error;
                m_deliver({query.generation, false, {}});
                continue;
            }
            sqlite3_progress_handler(database->handle(), 1000, &HistorySearch::progress, this);
        }
        m_running = query.generation;
        HistorySearchResult result = answer(*database, query);
        if (m_latest == query.generation && !m_stopping)
            m_deliver(std::move(result));
    }
}

HistorySearchResult HistorySearch::answer(Database& database, const HistoryQuery& query)
{
    QStringList conditions;
    QVariantList arguments;
    if (!query.foldedNeedle.isEmpty()) {
        const SearchIndex::Condition match = SearchIndex::condition(query.foldedNeedle);
        conditions << match.sql;
        arguments << match.argument;
    }
    if (query.category) {
        conditions << QStringLiteral(
                          "pk IN (SELECT item FROM ClipboardItemCategory WHERE category = ?%1)")
                          .arg(arguments.size() + 1);
        arguments << *query.category;
    }
    const QString sql =
        QStringLiteral("SELECT timestamp, pk FROM ClipboardItem%1 ORDER BY timestamp DESC, pk DESC")
            .arg(conditions.isEmpty()
                     ? QString()
                     : QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND ")));
    HistorySearchResult result{query.generation, false, {}};
    Statement* statement = database.prepare(sql.toStdString());
    if (!statement)
        return result;
    for (int i = 0; i < arguments.size(); ++i)
        statement->bind(i + 1, arguments.at(i));
    while (statement->step())
        result.keys.push_back({statement->int64(0), statement->int64(1)});
    result.ok = !statement->failed();
    statement->finish();
    return result;
}

} // namespace brivet
