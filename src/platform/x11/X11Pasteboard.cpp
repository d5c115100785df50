#include "platform/x11/X11Pasteboard.h"

#include "platform/PlatformLogging.h"
#include "platform/x11/X11ClipboardOwner.h"
#include "platform/x11/X11FrontApplication.h"

#include <QMetaObject>
#include <QMutexLocker>

namespace brivet {

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
                if (dropOldest(
                        m_ready, [](const SelectionSnapshot& s) { return s.contents; },
                        PasteboardChanges::maxHeldChanges, PasteboardChanges::maxHeldBytes) > 0)
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
    m_reader->setIgnoredApplications(&ignoredApplications());
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
        const bool ownerGone = snapshot.owner == 0;
        const qsizetype types = snapshot.contents.types.size();
        const qsizetype read = snapshot.contents.data.size();
        const qint64 count = m_changes.file({0, std::move(snapshot.contents), snapshot.time,
                                             std::move(snapshot.source), ownerGone});
        qCDebug(lcPlatform) << "clipboard change" << count << "with" << types << "types," << read
                            << "read" << (ownerGone ? "(owner gone)" : "");
    }
    if (!snapshots.empty())
        emit changed();
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
