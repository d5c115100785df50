#include "platform/wayland/WaylandToplevels.h"

#include "platform/wayland/WaylandLogging.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>
#include <wayland-client.h>

namespace brivet {

namespace {

constexpr uint32_t kMaxVersion = 3;

} // namespace

struct WaylandToplevels::Private
{
    // A window as the compositor last described it; the pending parts apply at "done".
    struct Toplevel
    {
        WindowId id = 0;
        QString appId;
        bool activated = false;
        QString pendingAppId;
        bool pendingActivated = false;
        std::vector<wl_output*> outputs; // in the order the window entered them
    };
    struct Output
    {
        uint32_t globalName = 0;
        zxdg_output_v1* xdgOutput = nullptr;
        QString name;
    };

    ~Private();
    [[nodiscard]] bool connect();
    void readEvents();
    // Reads what the compositor has said up to now; false once the list is lost.
    bool refresh();
    void lose();
    zwlr_foreign_toplevel_handle_v1* handleOf(WindowId id) const;

    std::unique_ptr<QSocketNotifier> notifier;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::unordered_map<zwlr_foreign_toplevel_handle_v1*, Toplevel> toplevels;
    WindowId lastId = 0;
    zxdg_output_manager_v1* outputManager = nullptr;
    std::map<wl_output*, Output> outputs;

    // Asks for the output's name once both it and the manager are there.
    void nameOutput(wl_output* output)
    {
        Output& known = outputs[output];
        if (!outputManager || known.xdgOutput)
            return;
        known.xdgOutput = zxdg_output_manager_v1_get_xdg_output(outputManager, output);
        zxdg_output_v1_add_listener(known.xdgOutput, &xdgOutputListener, this);
    }
    static void outputName(void* data, zxdg_output_v1* xdgOutput, const char* name)
    {
        auto* self = static_cast<Private*>(data);
        for (auto& [output, known] : self->outputs) {
            if (known.xdgOutput == xdgOutput)
                known.name = QString::fromUtf8(name);
        }
    }
    static void outputPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}
    static void outputSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
    static void outputDone(void*, zxdg_output_v1*) {}
    static void outputDescription(void*, zxdg_output_v1*, const char*) {}
    static constexpr zxdg_output_v1_listener xdgOutputListener{
        &Private::outputPosition, &Private::outputSize, &Private::outputDone, &Private::outputName,
        &Private::outputDescription};

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version)
    {
        auto* self = static_cast<Private*>(data);
        if (std::strcmp(interface, wl_output_interface.name) == 0) {
            // Version 1: only named by the windows' output events and by xdg-output.
            auto* output =
                static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
            self->outputs[output].globalName = name;
            self->nameOutput(output);
            return;
        }
        if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
            !self->outputManager) {
            // Version 2 has the name event.
            if (version < 2)
                return;
            self->outputManager = static_cast<zxdg_output_manager_v1*>(
                wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 2));
            for (auto& [output, known] : self->outputs)
                self->nameOutput(output);
            return;
        }
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat) {
            // Only named in activation requests: no listener, version 1 has all it needs.
            self->seat =
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            return;
        }
        if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0 ||
            self->manager)
            return;
        self->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                             std::min(version, kMaxVersion)));
        zwlr_foreign_toplevel_manager_v1_add_listener(self->manager, &managerListener, self);
    }
    static void globalRemove(void* data, wl_registry*, uint32_t name)
    {
        auto* self = static_cast<Private*>(data);
        for (auto it = self->outputs.begin(); it != self->outputs.end(); ++it) {
            if (it->second.globalName != name)
                continue;
            for (auto& [handle, toplevel] : self->toplevels)
                std::erase(toplevel.outputs, it->first);
            if (it->second.xdgOutput)
                zxdg_output_v1_destroy(it->second.xdgOutput);
            wl_output_destroy(it->first);
            self->outputs.erase(it);
            return;
        }
    }
    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* handle)
    {
        auto* self = static_cast<Private*>(data);
        self->toplevels[handle].id = ++self->lastId;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, self);
    }
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1*)
    {
        qCWarning(lcWayland) << "the compositor stopped listing its windows";
        auto* self = static_cast<Private*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(self->manager);
        self->manager = nullptr;
    }
    static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
    {
        static_cast<Private*>(data)->toplevels[handle].pendingAppId = QString::fromUtf8(appId);
    }
    static void outputEnter(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_output* output)
    {
        std::vector<wl_output*>& on = static_cast<Private*>(data)->toplevels[handle].outputs;
        if (std::find(on.begin(), on.end(), output) == on.end())
            on.push_back(output);
    }
    static void outputLeave(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_output* output)
    {
        std::erase(static_cast<Private*>(data)->toplevels[handle].outputs, output);
    }
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
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    static constexpr wl_registry_listener registryListener{&Private::global,
                                                           &Private::globalRemove};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener{&Private::toplevel,
                                                                               &Private::finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener{
        &Private::title, &Private::appId, &Private::outputEnter, &Private::outputLeave,
        &Private::state, &Private::done,  &Private::closed,      &Private::parent};
};

