#include "platform/wayland/WaylandFrontApplication.h"

#include "platform/wayland/WaylandToplevels.h"

namespace brivet {

WaylandFrontApplication::WaylandFrontApplication(std::shared_ptr<WaylandToplevels> toplevels)
    : WaylandFrontApplication(
          std::move(toplevels),
          DesktopEntries(DesktopEntries::defaultDataDirs(), DesktopEntries::defaultLocale()))
{}

WaylandFrontApplication::WaylandFrontApplication(std::shared_ptr<WaylandToplevels> toplevels,
                                                 DesktopEntries entries)
    : m_toplevels(std::move(toplevels)), m_entries(std::move(entries))
{}

WaylandFrontApplication::~WaylandFrontApplication() = default;

std::optional<ApplicationInfo> WaylandFrontApplication::frontmostApplication()
{
    const std::optional<WaylandToplevels::Window> front = m_toplevels->activated();
    if (!front)
        return std::nullopt;
    DesktopEntries::WindowHints hints;
    hints.applicationId = front->appId;
    hints.wmClass = front->appId;
    return m_entries.applicationFor(hints, front->appId);
}

} // namespace brivet
