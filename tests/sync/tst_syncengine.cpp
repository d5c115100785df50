#include "store/ModelContainer.h"
#include "support/HistoryModelWaits.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "sync/SyncDevice.h"
#include "views/HistoryModel.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <sqlite3.h>

using namespace brivet;
using namespace brivet::test;

namespace {

constexpr qint64 day = 24LL * 3600 * 1000;

// Copies every file of one folder view into another, as a sync service does.
void copyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        QVERIFY(QFile::copy(path, target));
    }
}

QStringList journalFiles(const QString& root)
{
    QStringList files;
    QDirIterator it(root + QStringLiteral("/brivet/devices"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

ClipboardItem textItem(const QString& text, qint64 time)
{
    return textRecord(text, QDateTime::fromMSecsSinceEpoch(time, Qt::UTC));
}

// The texts of a category's pins, in the category's order.
QStringList pinOrder(SyncDevice& device, const QUuid& categoryId)
{
    QStringList texts;
    const QList<Category> categories = device.context().fetch(CategoryFetch{}).value();
    for (const Category& category : categories) {
        if (category.id != categoryId)
            continue;
        const auto pins = device.context().pins(category.persistentId()).value();
        for (const PinOrder::Pin& pin : pins)
            texts << device.context().summary(pin.key.id, 100)->textContent.value();
    }
    return texts;
}

// Moves the pin with this text to row to of its category's order.
void movePin(SyncDevice& device, const Category& category, const QString& text, int to)
{
    const auto pins = device.context().pins(category.persistentId()).value();
    const int from = int(pinOrder(device, category.id).indexOf(text));
    for (const PinOrder::Placement& placement : PinOrder::move(pins, from, to))
        device.context().link(*device.context().summary(placement.item, 0), category,
                              placement.position);
}

qint64 itemCount(SyncDevice& device)
{
    return device.context().count(ItemPredicate::all()).value();
}

// The child of changesSurviveKillsRightAfterSaving: a device that starts its engine on the
// store in the directory, says "ready" once the engine has checked the store, then changes
// its history without end, saying "saved N" after each save. With "publish" after the
// directory, it journals and writes everything instead, says "published" and ends.
int runWriterChild(const QString& argument)
{
    const QString directory = argument.section(QLatin1Char(' '), 0, 0);
    const bool publish = argument.section(QLatin1Char(' '), 1, 1) == QLatin1String("publish");
    SyncSettings settings;
    settings.writeDelay = std::chrono::milliseconds(20);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const SyncKey key = *SyncKey::fromBytes(QByteArray(SyncKey::size, 'c'));
    SyncDevice device(directory, key, now, 0, settings);
    ModelContext& context = device.context();
    QSignalSpy checked(device.engine.get(), &SyncEngine::storeChecked);
    device.engine->start();
    if (!checked.wait(30000))
        return 2;
    QTextStream out(stdout);
    if (publish) {
        if (!device.engine->recordLocalChanges() || !device.engine->writeOutbox())
            return 3;
        out << "published" << Qt::endl;
        return 0;
    }
    out << "ready" << Qt::endl;
    QRandomGenerator random(quint32(QCoreApplication::applicationPid()));
    QTimer changes;
    int saves = 0;
    QObject::connect(&changes, &QTimer::timeout, [&] {
        for (int i = 0; i < 3; ++i) {
            const QList<ClipboardItem> items =
                context.fetch(ItemFetch{ItemPredicate::all(), ItemFetch::Order::NewestFirst, 20})
                    .value();
            QList<Category> categories = context.fetch(CategoryFetch{}).value();
            categories.removeIf([](const Category& category) { return category.isDefault; });
            const int choice = random.bounded(10);
            if (choice < 3 || items.isEmpty()) {
                ClipboardItem item =
                    textItem(QStringLiteral("copy %1.%2").arg(saves).arg(i), now + saves);
                context.insert(item);
            } else if (choice < 6) {
                ClipboardItem item = items.at(random.bounded(int(items.size())));
                item.timestamp = item.timestamp.addMSecs(random.bounded(1, 100000));
                context.update(item);
            } else if (choice < 7 || categories.isEmpty()) {
                Category category(QStringLiteral("Category %1").arg(saves),
                                  QStringLiteral("#FF9500"), saves, false);
                context.insert(category);
            } else if (choice < 8) {
                Category category = categories.at(random.bounded(int(categories.size())));
                category.name = QStringLiteral("Renamed %1").arg(saves);
                context.update(category);
            } else if (choice < 9) {
                context.link(items.at(random.bounded(int(items.size()))),
                             categories.at(random.bounded(int(categories.size()))));
            } else {
                context.remove(items.at(random.bounded(int(items.size()))));
            }
        }
        if (!context.save())
            QCoreApplication::exit(4);
        out << "saved " << ++saves << Qt::endl;
    });
    changes.start(0);
    return QCoreApplication::exec();
}

const brivet::test::Registration writerChild("BRIVET_SYNC_WRITER_CHILD", runWriterChild);

} // namespace

class TestSyncEngine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void unreadableSegmentWaitsUntilWhole_data();
    void unreadableSegmentWaitsUntilWhole();
    void mergedChangesAreNotJournalledAgain();
    void mergeReachesTheHistoryModelInSlices();
    void snapshotKeepsHistoryAndRecentTombstones();
    void runningEngineCompactsPastItsSegmentLimit();
    void changesSurviveKillsRightAfterSaving();
    void pinOrderMergesLastWriterWins();
    void olderStateFileIsUpgraded();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    qint64 m_now = 1'780'000'000'000;
    SyncKey m_key = SyncKey::random();
};

void TestSyncEngine::init()
{
    m_root = std::make_unique<QTemporaryDir>();
}

void TestSyncEngine::unreadableSegmentWaitsUntilWhole_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addRow("cut short") << "truncate";
    QTest::addRow("one byte changed") << "flip";
    QTest::addRow("renamed to another sequence") << "rename";
    QTest::addRow("image or formatting not arrived yet") << "blob";
    QTest::addRow("sealed with another key") << "key";
}

