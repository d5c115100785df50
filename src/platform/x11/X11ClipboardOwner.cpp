#include "platform/x11/X11ClipboardOwner.h"

#include "platform/x11/X11ClipboardTargets.h"
#include "platform/x11/XcbConnection.h"

#include <QHash>
#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

Q_LOGGING_CATEGORY(lcClipboardOwner, "brivet.platform.clipboard", QtInfoMsg)

namespace brivet {

namespace {

using Clock = std::chrono::steady_clock;

// A requestor that stops reading an incremental transfer is given up after this long.
constexpr auto incrementalTimeout = std::chrono::seconds(10);
// How long offer() waits for the server to confirm the ownership.
constexpr auto acquireTimeout = std::chrono::seconds(2);
// Answers above this size go by INCR, in chunks of this size.
constexpr qsizetype largestSingleAnswer = 1024 * 1024;

struct ResolvedTarget
{
    xcb_atom_t target;
    xcb_atom_t type;
    QByteArray data;
};

// An offer as the server sees it; immutable once built, shared with transfers under way.
struct Offer
{
    std::vector<ResolvedTarget> targets;
    bool onlyIfUnowned = false;
};

// One answer being sent piece by piece: the requestor deletes the property, we write the next.
struct IncrementalTransfer
{
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::shared_ptr<const Offer> offer; // keeps the bytes alive while sending
    QByteArray data;
    qsizetype offset = 0;
    Clock::time_point deadline;
};

} // namespace

struct X11ClipboardOwner::Private
{
    std::unique_ptr<XcbConnection> xcb;
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_NONE;
    xcb_window_t root = XCB_NONE;
    qsizetype chunkSize = largestSingleAnswer;
    QHash<QByteArray, xcb_atom_t> atoms; // read-only once the worker runs

    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread worker;

    // Shared between the main thread and the worker.
    std::mutex mutex;
    std::condition_variable acquired;
    std::shared_ptr<const Offer> pendingOffer;
    quint64 requestedGeneration = 0;
    quint64 acquiredGeneration = 0;
    bool quit = false;
    bool connectionLost = false;

    // Worker only.
    std::shared_ptr<const Offer> offer;
    bool owns = false;
    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    quint64 acquiringGeneration = 0;
    std::vector<IncrementalTransfer> transfers;

    ~Private();
    bool connect();
    xcb_atom_t atom(const QByteArray& name) const { return atoms.value(name, XCB_NONE); }
    void wake();
    void run();
    void handleCommands();
    void handleEvent(xcb_generic_event_t* event);
    void acquire(xcb_timestamp_t time);
    void handleSelectionRequest(const xcb_selection_request_event_t& request);
    bool serve(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property);
    bool serveMultiple(xcb_window_t requestor, xcb_atom_t property);
    void continueTransfer(xcb_window_t requestor, xcb_atom_t property);
    void dropTransfer(std::vector<IncrementalTransfer>::iterator it);
    void expireTransfers();
    int pollTimeoutMs() const;
};

X11ClipboardOwner::Private::~Private()
{
    if (worker.joinable()) {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake();
        worker.join();
    }
    if (wakeRead >= 0)
        ::close(wakeRead);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
}

bool X11ClipboardOwner::Private::connect()
{
    xcb = XcbConnection::open();
    if (!xcb) {
        qCInfo(lcClipboardOwner) << "no X server; Brivet cannot own the clipboard";
        return false;
    }
    connection = xcb->get();
    root = xcb->root();

    const QList<QByteArray> names{"CLIPBOARD",     "TARGETS",
                                  "TIMESTAMP",     "MULTIPLE",
                                  "INCR",          "ATOM_PAIR",
                                  "UTF8_STRING",   "TEXT",
                                  "text/plain",    "text/plain;charset=utf-8",
                                  "text/uri-list", "x-special/gnome-copied-files",
                                  "image/png",     "image/jpeg",
                                  "image/tiff",    "text/html",
                                  "text/rtf",      "_BRIVET_CLIPBOARD_TIME"};
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const QByteArray& name : names)
        cookies.push_back(xcb_intern_atom(connection, 0, name.size(), name.constData()));
    for (size_t i = 0; i < cookies.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        if (!reply)
            return false;
        atoms.insert(names[qsizetype(i)], reply->atom);
        free(reply);
    }
    atoms.insert("STRING", XCB_ATOM_STRING);
    atoms.insert("ATOM", XCB_ATOM_ATOM);
    atoms.insert("INTEGER", XCB_ATOM_INTEGER);

