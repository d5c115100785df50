#pragma once

#include "app/RecordingPause.h"
#include "capture/ClipboardMonitor.h"
#include "hotkey/HotkeyManager.h"
#include "panel/PanelController.h"
#include "paste/PasteService.h"
#include "platform/Platform.h"
#include "settings/HistorySettings.h"
#include "settings/HistoryTransfer.h"
#include "settings/IgnoredApplicationList.h"
#include "settings/LoginItemManager.h"
#include "store/ModelContainer.h"
#include "sync/SyncService.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace brivet {

// Owns every long-lived service of the program: opens the store and brings the services up
// at launch, and takes them down before the program exits.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // storePath: where the history lives; settingsPath: the settings file; the platform's
    // desktop facilities are handed in.
    AppDelegate(QString storePath, QString settingsPath, Platform platform,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // Opens the store and starts capture, paste, the global shortcut and sync. On failure
    // nothing has started and the reason is returned: the store could not be opened.
    [[nodiscard]] std::optional<QString> launch();
    // Stops capture and the shortcut and writes what sync still holds; once only.
    void terminate();

    // Null until launch.
    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    PasteService* pasteService() const { return m_pasteService.get(); }
    SyncService* syncService() const { return m_syncService.get(); }
    // How much history is kept, and clearing it.
    HistorySettings* historySettings() const { return m_historySettings.get(); }
    // Export and import of the history archive.
    HistoryTransfer* historyTransfer() const { return m_historyTransfer.get(); }

    // The global shortcut that opens the panel.
    HotkeyManager& hotkeyManager() { return *m_hotkeyManager; }
    // Whether Brivet opens at login.
    LoginItemManager& loginItemManager() { return *m_loginItemManager; }
    // The history panel.
    PanelController& panelController() { return *m_panelController; }
    // The applications whose copies are never recorded.
    IgnoredApplicationList& ignoredApplications() { return *m_ignoredApplications; }
    // The user's pause of recording.
    RecordingPause& recordingPause() { return m_recordingPause; }
    // Which physical key a key press is.
    const GlobalHotkey& globalHotkey() const { return *m_platform.globalHotkey; }

    // The user's settings: $XDG_CONFIG_HOME/brivet/brivet.conf.
    QSettings& settings() { return m_settings; }
    static QString defaultSettingsPath();

private:
    // One press of the global shortcut.
    void hotkeyPressed();
    void tellHowToOpenThePanel();

    QString m_storePath;
    Platform m_platform;
    QSettings m_settings;
    RecordingPause m_recordingPause;
    std::unique_ptr<ModelContainer> m_modelContainer;
    std::unique_ptr<SyncService> m_syncService;
    std::unique_ptr<HistoryPruner> m_historyPruner;
    std::unique_ptr<HistoryTransfer> m_historyTransfer;
    std::unique_ptr<HistorySettings> m_historySettings;
    // Declared after the store and the platform it uses, so it goes first.
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
    std::unique_ptr<PasteService> m_pasteService;
    bool m_terminated = false;
    // Last, so they go before the platform and settings they use.
    std::unique_ptr<HotkeyManager> m_hotkeyManager;
    std::unique_ptr<LoginItemManager> m_loginItemManager;
    std::unique_ptr<IgnoredApplicationList> m_ignoredApplications;
    std::unique_ptr<PanelController> m_panelController;
};

} // namespace brivet
