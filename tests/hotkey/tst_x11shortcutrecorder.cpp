#include "hotkey/ShortcutRecorder.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "support/RunProgram.h"
#include "support/TestMain.h"

#include <QGuiApplication>
#include <QRasterWindow>
#include <QTest>

using namespace brivet;

namespace {

using test::xdotool;

// Counts the key presses that reach it, as a text field would.
class Window : public QRasterWindow
{
public:
    int keyPresses = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
};

} // namespace

// ShortcutRecorder on Qt's X11 platform with real key presses from xdotool: the key events Qt
// makes of them (modifier keys pressed first, native scan codes) are recorded as the physical
// key and its modifiers.
class TestX11ShortcutRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "runs on Qt's xcb");
    }

    void recordsRealKeyPresses_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addRow("Ctrl+Shift+A") << "ctrl+shift+a" << 0u << 4096u + 512u;
        QTest::addRow("Super+Shift+V") << "super+shift+v" << 9u << 256u + 512u;
        QTest::addRow("Alt+F1") << "alt+F1" << 122u << 2048u;
        QTest::addRow("Ctrl+Space") << "ctrl+space" << 49u << 4096u;
    }

    void recordsRealKeyPresses()
    {
        QFETCH(QString, keys);
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        X11GlobalHotkey hotkey;
        ShortcutRecorder recorder(hotkey);
        Window window;
        window.resize(200, 100);
        window.show();
        window.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        std::optional<std::optional<Shortcut>> result;
        recorder.recordShortcut(this, [&](std::optional<Shortcut> shortcut) { result = shortcut; });
        // A plain key first: swallowed, the recording goes on.
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        QVERIFY(xdotool({QStringLiteral("key"), keys}));

        QTRY_VERIFY(result.has_value());
        QCOMPARE(*result, std::optional(Shortcut{keyCode, modifiers}));
        QCOMPARE(window.keyPresses, 0);

        // Idle again: keys reach the window.
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("a")}));
        QTRY_COMPARE(window.keyPresses, 1);
    }
};

BRIVET_TEST_CLASS(TestX11ShortcutRecorder)
#include "tst_x11shortcutrecorder.moc"