    // Large requests are split well below what the server accepts in one request.
    const qsizetype maximumRequest = qsizetype(xcb_get_maximum_request_length(connection)) * 4;
    chunkSize = std::min(largestSingleAnswer, maximumRequest - 1024);

    window = xcb_generate_id(connection);
    const uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &eventMask);
    const QByteArray title = "Brivet clipboard";
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, title.size(), title.constData());
    xcb_flush(connection);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    wakeRead = fds[0];
    wakeWrite = fds[1];
    worker = std::thread([this] { run(); });
    return true;
}

void X11ClipboardOwner::Private::wake()
{
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeWrite, &byte, 1);
}

void X11ClipboardOwner::Private::run()
{
    const int fd = xcb_get_file_descriptor(connection);
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            handleEvent(event);
            free(event);
        }
        if (xcb_connection_has_error(connection)) {
            qCWarning(lcClipboardOwner) << "lost the X server connection";
            std::lock_guard lock(mutex);
            connectionLost = true; // nobody waits for what cannot come
            acquired.notify_all();
            return;
        }
        expireTransfers();
        xcb_flush(connection);

        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        ::poll(fds, 2, pollTimeoutMs());
        if (fds[1].revents & POLLIN) {
            char buffer[64];
            while (::read(wakeRead, buffer, sizeof buffer) > 0) {
            }
            {
                std::lock_guard lock(mutex);
                if (quit)
                    return;
            }
            handleCommands();
        }
    }
}

void X11ClipboardOwner::Private::handleCommands()
{
    quint64 generation;
    {
        std::lock_guard lock(mutex);
        if (requestedGeneration == acquiringGeneration)
            return;
        generation = requestedGeneration;
        offer = pendingOffer;
    }
    acquiringGeneration = generation;
    // The ownership needs a real server time: a zero-length append to our own window makes
    // the server report one in the PropertyNotify it sends back.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, atom("_BRIVET_CLIPBOARD_TIME"),
                        XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(connection);
}

void X11ClipboardOwner::Private::handleEvent(xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case 0: {
        // Usually a requestor window that went away in the middle of an answer.
        auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
        qCDebug(lcClipboardOwner) << "X error" << error->error_code << "for request"
                                  << error->major_code << "resource" << error->resource_id;
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->window == window && notify->atom == atom("_BRIVET_CLIPBOARD_TIME"))
            acquire(notify->time);
        else if (notify->state == XCB_PROPERTY_DELETE)
            continueTransfer(notify->window, notify->atom);
        break;
    }
    case XCB_SELECTION_REQUEST:
        handleSelectionRequest(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        break;
    case XCB_SELECTION_CLEAR: {
        auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(event);
        if (clear->selection == atom("CLIPBOARD") && clear->owner == window) {
            qCDebug(lcClipboardOwner) << "another application took the clipboard";
            owns = false;
            offer.reset(); // transfers under way keep what they send
        }
        break;
    }
    default:
        break;
    }
}