// A segment that is half-synced, damaged, misplaced or missing its bytes is applied not at
// all, not in part, and whole once the right file is there.
void TestSyncEngine::unreadableSegmentWaitsUntilWhole()
{
    QFETCH(QString, damage);
    SyncDevice writer(m_root->filePath(QStringLiteral("a")),
                      damage == "key" ? SyncKey::random() : m_key, m_now, 0);
    SyncDevice reader(m_root->filePath(QStringLiteral("b")), m_key, m_now, 0);
    ClipboardItem text = textItem(QStringLiteral("first"), m_now);
    text.representations.insert(QStringLiteral("text/html"), Blob(QByteArray("<b>first</b>")));
    writer.context().insert(text);
    ClipboardItemContent content;
    content.contentType = QStringLiteral("image");
    content.imageData = QByteArray(5000, 'p');
    ClipboardItem image(content);
    writer.context().insert(image);
    QVERIFY(writer.publish());
    copyFolder(writer.folderRoot, reader.folderRoot);

    const QStringList segments = journalFiles(reader.folderRoot);
    QCOMPARE(segments.size(), 1);
    QFile segment(segments.first());
    QVERIFY(segment.open(QIODevice::ReadWrite));
    QByteArray bytes = segment.readAll();
    segment.close();
    if (damage == "truncate") {
        QVERIFY(segment.resize(bytes.size() - 20));
    } else if (damage == "flip") {
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
        QVERIFY(segment.open(QIODevice::WriteOnly));
        segment.write(bytes);
        segment.close();
    } else if (damage == "rename") {
        QVERIFY(
            segment.rename(QFileInfo(segments.first()).dir().filePath(QStringLiteral("7.log"))));
    } else if (damage == "blob") {
        QVERIFY(QDir(reader.folderRoot + QStringLiteral("/brivet/blobs")).removeRecursively());
    }

    QCOMPARE(reader.engine->mergeNow(), 0);
    QCOMPARE(itemCount(reader), 0);
    if (damage == "key")
        return; // never readable with this key
    if (damage == "rename")
        QVERIFY(QFile::remove(QFileInfo(segments.first()).dir().filePath(QStringLiteral("7.log"))));
    copyFolder(writer.folderRoot, reader.folderRoot);
    QCOMPARE(reader.engine->mergeNow(), 2);
    QVERIFY(StoreContents::of(reader.context()) == StoreContents::of(writer.context()));
}

