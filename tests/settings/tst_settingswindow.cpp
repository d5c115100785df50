// The settings window over a fake desktop, drawn offscreen: its size, the sections the
// application adds to the General tab (each fed by its object, below Startup), the Sync section
// over a real sync service, and the ways a shortcut recording ends without a combination
// (switching tabs and recording a combination: e2e_shell).
#include "fakes/FakeGlobalHotkey.h"
#include "hotkey/HotkeyManager.h"
#include "platform/IgnoredApplications.h"
#include "platform/LoginItemRegistry.h"
#include "settings/HistorySettings.h"
#include "settings/IgnoredApplicationList.h"
#include "settings/LoginItemManager.h"
#include "settings/SettingsWindow.h"
#include "settings/ShortcutsSettingsState.h"
#include "store/ModelContainer.h"
#include "sync/SyncService.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
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
        m_hotkeys = std::make_unique<HotkeyManager>(m_keys, *m_settings);
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

    // The ignored applications and the retention rule live in the settings file and come
    // back from it; the readers get the list at once, and a removed application is gone from
    // both.
    void ignoredApplicationsAndTheRetentionRuleAreKept()
    {
        IgnoredApplications ignored;
        {
            IgnoredApplicationList list(*m_settings, ignored);
            list.add("org.gnome.TextEditor", "Text Editor");
            list.add("keepassxc", "KeePassXC");
            list.add("keepassxc", "KeePassXC again");
            list.remove("org.gnome.TextEditor");
        }
        IgnoredApplications read;
        IgnoredApplicationList list(*m_settings, read);
        QCOMPARE(list.ids(), QStringList{"keepassxc"});
        for (IgnoredApplications* readers : {&ignored, &read}) {
            QVERIFY(readers->contains(ApplicationInfo{"KeePassXC", "KeePassXC.desktop"}));
            QVERIFY(!readers->contains(ApplicationInfo{"Text Editor", "org.gnome.TextEditor"}));
        }
        m_window->addGeneralSection(
            QUrl("qrc:/qt/qml/Brivet/Settings/IgnoredApplicationsSection.qml"), &list);

        auto created = ModelContainer::create(m_dir.filePath("history.sqlite"));
        auto container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        HistoryPruner pruner(container->mainContext(), container->path());
        HistoryTransfer transfer(container->mainContext());
        {
            HistorySettings history(*m_settings, pruner, transfer);
            QCOMPARE(history.rule(), RetentionRule{});
            history.setRuleKind(int(RetentionRule::Kind::MaxBytes));
            history.setRuleLimit(200);
        }
        HistorySettings history(*m_settings, pruner, transfer);
        QCOMPARE(history.rule(),
                 (RetentionRule{RetentionRule::Kind::MaxBytes, qint64(200) * 1024 * 1024}));
        history.setRuleKind(int(RetentionRule::Kind::MaxDays));
        QCOMPARE(history.rule(), (RetentionRule{RetentionRule::Kind::MaxDays, 30}));
        m_window->addGeneralSection(QUrl("qrc:/qt/qml/Brivet/Settings/HistorySection.qml"),
                                    &history);
        m_window->open();
        const QStringList texts = visibleTexts(m_window->window());
        for (const QString& text : {"KeePassXC", "Items of the Last Days", "Days"})
            QVERIFY2(texts.contains(text), qPrintable(texts.join(", ")));
        QVERIFY(!texts.contains("Text Editor"));
        m_window.reset(); // before the objects its sections show
    }

    // Unavailable until a folder is chosen and its passphrase typed into the section; then
    // Active, with the footer that says so.
    void syncSectionShowsTheStatus_data()
    {
        QTest::addColumn<bool>("unlock");
        QTest::newRow("no folder") << false;
        QTest::newRow("folder and passphrase") << true;
    }
    void syncSectionShowsTheStatus()
    {
        QFETCH(bool, unlock);
        QTemporaryDir dir;
        auto created = ModelContainer::create(dir.filePath("BrivetCloud.sqlite"));
        auto* store = std::get_if<std::unique_ptr<ModelContainer>>(&created);
        QVERIFY(store);
        QSettings settings(dir.filePath("brivet.conf"), QSettings::IniFormat);
        SyncService sync((*store)->mainContext(), dir.path(), settings);
        const auto windowFirst = qScopeGuard([this] { m_window.reset(); });
        m_window->addGeneralSection(QUrl("qrc:/qt/qml/Brivet/Settings/SyncSettingsSection.qml"),
                                    &sync);
        m_window->open();
        QQuickWindow* window = m_window->window();
        if (unlock) {
            QVERIFY(QDir(dir.path()).mkdir("Sync"));
            sync.chooseFolder(QUrl::fromLocalFile(dir.filePath("Sync")));
            QList<std::pair<QQuickItem*, QRectF>> items;
            visibleItems(window->contentItem(), items);
            const auto field = std::find_if(items.begin(), items.end(), [](const auto& entry) {
                return entry.first->property("placeholderText").toString() == "Passphrase";
            });
            QVERIFY(field != items.end());
            field->first->forceActiveFocus();
            for (char key : std::string_view("correct horse"))
                QTest::keyClick(window, key);
            QTest::keyClick(window, Qt::Key_Return);
        }
        const QString status = unlock ? "Active" : "Unavailable";
        const QString footer =
            unlock ? "Clipboard items sync automatically across your devices through the sync "
                     "folder."
                   : "Choose a folder that a sync service keeps in step across your devices to "
                     "sync clipboard items.";
        QTRY_VERIFY_WITH_TIMEOUT(visibleTexts(window).contains(status), 30000);
        const QStringList texts = visibleTexts(window);
        QVERIFY2(texts.indexOf("Startup") < texts.indexOf("Sync") &&
                     texts.contains("Folder Sync") &&
                     !texts.contains(unlock ? "Unavailable" : "Active") && texts.last() == footer,
                 qPrintable(texts.join(", ")));
    }

    // Where no program can take a global shortcut, the Shortcuts tab shows how to bind the
    // command that toggles the panel (this very binary), not a recorder that cannot work.
    void shortcutsTabSaysHowToBindTheCommandWhereNoRecorderWorks()
    {
        m_window.reset();
        m_keys.setManualBinding(QStringLiteral("Bind it thus:"));
        m_window = std::make_unique<SettingsWindow>(*m_loginItemManager, *m_hotkeys, &m_keys);
        m_window->open();
        m_window->window()->setProperty("currentTab", 1);
        const QStringList texts = visibleTexts(m_window->window());
        const QString command = QCoreApplication::applicationFilePath() + " --toggle";
        QVERIFY2(texts.contains("Bind it thus:") && texts.contains(command) &&
                     !texts.contains(m_hotkeys->displayString()),
                 qPrintable(texts.join(", ")));
        m_keys.setManualBinding({});
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
