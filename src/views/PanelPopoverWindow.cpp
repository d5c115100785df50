#include "views/PanelPopoverWindow.h"

#include "platform/PanelSurface.h"
#include "views/PopoverHost.h"
#include "views/ViewsLogging.h"

#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <algorithm>

namespace brivet {

namespace {

// Space kept between a popover and the screen's edges.
constexpr int kScreenMargin = 8;

} // namespace

PanelPopoverWindow::PanelPopoverWindow(QWindow* parent) : QQuickWindow(parent)
{
    // Until a host makes it an overlay (see open()).
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::WindowDoesNotAcceptFocus);
    setTitle(QStringLiteral("Brivet popover"));
    connect(this, &QQuickWindow::frameSwapped, this, [this] {
        if (!m_openClock.isValid())
            return;
        qCDebug(lcViews).noquote()
            << title() << "first frame after" << m_openClock.elapsed() << "ms";
        m_openClock.invalidate();
    });
}

PanelPopoverWindow::~PanelPopoverWindow()
{
    if (m_isBorrowingKeyboard)
        if (PopoverHost* owner = host())
            owner->returnKeyboard(*this);
}

void PanelPopoverWindow::setAnchor(QQuickItem* anchor)
{
    if (anchor == m_anchor)
        return;
    m_anchor = anchor;
    watchAnchorPosition();
    emit anchorChanged();
    followAnchor();
}

// The arrow keeps pointing at the anchor as the layout around it changes: the anchor's own
// moves and size, and the moves of everything it lies in up to its window.
void PanelPopoverWindow::watchAnchorPosition()
{
    for (const QMetaObject::Connection& watch : std::as_const(m_anchorWatches))
        disconnect(watch);
    m_anchorWatches.clear();
    if (!m_anchor)
        return;
    for (auto signal : {&QQuickItem::widthChanged, &QQuickItem::heightChanged})
        m_anchorWatches << connect(m_anchor, signal, this, &PanelPopoverWindow::followAnchor);
    for (QQuickItem* item = m_anchor; item; item = item->parentItem()) {
        for (auto signal : {&QQuickItem::xChanged, &QQuickItem::yChanged})
            m_anchorWatches << connect(item, signal, this, &PanelPopoverWindow::followAnchor);
        m_anchorWatches << connect(item, &QQuickItem::parentChanged, this, [this] {
            watchAnchorPosition();
            followAnchor();
        });
    }
}

void PanelPopoverWindow::followAnchor()
{
    if (m_isOpen)
        reposition();
}

void PanelPopoverWindow::setArrowEdge(ArrowEdge edge)
{
    if (edge == m_arrowEdge)
        return;
    m_arrowEdge = edge;
    emit arrowEdgeChanged();
    updateMask();
    if (m_isOpen)
        reposition();
}

void PanelPopoverWindow::setTakesKeyboard(bool takes)
{
    if (takes == m_takesKeyboard)
        return;
    m_takesKeyboard = takes;
    setFlag(Qt::WindowDoesNotAcceptFocus, !takes);
    emit takesKeyboardChanged();
}

PopoverHost* PanelPopoverWindow::host() const
{
    return dynamic_cast<PopoverHost*>(m_anchorWindow.data());
}

