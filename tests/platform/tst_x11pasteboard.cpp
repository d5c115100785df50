// X11Pasteboard against a real X server: real xclip processes and test owners of our own.

#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestContent.h"
#include "support/TestSelectionOwner.h"
#include "support/WorkerThreadLogging.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTest>

using namespace brivet;
using test::TestSelectionOwner;

Q_DECLARE_METATYPE(QList<brivet::PasteboardType>)
Q_DECLARE_METATYPE(QList<TestSelectionOwner::Target>)
Q_DECLARE_METATYPE(TestSelectionOwner::Behaviour)

namespace {

constexpr int kWaitMs = 10000;

} // namespace

class TestX11Pasteboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void ownerOffers_data();
    void ownerOffers();
    void unresponsiveOwner_data();
    void unresponsiveOwner();
    void secretsAreNotRead_data();
    void secretsAreNotRead();
    void contentOverTheLimitIsSkipped_data();
    void contentOverTheLimitIsSkipped();
    void incrementalTransferWithSmallHint_data();
    void incrementalTransferWithSmallHint();
    void ownerGoneGivesEmptyContents();
    void newerChangeReplacesSlowOne();
    void ownWritesAreNotReadBack();
    void imageOverTheLimitLeavesTheText();

private:
    // Starts xclip in the foreground; it owns CLIPBOARD until someone else takes it.
    void copyWithXclip(const QByteArray& data, const QString& target = {});
    [[nodiscard]] bool waitForChange(const X11Pasteboard& pasteboard, qint64 before);
    // After a failed read, the pasteboard still reads the next copy whole.
    void expectNextCopyRead(X11Pasteboard& pasteboard, const QString& text);
    xcb_window_t clipboardOwner();

    // One pasteboard for most tests: X servers may refuse connections made in quick
    // succession, so the tests open as few as they can.
    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::unique_ptr<XcbConnection> m_x;
    std::unique_ptr<TestSelectionOwner> m_sentinel;
    int m_sentinelNumber = 0;
    QList<QProcess*> m_xclips;
};

void TestX11Pasteboard::initTestCase()
{
    test::routeWorkerThreadMessagesToStderr();
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "runs under an X server");
    qRegisterMetaType<QList<PasteboardType>>();
    m_x = XcbConnection::open();
    QVERIFY(m_x);
    m_pasteboard = std::make_unique<X11Pasteboard>();
    QVERIFY(m_pasteboard->isWatching());
}

void TestX11Pasteboard::cleanupTestCase()
{
    m_pasteboard.reset();
}

void TestX11Pasteboard::init()
{
    // Each test starts from a known owner whose contents the pasteboard has read, so that
    // changes left over from the previous test cannot be mistaken for this test's.
    const QByteArray marker = "sentinel " + QByteArray::number(++m_sentinelNumber);
    m_sentinel = std::make_unique<TestSelectionOwner>(
        QList<TestSelectionOwner::Target>{{"UTF8_STRING", marker}});
    QVERIFY(m_sentinel->take());
    QVERIFY(QTest::qWaitFor(
        [&] {
            return m_pasteboard->contents().dataForType(PasteboardType::String) ==
                   std::optional(marker);
        },
        kWaitMs));
}

void TestX11Pasteboard::cleanup()
{
    m_sentinel.reset();
    if (!m_pasteboard)
        m_pasteboard = std::make_unique<X11Pasteboard>();
    for (QProcess* xclip : std::as_const(m_xclips)) {
        xclip->kill();
        xclip->waitForFinished(5000);
        delete xclip;
    }
    m_xclips.clear();
}

xcb_window_t TestX11Pasteboard::clipboardOwner()
{
    xcb_connection_t* c = m_x->get();
    XcbReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, m_x->atom("CLIPBOARD")), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

