// PasteService over a fake clipboard, desktop and monitor: what it writes, in which order it
// pauses, writes, strokes and resumes, and where the stroke goes.
#include "fakes/FakeDesktopNotifier.h"
#include "fakes/FakeKeySynthesizer.h"
#include "fakes/FakePasteboard.h"
#include "paste/PasteRepresentations.h"
#include "paste/PasteService.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "support/WorkerThreadLogging.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace brivet;
using namespace brivet::test;
using namespace std::chrono_literals;

namespace {

// Stands in for the clipboard monitor: records each pause change with the writes and strokes
// made by then.
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
        clock.start();
    }
    bool isPaused() const { return !changes.isEmpty() && changes.last().paused; }
    void setIsPaused(bool paused)
    {
        changes.append({paused, clock.elapsed(), m_pasteboard.writes(), m_keys.strokes.size()});
    }
    QList<Change> changes;
    QElapsedTimer clock;

private:
    const FakePasteboard& m_pasteboard;
    const FakeKeySynthesizer& m_keys;
};

ClipboardItem item(const char* kind, std::optional<QString> text = {},
                   std::optional<QString> url = {}, std::optional<QString> path = {},
                   const QByteArray& image = {})
{
    ClipboardItem item = record(kind);
    item.textContent = text;
    item.urlString = url;
    item.filePath = path;
    if (!image.isNull())
        item.imageData = Blob(image);
    return item;
}

} // namespace

class TestPasteService : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<FakeKeySynthesizer> m_keys;
    std::unique_ptr<FakeMonitor> m_monitor;
    std::unique_ptr<PasteService> m_service;

    PasteService& service(PasteService::Timing timing = {10ms, 10ms, 500ms, 20ms})
    {
        m_service = std::make_unique<PasteService>(m_pasteboard.get(), m_keys.get(),
                                                   weakMonitorLink(m_monitor.get()), timing);
        return *m_service;
    }
    void pasteAndWait(const ClipboardItem& item)
    {
        QSignalSpy finished(m_service.get(), &PasteService::pasteFinished);
        m_service->paste(item);
        QVERIFY(finished.wait(10000));
    }
    QString clipboardText() const
    {
        return m_pasteboard->contents().stringForType(PasteboardType::String).value_or("<none>");
    }

