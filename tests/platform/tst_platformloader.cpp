// Which back end a session gets, from the variables the session sets.
#include "platform/Platform.h"
#include "platform/linux/DesktopSession.h"
#include "support/TestMain.h"

#include <QTest>

using namespace brivet;

class TestPlatformLoader : public QObject
{
    Q_OBJECT

private slots:
    void kindFor_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("isX11");
        QTest::addColumn<QByteArray>("qtPlatform");
        const auto row = [](const char* name, const QStringList& environment, bool isX11) {
            QTest::newRow(name) << environment << isX11 << (isX11 ? QByteArray("xcb") : QByteArray());
        };
        row("X11 session", {"DISPLAY=:0", "XDG_SESSION_TYPE=x11"}, true);
        row("Wayland with XWayland", {"DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0"}, true);
        row("xcb chosen by the user", {"DISPLAY=:0", "QT_QPA_PLATFORM=xcb"}, true);
        row("offscreen chosen by the user", {"DISPLAY=:0", "QT_QPA_PLATFORM=offscreen"}, false);
        row("Wayland without XWayland", {"WAYLAND_DISPLAY=wayland-0"}, false);
        row("no display at all", {}, false);
    }
    void kindFor()
    {
        QFETCH(QStringList, environment);
        QFETCH(bool, isX11);
        QFETCH(QByteArray, qtPlatform);
        QProcessEnvironment variables;
        for (const QString& entry : environment)
            variables.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        const Platform::Kind kind = Platform::kindFor(DesktopSession::fromEnvironment(variables));
        QCOMPARE(kind == Platform::Kind::X11, isX11);
        QCOMPARE(Platform::qtPlatformFor(kind), qtPlatform);
    }
};

BRIVET_TEST_CLASS(TestPlatformLoader)
#include "tst_platformloader.moc"