void X11ClipboardOwner::Private::acquire(xcb_timestamp_t time)
{
    const xcb_atom_t clipboard = atom("CLIPBOARD");
    bool leftToOther = false;
    if (offer && offer->onlyIfUnowned) {
        // Asked after the time was taken: an application that copies from now on does so at a
        // later time than ours, and the server keeps its ownership over ours.
        xcb_get_selection_owner_reply_t* current = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, clipboard), nullptr);
        leftToOther = current && current->owner != XCB_NONE && current->owner != window;
        free(current);
    }
    if (!leftToOther)
        xcb_set_selection_owner(connection, window, clipboard, time);
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, clipboard), nullptr);
    owns = reply && reply->owner == window;
    free(reply);
    if (leftToOther) {
        qCDebug(lcClipboardOwner) << "another application owns the clipboard; left to it";
        offer.reset();
    } else if (owns) {
        ownedSince = time;
        qCDebug(lcClipboardOwner) << "owning the clipboard since" << time << "offering"
                                  << (offer ? offer->targets.size() : 0) << "targets";
    } else {
        qCWarning(lcClipboardOwner) << "could not take the clipboard";
    }
    std::lock_guard lock(mutex);
    acquiredGeneration = std::max(acquiredGeneration, acquiringGeneration);
    acquired.notify_all();
}

void X11ClipboardOwner::Private::handleSelectionRequest(
    const xcb_selection_request_event_t& request)
{
    // Requestors from before the ICCCM use the target as the property.
    const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
    bool served = false;
    const bool current = request.time == XCB_CURRENT_TIME || request.time >= ownedSince;
    if (owns && offer && request.selection == atom("CLIPBOARD") && current) {
        if (request.target == atom("MULTIPLE"))
            served = request.property != XCB_NONE && serveMultiple(request.requestor, property);
        else
            served = serve(request.requestor, request.target, property);
    }

    xcb_selection_notify_event_t notify;
    std::memset(&notify, 0, sizeof notify);
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = served ? property : XCB_NONE;
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(connection);
}

bool X11ClipboardOwner::Private::serve(xcb_window_t requestor, xcb_atom_t target,
                                       xcb_atom_t property)
{
    if (target == atom("TARGETS")) {
        std::vector<xcb_atom_t> list{atom("TARGETS"), atom("TIMESTAMP"), atom("MULTIPLE")};
        for (const ResolvedTarget& offered : offer->targets)
            list.push_back(offered.target);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM,
                            32, uint32_t(list.size()), list.data());
        return true;
    }
    if (target == atom("TIMESTAMP")) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property,
                            XCB_ATOM_INTEGER, 32, 1, &ownedSince);
        return true;
    }
    auto found = std::find_if(offer->targets.begin(), offer->targets.end(),
                              [target](const ResolvedTarget& t) { return t.target == target; });
    if (found == offer->targets.end())
        return false;

    const QByteArray& data = found->data;
    if (data.size() <= chunkSize) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, found->type, 8,
                            uint32_t(data.size()), data.constData());
        return true;
    }

    // Too large for one property: announce the size, then send a chunk every time the
    // requestor deletes the property.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, requestor, XCB_CW_EVENT_MASK, &mask);
    const uint32_t size = uint32_t(std::min<qsizetype>(data.size(), UINT32_MAX));
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, atom("INCR"), 32, 1,
                        &size);
    auto existing = std::find_if(transfers.begin(), transfers.end(), [&](const auto& t) {
        return t.requestor == requestor && t.property == property;
    });
    if (existing != transfers.end())
        transfers.erase(existing);
    transfers.push_back(
        {requestor, property, found->type, offer, data, 0, Clock::now() + incrementalTimeout});
    qCDebug(lcClipboardOwner) << "sending" << data.size() << "bytes incrementally to" << requestor;
    return true;
}

bool X11ClipboardOwner::Private::serveMultiple(xcb_window_t requestor, xcb_atom_t property)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    if (!reply)
        return false;
    std::vector<xcb_atom_t> pairs;
    if (reply->format == 32) {
        auto* values = static_cast<xcb_atom_t*>(xcb_get_property_value(reply));
        pairs.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    const xcb_atom_t type = reply->type;
    free(reply);
    if (pairs.size() % 2 != 0)
        pairs.pop_back();

    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        const xcb_atom_t target = pairs[i];
        const xcb_atom_t pairProperty = pairs[i + 1];
        const bool served = target != atom("MULTIPLE") && pairProperty != XCB_NONE &&
                            serve(requestor, target, pairProperty);
        if (!served)
            pairs[i + 1] = XCB_NONE;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property,
                        type != XCB_NONE ? type : atom("ATOM_PAIR"), 32, uint32_t(pairs.size()),
                        pairs.data());
    return true;
}

