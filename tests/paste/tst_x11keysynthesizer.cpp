// X11KeySynthesizer on a private X server: the windows it sees and the keys a window receives.
#include "platform/x11/X11KeySynthesizer.h"
#include "support/TestMain.h"
#include "support/XTestClients.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <X11/keysym.h>

using namespace brivet;
using test::TestWindow;
using Key = TestWindow::Key;

class TestX11KeySynthesizer : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::XvfbServer> m_server;

private slots:
    void initTestCase()
    {
        {
            test::XvfbServer withoutXTest({"-extension", "XTEST"});
            X11KeySynthesizer keys;
            QVERIFY(!keys.isAvailable());
            QVERIFY(!keys.sendShortcut(PasteShortcut::ControlV));
        }
        m_server = std::make_unique<test::XvfbServer>();
        QVERIFY(m_server->isStarted());
    }

    // The window sees exactly the shortcut (Ctrl+V, and with Shift still held: test_paste.py).
    void knowsWindowsAndSendsExactlyControlShiftV()
    {
        X11KeySynthesizer keys;
        TestWindow window;
        window.focus();
        QCOMPARE(keys.activeWindow(), std::nullopt); // no window manager to say
        QCOMPARE(keys.windowClasses(window.id()), (QStringList{"myterm", "MyTerm"}));
        QVERIFY(keys.sendShortcut(PasteShortcut::ControlShiftV));
        const uint16_t ctrl = XCB_MOD_MASK_CONTROL, shift = XCB_MOD_MASK_SHIFT;
        QCOMPARE(window.keys(), (QList<Key>{{true, XK_Control_L, 0},
                                            {true, XK_Shift_L, ctrl},
                                            {true, XK_v, ctrl | shift},
                                            {false, XK_v, ctrl | shift},
                                            {false, XK_Shift_L, ctrl | shift},
                                            {false, XK_Control_L, ctrl}}));
        window.destroy();
        QTRY_VERIFY(!keys.windowExists(window.id()));
    }
};

BRIVET_TEST_CLASS(TestX11KeySynthesizer)
#include "tst_x11keysynthesizer.moc"
