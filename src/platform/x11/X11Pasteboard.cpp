#include "platform/x11/X11Pasteboard.h"

#include "platform/PlatformLogging.h"
#include "platform/x11/X11ClipboardOwner.h"
#include "platform/x11/X11FrontApplication.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace brivet {

namespace {

qint64 sizeOf(const PasteboardContents& contents)
{
    qint64 size = 0;
    for (const QByteArray& bytes : contents.data)
        size += bytes.size();
    return size;
}

// Drops the oldest changes while more are held than the limits allow; the newest always stays.
// Returns how many were dropped.
template <typename Queue, typename Contents> int bound(Queue& queue, Contents contentsOf)
{
    qint64 bytes = 0;
    for (const auto& entry : queue)
        bytes += sizeOf(contentsOf(entry));
    int dropped = 0;
    while (queue.size() > 1 &&
           (queue.size() > X11Pasteboard::maxHeldChanges || bytes > X11Pasteboard::maxHeldBytes)) {
        bytes -= sizeOf(contentsOf(queue.front()));
        queue.erase(queue.begin());
        ++dropped;
    }
    return dropped;
}

} // namespace

X11Pasteboard::X11Pasteboard(QObject* parent)
    : X11Pasteboard(X11SelectionReader::Limits{}, nullptr, parent)
{}

X11Pasteboard::X11Pasteboard(X11SelectionReader::Limits limits,
                             std::unique_ptr<FrontApplication> frontApplication, QObject* parent)
    : Pasteboard(parent), m_owner(std::make_unique<X11ClipboardOwner>())
{
    m_reader = std::make_unique<X11SelectionReader>(
        [this](SelectionSnapshot snapshot) {
            bool wasWaiting = false;
            {
                QMutexLocker locker(&m_readyMutex);
                wasWaiting = !m_ready.empty();
                m_ready.push_back(std::move(snapshot));
                if (bound(m_ready, [](const SelectionSnapshot& s) { return s.contents; }) > 0)
                    qCWarning(lcPlatform) << "dropped the oldest clipboard change read: the "
                                             "main thread did not take it in time";
            }
            // One queued call covers every snapshot that arrives before it runs.
            if (!wasWaiting)
                QMetaObject::invokeMethod(this, &X11Pasteboard::takeSnapshots,
                                          Qt::QueuedConnection);
        },
        limits,
        frontApplication ? std::move(frontApplication) : std::make_unique<X11FrontApplication>());
    noteOwnWindow();
    m_watching = m_reader->start();
}

X11Pasteboard::~X11Pasteboard()
{
    // The worker calls back into this object: stop it while everything is still alive.
    m_reader.reset();
}

void X11Pasteboard::takeSnapshots()
{
    std::vector<SelectionSnapshot> snapshots;
    {
        QMutexLocker locker(&m_readyMutex);
        snapshots.swap(m_ready);
    }
    for (SelectionSnapshot& snapshot : snapshots) {
        // The worker may have seen Brivet's own write before it learnt the owner's window.
        if (snapshot.owner != 0 && snapshot.owner == m_owner->window()) {
            snapshot.contents = {};
            snapshot.source.reset();
        }
        m_contents = snapshot.contents;
        ++m_changeCount;
        m_changes.push_back({m_changeCount, std::move(snapshot.contents), snapshot.time,
                             std::move(snapshot.source), snapshot.owner == 0});
        qCDebug(lcPlatform) << "clipboard change" << m_changeCount << "with"
                            << m_contents.types.size() << "types," << m_contents.data.size()
                            << "read" << (snapshot.owner == 0 ? "(owner gone)" : "");
    }
    const int dropped = bound(m_changes, [](const PasteboardChange& c) { return c.contents; });
    // Once until the changes are taken again: a pasteboard nobody takes from is not an alarm.
    if (dropped > 0 && !m_droppedChanges)
        qCWarning(lcPlatform)
            << "dropped the oldest clipboard changes: they were not taken in time";
    m_droppedChanges = m_droppedChanges || dropped > 0;
    if (!snapshots.empty())
        emit changed();
}

QList<PasteboardChange> X11Pasteboard::takeChanges(qint64 handledCount)
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

void X11Pasteboard::noteOwnWindow()
{
    if (m_owner->window() != 0)
        m_reader->setOwnWindow(m_owner->window());
}

void X11Pasteboard::clearContents()
{
    noteOwnWindow();
    m_owner->clear();
    noteOwnWindow();
}

void X11Pasteboard::write(const QList<PasteboardRepresentation>& representations)
{
    noteOwnWindow();
    m_owner->offer(representations);
    noteOwnWindow();
}

void X11Pasteboard::writeIfUnowned(const QList<PasteboardRepresentation>& representations)
{
    noteOwnWindow();
    m_owner->offer(representations, X11ClipboardOwner::OnlyIfUnowned);
    noteOwnWindow();
}

} // namespace brivet
