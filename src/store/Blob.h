#pragma once

#include <QByteArray>
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

    qint64 size() const { return m_size; }
    // The bytes; reads them from the store on first use. Returns an empty buffer when
    // the store can no longer provide them.
    QByteArray data() const;
    bool isLoaded() const;

private:
    struct State;
    qint64 m_size = 0;
    std::shared_ptr<State> m_state;
};

} // namespace brivet
