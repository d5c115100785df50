#pragma once

#include "platform/KeySynthesizer.h"

#include <QString>
#include <memory>
#include <optional>

namespace brivet {

// The compositor's list of windows (zwlr_foreign_toplevel_manager_v1) on a connection of its
// own: each window's app_id, whether it is the activated one and the outputs it is on (named
// through xdg-output). One list serves both the
// front application and the paste stroke. Lives on the main thread, whose event loop reads
// the compositor's news as it comes (unread, it would pile up until the compositor gives up on
// the connection); a question costs one round trip, never a wait for another program.
class WaylandToplevels
{
public:
    struct Window
    {
        WindowId id = 0; // Brivet's own number for the window, never reused
        QString appId;
    };

    WaylandToplevels(); // connects; see isAvailable()
    ~WaylandToplevels();
    WaylandToplevels(const WaylandToplevels&) = delete;
    WaylandToplevels& operator=(const WaylandToplevels&) = delete;

    // False when the compositor does not list its windows (or stopped doing so).
    bool isAvailable() const;
    // The window marked activated, as the compositor says right now.
    std::optional<Window> activated();
    // The window, unless it has been closed.
    std::optional<Window> window(WindowId id);
    // Asks the compositor to activate the window for the seat; false when it cannot be asked.
    [[nodiscard]] bool activate(WindowId id);
    // The name of the output the activated window is on (its first, when it spans several), as
    // the compositor names outputs (Qt's screen names); empty when unknown.
    QString activatedOutputName();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
