#include "platform/x11/X11KeySynthesizer.h"
#include "platform/x11/XcbConnection.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <X11/keysym.h>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

using namespace brivet;
using test::XvfbServer;

namespace {

struct Key
{
    bool press;
    xcb_keysym_t keysym;
    uint16_t state; // modifiers in effect for the event
    bool operator==(const Key& other) const
    {
        return press == other.press && keysym == other.keysym && state == other.state;
    }
};

char* toString(const Key& key)
{
    return qstrdup(QByteArray(key.press ? "press " : "release ")
                       .append(QByteArray::number(key.keysym, 16))
                       .append(" state ")
                       .append(QByteArray::number(key.state, 16)));
}

// A focused window that records the keys it receives.
class KeyWindow
{
public:
    KeyWindow() : m_x(XcbConnection::open())
    {
        if (!m_x)
            qFatal("no X server");
        m_connection = m_x->get();
        m_window = xcb_generate_id(m_connection);
        const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 50, 50,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        const char wmClass[] = "myterm\0MyTerm";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
        xcb_map_window(m_connection, m_window);
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        m_symbols = xcb_key_symbols_alloc(m_connection);
    }
    ~KeyWindow() { xcb_key_symbols_free(m_symbols); }

    WindowId id() const { return m_window; }
    void destroy()
    {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    void hold(xcb_keysym_t keysym)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        if (!codes)
            qFatal("no key for keysym %x", keysym);
        xcb_test_fake_input(m_connection, XCB_KEY_PRESS, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                            0);
        free(codes);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    // Every key event that has arrived, once the server has sent them all.
    QList<Key> keys()
    {
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        QList<Key> keys;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
                auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
                keys.append({type == XCB_KEY_PRESS,
                             xcb_key_symbols_get_keysym(m_symbols, key->detail, 0), key->state});
            }
            free(event);
        }
        return keys;
    }

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    xcb_key_symbols_t* m_symbols = nullptr;
};

constexpr uint16_t shiftMask = XCB_MOD_MASK_SHIFT;
constexpr uint16_t controlMask = XCB_MOD_MASK_CONTROL;

} // namespace

class TestX11KeySynthesizer : public QObject
{
    Q_OBJECT

private slots:
    void withoutXTestNoStrokeIsPossible()
    {
        XvfbServer server({"-extension", "XTEST"}); // no XTest
        X11KeySynthesizer keys;
        QVERIFY(!keys.isAvailable());
        QVERIFY(!keys.sendShortcut(PasteShortcut::ControlV));
    }

    void knowsWindows()
    {
        XvfbServer server;
        X11KeySynthesizer keys;
        KeyWindow window;
        QVERIFY(keys.isAvailable());
        // No window manager: nobody says which window is active.
        QCOMPARE(keys.activeWindow(), std::nullopt);
        QVERIFY(keys.windowExists(window.id()));
        QCOMPARE(keys.windowClasses(window.id()), (QStringList{"myterm", "MyTerm"}));
        window.destroy();
        QTRY_VERIFY(!keys.windowExists(window.id()));
        QCOMPARE(keys.windowClasses(window.id()), QStringList());
    }

    // The window sees exactly the shortcut, whatever modifiers the user still holds.
    void sendsExactlyTheShortcut_data()
    {
        QTest::addColumn<PasteShortcut>("shortcut");
        QTest::addColumn<QList<xcb_keysym_t>>("held");
        QTest::addColumn<QList<Key>>("expected");

        const QList<Key> controlV{{true, XK_Control_L, 0},
                                  {true, XK_v, controlMask},
                                  {false, XK_v, controlMask},
                                  {false, XK_Control_L, controlMask}};
        QTest::addRow("Ctrl+V") << PasteShortcut::ControlV << QList<xcb_keysym_t>{} << controlV;
        QTest::addRow("Ctrl+Shift+V") << PasteShortcut::ControlShiftV << QList<xcb_keysym_t>{}
                                      << QList<Key>{{true, XK_Control_L, 0},
                                                    {true, XK_Shift_L, controlMask},
                                                    {true, XK_v, controlMask | shiftMask},
                                                    {false, XK_v, controlMask | shiftMask},
                                                    {false, XK_Shift_L, controlMask | shiftMask},
                                                    {false, XK_Control_L, controlMask}};
        QTest::addRow("Shift still held")
            << PasteShortcut::ControlV << QList<xcb_keysym_t>{XK_Shift_L}
            << (QList<Key>{{false, XK_Shift_L, shiftMask}} + controlV);
    }

    void sendsExactlyTheShortcut()
    {
        QFETCH(PasteShortcut, shortcut);
        QFETCH(QList<xcb_keysym_t>, held);
        QFETCH(QList<Key>, expected);
        XvfbServer server;
        X11KeySynthesizer keys;
        KeyWindow window;
        for (xcb_keysym_t keysym : held)
            window.hold(keysym);
        window.keys(); // what holding produced

        QVERIFY(keys.sendShortcut(shortcut));

        QCOMPARE(window.keys(), expected);
    }
};

QTEST_GUILESS_MAIN(TestX11KeySynthesizer)
#include "tst_x11keysynthesizer.moc"
