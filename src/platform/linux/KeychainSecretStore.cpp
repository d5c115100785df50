#include "platform/linux/KeychainSecretStore.h"

#include "platform/PlatformLogging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <qt6keychain/keychain.h>

namespace brivet {
namespace {

// QtKeychain (through libsecret) tells a desktop without a secret service only by a message:
// asked after a failure, whether the session bus has one running or to start.
bool secretServiceOnBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QString name = QStringLiteral("org.freedesktop.secrets");
    if (bus.interface()->isServiceRegistered(name))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(name);
}

SecretStore::Result resultOf(const QKeychain::Job& job)
{
    SecretStore::Result result;
    switch (job.error()) {
    case QKeychain::NoError:
        result.outcome = SecretStore::Outcome::Done;
        break;
    case QKeychain::EntryNotFound:
        result.outcome = SecretStore::Outcome::NotFound;
        break;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        result.outcome = SecretStore::Outcome::NoService;
        break;
    default:
        result.outcome =
            secretServiceOnBus() ? SecretStore::Outcome::Failed : SecretStore::Outcome::NoService;
        break;
    }
    if (result.outcome != SecretStore::Outcome::Done)
        result.message = job.errorString();
    return result;
}

// Starts the job; `done` hears of it unless `context` goes first. The job deletes itself.
void run(QKeychain::Job* job, const QString& name, QObject* context,
         std::function<void(const QKeychain::Job&, SecretStore::Result)> done)
{
    job->setKey(name);
    job->setInsecureFallback(false); // a secret service or nothing: never a plain file
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [done = std::move(done)](QKeychain::Job* finished) {
                         SecretStore::Result result = resultOf(*finished);
                         if (result.outcome == SecretStore::Outcome::Failed)
                             qCWarning(lcPlatform) << "secret service:" << result.message;
                         done(*finished, std::move(result));
                     });
    job->start();
}

} // namespace

void KeychainSecretStore::read(const QString& name, QObject* context, Callback done)
{
    run(new QKeychain::ReadPasswordJob(m_service), name, context,
        [done = std::move(done)](const QKeychain::Job& job, SecretStore::Result result) {
            if (result.outcome == Outcome::Done)
                result.secret = static_cast<const QKeychain::ReadPasswordJob&>(job).binaryData();
            done(result);
        });
}

void KeychainSecretStore::write(const QString& name, const QByteArray& secret, QObject* context,
                                Callback done)
{
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setBinaryData(secret);
    run(job, name, context,
        [done = std::move(done)](const QKeychain::Job&, const SecretStore::Result& result) {
            done(result);
        });
}

void KeychainSecretStore::remove(const QString& name, QObject* context, Callback done)
{
    run(new QKeychain::DeletePasswordJob(m_service), name, context,
        [done = std::move(done)](const QKeychain::Job&, SecretStore::Result result) {
            if (result.outcome == Outcome::NotFound)
                result.outcome = Outcome::Done;
            done(result);
        });
}

} // namespace brivet
