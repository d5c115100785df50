// Holds a key combination on the root window, as another program with a global shortcut would,
// until its standard input closes or it is terminated.
//
//   brivet_hotkey_grabber X11_KEYCODE MODIFIER_MASK [--with-locks]
//
// --with-locks also grabs the combination with Caps Lock and Num Lock (Mod2). Prints
// "grabbed N of M" once the server has answered every grab.

#include "platform/x11/XcbConnection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s X11_KEYCODE MODIFIER_MASK [--with-locks]\n", argv[0]);
        return 2;
    }
    const auto keyCode = static_cast<xcb_keycode_t>(std::strtoul(argv[1], nullptr, 0));
    const auto modifiers = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 0));
    const bool withLocks = argc > 3 && std::strcmp(argv[3], "--with-locks") == 0;

    const auto x = brivet::XcbConnection::open();
    if (!x) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_connection_t* connection = x->get();
    const xcb_window_t root = x->root();

    std::vector<uint16_t> combinations{modifiers};
    if (withLocks) {
        combinations.push_back(modifiers | XCB_MOD_MASK_LOCK);
        combinations.push_back(modifiers | XCB_MOD_MASK_2);
        combinations.push_back(modifiers | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    }
    std::vector<xcb_void_cookie_t> cookies;
    for (uint16_t combination : combinations) {
        cookies.push_back(xcb_grab_key_checked(connection, 1, root, combination, keyCode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    int grabbed = 0;
    for (xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie))
            std::free(error);
        else
            ++grabbed;
    }
    std::printf("grabbed %d of %zu\n", grabbed, combinations.size());
    std::fflush(stdout);

    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(connection), POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            break;
        if (fds[0].revents) {
            char buffer[64];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                break;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
            std::free(event);
        if (xcb_connection_has_error(connection))
            break;
    }
    return 0;
}
