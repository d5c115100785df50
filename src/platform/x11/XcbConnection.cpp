#include "platform/x11/XcbConnection.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace brivet {

std::unique_ptr<XcbConnection> XcbConnection::open(const char* displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection = nullptr;
    // A server can refuse a connection made right after another client left (seen with Xvfb);
    // a moment later it accepts. Only a socket error is worth another try.
    for (int attempt = 1;; ++attempt) {
        connection = xcb_connect(displayName, &screenNumber);
        const int error = xcb_connection_has_error(connection);
        if (!error)
            break;
        xcb_disconnect(connection);
        if (error != XCB_CONN_ERROR || attempt == 5)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt));
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<XcbConnection>(new XcbConnection(connection, it.data));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen)
    : m_connection(connection), m_screen(screen)
{}

XcbConnection::~XcbConnection()
{
    xcb_disconnect(m_connection);
}

std::vector<xcb_atom_t> XcbConnection::atoms(std::initializer_list<const char*> names)
{
    std::vector<xcb_atom_t> result(names.size(), XCB_ATOM_NONE);
    std::vector<xcb_intern_atom_cookie_t> cookies(names.size());
    std::vector<bool> asked(names.size(), false);
    size_t i = 0;
    // All requests go out before the first reply is awaited: one round trip in total.
    for (const char* name : names) {
        auto cached = m_atoms.constFind(QByteArray(name));
        if (cached != m_atoms.constEnd()) {
            result[i] = *cached;
        } else {
            cookies[i] = xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name);
            asked[i] = true;
        }
        ++i;
    }
    i = 0;
    for (const char* name : names) {
        if (asked[i]) {
            XcbReply<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(m_connection, cookies[i], nullptr));
            if (reply) {
                result[i] = reply->atom;
                m_atoms.insert(QByteArray(name), reply->atom);
            }
        }
        ++i;
    }
    return result;
}

std::optional<QByteArray> XcbConnection::atomName(xcb_atom_t atom)
{
    XcbReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    if (!reply)
        return std::nullopt;
    return QByteArray(xcb_get_atom_name_name(reply.get()),
                      xcb_get_atom_name_name_length(reply.get()));
}

std::optional<QByteArray> XcbConnection::property(xcb_window_t window, xcb_atom_t property,
                                                  xcb_atom_t type)
{
    // 64 KiB is far more than any window property read this way.
    constexpr uint32_t maxLongs = 16 * 1024;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, maxLongs),
        nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return std::nullopt;
    if (type != XCB_ATOM_ANY && reply->type != type)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

} // namespace brivet
