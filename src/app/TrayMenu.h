#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

namespace brivet {

class NotificationCenter;
class PanelController;

// Brivet's entry in the desktop's tray: the application icon with a menu of "Show Brivet"
// (shows or hides the panel), "Settings..." (Ctrl+,) and "Quit Brivet" (Ctrl+Q). It also opens
// the settings for every "com.brivet.openSettings" notice, whoever posts it. On a desktop
// without a tray Brivet runs on without one (the shortcut and the command line still work)
// and says so once in its log. Main thread only.
class TrayMenu : public QObject
{
    Q_OBJECT
public:
    TrayMenu(PanelController& panelController, NotificationCenter& notifications,
             std::function<void()> openSettings, std::function<void()> quit,
             QObject* parent = nullptr);
    ~TrayMenu() override;

    // Puts the icon in the tray.
    void show();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PanelController& m_panelController;
    std::function<void()> m_openSettings;
    std::function<void()> m_quit;
    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
};

} // namespace brivet
