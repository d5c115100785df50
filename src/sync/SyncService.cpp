#include "sync/SyncService.h"

#include "sync/SyncLogging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
// Own segments beyond this many are folded into a snapshot.
constexpr size_t segmentsBeforeCompaction = 64;

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
    m_unlocking.setFuture(
        QtConcurrent::run(&SyncKeyFile::unlock, SyncFolder::keyFilePath(m_folder), passphrase));
    emit busyChanged();
}

void SyncService::keyDerived()
{
    emit busyChanged();
    if (m_unlockingFolder != m_folder)
        return; // the folder changed meanwhile
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
    m_readingSecret = false;
    if (m_key)
        return; // a passphrase was entered meanwhile
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
        m_state = SyncState::open(m_stateDirectory + QStringLiteral("/sync-") +
                                      QString::fromLatin1(tag) + QStringLiteral(".sqlite"),
                                  &error);
        if (!m_state) {
            m_message = tr("The sync state cannot be opened: %1").arg(error);
        } else {
            m_engine = std::make_unique<SyncEngine>(m_context, *m_state,
                                                    SyncFolder(m_folder, *m_key, m_state->device()),
                                                    m_engineSettings);
            m_engine->start();
            size_t own = 0;
            for (const auto& segment : m_engine->folder().segments())
                own += segment.device == m_engine->folder().deviceName();
            if (own > segmentsBeforeCompaction && !m_engine->compact())
                qCWarning(lcSync) << "compaction failed:" << m_engine->lastError();
            qCInfo(lcSync) << "syncing through" << m_folder;
        }
    }
    if (!m_message.isEmpty())
        qCInfo(lcSync) << "sync unavailable:" << m_message;
    emit statusChanged();
}

} // namespace brivet
