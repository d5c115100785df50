// The panel's key routing on real key events: physical keys named by X11 key codes (through
// the program's key-code mapping), Ctrl as the shortcut modifier, typed text as Qt reports it.
// Return, Shift+Return, Space, Ctrl+Space, Ctrl+], Menu and the shortcut in a US layout reach
// their actions in the end-to-end cases (test_panel.py, test_preview.py).

#include "panel/FloatingPanel.h"
#include "platform/GlobalHotkey.h"
#include "platform/null/NullPlatform.h"
#include "platform/x11/X11KeyCodes.h"

#include <QKeyEvent>
#include <QTest>

using namespace brivet;

namespace {

// The key codes of an X11 session, without the session.
class X11KeyCodeMapping : public NullGlobalHotkey
{
public:
    std::optional<quint32> keyCodeForNativeScanCode(quint32 scanCode) const override
    {
        return keyCodeForX11KeyCode(scanCode);
    }
};

} // namespace

class TestFloatingPanel : public QObject
{
    Q_OBJECT
private slots:
    void routesKeys_data()
    {
        QTest::addColumn<quint32>("x11KeyCode");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // the action or signal raised, "" for none
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("qtKey");
        const auto row = [](const char* name, quint32 key, Qt::KeyboardModifiers modifiers,
                            const QString& text, const QString& expected, bool accepted = true,
                            int qtKey = Qt::Key_unknown) {
            QTest::newRow(name) << key << modifiers << text << expected << accepted << qtKey;
        };
        const Qt::KeyboardModifiers none, ctrl(Qt::ControlModifier), shift(Qt::ShiftModifier),
            alt(Qt::AltModifier);
        // X11 key codes of the keys used (evdev + 8).
        const quint32 escape = 9, backspace = 22, tab = 23, leftBracket = 34, rightBracket = 35,
                      a = 38, v = 55, space = 65, keypadEnter = 104, up = 111, left = 113,
                      right = 114, forwardDelete = 119, f10 = 76, two = 11, nine = 18, zero = 19,
                      z = 52;
        // clang-format off
        row("Ctrl + key right of P, Cyrillic layout: next category", rightBracket, ctrl, {}, "next");
        row("key right of P alone in a Cyrillic layout types its letter", rightBracket, none, "ъ", "typed:ъ");
        row("Ctrl + key right of O: previous category", leftBracket, ctrl, "\x1b", "previous");
        row("Ctrl+Left", left, ctrl, {}, "left");
        row("Alt+Left moves the card towards the front of its category", left, alt, {}, "pin left");
        row("Alt+Right moves it back", right, alt, {}, "pin right");
        row("Escape", escape, none, "\x1b", "escape");
        row("Backspace", backspace, none, "\b", "delete");
        row("Shift+Space asks for the preview", space, shift, " ", "preview");
        row("text of several characters, whole", a, none, "é!", "typed:é!");
        row("Shift+V types V", v, shift, "V", "typed:V");
        row("Ctrl+V reaches the window", v, ctrl, "\x16", "", false);
        row("Tab reaches the window", tab, none, "\t", "", false);
        row("keypad Enter reaches the window", keypadEnter, none, "\r", "", false);
        row("Up types nothing", up, none, {}, "", false);
        row("Forward Delete types nothing", forwardDelete, none, "\x7f", "", false);
        row("private-use text never reaches the search", up, none, QString(QChar(0xF700)), "", false);
        row("Shift+F10 opens the card's menu", f10, shift, {}, "menu", true, Qt::Key_F10);
        row("F10 alone reaches the window", f10, none, {}, "", false, Qt::Key_F10);
        row("Ctrl+2 pastes the second card, whatever the layout types there", two, ctrl, {}, "quick:2");
        row("Ctrl+9 the ninth", nine, ctrl, "9", "quick:9");
        row("Ctrl+0 reaches the window", zero, ctrl, "0", "", false);
        row("2 alone types", two, none, "é", "typed:é");
        row("Ctrl+Z undoes a delete, whatever the layout types there", z, ctrl, "\x1a", "undo");
        row("Z alone types", z, none, "y", "typed:y");
        // clang-format on
    }
    void routesKeys()
    {
        QFETCH(quint32, x11KeyCode);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(bool, accepted);
        QFETCH(int, qtKey);
        NullPanelSurface surface;
        X11KeyCodeMapping keyCodes;
        FloatingPanel panel(QRect(0, 0, 400, 100), surface, keyCodes);
        panel.setToggleShortcut(Shortcut{9, HotkeyModifier::Super | HotkeyModifier::Shift});
        QStringList raised;
        connect(&panel, &FloatingPanel::keyRouted, [&raised](const PanelKeyAction& action) {
            using Kind = PanelKeyAction::Kind;
            static const QHash<Kind, QString> names{
                {Kind::Escape, "escape"},        {Kind::MoveLeft, "left"},
                {Kind::MoveRight, "right"},      {Kind::DeleteItem, "delete"},
                {Kind::PasteItem, "return"},     {Kind::Space, "space"},
                {Kind::NextCategory, "next"},    {Kind::PreviousCategory, "previous"},
                {Kind::QuickLook, "preview"},    {Kind::ContextMenu, "menu"},
                {Kind::PastePlainText, "plain"}, {Kind::ToggleMark, "mark"},
                {Kind::Undo, "undo"}, {Kind::MovePinLeft, "pin left"},
                {Kind::MovePinRight, "pin right"}};
            raised << (action.kind == Kind::TypeCharacter ? "typed:" + action.text
                       : action.kind == Kind::QuickPaste ? "quick:" + QString::number(action.number)
                                                         : names.value(action.kind));
        });
        connect(&panel, &FloatingPanel::toggleRequested, [&raised] { raised << "toggle"; });
        // The Qt key matters to the routing only for the menu keys: else the physical key and
        // the text do.
        QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, x11KeyCode, 0, 0, text);
        QCoreApplication::sendEvent(&panel, &event);
        QCOMPARE(raised, expected.isEmpty() ? QStringList() : QStringList{expected});
        QCOMPARE(event.isAccepted(), accepted);
    }
};

QTEST_MAIN(TestFloatingPanel)
#include "tst_floatingpanel.moc"