void TestX11Pasteboard::copyWithXclip(const QByteArray& data, const QString& target)
{
    const xcb_window_t previousOwner = clipboardOwner();
    // xclip may find the server refusing its connection for a moment; it then exits at once.
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto* xclip = new QProcess;
        m_xclips.append(xclip);
        QStringList args{"-quiet", "-selection", "clipboard", "-i"};
        if (!target.isEmpty())
            args << "-t" << target;
        // In the foreground xclip narrates every request it serves.
        xclip->setStandardOutputFile(QProcess::nullDevice());
        xclip->start("xclip", args);
        QVERIFY(xclip->waitForStarted());
        for (qsizetype offset = 0; offset < data.size(); offset += 1 << 20) {
            xclip->write(data.mid(offset, 1 << 20));
            QVERIFY(xclip->waitForBytesWritten(kWaitMs));
        }
        xclip->closeWriteChannel();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return clipboardOwner() != previousOwner || xclip->state() == QProcess::NotRunning;
            },
            kWaitMs));
        if (xclip->state() == QProcess::Running)
            return;
    }
    QFAIL("xclip could not take the clipboard");
}

bool TestX11Pasteboard::waitForChange(const X11Pasteboard& pasteboard, qint64 before)
{
    return QTest::qWaitFor([&] { return pasteboard.changeCount() > before; }, kWaitMs);
}

void TestX11Pasteboard::expectNextCopyRead(X11Pasteboard& pasteboard, const QString& text)
{
    const qint64 before = pasteboard.changeCount();
    copyWithXclip(text.toUtf8());
    QVERIFY(waitForChange(pasteboard, before));
    QCOMPARE(pasteboard.contents().stringForType(PasteboardType::String), std::optional(text));
}

void TestX11Pasteboard::ownerOffers_data()
{
    using Target = TestSelectionOwner::Target;
    QTest::addColumn<QList<Target>>("targets");
    QTest::addColumn<QList<PasteboardType>>("types");
    QTest::addColumn<int>("readType");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("fileUrls");
    QTest::addColumn<QByteArrayList>("requests");

    const QByteArray png = test::encode(test::plainImage({8, 8}), "PNG");
    const QByteArray tiff = "II*\0fake tiff bytes";
    QTest::addRow("files win over image and text")
        << QList<Target>{{"UTF8_STRING", "report.pdf"},
                         {"image/png", png},
                         {"text/uri-list", "file:///home/u/report.pdf\r\n"}}
        << QList{PasteboardType::FileURL, PasteboardType::PNG, PasteboardType::String}
        << int(PasteboardType::FileURL) << QByteArray("file:///home/u/report.pdf")
        << QStringList{"file:///home/u/report.pdf"} << QByteArrayList{"TARGETS", "text/uri-list"};
    QTest::addRow("GNOME file list")
        << QList<Target>{{"x-special/gnome-copied-files", "copy\nfile:///a/b%C3%A4.txt\nfile:///c"}}
        << QList{PasteboardType::FileURL} << int(PasteboardType::FileURL)
        << QByteArray("file:///a/b%C3%A4.txt\r\nfile:///c")
        << QStringList{"file:///a/b%C3%A4.txt", "file:///c"}
        << QByteArrayList{"TARGETS", "x-special/gnome-copied-files"};
    QTest::addRow("uri-list without files falls through to text")
        << QList<Target>{{"text/uri-list", "https://example.org/\r\n"},
                         {"UTF8_STRING", "https://example.org/"}}
        << QList{PasteboardType::FileURL, PasteboardType::String} << int(PasteboardType::String)
        << QByteArray("https://example.org/") << QStringList()
        << QByteArrayList{"TARGETS", "text/uri-list", "UTF8_STRING"};
    QTest::addRow("TIFF before PNG")
        << QList<Target>{{"image/png", png}, {"image/tiff", tiff}}
        << QList{PasteboardType::TIFF, PasteboardType::PNG} << int(PasteboardType::TIFF) << tiff
        << QStringList() << QByteArrayList{"TARGETS", "image/tiff"};
    QTest::addRow("refused TIFF falls back to PNG")
        << QList<Target>{{"image/tiff", {}, {}, true}, {"image/png", png}}
        << QList{PasteboardType::TIFF, PasteboardType::PNG} << int(PasteboardType::PNG) << png
        << QStringList() << QByteArrayList{"TARGETS", "image/tiff", "image/png"};
    QTest::addRow("empty image falls through to text")
        << QList<Target>{{"image/png", {}}, {"UTF8_STRING", "alt text"}}
        << QList{PasteboardType::PNG, PasteboardType::String} << int(PasteboardType::String)
        << QByteArray("alt text") << QStringList()
        << QByteArrayList{"TARGETS", "UTF8_STRING", "image/png"};
    QTest::addRow("Latin-1 STRING")
        << QList<Target>{{"STRING", "caf\xe9 cr\xe8me"}} << QList{PasteboardType::String}
        << int(PasteboardType::String) << QString::fromUtf8("café crème").toUtf8() << QStringList()
        << QByteArrayList{"TARGETS", "STRING"};
    QTest::addRow("UTF-8 preferred over STRING")
        << QList<Target>{{"STRING", "caf\xe9"}, {"text/plain;charset=utf-8", "caf\xc3\xa9"}}
        << QList{PasteboardType::String} << int(PasteboardType::String) << QByteArray("caf\xc3\xa9")
        << QStringList() << QByteArrayList{"TARGETS", "text/plain;charset=utf-8"};
    QTest::addRow("TEXT answered as UTF8_STRING")
        << QList<Target>{{"TEXT", "\xe2\x9c\x93", "UTF8_STRING"}} << QList{PasteboardType::String}
        << int(PasteboardType::String) << QByteArray("\xe2\x9c\x93") << QStringList()
        << QByteArrayList{"TARGETS", "TEXT"};
    QTest::addRow("invalid UTF-8 is repaired")
        << QList<Target>{{"UTF8_STRING", "ok \xff end"}} << QList{PasteboardType::String}
        << int(PasteboardType::String) << QString::fromUtf8("ok \xef\xbf\xbd end").toUtf8()
        << QStringList() << QByteArrayList{"TARGETS", "UTF8_STRING"};
    QTest::addRow("cut-off character at the end")
        << QList<Target>{{"UTF8_STRING", "abc\xc3"}} << QList{PasteboardType::String}
        << int(PasteboardType::String) << QString::fromUtf8("abc\xef\xbf\xbd").toUtf8()
        << QStringList() << QByteArrayList{"TARGETS", "UTF8_STRING"};
    // Over a megabyte of two-byte characters, shifted by one byte: characters straddle every
    // boundary at which the text is checked, and must come through untouched.
    const QByteArray umlauts = "a" + QString(600 * 1000, QChar(0xfc)).toUtf8();
    QTest::addRow("long UTF-8 text")
        << QList<Target>{{"UTF8_STRING", umlauts}} << QList{PasteboardType::String}
        << int(PasteboardType::String) << umlauts << QStringList()
        << QByteArrayList{"TARGETS", "UTF8_STRING"};
    QTest::addRow("nothing readable")
        << QList<Target>{{"text/html", "<b>styled</b>"}} << QList<PasteboardType>() << -1
        << QByteArray() << QStringList() << QByteArrayList{"TARGETS"};
}

