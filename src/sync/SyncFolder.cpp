#include "sync/SyncFolder.h"

#include "store/ExternalData.h"
#include "sync/SyncLogging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace brivet {
namespace {

QByteArray segmentContext(const QString& device, quint64 sequence)
{
    return QStringLiteral("segment/%1/%2").arg(device).arg(sequence).toUtf8();
}

QByteArray blobContext(const QString& name)
{
    return QStringLiteral("blob/%1").arg(name).toUtf8();
}

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

SyncFolder::SyncFolder(QString root, SyncKey key, QByteArray device, QString host,
                       std::function<qint64()> wallClock)
    : m_root(std::move(root)), m_key(std::move(key)), m_device(std::move(device)),
      m_host(std::move(host)), m_wallClock(std::move(wallClock))
{
    if (!m_wallClock)
        m_wallClock = [] {
            return QDateTime::currentMSecsSinceEpoch();
        };
}

QString SyncFolder::keyFilePath(const QString& root)
{
    return root + QStringLiteral("/brivet/key.json");
}

QStringList SyncFolder::conflictingKeyFiles(const QString& root)
{
    static const QRegularExpression copy(QStringLiteral("^key.+\\.json$"));
    QStringList found;
    const QDir folder(root + QStringLiteral("/brivet"));
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        if (copy.match(name).hasMatch() && !name.endsWith(QLatin1String(".partial")))
            found.append(name);
    return found;
}

QString SyncFolder::journalDirectory(const QString& device) const
{
    return m_root + QStringLiteral("/brivet/devices/") + device;
}

std::optional<QString> SyncFolder::writeSegment(quint64 sequence,
                                                const std::vector<SyncOperation>& ops,
                                                const SegmentReach& reach) const
{
    const QString directory = journalDirectory(deviceName());
    if (!QDir().mkpath(directory))
        return QStringLiteral("cannot create %1").arg(directory);
    const QString path = directory + QStringLiteral("/%1.log").arg(sequence);
    return ExternalData::writePrivateFile(path,
                                          m_key.seal(encodeOperations(ops, {m_host, m_wallClock(), reach}),
                                                     segmentContext(deviceName(), sequence)));
}

std::optional<QString> SyncFolder::writeBlob(const QString& name, const QByteArray& bytes) const
{
    const QString directory = m_root + QStringLiteral("/brivet/blobs");
    const QString path = directory + QLatin1Char('/') + name;
    if (QFileInfo::exists(path))
        return std::nullopt;
    if (!QDir().mkpath(directory))
        return QStringLiteral("cannot create %1").arg(directory);
    return ExternalData::writePrivateFile(path, m_key.seal(bytes, blobContext(name)));
}

std::optional<QByteArray> SyncFolder::readBlob(const QString& name) const
{
    static const QRegularExpression valid(QStringLiteral("^[0-9a-f]{64}$"));
    if (!valid.match(name).hasMatch())
        return std::nullopt;
    const auto sealed = readFile(m_root + QStringLiteral("/brivet/blobs/") + name);
    if (!sealed)
        return std::nullopt;
    auto bytes = m_key.open(*sealed, blobContext(name));
    if (!bytes || m_key.contentName(*bytes) != name)
        return std::nullopt;
    return bytes;
}

QSet<QString> SyncFolder::blobNames() const
{
    static const QRegularExpression valid(QStringLiteral("^[0-9a-f]{64}$"));
    QSet<QString> names;
    const QDir blobs(m_root + QStringLiteral("/brivet/blobs"));
    for (const QString& name : blobs.entryList(QDir::Files))
        if (valid.match(name).hasMatch())
            names.insert(name);
    return names;
}

bool SyncFolder::removeBlob(const QString& name) const
{
    return QFile::remove(m_root + QStringLiteral("/brivet/blobs/") + name);
}

std::pair<size_t, quint64> SyncFolder::ownSegments(quint64 from) const
{
    static const QRegularExpression segmentName(QStringLiteral("^([0-9]{1,18})\\.log$"));
    size_t count = 0;
    quint64 next = from;
    const QDir journal(journalDirectory(deviceName()));
    for (const QString& file : journal.entryList(QDir::Files)) {
        const auto match = segmentName.match(file);
        if (!match.hasMatch())
            continue;
        ++count;
        next = std::max(next, match.captured(1).toULongLong() + 1);
    }
    return {count, next};
}

std::vector<SyncFolder::Segment> SyncFolder::segments() const
{
    static const QRegularExpression deviceName(QStringLiteral("^[0-9a-f]{32}$"));
    static const QRegularExpression segmentName(QStringLiteral("^([0-9]{1,18})\\.log$"));
    std::vector<Segment> found;
    const QDir devices(m_root + QStringLiteral("/brivet/devices"));
    for (const QString& device : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!deviceName.match(device).hasMatch())
            continue;
        const QDir journal(devices.filePath(device));
        for (const QString& file : journal.entryList(QDir::Files)) {
            const auto match = segmentName.match(file);
            if (match.hasMatch())
                found.push_back({device, match.captured(1).toULongLong(), journal.filePath(file)});
        }
    }
    std::sort(found.begin(), found.end(), [](const Segment& a, const Segment& b) {
        return a.device != b.device ? a.device < b.device : a.sequence < b.sequence;
    });
    return found;
}

std::optional<SyncFolder::Contents> SyncFolder::read(const Segment& segment) const
{
    const auto sealed = readFile(segment.path);
    if (!sealed)
        return std::nullopt;
    const auto plaintext = m_key.open(*sealed, segmentContext(segment.device, segment.sequence));
    if (!plaintext)
        return std::nullopt;
    SegmentWriter writer;
    auto operations = decodeOperations(*plaintext, &writer);
    if (!operations)
        return std::nullopt;
    Contents contents{std::move(*operations), {}, writer};
    for (const SyncOperation& op : contents.operations) {
        if (op.type != SyncOperation::Type::WriteItem)
            continue;
        for (auto it = op.fields.constBegin(); it != op.fields.constEnd(); ++it) {
            const QString name = RecordFields::blobName(it.value());
            if (name.isEmpty() || contents.blobs.contains(name))
                continue;
            auto bytes = readBlob(name);
            if (!bytes)
                return std::nullopt; // the blob has not arrived yet
            contents.blobs.insert(name, *bytes);
        }
    }
    return contents;
}

void SyncFolder::removeOwnSegmentsBefore(quint64 sequence) const
{
    for (const Segment& segment : segments())
        if (segment.device == deviceName() && segment.sequence < sequence)
            QFile::remove(segment.path);
}

} // namespace brivet
