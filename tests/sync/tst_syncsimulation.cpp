// Three devices, three real stores, and a simulated file-sync service between their folder
// views that delivers finished files late, in random order, sometimes half-written first, and
// not at all to a device that is away; removals pass on like new files. One device's clock
// runs days ahead. Random history work on every device, then quiet: all stores must hold the
// same records, categories and pins (in the same order), with nothing lost and nothing deleted
// back, and every blob a live record names in every folder view. Then longer than a tombstone
// lives: the blobs of records deleted before are collected and stay collected while work goes
// on; a device away that long deletes what the others deleted meanwhile, and brings nothing
// deleted back.
#include "sync/SyncDevice.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace brivet;
using namespace brivet::test;

namespace {

constexpr int deviceCount = 3;
constexpr qint64 day = 24LL * 3600 * 1000;
const QByteArray secret = QByteArrayLiteral("sk_live_4f9TQmX2vB7secretTOKEN");

// A file-sync service between folder views: every finished file one view has and another
// lacks is sent after a random delay; a device's journal files that its owner removed are
// removed elsewhere. A file may arrive cut short first and whole later.
class SimulatedSyncService
{
public:
    SimulatedSyncService(std::vector<QString> roots, QRandomGenerator& random)
        : m_roots(std::move(roots)), m_random(random), m_online(m_roots.size(), true)
    {}

    void setOnline(size_t device, bool online) { m_online[device] = online; }
    bool isOnline(size_t device) const { return m_online[device]; }

    // One tick of the service: passes removals on, finds new files, delivers those whose time
    // has come.
    void step(qint64 now)
    {
        passRemovalsOn();
        for (size_t from = 0; from < m_roots.size(); ++from) {
            if (!m_online[from])
                continue;
            for (const QString& file : files(m_roots[from])) {
                for (size_t to = 0; to < m_roots.size(); ++to) {
                    const QString key = QString::number(to) + QLatin1Char(':') + file;
                    if (to == from || m_pending.contains(key) || QFile::exists(m_roots[to] + file))
                        continue;
                    m_pending.insert(key, {from, to, file, now + m_random.bounded(1, 400),
                                           m_random.bounded(10) == 0});
                }
            }
        }
        std::vector<QString> due;
        for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
            if (it->due <= now && m_online[it->from] && m_online[it->to])
                due.push_back(it.key());
        // Random order of arrival.
        for (size_t i = due.size(); i > 1; --i)
            std::swap(due[i - 1], due[m_random.bounded(quint32(i))]);
        for (const QString& key : due)
            deliver(key, now);
        for (size_t view = 0; view < m_roots.size(); ++view) {
            if (!m_online[view])
                continue;
            const QStringList found = files(m_roots[view]);
            m_seen[view] = QSet<QString>(found.begin(), found.end());
        }
    }

    // Delivers everything now, whole.
    void drain(qint64 now)
    {
        for (int round = 0; round < 3; ++round) {
            step(now);
            for (auto& transfer : m_pending)
                transfer.due = now, transfer.partial = false;
            step(now);
        }
    }

    bool idle() const { return m_pending.isEmpty(); }

private:
    struct Transfer
    {
        size_t from;
        size_t to;
        QString file;
        qint64 due;
        bool partial;
    };

    static QStringList files(const QString& root)
    {
        QStringList found;
        QDirIterator it(root + QStringLiteral("/brivet"), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.endsWith(QLatin1String(".partial")))
                found.append(path.mid(root.size()));
        }
        return found;
    }

    void deliver(const QString& key, qint64 now)
    {
        Transfer transfer = m_pending.value(key);
        QFile source(m_roots[transfer.from] + transfer.file);
        if (!source.open(QIODevice::ReadOnly)) { // removed since (a compacted segment)
            m_pending.remove(key);
            return;
        }
        QByteArray bytes = source.readAll();
        const QString target = m_roots[transfer.to] + transfer.file;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (transfer.partial) {
            bytes.truncate(bytes.size() / 2); // a half-synced file under its final name
            m_pending[key].partial = false;
            m_pending[key].due = now + m_random.bounded(1, 400);
        } else {
            m_pending.remove(key);
        }
        QFile out(target);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }

