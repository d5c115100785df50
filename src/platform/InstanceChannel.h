#pragma once

#include <QString>
#include <functional>
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
};

// The line between the one running Brivet of a session and later processes: the running one
// claims the session's name and answers commands, a later process sends it one.
class InstanceChannel
{
public:
    enum class Claim
    {
        Claimed,        // this process is the running Brivet; commands reach the handler
        AlreadyRunning, // another Brivet holds the name
        Unavailable,    // no channel in this session (see error)
    };
    enum class Delivery
    {
        Delivered,
        NotRunning,
        Failed, // see error
    };

    virtual ~InstanceChannel() = default;

    // Claims the name for this process; the handler then runs on the main thread for each
    // command, after the sender has been answered.
    [[nodiscard]] virtual Claim claim(std::function<void(InstanceCommand)> handler) = 0;
    // Sends one command to the running Brivet. For Quit, returns once that process has let go
    // of the name (it has finished its termination sequence), or fails after a while.
    [[nodiscard]] virtual Delivery send(InstanceCommand command) = 0;
    // Why the last claim or send did not succeed.
    virtual QString error() const = 0;
};

// The channel of the session Brivet runs in (the D-Bus session bus). Needs a
// QCoreApplication.
std::unique_ptr<InstanceChannel> createInstanceChannel();

} // namespace brivet
