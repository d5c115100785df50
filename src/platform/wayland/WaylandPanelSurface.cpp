#include "platform/wayland/WaylandPanelSurface.h"

#include "platform/wayland/WaylandLogging.h"
#include "platform/wayland/WaylandScrim.h"
#include "platform/wayland/WaylandToplevels.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qwindowsysteminterface.h>
#include <wayland-client.h>

// The generated header names an argument after a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

namespace brivet {

namespace {

constexpr uint32_t kWantedShellVersion = 4;
// 3 moves a popup that is shown (reposition).
constexpr uint32_t kWantedXdgVersion = 3;
// Configures waited for before a show gives up (each a round trip to the compositor).
constexpr int kConfigureRoundTrips = 20;

} // namespace

struct WaylandPanelSurface::Layer
{
    ~Layer()
    {
        if (popup)
            xdg_popup_destroy(popup);
        if (xdgSurface)
            xdg_surface_destroy(xdgSurface);
        if (surface)
            zwlr_layer_surface_v1_destroy(surface);
    }

    const char* name = "";
    // A layer surface, or a popup of the panel's.
    zwlr_layer_surface_v1* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_popup* popup = nullptr;
    wl_surface* windowSurface = nullptr;
    // The popup's place relative to the panel's.
    QPoint offset;
    uint32_t repositions = 0;
    bool isConfigured = false;
    bool isClosed = false;
};

namespace {

void onConfigure(void* data, zwlr_layer_surface_v1* surface, uint32_t serial, uint32_t width,
                 uint32_t height)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    zwlr_layer_surface_v1_ack_configure(surface, serial);
    if (!layer->isConfigured)
        qCDebug(lcWayland).nospace()
            << layer->name << " layer configured at " << width << " x " << height;
    layer->isConfigured = true;
}

void onClosed(void* data, zwlr_layer_surface_v1*)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    layer->isClosed = true;
    qCWarning(lcWayland) << "the compositor closed the" << layer->name << "layer surface";
}

const zwlr_layer_surface_v1_listener kLayerListener = {onConfigure, onClosed};

void onXdgConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    xdg_surface_ack_configure(surface, serial);
    layer->isConfigured = true;
}

const xdg_surface_listener kXdgSurfaceListener = {onXdgConfigure};

void onPopupConfigure(void* data, xdg_popup*, int32_t x, int32_t y, int32_t width, int32_t height)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    if (!layer->isConfigured)
        qCDebug(lcWayland).nospace() << layer->name << " popup configured at " << x << ", " << y
                                     << " of the panel, " << width << " x " << height;
}

void onPopupDone(void* data, xdg_popup*)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    layer->isClosed = true;
    qCDebug(lcWayland) << "the compositor dismissed the" << layer->name << "popup";
}

void onPopupRepositioned(void*, xdg_popup*, uint32_t) {}

const xdg_popup_listener kPopupListener = {onPopupConfigure, onPopupDone, onPopupRepositioned};

void onPing(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {onPing};

// A positioner that puts a popup of `size` at `offset` from its parent's top left corner,
// as it is, even where that is partly off the output.
xdg_positioner* positionerAt(xdg_wm_base* base, QPoint offset, QSize size)
{
    xdg_positioner* positioner = xdg_wm_base_create_positioner(base);
    xdg_positioner_set_size(positioner, std::max(1, size.width()), std::max(1, size.height()));
    xdg_positioner_set_anchor_rect(positioner, offset.x(), offset.y(), 1, 1);
    xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_LEFT);
    xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
    return positioner;
}

struct Shells
{
    zwlr_layer_shell_v1* layerShell = nullptr;
    uint32_t layerShellVersion = 0;
    xdg_wm_base* wmBase = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version)
{
    auto* found = static_cast<Shells*>(data);
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !found->layerShell) {
        found->layerShellVersion = std::min(version, kWantedShellVersion);
        found->layerShell = static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(
            registry, name, &zwlr_layer_shell_v1_interface, found->layerShellVersion));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !found->wmBase) {
        found->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(
            registry, name, &xdg_wm_base_interface, std::min(version, kWantedXdgVersion)));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

} // namespace

