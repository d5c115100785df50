// Sync: merging another device's 10,000 operations into a 100k-item history, the first
// journalling of a 100k-item history with images and its compaction while running (wall time
// and the longest the main thread was kept from its event loop), what 1,000 text copies add
// to the sync folder, before and after compaction, and the folder after 10,000 operations with
// images and deletions, before and after the blobs of deleted records are collected.
#include "HistoryGenerator.h"
#include "support/HistoryModelWaits.h"
#include "sync/SyncDevice.h"
#include "views/HistoryModel.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <optional>
#include <time.h>

using namespace brivet;

namespace {

QString historyPath()
{
    const QString folder =
        qEnvironmentVariable("BRIVET_BENCH_DATA", QDir::currentPath() + "/bench-data");
    QDir().mkpath(folder);
    return folder + "/history-100k.sqlite";
}

ClipboardItem textItem(int i, qint64 time)
{
    ClipboardItemContent content;
    content.contentType = QStringLiteral("text");
    content.textContent =
        QStringLiteral("Remote copy number %1: a line of text as people copy").arg(i);
    content.sourceAppName = QStringLiteral("Editor");
    return ClipboardItem(content, QDateTime::fromMSecsSinceEpoch(time, Qt::UTC));
}

// Another device's journal with operations of every kind: copies, promotes, pins, deletions.
int writeRemoteJournal(test::SyncDevice& device, qint64& now, int operations)
{
    ModelContext& context = device.context();
    Category category(QStringLiteral("Work"), QStringLiteral("#FF9500"), 1, false);
    context.insert(category);
    QList<ClipboardItem> items;
    int written = 1;
    for (int i = 0; written < operations; ++i, ++written) {
        now += 10;
        const int kind = i % 20;
        if (kind < 14 || items.size() < 10) {
            ClipboardItem item = textItem(i, now);
            context.insert(item);
            items.append(item);
        } else if (kind < 18) {
            ClipboardItem& item = items[(i * 7) % items.size()];
            item.timestamp = QDateTime::fromMSecsSinceEpoch(now, Qt::UTC);
            context.update(item);
        } else if (kind < 19) {
            context.link(items[(i * 13) % items.size()], category);
        } else {
            context.remove(items.takeAt((i * 3) % items.size()));
        }
        if (written % 500 == 0 && !device.publish())
            return -1;
    }
    return device.publish() ? written : -1;
}

// The longest stretch between two turns of the main thread's event loop while it runs until
// done() holds: in wall time, and in the main thread's own processor time (which leaves out
// the time other processes on a busy machine took from it).
struct MainThreadWatch
{
    qint64 longest = 0;
    double longestCpu = 0; // ms
    qint64 elapsed = 0;
    // Time the benchmark's own work took in the current turn (a simulated copy), left out.
    double excludedCpu = 0;
    qint64 excludedWall = 0;
    template<typename Work>
    void exclude(Work work)
    {
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadCpuMs();
        work();
        excludedCpu += threadCpuMs() - cpu;
        excludedWall += wall.elapsed();
    }
    static double threadCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    void runUntil(const std::function<bool()>& done)
    {
        QElapsedTimer sinceLastTurn, total;
        sinceLastTurn.start();
        total.start();
        double cpuAtLastTurn = threadCpuMs();
        QTimer turns;
        turns.setInterval(0);
        QEventLoop loop;
        QObject::connect(&turns, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceLastTurn.restart() - std::exchange(excludedWall, 0));
            const double cpu = threadCpuMs();
            longestCpu =
                std::max(longestCpu, cpu - cpuAtLastTurn - std::exchange(excludedCpu, 0.0));
            if (done())
                loop.quit();
            cpuAtLastTurn = threadCpuMs();
        });
        turns.start();
        loop.exec();
        elapsed = total.elapsed();
    }
};

