#pragma once

#include "platform/SecretStore.h"
#include "sync/SyncEngine.h"

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QObject>
#include <QSettings>
#include <QUrl>
#include <memory>
#include <variant>

namespace brivet {

// Sync as the settings show it: the folder a file-sync service keeps in step across the
// user's devices, the passphrase that unlocks it, and whether sync is working. Owns the
// engine while sync is active. The folder is kept in the settings file; the key in the
// desktop's secret service, or where there is none, in the settings file, which is then made
// readable by its owner only.
class SyncService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool active READ isActive NOTIFY statusChanged)
    Q_PROPERTY(QString folder READ folder NOTIFY folderChanged)
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY statusChanged)
    // Why sync is unavailable (or why the last passphrase was refused); empty when all is well.
    Q_PROPERTY(QString message READ message NOTIFY statusChanged)
    // A passphrase is being turned into a key (it takes a moment, on purpose).
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
public:
    enum class Status
    {
        Unavailable,
        Active,
    };
    Q_ENUM(Status)

    // stateDirectory: where the per-folder sync state files live (beside the history store).
    // secrets: the desktop's secret service; without one the key goes to the settings file.
    SyncService(ModelContext& context, QString stateDirectory, QSettings& settings,
                SecretStore* secrets = nullptr, SyncSettings engineSettings = {},
                QObject* parent = nullptr);
    ~SyncService() override;

    Status status() const { return m_engine ? Status::Active : Status::Unavailable; }
    bool isActive() const { return status() == Status::Active; }
    QString folder() const { return m_folder; }
    bool hasKey() const { return m_key.has_value(); }
    QString message() const { return m_message; }
    bool isBusy() const { return m_unlocking.isRunning(); }
    SyncEngine* engine() const { return m_engine.get(); }

    // The folder as a folder dialog gives it (a file: URL) or as a path.
    Q_INVOKABLE void chooseFolder(const QUrl& folder);
    // Unlocks the folder with the passphrase: derives the key (on a worker) and checks it
    // against the folder's key; a new folder gets its key file. A wrong passphrase is
    // refused and nothing is read.
    Q_INVOKABLE void setPassphrase(const QString& passphrase);
    // Forgets the folder and the key on this device and stops syncing; the folder and the
    // history stay as they are. Choosing the folder again asks for the passphrase.
    Q_INVOKABLE void stopSyncing();
    // Writes pending local changes to the folder (before the program ends).
    void flush();

signals:
    void statusChanged();
    void folderChanged();
    void busyChanged();

private:
    void evaluate();
    void keyDerived();
    void storeSecret();
    void keepSecretInSettings();
    void secretRead(const SecretStore::Result& result);
    // The state of this folder, made anew when it was made with another key (the folder was
    // set up again): its journal is not readable with this key.
    std::unique_ptr<SyncState> openState(const QString& path, QString* error) const;

    ModelContext& m_context;
    QString m_stateDirectory;
    QSettings& m_settings;
    SecretStore* m_secrets;
    bool m_readingSecret = false;
    SyncSettings m_engineSettings;
    QString m_folder;
    std::optional<SyncKey> m_key;
    QString m_message;
    std::unique_ptr<SyncState> m_state;
    std::unique_ptr<SyncEngine> m_engine;
    QFutureWatcher<std::variant<SyncKey, SyncKeyFile::Error>> m_unlocking;
    // While the folder holds a second key file: its removal is noticed at once.
    QFileSystemWatcher* m_keyFolderWatch = nullptr;
    QString m_unlockingFolder;
};

} // namespace brivet
