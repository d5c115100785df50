#include "platform/x11/X11SelectionReader.h"

#include "platform/PlatformLogging.h"
#include "platform/linux/UriList.h"
#include "platform/x11/XcbConnection.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <xcb/xfixes.h>

namespace brivet {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The atoms the reader uses, interned once; kAtomNames gives their names in the same order.
enum AtomId
{
    Clipboard,
    Targets,
    Incr,
    Utf8String,
    TextPlainUtf8,
    TextPlain,
    Text,
    CompoundText,
    UriListTarget,
    GnomeCopiedFiles,
    ImageTiff,
    ImagePng,
    TextHtml,
    TextRtf,
    PasswordManagerHint,
    ConcealedType,
    TransferProperty,
    AtomCount
};

const char* const kAtomNames[AtomCount] = {
    "CLIPBOARD",
    "TARGETS",
    "INCR",
    "UTF8_STRING",
    "text/plain;charset=utf-8",
    "text/plain",
    "TEXT",
    "COMPOUND_TEXT",
    "text/uri-list",
    "x-special/gnome-copied-files",
    "image/tiff",
    "image/png",
    "text/html",
    "text/rtf",
    "x-kde-passwordManagerHint",
    "application/x-nspasteboard-concealed-type",
    "BRIVET_SELECTION",
};

// A requestor window is reused only after a transfer on it ended cleanly. One whose request
// was abandoned may still receive the late answer or the rest of an INCR transfer, so it rests
// this long before it is destroyed, and is never used again.
constexpr auto kQuarantine = std::chrono::seconds(60);
constexpr size_t kMaxQuarantined = 64;
// Size of one GetProperty read; large properties are read in pieces of this size.
constexpr uint32_t kReadChunkBytes = 4 * 1024 * 1024;

enum class TransferStatus
{
    Ok,         // data holds the content
    Refused,    // the owner does not offer it (or set no property)
    TooLarge,   // skipped: over the size limit
    Timeout,    // no answer, or a stalled transfer
    Superseded, // CLIPBOARD changed again meanwhile
    Stopped,    // the reader is shutting down
    Broken      // the connection to the server is gone
};

struct Transfer
{
    TransferStatus status = TransferStatus::Refused;
    QByteArray data;
    xcb_atom_t type = XCB_ATOM_NONE;
    uint8_t format = 0;
};

Transfer failed(TransferStatus status)
{
    Transfer transfer;
    transfer.status = status;
    return transfer;
}

// Whether a fetch may go on with the next target after this outcome.
bool canContinue(TransferStatus status)
{
    return status == TransferStatus::Ok || status == TransferStatus::Refused ||
           status == TransferStatus::TooLarge;
}

bool isValidUtf8(const QByteArray& bytes)
{
    // Checked a piece at a time, so that a 50 MB text costs no 100 MB of UTF-16 on the side.
    constexpr qsizetype kPiece = 1024 * 1024;
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        qsizetype end = std::min(offset + kPiece, bytes.size());
        // End the piece on a character boundary: back over up to three continuation bytes.
        for (int i = 0; i < 3 && end < bytes.size() && (uchar(bytes.at(end)) & 0xc0) == 0x80; ++i)
            --end;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        [[maybe_unused]] const QString piece =
            decoder.decode(QByteArrayView(bytes).sliced(offset, end - offset));
        if (decoder.hasError())
            return false;
        offset = end;
    }
    return true;
}

QByteArray validUtf8(const QByteArray& bytes)
{
    if (isValidUtf8(bytes))
        return bytes;
    // Invalid sequences become U+FFFD so that readers of the contents never see broken UTF-8.
    return QString::fromUtf8(bytes).toUtf8();
}

} // namespace

struct X11SelectionReader::Worker
{
    enum class WaitStatus
    {
        Event,
        Timeout,
        Changed,
        Stopped,
        Broken
    };
    struct WaitResult
    {
        WaitStatus status;
        XcbReply<xcb_generic_event_t> event;
    };
    using EventFilter = std::function<bool(const xcb_generic_event_t*)>;

