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
        QTest::addRow("empty") << "" << qint64(0);
        QTest::addRow("ascii") << "hello" << qint64(5);
        QTest::addRow("family emoji is one character")
            << QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F"
                                 "\x91\xA7")
            << qint64(1);
        QTest::addRow("flag is one character")
            << QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7") << qint64(1);
        QTest::addRow("combining accent") << QString::fromUtf8("e\xCC\x81t\xC3\xA9") << qint64(3);
        QTest::addRow("crlf is one character") << "a\r\nb" << qint64(3);
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
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QVariant>("urlString");
        QTest::addColumn<QVariant>("fileName");
        QTest::addColumn<qint64>("dataSize"); // -1: absent
        QTest::addColumn<QString>("expected");
        const QVariant none;
        QTest::addRow("image without data") << "image" << none << none << qint64(-1) << "Image";
        QTest::addRow("image 1023 bytes") << "image" << none << none << qint64(1023) << "0 KB";
        QTest::addRow("image just under 1025 KiB")
            << "image" << none << none << qint64(1049599) << "1024 KB";
        QTest::addRow("image 1025 KiB") << "image" << none << none << qint64(1049600) << "1 MB";
        QTest::addRow("image 5 MB") << "image" << none << none << qint64(5000000) << "4 MB";
        QTest::addRow("link host") << "link" << QVariant("https://example.com/a?b=c") << none
                                   << qint64(-1) << "example.com";
        QTest::addRow("link without host") << "link" << QVariant("mailto:someone@example.com")
                                           << none << qint64(-1) << "mailto:someone@example.com";
        QTest::addRow("link not parsable") << "link" << QVariant("http://exa mple.com") << none
                                           << qint64(-1) << "http://exa mple.com";
        QTest::addRow("link absent") << "link" << none << none << qint64(-1) << "Link";
        QTest::addRow("file pdf with data") << "file" << none << QVariant("report.pdf")
                                            << qint64(240 * 1024) << "PDF File \u00B7 240 KB";
        QTest::addRow("file double extension")
            << "file" << none << QVariant("backup.tar.gz") << qint64(-1) << "GZ File";
        QTest::addRow("file no extension with data")
            << "file" << none << QVariant("Makefile") << qint64(0) << "File \u00B7 0 KB";
        QTest::addRow("file trailing dot")
            << "file" << none << QVariant("name.") << qint64(-1) << "File";
        QTest::addRow("file without name") << "file" << none << none << qint64(-1) << "File";
    }
    void detailText()
    {
        QFETCH(QString, contentType);
        QFETCH(QVariant, urlString);
        QFETCH(QVariant, fileName);
        QFETCH(qint64, dataSize);
        QFETCH(QString, expected);
        ClipboardItem item;
        item.contentType = contentType;
        if (urlString.isValid())
            item.urlString = urlString.toString();
        if (fileName.isValid())
            item.fileName = fileName.toString();
        if (dataSize >= 0) {
            // The size alone decides the text: the bytes are never read.
            const Blob blob(dataSize, [] {
                qFatal("detailText must not load the bytes");
                return QByteArray();
            });
            (contentType == "image" ? item.imageData : item.fileData) = blob;
        }
        QCOMPARE(item.detailText(), expected);
    }

    void timeAgo_data()
    {
        QTest::addColumn<qint64>("secondsAgoTimes10");
        QTest::addColumn<QString>("expectedStart");
        QTest::addRow("59.9 s") << qint64(599) << "Just now";
        QTest::addRow("future") << qint64(-3000) << "Just now";
        QTest::addRow("60 s") << qint64(600) << "1 min";
        QTest::addRow("3 hours 2 minutes: the largest unit") << qint64(109200 + 1200) << "3 hr";
        QTest::addRow("2 years") << qint64(2 * 365 * 864000) << "2 ";
    }
    void timeAgo()
    {
        QFETCH(qint64, secondsAgoTimes10);
        QFETCH(QString, expectedStart);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        ClipboardItem item;
        item.timestamp = now.addMSecs(-secondsAgoTimes10 * 100);
        QVERIFY2(item.timeAgo(now).startsWith(expectedStart), qPrintable(item.timeAgo(now)));
    }

    void colorFromHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        QTest::addRow("hashes on both ends") << "##FF0000#" << QColor(255, 0, 0);
        QTest::addRow("no hash") << "FF0000" << QColor(255, 0, 0);
        QTest::addRow("not hex") << "#GG0000" << QColor(0, 0, 0);
        QTest::addRow("0x prefix") << "0x00FF00" << QColor(0, 255, 0);
        QTest::addRow("three digits is not shorthand") << "#FFF" << QColor(0, 15, 255);
        QTest::addRow("eight digits keep the last six") << "#12FF9500" << QColor(255, 149, 0);
        QTest::addRow("empty") << "" << QColor(0, 0, 0);
        QTest::addRow("leading space") << "  #007AFF" << QColor(0, 0, 0);
        QTest::addRow("stops at first non-digit") << "FF95zz" << QColor(0, 0xFF, 0x95);
        QTest::addRow("hash inside stops the number") << "#FF#9500" << QColor(0, 0, 0xFF);
    }
    void colorFromHex()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        const QColor color = brivet::colorFromHex(text);
        QCOMPARE(color.rgb(), expected.rgb());
        QCOMPARE(color.alphaF(), 1.0f);
    }
};

BRIVET_TEST_CLASS(TestClipboardItem)
#include "tst_clipboarditem.moc"
