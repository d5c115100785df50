#include "capture/ClipboardMonitor.h"
#include "fakes/FakeFileThumbnailer.h"
#include "fakes/FakeFrontApplication.h"
#include "fakes/FakePasteboard.h"
#include "store/ModelContainer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPromise>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <memory>
#include <vector>

Q_DECLARE_METATYPE(brivet::PasteboardContents)

using namespace brivet;
using namespace brivet::test;

namespace {

using Copies = QList<PasteboardContents>;

PasteboardContents png(const QColor& color)
{
    return pngCopy(encode(plainImage({8, 8}, color), "PNG"));
}

// Runs every read at once on the calling thread.
ClipboardMonitor::ReadExecutor synchronousExecutor()
{
    return [](ClipboardMonitor::ReadTask task) {
        return QtFuture::makeReadyFuture(task());
    };
}

// Holds reads until the test lets them run, as a slow worker would.
class ManualExecutor
{
public:
    ClipboardMonitor::ReadExecutor executor()
    {
        return [this](ClipboardMonitor::ReadTask task) {
            auto promise = std::make_shared<QPromise<QList<ClipboardItem>>>();
            promise->start();
            m_pending.push_back({std::move(task), promise});
            return promise->future();
        };
    }
    int pending() const { return int(m_pending.size()); }
    void runAll()
    {
        for (auto& [task, promise] : m_pending) {
            promise->addResult(task());
            promise->finish();
        }
        m_pending.clear();
    }

private:
    struct Pending
    {
        ClipboardMonitor::ReadTask task;
        std::shared_ptr<QPromise<QList<ClipboardItem>>> promise;
    };
    std::vector<Pending> m_pending;
};

// A thumbnailer that keeps the worker busy until released.
class BlockingThumbnailer : public FileThumbnailer
{
public:
    std::optional<QByteArray> thumbnail(const QString&, int) const override
    {
        m_entered.release();
        m_release.acquire();
        return QByteArray("late thumbnail");
    }
    mutable QSemaphore m_entered;
    mutable QSemaphore m_release;
};

// Each stored record as "kind:text", "kind:path" or "kind:<n> bytes", oldest first.
QStringList describe(const QList<ClipboardItem>& items)
{
    QStringList lines;
    for (const ClipboardItem& item : items) {
        QString value;
        if (item.textContent)
            value = *item.textContent;
        else if (item.filePath)
            value = *item.filePath;
        else if (item.imageData)
            value = QStringLiteral("%1 bytes").arg(item.imageData->size());
        lines << item.contentType + QLatin1Char(':') + value;
    }
    return lines;
}

} // namespace

