#include "platform/linux/DBusInstanceChannel.h"

#include "platform/linux/DBusInstanceEndpoint.h"
#include "platform/PlatformLogging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

namespace brivet {

namespace {

// The running Brivet answers at once; its termination sequence takes well under this.
constexpr int kCallTimeoutMs = 10000;
constexpr int kQuitTimeoutMs = 10000;
// An archive of a large history takes a while to write or merge.
constexpr int kArchiveTimeoutMs = 30 * 60 * 1000;

QString methodName(InstanceCommand command)
{
    switch (command) {
    case InstanceCommand::Toggle:
        return QStringLiteral("Toggle");
    case InstanceCommand::Show:
        return QStringLiteral("Show");
    case InstanceCommand::Hide:
        return QStringLiteral("Hide");
    case InstanceCommand::OpenSettings:
        return QStringLiteral("OpenSettings");
    case InstanceCommand::Quit:
        return QStringLiteral("Quit");
    case InstanceCommand::PauseRecording:
        return QStringLiteral("PauseRecording");
    case InstanceCommand::ResumeRecording:
        return QStringLiteral("ResumeRecording");
    }
    return {};
}

QString busError(const QDBusConnection& bus)
{
    const QString message = bus.lastError().message();
    return QStringLiteral("cannot reach the D-Bus session bus: %1")
        .arg(message.isEmpty() ? QStringLiteral("no bus address") : message);
}

} // namespace

void DBusInstanceEndpoint::deliver(InstanceCommand command, int minutes)
{
    qCDebug(lcPlatform) << "command" << methodName(command) << "from the session bus";
    QMetaObject::invokeMethod(
        this, [this, command, minutes] { emit received(command, minutes); },
        Qt::QueuedConnection);
}

QString DBusInstanceEndpoint::ExportHistory(const QString& path)
{
    qCDebug(lcPlatform) << "export to" << path << "from the session bus";
    if (!m_archiveRequests)
        return answer({false, QStringLiteral("this Brivet cannot export its history")});
    return answer(m_archiveRequests->exportHistory(path));
}

QString DBusInstanceEndpoint::ImportHistory(const QString& path)
{
    qCDebug(lcPlatform) << "import of" << path << "from the session bus";
    if (!m_archiveRequests)
        return answer({false, QStringLiteral("this Brivet cannot import a history")});
    return answer(m_archiveRequests->importHistory(path));
}

QString DBusInstanceEndpoint::answer(const HistoryArchiveRequests::Answer& answer)
{
    if (!answer.ok && calledFromDBus())
        sendErrorReply(QDBusError::Failed, answer.message);
    return answer.message;
}

std::unique_ptr<InstanceChannel> createInstanceChannel()
{
    return std::make_unique<DBusInstanceChannel>();
}

DBusInstanceChannel::DBusInstanceChannel() = default;

DBusInstanceChannel::~DBusInstanceChannel()
{
    if (!m_endpoint)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(objectPath());
    bus.unregisterService(serviceName());
}

InstanceChannel::Claim DBusInstanceChannel::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_error = busError(bus);
        return Claim::Unavailable;
    }
    auto endpoint = std::make_unique<DBusInstanceEndpoint>();
    endpoint->setArchiveRequests(m_archiveRequests);
    connect(endpoint.get(), &DBusInstanceEndpoint::received, this,
            &InstanceChannel::commandReceived);
    if (!bus.registerObject(objectPath(), endpoint.get(), QDBusConnection::ExportScriptableSlots)) {
        m_error = QStringLiteral("cannot export %1 on the session bus").arg(objectPath());
        return Claim::Unavailable;
    }
    // Atomic: of two Brivets started together exactly one gets the name.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(serviceName(), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(objectPath());
        if (!reply.isValid()) {
            m_error = reply.error().message();
            return Claim::Unavailable;
        }
        return Claim::AlreadyRunning;
    }
    m_endpoint = std::move(endpoint);
    qCInfo(lcPlatform) << "listening on the session bus as" << serviceName();
    return Claim::Claimed;
}

void DBusInstanceChannel::setArchiveRequests(HistoryArchiveRequests* requests)
{
    m_archiveRequests = requests;
    if (m_endpoint)
        m_endpoint->setArchiveRequests(requests);
}

InstanceChannel::Delivery DBusInstanceChannel::sendArchive(ArchiveAction action,
                                                           const QString& path,
                                                           HistoryArchiveRequests::Answer* answer)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_error = busError(bus);
        return Delivery::Failed;
    }
    const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(serviceName());
    if (!registered.isValid() || !registered.value())
        return Delivery::NotRunning;
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), objectPath(), serviceName(),
                                                       action == ArchiveAction::Export
                                                           ? QStringLiteral("ExportHistory")
                                                           : QStringLiteral("ImportHistory"));
    call << path;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kArchiveTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
            return Delivery::NotRunning;
        if (reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.Failed")) {
            m_error = reply.errorMessage();
            return Delivery::Failed;
        }
        *answer = {false, reply.errorMessage()};
        return Delivery::Delivered;
    }
    *answer = {true, reply.arguments().value(0).toString()};
    return Delivery::Delivered;
}

InstanceChannel::Delivery DBusInstanceChannel::send(InstanceCommand command, int minutes)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_error = busError(bus);
        return Delivery::Failed;
    }
    // Asked first: a call to a name nobody owns could start a program the bus knows for it.
    const auto isRunning = [&bus] {
        const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(serviceName());
        return registered.isValid() && registered.value();
    };
    if (!isRunning())
        return Delivery::NotRunning;
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName(), objectPath(), serviceName(),
                                                       methodName(command));
    if (command == InstanceCommand::PauseRecording)
        call << minutes;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
            return Delivery::NotRunning;
        m_error = reply.errorMessage();
        return Delivery::Failed;
    }
    if (command == InstanceCommand::Quit) {
        const QDeadlineTimer deadline(kQuitTimeoutMs);
        while (isRunning()) {
            if (deadline.hasExpired()) {
                m_error = QStringLiteral("Brivet did not quit within %1 seconds")
                              .arg(kQuitTimeoutMs / 1000);
                return Delivery::Failed;
            }
            QThread::msleep(50);
        }
    }
    return Delivery::Delivered;
}

} // namespace brivet
