// The file-URL lists that file managers put on the clipboard.
#include "platform/linux/UriList.h"
#include "support/TestMain.h"

#include <QTest>

using namespace brivet;

class TestUriList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<bool>("gnome"); // x-special/gnome-copied-files, else text/uri-list
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("urls");
        const auto row = [](const char* name, bool gnome, const QByteArray& text,
                            const QStringList& urls) {
            QTest::newRow(name) << gnome << text << urls;
        };
        // clang-format off
        row("CRLF, encoding kept", false, "file:///h/My%20File.txt\r\nfile:///tmp/a\r\n", {"file:///h/My%20File.txt", "file:///tmp/a"});
        row("LF, no final newline", false, "file:///a\nfile:///b", {"file:///a", "file:///b"});
        row("comments and blank lines", false, "# from a test\r\n\r\nfile:///a\r\n", {"file:///a"});
        row("other schemes", false, "https://example.org/\r\nfile:///a\r\nsmb://s/share\r\n", {"file:///a"});
        row("scheme in capitals", false, "FILE:///a\r\n", {"FILE:///a"});
        row("host part", false, "file://laptop/home/u/a\r\n", {"file://laptop/home/u/a"});
        row("relative or empty paths", false, "file:a.txt\r\nfile://\r\n", {});
        row("raw UTF-8", false, "file:///tmp/gr\xc3\xbc\xc3\x9f" "e\r\n", {QString::fromUtf8("file:///tmp/grüße")});
        row("control characters", false, "file:///a\x01\x62\r\nfile:///c\r\n", {"file:///c"});
        row("plain text", false, "just some words", {});
        row("gnome copy", true, "copy\nfile:///a%20b\nfile:///c", {"file:///a%20b", "file:///c"});
        row("gnome cut, final newline", true, "cut\nfile:///a\n", {"file:///a"});
        row("gnome without action", true, "file:///a\nfile:///b", {});
        row("gnome action only", true, "copy", {});
        // clang-format on
    }
    void parse()
    {
        QFETCH(bool, gnome);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, urls);
        QCOMPARE(gnome ? fileUrlsFromGnomeCopiedFiles(text) : fileUrlsFromUriList(text), urls);
    }
};

BRIVET_TEST_CLASS(TestUriList)
#include "tst_urilist.moc"
