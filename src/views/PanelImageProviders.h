#pragma once

#include <QQuickAsyncImageProvider>
#include <QQuickImageProvider>
#include <QThreadPool>
#include <memory>

namespace brivet {

class ThumbnailLoader;

// "image://thumbnail/<itemId>": the card picture of one record, read and decoded off the main
// thread at the size the card asks for. An item without a picture gives an error, which the
// card turns into its placeholder symbol. "image://thumbnail/<itemId>?full": the picture at
// its best, for the preview (an image item's own picture before its thumbnail).
// "?radius=R&frame=W": its corners cut round with radius R, in the units of a frame W wide
// that the picture is fitted in at the size asked for.
class ThumbnailImageProvider : public QQuickAsyncImageProvider
{
public:
    explicit ThumbnailImageProvider(std::shared_ptr<const ThumbnailLoader> loader);
    ~ThumbnailImageProvider() override;

    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;

private:
    std::shared_ptr<const ThumbnailLoader> m_loader;
    QThreadPool m_pool;
};

// "image://filepicture/<path>": the picture in an image file, decoded off the main thread at
// the size asked for (formats that can decode at a smaller scale do so). An error for a
// missing, unreadable or too large file; a request given up before its turn is skipped.
class FilePictureImageProvider : public QQuickAsyncImageProvider
{
public:
    FilePictureImageProvider();
    ~FilePictureImageProvider() override;

    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;

private:
    QThreadPool m_pool;
};

// "image://symbol/<name>?color=<#rrggbb>": one of the panel's symbols ("gear", "photo",
// "pin.fill", ...), drawn from the program's own vector images in one colour.
class SymbolImageProvider : public QQuickImageProvider
{
public:
    SymbolImageProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

// "image://fileicon/<path>": the desktop icon theme's icon for the kind of file the path names
// (by its name; the file may be gone), or an error when the theme has none.
class FileIconImageProvider : public QQuickImageProvider
{
public:
    FileIconImageProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace brivet
