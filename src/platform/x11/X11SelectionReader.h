#pragma once

#include "platform/IgnoredApplications.h"
#include "platform/Pasteboard.h"

#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace brivet {

// What one owner change of CLIPBOARD held.
struct SelectionSnapshot
{
    quint32 owner = 0; // the window that took CLIPBOARD (0: nobody owns it)
    PasteboardContents contents;
    QDateTime time;                        // when the change was seen
    std::optional<ApplicationInfo> source; // the application in front at that moment
};

// Watches the CLIPBOARD selection on a worker thread with an X connection of its own and
// fetches what each new owner offers: its targets, then files, else the text (cheap for any
// owner) with its formatted forms (HTML, RTF) and then an image.
// A slow or silent owner costs the worker a few seconds and never anyone else; a newer
// change ends the fetch in progress (what was read is kept), so at most one change waits.
class X11SelectionReader
{
public:
    struct Limits
    {
        // Longest wait for an owner's answer, and between two parts of an INCR transfer.
        std::chrono::milliseconds answerTimeout{2000};
        // Longest whole INCR transfer, however steadily it trickles in.
        std::chrono::milliseconds transferTimeout{30000};
        // Largest content read per target; larger content is skipped.
        qint64 maxBytes = qint64(100) * 1024 * 1024;
    };
    // Called on the worker thread with every finished snapshot.
    using SnapshotHandler = std::function<void(SelectionSnapshot)>;

    explicit X11SelectionReader(SnapshotHandler handler);
    // frontApplication, when given, is asked on the worker thread only, as each change is seen.
    X11SelectionReader(SnapshotHandler handler, Limits limits,
                       std::unique_ptr<FrontApplication> frontApplication = nullptr);
    ~X11SelectionReader(); // stops the worker and waits for it
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // Connects to the X server and starts watching. False when there is no server or it lacks
    // the XFixes extension; nothing is watched then.
    [[nodiscard]] bool start();
    // The window through which this process owns CLIPBOARD: changes to it are not fetched.
    void setOwnWindow(quint32 window) { m_ownWindow.store(window); }
    // Copies made while one of these applications is in front are not read at all (asked on
    // the worker thread); call before start(). ignored must outlive the reader.
    void setIgnoredApplications(const IgnoredApplications* ignored) { m_ignored = ignored; }

private:
    struct Worker;

    SnapshotHandler m_handler;
    Limits m_limits;
    std::unique_ptr<FrontApplication> m_frontApplication;
    const IgnoredApplications* m_ignored = nullptr;
    std::atomic<quint32> m_ownWindow{0};
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};

} // namespace brivet
