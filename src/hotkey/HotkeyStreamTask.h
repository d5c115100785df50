#pragma once

#include "hotkey/HotkeyStream.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace brivet {

// Iterates a HotkeyStream on the main thread until cancelled: the body runs once per element,
// in order, each in its own turn of the event loop, so a press never interrupts the handling
// of the one before it. Elements already buffered when the task starts are delivered first.
class HotkeyStreamTask : public QObject
{
    Q_OBJECT
public:
    HotkeyStreamTask(HotkeyStream& stream, std::function<void()> body, QObject* parent = nullptr);

    // Ends the iteration: the body is not called again, not even for elements already queued.
    void cancel();
    bool isCancelled() const { return m_cancelled; }

private:
    void scheduleNext();
    void deliverNext();

    QPointer<HotkeyStream> m_stream;
    std::function<void()> m_body;
    bool m_cancelled = false;
    bool m_scheduled = false;
};

} // namespace brivet
