#pragma once

#include <QString>

namespace brivet {

// Shows the user a short message outside Brivet's windows: a desktop notification. Returns at
// once; where the desktop shows none, the message goes to the log instead.
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
};

} // namespace brivet
