#pragma once

#include "hotkey/ShortcutRecorder.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <memory>

namespace brivet {

class GlobalHotkey;
class HotkeyManager;

// The Shortcuts tab's state: the global shortcut as shown on its button, and the recording
// of a new one. While recording, the old shortcut is given up (pressing it records it again
// rather than opening the panel); a recording that ends without a combination registers the
// old one again. Main thread only.
class ShortcutsSettingsState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the settings window")
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(QString displayString READ displayString NOTIFY displayStringChanged)
    // How to bind `brivet --toggle` on a desktop that lets no program take a global shortcut
    // (a sentence, a line break, the line to write); empty where the recorder works.
    Q_PROPERTY(QString manualBinding READ manualBinding CONSTANT)
public:
    // keyCodes tells the recorder which physical key a key press is; null records nothing.
    ShortcutsSettingsState(HotkeyManager& hotkeyManager, const GlobalHotkey* keyCodes,
                           QObject* parent = nullptr);
    ~ShortcutsSettingsState() override;

    bool isRecording() const { return m_recorder && m_recorder->isRecording(); }
    QString displayString() const;
    QString manualBinding() const { return m_manualBinding; }

    // The shortcut button: starts a recording, or cancels the one under way.
    Q_INVOKABLE void toggleRecording();
    // The tab or its window went away: a recording under way is cancelled.
    Q_INVOKABLE void cancelRecording();

signals:
    void isRecordingChanged();
    void displayStringChanged();

private:
    void recordingFinished(std::optional<Shortcut> shortcut);

    HotkeyManager& m_hotkeyManager;
    std::unique_ptr<ShortcutRecorder> m_recorder;
    QString m_manualBinding;
};

} // namespace brivet
