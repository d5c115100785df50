#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

namespace brivet {

// The user's pause of recording: for some minutes or until resumed, from the tray menu or
// `brivet --pause`. It only keeps the state and the time; the clipboard monitor and the tray
// follow `changed`.
class RecordingPause : public QObject
{
    Q_OBJECT
public:
    explicit RecordingPause(QObject* parent = nullptr);

    // Pauses for minutes (a pause already running is replaced), 0 until resume().
    void pause(int minutes);
    void resume();
    bool isPaused() const { return m_isPaused; }
    // When the pause ends by itself; invalid for a pause until resumed.
    QDateTime resumesAt() const { return m_resumesAt; }

signals:
    void changed(bool paused);

private:
    QTimer m_timer;
    bool m_isPaused = false;
    QDateTime m_resumesAt;
};

} // namespace brivet