void TestX11Pasteboard::ownerOffers()
{
    QFETCH(QList<TestSelectionOwner::Target>, targets);
    QFETCH(QList<PasteboardType>, types);
    QFETCH(int, readType);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, fileUrls);
    QFETCH(QByteArrayList, requests);

    X11Pasteboard& pasteboard = *m_pasteboard;
    const qint64 before = pasteboard.changeCount();
    TestSelectionOwner owner(targets);
    QVERIFY(owner.take());
    QVERIFY(waitForChange(pasteboard, before));

    const PasteboardContents contents = pasteboard.contents();
    QCOMPARE(contents.types, types);
    QCOMPARE(contents.fileUrlStrings, fileUrls);
    if (readType < 0) {
        QVERIFY(contents.data.isEmpty());
    } else {
        QCOMPARE(contents.data.size(), 1);
        QCOMPARE(contents.dataForType(PasteboardType(readType)), std::optional(expected));
    }
    QCOMPARE(owner.requests(), requests);
}

void TestX11Pasteboard::unresponsiveOwner_data()
{
    QTest::addColumn<TestSelectionOwner::Behaviour>("behaviour");
    QTest::addRow("never answers") << TestSelectionOwner::Behaviour::Silent;
    QTest::addRow("stalls an incremental transfer")
        << TestSelectionOwner::Behaviour::StallIncremental;
}

