#include "platform/wayland/WaylandScrim.h"

#include <QMouseEvent>
#include <QPainter>

namespace brivet {

WaylandScrim::WaylandScrim(QWindow* parent) : QRasterWindow(parent)
{
    QSurfaceFormat format = requestedFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
    setTitle(QStringLiteral("Brivet scrim"));
}

void WaylandScrim::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::transparent);
}

void WaylandScrim::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit pressed(event->position().toPoint());
}

} // namespace brivet
