#include "platform/PasteboardChanges.h"

#include "platform/PlatformLogging.h"

namespace brivet {

qint64 sizeOf(const PasteboardContents& contents)
{
    qint64 size = 0;
    for (const QByteArray& bytes : contents.data)
        size += bytes.size();
    return size;
}

qint64 PasteboardChanges::file(PasteboardChange change)
{
    change.changeCount = ++m_count;
    m_contents = change.contents;
    m_held.push_back(std::move(change));
    const int dropped = dropOldest(
        m_held, [](const PasteboardChange& held) { return held.contents; }, maxHeldChanges,
        maxHeldBytes);
    // Once until the changes are taken again: a clipboard nobody takes from is not an alarm.
    if (dropped > 0 && !m_hasDropped)
        qCWarning(lcPlatform) << "dropped the oldest clipboard changes: they were not taken in time";
    m_hasDropped = m_hasDropped || dropped > 0;
    return m_count;
}

QList<PasteboardChange> PasteboardChanges::take(qint64 handledCount)
{
    QList<PasteboardChange> changes;
    for (PasteboardChange& change : m_held) {
        if (change.changeCount > handledCount)
            changes.append(std::move(change));
    }
    m_held.clear();
    m_hasDropped = false;
    return changes;
}

} // namespace brivet
