#include "views/ThumbnailLoader.h"

#include "store/Database.h"
#include "views/ViewsLogging.h"

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
        qCWarning(lcViews) << "thumbnails:" << error;
    return connection;
}

void ThumbnailLoader::returnConnection(std::unique_ptr<Database> connection) const
{
    std::lock_guard lock(m_mutex);
    m_idle.push_back(std::move(connection));
}

namespace {
constexpr const char* kThumbnailSql = "SELECT d.thumbnailData FROM ClipboardItem c JOIN "
                                      "ClipboardItemData d ON d.item = c.pk WHERE c.id = ?";
constexpr const char* kImageSql =
    "SELECT d.imageData FROM ClipboardItem c JOIN ClipboardItemData d "
    "ON d.item = c.pk WHERE c.id = ? AND c.contentType = 'image'";
} // namespace

QByteArray ThumbnailLoader::readBlob(Database& connection, const char* sql,
                                     const QUuid& itemId) const
{
    Statement* statement = connection.prepare(sql);
    if (!statement || !statement->bind(1, itemId.toString(QUuid::WithoutBraces)).step())
        return {};
    QByteArray bytes = statement->blob(0);
    statement->finish();
    return bytes;
}

QImage ThumbnailLoader::load(const QUuid& itemId, const QSize& requestedSize) const
{
    auto connection = takeConnection();
    if (!connection)
        return {};
    // The thumbnail first; the image's own bytes only when there is no usable thumbnail.
    QImage result = decode(readBlob(*connection, kThumbnailSql, itemId), requestedSize);
    if (result.isNull())
        result = decode(readBlob(*connection, kImageSql, itemId), requestedSize);
    returnConnection(std::move(connection));
    return result;
}

QImage ThumbnailLoader::loadFull(const QUuid& itemId, const QSize& requestedSize) const
{
    auto connection = takeConnection();
    if (!connection)
        return {};
    QImage result = decode(readBlob(*connection, kImageSql, itemId), requestedSize);
    if (result.isNull())
        result = decode(readBlob(*connection, kThumbnailSql, itemId), requestedSize);
    returnConnection(std::move(connection));
    return result;
}

std::optional<ThumbnailLoader::TextStart> ThumbnailLoader::loadTextStart(const QUuid& itemId,
                                                                         qint64 maxCharacters) const
{
    auto connection = takeConnection();
    if (!connection)
        return std::nullopt;
    std::optional<TextStart> result;
    Statement* statement = connection->prepare(
        "SELECT substr(textContent, 1, ?), length(textContent) FROM ClipboardItem "
        "WHERE id = ? AND textContent IS NOT NULL");
    if (statement &&
        statement->bind(1, maxCharacters).bind(2, itemId.toString(QUuid::WithoutBraces)).step()) {
        result = TextStart{statement->text(0), statement->int64(1)};
        statement->finish();
    }
    returnConnection(std::move(connection));
    return result;
}

} // namespace brivet
