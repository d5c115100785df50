// The panel's history model over large histories: ready with the first cards, a search per
// keystroke, a category switch, a card moved in a category, one live change, and the memory
// the model and the search index add. 100,000 records always; 1,000,000 when BRIVET_BENCH_1M
// is set (the store takes a while to generate and a few GB of disk: it is kept in
// BRIVET_BENCH_DATA and reused).
#include "HistoryGenerator.h"
#include "store/HistoryPruner.h"
#include "store/ModelContainer.h"
#include "support/HistoryModelWaits.h"
#include "views/HistoryModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <optional>
#include <sqlite3.h>

namespace {

using namespace brivet;

QString historyPath(int size)
{
    const QString folder =
        qEnvironmentVariable("BRIVET_BENCH_DATA", QDir::currentPath() + "/bench-data");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/panel-history-%1.sqlite").arg(size);
}

// The model's worker done; a search that never ends spoils every figure after it.
void settle(HistoryModel& model)
{
    if (!test::waitForSearch(model))
        qFatal("the history model's search did not end");
}

void settleFirstPage(HistoryModel& model)
{
    if (!test::waitForFirstPage(model))
        qFatal("the history model's first rows did not come");
}

std::unique_ptr<ModelContainer> open(const QString& path)
{
    auto result = ModelContainer::create(path);
    auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&result);
    return container ? std::move(*container) : nullptr;
}

// A copy that the changing benchmarks may write to, so the generated store stays as it is.
struct ScratchStore
{
    QTemporaryDir dir{QDir::tempPath() + "/brivet-bench-XXXXXX"};
    std::unique_ptr<ModelContainer> container;
    explicit ScratchStore(int size)
    {
        const QString path = dir.filePath("BrivetCloud.sqlite");
        QFile::copy(historyPath(size), path);
        container = open(path);
    }
};

// The median of the iterations' times, which the targets are given in, and the worst.
void reportMedian(benchmark::State& state, std::vector<double> milliseconds)
{
    if (milliseconds.empty())
        return;
    state.counters["worst_ms"] = *std::max_element(milliseconds.begin(), milliseconds.end());
    std::nth_element(milliseconds.begin(), milliseconds.begin() + milliseconds.size() / 2,
                     milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
}

void loadRows(HistoryModel& model, int rows)
{
    for (int row = 0; row < std::min(rows, model.rowCount()); ++row) {
        benchmark::DoNotOptimize(model.data(model.index(row), HistoryModel::PreviewTextRole));
        benchmark::DoNotOptimize(model.data(model.index(row), HistoryModel::CategoriesRole));
        benchmark::DoNotOptimize(model.data(model.index(row), HistoryModel::DetailTextRole));
    }
}

void modelReadyWithFirst50Rows(benchmark::State& state)
{
    auto container = open(historyPath(int(state.range(0))));
    for (auto _ : state) {
        HistoryModel model(*container);
        loadRows(model, 50);
        state.PauseTiming();
        settle(model); // the rest of the list, read on the worker
        state.counters["rows"] = model.rowCount();
        state.ResumeTiming();
    }
}

// One keystroke: the time until its first rows are in the model with the first cards loaded
// (what the panel shows at once; median_ms) and until the whole answer is in (complete_ms).
void searchKeystroke(benchmark::State& state, const QString& needle)
{
    auto container = open(historyPath(int(state.range(0))));
    HistoryModel model(*container);
    settle(model);
    qint64 matches = 0;
    qint64 firstRows = 0;
    std::vector<double> times;
    std::vector<double> complete;
    for (auto _ : state) {
        model.setSearchText(QString());
        settle(model);
        QElapsedTimer timer;
        timer.start();
        model.setSearchText(needle);
        settleFirstPage(model);
        loadRows(model, 10);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        times.push_back(timer.nsecsElapsed() / 1e6);
        firstRows = model.rowCount();
        settle(model);
        complete.push_back(timer.nsecsElapsed() / 1e6);
        matches = model.rowCount();
    }
    state.counters["matches"] = double(matches);
    state.counters["first_rows"] = double(firstRows);
    reportMedian(state, complete);
    state.counters["complete_ms"] = state.counters["median_ms"];
    reportMedian(state, std::move(times));
}

// A word typed key by key, each answer in before the next key: the time of every keystroke
// to its first rows (median) and to its whole answer (complete_ms), and of the last one.
void searchTyped(benchmark::State& state, const QString& word)
{
    auto container = open(historyPath(int(state.range(0))));
    HistoryModel model(*container);
    settle(model);
    std::vector<double> times;
    std::vector<double> complete;
    double last = 0;
    double lastComplete = 0;
    for (auto _ : state) {
        model.setSearchText(QString());
        settle(model);
        QElapsedTimer total;
        total.start();
        for (qsizetype length = 1; length <= word.size(); ++length) {
            QElapsedTimer timer;
            timer.start();
            model.setSearchText(word.left(length));
            settleFirstPage(model);
            loadRows(model, 10);
            last = timer.nsecsElapsed() / 1e6;
            times.push_back(last);
            settle(model);
            lastComplete = timer.nsecsElapsed() / 1e6;
            complete.push_back(lastComplete);
        }
        state.SetIterationTime(total.nsecsElapsed() / 1e9);
    }
    state.counters["last_key_ms"] = last;
    state.counters["last_key_complete_ms"] = lastComplete;
    state.counters["matches"] = model.rowCount();
    reportMedian(state, complete);
    state.counters["complete_ms"] = state.counters["median_ms"];
    reportMedian(state, std::move(times));
}

void categorySwitch(benchmark::State& state)
{
    auto container = open(historyPath(int(state.range(0))));
    HistoryModel model(*container);
    settle(model);
    const QVariantList categories = model.categoryList();
    int next = 1;
    std::vector<double> times;
    for (auto _ : state) {
        const QUuid id(categories.at(next).toMap().value("id").toString());
        next = next % (categories.size() - 1) + 1;
        QElapsedTimer timer;
        timer.start();
        model.setCategoryId(id);
        settle(model);
        loadRows(model, 10);
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        times.push_back(timer.nsecsElapsed() / 1e6);
        state.counters["rows"] = model.rowCount();
        model.setCategoryId(QUuid());
        settle(model);
    }
    reportMedian(state, std::move(times));
}

// Alt+Left in a category's strip (about 330 pins a category in the 100,000-record history):
// the move's save and the model's update. "legacy" is the first move in a category whose pins
// all predate positions, which gives each of them its place.
void pinMove(benchmark::State& state, bool legacy)
{
    ScratchStore store(int(state.range(0)));
    HistoryModel model(*store.container);
    settle(model);
    const QVariantList categories = model.categoryList();
    int next = 1;
    std::vector<double> times;
    for (auto _ : state) {
        if (legacy) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(store.container->path()), &db);
            sqlite3_exec(db, "UPDATE ClipboardItemCategory SET position = NULL", nullptr, nullptr,
                         nullptr);
            sqlite3_close(db);
        }
        model.setCategoryId(QUuid(categories.at(next).toMap().value("id").toString()));
        next = next % (categories.size() - 1) + 1;
        settle(model);
        QElapsedTimer timer;
        timer.start();
        if (model.movePin(model.rowCount() / 2, model.rowCount() / 2 - 1) < 0)
            state.SkipWithError("nothing moved");
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        times.push_back(timer.nsecsElapsed() / 1e6);
        state.counters["pins"] = model.rowCount();
    }
    reportMedian(state, std::move(times));
}

