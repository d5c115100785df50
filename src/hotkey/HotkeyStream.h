#pragma once

#include <QObject>

namespace brivet {

// The presses of the global hotkey, one empty element each, from the hotkey manager to its one
// consumer (a HotkeyStreamTask). The buffer is unbounded: presses that arrive while nobody
// iterates, or while the consumer is busy, wait their turn; none is dropped. The stream never
// ends by itself.
class HotkeyStream : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The producer end: queues one element.
    void yield();
    // Elements queued and not yet taken.
    quint64 bufferedCount() const { return m_buffered; }
    // Removes one queued element; false when none is queued.
    [[nodiscard]] bool take();

signals:
    void elementYielded();

private:
    // Elements carry no value, so the queue is its length.
    quint64 m_buffered = 0;
};

} // namespace brivet
