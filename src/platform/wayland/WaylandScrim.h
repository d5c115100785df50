#pragma once

#include <QPoint>
#include <QRasterWindow>

namespace brivet {

// A transparent window over a whole output, below the panel and its popovers, that reports the
// presses it takes: on a compositor that tells a client nothing of the clicks elsewhere, a
// press on it is a click outside the panel. The press is its own: the window below does not
// get it. Shown as a layer surface by WaylandPanelSurface. Main thread only.
class WaylandScrim : public QRasterWindow
{
    Q_OBJECT
public:
    explicit WaylandScrim(QWindow* parent = nullptr);

signals:
    // A press of any button, in the scrim's own coordinates.
    void pressed(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace brivet
