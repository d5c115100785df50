#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class QQmlEngine;
class QQuickWindow;

namespace brivet {

class GlobalHotkey;
class HotkeyManager;
class LoginItemManager;
class ShortcutsSettingsState;

// The settings window, tabs General and Shortcuts: built on the first open and kept, so that
// opening it again brings the same window to the front. The General tab is a column of
// sections, each a QML component fed by one object of the application's (the Startup
// section, fed by the login item manager, is the first); closing the window cancels a
// shortcut recording under way. Main thread only.
class SettingsWindow : public QObject
{
    Q_OBJECT
public:
    // keyCodes may be null (shortcuts cannot be recorded).
    SettingsWindow(LoginItemManager& loginItemManager, HotkeyManager& hotkeyManager,
                   const GlobalHotkey* keyCodes, QObject* parent = nullptr);
    ~SettingsWindow() override;

    // Appends a section to the General tab: `component` is a QML file whose root has a
    // `required property` named "backend", which receives `backend`. Sections added after the
    // first open appear when the window is next built, that is never: add them at start.
    void addGeneralSection(const QUrl& component, QObject* backend);

    // Shows the window (building it the first time) and brings it to the front.
    void open();
    // Null until the first open.
    QQuickWindow* window() const { return m_window.get(); }

private:
    bool build();

    LoginItemManager& m_loginItemManager;
    HotkeyManager& m_hotkeyManager;
    const GlobalHotkey* m_keyCodes;
    struct Section
    {
        QUrl component;
        QPointer<QObject> backend;
    };
    QList<Section> m_generalSections;

    std::unique_ptr<ShortcutsSettingsState> m_shortcutsState;
    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
};

} // namespace brivet
