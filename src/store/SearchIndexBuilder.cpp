#include "store/SearchIndexBuilder.h"

#include "store/Database.h"
#include "store/SearchIndex.h"
#include "store/StoreLogging.h"

#include <QElapsedTimer>

namespace brivet {
namespace {

// Records per transaction: about ten milliseconds of work each.
constexpr int kBatch = 64;
// Tries of a step that fails before the work is given up.
constexpr int kTries = 5;

} // namespace

SearchIndexBuilder::SearchIndexBuilder(QString databasePath, QObject* parent)
    : QObject(parent), m_databasePath(std::move(databasePath)),
      m_thread(QThread::create([this] { build(); }))
{
    m_thread->setObjectName(QStringLiteral("search index"));
    m_thread->start(QThread::LowPriority);
}

SearchIndexBuilder::~SearchIndexBuilder()
{
    m_thread->requestInterruption();
    m_thread->wait();
}

void SearchIndexBuilder::build()
{
    QString error;
    std::unique_ptr<Database> database = Database::open(m_databasePath, /*create=*/false, &error);
    if (!database || !database->exec("PRAGMA synchronous = NORMAL")) {
        qCWarning(lcStore) << "cannot make the search index:"
                           << (database ? database->lastError() : error);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 steps = 0;
    qint64 longestStep = 0;
    int failures = 0;
    for (bool done = false; !done;) {
        if (QThread::currentThread()->isInterruptionRequested())
            return;
        QElapsedTimer stepClock;
        stepClock.start();
        auto stepError = SearchIndex::buildSome(*database, kBatch, &done);
        longestStep = std::max(longestStep, stepClock.elapsed());
        if (stepError) {
            if (++failures >= kTries) {
                qCWarning(lcStore) << "cannot make the search index, searches stay slower:"
                                   << *stepError;
                return;
            }
            QThread::msleep(500);
            continue;
        }
        failures = 0;
        ++steps;
        // Leaves the file to a writer waiting for it between two steps: the main connection
        // tries every millisecond (Database::retryPromptlyWhenBusy), so it gets its turn.
        QThread::msleep(2);
    }
    qCInfo(lcStore) << "search index made in" << clock.elapsed() << "ms," << steps
                    << "steps, the longest" << longestStep << "ms";
    m_finished = true;
    QMetaObject::invokeMethod(this, &SearchIndexBuilder::finished, Qt::QueuedConnection);
}

} // namespace brivet
