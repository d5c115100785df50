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
    QString bundleId = front->appId;
    QString name = front->appId;
    if (const std::optional<DesktopEntries::Entry> entry = m_entries.forWindow(hints)) {
        bundleId = entry->id;
        if (!entry->name.isEmpty())
            name = entry->name;
    }
    return ApplicationInfo{name.isEmpty() ? std::nullopt : std::optional(name),
                           bundleId.isEmpty() ? std::nullopt : std::optional(bundleId)};
}

} // namespace brivet
