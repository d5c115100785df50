#pragma once

#include "platform/InstanceChannel.h"

#include <QObject>

namespace brivet {

// The object the running Brivet exports on the session bus. Each method answers at once and
// emits its command as `received` in a later turn of the event loop, so that Quit's answer
// leaves before the process begins to end.
class DBusInstanceEndpoint : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brivet.Brivet")
public:
    using QObject::QObject;

signals:
    void received(brivet::InstanceCommand command);

public slots:
    Q_SCRIPTABLE void Toggle() { deliver(InstanceCommand::Toggle); }
    Q_SCRIPTABLE void Show() { deliver(InstanceCommand::Show); }
    Q_SCRIPTABLE void Hide() { deliver(InstanceCommand::Hide); }
    Q_SCRIPTABLE void OpenSettings() { deliver(InstanceCommand::OpenSettings); }
    Q_SCRIPTABLE void Quit() { deliver(InstanceCommand::Quit); }

private:
    void deliver(InstanceCommand command);
};

} // namespace brivet
