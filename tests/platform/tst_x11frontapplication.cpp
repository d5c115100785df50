// X11FrontApplication under a real X server with openbox managing the windows.
#include "platform/x11/X11FrontApplication.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/XTestClients.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

class TestX11FrontApplication : public QObject
{
    Q_OBJECT

    QProcess m_openbox;
    QTemporaryDir m_data;

    // The application in front once it is the one named id; the window, when given, is asked
    // to become active meanwhile.
    std::optional<ApplicationInfo> waitForFront(const char* locale, const QString& id,
                                                test::TestWindow* window = nullptr)
    {
        X11FrontApplication front(DesktopEntries({m_data.path()}, locale));
        std::optional<ApplicationInfo> info;
        (void)QTest::qWaitFor(
            [&] {
                info = front.frontmostApplication();
                if (window && !(info && info->bundleId == id))
                    window->activate();
                return info && info->bundleId == id;
            },
            10000);
        return info;
    }

private slots:
    void initTestCase()
    {
        test::writeFile(m_data.filePath("applications/org.example.Notes.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Notes\nName[de]=Notizen\n");
        m_openbox.start("openbox", {"--sm-disable"});
        auto x = XcbConnection::open();
        QVERIFY(QTest::qWaitFor(
            [&] { return x->property(x->root(), x->atom("_NET_SUPPORTING_WM_CHECK")).has_value(); },
            10000));
    }
    void cleanupTestCase()
    {
        m_openbox.terminate();
        m_openbox.waitForFinished(5000);
    }

    // The GTK application id names the desktop entry, whose name is localized.
    void gtkApplication()
    {
        test::TestWindow window("notes", "Notes-app", "org.example.Notes");
        const auto info = waitForFront("de_DE.UTF-8", "org.example.Notes", &window);
        QCOMPARE(info->name, std::optional<QString>("Notizen"));
    }

    // A client with a class only; once it is gone nothing is in front, even where the window
    // manager still names the closed window as the active one.
    void realClient()
    {
        QProcess xmessage;
        xmessage.start("xmessage", {"front application test"});
        QCOMPARE(waitForFront("C", "Xmessage")->name, std::optional<QString>("Xmessage"));
        xmessage.kill();
        xmessage.waitForFinished();
        X11FrontApplication front(DesktopEntries({m_data.path()}, "C"));
        QVERIFY(QTest::qWaitFor([&] { return !front.frontmostApplication(); }, 10000));
    }
};

BRIVET_TEST_CLASS(TestX11FrontApplication)
#include "tst_x11frontapplication.moc"
