#pragma once

#include "platform/PanelSurface.h"

#include <QRect>
#include <memory>
#include <unordered_map>

struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace brivet {

// The panel on a Wayland compositor that offers wlr layer-shell: its window is a layer surface
// of the overlay layer, anchored to the bottom, left and right edges of its output, placed by
// the margins (the slide animates the bottom margin). Qt gives a window with
// Qt::BypassWindowManagerHint (and QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT=1) a wl_surface
// without a role; this class gives it the layer role on Qt's own connection, read through
// QPlatformNativeInterface. Qt destroys the wl_surface on hide, so each show creates the
// window, gives it the role and waits for the compositor's configure before Qt draws; each hide
// ends the role and destroys the window. The keyboard: on-demand where the compositor speaks
// layer-shell 4 (a click elsewhere takes it, which hides the panel), else exclusive. Windows
// opened above the panel (popovers) stay ordinary windows. Main thread only.
class WaylandPanelSurface : public PanelSurface
{
    Q_OBJECT
public:
    explicit WaylandPanelSurface(QObject* parent = nullptr);
    ~WaylandPanelSurface() override;

    // False when Qt is not on Wayland or the compositor has no layer-shell.
    bool isAvailable() const { return m_shell != nullptr; }

    void makeOverlay(QWindow& window) override;
    void showOverlay(QWindow& window) override;
    void hideOverlay(QWindow& window) override;
    void placeOverlay(QWindow& window, const QRect& geometry) override;
    void setShape(QWindow& window, const QPainterPath& outline) override;
    [[nodiscard]] bool grabKeyboard(QWindow& window) override;
    void releaseKeyboard(QWindow& window) override;
    [[nodiscard]] bool watchPresses() override { return false; }
    void stopWatchingPresses() override {}
    QScreen* activeScreen() const override;

    struct Layer;

private:
    bool isLayered(const QWindow& window) const;
    bool attach(QWindow& window);
    void detach(QWindow& window);
    void applyPlace(Layer& layer, const QWindow& window);
    void focusChanged(QWindow* focused);

    wl_display* m_display = nullptr;
    wl_event_queue* m_queue = nullptr;
    wl_display* m_displayWrapper = nullptr;
    wl_registry* m_registry = nullptr;
    zwlr_layer_shell_v1* m_shell = nullptr;
    uint32_t m_shellVersion = 0;
    std::unordered_map<QWindow*, std::unique_ptr<Layer>> m_layers;
    // Where each layered window was last placed: Qt keeps no position for a window without a
    // role (it reads 0, 0 once shown).
    std::unordered_map<QWindow*, QRect> m_places;
    QWindow* m_keyboardHolder = nullptr;
};

} // namespace brivet
