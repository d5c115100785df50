#pragma once

#include "platform/Pasteboard.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

// What tests and benchmarks copy: files, encoded pictures and clipboard snapshots as another
// application would leave them.
namespace brivet::test {

// A picture of one colour, cheap to encode.
inline QImage plainImage(QSize size, QColor color = QColor(30, 120, 200))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A photo-like picture with enough detail that encoders and scalers do real work.
inline QImage detailedImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7 + y) & 0xff, (y * 3 + x / 5) & 0xff, ((x ^ y) * 13) & 0xff);
    }
    return image;
}

// Writes a file (and the folders it needs); stops the test run when that fails.
inline QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        qFatal("cannot encode %s", format);
    return bytes;
}

inline PasteboardContents textCopy(const QString& text)
{
    PasteboardContents contents;
    contents.types = {PasteboardType::String};
    contents.data.insert(PasteboardType::String, text.toUtf8());
    return contents;
}

inline PasteboardContents pngCopy(const QByteArray& png)
{
    PasteboardContents contents;
    contents.types = {PasteboardType::PNG};
    contents.data.insert(PasteboardType::PNG, png);
    return contents;
}

inline QString fileUrl(const QString& path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

inline PasteboardContents fileCopy(const QStringList& paths)
{
    PasteboardContents contents;
    contents.types = {PasteboardType::FileURL};
    for (const QString& path : paths)
        contents.fileUrlStrings << fileUrl(path);
    return contents;
}

} // namespace brivet::test
