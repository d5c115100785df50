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

        QTest::addRow("nothing stored: Super+Shift+V") << QByteArray() << kV << kSuperShift << 0;
        QTest::addRow("a mask without a key code is not read")
            << QByteArray("[General]\nhotkeyModifiers=4096\n") << kV << kSuperShift << 0;
        QTest::addRow("a key code without a mask means no modifiers")
            << QByteArray("[General]\nhotkeyKeyCode=0\n") << 0u << 0u << 2;
        QTest::addRow("a stored pair") << QByteArray("[General]\nhotkeyKeyCode=49\n"
                                                     "hotkeyModifiers=6400\n")
                                       << kSpace << 6400u << 2;
        QTest::addRow("the stored values equal the current ones")
            << QByteArray("[General]\nhotkeyKeyCode=9\nhotkeyModifiers=768\n") << kV << kSuperShift
            << 0;
        QTest::addRow("the largest 32-bit values")
            << QByteArray("[General]\nhotkeyKeyCode=4294967295\nhotkeyModifiers=4294967295\n")
            << 4294967295u << 4294967295u << 2;
        QTest::addRow("key code beyond 32 bits")
            << QByteArray("[General]\nhotkeyKeyCode=4294967296\nhotkeyModifiers=256\n") << kV
            << kSuperShift << 0;
        QTest::addRow("mask beyond 32 bits")
            << QByteArray("[General]\nhotkeyKeyCode=0\nhotkeyModifiers=8589934592\n") << kV
            << kSuperShift << 0;
        QTest::addRow("negative key code")
            << QByteArray("[General]\nhotkeyKeyCode=-1\nhotkeyModifiers=256\n") << kV << kSuperShift
            << 0;
        QTest::addRow("negative mask") << QByteArray("[General]\nhotkeyKeyCode=0\n"
                                                     "hotkeyModifiers=-256\n")
                                       << kV << kSuperShift << 0;
        QTest::addRow("key code that is no number")
            << QByteArray("[General]\nhotkeyKeyCode=V\nhotkeyModifiers=256\n") << kV << kSuperShift
            << 0;
        QTest::addRow("key code that is a list")
            << QByteArray("[General]\nhotkeyKeyCode=1, 2\n") << kV << kSuperShift << 0;
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