private slots:
    void initTestCase() { test::routeWorkerThreadMessagesToStderr(); }
    void init()
    {
        m_pasteboard = std::make_unique<FakePasteboard>();
        m_keys = std::make_unique<FakeKeySynthesizer>();
        m_monitor = std::make_unique<FakeMonitor>(*m_pasteboard, *m_keys);
        m_pasteboard->setText("something copied earlier");
    }
    void cleanup() { m_service.reset(); }

    // A text, a file's URL and images as they reach the X clipboard: test_paste.py.
    void writesByKind_data()
    {
        QTest::addColumn<ClipboardItem>("record");
        QTest::addColumn<QList<PasteboardType>>("types");
        QTest::addColumn<QByteArrayList>("data");
        using T = PasteboardType;
        const auto row = [](const char* name, const ClipboardItem& record, QList<T> types = {},
                            QByteArrayList data = {}) {
            QTest::newRow(name) << record << types << data;
        };
        const QString text = "a text does not stand in for a link or a file";
        // clang-format off
        row("empty text", item("text", ""), {T::String}, {""});
        row("link: text, then the encoded URL", item("link", "not written", "https://example.org/a b?q=ü"), {T::String, T::URL}, {"https://example.org/a b?q=ü", "https://example.org/a%20b?q=%C3%BC"});
        row("link that does not parse", item("link", {}, "http://[broken"), {T::String}, {"http://[broken"});
        row("text without text", item("text"));
        row("link without URL", item("link", text));
        row("file without path", item("file", text));
        row("image without data", item("image", text));
        row("relative file path", item("file", {}, {}, "relative/path.txt"));
        row("undecodable image", item("image", {}, {}, {}, "GIF? no, just text"));
        row("image format without a clipboard type: PNG only", item("image", {}, {}, {}, encode(plainImage({31, 17}), "BMP")), {T::PNG}, {encode(plainImage({31, 17}), "PNG")});
        // clang-format on
    }
    void writesByKind()
    {
        QFETCH(ClipboardItem, record);
        QFETCH(QList<PasteboardType>, types);
        QFETCH(QByteArrayList, data);
        const qint64 before = m_pasteboard->changeCount();
        service().writeToPasteboard(record);
        QVERIFY(m_pasteboard->changeCount() > before); // cleared even when nothing follows
        QCOMPARE(m_pasteboard->contents().types, types);
        for (qsizetype i = 0; i < types.size(); ++i)
            QCOMPARE(m_pasteboard->contents().dataForType(types[i]).value(), data[i]);
    }

    // Paused before the write, stroke 0.15 s after it, resumed 0.5 s after the stroke. An
    // image is converted to PNG on a worker: paste() returns with the clipboard emptied, and
    // the stroke still comes after the converted write.
    void pastesInOrderWithItsDelays_data()
    {
        QTest::addColumn<ClipboardItem>("record");
        QTest::addColumn<QList<PasteboardType>>("typesAtStroke");
        const QByteArray tiff = encode(plainImage({640, 480}), "TIFF");
        QTest::newRow("text") << textRecord("pasted") << QList{PasteboardType::String};
        QTest::newRow("TIFF") << item("image", {}, {}, {}, tiff)
                              << QList{PasteboardType::TIFF, PasteboardType::PNG};
    }
    void pastesInOrderWithItsDelays()
    {
        QFETCH(ClipboardItem, record);
        qint64 strokeAtMs = -1;
        QList<PasteboardType> typesAtStroke;
        m_keys->onStroke = [&] {
            strokeAtMs = m_monitor->clock.elapsed();
            typesAtStroke = m_pasteboard->contents().types;
        };
        service({});
        const qint64 startMs = m_monitor->clock.elapsed();
        m_service->paste(record);
        QCOMPARE(m_monitor->changes.size(), 1);
        QCOMPARE(m_monitor->changes[0].writes, 0);
        QVERIFY(m_monitor->isPaused());
        QVERIFY(clipboardText() != "something copied earlier");
        QVERIFY(m_keys->strokes.isEmpty());

        QSignalSpy finished(m_service.get(), &PasteService::pasteFinished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_keys->strokes.size(), 1);
        QCOMPARE(m_keys->strokes[0].shortcut, PasteShortcut::ControlV);
        QTEST(typesAtStroke, "typesAtStroke");
        QCOMPARE(m_monitor->changes.size(), 2);
        QCOMPARE(m_monitor->changes[1].strokes, 1);
        QVERIFY(!m_monitor->isPaused());
        // Timers never fire early: only lower bounds.
        QVERIFY(strokeAtMs - startMs >= 150);
        QVERIFY(m_monitor->changes[1].atMs - strokeAtMs >= 500);
    }

    // A second paste started at the first one's stroke runs its own course.
    void overlappingPastesAreNotQueued()
    {
        QSignalSpy finished(&service({20ms, 200ms, 1000ms, 20ms}), &PasteService::pasteFinished);
        connect(m_service.get(), &PasteService::keyStrokeDone, this, [&] {
            if (m_keys->strokes.size() == 1)
                m_service->paste(textRecord("second"));
        });
        m_service->paste(textRecord("first"));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
        QCOMPARE(m_keys->strokes.size(), 2);
        QVERIFY(!m_monitor->isPaused());
        QCOMPARE(clipboardText(), "second");
    }

    // Capture must not stay paused when the service goes away mid-paste; its stroke dies too.
    // Without a monitor, the paste still writes and strokes.
    void serviceOrMonitorGoneMidPaste()
    {
        service().paste(textRecord("x"));
        QVERIFY(m_monitor->isPaused());
        service();
        QVERIFY(!m_monitor->isPaused());
        m_monitor.reset();
        pasteAndWait(textRecord("still pasted"));
        QCOMPARE(m_pasteboard->writes(), 2);
        QCOMPARE(m_keys->strokes.size(), 1);
    }

    // The stroke goes to the window in front before the panel (10), brought back when it is no
    // longer active, and never to another window. Without key synthesis the record stays on the
    // clipboard to be pasted by hand.
    void targetWindow_data()
    {
        QTest::addColumn<std::optional<WindowId>>("activeAtStroke");
        QTest::addColumn<bool>("targetOpen");
        QTest::addColumn<bool>("obeysActivation");
        QTest::addColumn<bool>("keysAvailable");
        QTest::addColumn<int>("strokes");
        QTest::addColumn<int>("activationRequests");
        const auto row = [](const char* name, std::optional<WindowId> active, bool open, bool obeys,
                            int strokes, int requests, bool keys = true) {
            QTest::newRow(name) << active << open << obeys << keys << strokes << requests;
        };
        row("target still active", 10, true, true, 1, 0);
        row("nothing in front: target brought back", 0, true, true, 1, 1);
        row("target closed: no stroke", 20, false, true, 0, 0);
        row("target never comes back: no stroke, asked now and then", 20, true, false, 0, 3);
        row("window manager does not say: stroke as is", std::nullopt, true, true, 1, 0);
        row("no key synthesis", 10, true, true, 0, 0, false);
    }
    void targetWindow()
    {
        QFETCH(std::optional<WindowId>, activeAtStroke);
        QFETCH(bool, targetOpen);
        QFETCH(bool, obeysActivation);
        QFETCH(bool, keysAvailable);
        QFETCH(int, strokes);
        QFETCH(int, activationRequests);
        if (targetOpen)
            m_keys->windows.insert(10, {"gedit", "Gedit"});
        m_keys->windows.insert(20, {"brivet", "Brivet"});
        m_keys->active = 10;
        service().rememberFrontWindow(); // as the panel does before it shows
        m_keys->active = activeAtStroke;
        m_keys->obeysActivation = obeysActivation;
        m_keys->available = keysAvailable;
        QSignalSpy stroke(m_service.get(), &PasteService::keyStrokeDone);
        pasteAndWait(textRecord("x"));
        QCOMPARE(m_keys->activationRequests.size(), activationRequests);
        QCOMPARE(m_keys->strokes.size(), strokes);
        QCOMPARE(stroke.size(), 1);
        QCOMPARE(stroke[0][0].toBool(), strokes == 1);
        QCOMPARE(clipboardText(), "x");
        if (strokes && activeAtStroke)
            QCOMPARE(m_keys->strokes[0].window, std::optional<WindowId>(10));
        QVERIFY(!m_monitor->isPaused());
    }

    void terminalsGetControlShiftV_data()
    {
        QTest::addColumn<QStringList>("windowClasses");
        QTest::addColumn<QStringList>("extraTerminals");
        QTest::addColumn<PasteShortcut>("shortcut");
        const auto row = [](const char* name, QStringList classes, QStringList extra, bool shift) {
            QTest::newRow(name) << classes << extra
                                << (shift ? PasteShortcut::ControlShiftV : PasteShortcut::ControlV);
        };
        row("xterm", {"xterm", "XTerm"}, {}, true);
        row("gnome-terminal by instance", {"gnome-terminal-server", "Gnome-terminal"}, {}, true);
        row("user's own terminal", {"myterm", "MyTerm"}, {" MyTerm "}, true);
        row("no class", {}, {""}, false);
    }
    void terminalsGetControlShiftV()
    {
        QFETCH(QStringList, windowClasses);
        QFETCH(QStringList, extraTerminals);
        QFETCH(PasteShortcut, shortcut);
        m_keys->windows.insert(10, windowClasses);
        m_keys->active = 10;
        service().setTerminalWindowClasses(extraTerminals);
        pasteAndWait(textRecord("ls -l"));
        QCOMPARE(m_keys->strokes.size(), 1);
        QCOMPARE(m_keys->strokes[0].shortcut, shortcut);
    }

    // Where no stroke can be sent, the user hears once that the record waits on the clipboard.
    void manualPasteIsToldOnce_data()
    {
        QTest::addColumn<bool>("keysAvailable");
        QTest::addColumn<int>("notices");
        QTest::addColumn<qsizetype>("strokes");
        QTest::newRow("no synthesised keys: one notice for two pastes")
            << false << 1 << qsizetype(0);
        QTest::newRow("synthesised keys: no notice") << true << 0 << qsizetype(2);
    }
    void manualPasteIsToldOnce()
    {
        QFETCH(bool, keysAvailable);
        QFETCH(int, notices);
        QFETCH(qsizetype, strokes);
        m_keys->available = keysAvailable;
        FakeDesktopNotifier notifier;
        service().setManualPasteNotifier(&notifier);
        pasteAndWait(textRecord("first"));
        pasteAndWait(textRecord("second"));
        QCOMPARE(clipboardText(), "second");
        QCOMPARE(m_keys->strokes.size(), strokes);
        QCOMPARE(notifier.notices.size(), notices);
        if (notices > 0)
            QVERIFY(notifier.notices[0].second.contains("Ctrl+V"));
    }
};

BRIVET_TEST_CLASS(TestPasteService)
#include "tst_pasteservice.moc"