WaylandPanelSurface::WaylandPanelSurface(QObject* parent) : PanelSurface(parent)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    m_display = static_cast<wl_display*>(
        native->nativeResourceForIntegration(QByteArrayLiteral("wl_display")));
    if (!m_display)
        return;
    // A queue of our own on Qt's connection: the round trips below dispatch only our events,
    // never Qt's.
    m_queue = wl_display_create_queue(m_display);
    m_displayWrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(m_display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(m_displayWrapper), m_queue);
    m_registry = wl_display_get_registry(m_displayWrapper);
    Shells found;
    wl_registry_add_listener(m_registry, &kRegistryListener, &found);
    if (wl_display_roundtrip_queue(m_display, m_queue) < 0)
        qCWarning(lcWayland) << "the compositor's globals could not be read for the panel";
    m_shell = found.layerShell;
    m_shellVersion = found.layerShellVersion;
    m_wmBase = found.wmBase;
    if (m_wmBase) {
        // Its pings are answered with Qt's events.
        xdg_wm_base_add_listener(m_wmBase, &kWmBaseListener, nullptr);
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(m_wmBase), nullptr);
    }
    if (m_shell)
        qCInfo(lcWayland) << "the panel is a layer surface (layer-shell version" << m_shellVersion
                          << ")";
    else
        qCInfo(lcWayland) << "the compositor offers no layer-shell for the panel";
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            &WaylandPanelSurface::focusChanged);
}

WaylandPanelSurface::~WaylandPanelSurface()
{
    m_scrim.reset();
    for (auto& [window, shown] : m_overlays)
        shown.layer.reset();
    if (m_shell)
        zwlr_layer_shell_v1_destroy(m_shell);
    if (m_wmBase)
        xdg_wm_base_destroy(m_wmBase);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_displayWrapper)
        wl_proxy_wrapper_destroy(m_displayWrapper);
    if (m_queue)
        wl_event_queue_destroy(m_queue);
}

WaylandPanelSurface::Overlay* WaylandPanelSurface::overlay(const QWindow& window)
{
    const auto it = m_overlays.find(&window);
    return it != m_overlays.end() ? &it->second : nullptr;
}

const WaylandPanelSurface::Overlay* WaylandPanelSurface::overlay(const QWindow& window) const
{
    const auto it = m_overlays.find(&window);
    return it != m_overlays.end() ? &it->second : nullptr;
}

void WaylandPanelSurface::addOverlay(QWindow& window, Role role)
{
    // No role from Qt: the layer role is given in showOverlay().
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                    Qt::WindowDoesNotAcceptFocus);
    if (overlay(window))
        return;
    m_overlays[&window].role = role;
    if (role == Role::Panel)
        window.installEventFilter(this);
    connect(&window, &QObject::destroyed, this,
            [this, pointer = &window] { m_overlays.erase(pointer); });
}

void WaylandPanelSurface::makeOverlay(QWindow& window)
{
    // A window opened above the panel is a popover.
    addOverlay(window, window.transientParent() ? Role::Popover : Role::Panel);
    // The compositor blends it: what lies outside its outline is drawn transparent.
    if (!window.handle()) {
        QSurfaceFormat format = window.format();
        format.setAlphaBufferSize(8);
        window.setFormat(format);
    }
}

void WaylandPanelSurface::showOverlay(QWindow& window)
{
    Overlay* shown = overlay(window);
    if (shown && !shown->layer && !attach(window, *shown))
        qCWarning(lcWayland) << window.title() << "could not be made a layer surface";
    window.show();
}

void WaylandPanelSurface::hideOverlay(QWindow& window)
{
    Overlay* hidden = overlay(window);
    if (!hidden) {
        window.hide();
        return;
    }
    // The role before the surface; Qt makes a new surface on the next show, without a role.
    detach(*hidden);
    window.hide();
    window.destroy();
}