    // A file removed from one view (a compacted segment, a collected blob) goes from the
    // others too, once each is online; a transfer of it that had not ended is dropped.
    void passRemovalsOn()
    {
        for (size_t view = 0; view < m_roots.size(); ++view) {
            if (!m_online[view])
                continue;
            const QStringList found = files(m_roots[view]);
            const QSet<QString> now(found.begin(), found.end());
            for (const QString& file : std::as_const(m_seen[view])) {
                if (now.contains(file))
                    continue;
                for (size_t other = 0; other < m_roots.size(); ++other)
                    if (other != view)
                        m_removals[other].insert(file);
                for (auto it = m_pending.begin(); it != m_pending.end();)
                    it = it->file == file ? m_pending.erase(it) : std::next(it);
            }
            m_seen[view] = now;
        }
        for (size_t view = 0; view < m_roots.size(); ++view) {
            if (!m_online[view])
                continue;
            for (const QString& file : std::as_const(m_removals[view]))
                QFile::remove(m_roots[view] + file);
            m_removals[view].clear();
        }
    }

private:
    std::vector<QString> m_roots;
    QRandomGenerator& m_random;
    std::vector<bool> m_online;
    QMap<QString, Transfer> m_pending; // ordered: the same run each time
    std::vector<QSet<QString>> m_seen = std::vector<QSet<QString>>(deviceCount);
    std::vector<QSet<QString>> m_removals = std::vector<QSet<QString>>(deviceCount);
};

QSet<QString> blobsIn(const QString& root)
{
    const QStringList names = QDir(root + QStringLiteral("/brivet/blobs")).entryList(QDir::Files);
    return QSet<QString>(names.begin(), names.end());
}

qint64 folderBytes(const QString& root)
{
    qint64 bytes = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

} // namespace

class TestSyncSimulation : public QObject
{
    Q_OBJECT
private slots:
    void randomHistoryWorkConverges();
};

