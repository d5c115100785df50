#pragma once

#include "platform/GlobalHotkey.h"

#include <QObject>
#include <QString>
#include <optional>

namespace brivet {

// Captures one key combination from the application's own key presses, for the settings'
// shortcut button. While recording it sees every key press of the application first and
// swallows it: a key with Ctrl, Alt, Shift or Super ends the recording with that combination;
// plain keys (Escape and Return included) and lone modifier keys are ignored, so only the
// button (finishRecording) cancels. Main thread only.
//
// Every recording ends with `finished` exactly once; connect with Qt::QueuedConnection to act
// on it outside the key event that ended it.
class ShortcutRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
public:
    // globalHotkey tells which physical key a key event reports; the recorder does not register
    // anything with it.
    explicit ShortcutRecorder(const GlobalHotkey& globalHotkey, QObject* parent = nullptr);
    // A recording under way ends with nothing.
    ~ShortcutRecorder() override;

    // Starts a recording; one under way ends with nothing first.
    void recordShortcut();
    // Ends the current recording with result (std::nullopt to cancel). Does nothing when idle.
    void finishRecording(std::optional<Shortcut> result);

    bool isRecording() const { return m_isRecording; }

    // The name of the key at a key code's position: "V", "Space", "F5", "Key(10)".
    static QString keyName(quint32 keyCode);

signals:
    void isRecordingChanged();
    // A recording ended: with the combination pressed, or with nothing (cancelled, replaced
    // by another recording, or the recorder is going away).
    void finished(std::optional<brivet::Shortcut> shortcut);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setRecording(bool recording);

    const GlobalHotkey& m_globalHotkey;
    bool m_isRecording = false;
    bool m_isFilterInstalled = false;
};

} // namespace brivet