    struct Change
    {
        xcb_window_t owner;
        xcb_timestamp_t time;
        QDateTime seenAt;
        std::optional<ApplicationInfo> source;
        bool ignored = false; // copied in an application whose copies are never read
    };
    // One fetch: the requestor window its transfers land on and the time of the change.
    struct Session
    {
        xcb_window_t window;
        xcb_timestamp_t time;
        bool tainted = false; // a request on window is still outstanding
    };

    Worker(std::unique_ptr<XcbConnection> connection, const Limits& limits,
           const std::atomic<quint32>& ownWindow, const SnapshotHandler& handler,
           FrontApplication* frontApplication, const IgnoredApplications* ignored)
        : m_connection(std::move(connection)), m_limits(limits), m_ownWindow(ownWindow),
          m_handler(handler), m_frontApplication(frontApplication), m_ignored(ignored)
    {}
    ~Worker()
    {
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }

    [[nodiscard]] bool setUp();
    void run();
    void requestStop()
    {
        m_stopping.store(true);
        const uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    }

    WaitResult waitFor(std::optional<Clock::time_point> deadline, const EventFilter& wanted);
    // The transfer that a wait without its event ends in; std::nullopt when the event came.
    static std::optional<Transfer> endOfWait(WaitStatus status, Session& session);
    std::optional<SelectionSnapshot> fetch(const Change& change);
    [[nodiscard]] bool read(Session& session, PasteboardContents& contents);
    Transfer request(Session& session, xcb_atom_t target);
    Transfer convert(Session& session, xcb_atom_t target);
    Transfer readProperty(Session& session, xcb_atom_t property);
    Transfer readIncremental(Session& session, xcb_atom_t property, quint32 sizeHint);
    [[nodiscard]] bool readWhole(xcb_window_t window, xcb_atom_t property, QByteArray& out);
    XcbReply<xcb_get_property_reply_t> propertyHead(xcb_window_t window, xcb_atom_t property);
    std::optional<QByteArray> textOf(const Transfer& transfer) const;

    xcb_window_t takeWindow();
    void releaseWindow(const Session& session);
    void renewWindow(Session& session);
    bool isOffered(const std::vector<xcb_atom_t>& offered, AtomId id) const
    {
        return std::find(offered.begin(), offered.end(), m_atoms[id]) != offered.end();
    }

    std::unique_ptr<XcbConnection> m_connection;
    const Limits m_limits;
    const std::atomic<quint32>& m_ownWindow;
    const SnapshotHandler& m_handler;
    FrontApplication* m_frontApplication;
    const IgnoredApplications* m_ignored;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    uint8_t m_xfixesEvent = 0;
    xcb_window_t m_watchWindow = XCB_WINDOW_NONE;
    std::vector<xcb_atom_t> m_atoms;
    std::optional<Change> m_pending; // the newest change not yet fetched
    std::vector<xcb_window_t> m_idleWindows;
    std::vector<std::pair<xcb_window_t, Clock::time_point>> m_quarantined;
};

bool X11SelectionReader::Worker::setUp()
{
    xcb_connection_t* c = m_connection->get();
    m_atoms = m_connection->atoms(
        {kAtomNames[0], kAtomNames[1], kAtomNames[2], kAtomNames[3], kAtomNames[4], kAtomNames[5],
         kAtomNames[6], kAtomNames[7], kAtomNames[8], kAtomNames[9], kAtomNames[10], kAtomNames[11],
         kAtomNames[12], kAtomNames[13], kAtomNames[14], kAtomNames[15], kAtomNames[16]});
    static_assert(AtomCount == 17, "keep the interned list in step with AtomId");
    if (std::count(m_atoms.begin(), m_atoms.end(), XCB_ATOM_NONE) > 0) {
        qCWarning(lcPlatform) << "could not intern the clipboard atoms";
        return false;
    }

    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        qCWarning(lcPlatform) << "the X server lacks XFixes; clipboard changes cannot be seen";
        return false;
    }
    XcbReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    if (!version || version->major_version < 1) {
        qCWarning(lcPlatform) << "XFixes 1.0 or later is needed to see clipboard changes";
        return false;
    }
    m_xfixesEvent = xfixes->first_event;

    m_watchWindow = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_watchWindow, m_connection->root(), -10, -10, 1, 1,
                      0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_xfixes_select_selection_input(c, m_watchWindow, m_atoms[Clipboard],
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);

    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        qCWarning(lcPlatform) << "could not create the reader's wake-up descriptor:"
                              << std::strerror(errno);
        return false;
    }
    return !m_connection->hasError();
}

