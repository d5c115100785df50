// The settings window over a fake desktop, drawn offscreen: its size, the sections the
// application adds to the General tab, and the ways a shortcut recording ends without a
// combination (switching tabs and recording a combination: e2e_shell).
#include "common/NotificationCenter.h"
#include "fakes/FakeGlobalHotkey.h"
#include "hotkey/HotkeyManager.h"
#include "platform/LoginItemRegistry.h"
#include "settings/LoginItemManager.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutsSettingsState.h"

#include <QFile>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Brivet_SettingsPlugin)

using namespace brivet;

namespace {

class FakeLoginItems : public LoginItemRegistry
{
public:
    bool isRegistered() const override { return false; }
    std::optional<QString> setRegistered(bool) override { return std::nullopt; }
};

// The window's visible items, each with its rectangle in window coordinates.
void visibleItems(QQuickItem* item, QList<std::pair<QQuickItem*, QRectF>>& out)
{
    if (!item->isVisible())
        return;
    out.append({item, item->mapRectToScene(QRectF(0, 0, item->width(), item->height()))});
    for (QQuickItem* child : item->childItems())
        visibleItems(child, out);
}

QStringList visibleTexts(QQuickWindow* window)
{
    QList<std::pair<QQuickItem*, QRectF>> items;
    visibleItems(window->contentItem(), items);
    std::sort(items.begin(), items.end(),
              [](const auto& a, const auto& b) { return a.second.top() < b.second.top(); });
    QStringList texts;
    for (const auto& [item, rect] : items) {
        if (const QString text = item->property("text").toString(); !text.isEmpty())
            texts << text;
    }
    return texts;
}

} // namespace

class TestSettingsWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    NotificationCenter m_notifications;
    FakeGlobalHotkey m_keys;
    FakeLoginItems m_loginItems;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<LoginItemManager> m_loginItemManager;
    std::unique_ptr<SettingsWindow> m_window;

private slots:
    void init()
    {
        m_settings =
            std::make_unique<QSettings>(m_dir.filePath("brivet.conf"), QSettings::IniFormat);
        m_hotkeys = std::make_unique<HotkeyManager>(&m_keys, m_notifications, *m_settings);
        m_hotkeys->registerHotkey();
        m_loginItemManager = std::make_unique<LoginItemManager>(&m_loginItems);
        m_window = std::make_unique<SettingsWindow>(*m_loginItemManager, *m_hotkeys, &m_keys);
    }
    void cleanup()
    {
        m_window.reset();
        m_hotkeys->unregisterHotkey();
    }

    // 450 wide, each tab's content whole and no more than a margin above the bottom edge.
    void opensOneWindowAsTallAsItsTab()
    {
        m_window->open();
        QQuickWindow* window = m_window->window();
        QVERIFY(window && window->isVisible());
        for (int tab : {0, 1}) {
            window->setProperty("currentTab", tab);
            QCOMPARE(window->width(), 450);
            QList<std::pair<QQuickItem*, QRectF>> items;
            visibleItems(window->contentItem(), items);
            qreal bottom = 0;
            for (const auto& [item, rect] : items) {
                if (item != window->contentItem())
                    bottom = std::max(bottom, rect.bottom());
            }
            QVERIFY2(bottom <= window->height() && window->height() - bottom <= 24,
                     qPrintable(QStringLiteral("tab %1: content ends at %2 of %3")
                                    .arg(tab)
                                    .arg(bottom)
                                    .arg(window->height())));
        }
        m_window->open();
        QCOMPARE(m_window->window(), window);
    }

    // A section of the application's own, fed by its object, below Startup.
    void generalSectionsComeFromTheApplication()
    {
        const QString path = m_dir.filePath("SyncSection.qml");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("import QtQuick\nimport QtQuick.Controls\nimport Brivet.Settings\n"
                   "SettingsSection { required property QtObject backend;"
                   " title: backend.objectName; Label { text: \"Status\" } }\n");
        file.close();
        QObject backend;
        backend.setObjectName("Sync");
        m_window->addGeneralSection(QUrl::fromLocalFile(path), &backend);
        m_window->open();
        const QStringList texts = visibleTexts(m_window->window());
        QVERIFY2(texts.indexOf("Startup") >= 0 &&
                     texts.indexOf("Startup") < texts.indexOf("Sync") &&
                     texts.indexOf("Sync") < texts.indexOf("Status"),
                 qPrintable(texts.join(", ")));
    }

    void recordingEndsWithoutACombination_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("button pressed again") << false;
        QTest::newRow("window closed") << true;
    }
    void recordingEndsWithoutACombination()
    {
        QFETCH(bool, closeWindow);
        m_window->open();
        auto* state =
            m_window->window()->property("shortcutsState").value<ShortcutsSettingsState*>();
        QVERIFY(state);
        state->toggleRecording();
        QVERIFY(state->isRecording());
        QVERIFY(m_keys.registrations().isEmpty()); // the old shortcut records, it does not toggle
        if (closeWindow)
            m_window->window()->close();
        else
            state->toggleRecording();
        QVERIFY(!state->isRecording());
        const QList<FakeGlobalHotkey::Combination> previous{{9, 768}};
        QCOMPARE(m_keys.registrations(), previous);
        QCoreApplication::processEvents(); // the recorder's answer arrives later
        QCOMPARE(m_keys.registrations(), previous);
        QVERIFY(!m_settings->contains("hotkeyKeyCode"));
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