void PanelPopoverWindow::open()
{
    QQuickWindow* anchorWindow = m_anchor ? m_anchor->window() : nullptr;
    if (!anchorWindow || !anchorWindow->isVisible())
        return;
    if (m_anchorWindow != anchorWindow) {
        if (m_anchorWindow)
            m_anchorWindow->removeEventFilter(this);
        if (m_anchorWindow)
            disconnect(m_anchorWindow, nullptr, this, nullptr);
        m_anchorWindow = anchorWindow;
        setTransientParent(anchorWindow);
        // Like the panel: outside the window manager's focus and stacking, so the window the
        // paste goes to stays the active one. Flags count before the window is first shown.
        if (PopoverHost* owner = host(); owner && !isVisible()) {
            owner->surface().makeOverlay(*this);
            setFlag(Qt::WindowDoesNotAcceptFocus, !m_takesKeyboard);
        }
        if (PopoverHost* owner = host()) {
            if (const bool blended = owner->surface().blendsOverlays(); blended != m_isBlended) {
                m_isBlended = blended;
                emit isTranslucentChanged();
            }
            setTranslucent(owner->surface().isCompositing());
            connect(&owner->surface(), &PanelSurface::compositingChanged, this,
                    &PanelPopoverWindow::setTranslucent, Qt::UniqueConnection);
        }
        connect(anchorWindow, &QWindow::xChanged, this, &PanelPopoverWindow::followAnchor);
        connect(anchorWindow, &QWindow::yChanged, this, &PanelPopoverWindow::followAnchor);
    }
    m_anchorWindow->installEventFilter(this);
    setScreen(anchorWindow->screen());
    reposition();
    if (!m_isOpen) {
        m_isOpen = true;
        m_openClock.start();
        emit isOpenChanged();
    }
    if (PopoverHost* owner = host())
        owner->surface().showOverlay(*this);
    else
        show();
    raise();
    qCDebug(lcViews) << "popover opened at"
                     << (host() ? host()->surface().overlayGeometry(*this) : geometry());
}

void PanelPopoverWindow::dismiss()
{
    if (!m_isOpen)
        return;
    m_isOpen = false;
    m_openClock.invalidate();
    if (m_anchorWindow)
        m_anchorWindow->removeEventFilter(this);
    if (m_isBorrowingKeyboard) {
        m_isBorrowingKeyboard = false;
        if (PopoverHost* owner = host())
            owner->returnKeyboard(*this);
    }
    if (PopoverHost* owner = host())
        owner->surface().hideOverlay(*this);
    else
        hide();
    qCDebug(lcViews) << "popover closed";
    emit isOpenChanged();
    emit closed();
}

PanelPopoverWindow::Placement PanelPopoverWindow::place(const QRectF& anchor, const QSize& size,
                                                        const QRect& screen, ArrowEdge edge)
{
    const int minX = screen.left() + kScreenMargin;
    const int maxX = std::max(minX, screen.right() + 1 - kScreenMargin - size.width());
    const int maxY = std::max(screen.top(), screen.bottom() + 1 - size.height());
    if (edge == NoArrow) {
        // As menus near the bottom of a screen do: from the anchor's bottom upwards.
        const int right = int(anchor.right());
        const int x = right + size.width() <= screen.right() + 1 - kScreenMargin
                          ? right
                          : int(anchor.left()) - size.width();
        const int y = int(anchor.bottom()) - size.height();
        return {QPoint(std::clamp(x, minX, maxX), std::clamp(y, screen.top(), maxY)), 0};
    }
    const qreal centre = anchor.center().x();
    const int x = std::clamp(int(centre - size.width() / 2.0), minX, maxX);
    const int y = edge == Bottom ? int(anchor.top()) - size.height() : int(anchor.bottom());
    // The tip stays clear of the rounded corners.
    const qreal inset = cornerRadius(edge) + arrowSize(edge);
    const qreal tip = std::clamp(centre - x, inset, std::max(inset, size.width() - inset));
    return {QPoint(x, std::clamp(y, screen.top(), maxY)), tip};
}

