#pragma once

#include "sync/SyncCrypto.h"
#include "sync/SyncOperation.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace brivet {

// The files Brivet keeps in the user's synced folder, all sealed with the folder's key:
//   brivet/key.json                          salt and verifier of the passphrase
//   brivet/devices/<device>/<sequence>.log   each device's journal, append-only segments
//   brivet/blobs/<name>                      byte buffers, named after their content
// A device writes only its own journal directory; every file is written under a temporary
// name and renamed when complete, and never changed afterwards. Safe to use from any thread.
class SyncFolder
{
public:
    struct Segment
    {
        QString device; // hexadecimal device id, the directory name
        quint64 sequence = 0;
        QString path;
    };
    // A complete segment: its operations and the blobs they name.
    struct Contents
    {
        std::vector<SyncOperation> operations;
        QHash<QString, QByteArray> blobs;
        SegmentWriter writer;
    };

    // host: this computer's name, written into each segment with the time by wallClock.
    SyncFolder(QString root, SyncKey key, QByteArray device, QString host = {},
               std::function<qint64()> wallClock = {});

    static QString keyFilePath(const QString& root);
    // Other key files beside key.json: a copy a file-sync service made when two devices
    // each wrote one (key.sync-conflict-....json, "key (conflicted copy ...).json", ...).
    static QStringList conflictingKeyFiles(const QString& root);
    QString root() const { return m_root; }
    const SyncKey& key() const { return m_key; }
    QString deviceName() const { return QString::fromLatin1(m_device.toHex()); }
    QString journalDirectory(const QString& device) const;

    // Writes a new segment of this device; the error's text on failure.
    [[nodiscard]] std::optional<QString> writeSegment(quint64 sequence,
                                                      const std::vector<SyncOperation>& ops,
                                                      const SegmentReach& reach = {}) const;
    // Writes a blob unless a blob of that name is already there.
    [[nodiscard]] std::optional<QString> writeBlob(const QString& name,
                                                   const QByteArray& bytes) const;
    std::optional<QByteArray> readBlob(const QString& name) const;
    // The names of the blobs in the folder.
    QSet<QString> blobNames() const;
    bool removeBlob(const QString& name) const;

    // Every segment of every device, by device and sequence.
    std::vector<Segment> segments() const;
    // The segment's operations when it and every blob it names are complete and open with the
    // key; std::nullopt otherwise (not yet fully synced, damaged, or another key's).
    std::optional<Contents> read(const Segment& segment) const;
    // Removes this device's segments before sequence (they are covered by a snapshot).
    void removeOwnSegmentsBefore(quint64 sequence) const;
    // This device's segments: how many, and the first sequence past them (at least from).
    std::pair<size_t, quint64> ownSegments(quint64 from) const;

private:
    QString m_root;
    SyncKey m_key;
    QByteArray m_device;
    QString m_host;
    std::function<qint64()> m_wallClock;
};

} // namespace brivet