// What a merge wrote into the store is the other device's change, not this one's: it does not
// go back into this device's journal.
void TestSyncEngine::mergedChangesAreNotJournalledAgain()
{
    SyncDevice writer(m_root->filePath(QStringLiteral("a")), m_key, m_now, 0);
    SyncDevice reader(m_root->filePath(QStringLiteral("b")), m_key, m_now, 0);
    Category category(QStringLiteral("Work"), QStringLiteral("#FF9500"), 1, false);
    writer.context().insert(category);
    for (int i = 0; i < 3; ++i) {
        ClipboardItem item = textItem(QStringLiteral("copy %1").arg(i), m_now + i);
        writer.context().insert(item);
        writer.context().link(item, category);
    }
    QVERIFY(writer.publish());
    copyFolder(writer.folderRoot, reader.folderRoot);
    QCOMPARE(reader.engine->mergeNow(), 7);
    QVERIFY(reader.publish());
    QCOMPARE(journalFiles(reader.folderRoot).size(), 1); // the writer's segment only

    // A later change to a merged record journals that change alone.
    ClipboardItem promoted = reader.context().fetch(ItemFetch{}).value().last();
    promoted.timestamp = promoted.timestamp.addSecs(60);
    reader.context().update(promoted);
    QVERIFY(reader.publish());
    const SyncFolder folder(reader.folderRoot, m_key, reader.state->device());
    std::vector<SyncOperation> own;
    for (const SyncFolder::Segment& segment : folder.segments())
        if (segment.device == folder.deviceName())
            own = folder.read(segment).value().operations;
    QCOMPARE(own.size(), size_t(1));
    QCOMPARE(own.front().fields.keys(), QList<QCborValue>{QStringLiteral("timestamp")});
}

// A merge applied from the event loop reaches a live history model through the store's own
// change notices, one slice at a time.
void TestSyncEngine::mergeReachesTheHistoryModelInSlices()
{
    SyncSettings settings;
    settings.sliceBudget = std::chrono::milliseconds(1);
    SyncDevice writer(m_root->filePath(QStringLiteral("a")), m_key, m_now, 0);
    SyncDevice reader(m_root->filePath(QStringLiteral("b")), m_key, m_now, 0, settings);
    constexpr int count = 400;
    for (int i = 0; i < count; ++i) {
        ClipboardItem item = textItem(QStringLiteral("copy %1").arg(i), m_now + i);
        writer.context().insert(item);
    }
    QVERIFY(writer.publish());
    copyFolder(writer.folderRoot, reader.folderRoot);

    HistoryModel model(*reader.container);
    QVERIFY(test::waitForSearch(model));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    // Which turn of the event loop each change notice came in.
    int turn = 0;
    std::set<int> turnsWithNotices;
    QTimer turns;
    turns.setInterval(0);
    connect(&turns, &QTimer::timeout, this, [&turn] { ++turn; });
    connect(&reader.context(), &ModelContext::changed, this,
            [&] { turnsWithNotices.insert(turn); });
    turns.start();
    QSignalSpy finished(reader.engine.get(), &SyncEngine::mergeFinished);
    reader.engine->scheduleMerge();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toInt(), count);
    QCOMPARE(model.rowCount(), count);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(inserted.count(), count);
    QVERIFY2(turnsWithNotices.size() > 1, "applied in one go");
    QCOMPARE(model.data(model.index(0), HistoryModel::PreviewTextRole).toString(),
             QStringLiteral("copy %1").arg(count - 1));
}

