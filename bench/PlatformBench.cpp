// The desktop facilities capture leans on: how long a file thumbnail takes (off the main thread),
// how long the front application's name costs the main thread, and how long a clipboard change
// takes from an owner's offer to the pasteboard's count (X server needed: $DISPLAY).
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/FreedesktopThumbnailer.h"
#include "platform/x11/X11ClipboardOwner.h"
#include "platform/x11/X11Pasteboard.h"
#include "support/TestContent.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString detailedImage(const char* format, int width, int height)
{
    const QString path =
        scratch().filePath(QStringLiteral("bench-%1x%2.%3").arg(width).arg(height).arg(format));
    if (QFile::exists(path))
        return path;
    brivet::test::detailedImage({width, height}).save(path, format, 90);
    return path;
}

QString pdfDocument()
{
    const QString path = scratch().filePath(QStringLiteral("bench.pdf"));
    if (QFile::exists(path))
        return path;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    for (int i = 0; i < 200; ++i)
        painter.fillRect(QRect(i * 40, i * 60, 2000, 300), QColor::fromHsv(i % 360, 200, 200));
    return path;
}

void thumbnailOf(benchmark::State& state, const QString& path)
{
    const brivet::FreedesktopThumbnailer thumbnailer;
    for (auto _ : state) {
        auto png = thumbnailer.thumbnail(path, 512);
        if (!png) {
            state.SkipWithError("no thumbnail");
            return;
        }
        benchmark::DoNotOptimize(png);
    }
}

void thumbnailJpeg4000x3000(benchmark::State& state)
{
    thumbnailOf(state, detailedImage("jpg", 4000, 3000));
}
void thumbnailPng4000x3000(benchmark::State& state)
{
    thumbnailOf(state, detailedImage("png", 4000, 3000));
}
void thumbnailPdfFirstPage(benchmark::State& state)
{
    thumbnailOf(state, pdfDocument());
}

// A lookup once the index exists, as every poll with a change after the first makes.
void desktopEntryLookup(benchmark::State& state)
{
    brivet::DesktopEntries entries(brivet::DesktopEntries::defaultDataDirs(), QStringLiteral("C"));
    brivet::DesktopEntries::WindowHints hints;
    hints.wmClass = QStringLiteral("XTerm");
    hints.wmInstance = QStringLiteral("xterm");
    benchmark::DoNotOptimize(entries.forWindow(hints));
    for (auto _ : state)
        benchmark::DoNotOptimize(entries.forWindow(hints));
}

// From an owner's offer of a text of range(0) KiB to the pasteboard's advanced count: the
// reader's whole fetch (TARGETS, then the text, INCR above 1 MiB) plus the hand-over.
void clipboardChangeToCount(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X server ($DISPLAY)");
        return;
    }
    brivet::X11Pasteboard pasteboard;
    brivet::X11ClipboardOwner owner; // another window than the pasteboard's own
    const QByteArray text(qsizetype(state.range(0)) * 1024, 'x');
    QTimer wakeUp; // processEvents below must return now and then, also if nothing comes
    wakeUp.start(50);
    for (auto _ : state) {
        const qint64 before = pasteboard.changeCount();
        owner.offer({{brivet::PasteboardType::String, text}});
        const QDeadlineTimer deadline(10000);
        while (pasteboard.changeCount() == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto read = pasteboard.contents().dataForType(brivet::PasteboardType::String);
        if (!read || read->size() != text.size()) {
            state.SkipWithError("the text did not arrive whole");
            return;
        }
        pasteboard.takeChanges(before); // as the monitor does, so that none are held
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

} // namespace

BENCHMARK(thumbnailJpeg4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(thumbnailPng4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(thumbnailPdfFirstPage)->Unit(benchmark::kMillisecond);
BENCHMARK(desktopEntryLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(clipboardChangeToCount)
    ->Arg(1)
    ->Arg(1024)
    ->Arg(50 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
