// Capture reads another application's copy into records. The reading runs on a worker; these
// figures show what it costs there, and how long the main thread is held up meanwhile (the
// duplicate check, the insert and the save stay on the main thread).
#include "capture/ClipboardMonitor.h"
#include "capture/PasteboardReader.h"
#include "fakes/FakeFileThumbnailer.h"
#include "fakes/FakeFrontApplication.h"
#include "fakes/FakePasteboard.h"
#include "store/ModelContainer.h"
#include "support/TestContent.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

using namespace brivet;

constexpr qint64 fileSize = PasteboardReader::defaultMaxFileDataSize; // 25 MiB, still kept

QString writeFile(const QTemporaryDir& dir, const QString& name, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 31 + name.size()) & 0xff);
    for (qint64 written = 0; written < size; written += block.size())
        file.write(block.constData(), std::min<qint64>(block.size(), size - written));
    return path;
}

void readItemsOfA25MiBFile(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("big.bin"), fileSize);
    const PasteboardReader reader(std::make_shared<FakeFileThumbnailer>());
    const PasteboardContents contents = test::fileCopy({path});
    for (auto _ : state) {
        QList<ClipboardItem> items = reader.readItems(contents, {});
        benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(state.iterations() * fileSize);
}
BENCHMARK(readItemsOfA25MiBFile)->Unit(benchmark::kMillisecond);

void readItemsOfA4000x3000Png(benchmark::State& state)
{
    const QByteArray png = test::encode(test::detailedImage({4000, 3000}), "PNG");
    const PasteboardReader reader(nullptr);
    const PasteboardContents contents = test::pngCopy(png);
    for (auto _ : state) {
        QList<ClipboardItem> items = reader.readItems(contents, {});
        benchmark::DoNotOptimize(items);
    }
    state.counters["png_MB"] = double(png.size()) / (1024 * 1024);
}
BENCHMARK(readItemsOfA4000x3000Png)->Unit(benchmark::kMillisecond);

// The whole capture through the monitor with the real worker and a real store file, while a
// 1 ms timer on the main thread notes the longest gap between its ticks.
void mainThreadStallDuringCapture(benchmark::State& state, bool file)
{
    QTemporaryDir dir;
    auto created = ModelContainer::create(dir.filePath("store.sqlite"));
    auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&created);
    if (!container) {
        state.SkipWithError("cannot create the store");
        return;
    }
    FakePasteboard pasteboard;
    FakeFrontApplication front;
    ClipboardMonitor monitor((*container)->mainContext(), pasteboard, front,
                             std::make_shared<FakeFileThumbnailer>());
    monitor.startMonitoring();

    const QString fileA = file ? writeFile(dir, QStringLiteral("a.bin"), fileSize) : QString();
    const QString fileB = file ? writeFile(dir, QStringLiteral("b.bin"), fileSize) : QString();
    const QByteArray pngA =
        file ? QByteArray() : test::encode(test::detailedImage({4000, 3000}), "PNG");
    const QByteArray pngB =
        file ? QByteArray() : test::encode(test::detailedImage({3000, 4000}), "PNG");

    double longestGapMs = 0;
    double captureMs = 0;
    int round = 0;
    for (auto _ : state) {
        // Alternate two contents so that none repeats the newest record.
        const bool even = round++ % 2 == 0;
        pasteboard.setContents(file ? test::fileCopy({even ? fileA : fileB})
                                    : test::pngCopy(even ? pngA : pngB));

        QEventLoop loop;
        QElapsedTimer sinceTick;
        QElapsedTimer total;
        double gapMs = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            gapMs = std::max(gapMs, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        QObject::connect(&monitor, &ClipboardMonitor::captureFinished, &loop, &QEventLoop::quit);
        sinceTick.start();
        total.start();
        ticker.start();
        QTimer::singleShot(0, &monitor, &ClipboardMonitor::checkForChanges);
        loop.exec();
        // The gap that ended with the capture's own main-thread work counts too.
        gapMs = std::max(gapMs, sinceTick.nsecsElapsed() / 1e6);
        longestGapMs = std::max(longestGapMs, gapMs);
        captureMs += total.nsecsElapsed() / 1e6;
    }
    state.counters["longest_main_thread_gap_ms"] = longestGapMs;
    state.counters["capture_ms"] = captureMs / double(state.iterations());
}
void mainThreadStallWhileCapturingA25MiBFile(benchmark::State& state)
{
    mainThreadStallDuringCapture(state, true);
}
void mainThreadStallWhileCapturingA4000x3000Png(benchmark::State& state)
{
    mainThreadStallDuringCapture(state, false);
}
BENCHMARK(mainThreadStallWhileCapturingA25MiBFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->UseRealTime();
BENCHMARK(mainThreadStallWhileCapturingA4000x3000Png)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6)
    ->UseRealTime();

} // namespace
