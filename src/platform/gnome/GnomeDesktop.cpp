#include "platform/gnome/GnomeDesktop.h"

#include "platform/gnome/GnomeLogging.h"
#include "platform/gnome/GnomeShellExtension.h"
#include "platform/x11/X11KeyCodes.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QScreen>

namespace brivet {

namespace {

// Brivet's own windows, by the app_id Qt gives them.
const QString kOwnAppId = QStringLiteral("com.brivet.Brivet");

void logFailure(QObject* context, QDBusPendingCall call, const char* what)
{
    auto* watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [what](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (w->isError())
                             qCWarning(lcGnome) << what << "failed:" << w->error().message();
                     });
}

} // namespace

GnomeFrontApplication::GnomeFrontApplication(std::shared_ptr<GnomeShellExtension> shell)
    : m_shell(std::move(shell)),
      m_entries(DesktopEntries::defaultDataDirs(), DesktopEntries::defaultLocale())
{}

std::optional<ApplicationInfo> GnomeFrontApplication::frontmostApplication()
{
    const std::optional<GnomeShellExtension::Window> front = m_shell->focusedWindow();
    if (!front || front->wmClass == kOwnAppId)
        return std::nullopt;
    DesktopEntries::WindowHints hints;
    hints.applicationId = front->wmClass;
    hints.wmClass = front->wmClass;
    ApplicationInfo info = m_entries.applicationFor(hints, front->wmClass);
    // An application the shell knows by a desktop file of its own data folders.
    if (!info.name && !front->appName.isEmpty())
        info.name = front->appName;
    return info;
}

GnomeKeySynthesizer::GnomeKeySynthesizer(std::shared_ptr<GnomeShellExtension> shell)
    : m_shell(std::move(shell))
{}

std::optional<WindowId> GnomeKeySynthesizer::activeWindow() const
{
    const std::optional<GnomeShellExtension::Window> front = m_shell->focusedWindow();
    return front ? std::optional(front->id) : std::nullopt;
}

bool GnomeKeySynthesizer::windowExists(WindowId window) const
{
    return m_shell->window(window).has_value();
}

QStringList GnomeKeySynthesizer::windowClasses(WindowId window) const
{
    const std::optional<GnomeShellExtension::Window> found = m_shell->window(window);
    return found && !found->wmClass.isEmpty() ? QStringList{found->wmClass} : QStringList();
}

bool GnomeKeySynthesizer::requestActivation(WindowId window)
{
    logFailure(m_shell.get(), m_shell->activateWindow(window), "focusing a window");
    return true;
}

bool GnomeKeySynthesizer::sendShortcut(PasteShortcut shortcut)
{
    logFailure(m_shell.get(), m_shell->sendPasteKeys(shortcut == PasteShortcut::ControlShiftV),
               "the paste stroke");
    return true;
}

GnomeGlobalHotkey::GnomeGlobalHotkey(std::shared_ptr<GnomeShellExtension> shell, QObject* parent)
    : GlobalHotkey(parent), m_shell(std::move(shell))
{
    connect(m_shell.get(), &GnomeShellExtension::toggleActivated, this, [this] {
        if (m_lastRegistration != 0)
            emit activated();
    });
}

std::optional<QString> GnomeGlobalHotkey::accelerator(quint32 keyCode, quint32 modifiers)
{
    const std::optional<quint32> code = x11KeyCodeForKeyCode(keyCode);
    if (!code)
        return std::nullopt;
    QString text;
    if (modifiers & HotkeyModifier::Control)
        text += QLatin1String("<Control>");
    if (modifiers & HotkeyModifier::Alt)
        text += QLatin1String("<Alt>");
    if (modifiers & HotkeyModifier::Shift)
        text += QLatin1String("<Shift>");
    if (modifiers & HotkeyModifier::Super)
        text += QLatin1String("<Super>");
    return text + QStringLiteral("0x%1").arg(*code, 2, 16, QLatin1Char('0'));
}

std::optional<HotkeyRegistrationId> GnomeGlobalHotkey::registerHotkey(quint32 keyCode,
                                                                      quint32 modifiers)
{
    const std::optional<QString> combination = accelerator(keyCode, modifiers);
    if (!combination)
        return std::nullopt;
    auto* watcher = new QDBusPendingCallWatcher(m_shell->setToggleShortcut(*combination), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [combination](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusPendingReply<bool> reply = *w;
                if (reply.isError() || !reply.value())
                    qCWarning(lcGnome).noquote()
                        << "GNOME Shell did not take the shortcut" << *combination
                        << (reply.isError() ? reply.error().message() : QString());
                else
                    qCInfo(lcGnome).noquote()
                        << "shortcut" << *combination << "bound in GNOME Shell";
            });
    return HotkeyRegistrationId(++m_lastRegistration);
}

void GnomeGlobalHotkey::unregisterHotkey(HotkeyRegistrationId registration)
{
    // Only the latest registration is bound: the extension holds one shortcut.
    if (quint64(registration) != m_lastRegistration)
        return;
    m_lastRegistration = 0;
    logFailure(this, m_shell->setToggleShortcut(QString()), "unbinding the shortcut");
}

std::optional<quint32> GnomeGlobalHotkey::keyCodeForNativeScanCode(quint32 nativeScanCode) const
{
    return keyCodeForX11KeyCode(nativeScanCode);
}

GnomePanelSurface::GnomePanelSurface(QObject* parent) : PanelSurface(parent)
{
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &GnomePanelSurface::focusChanged);
}

void GnomePanelSurface::makeOverlay(QWindow& window)
{
    window.setFlags(window.flags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
}

void GnomePanelSurface::placeOverlay(QWindow& window, const QRect& geometry)
{
    if (window.size() != geometry.size())
        window.resize(geometry.size());
}

bool GnomePanelSurface::grabKeyboard(QWindow& window)
{
    // The extension focuses the panel once the shell has shown it.
    if (!window.isActive()) {
        window.requestActivate();
        return false;
    }
    m_keyboardHolder = &window;
    return true;
}

void GnomePanelSurface::releaseKeyboard(QWindow& window)
{
    if (m_keyboardHolder == &window)
        m_keyboardHolder = nullptr;
}

void GnomePanelSurface::focusChanged(QWindow* focused)
{
    QWindow* holder = m_keyboardHolder;
    if (!holder || focused == holder)
        return;
    // Between the holder and a window it opened (or the one that opened it), the keyboard
    // stays Brivet's.
    if (focused && (focused->transientParent() == holder || holder->transientParent() == focused))
        return;
    m_keyboardHolder = nullptr;
    qCDebug(lcGnome) << "the panel lost the keyboard to" << focused;
    emit keyboardTaken();
}

QScreen* GnomePanelSurface::activeScreen() const
{
    return QGuiApplication::primaryScreen();
}

} // namespace brivet
