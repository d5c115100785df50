#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QTimer>

namespace brivet {

// A secret service in memory, or none (setAvailable(false)). Answers from the event loop, as
// a real one does.
class FakeSecretStore : public SecretStore
{
public:
    void setAvailable(bool available) { m_available = available; }
    QHash<QString, QByteArray> secrets() const { return m_secrets; }

    void read(const QString& name, QObject* context, Callback done) override
    {
        answer(context, std::move(done), [this, name] {
            return m_secrets.contains(name) ? Result{Outcome::Done, m_secrets.value(name), {}}
                                            : Result{Outcome::NotFound, {}, {}};
        });
    }
    void write(const QString& name, const QByteArray& secret, QObject* context,
               Callback done) override
    {
        answer(context, std::move(done), [this, name, secret] {
            m_secrets.insert(name, secret);
            return Result{Outcome::Done, {}, {}};
        });
    }
    void remove(const QString& name, QObject* context, Callback done) override
    {
        answer(context, std::move(done), [this, name] {
            m_secrets.remove(name);
            return Result{Outcome::Done, {}, {}};
        });
    }

private:
    template <typename Operation> void answer(QObject* context, Callback done, Operation operation)
    {
        QTimer::singleShot(0, context, [this, done = std::move(done), operation] {
            done(m_available ? operation()
                             : Result{Outcome::NoService, {}, QStringLiteral("no secret service")});
        });
    }

    bool m_available = true;
    QHash<QString, QByteArray> m_secrets;
};

} // namespace brivet