bool WaylandPanelSurface::attach(QWindow& window, Overlay& overlay)
{
    if (!m_shell)
        return false;
    if (!window.handle())
        window.create();
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* surface = static_cast<wl_surface*>(
        native->nativeResourceForWindow(QByteArrayLiteral("surface"), &window));
    if (!surface)
        return false;
    wl_output* output = nullptr;
    if (QScreen* screen = window.screen())
        output = static_cast<wl_output*>(
            native->nativeResourceForScreen(QByteArrayLiteral("output"), screen));

    auto layer = std::make_unique<Layer>();
    layer->windowSurface = surface;
    if (overlay.role == Role::Popover) {
        layer->name = "popover";
        if (!attachPopup(window, overlay, *layer))
            return false;
        overlay.layer = std::move(layer);
        return waitForConfigure(overlay);
    }
    uint32_t shellLayer = ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
    uint32_t anchors = 0;
    uint32_t keyboard = ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE;
    switch (overlay.role) {
    case Role::Panel:
        layer->name = "panel";
        anchors = ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                  ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
        keyboard = m_shellVersion >= 4 ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                       : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE;
        break;
    case Role::Popover:
        break;
    case Role::Scrim:
        // Below the overlay layer, so the panel and its popovers stay above it.
        layer->name = "scrim";
        shellLayer = ZWLR_LAYER_SHELL_V1_LAYER_TOP;
        anchors = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
        break;
    }
    layer->surface = zwlr_layer_shell_v1_get_layer_surface(
        m_shell, surface, output, shellLayer,
        (QByteArrayLiteral("brivet-") + layer->name).constData());
    zwlr_layer_surface_v1_add_listener(layer->surface, &kLayerListener, layer.get());
    zwlr_layer_surface_v1_set_anchor(layer->surface, anchors);
    // Placed from the output's edges, whatever bars reserve.
    zwlr_layer_surface_v1_set_exclusive_zone(layer->surface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer->surface, keyboard);
    overlay.layer = std::move(layer);
    applyPlace(overlay, window);
    return waitForConfigure(overlay);
}

// A popover is a popup of the panel's layer surface: the compositor keeps it above the panel
// (which a second surface of the same layer is not, on every compositor) and moves it with
// the panel. It takes no grab: its keys come through the panel (see grabKeyboard()).
bool WaylandPanelSurface::attachPopup(const QWindow& window, const Overlay& overlay, Layer& layer)
{
    const Overlay* panel =
        window.transientParent() ? this->overlay(*window.transientParent()) : nullptr;
    if (!m_wmBase || !panel || !panel->layer || !panel->layer->surface)
        return false;
    const QRect place = overlay.place.value_or(window.geometry());
    layer.offset = place.topLeft() - overlayGeometry(*window.transientParent()).topLeft();
    layer.xdgSurface = xdg_wm_base_get_xdg_surface(m_wmBase, layer.windowSurface);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(layer.xdgSurface), m_queue);
    xdg_surface_add_listener(layer.xdgSurface, &kXdgSurfaceListener, &layer);
    xdg_positioner* positioner = positionerAt(m_wmBase, layer.offset, place.size());
    layer.popup = xdg_surface_get_popup(layer.xdgSurface, nullptr, positioner);
    xdg_positioner_destroy(positioner);
    xdg_popup_add_listener(layer.popup, &kPopupListener, &layer);
    zwlr_layer_surface_v1_get_popup(panel->layer->surface, layer.popup);
    return true;
}

bool WaylandPanelSurface::waitForConfigure(Overlay& overlay)
{
    Layer& made = *overlay.layer;
    // The first commit, without a buffer, asks for the configure Qt's first frame must follow.
    wl_surface_commit(made.windowSurface);
    for (int i = 0; i < kConfigureRoundTrips && !made.isConfigured && !made.isClosed; ++i) {
        if (wl_display_roundtrip_queue(m_display, m_queue) < 0)
            break;
    }
    if (!made.isConfigured) {
        qCWarning(lcWayland) << "the compositor never configured the" << made.name << "surface";
        overlay.layer.reset();
        return false;
    }
    // Later configures (a changed output) are read with Qt's events.
    for (void* proxy : {static_cast<void*>(made.surface), static_cast<void*>(made.xdgSurface),
                        static_cast<void*>(made.popup)}) {
        if (proxy)
            wl_proxy_set_queue(static_cast<wl_proxy*>(proxy), nullptr);
    }
    return true;
}

