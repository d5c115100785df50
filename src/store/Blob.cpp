#include "store/Blob.h"

#include <QFile>
#include <mutex>

namespace brivet {

struct Blob::State
{
    std::once_flag loaded;
    Loader loader;
    QByteArray bytes;
    QString file;
};

Blob::Blob(QByteArray bytes) : m_size(bytes.size()), m_state(std::make_shared<State>())
{
    m_state->bytes = std::move(bytes);
    std::call_once(m_state->loaded, [] {});
}

Blob::Blob(qint64 size, Loader loader) : m_size(size), m_state(std::make_shared<State>())
{
    m_state->loader = std::move(loader);
}

Blob Blob::fromFile(const QString& path, qint64 size)
{
    Blob blob(size, [path]() -> QByteArray {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    });
    blob.m_state->file = path;
    return blob;
}

QString Blob::file() const
{
    return m_state ? m_state->file : QString();
}

QByteArray Blob::data() const
{
    if (!m_state)
        return {};
    std::call_once(m_state->loaded, [this] {
        m_state->bytes = m_state->loader ? m_state->loader() : QByteArray();
        m_state->loader = nullptr;
    });
    return m_state->bytes;
}

bool Blob::isLoaded() const
{
    return !m_state || !m_state->loader;
}

} // namespace brivet
