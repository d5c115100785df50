// FreedesktopThumbnailer on real files: images, a PDF, and thumbnailer programs of the test's own.

#include "platform/linux/FreedesktopThumbnailer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

using namespace brivet;
using namespace std::chrono_literals;

namespace {

using test::writeFile;

QSize pngSize(const std::optional<QByteArray>& png)
{
    if (!png || !png->startsWith("\x89PNG"))
        return {};
    return QImage::fromData(*png, "PNG").size();
}

} // namespace

class TestFreedesktopThumbnailer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void images_data();
    void images();
    void pdfFirstPage();
    void noThumbnail_data();
    void noThumbnail();
    void externalProgram();
    void slowProgramIsStopped();
    void parallelCalls();

private:
    QString makeImage(const QString& name, QSize size, const char* format);
    QString makePdf();

    QTemporaryDir m_dir;
    QString m_thumbnailers; // directory of the test's .thumbnailer files
};

void TestFreedesktopThumbnailer::initTestCase()
{
    test::routeWorkerThreadMessagesToStderr();
    QVERIFY(m_dir.isValid());
    m_thumbnailers = m_dir.filePath("thumbnailers");
    QVERIFY(QDir().mkpath(m_thumbnailers));
    // A program for the test's own MIME type: records its arguments, writes a 900x300 PNG.
    const QString source = makeImage("program-output.png", {900, 300}, "PNG");
    const QString script = m_dir.filePath("fake-thumbnailer.sh");
    writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + m_dir.filePath("args").toUtf8() +
                          "\"\ncp \"" + source.toUtf8() + "\" \"$4\"\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    writeFile(m_thumbnailers + "/fake.thumbnailer",
              "[Thumbnailer Entry]\nTryExec=/bin/sh\nExec=/bin/sh " + script.toUtf8() +
                  " -s %s \"%i\" %o %u\nMimeType=text/csv;\n");
    // One that hangs, for Markdown.
    writeFile(m_thumbnailers + "/slow.thumbnailer",
              "[Thumbnailer Entry]\nExec=sh -c \"sleep 60\" sh %i %o\nMimeType=text/markdown;\n");
    // One whose program does not exist: skipped.
    writeFile(m_thumbnailers + "/missing.thumbnailer",
              "[Thumbnailer Entry]\nTryExec=/nonexistent/thumbnailer\n"
              "Exec=/nonexistent/thumbnailer %i %o\nMimeType=text/csv;\n");
}

QString TestFreedesktopThumbnailer::makeImage(const QString& name, QSize size, const char* format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(0, 0), size / 2), Qt::red);
    painter.end();
    const QString path = m_dir.filePath(name);
    if (!image.save(path, format))
        qWarning() << "could not write" << path;
    return path;
}

QString TestFreedesktopThumbnailer::makePdf()
{
    const QString path = m_dir.filePath("document.pdf");
    if (QFile::exists(path))
        return path;
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    painter.fillRect(QRect(0, 0, writer.width() / 2, writer.height() / 4), Qt::blue);
    writer.newPage();
    painter.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::green);
    painter.end();
    return path;
}

void TestFreedesktopThumbnailer::images_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("maxSide");
    QTest::addColumn<QSize>("expected");

    QTest::addRow("large JPEG") << QSize(4000, 3000) << QByteArray("JPEG") << 512
                                << QSize(512, 384);
    QTest::addRow("tall PNG") << QSize(300, 1200) << QByteArray("PNG") << 512 << QSize(128, 512);
    QTest::addRow("small image kept")
        << QSize(100, 50) << QByteArray("PNG") << 512 << QSize(100, 50);
    QTest::addRow("exactly the bound")
        << QSize(512, 512) << QByteArray("BMP") << 512 << QSize(512, 512);
    QTest::addRow("thin line") << QSize(3000, 2) << QByteArray("PNG") << 512 << QSize(512, 1);
}

void TestFreedesktopThumbnailer::images()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, format);
    QFETCH(int, maxSide);
    QFETCH(QSize, expected);

    const QString path =
        makeImage(QString("image-%1.%2").arg(QTest::currentDataTag(), format.toLower()), size,
                  format.constData());
    FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 5s);
    const std::optional<QByteArray> png = thumbnailer.thumbnail(path, maxSide);
    QCOMPARE(pngSize(png), expected);
    // The picture survives the scaling: the top-left quarter is red.
    const QImage image = QImage::fromData(*png);
    if (expected.height() > 4)
        QCOMPARE(QColor(image.pixel(0, 0)).red() > 200 && QColor(image.pixel(0, 0)).green() < 60,
                 true);
}

