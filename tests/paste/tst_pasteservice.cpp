#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "paste/PasteRepresentations.h"
#include "paste/PasteService.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "support/WorkerThreadLogging.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace brivet;
using namespace brivet::test;
using namespace std::chrono_literals;

namespace {

// Stands in for the clipboard monitor: records every pause change with what had happened on
// the clipboard and the keyboard by then.
class FakeMonitor : public QObject
{
    Q_OBJECT
public:
    struct Change
    {
        bool paused;
        qint64 atMs;
        int writes;
        qsizetype strokes;
    };

    FakeMonitor(const FakePasteboard& pasteboard, const FakeKeySynthesizer& keys)
        : m_pasteboard(pasteboard), m_keys(keys)
    {
        m_clock.start();
    }
    bool isPaused() const { return m_paused; }
    void setIsPaused(bool paused)
    {
        m_paused = paused;
        changes.append({paused, m_clock.elapsed(), m_pasteboard.writes(), m_keys.strokes().size()});
    }
    qint64 elapsed() const { return m_clock.elapsed(); }

    QList<Change> changes;

private:
    const FakePasteboard& m_pasteboard;
    const FakeKeySynthesizer& m_keys;
    QElapsedTimer m_clock;
    bool m_paused = false;
};

} // namespace

class TestPasteService : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<FakeKeySynthesizer> m_keys;

    std::unique_ptr<FakeMonitor> m_monitor;

    std::unique_ptr<PasteService> makeService(PasteService::Timing timing = {})
    {
        return std::make_unique<PasteService>(m_pasteboard.get(), m_keys.get(),
                                              weakMonitorLink(m_monitor.get()), timing);
    }

