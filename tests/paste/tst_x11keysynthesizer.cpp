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

    void knowsWindows()
    {
        X11KeySynthesizer keys;
        TestWindow window;
        window.focus();
        QCOMPARE(keys.activeWindow(), std::nullopt); // no window manager to say
        QCOMPARE(keys.windowClasses(window.id()), (QStringList{"myterm", "MyTerm"}));
        window.destroy();
        QTRY_VERIFY(!keys.windowExists(window.id()));
    }

    // The window sees exactly the shortcut, whatever modifiers the user still holds.
    void sendsExactlyTheShortcut_data()
    {
        QTest::addColumn<PasteShortcut>("shortcut");
        QTest::addColumn<bool>("shiftHeld");
        QTest::addColumn<QList<Key>>("expected");
        const uint16_t ctrl = XCB_MOD_MASK_CONTROL, shift = XCB_MOD_MASK_SHIFT;
        const QList<Key> controlV{{true, XK_Control_L, 0},
                                  {true, XK_v, ctrl},
                                  {false, XK_v, ctrl},
                                  {false, XK_Control_L, ctrl}};
        QTest::newRow("Ctrl+V") << PasteShortcut::ControlV << false << controlV;
        QTest::newRow("Ctrl+Shift+V")
            << PasteShortcut::ControlShiftV << false
            << QList<Key>{{true, XK_Control_L, 0},           {true, XK_Shift_L, ctrl},
                          {true, XK_v, ctrl | shift},        {false, XK_v, ctrl | shift},
                          {false, XK_Shift_L, ctrl | shift}, {false, XK_Control_L, ctrl}};
        QTest::newRow("Shift still held") << PasteShortcut::ControlV << true
                                          << (QList<Key>{{false, XK_Shift_L, shift}} + controlV);
    }
    void sendsExactlyTheShortcut()
    {
        QFETCH(PasteShortcut, shortcut);
        QFETCH(bool, shiftHeld);
        QFETCH(QList<Key>, expected);
        X11KeySynthesizer keys;
        TestWindow window;
        window.focus();
        if (shiftHeld)
            window.hold(XK_Shift_L);
        window.keys(); // what holding produced
        QVERIFY(keys.sendShortcut(shortcut));
        QCOMPARE(window.keys(), expected);
    }
};

BRIVET_TEST_CLASS(TestX11KeySynthesizer)
#include "tst_x11keysynthesizer.moc"
