#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

namespace brivet {

class PopoverHost;

// A popover in a small frameless window of its own, hanging above (or below) an item of the
// panel with an arrow pointing at it. The panel is a strip along the bottom of the screen, too
// low for popovers and menus taller than a few lines: they open as one of these, above it.
//
// Use (QML, through PanelPopover.qml, which draws the bubble and takes the content):
//   PanelPopover {
//       anchor: someItem                       // the item the arrow points at
//       arrowEdge: PanelPopoverWindow.Bottom   // arrow on the bottom edge: the popover is above
//                                              // (NoArrow: a menu beside the anchor)
//       takesKeyboard: true                    // false: keys stay with the panel's routing
//       onClosed: ...                          // however it closed
//       ColumnLayout { ... }                   // the content; its implicit size sizes the window
//   }
//   and open() / dismiss().
//
// While open it is centred on the anchor horizontally, kept on the anchor's screen, and its
// arrow points at the anchor's centre, also as the anchor or anything it lies in moves (a
// list scrolling, say). It closes on dismiss(), on a press anywhere in the
// anchor's window, on Escape when it has the keyboard and no control of it took the key, and
// when the anchor's window hides. A popover that takes the keyboard borrows it from the
// anchor's window when that window is a PopoverHost (the panel), offers it every key press
// first (the panel's global shortcut keeps toggling) and gives it back on closing; one that
// does not never becomes the focus window, so every key still reaches the
// panel. The window is not managed by the window manager, so the window that was active stays
// active. Clicks on the desktop outside both windows are the panel's business (it hides, and
// this closes with it). Main thread only.
class PanelPopoverWindow : public QQuickWindow
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem* anchor READ anchor WRITE setAnchor NOTIFY anchorChanged)
    Q_PROPERTY(ArrowEdge arrowEdge READ arrowEdge WRITE setArrowEdge NOTIFY arrowEdgeChanged)
    Q_PROPERTY(
        bool takesKeyboard READ takesKeyboard WRITE setTakesKeyboard NOTIFY takesKeyboardChanged)
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY isOpenChanged)
    // Where the arrow's tip is along its edge, in the window's coordinates.
    Q_PROPERTY(qreal arrowPosition READ arrowPosition NOTIFY arrowPositionChanged)
    Q_PROPERTY(qreal arrowSize READ arrowSize NOTIFY arrowEdgeChanged)
    Q_PROPERTY(qreal cornerRadius READ cornerRadius NOTIFY arrowEdgeChanged)
    // Blended with what lies below (a compositing manager runs): the bubble may be translucent
    // and the window's colour must be transparent outside it.
    Q_PROPERTY(bool isTranslucent READ isTranslucent NOTIFY isTranslucentChanged)
    // What the window leaves transparent outside the bubble shows what lies below (translucent,
    // or on a window system that always blends): its colour outside the bubble is transparent.
    Q_PROPERTY(bool isBlended READ isBlended NOTIFY isTranslucentChanged)
    // Room around the bubble for its shadow, while translucent: the window is that much larger
    // on each side than the bubble it places.
    Q_PROPERTY(qreal shadowMargin READ shadowMargin NOTIFY isTranslucentChanged)
public:
    enum ArrowEdge
    {
        Bottom,  // above the anchor
        Top,     // below the anchor
        NoArrow, // a menu: beside the anchor (right, else left), level with its bottom, upwards
    };
    Q_ENUM(ArrowEdge)

    explicit PanelPopoverWindow(QWindow* parent = nullptr);
    ~PanelPopoverWindow() override;

    QQuickItem* anchor() const { return m_anchor; }
    void setAnchor(QQuickItem* anchor);
    ArrowEdge arrowEdge() const { return m_arrowEdge; }
    void setArrowEdge(ArrowEdge edge);
    bool takesKeyboard() const { return m_takesKeyboard; }
    void setTakesKeyboard(bool takes);
    bool isOpen() const { return m_isOpen; }
    bool isTranslucent() const { return m_isTranslucent; }
    bool isBlended() const { return m_isTranslucent || m_isBlended; }
    qreal shadowMargin() const { return m_isTranslucent ? 12 : 0; }
    qreal arrowPosition() const { return m_arrowPosition; }
    qreal arrowSize() const { return arrowSize(m_arrowEdge); }
    qreal cornerRadius() const { return cornerRadius(m_arrowEdge); }
    static constexpr qreal arrowSize(ArrowEdge edge) { return edge == NoArrow ? 0 : 9; }
    static constexpr qreal cornerRadius(ArrowEdge edge) { return edge == NoArrow ? 6 : 10; }

    // Shows it beside the anchor; nothing happens without an anchor on screen.
    Q_INVOKABLE void open();
    Q_INVOKABLE void dismiss();

    // Where a popover of `size` goes for an anchor at `anchor` (both in screen coordinates) on
    // `screen`: its top-left corner and the arrow tip's position along the edge.
    struct Placement
    {
        QPoint topLeft;
        qreal arrowPosition;
    };
    static Placement place(const QRectF& anchor, const QSize& size, const QRect& screen,
                           ArrowEdge edge);

signals:
    void anchorChanged();
    void arrowEdgeChanged();
    void takesKeyboardChanged();
    void isOpenChanged();
    void arrowPositionChanged();
    void isTranslucentChanged();
    // Closed, by any path.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followAnchor();
    void watchAnchorPosition();
    void reposition();
    void updateMask();
    void setTranslucent(bool isTranslucent);
    PopoverHost* host() const;

    QPointer<QQuickItem> m_anchor;
    QPointer<QWindow> m_anchorWindow;
    // The anchor's and its ancestors' moves.
    QList<QMetaObject::Connection> m_anchorWatches;
    QElapsedTimer m_openClock; // from open() to the first frame shown
    ArrowEdge m_arrowEdge = Bottom;
    bool m_takesKeyboard = false;
    bool m_isOpen = false;
    bool m_isBorrowingKeyboard = false;
    bool m_isTranslucent = false;
    bool m_isBlended = false;
    qreal m_arrowPosition = 0;
};

} // namespace brivet
