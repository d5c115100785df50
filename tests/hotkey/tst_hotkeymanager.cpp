#include "common/NotificationCenter.h"
#include "fakes/FakeGlobalHotkey.h"
#include "hotkey/HotkeyManager.h"
#include "hotkey/HotkeyStreamTask.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

namespace {

constexpr quint32 kV = 9;
constexpr quint32 kSpace = 49;
constexpr quint32 kSuperShift = HotkeyModifier::Command | HotkeyModifier::Shift;

} // namespace

// HotkeyManager against a fake desktop: settings, registration, and the road of a press from
// the handler through the notification centre to the stream and its consumer.
class TestHotkeyManager : public QObject
{
    Q_OBJECT

private:
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("brivet/brivet.conf")); }
    // The settings file as a user or an older version may have left it.
    void writeSettingsFile(const QByteArray& contents)
    {
        QDir().mkpath(m_dir->filePath(QStringLiteral("brivet")));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    std::unique_ptr<HotkeyManager> makeManager()
    {
        m_settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
        return std::make_unique<HotkeyManager>(&m_fake, m_center, *m_settings);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    NotificationCenter m_center;
    FakeGlobalHotkey m_fake;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_fake = FakeGlobalHotkey();
    }

    void loadSavedHotkey_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<int>("changes");

        const auto row = [](const char* name, const char* stored, quint32 keyCode,
                            quint32 modifiers, int changes) {
            QTest::newRow(name) << (*stored ? "[General]\n" + QByteArray(stored) : QByteArray())
                                << keyCode << modifiers << changes;
        };
        const auto ignored = [&](const char* name, const char* stored) {
            row(name, stored, kV, kSuperShift, 0);
        };
        ignored("nothing stored: Super+Shift+V", "");
        ignored("a mask without a key code is not read", "hotkeyModifiers=4096\n");
        row("a key code without a mask means no modifiers", "hotkeyKeyCode=0\n", 0, 0, 2);
        row("a stored pair", "hotkeyKeyCode=49\nhotkeyModifiers=6400\n", kSpace, 6400, 2);
        ignored("the stored values equal the current ones",
                "hotkeyKeyCode=9\nhotkeyModifiers=768\n");
        row("the largest 32-bit values", "hotkeyKeyCode=4294967295\nhotkeyModifiers=4294967295\n",
            4294967295u, 4294967295u, 2);
        ignored("key code beyond 32 bits", "hotkeyKeyCode=4294967296\nhotkeyModifiers=256\n");
        ignored("mask beyond 32 bits", "hotkeyKeyCode=0\nhotkeyModifiers=8589934592\n");
        ignored("negative key code", "hotkeyKeyCode=-1\nhotkeyModifiers=256\n");
        ignored("negative mask", "hotkeyKeyCode=0\nhotkeyModifiers=-256\n");
        ignored("key code that is no number", "hotkeyKeyCode=V\nhotkeyModifiers=256\n");
        ignored("key code that is a list", "hotkeyKeyCode=1, 2\n");
    }

    void loadSavedHotkey()
    {
        QFETCH(QByteArray, file);
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(int, changes);
        if (!file.isEmpty())
            writeSettingsFile(file);
        auto manager = makeManager();
        QSignalSpy keyCodeSpy(manager.get(), &HotkeyManager::keyCodeChanged);
        QSignalSpy modifiersSpy(manager.get(), &HotkeyManager::modifiersChanged);

        manager->loadSavedHotkey();

        QCOMPARE(manager->keyCode(), keyCode);
        QCOMPARE(manager->modifiers(), modifiers);
        QCOMPARE(keyCodeSpy.count() + modifiersSpy.count(), changes);
        QVERIFY2(m_fake.calls().isEmpty(), "loading registers nothing");
    }

    void registerTwiceLeavesOneRegistration()
    {
        auto manager = makeManager();
        HotkeyStream& stream = manager->hotkeyStream();

        manager->registerHotkey();
        manager->registerHotkey();

        QCOMPARE(m_fake.registrations().size(), 1);
        QCOMPARE(m_fake.handlerCount(), 1);
        QVERIFY(manager->isRegistered());
        // One listening task: one press, one element.
        m_fake.press(kV, kSuperShift);
        QCOMPARE(stream.bufferedCount(), 1u);
        // The second registration first took the earlier one down: hotkey, handler, task.
        const QStringList calls = m_fake.calls();
        QCOMPARE(calls.mid(2, 3),
                 (QStringList{QStringLiteral("unregisterHotkey"), QStringLiteral("removeHandler"),
                              QStringLiteral("installHandler")}));
    }

    void afterUnregisterPressesProduceNothing()
    {
        auto manager = makeManager();
        manager->registerHotkey();
        m_fake.press(kV, kSuperShift);
        QCOMPARE(manager->hotkeyStream().bufferedCount(), 1u);

        manager->unregisterHotkey();
        m_fake.press(kV, kSuperShift);
        // Even a press that reaches the notification centre another way is not heard.
        m_center.post(HotkeyManager::hotkeyPressedNotification());

        QCOMPARE(manager->hotkeyStream().bufferedCount(), 1u);
        QVERIFY(m_fake.registrations().isEmpty());
        QCOMPARE(m_fake.handlerCount(), 0);
    }

    void destructionReleasesTheRegistration()
    {
        auto manager = makeManager();
        manager->registerHotkey();
        manager.reset();
        QVERIFY(m_fake.registrations().isEmpty());
        QCOMPARE(m_fake.handlerCount(), 0);
        m_center.post(HotkeyManager::hotkeyPressedNotification()); // nothing left to reach
    }

    void updateHotkeyRegistersAndStores()
    {
        auto manager = makeManager();
        manager->registerHotkey();
        QSignalSpy displaySpy(manager.get(), &HotkeyManager::displayStringChanged);

        manager->updateHotkey(kSpace, HotkeyModifier::Control | HotkeyModifier::Option);

        QCOMPARE(manager->displayString(), QStringLiteral("Ctrl+Alt+Space"));
        QVERIFY(displaySpy.count() > 0);
        QCOMPARE(m_fake.registrations().size(), 1);
        QCOMPARE(m_fake.registrations().first(), (FakeGlobalHotkey::Combination{kSpace, 6144u}));
        QSettings reread(settingsPath(), QSettings::IniFormat);
        QCOMPARE(reread.value(QStringLiteral("hotkeyKeyCode")).toLongLong(), 49);
        QCOMPARE(reread.value(QStringLiteral("hotkeyModifiers")).toLongLong(), 6144);

        // A new manager, as at the next start, finds it.
        manager.reset();
        m_fake = FakeGlobalHotkey();
        auto next = makeManager();
        next->loadSavedHotkey();
        QCOMPARE(next->keyCode(), kSpace);
        QCOMPARE(next->modifiers(), 6144u);
    }

    void displayString_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<QString>("expected");

        QTest::addRow("all four, in order")
            << kSpace << 6400u + 512u << "Ctrl+Alt+Shift+Super+Space";
        QTest::addRow("a position without a name") << 10u << 256u << "Super+Key(10)";
        QTest::addRow("no modifiers") << 0u << 0u << "A";
        QTest::addRow("unknown mask bits are not shown") << 0u << (0x1u | 512u) << "Shift+A";
        QTest::addRow("end of the table") << 127u << 256u << "Super+Key(127)";
    }

    void displayString()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(QString, expected);
        QCOMPARE(HotkeyManager::displayString(keyCode, modifiers), expected);
    }

    void streamBuffersUntilTheConsumerStarts()
    {
        auto manager = makeManager();
        manager->registerHotkey();
        m_fake.press(kV, kSuperShift);
        m_fake.press(kV, kSuperShift);
        m_fake.press(kV, kSuperShift);

        int delivered = 0;
        HotkeyStreamTask task(manager->hotkeyStream(), [&] { ++delivered; });
        QCOMPARE(delivered, 0); // delivered by the event loop, not inside the constructor
        QTRY_COMPARE(delivered, 3);
        QCOMPARE(manager->hotkeyStream().bufferedCount(), 0u);
    }

    void consumerHandlesOnePressAtATime()
    {
        HotkeyStream stream;
        int depth = 0;
        int maxDepth = 0;
        int delivered = 0;
        HotkeyStreamTask task(stream, [&] {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            ++delivered;
            if (delivered == 1)
                stream.yield(); // a press while the consumer is busy
            --depth;
        });
        stream.yield();
        QTRY_COMPARE(delivered, 2);
        QCOMPARE(maxDepth, 1);
    }

    void cancelledConsumerGetsNothingMore()
    {
        HotkeyStream stream;
        int delivered = 0;
        HotkeyStreamTask task(stream, [&] { ++delivered; });
        stream.yield();
        // Cancelled after the press was queued but before its turn came.
        task.cancel();
        stream.yield();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(delivered, 0);
        QVERIFY(task.isCancelled());
    }

    void consumerOutlivesItsStream()
    {
        auto stream = std::make_unique<HotkeyStream>();
        int delivered = 0;
        HotkeyStreamTask task(*stream, [&] { ++delivered; });
        stream->yield();
        stream.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(delivered, 0);
    }
};

BRIVET_TEST_CLASS(TestHotkeyManager)
#include "tst_hotkeymanager.moc"
