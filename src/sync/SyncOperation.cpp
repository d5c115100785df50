#include "sync/SyncOperation.h"

#include <QCborArray>
#include <QCborStreamReader>
#include <sodium.h>

namespace brivet {
namespace {

const QString kType = QStringLiteral("t");
const QString kStamp = QStringLiteral("s");
const QString kRecord = QStringLiteral("r");
const QString kCategory = QStringLiteral("c");
const QString kCreated = QStringLiteral("n");
const QString kPresent = QStringLiteral("p");
const QString kFields = QStringLiteral("f");
const QString kPosition = QStringLiteral("o");
const QString kBlob = QStringLiteral("blob");
// A record's further forms travel as blob fields of their own, named by MIME type.
const QString kRepresentation = QStringLiteral("representation:");

QCborValue optionalText(const std::optional<QString>& text)
{
    return text ? QCborValue(*text) : QCborValue(QCborValue::Null);
}

std::optional<QString> textOf(const QCborValue& value)
{
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

} // namespace

QByteArray encodeOperations(const std::vector<SyncOperation>& operations,
                            const SegmentWriter& writer)
{
    QCborArray list;
    for (const SyncOperation& op : operations) {
        QCborMap map;
        map.insert(kType, int(op.type));
        map.insert(kStamp, op.stamp.encoded());
        map.insert(kRecord, op.record.toRfc4122());
        if (op.type == SyncOperation::Type::Membership) {
            map.insert(kCategory, op.category.toRfc4122());
            map.insert(kPresent, op.present);
            if (op.present && op.position)
                map.insert(kPosition, *op.position);
        }
        if (op.isWrite()) {
            if (op.created)
                map.insert(kCreated, true);
            map.insert(kFields, op.fields);
        }
        list.append(map);
    }
    QCborMap segment;
    segment.insert(QStringLiteral("v"), 1);
    segment.insert(QStringLiteral("ops"), list);
    if (!writer.host.isEmpty())
        segment.insert(QStringLiteral("host"), writer.host);
    if (writer.writtenAt != 0)
        segment.insert(QStringLiteral("time"), writer.writtenAt);
    if (writer.reach.clock != 0)
        segment.insert(QStringLiteral("clock"), qint64(writer.reach.clock));
    if (writer.reach.snapshot) {
        segment.insert(QStringLiteral("snapshot"), true);
        QCborMap seen;
        for (const auto& [device, clock] : writer.reach.seen)
            seen.insert(QString::fromLatin1(device.toHex()), qint64(clock));
        segment.insert(QStringLiteral("seen"), seen);
    }
    return segment.toCborValue().toCbor();
}

std::optional<std::vector<SyncOperation>> decodeOperations(const QByteArray& bytes,
                                                           SegmentWriter* writer)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(bytes, &error);
    if (error.error != QCborError::NoError || !root.isMap() ||
        root.toMap().value(QStringLiteral("v")).toInteger() != 1)
        return std::nullopt;
    if (writer) {
        const QCborMap header = root.toMap();
        *writer = {header.value(QStringLiteral("host")).toString(),
                   header.value(QStringLiteral("time")).toInteger(),
                   {quint64(std::max<qint64>(header.value(QStringLiteral("clock")).toInteger(), 0)),
                    header.value(QStringLiteral("snapshot")).toBool(),
                    {}}};
        const QCborMap seen = header.value(QStringLiteral("seen")).toMap();
        for (auto it = seen.constBegin(); it != seen.constEnd(); ++it) {
            const QByteArray device = QByteArray::fromHex(it.key().toString().toLatin1());
            if (device.size() == 16 && it.value().isInteger() && it.value().toInteger() > 0)
                writer->reach.seen[device] = quint64(it.value().toInteger());
        }
    }
    std::vector<SyncOperation> operations;
    for (const QCborValue& entry : root.toMap().value(QStringLiteral("ops")).toArray()) {
        const QCborMap map = entry.toMap();
        SyncOperation op;
        const qint64 type = map.value(kType).toInteger();
        if (type < 1 || type > 5)
            return std::nullopt;
        op.type = SyncOperation::Type(type);
        op.stamp = Stamp::decode(map.value(kStamp).toByteArray());
        op.record = QUuid::fromRfc4122(map.value(kRecord).toByteArray());
        if (op.stamp.isNull() || op.record.isNull())
            return std::nullopt;
        if (op.type == SyncOperation::Type::Membership) {
            op.category = QUuid::fromRfc4122(map.value(kCategory).toByteArray());
            op.present = map.value(kPresent).toBool();
            if (const QCborValue position = map.value(kPosition); position.isInteger())
                op.position = position.toInteger();
            if (op.category.isNull())
                return std::nullopt;
        }
        op.created = map.value(kCreated).toBool();
        op.fields = map.value(kFields).toMap();
        operations.push_back(std::move(op));
    }
    return operations;
}

namespace RecordFields {

QCborMap ofItem(const ClipboardItem& item, const BlobNamer& namer)
{
    auto blob = [&namer](const QString& field, const std::optional<Blob>& data) -> QCborValue {
        if (!data)
            return QCborValue(QCborValue::Null);
        const QString name = namer(field, *data);
        if (name.isEmpty())
            return QCborValue(QCborValue::Null);
        return QCborMap{{kBlob, name}};
    };
    QCborMap fields{
        {QStringLiteral("contentType"), item.contentType},
        {QStringLiteral("textContent"), optionalText(item.textContent)},
        {QStringLiteral("urlString"), optionalText(item.urlString)},
        {QStringLiteral("filePath"), optionalText(item.filePath)},
        {QStringLiteral("fileName"), optionalText(item.fileName)},
        {QStringLiteral("timestamp"), item.timestamp.toMSecsSinceEpoch()},
        {QStringLiteral("sourceAppName"), optionalText(item.sourceAppName)},
        {QStringLiteral("sourceAppBundleID"), optionalText(item.sourceAppBundleID)},
        {QStringLiteral("characterCount"), item.characterCount},
    };
    if (namer) {
        for (const auto& [field, buffer] : blobFields(item))
            fields.insert(field, blob(field, buffer));
    }
    return fields;
}

QCborMap ofCategory(const Category& category)
{
    return QCborMap{
        {QStringLiteral("name"), category.name},
        {QStringLiteral("colorHex"), category.colorHex},
        {QStringLiteral("order"), category.order},
    };
}

std::vector<std::pair<QString, std::optional<Blob>>> blobFields(const ClipboardItem& item)
{
    std::vector<std::pair<QString, std::optional<Blob>>> fields{
        {QStringLiteral("imageData"), item.imageData},
        {QStringLiteral("thumbnailData"), item.thumbnailData},
        {QStringLiteral("fileData"), item.fileData}};
    for (auto it = item.representations.constBegin(); it != item.representations.constEnd(); ++it)
        fields.emplace_back(kRepresentation + it.key(), it.value());
    return fields;
}

bool isBlobField(const QString& field)
{
    return field == QLatin1String("imageData") || field == QLatin1String("thumbnailData") ||
           field == QLatin1String("fileData") || field.startsWith(kRepresentation);
}

QString blobName(const QCborValue& value)
{
    return value.isMap() ? value.toMap().value(kBlob).toString() : QString();
}

bool setOnItem(ClipboardItem& item, const QString& field, const QCborValue& value,
               const BlobReader& reader)
{
    if (isBlobField(field)) {
        std::optional<Blob> blob;
        if (const QString name = blobName(value); !name.isEmpty()) {
            const auto bytes = reader(name);
            if (!bytes)
                return false;
            blob = Blob(*bytes);
        }
        if (field.startsWith(kRepresentation)) {
            const QString mimeType = field.mid(kRepresentation.size());
            if (blob)
                item.representations.insert(mimeType, *blob);
            else
                item.representations.remove(mimeType);
            return true;
        }
        (field == QLatin1String("imageData")       ? item.imageData
         : field == QLatin1String("thumbnailData") ? item.thumbnailData
                                                   : item.fileData) = blob;
        return true;
    }
    if (field == QLatin1String("contentType"))
        item.contentType = value.toString();
    else if (field == QLatin1String("textContent"))
        item.textContent = textOf(value);
    else if (field == QLatin1String("urlString"))
        item.urlString = textOf(value);
    else if (field == QLatin1String("filePath"))
        item.filePath = textOf(value);
    else if (field == QLatin1String("fileName"))
        item.fileName = textOf(value);
    else if (field == QLatin1String("timestamp"))
        item.timestamp = QDateTime::fromMSecsSinceEpoch(value.toInteger(), Qt::UTC);
    else if (field == QLatin1String("sourceAppName"))
        item.sourceAppName = textOf(value);
    else if (field == QLatin1String("sourceAppBundleID"))
        item.sourceAppBundleID = textOf(value);
    else if (field == QLatin1String("characterCount"))
        item.characterCount = value.toInteger();
    else
        return false;
    return true;
}

bool setOnCategory(Category& category, const QString& field, const QCborValue& value)
{
    if (field == QLatin1String("name"))
        category.name = value.toString();
    else if (field == QLatin1String("colorHex"))
        category.colorHex = value.toString();
    else if (field == QLatin1String("order"))
        category.order = value.toInteger();
    else
        return false;
    return true;
}

QByteArray fingerprint(const QCborValue& value)
{
    const QByteArray bytes = value.toCbor();
    QByteArray hash(8, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(bytes.constData()),
                       size_t(bytes.size()), nullptr, 0);
    return hash;
}

} // namespace RecordFields
} // namespace brivet
