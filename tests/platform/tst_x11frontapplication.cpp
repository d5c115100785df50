// X11FrontApplication under a real X server with openbox managing the windows.
#include "platform/x11/X11FrontApplication.h"
#include "support/TestMain.h"
#include "support/XTestClients.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

class TestX11FrontApplication : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 10000;
    QProcess m_openbox;
    QTemporaryDir m_data;

    // The application in front once it is the one named id; the window, when given, is asked
    // to become active meanwhile.
    std::optional<ApplicationInfo> waitForFront(X11FrontApplication& front, const QString& id,
                                                test::TestWindow* window = nullptr)
    {
        std::optional<ApplicationInfo> info;
        const bool found = QTest::qWaitFor(
            [&] {
                info = front.frontmostApplication();
                if (info && info->bundleId == id)
                    return true;
                if (window)
                    window->activate();
                return false;
            },
            kWaitMs);
        if (!found && info)
            qWarning() << "in front instead:" << info->bundleId.value_or("-")
                       << info->name.value_or("-");
        return info;
    }

private slots:
    void initTestCase()
    {
        auto x = XcbConnection::open();
        QVERIFY2(x, "runs under an X server");
        QVERIFY(QDir().mkpath(m_data.filePath("applications")));
        QFile file(m_data.filePath("applications/org.example.Notes.desktop"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Notes\nName[de]=Notizen\n");
        m_openbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_openbox.start("openbox", {"--sm-disable"});
        QVERIFY(m_openbox.waitForStarted());
        const xcb_atom_t check = x->atom("_NET_SUPPORTING_WM_CHECK");
        QVERIFY(
            QTest::qWaitFor([&] { return x->property(x->root(), check).has_value(); }, kWaitMs));
    }
    void cleanupTestCase()
    {
        m_openbox.terminate();
        m_openbox.waitForFinished(5000);
    }

    // The GTK application id names the desktop entry, whose name is localized.
    void gtkApplication()
    {
        X11FrontApplication front(DesktopEntries({m_data.path()}, "de_DE.UTF-8"));
        test::TestWindow window("notes", "Notes-app", "org.example.Notes");
        const std::optional<ApplicationInfo> info =
            waitForFront(front, "org.example.Notes", &window);
        QVERIFY(info);
        QCOMPARE(info->name, std::optional<QString>("Notizen"));
    }

    // A client with a class only; once it is gone nothing is in front, even where the window
    // manager still names the closed window as the active one.
    void realClient()
    {
        X11FrontApplication front(DesktopEntries({m_data.path()}, "C"));
        QProcess xmessage;
        xmessage.start("xmessage", {"front application test"});
        QVERIFY(xmessage.waitForStarted());
        const std::optional<ApplicationInfo> info = waitForFront(front, "Xmessage");
        QVERIFY(info);
        QCOMPARE(info->name, std::optional<QString>("Xmessage"));

        xmessage.kill();
        xmessage.waitForFinished();
        QVERIFY(
            QTest::qWaitFor([&] { return !front.frontmostApplication().has_value(); }, kWaitMs));
    }
};

BRIVET_TEST_CLASS(TestX11FrontApplication)
#include "tst_x11frontapplication.moc"
