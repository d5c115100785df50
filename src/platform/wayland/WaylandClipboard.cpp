#include "platform/wayland/WaylandClipboard.h"

#include "platform/linux/ClipboardMimeTypes.h"
#include "platform/linux/UriList.h"
#include "platform/wayland/WaylandDataControl.h"
#include "platform/wayland/WaylandLogging.h"

#include <QByteArrayView>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>
#include <wayland-client.h>

namespace brivet {

namespace {

using Clock = std::chrono::steady_clock;

const auto& kFileTypes = ClipboardMimeTypes::files;
const auto& kTextTypes = ClipboardMimeTypes::texts;
const auto& kImageTypes = ClipboardMimeTypes::images;
const auto& kRichTextTypes = ClipboardMimeTypes::richTexts;
const auto& kSecretHints = ClipboardMimeTypes::secretHints;

// A reader that stops taking what Brivet serves is given up after this long.
constexpr auto kServeTimeout = std::chrono::seconds(10);
// How long offer() waits for the compositor to have the new selection.
constexpr auto kOfferTimeout = std::chrono::seconds(2);
constexpr qsizetype kWritePiece = 1024 * 1024;

enum class ReadStatus
{
    Ok,
    Failed,     // the owner closed without an answer it could give, or the pipe broke
    TooLarge,   // skipped: over the size limit
    Timeout,    // no answer, or a stalled one
    Superseded, // the selection changed again meanwhile
    Stopped,    // the clipboard is shutting down
    Broken      // the connection to the compositor is gone
};

bool canContinue(ReadStatus status)
{
    return status == ReadStatus::Ok || status == ReadStatus::Failed ||
           status == ReadStatus::TooLarge;
}

QByteArray validUtf8(const QByteArray& bytes)
{
    if (QByteArrayView(bytes).isValidUtf8())
        return bytes;
    // Invalid sequences become U+FFFD so that readers of the contents never see broken UTF-8.
    return QString::fromUtf8(bytes).toUtf8();
}

// Writing to a reader that went away must fail with EPIPE, not end the program.
void blockSigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void discardSigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    const timespec now{0, 0};
    while (sigtimedwait(&set, nullptr, &now) > 0) {
    }
}

} // namespace

struct WaylandClipboard::Worker final : DataControl::Events
{
    enum class Wait
    {
        Ready,   // the pipe has data or was closed
        Changed, // a new selection came
        Timeout,
        Stopped,
        Broken
    };
    struct Change
    {
        wl_proxy* offer;
        QDateTime seenAt;
    };
    // An answer being written to a reader of Brivet's offer.
    struct Serving
    {
        int fd;
        QByteArray data;
        qsizetype offset = 0;
        Clock::time_point deadline;
    };
    struct Offered
    {
        wl_proxy* source;
        QList<WaylandOfferedType> types;
    };
    struct Command
    {
        QList<WaylandOfferedType> types;
        OfferMode mode;
    };

    Worker(WaylandClipboard& clipboard, wl_display* display, std::unique_ptr<DataControl> control,
           const Limits& limits)
        : m_clipboard(clipboard), m_display(display), m_control(std::move(control)),
          m_limits(limits)
    {}
    ~Worker();

    [[nodiscard]] bool setUp();
    void run();
    void requestStop();
    void offer(const QList<WaylandOfferedType>& types, OfferMode mode);

    // DataControl::Events
    void dataOffer(wl_proxy* offer) override { m_offers[offer]; }
    void offerType(wl_proxy* offer, const char* mimeType) override
    {
        m_offers[offer].push_back(QByteArray(mimeType));
    }
    void selection(wl_proxy* offer) override;
    void primarySelection(wl_proxy* offer) override
    {
        // The primary selection is not Brivet's business.
        if (offer)
            dropOffer(offer);
    }
    void finished() override;
    void send(wl_proxy* source, const char* mimeType, int fd) override;
    void cancelled(wl_proxy* source) override;

    Wait waitFor(std::optional<Clock::time_point> deadline, int readFd);
    [[nodiscard]] bool dispatchPending();
    void fetch(const Change& change);
    bool read(wl_proxy* offer, PasteboardContents& contents);
    ReadStatus receive(wl_proxy* offer, const char* mimeType, QByteArray& out);
    bool isOffered(wl_proxy* offer, const char* mimeType) const;
    void dropOffer(wl_proxy* offer);
    void releaseOffer(wl_proxy* offer);
    void handleCommand();
    void serve();

    WaylandClipboard& m_clipboard;
    wl_display* m_display;
    std::unique_ptr<DataControl> m_control;
    const Limits m_limits;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    bool m_broken = false;

