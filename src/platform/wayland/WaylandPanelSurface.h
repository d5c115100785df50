#pragma once

#include "platform/PanelSurface.h"

#include <QPointer>
#include <QRect>
#include <memory>
#include <optional>
#include <unordered_map>

struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct xdg_wm_base;

namespace brivet {

class WaylandToplevels;

class WaylandScrim;

// The panel on a Wayland compositor that offers wlr layer-shell. The panel is a layer surface
// of the overlay layer anchored to the bottom, left and right edges of its output, placed by
// its margins (the slide animates the bottom margin). A popover (a window opened above the
// panel) is an xdg popup of the panel's layer surface at its place relative to the panel: the
// compositor keeps it above the panel, which a second surface of the same layer is not on
// every compositor (sway stacks the older one on top). Qt gives a window with
// Qt::BypassWindowManagerHint (and QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT=1) a wl_surface
// without a role; this class gives it its role on Qt's own connection, read through
// QPlatformNativeInterface. Qt destroys the wl_surface on hide, so each show creates the
// window, gives it the role and waits for the compositor's configure before Qt draws; each hide
// ends the role and destroys the window. A popup that must move while shown is moved by
// xdg-shell 3 where offered, else shown anew at its new place.
//
// The keyboard stays with the panel's surface while it is shown: on-demand where the
// compositor speaks layer-shell 4, else exclusive. A popover that borrows it gets the panel's
// key events passed on and Qt's focus (the compositor would hand the keyboard back to the
// window in front, not to the panel, when a popover of its own closed). The presses elsewhere:
// a transparent layer surface over the whole output, in the top layer below the panel, takes
// them while the panel is shown (see WaylandScrim); a compositor that keeps the keyboard on an
// on-demand surface whatever is clicked (sway 1.7), or that gives the keyboard exclusively
// (layer-shell 3), would otherwise tell nothing. Main thread only.
class WaylandPanelSurface : public PanelSurface
{
    Q_OBJECT
public:
    explicit WaylandPanelSurface(QObject* parent = nullptr);
    ~WaylandPanelSurface() override;

    // False when Qt is not on Wayland or the compositor has no layer-shell.
    bool isAvailable() const { return m_shell != nullptr; }
    // The compositor's list of windows, to find the output of the window in front.
    void setToplevels(std::shared_ptr<WaylandToplevels> toplevels) { m_toplevels = std::move(toplevels); }

    void makeOverlay(QWindow& window) override;
    void showOverlay(QWindow& window) override;
    void hideOverlay(QWindow& window) override;
    void placeOverlay(QWindow& window, const QRect& geometry) override;
    QRect overlayGeometry(const QWindow& window) const override;
    // The compositor blends every surface; the panel keeps its opaque look (no shadow around
    // a layer surface placed by its margins).
    bool blendsOverlays() const override { return true; }
    void setShape(QWindow& window, const QPainterPath& outline) override;
    [[nodiscard]] bool grabKeyboard(QWindow& window) override;
    void releaseKeyboard(QWindow& window) override;
    [[nodiscard]] bool watchPresses() override;
    void stopWatchingPresses() override;
    QScreen* activeScreen() const override;

    enum class Role
    {
        Panel,
        Popover,
        Scrim,
    };
    struct Layer;
    struct Overlay
    {
        Role role = Role::Panel;
        std::unique_ptr<Layer> layer; // null while hidden
        // Where it was last placed: Qt keeps no position for a window without a role (it
        // reads 0, 0 once shown).
        std::optional<QRect> place;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addOverlay(QWindow& window, Role role);
    Overlay* overlay(const QWindow& window);
    const Overlay* overlay(const QWindow& window) const;
    bool attach(QWindow& window, Overlay& overlay);
    bool attachPopup(const QWindow& window, const Overlay& overlay, Layer& layer);
    bool waitForConfigure(Overlay& overlay);
    void movePopup(QWindow& window, Overlay& overlay);
    void detach(Overlay& overlay);
    void applyPlace(const Overlay& overlay, const QWindow& window);
    void focusChanged(QWindow* focused);
    QWindow* shownPanel() const;

    wl_display* m_display = nullptr;
    wl_event_queue* m_queue = nullptr;
    wl_display* m_displayWrapper = nullptr;
    wl_registry* m_registry = nullptr;
    zwlr_layer_shell_v1* m_shell = nullptr;
    uint32_t m_shellVersion = 0;
    xdg_wm_base* m_wmBase = nullptr;
    std::unordered_map<const QWindow*, Overlay> m_overlays;
    QPointer<QWindow> m_keyboardHolder;
    std::unique_ptr<WaylandScrim> m_scrim;
    std::shared_ptr<WaylandToplevels> m_toplevels;
};

} // namespace brivet
