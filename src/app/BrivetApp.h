#pragma once

#include "platform/InstanceChannel.h"

#include <QObject>
#include <memory>

namespace brivet {

class AppDelegate;
class SettingsWindow;
class TrayMenu;

// Brivet as the desktop sees it: the tray menu and the settings window, built over the
// delegate's services, and the commands that later processes send to the running Brivet
// (`brivet --toggle` and the others). Main thread only.
class BrivetApp : public QObject
{
    Q_OBJECT
public:
    explicit BrivetApp(AppDelegate& delegate, QObject* parent = nullptr);
    ~BrivetApp() override;

    // Puts the icon in the tray; call once the delegate has launched.
    void showTray();
    // Adds the Sync section to the settings' General tab; call once the delegate has launched
    // (its sync service exists from then on).
    void addSyncSettings();
    // The History and Ignored Applications sections of the settings; call once the delegate
    // has launched.
    void addHistorySettings();
    // Opens the settings window, or brings it to the front.
    void openSettings();
    // Ends Brivet through the normal termination sequence.
    void quit();
    // minutes: for PauseRecording.
    void perform(InstanceCommand command, int minutes);

    SettingsWindow& settingsWindow() { return *m_settingsWindow; }

private:
    AppDelegate& m_delegate;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    std::unique_ptr<TrayMenu> m_trayMenu;
};

} // namespace brivet
