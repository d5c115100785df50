#include "platform/x11/X11PanelSurface.h"

#include "platform/x11/XcbConnection.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QRegion>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>
#include <xcb/xinput.h>

#include <algorithm>

namespace brivet {

namespace {

Q_LOGGING_CATEGORY(lcSurface, "brivet.platform.surface", QtInfoMsg)

constexpr uint32_t kLeftButton = 1;
constexpr uint32_t kRightButton = 3;

} // namespace

X11PanelSurface::X11PanelSurface(QObject* parent)
    : PanelSurface(parent), m_xcb(XcbConnection::open())
{
    if (!m_xcb) {
        qCWarning(lcSurface) << "cannot reach the X server; clicks elsewhere will not be seen";
        return;
    }
    xcb_connection_t* connection = m_xcb->get();
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_input_id);
    if (extension && extension->present) {
        // Raw events need XInput 2.0; asking for 2.2 is what current servers expect.
        XcbReply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
            connection, xcb_input_xi_query_version(connection, 2, 2), nullptr));
        m_hasXInput2 = version && version->major_version >= 2;
        m_xinputOpcode = extension->major_opcode;
    }
    if (!m_hasXInput2) {
        qCWarning(lcSurface) << "the X server has no XInput 2; clicks elsewhere will not be seen";
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &X11PanelSurface::readEvents);
}

X11PanelSurface::~X11PanelSurface()
{
    m_notifier.reset();
}

void X11PanelSurface::makeOverlay(QWindow& window)
{
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                    Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    window.removeEventFilter(this);
    window.installEventFilter(this);
}

bool X11PanelSurface::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        // Qt's xcb back end stamps input events with the X server's time.
        m_overlayPressTimes[m_nextOverlayPress] =
            uint32_t(static_cast<QMouseEvent*>(event)->timestamp());
        m_nextOverlayPress = (m_nextOverlayPress + 1) % m_overlayPressTimes.size();
    }
    return PanelSurface::eventFilter(watched, event);
}

bool X11PanelSurface::isOverlaysOwn(uint32_t time) const
{
    return std::find(m_overlayPressTimes.begin(), m_overlayPressTimes.end(), time) !=
           m_overlayPressTimes.end();
}

void X11PanelSurface::placeOverlay(QWindow& window, const QRect& geometry)
{
    // A move alone where the size stays: no resize request races one the content makes.
    if (window.size() == geometry.size())
        window.setPosition(geometry.topLeft());
    else
        window.setGeometry(geometry);
}

void X11PanelSurface::setShape(QWindow& window, const QRegion& shape)
{
    window.setMask(shape);
}

bool X11PanelSurface::grabKeyboard(QWindow& window)
{
    return window.setKeyboardGrabEnabled(true);
}

void X11PanelSurface::releaseKeyboard(QWindow& window)
{
    window.setKeyboardGrabEnabled(false);
}

QScreen* X11PanelSurface::activeScreen() const
{
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

bool X11PanelSurface::watchPresses()
{
    if (!m_hasXInput2 || m_xcb->hasError())
        return false;
    m_isWatching = true;
    select(true);
    return true;
}

void X11PanelSurface::stopWatchingPresses()
{
    if (!m_isWatching)
        return;
    m_isWatching = false;
    if (m_hasXInput2)
        select(false);
}

void X11PanelSurface::select(bool enabled)
{
    struct
    {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           enabled ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
    xcb_input_xi_select_events(m_xcb->get(), m_xcb->root(), 1, &mask.head);
    xcb_flush(m_xcb->get());
    // Presses read before the selection changed must not be reported afterwards.
    readEvents();
}

void X11PanelSurface::readEvents()
{
    xcb_connection_t* connection = m_xcb->get();
    bool clicked = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        if ((event->response_type & ~0x80) == XCB_GE_GENERIC) {
            const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
            if (raw->extension == m_xinputOpcode && raw->event_type == XCB_INPUT_RAW_BUTTON_PRESS &&
                (raw->detail == kLeftButton || raw->detail == kRightButton)) {
                if (isOverlaysOwn(raw->time))
                    qCDebug(lcSurface) << "press at" << raw->time << "went to an overlay";
                else
                    clicked = true;
            }
        }
        std::free(event);
    }
    if (!clicked || !m_isWatching)
        return;
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, m_xcb->root()), nullptr));
    if (!pointer)
        return;
    const QPoint position(pointer->root_x, pointer->root_y);
    qCDebug(lcSurface) << "click at" << position;
    emit pressed(position);
}

} // namespace brivet
