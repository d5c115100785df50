// X11Pasteboard against a real X server and test owners of our own. An owner that never
// answers, a secret's hint and an owner that quits: test_capture*.py.

#include "fakes/FakeFrontApplication.h"
#include "platform/x11/X11Pasteboard.h"
#include "support/TestContent.h"
#include "support/TestSelectionOwner.h"
#include "support/WorkerThreadLogging.h"

#include <QTest>

using namespace brivet;
using test::TestSelectionOwner;
using Behaviour = TestSelectionOwner::Behaviour;
using Targets = QList<TestSelectionOwner::Target>;
using T = PasteboardType;
using Data = QHash<PasteboardType, QByteArray>;

Q_DECLARE_METATYPE(QList<brivet::PasteboardType>)
Q_DECLARE_METATYPE(Targets)
Q_DECLARE_METATYPE(Behaviour)
Q_DECLARE_METATYPE(Data)

namespace {
constexpr int kWaitMs = 10000;
constexpr qint64 kLimit = 3 * 1000 * 1000;
} // namespace

class TestX11Pasteboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        test::routeWorkerThreadMessagesToStderr();
        watch();
        cleanup();
    }
    // While each test's owner still lives, the next copy is read whole.
    void cleanup()
    {
        const QByteArray marker = "next copy " + QByteArray::number(++m_copies);
        m_next = std::make_unique<TestSelectionOwner>(Targets{{"UTF8_STRING", marker}});
        QVERIFY(m_next->take()); // owns it until the next test's owner takes it
        QVERIFY(QTest::qWaitFor(
            [&] { return m_pasteboard->contents().dataForType(T::String) == marker; }, kWaitMs));
        m_owner.reset();
    }

    void ownerOffers_data()
    {
        QTest::addColumn<Targets>("targets");
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QList<T>>("types");
        QTest::addColumn<Data>("data");
        QTest::addColumn<QByteArrayList>("requests"); // after TARGETS
        const auto row = [](const char* name, Targets targets, QList<T> types, Data data,
                            QByteArrayList requests, Behaviour behaviour = Behaviour::Answer) {
            QTest::addRow("%s", name) << targets << behaviour << types << data << requests;
        };
        const QByteArray png = test::encode(test::plainImage({8, 8}), "PNG");
        const QByteArray tiff = "II*\0fake tiff bytes", big(4 * 1000 * 1000, 'b');
        QByteArray halfway(2 * 1000 * 1000, 'i');
        halfway[halfway.size() / 2] = 'j';
        // Two-byte characters shifted by one byte straddle every boundary the text is checked at.
        const QByteArray umlauts = "a" + QString(600 * 1000, QChar(0xfc)).toUtf8();
        row("files win over image and text",
            {{"UTF8_STRING", "a.pdf"},
             {"image/png", png},
             {"text/uri-list", "file:///u/a.pdf\r\n"}},
            {T::FileURL, T::PNG, T::String}, {{T::FileURL, "file:///u/a.pdf"}}, {"text/uri-list"});
        row("GNOME file list",
            {{"x-special/gnome-copied-files", "copy\nfile:///a/b%C3%A4\nfile:///c"}}, {T::FileURL},
            {{T::FileURL, "file:///a/b%C3%A4\r\nfile:///c"}}, {"x-special/gnome-copied-files"});
        row("uri-list without files falls to the text",
            {{"text/uri-list", "https://e.org/\r\n"}, {"UTF8_STRING", "https://e.org/"}},
            {T::FileURL, T::String}, {{T::String, "https://e.org/"}},
            {"text/uri-list", "UTF8_STRING"});
        row("TIFF before PNG", {{"image/png", png}, {"image/tiff", tiff}}, {T::TIFF, T::PNG},
            {{T::TIFF, tiff}}, {"image/tiff"});
        row("refused TIFF falls back to PNG", {{"image/tiff", {}, {}, true}, {"image/png", png}},
            {T::TIFF, T::PNG}, {{T::PNG, png}}, {"image/tiff", "image/png"});
        row("text read before the image", {{"image/png", {}}, {"UTF8_STRING", "alt"}},
            {T::PNG, T::String}, {{T::String, "alt"}}, {"UTF8_STRING", "image/png"});
        row("image over the limit leaves the text", {{"image/png", big}, {"UTF8_STRING", "alt"}},
            {T::PNG, T::String}, {{T::String, "alt"}}, {"UTF8_STRING", "image/png"});
        row("Latin-1 STRING", {{"STRING", "caf\xe9"}}, {T::String}, {{T::String, "caf\xc3\xa9"}},
            {"STRING"});
        row("UTF-8 preferred over STRING",
            {{"STRING", "caf\xe9"}, {"text/plain;charset=utf-8", "caf\xc3\xa9"}}, {T::String},
            {{T::String, "caf\xc3\xa9"}}, {"text/plain;charset=utf-8"});
        row("TEXT answered as UTF8_STRING", {{"TEXT", "\xe2\x9c\x93", "UTF8_STRING"}}, {T::String},
            {{T::String, "\xe2\x9c\x93"}}, {"TEXT"});
        row("invalid UTF-8 repaired", {{"UTF8_STRING", "ok \xff"}}, {T::String},
            {{T::String, "ok \xef\xbf\xbd"}}, {"UTF8_STRING"});
        row("cut-off character at the end", {{"UTF8_STRING", "abc\xc3"}}, {T::String},
            {{T::String, "abc\xef\xbf\xbd"}}, {"UTF8_STRING"});
        row("long UTF-8 text", {{"UTF8_STRING", umlauts}}, {T::String}, {{T::String, umlauts}},
            {"UTF8_STRING"});
        row("formatting without a text is not read", {{"text/html", "<b>x</b>"}}, {T::HTML}, {},
            {});
        row("concealed type",
            {{"UTF8_STRING", "pw"}, {"application/x-nspasteboard-concealed-type", "1"}}, {}, {},
            {});
        row("over the limit in one property", {{"UTF8_STRING", big}}, {T::String}, {},
            {"UTF8_STRING"});
        row("INCR with a 1-byte hint", {{"UTF8_STRING", halfway}}, {T::String},
            {{T::String, halfway}}, {"UTF8_STRING"}, Behaviour::Incremental);
        row("INCR growing over the limit", {{"UTF8_STRING", big}}, {T::String}, {}, {"UTF8_STRING"},
            Behaviour::Incremental);
        row("owner stalling its INCR", {{"UTF8_STRING", "x"}}, {T::String}, {}, {"UTF8_STRING"},
            Behaviour::StallIncremental);
    }
    void ownerOffers()
    {
        QFETCH(Targets, targets);
        QFETCH(Behaviour, behaviour);
        QFETCH(QByteArrayList, requests);
        const qint64 before = m_pasteboard->changeCount();
        m_owner = std::make_unique<TestSelectionOwner>(targets, behaviour);
        QVERIFY(m_owner->take());
        QVERIFY(waitForChange(before));

        QTEST(m_pasteboard->contents().types, "types");
        QTEST(m_pasteboard->contents().data, "data");
        QCOMPARE(m_owner->requests(), QByteArrayList{"TARGETS"} + requests);
        // Past the limit the reader stops asking for pieces.
        QVERIFY2(m_owner->piecesSent() <= int(kLimit / (64 * 1024)) + 2,
                 qPrintable(QString::number(m_owner->piecesSent())));
    }

    void ownWritesAreNotReadBack()
    {
        const qint64 before = m_pasteboard->changeCount();
        m_pasteboard->write({{T::String, "written by Brivet"}});
        QVERIFY(waitForChange(before));
        QVERIFY(m_pasteboard->contents().types.isEmpty());
    }

    // A copy made in an ignored application is not read at all, not even its list of types;
    // one made in another application is.
    void ignoredApplicationIsNotAsked()
    {
        m_pasteboard.reset(); // the only reader of this test's owners is the one below
        auto front = std::make_unique<FakeFrontApplication>();
        FakeFrontApplication* frontApplication = front.get();
        frontApplication->setApplication(ApplicationInfo{"Vault", "org.example.Vault"});
        X11Pasteboard pasteboard(X11SelectionReader::Limits{}, std::move(front));
        pasteboard.ignoredApplications().setIds({"org.example.vault"});
        QVERIFY(pasteboard.isWatching());
        for (const char* app : {"org.example.Vault", "org.example.Editor"}) {
            frontApplication->setApplication(ApplicationInfo{"App", QString::fromLatin1(app)});
            const qint64 before = pasteboard.changeCount();
            m_owner = std::make_unique<TestSelectionOwner>(Targets{{"UTF8_STRING", app}});
            QVERIFY(m_owner->take());
            const bool ignored = QByteArray(app) == "org.example.Vault";
            // (The owner before may give up the clipboard first: a change of its own.)
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return pasteboard.changeCount() > before &&
                           (ignored || pasteboard.contents().dataForType(T::String) == app);
                },
                kWaitMs));
            QCOMPARE(m_owner->requests().isEmpty(), ignored);
            QCOMPARE(pasteboard.contents().types.isEmpty(), ignored);
        }
        watch();
    }

private:
    void watch()
    {
        X11SelectionReader::Limits limits;
        limits.maxBytes = kLimit;
        m_pasteboard = std::make_unique<X11Pasteboard>(limits);
        QVERIFY(m_pasteboard->isWatching());
    }
    [[nodiscard]] bool waitForChange(qint64 before)
    {
        return QTest::qWaitFor([&] { return m_pasteboard->changeCount() > before; }, kWaitMs);
    }

    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::unique_ptr<TestSelectionOwner> m_owner, m_next;
    int m_copies = 0;
};

QTEST_GUILESS_MAIN(TestX11Pasteboard)
#include "tst_x11pasteboard.moc"
