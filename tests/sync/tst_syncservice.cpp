#include "fakes/FakeSecretStore.h"
#include "store/ModelContainer.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "sync/SyncService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
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
}

BRIVET_TEST_CLASS(TestSyncService)
#include "tst_syncservice.moc"
