#include "hotkey/ShortcutRecorder.h"

#include "hotkey/HotkeyLogging.h"
#include "platform/GlobalHotkey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <utility>

namespace brivet {

namespace {

// Key names by key code, 0 to 126; null where a position has no name of its own. Return, Tab,
// Backspace and Escape carry the words printed on Linux keyboards and in desktop settings.
constexpr const char* kKeyNames[127] = {
    "A",     "S",     "D",     "F",         "H",      "G",      "Z",      "X",     // 0-7
    "C",     "V",     nullptr, "B",         "Q",      "W",      "E",      "R",     // 8-15
    "Y",     "T",     "1",     "2",         "3",      "4",      "6",      "5",     // 16-23
    "=",     "9",     "7",     "-",         "8",      "0",      "]",      "O",     // 24-31
    "U",     "[",     "I",     "P",         "Return", "L",      "J",      "'",     // 32-39
    "K",     ";",     "\\",    ",",         "/",      "N",      "M",      ".",     // 40-47
    "Tab",   "Space", nullptr, "Backspace", nullptr,  "Esc",    nullptr,  nullptr, // 48-55
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  nullptr,  nullptr, // 56-63
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  nullptr,  nullptr, // 64-71
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  nullptr,  nullptr, // 72-79
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  nullptr,  nullptr, // 80-87
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  nullptr,  nullptr, // 88-95
    "F5",    "F6",    "F7",    "F3",        "F8",     "F9",     nullptr,  "F11",   // 96-103
    nullptr, nullptr, nullptr, nullptr,     nullptr,  "F10",    nullptr,  "F12",   // 104-111
    nullptr, nullptr, nullptr, nullptr,     nullptr,  nullptr,  "F4",     nullptr, // 112-119
    "F2",    nullptr, "F1",    "\u2190",    "\u2192", "\u2193", "\u2191",          // 120-126
};

// Keys that only modify others; pressing one while recording waits for the real key.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(const GlobalHotkey& globalHotkey, QObject* parent)
    : QObject(parent), m_globalHotkey(globalHotkey)
{}

ShortcutRecorder::~ShortcutRecorder()
{
    // Whoever waits must hear the end, or the old hotkey would stay unregistered for good.
    finishRecording(std::nullopt);
}

void ShortcutRecorder::recordShortcut()
{
    finishRecording(std::nullopt);
    if (auto* application = QCoreApplication::instance()) {
        application->installEventFilter(this);
        m_isFilterInstalled = true;
    } else {
        qCWarning(lcHotkey) << "no application to record key presses from";
    }
    setRecording(true);
    qCDebug(lcHotkey) << "recording a shortcut";
}

void ShortcutRecorder::finishRecording(std::optional<Shortcut> result)
{
    if (!m_isRecording)
        return;
    setRecording(false);
    if (m_isFilterInstalled) {
        if (auto* application = QCoreApplication::instance())
            application->removeEventFilter(this);
        m_isFilterInstalled = false;
    }
    emit finished(result);
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_isRecording)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepted, the key press reaches this filter instead of triggering an application
        // shortcut.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);

    const auto* keyEvent = static_cast<const QKeyEvent*>(event);
    const quint32 modifiers = HotkeyModifier::fromQt(keyEvent->modifiers());
    if (modifiers != 0 && !isModifierKey(keyEvent->key())) {
        if (auto keyCode = m_globalHotkey.keyCodeForNativeScanCode(keyEvent->nativeScanCode())) {
            qCDebug(lcHotkey) << "recorded key code" << *keyCode << "modifiers" << modifiers;
            finishRecording(Shortcut{*keyCode, modifiers});
        } else {
            qCDebug(lcHotkey) << "ignoring a key without a key code, scan code"
                              << keyEvent->nativeScanCode();
        }
    }
    return true;
}

QString ShortcutRecorder::keyName(quint32 keyCode)
{
    if (keyCode < std::size(kKeyNames) && kKeyNames[keyCode])
        return QString::fromUtf8(kKeyNames[keyCode]);
    return QStringLiteral("Key(%1)").arg(keyCode);
}

void ShortcutRecorder::setRecording(bool recording)
{
    if (recording == m_isRecording)
        return;
    m_isRecording = recording;
    emit isRecordingChanged();
}

} // namespace brivet
