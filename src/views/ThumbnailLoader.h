#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QUuid>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace brivet {

class Database;

// Reads what the panel shows of a record beyond its list row: the card picture, the full
// picture and the start of a long text. Safe to call from any thread at once: each call reads
// through a read-only connection of its own, taken from a small pool, so a slow decode never holds
// up the main context's writes.
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
    // The picture at its best for a large view: imageData of an image item, else the
    // thumbnail; scaled as load() does.
    QImage loadFull(const QUuid& itemId, const QSize& requestedSize) const;

    struct TextStart
    {
        QString text;          // at most the characters asked for
        qint64 characters = 0; // of the whole text (code points)
    };
    // The first maxCharacters code points of a record's text and its whole length; nothing
    // when the record is gone or has no text.
    std::optional<TextStart> loadTextStart(const QUuid& itemId, qint64 maxCharacters) const;

private:
    QByteArray readBlob(Database& connection, const char* sql, const QUuid& itemId) const;
    std::unique_ptr<Database> takeConnection() const;
    void returnConnection(std::unique_ptr<Database> connection) const;

    QString m_databasePath;
    mutable std::mutex m_mutex;
    mutable std::vector<std::unique_ptr<Database>> m_idle;
};

} // namespace brivet
