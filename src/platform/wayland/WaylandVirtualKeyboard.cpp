#include "platform/wayland/WaylandVirtualKeyboard.h"

#include "platform/wayland/WaylandLogging.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace brivet {

namespace {

struct Globals
{
    uint32_t seat = 0;
    uint32_t manager = 0;

    static void global(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t)
    {
        auto* self = static_cast<Globals*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat == 0)
            self->seat = name;
        else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
            self->manager = name;
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener listener{&Globals::global, &Globals::globalRemove};
};

} // namespace

struct WaylandVirtualKeyboard::Private
{
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    uint32_t controlMask = 0;
    uint32_t shiftMask = 0;
    uint32_t held = 0; // of controlMask and shiftMask
    QElapsedTimer clock; // key times, in milliseconds

    ~Private()
    {
        if (keyboard)
            zwp_virtual_keyboard_v1_destroy(keyboard);
        if (manager)
            zwp_virtual_keyboard_manager_v1_destroy(manager);
        if (seat)
            wl_seat_destroy(seat);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    [[nodiscard]] bool connect();
    [[nodiscard]] bool uploadKeymap();
};

bool WaylandVirtualKeyboard::Private::connect()
{
    display = wl_display_connect(nullptr);
    if (!display)
        return false;
    registry = wl_display_get_registry(display);
    Globals globals;
    wl_registry_add_listener(registry, &Globals::listener, &globals);
    if (wl_display_roundtrip(display) < 0 || globals.seat == 0 || globals.manager == 0)
        return false;
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, globals.seat, &wl_seat_interface, 1));
    manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, globals.manager, &zwp_virtual_keyboard_manager_v1_interface, 1));
    keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
    clock.start();
    // A compositor that refuses the keyboard says so with a protocol error.
    return uploadKeymap() && wl_display_roundtrip(display) >= 0;
}

// A US layout, in which the evdev codes sent mean what their names say.
bool WaylandVirtualKeyboard::Private::uploadKeymap()
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return false;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    bool uploaded = false;
    if (text) {
        controlMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
        shiftMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
        const size_t size = std::strlen(text) + 1;
        const int fd = memfd_create("brivet-keymap", MFD_CLOEXEC);
        if (fd >= 0 && ::write(fd, text, size) == ssize_t(size)) {
            zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                           uint32_t(size));
            uploaded = true;
        } else {
            qCWarning(lcWayland) << "could not hand the virtual keyboard its layout:"
                                 << std::strerror(errno);
        }
        if (fd >= 0)
            ::close(fd); // the request carries a copy of it
        free(text);
    } else {
        qCWarning(lcWayland) << "could not build the virtual keyboard's layout";
    }
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return uploaded;
}

WaylandVirtualKeyboard::WaylandVirtualKeyboard() : d(std::make_unique<Private>()) {}

WaylandVirtualKeyboard::~WaylandVirtualKeyboard() = default;

std::unique_ptr<WaylandVirtualKeyboard> WaylandVirtualKeyboard::create()
{
    std::unique_ptr<WaylandVirtualKeyboard> keyboard(new WaylandVirtualKeyboard);
    if (!keyboard->d->connect()) {
        qCDebug(lcWayland) << "the compositor offers no virtual keyboard";
        return nullptr;
    }
    return keyboard;
}

void WaylandVirtualKeyboard::key(uint32_t evdevCode, bool pressed)
{
    zwp_virtual_keyboard_v1_key(d->keyboard, uint32_t(d->clock.elapsed()), evdevCode,
                                pressed ? WL_KEYBOARD_KEY_STATE_PRESSED
                                        : WL_KEYBOARD_KEY_STATE_RELEASED);
    // A virtual keyboard has no modifier state of its own: what its modifier keys hold is sent.
    uint32_t mask = 0;
    if (evdevCode == KEY_LEFTCTRL || evdevCode == KEY_RIGHTCTRL)
        mask = d->controlMask;
    else if (evdevCode == KEY_LEFTSHIFT || evdevCode == KEY_RIGHTSHIFT)
        mask = d->shiftMask;
    if (!mask)
        return;
    d->held = pressed ? d->held | mask : d->held & ~mask;
    zwp_virtual_keyboard_v1_modifiers(d->keyboard, d->held, 0, 0, 0);
}

bool WaylandVirtualKeyboard::sync()
{
    if (wl_display_roundtrip(d->display) < 0) {
        qCWarning(lcWayland) << "lost the compositor's virtual keyboard";
        return false;
    }
    return true;
}

} // namespace brivet
