#include "platform/x11/X11ClipboardOwner.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"
#include "support/XTestClients.h"
#include "support/XvfbServer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <optional>
#include <xcb/xcb.h>

using namespace brivet;
using test::Requestor;
using test::XvfbServer;

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

        // Not held up by the stalled requestor: the server confirms the new offer in time.
        QTest::failOnWarning(QRegularExpression("did not confirm the clipboard ownership"));
        owner.offer({{PasteboardType::String, "next"}});
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

BRIVET_TEST_CLASS(TestX11ClipboardOwner)
#include "tst_x11clipboardowner.moc"
