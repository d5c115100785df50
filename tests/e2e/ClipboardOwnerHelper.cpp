// A clipboard owner for the end-to-end tests, offering what xclip cannot: several targets at
// once, or no answer at all.
//
//   brivet_clipboard_owner [--silent] [TARGET=TEXT]...
//
// Takes CLIPBOARD, prints "ready" once it owns it, and serves each TARGET with TEXT (and
// TARGETS with the list). With --silent it ignores every request, like a hung application.
// Exits when another client takes the selection or the X server goes away.

#include "platform/x11/XcbConnection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

// A timestamp from the server: the time of a property change on our own window.
xcb_timestamp_t serverTime(xcb_connection_t* connection, xcb_window_t window)
{
    const char byte = 0;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, 0, &byte);
    xcb_flush(connection);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const bool found = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        const xcb_timestamp_t time =
            found ? reinterpret_cast<xcb_property_notify_event_t*>(event)->time : 0;
        std::free(event);
        if (found)
            return time;
    }
    return XCB_CURRENT_TIME;
}

} // namespace

int main(int argc, char* argv[])
{
    bool silent = false;
    std::vector<std::pair<std::string, std::string>> offers;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--silent") {
            silent = true;
            continue;
        }
        const auto equals = argument.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "usage: %s [--silent] [TARGET=TEXT]...\n", argv[0]);
            return 2;
        }
        offers.emplace_back(argument.substr(0, equals), argument.substr(equals + 1));
    }

    const auto x = brivet::XcbConnection::open();
    if (!x) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_connection_t* connection = x->get();
    const xcb_screen_t* screen = x->screen();

    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                      &eventMask);

    const xcb_atom_t clipboard = x->atom("CLIPBOARD");
    const xcb_atom_t targets = x->atom("TARGETS");
    std::map<xcb_atom_t, std::string> data;
    std::vector<xcb_atom_t> offered{targets};
    for (const auto& [name, text] : offers) {
        const xcb_atom_t atom = x->atom(name.c_str());
        data[atom] = text;
        offered.push_back(atom);
    }

    const xcb_timestamp_t time = serverTime(connection, window);
    xcb_set_selection_owner(connection, window, clipboard, time);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard),
                                      nullptr),
        &std::free);
    if (!owner || owner->owner != window) {
        std::fprintf(stderr, "could not take CLIPBOARD\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR) {
            std::free(event);
            break;
        }
        if (type != XCB_SELECTION_REQUEST || silent) {
            std::free(event);
            continue;
        }
        const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
        xcb_atom_t property = request->property ? request->property : request->target;
        if (request->target == targets) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property,
                                XCB_ATOM_ATOM, 32, uint32_t(offered.size()), offered.data());
        } else if (auto it = data.find(request->target); it != data.end()) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property,
                                request->target, 8, uint32_t(it->second.size()), it->second.data());
        } else {
            property = XCB_ATOM_NONE;
        }
        xcb_selection_notify_event_t notify;
        std::memset(&notify, 0, sizeof notify);
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request->time;
        notify.requestor = request->requestor;
        notify.selection = request->selection;
        notify.target = request->target;
        notify.property = property;
        xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(connection);
        std::free(event);
    }
    return 0;
}
