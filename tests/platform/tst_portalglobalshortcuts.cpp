// The global shortcut on Wayland through the desktop's GlobalShortcuts portal: a portal of the
// test's own on a private session bus (dbus-daemon), answering as the published interface
// says (org.freedesktop.portal.GlobalShortcuts, its answers as Request.Response signals).
#include "platform/wayland/WaylandGlobalHotkey.h"
#include "support/TestMain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace brivet;

namespace {

struct TestShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const TestShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TestShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(TestShortcut)

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// The desktop's side: opens sessions, binds what it is asked to (showing "Meta+Shift+V" for
// it, as a user's dialog might have set), and says what it got.
class FakePortal : public QDBusVirtualObject
{
public:
    QString session() const
    {
        QMutexLocker lock(&m_mutex);
        return m_session;
    }
    QList<QList<TestShortcut>> binds() const
    {
        QMutexLocker lock(&m_mutex);
        return m_binds;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("Get")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(1u))));
            return true;
        }
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        QVariantMap results;
        QVariantMap options;
        if (message.member() == QLatin1String("CreateSession")) {
            options = qdbus_cast<QVariantMap>(message.arguments().at(0));
            QMutexLocker lock(&m_mutex);
            m_session = kPath + "/session/" + sender + "/" +
                        options.value("session_handle_token").toString();
            results.insert("session_handle", m_session);
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            QList<TestShortcut> shortcuts =
                qdbus_cast<QList<TestShortcut>>(message.arguments().at(1));
            {
                QMutexLocker lock(&m_mutex);
                m_binds << shortcuts;
            }
            options = qdbus_cast<QVariantMap>(message.arguments().at(3));
            for (TestShortcut& shortcut : shortcuts)
                shortcut.properties.insert("trigger_description", "Meta+Shift+V");
            results.insert("shortcuts", QVariant::fromValue(shortcuts));
        } else {
            return false;
        }
        const QString request =
            kPath + "/request/" + sender + "/" + options.value("handle_token").toString();
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        connection.send(response);
        return true;
    }

private:
    mutable QMutex m_mutex;
    QString m_session;
    QList<QList<TestShortcut>> m_binds;
};

} // namespace

class TestPortalGlobalShortcuts : public QObject
{
    Q_OBJECT

    QProcess m_bus;
    QString m_address;

    QDBusConnection connect(const QString& name)
    {
        return QDBusConnection::connectToBus(m_address, name);
    }

    static void activate(QDBusConnection bus, const QString& session, const QString& id)
    {
        QDBusMessage activated =
            QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Activated"));
        activated << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1)
                  << QVariantMap();
        bus.send(activated);
    }

private slots:
    void initTestCase()
    {
        qDBusRegisterMetaType<TestShortcut>();
        qDBusRegisterMetaType<QList<TestShortcut>>();
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is missing");
        while (!m_bus.canReadLine())
            QVERIFY(m_bus.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        for (const char* name : {"brivet", "portal"})
            QDBusConnection::disconnectFromBus(name);
        m_bus.terminate();
        m_bus.waitForFinished();
    }

    // No portal: nothing is registered, and the settings say how to bind the command.
    void withoutThePortalTheUserBindsTheCommand()
    {
        WaylandGlobalHotkey hotkey(connect("brivet"));
        QVERIFY(!hotkey.registerHotkey(9, HotkeyModifier::Super | HotkeyModifier::Shift));
        QVERIFY(hotkey.manualBinding("brivet --toggle").contains("brivet --toggle"));
        QDBusConnection::disconnectFromBus("brivet");
    }

    // One bind, "Activate Brivet" with Brivet's combination preferred; a new combination asks
    // nothing more (the desktop's dialog decides); only the bound shortcut of Brivet's own
    // session activates.
    void thePortalBindsOnceAndReportsPresses()
    {
        // On a thread of its own: Brivet's calls wait for the answers.
        QDBusConnection portalBus = connect("portal");
        QThread portalThread;
        FakePortal portal;
        portal.moveToThread(&portalThread);
        portalThread.start();
        auto stopThread = qScopeGuard([&] {
            portalThread.quit();
            portalThread.wait();
        });
        QVERIFY(portalBus.registerVirtualObject(kPath, &portal));
        QVERIFY(portalBus.registerService("org.freedesktop.portal.Desktop"));
        WaylandGlobalHotkey hotkey(connect("brivet"));
        QSignalSpy activated(&hotkey, &GlobalHotkey::activated);
        QVERIFY(hotkey.manualBinding("brivet --toggle").isEmpty());
        QTest::ignoreMessage(QtInfoMsg,
                             "the desktop bound \"Activate Brivet\" to \"Meta+Shift+V\"");
        QVERIFY(hotkey.registerHotkey(9, HotkeyModifier::Super | HotkeyModifier::Shift));
        QTRY_COMPARE_WITH_TIMEOUT(portal.binds().size(), 1, 10000);
        QCOMPARE(portal.binds()[0].size(), 1);
        QCOMPARE(portal.binds()[0][0].id, "activate");
        QCOMPARE(portal.binds()[0][0].properties.value("description").toString(),
                 "Activate Brivet");
        QCOMPARE(portal.binds()[0][0].properties.value("preferred_trigger").toString(),
                 "SHIFT+LOGO+v");
        QVERIFY(hotkey.registerHotkey(49, HotkeyModifier::Control));
        QTest::qWait(200);
        QCOMPARE(portal.binds().size(), 1);

        activate(portalBus, portal.session() + "_other", "activate");
        activate(portalBus, portal.session(), "other");
        activate(portalBus, portal.session(), "activate");
        QVERIFY(activated.wait(10000));
        QTest::qWait(100);
        QCOMPARE(activated.size(), 1);
        portalBus.unregisterService("org.freedesktop.portal.Desktop");
        portalBus.unregisterObject(kPath);
    }
};

BRIVET_TEST_CLASS(TestPortalGlobalShortcuts)
#include "tst_portalglobalshortcuts.moc"
