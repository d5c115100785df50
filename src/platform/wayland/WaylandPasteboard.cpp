#include "platform/wayland/WaylandPasteboard.h"

#include "platform/wayland/WaylandLogging.h"
// The names X11 programs ask for are the ones Wayland programs offer and ask for too (GTK and
// Qt offer UTF8_STRING, STRING and TEXT beside the MIME types): the same table serves both.
#include "platform/x11/X11ClipboardTargets.h"

namespace brivet {

namespace {

qint64 sizeOf(const PasteboardContents& contents)
{
    qint64 size = 0;
    for (const QByteArray& bytes : contents.data)
        size += bytes.size();
    return size;
}

QList<WaylandOfferedType> offeredTypes(const QList<PasteboardRepresentation>& representations)
{
    QList<WaylandOfferedType> types;
    for (const X11ClipboardTarget& target : x11ClipboardTargets(representations))
        types.append({target.target, target.data});
    return types;
}

} // namespace

WaylandPasteboard::WaylandPasteboard(WaylandClipboard::Limits limits, QObject* parent)
    : Pasteboard(parent), m_clipboard(std::make_unique<WaylandClipboard>(limits))
{
    connect(m_clipboard.get(), &WaylandClipboard::selectionRead, this,
            &WaylandPasteboard::noteSelection, Qt::QueuedConnection);
    m_watching = m_clipboard->start();
}

WaylandPasteboard::~WaylandPasteboard()
{
    // The thread emits into this object: stop it while everything is still alive.
    m_clipboard.reset();
}

void WaylandPasteboard::noteSelection(const WaylandSelection& selection)
{
    m_contents = selection.contents;
    ++m_changeCount;
    m_changes.push_back(
        {m_changeCount, selection.contents, selection.time, std::nullopt, selection.ownerGone});
    qCDebug(lcWayland) << "clipboard change" << m_changeCount << "with"
                       << m_contents.types.size() << "types," << m_contents.data.size() << "read"
                       << (selection.ownerGone ? "(owner gone)" : selection.own ? "(Brivet's own)" : "");

    qint64 bytes = 0;
    for (const PasteboardChange& change : m_changes)
        bytes += sizeOf(change.contents);
    int dropped = 0;
    while (m_changes.size() > 1 && (m_changes.size() > maxHeldChanges || bytes > maxHeldBytes)) {
        bytes -= sizeOf(m_changes.front().contents);
        m_changes.pop_front();
        ++dropped;
    }
    // Once until the changes are taken again: a pasteboard nobody takes from is not an alarm.
    if (dropped > 0 && !m_droppedChanges)
        qCWarning(lcWayland) << "dropped the oldest clipboard changes: they were not taken in time";
    m_droppedChanges = m_droppedChanges || dropped > 0;
    emit changed();
}

QList<PasteboardChange> WaylandPasteboard::takeChanges(qint64 handledCount)
{
    QList<PasteboardChange> changes;
    for (PasteboardChange& change : m_changes) {
        if (change.changeCount > handledCount)
            changes.append(std::move(change));
    }
    m_changes.clear();
    m_droppedChanges = false;
    return changes;
}

void WaylandPasteboard::clearContents()
{
    m_clipboard->offer({});
}

void WaylandPasteboard::write(const QList<PasteboardRepresentation>& representations)
{
    m_clipboard->offer(offeredTypes(representations));
}

void WaylandPasteboard::writeIfUnowned(const QList<PasteboardRepresentation>& representations)
{
    m_clipboard->offer(offeredTypes(representations), WaylandClipboard::OnlyIfUnowned);
}

} // namespace brivet