void X11SelectionReader::Worker::run()
{
    while (!m_stopping.load()) {
        if (!m_pending) {
            const WaitResult idle = waitFor(std::nullopt, {});
            if (idle.status == WaitStatus::Broken) {
                qCWarning(lcPlatform)
                    << "lost the connection to the X server; clipboard changes are no longer seen";
                return;
            }
            if (idle.status == WaitStatus::Stopped)
                return;
            continue;
        }
        const Change change = *std::exchange(m_pending, std::nullopt);
        std::optional<SelectionSnapshot> snapshot = fetch(change);
        if (snapshot)
            m_handler(std::move(*snapshot));
    }
}

X11SelectionReader::Worker::WaitResult
X11SelectionReader::Worker::waitFor(std::optional<Clock::time_point> deadline,
                                    const EventFilter& wanted)
{
    xcb_connection_t* c = m_connection->get();
    xcb_flush(c);
    for (;;) {
        if (m_stopping.load())
            return {WaitStatus::Stopped, nullptr};
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == uint8_t(m_xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY)) {
                const auto* notify =
                    reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event.get());
                if (notify->selection == m_atoms[Clipboard]) {
                    // The application in front now is the one that copied: asked here, not
                    // when the change is fetched or recorded, by which time the user may have
                    // moved on to another window.
                    std::optional<ApplicationInfo> source;
                    if (m_frontApplication && notify->owner != XCB_WINDOW_NONE &&
                        notify->owner != m_ownWindow.load())
                        source =
                            m_frontApplication->frontmostApplication().value_or(ApplicationInfo{});
                    const bool ignored = m_ignored && m_ignored->contains(source);
                    m_pending = Change{notify->owner, notify->timestamp,
                                       QDateTime::currentDateTimeUtc(), std::move(source), ignored};
                    return {WaitStatus::Changed, nullptr};
                }
                continue;
            }
            if (wanted && wanted(event.get()))
                return {WaitStatus::Event, std::move(event)};
        }
        if (m_connection->hasError())
            return {WaitStatus::Broken, nullptr};

        int timeoutMs = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0)
                return {WaitStatus::Timeout, nullptr};
            timeoutMs = int(std::min<long long>(left, INT_MAX));
        }
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
            qCWarning(lcPlatform) << "waiting for the X server failed:" << std::strerror(errno);
            return {WaitStatus::Broken, nullptr};
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] auto got = ::read(m_wakeFd, &count, sizeof count);
        }
    }
}

std::optional<SelectionSnapshot> X11SelectionReader::Worker::fetch(const Change& change)
{
    SelectionSnapshot snapshot;
    snapshot.owner = change.owner;
    snapshot.time = change.seenAt;
    snapshot.source = change.source;
    if (change.owner == XCB_WINDOW_NONE) {
        qCDebug(lcPlatform) << "CLIPBOARD has no owner any more";
        return snapshot;
    }
    if (change.owner == m_ownWindow.load()) {
        qCDebug(lcPlatform) << "CLIPBOARD holds Brivet's own offer; not read back";
        return snapshot;
    }
    if (change.ignored) {
        // Not even its list of types is asked for, as for a secret.
        qCDebug(lcPlatform) << "skipped a copy of an ignored application";
        return snapshot;
    }
    Session session{takeWindow(), change.time};
    const bool finished = read(session, snapshot.contents);
    releaseWindow(session);
    if (!finished)
        return std::nullopt;
    return snapshot;
}

