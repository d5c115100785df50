#pragma once

#include <QObject>
#include <QString>

namespace brivet {

// The process's notification centre: named events ("com.brivet.hotkeyPressed", ...) posted
// without sender or payload and delivered to every observer on the main thread. One instance,
// owned by the application delegate and handed to whoever posts or observes.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void post(const QString& name) { emit posted(name); }

signals:
    void posted(const QString& name);
};

} // namespace brivet
