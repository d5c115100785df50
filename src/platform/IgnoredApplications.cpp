#include "platform/IgnoredApplications.h"

#include <QMutexLocker>

namespace brivet {

QString IgnoredApplications::keyOf(const QString& id)
{
    QString key = id.trimmed().toCaseFolded();
    if (key.endsWith(QLatin1String(".desktop")))
        key.chop(int(qstrlen(".desktop")));
    return key;
}

void IgnoredApplications::setIds(const QStringList& ids)
{
    QSet<QString> keys;
    for (const QString& id : ids) {
        const QString key = keyOf(id);
        if (!key.isEmpty())
            keys.insert(key);
    }
    QMutexLocker locker(&m_mutex);
    m_keys = std::move(keys);
}

bool IgnoredApplications::contains(const std::optional<ApplicationInfo>& application) const
{
    if (!application || !application->bundleId)
        return false;
    const QString key = keyOf(*application->bundleId);
    QMutexLocker locker(&m_mutex);
    return m_keys.contains(key);
}

} // namespace brivet
