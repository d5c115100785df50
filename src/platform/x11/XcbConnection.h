#pragma once

#include <QByteArray>
#include <QHash>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace brivet {

// Replies and events from xcb are malloc'ed; this frees them.
struct XcbFree
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

// A connection of its own to the X server, with the default screen's root window and a cache
// of interned atoms. Not thread-safe: each thread that talks to the server keeps its own.
class XcbConnection
{
public:
    // Connects to $DISPLAY (or the given display); nullptr when no server can be reached.
    [[nodiscard]] static std::unique_ptr<XcbConnection> open(const char* displayName = nullptr);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_screen_t* screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen->root; }
    // True once the connection broke (server gone, protocol error on the stream).
    bool hasError() const { return xcb_connection_has_error(m_connection) != 0; }

    // Interns the atoms in one round trip (names already cached cost nothing). A name the
    // server refused maps to XCB_ATOM_NONE.
    std::vector<xcb_atom_t> atoms(std::initializer_list<const char*> names);
    xcb_atom_t atom(const char* name) { return atoms({name}).front(); }
    // The name of an atom, or std::nullopt when the server does not know it.
    std::optional<QByteArray> atomName(xcb_atom_t atom);

    // Reads a whole property (any type when type is XCB_ATOM_ANY), or std::nullopt when the
    // window or the property does not exist or the type differs. Quick round trips only: for
    // small properties such as WM_CLASS, not for selection transfers.
    std::optional<QByteArray> property(xcb_window_t window, xcb_atom_t property,
                                       xcb_atom_t type = XCB_ATOM_ANY);

private:
    XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen);

    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};

} // namespace brivet
