// Clicks on a Wayland compositor for the end-to-end tests, through a virtual pointer (wlroots),
// else through KWin's fake input (which KWin shows only to programs whose desktop file asks
// for it):
//   brivet_wayland_click WIDTH HEIGHT X Y [BUTTON]
// moves the pointer to X, Y of an output of WIDTH x HEIGHT and clicks BUTTON (evdev code, the
// left button when left out). A headless compositor has no pointer until this one appears:
// clients are given a moment to take it before the click.
#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <thread>
#include <wayland-client.h>

namespace {

struct Globals
{
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat)
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
        globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

// KWin's fake input: its pointer is KWin's own, there from the start.
int clickThroughFakeInput(wl_display* display, org_kde_kwin_fake_input* input, uint32_t x,
                          uint32_t y, uint32_t button)
{
    org_kde_kwin_fake_input_authenticate(input, "brivet_wayland_click", "end-to-end tests");
    org_kde_kwin_fake_input_pointer_motion_absolute(input, wl_fixed_from_int(int(x)),
                                                    wl_fixed_from_int(int(y)));
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    org_kde_kwin_fake_input_button(input, button, WL_POINTER_BUTTON_STATE_PRESSED);
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    org_kde_kwin_fake_input_button(input, button, WL_POINTER_BUTTON_STATE_RELEASED);
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(input);
    wl_display_roundtrip(display);
    return 0;
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

uint32_t now()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT X Y [BUTTON]\n", argv[0]);
        return 2;
    }
    const uint32_t width = std::strtoul(argv[1], nullptr, 10);
    const uint32_t height = std::strtoul(argv[2], nullptr, 10);
    const uint32_t x = std::strtoul(argv[3], nullptr, 10);
    const uint32_t y = std::strtoul(argv[4], nullptr, 10);
    const uint32_t button = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : BTN_LEFT;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    // Every proxy goes before the connection (the sanitizer build counts them as leaks).
    const auto finish = [&](int status) {
        if (globals.manager)
            zwlr_virtual_pointer_manager_v1_destroy(globals.manager);
        if (globals.fakeInput && globals.manager)
            org_kde_kwin_fake_input_destroy(globals.fakeInput);
        if (globals.seat)
            wl_seat_destroy(globals.seat);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return status;
    };
    if (!globals.manager && globals.fakeInput)
        return finish(clickThroughFakeInput(display, globals.fakeInput, x, y, button));
    if (!globals.manager) {
        std::fprintf(stderr, "no virtual pointer and no fake input\n");
        return finish(1);
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    zwlr_virtual_pointer_v1_button(pointer, now(), button, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    zwlr_virtual_pointer_v1_button(pointer, now(), button, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    // The clients read the click before the pointer goes away with this program.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    return finish(0);
}