// Fills contents with what the owner offers, in the order capture consults it. False when the
// change must not be delivered (a newer one came, or the reader stops).
bool X11SelectionReader::Worker::read(Session& session, PasteboardContents& contents)
{
    // A timeout ends the fetch: an owner that did not answer once will not answer the next
    // request either, and is not asked again. The change is still delivered with what came
    // before. So is a change overtaken by a newer one, when something was read: every answer
    // that came before the news of the new owner came from this one.
    auto ended = [&](const Transfer& transfer, const char* what) {
        if (transfer.status == TransferStatus::Timeout) {
            qCInfo(lcPlatform) << "the clipboard owner did not deliver" << what
                               << "in time; the change keeps what was read before";
            return true;
        }
        if (transfer.status == TransferStatus::Superseded && !contents.data.isEmpty()) {
            qCDebug(lcPlatform) << "the clipboard changed again while" << what
                                << "was read; the change keeps what was read before";
            return true;
        }
        return false;
    };

    const Transfer targets = request(session, m_atoms[Targets]);
    if (!canContinue(targets.status))
        return ended(targets, kAtomNames[Targets]);

    std::vector<xcb_atom_t> offered;
    if (targets.status == TransferStatus::Ok && targets.format == 32) {
        offered.resize(size_t(targets.data.size()) / sizeof(xcb_atom_t));
        std::memcpy(offered.data(), targets.data.constData(), offered.size() * sizeof(xcb_atom_t));
    } else {
        // Owners from before TARGETS existed still answer the classic text targets.
        qCDebug(lcPlatform) << "the clipboard owner lists no targets; trying text";
        offered = {m_atoms[Utf8String], XCB_ATOM_STRING};
    }

    if (isOffered(offered, PasswordManagerHint) || isOffered(offered, ConcealedType)) {
        qCDebug(lcPlatform) << "skipped a secret: the clipboard owner marked it concealed";
        return true;
    }

    const bool hasFiles = isOffered(offered, UriListTarget) || isOffered(offered, GnomeCopiedFiles);
    const AtomId textTargets[] = {Utf8String, TextPlainUtf8, Text, TextPlain};
    const bool hasText =
        std::any_of(std::begin(textTargets), std::end(textTargets),
                    [&](AtomId id) { return isOffered(offered, id); }) ||
        std::find(offered.begin(), offered.end(), XCB_ATOM_STRING) != offered.end();
    if (hasFiles)
        contents.types.append(PasteboardType::FileURL);
    if (isOffered(offered, ImageTiff))
        contents.types.append(PasteboardType::TIFF);
    if (isOffered(offered, ImagePng))
        contents.types.append(PasteboardType::PNG);
    if (hasText)
        contents.types.append(PasteboardType::String);
    const std::pair<AtomId, PasteboardType> richTextTargets[] = {{TextHtml, PasteboardType::HTML},
                                                                 {TextRtf, PasteboardType::RTF}};
    for (const auto& [target, type] : richTextTargets) {
        if (isOffered(offered, target))
            contents.types.append(type);
    }

    // Files first: uri-list, else GNOME's list.
    const std::pair<AtomId, QStringList (*)(const QByteArray&)> fileTargets[] = {
        {UriListTarget, &fileUrlsFromUriList}, {GnomeCopiedFiles, &fileUrlsFromGnomeCopiedFiles}};
    for (const auto& [target, parse] : fileTargets) {
        if (!isOffered(offered, target))
            continue;
        const Transfer files = request(session, m_atoms[target]);
        if (!canContinue(files.status))
            return ended(files, kAtomNames[target]);
        if (files.status != TransferStatus::Ok)
            continue;
        const QStringList urls = parse(files.data);
        if (!urls.isEmpty()) {
            contents.fileUrlStrings = urls;
            contents.data.insert(PasteboardType::FileURL,
                                 urls.join(QLatin1String("\r\n")).toUtf8());
            return true;
        }
    }

    // Then the text, best encoding first, before the image: any owner answers it at once,
    // while rendering an image may take a program seconds, or fail. STRING is predefined, so
    // it has no AtomId.
    const xcb_atom_t textOrder[] = {m_atoms[Utf8String], m_atoms[TextPlainUtf8], XCB_ATOM_STRING,
                                    m_atoms[Text], m_atoms[TextPlain]};
    for (xcb_atom_t target : textOrder) {
        if (std::find(offered.begin(), offered.end(), target) == offered.end())
            continue;
        const Transfer text = request(session, target);
        if (!canContinue(text.status))
            return ended(text, "its text");
        if (text.status != TransferStatus::Ok)
            continue;
        if (std::optional<QByteArray> utf8 = textOf(text)) {
            contents.data.insert(PasteboardType::String, *utf8);
            break;
        }
    }

    // The formatted forms of a text, as they come: kept with it, offered again on a paste.
    if (contents.data.contains(PasteboardType::String)) {
        for (const auto& [target, type] : richTextTargets) {
            if (!isOffered(offered, target))
                continue;
            const Transfer rich = request(session, m_atoms[target]);
            if (!canContinue(rich.status))
                return ended(rich, kAtomNames[target]);
            if (rich.status == TransferStatus::Ok && !rich.data.isEmpty())
                contents.data.insert(type, rich.data);
        }
    }

    // Then an image: TIFF, else PNG. Whatever becomes of it, the text read above stays.
    const std::pair<AtomId, PasteboardType> imageTargets[] = {{ImageTiff, PasteboardType::TIFF},
                                                              {ImagePng, PasteboardType::PNG}};
    for (const auto& [target, type] : imageTargets) {
        if (!isOffered(offered, target))
            continue;
        const Transfer image = request(session, m_atoms[target]);
        if (!canContinue(image.status))
            return ended(image, kAtomNames[target]);
        if (image.status == TransferStatus::Ok && !image.data.isEmpty()) {
            contents.data.insert(type, image.data);
            return true;
        }
    }
    return true;
}

