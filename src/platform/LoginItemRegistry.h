#pragma once

#include <QString>
#include <optional>

namespace brivet {

// The desktop's record of the programs it starts when the user logs in, for Brivet itself.
// Every call asks the desktop again; nothing is remembered. Main thread only.
class LoginItemRegistry
{
public:
    virtual ~LoginItemRegistry() = default;

    // Whether the desktop will start this Brivet at the next login.
    [[nodiscard]] virtual bool isRegistered() const = 0;
    // Adds (true) or removes (false) Brivet. std::nullopt on success, else the reason; a
    // failed call leaves the desktop's record as it was.
    [[nodiscard]] virtual std::optional<QString> setRegistered(bool registered) = 0;
};

} // namespace brivet
