// HotkeyManager against a fake desktop: the stored combination and its registration.
#include "fakes/FakeGlobalHotkey.h"
#include "hotkey/HotkeyManager.h"
#include "support/TestMain.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

namespace {
constexpr quint32 kV = 9;
constexpr quint32 kSuperShift = HotkeyModifier::Super | HotkeyModifier::Shift;
} // namespace

class TestHotkeyManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    FakeGlobalHotkey m_fake;
    std::unique_ptr<HotkeyManager> m_manager;

    QString settingsPath() const { return m_dir->filePath("brivet/brivet.conf"); }
    HotkeyManager& manager()
    {
        m_settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
        m_manager = std::make_unique<HotkeyManager>(m_fake, *m_settings);
        return *m_manager;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_fake.clear();
    }
    void cleanup() { m_manager.reset(); }

    // Stored values out of range or of the wrong type keep Super+Shift+V.
    void loadSavedHotkey_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<int>("changes");
        const auto row = [](const char* stored, quint32 keyCode = kV,
                            quint32 modifiers = kSuperShift, int changes = 0) {
            QTest::newRow(*stored ? stored : "nothing")
                << QByteArray(stored).replace(' ', '\n') << keyCode << modifiers << changes;
        };
        row("");
        row("hotkeyModifiers=4096");
        row("hotkeyKeyCode=0", 0, 0, 2);
        row("hotkeyKeyCode=49 hotkeyModifiers=6400", 49, 6400, 2);
        row("hotkeyKeyCode=9 hotkeyModifiers=768");
        row("hotkeyKeyCode=4294967295 hotkeyModifiers=4294967295", 4294967295u, 4294967295u, 2);
        row("hotkeyKeyCode=4294967296 hotkeyModifiers=256");
        row("hotkeyKeyCode=0 hotkeyModifiers=8589934592");
        row("hotkeyKeyCode=-1 hotkeyModifiers=256");
        row("hotkeyKeyCode=0 hotkeyModifiers=-256");
        row("hotkeyKeyCode=V hotkeyModifiers=256");
        row("hotkeyKeyCode=1, 2");
    }
    void loadSavedHotkey()
    {
        QFETCH(QByteArray, stored);
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(int, changes);
        QDir().mkpath(m_dir->filePath("brivet"));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + stored + "\n");
        file.close();
        manager();
        QSignalSpy keyCodeSpy(m_manager.get(), &HotkeyManager::keyCodeChanged);
        QSignalSpy modifiersSpy(m_manager.get(), &HotkeyManager::modifiersChanged);
        m_manager->loadSavedHotkey();
        QCOMPARE(m_manager->keyCode(), keyCode);
        QCOMPARE(m_manager->modifiers(), modifiers);
        QCOMPARE(keyCodeSpy.count() + modifiersSpy.count(), changes);
        QVERIFY(m_fake.registrations().isEmpty());
    }

    // Registered twice, one registration; unregistered or destroyed, nothing is held.
    void registrationsAreReleased()
    {
        manager().registerHotkey();
        m_manager->registerHotkey();
        QCOMPARE(m_fake.registrations().size(), 1);
        QVERIFY(m_manager->isRegistered());
        m_manager->unregisterHotkey();
        QVERIFY(m_fake.registrations().isEmpty() && !m_manager->isRegistered());
        manager().registerHotkey();
        m_manager.reset();
        QVERIFY(m_fake.registrations().isEmpty());
    }

    void updateHotkeyRegistersAndStores()
    {
        manager().registerHotkey();
        m_manager->updateHotkey(49, HotkeyModifier::Control | HotkeyModifier::Alt);
        QCOMPARE(m_manager->displayString(), "Ctrl+Alt+Space");
        QCOMPARE(m_fake.registrations(), QList({FakeGlobalHotkey::Combination{49, 6144}}));
        m_fake.clear();
        manager().loadSavedHotkey(); // as at the next start
        QCOMPARE(m_manager->keyCode(), 49u);
        QCOMPARE(m_manager->modifiers(), 6144u);
    }

    void displayString()
    {
        QCOMPARE(HotkeyManager::displayString(49, 6912), "Ctrl+Alt+Shift+Super+Space");
        QCOMPARE(HotkeyManager::displayString(127, 256), "Super+Key(127)");
        QCOMPARE(HotkeyManager::displayString(0, 0x1u | 512u), "Shift+A"); // unknown mask bits
    }
};

BRIVET_TEST_CLASS(TestHotkeyManager)
#include "tst_hotkeymanager.moc"
