#pragma once

#include "store/Blob.h"
#include "store/ContentType.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QUuid>
#include <optional>

namespace brivet {

// Persistent identity of a stored record; 0 until the record is inserted into a context.
using PersistentId = qint64;

// Everything a new record is made from. Absent fields stay absent.
struct ClipboardItemContent
{
    QString contentType;
    std::optional<QString> textContent;
    std::optional<QByteArray> imageData;
    std::optional<QByteArray> thumbnailData;
    std::optional<QString> urlString;
    std::optional<QString> filePath;
    std::optional<QString> fileName;
    std::optional<QByteArray> fileData;
    std::optional<QString> sourceAppName;
    std::optional<QString> sourceAppBundleID;
    // Further forms of the same content by MIME type (a text's "text/html", "text/rtf").
    QMap<QString, QByteArray> representations;
};

// One history entry: a text, a link, an image or a file, with the time it was copied and
// the application it came from. A value type; the store context gives it its persistent
// identity on insert, and two items are equal exactly when that identity is the same.
class ClipboardItem
{
public:
    ClipboardItem() = default; // store-driven creation: the field defaults
    // A new record: fresh id, timestamp now, characterCount counted from textContent.
    explicit ClipboardItem(const ClipboardItemContent& content,
                           const QDateTime& now = QDateTime::currentDateTimeUtc());

    QUuid id = QUuid::createUuid();
    QString contentType;
    std::optional<QString> textContent;
    std::optional<Blob> imageData;
    std::optional<Blob> thumbnailData;
    std::optional<QString> urlString;
    std::optional<QString> filePath;
    std::optional<QString> fileName;
    std::optional<Blob> fileData; // kept outside the database file
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    std::optional<QString> sourceAppName;
    std::optional<QString> sourceAppBundleID;
    qint64 characterCount = 0;
    // Further forms of the same content by MIME type, offered again when it is pasted: the
    // formatting of a copied text ("text/html", "text/rtf"). The panel shows the plain text.
    QMap<QString, Blob> representations;

    PersistentId persistentId() const { return m_persistentId; }

    // Kind parsed from contentType; unknown text is Text.
    ContentType type() const { return contentTypeFromRaw(contentType); }
    // "Just now" under a minute, else an abbreviated relative phrase in the user's locale.
    QString timeAgo(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // One-line detail for the card ("12 characters", "PDF File · 240 KB", a link's host...).
    QString detailText() const;

    friend bool operator==(const ClipboardItem& a, const ClipboardItem& b)
    {
        return a.m_persistentId != 0 && a.m_persistentId == b.m_persistentId;
    }

private:
    friend class ModelContext;
    PersistentId m_persistentId = 0;
};

size_t qHash(const ClipboardItem& item, size_t seed = 0);

// Number of user-perceived characters (extended grapheme clusters) of a text.
qint64 countCharacters(const QString& text);
// Whole kilobytes or megabytes, never rounded up: "0 KB", "1024 KB", "1 MB".
QString sizeText(qint64 byteCount);

} // namespace brivet