// One change while the panel shows the unfiltered history: its save and the model's update.
// "insert without model" is the save alone, for comparison.
void liveChange(benchmark::State& state, const char* kind)
{
    ScratchStore store(int(state.range(0)));
    ModelContext& context = store.container->mainContext();
    std::optional<HistoryModel> model;
    if (std::strcmp(kind, "insert without model") != 0) {
        model.emplace(*store.container);
        settle(*model);
    }
    ClipboardItemContent content;
    content.contentType = "text";
    content.textContent = QStringLiteral("a new copy while the panel is open");
    for (auto _ : state) {
        if (std::strncmp(kind, "insert", 6) == 0) {
            ClipboardItem item(content);
            context.insert(item);
            if (!context.save())
                state.SkipWithError("save failed");
        } else if (std::strcmp(kind, "promote") == 0) {
            model->promote(25);
        } else {
            model->remove(0);
        }
    }
    if (model)
        state.counters["rows"] = model->rowCount();
}

// A retention pass that keeps the newest 90 % of the history (the oldest tenth goes) while
// the panel's model follows it: the whole pass, the worker's search for what goes, and the
// longest stretch between two turns of the main thread's event loop.
void retentionPass(benchmark::State& state)
{
    const int size = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        ScratchStore store(size);
        ModelContext& context = store.container->mainContext();
        HistoryModel model(*store.container);
        settle(model);
        HistoryPruner pruner(context, store.container->path());
        const RetentionRule rule{RetentionRule::Kind::MaxItems, qint64(size) * 9 / 10};
        QElapsedTimer finding;
        finding.start();
        const qint64 doomed = qint64(
            HistoryPruner::doomedItems(store.container->path(), rule, {}, false, false).size());
        const qint64 findingMs = finding.elapsed();
        state.ResumeTiming();

        qint64 longest = 0;
        int over16 = 0; // stretches longer than a frame at 60 Hz
        QElapsedTimer sinceLastTurn;
        sinceLastTurn.start();
        QTimer turns;
        turns.setInterval(0);
        QObject::connect(&turns, &QTimer::timeout, [&] {
            const qint64 stretch = sinceLastTurn.restart();
            longest = std::max(longest, stretch);
            over16 += stretch > 16 ? 1 : 0;
        });
        QEventLoop loop;
        qint64 removed = 0;
        QObject::connect(&pruner, &HistoryPruner::finished, &loop, [&](qint64 count) {
            removed = count;
            loop.quit();
        });
        QElapsedTimer pass;
        pass.start();
        turns.start();
        pruner.applyRule(rule);
        loop.exec();
        state.counters["pass_ms"] = double(pass.elapsed());
        state.counters["removed"] = double(removed);
        state.counters["doomed"] = double(doomed);
        state.counters["finding_ms"] = double(findingMs);
        state.counters["main_thread_longest_ms"] = double(longest);
        state.counters["stretches_over_16ms"] = over16;
        state.counters["rows_after"] = model.rowCount();
    }
}

