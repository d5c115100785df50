// FreedesktopNotifier on a private session bus (dbus-daemon) with a notification server of the
// test's own: the notice the server gets. (The log line where no server runs: test_startup.py.)
#include "platform/linux/FreedesktopNotifier.h"
#include "support/TestMain.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

using namespace brivet;

namespace {

// Answers Notify as a desktop's notification server would, and tells the test what it got.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replacesId)
        Q_UNUSED(appIcon)
        Q_UNUSED(actions)
        Q_UNUSED(hints)
        Q_UNUSED(timeout)
        emit notified(appName, summary, body);
        return 7;
    }
signals:
    void notified(const QString& appName, const QString& summary, const QString& body);
};

} // namespace

class TestFreedesktopNotifier : public QObject
{
    Q_OBJECT

    QProcess m_bus;
    QString m_address;

    QDBusConnection connect(const QString& name)
    {
        return QDBusConnection::connectToBus(m_address, name);
    }

private slots:
    void initTestCase()
    {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is missing");
        while (!m_bus.canReadLine())
            QVERIFY(m_bus.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        for (const char* name : {"notifier", "server"})
            QDBusConnection::disconnectFromBus(name);
        m_bus.terminate();
        m_bus.waitForFinished();
    }

    void theServerGetsTheNotice()
    {
        QDBusConnection serverBus = connect("server");
        NotificationServer server;
        QVERIFY(serverBus.registerObject("/org/freedesktop/Notifications", &server,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus.registerService("org.freedesktop.Notifications"));
        QSignalSpy notified(&server, &NotificationServer::notified);
        FreedesktopNotifier notifier(connect("notifier"));
        notifier.notify("Ready", "paste by hand");
        QVERIFY(notified.wait(10000));
        QCOMPARE(notified.size(), 1);
        QCOMPARE(notified[0], (QVariantList{"Brivet", "Ready", "paste by hand"}));
    }
};

BRIVET_TEST_CLASS(TestFreedesktopNotifier)
#include "tst_freedesktopnotifier.moc"
