#include "sync/SyncService.h"

#include "sync/SyncLogging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>
#include <QtConcurrent>
#include <sys/stat.h>
#include <unistd.h>

namespace brivet {
namespace {

const QString folderKey = QStringLiteral("syncFolder");
const QString secretKey = QStringLiteral("syncKey");
// The key's name in the secret service.
const QString secretName = QStringLiteral("sync-key");

} // namespace

SyncService::SyncService(ModelContext& context, QString stateDirectory, QSettings& settings,
                         SecretStore* secrets, SyncSettings engineSettings, QObject* parent)
    : QObject(parent), m_context(context), m_stateDirectory(std::move(stateDirectory)),
      m_settings(settings), m_secrets(secrets), m_engineSettings(std::move(engineSettings))
{
    m_folder = m_settings.value(folderKey).toString();
    connect(&m_unlocking, &QFutureWatcherBase::finished, this, &SyncService::keyDerived);
    // A key in the settings file is one the secret service could not take when it was made
    // (or one from before the secret service was used): the latest, and moved there if it can.
    m_key = SyncKey::fromBytes(QByteArray::fromBase64(m_settings.value(secretKey).toByteArray()));
    if (m_key && m_secrets) {
        storeSecret();
    } else if (m_secrets) {
        m_readingSecret = true;
        m_secrets->read(secretName, this,
                        [this](const SecretStore::Result& result) { secretRead(result); });
    }
    evaluate();
}

SyncService::~SyncService()
{
    m_unlocking.waitForFinished();
    flush();
}

void SyncService::flush()
{
    if (m_engine && (!m_engine->recordLocalChanges() || !m_engine->writeOutbox()))
        qCWarning(lcSync) << "pending changes stay for the next start:" << m_engine->lastError();
}

void SyncService::stopSyncing()
{
    flush();
    m_engine.reset();
    m_state.reset();
    m_unlockingFolder.clear(); // a passphrase being derived is dropped when it is done
    m_readingSecret = false;
    m_key.reset();
    m_folder.clear();
    m_message.clear();
    m_settings.remove(folderKey);
    m_settings.remove(secretKey);
    m_settings.sync();
    if (m_secrets)
        m_secrets->remove(secretName, this, [](const SecretStore::Result& result) {
            if (result.outcome == SecretStore::Outcome::Failed)
                qCWarning(lcSync) << "the key stays in the secret service:" << result.message;
        });
    qCInfo(lcSync) << "sync stopped on this device";
    emit folderChanged();
    emit statusChanged();
}

void SyncService::chooseFolder(const QUrl& folder)
{
    const QString path =
        QDir::cleanPath(folder.isLocalFile() ? folder.toLocalFile() : folder.toString());
    if (path == m_folder)
        return;
    flush();
    m_engine.reset();
    m_folder = path;
    m_settings.setValue(folderKey, m_folder);
    emit folderChanged();
    evaluate();
}

void SyncService::setPassphrase(const QString& passphrase)
{
    if (m_folder.isEmpty() || passphrase.isEmpty() || m_unlocking.isRunning())
        return;
    QDir().mkpath(m_folder + QStringLiteral("/brivet"));
    m_unlockingFolder = m_folder;
    m_unlocking.setFuture(QtConcurrent::run(&SyncKeyFile::unlock, SyncFolder::keyFilePath(m_folder),
                                            passphrase, false));
    emit busyChanged();
}

void SyncService::keyDerived()
{
    emit busyChanged();
    if (m_folder.isEmpty() || m_unlockingFolder != m_folder)
        return; // the folder changed meanwhile, or sync was stopped
    const auto result = m_unlocking.result();
    if (const auto* error = std::get_if<SyncKeyFile::Error>(&result)) {
        m_message = error->failure == SyncKeyFile::Failure::WrongPassphrase
                        ? tr("The passphrase does not match this sync folder.")
                        : error->message;
        qCWarning(lcSync) << "passphrase refused:" << error->message;
        emit statusChanged();
        return;
    }
    m_engine.reset();
    m_key = std::get<SyncKey>(result);
    storeSecret();
    evaluate();
}

void SyncService::secretRead(const SecretStore::Result& result)
{
    if (!std::exchange(m_readingSecret, false) || m_key)
        return; // a passphrase was entered meanwhile, or sync was stopped
    if (result.outcome == SecretStore::Outcome::Done)
        m_key = SyncKey::fromBytes(result.secret);
    else if (result.outcome == SecretStore::Outcome::Failed)
        qCWarning(lcSync) << "the key cannot be read from the secret service:" << result.message;
    evaluate();
}

void SyncService::storeSecret()
{
    if (!m_secrets) {
        keepSecretInSettings();
        return;
    }
    const QByteArray key = m_key->bytes();
    m_secrets->write(secretName, key, this, [this, key](const SecretStore::Result& result) {
        if (!m_key || m_key->bytes() != key)
            return; // another key came meanwhile
        if (result.outcome != SecretStore::Outcome::Done) {
            qCInfo(lcSync) << "the key stays in the settings file:" << result.message;
            keepSecretInSettings();
        } else if (m_settings.contains(secretKey)) {
            m_settings.remove(secretKey);
            m_settings.sync();
            qCInfo(lcSync) << "the key moved into the secret service";
        }
    });
}

void SyncService::keepSecretInSettings()
{
    m_settings.setValue(secretKey, m_key ? m_key->bytes().toBase64() : QByteArray());
    m_settings.sync();
    // The key opens the user's history: the settings file is for its owner's eyes only.
    ::chmod(QFile::encodeName(m_settings.fileName()).constData(), 0600);
}

std::unique_ptr<SyncState> SyncService::openState(const QString& path, QString* error) const
{
    const QString check = m_key->contentName(QByteArrayLiteral("brivet sync state"));
    auto state = SyncState::open(path, error);
    if (state && !state->keyCheck().isEmpty() && state->keyCheck() != check) {
        qCInfo(lcSync) << "the folder has a new key: its journal starts again";
        state.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        state = SyncState::open(path, error);
    }
    if (state && state->keyCheck().isEmpty())
        state->setKeyCheck(check);
    return state;
}

void SyncService::evaluate()
{
    m_engine.reset();
    m_state.reset();
    const QFileInfo info(m_folder);
    if (m_folder.isEmpty())
        m_message = QString();
    else if (!info.isDir() || !info.isReadable() || !info.isWritable())
        m_message = tr("The sync folder cannot be read or written.");
    else if (!m_key && m_readingSecret)
        m_message = QString(); // the secret service answers in a moment
    else if (!m_key)
        m_message = tr("Enter the passphrase of the sync folder.");
    else if (const QStringList copies = SyncFolder::conflictingKeyFiles(m_folder);
             !copies.isEmpty())
        m_message = tr("The sync folder holds a second key file, %1: two devices set a passphrase "
                       "at the same time. Nothing syncs until it is resolved: keep key.json, "
                       "delete %1 from the folder's brivet folder, then enter the passphrase on "
                       "each device that asks for it.")
                        .arg(copies.join(QStringLiteral(", ")));
    else if (!QFileInfo::exists(SyncFolder::keyFilePath(m_folder)))
        m_message = tr("Enter a passphrase to start syncing into this folder.");
    else if (!SyncKeyFile::matches(SyncFolder::keyFilePath(m_folder), *m_key))
        m_message = tr("The sync folder has another passphrase: enter it.");
    else
        m_message = QString();

    if (!m_folder.isEmpty() && m_key && m_message.isEmpty()) {
        // One state per folder: another folder is another journal.
        const QByteArray tag = QCryptographicHash::hash(QFile::encodeName(info.canonicalFilePath()),
                                                        QCryptographicHash::Sha256)
                                   .toHex()
                                   .left(16);
        QDir().mkpath(m_stateDirectory);
        QString error;
        m_state = openState(m_stateDirectory + QStringLiteral("/sync-") + QString::fromLatin1(tag) +
                                QStringLiteral(".sqlite"),
                            &error);
        if (!m_state) {
            m_message = tr("The sync state cannot be opened: %1").arg(error);
        } else {
            m_engine = std::make_unique<SyncEngine>(m_context, *m_state,
                                                    SyncFolder(m_folder, *m_key, m_state->device(),
                                                               QSysInfo::machineHostName(),
                                                               m_engineSettings.wallClock),
                                                    m_engineSettings);
            connect(m_engine.get(), &SyncEngine::clockAhead, this, [this](const QString& host) {
                m_message = tr("The clock of \"%1\" runs more than a day ahead: its changes "
                               "still sync, but set its date and time right.")
                                .arg(host);
                emit statusChanged();
            });
            // Evaluated again outside the engine's own signal, which ends the engine.
            connect(m_engine.get(), &SyncEngine::keyConflict, this, &SyncService::evaluate,
                    Qt::QueuedConnection);
            m_engine->start();
            qCInfo(lcSync) << "syncing through" << m_folder;
        }
    }
    delete std::exchange(m_keyFolderWatch, nullptr);
    if (!m_folder.isEmpty() && !SyncFolder::conflictingKeyFiles(m_folder).isEmpty()) {
        m_keyFolderWatch = new QFileSystemWatcher({m_folder + QStringLiteral("/brivet")}, this);
        connect(m_keyFolderWatch, &QFileSystemWatcher::directoryChanged, this,
                &SyncService::evaluate, Qt::QueuedConnection);
    }
    if (!m_message.isEmpty())
        qCInfo(lcSync) << "sync unavailable:" << m_message;
    emit statusChanged();
}

} // namespace brivet
