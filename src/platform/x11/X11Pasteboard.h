#pragma once

#include "platform/Pasteboard.h"
#include "platform/PasteboardChanges.h"
#include "platform/x11/X11SelectionReader.h"

#include <QMutex>
#include <memory>
#include <vector>

namespace brivet {

class X11ClipboardOwner;

// The CLIPBOARD selection as a Pasteboard. A worker reads every new owner's contents, noting
// when the change happened and which application was in front; once a change has been read,
// the main thread advances the change count and queues the change, so that changeCount(),
// contents() and takeChanges() answer at once and no copy is lost between two looks. Writes go
// through X11ClipboardOwner.
class X11Pasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit X11Pasteboard(QObject* parent = nullptr);
    // frontApplication is asked on the reading thread as each change is seen; null: the
    // application of the active X11 window.
    explicit X11Pasteboard(X11SelectionReader::Limits limits,
                           std::unique_ptr<FrontApplication> frontApplication = nullptr,
                           QObject* parent = nullptr);
    ~X11Pasteboard() override;

    // False when there is no X server with XFixes: the count then never moves.
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
    void takeSnapshots();
    void noteOwnWindow();

    std::unique_ptr<X11ClipboardOwner> m_owner;
    PasteboardChanges m_changes;
    bool m_watching = false;

    // Handed over from the worker, oldest first.
    QMutex m_readyMutex;
    std::vector<SelectionSnapshot> m_ready;

    std::unique_ptr<X11SelectionReader> m_reader; // last: stopped before the rest goes
};

} // namespace brivet
