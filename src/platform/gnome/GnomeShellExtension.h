#pragma once

#include "platform/KeySynthesizer.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <optional>

namespace brivet {

// Brivet's own GNOME Shell extension, which does inside the shell what Mutter lets no other
// program do: it reports the clipboard's changes and reads them on request, sets the
// clipboard, names and focuses windows, types the paste stroke and reports the toggle
// shortcut. It answers only the process that owns Brivet's bus name, so this object must use
// the connection that owns it. Calls never wait for the shell: replies come back as pending
// calls, news as signals. Keeps the windows the shell has reported, with the one that has the
// focus. Main thread only.
class GnomeShellExtension : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* serviceName = "com.brivet.Shell";

    struct Window
    {
        WindowId id = 0;
        QString appId;   // the shell's application id, e.g. "org.gnome.TextEditor.desktop"
        QString appName; // the shell's name of that application
        QString wmClass; // the Wayland app_id, or the X11 class
    };

    explicit GnomeShellExtension(QDBusConnection connection, QObject* parent = nullptr);

    // Whether the extension runs in the shell of this bus (a round trip; used once at start,
    // before Qt's application object exists).
    static bool answers(const QDBusConnection& connection);

    std::optional<Window> focusedWindow() const;
    std::optional<Window> window(WindowId id) const;

    // The bytes of one MIME type of the clipboard's change `serial`; fails once the clipboard
    // has changed again.
    QDBusPendingCall readClipboard(quint32 serial, const QString& mimeType);
    QDBusPendingCall setClipboard(const QString& mimeType, const QByteArray& data,
                                  bool onlyIfUnowned);
    QDBusPendingCall activateWindow(WindowId id);
    QDBusPendingCall sendPasteKeys(bool withShift);
    // An accelerator in the shell's words ("<Super><Shift>0x37"); empty: none.
    QDBusPendingCall setToggleShortcut(const QString& accelerator);

signals:
    void clipboardChanged(quint32 serial, const QStringList& mimeTypes, bool own);
    void toggleActivated();

private slots:
    void onClipboardChanged(uint serial, const QStringList& mimeTypes, bool own);
    void onFocusChanged(qulonglong id, const QString& appId, const QString& appName,
                        const QString& wmClass);
    void onWindowClosed(qulonglong id);
    void onToggleActivated();

private:
    QDBusPendingCall call(const QString& method, const QVariantList& arguments);
    void noteWindow(const Window& window);

    QDBusConnection m_connection;
    QHash<WindowId, Window> m_windows;
    std::optional<WindowId> m_focused;
};

} // namespace brivet
