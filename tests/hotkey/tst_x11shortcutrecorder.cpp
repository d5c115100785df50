// ShortcutRecorder on Qt's X11 platform with real key presses from xdotool: the key events Qt
// makes of them (modifier keys pressed first, native scan codes) are recorded as the physical
// key and its modifiers.
#include "hotkey/ShortcutRecorder.h"
#include "platform/x11/X11GlobalHotkey.h"
#include "platform/x11/X11KeyCodes.h"
#include "support/RunProgram.h"
#include "support/TestMain.h"

#include <QRasterWindow>
#include <QTest>

using namespace brivet;
using test::xdotool;

namespace {

// Counts the key presses that reach it, as a text field would.
class Window : public QRasterWindow
{
public:
    int keyPresses = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
};

} // namespace

class TestX11ShortcutRecorder : public QObject
{
    Q_OBJECT

private slots:
    void recordsRealKeyPresses_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::newRow("ctrl+shift+a") << 0u << 4096u + 512u;
        QTest::newRow("super+shift+v") << 9u << 256u + 512u;
    }
    void recordsRealKeyPresses()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        X11GlobalHotkey hotkey;
        ShortcutRecorder recorder(hotkey);
        Window window;
        window.show();
        window.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        std::optional<std::optional<Shortcut>> result;
        connect(&recorder, &ShortcutRecorder::finished,
                [&](std::optional<Shortcut> shortcut) { result = shortcut; });
        recorder.recordShortcut();
        QVERIFY(xdotool({"key", "Escape"})); // a plain key: swallowed, the recording goes on
        QVERIFY(xdotool({"key", QTest::currentDataTag()}));
        QTRY_VERIFY(result.has_value());
        QCOMPARE(*result, std::optional(Shortcut{keyCode, modifiers}));
        QCOMPARE(window.keyPresses, 0);
        QVERIFY(xdotool({"key", "a"})); // idle again: keys reach the window
        QTRY_COMPARE(window.keyPresses, 1);
    }

    // Every key that can be recorded can be registered again, and the other way round; a name
    // shown in the settings belongs to a key that can be registered.
    void keyCodeMappingIsOneToOne()
    {
        QSet<quint32> evdevCodes;
        for (quint32 keyCode = 0; keyCode < 512; ++keyCode) {
            const auto evdev = evdevCodeForKeyCode(keyCode);
            if (keyCode < 127 && !ShortcutRecorder::keyName(keyCode).startsWith("Key("))
                QVERIFY2(evdev, qPrintable(ShortcutRecorder::keyName(keyCode)));
            if (!evdev)
                continue;
            QVERIFY(!evdevCodes.contains(*evdev));
            evdevCodes.insert(*evdev);
            QCOMPARE(keyCodeForEvdevCode(*evdev), std::optional(keyCode));
            QVERIFY(*evdev + X11KeyCodeOffset <= 255);
        }
        QVERIFY(evdevCodes.size() > 100);
    }
};

BRIVET_TEST_CLASS(TestX11ShortcutRecorder)
#include "tst_x11shortcutrecorder.moc"
