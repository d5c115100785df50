#pragma once

#include "platform/DesktopNotifier.h"

#include <QList>
#include <QPair>

namespace brivet {

// Keeps every notice it is asked to show (summary, body).
class FakeDesktopNotifier : public DesktopNotifier
{
public:
    void notify(const QString& summary, const QString& body) override
    {
        notices.append({summary, body});
    }
    QList<QPair<QString, QString>> notices;
};

} // namespace brivet