std::optional<QByteArray> X11SelectionReader::Worker::textOf(const Transfer& transfer) const
{
    if (transfer.type == XCB_ATOM_STRING)
        return QString::fromLatin1(transfer.data).toUtf8();
    if (transfer.type == m_atoms[CompoundText]) {
        // Compound text without escape sequences is Latin-1; with them it switches character
        // sets, which is not worth decoding when every current program offers UTF-8.
        if (transfer.data.contains('\x1b'))
            return std::nullopt;
        return QString::fromLatin1(transfer.data).toUtf8();
    }
    return validUtf8(transfer.data);
}

Transfer X11SelectionReader::Worker::request(Session& session, xcb_atom_t target)
{
    Transfer transfer = convert(session, target);
    // An abandoned INCR transfer may still write to the window; go on with a fresh one.
    if (canContinue(transfer.status) && session.tainted)
        renewWindow(session);
    return transfer;
}

std::optional<Transfer> X11SelectionReader::Worker::endOfWait(WaitStatus status, Session& session)
{
    switch (status) {
    case WaitStatus::Event:
        return std::nullopt;
    case WaitStatus::Timeout:
        // The owner may still answer later, onto the session's window.
        session.tainted = true;
        return failed(TransferStatus::Timeout);
    case WaitStatus::Changed:
        session.tainted = true;
        return failed(TransferStatus::Superseded);
    case WaitStatus::Stopped:
        return failed(TransferStatus::Stopped);
    case WaitStatus::Broken:
        return failed(TransferStatus::Broken);
    }
    return std::nullopt;
}