private slots:
    void initTestCase() { test::routeWorkerThreadMessagesToStderr(); }
    void init()
    {
        m_pasteboard = std::make_unique<FakePasteboard>();
        m_keys = std::make_unique<FakeKeySynthesizer>();
        m_monitor = std::make_unique<FakeMonitor>(*m_pasteboard, *m_keys);
        m_pasteboard->setText(QStringLiteral("something copied earlier"));
    }

    void writesByKind_data()
    {
        QTest::addColumn<ClipboardItem>("item");
        QTest::addColumn<QList<PasteboardType>>("types");
        QTest::addColumn<QList<QByteArray>>("data");

        // A text, a file's URL and a PNG as they reach the X clipboard: test_paste.py.
        using T = PasteboardType;
        ClipboardItem emptyText = record("text");
        emptyText.textContent = QString();
        QTest::addRow("empty text is still a text")
            << emptyText << QList{T::String} << QList<QByteArray>{""};

        ClipboardItem link = record("link");
        link.textContent = QStringLiteral("display text is not written");
        link.urlString = QStringLiteral("https://example.org/a b?q=ü");
        QTest::addRow("link: text, then the encoded URL")
            << link << QList{T::String, T::URL}
            << QList<QByteArray>{"https://example.org/a b?q=ü",
                                 "https://example.org/a%20b?q=%C3%BC"};

        ClipboardItem badLink = record("link");
        badLink.urlString = QStringLiteral("http://[broken");
        QTest::addRow("link that does not parse: text only")
            << badLink << QList{T::String} << QList<QByteArray>{"http://[broken"};

        const QByteArray png = encode(plainImage({7, 5}), "PNG");
        for (const char* kind : {"text", "link", "file", "image"}) {
            const QByteArray missing(kind);
            ClipboardItem item = record(QString::fromLatin1(missing));
            item.textContent = QStringLiteral("a text does not stand in for a link or a file");
            if (missing == QByteArray("text"))
                item.textContent.reset();
            item.thumbnailData = Blob(png); // not the field an image is written from
            QTest::addRow("%s without its field: empty", missing.constData())
                << item << QList<PasteboardType>{} << QList<QByteArray>{};
        }

        ClipboardItem relative = record("file");
        relative.filePath = QStringLiteral("relative/path.txt");
        QTest::addRow("relative file path: empty")
            << relative << QList<PasteboardType>{} << QList<QByteArray>{};

        ClipboardItem garbage = record("image");
        garbage.imageData = Blob(QByteArray("GIF? no, just text"));
        QTest::addRow("undecodable image bytes: empty")
            << garbage << QList<PasteboardType>{} << QList<QByteArray>{};
    }

    void writesByKind()
    {
        QFETCH(ClipboardItem, item);
        QFETCH(QList<PasteboardType>, types);
        QFETCH(QList<QByteArray>, data);
        auto service = makeService();
        const qint64 before = m_pasteboard->changeCount();

        service->writeToPasteboard(item);

        const PasteboardContents contents = m_pasteboard->contents();
        QVERIFY(m_pasteboard->changeCount() > before); // cleared even when nothing follows
        QCOMPARE(contents.types, types);
        for (qsizetype i = 0; i < types.size(); ++i)
            QCOMPARE(contents.dataForType(types[i]).value(), data[i]);
    }

    // Formats the clipboard has no type for are offered as PNG only (PNG, JPEG and TIFF: see
    // test_paste.py).
    void convertsOtherImagesToPng()
    {
        ClipboardItem item = record("image");
        item.imageData = Blob(encode(plainImage({31, 17}), "BMP"));
        const QList<PasteboardRepresentation> written = pasteboardRepresentations(item);
        QCOMPARE(written.size(), 1);
        QCOMPARE(written.first().type, PasteboardType::PNG);
        QCOMPARE(QImage::fromData(written.first().data, "PNG").size(), QSize(31, 17));
    }

    // Pause, write, stroke 0.15 s later, resume 0.5 s after that: the monitor never sees
    // Brivet's own write.
    void pastesInOrderWithItsDelays()
    {
        auto service = makeService();
        m_keys->openWindow(1, {"gedit", "Gedit"});
        m_keys->setActiveWindow(1);
        qint64 strokeAtMs = -1;
        m_keys->setOnStroke([&] { strokeAtMs = m_monitor->elapsed(); });
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const ClipboardItem item = textRecord("pasted");

        const qint64 startMs = m_monitor->elapsed();
        service->paste(item);

        // Paused before the write, which happens at once.
        QCOMPARE(m_monitor->changes.size(), 1);
        QVERIFY(m_monitor->changes[0].paused);
        QCOMPARE(m_monitor->changes[0].writes, 0);
        QCOMPARE(m_pasteboard->writes(), 1);
        QVERIFY(m_keys->strokes().isEmpty());

        QVERIFY(finished.wait(5000));
        QCOMPARE(m_keys->strokes().size(), 1);
        QCOMPARE(m_keys->strokes()[0].shortcut, PasteShortcut::ControlV);
        QCOMPARE(m_keys->strokes()[0].window, std::optional<WindowId>(1));
        QCOMPARE(m_monitor->changes.size(), 2);
        QVERIFY(!m_monitor->changes[1].paused);
        QCOMPARE(m_monitor->changes[1].strokes, 1);
        // Timers never fire early; only lower bounds are meaningful here.
        QVERIFY2(strokeAtMs - startMs >= 150, qPrintable(QString::number(strokeAtMs - startMs)));
        QVERIFY2(m_monitor->changes[1].atMs - strokeAtMs >= 500,
                 qPrintable(QString::number(m_monitor->changes[1].atMs - strokeAtMs)));
        QCOMPARE(m_pasteboard->contents().stringForType(PasteboardType::String).value(),
                 QStringLiteral("pasted"));
    }

    // Converting an image to PNG happens on a worker: paste() returns with the clipboard
    // emptied, and the stroke still comes after the converted write.
    void imageConversionKeepsTheCallerFree()
    {
        auto service = makeService();
        m_keys->openWindow(1, {"gimp", "Gimp"});
        m_keys->setActiveWindow(1);
        QList<PasteboardType> typesAtStroke;
        m_keys->setOnStroke([&] { typesAtStroke = m_pasteboard->contents().types; });
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const QByteArray tiff = encode(plainImage({640, 480}), "TIFF");
        ClipboardItem item = record("image");
        item.imageData = Blob(tiff);

        service->paste(item);
        QVERIFY(m_monitor->isPaused());
        QVERIFY(!m_pasteboard->contents().hasType(PasteboardType::String)); // emptied at once

        QVERIFY(finished.wait(10000));
        QCOMPARE(typesAtStroke, QList({PasteboardType::TIFF, PasteboardType::PNG}));
        QCOMPARE(m_pasteboard->contents().dataForType(PasteboardType::TIFF).value(), tiff);
        QVERIFY(!m_monitor->isPaused());
    }

    // A second paste, started at the first one's stroke, runs its own course; the monitor ends
    // up resumed.
    void overlappingPastesAreNotQueued()
    {
        auto service = makeService({20ms, 200ms, 1000ms, 20ms});
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const ClipboardItem first = textRecord("first");
        const ClipboardItem second = textRecord("second");
        connect(service.get(), &PasteService::keyStrokeDone, this, [&] {
            if (m_keys->strokes().size() == 1)
                service->paste(second);
        });

        service->paste(first);

        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
        QCOMPARE(m_keys->strokes().size(), 2);
        QVERIFY(!m_monitor->isPaused());
        QCOMPARE(m_pasteboard->contents().stringForType(PasteboardType::String).value(),
                 QStringLiteral("second"));
    }

    void monitorGoneStillWritesAndStrokes()
    {
        auto service = makeService({10ms, 10ms, 1000ms, 10ms});
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        m_monitor.reset();
        const ClipboardItem item = textRecord("still pasted");

        service->paste(item);

        QVERIFY(finished.wait(5000));
        QCOMPARE(m_pasteboard->writes(), 1);
        QCOMPARE(m_keys->strokes().size(), 1);
    }

    // Capture must not stay paused for good when the service goes away mid-paste.
    void serviceGoneMidPasteResumesTheMonitor()
    {
        auto service = makeService();
        const ClipboardItem item = textRecord("x");

        service->paste(item);
        QVERIFY(m_monitor->isPaused());
        service.reset();

        QVERIFY(!m_monitor->isPaused());
        // The stroke's timer died with the service: a later paste's stroke is the only one.
        auto later = makeService();
        QSignalSpy finished(later.get(), &PasteService::pasteFinished);
        later->paste(item);
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_keys->strokes().size(), 1);
    }

    void noKeySynthesisLeavesTheRecordOnTheClipboard()
    {
        m_keys->setAvailable(false);
        auto service = makeService({10ms, 10ms, 1000ms, 10ms});
        QSignalSpy stroke(service.get(), &PasteService::keyStrokeDone);
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const ClipboardItem item = textRecord("paste me by hand");

        service->paste(item);

        QVERIFY(finished.wait(5000));
        QCOMPARE(stroke.size(), 1);
        QCOMPARE(stroke[0][0].toBool(), false);
        QVERIFY(m_keys->strokes().isEmpty());
        QVERIFY(!m_monitor->isPaused());
        QCOMPARE(m_pasteboard->contents().stringForType(PasteboardType::String).value(),
                 QStringLiteral("paste me by hand"));
    }

    // The stroke goes to the window that was in front before the panel, brought back when
    // it is no longer active, and never to another window.
    void targetWindow_data()
    {
        QTest::addColumn<std::optional<WindowId>>("activeAtStroke");
        QTest::addColumn<bool>("targetOpen");
        QTest::addColumn<bool>("obeysActivation");
        QTest::addColumn<bool>("strokeSent");
        QTest::addColumn<int>("activationRequests");

        QTest::addRow("target still active")
            << std::optional<WindowId>(10) << true << true << true << 0;
        QTest::addRow("another window in front: target brought back")
            << std::optional<WindowId>(20) << true << true << true << 1;
        QTest::addRow("nothing in front: target brought back")
            << std::optional<WindowId>(0) << true << true << true << 1;
        QTest::addRow("target closed: no stroke")
            << std::optional<WindowId>(20) << false << true << false << 0;
        QTest::addRow("target never comes back: no stroke, asked again now and then")
            << std::optional<WindowId>(20) << true << false << false << 3;
        QTest::addRow("window manager does not say: stroke as is")
            << std::optional<WindowId>() << true << true << true << 0;
    }

    void targetWindow()
    {
        QFETCH(std::optional<WindowId>, activeAtStroke);
        QFETCH(bool, targetOpen);
        QFETCH(bool, obeysActivation);
        QFETCH(bool, strokeSent);
        QFETCH(int, activationRequests);
        auto service = makeService({10ms, 10ms, 500ms, 20ms});
        if (targetOpen)
            m_keys->openWindow(10, {"gedit", "Gedit"});
        m_keys->openWindow(20, {"brivet", "Brivet"});
        m_keys->setActiveWindow(10);
        service->rememberFrontWindow(); // as the panel does before it shows
        QCOMPARE(service->targetWindow(), std::optional<WindowId>(10));
        m_keys->setActiveWindow(activeAtStroke);
        m_keys->setObeysActivation(obeysActivation);
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const ClipboardItem item = textRecord("x");

        service->paste(item);

        QVERIFY(finished.wait(5000));
        QCOMPARE(m_keys->activationRequests().size(), activationRequests);
        QCOMPARE(m_keys->strokes().size(), strokeSent ? 1 : 0);
        if (strokeSent && activeAtStroke)
            QCOMPARE(m_keys->strokes()[0].window, std::optional<WindowId>(10));
        QVERIFY(!m_monitor->isPaused());
    }

    void terminalsGetControlShiftV_data()
    {
        QTest::addColumn<QStringList>("windowClasses");
        QTest::addColumn<QStringList>("extraTerminals");
        QTest::addColumn<PasteShortcut>("shortcut");
        QTest::addRow("editor") << QStringList{"gedit", "Gedit"} << QStringList{}
                                << PasteShortcut::ControlV;
        QTest::addRow("xterm") << QStringList{"xterm", "XTerm"} << QStringList{}
                               << PasteShortcut::ControlShiftV;
        QTest::addRow("gnome-terminal by instance")
            << QStringList{"gnome-terminal-server", "Gnome-terminal"} << QStringList{}
            << PasteShortcut::ControlShiftV;
        QTest::addRow("user's own terminal")
            << QStringList{"myterm", "MyTerm"} << QStringList{" MyTerm "}
            << PasteShortcut::ControlShiftV;
        QTest::addRow("no class") << QStringList{} << QStringList{""} << PasteShortcut::ControlV;
    }

    void terminalsGetControlShiftV()
    {
        QFETCH(QStringList, windowClasses);
        QFETCH(QStringList, extraTerminals);
        QFETCH(PasteShortcut, shortcut);
        auto service = makeService({10ms, 10ms, 100ms, 10ms});
        service->setTerminalWindowClasses(extraTerminals);
        m_keys->openWindow(7, windowClasses);
        m_keys->setActiveWindow(7);
        QSignalSpy finished(service.get(), &PasteService::pasteFinished);
        const ClipboardItem item = textRecord("ls -l");

        service->paste(item);

        QVERIFY(finished.wait(5000));
        QCOMPARE(m_keys->strokes().size(), 1);
        QCOMPARE(m_keys->strokes()[0].shortcut, shortcut);
    }
};

BRIVET_TEST_CLASS(TestPasteService)
#include "tst_pasteservice.moc"
