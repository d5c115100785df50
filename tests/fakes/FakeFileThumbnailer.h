#pragma once

#include "platform/FileThumbnailer.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace brivet {

// Thumbnails set by the test per path; every other path has none. Thread-safe, like the real
// one: the capture calls it from a worker.
class FakeFileThumbnailer : public FileThumbnailer
{
public:
    std::optional<QByteArray> thumbnail(const QString& path, int) const override
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_thumbnails.constFind(path);
        if (it == m_thumbnails.constEnd())
            return std::nullopt;
        return *it;
    }

    void setThumbnail(const QString& path, const QByteArray& png)
    {
        QMutexLocker lock(&m_mutex);
        m_thumbnails.insert(path, png);
    }

private:
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_thumbnails;
};

} // namespace brivet
