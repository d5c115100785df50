// The panel's key routing on real key events: physical keys named by X11 key codes (through
// the program's key-code mapping), Ctrl as the shortcut modifier, typed text as Qt reports it.

#include "panel/FloatingPanel.h"
#include "platform/GlobalHotkey.h"
#include "platform/x11/X11KeyCodes.h"

#include <QKeyEvent>
#include <QTest>

using namespace brivet;

class TestFloatingPanel : public QObject
{
    Q_OBJECT
private slots:
    void routesKeys_data();
    void routesKeys();
};

void TestFloatingPanel::routesKeys_data()
{
    QTest::addColumn<quint32>("x11KeyCode");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withCallbacks");
    QTest::addColumn<QString>("expected"); // the callback raised, "" for none
    QTest::addColumn<bool>("accepted");

    const auto none = Qt::KeyboardModifiers();
    const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
    const auto shift = Qt::KeyboardModifiers(Qt::ShiftModifier);
    // X11 key codes of the keys used (evdev + 8).
    const quint32 escape = 9, backspace = 22, tab = 23, leftBracket = 34, rightBracket = 35,
                  enter = 36, a = 38, v = 55, space = 65, keypadEnter = 104, up = 111, left = 113,
                  right = 114, forwardDelete = 119;

    QTest::addRow("Ctrl + key right of P: next category")
        << rightBracket << ctrl << "\x1d" << true << "next" << true;
    QTest::addRow("Ctrl + key right of P, Cyrillic layout: next category")
        << rightBracket << ctrl << QString() << true << "next" << true;
    QTest::addRow("key right of P alone types its character")
        << rightBracket << none << "]" << true << "typed:]" << true;
    QTest::addRow("key right of P alone in a Cyrillic layout types its letter")
        << rightBracket << none << QStringLiteral("ъ") << true << QStringLiteral("typed:ъ") << true;
    QTest::addRow("Ctrl + key right of O: previous category")
        << leftBracket << ctrl << "\x1b" << true << "previous" << true;
    QTest::addRow("Shift+Return") << enter << shift << "\r" << true << "return" << true;
    QTest::addRow("Ctrl+Return") << enter << ctrl << "\r" << true << "return" << true;
    QTest::addRow("Ctrl+Left") << left << ctrl << QString() << true << "left" << true;
    QTest::addRow("Right") << right << none << QString() << true << "right" << true;
    QTest::addRow("Escape") << escape << none << "\x1b" << true << "escape" << true;
    QTest::addRow("Backspace") << backspace << none << "\b" << true << "delete" << true;
    QTest::addRow("Space") << space << none << " " << true << "space" << true;
    QTest::addRow("letter") << a << none << "a" << true << "typed:a" << true;
    QTest::addRow("text of several characters, whole")
        << a << none << QStringLiteral("é!") << true << QStringLiteral("typed:é!") << true;
    QTest::addRow("Shift+V types V") << v << shift << "V" << true << "typed:V" << true;
    QTest::addRow("Ctrl+V reaches the window") << v << ctrl << "\x16" << true << "" << false;
    QTest::addRow("Ctrl+A reaches the window") << a << ctrl << "\x01" << true << "" << false;
    QTest::addRow("Tab reaches the window") << tab << none << "\t" << true << "" << false;
    QTest::addRow("keypad Enter reaches the window")
        << keypadEnter << none << "\r" << true << "" << false;
    QTest::addRow("Up types nothing") << up << none << QString() << true << "" << false;
    QTest::addRow("Forward Delete types nothing")
        << forwardDelete << none << "\x7f" << true << "" << false;
    QTest::addRow("private-use text never reaches the search")
        << up << none << QString(QChar(0xF700)) << true << "" << false;
    QTest::addRow("the global shortcut toggles")
        << v << (Qt::MetaModifier | Qt::ShiftModifier) << "V" << true << "toggle" << true;
    QTest::addRow("routed key without its callback is swallowed")
        << enter << none << "\r" << false << "" << true;
    QTest::addRow("typed text without its callback is swallowed")
        << a << none << "a" << false << "" << true;
}

void TestFloatingPanel::routesKeys()
{
    QFETCH(quint32, x11KeyCode);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, withCallbacks);
    QFETCH(QString, expected);
    QFETCH(bool, accepted);

    FloatingPanel panel(QRect(0, 0, 400, 100));
    panel.setKeyCodeMapper([](quint32 scanCode) { return keyCodeForX11KeyCode(scanCode); });
    panel.setToggleShortcut([] {
        return Shortcut{9, HotkeyModifier::Command | HotkeyModifier::Shift};
    });
    QStringList raised;
    if (withCallbacks) {
        const auto record = [&raised](const char* name) {
            return [&raised, name] {
                raised << QString::fromLatin1(name);
            };
        };
        panel.onEscapePressed = record("escape");
        panel.onLeftArrow = record("left");
        panel.onRightArrow = record("right");
        panel.onDeleteKey = record("delete");
        panel.onReturnKey = record("return");
        panel.onSpaceKey = record("space");
        panel.onNextCategory = record("next");
        panel.onPreviousCategory = record("previous");
        panel.onToggleShortcut = record("toggle");
        panel.onCharacterTyped = [&raised](const QString& typed) {
            raised << "typed:" + typed;
        };
    }

    // The Qt key does not matter to the routing: only the physical key and the text do.
    QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, x11KeyCode, 0, 0, text);
    QCoreApplication::sendEvent(&panel, &event);

    QCOMPARE(raised, expected.isEmpty() ? QStringList() : QStringList{expected});
    QCOMPARE(event.isAccepted(), accepted);
}

QTEST_MAIN(TestFloatingPanel)
#include "tst_floatingpanel.moc"
