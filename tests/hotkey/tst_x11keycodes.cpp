#include "hotkey/ShortcutRecorder.h"
#include "platform/x11/X11KeyCodes.h"

#include <QSet>
#include <QTest>

using namespace brivet;

// The mapping between Brivet's key codes (ANSI positions) and the physical keys of Linux.
class TestX11KeyCodes : public QObject
{
    Q_OBJECT

private slots:
    void knownPositions_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("x11KeyCode");
        // X key codes of the evdev keyboard (xmodmap -pke on any Linux X server). A, Q, V,
        // Space and F1 are pressed on a real server by the X11 hotkey and recorder tests.
        QTest::addRow("Return") << 36u << 36u;
        QTest::addRow("Escape") << 53u << 9u;
        QTest::addRow("F12") << 111u << 96u;
        QTest::addRow("Left") << 123u << 113u;
        QTest::addRow("keypad Enter") << 76u << 104u;
    }

    void knownPositions()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, x11KeyCode);
        QCOMPARE(x11KeyCodeForKeyCode(keyCode), std::optional(x11KeyCode));
        QCOMPARE(keyCodeForX11KeyCode(x11KeyCode), std::optional(keyCode));
    }

    void modifierKeysHaveNoKeyCode_data()
    {
        QTest::addColumn<quint32>("x11KeyCode");
        QTest::addRow("Control_L") << 37u;
        QTest::addRow("Shift_L") << 50u;
        QTest::addRow("Alt_L") << 64u;
        QTest::addRow("Super_L") << 133u;
        QTest::addRow("Super_R") << 134u;
        QTest::addRow("Caps_Lock") << 66u;
        QTest::addRow("ISO_Level3_Shift") << 92u;
        QTest::addRow("below the X range") << 3u;
        QTest::addRow("zero") << 0u;
    }

    void modifierKeysHaveNoKeyCode()
    {
        QFETCH(quint32, x11KeyCode);
        QCOMPARE(keyCodeForX11KeyCode(x11KeyCode), std::nullopt);
    }

    // Every key that can be recorded can be registered again, and the other way round.
    void mappingIsOneToOne()
    {
        QSet<quint32> evdevCodes;
        for (quint32 keyCode = 0; keyCode < 512; ++keyCode) {
            const auto evdev = evdevCodeForKeyCode(keyCode);
            if (!evdev)
                continue;
            QVERIFY2(!evdevCodes.contains(*evdev), qPrintable(QString::number(keyCode)));
            evdevCodes.insert(*evdev);
            QCOMPARE(keyCodeForEvdevCode(*evdev), std::optional(keyCode));
            QVERIFY(*evdev + X11KeyCodeOffset <= 255);
        }
        QVERIFY(evdevCodes.size() > 100);
    }

    // A name shown in the settings belongs to a key that can be registered.
    void everyNamedKeyHasAPosition()
    {
        for (quint32 keyCode = 0; keyCode < 127; ++keyCode) {
            if (ShortcutRecorder::keyName(keyCode).startsWith(QLatin1String("Key(")))
                continue;
            QVERIFY2(evdevCodeForKeyCode(keyCode).has_value(),
                     qPrintable(ShortcutRecorder::keyName(keyCode)));
        }
    }
};

QTEST_GUILESS_MAIN(TestX11KeyCodes)
#include "tst_x11keycodes.moc"
