#include "platform/x11/X11ClipboardOwner.h"
#include "platform/x11/X11ClipboardTargets.h"
#include "platform/x11/XcbConnection.h"
#include "support/WorkerThreadLogging.h"
#include "support/XvfbServer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <optional>
#include <xcb/xcb.h>

using namespace brivet;
using test::XvfbServer;

namespace {

// A plain X client asking for the clipboard the way toolkits do, with full control over
// whether it reads an incremental answer.
class Requestor
{
public:
    struct Answer
    {
        QByteArray type;
        int format = 0;
        QByteArray data;
    };

    Requestor() : m_x(XcbConnection::open())
    {
        if (!m_x)
            qFatal("no X server");
        m_connection = m_x->get();
        m_window = xcb_generate_id(m_connection);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        xcb_flush(m_connection);
    }

    xcb_atom_t atom(const QByteArray& name) { return m_x->atom(name.constData()); }
    QByteArray atomName(xcb_atom_t atom) { return m_x->atomName(atom).value_or(QByteArray()); }

    // The property the owner answered into, or std::nullopt when it refused.
    std::optional<xcb_atom_t> convert(const QByteArray& target, const QByteArray& property)
    {
        xcb_convert_selection(m_connection, m_window, atom("CLIPBOARD"), atom(target),
                              atom(property), XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const bool notify = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
                const xcb_atom_t answered =
                    notify ? reinterpret_cast<xcb_selection_notify_event_t*>(event)->property
                           : XCB_NONE;
                free(event);
                if (notify)
                    return answered == XCB_NONE ? std::nullopt : std::optional(answered);
            }
            QThread::msleep(5);
        }
        qWarning("no answer from the clipboard owner");
        return std::nullopt;
    }

    Answer read(xcb_atom_t property)
    {
        auto* reply =
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 0, m_window, property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 64 * 1024 * 1024),
                                   nullptr);
        Answer answer;
        if (reply) {
            answer.type = atomName(reply->type);
            answer.format = reply->format;
            answer.data = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                     xcb_get_property_value_length(reply));
        }
        free(reply);
        return answer;
    }

    void setAtoms(const QByteArray& property, const QList<QByteArray>& names)
    {
        std::vector<xcb_atom_t> atoms;
        for (const QByteArray& name : names)
            atoms.push_back(name.isEmpty() ? XCB_NONE : atom(name));
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, atom(property),
                            atom("ATOM_PAIR"), 32, uint32_t(atoms.size()), atoms.data());
        xcb_flush(m_connection);
    }

    QList<QByteArray> atomNames(const QByteArray& data)
    {
        QList<QByteArray> names;
        const auto* atoms = reinterpret_cast<const xcb_atom_t*>(data.constData());
        for (qsizetype i = 0; i < data.size() / 4; ++i)
            names.append(atoms[i] == XCB_NONE ? QByteArray() : atomName(atoms[i]));
        return names;
    }

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
};

} // namespace

class TestX11ClipboardOwner : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XvfbServer> m_xvfb;
    QProcessEnvironment m_env;

    QProcess* run(const QStringList& arguments, const QByteArray& input = {})
    {
        auto* process = new QProcess(this);
        process->setProcessEnvironment(m_env);
        process->start(arguments.first(), arguments.mid(1));
        process->write(input);
        process->closeWriteChannel();
        return process;
    }
    // xclip -o: the bytes, or std::nullopt when the owner refused.
    std::optional<QByteArray> xclipOut(const QString& target)
    {
        std::unique_ptr<QProcess> process(
            run({"xclip", "-selection", "clipboard", "-o", "-t", target}));
        if (!process->waitForFinished(15000))
            qFatal("xclip -o hangs");
        if (process->exitCode() != 0)
            return std::nullopt;
        return process->readAllStandardOutput();
    }

