#include "paste/PasteRepresentations.h"

#include "paste/PasteLogging.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QUrl>

namespace brivet {

namespace {

QByteArray encodePng(const QByteArray& bytes)
{
    QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return png;
}

// The plain representations followed by the record's formatted forms, as they were copied.
QList<PasteboardRepresentation> withRichText(QList<PasteboardRepresentation> representations,
                                             const ClipboardItem& item)
{
    for (const auto& [type, mimeType] : richTextTypes) {
        const auto form = item.representations.constFind(QLatin1String(mimeType));
        if (form == item.representations.constEnd())
            continue;
        QByteArray bytes = form->data();
        if (!bytes.isEmpty())
            representations.append({type, std::move(bytes)});
    }
    return representations;
}

} // namespace

QList<PasteboardRepresentation> imageRepresentations(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const std::optional<ImageFormat> format = sniffImageFormat(bytes);
    if (format == ImageFormat::PNG)
        return {{PasteboardType::PNG, bytes}};

    QList<PasteboardRepresentation> representations;
    if (format == ImageFormat::JPEG)
        representations.append({PasteboardType::JPEG, bytes});
    else if (format == ImageFormat::TIFF)
        representations.append({PasteboardType::TIFF, bytes});
    // Most applications only take PNG from the clipboard.
    QByteArray png = encodePng(bytes);
    if (!png.isEmpty())
        representations.append({PasteboardType::PNG, std::move(png)});
    else
        qCDebug(lcPaste) << "image bytes could not be converted to PNG";
    return representations;
}

std::optional<ImageFormat> sniffImageFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return ImageFormat::PNG;
    if (bytes.startsWith("\xff\xd8\xff"))
        return ImageFormat::JPEG;
    // Classic TIFF and BigTIFF, both byte orders.
    if (bytes.startsWith(QByteArrayLiteral("II*\0")) ||
        bytes.startsWith(QByteArrayLiteral("MM\0*")) ||
        bytes.startsWith(QByteArrayLiteral("II+\0")) ||
        bytes.startsWith(QByteArrayLiteral("MM\0+")))
        return ImageFormat::TIFF;
    return std::nullopt;
}

QList<PasteboardRepresentation> pasteboardRepresentations(const ClipboardItem& item)
{
    switch (item.type()) {
    case ContentType::Text:
        if (!item.textContent)
            return {};
        return withRichText({{PasteboardType::String, item.textContent->toUtf8()}}, item);
    case ContentType::Link: {
        if (!item.urlString)
            return {};
        QList<PasteboardRepresentation> representations{
            {PasteboardType::String, item.urlString->toUtf8()}};
        const QUrl url(*item.urlString, QUrl::TolerantMode);
        if (url.isValid() && !url.isRelative())
            representations.append({PasteboardType::URL, url.toEncoded()});
        return withRichText(std::move(representations), item);
    }
    case ContentType::File:
        if (!item.filePath || !QDir::isAbsolutePath(*item.filePath))
            return {};
        return {{PasteboardType::FileURL, QUrl::fromLocalFile(*item.filePath).toEncoded()}};
    case ContentType::Image:
        if (!item.imageData)
            return {};
        return imageRepresentations(item.imageData->data());
    }
    return {};
}

QList<PasteboardRepresentation> plainTextRepresentations(const ClipboardItem& item)
{
    std::optional<QString> text;
    switch (item.type()) {
    case ContentType::Text:
        text = item.textContent;
        break;
    case ContentType::Link:
        text = item.urlString;
        break;
    case ContentType::File:
        text = item.filePath;
        break;
    case ContentType::Image:
        break;
    }
    if (!text)
        return {};
    return {{PasteboardType::String, text->toUtf8()}};
}

} // namespace brivet
