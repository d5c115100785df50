#include "hotkey/HotkeyStreamTask.h"

namespace brivet {

HotkeyStreamTask::HotkeyStreamTask(HotkeyStream& stream, std::function<void()> body,
                                   QObject* parent)
    : QObject(parent), m_stream(&stream), m_body(std::move(body))
{
    connect(&stream, &HotkeyStream::elementYielded, this, &HotkeyStreamTask::scheduleNext);
    scheduleNext();
}

void HotkeyStreamTask::cancel()
{
    m_cancelled = true;
    if (m_stream)
        disconnect(m_stream, nullptr, this, nullptr);
}

void HotkeyStreamTask::scheduleNext()
{
    if (m_cancelled || m_scheduled || !m_stream || m_stream->bufferedCount() == 0)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &HotkeyStreamTask::deliverNext, Qt::QueuedConnection);
}

void HotkeyStreamTask::deliverNext()
{
    m_scheduled = false;
    if (m_cancelled || !m_stream || !m_stream->take())
        return;
    m_body();
    // The body may have cancelled the task or deleted the stream; scheduleNext checks both.
    scheduleNext();
}

} // namespace brivet
