// Derived values of records and the colour reader, at their edges.
#include "store/ClipboardItem.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QTest>

using namespace brivet;

class TestClipboardItem : public QObject
{
    Q_OBJECT
private slots:
    void detailText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name"); // the text, URL or file name
        QTest::addColumn<qint64>("size");  // -1: no data
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* kind, const char* name, qint64 size, const char* expected) {
            QTest::addRow("%s %s %lld", kind, name, size)
                << kind << (*name ? QString(name) : QString()) << size << QString(expected);
        };
        // A text's length in user-perceived characters.
        row("text", "", -1, "0 characters");
        row("text", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", -1,
            "1 characters");
        row("text", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", -1, "1 characters");
        row("text", "e\xCC\x81t\xC3\xA9", -1, "3 characters");
        row("text", "a\r\nb", -1, "3 characters");
        row("image", "", -1, "Image");
        row("image", "", 1023, "0 KB");
        row("image", "", 1049599, "1024 KB");
        row("image", "", 1049600, "1 MB");
        row("link", "https://example.com/a?b=c", -1, "example.com");
        row("link", "mailto:someone@example.com", -1, "mailto:someone@example.com");
        row("link", "http://exa mple.com", -1, "http://exa mple.com");
        row("link", "", -1, "Link");
        row("file", "report.pdf", 240 * 1024, "PDF File \u00B7 240 KB");
        row("file", "backup.tar.gz", -1, "GZ File");
        row("file", "Makefile", 0, "File \u00B7 0 KB");
        row("file", "name.", -1, "File");
        row("file", "", -1, "File");
    }
    void detailText()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, expected);
        ClipboardItem item = kind == "text" ? test::textRecord(name) : ClipboardItem();
        item.contentType = kind;
        if (kind != "text" && !name.isNull())
            (kind == "link" ? item.urlString : item.fileName) = name;
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
};

BRIVET_TEST_CLASS(TestClipboardItem)
#include "tst_clipboarditem.moc"
