#include "app/TrayMenu.h"

#include "app/AppLogging.h"
#include "common/NotificationCenter.h"
#include "panel/PanelController.h"

#include <QApplication>

namespace brivet {

TrayMenu::TrayMenu(PanelController& panelController, NotificationCenter& notifications,
                   std::function<void()> openSettings, std::function<void()> quit, QObject* parent)
    : QObject(parent), m_panelController(panelController), m_openSettings(std::move(openSettings)),
      m_quit(std::move(quit))
{
    // The title stays "Show Brivet" whether the panel is shown or not.
    m_menu.addAction(tr("Show Brivet"), this, [this] {
        qCDebug(lcApp) << "tray: Show Brivet";
        m_panelController.toggle();
    });
    m_menu.addSeparator();
    m_menu.addAction(tr("Settings..."), QKeySequence(tr("Ctrl+,")), this, [this] {
        qCDebug(lcApp) << "tray: Settings...";
        m_openSettings();
    });
    m_menu.addSeparator();
    m_menu.addAction(tr("Quit Brivet"), QKeySequence(tr("Ctrl+Q")), this, [this] {
        qCDebug(lcApp) << "tray: Quit Brivet";
        m_quit();
    });

    m_trayIcon.setIcon(QApplication::windowIcon());
    m_trayIcon.setToolTip(QStringLiteral("Brivet"));
    m_trayIcon.setContextMenu(&m_menu);

    connect(&notifications, &NotificationCenter::posted, this, [this](const QString& name) {
        if (name == PanelController::openSettingsNotification())
            m_openSettings();
    });
}

TrayMenu::~TrayMenu() = default;

void TrayMenu::show()
{
    // Shown also without a tray: one that starts later (a desktop panel still loading at
    // login) gets the icon.
    m_trayIcon.show();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcApp) << "tray icon shown";
    else
        qCWarning(lcApp) << "this desktop shows no tray: Brivet runs without its tray icon; the "
                            "shortcut and `brivet --toggle`, `--settings`, `--quit` still work";
}

} // namespace brivet
