#include "capture/PasteboardReader.h"

#include "capture/CaptureLogging.h"
#include "store/ContentType.h"
#include "store/ExternalData.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace brivet {

namespace {

// Matched against the scheme exactly as written: "HTTP://..." stays a text.
constexpr std::array<QStringView, 3> linkSchemes{u"http", u"https", u"ftp"};

ClipboardItemContent contentFrom(ContentType type, const ApplicationInfo& source)
{
    ClipboardItemContent content;
    content.contentType = rawValue(type);
    content.sourceAppName = source.name;
    content.sourceAppBundleID = source.bundleId;
    return content;
}

// The local path of a file URL entry, without trailing slashes, so that a folder copied by
// two file managers is the same path; none when the entry is not a usable file URL.
std::optional<QString> localPathOf(const QString& urlString)
{
    const QUrl url(urlString.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file"))
        return std::nullopt;
    QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

PasteboardReader::PasteboardReader(std::shared_ptr<const FileThumbnailer> thumbnailer,
                                   qint64 maxFileDataSize)
    : m_thumbnailer(std::move(thumbnailer)), m_maxFileDataSize(maxFileDataSize)
{}

QList<ClipboardItem> PasteboardReader::readItems(const PasteboardContents& contents,
                                                 const ApplicationInfo& source) const
{
    if (contents.hasType(PasteboardType::FileURL)) {
        QList<ClipboardItem> files = readFileItems(contents, source);
        if (!files.isEmpty())
            return files;
    }
    const std::optional<QString> text = contents.stringForType(PasteboardType::String);
    if (contents.hasType(PasteboardType::TIFF) || contents.hasType(PasteboardType::PNG)) {
        std::optional<ClipboardItem> image = readImageItem(contents, source);
        // Bytes that decode to no picture (and so get no thumbnail) lose to a text.
        if (image && (image->thumbnailData || !text))
            return {std::move(*image)};
        if (image)
            qCDebug(lcCapture) << "the copied image cannot be decoded; the copy is recorded by "
                                  "its text";
    }
    if (!text)
        return {};

    const bool link = isLink(*text);
    ClipboardItemContent content =
        contentFrom(link ? ContentType::Link : ContentType::Text, source);
    content.textContent = *text;
    if (link)
        content.urlString = *text;
    for (const auto& [type, mimeType] : richTextTypes) {
        if (std::optional<QByteArray> bytes = contents.dataForType(type))
            content.representations.insert(QLatin1String(mimeType), *bytes);
    }
    return {ClipboardItem(content)};
}

QList<ClipboardItem> PasteboardReader::readFileItems(const PasteboardContents& contents,
                                                     const ApplicationInfo& source) const
{
    QList<ClipboardItem> items;
    qint64 budget = maxCaptureDataSize();
    for (const QString& urlString : contents.fileUrlStrings) {
        const std::optional<QString> path = localPathOf(urlString);
        if (!path) {
            qCDebug(lcCapture) << "skipped a file entry that is not a local file URL";
            continue;
        }
        ClipboardItemContent content = contentFrom(ContentType::File, source);
        content.thumbnailData = makeFileThumbnail(*path);
        const qint64 limit = std::min(m_maxFileDataSize, budget);
        content.fileData = readFileData(*path, limit);
        if (content.fileData)
            budget -= content.fileData->size();
        else if (limit < m_maxFileDataSize)
            qCDebug(lcCapture) << "kept a file by path only: the copy's contents reached"
                               << maxCaptureDataSize() << "bytes";
        content.filePath = *path;
        content.fileName = path->section(QLatin1Char('/'), -1);
        if (content.fileName->isEmpty())
            content.fileName = *path; // the root folder
        ClipboardItem item(content);
        if (item.fileData && !m_stagingDirectory.isEmpty()) {
            if (auto staged = ExternalData::stage(m_stagingDirectory, item.fileData->data()))
                item.fileData = std::move(staged);
        }
        items.append(std::move(item));
    }
    return items;
}

std::optional<ClipboardItem> PasteboardReader::readImageItem(const PasteboardContents& contents,
                                                             const ApplicationInfo& source) const
{
    std::optional<QByteArray> bytes = contents.dataForType(PasteboardType::TIFF);
    if (!bytes || bytes->isEmpty())
        bytes = contents.dataForType(PasteboardType::PNG);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;

    ClipboardItemContent content = contentFrom(ContentType::Image, source);
    content.thumbnailData = makeImageThumbnail(*bytes);
    content.imageData = std::move(*bytes);
    return ClipboardItem(content);
}

std::optional<QByteArray> PasteboardReader::makeFileThumbnail(const QString& path) const
{
    if (!m_thumbnailer)
        return std::nullopt;
    return m_thumbnailer->thumbnail(path, thumbnailBound);
}

std::optional<QByteArray> PasteboardReader::readFileData(const QString& path, qint64 limit) const
{
    const QString standardized = QDir::cleanPath(path);
    const QFileInfo info(standardized);
    // Only regular files: a folder has no contents, and a pipe or a device such as /dev/zero
    // would never end.
    if (!info.exists() || !info.isFile())
        return std::nullopt;
    // The size comes from the file's attributes, so a file over the limit is never opened.
    const qint64 size = info.size();
    if (size > limit)
        return std::nullopt;

    QFile file(standardized);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(size);
    // Read to the end rather than trusting the size: the file may grow while it is read, and
    // then the limit still holds.
    constexpr qint64 chunkSize = 1024 * 1024;
    for (;;) {
        const qint64 wanted = std::min(chunkSize, limit - bytes.size() + 1);
        const qsizetype start = bytes.size();
        bytes.resize(start + wanted);
        const qint64 got = file.read(bytes.data() + start, wanted);
        if (got < 0)
            return std::nullopt;
        bytes.resize(start + got);
        if (bytes.size() > limit)
            return std::nullopt;
        if (got == 0)
            break;
    }
    bytes.squeeze();
    return bytes;
}

std::optional<QByteArray> PasteboardReader::makeImageThumbnail(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;

    const int width = image.width();
    const int height = image.height();
    if (width <= thumbnailBound && height <= thumbnailBound)
        return bytes;

    const double scale = std::min(double(thumbnailBound) / width, double(thumbnailBound) / height);
    const QSize scaledSize(std::max(1, int(std::lround(width * scale))),
                           std::max(1, int(std::lround(height * scale))));
    const QImage scaled = image.scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QByteArray png;
    QBuffer output(&png);
    if (!output.open(QIODevice::WriteOnly) || !scaled.save(&output, "PNG"))
        return std::nullopt;
    return png;
}

bool PasteboardReader::isLink(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    // QUrl lowers the scheme's case; the link kind wants it exactly as written.
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QStringView written = QStringView(text).left(colon);
    return std::find(linkSchemes.begin(), linkSchemes.end(), written) != linkSchemes.end();
}

} // namespace brivet
