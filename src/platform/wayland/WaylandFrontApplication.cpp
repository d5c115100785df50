#include "platform/wayland/WaylandFrontApplication.h"

#include "platform/wayland/WaylandLogging.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <wayland-client.h>

namespace brivet {

namespace {

constexpr uint32_t kMaxVersion = 3;

} // namespace

struct WaylandFrontApplication::Private
{
    // A window as the compositor last described it; the pending parts apply at "done".
    struct Toplevel
    {
        QString appId;
        bool activated = false;
        QString pendingAppId;
        bool pendingActivated = false;
    };

    explicit Private(DesktopEntries entries) : entries(std::move(entries)) {}
    ~Private();
    [[nodiscard]] bool connect();

    void readEvents();

    DesktopEntries entries;
    std::unique_ptr<QSocketNotifier> notifier;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::unordered_map<zwlr_foreign_toplevel_handle_v1*, Toplevel> toplevels;

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version)
    {
        auto* self = static_cast<Private*>(data);
        if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0 ||
            self->manager)
            return;
        self->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                             std::min(version, kMaxVersion)));
        zwlr_foreign_toplevel_manager_v1_add_listener(self->manager, &managerListener, self);
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* handle)
    {
        auto* self = static_cast<Private*>(data);
        self->toplevels[handle];
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, self);
    }
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1*)
    {
        qCWarning(lcWayland) << "the compositor stopped telling which window is in front";
        auto* self = static_cast<Private*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(self->manager);
        self->manager = nullptr;
    }
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
    {
        static_cast<Private*>(data)->toplevels[handle].pendingAppId = QString::fromUtf8(appId);
    }
    static void outputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void outputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states)
    {
        const auto* begin = static_cast<const uint32_t*>(states->data);
        const auto* end = begin + states->size / sizeof(uint32_t);
        static_cast<Private*>(data)->toplevels[handle].pendingActivated =
            std::find(begin, end, uint32_t(ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)) != end;
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1* handle)
    {
        Toplevel& toplevel = static_cast<Private*>(data)->toplevels[handle];
        toplevel.appId = toplevel.pendingAppId;
        toplevel.activated = toplevel.pendingActivated;
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
    {
        static_cast<Private*>(data)->toplevels.erase(handle);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*)
    {}

    static constexpr wl_registry_listener registryListener{&Private::global,
                                                           &Private::globalRemove};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener{&Private::toplevel,
                                                                               &Private::finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener{
        &Private::title, &Private::appId, &Private::outputEnter, &Private::outputLeave,
        &Private::state, &Private::done,  &Private::closed,      &Private::parent};
};

WaylandFrontApplication::Private::~Private()
{
    notifier.reset();
    for (const auto& [handle, toplevel] : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    if (manager)
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
    if (registry)
        wl_registry_destroy(registry);
    if (display)
        wl_display_disconnect(display);
}

bool WaylandFrontApplication::Private::connect()
{
    display = wl_display_connect(nullptr);
    if (!display)
        return false;
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, this);
    // The globals, then the windows that exist already.
    if (wl_display_roundtrip(display) < 0 || !manager || wl_display_roundtrip(display) < 0)
        return false;
    notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [this] { readEvents(); });
    return true;
}

void WaylandFrontApplication::Private::readEvents()
{
    if (wl_display_prepare_read(display) == 0 && wl_display_read_events(display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's list of windows";
        notifier->setEnabled(false);
        return;
    }
    wl_display_dispatch_pending(display);
    wl_display_flush(display);
}

WaylandFrontApplication::WaylandFrontApplication()
    : WaylandFrontApplication(
          DesktopEntries(DesktopEntries::defaultDataDirs(), DesktopEntries::defaultLocale()))
{}

WaylandFrontApplication::WaylandFrontApplication(DesktopEntries entries)
    : d(std::make_unique<Private>(std::move(entries)))
{
    if (!d->connect()) {
        qCDebug(lcWayland) << "the compositor does not tell which window is in front";
        d = std::make_unique<Private>(std::move(d->entries)); // nothing half made is kept
    }
}

WaylandFrontApplication::~WaylandFrontApplication() = default;

bool WaylandFrontApplication::isAvailable() const
{
    return d->manager != nullptr;
}

std::optional<ApplicationInfo> WaylandFrontApplication::frontmostApplication()
{
    if (!d->manager)
        return std::nullopt;
    if (wl_display_roundtrip(d->display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's list of windows";
        zwlr_foreign_toplevel_manager_v1_destroy(d->manager);
        d->manager = nullptr;
        return std::nullopt;
    }
    const auto front = std::find_if(d->toplevels.begin(), d->toplevels.end(),
                                    [](const auto& entry) { return entry.second.activated; });
    if (front == d->toplevels.end())
        return std::nullopt;
    const QString& appId = front->second.appId;
    DesktopEntries::WindowHints hints;
    hints.applicationId = appId;
    hints.wmClass = appId;
    QString bundleId = appId;
    QString name = appId;
    if (const std::optional<DesktopEntries::Entry> entry = d->entries.forWindow(hints)) {
        bundleId = entry->id;
        if (!entry->name.isEmpty())
            name = entry->name;
    }
    return ApplicationInfo{name.isEmpty() ? std::nullopt : std::optional(name),
                           bundleId.isEmpty() ? std::nullopt : std::optional(bundleId)};
}

} // namespace brivet
