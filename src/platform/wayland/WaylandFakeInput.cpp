#include "platform/wayland/WaylandFakeInput.h"

#include "fake-input-client-protocol.h"
#include "platform/wayland/WaylandLogging.h"

#include <cstring>
#include <wayland-client.h>

namespace brivet {

namespace {

// keyboard_key came with version 4.
constexpr uint32_t kKeyboardVersion = 4;

} // namespace

struct WaylandFakeInput::Private
{
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    org_kde_kwin_fake_input* input = nullptr;
    bool tooOld = false;

    ~Private()
    {
        if (input)
            org_kde_kwin_fake_input_destroy(input);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version)
    {
        auto* self = static_cast<Private*>(data);
        if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) != 0 || self->input)
            return;
        if (version < kKeyboardVersion) {
            self->tooOld = true;
            return;
        }
        self->input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kKeyboardVersion));
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener listener{&Private::global, &Private::globalRemove};

    [[nodiscard]] bool connect()
    {
        display = wl_display_connect(nullptr);
        if (!display)
            return false;
        registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, this);
        if (wl_display_roundtrip(display) < 0)
            return false;
        if (tooOld)
            qCWarning(lcWayland) << "the compositor's fake input is too old to press keys";
        if (!input)
            return false;
        // KWin grants this itself; the texts are for compositors that ask the user.
        org_kde_kwin_fake_input_authenticate(input, "Brivet",
                                             "paste the clipboard item chosen in Brivet");
        return wl_display_roundtrip(display) >= 0;
    }
};

WaylandFakeInput::WaylandFakeInput() : d(std::make_unique<Private>()) {}

WaylandFakeInput::~WaylandFakeInput() = default;

std::unique_ptr<WaylandFakeInput> WaylandFakeInput::create()
{
    std::unique_ptr<WaylandFakeInput> input(new WaylandFakeInput);
    if (!input->d->connect()) {
        qCDebug(lcWayland) << "the compositor offers no fake input";
        return nullptr;
    }
    return input;
}

void WaylandFakeInput::key(uint32_t evdevCode, bool pressed)
{
    org_kde_kwin_fake_input_keyboard_key(d->input, evdevCode,
                                         pressed ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                 : WL_KEYBOARD_KEY_STATE_RELEASED);
}

bool WaylandFakeInput::sync()
{
    if (wl_display_roundtrip(d->display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's fake input";
        return false;
    }
    return true;
}

} // namespace brivet
