// Which back end a session gets, from the variables the session sets (offscreen, and GNOME
// without the extension: test_shell.py, test_gnome.py); the GNOME back end's words for a shortcut.
#include "platform/Platform.h"
#include "platform/gnome/GnomeDesktop.h"
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
        // Brivet's GNOME Shell extension answers on the session bus.
        QTest::addColumn<bool>("extensionAnswers");
        QTest::addColumn<Platform::Kind>("kind");
        QTest::addColumn<QByteArray>("qtPlatform");
        const auto row = [](const char* name, const QStringList& environment, bool offers,
                            Platform::Kind kind, bool extension = false) {
            QTest::newRow(name) << environment << offers << extension << kind
                                << Platform::qtPlatformFor(kind);
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
        row("offscreen chosen on a compositor with data-control",
            {"WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=offscreen"}, true, Kind::Null);
        row("Wayland without XWayland or data-control", {"WAYLAND_DISPLAY=wayland-0"}, false,
            Kind::Null);
        row("no display at all", {}, false, Kind::Null);
        const QStringList gnome = {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0",
                                   "XDG_CURRENT_DESKTOP=ubuntu:GNOME"};
        row("GNOME with Brivet's extension", gnome, false, Kind::Gnome, true);
        row("GNOME with the extension, xcb chosen by the user",
            gnome + QStringList{"QT_QPA_PLATFORM=xcb"}, false, Kind::X11, true);
        row("GNOME with the extension, no XWayland", {"WAYLAND_DISPLAY=wayland-0"}, false,
            Kind::Gnome, true);
    }
    void kindFor()
    {
        QFETCH(QStringList, environment);
        QFETCH(bool, compositorOffersClipboard);
        QFETCH(bool, extensionAnswers);
        QFETCH(Platform::Kind, kind);
        QFETCH(QByteArray, qtPlatform);
        QProcessEnvironment variables;
        for (const QString& entry : environment)
            variables.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        DesktopSession session = DesktopSession::fromEnvironment(variables);
        session.hasWaylandClipboard = compositorOffersClipboard;
        session.hasGnomeShellExtension = extensionAnswers;
        const Platform::Kind chosen = Platform::kindFor(session);
        QCOMPARE(chosen, kind);
        QCOMPARE(Platform::qtPlatformFor(chosen), qtPlatform);
    }

    // The shell's words for a shortcut: its modifiers, and the key by its xkb code (evdev + 8),
    // so that it stays on the same key in every layout.
    void gnomeAccelerator_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<QString>("accelerator");
        QTest::newRow("Shift+Super+V") << 9u << 768u << "<Shift><Super>0x37";
        QTest::newRow("Ctrl+Alt+Space") << 49u << (0x1000u | 0x800u) << "<Control><Alt>0x41";
        QTest::newRow("Ctrl+1: two digits, as the shell reads no fewer")
            << 18u << 0x1000u << "<Control>0x0a";
    }
    void gnomeAccelerator()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(QString, accelerator);
        QCOMPARE(GnomeGlobalHotkey::accelerator(keyCode, modifiers), accelerator);
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
