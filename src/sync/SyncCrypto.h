#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>

namespace brivet {

// The secret of a sync folder: a 32-byte key that every device of the user derives from the
// same passphrase. Everything written to the folder is sealed with it.
class SyncKey
{
public:
    static constexpr int size = 32;

    // The key from raw bytes (as kept in the key store); std::nullopt when not 32 bytes.
    static std::optional<SyncKey> fromBytes(const QByteArray& bytes);
    // A fresh random key (tests and benchmarks, where no passphrase is typed).
    static SyncKey random();

    const QByteArray& bytes() const { return m_bytes; }

    // Seals plaintext as an XChaCha20-Poly1305 secret stream bound to context (the file's
    // place in the folder), so that a file moved to another name does not open.
    QByteArray seal(const QByteArray& plaintext, const QByteArray& context) const;
    // The plaintext of a sealed file; std::nullopt when it is damaged, truncated, sealed with
    // another key or for another context.
    std::optional<QByteArray> open(const QByteArray& sealed, const QByteArray& context) const;
    // A name for content that tells nothing about it to whoever lacks the key (keyed BLAKE2b,
    // hexadecimal).
    QString contentName(const QByteArray& content) const;

private:
    explicit SyncKey(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QByteArray m_bytes;
};

// The folder's key description, <folder>/brivet/key.json: the Argon2id salt and limits, and a
// verifier that tells a right passphrase from a wrong one before any file is read.
namespace SyncKeyFile {

enum class Failure
{
    WrongPassphrase,
    Unreadable, // damaged key file, or the folder cannot be read or written
};

struct Error
{
    Failure failure;
    QString message;
};

// Derives the key for the folder: with the salt of its key file when there is one (a wrong
// passphrase fails), else a new salt and key file are written, unless another device wrote
// one meanwhile (then that one counts). Slow on purpose (Argon2id).
std::variant<SyncKey, Error> unlock(const QString& keyFilePath, const QString& passphrase,
                                    bool reentered = false);
// True when the key matches the folder's key file (a key kept from an earlier unlock).
bool matches(const QString& keyFilePath, const SyncKey& key);

} // namespace SyncKeyFile
} // namespace brivet
