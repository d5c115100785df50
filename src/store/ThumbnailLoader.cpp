#include "store/ThumbnailLoader.h"

#include "store/Database.h"
#include "store/StoreLogging.h"

#include <QBuffer>
#include <QImageReader>

namespace brivet {
namespace {

QImage decode(const QByteArray& bytes, const QSize& requestedSize)
{
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize stored = reader.size();
    if (requestedSize.isValid() && !requestedSize.isEmpty() && stored.isValid())
        reader.setScaledSize(stored.scaled(requestedSize, Qt::KeepAspectRatio).expandedTo({1, 1}));
    QImage image = reader.read();
    if (!image.isNull() && requestedSize.isValid() && !requestedSize.isEmpty() &&
        !stored.isValid()) // formats that do not tell their size before decoding
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

ThumbnailLoader::ThumbnailLoader(QString databasePath) : m_databasePath(std::move(databasePath)) {}

ThumbnailLoader::~ThumbnailLoader() = default;

std::unique_ptr<Database> ThumbnailLoader::takeConnection() const
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto connection = std::move(m_idle.back());
            m_idle.pop_back();
            return connection;
        }
    }
    QString error;
    auto connection = Database::openReadOnly(m_databasePath, &error);
    if (!connection)
        qCWarning(lcStore) << "thumbnails:" << error;
    return connection;
}

void ThumbnailLoader::returnConnection(std::unique_ptr<Database> connection) const
{
    std::lock_guard lock(m_mutex);
    m_idle.push_back(std::move(connection));
}

QImage ThumbnailLoader::load(const QUuid& itemId, const QSize& requestedSize) const
{
    auto connection = takeConnection();
    if (!connection)
        return {};
    QByteArray thumbnail;
    QByteArray image;
    if (Statement* read = connection->prepare(
            "SELECT d.thumbnailData, CASE WHEN c.contentType = 'image' THEN d.imageData END "
            "FROM ClipboardItem c JOIN ClipboardItemData d ON d.item = c.pk WHERE c.id = ?");
        read && read->bind(1, itemId.toString(QUuid::WithoutBraces)).step()) {
        thumbnail = read->blob(0);
        image = read->blob(1);
        read->finish();
    }
    returnConnection(std::move(connection));
    QImage result = decode(thumbnail, requestedSize);
    return result.isNull() ? decode(image, requestedSize) : result;
}

} // namespace brivet