void TestX11Pasteboard::unresponsiveOwner()
{
    QFETCH(TestSelectionOwner::Behaviour, behaviour);
    X11Pasteboard& pasteboard = *m_pasteboard;
    qint64 before = pasteboard.changeCount();
    {
        TestSelectionOwner owner({{"UTF8_STRING", "never delivered"}}, behaviour);
        QVERIFY(owner.take());
        QVERIFY(waitForChange(pasteboard, before));
        QVERIFY(pasteboard.contents().data.isEmpty());
        before = pasteboard.changeCount();
        // The owner is still alive and still silent: the next copy must be read normally.
        copyWithXclip("after the silence");
        QVERIFY(waitForChange(pasteboard, before));
    }
    QCOMPARE(pasteboard.contents().stringForType(PasteboardType::String),
             std::optional<QString>("after the silence"));
}

void TestX11Pasteboard::secretsAreNotRead_data()
{
    QTest::addColumn<QByteArray>("marker");
    QTest::addRow("KDE password manager hint") << QByteArray("x-kde-passwordManagerHint");
    QTest::addRow("concealed type") << QByteArray("application/x-nspasteboard-concealed-type");
}

void TestX11Pasteboard::secretsAreNotRead()
{
    QFETCH(QByteArray, marker);
    X11Pasteboard& pasteboard = *m_pasteboard;
    const qint64 before = pasteboard.changeCount();
    TestSelectionOwner owner(
        QList<TestSelectionOwner::Target>{{"UTF8_STRING", "hunter2"}, {marker, "secret"}});
    QVERIFY(owner.take());
    QVERIFY(waitForChange(pasteboard, before));
    QVERIFY(pasteboard.contents().types.isEmpty());
    QVERIFY(pasteboard.contents().data.isEmpty());
    QCOMPARE(owner.requests(), QByteArrayList{"TARGETS"});
}

void TestX11Pasteboard::contentOverTheLimitIsSkipped_data()
{
    QTest::addColumn<bool>("incremental");
    QTest::addRow("one property") << false;
    QTest::addRow("incremental") << true;
}

void TestX11Pasteboard::contentOverTheLimitIsSkipped()
{
    QFETCH(bool, incremental);
    // Alone: xclip serves one incremental transfer at a time, and a second reader's questions
    // could wait for the first's transfer longer than the reader waits for an answer.
    m_pasteboard.reset();
    X11SelectionReader::Limits limits;
    limits.maxBytes = 3 * 1000 * 1000;
    X11Pasteboard pasteboard(limits);
    const QByteArray big(4 * 1000 * 1000, 'b');
    qint64 before = pasteboard.changeCount();
    std::unique_ptr<TestSelectionOwner> owner;
    if (incremental) {
        copyWithXclip(big); // over xclip's piece size: sent by INCR
    } else {
        owner = std::make_unique<TestSelectionOwner>(
            QList<TestSelectionOwner::Target>{{"UTF8_STRING", big}});
        QVERIFY(owner->take());
    }
    QVERIFY(waitForChange(pasteboard, before));
    QCOMPARE(pasteboard.contents().types, QList{PasteboardType::String});
    QVERIFY(pasteboard.contents().data.isEmpty());

    expectNextCopyRead(pasteboard, "small again");
}

void TestX11Pasteboard::incrementalTransferWithSmallHint_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("arrives");
    QTest::addRow("under the limit") << 2 * 1000 * 1000 << true;
    QTest::addRow("grows over the limit") << 4 * 1000 * 1000 << false;
}

// The owner's size hint says 1 byte; the limit must hold while the pieces come in.
void TestX11Pasteboard::incrementalTransferWithSmallHint()
{
    QFETCH(int, size);
    QFETCH(bool, arrives);
    m_pasteboard.reset(); // alone: the test owner serves one incremental transfer at a time
    X11SelectionReader::Limits limits;
    limits.maxBytes = 3 * 1000 * 1000;
    X11Pasteboard pasteboard(limits);
    QByteArray text(size, 'i');
    text[size / 2] = 'j';
    qint64 before = pasteboard.changeCount();
    TestSelectionOwner owner(QList<TestSelectionOwner::Target>{{"UTF8_STRING", text}},
                             TestSelectionOwner::Behaviour::Incremental);
    QVERIFY(owner.take());
    QVERIFY(waitForChange(pasteboard, before));
    QCOMPARE(pasteboard.contents().types, QList{PasteboardType::String});
    if (arrives) {
        QCOMPARE(pasteboard.contents().dataForType(PasteboardType::String), std::optional(text));
        return;
    }
    QVERIFY(pasteboard.contents().data.isEmpty());
    // The reader stopped asking for pieces once past the limit.
    const int piece = 64 * 1024;
    QVERIFY2(owner.piecesSent() <= int(limits.maxBytes / piece) + 2,
             qPrintable(QString::number(owner.piecesSent())));

    expectNextCopyRead(pasteboard, "after the big one");
}