void WaylandPanelSurface::detach(Overlay& overlay)
{
    if (overlay.layer) {
        qCDebug(lcWayland) << overlay.layer->name << "layer destroyed";
        overlay.layer.reset();
    }
}

void WaylandPanelSurface::applyPlace(const Overlay& overlay, const QWindow& window)
{
    const QScreen* screen = window.screen();
    if (!screen || !overlay.layer)
        return;
    zwlr_layer_surface_v1* surface = overlay.layer->surface;
    if (!surface)
        return;
    const QRect area = screen->geometry();
    const QRect place = overlay.place.value_or(window.geometry());
    switch (overlay.role) {
    case Role::Panel:
        zwlr_layer_surface_v1_set_size(surface, 0, uint32_t(place.height()));
        zwlr_layer_surface_v1_set_margin(surface, 0, area.right() - place.right(),
                                         area.bottom() - place.bottom(),
                                         place.left() - area.left());
        break;
    case Role::Popover:
        break; // placed when made, see placeOverlay()
    case Role::Scrim:
        zwlr_layer_surface_v1_set_size(surface, 0, 0);
        break;
    }
}

void WaylandPanelSurface::placeOverlay(QWindow& window, const QRect& geometry)
{
    window.setGeometry(geometry);
    Overlay* placed = overlay(window);
    if (!placed)
        return;
    placed->place = geometry;
    if (!placed->layer)
        return;
    if (placed->role == Role::Popover) {
        movePopup(window, *placed);
        return;
    }
    applyPlace(*placed, window);
    wl_surface_commit(placed->layer->windowSurface);
}

// A popup moves when its place relative to the panel changes (the panel's own slide moves it
// anyway); a compositor without xdg-shell 3 cannot move one that is shown, so it is shown anew.
void WaylandPanelSurface::movePopup(QWindow& window, Overlay& overlay)
{
    Layer& layer = *overlay.layer;
    const QWindow* panel = window.transientParent();
    if (!panel || !overlay.place)
        return;
    const QPoint offset = overlay.place->topLeft() - overlayGeometry(*panel).topLeft();
    if (offset == layer.offset)
        return;
    layer.offset = offset;
    if (xdg_wm_base_get_version(m_wmBase) >= XDG_POPUP_REPOSITION_SINCE_VERSION) {
        xdg_positioner* positioner = positionerAt(m_wmBase, offset, overlay.place->size());
        xdg_popup_reposition(layer.popup, positioner, ++layer.repositions);
        xdg_positioner_destroy(positioner);
        return;
    }
    // Not inside the caller (a resize of the window): after it.
    QTimer::singleShot(0, this, [this, pointer = QPointer<QWindow>(&window)] {
        if (!pointer || !pointer->isVisible())
            return;
        qCDebug(lcWayland) << "popover shown anew at its new place";
        // Qt's focus waits with the panel meanwhile: the popover keeps the keys it borrowed.
        const bool holds = m_keyboardHolder == pointer;
        QWindow* panel = pointer->transientParent();
        if (holds && panel)
            QWindowSystemInterface::handleWindowActivated<
                QWindowSystemInterface::SynchronousDelivery>(panel, Qt::ActiveWindowFocusReason);
        hideOverlay(*pointer);
        showOverlay(*pointer);
        if (holds && m_keyboardHolder == pointer)
            QWindowSystemInterface::handleWindowActivated<
                QWindowSystemInterface::SynchronousDelivery>(pointer, Qt::ActiveWindowFocusReason);
    });
}

QRect WaylandPanelSurface::overlayGeometry(const QWindow& window) const
{
    const Overlay* placed = overlay(window);
    return placed && placed->place ? *placed->place : window.geometry();
}

// The compositor blends the window: the mask limits the presses it takes, and what lies
// outside the shape is drawn transparent.
void WaylandPanelSurface::setShape(QWindow& window, const QPainterPath& outline)
{
    window.setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

bool WaylandPanelSurface::grabKeyboard(QWindow& window)
{
    const Overlay* grabbing = overlay(window);
    if (!grabbing) {
        window.requestActivate();
    } else if (grabbing->role == Role::Popover) {
        // The panel keeps the compositor's keyboard and passes the keys on (eventFilter()).
        const QWindow* panel = window.transientParent();
        if (!panel || !panel->isActive())
            return false;
        // Qt is told the popover has the keyboard, so that its controls take the focus.
        m_keyboardHolder = &window;
        QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
            &window, Qt::ActiveWindowFocusReason);
    } else if (!window.isActive()) {
        // The compositor gives the keyboard when it maps the surface: wait for it.
        return false;
    }
    m_keyboardHolder = &window;
    return true;
}

