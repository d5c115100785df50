#include "store/ExternalData.h"

#include "store/ClipboardItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <fcntl.h>
#include <unistd.h>

namespace brivet::ExternalData {
namespace {

// Staged files wait in a folder of their own, so that finding leftovers never lists the
// contents of every file record.
const QLatin1String stagingFolder(".staging");

} // namespace

// Without fsync, like the database's own commits: a saved record survives the process being
// killed, and nobody waits for a disk flush.
std::optional<QString> writePrivateFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".partial";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return QStringLiteral("cannot write %1: %2").arg(path, qt_error_string(errno));
    qsizetype written = 0;
    int writeError = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            writeError = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    if (::close(fd) != 0 && writeError == 0)
        writeError = errno;
    if (writeError == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        writeError = errno;
    if (writeError != 0) {
        ::unlink(temporary.constData());
        return QStringLiteral("cannot write %1: %2").arg(path, qt_error_string(writeError));
    }
    return std::nullopt;
}

std::optional<Blob> stage(const QString& directory, const QByteArray& bytes)
{
    const QString folder = directory + QLatin1Char('/') + stagingFolder;
    if (!QDir().mkpath(folder))
        return std::nullopt;
    const QString path =
        folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (writePrivateFile(path, bytes))
        return std::nullopt;
    return Blob::fromFile(path, bytes.size());
}

bool isStaged(const Blob& blob)
{
    return !blob.file().isEmpty() && QFileInfo(blob.file()).dir().dirName() == stagingFolder;
}

void discardStaged(const ClipboardItem& item)
{
    if (item.persistentId() == 0 && item.fileData && isStaged(*item.fileData))
        QFile::remove(item.fileData->file());
}

void removeLeftoverStagedFiles(const QString& directory)
{
    QDir folder(directory + QLatin1Char('/') + stagingFolder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(name);
}

} // namespace brivet::ExternalData
