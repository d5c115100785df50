#pragma once

#include "platform/SecretStore.h"

namespace brivet {

// The freedesktop secret service (GNOME Keyring, KWallet) through QtKeychain. Secrets are
// never written anywhere else: without a secret service every call answers NoService.
class KeychainSecretStore : public SecretStore
{
public:
    explicit KeychainSecretStore(QString service) : m_service(std::move(service)) {}

    void read(const QString& name, QObject* context, Callback done) override;
    void write(const QString& name, const QByteArray& secret, QObject* context,
               Callback done) override;
    void remove(const QString& name, QObject* context, Callback done) override;

private:
    QString m_service;
};

} // namespace brivet
