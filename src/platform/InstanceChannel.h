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

// What the running Brivet does with a history archive for the command line (--export,
// --import): done before the call is answered.
class HistoryArchiveRequests
{
public:
    struct Answer
    {
        bool ok = false;
        QString message; // what to tell the user: the result, or why it failed
    };
    virtual ~HistoryArchiveRequests() = default;
    virtual Answer exportHistory(const QString& path) = 0;
    virtual Answer importHistory(const QString& path) = 0;
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
    // Has the running Brivet export (or import) the history archive at path, an absolute
    // path, and waits for the result: message gets what it says, also when it failed
    // (Delivered with ok false then).
    enum class ArchiveAction
    {
        Export,
        Import
    };
    [[nodiscard]] virtual Delivery sendArchive(ArchiveAction action, const QString& path,
                                               HistoryArchiveRequests::Answer* answer) = 0;
    // Who answers the archive requests once claimed; null: they fail. Must outlive the channel
    // or be unset first.
    virtual void setArchiveRequests(HistoryArchiveRequests* requests) = 0;
    // Why the last claim or send did not succeed.
    virtual QString error() const = 0;

signals:
    void commandReceived(brivet::InstanceCommand command, int minutes);
};

// The channel of the session Brivet runs in (the D-Bus session bus). Needs a
// QCoreApplication.
std::unique_ptr<InstanceChannel> createInstanceChannel();

} // namespace brivet
