#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QUuid>
#include <memory>
#include <mutex>
#include <vector>

namespace brivet {

class Database;

// Reads the card picture of a record for the panel's image provider. Safe to call from any
// thread at once: each call reads through a read-only connection of its own, taken from a
// small pool, so a slow decode never holds up the main context's writes.
class ThumbnailLoader
{
public:
    explicit ThumbnailLoader(QString databasePath);
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // The card picture of one record: thumbnailData, else imageData for image items, decoded
    // scaled to fit requestedSize (aspect kept; an invalid size keeps the stored size). A null
    // image when there is none or it cannot be decoded.
    QImage load(const QUuid& itemId, const QSize& requestedSize) const;

private:
    std::unique_ptr<Database> takeConnection() const;
    void returnConnection(std::unique_ptr<Database> connection) const;

    QString m_databasePath;
    mutable std::mutex m_mutex;
    mutable std::vector<std::unique_ptr<Database>> m_idle;
};

} // namespace brivet
