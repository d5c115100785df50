#include "platform/wayland/WaylandPanelSurface.h"

#include "platform/wayland/WaylandLogging.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

// The generated header names an argument after a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace brivet {

namespace {

constexpr uint32_t kWantedShellVersion = 4;
// Configures waited for before a show gives up (each a round trip to the compositor).
constexpr int kConfigureRoundTrips = 20;

} // namespace

struct WaylandPanelSurface::Layer
{
    ~Layer()
    {
        if (surface)
            zwlr_layer_surface_v1_destroy(surface);
    }

    zwlr_layer_surface_v1* surface = nullptr;
    wl_surface* windowSurface = nullptr;
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
        qCDebug(lcWayland) << "panel layer configured at" << width << "x" << height;
    layer->isConfigured = true;
}

void onClosed(void* data, zwlr_layer_surface_v1*)
{
    auto* layer = static_cast<WaylandPanelSurface::Layer*>(data);
    layer->isClosed = true;
    qCWarning(lcWayland) << "the compositor closed the panel's layer surface";
}

const zwlr_layer_surface_v1_listener kLayerListener = {onConfigure, onClosed};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version)
{
    if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) != 0)
        return;
    auto* found = static_cast<std::pair<zwlr_layer_shell_v1*, uint32_t>*>(data);
    if (found->first)
        return;
    found->second = std::min(version, kWantedShellVersion);
    found->first = static_cast<zwlr_layer_shell_v1*>(
        wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, found->second));
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
    std::pair<zwlr_layer_shell_v1*, uint32_t> found{nullptr, 0};
    wl_registry_add_listener(m_registry, &kRegistryListener, &found);
    if (wl_display_roundtrip_queue(m_display, m_queue) < 0)
        qCWarning(lcWayland) << "the compositor's globals could not be read for the panel";
    m_shell = found.first;
    m_shellVersion = found.second;
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
    m_layers.clear();
    if (m_shell)
        zwlr_layer_shell_v1_destroy(m_shell);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_displayWrapper)
        wl_proxy_wrapper_destroy(m_displayWrapper);
    if (m_queue)
        wl_event_queue_destroy(m_queue);
}

bool WaylandPanelSurface::isLayered(const QWindow& window) const
{
    return m_layers.count(const_cast<QWindow*>(&window)) != 0;
}

void WaylandPanelSurface::makeOverlay(QWindow& window)
{
    // A window opened above another (a popover) stays an ordinary window.
    if (window.transientParent()) {
        window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                        Qt::WindowDoesNotAcceptFocus);
        return;
    }
    // No role from Qt: the layer role is given in showOverlay().
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                    Qt::WindowDoesNotAcceptFocus);
    m_layers.emplace(&window, nullptr);
    connect(&window, &QObject::destroyed, this, [this, pointer = &window] {
        if (m_keyboardHolder == pointer)
            m_keyboardHolder = nullptr;
        m_layers.erase(pointer);
        m_places.erase(pointer);
    });
}

void WaylandPanelSurface::showOverlay(QWindow& window)
{
    if (isLayered(window) && !m_layers[&window] && !attach(window))
        qCWarning(lcWayland) << "the panel could not be made a layer surface";
    window.show();
}

void WaylandPanelSurface::hideOverlay(QWindow& window)
{
    if (!isLayered(window)) {
        window.hide();
        return;
    }
    // The role before the surface; Qt makes a new surface on the next show, without a role.
    detach(window);
    window.hide();
    window.destroy();
}

bool WaylandPanelSurface::attach(QWindow& window)
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
    layer->surface = zwlr_layer_shell_v1_get_layer_surface(
        m_shell, surface, output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "brivet-panel");
    zwlr_layer_surface_v1_add_listener(layer->surface, &kLayerListener, layer.get());
    zwlr_layer_surface_v1_set_anchor(layer->surface, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(layer->surface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer->surface, m_shellVersion >= 4
                            ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                            : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    applyPlace(*layer, window);
    // The first commit, without a buffer, asks for the configure Qt's first frame must follow.
    wl_surface_commit(surface);
    for (int i = 0; i < kConfigureRoundTrips && !layer->isConfigured && !layer->isClosed; ++i) {
        if (wl_display_roundtrip_queue(m_display, m_queue) < 0)
            break;
    }
    if (!layer->isConfigured) {
        qCWarning(lcWayland) << "the compositor never configured the panel's layer surface";
        return false;
    }
    // Later configures (a changed output) are read with Qt's events.
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(layer->surface), nullptr);
    m_layers[&window] = std::move(layer);
    return true;
}

void WaylandPanelSurface::detach(QWindow& window)
{
    if (auto it = m_layers.find(&window); it != m_layers.end() && it->second) {
        it->second.reset();
        qCDebug(lcWayland) << "panel layer destroyed";
    }
}

void WaylandPanelSurface::applyPlace(Layer& layer, const QWindow& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const auto placed = m_places.find(const_cast<QWindow*>(&window));
    const QRect place = placed != m_places.end() ? placed->second : window.geometry();
    zwlr_layer_surface_v1_set_size(layer.surface, 0, uint32_t(place.height()));
    zwlr_layer_surface_v1_set_margin(layer.surface, 0, area.right() - place.right(),
                                     area.bottom() - place.bottom(), place.left() - area.left());
}

void WaylandPanelSurface::placeOverlay(QWindow& window, const QRect& geometry)
{
    window.setGeometry(geometry);
    auto it = m_layers.find(&window);
    if (it == m_layers.end())
        return;
    m_places[&window] = geometry;
    if (!it->second)
        return;
    applyPlace(*it->second, window);
    wl_surface_commit(it->second->windowSurface);
}

void WaylandPanelSurface::setShape(QWindow& window, const QPainterPath& outline)
{
    window.setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

bool WaylandPanelSurface::grabKeyboard(QWindow& window)
{
    if (isLayered(window)) {
        // The compositor gives the keyboard when it maps the surface: wait for it.
        if (!window.isActive())
            return false;
    } else {
        window.requestActivate();
    }
    m_keyboardHolder = &window;
    return true;
}

void WaylandPanelSurface::releaseKeyboard(QWindow& window)
{
    if (m_keyboardHolder == &window)
        m_keyboardHolder = nullptr;
}

void WaylandPanelSurface::focusChanged(QWindow* focused)
{
    QWindow* holder = m_keyboardHolder;
    if (!holder || focused == holder)
        return;
    // Between the holder and a window it opened (or the one that opened it), the keyboard
    // stays Brivet's.
    if (focused && (focused->transientParent() == holder || holder->transientParent() == focused))
        return;
    m_keyboardHolder = nullptr;
    qCDebug(lcWayland) << "the panel lost the keyboard to" << focused;
    emit keyboardTaken();
}

QScreen* WaylandPanelSurface::activeScreen() const
{
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace brivet
