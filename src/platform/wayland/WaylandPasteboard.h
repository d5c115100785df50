#pragma once

#include "platform/Pasteboard.h"
#include "platform/PasteboardChanges.h"
#include "platform/wayland/WaylandClipboard.h"

#include <memory>

namespace brivet {

// The Wayland clipboard as a Pasteboard, through the compositor's data-control protocol: every
// change is read on WaylandClipboard's thread; once read, the main thread advances the change
// count and queues the change, so that changeCount(), contents() and takeChanges() answer at
// once and no copy is lost between two looks. Writes are data-control sources marked as
// Brivet's own, which are never read back.
class WaylandPasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit WaylandPasteboard(WaylandClipboard::Limits limits = {}, QObject* parent = nullptr);
    ~WaylandPasteboard() override;

    // False when the compositor could not be reached or lets no clipboard manager watch: the
    // count then never moves.
    bool isWatching() const { return m_watching; }

    bool notifiesChanges() const override { return true; }
    qint64 changeCount() const override { return m_changes.count(); }
    PasteboardContents contents() const override { return m_changes.contents(); }
    QList<PasteboardChange> takeChanges(qint64 handledCount) override
    {
        return m_changes.take(handledCount);
    }
    void clearContents() override;
    void write(const QList<PasteboardRepresentation>& representations) override;
    void writeIfUnowned(const QList<PasteboardRepresentation>& representations) override;

private:
    void noteSelection(const WaylandSelection& selection);

    PasteboardChanges m_changes;
    bool m_watching = false;
    std::unique_ptr<WaylandClipboard> m_clipboard; // last: stopped before the rest goes
};

} // namespace brivet
