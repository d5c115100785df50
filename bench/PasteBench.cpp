// Writing a chosen record back to the clipboard happens on the main thread: how long an image
// record's conversion to PNG and a large text's X11 targets take.
#include "paste/PasteRepresentations.h"
#include "platform/x11/X11ClipboardTargets.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

// A photo-sized picture with enough detail that the encoders have real work to do.
QByteArray photo(const char* format, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y) & 0xff, (y * 3 + x / 5) & 0xff, ((x ^ y) * 13) & 0xff);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return bytes;
}

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
    const brivet::ClipboardItem item = imageRecord(photo(format, width, width * 3 / 4));
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