// A snapshot replaces a device's segments: a device that starts from it gets the same history,
// and a deletion younger than the tombstones' lifetime stays deleted even when the deleted
// record's old segment turns up late.
void TestSyncEngine::snapshotKeepsHistoryAndRecentTombstones()
{
    SyncDevice writer(m_root->filePath(QStringLiteral("a")), m_key, m_now, 0);
    ClipboardItem kept = textItem(QStringLiteral("kept"), m_now);
    ClipboardItem gone = textItem(QStringLiteral("gone"), m_now);
    writer.context().insert(kept);
    writer.context().insert(gone);
    QVERIFY(writer.publish());
    const QString staleCopy = m_root->filePath(QStringLiteral("stale"));
    copyFolder(writer.folderRoot, staleCopy);
    writer.context().remove(gone);
    kept.timestamp = kept.timestamp.addSecs(60);
    writer.context().update(kept);
    QVERIFY(writer.publish());

    m_now += 89 * day;
    QVERIFY(writer.engine->compact());
    QCOMPARE(journalFiles(writer.folderRoot).size(), 1);

    SyncDevice fresh(m_root->filePath(QStringLiteral("c")), m_key, m_now, 0);
    copyFolder(writer.folderRoot, fresh.folderRoot);
    QVERIFY(fresh.engine->mergeNow().has_value());
    copyFolder(staleCopy, fresh.folderRoot); // the first segment again, delivered late
    QVERIFY(fresh.engine->mergeNow().has_value());
    QVERIFY(StoreContents::of(fresh.context()) == StoreContents::of(writer.context()));
    QCOMPARE(itemCount(fresh), 1);
}

// A running engine writes its segments on a worker as changes come, a new image's blob
// first; past its segment limit it folds the journal into a snapshot by itself. A device
// that starts from the folder then gets the same history. A blob that goes missing from the
// folder while its record lives is written again by the device that holds its bytes.
void TestSyncEngine::runningEngineCompactsPastItsSegmentLimit()
{
    SyncSettings settings;
    settings.writeDelay = std::chrono::milliseconds(1);
    settings.segmentsBeforeCompaction = 4;
    SyncDevice writer(m_root->filePath(QStringLiteral("a")), m_key, m_now, 0, settings);
    writer.context().setAutosaveEnabled(true);
    QSignalSpy checked(writer.engine.get(), &SyncEngine::storeChecked);
    QSignalSpy written(writer.engine.get(), &SyncEngine::segmentWritten);
    QSignalSpy compacted(writer.engine.get(), &SyncEngine::compacted);
    writer.engine->start();
    QVERIFY(checked.wait(10000));
    ClipboardItemContent content;
    content.contentType = QStringLiteral("image");
    content.imageData = QByteArray(300000, 'p');
    ClipboardItem image(content, QDateTime::fromMSecsSinceEpoch(m_now, Qt::UTC));
    writer.context().insert(image);
    for (int i = 0; compacted.isEmpty() && i < 20; ++i) {
        ClipboardItem item = textItem(QStringLiteral("copy %1").arg(i), m_now + i);
        writer.context().insert(item);
        const qsizetype before = written.size();
        QTRY_VERIFY_WITH_TIMEOUT(written.size() > before, 10000);
    }
    QCOMPARE(compacted.size(), 1);
    QVERIFY(written.last().at(1).toBool()); // the snapshot
    QVERIFY(journalFiles(writer.folderRoot).size() <= 2);

    SyncDevice fresh(m_root->filePath(QStringLiteral("b")), m_key, m_now, 0);
    copyFolder(writer.folderRoot, fresh.folderRoot);
    QVERIFY(fresh.engine->mergeNow().has_value());
    QVERIFY(StoreContents::of(fresh.context()) == StoreContents::of(writer.context()));
    QCOMPARE(itemCount(fresh), itemCount(writer));

    // A blob of a live record removed from the folder (by another device that had not seen the
    // record) is written again soon, long before the hourly check.
    QDir blobs(writer.folderRoot + QStringLiteral("/brivet/blobs"));
    QCOMPARE(blobs.entryList(QDir::Files).size(), 1);
    const QString name = blobs.entryList(QDir::Files).first();
    QVERIFY(blobs.remove(name));
    QTRY_VERIFY_WITH_TIMEOUT(blobs.exists(name), 15000);
}

