#include "views/PanelImageProviders.h"

#include "store/ThumbnailLoader.h"
#include "views/ViewsLogging.h"

#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QRunnable>
#include <QSvgRenderer>
#include <QUrlQuery>
#include <QUuid>

namespace brivet {

namespace {

constexpr int kDefaultSymbolSize = 32;
constexpr int kThumbnailWorkers = 2;

class ThumbnailResponse : public QQuickImageResponse, public QRunnable
{
public:
    ThumbnailResponse(std::shared_ptr<const ThumbnailLoader> loader, QUuid id, QSize size)
        : m_loader(std::move(loader)), m_id(id), m_size(size)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        if (!m_id.isNull())
            m_image = m_loader->load(m_id, m_size);
        emit finished();
    }

    QQuickTextureFactory* textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }
    QString errorString() const override
    {
        return m_image.isNull() ? QStringLiteral("no picture") : QString();
    }

private:
    std::shared_ptr<const ThumbnailLoader> m_loader;
    QUuid m_id;
    QSize m_size;
    QImage m_image;
};

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
    auto* response = new ThumbnailResponse(m_loader, QUuid(id), size);
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