void TestX11Pasteboard::ownerGoneGivesEmptyContents()
{
    X11Pasteboard& pasteboard = *m_pasteboard;
    qint64 before = pasteboard.changeCount();
    TestSelectionOwner owner(QList<TestSelectionOwner::Target>{{"UTF8_STRING", "short-lived"}});
    QVERIFY(owner.take());
    QVERIFY(waitForChange(pasteboard, before));
    QVERIFY(pasteboard.contents().hasType(PasteboardType::String));

    before = pasteboard.changeCount();
    owner.destroyWindow();
    QVERIFY(waitForChange(pasteboard, before));
    QCOMPARE(pasteboard.changeCount(), before + 1);
    QVERIFY(pasteboard.contents().types.isEmpty());
    QVERIFY(pasteboard.contents().data.isEmpty());
}

void TestX11Pasteboard::newerChangeReplacesSlowOne()
{
    X11Pasteboard& pasteboard = *m_pasteboard;
    const qint64 before = pasteboard.changeCount();
    TestSelectionOwner silent({{"UTF8_STRING", "never delivered"}},
                              TestSelectionOwner::Behaviour::Silent);
    QVERIFY(silent.take());
    QVERIFY(QTest::qWaitFor([&] { return silent.requests().contains("TARGETS"); }, kWaitMs));
    // Taken while the reader still waits for the silent owner: that wait is abandoned.
    copyWithXclip("newest");
    QVERIFY(QTest::qWaitFor(
        [&] {
            return pasteboard.contents().stringForType(PasteboardType::String) ==
                   std::optional<QString>("newest");
        },
        kWaitMs));
    QVERIFY(pasteboard.changeCount() > before);
}

void TestX11Pasteboard::ownWritesAreNotReadBack()
{
    X11Pasteboard& pasteboard = *m_pasteboard;
    qint64 before = pasteboard.changeCount();
    pasteboard.write({{PasteboardType::String, "written by Brivet"}});
    QVERIFY(waitForChange(pasteboard, before));
    QVERIFY(pasteboard.contents().types.isEmpty());

    // The write itself reached the clipboard.
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-o"});
    QVERIFY(xclip.waitForFinished(kWaitMs));
    QCOMPARE(xclip.readAllStandardOutput(), QByteArray("written by Brivet"));

    before = pasteboard.changeCount();
    pasteboard.clearContents();
    QVERIFY(waitForChange(pasteboard, before));
    QVERIFY(pasteboard.contents().types.isEmpty());
}

// The text is read first; an image too large to keep costs nothing of it.
void TestX11Pasteboard::imageOverTheLimitLeavesTheText()
{
    m_pasteboard.reset(); // alone, so that the owner's requests are this reader's
    X11SelectionReader::Limits limits;
    limits.maxBytes = 1000 * 1000;
    X11Pasteboard pasteboard(limits);
    const qint64 before = pasteboard.changeCount();
    TestSelectionOwner owner(QList<TestSelectionOwner::Target>{
        {"image/png", QByteArray(2 * 1000 * 1000, 'p')}, {"UTF8_STRING", "caption"}});
    QVERIFY(owner.take());
    QVERIFY(waitForChange(pasteboard, before));
    QCOMPARE(pasteboard.contents().data.keys(), QList{PasteboardType::String});
    QCOMPARE(pasteboard.contents().stringForType(PasteboardType::String),
             std::optional<QString>("caption"));
    QCOMPARE(owner.requests(), (QByteArrayList{"TARGETS", "UTF8_STRING", "image/png"}));
}

QTEST_GUILESS_MAIN(TestX11Pasteboard)
#include "tst_x11pasteboard.moc"
