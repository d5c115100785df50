// Writing a chosen record back to the clipboard happens on the main thread: how long an image
// record's conversion to PNG and a large text's X11 targets take.
#include "paste/PasteRepresentations.h"
#include "platform/x11/X11ClipboardTargets.h"
#include "support/TestContent.h"

#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

brivet::ClipboardItem imageRecord(const QByteArray& bytes)
{
    brivet::ClipboardItemContent content;
    content.contentType = QStringLiteral("image");
    content.imageData = bytes;
    return brivet::ClipboardItem(content);
}

void imageRecordRepresentations(benchmark::State& state, const char* format)
{
    const int width = int(state.range(0));
    const brivet::ClipboardItem item = imageRecord(
        brivet::test::encode(brivet::test::detailedImage({width, width * 3 / 4}), format, 90));
    for (auto _ : state) {
        auto representations = brivet::pasteboardRepresentations(item);
        benchmark::DoNotOptimize(representations);
    }
    state.counters["input_MB"] = double(item.imageData->size()) / (1024 * 1024);
}

void jpegRecordWithPngConversion(benchmark::State& state)
{
    imageRecordRepresentations(state, "JPEG");
}
void pngRecordAsIs(benchmark::State& state)
{
    imageRecordRepresentations(state, "PNG");
}

void largeTextTargets(benchmark::State& state)
{
    const QByteArray text = QString(QStringLiteral("Grüße, clipboard! "))
                                .repeated(int(state.range(0)) * 1024 * 1024 / 20)
                                .toUtf8();
    const QList<brivet::PasteboardRepresentation> representations{
        {brivet::PasteboardType::String, text}};
    for (auto _ : state) {
        auto targets = brivet::x11ClipboardTargets(representations);
        benchmark::DoNotOptimize(targets);
    }
    state.counters["text_MB"] = double(text.size()) / (1024 * 1024);
}

} // namespace

BENCHMARK(jpegRecordWithPngConversion)->Arg(1920)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(pngRecordAsIs)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(largeTextTargets)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
