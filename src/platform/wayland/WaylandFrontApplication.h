#pragma once

#include "platform/FrontApplication.h"
#include "platform/linux/DesktopEntries.h"

#include <memory>

namespace brivet {

// The application in front on Wayland, from the compositor's list of windows
// (zwlr_foreign_toplevel_manager_v1) on a connection of its own: the window marked activated,
// named through its app_id's desktop file. Lives on the main thread, whose event loop reads the
// compositor's news as it comes (unread, it would pile up until the compositor gives up on
// the connection); a question costs one round trip, never a wait for another program.
class WaylandFrontApplication : public FrontApplication
{
public:
    WaylandFrontApplication();
    explicit WaylandFrontApplication(DesktopEntries entries);
    ~WaylandFrontApplication() override;

    // False when the compositor does not tell which window is in front.
    bool isAvailable() const;
    std::optional<ApplicationInfo> frontmostApplication() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