    std::unordered_map<wl_proxy*, std::vector<QByteArray>> m_offers; // live, with their types
    wl_proxy* m_selection = nullptr; // the compositor's newest selection
    wl_proxy* m_reading = nullptr;   // the offer being read
    quint64 m_selectionSerial = 0;   // counts selection events
    std::optional<Change> m_pending; // the newest change not yet read
    std::vector<Offered> m_offered;  // Brivet's sources still alive, newest last
    std::vector<Serving> m_serving;

    // Shared with the main thread.
    std::mutex m_mutex;
    std::condition_variable m_commandDone;
    std::optional<Command> m_command;
    quint64 m_requested = 0;
    quint64 m_done = 0;
    bool m_gone = false; // the thread ended: nobody answers commands any more
};

WaylandClipboard::Worker::~Worker()
{
    for (const Serving& serving : m_serving)
        ::close(serving.fd);
    for (const Offered& offered : m_offered)
        m_control->destroySource(offered.source);
    for (const auto& [offer, types] : m_offers)
        m_control->destroyOffer(offer);
    m_control.reset();
    wl_display_disconnect(m_display);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool WaylandClipboard::Worker::setUp()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        qCWarning(lcWayland) << "could not create the clipboard's wake-up descriptor:"
                             << std::strerror(errno);
        return false;
    }
    m_control->watch(this);
    // The device announces the current selection at once: read it as the first change.
    if (wl_display_roundtrip(m_display) < 0) {
        qCWarning(lcWayland) << "the compositor closed the clipboard connection";
        return false;
    }
    return true;
}

void WaylandClipboard::Worker::requestStop()
{
    m_stopping.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
}

void WaylandClipboard::Worker::run()
{
    blockSigpipe();
    while (!m_stopping.load() && !m_broken) {
        if (!m_pending) {
            const Wait idle = waitFor(std::nullopt, -1);
            if (idle == Wait::Broken)
                break;
            continue;
        }
        const Change change = *std::exchange(m_pending, std::nullopt);
        fetch(change);
    }
    if (m_broken)
        qCWarning(lcWayland) << "lost the connection to the compositor; clipboard changes are "
                                "no longer seen";
    std::lock_guard lock(m_mutex);
    m_gone = true;
    m_commandDone.notify_all();
}

void WaylandClipboard::Worker::selection(wl_proxy* offer)
{
    ++m_selectionSerial;
    if (m_selection)
        releaseOffer(std::exchange(m_selection, nullptr));
    m_selection = offer;
    // An older change not yet read is dropped: only the newest one waits. The application
    // that copied is left to the monitor, which asks the main thread's front application.
    m_pending = Change{offer, QDateTime::currentDateTimeUtc()};
}

void WaylandClipboard::Worker::finished()
{
    qCWarning(lcWayland) << "the compositor withdrew the clipboard device";
    m_broken = true;
}

bool WaylandClipboard::Worker::isOffered(wl_proxy* offer, const char* mimeType) const
{
    const auto it = m_offers.find(offer);
    return it != m_offers.end() && std::find(it->second.begin(), it->second.end(),
                                             QByteArrayView(mimeType)) != it->second.end();
}

void WaylandClipboard::Worker::dropOffer(wl_proxy* offer)
{
    m_offers.erase(offer);
    m_control->destroyOffer(offer);
}

// Destroys an offer nobody needs any more: neither the newest selection nor the one being read.
void WaylandClipboard::Worker::releaseOffer(wl_proxy* offer)
{
    if (offer && offer != m_selection && offer != m_reading)
        dropOffer(offer);
}

bool WaylandClipboard::Worker::dispatchPending()
{
    if (wl_display_dispatch_pending(m_display) < 0) {
        m_broken = true;
        return false;
    }
    return true;
}

