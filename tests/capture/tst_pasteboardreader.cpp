#include "capture/PasteboardReader.h"
#include "fakes/FakeFileThumbnailer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

Q_DECLARE_METATYPE(brivet::PasteboardContents)

using namespace brivet;
using namespace brivet::test;

namespace {

constexpr qint64 limit = PasteboardReader::defaultMaxFileDataSize;

QSize imageSize(const QByteArray& bytes)
{
    return QImage::fromData(bytes).size();
}

const ApplicationInfo editor{QStringLiteral("Text Editor"), QStringLiteral("org.example.Editor")};

} // namespace

// The reading rules of one clipboard snapshot: which kind wins, and the fields of each kind.
class TestPasteboardReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_thumbnailer = std::make_shared<FakeFileThumbnailer>();
    }

    void textOrLink_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<int>("characterCount");

        QTest::addRow("https link") << "https://example.com/a?b=c#d" << true << 27;
        QTest::addRow("http link") << "http://example.com" << true << 18;
        QTest::addRow("ftp link") << "ftp://ftp.example.com/file.txt" << true << 30;
        QTest::addRow("scheme in capitals") << "HTTP://EXAMPLE.COM" << false << 18;
        QTest::addRow("mailto") << "mailto:someone@example.com" << false << 26;
        QTest::addRow("file url") << "file:///etc/hosts" << false << 17;
        QTest::addRow("link inside a sentence") << "see https://example.com" << false << 23;
        QTest::addRow("link with a space") << "https://example.com/a b" << false << 23;
        QTest::addRow("link then newline") << "https://example.com\nmore" << false << 24;
        QTest::addRow("empty") << "" << false << 0;
        QTest::addRow("whitespace kept") << "  padded \n" << false << 10;
        QTest::addRow("grapheme clusters")
            << QString::fromUtf8("e\u0301\U0001F468\u200D\U0001F469") << false << 2;
    }
    void textOrLink()
    {
        QFETCH(QString, text);
        QFETCH(bool, isLink);
        QFETCH(int, characterCount);
        const QString contentType = isLink ? "link" : "text";

        const QList<ClipboardItem> items = reader().readItems(textCopy(text), editor);
        QCOMPARE(items.size(), 1);
        const ClipboardItem& item = items.first();
        QCOMPARE(item.contentType, contentType);
        QCOMPARE(item.textContent, std::optional<QString>(text));
        QCOMPARE(item.urlString, isLink ? std::optional<QString>(text) : std::nullopt);
        QCOMPARE(item.characterCount, qint64(characterCount));
        QCOMPARE(item.sourceAppName, editor.name);
        QCOMPARE(item.sourceAppBundleID, editor.bundleId);
        QVERIFY(!item.imageData && !item.thumbnailData && !item.filePath && !item.fileName &&
                !item.fileData);
    }

    // Which kind a snapshot with several types gives, and when it gives none.
    void kindPrecedence_data()
    {
        QTest::addColumn<PasteboardContents>("contents");
        QTest::addColumn<QStringList>("expected"); // contentType of each record

        const QString file = makeFile("precedence.txt", "abc");
        const QByteArray png = encode(plainImage({20, 10}), "PNG");

        PasteboardContents everything = textCopy("https://example.com");
        everything.types += {PasteboardType::FileURL, PasteboardType::PNG};
        everything.fileUrlStrings = {fileUrl(file)};
        everything.data.insert(PasteboardType::FileURL, fileUrl(file).toUtf8());
        everything.data.insert(PasteboardType::PNG, png);
        QTest::addRow("file url beats image and text") << everything << QStringList{"file"};

        PasteboardContents unusableFiles = everything;
        unusableFiles.fileUrlStrings = {"not a url at all %%", "https://example.com/x.png",
                                        "file:relative/path", ""};
        QTest::addRow("unusable file entries fall through to the image")
            << unusableFiles << QStringList{"image"};

        PasteboardContents noFileEntries = everything;
        noFileEntries.fileUrlStrings.clear();
        QTest::addRow("file type without entries falls through")
            << noFileEntries << QStringList{"image"};

        PasteboardContents imageWithoutBytes = unusableFiles;
        imageWithoutBytes.data.remove(PasteboardType::PNG);
        QTest::addRow("image type without bytes falls through to the text")
            << imageWithoutBytes << QStringList{"link"};

        PasteboardContents emptyImage = imageWithoutBytes;
        emptyImage.data.insert(PasteboardType::PNG, QByteArray());
        QTest::addRow("empty image bytes fall through to the text")
            << emptyImage << QStringList{"link"};

        PasteboardContents urlsNotAnnounced = textCopy("plain");
        urlsNotAnnounced.fileUrlStrings = {fileUrl(file)};
        QTest::addRow("file entries without the file type are ignored")
            << urlsNotAnnounced << QStringList{"text"};

        PasteboardContents nothing;
        nothing.types = {PasteboardType::String, PasteboardType::JPEG};
        nothing.data.insert(PasteboardType::JPEG, QByteArray("jpeg"));
        QTest::addRow("no readable content") << nothing << QStringList{};
        QTest::addRow("empty snapshot") << PasteboardContents{} << QStringList{};
    }
    void kindPrecedence()
    {
        QFETCH(PasteboardContents, contents);
        QFETCH(QStringList, expected);

        QStringList kinds;
        for (const ClipboardItem& item : reader().readItems(contents, editor))
            kinds << item.contentType;
        QCOMPARE(kinds, expected);
    }

    void imageRecord_data()
    {
        QTest::addColumn<bool>("withTiff");
        QTest::addColumn<bool>("withPng");
        QTest::addColumn<QString>("expectedFormat");
        QTest::addRow("tiff and png: tiff") << true << true << "tiff";
        QTest::addRow("png only") << false << true << "png";
        QTest::addRow("tiff only") << true << false << "tiff";
    }
    void imageRecord()
    {
        QFETCH(bool, withTiff);
        QFETCH(bool, withPng);
        QFETCH(QString, expectedFormat);

        const QByteArray tiff = encode(plainImage({64, 32}), "TIFF");
        const QByteArray png = encode(plainImage({64, 32}), "PNG");
        PasteboardContents contents = textCopy("caption");
        if (withTiff) {
            contents.types << PasteboardType::TIFF;
            contents.data.insert(PasteboardType::TIFF, tiff);
        }
        if (withPng) {
            contents.types << PasteboardType::PNG;
            contents.data.insert(PasteboardType::PNG, png);
        }
        const QList<ClipboardItem> items = reader().readItems(contents, editor);
        QCOMPARE(items.size(), 1);
        const ClipboardItem& item = items.first();
        const QByteArray expected = expectedFormat == "tiff" ? tiff : png;
        QCOMPARE(item.contentType, QStringLiteral("image"));
        QVERIFY(item.imageData);
        QCOMPARE(item.imageData->data(), expected);
        QVERIFY(item.thumbnailData);
        QCOMPARE(item.thumbnailData->data(), expected); // small: its own bytes
        QCOMPARE(item.characterCount, qint64(0));
        QVERIFY(!item.textContent && !item.urlString && !item.filePath && !item.fileData);
        QCOMPARE(item.sourceAppName, editor.name);
    }

    void imageThumbnail_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("keepsOwnBytes");
        QTest::addColumn<QSize>("size"); // invalid: no thumbnail

        QTest::addRow("1024x512 png")
            << encode(plainImage({1024, 512}), "PNG") << false << QSize(512, 256);
        QTest::addRow("512x1024 png")
            << encode(plainImage({512, 1024}), "PNG") << false << QSize(256, 512);
        QTest::addRow("513x10 tiff")
            << encode(plainImage({513, 10}), "TIFF") << false << QSize(512, 10);
        QTest::addRow("3000x1 png")
            << encode(plainImage({3000, 1}), "PNG") << false << QSize(512, 1);
        QTest::addRow("512x512 png")
            << encode(plainImage({512, 512}), "PNG") << true << QSize(512, 512);
        QTest::addRow("512x512 tiff")
            << encode(plainImage({512, 512}), "TIFF") << true << QSize(512, 512);
        QTest::addRow("undecodable") << QByteArray("\x89PNG garbage", 12) << false << QSize();
    }
    void imageThumbnail()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, keepsOwnBytes);
        QFETCH(QSize, size);

        const std::optional<QByteArray> thumbnail = PasteboardReader::makeImageThumbnail(bytes);
        QCOMPARE(thumbnail.has_value(), size.isValid());
        if (!thumbnail)
            return;
        QCOMPARE(*thumbnail == bytes, keepsOwnBytes);
        if (!keepsOwnBytes)
            QVERIFY(thumbnail->startsWith("\x89PNG"));
        QCOMPARE(imageSize(*thumbnail), size);
    }

    void undecodableImageKeepsItsRecord()
    {
        PasteboardContents contents;
        contents.types = {PasteboardType::PNG};
        contents.data.insert(PasteboardType::PNG, QByteArray("not an image"));
        const QList<ClipboardItem> items = reader().readItems(contents, editor);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().imageData->data(), QByteArray("not an image"));
        QVERIFY(!items.first().thumbnailData);
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
        QTest::addRow("dot segments resolved")
            << m_dir.path() + "/./sub/../small.bin" << qint64(1000);
        QTest::addRow("device that never ends") << "/dev/zero" << qint64(-1);
        QTest::addRow("pipe that never ends") << makeFifo("pipe") << qint64(-1);
        QTest::addRow("unreadable") << makeUnreadable("secret.bin") << qint64(-1);
    }
    void fileData()
    {
        QFETCH(QString, path);
        QFETCH(qint64, expectedSize);
        if (QTest::currentDataTag() == QLatin1String("unreadable") && ::geteuid() == 0)
            QSKIP("root reads every file");

        const std::optional<QByteArray> data = reader().readFileData(path);
        QCOMPARE(data.has_value(), expectedSize >= 0);
        if (data)
            QCOMPARE(qint64(data->size()), expectedSize);
    }

    void fileRecords()
    {
        const QString a = makeFile("a.txt", "first");
        const QString b = makeFile("b file.txt", "second");
        const QString c = makeFile("c-\u00e9.txt", "third");
        m_thumbnailer->setThumbnail(b, QByteArray("png of b"));

        PasteboardContents contents;
        contents.types = {PasteboardType::FileURL, PasteboardType::String};
        contents.fileUrlStrings = {fileUrl(a), fileUrl(b), fileUrl(c) + "\r\n"};
        contents.data.insert(PasteboardType::String, QByteArray("names"));

        const QList<ClipboardItem> items = reader().readItems(contents, editor);
        QCOMPARE(items.size(), 3);
        const QStringList paths{a, b, c};
        const QList<QByteArray> bytes{"first", "second", "third"};
        for (int i = 0; i < 3; ++i) {
            const ClipboardItem& item = items.at(i);
            QCOMPARE(item.contentType, QStringLiteral("file"));
            QCOMPARE(item.filePath, std::optional<QString>(paths.at(i)));
            QCOMPARE(item.fileName, std::optional<QString>(QFileInfo(paths.at(i)).fileName()));
            QVERIFY(item.fileData);
            QCOMPARE(item.fileData->data(), bytes.at(i));
            QCOMPARE(item.sourceAppName, editor.name);
            QCOMPARE(item.sourceAppBundleID, editor.bundleId);
            QCOMPARE(item.characterCount, qint64(0));
            QVERIFY(!item.textContent && !item.imageData && !item.urlString);
        }
        QVERIFY(!items.at(0).thumbnailData);
        QCOMPARE(items.at(1).thumbnailData->data(), QByteArray("png of b"));
    }

    // Copying many large files at once keeps contents only up to the copy's total.
    void captureBudget()
    {
        const PasteboardReader small(m_thumbnailer, 1000);
        const QList<qint64> sizes{1000, 1000, 1000, 500, 600, 400, 0, 1001};
        const QList<qint64> kept{1000, 1000, 1000, 500, -1, 400, 0, -1};
        PasteboardContents contents;
        contents.types = {PasteboardType::FileURL};
        for (int i = 0; i < sizes.size(); ++i)
            contents.fileUrlStrings
                << fileUrl(makeSizedFile(QStringLiteral("budget%1").arg(i), sizes.at(i)));
        const QList<ClipboardItem> items = small.readItems(contents, editor);
        QCOMPARE(items.size(), sizes.size());
        QList<qint64> actual;
        for (const ClipboardItem& item : items)
            actual << (item.fileData ? item.fileData->size() : -1);
        QCOMPARE(actual, kept);
    }

    // A folder's URL usually ends with a slash; the record names the folder itself.
    void folderRecord()
    {
        const QString folder = m_dir.filePath("My Folder");
        QVERIFY(QDir().mkpath(folder));
        m_thumbnailer->setThumbnail(folder, QByteArray("folder icon"));

        PasteboardContents contents;
        contents.types = {PasteboardType::FileURL};
        contents.fileUrlStrings = {fileUrl(folder) + "/"};
        const QList<ClipboardItem> items = reader().readItems(contents, editor);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().filePath, std::optional<QString>(folder));
        QCOMPARE(items.first().fileName, std::optional<QString>("My Folder"));
        QVERIFY(!items.first().fileData);
        QCOMPARE(items.first().thumbnailData->data(), QByteArray("folder icon"));
    }

    void missingFileStillRecorded()
    {
        PasteboardContents contents;
        contents.types = {PasteboardType::FileURL};
        contents.fileUrlStrings = {"file:///nonexistent/dir/gone%20away.txt"};
        const QList<ClipboardItem> items = reader().readItems(contents, {});
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().filePath, std::optional<QString>("/nonexistent/dir/gone away.txt"));
        QCOMPARE(items.first().fileName, std::optional<QString>("gone away.txt"));
        QVERIFY(!items.first().fileData);
        QVERIFY(!items.first().sourceAppName && !items.first().sourceAppBundleID);
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
    QString makeFifo(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            qFatal("cannot make a pipe");
        return path;
    }
    QString makeUnreadable(const QString& name)
    {
        const QString path = makeFile(name, "hidden");
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        return path;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<FakeFileThumbnailer> m_thumbnailer;
};

BRIVET_TEST_CLASS(TestPasteboardReader)
#include "tst_pasteboardreader.moc"
