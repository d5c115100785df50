// Which back end a session gets, from the variables the session sets.
#include "platform/Platform.h"
#include "platform/linux/DesktopSession.h"
#include "support/TestMain.h"

#include <QTest>

using namespace brivet;

Q_DECLARE_METATYPE(brivet::Platform::Kind)

class TestPlatformLoader : public QObject
{
    Q_OBJECT

private slots:
    void kindFor_data()
    {
        QTest::addColumn<QStringList>("environment");
        // What the compositor would answer to the probe: it offers a data-control manager.
        QTest::addColumn<bool>("compositorOffersClipboard");
        QTest::addColumn<Platform::Kind>("kind");
        QTest::addColumn<QByteArray>("qtPlatform");
        const auto row = [](const char* name, const QStringList& environment, bool offers,
                            Platform::Kind kind) {
            QTest::newRow(name) << environment << offers << kind << Platform::qtPlatformFor(kind);
        };
        using Kind = Platform::Kind;
        row("X11 session", {"DISPLAY=:0", "XDG_SESSION_TYPE=x11"}, false, Kind::X11);
        row("Wayland with XWayland, no clipboard manager allowed",
            {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0"}, false, Kind::X11);
        row("Wayland with XWayland and data-control", {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0"},
            true, Kind::Wayland);
        row("Wayland with data-control, no XWayland", {"WAYLAND_DISPLAY=wayland-1"}, true,
            Kind::Wayland);
        row("Qt on Wayland chosen by the user, data-control",
            {"WAYLAND_DISPLAY=wayland-1", "QT_QPA_PLATFORM=wayland"}, true, Kind::Wayland);
        row("Qt on Wayland chosen by the user, no data-control",
            {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-1", "QT_QPA_PLATFORM=wayland"}, false,
            Kind::Null);
        row("xcb chosen by the user", {"DISPLAY=:0", "QT_QPA_PLATFORM=xcb"}, false, Kind::X11);
        row("xcb chosen by the user on a compositor with data-control",
            {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=xcb"}, true, Kind::X11);
        row("offscreen chosen by the user", {"DISPLAY=:0", "QT_QPA_PLATFORM=offscreen"}, false,
            Kind::Null);
        row("offscreen chosen on a compositor with data-control",
            {"WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=offscreen"}, true, Kind::Null);
        row("Wayland without XWayland or data-control", {"WAYLAND_DISPLAY=wayland-0"}, false,
            Kind::Null);
        row("no display at all", {}, false, Kind::Null);
    }
    void kindFor()
    {
        QFETCH(QStringList, environment);
        QFETCH(bool, compositorOffersClipboard);
        QFETCH(Platform::Kind, kind);
        QFETCH(QByteArray, qtPlatform);
        QProcessEnvironment variables;
        for (const QString& entry : environment)
            variables.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        DesktopSession session = DesktopSession::fromEnvironment(variables);
        session.hasWaylandClipboard = compositorOffersClipboard;
        const Platform::Kind chosen = Platform::kindFor(session);
        QCOMPARE(chosen, kind);
        QCOMPARE(Platform::qtPlatformFor(chosen), qtPlatform);
    }

    // No compositor at that display: the probe says so rather than hanging or failing.
    void probeWithoutCompositor()
    {
        QProcessEnvironment variables;
        variables.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("brivet-no-such-display"));
        QVERIFY(!DesktopSession::detect(variables).hasWaylandClipboard);
    }
};

BRIVET_TEST_CLASS(TestPlatformLoader)
#include "tst_platformloader.moc"