WaylandClipboard::Worker::Wait
WaylandClipboard::Worker::waitFor(std::optional<Clock::time_point> deadline, int readFd)
{
    const quint64 serial = m_selectionSerial;
    for (;;) {
        if (m_stopping.load())
            return Wait::Stopped;
        while (wl_display_prepare_read(m_display) != 0) {
            if (!dispatchPending())
                return Wait::Broken;
        }
        if (m_selectionSerial != serial || (readFd < 0 && m_pending)) {
            wl_display_cancel_read(m_display);
            return Wait::Changed;
        }
        short displayEvents = POLLIN;
        if (wl_display_flush(m_display) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(m_display);
                m_broken = true;
                return Wait::Broken;
            }
            displayEvents |= POLLOUT; // the compositor is slow to take our requests
        }

        std::vector<pollfd> fds{{wl_display_get_fd(m_display), displayEvents, 0},
                                {m_wakeFd, POLLIN, 0},
                                {readFd, POLLIN, 0}};
        auto wakeAt = deadline;
        for (const Serving& serving : m_serving) {
            fds.push_back({serving.fd, POLLOUT, 0});
            wakeAt = wakeAt ? std::min(*wakeAt, serving.deadline) : serving.deadline;
        }
        int timeoutMs = -1;
        if (wakeAt) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*wakeAt - Clock::now()).count();
            timeoutMs = int(std::clamp<long long>(left, 0, INT_MAX));
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
            qCWarning(lcWayland) << "waiting for the compositor failed:" << std::strerror(errno);
            wl_display_cancel_read(m_display);
            m_broken = true;
            return Wait::Broken;
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            if (wl_display_read_events(m_display) < 0) {
                m_broken = true;
                return Wait::Broken;
            }
        } else {
            wl_display_cancel_read(m_display);
        }
        if (!dispatchPending())
            return Wait::Broken;
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] auto drained = ::read(m_wakeFd, &count, sizeof count);
            if (m_stopping.load())
                return Wait::Stopped;
            handleCommand();
        }
        serve();
        if (m_selectionSerial != serial)
            return Wait::Changed;
        if (readFd >= 0 && (fds[2].revents & (POLLIN | POLLERR | POLLHUP)))
            return Wait::Ready;
        if (deadline && Clock::now() >= *deadline)
            return Wait::Timeout;
        if (readFd < 0 && m_pending)
            return Wait::Changed;
    }
}

void WaylandClipboard::Worker::fetch(const Change& change)
{
    WaylandSelection selection;
    selection.time = change.seenAt;
    if (!change.offer) {
        selection.ownerGone = true;
    } else if (isOffered(change.offer, ownMarker)) {
        // Never read: the answer would have to come from this very thread.
        selection.own = true;
    } else {
        m_reading = change.offer;
        const bool finished = read(change.offer, selection.contents);
        m_reading = nullptr;
        releaseOffer(change.offer);
        if (!finished && m_stopping.load())
            return;
    }
    emit m_clipboard.selectionRead(selection);
}

// Reads the offer's files, else its text and then its image, into contents. False when the
// read ended early (what was read is kept).
bool WaylandClipboard::Worker::read(wl_proxy* offer, PasteboardContents& contents)
{
    for (const char* hint : kSecretHints) {
        if (isOffered(offer, hint)) {
            qCDebug(lcWayland) << "skipped a secret: the clipboard owner marked it concealed";
            return true;
        }
    }
    const auto offersAny = [&](const auto& types) {
        return std::any_of(std::begin(types), std::end(types),
                           [&](const char* type) { return isOffered(offer, type); });
    };
    if (offersAny(kFileTypes))
        contents.types.append(PasteboardType::FileURL);
    for (const auto& [type, kind] : kImageTypes) {
        if (isOffered(offer, type))
            contents.types.append(kind);
    }
    if (offersAny(kTextTypes))
        contents.types.append(PasteboardType::String);
    for (const auto& [type, kind] : kRichTextTypes) {
        if (isOffered(offer, type))
            contents.types.append(kind);
    }

    const auto ended = [](ReadStatus status, const char* what) {
        if (status == ReadStatus::Timeout)
            qCInfo(lcWayland) << "the clipboard owner did not answer for" << what << "in time";
        return false;
    };

    // Files first: the URI list, else GNOME's list.
    QStringList (*const parsers[])(const QByteArray&) = {&fileUrlsFromUriList,
                                                         &fileUrlsFromGnomeCopiedFiles};
    for (size_t i = 0; i < std::size(kFileTypes); ++i) {
        if (!isOffered(offer, kFileTypes[i]))
            continue;
        QByteArray bytes;
        const ReadStatus status = receive(offer, kFileTypes[i], bytes);
        if (!canContinue(status))
            return ended(status, kFileTypes[i]);
        const QStringList urls = status == ReadStatus::Ok ? parsers[i](bytes) : QStringList();
        if (!urls.isEmpty()) {
            contents.fileUrlStrings = urls;
            contents.data.insert(PasteboardType::FileURL,
                                 urls.join(QLatin1String("\r\n")).toUtf8());
            return true;
        }
    }

    // Then the text, before the image: any owner answers it at once, while rendering an image
    // may take a program seconds, or fail.
    for (const char* type : kTextTypes) {
        if (!isOffered(offer, type))
            continue;
        QByteArray bytes;
        const ReadStatus status = receive(offer, type, bytes);
        if (!canContinue(status))
            return ended(status, "its text");
        if (status != ReadStatus::Ok)
            continue;
        contents.data.insert(PasteboardType::String, std::strcmp(type, "STRING") == 0
                                                         ? QString::fromLatin1(bytes).toUtf8()
                                                         : validUtf8(bytes));
        break;
    }

    // The formatted forms of a text, as they come: kept with it, offered again on a paste.
    if (contents.data.contains(PasteboardType::String)) {
        for (const auto& [type, kind] : kRichTextTypes) {
            if (!isOffered(offer, type))
                continue;
            QByteArray bytes;
            const ReadStatus status = receive(offer, type, bytes);
            if (!canContinue(status))
                return ended(status, type);
            if (status == ReadStatus::Ok && !bytes.isEmpty())
                contents.data.insert(kind, bytes);
        }
    }

    // Then an image: TIFF, else PNG. Whatever becomes of it, the text read above stays.
    for (const auto& [type, kind] : kImageTypes) {
        if (!isOffered(offer, type))
            continue;
        QByteArray bytes;
        const ReadStatus status = receive(offer, type, bytes);
        if (!canContinue(status))
            return ended(status, type);
        if (status == ReadStatus::Ok && !bytes.isEmpty()) {
            contents.data.insert(kind, bytes);
            return true;
        }
    }
    return true;
}