Transfer X11SelectionReader::Worker::convert(Session& session, xcb_atom_t target)
{
    xcb_connection_t* c = m_connection->get();
    xcb_convert_selection(c, session.window, m_atoms[Clipboard], target, m_atoms[TransferProperty],
                          session.time);
    const xcb_atom_t clipboard = m_atoms[Clipboard];
    const xcb_window_t window = session.window;
    WaitResult answer =
        waitFor(Clock::now() + m_limits.answerTimeout, [=](const xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
            return notify->requestor == window && notify->selection == clipboard &&
                   notify->target == target;
        });
    if (auto end = endOfWait(answer.status, session))
        return *end;
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(answer.event.get());
    if (notify->property == XCB_ATOM_NONE)
        return failed(TransferStatus::Refused);
    return readProperty(session, notify->property);
}

XcbReply<xcb_get_property_reply_t> X11SelectionReader::Worker::propertyHead(xcb_window_t window,
                                                                            xcb_atom_t property)
{
    // One 32-bit unit: enough for the type, the size and an INCR size hint.
    xcb_connection_t* c = m_connection->get();
    return XcbReply<xcb_get_property_reply_t>(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_ANY, 0, 1), nullptr));
}

Transfer X11SelectionReader::Worker::readProperty(Session& session, xcb_atom_t property)
{
    XcbReply<xcb_get_property_reply_t> head = propertyHead(session.window, property);
    if (!head || head->type == XCB_ATOM_NONE)
        return failed(TransferStatus::Refused);
    if (head->type == m_atoms[Incr]) {
        quint32 sizeHint = 0;
        if (xcb_get_property_value_length(head.get()) >= 4)
            std::memcpy(&sizeHint, xcb_get_property_value(head.get()), 4);
        return readIncremental(session, property, sizeHint);
    }
    const qint64 size = qint64(xcb_get_property_value_length(head.get())) + head->bytes_after;
    if (size > m_limits.maxBytes) {
        qCInfo(lcPlatform) << "skipped clipboard content of" << size << "bytes: over the limit of"
                           << m_limits.maxBytes;
        xcb_delete_property(m_connection->get(), session.window, property);
        return failed(TransferStatus::TooLarge);
    }
    Transfer transfer;
    transfer.status = TransferStatus::Ok;
    transfer.type = head->type;
    transfer.format = head->format;
    transfer.data.reserve(size);
    if (!readWhole(session.window, property, transfer.data))
        return failed(TransferStatus::Refused);
    return transfer;
}

// Reads the property in pieces and deletes it with the last piece.
bool X11SelectionReader::Worker::readWhole(xcb_window_t window, xcb_atom_t property,
                                           QByteArray& out)
{
    xcb_connection_t* c = m_connection->get();
    uint32_t offset = 0; // in 32-bit units, as GetProperty counts
    for (;;) {
        XcbReply<xcb_get_property_reply_t> piece(xcb_get_property_reply(
            c, xcb_get_property(c, 1, window, property, XCB_ATOM_ANY, offset, kReadChunkBytes / 4),
            nullptr));
        if (!piece || piece->type == XCB_ATOM_NONE)
            return false;
        const int length = xcb_get_property_value_length(piece.get());
        if (qint64(out.size()) + length + piece->bytes_after > m_limits.maxBytes) {
            xcb_delete_property(c, window, property);
            return false;
        }
        out.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
        if (piece->bytes_after == 0)
            return true;
        offset += uint32_t(length) / 4;
    }
}

