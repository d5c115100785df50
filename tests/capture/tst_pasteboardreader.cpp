#include "capture/PasteboardReader.h"
#include "fakes/FakeFileThumbnailer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

Q_DECLARE_METATYPE(brivet::PasteboardContents)

using namespace brivet;
using namespace brivet::test;
using T = PasteboardType;
using Data = QHash<PasteboardType, QByteArray>;

namespace {

constexpr qint64 limit = PasteboardReader::defaultMaxFileDataSize;
const ApplicationInfo editor{"Text Editor", "org.example.Editor"};

PasteboardContents snapshot(QList<T> types, Data data, QStringList files = {})
{
    return {std::move(types), std::move(files), std::move(data)};
}

} // namespace

// The reading rules of one clipboard snapshot: which kind wins, and the fields of each kind.
class TestPasteboardReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_thumbnailer = std::make_shared<FakeFileThumbnailer>(); }

    void textOrLink_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<int>("characterCount");
        const auto row = [](const char* name, const char* text, bool isLink, int count) {
            QTest::addRow("%s", name) << QString::fromUtf8(text) << isLink << count;
        };
        row("ftp link", "ftp://ftp.example.com/file.txt", true, 30);
        row("scheme in capitals", "HTTP://EXAMPLE.COM", false, 18);
        row("mailto", "mailto:someone@example.com", false, 26);
        row("file url", "file:///etc/hosts", false, 17);
        row("link inside a sentence", "see https://example.com", false, 23);
        row("link with a space", "https://example.com/a b", false, 23);
        row("link then newline", "https://example.com\nmore", false, 24);
        row("empty", "", false, 0);
        row("whitespace kept", "  padded \n", false, 10);
        row("grapheme clusters", "e\u0301\U0001F468\u200D\U0001F469", false, 2);
    }
    void textOrLink()
    {
        QFETCH(QString, text);
        QFETCH(bool, isLink);
        QFETCH(int, characterCount);
        const QList<ClipboardItem> items = reader().readItems(textCopy(text), editor);
        QCOMPARE(items.size(), 1);
        const ClipboardItem& item = items.first();
        QCOMPARE(item.contentType, isLink ? "link" : "text");
        QCOMPARE(item.textContent, std::optional(text));
        QCOMPARE(item.urlString, isLink ? std::optional(text) : std::nullopt);
        QCOMPARE(item.characterCount, qint64(characterCount));
        QCOMPARE(item.sourceAppName, editor.name);
    }

    // Which kind a snapshot gives, and the fields of image and file records.
    void records_data()
    {
        QTest::addColumn<PasteboardContents>("contents");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, PasteboardContents contents, QStringList expected) {
            QTest::addRow("%s", name) << contents << expected;
        };
        const QString dir = m_dir.path(), file = makeFile("a.txt", "first"), url = fileUrl(file);
        const QString folder = dir + "/My Folder";
        QDir().mkpath(folder);
        m_thumbnailer->setThumbnail(file, "png of a");
        m_thumbnailer->setThumbnail(folder, "folder icon");
        const QByteArray png = encode(plainImage({20, 10}), "PNG");
        const QByteArray tiff = encode(plainImage({20, 10}), "TIFF");
        const QList<T> all{T::FileURL, T::PNG, T::String};
        const Data both{{T::String, "https://e.com"}, {T::PNG, png}};
        const QString pngRecord = QStringLiteral("image:%1 bytes +thumbnail").arg(png.size());
        row("file beats image and text", snapshot(all, both, {url}),
            {"file:~/a.txt 5 bytes +thumbnail"});
        row("unusable file entries fall to the image",
            snapshot(all, both, {"not a url %%", "https://e.com/x.png", "file:relative/x", ""}),
            {pngRecord});
        row("file type without entries", snapshot(all, both), {pngRecord});
        row("image type without bytes falls to the text",
            snapshot({T::PNG, T::String}, {{T::String, "https://e.com"}}), {"link:https://e.com"});
        row("empty image bytes fall to the text",
            snapshot({T::PNG, T::String}, {{T::String, "x"}, {T::PNG, {}}}), {"text:x"});
        row("file entries without the file type", snapshot({T::String}, {{T::String, "x"}}, {url}),
            {"text:x"});
        row("TIFF before PNG", snapshot({T::TIFF, T::PNG}, {{T::TIFF, tiff}, {T::PNG, png}}),
            {QStringLiteral("image:%1 bytes +thumbnail").arg(tiff.size())});
        row("undecodable image alone", pngCopy("not an image"), {"image:12 bytes"});
        row("no readable content", snapshot({T::String, T::JPEG}, {{T::JPEG, "jpeg"}}), {});
        row("empty snapshot", {}, {});
        row("files in order, CRLF left on an entry",
            snapshot({T::FileURL}, {}, {url, fileUrl(makeFile("b \u00e9.txt", "bb")) + "\r\n"}),
            {"file:~/a.txt 5 bytes +thumbnail", "file:~/b \u00e9.txt 2 bytes"});
        row("folder with a trailing slash", snapshot({T::FileURL}, {}, {fileUrl(folder) + "/"}),
            {"file:~/My Folder +thumbnail"});
        row("missing file", snapshot({T::FileURL}, {}, {"file:///nonexistent/gone%20away.txt"}),
            {"file:/nonexistent/gone away.txt"});
    }
    void records()
    {
        QFETCH(PasteboardContents, contents);
        QStringList records;
        for (const ClipboardItem& item : reader().readItems(contents, editor)) {
            QStringList parts{item.textContent.value_or(item.filePath.value_or(""))};
            parts.first().replace(m_dir.path(), "~");
            if (const auto& bytes = item.imageData ? item.imageData : item.fileData)
                parts << QString::number(bytes->size()) + " bytes";
            if (item.thumbnailData)
                parts << "+thumbnail";
            parts.removeAll(QString());
            records << item.contentType + ':' + parts.join(' ');
        }
        QTEST(records, "expected");
    }

    void imageThumbnail_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size"); // invalid: no thumbnail
        const auto row = [](const char* name, QSize image, const char* format, QSize size) {
            QTest::addRow("%s", name) << encode(plainImage(image), format) << size;
        };
        row("1024x512 png", {1024, 512}, "PNG", {512, 256});
        row("512x1024 png", {512, 1024}, "PNG", {256, 512});
        row("513x10 tiff", {513, 10}, "TIFF", {512, 10});
        row("3000x1 png", {3000, 1}, "PNG", {512, 1});
        row("512x512 png: its own bytes", {512, 512}, "PNG", {512, 512});
        QTest::addRow("undecodable") << QByteArray("\x89PNG garbage") << QSize();
    }
    void imageThumbnail()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        const std::optional<QByteArray> thumbnail = PasteboardReader::makeImageThumbnail(bytes);
        QCOMPARE(thumbnail.has_value(), size.isValid());
        if (!thumbnail)
            return;
        QCOMPARE(*thumbnail == bytes, size == QImage::fromData(bytes).size());
        QVERIFY(thumbnail->startsWith("\x89PNG"));
        QCOMPARE(QImage::fromData(*thumbnail).size(), size);
    }

    void fileData_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("expectedSize"); // -1: no contents
        QTest::addRow("empty file") << makeSizedFile("empty.bin", 0) << qint64(0);
        QTest::addRow("small file") << makeSizedFile("small.bin", 1000) << qint64(1000);
        QTest::addRow("exactly the limit") << makeSizedFile("limit.bin", limit) << limit;
        QTest::addRow("one byte over") << makeSizedFile("over.bin", limit + 1) << qint64(-1);
        QTest::addRow("folder") << m_dir.path() << qint64(-1);
        QTest::addRow("missing") << m_dir.filePath("missing.bin") << qint64(-1);
        QTest::addRow("dot segments") << m_dir.path() + "/./sub/../small.bin" << qint64(1000);
        QTest::addRow("device that never ends") << "/dev/zero" << qint64(-1);
        const QString fifo = m_dir.filePath("pipe");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QTest::addRow("pipe that never ends") << fifo << qint64(-1);
        const QString unreadable = makeFile("secret.bin", "hidden");
        QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
        QTest::addRow("unreadable") << unreadable << qint64(-1);
    }
    void fileData()
    {
        QFETCH(QString, path);
        QFETCH(qint64, expectedSize);
        if (QTest::currentDataTag() == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("root reads every file");
        const std::optional<QByteArray> data = reader().readFileData(path);
        QCOMPARE(data ? qint64(data->size()) : -1, expectedSize);
    }

    // Copying many large files at once keeps contents only up to the copy's total.
    void captureBudget()
    {
        const QList<qint64> sizes{1000, 1000, 1000, 500, 600, 400, 0, 1001};
        PasteboardContents contents = snapshot({T::FileURL}, {});
        for (int i = 0; i < sizes.size(); ++i)
            contents.fileUrlStrings << fileUrl(makeSizedFile(QString("budget%1").arg(i), sizes[i]));
        QList<qint64> kept;
        for (const ClipboardItem& item : PasteboardReader(nullptr, 1000).readItems(contents, {}))
            kept << (item.fileData ? item.fileData->size() : -1);
        QCOMPARE(kept, (QList<qint64>{1000, 1000, 1000, 500, -1, 400, 0, -1}));
    }

private:
    PasteboardReader reader() const { return PasteboardReader(m_thumbnailer); }
    QString makeFile(const QString& name, const QByteArray& bytes)
    {
        return writeFile(m_dir.filePath(name), bytes);
    }
    // Sparse: a 25 MiB file costs no disk space.
    QString makeSizedFile(const QString& name, qint64 size)
    {
        const QString path = makeFile(name, {});
        if (!QFile::resize(path, size))
            qFatal("cannot size %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<FakeFileThumbnailer> m_thumbnailer;
};

BRIVET_TEST_CLASS(TestPasteboardReader)
#include "tst_pasteboardreader.moc"
