#include "platform/x11/X11Pasteboard.h"

#include "platform/linux/PlatformLogging.h"
#include "platform/x11/X11ClipboardOwner.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace brivet {

X11Pasteboard::X11Pasteboard(QObject* parent) : X11Pasteboard(X11SelectionReader::Limits{}, parent)
{}

X11Pasteboard::X11Pasteboard(X11SelectionReader::Limits limits, QObject* parent)
    : Pasteboard(parent), m_owner(std::make_unique<X11ClipboardOwner>())
{
    m_reader = std::make_unique<X11SelectionReader>(
        [this](SelectionSnapshot snapshot) {
            bool wasWaiting = false;
            {
                QMutexLocker locker(&m_readyMutex);
                wasWaiting = m_ready.has_value();
                m_ready = std::move(snapshot);
            }
            // One queued call covers every snapshot that arrives before it runs.
            if (!wasWaiting)
                QMetaObject::invokeMethod(this, &X11Pasteboard::takeSnapshot, Qt::QueuedConnection);
        },
        limits);
    noteOwnWindow();
    m_watching = m_reader->start();
}

X11Pasteboard::~X11Pasteboard()
{
    // The worker calls back into this object: stop it while everything is still alive.
    m_reader.reset();
}

void X11Pasteboard::takeSnapshot()
{
    std::optional<SelectionSnapshot> snapshot;
    {
        QMutexLocker locker(&m_readyMutex);
        snapshot.swap(m_ready);
    }
    if (!snapshot)
        return;
    // The worker may have seen Brivet's own write before it learnt the owner's window.
    if (snapshot->owner != 0 && snapshot->owner == m_owner->window())
        snapshot->contents = {};
    m_contents = std::move(snapshot->contents);
    ++m_changeCount;
    qCDebug(lcPlatform) << "clipboard change" << m_changeCount << "with" << m_contents.types.size()
                        << "types," << m_contents.data.size() << "read";
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

} // namespace brivet
