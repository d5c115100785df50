#include "platform/x11/X11PanelSurface.h"

#include "platform/x11/XcbConnection.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QRegion>
#include <QScreen>
#include <QSocketNotifier>
#include <QSurfaceFormat>
#include <QTransform>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <vector>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

namespace brivet {

namespace {

Q_LOGGING_CATEGORY(lcSurface, "brivet.platform.surface", QtInfoMsg)

constexpr uint32_t kLeftButton = 1;
constexpr uint32_t kRightButton = 3;
// The SHAPE extension's kinds (shape.h), for XFixes' SetWindowShapeRegion.
constexpr uint8_t kShapeBounding = 0;
constexpr uint8_t kShapeInput = 2;

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

X11PanelSurface::X11PanelSurface(QObject* parent)
    : PanelSurface(parent), m_xcb(XcbConnection::open())
{
    if (!m_xcb) {
        qCWarning(lcSurface) << "cannot reach the X server; clicks elsewhere will not be seen";
        return;
    }
    xcb_connection_t* connection = m_xcb->get();
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11PanelSurface::readEvents);
    watchCompositor();
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_input_id);
    if (extension && extension->present) {
        // Raw events need XInput 2.0; asking for 2.2 is what current servers expect.
        XcbReply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
            connection, xcb_input_xi_query_version(connection, 2, 2), nullptr));
        m_hasXInput2 = version && version->major_version >= 2;
        m_xinputOpcode = extension->major_opcode;
    }
    if (!m_hasXInput2)
        qCWarning(lcSurface) << "the X server has no XInput 2; clicks elsewhere will not be seen";
}

// A compositing manager owns the selection _NET_WM_CM_Sn of the screen it composites.
void X11PanelSurface::watchCompositor()
{
    xcb_connection_t* connection = m_xcb->get();
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        qCInfo(lcSurface) << "the X server has no XFixes; the panel stays opaque";
        return;
    }
    XcbReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, 2, 0), nullptr));
    if (!version)
        return;
    m_xfixesFirstEvent = xfixes->first_event;
    int screenNumber = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
         it.rem && it.data->root != m_xcb->root(); xcb_screen_next(&it))
        ++screenNumber;
    const xcb_atom_t selection =
        m_xcb->atom(QByteArray("_NET_WM_CM_S" + QByteArray::number(screenNumber)).constData());
    xcb_xfixes_select_selection_input(connection, m_xcb->root(), selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    m_isCompositing = owner && owner->owner != XCB_NONE;
    qCInfo(lcSurface) << (m_isCompositing ? "a compositing manager runs"
                                          : "no compositing manager runs");
}

X11PanelSurface::~X11PanelSurface()
{
    m_notifier.reset();
}

void X11PanelSurface::makeOverlay(QWindow& window)
{
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                    Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    // An ARGB visual from the start, as a window keeps its visual: a compositing manager that
    // starts later blends it; without one its pixels show as they are.
    if (!window.handle()) {
        QSurfaceFormat format = window.format();
        format.setAlphaBufferSize(8);
        window.setFormat(format);
    }
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

void X11PanelSurface::setShape(QWindow& window, const QPainterPath& outline)
{
    if (!m_shapes.contains(&window))
        connect(&window, &QObject::destroyed, this,
                [this, pointer = &window] { m_shapes.remove(pointer); });
    m_shapes.insert(&window, outline);
    applyShape(window);
}

// Through Qt's own connection, which created the window: the requests reach the server after
// it. The outline is laid on the screen's pixels (twice Qt's logical ones at a scale of 2), so
// that its curves are as fine as the screen.
void X11PanelSurface::applyShape(QWindow& window)
{
    xcb_connection_t* connection = qtConnection();
    if (!connection || !m_xfixesFirstEvent)
        return;
    const qreal ratio = window.devicePixelRatio();
    const QRegion shape(QTransform::fromScale(ratio, ratio)
                            .map(m_shapes.value(&window))
                            .toFillPolygon()
                            .toPolygon());
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& rect : shape)
        rectangles.push_back({int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                              uint16_t(rect.height())});
    const xcb_xfixes_region_t region = xcb_generate_id(connection);
    xcb_xfixes_create_region(connection, region, uint32_t(rectangles.size()), rectangles.data());
    const auto id = xcb_window_t(window.winId());
    // Composited: drawn whole (the shadow outside the outline), input only inside it. Else cut
    // to it; no input shape of its own then (the cut holds for input too).
    xcb_xfixes_set_window_shape_region(connection, id, kShapeBounding, 0, 0,
                                       m_isCompositing ? XCB_NONE : region);
    xcb_xfixes_set_window_shape_region(connection, id, kShapeInput, 0, 0,
                                       m_isCompositing ? region : XCB_NONE);
    xcb_xfixes_destroy_region(connection, region);
    xcb_flush(connection);
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
    const bool wasCompositing = m_isCompositing;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        if (m_xfixesFirstEvent &&
            (event->response_type & ~0x80) == m_xfixesFirstEvent + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto* notify =
                reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
            m_isCompositing = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                              notify->owner != XCB_NONE;
        } else if ((event->response_type & ~0x80) == XCB_GE_GENERIC) {
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
    if (m_isCompositing != wasCompositing) {
        qCInfo(lcSurface) << (m_isCompositing ? "a compositing manager started"
                                              : "the compositing manager stopped");
        for (auto it = m_shapes.cbegin(); it != m_shapes.cend(); ++it)
            applyShape(*it.key());
        emit compositingChanged(m_isCompositing);
    }
    if (!clicked || !m_isWatching)
        return;
    // Where the pointer is now, in Qt's logical pixels as the windows' geometries are (the
    // root's pixels differ from them under a scale factor).
    const QPoint position = QCursor::pos();
    qCDebug(lcSurface) << "click at" << position;
    emit pressed(position);
}

} // namespace brivet
