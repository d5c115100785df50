// Derived values of records and the colour helpers, at their edges.
#include "store/ClipboardItem.h"
#include "store/Palette.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QTest>

using namespace brivet;

class TestClipboardItem : public QObject
{
    Q_OBJECT
private slots:
    void characterCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");
        const auto row = [](const char* name, const char* utf8, qint64 n) {
            QTest::newRow(name) << QString::fromUtf8(utf8) << n;
        };
        row("empty", "", 0);
        row("family emoji",
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1);
        row("flag", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 1);
        row("combining accent", "e\xCC\x81t\xC3\xA9", 3);
        row("crlf", "a\r\nb", 3);
    }
    void characterCount()
    {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        const ClipboardItem item = test::textRecord(text);
        QCOMPARE(item.characterCount, expected);
        QCOMPARE(item.detailText(), QStringLiteral("%1 characters").arg(expected));
    }

    void detailText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("url");
        QTest::addColumn<QVariant>("fileName");
        QTest::addColumn<qint64>("size"); // -1: no data
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* kind, const char* url, const char* file, qint64 size,
                            const char* expected) {
            QTest::addRow("%s %s%s %lld", kind, url ? url : "", file ? file : "", size)
                << kind << (url ? QVariant(url) : QVariant())
                << (file ? QVariant(file) : QVariant()) << size << QString::fromUtf8(expected);
        };
        row("image", nullptr, nullptr, -1, "Image");
        row("image", nullptr, nullptr, 1023, "0 KB");
        row("image", nullptr, nullptr, 1049599, "1024 KB");
        row("image", nullptr, nullptr, 1049600, "1 MB");
        row("link", "https://example.com/a?b=c", nullptr, -1, "example.com");
        row("link", "mailto:someone@example.com", nullptr, -1, "mailto:someone@example.com");
        row("link", "http://exa mple.com", nullptr, -1, "http://exa mple.com");
        row("link", nullptr, nullptr, -1, "Link");
        row("file", nullptr, "report.pdf", 240 * 1024, "PDF File \u00B7 240 KB");
        row("file", nullptr, "backup.tar.gz", -1, "GZ File");
        row("file", nullptr, "Makefile", 0, "File \u00B7 0 KB");
        row("file", nullptr, "name.", -1, "File");
        row("file", nullptr, nullptr, -1, "File");
    }
    void detailText()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, url);
        QFETCH(QVariant, fileName);
        QFETCH(qint64, size);
        QFETCH(QString, expected);
        ClipboardItem item;
        item.contentType = kind;
        if (url.isValid())
            item.urlString = url.toString();
        if (fileName.isValid())
            item.fileName = fileName.toString();
        if (size >= 0) // the size alone decides: the bytes are never read
            (kind == "image" ? item.imageData : item.fileData) =
                Blob(size, [] { return qFatal("bytes loaded"), QByteArray(); });
        QCOMPARE(item.detailText(), expected);
    }

    void timeAgo_data()
    {
        QTest::addColumn<qint64>("msAgo");
        QTest::addColumn<QString>("expectedStart");
        QTest::newRow("59.9 s") << qint64(59900) << "Just now";
        QTest::newRow("future") << qint64(-300000) << "Just now";
        QTest::newRow("60 s") << qint64(60000) << "1 min";
        QTest::newRow("largest unit") << qint64(11040000) << "3 hr";
        QTest::newRow("2 years") << qint64(2) * 365 * 86400000 << "2 ";
    }
    void timeAgo()
    {
        QFETCH(qint64, msAgo);
        QFETCH(QString, expectedStart);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        ClipboardItem item;
        item.timestamp = now.addMSecs(-msAgo);
        QVERIFY2(item.timeAgo(now).startsWith(expectedStart), qPrintable(item.timeAgo(now)));
    }

    void colorFromHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("hashes on both ends") << "##FF0000#" << 0xFFFF0000u;
        QTest::newRow("0x prefix") << "0x00FF00" << 0xFF00FF00u;
        QTest::newRow("not hex") << "#GG0000" << 0xFF000000u;
        QTest::newRow("three digits") << "#FFF" << 0xFF000FFFu;
        QTest::newRow("eight digits") << "#12FF9500" << 0xFFFF9500u;
        QTest::newRow("leading space") << "  #007AFF" << 0xFF000000u;
        QTest::newRow("stops at a non-digit") << "FF95zz" << 0xFF00FF95u;
        QTest::newRow("hash inside") << "#FF#9500" << 0xFF0000FFu;
    }
    void colorFromHex()
    {
        QFETCH(QString, text);
        QFETCH(quint32, expected);
        QCOMPARE(brivet::colorFromHex(text), expected);
    }
};

BRIVET_TEST_CLASS(TestClipboardItem)
#include "tst_clipboarditem.moc"