void TestSyncSimulation::randomHistoryWorkConverges()
{
    const int operations = qEnvironmentVariableIntValue("BRIVET_SYNC_SIMULATION_OPS") > 0
                               ? qEnvironmentVariableIntValue("BRIVET_SYNC_SIMULATION_OPS")
                               : 2000;
    const quint32 seed = qEnvironmentVariableIsSet("BRIVET_SYNC_SIMULATION_SEED")
                             ? quint32(qEnvironmentVariableIntValue("BRIVET_SYNC_SIMULATION_SEED"))
                             : 20261207;
    QRandomGenerator random(seed);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const SyncKey key = *SyncKey::fromBytes(QByteArray(SyncKey::size, 'k'));
    qint64 now = 1'780'000'000'000;
    std::vector<std::unique_ptr<SyncDevice>> devices;
    std::vector<QString> roots;
    std::vector<std::unique_ptr<QSignalSpy>> aheadSpies;
    for (int i = 0; i < deviceCount; ++i) {
        // Clocks that disagree by up to a few seconds, as real ones do; the last one runs
        // three days ahead.
        const qint64 skew = i == deviceCount - 1 ? 3 * day : qint64(i) * 1700 - 1500;
        devices.push_back(std::make_unique<SyncDevice>(root.filePath(QString::number(i)), key, now,
                                                       skew, SyncSettings{}, i + 1));
        roots.push_back(devices.back()->folderRoot);
        aheadSpies.push_back(
            std::make_unique<QSignalSpy>(devices.back()->engine.get(), &SyncEngine::clockAhead));
    }
    SimulatedSyncService service(roots, random);

    std::set<QUuid> created, deleted, createdCategories, deletedCategories;
    std::vector<QByteArray> images;
    auto randomUuid = [&random] {
        QUuid id;
        id.data1 = random.generate();
        id.data2 = quint16(random.generate());
        id.data3 = quint16((random.generate() & 0x0fff) | 0x4000);
        for (uchar& b : id.data4)
            b = uchar(random.generate());
        return id;
    };

    QElapsedTimer elapsed;
    elapsed.start();
    int step = 0;
    // away: a device kept off the file-sync service all along (it works on offline).
    auto work = [&](int steps, std::optional<size_t> away = std::nullopt) {
        for (const int end = step + steps; step < end; ++step) {
            now += random.bounded(1, 60);
            const size_t d = random.bounded(deviceCount);
            SyncDevice& device = *devices[d];
            ModelContext& context = device.context();
            const auto items =
                context.fetch(ItemFetch{ItemPredicate::all(), ItemFetch::Order::NewestFirst, 40})
                    .value();
            QList<Category> categories;
            const QList<Category> allCategories = context.fetch(CategoryFetch{}).value();
            for (const Category& category : allCategories)
                if (!category.isDefault)
                    categories.append(category);
            const int choice = random.bounded(100);
            if (choice < 35 || items.isEmpty()) {
                ClipboardItemContent content;
                content.contentType = QStringLiteral("text");
                // Every copied text holds a secret-looking token that must never be readable in
                // the folder.
                content.textContent = QStringLiteral("copy %1 on %2: %3")
                                          .arg(step)
                                          .arg(d)
                                          .arg(QString::fromLatin1(secret));
                if (random.bounded(5) == 0) {
                    content.contentType = QStringLiteral("image");
                    content.textContent.reset();
                    QByteArray image(random.bounded(50, 3000), Qt::Uninitialized);
                    for (char& c : image)
                        c = char(random.bounded(256));
                    // The same picture copied again: one blob for both records.
                    if (!images.empty() && random.bounded(4) == 0)
                        image = images[random.bounded(quint32(images.size()))];
                    images.push_back(image);
                    content.imageData = image;
                    content.thumbnailData = image.left(40);
                }
                content.sourceAppName = QStringLiteral("Editor");
                ClipboardItem item(content, QDateTime::fromMSecsSinceEpoch(now, Qt::UTC));
                item.id = randomUuid();
                context.insert(item);
                created.insert(item.id);
            } else if (choice < 50) {
                ClipboardItem item = items.at(random.bounded(int(items.size())));
                item.timestamp = QDateTime::fromMSecsSinceEpoch(now + qint64(d) * 1700, Qt::UTC);
                context.update(item);
            } else if (choice < 60) {
                const ClipboardItem& item = items.at(random.bounded(int(items.size())));
                context.remove(item);
                deleted.insert(item.id);
            } else if (choice < 66 && !categories.isEmpty()) {
                context.link(items.at(random.bounded(int(items.size()))),
                             categories.at(random.bounded(int(categories.size()))));
            } else if (choice < 72 && !categories.isEmpty()) {
                // A card moved in its category's order.
                const Category& category = categories.at(random.bounded(int(categories.size())));
                const auto pins = context.pins(category.persistentId()).value();
                if (pins.size() > 1) {
                    const int from = random.bounded(int(pins.size()));
                    for (const PinOrder::Placement& placement :
                         PinOrder::move(pins, from, random.bounded(int(pins.size()))))
                        context.link(context.summary(placement.item, 0).value(), category,
                                     placement.position);
                }
            } else if (choice < 80 && !categories.isEmpty()) {
                const Category& category = categories.at(random.bounded(int(categories.size())));
                const auto pinned = context.items(category).value();
                if (!pinned.isEmpty())
                    context.unlink(pinned.at(random.bounded(int(pinned.size()))), category);
            } else if (choice < 88 || categories.isEmpty()) {
                Category category(QStringLiteral("Category %1").arg(step),
                                  QLatin1String(categoryPalette[random.bounded(12)].hex), step,
                                  false);
                category.id = randomUuid();
                context.insert(category);
                createdCategories.insert(category.id);
            } else if (choice < 96) {
                Category category = categories.at(random.bounded(int(categories.size())));
                category.name = QStringLiteral("Renamed %1").arg(step);
                category.order = random.bounded(20);
                context.update(category);
            } else {
                const Category& category = categories.at(random.bounded(int(categories.size())));
                context.remove(category);
                deletedCategories.insert(category.id);
            }
            QVERIFY(context.save());
            QVERIFY(device.engine->recordLocalChanges());

            if (random.bounded(4) == 0)
                QVERIFY(device.engine->writeOutbox());
            if (random.bounded(8) == 0)
                QVERIFY(devices[random.bounded(deviceCount)]->engine->mergeNow().has_value());
            if (random.bounded(400) == 0)
                QVERIFY(devices[random.bounded(deviceCount)]->engine->compact());
            if (!away && random.bounded(150) == 0) {
                const size_t away = random.bounded(deviceCount);
                service.setOnline(away, !service.isOnline(away));
            }
            if (step % 3 == 0)
                service.step(now);
        }
    };

    // Quiet: everyone back online, everything written, delivered and merged.
    auto quiet = [&](std::optional<size_t> away = std::nullopt) {
        for (int i = 0; i < deviceCount; ++i)
            service.setOnline(i, size_t(i) != away);
        for (int round = 0; round < 4; ++round) {
            for (auto& device : devices) {
                QVERIFY(device->publish());
                device->engine->restoreMissingBlobs();
            }
            service.drain(now);
            for (auto& device : devices)
                QVERIFY(device->engine->mergeNow().has_value());
        }
    };
    // The same records, categories and pins everywhere, nothing lost, nothing deleted back;
    // every blob a live record names is in every folder view.
    auto checkConverged = [&] {
        const StoreContents first = StoreContents::of(devices[0]->context());
        for (int i = 1; i < deviceCount; ++i) {
            const StoreContents other = StoreContents::of(devices[i]->context());
            QCOMPARE(other.items.size(), first.items.size());
            QVERIFY2(other.items == first.items,
                     qPrintable(QStringLiteral("items of device %1").arg(i)));
            QVERIFY2(other.categories == first.categories, "categories");
            QVERIFY2(other.pins == first.pins, "pins");
        }
        for (const QUuid& id : created)
            QCOMPARE(first.items.contains(id), !deleted.contains(id));
        for (const QUuid& id : createdCategories)
            QCOMPARE(first.categories.contains(id), !deletedCategories.contains(id));
        QCOMPARE(first.items.size(), created.size() - deleted.size());
        for (int i = 0; i < deviceCount; ++i) {
            QString error;
            const auto state = SyncState::read(devices[i]->state->path(), &error);
            QVERIFY2(state, qPrintable(error));
            const QSet<QString> present = blobsIn(roots[i]);
            for (const auto& [id, record] : state->records)
                for (const auto& [name, field] : record.fields)
                    if (record.deleted.isNull() && field.value &&
                        !RecordFields::blobName(*field.value).isEmpty())
                        QVERIFY2(present.contains(RecordFields::blobName(*field.value)),
                                 qPrintable(QStringLiteral("a live record's blob is missing "
                                                           "from folder view %1")
                                                .arg(i)));
        }
    };

    work(operations);
    quiet();
    QVERIFY(!QTest::currentTestFailed());
    const qint64 ms = elapsed.elapsed();
    checkConverged();
    QVERIFY(!QTest::currentTestFailed());
    // The device whose clock runs ahead was named, and pulled no other clock forward.
    for (int i = 0; i < deviceCount - 1; ++i) {
        QVERIFY(aheadSpies[i]->count() > 0);
        QCOMPARE(aheadSpies[i]->first().first().toString(), QString::number(deviceCount - 1));
        QVERIFY(qint64(devices[i]->state->clock() >> 16) <= now + day);
    }

    // Longer than a tombstone lives: every device compacts, the blobs of the records deleted
    // before go, and stay gone while work goes on; the blobs of live records stay.
    const QSet<QString> blobsBefore = blobsIn(roots[0]);
    const qint64 bytesBefore = folderBytes(roots[0]);
    now += 91 * day;
    for (auto& device : devices)
        QVERIFY(device->engine->compact());
    quiet();
    QVERIFY(!QTest::currentTestFailed());
    const QSet<QString> collected = blobsBefore - blobsIn(roots[0]);
    QVERIFY(!collected.isEmpty());
    const qint64 bytesAfter = folderBytes(roots[0]);
    checkConverged();
    QVERIFY(!QTest::currentTestFailed());
    // A picture copied again brings its blob back by right: pictures repeat only among new ones.
    images.clear();
    work(operations / 4);
    quiet();
    QVERIFY(!QTest::currentTestFailed());
    checkConverged();
    QVERIFY(!QTest::currentTestFailed());
    for (const QString& folder : roots)
        QVERIFY2((blobsIn(folder) & collected).isEmpty(), "a collected blob came back");

    // A device away longer than a tombstone lives: it works on offline, and writes a snapshot
    // there, while the others delete records it holds and forget the deletions. Back, it
    // deletes them too and brings its own new records, and nothing deleted comes back.
    const size_t away = 1;
    service.setOnline(away, false);
    work(operations / 4, away);
    quiet(away);
    QVERIFY(!QTest::currentTestFailed());
    now += 91 * day;
    for (size_t i = 0; i < size_t(deviceCount); ++i)
        QVERIFY(devices[i]->engine->compact());
    quiet(away);
    QVERIFY(!QTest::currentTestFailed());
    quiet();
    QVERIFY(!QTest::currentTestFailed());
    checkConverged();
    QVERIFY(!QTest::currentTestFailed());
    const StoreContents first = StoreContents::of(devices[0]->context());

    // Nothing in any folder view reads as plain text.
    for (const QString& folder : roots) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(secret), qPrintable(file.fileName()));
        }
    }
    qInfo("sync simulation: seed %u, %d operations on %d devices, %zu items and %zu categories "
          "in the end, %lld ms (set BRIVET_SYNC_SIMULATION_OPS=10000 for the long run); "
          "folder %lld KiB before blob collection, %lld KiB after (%lld blobs collected)",
          seed, operations, deviceCount, first.items.size(), first.categories.size(), ms,
          bytesBefore / 1024, bytesAfter / 1024, qint64(collected.size()));
}

QTEST_GUILESS_MAIN(TestSyncSimulation)
#include "tst_syncsimulation.moc"
