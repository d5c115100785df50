#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace brivet {

class PanelController;
class RecordingPause;

// Brivet's entry in the desktop's tray: the application icon, whose left click shows or hides
// the panel, with a menu of "Show Brivet" (shows or hides the panel), "Pause Recording" (for 5
// minutes, for 1 hour, until resumed) or "Resume Recording" while paused (the icon then greyed,
// the tooltip saying until when), "Settings..." (Ctrl+,) and "Quit Brivet" (Ctrl+Q). On a desktop
// without a tray Brivet runs on without one (the shortcut and the command line still work)
// and says so once in its log. Main thread only.
class TrayMenu : public QObject
{
    Q_OBJECT
public:
    TrayMenu(PanelController& panelController, RecordingPause& pause, QObject* parent = nullptr);
    ~TrayMenu() override;

    // Puts the icon in the tray.
    void show();

signals:
    void settingsRequested();
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The pause entries, the icon and the tooltip after the pause changed.
    void showPause();

    PanelController& m_panelController;
    RecordingPause& m_pause;
    QMenu m_menu;
    QMenu m_pauseMenu;
    QAction* m_resumeAction = nullptr;
    QSystemTrayIcon m_trayIcon;
};

} // namespace brivet
