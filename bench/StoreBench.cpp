// The store with a large history: opening, listing the newest cards, the duplicate check's
// newest-record fetch, and one capture's insert plus save.
#include "HistoryGenerator.h"
#include "store/ModelContainer.h"

#include <QDir>
#include <QTemporaryDir>
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

} // namespace

namespace brivet::bench {
bool prepareStoreBench()
{
    return ensureHistory(historyPath(), historySize);
}
} // namespace brivet::bench
