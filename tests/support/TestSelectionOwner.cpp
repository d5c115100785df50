#include "support/TestSelectionOwner.h"

#include "platform/x11/XcbConnection.h"

#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace brivet::test {

struct TestSelectionOwner::Private
{
    QList<Target> targets;
    Behaviour behaviour;
    std::unique_ptr<XcbConnection> connection;
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_atom_t clipboard = XCB_ATOM_NONE;
    xcb_atom_t targetsAtom = XCB_ATOM_NONE;
    xcb_atom_t incr = XCB_ATOM_NONE;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::thread thread;
    mutable std::mutex mutex;
    QByteArrayList requests;
    int piecesSent = 0;

    struct Incremental // the one incremental transfer under way (tests need no more)
    {
        xcb_window_t requestor = XCB_WINDOW_NONE;
        xcb_atom_t property = XCB_ATOM_NONE;
        xcb_atom_t type = XCB_ATOM_NONE;
        QByteArray data;
        qsizetype offset = 0;
        bool finished = true;
    } incremental;
    void sendPiece();

    // Requests answered later, with the time they are due.
    std::vector<std::pair<xcb_selection_request_event_t, std::chrono::steady_clock::time_point>>
        delayed;
    void run();
    void answer(const xcb_selection_request_event_t& request, bool onTime = false);
    void notify(const xcb_selection_request_event_t& request, xcb_atom_t property);
};

TestSelectionOwner::TestSelectionOwner(QList<Target> targets, Behaviour behaviour)
    : d(std::make_unique<Private>())
{
    d->targets = std::move(targets);
    d->behaviour = behaviour;
    d->connection = XcbConnection::open();
    if (!d->connection)
        return;
    const auto atoms = d->connection->atoms({"CLIPBOARD", "TARGETS", "INCR"});
    d->clipboard = atoms[0];
    d->targetsAtom = atoms[1];
    d->incr = atoms[2];
    xcb_connection_t* c = d->connection->get();
    d->window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, d->window, d->connection->root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &mask);
    xcb_flush(c);
    if (::pipe(d->wake) != 0)
        return;
    d->thread = std::thread([p = d.get()] { p->run(); });
}

TestSelectionOwner::~TestSelectionOwner()
{
    if (d->thread.joinable()) {
        d->stopping = true;
        [[maybe_unused]] auto n = ::write(d->wake[1], "x", 1);
        d->thread.join();
    }
    for (int fd : d->wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool TestSelectionOwner::take()
{
    if (!d->connection)
        return false;
    xcb_connection_t* c = d->connection->get();
    xcb_set_selection_owner(c, d->window, d->clipboard, XCB_CURRENT_TIME);
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, d->clipboard), nullptr));
    // Waiting for the reply may have queued a request that the serving thread, asleep in
    // poll(), would not notice.
    [[maybe_unused]] auto n = ::write(d->wake[1], "x", 1);
    return owner && owner->owner == d->window;
}

QByteArrayList TestSelectionOwner::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->requests;
}

void TestSelectionOwner::Private::run()
{
    xcb_connection_t* c = connection->get();
    while (!stopping) {
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_REQUEST)
                answer(*reinterpret_cast<xcb_selection_request_event_t*>(event.get()));
            if (type == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
                if (!incremental.finished && notify->window == incremental.requestor &&
                    notify->atom == incremental.property && notify->state == XCB_PROPERTY_DELETE)
                    sendPiece();
            }
        }
        if (connection->hasError())
            return;
        int timeoutMs = -1;
        for (auto it = delayed.begin(); it != delayed.end();) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                it->second - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                const xcb_selection_request_event_t request = it->first;
                it = delayed.erase(it);
                answer(request, true);
                continue;
            }
            timeoutMs = timeoutMs < 0 ? int(left.count()) : std::min(timeoutMs, int(left.count()));
            ++it;
        }
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake[0], POLLIN, 0}};
        ::poll(fds, 2, timeoutMs);
        if (fds[1].revents & POLLIN) {
            char drained[16];
            [[maybe_unused]] auto n = ::read(wake[0], drained, sizeof drained);
        }
    }
}

void TestSelectionOwner::Private::answer(const xcb_selection_request_event_t& request, bool onTime)
{
    xcb_connection_t* c = connection->get();
    const QByteArray name = connection->atomName(request.target).value_or(QByteArray());
    if (!onTime) {
        std::lock_guard lock(mutex);
        requests.append(name);
    }
    if (behaviour == Behaviour::Silent)
        return;
    if (request.target == targetsAtom) {
        std::vector<xcb_atom_t> offered{targetsAtom};
        for (const Target& target : targets)
            offered.push_back(connection->atom(target.name.constData()));
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                            XCB_ATOM_ATOM, 32, uint32_t(offered.size()), offered.data());
        notify(request, request.property);
        return;
    }
    for (const Target& target : targets) {
        if (target.name != name)
            continue;
        if (target.refuse)
            break;
        if (target.delayMs < 0)
            return;
        if (target.delayMs > 0 && !onTime) {
            delayed.emplace_back(request, std::chrono::steady_clock::now() +
                                              std::chrono::milliseconds(target.delayMs));
            return;
        }
        const QByteArray typeName = target.type.isEmpty() ? target.name : target.type;
        if (behaviour == Behaviour::Answer) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                                connection->atom(typeName.constData()), 8,
                                uint32_t(target.data.size()), target.data.constData());
        } else { // INCR with a size hint; the pieces follow as the requestor deletes each one
            const uint32_t hint = behaviour == Behaviour::Incremental ? 1 : target.data.size();
            if (behaviour == Behaviour::Incremental) {
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &mask);
                incremental = {request.requestor,
                               request.property,
                               connection->atom(typeName.constData()),
                               target.data,
                               0,
                               false};
            }
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, incr,
                                32, 1, &hint);
        }
        notify(request, request.property);
        return;
    }
    notify(request, XCB_ATOM_NONE);
}

int TestSelectionOwner::piecesSent() const
{
    std::lock_guard lock(d->mutex);
    return d->piecesSent;
}

void TestSelectionOwner::Private::sendPiece()
{
    constexpr qsizetype kPiece = 64 * 1024;
    const QByteArray piece = incremental.data.mid(incremental.offset, kPiece);
    incremental.offset += piece.size();
    incremental.finished = piece.isEmpty();
    xcb_change_property(connection->get(), XCB_PROP_MODE_REPLACE, incremental.requestor,
                        incremental.property, incremental.type, 8, uint32_t(piece.size()),
                        piece.constData());
    xcb_flush(connection->get());
    std::lock_guard lock(mutex);
    ++piecesSent;
}

void TestSelectionOwner::Private::notify(const xcb_selection_request_event_t& request,
                                         xcb_atom_t property)
{
    const xcb_selection_notify_event_t event{
        XCB_SELECTION_NOTIFY, 0,       0, request.time, request.requestor, request.selection,
        request.target,       property};
    xcb_send_event(connection->get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection->get());
}

} // namespace brivet::test
