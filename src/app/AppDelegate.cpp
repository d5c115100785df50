#include "app/AppDelegate.h"

#include "app/AppLogging.h"
#include "store/Palette.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

namespace brivet {

AppDelegate::AppDelegate(QString storePath, QString settingsPath, Platform platform,
                         QObject* parent)
    : QObject(parent), m_storePath(std::move(storePath)), m_platform(std::move(platform)),
      m_settings(settingsPath, QSettings::IniFormat)
{
    m_hotkeyManager = std::make_unique<HotkeyManager>(*m_platform.globalHotkey, m_settings);
    m_loginItemManager = std::make_unique<LoginItemManager>(m_platform.loginItems.get());
    m_ignoredApplications = std::make_unique<IgnoredApplicationList>(
        m_settings, m_platform.pasteboard->ignoredApplications());
    m_panelController =
        std::make_unique<PanelController>(*m_platform.panelSurface, *m_platform.globalHotkey);
    // Each press in a turn of its own, in order: a press never interrupts the toggle of the
    // one before it, and one made during a slide toggles once the slide has begun.
    connect(m_platform.globalHotkey.get(), &GlobalHotkey::activated, this,
            &AppDelegate::hotkeyPressed, Qt::QueuedConnection);
    connect(m_hotkeyManager.get(), &HotkeyManager::shortcutChanged, m_panelController.get(),
            &PanelController::setToggleShortcut);
    connect(m_panelController.get(), &PanelController::applicationIgnored,
            m_ignoredApplications.get(), &IgnoredApplicationList::add);
}

QString AppDelegate::defaultSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/brivet/brivet.conf");
}

AppDelegate::~AppDelegate() = default;

std::optional<QString> AppDelegate::launch()
{
    const bool firstRun = !QFileInfo::exists(m_storePath);
    auto opened = ModelContainer::create(m_storePath);
    if (auto* error = std::get_if<QString>(&opened))
        return *error;
    m_modelContainer = std::move(std::get<std::unique_ptr<ModelContainer>>(opened));
    ModelContext& context = m_modelContainer->mainContext();

    // The thumbnailer is shared with capture's worker, which may still be reading when the
    // delegate goes away.
    m_clipboardMonitor = std::make_unique<ClipboardMonitor>(
        context, *m_platform.pasteboard, *m_platform.frontApplication,
        std::shared_ptr<const FileThumbnailer>(std::move(m_platform.fileThumbnailer)));
    m_clipboardMonitor->startMonitoring();
    m_clipboardMonitor->setRecordingPaused(m_recordingPause.isPaused());
    connect(&m_recordingPause, &RecordingPause::changed, m_clipboardMonitor.get(),
            &ClipboardMonitor::setRecordingPaused);
    m_pasteService = std::make_unique<PasteService>(m_platform.pasteboard.get(),
                                                    m_platform.keySynthesizer.get(),
                                                    weakMonitorLink(m_clipboardMonitor.get()));
    // The clipboard outlives the application that copied: its copy is offered again.
    connect(m_clipboardMonitor.get(), &ClipboardMonitor::clipboardOwnerLeft, m_pasteService.get(),
            &PasteService::restore);
    m_pasteService->setManualPasteNotifier(m_platform.notifier.get());
    m_pasteService->setTerminalWindowClasses(
        m_settings.value(QStringLiteral("terminalWindowClasses")).toStringList());
    m_panelController->setModelContainer(m_modelContainer.get());
    m_panelController->setPasteService(m_pasteService.get());

    m_hotkeyManager->loadSavedHotkey();
    m_panelController->setToggleShortcut(m_hotkeyManager->shortcut());
    m_hotkeyManager->registerHotkey();
    if (firstRun)
        tellHowToOpenThePanel();
    ensureDefaultCategory(context);
    m_syncService =
        std::make_unique<SyncService>(context, QFileInfo(m_modelContainer->path()).absolutePath(),
                                      m_settings, m_platform.secrets.get());
    m_historyPruner = std::make_unique<HistoryPruner>(context, m_modelContainer->path());
    m_historyTransfer = std::make_unique<HistoryTransfer>(context);
    m_historySettings =
        std::make_unique<HistorySettings>(m_settings, *m_historyPruner, *m_historyTransfer);
    qCInfo(lcApp) << "launched with store" << m_modelContainer->path();
    // Once the event loop runs, capture first: the panel is built behind it, so that the
    // first press of the shortcut finds it ready.
    QTimer::singleShot(0, m_panelController.get(), &PanelController::prepare);
    // Then what the retention rule no longer keeps goes, on a worker and in short slices.
    QTimer::singleShot(0, m_historySettings.get(), &HistorySettings::start);
    return std::nullopt;
}

// Once, when Brivet starts without a history: what it does, and the way to the panel.
void AppDelegate::tellHowToOpenThePanel()
{
    const QString how =
        m_hotkeyManager->isRegistered()
            ? tr("Press %1 to see what you copied and paste it again.")
                  .arg(m_hotkeyManager->displayString())
            : tr("To see what you copied, bind a key to the command \"brivet --toggle\" in "
                 "your desktop's keyboard settings.");
    m_platform.notifier->notify(tr("Brivet keeps what you copy"), how);
}

void AppDelegate::hotkeyPressed()
{
    if (m_terminated)
        return;
    qCInfo(lcApp) << "hotkey pressed";
    m_panelController->toggle();
}

void AppDelegate::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_clipboardMonitor)
        m_clipboardMonitor->stopMonitoring();
    m_hotkeyManager->unregisterHotkey();
    if (m_syncService)
        m_syncService->flush();
    qCInfo(lcApp) << "terminating";
}

} // namespace brivet
