#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace brivet {

// The desktop's GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts on the session
// bus), where the desktop implements it (KDE Plasma): one session holding one shortcut,
// "Activate Brivet", bound once with Brivet's combination as the preferred trigger. The
// desktop shows the user its own dialog for it, and what the user sets there is what counts:
// later binds are not asked for. Each press of it is reported as `activated`. Main thread only.
class PortalGlobalShortcuts : public QObject
{
    Q_OBJECT
public:
    explicit PortalGlobalShortcuts(QDBusConnection bus = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);

    // Whether the session bus has the portal with global shortcuts (asked once, on making).
    bool isAvailable() const { return m_isAvailable; }
    // Opens the session and binds the shortcut, once; `preferredTrigger` in the XDG shortcut
    // notation (e.g. "LOGO+SHIFT+v").
    void bind(const QString& preferredTrigger);

signals:
    void activated();
    // The desktop answered the bind: the trigger it shows for the shortcut (may be empty:
    // the user set none).
    void bound(const QString& triggerDescription);

private slots:
    void sessionCreated(uint response, const QVariantMap& results);
    void shortcutsBound(uint response, const QVariantMap& results);
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    void shortcutActivated(const QDBusMessage& message);

private:
    QString requestPath(const QString& token) const;
    bool call(const QString& method, const QVariantList& arguments, const QString& token,
              const char* responseSlot);

    QDBusConnection m_bus;
    bool m_isAvailable = false;
    bool m_isBinding = false;
    QString m_preferredTrigger;
    QString m_session;
};

} // namespace brivet