void TestFreedesktopThumbnailer::pdfFirstPage()
{
    FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 5s);
    const std::optional<QByteArray> png = thumbnailer.thumbnail(makePdf(), 512);
    const QSize size = pngSize(png);
    // A4 is 595 x 842 points: the height is the long side.
    QCOMPARE(size.height(), 512);
    QVERIFY2(qAbs(size.width() - 362) <= 1, qPrintable(QString::number(size.width())));
    // The first page, not the green second one: blue top-left, white elsewhere.
    const QImage image = QImage::fromData(*png);
    QCOMPARE(QColor(image.pixel(5, 5)).blue() > 200 && QColor(image.pixel(5, 5)).red() < 60, true);
    QCOMPARE(QColor(image.pixel(size.width() - 5, size.height() - 5)), QColor(Qt::white));
}

void TestFreedesktopThumbnailer::noThumbnail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // empty name: a folder

    QTest::addRow("folder") << "folder" << QByteArray();
    QTest::addRow("missing file") << "" << QByteArray();
    QTest::addRow("broken PNG") << "broken.png" << QByteArray("\x89PNG\r\n\x1a\nnot really");
    QTest::addRow("broken PDF") << "broken.pdf" << QByteArray("%PDF-1.4\ngarbage");
    QTest::addRow("type without a thumbnailer") << "notes.txt" << QByteArray("just text\n");
}

void TestFreedesktopThumbnailer::noThumbnail()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);

    QString path;
    if (name == "folder") {
        path = m_dir.filePath("folder.png"); // a folder whose name looks like an image
        QVERIFY(QDir().mkpath(path));
    } else if (name.isEmpty()) {
        path = m_dir.filePath("does-not-exist.png");
    } else {
        path = m_dir.filePath(name);
        writeFile(path, content);
    }
    FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 5s);
    QCOMPARE(thumbnailer.thumbnail(path, 512), std::nullopt);
}

void TestFreedesktopThumbnailer::externalProgram()
{
    const QString input = m_dir.filePath("my table.csv");
    writeFile(input, "a,b\n1,2\n");
    FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 5s);
    const std::optional<QByteArray> png = thumbnailer.thumbnail(input, 256);
    QCOMPARE(pngSize(png), QSize(256, 85)); // the program's 900x300, bounded

    QFile args(m_dir.filePath("args"));
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QStringList received = QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(received.size(), 5);
    QCOMPARE(received.at(0), QString("-s"));
    QCOMPARE(received.at(1), QString("256"));
    QCOMPARE(received.at(2), input); // one argument, spaces and all
    QVERIFY(received.at(3).endsWith("/thumbnail.png"));
    QCOMPARE(received.at(4), QUrl::fromLocalFile(input).toString(QUrl::FullyEncoded));
    // The program wrote into a private directory that is gone afterwards.
    QVERIFY(!QFile::exists(received.at(3)));
}

void TestFreedesktopThumbnailer::slowProgramIsStopped()
{
    const QString input = m_dir.filePath("slow.md");
    writeFile(input, "# Title\n");
    FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 300ms);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(thumbnailer.thumbnail(input, 512), std::nullopt);
    QVERIFY2(clock.elapsed() < 30000, "the program was not stopped");
}

void TestFreedesktopThumbnailer::parallelCalls()
{
    const QString jpeg = makeImage("parallel.jpg", {2000, 1000}, "JPEG");
    const QString pdf = makePdf();
    const QString csv = m_dir.filePath("parallel.csv");
    writeFile(csv, "x\n");
    const FreedesktopThumbnailer thumbnailer({m_thumbnailers}, 5s);
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths << jpeg << pdf << csv;
    const QList<QSize> sizes = QtConcurrent::blockingMapped(
        paths, [&](const QString& path) { return pngSize(thumbnailer.thumbnail(path, 128)); });
    for (int i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes.at(i);
        QVERIFY2(size.isValid() && qMax(size.width(), size.height()) == 128,
                 qPrintable(paths.at(i)));
    }
}

BRIVET_TEST_CLASS(TestFreedesktopThumbnailer)
#include "tst_freedesktopthumbnailer.moc"
