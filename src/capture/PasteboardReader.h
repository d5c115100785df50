#pragma once

#include "platform/FileThumbnailer.h"
#include "platform/FrontApplication.h"
#include "platform/Pasteboard.h"
#include "store/ClipboardItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace brivet {

// Turns one clipboard snapshot into new, not yet inserted history records: copied files first,
// then an image (unless it cannot be decoded and a text came with it), then the plain string
// (a link or a text, which keeps the formatted forms that came with it: HTML, RTF). It touches neither the store nor
// the clipboard and holds everything it needs by value, so a copy of it can run on a worker
// thread while the monitor that made it goes away.
class PasteboardReader
{
public:
    // Largest file whose contents are kept with its record (25 MiB).
    static constexpr qint64 defaultMaxFileDataSize = 25 * 1024 * 1024;
    // Contents kept for all the files of one copy together, in multiples of the file limit:
    // selecting hundreds of large files and copying them must not exhaust memory.
    static constexpr qint64 captureDataSizeFactor = 4;
    // Longest side of image and file thumbnails.
    static constexpr int thumbnailBound = 512;

    // thumbnailer may be null: file records then carry no thumbnail.
    explicit PasteboardReader(std::shared_ptr<const FileThumbnailer> thumbnailer,
                              qint64 maxFileDataSize = defaultMaxFileDataSize);

    qint64 maxFileDataSize() const { return m_maxFileDataSize; }
    // Where file contents are written as they are read, so that the main thread never
    // writes them (the store's external data folder). Empty: they stay in memory.
    void setStagingDirectory(const QString& directory) { m_stagingDirectory = directory; }
    // Largest total of file contents one copy keeps; later files are kept by path only.
    qint64 maxCaptureDataSize() const { return captureDataSizeFactor * m_maxFileDataSize; }

    // The records of one change; empty when the snapshot holds nothing Brivet records.
    QList<ClipboardItem> readItems(const PasteboardContents& contents,
                                   const ApplicationInfo& source) const;
    // One file record per entry with a usable local file URL, in clipboard order. Contents
    // are kept while they fit in maxCaptureDataSize.
    QList<ClipboardItem> readFileItems(const PasteboardContents& contents,
                                       const ApplicationInfo& source) const;
    // An image record from the TIFF bytes, else the PNG bytes; none when neither is there.
    std::optional<ClipboardItem> readImageItem(const PasteboardContents& contents,
                                               const ApplicationInfo& source) const;

    // PNG preview of the file, longest side at most thumbnailBound.
    std::optional<QByteArray> makeFileThumbnail(const QString& path) const;
    // The whole file when it is a regular file of at most maxFileDataSize bytes.
    std::optional<QByteArray> readFileData(const QString& path) const
    {
        return readFileData(path, m_maxFileDataSize);
    }
    // The bytes themselves when both sides are at most thumbnailBound, else a PNG scaled so
    // that the longer side is thumbnailBound; none when the bytes are not a decodable image.
    static std::optional<QByteArray> makeImageThumbnail(const QByteArray& bytes);
    // True when the text parses as a URL whose scheme, as written, is http, https or ftp.
    static bool isLink(const QString& text);

private:
    std::optional<QByteArray> readFileData(const QString& path, qint64 limit) const;

    std::shared_ptr<const FileThumbnailer> m_thumbnailer;
    qint64 m_maxFileDataSize;
    QString m_stagingDirectory;
};

} // namespace brivet
