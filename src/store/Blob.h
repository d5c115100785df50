#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace brivet {

// A byte buffer that may live outside memory: its size is always known, its bytes are
// read from the store only when someone asks for them. Records fetched for a list carry
// unloaded blobs, so listing never reads image bytes or file contents.
class Blob
{
public:
    using Loader = std::function<QByteArray()>;

    Blob() = default;
    // Bytes held in memory (a record made by the capture, or a blob already loaded).
    explicit Blob(QByteArray bytes);
    // Bytes that stay in the store until data() is called.
    Blob(qint64 size, Loader loader);
    // Bytes kept in a file, read when data() is called.
    static Blob fromFile(const QString& path, qint64 size);

    qint64 size() const { return m_size; }
    // The bytes; reads them from the store on first use. Returns an empty buffer when
    // the store can no longer provide them.
    QByteArray data() const;
    bool isLoaded() const;
    // The file that holds the bytes, for blobs made by fromFile(); empty otherwise.
    QString file() const;

private:
    struct State;
    qint64 m_size = 0;
    std::shared_ptr<State> m_state;
};

} // namespace brivet