Transfer X11SelectionReader::Worker::readIncremental(Session& session, xcb_atom_t property,
                                                     quint32 sizeHint)
{
    xcb_connection_t* c = m_connection->get();
    if (qint64(sizeHint) > m_limits.maxBytes) {
        qCInfo(lcPlatform) << "skipped clipboard content of at least" << sizeHint
                           << "bytes: over the limit of" << m_limits.maxBytes;
        session.tainted = true;
        return failed(TransferStatus::TooLarge);
    }
    // Deleting the INCR property asks the owner for the first part.
    xcb_delete_property(c, session.window, property);
    Transfer transfer;
    transfer.status = TransferStatus::Ok;
    transfer.data.reserve(std::min<qint64>(sizeHint, m_limits.maxBytes));
    const auto transferDeadline = Clock::now() + m_limits.transferTimeout;
    const xcb_window_t window = session.window;
    for (;;) {
        const auto deadline = std::min(Clock::now() + m_limits.answerTimeout, transferDeadline);
        WaitResult part = waitFor(deadline, [=](const xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            return notify->window == window && notify->atom == property &&
                   notify->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (part.status == WaitStatus::Timeout)
            qCInfo(lcPlatform) << "an incremental clipboard transfer stalled after"
                               << transfer.data.size() << "bytes";
        if (auto end = endOfWait(part.status, session))
            return *end;
        XcbReply<xcb_get_property_reply_t> head = propertyHead(window, property);
        if (!head || head->type == XCB_ATOM_NONE)
            continue; // already gone: wait for the next part
        const qint64 partSize =
            qint64(xcb_get_property_value_length(head.get())) + head->bytes_after;
        if (partSize == 0) {
            xcb_delete_property(c, window, property);
            transfer.type = head->type;
            transfer.format = head->format;
            return transfer;
        }
        if (transfer.data.size() + partSize > m_limits.maxBytes) {
            qCInfo(lcPlatform) << "skipped incremental clipboard content: over the limit of"
                               << m_limits.maxBytes << "bytes";
            session.tainted = true;
            transfer.data.clear();
            transfer.data.squeeze();
            return failed(TransferStatus::TooLarge);
        }
        if (!readWhole(window, property, transfer.data)) {
            session.tainted = true;
            return failed(TransferStatus::Refused);
        }
    }
}

xcb_window_t X11SelectionReader::Worker::takeWindow()
{
    xcb_connection_t* c = m_connection->get();
    const auto now = Clock::now();
    auto expired = [&](const auto& entry) {
        return now - entry.second > kQuarantine || m_quarantined.size() > kMaxQuarantined;
    };
    while (!m_quarantined.empty() && expired(m_quarantined.front())) {
        xcb_destroy_window(c, m_quarantined.front().first);
        m_quarantined.erase(m_quarantined.begin());
    }
    if (!m_idleWindows.empty()) {
        const xcb_window_t window = m_idleWindows.back();
        m_idleWindows.pop_back();
        return window;
    }
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, m_connection->root(), -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    return window;
}

void X11SelectionReader::Worker::releaseWindow(const Session& session)
{
    if (session.tainted)
        m_quarantined.emplace_back(session.window, Clock::now());
    else
        m_idleWindows.push_back(session.window);
}

void X11SelectionReader::Worker::renewWindow(Session& session)
{
    releaseWindow(session);
    session.window = takeWindow();
    session.tainted = false;
}

X11SelectionReader::X11SelectionReader(SnapshotHandler handler)
    : X11SelectionReader(std::move(handler), Limits{})
{}

X11SelectionReader::X11SelectionReader(SnapshotHandler handler, Limits limits,
                                       std::unique_ptr<FrontApplication> frontApplication)
    : m_handler(std::move(handler)), m_limits(limits),
      m_frontApplication(std::move(frontApplication))
{}

X11SelectionReader::~X11SelectionReader()
{
    if (m_thread.joinable()) {
        m_worker->requestStop();
        m_thread.join();
    }
}

bool X11SelectionReader::start()
{
    if (m_worker)
        return true;
    std::unique_ptr<XcbConnection> connection = XcbConnection::open();
    if (!connection) {
        qCWarning(lcPlatform) << "no X server to watch the clipboard on";
        return false;
    }
    auto worker = std::make_unique<Worker>(std::move(connection), m_limits, m_ownWindow, m_handler,
                                           m_frontApplication.get(), m_ignored);
    if (!worker->setUp())
        return false;
    m_worker = std::move(worker);
    m_thread = std::thread([worker = m_worker.get()] { worker->run(); });
    return true;
}

} // namespace brivet