void mergeTenThousandRemoteOperationsInto100kHistory(benchmark::State& state)
{
    if (!bench::ensureHistory(historyPath(), 100000)) {
        state.SkipWithError("cannot build the history");
        return;
    }
    QTemporaryDir root;
    const SyncKey key = SyncKey::random();
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    test::SyncDevice writer(root.filePath("writer"), key, now, 0);
    const int operations = writeRemoteJournal(writer, now, 10000);
    QDir().mkpath(root.filePath("reader"));
    QFile::copy(historyPath(), root.filePath("reader/BrivetCloud.sqlite"));
    test::SyncDevice reader(root.filePath("reader"), key, now, 0);
    // With 1: the panel's model over the history, following the merge as the open panel does.
    std::optional<HistoryModel> model;
    if (state.range(0) == 1) {
        model.emplace(*reader.container);
        if (!test::waitForSearch(*model))
            qFatal("the history model's search did not end");
    }
    QDirIterator files(writer.folderRoot, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString target = reader.folderRoot + path.mid(writer.folderRoot.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(path, target);
    }

    for (auto _ : state) {
        int applied = -1;
        QObject scope;
        QObject::connect(reader.engine.get(), &SyncEngine::mergeFinished, &scope,
                         [&](int count) { applied = count; });
        reader.engine->scheduleMerge();
        MainThreadWatch merge;
        merge.runUntil([&] { return applied >= 0; });
        state.SetIterationTime(double(merge.elapsed) / 1000);
        state.counters["operations"] = applied;
        state.counters["main_thread_longest_ms"] = double(merge.longest);
        state.counters["main_thread_longest_cpu_ms"] = merge.longestCpu;
        state.counters["items_after"] =
            double(reader.context().count(ItemPredicate::all()).value());
    }
    state.counters["journal_operations"] = operations;
}
BENCHMARK(mergeTenThousandRemoteOperationsInto100kHistory)
    ->ArgName("with_model")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::pair<qint64, int> folderSize(const QString& root)
{
    qint64 bytes = 0;
    int count = 0;
    QDirIterator files(root, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        bytes += files.fileInfo().size();
        ++count;
    }
    return {bytes, count};
}

// Each copy in a segment of its own (copies further apart than the write delay): the most a
// thousand copies can add before compaction.
void folderGrowthPerThousandTextCopies(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir root;
        qint64 now = QDateTime::currentMSecsSinceEpoch();
        test::SyncDevice device(root.filePath("device"), SyncKey::random(), now, 0);
        for (int i = 0; i < 1000; ++i) {
            now += 3000;
            ClipboardItem item = textItem(i, now);
            device.context().insert(item);
            if (!device.publish()) {
                state.SkipWithError("cannot publish");
                return;
            }
        }
        const auto [before, filesBefore] = folderSize(device.folderRoot);
        if (!device.engine->compact()) {
            state.SkipWithError("cannot compact");
            return;
        }
        const auto [after, filesAfter] = folderSize(device.folderRoot);
        state.counters["KiB_before_compaction"] = double(before) / 1024;
        state.counters["files_before_compaction"] = filesBefore;
        state.counters["KiB_after_compaction"] = double(after) / 1024;
        state.counters["files_after_compaction"] = filesAfter;
    }
}
BENCHMARK(folderGrowthPerThousandTextCopies)->Iterations(1)->Unit(benchmark::kMillisecond);

