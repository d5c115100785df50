// The store with a large history: opening, listing the newest cards, the duplicate check's
// newest-record fetch, and one capture's insert plus save.
#include "HistoryGenerator.h"
#include "store/ModelContainer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <sqlite3.h>
#include <benchmark/benchmark.h>

namespace {

constexpr int historySize = 100000;

QString historyPath()
{
    const QString folder =
        qEnvironmentVariable("BRIVET_BENCH_DATA", QDir::currentPath() + "/bench-data");
    QDir().mkpath(folder);
    return folder + "/history-100k.sqlite";
}

std::unique_ptr<brivet::ModelContainer> openHistory()
{
    auto result = brivet::ModelContainer::create(historyPath());
    auto* container = std::get_if<std::unique_ptr<brivet::ModelContainer>>(&result);
    return container ? std::move(*container) : nullptr;
}

void residentMemoryAfterOpening(benchmark::State& state)
{
    const qint64 before = brivet::bench::residentMemory();
    std::unique_ptr<brivet::ModelContainer> container;
    for (auto _ : state) {
        container = openHistory();
        auto items = container->mainContext().fetch(brivet::ItemFetch{{}, {}, 50});
        benchmark::DoNotOptimize(items);
    }
    state.counters["rss_MB"] = double(brivet::bench::residentMemory()) / (1024 * 1024);
    state.counters["growth_MB"] = double(brivet::bench::residentMemory() - before) / (1024 * 1024);
}
BENCHMARK(residentMemoryAfterOpening)->Iterations(1)->Unit(benchmark::kMillisecond);

void openAndFetchNewest50(benchmark::State& state)
{
    for (auto _ : state) {
        auto container = openHistory();
        auto items = container->mainContext().fetch(brivet::ItemFetch{{}, {}, 50});
        if (!items || items->size() != 50)
            state.SkipWithError("fetch failed");
        benchmark::DoNotOptimize(items);
    }
}
BENCHMARK(openAndFetchNewest50)->Unit(benchmark::kMillisecond);

void newestRecordFetch(benchmark::State& state)
{
    auto container = openHistory();
    for (auto _ : state) {
        auto newest = container->mainContext().fetch(brivet::ItemFetch{{}, {}, 1});
        benchmark::DoNotOptimize(newest);
    }
}
BENCHMARK(newestRecordFetch)->Unit(benchmark::kMicrosecond);

void insertAndSave1KBText(benchmark::State& state)
{
    // A copy of the large history, so that the shared one stays as generated.
    QTemporaryDir dir;
    const QString path = dir.filePath("BrivetCloud.sqlite");
    QFile::copy(historyPath(), path);
    auto result = brivet::ModelContainer::create(path);
    auto& container = std::get<std::unique_ptr<brivet::ModelContainer>>(result);
    brivet::ClipboardItemContent content;
    content.contentType = "text";
    content.textContent = QString(1024, 'x');
    for (auto _ : state) {
        brivet::ClipboardItem item(content);
        container->mainContext().insert(item);
        if (!container->mainContext().save())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(insertAndSave1KBText)->Unit(benchmark::kMicrosecond);

// A history written without the search index: opening it (the index is then made on a
// worker), the time until the index is made, and the slowest capture (insert and save of a
// record, every 20 ms on this thread) meanwhile, which waits for the worker's steps.
// With BRIVET_BENCH_1M, of the panel benchmark's million records instead (a copy of 4 GB).
void openWithoutSearchIndex(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("BrivetCloud.sqlite");
    QFile::copy(qEnvironmentVariableIsSet("BRIVET_BENCH_1M")
                    ? QFileInfo(historyPath()).dir().filePath("panel-history-1000000.sqlite")
                    : historyPath(),
                path);
    sqlite3* db = nullptr;
    const bool dropped =
        sqlite3_open(path.toUtf8(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "DROP TABLE ClipboardItemSearch; DROP TABLE ClipboardItemFolded", nullptr,
                     nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!dropped) {
        state.SkipWithError("cannot drop the index");
        return;
    }
    brivet::ClipboardItemContent content;
    content.contentType = "text";
    content.textContent = QString(1024, 'x');
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto result = brivet::ModelContainer::create(path);
        auto& container = std::get<std::unique_ptr<brivet::ModelContainer>>(result);
        state.counters["open_ms"] = double(clock.nsecsElapsed()) / 1e6;
        qint64 slowest = 0;
        int captures = 0;
        while (container->isMakingSearchIndex() || captures == 0) {
            QElapsedTimer capture;
            capture.start();
            brivet::ClipboardItem item(content);
            container->mainContext().insert(item);
            if (!container->mainContext().save())
                state.SkipWithError("save failed");
            slowest = std::max(slowest, capture.nsecsElapsed());
            if (captures++ == 0) // start-up to the first record
                state.counters["first_record_ms"] = double(clock.nsecsElapsed()) / 1e6;
            QThread::msleep(20);
        }
        state.counters["index_made_s"] = double(clock.nsecsElapsed()) / 1e9;
        state.counters["slowest_capture_ms"] = double(slowest) / 1e6;
        state.counters["captures"] = captures;
    }
}
BENCHMARK(openWithoutSearchIndex)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

namespace brivet::bench {
bool prepareStoreBench()
{
    return ensureHistory(historyPath(), historySize);
}
} // namespace brivet::bench
