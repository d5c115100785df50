#include "capture/ClipboardMonitor.h"
#include "fakes/FakeFileThumbnailer.h"
#include "fakes/FakeFrontApplication.h"
#include "fakes/FakePasteboard.h"
#include "store/ModelContainer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"

#include <QDirIterator>
#include <QPromise>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <memory>

Q_DECLARE_METATYPE(brivet::PasteboardContents)

using namespace brivet;
using namespace brivet::test;

namespace {

using Copies = QList<PasteboardContents>;
using Pending =
    QList<std::pair<ClipboardMonitor::ReadTask, std::shared_ptr<QPromise<QList<ClipboardItem>>>>>;

PasteboardContents png(const QColor& color)
{
    return pngCopy(encode(plainImage({8, 8}, color), "PNG"));
}
PasteboardContents t(const char* text)
{
    return textCopy(QString::fromUtf8(text));
}

} // namespace

// The polling loop over a fake clipboard that keeps every change, recording into a real store.
class TestClipboardMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::routeWorkerThreadMessagesToStderr(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        auto created = ModelContainer::create(m_dir->filePath("store.sqlite"));
        if (auto* error = std::get_if<QString>(&created))
            QFAIL(qPrintable(*error));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        m_pasteboard = std::make_unique<FakePasteboard>();
        m_pasteboard->setKeepsHistory(true);
        m_front = std::make_unique<FakeFrontApplication>();
        m_front->setApplication(ApplicationInfo{"Editor", "org.example.Editor"});
        m_pending.clear();
        start([](ClipboardMonitor::ReadTask task) { return QtFuture::makeReadyFuture(task()); });
    }
    void cleanup()
    {
        m_monitor.reset();
        QThreadPool::globalInstance()->waitForDone();
        m_container.reset();
    }

    void recordsAndDuplicates_data()
    {
        QTest::addColumn<Copies>("copies");
        QTest::addColumn<bool>("onePoll"); // else a poll after each copy
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, Copies copies, QStringList expected,
                            bool onePoll = false) {
            QTest::addRow("%s", name) << copies << onePoll << expected;
        };
        const QString a = "/tmp/brivet-test/a.txt", b = "/tmp/brivet-test/b.txt";
        const PasteboardContents red = png(Qt::red), blue = png(Qt::blue);
        row("same text twice", {t("A"), t("A")}, {"text:A"});
        row("A, B, A", {t("A"), t("B"), t("A")}, {"text:A", "text:B", "text:A"});
        row("same link twice", {t("https://e.com"), t("https://e.com")}, {"link:https://e.com"});
        row("case differs", {t("a"), t("A")}, {"text:a", "text:A"});
        row("trailing space differs", {t("a"), t("a ")}, {"text:a", "text:a "});
        row("canonically equivalent", {t("caf\u00e9"), t("cafe\u0301")}, {"text:caf\u00e9"});
        row("empty text twice", {t(""), t("")}, {"text:"});
        row("two copies between polls", {t("first"), t("second")}, {"text:first", "text:second"},
            true);
        row("same text twice in one poll", {t("A"), t("A"), t("B")}, {"text:A", "text:B"}, true);
        row("same image twice", {red, red}, {"image:" + size(red)});
        row("two images", {red, blue}, {"image:" + size(red), "image:" + size(blue)});
        row("same file twice", {fileCopy({a}), fileCopy({a})}, {"file:" + a});
        row("files A+B, then B again", {fileCopy({a, b}), fileCopy({b})},
            {"file:" + a, "file:" + b});
        row("same file twice in one copy", {fileCopy({a, a})}, {"file:" + a});
        row("text after a file", {fileCopy({a}), textCopy(a)}, {"file:" + a, "text:" + a});
        row("nothing offered", {{}}, {});
        row("only an unread type", {{{PasteboardType::JPEG}, {}, {{PasteboardType::JPEG, "j"}}}},
            {});
    }
    void recordsAndDuplicates()
    {
        QFETCH(Copies, copies);
        QFETCH(bool, onePoll);
        QSignalSpy finished(m_monitor.get(), &ClipboardMonitor::captureFinished);
        for (const PasteboardContents& copy : copies) {
            m_pasteboard->setContents(copy);
            if (!onePoll)
                m_monitor->checkForChanges();
        }
        m_monitor->checkForChanges();
        m_monitor->checkForChanges(); // each change is handled once, even one without records
        QCOMPARE(finished.count(), onePoll ? 1 : copies.size());
        QTEST(records(), "expected");
        QVERIFY(!m_container->mainContext().hasChanges());
    }

    // Changes the platform could not credit get the application in front at the poll, asked once.
    void everyRecordOfAPollHasTheSameSource()
    {
        m_front->setNumberCalls(true);
        m_pasteboard->setText("A");
        m_pasteboard->setContents(fileCopy({"/tmp/x/1", "/tmp/x/2"}));
        m_monitor->checkForChanges();
        QCOMPARE(m_front->calls(), 1);
        const QList<ClipboardItem> items = stored();
        QCOMPARE(items.size(), 3);
        for (const ClipboardItem& item : items)
            QCOMPARE(item.sourceAppName, std::optional<QString>("App 1"));
    }

    // A back end that reads before it knows the application (Wayland, GNOME): what it read
    // of an ignored application's copy is let go; another application's copies are kept.
    void ignoredApplicationsCopiesAreLetGo()
    {
        m_pasteboard->ignoredApplications().setIds({"Org.Example.Editor.desktop"});
        m_pasteboard->setText("secret");
        m_monitor->checkForChanges();
        m_front->setApplication(ApplicationInfo{"Terminal", "org.example.Terminal"});
        m_pasteboard->setText("kept");
        m_monitor->checkForChanges();
        QCOMPARE(records(), QStringList{"text:kept"});
    }

    // The real timer and worker; the contents staged for a repeated file are not kept anywhere.
    void pollsOnItsOwn()
    {
        const QString path = writeFile(m_dir->filePath("doc.bin"), QByteArray(3 << 20, 'z'));
        start(ClipboardMonitor::threadPoolExecutor());
        m_pasteboard->setContents(fileCopy({path}));
        QVERIFY(QTest::qWaitFor([&] { return stored().size() == 1; }, 10000));
        QCOMPARE(stored().first().fileData->data(), QByteArray(3 << 20, 'z'));
        m_pasteboard->setContents(fileCopy({path}));
        m_pasteboard->setText("then a text");
        QVERIFY(QTest::qWaitFor([&] { return stored().size() == 2; }, 10000));
        QStringList files; // staged ones included
        for (QDirIterator it(m_container->mainContext().externalDataDirectory(),
                             QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            files << QFileInfo(it.next()).fileName();
        QCOMPARE(files, QStringList{QString::number(stored().first().persistentId())});
    }

    // Polls during a read do nothing and the change made meanwhile is read next; a read that
    // finishes after a stop is dropped (results come in order: it would come first).
    void readInFlight()
    {
        start(manualExecutor());
        m_pasteboard->setText("A");
        m_monitor->checkForChanges();
        m_pasteboard->setText("B");
        m_monitor->checkForChanges();
        QCOMPARE(m_pending.size(), 1);
        runPending();
        QVERIFY(QTest::qWaitFor([&] { return !m_monitor->isReading(); }, 5000));
        m_monitor->checkForChanges();
        m_monitor->stopMonitoring();
        runPending();
        m_monitor->startMonitoring();
        m_pasteboard->setText("C");
        m_monitor->checkForChanges();
        runPending();
        QVERIFY(QTest::qWaitFor([&] { return records().size() == 2; }, 5000));
        QCOMPARE(records(), (QStringList{"text:A", "text:C"}));
    }

    // On a clipboard that announces its changes nothing polls: each notice brings a look, a
    // change announced during a read is looked at when the read is done, and a stopped
    // monitor hears nothing.
    void looksOnNotice()
    {
        m_pasteboard->setNotifies(true);
        start(manualExecutor());
        m_pasteboard->setText("A");
        QTRY_COMPARE(m_pending.size(), 1);
        m_pasteboard->setText("B");
        runPending();
        QTRY_COMPARE(m_pending.size(), 1);
        runPending();
        QTRY_COMPARE(records(), (QStringList{"text:A", "text:B"}));
        m_monitor->stopMonitoring();
        m_pasteboard->setText("C");
        QCoreApplication::sendPostedEvents();
        QVERIFY(m_pending.isEmpty());
    }

    // A read holds its own copies: the monitor and its thumbnailer may go before it runs.
    void monitorDestroyedBeforeItsReadRuns()
    {
        auto thumbnailer = std::make_shared<FakeFileThumbnailer>();
        start(manualExecutor(), thumbnailer);
        m_pasteboard->setContents(fileCopy({writeFile(m_dir->filePath("f.txt"), "f")}));
        m_monitor->checkForChanges();
        m_monitor.reset();
        thumbnailer.reset();
        runPending();
        QCoreApplication::sendPostedEvents(); // a result wrongly delivered would arrive now
        QCOMPARE(records(), QStringList());
    }

    // The owner quits: its copy is offered again when it is the newest record, and only then.
    // (A text recorded from its own poll, and a secret's owner quitting: test_capture_owner.py.)
    void ownerLeaving_data()
    {
        QTest::addColumn<Copies>("copies");
        QTest::addColumn<bool>("samePoll");
        QTest::addColumn<QString>("afterwards"); // "paste", "delete" the newest, else copied
        QTest::addColumn<QString>("restored");   // empty: nothing is offered
        const auto row = [](const char* name, Copies copies, bool samePoll, QString afterwards,
                            QString restored) {
            QTest::addRow("%s", name) << copies << samePoll << afterwards << restored;
        };
        row("recorded in the same poll", {t("A")}, true, {}, "A");
        row("repeat of the newest record", {t("A"), t("A")}, false, {}, "A");
        row("several files", {fileCopy({"/tmp/x/1", "/tmp/x/2"})}, false, {}, {});
        row("copied again elsewhere right after", {t("A")}, true, "A", {});
        row("copy during a paste", {t("A")}, false, "paste", {});
        row("deleted from the history", {t("B"), t("A")}, false, "delete", {});
    }
    void ownerLeaving()
    {
        QFETCH(Copies, copies);
        QFETCH(bool, samePoll);
        QFETCH(QString, afterwards);
        QFETCH(QString, restored);
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
    void start(ClipboardMonitor::ReadExecutor executor,
               std::shared_ptr<const FileThumbnailer> thumbnailer = nullptr)
    {
        m_monitor = std::make_unique<ClipboardMonitor>(m_container->mainContext(), *m_pasteboard,
                                                       *m_front, thumbnailer, std::move(executor));
        m_monitor->startMonitoring();
    }
    // Holds reads until runPending(), as a slow worker would.
    ClipboardMonitor::ReadExecutor manualExecutor()
    {
        return [this](ClipboardMonitor::ReadTask task) {
            auto promise = std::make_shared<QPromise<QList<ClipboardItem>>>();
            promise->start();
            m_pending.append({std::move(task), promise});
            return promise->future();
        };
    }
    void runPending()
    {
        for (auto& [task, promise] : std::exchange(m_pending, {})) {
            promise->addResult(task());
            promise->finish();
        }
    }
    QList<ClipboardItem> stored() const
    {
        ItemFetch oldestFirst;
        oldestFirst.order = ItemFetch::Order::OldestFirst;
        return m_container->mainContext().fetch(oldestFirst).value_or(QList<ClipboardItem>{});
    }
    // Each record as "kind:text", "kind:path" or "kind:<n> bytes", oldest first.
    QStringList records() const
    {
        QStringList lines;
        for (const ClipboardItem& item : stored())
            lines << item.contentType + ':' +
                         item.textContent.value_or(item.filePath.value_or(
                             item.imageData ? QString::number(item.imageData->size()) + " bytes"
                                            : QString()));
        return lines;
    }
    static QString size(const PasteboardContents& contents)
    {
        return QString::number(contents.data.value(PasteboardType::PNG).size()) + " bytes";
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<FakeFrontApplication> m_front;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    Pending m_pending;
};

BRIVET_TEST_CLASS(TestClipboardMonitor)
#include "tst_clipboardmonitor.moc"
