#include "platform/linux/PortalGlobalShortcuts.h"

#include "platform/PlatformLogging.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace brivet {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kShortcutId = QStringLiteral("activate");
// Asking whether the portal is there may start it.
constexpr int kAvailabilityTimeoutMs = 3000;

// One shortcut of BindShortcuts: its id and its properties, a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

} // namespace brivet

Q_DECLARE_METATYPE(brivet::PortalShortcut)

namespace brivet {

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    if (!m_bus.isConnected())
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    const QDBusMessage reply = m_bus.call(get, QDBus::Block, kAvailabilityTimeoutMs);
    m_isAvailable = reply.type() == QDBusMessage::ReplyMessage;
    if (!m_isAvailable) {
        qCInfo(lcPlatform) << "the desktop offers no GlobalShortcuts portal:"
                           << reply.errorMessage();
        return;
    }
    if (!m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                       SLOT(shortcutActivated(QDBusMessage))))
        qCWarning(lcPlatform) << "the GlobalShortcuts portal's presses cannot be heard:"
                              << m_bus.lastError().message();
    qCInfo(lcPlatform) << "global shortcut through the desktop's GlobalShortcuts portal";
}

// Where the portal will answer a request of ours with this token (the documented path, known
// before the call so that the answer cannot come before we listen).
QString PortalGlobalShortcuts::requestPath(const QString& token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool PortalGlobalShortcuts::call(const QString& method, const QVariantList& arguments,
                                 const QString& token, const char* responseSlot)
{
    m_bus.connect(kService, requestPath(token), kRequestInterface, QStringLiteral("Response"), this,
                  responseSlot);
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        m_bus.disconnect(kService, requestPath(token), kRequestInterface,
                         QStringLiteral("Response"), this, responseSlot);
        qCWarning(lcPlatform) << "the GlobalShortcuts portal refused" << method << ":"
                              << reply.errorMessage();
        return false;
    }
    return true;
}

void PortalGlobalShortcuts::bind(const QString& preferredTrigger)
{
    if (!m_isAvailable || m_isBinding)
        return;
    m_isBinding = true;
    m_preferredTrigger = preferredTrigger;
    const QVariantMap options{{QStringLiteral("handle_token"), QStringLiteral("brivet_session")},
                              {QStringLiteral("session_handle_token"), QStringLiteral("brivet")}};
    if (!call(QStringLiteral("CreateSession"), {options}, QStringLiteral("brivet_session"),
              SLOT(sessionCreated(uint, QVariantMap))))
        m_isBinding = false;
}

void PortalGlobalShortcuts::sessionCreated(uint response, const QVariantMap& results)
{
    m_bus.disconnect(kService, requestPath(QStringLiteral("brivet_session")), kRequestInterface,
                     QStringLiteral("Response"), this, SLOT(sessionCreated(uint, QVariantMap)));
    // The handle is a string in this answer (an object path elsewhere).
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.canConvert<QDBusObjectPath>() && handle.userType() != QMetaType::QString
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
    if (response != 0 || m_session.isEmpty()) {
        qCWarning(lcPlatform) << "the GlobalShortcuts portal opened no session (answer" << response
                              << ")";
        return;
    }
    const QList<PortalShortcut> shortcuts{
        {kShortcutId,
         {{QStringLiteral("description"), tr("Activate Brivet")},
          {QStringLiteral("preferred_trigger"), m_preferredTrigger}}}};
    const QVariantMap options{{QStringLiteral("handle_token"), QStringLiteral("brivet_bind")}};
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
          QString(), options},
         QStringLiteral("brivet_bind"), SLOT(shortcutsBound(uint, QVariantMap)));
}

void PortalGlobalShortcuts::shortcutsBound(uint response, const QVariantMap& results)
{
    m_bus.disconnect(kService, requestPath(QStringLiteral("brivet_bind")), kRequestInterface,
                     QStringLiteral("Response"), this, SLOT(shortcutsBound(uint, QVariantMap)));
    if (response != 0) {
        qCWarning(lcPlatform) << "the desktop did not bind the shortcut (answer" << response << ")";
        return;
    }
    QString trigger;
    const auto shortcuts =
        qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")));
    for (const PortalShortcut& shortcut : shortcuts) {
        if (shortcut.id == kShortcutId)
            trigger = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    }
    qCInfo(lcPlatform) << "the desktop bound \"Activate Brivet\" to" << trigger;
    emit bound(trigger);
}

void PortalGlobalShortcuts::shortcutActivated(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QString session = arguments[0].value<QDBusObjectPath>().path();
    if (session == m_session && arguments[1].toString() == kShortcutId)
        emit activated();
}

} // namespace brivet
