#include "platform/wayland/WaylandPasteboard.h"

#include "platform/wayland/WaylandLogging.h"
// The names X11 programs ask for are the ones Wayland programs offer and ask for too (GTK and
// Qt offer UTF8_STRING, STRING and TEXT beside the MIME types): the same table serves both.
#include "platform/x11/X11ClipboardTargets.h"

namespace brivet {

namespace {

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
    const qint64 count = m_changes.file(
        {0, selection.contents, selection.time, std::nullopt, selection.ownerGone});
    qCDebug(lcWayland) << "clipboard change" << count << "with" << selection.contents.types.size()
                       << "types," << selection.contents.data.size() << "read"
                       << (selection.ownerGone ? "(owner gone)"
                           : selection.own     ? "(Brivet's own)"
                                               : "");
    emit changed();
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
