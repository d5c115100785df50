#pragma once

#include "platform/FrontApplication.h"
#include "platform/linux/DesktopEntries.h"

#include <memory>

namespace brivet {

class XcbConnection;

// The application of the window the window manager reports as active (_NET_ACTIVE_WINDOW),
// named after its desktop file when one matches the window, else after its WM_CLASS. Costs two
// quick round trips to the X server per call, never a wait on another program.
class X11FrontApplication : public FrontApplication
{
public:
    X11FrontApplication();
    explicit X11FrontApplication(DesktopEntries entries);
    ~X11FrontApplication() override;

    std::optional<ApplicationInfo> frontmostApplication() override;

private:
    std::unique_ptr<XcbConnection> m_connection;
    DesktopEntries m_entries;
};

} // namespace brivet
