#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace brivet {

// What the command line asks of the running Brivet.
enum class InstanceCommand
{
    Toggle,
    Show,
    Hide,
    OpenSettings,
    Quit,
    PauseRecording,  // for a number of minutes, or until resumed (0)
    ResumeRecording,
};

// The line between the one running Brivet of a session and later processes: the running one
// claims the session's name and answers commands, a later process sends it one.
class InstanceChannel : public QObject
{
    Q_OBJECT
public:
    enum class Claim
    {
        Claimed,        // this process is the running Brivet; commands arrive as commandReceived
        AlreadyRunning, // another Brivet holds the name
        Unavailable,    // no channel in this session (see error)
    };
    enum class Delivery
    {
        Delivered,
        NotRunning,
        Failed, // see error
    };

    using QObject::QObject;
    ~InstanceChannel() override = default;

    // Claims the name for this process; each command then arrives as commandReceived, on the
    // main thread, after the sender has been answered.
    [[nodiscard]] virtual Claim claim() = 0;
    // Sends one command to the running Brivet. For Quit, returns once that process has let go
    // of the name (it has finished its termination sequence), or fails after a while.
    // minutes: PauseRecording's length, 0 for until resumed.
    [[nodiscard]] virtual Delivery send(InstanceCommand command, int minutes = 0) = 0;
    // Why the last claim or send did not succeed.
    virtual QString error() const = 0;

signals:
    void commandReceived(brivet::InstanceCommand command, int minutes);
};

// The channel of the session Brivet runs in (the D-Bus session bus). Needs a
// QCoreApplication.
std::unique_ptr<InstanceChannel> createInstanceChannel();

} // namespace brivet