void X11ClipboardOwner::Private::continueTransfer(xcb_window_t requestor, xcb_atom_t property)
{
    auto it = std::find_if(transfers.begin(), transfers.end(), [&](const auto& t) {
        return t.requestor == requestor && t.property == property;
    });
    if (it == transfers.end())
        return;
    const qsizetype length = std::min(chunkSize, it->data.size() - it->offset);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, it->type, 8,
                        uint32_t(length), it->data.constData() + it->offset);
    it->offset += length;
    it->deadline = Clock::now() + incrementalTimeout;
    // The zero-length chunk just written ends the transfer.
    if (length == 0)
        dropTransfer(it);
    xcb_flush(connection);
}

void X11ClipboardOwner::Private::dropTransfer(std::vector<IncrementalTransfer>::iterator it)
{
    const xcb_window_t requestor = it->requestor;
    transfers.erase(it);
    const bool stillSending = std::any_of(transfers.begin(), transfers.end(),
                                          [&](const auto& t) { return t.requestor == requestor; });
    if (!stillSending) {
        const uint32_t mask = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(connection, requestor, XCB_CW_EVENT_MASK, &mask);
    }
}

void X11ClipboardOwner::Private::expireTransfers()
{
    const auto now = Clock::now();
    for (auto it = transfers.begin(); it != transfers.end();) {
        if (it->deadline <= now) {
            qCDebug(lcClipboardOwner)
                << "requestor" << it->requestor << "stopped reading; transfer abandoned";
            dropTransfer(it);
            it = transfers.begin();
        } else {
            ++it;
        }
    }
}

int X11ClipboardOwner::Private::pollTimeoutMs() const
{
    if (transfers.empty())
        return -1;
    auto next =
        std::min_element(transfers.begin(), transfers.end(), [](const auto& a, const auto& b) {
            return a.deadline < b.deadline;
        })->deadline;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    return int(std::clamp<qint64>(wait.count() + 1, 0, 60000));
}

X11ClipboardOwner::X11ClipboardOwner(QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    if (!d->connect()) {
        d = std::make_unique<Private>(); // releases what was set up
    }
}

X11ClipboardOwner::~X11ClipboardOwner() = default;

bool X11ClipboardOwner::isAvailable() const
{
    std::lock_guard lock(d->mutex);
    return d->worker.joinable() && !d->connectionLost;
}

void X11ClipboardOwner::clear()
{
    offer({});
}

void X11ClipboardOwner::offer(const QList<PasteboardRepresentation>& representations,
                              OfferMode mode)
{
    if (!isAvailable())
        return;
    auto resolved = std::make_shared<Offer>();
    resolved->onlyIfUnowned = mode == OnlyIfUnowned;
    for (X11ClipboardTarget& target : x11ClipboardTargets(representations)) {
        const xcb_atom_t targetAtom = d->atom(target.target);
        const xcb_atom_t typeAtom = d->atom(target.type);
        if (targetAtom != XCB_NONE && typeAtom != XCB_NONE)
            resolved->targets.push_back({targetAtom, typeAtom, std::move(target.data)});
    }

    std::unique_lock lock(d->mutex);
    if (d->connectionLost)
        return;
    d->pendingOffer = std::move(resolved);
    const quint64 generation = ++d->requestedGeneration;
    d->wake();
    // A bounded wait for the server alone: when offer() returns, applications that ask for
    // the clipboard get this offer.
    if (!d->acquired.wait_for(lock, acquireTimeout, [&] {
            return d->acquiredGeneration >= generation || d->connectionLost;
        }))
        qCWarning(lcClipboardOwner) << "the X server did not confirm the clipboard ownership";
}

quint32 X11ClipboardOwner::window() const
{
    return isAvailable() ? d->window : 0;
}

} // namespace brivet