// Sync turned on over a 100k-item history with images (and one image at the size limit): the
// check of the store, the journalling in slices with the blobs written on a worker, and then
// the compaction a running engine starts past its segment limit.
void firstJournallingAndCompactionOf100kHistory(benchmark::State& state)
{
    if (!bench::ensureHistory(historyPath(), 100000)) {
        state.SkipWithError("cannot build the history");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir root;
        QDir().mkpath(root.filePath("device"));
        QFile::copy(historyPath(), root.filePath("device/BrivetCloud.sqlite"));
        qint64 now = QDateTime::currentMSecsSinceEpoch();
        SyncSettings settings;
        settings.writeDelay = std::chrono::milliseconds(50);
        test::SyncDevice device(root.filePath("device"), SyncKey::random(), now, 0, settings);
        ClipboardItemContent content;
        content.contentType = QStringLiteral("image");
        content.imageData = QByteArray(25 * 1024 * 1024 - 1, 'i');
        ClipboardItem large(content);
        device.context().insert(large);
        if (!device.context().save()) {
            state.SkipWithError("cannot save");
            return;
        }
        QSignalSpy checked(device.engine.get(), &SyncEngine::storeChecked);
        device.engine->start();
        MainThreadWatch journalling;
        journalling.runUntil([&] { return !checked.isEmpty() && !device.engine->isJournalling(); });
        state.counters["journal_s"] = double(journalling.elapsed) / 1000;
        state.counters["journal_main_thread_longest_ms"] = double(journalling.longest);
        state.counters["journal_main_thread_longest_cpu_ms"] = journalling.longestCpu;

        // A copy per segment until the journal passes its limit: a snapshot of everything.
        QSignalSpy compacted(device.engine.get(), &SyncEngine::compacted);
        int copies = 0;
        auto copy = [&] {
            ClipboardItem item = textItem(copies++, now);
            device.context().insert(item);
            if (!device.context().save())
                qFatal("cannot save");
        };
        MainThreadWatch compaction;
        QObject::connect(device.engine.get(), &SyncEngine::segmentWritten,
                         [&](quint64, bool snapshot) {
                             if (!snapshot && compacted.isEmpty())
                                 compaction.exclude(copy);
                         });
        copy();
        compaction.runUntil([&] { return !compacted.isEmpty(); });
        state.SetIterationTime(double(journalling.elapsed + compaction.elapsed) / 1000);
        state.counters["copies_until_compaction"] = copies;
        state.counters["compaction_s"] = double(compaction.elapsed) / 1000;
        state.counters["compaction_main_thread_longest_ms"] = double(compaction.longest);
        state.counters["compaction_main_thread_longest_cpu_ms"] = compaction.longestCpu;
        state.counters["folder_MiB"] = double(folderSize(device.folderRoot).first) / (1 << 20);
    }
}
BENCHMARK(firstJournallingAndCompactionOf100kHistory)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// 10,000 operations on one device: copies (one in ten an image of 20-200 KiB, some of them
// copied twice), promotes and deletions; the folder as written, after a snapshot the same day,
// and after one more than a tombstone's lifetime later (the deleted records' blobs collected).
void folderAfterTenThousandOperationsWithImages(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir root;
        qint64 now = QDateTime::currentMSecsSinceEpoch();
        test::SyncDevice device(root.filePath("device"), SyncKey::random(), now, 0);
        QRandomGenerator random(20261207);
        QList<ClipboardItem> items;
        QList<QByteArray> images;
        int deletions = 0;
        for (int i = 0; i < 10000; ++i) {
            now += 1000;
            const int kind = random.bounded(10);
            if (kind < 6 || items.size() < 10) {
                ClipboardItem item = textItem(i, now);
                if (random.bounded(10) == 0) {
                    QByteArray image(random.bounded(20, 200) * 1024, Qt::Uninitialized);
                    for (char& c : image)
                        c = char(random.generate());
                    if (!images.isEmpty() && random.bounded(5) == 0)
                        image = images.at(random.bounded(int(images.size())));
                    images.append(image);
                    ClipboardItemContent content;
                    content.contentType = QStringLiteral("image");
                    content.imageData = image;
                    content.thumbnailData = image.left(4096);
                    item = ClipboardItem(content, QDateTime::fromMSecsSinceEpoch(now, Qt::UTC));
                }
                device.context().insert(item);
                items.append(item);
            } else if (kind < 8) {
                ClipboardItem& item = items[random.bounded(int(items.size()))];
                item.timestamp = QDateTime::fromMSecsSinceEpoch(now, Qt::UTC);
                device.context().update(item);
            } else {
                device.context().remove(items.takeAt(random.bounded(int(items.size()))));
                ++deletions;
            }
            if (i % 20 == 19 && !device.publish()) {
                state.SkipWithError("cannot publish");
                return;
            }
        }
        if (!device.publish()) {
            state.SkipWithError("cannot publish");
            return;
        }
        const auto [written, filesWritten] = folderSize(device.folderRoot);
        if (!device.engine->compact()) {
            state.SkipWithError("cannot compact");
            return;
        }
        const auto [compacted, filesCompacted] = folderSize(device.folderRoot);
        now += 91LL * 24 * 3600 * 1000;
        if (!device.engine->compact()) {
            state.SkipWithError("cannot compact");
            return;
        }
        const auto [collected, filesCollected] = folderSize(device.folderRoot);
        state.counters["deletions"] = deletions;
        state.counters["MiB_written"] = double(written) / (1 << 20);
        state.counters["files_written"] = filesWritten;
        state.counters["MiB_after_snapshot"] = double(compacted) / (1 << 20);
        state.counters["MiB_after_collection"] = double(collected) / (1 << 20);
        state.counters["files_after_collection"] = filesCollected;
    }
}
BENCHMARK(folderAfterTenThousandOperationsWithImages)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
