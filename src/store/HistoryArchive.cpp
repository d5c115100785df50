#include "store/HistoryArchive.h"

#include "store/ExternalData.h"
#include "store/ModelContext.h"
#include "store/StoreLogging.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstring>

namespace brivet {

namespace {

constexpr int kBlock = 512;
const QString kRecords = QStringLiteral("records.json");
const QString kManifest = QStringLiteral("manifest.json");
const QString kBlobs = QStringLiteral("blobs/");

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void putOctal(char* field, int width, qint64 value)
{
    // width - 1 digits and a NUL, as ustar writes them.
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    std::memcpy(field, digits.constData(), size_t(width - 1));
    field[width - 1] = '\0';
}

qint64 headerChecksum(const char* header)
{
    qint64 sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header[i]);
    return sum;
}

// One regular file member: header, bytes, padding to the block.
void appendMember(QByteArray& tar, const QString& name, const QByteArray& bytes, qint64 mtime)
{
    char header[kBlock] = {};
    const QByteArray encoded = name.toUtf8();
    std::memcpy(header, encoded.constData(), size_t(std::min<qsizetype>(encoded.size(), 99)));
    putOctal(header + 100, 8, 0600);
    putOctal(header + 108, 8, 0);
    putOctal(header + 116, 8, 0);
    putOctal(header + 124, 12, bytes.size());
    putOctal(header + 136, 12, mtime);
    header[156] = '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    const QByteArray checksum =
        QByteArray::number(headerChecksum(header), 8).rightJustified(6, '0');
    std::memcpy(header + 148, checksum.constData(), 6);
    header[154] = '\0';
    header[155] = ' ';
    tar.append(header, kBlock);
    tar.append(bytes);
    tar.append(QByteArray((kBlock - bytes.size() % kBlock) % kBlock, '\0'));
}

std::optional<qint64> octal(const char* field, int width)
{
    QByteArray text(field, width);
    text = text.left(text.indexOf('\0') < 0 ? width : text.indexOf('\0')).trimmed();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 8);
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

// Every member of a tar archive by name; else why it cannot be read.
std::variant<QHash<QString, QByteArray>, QString> members(const QByteArray& tar)
{
    QHash<QString, QByteArray> files;
    qsizetype at = 0;
    for (;;) {
        if (at + kBlock > tar.size())
            return QStringLiteral("the archive ends in the middle (no end marker)");
        const char* header = tar.constData() + at;
        if (std::all_of(header, header + kBlock, [](char c) { return c == '\0'; }))
            return files;
        const auto checksum = octal(header + 148, 8);
        if (!checksum || *checksum != headerChecksum(header))
            return QStringLiteral("a header of the archive is damaged (at byte %1)").arg(at);
        const auto size = octal(header + 124, 12);
        if (!size)
            return QStringLiteral("a header of the archive is damaged (at byte %1)").arg(at);
        const QString name = QString::fromUtf8(header, qstrnlen(header, 100));
        at += kBlock;
        if (at + *size > tar.size())
            return QStringLiteral("the archive is cut short in %1").arg(name);
        if (header[156] == '0' || header[156] == '\0')
            files.insert(name, tar.mid(at, *size));
        at += (*size + kBlock - 1) / kBlock * kBlock;
    }
}

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue();
}

std::optional<QString> textField(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

} // namespace

