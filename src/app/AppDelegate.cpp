#include "app/AppDelegate.h"

#include "app/AppLogging.h"
#include "store/Palette.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

namespace brivet {

AppDelegate::AppDelegate(QString storePath, QString settingsPath, Platform platform,
                         QObject* parent)
    : QObject(parent), m_storePath(std::move(storePath)), m_platform(std::move(platform)),
      m_settings(settingsPath, QSettings::IniFormat)
{
    m_hotkeyManager = std::make_unique<HotkeyManager>(m_platform.globalHotkey.get(),
                                                      m_notificationCenter, m_settings);
    m_loginItemManager = std::make_unique<LoginItemManager>(m_platform.loginItems.get());
    m_panelController = std::make_unique<PanelController>(
        m_notificationCenter, m_platform.globalClickMonitor.get(), m_platform.globalHotkey.get());
}

QString AppDelegate::defaultSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/brivet/brivet.conf");
}

AppDelegate::~AppDelegate() = default;

ModelContainer& AppDelegate::modelContainer()
{
    if (!m_modelContainer) {
        auto result = ModelContainer::create(m_storePath);
        if (auto* error = std::get_if<QString>(&result)) {
            std::fprintf(stderr, "Could not create ModelContainer: %s\n", qPrintable(*error));
            std::fflush(stderr);
            std::exit(1);
        }
        m_modelContainer = std::move(std::get<std::unique_ptr<ModelContainer>>(result));
    }
    return *m_modelContainer;
}

void AppDelegate::applicationDidFinishLaunching()
{
    ModelContext& context = modelContainer().mainContext();
    if (m_platform.pasteboard && m_platform.frontApplication) {
        // The thumbnailer is shared with capture's worker, which may still be reading when
        // the delegate goes away.
        m_clipboardMonitor = std::make_unique<ClipboardMonitor>(
            context, *m_platform.pasteboard, *m_platform.frontApplication,
            std::shared_ptr<const FileThumbnailer>(std::move(m_platform.fileThumbnailer)));
        m_clipboardMonitor->startMonitoring();
        m_pasteService = std::make_unique<PasteService>(m_platform.pasteboard.get(),
                                                        m_platform.keySynthesizer.get(),
                                                        weakMonitorLink(m_clipboardMonitor.get()));
        // The clipboard outlives the application that copied: its copy is offered again.
        connect(m_clipboardMonitor.get(), &ClipboardMonitor::clipboardOwnerLeft,
                m_pasteService.get(), &PasteService::restore);
        m_pasteService->setTerminalWindowClasses(
            m_settings.value(QStringLiteral("terminalWindowClasses")).toStringList());
        m_panelController->setModelContainer(&modelContainer());
        m_panelController->setPasteService(m_pasteService.get());
        HotkeyManager* hotkeys = m_hotkeyManager.get();
        m_panelController->setToggleShortcut([hotkeys] {
            return Shortcut{hotkeys->keyCode(), hotkeys->modifiers()};
        });
    } else {
        qCWarning(lcApp) << "this desktop offers no clipboard: nothing will be recorded";
    }
    m_hotkeyManager->loadSavedHotkey();
    m_hotkeyManager->registerHotkey();
    m_hotkeyListeningTask = std::make_unique<HotkeyStreamTask>(m_hotkeyManager->hotkeyStream(),
                                                               [this] { hotkeyPressed(); });
    ensureDefaultCategory(context);
    m_syncService =
        std::make_unique<SyncService>(context, QFileInfo(m_modelContainer->path()).absolutePath(),
                                      m_settings, m_platform.secrets.get());
    qCInfo(lcApp) << "launched with store" << m_modelContainer->path();
}

void AppDelegate::hotkeyPressed()
{
    qCInfo(lcApp) << "hotkey pressed";
    m_panelController->toggle();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_hotkeyListeningTask)
        m_hotkeyListeningTask->cancel();
    if (m_clipboardMonitor)
        m_clipboardMonitor->stopMonitoring();
    m_hotkeyManager->unregisterHotkey();
    if (m_syncService)
        m_syncService->flush();
    qCInfo(lcApp) << "terminating";
}

} // namespace brivet
