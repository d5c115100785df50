// The file-URL lists that file managers put on the clipboard.

#include "platform/linux/UriList.h"
#include "support/TestMain.h"

#include <QTest>

using namespace brivet;

class TestUriList : public QObject
{
    Q_OBJECT

private slots:
    void uriList_data();
    void uriList();
    void gnomeCopiedFiles_data();
    void gnomeCopiedFiles();
};

void TestUriList::uriList_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("urls");

    QTest::addRow("CRLF lines, percent-encoding kept")
        << QByteArray("file:///home/u/My%20File.txt\r\nfile:///tmp/a\r\n")
        << QStringList{"file:///home/u/My%20File.txt", "file:///tmp/a"};
    QTest::addRow("LF lines, no final newline")
        << QByteArray("file:///a\nfile:///b") << QStringList{"file:///a", "file:///b"};
    QTest::addRow("comments and blank lines")
        << QByteArray("# from a test\r\n\r\nfile:///a\r\n") << QStringList{"file:///a"};
    QTest::addRow("other schemes are left out")
        << QByteArray("https://example.org/\r\nfile:///a\r\nsmb://server/share\r\n")
        << QStringList{"file:///a"};
    QTest::addRow("scheme in capitals") << QByteArray("FILE:///a\r\n") << QStringList{"FILE:///a"};
    QTest::addRow("host part") << QByteArray("file://laptop/home/u/a\r\n")
                               << QStringList{"file://laptop/home/u/a"};
    QTest::addRow("relative or empty paths are not files")
        << QByteArray("file:a.txt\r\nfile://\r\n") << QStringList();
    QTest::addRow("raw UTF-8 kept as written")
        << QByteArray("file:///tmp/gr\xc3\xbc\xc3\x9f"
                      "e.txt\r\n")
        << QStringList{QString::fromUtf8("file:///tmp/grüße.txt")};
    QTest::addRow("control characters reject the line")
        << QByteArray("file:///a\x01\x62\r\nfile:///c\r\n") << QStringList{"file:///c"};
    QTest::addRow("plain text") << QByteArray("just some words") << QStringList();
    QTest::addRow("empty") << QByteArray() << QStringList();
}

void TestUriList::uriList()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, urls);
    QCOMPARE(fileUrlsFromUriList(text), urls);
}

void TestUriList::gnomeCopiedFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("urls");

    QTest::addRow("copy") << QByteArray("copy\nfile:///a%20b\nfile:///c")
                          << QStringList{"file:///a%20b", "file:///c"};
    QTest::addRow("cut, final newline")
        << QByteArray("cut\nfile:///a\n") << QStringList{"file:///a"};
    QTest::addRow("no action line") << QByteArray("file:///a\nfile:///b") << QStringList();
    QTest::addRow("only the action") << QByteArray("copy") << QStringList();
}

void TestUriList::gnomeCopiedFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, urls);
    QCOMPARE(fileUrlsFromGnomeCopiedFiles(text), urls);
}

BRIVET_TEST_CLASS(TestUriList)
#include "tst_urilist.moc"