std::optional<QString> HistoryArchive::write(ModelContext& context, const QString& path)
{
    const auto items =
        context.fetch(ItemFetch{ItemPredicate::all(), ItemFetch::Order::OldestFirst});
    const auto categories = context.fetch(CategoryFetch{});
    if (!items || !categories)
        return QStringLiteral("cannot read the history: %1").arg(context.lastError());

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray tar;
    QJsonObject manifestFiles;
    QSet<QString> blobsWritten;
    const auto blob = [&](const std::optional<Blob>& buffer) -> QJsonValue {
        if (!buffer)
            return QJsonValue();
        const QByteArray bytes = buffer->data();
        const QString hash = sha256(bytes);
        if (!blobsWritten.contains(hash)) {
            blobsWritten.insert(hash);
            appendMember(tar, kBlobs + hash, bytes, now);
            manifestFiles.insert(kBlobs + hash,
                                 QJsonObject{{"size", bytes.size()}, {"sha256", hash}});
        }
        return hash;
    };

    QJsonArray itemArray, categoryArray, membershipArray;
    for (const Category& category : *categories)
        categoryArray.append(QJsonObject{{"id", category.id.toString(QUuid::WithoutBraces)},
                                         {"name", category.name},
                                         {"colorHex", category.colorHex},
                                         {"order", category.order},
                                         {"isDefault", category.isDefault}});
    for (const ClipboardItem& item : *items) {
        const QString id = item.id.toString(QUuid::WithoutBraces);
        QJsonObject forms; // a text's formatting, by MIME type
        for (auto it = item.representations.constBegin(); it != item.representations.constEnd();
             ++it)
            forms.insert(it.key(), blob(it.value()));
        itemArray.append(QJsonObject{{"id", id},
                                     {"contentType", item.contentType},
                                     {"textContent", optionalText(item.textContent)},
                                     {"urlString", optionalText(item.urlString)},
                                     {"filePath", optionalText(item.filePath)},
                                     {"fileName", optionalText(item.fileName)},
                                     {"timestamp", item.timestamp.toMSecsSinceEpoch()},
                                     {"sourceAppName", optionalText(item.sourceAppName)},
                                     {"sourceAppBundleID", optionalText(item.sourceAppBundleID)},
                                     {"characterCount", item.characterCount},
                                     {"imageData", blob(item.imageData)},
                                     {"thumbnailData", blob(item.thumbnailData)},
                                     {"fileData", blob(item.fileData)},
                                     {"representations", forms}});
        for (const Category& category : context.categories(item).value_or(QList<Category>())) {
            QJsonObject membership{{"item", id},
                                   {"category", category.id.toString(QUuid::WithoutBraces)}};
            const auto pin = context.pinState(item.persistentId(), category.persistentId());
            if (pin && pin->position)
                membership.insert("position", *pin->position);
            membershipArray.append(membership);
        }
    }
    const QByteArray records = QJsonDocument(QJsonObject{{"items", itemArray},
                                                         {"categories", categoryArray},
                                                         {"memberships", membershipArray}})
                                   .toJson(QJsonDocument::Compact);
    appendMember(tar, kRecords, records, now);
    manifestFiles.insert(kRecords,
                         QJsonObject{{"size", records.size()}, {"sha256", sha256(records)}});
    const QByteArray manifest = QJsonDocument(QJsonObject{{"format", formatName},
                                                          {"version", formatVersion},
                                                          {"files", manifestFiles}})
                                    .toJson(QJsonDocument::Indented);
    appendMember(tar, kManifest, manifest, now);
    tar.append(QByteArray(2 * kBlock, '\0'));
    if (auto error = ExternalData::writePrivateFile(path, tar))
        return error;
    qCInfo(lcStore) << "exported" << items->size() << "items to" << path;
    return std::nullopt;
}

std::variant<HistoryArchive::Contents, QString> HistoryArchive::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
    auto found = members(file.readAll());
    if (auto* error = std::get_if<QString>(&found))
        return *error;
    const auto& files = std::get<QHash<QString, QByteArray>>(found);

    QJsonParseError parseError;
    const QJsonObject manifest =
        QJsonDocument::fromJson(files.value(kManifest), &parseError).object();
    if (!files.contains(kManifest) ||
        manifest.value("format").toString() != QLatin1String(formatName))
        return QStringLiteral("not a Brivet history archive (no manifest)");
    if (manifest.value("version").toInt() > formatVersion)
        return QStringLiteral("written by a newer Brivet (format %1)")
            .arg(manifest.value("version").toInt());
    const QJsonObject listed = manifest.value("files").toObject();
    if (!listed.contains(kRecords))
        return QStringLiteral("the archive holds no records");
    for (auto it = listed.begin(); it != listed.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        if (!files.contains(it.key()))
            return QStringLiteral("%1 is missing from the archive").arg(it.key());
        const QByteArray& bytes = files[it.key()];
        if (bytes.size() != entry.value("size").toInteger(-1) ||
            sha256(bytes) != entry.value("sha256").toString())
            return QStringLiteral("%1 is damaged (its checksum does not match)").arg(it.key());
    }

    const QJsonObject records = QJsonDocument::fromJson(files[kRecords], &parseError).object();
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("records.json is not readable: %1").arg(parseError.errorString());
    const auto blob = [&](const QJsonObject& object, const char* key,
                          std::optional<Blob>& out) -> bool {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isNull() || value.isUndefined())
            return true;
        const QString name = kBlobs + value.toString();
        if (!value.isString() || !listed.contains(name))
            return false;
        out = Blob(files[name]);
        return true;
    };

    Contents contents;
    for (const QJsonValue& value : records.value("items").toArray()) {
        const QJsonObject object = value.toObject();
        ClipboardItem item;
        item.id = QUuid::fromString(object.value("id").toString());
        item.contentType = object.value("contentType").toString();
        const QJsonValue timestamp = object.value("timestamp");
        if (item.id.isNull() || item.contentType.isEmpty() || !timestamp.isDouble())
            return QStringLiteral("an item of records.json lacks its id, kind or time");
        item.timestamp = QDateTime::fromMSecsSinceEpoch(timestamp.toInteger(), Qt::UTC);
        item.textContent = textField(object, "textContent");
        item.urlString = textField(object, "urlString");
        item.filePath = textField(object, "filePath");
        item.fileName = textField(object, "fileName");
        item.sourceAppName = textField(object, "sourceAppName");
        item.sourceAppBundleID = textField(object, "sourceAppBundleID");
        item.characterCount = object.value("characterCount").toInteger();
        if (!blob(object, "imageData", item.imageData) ||
            !blob(object, "thumbnailData", item.thumbnailData) ||
            !blob(object, "fileData", item.fileData))
            return QStringLiteral("item %1 names bytes the archive does not hold")
                .arg(item.id.toString(QUuid::WithoutBraces));
        const QJsonObject forms = object.value("representations").toObject();
        for (auto it = forms.constBegin(); it != forms.constEnd(); ++it) {
            std::optional<Blob> form;
            if (!blob(forms, it.key().toUtf8().constData(), form))
                return QStringLiteral("item %1 names bytes the archive does not hold")
                    .arg(item.id.toString(QUuid::WithoutBraces));
            if (form)
                item.representations.insert(it.key(), *form);
        }
        contents.items.append(item);
    }
    for (const QJsonValue& value : records.value("categories").toArray()) {
        const QJsonObject object = value.toObject();
        Category category;
        category.id = QUuid::fromString(object.value("id").toString());
        if (category.id.isNull())
            return QStringLiteral("a category of records.json lacks its id");
        category.name = object.value("name").toString();
        category.colorHex = object.value("colorHex").toString(QStringLiteral("#FFFFFF"));
        category.order = object.value("order").toInteger();
        category.isDefault = object.value("isDefault").toBool();
        contents.categories.append(category);
    }
    for (const QJsonValue& value : records.value("memberships").toArray()) {
        const QJsonObject object = value.toObject();
        const QUuid item = QUuid::fromString(object.value("item").toString());
        const QUuid category = QUuid::fromString(object.value("category").toString());
        if (item.isNull() || category.isNull())
            return QStringLiteral("a pin of records.json lacks its item or category");
        const QJsonValue position = object.value("position");
        if (!position.isUndefined() && !position.isDouble())
            return QStringLiteral("a pin of records.json has a position that is not a number");
        contents.memberships.append(
            {item, category,
             position.isDouble() ? std::optional(position.toInteger()) : std::nullopt});
    }
    return contents;
}

