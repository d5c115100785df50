#include "views/PreviewHostWindow.h"

#include "views/ViewsLogging.h"

#include <QPainterPath>
#include <QRegion>
#include <QScreen>

namespace brivet {

namespace {
constexpr int kScreenMargin = 8;
} // namespace

PreviewHostWindow::PreviewHostWindow(QWindow* parent) : QQuickWindow(parent)
{
    // Not managed by the window manager, like the panel: it is never activated and never
    // changes which window is active, so the paste still goes to the window in front.
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    setTitle(QStringLiteral("Brivet Preview"));
    connect(this, &QQuickWindow::frameSwapped, this, [this] {
        if (!m_openClock.isValid())
            return;
        qCDebug(lcViews) << "preview first frame after" << m_openClock.elapsed() << "ms";
        m_openClock.invalidate();
    });
}

void PreviewHostWindow::setAnchorItem(QQuickItem* item)
{
    if (m_anchor == item)
        return;
    m_anchor = item;
    if (item && item->window())
        setTransientParent(item->window());
    if (item)
        m_openClock.start();
    else
        m_openClock.invalidate();
    place();
    emit anchorItemChanged();
}

void PreviewHostWindow::place()
{
    if (!m_anchor || !m_anchor->window())
        return;
    const QPointF topLeft = m_anchor->mapToGlobal(QPointF(0, 0));
    const qreal centre = topLeft.x() + m_anchor->width() / 2;
    QRect area = m_anchor->window()->screen()->geometry();
    area.adjust(kScreenMargin, kScreenMargin, -kScreenMargin, -kScreenMargin);
    int x = qRound(centre - width() / 2.0);
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - width()));
    setPosition(x, std::max(area.top(), qRound(topLeft.y()) - height()));
    const qreal arrowX = std::clamp(centre - x, qreal(cornerRadius() + arrowHeight()),
                                    qreal(width() - cornerRadius() - arrowHeight()));
    if (!qFuzzyCompare(arrowX, m_arrowX)) {
        m_arrowX = arrowX;
        emit arrowXChanged();
        updateShape();
    }
}

void PreviewHostWindow::resizeEvent(QResizeEvent* event)
{
    QQuickWindow::resizeEvent(event);
    place();
    updateShape();
}

void PreviewHostWindow::updateShape()
{
    const qreal bodyHeight = height() - arrowHeight();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, width(), bodyHeight), cornerRadius(), cornerRadius());
    QPainterPath arrow;
    arrow.moveTo(m_arrowX - arrowHeight() - 1, bodyHeight - 1);
    arrow.lineTo(m_arrowX, height());
    arrow.lineTo(m_arrowX + arrowHeight() + 1, bodyHeight - 1);
    arrow.closeSubpath();
    setMask(QRegion(shape.united(arrow).toFillPolygon().toPolygon()));
}

} // namespace brivet
