#pragma once

#include "platform/PanelSurface.h"

#include <QHash>
#include <QPainterPath>
#include <array>
#include <cstdint>
#include <memory>

class QSocketNotifier;

namespace brivet {

class XcbConnection;

// The panel's windows on X11: override-redirect windows (Qt's BypassWindowManagerHint), so
// that the window manager neither manages nor activates them; the keyboard by an active
// keyboard grab; the outline by the SHAPE extension (through XFixes) without a compositing
// manager, and with one (the owner of _NET_WM_CM_Sn, followed through XFixes) an ARGB visual
// that draws outside the outline translucently, with the input cut to the outline; presses
// anywhere from
// the XInput2 raw button presses of the root window, which reach every client that asks for
// them, whoever has the pointer, so nothing is grabbed and the click still reaches its window.
// Raw presses are read on a connection of its own, on the main thread; the position is the
// pointer's when the press is read. A press one of the overlays has already received is not
// reported, whatever lies under the pointer by then (the press may have closed a popover);
// the two are matched by the X server's time of the press. The active screen is the one
// under the pointer.
class X11PanelSurface : public PanelSurface
{
    Q_OBJECT
public:
    explicit X11PanelSurface(QObject* parent = nullptr);
    ~X11PanelSurface() override;

    void makeOverlay(QWindow& window) override;
    void placeOverlay(QWindow& window, const QRect& geometry) override;
    void setShape(QWindow& window, const QPainterPath& outline) override;
    [[nodiscard]] bool grabKeyboard(QWindow& window) override;
    void releaseKeyboard(QWindow& window) override;
    [[nodiscard]] bool watchPresses() override;
    void stopWatchingPresses() override;
    QScreen* activeScreen() const override;
    bool isCompositing() const override { return m_isCompositing; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readEvents();
    bool isOverlaysOwn(uint32_t time) const;
    void select(bool enabled);
    void watchCompositor();
    void applyShape(QWindow& window);

    std::unique_ptr<XcbConnection> m_xcb;
    std::unique_ptr<QSocketNotifier> m_notifier;
    uint8_t m_xinputOpcode = 0;
    bool m_hasXInput2 = false;
    bool m_isWatching = false;
    uint8_t m_xfixesFirstEvent = 0;
    bool m_isCompositing = false;
    QHash<QWindow*, QPainterPath> m_shapes;
    // Server times of the last presses the overlays received, oldest overwritten first.
    std::array<uint32_t, 8> m_overlayPressTimes{};
    size_t m_nextOverlayPress = 0;
};

} // namespace brivet