std::variant<HistoryArchive::Merged, QString> HistoryArchive::merge(ModelContext& context,
                                                                    const Contents& contents)
{
    if (context.hasChanges() && !context.save())
        return QStringLiteral("the history has changes it cannot save: %1")
            .arg(context.lastError());
    Merged merged;
    const auto existing = context.fetch(CategoryFetch{});
    if (!existing)
        return QStringLiteral("cannot read the categories: %1").arg(context.lastError());
    QHash<QUuid, Category> categories;
    std::optional<Category> storeDefault;
    for (const Category& category : *existing) {
        categories.insert(category.id, category);
        if (category.isDefault)
            storeDefault = category;
    }
    for (Category category : contents.categories) {
        if (categories.contains(category.id))
            continue;
        if (category.isDefault && storeDefault) {
            categories.insert(category.id, *storeDefault); // one default per store
            continue;
        }
        context.insert(category);
        categories.insert(category.id, category);
        if (category.isDefault)
            storeDefault = category;
        ++merged.categories;
    }
    QHash<QUuid, ClipboardItem> items;
    for (ClipboardItem item : contents.items) {
        const auto found = context.fetch(ItemFetch{ItemPredicate::id(item.id), {}, 1});
        if (!found) {
            context.rollback();
            return QStringLiteral("cannot read the history: %1").arg(context.lastError());
        }
        if (!found->isEmpty()) {
            items.insert(item.id, found->first());
            ++merged.skipped;
            continue;
        }
        context.insert(item);
        items.insert(item.id, item);
        ++merged.items;
    }
    for (const auto& [itemId, categoryId, position] : contents.memberships) {
        if (!items.contains(itemId) || !categories.contains(categoryId) ||
            categories[categoryId].isDefault)
            continue;
        const ClipboardItem& item = items[itemId];
        const Category& category = categories[categoryId];
        const auto pinned = context.categories(item).value_or(QList<Category>());
        if (pinned.contains(category))
            continue;
        context.link(item, category, position);
        ++merged.memberships;
    }
    if (!context.save()) {
        const QString error = context.lastError();
        context.rollback();
        return QStringLiteral("nothing was imported: %1").arg(error);
    }
    qCInfo(lcStore) << "imported" << merged.items << "items," << merged.categories << "categories,"
                    << merged.memberships << "pins;" << merged.skipped
                    << "items were there already";
    return merged;
}

} // namespace brivet
