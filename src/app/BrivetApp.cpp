#include "app/BrivetApp.h"

#include "app/AppDelegate.h"
#include "app/AppLogging.h"
#include "app/TrayMenu.h"
#include "settings/SettingsWindow.h"

#include <QCoreApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Brivet_SettingsPlugin)

namespace brivet {

BrivetApp::BrivetApp(AppDelegate& delegate, QObject* parent)
    : QObject(parent), m_delegate(delegate),
      m_settingsWindow(std::make_unique<SettingsWindow>(
          delegate.loginItemManager(), delegate.hotkeyManager(), &delegate.globalHotkey())),
      m_trayMenu(std::make_unique<TrayMenu>(delegate.panelController(), delegate.recordingPause()))
{
    connect(m_trayMenu.get(), &TrayMenu::settingsRequested, this, &BrivetApp::openSettings);
    connect(m_trayMenu.get(), &TrayMenu::quitRequested, this, &BrivetApp::quit);
    connect(&delegate.panelController(), &PanelController::settingsRequested, this,
            &BrivetApp::openSettings);
}

BrivetApp::~BrivetApp() = default;

void BrivetApp::showTray()
{
    m_trayMenu->show();
}

void BrivetApp::addSyncSettings()
{
    if (SyncService* sync = m_delegate.syncService())
        m_settingsWindow->addGeneralSection(
            QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Settings/SyncSettingsSection.qml")), sync);
}

void BrivetApp::addHistorySettings()
{
    if (HistorySettings* history = m_delegate.historySettings())
        m_settingsWindow->addGeneralSection(
            QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Settings/HistorySection.qml")), history);
    m_settingsWindow->addGeneralSection(
        QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Settings/IgnoredApplicationsSection.qml")),
        &m_delegate.ignoredApplications());
}

void BrivetApp::openSettings()
{
    m_settingsWindow->open();
}

void BrivetApp::quit()
{
    // The application's aboutToQuit runs the delegate's termination sequence.
    QCoreApplication::quit();
}

void BrivetApp::perform(InstanceCommand command, int minutes)
{
    PanelController& panel = m_delegate.panelController();
    switch (command) {
    case InstanceCommand::Toggle:
        panel.toggle();
        break;
    case InstanceCommand::Show:
        if (!panel.isVisible())
            panel.show();
        break;
    case InstanceCommand::Hide:
        if (panel.isVisible())
            panel.hide();
        break;
    case InstanceCommand::OpenSettings:
        openSettings();
        break;
    case InstanceCommand::Quit:
        quit();
        break;
    case InstanceCommand::PauseRecording:
        m_delegate.recordingPause().pause(minutes);
        break;
    case InstanceCommand::ResumeRecording:
        m_delegate.recordingPause().resume();
        break;
    }
}

} // namespace brivet
