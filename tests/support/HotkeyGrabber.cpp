// Holds a key combination on the root window, as another program with a global shortcut would,
// until its standard input closes: brivet_hotkey_grabber X11_KEYCODE MODIFIERS [--with-locks].
// --with-locks also grabs it with Caps Lock and Num Lock (Mod2). Prints "grabbed N of M".
#include "platform/x11/XcbConnection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv)
{
    const auto x = brivet::XcbConnection::open();
    if (argc < 3 || !x)
        return 2;
    const auto keyCode = xcb_keycode_t(std::strtoul(argv[1], nullptr, 0));
    const auto modifiers = uint16_t(std::strtoul(argv[2], nullptr, 0));
    const bool withLocks = argc > 3 && std::strcmp(argv[3], "--with-locks") == 0;
    int grabbed = 0;
    const int locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    const int combinations = withLocks ? 4 : 1;
    for (int i = 0; i < combinations; ++i) {
        xcb_generic_error_t* error = xcb_request_check(
            x->get(), xcb_grab_key_checked(x->get(), 1, x->root(), modifiers | locks[i], keyCode,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        grabbed += !error;
        std::free(error);
    }
    std::printf("grabbed %d of %d\n", grabbed, combinations);
    std::fflush(stdout);
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
}
