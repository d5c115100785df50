#include "app/TrayMenu.h"

#include "app/AppLogging.h"
#include "app/RecordingPause.h"
#include "panel/PanelController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <utility>

namespace brivet {

TrayMenu::TrayMenu(PanelController& panelController, RecordingPause& pause, QObject* parent)
    : QObject(parent), m_panelController(panelController), m_pause(pause)
{
    // The title stays "Show Brivet" whether the panel is shown or not.
    m_menu.addAction(tr("Show Brivet"), this, [this] {
        qCDebug(lcApp) << "tray: Show Brivet";
        m_panelController.toggle();
    });
    m_menu.addSeparator();
    m_pauseMenu.setTitle(tr("Pause Recording"));
    for (const auto& [text, minutes] : {std::pair{tr("for 5 minutes"), 5},
                                         std::pair{tr("for 1 hour"), 60},
                                         std::pair{tr("until resumed"), 0}})
        m_pauseMenu.addAction(text, this, [this, minutes = minutes] { m_pause.pause(minutes); });
    m_menu.addMenu(&m_pauseMenu);
    m_resumeAction = m_menu.addAction(tr("Resume Recording"), this, [this] { m_pause.resume(); });
    connect(&m_pause, &RecordingPause::changed, this, &TrayMenu::showPause);
    m_menu.addSeparator();
    m_menu.addAction(tr("Settings..."), QKeySequence(tr("Ctrl+,")), this, [this] {
        qCDebug(lcApp) << "tray: Settings...";
        emit settingsRequested();
    });
    m_menu.addSeparator();
    m_menu.addAction(tr("Quit Brivet"), QKeySequence(tr("Ctrl+Q")), this, [this] {
        qCDebug(lcApp) << "tray: Quit Brivet";
        emit quitRequested();
    });

    m_menu.installEventFilter(this);
    m_trayIcon.setContextMenu(&m_menu);
    // A left click (an XEmbed tray's, or a StatusNotifierItem host's Activate) toggles the
    // panel; the menu stays on the right click. Qt reports the second of two quick clicks on
    // an XEmbed icon as a double click instead: a click still.
    connect(&m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
                    return;
                qCDebug(lcApp) << "tray: activated";
                m_panelController.activate();
            });
    showPause();
}

void TrayMenu::showPause()
{
    const bool paused = m_pause.isPaused();
    m_pauseMenu.menuAction()->setVisible(!paused);
    m_resumeAction->setVisible(paused);
    const QIcon icon = QApplication::windowIcon();
    m_trayIcon.setIcon(paused ? QIcon(icon.pixmap(QSize(64, 64), QIcon::Disabled)) : icon);
    if (!paused)
        m_trayIcon.setToolTip(QStringLiteral("Brivet"));
    else if (m_pause.resumesAt().isValid())
        m_trayIcon.setToolTip(tr("Brivet: recording paused until %1")
                                  .arg(QLocale().toString(m_pause.resumesAt().time(),
                                                          QLocale::ShortFormat)));
    else
        m_trayIcon.setToolTip(tr("Brivet: recording paused"));
}

TrayMenu::~TrayMenu() = default;

bool TrayMenu::eventFilter(QObject* watched, QEvent* event)
{
    // Qt gives the shortcuts of a menu's entries no effect while that menu is the open popup
    // (they count only where the menu itself can be reached from a window, which a tray's menu
    // cannot), so Ctrl+, and Ctrl+Q are matched here. A StatusNotifierItem host shows the
    // menu itself and handles them.
    if (watched == &m_menu && event->type() == QEvent::KeyPress) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        const QList<QAction*> actions = m_menu.actions();
        for (QAction* action : actions) {
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
                m_menu.close();
                action->trigger();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

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
