#include "sync/SyncCrypto.h"

#include "store/ExternalData.h"
#include "sync/SyncLogging.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <sodium.h>
#include <unistd.h>

namespace brivet {
namespace {

const QByteArray magic = QByteArrayLiteral("BRV1");
constexpr qsizetype chunkSize = 64 * 1024;
const QByteArray verifierText = QByteArrayLiteral("brivet sync key check");

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

const unsigned char* bytesOf(const QByteArray& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

unsigned char* bytesOf(QByteArray& bytes)
{
    return reinterpret_cast<unsigned char*>(bytes.data());
}

void appendLength(QByteArray& out, quint32 length)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((length >> (8 * i)) & 0xff));
}

quint32 lengthAt(const QByteArray& in, qsizetype offset)
{
    quint32 length = 0;
    for (int i = 0; i < 4; ++i)
        length |= quint32(quint8(in.at(offset + i))) << (8 * i);
    return length;
}

} // namespace

std::optional<SyncKey> SyncKey::fromBytes(const QByteArray& bytes)
{
    if (bytes.size() != size)
        return std::nullopt;
    return SyncKey(bytes);
}

SyncKey SyncKey::random()
{
    sodiumReady();
    QByteArray bytes(size, Qt::Uninitialized);
    randombytes_buf(bytes.data(), size_t(size));
    return SyncKey(bytes);
}

QByteArray SyncKey::seal(const QByteArray& plaintext, const QByteArray& context) const
{
    sodiumReady();
    crypto_secretstream_xchacha20poly1305_state state;
    QByteArray out = magic;
    QByteArray header(crypto_secretstream_xchacha20poly1305_HEADERBYTES, Qt::Uninitialized);
    crypto_secretstream_xchacha20poly1305_init_push(&state, bytesOf(header), bytesOf(m_bytes));
    out += header;
    out.reserve(out.size() + plaintext.size() +
                (plaintext.size() / chunkSize + 1) *
                    (4 + crypto_secretstream_xchacha20poly1305_ABYTES));
    qsizetype offset = 0;
    do {
        const qsizetype length = std::min(chunkSize, plaintext.size() - offset);
        const bool last = offset + length == plaintext.size();
        QByteArray cipher(length + crypto_secretstream_xchacha20poly1305_ABYTES, Qt::Uninitialized);
        crypto_secretstream_xchacha20poly1305_push(
            &state, bytesOf(cipher), nullptr, bytesOf(plaintext) + offset, size_t(length),
            bytesOf(context), size_t(context.size()),
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        appendLength(out, quint32(cipher.size()));
        out += cipher;
        offset += length;
    } while (offset < plaintext.size());
    sodium_memzero(&state, sizeof state);
    return out;
}

std::optional<QByteArray> SyncKey::open(const QByteArray& sealed, const QByteArray& context) const
{
    sodiumReady();
    const qsizetype headerEnd = magic.size() + crypto_secretstream_xchacha20poly1305_HEADERBYTES;
    if (sealed.size() < headerEnd || !sealed.startsWith(magic))
        return std::nullopt;
    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, bytesOf(sealed) + magic.size(),
                                                        bytesOf(m_bytes)) != 0)
        return std::nullopt;
    QByteArray plaintext;
    qsizetype offset = headerEnd;
    bool final = false;
    while (!final) {
        if (sealed.size() - offset < 4)
            return std::nullopt; // cut short: the final chunk never came
        const quint32 length = lengthAt(sealed, offset);
        offset += 4;
        if (length < crypto_secretstream_xchacha20poly1305_ABYTES ||
            sealed.size() - offset < length)
            return std::nullopt;
        const qsizetype start = plaintext.size();
        plaintext.resize(start + length - crypto_secretstream_xchacha20poly1305_ABYTES);
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(
                &state, bytesOf(plaintext) + start, nullptr, &tag, bytesOf(sealed) + offset, length,
                bytesOf(context), size_t(context.size())) != 0)
            return std::nullopt;
        offset += length;
        final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    }
    if (offset != sealed.size())
        return std::nullopt; // bytes after the final chunk: not a file this program wrote
    return plaintext;
}

QString SyncKey::contentName(const QByteArray& content) const
{
    sodiumReady();
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, bytesOf(content), size_t(content.size()),
                       bytesOf(m_bytes), size_t(m_bytes.size()));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex());
}