// A device killed again and again right after saving changes (before, while or after
// journalling them) loses none of them: what it has saved is what another device gets.
void TestSyncEngine::changesSurviveKillsRightAfterSaving()
{
    const QString directory = m_root->filePath(QStringLiteral("killed"));
    QVERIFY(QDir().mkpath(directory));
    auto run = [&](const QString& mode) {
        auto child = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BRIVET_SYNC_WRITER_CHILD"), directory + mode);
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
        child->setProcessEnvironment(environment);
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(), {});
        return child;
    };
    // Lines of the child's output until one starts with the prefix; false when it ended first.
    auto waitFor = [](QProcess& child, const QByteArray& prefix) {
        while (true) {
            while (child.canReadLine())
                if (child.readLine().startsWith(prefix))
                    return true;
            if (!child.waitForReadyRead(30000))
                return false;
        }
    };
    QRandomGenerator random(20261207);
    for (int round = 0; round < 12; ++round) {
        auto child = run(QString());
        QVERIFY2(waitFor(*child, "ready"), "the writer did not start");
        const int saves = random.bounded(1, 40);
        QVERIFY(waitFor(*child, "saved " + QByteArray::number(saves)));
        child->kill();
        QVERIFY(child->waitForFinished(10000));
    }
    auto child = run(QStringLiteral(" publish"));
    QVERIFY2(waitFor(*child, "published"), "the writer did not publish");
    QVERIFY(child->waitForFinished(10000));
    QCOMPARE(child->exitCode(), 0);

    auto opened = ModelContainer::create(directory + QStringLiteral("/BrivetCloud.sqlite"));
    auto* killed = std::get_if<std::unique_ptr<ModelContainer>>(&opened);
    QVERIFY(killed);
    const qint64 now = QDateTime::currentMSecsSinceEpoch(); // the writer's clock
    SyncDevice reader(m_root->filePath(QStringLiteral("reader")),
                      *SyncKey::fromBytes(QByteArray(SyncKey::size, 'c')), now, 0);
    copyFolder(directory + QStringLiteral("/folder"), reader.folderRoot);
    QVERIFY(reader.engine->mergeNow().has_value());
    const StoreContents saved = StoreContents::of((*killed)->mainContext());
    QVERIFY(saved.items.size() > 12);
    QVERIFY2(StoreContents::of(reader.context()) == saved, "a saved change was not journalled");
}

