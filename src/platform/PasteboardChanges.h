#pragma once

#include "platform/Pasteboard.h"

#include <deque>

namespace brivet {

// The total size of the bytes fetched for a change.
qint64 sizeOf(const PasteboardContents& contents);

// Drops the oldest entries while more are held than `count` entries or `bytes` of contents
// allow; the newest always stays. Returns how many were dropped.
template <typename Queue, typename ContentsOf>
int dropOldest(Queue& queue, ContentsOf contentsOf, size_t count, qint64 bytes)
{
    qint64 held = 0;
    for (const auto& entry : queue)
        held += sizeOf(contentsOf(entry));
    int dropped = 0;
    while (queue.size() > 1 && (queue.size() > count || held > bytes)) {
        held -= sizeOf(contentsOf(queue.front()));
        queue.erase(queue.begin());
        ++dropped;
    }
    return dropped;
}

// The changes a clipboard back end has seen and nobody has taken yet, oldest first, with the
// change count they moved the clipboard to: what changeCount(), contents() and takeChanges()
// of a Pasteboard answer. Bounded: when nobody takes them, the oldest are dropped (said once
// until they are taken again). Main thread only.
class PasteboardChanges
{
public:
    static constexpr size_t maxHeldChanges = 64;
    static constexpr qint64 maxHeldBytes = qint64(512) * 1024 * 1024;

    // Files one change; returns the count it moved the clipboard to.
    qint64 file(PasteboardChange change);
    // Every change after handledCount, oldest first; forgets all it holds.
    QList<PasteboardChange> take(qint64 handledCount);

    qint64 count() const { return m_count; }
    const PasteboardContents& contents() const { return m_contents; }

private:
    qint64 m_count = 0;
    PasteboardContents m_contents;
    std::deque<PasteboardChange> m_held;
    bool m_hasDropped = false; // since they were last taken
};

} // namespace brivet