private slots:
    void initTestCase()
    {
        test::routeWorkerThreadMessagesToStderr();
        // Without an X server the owner reports so and does nothing.
        qputenv("DISPLAY", ":4242");
        {
            X11ClipboardOwner absent;
            QVERIFY(!absent.isAvailable());
            QCOMPARE(absent.window(), 0u);
            absent.offer({{PasteboardType::String, "x"}});
        }

        m_xvfb = std::make_unique<XvfbServer>();
        QVERIFY(m_xvfb->isStarted());
        m_env = QProcessEnvironment::systemEnvironment();
    }

    void cleanupTestCase() { m_xvfb.reset(); }

    void mapsRepresentationsToTargets_data()
    {
        QTest::addColumn<QList<PasteboardRepresentation>>("representations");
        QTest::addColumn<QList<QByteArray>>("targets"); // "target type data" triples, flattened

        QTest::addRow("text, with the older targets")
            << QList<PasteboardRepresentation>{{PasteboardType::String, "Grüße ✓"}}
            << QList<QByteArray>{"UTF8_STRING",
                                 "UTF8_STRING",
                                 "Grüße ✓",
                                 "text/plain;charset=utf-8",
                                 "text/plain;charset=utf-8",
                                 "Grüße ✓",
                                 "STRING",
                                 "STRING",
                                 "Gr\xfc\xdf"
                                 "e ?",
                                 "TEXT",
                                 "UTF8_STRING",
                                 "Grüße ✓",
                                 "text/plain",
                                 "text/plain",
                                 "Grüße ✓"};
        QTest::addRow("link") << QList<PasteboardRepresentation>{{PasteboardType::URL,
                                                                  "https://a.example/x"}}
                              << QList<QByteArray>{"text/uri-list", "text/uri-list",
                                                   "https://a.example/x\r\n"};
        QTest::addRow("files")
            << QList<PasteboardRepresentation>{{PasteboardType::FileURL, "file:///a%20b"},
                                               {PasteboardType::FileURL, "file:///c"}}
            << QList<QByteArray>{"text/uri-list",
                                 "text/uri-list",
                                 "file:///a%20b\r\nfile:///c\r\n",
                                 "x-special/gnome-copied-files",
                                 "x-special/gnome-copied-files",
                                 "copy\nfile:///a%20b\nfile:///c"};
        QTest::addRow("first one wins a target")
            << QList<PasteboardRepresentation>{{PasteboardType::PNG, "first"},
                                               {PasteboardType::PNG, "second"}}
            << QList<QByteArray>{"image/png", "image/png", "first"};
    }

    void mapsRepresentationsToTargets()
    {
        QFETCH(QList<PasteboardRepresentation>, representations);
        QFETCH(QList<QByteArray>, targets);
        QList<QByteArray> actual;
        for (const X11ClipboardTarget& target : x11ClipboardTargets(representations))
            actual << target.target << target.type << target.data;
        QCOMPARE(actual, targets);
    }

    void servesTextTargets()
    {
        X11ClipboardOwner owner;
        QVERIFY(owner.isAvailable());
        QVERIFY(owner.window() != 0);
        owner.offer({{PasteboardType::String, "héllo\nworld"}});

        const QList<QByteArray> targets = xclipOut("TARGETS").value_or("").split('\n');
        for (const char* expected : {"TARGETS", "TIMESTAMP", "MULTIPLE", "UTF8_STRING", "STRING",
                                     "TEXT", "text/plain", "text/plain;charset=utf-8"})
            QVERIFY2(targets.contains(expected), expected);
        QVERIFY(!targets.contains("image/png"));
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("héllo\nworld"));
        QCOMPARE(xclipOut("text/plain;charset=utf-8"), QByteArray("héllo\nworld"));
        QCOMPARE(xclipOut("STRING"), QByteArray("h\xe9llo\nworld"));
        QCOMPARE(xclipOut("image/png"), std::nullopt);

        Requestor requestor;
        const auto timestamp = requestor.convert("TIMESTAMP", "BRIVET_TEST");
        QVERIFY(timestamp);
        const Requestor::Answer answer = requestor.read(*timestamp);
        QCOMPARE(answer.type, QByteArray("INTEGER"));
        QCOMPARE(answer.data.size(), 4);
        QVERIFY(*reinterpret_cast<const quint32*>(answer.data.constData()) != 0);
    }

    // A later offer replaces the earlier one; clear() leaves the clipboard owned and empty.
    void replacesAndClears()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::PNG, "png bytes"}});
        QCOMPARE(xclipOut("image/png"), QByteArray("png bytes"));
        owner.offer({{PasteboardType::String, "text now"}});
        QCOMPARE(xclipOut("image/png"), std::nullopt);
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("text now"));

        owner.clear();
        QCOMPARE(xclipOut("UTF8_STRING"), std::nullopt);
        const QList<QByteArray> targets = xclipOut("TARGETS").value_or("").trimmed().split('\n');
        QCOMPARE(targets, (QList<QByteArray>{"TARGETS", "TIMESTAMP", "MULTIPLE"}));
    }

    void answersMultiple()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "multi"}});
        Requestor requestor;
        requestor.setAtoms("BRIVET_PAIRS", {"UTF8_STRING", "BRIVET_P1", "application/x-unknown",
                                            "BRIVET_P2", "TARGETS", "BRIVET_P3"});

        const auto property = requestor.convert("MULTIPLE", "BRIVET_PAIRS");

        QVERIFY(property);
        const QList<QByteArray> pairs = requestor.atomNames(requestor.read(*property).data);
        QCOMPARE(pairs, (QList<QByteArray>{"UTF8_STRING", "BRIVET_P1", "application/x-unknown",
                                           QByteArray(), "TARGETS", "BRIVET_P3"}));
        QCOMPARE(requestor.read(requestor.atom("BRIVET_P1")).data, QByteArray("multi"));
        QVERIFY(requestor.atomNames(requestor.read(requestor.atom("BRIVET_P3")).data)
                    .contains("UTF8_STRING"));
    }

    // Large content goes by INCR; a requestor that never reads its answer holds up nobody.
    void sendsLargeContentIncrementally()
    {
        QByteArray large(5 * 1024 * 1024 + 123, Qt::Uninitialized);
        QRandomGenerator generator(42);
        generator.fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::PNG, large}, {PasteboardType::String, "small"}});

        Requestor stalled;
        const auto property = stalled.convert("image/png", "BRIVET_STALLED");
        QVERIFY(property);
        QCOMPARE(stalled.read(*property).type, QByteArray("INCR"));

        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("small"));
        const std::optional<QByteArray> received = xclipOut("image/png");
        QVERIFY(received);
        QCOMPARE(received->size(), large.size());
        QVERIFY(*received == large);

        QElapsedTimer clock;
        clock.start();
        owner.offer({{PasteboardType::String, "next"}});
        QVERIFY(clock.elapsed() < 2000); // not held up by the stalled requestor
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("next"));
    }

    // Another application's copy ends the ownership; the next offer takes it back.
    void givesWayToAnotherOwner()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "ours"}});
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("ours"));

        std::unique_ptr<QProcess> copy(run({"xclip", "-selection", "clipboard", "-i"}, "theirs"));
        QVERIFY(copy->waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(xclipOut("UTF8_STRING"), std::optional<QByteArray>("theirs"),
                                  5000);

        owner.offer({{PasteboardType::String, "ours again"}});
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("ours again"));
    }

    // Offered to put a copy back after its owner quit: another application's copy made in the
    // meantime is never replaced.
    void offersOnlyWhenUnowned()
    {
        X11ClipboardOwner owner;
        std::unique_ptr<QProcess> copy(run({"xclip", "-selection", "clipboard", "-i"}, "kept"));
        QVERIFY(copy->waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(xclipOut("UTF8_STRING"), std::optional<QByteArray>("kept"),
                                  5000);
        owner.offer({{PasteboardType::String, "put back"}}, X11ClipboardOwner::OnlyIfUnowned);
        QCOMPARE(xclipOut("UTF8_STRING"), QByteArray("kept"));
    }

    // Runs last: it takes the X server down. Brivet goes on without a clipboard, unblocked.
    void survivesTheServerGoing()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "before"}});
        QVERIFY(owner.isAvailable());

        m_xvfb->kill();

        QTRY_VERIFY_WITH_TIMEOUT(!owner.isAvailable(), 5000);
        QElapsedTimer clock;
        clock.start();
        owner.offer({{PasteboardType::String, "after"}});
        owner.clear();
        QVERIFY(clock.elapsed() < 1000);
    }
};

QTEST_GUILESS_MAIN(TestX11ClipboardOwner)
#include "tst_x11clipboardowner.moc"
