#include "hotkey/ShortcutRecorder.h"
#include "platform/x11/X11KeyCodes.h"
#include "support/TestMain.h"

#include <QSet>
#include <QTest>

using namespace brivet;

// The mapping between Brivet's key codes (ANSI positions) and the physical keys of Linux.
class TestX11KeyCodes : public QObject
{
    Q_OBJECT

private slots:
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

BRIVET_TEST_CLASS(TestX11KeyCodes)
#include "tst_x11keycodes.moc"
