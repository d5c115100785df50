#pragma once

#include "store/Category.h"
#include "store/ClipboardItem.h"
#include "sync/HybridClock.h"

#include <QCborMap>
#include <QUuid>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace brivet {

// One change as devices tell each other: a record's fields written (all of them when it was
// created), a record deleted for good, or an item pinned to or unpinned from a category.
struct SyncOperation
{
    enum class Type
    {
        WriteItem = 1,
        DeleteItem = 2,
        WriteCategory = 3,
        DeleteCategory = 4,
        Membership = 5,
    };
    Type type = Type::WriteItem;
    Stamp stamp;
    QUuid record;         // the item or category; for a membership, the item
    QUuid category;       // membership only
    bool created = false; // writes: the record's first write, with every field
    bool present = false; // membership: pinned (true) or unpinned (false)
    // Writes: field name -> value (text, integer, bool, null; a byte buffer as {"blob": name}).
    QCborMap fields;
    // Membership, pinned: the pin's place in the category's order (none: the record's time
    // places it; so are read the operations of devices that kept no places).
    std::optional<qint64> position = std::nullopt;

    bool isItem() const { return type == Type::WriteItem || type == Type::DeleteItem; }
    bool isWrite() const { return type == Type::WriteItem || type == Type::WriteCategory; }
    bool isDelete() const { return type == Type::DeleteItem || type == Type::DeleteCategory; }
};

// How far a segment's writer had come when it wrote the segment. Every operation the writer
// stamped up to clock (a stamp's time) is in this segment or an earlier one of its journal
// (0: not known). A snapshot holds the writer's whole state and so stands for every earlier
// segment; it also tells how far its writer had merged each device's operations (device id ->
// clock): every record such an operation touched is in the snapshot, or was deleted.
struct SegmentReach
{
    quint64 clock = 0;
    bool snapshot = false;
    std::map<QByteArray, quint64> seen;
};

// Who wrote a journal segment, when by its own clock, and how far it had come.
struct SegmentWriter
{
    QString host;         // the computer's name, for messages about it
    qint64 writtenAt = 0; // ms since the epoch
    SegmentReach reach;
};
// A journal segment's content; std::nullopt when it is not one.
QByteArray encodeOperations(const std::vector<SyncOperation>& operations,
                            const SegmentWriter& writer = {});
std::optional<std::vector<SyncOperation>> decodeOperations(const QByteArray& bytes,
                                                           SegmentWriter* writer = nullptr);

// The synced fields of the two records, and how they map to the record types.
namespace RecordFields {

// Names a byte buffer (content-addressed): the blob's name of a field's buffer, or an empty
// name when the bytes are not synced (over the size limit). The buffer is read only if the
// namer asks for its bytes.
using BlobNamer = std::function<QString(const QString& field, const Blob& buffer)>;
// The bytes of a named blob.
using BlobReader = std::function<std::optional<QByteArray>(const QString& name)>;

// Without a namer the byte buffers are left out (they never change after creation).
QCborMap ofItem(const ClipboardItem& item, const BlobNamer& namer);
QCborMap ofCategory(const Category& category);
// Writes one field onto a record; false when the field is unknown or a blob cannot be read.
bool setOnItem(ClipboardItem& item, const QString& field, const QCborValue& value,
               const BlobReader& reader);
bool setOnCategory(Category& category, const QString& field, const QCborValue& value);
// A record's byte-buffer fields (images, file bytes, further representations), each with its
// buffer if it has one.
std::vector<std::pair<QString, std::optional<Blob>>> blobFields(const ClipboardItem& item);
// Byte-buffer fields are written once, with the record, and never change afterwards.
bool isBlobField(const QString& field);
// The blob a field value names; empty for other values.
QString blobName(const QCborValue& value);
// A short fingerprint of a value, to tell whether a field changed since it was synced.
QByteArray fingerprint(const QCborValue& value);

} // namespace RecordFields
} // namespace brivet
