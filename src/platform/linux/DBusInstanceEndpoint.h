#pragma once

#include "platform/InstanceChannel.h"

#include <QDBusContext>
#include <QObject>
#include <algorithm>

namespace brivet {

// The object the running Brivet exports on the session bus. Each method answers at once and
// emits its command as `received` in a later turn of the event loop, so that Quit's answer
// leaves before the process begins to end. The archive methods are answered once done, with
// the message of the result or an error carrying the reason.
class DBusInstanceEndpoint : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brivet.Brivet")
public:
    using QObject::QObject;
    void setArchiveRequests(HistoryArchiveRequests* requests) { m_archiveRequests = requests; }

signals:
    void received(brivet::InstanceCommand command, int minutes);

public slots:
    Q_SCRIPTABLE void Toggle() { deliver(InstanceCommand::Toggle); }
    Q_SCRIPTABLE void Show() { deliver(InstanceCommand::Show); }
    Q_SCRIPTABLE void Hide() { deliver(InstanceCommand::Hide); }
    Q_SCRIPTABLE void OpenSettings() { deliver(InstanceCommand::OpenSettings); }
    Q_SCRIPTABLE void Quit() { deliver(InstanceCommand::Quit); }
    // minutes: how long recording stays paused; 0 until ResumeRecording.
    Q_SCRIPTABLE void PauseRecording(int minutes)
    {
        deliver(InstanceCommand::PauseRecording, std::max(minutes, 0));
    }
    Q_SCRIPTABLE void ResumeRecording() { deliver(InstanceCommand::ResumeRecording); }
    Q_SCRIPTABLE QString ExportHistory(const QString& path);
    Q_SCRIPTABLE QString ImportHistory(const QString& path);

private:
    void deliver(InstanceCommand command, int minutes = 0);
    QString answer(const HistoryArchiveRequests::Answer& answer);

    HistoryArchiveRequests* m_archiveRequests = nullptr;
};

} // namespace brivet