void PanelPopoverWindow::reposition()
{
    if (!m_anchor || !m_anchor->window())
        return;
    // Through the host's surface: a window system may keep no position for the panel.
    const PopoverHost* owner = host();
    const QPointF topLeft = owner
                                ? owner->surface().overlayGeometry(*m_anchor->window()).topLeft() +
                                      m_anchor->mapToScene(QPointF(0, 0))
                                : m_anchor->mapToGlobal(QPointF(0, 0));
    const QRectF anchorRect(topLeft, m_anchor->size());
    QScreen* screen = m_anchor->window()->screen();
    const QRect screenRect = screen ? screen->geometry() : QRect(QPoint(0, 0), size());
    const int margin = int(shadowMargin());
    const QSize bubble = size().shrunkBy(QMargins(margin, margin, margin, margin));
    const Placement placement = place(anchorRect, bubble, screenRect, m_arrowEdge);
    const QPoint windowTopLeft = placement.topLeft - QPoint(margin, margin);
    if (owner)
        owner->surface().placeOverlay(*this, QRect(windowTopLeft, size()));
    else
        setPosition(windowTopLeft);
    if (!qFuzzyCompare(placement.arrowPosition, m_arrowPosition)) {
        m_arrowPosition = placement.arrowPosition;
        emit arrowPositionChanged();
        updateMask();
    }
}

// The window takes the shape of the bubble and its arrow, so that it needs no compositing
// manager for its rounded corners and the arrow's sides.
void PanelPopoverWindow::updateMask()
{
    const qreal margin = shadowMargin();
    const qreal w = width() - 2 * margin;
    const qreal h = height() - 2 * margin;
    if (w <= 0 || h <= 0)
        return;
    const qreal arrow = arrowSize();
    const qreal bodyTop = m_arrowEdge == Top ? arrow : 0;
    QPainterPath path;
    path.addRoundedRect(QRectF(0, bodyTop, w, h - arrow), cornerRadius(), cornerRadius());
    QPolygonF triangle;
    const qreal tip = m_arrowPosition;
    if (m_arrowEdge == NoArrow)
        triangle.clear();
    else if (m_arrowEdge == Bottom)
        triangle << QPointF(tip - arrow - 1, h - arrow - 1) << QPointF(tip, h)
                 << QPointF(tip + arrow + 1, h - arrow - 1);
    else
        triangle << QPointF(tip - arrow - 1, arrow + 1) << QPointF(tip, 0)
                 << QPointF(tip + arrow + 1, arrow + 1);
    if (!triangle.isEmpty())
        path.addPolygon(triangle);
    path.setFillRule(Qt::WindingFill);
    const QPainterPath outline = path.simplified().translated(margin, margin);
    if (PopoverHost* owner = host())
        owner->surface().setShape(*this, outline);
    else
        setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void PanelPopoverWindow::setTranslucent(bool isTranslucent)
{
    if (isTranslucent == m_isTranslucent)
        return;
    m_isTranslucent = isTranslucent;
    emit isTranslucentChanged();
    // The size follows from the view; the outline and the place from the margin.
    updateMask();
    if (m_isOpen)
        reposition();
}

bool PanelPopoverWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_anchorWindow && m_isOpen) {
        // A press elsewhere in the panel closes the popover and still does what it does there.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Hide)
            dismiss();
    }
    return QQuickWindow::eventFilter(watched, event);
}

void PanelPopoverWindow::exposeEvent(QExposeEvent* event)
{
    QQuickWindow::exposeEvent(event);
    // The keyboard can only move to a window on screen.
    if (!m_isOpen || !m_takesKeyboard || m_isBorrowingKeyboard || !isExposed())
        return;
    if (PopoverHost* owner = host())
        m_isBorrowingKeyboard = owner->lendKeyboard(*this);
    else
        requestActivate();
}

void PanelPopoverWindow::resizeEvent(QResizeEvent* event)
{
    QQuickWindow::resizeEvent(event);
    updateMask();
    if (m_isOpen)
        reposition();
}

void PanelPopoverWindow::keyPressEvent(QKeyEvent* event)
{
    if (PopoverHost* owner = m_isBorrowingKeyboard ? host() : nullptr;
        owner && owner->takeLentKey(*event))
        return;
    event->ignore();
    QQuickWindow::keyPressEvent(event);
    if (!event->isAccepted() && event->key() == Qt::Key_Escape) {
        event->accept();
        dismiss();
    }
}

} // namespace brivet
