#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace brivet {

// What one selection change held, as the clipboard connection read it.
struct WaylandSelection
{
    PasteboardContents contents;
    QDateTime time; // when the change was seen
    bool own = false;       // Brivet's own offer: never read
    bool ownerGone = false; // the selection became empty (its owner quit, or cleared it)
};

// One MIME type Brivet offers and its bytes.
struct WaylandOfferedType
{
    QByteArray mimeType;
    QByteArray data;
};

// The clipboard on a Wayland connection of its own, dispatched by a thread of its own, so that
// a slow or silent owner never holds up the user interface: the thread reads every new
// selection through non-blocking pipes (files, else the text and then an image; secrets
// unread) and serves what Brivet offers. A newer change ends the read in progress, what was
// read is kept; at most one change waits.
class WaylandClipboard : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        // Longest wait for an owner's first bytes, and between two pieces of its answer.
        std::chrono::milliseconds answerTimeout{2000};
        // Longest whole answer, however steadily it trickles in.
        std::chrono::milliseconds transferTimeout{30000};
        // Largest content read per type; larger content is skipped.
        qint64 maxBytes = qint64(100) * 1024 * 1024;
    };
    // The MIME type that marks Brivet's own offers.
    static constexpr const char* ownMarker = "application/x-brivet-source";

    explicit WaylandClipboard(Limits limits, QObject* parent = nullptr);
    ~WaylandClipboard() override; // stops the thread and waits for it

    // Connects to the compositor and starts watching. False when there is no compositor or it
    // offers no data-control manager; nothing is watched then.
    [[nodiscard]] bool start();

    enum OfferMode
    {
        Always,
        OnlyIfUnowned // only when the selection is empty or Brivet's own at that moment
    };
    // Sets the selection to an offer of these types (an empty list: nothing but the marker),
    // replacing any earlier offer. Returns once the compositor has it, or after two seconds.
    void offer(const QList<WaylandOfferedType>& types, OfferMode mode = Always);

signals:
    // Emitted on the clipboard thread, once each change has been read.
    void selectionRead(const brivet::WaylandSelection& selection);

private:
    struct Worker;

    Limits m_limits;
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};

} // namespace brivet

Q_DECLARE_METATYPE(brivet::WaylandSelection)
