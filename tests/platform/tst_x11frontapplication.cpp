// X11FrontApplication under a real X server with openbox managing the windows.

#include "platform/x11/X11FrontApplication.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using namespace brivet;

namespace {

constexpr int kWaitMs = 10000;

// A top-level window of the test's own, with the identifying properties a toolkit would set.
class TestWindow
{
public:
    TestWindow(XcbConnection& x, const QByteArray& instance, const QByteArray& wmClass,
               const QByteArray& gtkApplicationId)
        : m_x(x), m_window(xcb_generate_id(x.get()))
    {
        xcb_connection_t* c = x.get();
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, x.root(), 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray classValue = instance + '\0' + wmClass + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                            8, uint32_t(classValue.size()), classValue.constData());
        if (!gtkApplicationId.isEmpty()) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, x.atom("_GTK_APPLICATION_ID"),
                                x.atom("UTF8_STRING"), 8, uint32_t(gtkApplicationId.size()),
                                gtkApplicationId.constData());
        }
        xcb_map_window(c, m_window);
        xcb_flush(c);
    }
    // Asks the window manager to make the window active, as a pager would.
    void activate()
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_window;
        event.type = m_x.atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2; // source: pager
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_x.get(), 0, m_x.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_x.get());
    }
    ~TestWindow()
    {
        xcb_destroy_window(m_x.get(), m_window);
        xcb_flush(m_x.get());
    }

private:
    XcbConnection& m_x;
    xcb_window_t m_window;
};

} // namespace

class TestX11FrontApplication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nothingInFront();
    void windowOfTheTest_data();
    void windowOfTheTest();
    void realClient();

private:
    std::optional<ApplicationInfo> waitForFront(X11FrontApplication& front, const QString& id,
                                                TestWindow* window = nullptr);

    QProcess m_openbox;
    std::unique_ptr<XcbConnection> m_x;
    QTemporaryDir m_data;
};

void TestX11FrontApplication::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under an X server");
    m_x = XcbConnection::open();
    QVERIFY(m_x);
    const QString applications = m_data.filePath("applications");
    QVERIFY(QDir().mkpath(applications));
    QFile file(applications + "/org.example.Notes.desktop");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Notes\nName[de]=Notizen\n");

    m_openbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_openbox.start("openbox", {"--sm-disable"});
    QVERIFY(m_openbox.waitForStarted());
    const xcb_atom_t check = m_x->atom("_NET_SUPPORTING_WM_CHECK");
    QVERIFY(
        QTest::qWaitFor([&] { return m_x->property(m_x->root(), check).has_value(); }, kWaitMs));
}

void TestX11FrontApplication::cleanupTestCase()
{
    m_openbox.terminate();
    m_openbox.waitForFinished(5000);
}

std::optional<ApplicationInfo> TestX11FrontApplication::waitForFront(X11FrontApplication& front,
                                                                     const QString& id,
                                                                     TestWindow* window)
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

void TestX11FrontApplication::nothingInFront()
{
    X11FrontApplication front(DesktopEntries({m_data.path()}, "C"));
    QCOMPARE(front.frontmostApplication().has_value(), false);
}

void TestX11FrontApplication::windowOfTheTest_data()
{
    QTest::addColumn<QByteArray>("instance");
    QTest::addColumn<QByteArray>("wmClass");
    QTest::addColumn<QByteArray>("gtkApplicationId");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("bundleId");
    QTest::addColumn<QString>("name");

    QTest::addRow("class only") << QByteArray("scratch") << QByteArray("Scratch") << QByteArray()
                                << "C"
                                << "Scratch"
                                << "Scratch";
    QTest::addRow("GTK application id, localized")
        << QByteArray("notes") << QByteArray("Notes-app") << QByteArray("org.example.Notes")
        << "de_DE.UTF-8"
        << "org.example.Notes"
        << "Notizen";
}

void TestX11FrontApplication::windowOfTheTest()
{
    QFETCH(QByteArray, instance);
    QFETCH(QByteArray, wmClass);
    QFETCH(QByteArray, gtkApplicationId);
    QFETCH(QString, locale);
    QFETCH(QString, bundleId);
    QFETCH(QString, name);

    X11FrontApplication front(DesktopEntries({m_data.path()}, locale));
    TestWindow window(*m_x, instance, wmClass, gtkApplicationId);
    const std::optional<ApplicationInfo> info = waitForFront(front, bundleId, &window);
    QVERIFY(info);
    QCOMPARE(info->bundleId, std::optional(bundleId));
    QCOMPARE(info->name, std::optional(name));
}

void TestX11FrontApplication::realClient()
{
    X11FrontApplication front(DesktopEntries({m_data.path()}, "C"));
    QProcess xmessage;
    xmessage.start("xmessage", {"front application test"});
    QVERIFY(xmessage.waitForStarted());
    const std::optional<ApplicationInfo> info = waitForFront(front, "Xmessage");
    QVERIFY(info);
    QCOMPARE(info->bundleId, std::optional<QString>("Xmessage"));
    QCOMPARE(info->name, std::optional<QString>("Xmessage"));

    // Gone, and no other window: nothing is in front, even where the window manager still
    // names the closed window as the active one.
    xmessage.kill();
    xmessage.waitForFinished();
    QVERIFY(QTest::qWaitFor([&] { return !front.frontmostApplication().has_value(); }, kWaitMs));
}

BRIVET_TEST_CLASS(TestX11FrontApplication)
#include "tst_x11frontapplication.moc"
