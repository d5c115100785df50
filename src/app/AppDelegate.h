#pragma once

#include "capture/ClipboardMonitor.h"
#include "common/NotificationCenter.h"
#include "hotkey/HotkeyManager.h"
#include "hotkey/HotkeyStreamTask.h"
#include "panel/PanelController.h"
#include "paste/PasteService.h"
#include "platform/Platform.h"
#include "settings/LoginItemManager.h"
#include "store/ModelContainer.h"
#include "sync/SyncService.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>

namespace brivet {

// Owns every long-lived service of the program, opens the store on first use, brings the
// services up when the application has started and takes them down before it exits.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // storePath: where the history lives; settingsPath: the settings file; the platform's
    // desktop facilities are handed in.
    AppDelegate(QString storePath, QString settingsPath, Platform platform,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // The store, opened on first read. If it cannot be opened the process stops with
    // "Could not create ModelContainer: " and the reason.
    ModelContainer& modelContainer();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // The clipboard monitor; null until launch (and when the desktop offers no clipboard).
    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    // Pastes a chosen record into the window in front; null until launch, and when there is
    // no monitor.
    PasteService* pasteService() const { return m_pasteService.get(); }

    // The global shortcut that opens the panel.
    HotkeyManager& hotkeyManager() { return *m_hotkeyManager; }
    // Whether Brivet opens at login.
    LoginItemManager& loginItemManager() { return *m_loginItemManager; }
    // The history panel.
    PanelController& panelController() { return *m_panelController; }
    // Which physical key a key press is; null when the session cannot tell.
    const GlobalHotkey* globalHotkey() const { return m_platform.globalHotkey.get(); }

    // Sync with the user's other devices through a synced folder; null until launch.
    SyncService* syncService() const { return m_syncService.get(); }

    NotificationCenter& notificationCenter() { return m_notificationCenter; }
    // The user's settings: $XDG_CONFIG_HOME/brivet/brivet.conf.
    QSettings& settings() { return m_settings; }
    static QString defaultSettingsPath();

private:
    // One press of the global shortcut, from the hotkey listening task.
    void hotkeyPressed();

    QString m_storePath;
    Platform m_platform;
    NotificationCenter m_notificationCenter;
    QSettings m_settings;
    std::unique_ptr<ModelContainer> m_modelContainer;
    std::unique_ptr<SyncService> m_syncService;
    // Declared after the store and the platform it uses, so it goes first.
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
    std::unique_ptr<PasteService> m_pasteService;
    bool m_terminated = false;
    // Last, so they go before the platform, settings and notification centre they use.
    std::unique_ptr<HotkeyManager> m_hotkeyManager;
    std::unique_ptr<HotkeyStreamTask> m_hotkeyListeningTask;
    std::unique_ptr<LoginItemManager> m_loginItemManager;
    std::unique_ptr<PanelController> m_panelController;
};

} // namespace brivet
