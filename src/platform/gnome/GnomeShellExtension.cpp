#include "platform/gnome/GnomeShellExtension.h"

#include "platform/gnome/GnomeLogging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace brivet {

namespace {

const QString kPath = QStringLiteral("/com/brivet/Shell");
const QString kInterface = QStringLiteral("com.brivet.Shell1");
// The probe at start: the shell answers at once or is not there.
constexpr int kProbeTimeoutMs = 1000;

} // namespace

GnomeShellExtension::GnomeShellExtension(QDBusConnection connection, QObject* parent)
    : QObject(parent), m_connection(std::move(connection))
{
    const QString service = QString::fromLatin1(serviceName);
    const auto listen = [&](const char* name, const char* slot) {
        if (!m_connection.connect(service, kPath, kInterface, QString::fromLatin1(name), this,
                                  slot))
            qCWarning(lcGnome) << "cannot listen to the extension's" << name;
    };
    listen("ClipboardChanged", SLOT(onClipboardChanged(uint, QStringList, bool)));
    listen("FocusChanged", SLOT(onFocusChanged(qulonglong, QString, QString, QString)));
    listen("WindowClosed", SLOT(onWindowClosed(qulonglong)));
    listen("ToggleActivated", SLOT(onToggleActivated()));
    // The window in front before any change of focus is reported.
    auto* watcher = new QDBusPendingCallWatcher(call(QStringLiteral("FocusedWindow"), {}), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<qulonglong, QString, QString, QString> reply = *w;
        if (reply.isError()) {
            qCWarning(lcGnome) << "the extension did not name the focused window:"
                               << reply.error().message();
            return;
        }
        if (reply.argumentAt<0>() != 0 && !m_focused)
            onFocusChanged(reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>(),
                           reply.argumentAt<3>());
    });
}

bool GnomeShellExtension::answers(const QDBusConnection& connection)
{
    QDBusMessage ping = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), kPath,
                                                       QStringLiteral("org.freedesktop.DBus.Peer"),
                                                       QStringLiteral("Ping"));
    return connection.call(ping, QDBus::Block, kProbeTimeoutMs).type() ==
           QDBusMessage::ReplyMessage;
}

std::optional<GnomeShellExtension::Window> GnomeShellExtension::focusedWindow() const
{
    return m_focused ? window(*m_focused) : std::nullopt;
}

std::optional<GnomeShellExtension::Window> GnomeShellExtension::window(WindowId id) const
{
    const auto found = m_windows.constFind(id);
    if (found == m_windows.constEnd())
        return std::nullopt;
    return *found;
}

QDBusPendingCall GnomeShellExtension::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), kPath, kInterface, method);
    message.setArguments(arguments);
    return m_connection.asyncCall(message);
}

QDBusPendingCall GnomeShellExtension::readClipboard(quint32 serial, const QString& mimeType)
{
    return call(QStringLiteral("ReadClipboard"), {QVariant::fromValue(uint(serial)), mimeType});
}

QDBusPendingCall GnomeShellExtension::setClipboard(const QString& mimeType, const QByteArray& data,
                                                   bool onlyIfUnowned)
{
    return call(QStringLiteral("SetClipboard"), {mimeType, data, onlyIfUnowned});
}

QDBusPendingCall GnomeShellExtension::activateWindow(WindowId id)
{
    return call(QStringLiteral("ActivateWindow"), {QVariant::fromValue(qulonglong(id))});
}

QDBusPendingCall GnomeShellExtension::sendPasteKeys(bool withShift)
{
    return call(QStringLiteral("SendPasteKeys"), {withShift});
}

QDBusPendingCall GnomeShellExtension::setToggleShortcut(const QString& accelerator)
{
    return call(QStringLiteral("SetToggleShortcut"), {accelerator});
}

void GnomeShellExtension::onClipboardChanged(uint serial, const QStringList& mimeTypes, bool own)
{
    emit clipboardChanged(serial, mimeTypes, own);
}

void GnomeShellExtension::noteWindow(const Window& window)
{
    m_windows.insert(window.id, window);
}

void GnomeShellExtension::onFocusChanged(qulonglong id, const QString& appId,
                                         const QString& appName, const QString& wmClass)
{
    noteWindow({WindowId(id), appId, appName, wmClass});
    m_focused = WindowId(id);
    qCDebug(lcGnome) << "focus on window" << id << wmClass;
}

void GnomeShellExtension::onWindowClosed(qulonglong id)
{
    m_windows.remove(WindowId(id));
    if (m_focused == WindowId(id))
        m_focused.reset();
}

void GnomeShellExtension::onToggleActivated()
{
    emit toggleActivated();
}

} // namespace brivet
