#include "app/RecordingPause.h"

#include "app/AppLogging.h"

#include <chrono>

namespace brivet {

RecordingPause::RecordingPause(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RecordingPause::resume);
}

void RecordingPause::pause(int minutes)
{
    m_timer.stop();
    if (minutes > 0) {
        m_timer.start(std::chrono::minutes(minutes));
        m_resumesAt = QDateTime::currentDateTime().addSecs(qint64(minutes) * 60);
        qCInfo(lcApp) << "recording paused for" << minutes << "minutes";
    } else {
        m_resumesAt = {};
        qCInfo(lcApp) << "recording paused until resumed";
    }
    m_isPaused = true;
    // Also for a new length of a running pause: the tray shows its end.
    emit changed(true);
}

void RecordingPause::resume()
{
    m_timer.stop();
    m_resumesAt = {};
    if (!m_isPaused)
        return;
    m_isPaused = false;
    qCInfo(lcApp) << "recording resumed";
    emit changed(false);
}

} // namespace brivet
