#pragma once

#include "platform/GlobalHotkey.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

namespace brivet {

// Captures one key combination from the application's own key presses, for the settings'
// shortcut button. While recording it sees every key press of the application first and
// swallows it: a key with Ctrl, Alt, Shift or Super ends the recording with that combination;
// plain keys (Escape and Return included) and lone modifier keys are ignored, so only the
// button (finishRecording) cancels. Main thread only.
class ShortcutRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
public:
    using Completion = std::function<void(std::optional<Shortcut>)>;

    // globalHotkey tells which physical key a key event reports; the recorder does not register
    // anything with it.
    explicit ShortcutRecorder(const GlobalHotkey& globalHotkey, QObject* parent = nullptr);
    // A recording still waiting ends with nothing.
    ~ShortcutRecorder() override;

    // Starts a recording; an earlier one still waiting ends with nothing. The completion runs
    // once, in a later turn of the event loop, and not at all if context is gone by then.
    void recordShortcut(QObject* context, Completion completion);
    // Ends the current recording with result (std::nullopt to cancel). Does nothing when idle.
    void finishRecording(std::optional<Shortcut> result);

    bool isRecording() const { return m_isRecording; }

    // The name of the key at a key code's position: "V", "Space", "F5", "Key(10)".
    static QString keyName(quint32 keyCode);

signals:
    void isRecordingChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setRecording(bool recording);

    const GlobalHotkey& m_globalHotkey;
    bool m_isRecording = false;
    bool m_isFilterInstalled = false;
    QPointer<QObject> m_completionContext;
    Completion m_completion;
};

} // namespace brivet