void WaylandPanelSurface::releaseKeyboard(QWindow& window)
{
    if (m_keyboardHolder != &window)
        return;
    m_keyboardHolder = nullptr;
    // A popover gives Qt's focus back to the panel, which kept the compositor's keyboard.
    const Overlay* released = overlay(window);
    QWindow* panel = window.transientParent();
    if (released && released->role == Role::Popover && panel &&
        QGuiApplication::focusWindow() == &window)
        QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
            panel, Qt::ActiveWindowFocusReason);
}

bool WaylandPanelSurface::eventFilter(QObject* watched, QEvent* event)
{
    // The keys of the panel go to the popover that borrowed the keyboard.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        m_keyboardHolder && m_keyboardHolder != watched &&
        m_keyboardHolder->transientParent() == watched && m_keyboardHolder->isVisible()) {
        QCoreApplication::sendEvent(m_keyboardHolder, event);
        return true;
    }
    return PanelSurface::eventFilter(watched, event);
}

void WaylandPanelSurface::focusChanged(QWindow* focused)
{
    QWindow* holder = m_keyboardHolder;
    // A compositor may give the keyboard to the scrim it was clicked on (KWin): its press
    // says so already.
    if (!holder || focused == holder || (focused && focused == m_scrim.get()))
        return;
    // Between the holder and a window it opened (or the one that opened it), the keyboard
    // stays Brivet's.
    if (focused && (focused->transientParent() == holder || holder->transientParent() == focused))
        return;
    m_keyboardHolder = nullptr;
    qCDebug(lcWayland) << "the panel lost the keyboard to" << focused;
    // Not inside Qt's change of the focus window: the panel's windows go away on it.
    QMetaObject::invokeMethod(this, &PanelSurface::keyboardTaken, Qt::QueuedConnection);
}

QWindow* WaylandPanelSurface::shownPanel() const
{
    for (const auto& [window, shown] : m_overlays) {
        if (shown.role == Role::Panel && shown.layer)
            return const_cast<QWindow*>(window);
    }
    return nullptr;
}

bool WaylandPanelSurface::watchPresses()
{
    if (!m_shell)
        return false;
    if (m_scrim)
        return true;
    const QWindow* panel = shownPanel();
    QScreen* screen = panel ? panel->screen() : activeScreen();
    if (!screen)
        return false;
    m_scrim = std::make_unique<WaylandScrim>();
    addOverlay(*m_scrim, Role::Scrim);
    m_scrim->setScreen(screen);
    m_scrim->setGeometry(screen->geometry());
    // Queued: the scrim goes away when the panel hides on the press, not inside its handler.
    connect(
        m_scrim.get(), &WaylandScrim::pressed, this,
        [this](QPoint position) {
            qCDebug(lcWayland) << "a press outside the panel";
            if (m_scrim)
                emit pressed(m_scrim->screen()->geometry().topLeft() + position);
        },
        Qt::QueuedConnection);
    showOverlay(*m_scrim);
    return true;
}

void WaylandPanelSurface::stopWatchingPresses()
{
    if (!m_scrim)
        return;
    hideOverlay(*m_scrim);
    m_scrim.reset();
}

// The output of the window in front, where the compositor lists windows: Qt knows the pointer
// only while it is over Brivet's own windows. Else the screen under the pointer as Qt last saw
// it, else the primary one.
QScreen* WaylandPanelSurface::activeScreen() const
{
    if (m_toplevels) {
        if (const QString name = m_toplevels->activatedOutputName(); !name.isEmpty()) {
            const QList<QScreen*> screens = QGuiApplication::screens();
            for (QScreen* screen : screens) {
                if (screen->name() == name)
                    return screen;
            }
        }
    }
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace brivet
