#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QWindow>

class QPainterPath;
class QScreen;

namespace brivet {

// What the history panel and its popovers need from the window system: windows shown above
// every other window without becoming the active one (the paste goes to the window that was
// in front), the keyboard held by such a window while it is shown, the presses anywhere on the
// desktop (a press elsewhere hides the panel), and the screen the user is working on.
// Main thread only.
class PanelSurface : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~PanelSurface() override = default;

    // Makes a window an overlay: frameless, above the others, never the active window. Call
    // before the window is first shown.
    virtual void makeOverlay(QWindow& window) = 0;
    // Shows and hides an overlay (made one and placed first). Where the window system gives an
    // overlay its role on the way, it is given here; elsewhere these are QWindow's own.
    virtual void showOverlay(QWindow& window) { window.show(); }
    virtual void hideOverlay(QWindow& window) { window.hide(); }
    // Puts an overlay at a place of the screen (in screen coordinates), also while it is
    // shown: the panel slides by moving.
    virtual void placeOverlay(QWindow& window, const QRect& geometry) = 0;
    // Where an overlay is, in screen coordinates: where it was last placed where the window
    // system keeps no position for it.
    virtual QRect overlayGeometry(const QWindow& window) const { return window.geometry(); }
    // Gives an overlay its outline (in its own logical coordinates): rounded corners and
    // arrows. With a compositing manager the window is drawn translucent and only takes input
    // inside the outline; without one it is cut to it, at the screen's own pixels. Kept for the
    // window, and applied again when a compositing manager starts or stops.
    virtual void setShape(QWindow& window, const QPainterPath& outline) = 0;
    // True while a compositing manager blends the overlays with what lies below them: their
    // backgrounds may then be translucent and their shadows fall outside their outlines.
    virtual bool isCompositing() const { return false; }
    // True where what an overlay leaves transparent outside its outline shows what lies below,
    // also without translucency and shadows (a Wayland compositor).
    virtual bool blendsOverlays() const { return isCompositing(); }
    // Sends every key to the shown window until releaseKeyboard(). False when the keyboard
    // cannot be had now (another program holds it: try again a little later).
    [[nodiscard]] virtual bool grabKeyboard(QWindow& window) = 0;
    virtual void releaseKeyboard(QWindow& window) = 0;
    // Starts reporting the presses of the left and right buttons anywhere as `pressed`,
    // without taking the pointer: each click still reaches the window it was aimed at. False
    // when the desktop cannot report them.
    [[nodiscard]] virtual bool watchPresses() = 0;
    // Nothing is reported after it returns.
    virtual void stopWatchingPresses() = 0;
    // The screen the user is working on; null when there is no screen.
    virtual QScreen* activeScreen() const = 0;

signals:
    // A press anywhere on the desktop, in screen coordinates.
    void pressed(QPoint position);
    // The keyboard held by grabKeyboard() went to a window of another program: on desktops
    // that report no presses, a click elsewhere shows as this (the keyboard follows the
    // click). Not emitted for a window the holder opened above itself.
    void keyboardTaken();
    // A compositing manager started or stopped.
    void compositingChanged(bool isCompositing);
};

} // namespace brivet
