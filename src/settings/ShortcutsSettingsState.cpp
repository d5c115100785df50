#include "settings/ShortcutsSettingsState.h"

#include "hotkey/HotkeyManager.h"
#include "settings/SettingsLogging.h"

#include <QCoreApplication>

namespace brivet {

ShortcutsSettingsState::ShortcutsSettingsState(HotkeyManager& hotkeyManager,
                                               const GlobalHotkey* keyCodes, QObject* parent)
    : QObject(parent), m_hotkeyManager(hotkeyManager)
{
    if (keyCodes) {
        m_recorder = std::make_unique<ShortcutRecorder>(*keyCodes);
        connect(m_recorder.get(), &ShortcutRecorder::isRecordingChanged, this,
                &ShortcutsSettingsState::isRecordingChanged);
        // Later, outside the key event that ended the recording.
        connect(m_recorder.get(), &ShortcutRecorder::finished, this,
                &ShortcutsSettingsState::recordingFinished, Qt::QueuedConnection);
    }
    connect(&m_hotkeyManager, &HotkeyManager::displayStringChanged, this,
            &ShortcutsSettingsState::displayStringChanged);
    if (keyCodes) {
        // The very binary running, which the compositor may not find on its PATH.
        QString program = QCoreApplication::applicationFilePath();
        if (program.contains(QLatin1Char(' ')))
            program = QLatin1Char('"') + program + QLatin1Char('"');
        m_manualBinding = keyCodes->manualBinding(program + QStringLiteral(" --toggle"));
    }
}

ShortcutsSettingsState::~ShortcutsSettingsState()
{
    cancelRecording();
}

QString ShortcutsSettingsState::displayString() const
{
    return m_hotkeyManager.displayString();
}

void ShortcutsSettingsState::toggleRecording()
{
    if (!m_recorder) {
        qCWarning(lcSettings) << "this desktop cannot tell keys apart: nothing to record";
        return;
    }
    if (m_recorder->isRecording()) {
        cancelRecording();
        return;
    }
    m_hotkeyManager.unregisterHotkey();
    qCInfo(lcSettings) << "recording a shortcut";
    m_recorder->recordShortcut();
}

void ShortcutsSettingsState::recordingFinished(std::optional<Shortcut> shortcut)
{
    if (shortcut) {
        m_hotkeyManager.updateHotkey(shortcut->keyCode, shortcut->modifiers);
        qCInfo(lcSettings) << "shortcut set to" << m_hotkeyManager.displayString();
    } else if (!m_hotkeyManager.isRegistered()) {
        // A cancel has registered it again already.
        m_hotkeyManager.registerHotkey();
    }
}

void ShortcutsSettingsState::cancelRecording()
{
    if (!isRecording())
        return;
    qCInfo(lcSettings) << "recording cancelled; keeping" << m_hotkeyManager.displayString();
    m_recorder->finishRecording(std::nullopt);
    // At once: this state may be going away, and what the recording's end queued with it.
    m_hotkeyManager.registerHotkey();
}

} // namespace brivet