ReadStatus WaylandClipboard::Worker::receive(wl_proxy* offer, const char* mimeType, QByteArray& out)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcWayland) << "could not open a pipe to read the clipboard:"
                             << std::strerror(errno);
        return ReadStatus::Failed;
    }
    m_control->receive(offer, mimeType, fds[1]);
    ::close(fds[1]); // the owner has its own copy once the request is sent
    const int fd = fds[0];
    const auto transferDeadline = Clock::now() + m_limits.transferTimeout;
    auto deadline = std::min(Clock::now() + m_limits.answerTimeout, transferDeadline);
    char buffer[64 * 1024];
    ReadStatus status = ReadStatus::Ok;
    for (bool done = false; !done;) {
        switch (waitFor(deadline, fd)) {
        case Wait::Ready:
            break;
        case Wait::Changed:
            status = ReadStatus::Superseded;
            done = true;
            continue;
        case Wait::Timeout:
            qCInfo(lcWayland) << "reading" << mimeType << "stalled after" << out.size() << "bytes";
            status = ReadStatus::Timeout;
            done = true;
            continue;
        case Wait::Stopped:
            status = ReadStatus::Stopped;
            done = true;
            continue;
        case Wait::Broken:
            status = ReadStatus::Broken;
            done = true;
            continue;
        }
        // Everything there is now, then wait for more.
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                if (out.size() + got > m_limits.maxBytes) {
                    qCInfo(lcWayland) << "skipped clipboard content of" << mimeType
                                      << "over the limit of" << m_limits.maxBytes << "bytes";
                    status = ReadStatus::TooLarge;
                    done = true;
                    break;
                }
                out.append(buffer, got);
                continue;
            }
            if (got == 0) {
                done = true; // the owner closed its end: the whole answer is in
            } else if (errno == EAGAIN) {
                deadline = std::min(Clock::now() + m_limits.answerTimeout, transferDeadline);
            } else if (errno != EINTR) {
                status = ReadStatus::Failed;
                done = true;
            } else {
                continue;
            }
            break;
        }
    }
    ::close(fd);
    if (status != ReadStatus::Ok) {
        out.clear();
        out.squeeze();
    }
    return status;
}

void WaylandClipboard::Worker::offer(const QList<WaylandOfferedType>& types, OfferMode mode)
{
    std::unique_lock lock(m_mutex);
    if (m_gone) {
        qCWarning(lcWayland) << "the clipboard connection is gone; nothing offered";
        return;
    }
    m_command = Command{types, mode};
    const quint64 generation = ++m_requested;
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    if (!m_commandDone.wait_for(lock, kOfferTimeout,
                                [&] { return m_done >= generation || m_gone; }))
        qCWarning(lcWayland) << "the compositor did not take Brivet's offer in time";
}

