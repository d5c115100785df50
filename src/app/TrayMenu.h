#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace brivet {

class PanelController;

// Brivet's entry in the desktop's tray: the application icon, whose left click shows or hides
// the panel, with a menu of "Show Brivet" (shows or hides the panel), "Settings..." (Ctrl+,)
// and "Quit Brivet" (Ctrl+Q). On a desktop
// without a tray Brivet runs on without one (the shortcut and the command line still work)
// and says so once in its log. Main thread only.
class TrayMenu : public QObject
{
    Q_OBJECT
public:
    explicit TrayMenu(PanelController& panelController, QObject* parent = nullptr);
    ~TrayMenu() override;

    // Puts the icon in the tray.
    void show();

signals:
    void settingsRequested();
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PanelController& m_panelController;
    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
};

} // namespace brivet
