#include "views/PanelImageProviders.h"

#include "views/ThumbnailLoader.h"
#include "views/ViewsLogging.h"

#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QRunnable>
#include <QSvgRenderer>
#include <QUrlQuery>
#include <QUuid>
#include <atomic>
#include <functional>

namespace brivet {

namespace {

constexpr int kDefaultSymbolSize = 32;
constexpr int kThumbnailWorkers = 2;

// One picture decoded on a worker. A response cancelled before its turn skips the work.
class PictureResponse : public QQuickImageResponse, public QRunnable
{
public:
    explicit PictureResponse(std::function<QImage()> decode) : m_decode(std::move(decode))
    {
        setAutoDelete(false);
    }

    void run() override
    {
        if (!m_cancelled)
            m_image = m_decode();
        emit finished();
    }
    void cancel() override { m_cancelled = true; }

    QQuickTextureFactory* textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }
    QString errorString() const override
    {
        return m_image.isNull() ? QStringLiteral("no picture") : QString();
    }

private:
    std::function<QImage()> m_decode;
    std::atomic_bool m_cancelled = false;
    QImage m_image;
};

QImage readFilePicture(const QString& path, const QSize& requestedSize)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (requestedSize.isValid() && !requestedSize.isEmpty() && stored.isValid())
        reader.setScaledSize(stored.scaled(requestedSize, Qt::KeepAspectRatio).expandedTo({1, 1}));
    QImage image = reader.read();
    if (image.isNull()) {
        qCDebug(lcViews) << "no picture from" << path << reader.errorString();
        return {};
    }
    // Formats that do not scale while decoding.
    if (requestedSize.isValid() && !requestedSize.isEmpty() &&
        (image.width() > requestedSize.width() || image.height() > requestedSize.height()))
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The picture with its corners cut round (transparent outside), radius in its own pixels.
QImage withRoundedCorners(const QImage& picture, qreal radius)
{
    if (picture.isNull() || radius <= 0)
        return picture;
    QImage rounded(picture.size(), QImage::Format_ARGB32_Premultiplied);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(picture));
    painter.drawRoundedRect(QRectF(rounded.rect()), radius, radius);
    return rounded;
}

} // namespace

ThumbnailImageProvider::ThumbnailImageProvider(std::shared_ptr<const ThumbnailLoader> loader)
    : m_loader(std::move(loader))
{
    m_pool.setMaxThreadCount(kThumbnailWorkers);
}

ThumbnailImageProvider::~ThumbnailImageProvider()
{
    m_pool.waitForDone();
}

QQuickImageResponse* ThumbnailImageProvider::requestImageResponse(const QString& id,
                                                                  const QSize& requestedSize)
{
    const QSize size = requestedSize.isValid() ? requestedSize : QSize(512, 512);
    const qsizetype query = id.indexOf(u'?');
    const QUuid itemId(QStringView(id).left(query));
    const QUrlQuery options(query >= 0 ? id.mid(query + 1) : QString());
    const bool full = options.hasQueryItem(QStringLiteral("full"));
    // The radius is in the pixels of the frame the picture is fitted in, as wide as `frame`;
    // the size asked for can be a multiple of that (the screen's pixel ratio).
    const double frame = options.queryItemValue(QStringLiteral("frame")).toDouble();
    const double radius = frame > 0 ? options.queryItemValue(QStringLiteral("radius")).toDouble() *
                                          size.width() / frame
                                    : 0;
    auto* response = new PictureResponse([loader = m_loader, itemId, size, full, radius] {
        if (itemId.isNull())
            return QImage();
        return withRoundedCorners(
            full ? loader->loadFull(itemId, size) : loader->load(itemId, size), radius);
    });
    m_pool.start(response);
    return response;
}

FilePictureImageProvider::FilePictureImageProvider()
{
    m_pool.setMaxThreadCount(1);
}

FilePictureImageProvider::~FilePictureImageProvider()
{
    m_pool.waitForDone();
}

QQuickImageResponse* FilePictureImageProvider::requestImageResponse(const QString& id,
                                                                    const QSize& requestedSize)
{
    const QString path = QUrl::fromPercentEncoding(id.toUtf8());
    auto* response = new PictureResponse([path, requestedSize] {
        return readFilePicture(path, requestedSize.isValid() ? requestedSize : QSize(1024, 1024));
    });
    m_pool.start(response);
    return response;
}

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    const qsizetype query = id.indexOf(u'?');
    const QString name = id.left(query);
    QColor color(Qt::black);
    if (query >= 0) {
        const QUrlQuery parameters(id.mid(query + 1));
        const QColor asked(parameters.queryItemValue(QStringLiteral("color"), QUrl::FullyDecoded));
        if (asked.isValid())
            color = asked;
    }
    QSvgRenderer renderer(QStringLiteral(":/qt/qml/Brivet/Views/symbols/%1.svg").arg(name));
    if (!renderer.isValid()) {
        qCWarning(lcViews) << "no symbol named" << name;
        return {};
    }
    QSize target = requestedSize;
    if (target.width() <= 0 && target.height() <= 0)
        target = QSize(kDefaultSymbolSize, kDefaultSymbolSize);
    else if (target.width() <= 0)
        target.setWidth(target.height());
    else if (target.height() <= 0)
        target.setHeight(target.width());
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    // The drawings are black shapes: keep their coverage, take the colour asked for.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    if (size)
        *size = image.size();
    return image;
}

FileIconImageProvider::FileIconImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage FileIconImageProvider::requestImage(const QString& id, QSize* size,
                                           const QSize& requestedSize)
{
    // By name only: the file may be gone, or slow to read.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(id, QMimeDatabase::MatchExtension);
    QIcon icon;
    if (type.isValid()) {
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull())
        return {};
    const QSize target = requestedSize.isValid() ? requestedSize : QSize(64, 64);
    QImage image = icon.pixmap(target).toImage();
    if (size)
        *size = image.size();
    return image;
}

} // namespace brivet
