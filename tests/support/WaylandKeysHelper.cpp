// Key presses on a Wayland compositor for the end-to-end tests, through a virtual keyboard
// with a US layout (wtype's keys do not submit a GTK dialog), else through KWin's fake input
// (which KWin shows only to programs whose desktop file asks for it):
//   brivet_wayland_keys [ctrl+]EVDEV_CODE...
// Waits a moment after making the keyboard, whose first keys the compositor would drop.
#include "platform/wayland/WaylandKeyboard.h"

#include <QByteArray>
#include <chrono>
#include <cstdio>
#include <linux/input-event-codes.h>
#include <thread>

int main(int argc, char* argv[])
{
    auto keyboard = brivet::WaylandKeyboard::create();
    if (!keyboard) {
        std::fprintf(stderr, "no virtual keyboard and no fake input\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 1; i < argc; ++i) {
        QByteArray key(argv[i]);
        const bool control = key.startsWith("ctrl+");
        if (control)
            key = key.mid(5);
        const bool pressed = control ? keyboard->press({KEY_LEFTCTRL}, key.toUInt())
                                     : keyboard->press({}, key.toUInt());
        if (!pressed)
            return 1;
    }
    return 0;
}
