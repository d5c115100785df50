#pragma once

#include "platform/FrontApplication.h"

#include <QMutex>
#include <QSet>
#include <QStringList>

namespace brivet {

// The applications whose copies are never read, by desktop file id or window class / app id
// (as FrontApplication names them in bundleId; case and a ".desktop" ending do not matter).
// Changed on the main thread; asked by the clipboard readers on their own threads, as each
// change is seen and before anything of it is read.
class IgnoredApplications
{
public:
    void setIds(const QStringList& ids);
    // Whether copies made while application is in front are to be left unread.
    bool contains(const std::optional<ApplicationInfo>& application) const;

private:
    static QString keyOf(const QString& id);

    mutable QMutex m_mutex;
    QSet<QString> m_keys;
};

} // namespace brivet