void WaylandClipboard::Worker::handleCommand()
{
    std::optional<Command> command;
    quint64 generation;
    {
        std::lock_guard lock(m_mutex);
        command = std::exchange(m_command, std::nullopt);
        generation = m_requested;
    }
    if (command) {
        bool leftToOther = false;
        if (command->mode == OnlyIfUnowned) {
            // The newest selection first: a copy made just now must not be replaced.
            if (wl_display_roundtrip(m_display) < 0)
                m_broken = true;
            leftToOther = m_selection && !isOffered(m_selection, ownMarker);
        }
        if (leftToOther) {
            qCDebug(lcWayland) << "another application owns the clipboard; left to it";
        } else if (!m_broken) {
            QList<QByteArray> mimeTypes{QByteArray(ownMarker)};
            for (const WaylandOfferedType& type : command->types)
                mimeTypes.append(type.mimeType);
            wl_proxy* source = m_control->createSource(mimeTypes);
            m_control->setSelection(source);
            m_offered.push_back({source, command->types});
            // Once the compositor answers, it has the selection: a paste from now on gets it.
            if (wl_display_roundtrip(m_display) < 0)
                m_broken = true;
            qCDebug(lcWayland) << "offering" << command->types.size() << "types";
        }
    }
    std::lock_guard lock(m_mutex);
    m_done = generation;
    m_commandDone.notify_all();
}

void WaylandClipboard::Worker::send(wl_proxy* source, const char* mimeType, int fd)
{
    const auto offered = std::find_if(m_offered.begin(), m_offered.end(),
                                      [&](const Offered& o) { return o.source == source; });
    if (offered != m_offered.end()) {
        for (const WaylandOfferedType& type : offered->types) {
            if (type.mimeType == mimeType) {
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
                m_serving.push_back({fd, type.data, 0, Clock::now() + kServeTimeout});
                return;
            }
        }
    }
    ::close(fd); // the marker, or a type not offered: an empty answer
}

void WaylandClipboard::Worker::cancelled(wl_proxy* source)
{
    // Answers under way keep their bytes.
    const auto offered = std::find_if(m_offered.begin(), m_offered.end(),
                                      [&](const Offered& o) { return o.source == source; });
    if (offered != m_offered.end())
        m_offered.erase(offered);
    m_control->destroySource(source);
}

// Writes what each reader can take now; a reader that takes nothing for long is dropped.
void WaylandClipboard::Worker::serve()
{
    const auto now = Clock::now();
    for (auto it = m_serving.begin(); it != m_serving.end();) {
        bool finished = it->offset >= it->data.size();
        while (!finished) {
            const ssize_t written =
                ::write(it->fd, it->data.constData() + it->offset,
                        size_t(std::min(kWritePiece, it->data.size() - it->offset)));
            if (written > 0) {
                it->offset += written;
                it->deadline = now + kServeTimeout;
                finished = it->offset >= it->data.size();
            } else if (written < 0 && errno == EINTR) {
                continue;
            } else {
                if (written < 0 && errno == EPIPE) {
                    discardSigpipe();
                    finished = true; // the reader went away
                } else if (written < 0 && errno != EAGAIN) {
                    qCDebug(lcWayland) << "serving the clipboard failed:" << std::strerror(errno);
                    finished = true;
                } else if (now >= it->deadline) {
                    qCInfo(lcWayland) << "gave up on a reader that took" << it->offset << "of"
                                      << it->data.size() << "bytes";
                    finished = true;
                }
                break;
            }
        }
        if (finished) {
            ::close(it->fd);
            it = m_serving.erase(it);
        } else {
            ++it;
        }
    }
}

WaylandClipboard::WaylandClipboard(Limits limits, QObject* parent)
    : QObject(parent), m_limits(limits)
{
    qRegisterMetaType<WaylandSelection>();
}

WaylandClipboard::~WaylandClipboard()
{
    if (m_thread.joinable()) {
        m_worker->requestStop();
        m_thread.join();
    }
}

bool WaylandClipboard::start()
{
    if (m_worker)
        return true;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        qCWarning(lcWayland) << "no Wayland compositor to watch the clipboard on";
        return false;
    }
    std::unique_ptr<DataControl> control = DataControl::bind(display);
    if (!control) {
        wl_display_disconnect(display);
        return false;
    }
    qCInfo(lcWayland) << "watching the clipboard through" << control->protocolName();
    auto worker = std::make_unique<Worker>(*this, display, std::move(control), m_limits);
    if (!worker->setUp())
        return false;
    m_worker = std::move(worker);
    m_thread = std::thread([worker = m_worker.get()] { worker->run(); });
    return true;
}

void WaylandClipboard::offer(const QList<WaylandOfferedType>& types, OfferMode mode)
{
    if (!m_worker) {
        qCDebug(lcWayland) << "not connected; nothing offered";
        return;
    }
    m_worker->offer(types, mode);
}

} // namespace brivet
