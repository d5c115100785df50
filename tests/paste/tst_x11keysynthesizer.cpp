#include "platform/x11/X11KeySynthesizer.h"
#include "support/TestMain.h"
#include "support/XTestClients.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <X11/keysym.h>

using namespace brivet;
using test::XvfbServer;

namespace {

using Key = test::TestWindow::Key;
using test::TestWindow;

constexpr uint16_t shiftMask = XCB_MOD_MASK_SHIFT;
constexpr uint16_t controlMask = XCB_MOD_MASK_CONTROL;

} // namespace

class TestX11KeySynthesizer : public QObject
{
    Q_OBJECT

    std::unique_ptr<XvfbServer> m_server;

private slots:
    void initTestCase()
    {
        {
            XvfbServer withoutXTest({"-extension", "XTEST"});
            X11KeySynthesizer keys;
            QVERIFY(!keys.isAvailable());
            QVERIFY(!keys.sendShortcut(PasteShortcut::ControlV));
        }
        m_server = std::make_unique<XvfbServer>();
        QVERIFY(m_server->isStarted());
    }

    void knowsWindows()
    {
        X11KeySynthesizer keys;
        TestWindow window;
        window.focus();
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
        X11KeySynthesizer keys;
        TestWindow window;
        window.focus();
        for (xcb_keysym_t keysym : held)
            window.hold(keysym);
        window.keys(); // what holding produced

        QVERIFY(keys.sendShortcut(shortcut));

        QCOMPARE(window.keys(), expected);
    }
};

BRIVET_TEST_CLASS(TestX11KeySynthesizer)
#include "tst_x11keysynthesizer.moc"
