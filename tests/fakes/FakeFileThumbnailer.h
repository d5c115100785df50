#pragma once

#include "platform/FileThumbnailer.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace brivet {

// Thumbnails set by the test per path; every other path has none. Records the paths asked
// for. Thread-safe, like the real one: the capture calls it from a worker.
class FakeFileThumbnailer : public FileThumbnailer
{
public:
    std::optional<QByteArray> thumbnail(const QString& path, int maxSide) const override
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(path);
        m_lastMaxSide = maxSide;
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
    QStringList requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    int lastMaxSide() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lastMaxSide;
    }

private:
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_thumbnails;
    mutable QStringList m_requests;
    mutable int m_lastMaxSide = 0;
};

} // namespace brivet
