// X11ClipboardOwner on a private X server, read by xclip and by a requestor of the test's own.
#include "platform/x11/X11ClipboardOwner.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"
#include "support/XTestClients.h"
#include "support/XvfbServer.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace brivet;
using test::Requestor;

namespace {

// xclip -o (or -i with input): the output, or std::nullopt when xclip failed.
std::optional<QByteArray> xclip(const QString& target, const QByteArray& input = {})
{
    QProcess process;
    process.start("xclip", {"-selection", "clipboard", input.isNull() ? "-o" : "-i", "-t", target});
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(15000))
        qFatal("xclip hangs");
    return process.exitCode() == 0 ? std::optional(process.readAllStandardOutput()) : std::nullopt;
}

} // namespace

class TestX11ClipboardOwner : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::XvfbServer> m_xvfb;

private slots:
    void initTestCase()
    {
        test::routeWorkerThreadMessagesToStderr();
        qputenv("DISPLAY", ":4242"); // no X server: says so and does nothing
        {
            X11ClipboardOwner absent;
            QVERIFY(!absent.isAvailable());
            absent.offer({{PasteboardType::String, "x"}});
        }
        m_xvfb = std::make_unique<test::XvfbServer>();
        QVERIFY(m_xvfb->isStarted());
    }
    void cleanupTestCase() { m_xvfb.reset(); }

    void servesTextTargets()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "héllo\nworld"}});
        const QList<QByteArray> targets = xclip("TARGETS").value_or("").split('\n');
        for (const char* expected : {"TARGETS", "TIMESTAMP", "MULTIPLE", "UTF8_STRING", "STRING",
                                     "TEXT", "text/plain", "text/plain;charset=utf-8"})
            QVERIFY2(targets.contains(expected), expected);
        QVERIFY(!targets.contains("image/png"));
        QCOMPARE(xclip("UTF8_STRING"), QByteArray("héllo\nworld"));
        QCOMPARE(xclip("text/plain;charset=utf-8"), QByteArray("héllo\nworld"));
        QCOMPARE(xclip("STRING"), QByteArray("h\xe9llo\nworld"));
        QCOMPARE(xclip("image/png"), std::nullopt);
        Requestor requestor;
        const Requestor::Answer answer = requestor.read(*requestor.convert("TIMESTAMP", "P"));
        QCOMPARE(answer.type, QByteArray("INTEGER"));
        QCOMPARE(answer.data.size(), 4);
        QVERIFY(*reinterpret_cast<const quint32*>(answer.data.constData()) != 0);
    }

    void answersMultiple()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "multi"}});
        Requestor requestor;
        requestor.setAtoms("PAIRS",
                           {"UTF8_STRING", "P1", "application/x-unknown", "P2", "TARGETS", "P3"});
        const auto property = requestor.convert("MULTIPLE", "PAIRS");
        QVERIFY(property);
        QCOMPARE(requestor.atomNames(requestor.read(*property).data),
                 (QList<QByteArray>{"UTF8_STRING", "P1", "application/x-unknown", QByteArray(),
                                    "TARGETS", "P3"}));
        QCOMPARE(requestor.read(requestor.atom("P1")).data, QByteArray("multi"));
        QVERIFY(
            requestor.atomNames(requestor.read(requestor.atom("P3")).data).contains("UTF8_STRING"));
    }

    // Large content goes by INCR; a requestor that never reads its answer holds up nobody.
    void sendsLargeContentIncrementally()
    {
        QByteArray large(5 * 1024 * 1024 + 123, Qt::Uninitialized);
        QRandomGenerator(42).fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / 4);
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::PNG, large}, {PasteboardType::String, "small"}});
        Requestor stalled;
        QCOMPARE(stalled.read(*stalled.convert("image/png", "STALLED")).type, QByteArray("INCR"));

        QCOMPARE(xclip("UTF8_STRING"), QByteArray("small"));
        QVERIFY(xclip("image/png") == large);
        QTest::failOnWarning(QRegularExpression("did not confirm the clipboard ownership"));
        owner.offer({{PasteboardType::String, "next"}});
        QCOMPARE(xclip("UTF8_STRING"), QByteArray("next"));
    }

    // A copy put back after its owner quit never replaces another application's copy.
    void offersOnlyWhenUnowned()
    {
        X11ClipboardOwner owner;
        QCOMPARE(xclip("UTF8_STRING", "kept"), QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(xclip("UTF8_STRING"), std::optional<QByteArray>("kept"), 5000);
        owner.offer({{PasteboardType::String, "put back"}}, X11ClipboardOwner::OnlyIfUnowned);
        QCOMPARE(xclip("UTF8_STRING"), QByteArray("kept"));
    }

    // Runs last: it takes the X server down. The owner goes on without a clipboard, unblocked.
    void survivesTheServerGoing()
    {
        X11ClipboardOwner owner;
        owner.offer({{PasteboardType::String, "before"}});
        QVERIFY(owner.isAvailable());
        m_xvfb->kill();
        QTRY_VERIFY_WITH_TIMEOUT(!owner.isAvailable(), 5000);
        owner.offer({{PasteboardType::String, "after"}});
        owner.clear();
    }
};

BRIVET_TEST_CLASS(TestX11ClipboardOwner)
#include "tst_x11clipboardowner.moc"
