#include "fakes/FakeSecretStore.h"
#include "store/ModelContainer.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "sync/SyncService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <sys/stat.h>

using namespace brivet;

namespace {

std::unique_ptr<ModelContainer> openStore(const QString& path)
{
    auto created = ModelContainer::create(path);
    return std::holds_alternative<std::unique_ptr<ModelContainer>>(created)
               ? std::move(std::get<std::unique_ptr<ModelContainer>>(created))
               : nullptr;
}

bool unlock(SyncService& service, const QString& passphrase)
{
    QSignalSpy busy(&service, &SyncService::busyChanged);
    service.setPassphrase(passphrase);
    return busy.wait(30000) && (service.isBusy() ? busy.wait(30000) : true) && !service.isBusy();
}

} // namespace

class TestSyncService : public QObject
{
    Q_OBJECT
private slots:
    void passphraseUnlocksTheFolderOrSaysWhyNot();
    void keyIsKeptInTheSecretServiceElseInTheSettingsFile_data();
    void keyIsKeptInTheSecretServiceElseInTheSettingsFile();
    void secondKeyFileStopsSyncUntilRemoved();
    void devicesSettingUpOneFolderAtOnceShareOneKey();
};

// Two devices share a folder: the second reads nothing with a wrong passphrase, says so, and
// keeps no key; with the right one it is active and gets the first device's history. The key
// lives in a settings file only its owner may read, and the passphrase nowhere.
void TestSyncService::passphraseUnlocksTheFolderOrSaysWhyNot()
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Sync"));
    QVERIFY(QDir().mkpath(folder));
    const QString passphrase = QStringLiteral("correct horse battery");

    auto storeA = openStore(root.filePath(QStringLiteral("a/BrivetCloud.sqlite")));
    QSettings settingsA(root.filePath(QStringLiteral("a/brivet.conf")), QSettings::IniFormat);
    SyncService a(storeA->mainContext(), root.filePath(QStringLiteral("a")), settingsA);
    QCOMPARE(a.status(), SyncService::Status::Unavailable);
    a.chooseFolder(QUrl::fromLocalFile(folder));
    QCOMPARE(a.status(), SyncService::Status::Unavailable);
    QVERIFY(unlock(a, passphrase));
    QCOMPARE(a.status(), SyncService::Status::Active);
    ClipboardItem item = test::textRecord(QStringLiteral("from the laptop"));
    storeA->mainContext().insert(item);
    QVERIFY(storeA->mainContext().save());
    a.flush();

    auto storeB = openStore(root.filePath(QStringLiteral("b/BrivetCloud.sqlite")));
    QSettings settingsB(root.filePath(QStringLiteral("b/brivet.conf")), QSettings::IniFormat);
    auto service = std::make_unique<SyncService>(storeB->mainContext(),
                                                 root.filePath(QStringLiteral("b")), settingsB);
    SyncService& b = *service;
    b.chooseFolder(QUrl::fromLocalFile(folder));
    QVERIFY(unlock(b, QStringLiteral("wrong horse")));
    QCOMPARE(b.status(), SyncService::Status::Unavailable);
    QCOMPARE(b.message(), QStringLiteral("The passphrase does not match this sync folder."));
    QVERIFY(!b.hasKey());
    QCOMPARE(storeB->mainContext().count(ItemPredicate::all()), 0);

    QVERIFY(unlock(b, passphrase));
    QCOMPARE(b.status(), SyncService::Status::Active);
    QVERIFY(b.message().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(storeB->mainContext().count(ItemPredicate::all()), 1, 10000);
    QCOMPARE(storeB->mainContext().fetch(ItemFetch{}).value().first().textContent,
             item.textContent);

    // The next start finds the folder and the key where this one left them.
    service.reset();
    SyncService restarted(storeB->mainContext(), root.filePath(QStringLiteral("b")), settingsB);
    QCOMPARE(restarted.status(), SyncService::Status::Active);

    // Stopping forgets the folder and the key here; the folder and the history stay, and the
    // folder chosen again asks for the passphrase.
    restarted.stopSyncing();
    QCOMPARE(restarted.status(), SyncService::Status::Unavailable);
    QVERIFY(restarted.folder().isEmpty() && !restarted.hasKey());
    QVERIFY(!settingsB.contains(QStringLiteral("syncFolder")) &&
            !settingsB.contains(QStringLiteral("syncKey")));
    QCOMPARE(storeB->mainContext().count(ItemPredicate::all()), 1);
    QVERIFY(QFile::exists(folder + QStringLiteral("/brivet/key.json")));
    restarted.chooseFolder(QUrl::fromLocalFile(folder));
    QCOMPARE(restarted.status(), SyncService::Status::Unavailable);
    QCOMPARE(restarted.message(), QStringLiteral("Enter the passphrase of the sync folder."));
    QVERIFY(unlock(restarted, passphrase));
    QCOMPARE(restarted.status(), SyncService::Status::Active);

    settingsB.setValue(QStringLiteral("hotkeyKeyCode"), 9); // other settings written later
    settingsB.sync();
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(settingsB.fileName()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
    QFile file(settingsB.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains(passphrase.toUtf8()));
}

void TestSyncService::keyIsKeptInTheSecretServiceElseInTheSettingsFile_data()
{
    QTest::addColumn<bool>("serviceAtUnlock");
    QTest::addColumn<bool>("serviceAtRestart");
    QTest::addColumn<bool>("keyInSettings");
    QTest::newRow("secret service") << true << true << false;
    QTest::newRow("no secret service") << false << false << true;
    QTest::newRow("moved once a secret service runs") << false << true << false;
}

// With a secret service the key goes there and not into the settings file (a key left there
// by a start without one moves over); without one the settings file keeps it. Either way the
// next start syncs again without the passphrase.
void TestSyncService::keyIsKeptInTheSecretServiceElseInTheSettingsFile()
{
    QFETCH(bool, serviceAtUnlock);
    QFETCH(bool, serviceAtRestart);
    QFETCH(bool, keyInSettings);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Sync"));
    QVERIFY(QDir().mkpath(folder));
    auto store = openStore(root.filePath(QStringLiteral("BrivetCloud.sqlite")));
    QSettings settings(root.filePath(QStringLiteral("brivet.conf")), QSettings::IniFormat);
    FakeSecretStore secrets;
    secrets.setAvailable(serviceAtUnlock);
    auto service =
        std::make_unique<SyncService>(store->mainContext(), root.path(), settings, &secrets);
    service->chooseFolder(QUrl::fromLocalFile(folder));
    QVERIFY(unlock(*service, QStringLiteral("correct horse battery")));
    QTRY_VERIFY(settings.contains(QStringLiteral("syncKey")) || !secrets.secrets().isEmpty());
    service.reset();

    secrets.setAvailable(serviceAtRestart);
    SyncService restarted(store->mainContext(), root.path(), settings, &secrets);
    QTRY_COMPARE(restarted.status(), SyncService::Status::Active);
    QTRY_COMPARE(settings.contains(QStringLiteral("syncKey")), keyInSettings);
    QCOMPARE(secrets.secrets().size(), keyInSettings ? 0 : 1);
    QFile file(settings.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().contains("syncKey"), keyInSettings);

    restarted.stopSyncing(); // the key goes from wherever it was kept
    QTRY_VERIFY(secrets.secrets().isEmpty());
    QVERIFY(!settings.contains(QStringLiteral("syncKey")));
}

// A second key file (a file-sync service's copy of one that two devices wrote at once) stops
// sync, says which file to remove, and nothing is written to the folder until it is gone.
void TestSyncService::secondKeyFileStopsSyncUntilRemoved()
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Sync"));
    QVERIFY(QDir().mkpath(folder));
    auto store = openStore(root.filePath(QStringLiteral("BrivetCloud.sqlite")));
    QSettings settings(root.filePath(QStringLiteral("brivet.conf")), QSettings::IniFormat);
    SyncService service(store->mainContext(), root.path(), settings);
    service.chooseFolder(QUrl::fromLocalFile(folder));
    QVERIFY(unlock(service, QStringLiteral("correct horse battery")));
    QCOMPARE(service.status(), SyncService::Status::Active);

    const QString copy = QStringLiteral("key.sync-conflict-20261207-101010-ABCDEFG.json");
    QVERIFY(QFile::copy(folder + QStringLiteral("/brivet/key.json"),
                        folder + QStringLiteral("/brivet/") + copy));
    QTRY_COMPARE_WITH_TIMEOUT(service.status(), SyncService::Status::Unavailable, 10000);
    QVERIFY2(service.message().contains(copy), qPrintable(service.message()));
    ClipboardItem item = test::textRecord(QStringLiteral("copied meanwhile"));
    store->mainContext().insert(item);
    QVERIFY(store->mainContext().save());
    service.flush();
    QVERIFY(!QDir(folder + QStringLiteral("/brivet/devices")).exists() ||
            QDir(folder + QStringLiteral("/brivet/devices"))
                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                .isEmpty());

    QVERIFY(QFile::remove(folder + QStringLiteral("/brivet/") + copy));
    QTRY_COMPARE_WITH_TIMEOUT(service.status(), SyncService::Status::Active, 10000);
    // The change saved meanwhile is found at the engine's start and written.
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder + QStringLiteral("/brivet/devices"))
                                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                  .isEmpty(),
                             10000);
}

// Two devices that set a passphrase on one empty folder at the same moment end with the same
// key: the key file is created once and never replaced.
void TestSyncService::devicesSettingUpOneFolderAtOnceShareOneKey()
{
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("brivet"))));
    const QString keyFile = SyncFolder::keyFilePath(root.path());
    const QString passphrase = QStringLiteral("correct horse battery");
    auto first = QtConcurrent::run(&SyncKeyFile::unlock, keyFile, passphrase, false);
    auto second = QtConcurrent::run(&SyncKeyFile::unlock, keyFile, passphrase, false);
    const auto a = first.result();
    const auto b = second.result();
    QVERIFY(std::holds_alternative<SyncKey>(a) && std::holds_alternative<SyncKey>(b));
    QCOMPARE(std::get<SyncKey>(a).bytes(), std::get<SyncKey>(b).bytes());
    QVERIFY(SyncKeyFile::matches(keyFile, std::get<SyncKey>(a)));
    QCOMPARE(QDir(root.filePath(QStringLiteral("brivet"))).entryList(QDir::Files),
             QStringList{QStringLiteral("key.json")});
}

BRIVET_TEST_CLASS(TestSyncService)
#include "tst_syncservice.moc"