// The polling loop over a fake clipboard, recording into a real store file.
class TestClipboardMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::routeWorkerThreadMessagesToStderr(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        auto created = ModelContainer::create(m_dir->filePath("store.sqlite"));
        if (auto* error = std::get_if<QString>(&created))
            QFAIL(qPrintable(*error));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        m_pasteboard = std::make_unique<FakePasteboard>();
        m_front = std::make_unique<FakeFrontApplication>();
        m_front->setApplication(
            ApplicationInfo{QStringLiteral("Editor"), QStringLiteral("org.example.Editor")});
        m_thumbnailer = std::make_shared<FakeFileThumbnailer>();
    }
    void cleanup()
    {
        m_monitor.reset();
        QThreadPool::globalInstance()->waitForDone();
        m_container.reset();
        m_dir.reset();
    }

    // Each copy is followed by a poll, except those listed in withoutPoll (two copies between
    // two polls are one change).
    void recordsAndDuplicates_data()
    {
        QTest::addColumn<Copies>("copies");
        QTest::addColumn<QList<int>>("withoutPoll");
        QTest::addColumn<QStringList>("expected");

        const QString fileA = QStringLiteral("/tmp/brivet-test/a.txt");
        const QString fileB = QStringLiteral("/tmp/brivet-test/b.txt");
        const PasteboardContents red = png(Qt::red);

        QTest::addRow("one text") << Copies{textCopy("A")} << QList<int>{} << QStringList{"text:A"};
        QTest::addRow("same text twice")
            << Copies{textCopy("A"), textCopy("A")} << QList<int>{} << QStringList{"text:A"};
        QTest::addRow("A, B, A") << Copies{textCopy("A"), textCopy("B"), textCopy("A")}
                                 << QList<int>{} << QStringList{"text:A", "text:B", "text:A"};
        QTest::addRow("same link twice")
            << Copies{textCopy("https://example.com"), textCopy("https://example.com")}
            << QList<int>{} << QStringList{"link:https://example.com"};
        QTest::addRow("case differs") << Copies{textCopy("a"), textCopy("A")} << QList<int>{}
                                      << QStringList{"text:a", "text:A"};
        QTest::addRow("trailing space differs") << Copies{textCopy("a"), textCopy("a ")}
                                                << QList<int>{} << QStringList{"text:a", "text:a "};
        QTest::addRow("canonically equivalent")
            << Copies{textCopy(QString::fromUtf8("caf\u00e9")),
                      textCopy(QString::fromUtf8("cafe\u0301"))}
            << QList<int>{} << QStringList{QString::fromUtf8("text:caf\u00e9")};
        QTest::addRow("empty text twice")
            << Copies{textCopy(""), textCopy("")} << QList<int>{} << QStringList{"text:"};
        QTest::addRow("two copies between polls") << Copies{textCopy("first"), textCopy("second")}
                                                  << QList<int>{0} << QStringList{"text:second"};
        QTest::addRow("same image twice")
            << Copies{red, red} << QList<int>{} << QStringList{"image:" + imageSizeText(red)};
        QTest::addRow("two images")
            << Copies{red, png(Qt::blue)} << QList<int>{}
            << QStringList{"image:" + imageSizeText(red), "image:" + imageSizeText(png(Qt::blue))};
        QTest::addRow("same file twice") << Copies{fileCopy({fileA}), fileCopy({fileA})}
                                         << QList<int>{} << QStringList{"file:" + fileA};
        QTest::addRow("files A+B, then B again")
            << Copies{fileCopy({fileA, fileB}), fileCopy({fileB})} << QList<int>{}
            << QStringList{"file:" + fileA, "file:" + fileB};
        QTest::addRow("same file twice in one copy")
            << Copies{fileCopy({fileA, fileA})} << QList<int>{} << QStringList{"file:" + fileA};
        QTest::addRow("text after a file")
            << Copies{fileCopy({fileA}), textCopy(fileA)} << QList<int>{}
            << QStringList{"file:" + fileA, "text:" + fileA};
    }
    void recordsAndDuplicates()
    {
        QFETCH(Copies, copies);
        QFETCH(QList<int>, withoutPoll);
        QFETCH(QStringList, expected);

        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        for (int i = 0; i < copies.size(); ++i) {
            m_pasteboard->setContents(copies.at(i));
            if (!withoutPoll.contains(i))
                m_monitor->checkForChanges();
        }
        QCOMPARE(records(), expected);
        QVERIFY(!m_container->mainContext().hasChanges());
    }

    // The kind of the newest record is not compared: its text is.
    void textRepeatingNewestLinkIsDropped()
    {
        ClipboardItemContent link;
        link.contentType = QStringLiteral("link");
        link.textContent = QStringLiteral("look here");
        link.urlString = QStringLiteral("look here");
        ClipboardItem stored(link);
        m_container->mainContext().insert(stored);
        QVERIFY(m_container->mainContext().save());

        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        m_pasteboard->setText("look here");
        m_monitor->checkForChanges();
        QCOMPARE(records(), QStringList{"link:look here"});
    }

    void changeWhilePausedIsNeverRecorded()
    {
        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        QSignalSpy pausedChanged(m_monitor.get(), &ClipboardMonitor::isPausedChanged);

        m_monitor->setIsPaused(true);
        m_pasteboard->setText("written while paused");
        m_monitor->checkForChanges();
        QCOMPARE(m_monitor->lastChangeCount(), 0);
        m_monitor->checkForChanges();
        m_monitor->setIsPaused(false);
        QCOMPARE(m_monitor->lastChangeCount(), 1);
        m_monitor->checkForChanges();
        m_monitor->checkForChanges();
        QCOMPARE(records(), QStringList());
        QCOMPARE(pausedChanged.count(), 2);

        m_pasteboard->setText("after resuming");
        m_monitor->checkForChanges();
        QCOMPARE(records(), QStringList{"text:after resuming"});
    }

    void changeWithoutContentIsHandledOnce_data()
    {
        QTest::addColumn<PasteboardContents>("contents");
        PasteboardContents styledOnly;
        styledOnly.types = {PasteboardType::JPEG};
        styledOnly.data.insert(PasteboardType::JPEG, QByteArray("jpeg bytes"));
        QTest::addRow("nothing offered") << PasteboardContents{};
        QTest::addRow("only an unread type") << styledOnly;
    }
    void changeWithoutContentIsHandledOnce()
    {
        QFETCH(PasteboardContents, contents);
        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        QSignalSpy finished(m_monitor.get(), &ClipboardMonitor::captureFinished);

        m_pasteboard->setContents(contents);
        m_monitor->checkForChanges();
        m_monitor->checkForChanges();
        QCOMPARE(m_pasteboard->contentsReads(), 1);
        QCOMPARE(m_monitor->lastChangeCount(), 1);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), 0);
        QCOMPARE(records(), QStringList());
    }

    void everyRecordOfAPollHasTheSameSource()
    {
        m_front->setNumberCalls(true);
        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        m_pasteboard->setContents(fileCopy({"/tmp/x/1", "/tmp/x/2", "/tmp/x/3"}));
        m_monitor->checkForChanges();
        QCOMPARE(m_front->calls(), 1);
        const QList<ClipboardItem> items = stored();
        QCOMPARE(items.size(), 3);
        for (const ClipboardItem& item : items) {
            QCOMPARE(item.sourceAppName, std::optional<QString>("App 1"));
            QCOMPARE(item.sourceAppBundleID, std::optional<QString>("org.example.app1"));
        }
    }

    // The real timer and the real worker: a copy is recorded within a few polls.
    void pollsOnItsOwn()
    {
        QTemporaryDir files;
        const QString path = writeFile(files.filePath("doc.bin"), QByteArray(3 * 1024 * 1024, 'z'));

        makeMonitor(ClipboardMonitor::threadPoolExecutor());
        m_monitor->startMonitoring();
        m_pasteboard->setContents(fileCopy({path}));
        QVERIFY(QTest::qWaitFor([&] { return stored().size() == 1; }, 10000));
        QCOMPARE(stored().first().fileData->size(), 3 * 1024 * 1024);
        QCOMPARE(stored().first().fileData->data(), QByteArray(3 * 1024 * 1024, 'z'));
        const PersistentId fileRecordId = stored().first().persistentId();

        // The same file again is a repeat: the contents read for it are not kept anywhere.
        m_pasteboard->setContents(fileCopy({path}));
        QVERIFY(QTest::qWaitFor(
            [&] { return m_monitor->lastChangeCount() == 2 && !m_monitor->isReading(); }, 10000));
        m_pasteboard->setText("then a text");
        QVERIFY(QTest::qWaitFor([&] { return stored().size() == 2; }, 10000));
        QCOMPARE(QDir(m_container->mainContext().externalDataDirectory()).entryList(QDir::Files),
                 QStringList{QString::number(fileRecordId)});
    }

    // Polls during a read return at once and leave the count alone; the change made during
    // the read is seen afterwards.
    void pollsWaitForTheReadInFlight()
    {
        ManualExecutor executor;
        makeMonitor(executor.executor());
        m_monitor->startMonitoring();

        m_pasteboard->setText("A");
        m_monitor->checkForChanges();
        QVERIFY(m_monitor->isReading());
        QCOMPARE(executor.pending(), 1);
        m_pasteboard->setText("B");
        m_monitor->checkForChanges();
        QCOMPARE(m_monitor->lastChangeCount(), 1);
        QCOMPARE(m_pasteboard->contentsReads(), 1);
        QCOMPARE(executor.pending(), 1);

        executor.runAll();
        QVERIFY(QTest::qWaitFor([&] { return !m_monitor->isReading(); }, 5000));
        QCOMPARE(records(), QStringList{"text:A"});

        m_monitor->checkForChanges();
        QCOMPARE(m_monitor->lastChangeCount(), 2);
        executor.runAll();
        QVERIFY(QTest::qWaitFor([&] { return records().size() == 2; }, 5000));
        QCOMPARE(records(), (QStringList{"text:A", "text:B"}));
    }

    void readFinishingAfterStopIsDropped()
    {
        ManualExecutor executor;
        makeMonitor(executor.executor());
        m_monitor->startMonitoring();
        QSignalSpy finished(m_monitor.get(), &ClipboardMonitor::captureFinished);

        m_pasteboard->setText("in flight");
        m_monitor->checkForChanges();
        m_monitor->stopMonitoring();
        QVERIFY(!m_monitor->isReading());
        executor.runAll();

        // Started again, the monitor records what comes next, and only that: results arrive
        // in order, so a wrongly delivered one would be there first.
        m_monitor->startMonitoring();
        m_pasteboard->setText("next");
        m_monitor->checkForChanges();
        executor.runAll();
        QVERIFY(QTest::qWaitFor([&] { return records().size() == 1; }, 5000));
        QCOMPARE(records(), QStringList{"text:next"});
    }

    // The worker holds its own copy of what it needs: destroying the monitor mid-read is safe.
    void monitorDestroyedWhileTheWorkerRuns()
    {
        QTemporaryDir files;
        const QString path = writeFile(files.filePath("slow.txt"), "slow");

        auto blocking = std::make_shared<BlockingThumbnailer>();
        m_monitor = std::make_unique<ClipboardMonitor>(m_container->mainContext(), *m_pasteboard,
                                                       *m_front, blocking);
        m_monitor->startMonitoring();
        m_pasteboard->setContents(fileCopy({path}));
        m_monitor->checkForChanges();
        QVERIFY(blocking->m_entered.tryAcquire(1, 10000));
        BlockingThumbnailer* running = blocking.get();
        m_monitor.reset();
        blocking.reset();
        // Only the worker's copy of the reader keeps the thumbnailer alive now.
        running->m_release.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents(); // a result wrongly delivered would arrive now
        QCOMPARE(records(), QStringList());
    }

    // The owner of the clipboard quits, nobody else copies: its copy is offered again when it
    // is the newest record, and only then.
    void ownerLeaving_data()
    {
        QTest::addColumn<Copies>("copies"); // each followed by a poll unless in the same poll
        QTest::addColumn<bool>("samePoll");
        QTest::addColumn<QString>("afterwards"); // "paste" or "delete" the newest, else copied
        QTest::addColumn<QString>("restored");   // empty: nothing is offered
        const Copies a{textCopy("A")};
        QTest::addRow("recorded text") << a << false << QString() << "A";
        QTest::addRow("recorded in the same poll") << a << true << QString() << "A";
        QTest::addRow("repeat of the newest record")
            << Copies{textCopy("A"), textCopy("A")} << false << QString() << "A";
        // What the X11 clipboard makes of a concealed copy: nothing.
        QTest::addRow("secret after a text")
            << Copies{textCopy("A"), PasteboardContents{}} << false << QString() << QString();
        QTest::addRow("several files")
            << Copies{fileCopy({"/tmp/x/1", "/tmp/x/2"})} << false << QString() << QString();
        QTest::addRow("copied again elsewhere right after") << a << true << "A" << QString();
        QTest::addRow("copy during a paste") << a << false << "paste" << QString();
        QTest::addRow("deleted from the history")
            << Copies{textCopy("B"), textCopy("A")} << false << "delete" << QString();
    }
    void ownerLeaving()
    {
        QFETCH(Copies, copies);
        QFETCH(bool, samePoll);
        QFETCH(QString, afterwards);
        QFETCH(QString, restored);
        m_pasteboard->setKeepsHistory(true);
        makeMonitor(synchronousExecutor());
        m_monitor->startMonitoring();
        QSignalSpy left(m_monitor.get(), &ClipboardMonitor::clipboardOwnerLeft);
        for (const PasteboardContents& copy : copies) {
            m_pasteboard->setContents(copy);
            if (!samePoll)
                m_monitor->checkForChanges();
        }
        m_monitor->setIsPaused(afterwards == "paste");
        if (afterwards == "paste")
            m_pasteboard->setText("copied while pasting");
        m_monitor->setIsPaused(false);
        if (afterwards == "delete")
            m_container->mainContext().remove(stored().constLast());
        m_pasteboard->ownerQuits();
        if (!afterwards.isEmpty() && afterwards != "paste" && afterwards != "delete")
            m_pasteboard->setText(afterwards);
        m_monitor->checkForChanges();
        QCOMPARE(left.count(), restored.isEmpty() ? 0 : 1);
        if (!restored.isEmpty())
            QCOMPARE(left.first().first().value<ClipboardItem>().textContent,
                     std::optional(restored));
    }

private:
    void makeMonitor(ClipboardMonitor::ReadExecutor executor)
    {
        m_monitor =
            std::make_unique<ClipboardMonitor>(m_container->mainContext(), *m_pasteboard, *m_front,
                                               m_thumbnailer, std::move(executor));
    }
    QList<ClipboardItem> stored() const
    {
        ItemFetch oldestFirst;
        oldestFirst.order = ItemFetch::Order::OldestFirst;
        return m_container->mainContext().fetch(oldestFirst).value_or(QList<ClipboardItem>{});
    }
    QStringList records() const { return describe(stored()); }
    static QString imageSizeText(const PasteboardContents& contents)
    {
        return QStringLiteral("%1 bytes").arg(contents.data.value(PasteboardType::PNG).size());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<FakeFrontApplication> m_front;
    std::shared_ptr<FakeFileThumbnailer> m_thumbnailer;
    std::unique_ptr<ClipboardMonitor> m_monitor;
};

BRIVET_TEST_CLASS(TestClipboardMonitor)
#include "tst_clipboardmonitor.moc"
