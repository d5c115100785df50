#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlregistration.h>

namespace brivet {

// The window the preview hangs in: a frameless window of its own above the panel (the panel
// is too low for the preview), placed above its anchor item with an arrow on its bottom edge
// that points at the anchor's centre. It never takes the keyboard: the panel keeps it, and with
// it the key routing. Its shape (a rounded body and the arrow) is cut out of the window, so it
// needs no compositor. The QML content draws the body and the arrow inside that shape.
class PreviewHostWindow : public QQuickWindow
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem* anchorItem READ anchorItem WRITE setAnchorItem NOTIFY anchorItemChanged)
    // Where the arrow's tip is, from the window's left edge.
    Q_PROPERTY(qreal arrowX READ arrowX NOTIFY arrowXChanged)
    Q_PROPERTY(int arrowHeight READ arrowHeight CONSTANT)
    Q_PROPERTY(int cornerRadius READ cornerRadius CONSTANT)

public:
    explicit PreviewHostWindow(QWindow* parent = nullptr);

    QQuickItem* anchorItem() const { return m_anchor; }
    void setAnchorItem(QQuickItem* item);
    qreal arrowX() const { return m_arrowX; }
    int arrowHeight() const { return 10; }
    int cornerRadius() const { return 12; }

    // Places the window above the anchor again (after the anchor moved).
    Q_INVOKABLE void place();

signals:
    void anchorItemChanged();
    void arrowXChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateShape();

    QPointer<QQuickItem> m_anchor;
    qreal m_arrowX = 0;
    QElapsedTimer m_openClock; // from the anchor's arrival to the first frame shown
};

} // namespace brivet
