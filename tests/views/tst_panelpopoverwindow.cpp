// Where a popover goes beside its anchor on a 1280 x 800 screen: centred above or below with
// its arrow on the anchor, kept on screen, and as a menu beside the anchor, from its bottom up;
// and an open popover following its anchor as what the anchor lies in moves.

#include "views/PanelPopoverWindow.h"

#include <QQuickItem>
#include <QTest>

using namespace brivet;
using Edge = PanelPopoverWindow::ArrowEdge;

class TestPanelPopoverWindow : public QObject
{
    Q_OBJECT

private slots:
    void place_data()
    {
        QTest::addColumn<QRectF>("anchor");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("edge");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<qreal>("arrow");

        const QSize editor(240, 219);
        const QSize menu(168, 242);
        QTest::addRow("centred above") << QRectF(300, 620, 100, 20) << editor << int(Edge::Bottom)
                                       << QPoint(230, 401) << qreal(120);
        QTest::addRow("centred below") << QRectF(300, 100, 100, 20) << editor << int(Edge::Top)
                                       << QPoint(230, 120) << qreal(120);
        // The arrow stays on the anchor, clear of the rounded corner.
        QTest::addRow("at the screen's left edge")
            << QRectF(0, 620, 20, 20) << editor << int(Edge::Bottom) << QPoint(8, 401) << qreal(19);
        QTest::addRow("at the screen's right edge")
            << QRectF(1250, 620, 30, 20) << editor << int(Edge::Bottom) << QPoint(1032, 401)
            << qreal(240 - 19);
        QTest::addRow("no room above") << QRectF(300, 100, 100, 20) << editor << int(Edge::Bottom)
                                       << QPoint(230, 0) << qreal(120);
        QTest::addRow("menu on the right") << QRectF(400, 700, 200, 26) << menu
                                           << int(Edge::NoArrow) << QPoint(600, 484) << qreal(0);
        QTest::addRow("menu flipped to the left")
            << QRectF(1100, 700, 150, 26) << menu << int(Edge::NoArrow) << QPoint(932, 484)
            << qreal(0);
    }

    void place()
    {
        QFETCH(QRectF, anchor);
        QFETCH(QSize, size);
        QFETCH(int, edge);
        QFETCH(QPoint, topLeft);
        QFETCH(qreal, arrow);

        const auto placement =
            PanelPopoverWindow::place(anchor, size, QRect(0, 0, 1280, 800), Edge(edge));
        QCOMPARE(placement.topLeft, topLeft);
        QCOMPARE(placement.arrowPosition, arrow);
    }

    void followsTheAnchorAsItsContainerMoves_data()
    {
        QTest::addColumn<bool>("isMovedToAnotherContainer");
        // A card in a list that scrolls.
        QTest::addRow("its container moves") << false;
        QTest::addRow("it moves to another container, which moves") << true;
    }

    void followsTheAnchorAsItsContainerMoves()
    {
        QFETCH(bool, isMovedToAnotherContainer);
        QQuickWindow panel;
        panel.setGeometry(0, 400, 800, 150);
        auto* strip = new QQuickItem(panel.contentItem());
        auto* otherStrip = new QQuickItem(panel.contentItem());
        auto* card = new QQuickItem(strip);
        card->setPosition(QPointF(300, 10));
        card->setSize(QSizeF(200, 100));
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        PanelPopoverWindow popover;
        popover.resize(240, 150);
        popover.setAnchor(card);
        popover.open();
        QVERIFY(popover.isOpen());
        QVERIFY(QTest::qWaitForWindowExposed(&popover));
        const QPoint opened = popover.position();
        const qreal arrow = popover.arrowPosition();

        QQuickItem* container = strip;
        if (isMovedToAnotherContainer) {
            card->setParentItem(otherStrip);
            container = otherStrip;
        }
        container->setX(-120);
        // Moved with it, the arrow still on the anchor's centre.
        QTRY_COMPARE(popover.position(), opened - QPoint(120, 0));
        QCOMPARE(popover.arrowPosition(), arrow);
    }
};

QTEST_MAIN(TestPanelPopoverWindow)
#include "tst_panelpopoverwindow.moc"
