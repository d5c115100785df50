#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

namespace brivet {

// Where the desktop keeps secrets for its user (a keyring unlocked with the session), one
// named secret at a time. Every call answers later, on the caller's thread, and not at all
// once `context` is gone.
class SecretStore
{
public:
    enum class Outcome
    {
        Done,
        NotFound,  // read: no secret of that name
        NoService, // the desktop runs no secret service
        Failed,    // any other error (locked keyring, refused access)
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QByteArray secret; // what a read found
        QString message;   // why it failed
    };
    using Callback = std::function<void(const Result&)>;

    virtual ~SecretStore() = default;
    virtual void read(const QString& name, QObject* context, Callback done) = 0;
    virtual void write(const QString& name, const QByteArray& secret, QObject* context,
                       Callback done) = 0;
    // Removing a secret that is not there is Done.
    virtual void remove(const QString& name, QObject* context, Callback done) = 0;
};

} // namespace brivet