// Pins keep their order on the other device, and a move is a write of the pin like any other:
// the later one wins, on every device.
void TestSyncEngine::pinOrderMergesLastWriterWins()
{
    SyncDevice a(m_root->filePath(QStringLiteral("a")), m_key, m_now, 0);
    SyncDevice b(m_root->filePath(QStringLiteral("b")), m_key, m_now, 0);
    Category work(QStringLiteral("Work"), QStringLiteral("#FF9500"), 1, false);
    a.context().insert(work);
    for (const char* text : {"one", "two", "three"}) {
        ClipboardItem item = textItem(QString::fromLatin1(text), m_now);
        a.context().insert(item);
        a.context().link(item, work);
    }
    QVERIFY(a.publish());
    movePin(a, work, QStringLiteral("one"), 0);
    QVERIFY(a.publish());
    copyFolder(a.folderRoot, b.folderRoot);
    QVERIFY(b.engine->mergeNow().has_value());
    QCOMPARE(pinOrder(b, work.id), QStringList({"one", "three", "two"}));

    // Both move "two"; b moves later.
    movePin(a, work, QStringLiteral("two"), 0);
    QVERIFY(a.publish());
    m_now += 5000;
    movePin(b, work, QStringLiteral("two"), 1);
    QVERIFY(b.publish());
    copyFolder(a.folderRoot, b.folderRoot);
    copyFolder(b.folderRoot, a.folderRoot);
    QVERIFY(a.engine->mergeNow().has_value());
    QVERIFY(b.engine->mergeNow().has_value());
    QCOMPARE(pinOrder(a, work.id), QStringList({"one", "two", "three"}));
    QVERIFY(StoreContents::of(a.context()) == StoreContents::of(b.context()));
}

// A sync state written before pins had positions opens, its pins kept, and keeps positions.
// A state file from before pins had places and before merged segments kept how far their
// writers had come: opened, it keeps its pins and merged segments, and then counts how far each
// device's journal has been merged without a gap.
void TestSyncEngine::olderStateFileIsUpgraded()
{
    const QString path = m_root->filePath(QStringLiteral("sync.sqlite"));
    const QUuid item = QUuid::createUuid(), category = QUuid::createUuid();
    const QByteArray device(16, '\xaa'), other(16, '\xbb');
    sqlite3* db = nullptr;
    const QByteArray sql =
        "CREATE TABLE Membership(item BLOB NOT NULL, category BLOB NOT NULL, stamp BLOB NOT NULL, "
        "present INTEGER NOT NULL, PRIMARY KEY(item, category)) WITHOUT ROWID; "
        "INSERT INTO Membership VALUES(x'" +
        item.toRfc4122().toHex() + "', x'" + category.toRfc4122().toHex() +
        "', x'00', 1); "
        "CREATE TABLE Applied(device TEXT NOT NULL, sequence INTEGER NOT NULL, "
        "PRIMARY KEY(device, sequence)) WITHOUT ROWID; "
        "INSERT INTO Applied VALUES('" +
        device.toHex() + "', 1)";
    QVERIFY(sqlite3_open(QFile::encodeName(path), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_close(db);
    QString error;
    const auto state = SyncState::open(path, &error);
    QVERIFY2(state, qPrintable(error));
    const auto before = state->membership(item, category);
    QVERIFY(before && before->present && !before->position);
    QVERIFY(state->begin());
    state->putMembership({item, category, {}, true, 42});
    QVERIFY(state->commit());
    const auto after = state->membership(item, category);
    QVERIFY(after && after->position == 42);

    const QString name = QString::fromLatin1(device.toHex());
    const auto progress = SyncState::readProgress(path, &error);
    QVERIFY2(progress, qPrintable(error));
    QVERIFY(progress->applied.contains(name + QStringLiteral("/1")));
    auto merge = [&](quint64 sequence, SegmentReach reach) {
        QVERIFY(state->begin());
        state->markApplied(name, sequence, reach);
        QVERIFY(state->commit());
    };
    auto coverage = [&] { return SyncState::readProgress(path, &error).value().coverage; };
    merge(2, {500, false, {}});
    QCOMPARE(coverage()[device], 500u);
    merge(4, {900, false, {}}); // segment 3 not merged yet
    QCOMPARE(coverage()[device], 500u);
    merge(5, {1000, true, {{other, 70}}}); // a snapshot stands for every earlier segment
    QCOMPARE(coverage()[device], 1000u);
    QCOMPARE(coverage()[other], 70u);
    QCOMPARE(SyncState::read(path, &error)->coverage, coverage());
}

BRIVET_TEST_CLASS(TestSyncEngine)
#include "tst_syncengine.moc"