// Resident memory of a process with the bare store open (newest 50 records fetched), then with
// the model ready, its whole list loaded and a search of each length done.
void memoryAddedByModelAndIndex(benchmark::State& state)
{
    const int size = int(state.range(0));
    for (auto _ : state) {
        auto container = open(historyPath(size));
        auto newest = container->mainContext().fetch(ItemFetch{{}, {}, 50});
        benchmark::DoNotOptimize(newest);
        const qint64 bare = bench::residentMemory();
        {
            HistoryModel model(*container);
            settle(model);
            loadRows(model, 50);
            for (const char* needle : {"e", "qu", "fox", "function", "é", "ét", "été", "žluťouč"}) {
                model.setSearchText(QString::fromUtf8(needle));
                settle(model);
                loadRows(model, 50);
            }
            model.setSearchText(QString());
            settle(model);
            state.counters["added_MB"] = double(bench::residentMemory() - bare) / (1024 * 1024);
        }
        state.counters["bare_MB"] = double(bare) / (1024 * 1024);
    }
}

// Bytes of the index tables over the bytes of the whole file.
void indexSizeOverStoreSize(benchmark::State& state)
{
    const QString path = historyPath(int(state.range(0)));
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        qint64 index = 0;
        qint64 total = 0;
        if (sqlite3_prepare_v2(db,
                               "SELECT sum(CASE WHEN name LIKE 'ClipboardItemSearch%' OR name = "
                               "'ClipboardItemFolded' OR name = 'ClipboardItem_byId' THEN pgsize "
                               "ELSE 0 END), sum(pgsize) FROM dbstat",
                               -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            index = sqlite3_column_int64(statement, 0);
            total = sqlite3_column_int64(statement, 1);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        state.counters["index_MB"] = double(index) / (1024 * 1024);
        state.counters["store_MB"] = double(total) / (1024 * 1024);
        state.counters["index_share_pct"] = total ? 100.0 * double(index) / double(total) : 0;
    }
}

void sizes(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Arg(100000);
    if (qEnvironmentVariableIsSet("BRIVET_BENCH_1M"))
        benchmark->Arg(1000000);
}

BENCHMARK(memoryAddedByModelAndIndex)->Apply(sizes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(indexSizeOverStoreSize)->Apply(sizes)->Iterations(1);
BENCHMARK(retentionPass)->Apply(sizes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(modelReadyWithFirst50Rows)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, ascii_1, QStringLiteral("e"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, ascii_2, QStringLiteral("qu"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, ascii_3, QStringLiteral("fox"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, ascii_8, QStringLiteral("function"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// A word from the long tail: what most searches for a word look like.
BENCHMARK_CAPTURE(searchKeystroke, ascii_8_rare_word, QStringLiteral("tenkavor"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, accented_1, QStringLiteral("É"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, accented_2, QStringLiteral("ét"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, accented_3, QStringLiteral("ÉTÉ"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchKeystroke, accented_8, QStringLiteral("žluťouč"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchTyped, rare_word, QStringLiteral("tenkavor"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchTyped, common_word, QStringLiteral("function"))
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(categorySwitch)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pinMove, positioned, false)
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pinMove, legacy, true)
    ->Apply(sizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(liveChange, insert_without_model, "insert without model")
    ->Apply(sizes)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(liveChange, insert, "insert")->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(liveChange, promote, "promote")->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(liveChange, delete, "delete")->Apply(sizes)->Unit(benchmark::kMicrosecond);

} // namespace

namespace brivet::bench {
bool prepareHistoryBench()
{
    if (!ensureHistory(historyPath(100000), 100000))
        return false;
    return !qEnvironmentVariableIsSet("BRIVET_BENCH_1M") ||
           ensureHistory(historyPath(1000000), 1000000);
}
} // namespace brivet::bench
