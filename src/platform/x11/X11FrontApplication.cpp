#include "platform/x11/X11FrontApplication.h"

#include "platform/PlatformLogging.h"
#include "platform/x11/XcbConnection.h"

#include <cstring>

namespace brivet {

namespace {

// Window properties are short; this bounds what a misbehaving client can make us read.
constexpr uint32_t kMaxPropertyLongs = 1024;

std::optional<QByteArray> propertyValue(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                                        bool* windowGone = nullptr)
{
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
    if (error) {
        if (windowGone && error->error_code == XCB_WINDOW)
            *windowGone = true;
        std::free(error);
        return std::nullopt;
    }
    if (!reply || reply->type == XCB_ATOM_NONE)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QString utf8Property(const std::optional<QByteArray>& value)
{
    if (!value)
        return {};
    QByteArray bytes = *value;
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes).trimmed();
}

} // namespace

X11FrontApplication::X11FrontApplication()
    : X11FrontApplication(
          DesktopEntries(DesktopEntries::defaultDataDirs(), DesktopEntries::defaultLocale()))
{}

X11FrontApplication::X11FrontApplication(DesktopEntries entries)
    : m_connection(XcbConnection::open()), m_entries(std::move(entries))
{
    if (!m_connection)
        qCWarning(lcPlatform) << "no X server; the front application stays unknown";
}

X11FrontApplication::~X11FrontApplication() = default;

std::optional<ApplicationInfo> X11FrontApplication::frontmostApplication()
{
    if (!m_connection || m_connection->hasError())
        return std::nullopt;
    xcb_connection_t* c = m_connection->get();
    const auto atoms = m_connection->atoms(
        {"_NET_ACTIVE_WINDOW", "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"});

    const std::optional<QByteArray> active = propertyValue(
        c, xcb_get_property(c, 0, m_connection->root(), atoms[0], XCB_ATOM_WINDOW, 0, 1));
    if (!active || active->size() < qsizetype(sizeof(xcb_window_t)))
        return std::nullopt;
    xcb_window_t window = XCB_WINDOW_NONE;
    std::memcpy(&window, active->constData(), sizeof window);
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;

    // All three requests go out before the first answer is read: one round trip.
    const auto wmClassCookie =
        xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kMaxPropertyLongs);
    const auto gtkCookie =
        xcb_get_property(c, 0, window, atoms[1], XCB_ATOM_ANY, 0, kMaxPropertyLongs);
    const auto kdeCookie =
        xcb_get_property(c, 0, window, atoms[2], XCB_ATOM_ANY, 0, kMaxPropertyLongs);
    bool windowGone = false;
    const std::optional<QByteArray> wmClass = propertyValue(c, wmClassCookie, &windowGone);
    DesktopEntries::WindowHints hints;
    hints.applicationId = utf8Property(propertyValue(c, gtkCookie));
    hints.desktopFile = utf8Property(propertyValue(c, kdeCookie));
    if (windowGone)
        return std::nullopt; // closed between the two questions: nothing is in front
    if (wmClass) {
        // "instance\0class\0"
        const QList<QByteArray> parts = wmClass->split('\0');
        hints.wmInstance = QString::fromLocal8Bit(parts.value(0)).trimmed();
        hints.wmClass = QString::fromLocal8Bit(parts.value(1)).trimmed();
    }

    return m_entries.applicationFor(hints, hints.wmClass);
}

} // namespace brivet
