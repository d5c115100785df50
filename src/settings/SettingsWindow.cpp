#include "settings/SettingsWindow.h"

#include "settings/LoginItemManager.h"
#include "settings/SettingsLogging.h"
#include "settings/ShortcutsSettingsState.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QVariantMap>

namespace brivet {

SettingsWindow::SettingsWindow(LoginItemManager& loginItemManager, HotkeyManager& hotkeyManager,
                               const GlobalHotkey* keyCodes, QObject* parent)
    : QObject(parent), m_loginItemManager(loginItemManager), m_hotkeyManager(hotkeyManager),
      m_keyCodes(keyCodes)
{
    addGeneralSection(
        QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Settings/StartupSettingsSection.qml")),
        &m_loginItemManager);
}

SettingsWindow::~SettingsWindow()
{
    // The window's items go before the state they bind to.
    m_window.reset();
    m_engine.reset();
}

void SettingsWindow::addGeneralSection(const QUrl& component, QObject* backend)
{
    m_generalSections.append({component, backend});
}

void SettingsWindow::open()
{
    if (!m_window && !build())
        return;
    m_loginItemManager.refresh();
    m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
    qCInfo(lcSettings) << "settings window shown";
}

bool SettingsWindow::build()
{
    if (QQuickStyle::name().isEmpty())
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
    m_shortcutsState = std::make_unique<ShortcutsSettingsState>(m_hotkeyManager, m_keyCodes);
    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));

    QVariantList sections;
    for (const Section& section : std::as_const(m_generalSections)) {
        if (section.backend)
            sections.append(QVariantMap{
                {QStringLiteral("component"), section.component},
                {QStringLiteral("backend"), QVariant::fromValue<QObject*>(section.backend)}});
    }
    QQmlComponent component(m_engine.get(),
                            QUrl(QStringLiteral("qrc:/qt/qml/Brivet/Settings/SettingsView.qml")));
    // Qt 6.4 crashes creating a component that did not load.
    QObject* object =
        component.isReady()
            ? component.createWithInitialProperties(
                  {{QStringLiteral("generalSections"), sections},
                   {QStringLiteral("shortcutsState"), QVariant::fromValue(m_shortcutsState.get())}})
            : nullptr;
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window) {
        qCWarning(lcSettings) << "could not build the settings window:" << component.errors();
        delete object;
        m_engine.reset();
        m_shortcutsState.reset();
        return false;
    }
    m_window.reset(window);
    // Whichever way the window goes away, a recording under way ends and the old shortcut
    // works again.
    connect(window, &QWindow::visibleChanged, this, [this](bool visible) {
        if (!visible)
            m_shortcutsState->cancelRecording();
    });
    return true;
}

} // namespace brivet