WaylandToplevels::Private::~Private()
{
    notifier.reset();
    for (const auto& [handle, toplevel] : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    if (manager)
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
    for (const auto& [output, known] : outputs) {
        if (known.xdgOutput)
            zxdg_output_v1_destroy(known.xdgOutput);
        wl_output_destroy(output);
    }
    if (outputManager)
        zxdg_output_manager_v1_destroy(outputManager);
    if (seat)
        wl_seat_destroy(seat);
    if (registry)
        wl_registry_destroy(registry);
    if (display)
        wl_display_disconnect(display);
}

bool WaylandToplevels::Private::connect()
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

void WaylandToplevels::Private::readEvents()
{
    if (wl_display_prepare_read(display) == 0 && wl_display_read_events(display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's list of windows";
        notifier->setEnabled(false);
        return;
    }
    wl_display_dispatch_pending(display);
    wl_display_flush(display);
}

bool WaylandToplevels::Private::refresh()
{
    if (!manager)
        return false;
    if (wl_display_roundtrip(display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's list of windows";
        lose();
        return false;
    }
    return manager != nullptr;
}

void WaylandToplevels::Private::lose()
{
    notifier->setEnabled(false);
    if (manager)
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
    manager = nullptr;
}

zwlr_foreign_toplevel_handle_v1* WaylandToplevels::Private::handleOf(WindowId id) const
{
    const auto found = std::find_if(toplevels.begin(), toplevels.end(),
                                    [id](const auto& entry) { return entry.second.id == id; });
    return found == toplevels.end() ? nullptr : found->first;
}

WaylandToplevels::WaylandToplevels() : d(std::make_unique<Private>())
{
    if (!d->connect()) {
        qCDebug(lcWayland) << "the compositor does not list its windows";
        d = std::make_unique<Private>(); // nothing half made is kept
    }
}

WaylandToplevels::~WaylandToplevels() = default;

bool WaylandToplevels::isAvailable() const
{
    return d->manager != nullptr;
}

std::optional<WaylandToplevels::Window> WaylandToplevels::activated()
{
    if (!d->refresh())
        return std::nullopt;
    const auto front = std::find_if(d->toplevels.begin(), d->toplevels.end(),
                                    [](const auto& entry) { return entry.second.activated; });
    if (front == d->toplevels.end())
        return std::nullopt;
    return Window{front->second.id, front->second.appId};
}

std::optional<WaylandToplevels::Window> WaylandToplevels::window(WindowId id)
{
    if (!d->refresh())
        return std::nullopt;
    zwlr_foreign_toplevel_handle_v1* handle = d->handleOf(id);
    if (!handle)
        return std::nullopt;
    return Window{id, d->toplevels.at(handle).appId};
}

QString WaylandToplevels::activatedOutputName()
{
    if (!d->refresh())
        return {};
    for (const auto& [handle, toplevel] : d->toplevels) {
        if (!toplevel.activated || toplevel.outputs.empty())
            continue;
        const auto known = d->outputs.find(toplevel.outputs.front());
        return known == d->outputs.end() ? QString() : known->second.name;
    }
    return {};
}

bool WaylandToplevels::activate(WindowId id)
{
    if (!d->manager || !d->seat)
        return false;
    zwlr_foreign_toplevel_handle_v1* handle = d->handleOf(id);
    if (!handle)
        return false;
    zwlr_foreign_toplevel_handle_v1_activate(handle, d->seat);
    return wl_display_flush(d->display) >= 0;
}

} // namespace brivet
