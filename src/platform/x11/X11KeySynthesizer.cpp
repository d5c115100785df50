#include "platform/x11/X11KeySynthesizer.h"

#include "platform/x11/XcbConnection.h"

#include <QLoggingCategory>
#include <X11/keysym.h>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

Q_LOGGING_CATEGORY(lcKeySynthesizer, "brivet.platform.keys", QtInfoMsg)

namespace brivet {

namespace {

// evdev codes + 8, used when the keyboard mapping has no key for a symbol.
constexpr xcb_keycode_t fallbackControl = 37;
constexpr xcb_keycode_t fallbackShift = 50;
constexpr xcb_keycode_t fallbackV = 55;

} // namespace

struct X11KeySynthesizer::Private
{
    std::unique_ptr<XcbConnection> xcb;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_atom_t netActiveWindow = XCB_NONE;
    bool hasXTest = false;

    xcb_keycode_t keycode(xcb_key_symbols_t* symbols, xcb_keysym_t keysym, xcb_keycode_t fallback)
    {
        xcb_keycode_t* codes = symbols ? xcb_key_symbols_get_keycode(symbols, keysym) : nullptr;
        const xcb_keycode_t code = codes && codes[0] != XCB_NO_SYMBOL ? codes[0] : fallback;
        free(codes);
        return code;
    }

    void fakeKey(uint8_t type, xcb_keycode_t code)
    {
        xcb_test_fake_input(connection, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    // Modifier keys (Shift, Control, Alt, Super, ...) that are down right now. Caps Lock is
    // left alone: releasing it would not change its locked state anyway.
    std::vector<xcb_keycode_t> heldModifierKeys()
    {
        auto keymapCookie = xcb_query_keymap(connection);
        auto mappingCookie = xcb_get_modifier_mapping(connection);
        XcbReply<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(connection, keymapCookie, nullptr));
        XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
            xcb_get_modifier_mapping_reply(connection, mappingCookie, nullptr));
        std::vector<xcb_keycode_t> held;
        if (!keymap || !mapping)
            return held;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            if (modifier == XCB_MAP_INDEX_LOCK)
                continue;
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                if (code == 0)
                    continue;
                const bool down = keymap->keys[code / 8] & (1 << (code % 8));
                if (down && std::find(held.begin(), held.end(), code) == held.end())
                    held.push_back(code);
            }
        }
        return held;
    }
};

X11KeySynthesizer::X11KeySynthesizer() : d(std::make_unique<Private>())
{
    d->xcb = XcbConnection::open();
    if (!d->xcb) {
        qCInfo(lcKeySynthesizer) << "no X server; paste strokes are unavailable";
        return;
    }
    d->connection = d->xcb->get();
    d->root = d->xcb->root();
    d->netActiveWindow = d->xcb->atom("_NET_ACTIVE_WINDOW");

    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(d->connection, &xcb_test_id);
    if (extension && extension->present) {
        XcbReply<xcb_test_get_version_reply_t> version(xcb_test_get_version_reply(
            d->connection, xcb_test_get_version(d->connection, 2, 2), nullptr));
        d->hasXTest = version != nullptr;
    }
    if (!d->hasXTest)
        qCInfo(lcKeySynthesizer) << "the X server has no XTest; paste strokes are unavailable";
}

X11KeySynthesizer::~X11KeySynthesizer() = default;

bool X11KeySynthesizer::isAvailable() const
{
    return d->hasXTest && !d->xcb->hasError();
}

std::optional<WindowId> X11KeySynthesizer::activeWindow() const
{
    if (d->root == XCB_NONE || d->netActiveWindow == XCB_NONE)
        return std::nullopt;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        d->connection,
        xcb_get_property(d->connection, 0, d->root, d->netActiveWindow, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
}

bool X11KeySynthesizer::windowExists(WindowId window) const
{
    if (d->root == XCB_NONE || window == 0 || window > UINT32_MAX)
        return false;
    XcbReply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
        d->connection, xcb_get_window_attributes(d->connection, xcb_window_t(window)), nullptr));
    return reply != nullptr;
}

QStringList X11KeySynthesizer::windowClasses(WindowId window) const
{
    if (d->root == XCB_NONE || window == 0 || window > UINT32_MAX)
        return {};
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (!xcb_icccm_get_wm_class_reply(d->connection,
                                      xcb_icccm_get_wm_class(d->connection, xcb_window_t(window)),
                                      &wmClass, nullptr))
        return {};
    QStringList classes{QString::fromLocal8Bit(wmClass.instance_name),
                        QString::fromLocal8Bit(wmClass.class_name)};
    xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    return classes;
}

bool X11KeySynthesizer::requestActivation(WindowId window)
{
    if (d->root == XCB_NONE || d->netActiveWindow == XCB_NONE || window == 0 || window > UINT32_MAX)
        return false;
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = d->netActiveWindow;
    message.data.data32[0] = 2; // source: a pager, which window managers obey
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(d->connection, 0, d->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    return xcb_flush(d->connection) > 0;
}

bool X11KeySynthesizer::sendShortcut(PasteShortcut shortcut)
{
    if (!isAvailable())
        return false;
    // Looked up at every stroke: the user may switch layouts at any time.
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(d->connection);
    const xcb_keycode_t control = d->keycode(symbols, XK_Control_L, fallbackControl);
    const xcb_keycode_t shift = d->keycode(symbols, XK_Shift_L, fallbackShift);
    const xcb_keycode_t v = d->keycode(symbols, XK_v, fallbackV);
    if (symbols)
        xcb_key_symbols_free(symbols);

    for (xcb_keycode_t held : d->heldModifierKeys())
        d->fakeKey(XCB_KEY_RELEASE, held);

    const bool withShift = shortcut == PasteShortcut::ControlShiftV;
    d->fakeKey(XCB_KEY_PRESS, control);
    if (withShift)
        d->fakeKey(XCB_KEY_PRESS, shift);
    d->fakeKey(XCB_KEY_PRESS, v);
    d->fakeKey(XCB_KEY_RELEASE, v);
    if (withShift)
        d->fakeKey(XCB_KEY_RELEASE, shift);
    d->fakeKey(XCB_KEY_RELEASE, control);

    // A round trip makes sure the server has taken the events before we report success.
    XcbReply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(d->connection, xcb_get_input_focus(d->connection), nullptr));
    return sync != nullptr;
}

} // namespace brivet