namespace SyncKeyFile {
namespace {

QByteArray makeVerifier(const SyncKey& key)
{
    QByteArray nonce(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, Qt::Uninitialized);
    randombytes_buf(nonce.data(), size_t(nonce.size()));
    QByteArray cipher(verifierText.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES,
                      Qt::Uninitialized);
    crypto_aead_xchacha20poly1305_ietf_encrypt(bytesOf(cipher), nullptr, bytesOf(verifierText),
                                               size_t(verifierText.size()), nullptr, 0, nullptr,
                                               bytesOf(nonce), bytesOf(key.bytes()));
    return nonce + cipher;
}

bool verify(const QByteArray& verifier, const SyncKey& key)
{
    const qsizetype nonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
    if (verifier.size() !=
        nonceSize + verifierText.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES)
        return false;
    QByteArray plain(verifierText.size(), Qt::Uninitialized);
    return crypto_aead_xchacha20poly1305_ietf_decrypt(
               bytesOf(plain), nullptr, nullptr, bytesOf(verifier) + nonceSize,
               size_t(verifier.size() - nonceSize), nullptr, 0, bytesOf(verifier),
               bytesOf(key.bytes())) == 0 &&
           plain == verifierText;
}

struct Description
{
    QByteArray salt;
    quint64 opsLimit = 0;
    quint64 memLimit = 0;
    QByteArray verifier;
};

std::optional<Description> readDescription(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    Description description;
    description.salt =
        QByteArray::fromBase64(json.value(QLatin1String("salt")).toString().toLatin1());
    description.opsLimit = quint64(json.value(QLatin1String("opsLimit")).toDouble());
    description.memLimit = quint64(json.value(QLatin1String("memLimit")).toDouble());
    description.verifier =
        QByteArray::fromBase64(json.value(QLatin1String("verifier")).toString().toLatin1());
    if (json.value(QLatin1String("kdf")).toString() != QLatin1String("argon2id13") ||
        description.salt.size() != crypto_pwhash_SALTBYTES || description.opsLimit == 0 ||
        description.memLimit == 0 || description.opsLimit > crypto_pwhash_OPSLIMIT_SENSITIVE ||
        description.memLimit > crypto_pwhash_MEMLIMIT_SENSITIVE)
        return std::nullopt;
    return description;
}

std::optional<SyncKey> derive(const QString& passphrase, const Description& description)
{
    const QByteArray secret = passphrase.toUtf8();
    QByteArray key(SyncKey::size, Qt::Uninitialized);
    if (crypto_pwhash(bytesOf(key), size_t(key.size()), secret.constData(), size_t(secret.size()),
                      bytesOf(description.salt), description.opsLimit, size_t(description.memLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        return std::nullopt;
    return SyncKey::fromBytes(key);
}

} // namespace

std::variant<SyncKey, Error> unlock(const QString& keyFilePath, const QString& passphrase,
                                    bool reentered)
{
    if (!sodiumReady())
        return Error{Failure::Unreadable, QStringLiteral("the cryptography library failed")};
    if (QFileInfo::exists(keyFilePath)) {
        const auto description = readDescription(keyFilePath);
        if (!description)
            return Error{Failure::Unreadable,
                         QStringLiteral("the key file %1 is damaged").arg(keyFilePath)};
        const auto key = derive(passphrase, *description);
        if (!key)
            return Error{Failure::Unreadable,
                         QStringLiteral("not enough memory to derive the key")};
        if (!verify(description->verifier, *key))
            return Error{Failure::WrongPassphrase,
                         QStringLiteral("the passphrase does not match this sync folder")};
        return *key;
    }
    Description description;
    description.salt.resize(crypto_pwhash_SALTBYTES);
    randombytes_buf(description.salt.data(), size_t(description.salt.size()));
    description.opsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    description.memLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    const auto key = derive(passphrase, description);
    if (!key)
        return Error{Failure::Unreadable, QStringLiteral("not enough memory to derive the key")};
    QJsonObject json;
    json.insert(QLatin1String("version"), 1);
    json.insert(QLatin1String("kdf"), QLatin1String("argon2id13"));
    json.insert(QLatin1String("salt"), QString::fromLatin1(description.salt.toBase64()));
    json.insert(QLatin1String("opsLimit"), double(description.opsLimit));
    json.insert(QLatin1String("memLimit"), double(description.memLimit));
    json.insert(QLatin1String("verifier"), QString::fromLatin1(makeVerifier(*key).toBase64()));
    // Created, never replaced: a device that set a passphrase on the same empty folder a moment
    // earlier wrote the key everyone must share, and this passphrase is tried against it.
    const QString candidate = keyFilePath + QStringLiteral(".new");
    if (auto error = ExternalData::writePrivateFile(candidate, QJsonDocument(json).toJson()))
        return Error{Failure::Unreadable, *error};
    const int linked = ::link(QFile::encodeName(candidate).constData(),
                              QFile::encodeName(keyFilePath).constData());
    const int linkError = errno;
    QFile::remove(candidate);
    if (linked != 0 && linkError == EEXIST && !reentered)
        return unlock(keyFilePath, passphrase, true);
    if (linked != 0)
        return Error{
            Failure::Unreadable,
            QStringLiteral("cannot write %1: %2").arg(keyFilePath, qt_error_string(linkError))};
    return *key;
}

bool matches(const QString& keyFilePath, const SyncKey& key)
{
    const auto description = readDescription(keyFilePath);
    return description && verify(description->verifier, key);
}

} // namespace SyncKeyFile
} // namespace brivet
