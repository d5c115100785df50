#pragma once

#include "platform/x11/XcbConnection.h"

#include <QList>
#include <memory>
#include <optional>
#include <xcb/xcb_keysyms.h>

// Plain X clients of the tests, each on a connection of its own (the selection owner is in
// TestSelectionOwner.h, the program holding a key combination is HotkeyGrabber.cpp).
namespace brivet::test {

// Asks for the clipboard the way toolkits do, with full control over reading the answer.
class Requestor
{
public:
    Requestor();
    xcb_atom_t atom(const QByteArray& name) { return m_x->atom(name.constData()); }
    // The property the owner answered into, or std::nullopt when it refused.
    std::optional<xcb_atom_t> convert(const QByteArray& target, const QByteArray& property);
    struct Answer
    {
        QByteArray type;
        QByteArray data;
    };
    Answer read(xcb_atom_t property);
    void setAtoms(const QByteArray& property, const QList<QByteArray>& names);
    QList<QByteArray> atomNames(const QByteArray& data);

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_window_t m_window;
};

// A top-level window with WM_CLASS (and the GTK application id when given); records the keys
// it receives.
class TestWindow
{
public:
    struct Key
    {
        bool press;
        xcb_keysym_t keysym;
        uint16_t state; // modifiers in effect for the event
        friend bool operator==(const Key&, const Key&) = default;
    };
    explicit TestWindow(const QByteArray& instance = "myterm", const QByteArray& wmClass = "MyTerm",
                        const QByteArray& gtkApplicationId = {});
    ~TestWindow() { xcb_key_symbols_free(m_symbols); }
    xcb_window_t id() const { return m_window; }
    void focus();    // takes the keyboard focus itself, as where no window manager runs
    void activate(); // asks the window manager to make it active, as a pager would
    void destroy();
    QList<Key> keys(); // every key event so far, once the server sent them all

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_window_t m_window = XCB_NONE;
    xcb_key_symbols_t* m_symbols = nullptr;
};

inline char* toString(const TestWindow::Key& key) // for QCOMPARE
{
    return qstrdup(QByteArray::number(key.keysym, 16) + (key.press ? " down" : " up") + " state " +
                   QByteArray::number(key.state, 16));
}

} // namespace brivet::test
