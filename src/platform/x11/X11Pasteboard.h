#pragma once

#include "platform/Pasteboard.h"
#include "platform/x11/X11SelectionReader.h"

#include <QMutex>
#include <memory>
#include <optional>

namespace brivet {

class X11ClipboardOwner;

// The CLIPBOARD selection as a Pasteboard. A worker reads every new owner's contents; once a
// change has been read, the main thread advances the change count and keeps the contents, so
// that changeCount() and contents() answer at once. Writes go through X11ClipboardOwner.
class X11Pasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit X11Pasteboard(QObject* parent = nullptr);
    X11Pasteboard(X11SelectionReader::Limits limits, QObject* parent = nullptr);
    ~X11Pasteboard() override;

    // False when there is no X server with XFixes: the count then never moves.
    bool isWatching() const { return m_watching; }

    qint64 changeCount() const override { return m_changeCount; }
    PasteboardContents contents() const override { return m_contents; }
    void clearContents() override;
    void write(const QList<PasteboardRepresentation>& representations) override;

private:
    void takeSnapshot();
    void noteOwnWindow();

    std::unique_ptr<X11ClipboardOwner> m_owner;
    qint64 m_changeCount = 0;
    PasteboardContents m_contents;
    bool m_watching = false;

    // Handed over from the worker: only the newest finished snapshot waits.
    QMutex m_readyMutex;
    std::optional<SelectionSnapshot> m_ready;

    std::unique_ptr<X11SelectionReader> m_reader; // last: stopped before the rest goes
};

} // namespace brivet
