#include "store/ModelContainer.h"

#include "store/Database.h"
#include "store/ExternalData.h"
#include "store/SearchIndex.h"
#include "store/SearchIndexBuilder.h"
#include "store/StoreLogging.h"
#include "store/StoreSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brivet {
namespace {

quint32 bigEndian32(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// Checks an existing file without writing to it: it must be a complete SQLite database that
// this process may write to.
std::optional<QString> checkExistingFile(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(errno));
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a regular file").arg(path);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return QStringLiteral("the file %1 is not a database").arg(path);

    const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
    qint64 pageSize = (h[16] << 8) | h[17];
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return QStringLiteral("the file %1 is not a database").arg(path);
    const qint64 fileSize = info.st_size;
    const bool pageCountValid = bigEndian32(header, 92) == bigEndian32(header, 24);
    const qint64 pageCount = bigEndian32(header, 28);
    if (fileSize % pageSize != 0 || (pageCountValid && fileSize < pageCount * pageSize))
        return QStringLiteral("the database file %1 is truncated").arg(path);

    // Permission bits, not access(2): the superuser may write anywhere, but a store that its
    // owner made read-only is not ours to change.
    if (!(info.st_mode & S_IWUSR) || ::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return QStringLiteral("the database file %1 is read-only").arg(path);
    return std::nullopt;
}

std::optional<QString> checkFolder(const QString& folder)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return QStringLiteral("cannot create the folder %1").arg(folder);
    if (!(info.st_mode & S_IWUSR) || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("the folder %1 is not writable").arg(folder);
    return std::nullopt;
}

bool makePrivateFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return true;
}

bool configureConnection(Database& database)
{
    return database.exec("PRAGMA journal_mode = WAL") &&
           database.exec("PRAGMA synchronous = NORMAL") &&
           database.exec("PRAGMA foreign_keys = ON") &&
           database.exec("PRAGMA secure_delete = FAST");
}

// Builds a new store next to path and moves it into place only when complete, so that a
// crash while creating never leaves a half-made file behind.
std::optional<QString> createStoreFile(const QString& path)
{
    const QString temporaryPath = path + QStringLiteral(".creating");
    QFile::remove(temporaryPath);
    QString error;
    {
        auto database = Database::open(temporaryPath, /*create=*/true, &error);
        if (!database)
            return error;
        if (!configureConnection(*database) || !database->exec("BEGIN") ||
            !StoreSchema::create(*database) || !database->exec("COMMIT")) {
            error = database->lastError();
            database.reset();
            QFile::remove(temporaryPath);
            return QStringLiteral("cannot create the store %1: %2").arg(path, error);
        }
    }
    if (::rename(QFile::encodeName(temporaryPath).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        error = qt_error_string(errno);
        QFile::remove(temporaryPath);
        return QStringLiteral("cannot create the store %1: %2").arg(path, error);
    }
    return std::nullopt;
}

// Refuses a file this Brivet cannot use; else sets found to the file's schema version.
std::optional<QString> checkSchema(Database& database, const QString& path, qint64& found)
{
    Statement* version = database.prepare("PRAGMA user_version");
    if (!version || !version->step())
        return QStringLiteral("the file %1 is not a database: %2").arg(path, database.lastError());
    found = version->int64(0);
    version->finish();
    if (auto refusal = StoreSchema::newerFileRefusal(found, StoreSchema::currentVersion, path))
        return refusal;
    Statement* table = database.prepare(
        "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = 'ClipboardItem'");
    const bool hasItems = table && table->step() && table->int64(0) == 1;
    if (table)
        table->finish();
    if (!hasItems || !StoreSchema::isKnownVersion(found))
        return QStringLiteral("the file %1 is not a Brivet history store").arg(path);
    return std::nullopt;
    return std::nullopt;
}

} // namespace

QString ModelContainer::defaultStorePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/brivet/") + QLatin1String(configurationName) +
           QStringLiteral(".sqlite");
}

std::variant<std::unique_ptr<ModelContainer>, QString> ModelContainer::create(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!info.exists() && !QFileInfo::exists(folder) && !makePrivateFolder(folder))
        return QStringLiteral("cannot create the folder %1").arg(folder);
    if (auto error = checkFolder(folder))
        return *error;

    if (info.exists()) {
        if (auto error = checkExistingFile(path))
            return *error;
    } else if (auto error = createStoreFile(path)) {
        return *error;
    }

    // flock, not fcntl: SQLite's own POSIX locks on the file stay untouched, and the lock
    // descriptor is closed only after SQLite has closed the file.
    const int lockFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (lockFd < 0)
        return QStringLiteral("cannot open %1: %2").arg(path, qt_error_string(errno));
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd);
        return QStringLiteral("the store %1 is in use by another Brivet process").arg(path);
    }
    auto fail = [lockFd](QString message) {
        ::close(lockFd);
        return message;
    };

    QString error;
    std::shared_ptr<Database> database = Database::open(path, /*create=*/false, &error);
    if (!database)
        return fail(error);
    if (database->isReadOnly())
        return fail(QStringLiteral("the database file %1 is read-only").arg(path));
    qint64 fileVersion = 0;
    if (auto schemaError = checkSchema(*database, path, fileVersion))
        return fail(*schemaError);
    if (!configureConnection(*database))
        return fail(
            QStringLiteral("cannot open the store %1: %2").arg(path, database->lastError()));
    if (auto upgradeError = StoreSchema::upgrade(*database, fileVersion, path))
        return fail(*upgradeError);
    if (auto indexError = SearchIndex::ensure(*database))
        return fail(
            QStringLiteral("cannot build the search index of %1: %2").arg(path, *indexError));
    database->retryPromptlyWhenBusy();
    if (!SearchIndex::addFunctions(*database))
        return fail(
            QStringLiteral("cannot open the store %1: %2").arg(path, database->lastError()));
    for (const char* suffix : {"", "-wal", "-shm"})
        ::chmod(QFile::encodeName(path + QLatin1String(suffix)).constData(), 0600);
    database->checkpointInBackground(path);

    const QString externalDataDir =
        folder + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("_ExternalData");
    if (!QFileInfo::exists(externalDataDir))
        makePrivateFolder(externalDataDir);
    ExternalData::removeLeftoverStagedFiles(externalDataDir);

    return std::unique_ptr<ModelContainer>(
        new ModelContainer(path, lockFd, std::move(database), externalDataDir));
}

ModelContainer::ModelContainer(QString path, int lockFd, std::shared_ptr<Database> database,
                               QString externalDataDir)
    : m_path(std::move(path)), m_lockFd(lockFd), m_database(std::move(database)),
      m_mainContext(new ModelContext(m_database, std::move(externalDataDir)))
{
    qCDebug(lcStore) << "opened" << m_path;
    if (!SearchIndex::isReady(*m_database))
        m_indexBuilder = std::make_unique<SearchIndexBuilder>(m_path);
}

bool ModelContainer::isMakingSearchIndex() const
{
    return m_indexBuilder && !m_indexBuilder->isFinished();
}

ModelContainer::~ModelContainer()
{
    m_indexBuilder.reset();
    m_mainContext.reset();
    m_database.reset();
    ::close(m_lockFd);
}

} // namespace brivet
