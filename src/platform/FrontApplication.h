#pragma once

#include <QString>

#include <optional>

namespace brivet {

struct ApplicationInfo
{
    std::optional<QString> name;     // display name, e.g. "Text Editor"
    std::optional<QString> bundleId; // desktop-file id, else the window class
};

// The application whose window is in front.
class FrontApplication
{
public:
    virtual ~FrontApplication() = default;
    // std::nullopt when no application is in front.
    virtual std::optional<ApplicationInfo> frontmostApplication() = 0;
};

} // namespace brivet
