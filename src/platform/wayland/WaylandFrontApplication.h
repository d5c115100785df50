#pragma once

#include "platform/FrontApplication.h"
#include "platform/linux/DesktopEntries.h"

#include <memory>

namespace brivet {

class WaylandToplevels;

// The application in front on Wayland: the window the compositor's list marks activated,
// named through its app_id's desktop file.
class WaylandFrontApplication : public FrontApplication
{
public:
    explicit WaylandFrontApplication(std::shared_ptr<WaylandToplevels> toplevels);
    WaylandFrontApplication(std::shared_ptr<WaylandToplevels> toplevels, DesktopEntries entries);
    ~WaylandFrontApplication() override;

    std::optional<ApplicationInfo> frontmostApplication() override;

private:
    std::shared_ptr<WaylandToplevels> m_toplevels;
    DesktopEntries m_entries;
};

} // namespace brivet
