// FreedesktopThumbnailer on real files: images, a PDF, and thumbnailer programs of the test's own.
#include "platform/linux/FreedesktopThumbnailer.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/WorkerThreadLogging.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

using namespace brivet;
using namespace std::chrono_literals;

class TestFreedesktopThumbnailer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    QImage thumbnail(const QString& path, int maxSide = 512, std::chrono::milliseconds limit = 5s)
    {
        const auto png = FreedesktopThumbnailer({m_dir.filePath("thumbnailers")}, limit)
                             .thumbnail(path, maxSide);
        return png && png->startsWith("\x89PNG") ? QImage::fromData(*png, "PNG") : QImage();
    }
    // White, with a red top-left quarter.
    QString makeImage(const QString& name, QSize size, const char* format)
    {
        QImage image = test::plainImage(size, Qt::white);
        QPainter(&image).fillRect(QRect(QPoint(0, 0), size / 2), Qt::red);
        image.save(m_dir.filePath(name), format);
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase()
    {
        test::routeWorkerThreadMessagesToStderr();
        // clang-format off
        // For text/csv: records its arguments, writes a 900x300 PNG.
        const QString source = makeImage("program-output.png", {900, 300}, "PNG");
        const QByteArray script = test::writeFile(m_dir.filePath("fake.sh"), "printf '%s\\n' \"$@\" > \"" + m_dir.filePath("args").toUtf8() + "\"\ncp \"" + source.toUtf8() + "\" \"$4\"\n").toUtf8();
        const QString folder = m_dir.filePath("thumbnailers/");
        test::writeFile(folder + "fake.thumbnailer", "[Thumbnailer Entry]\nTryExec=/bin/sh\nExec=/bin/sh " + script + " -s %s \"%i\" %o %u\nMimeType=text/csv;\n");
        test::writeFile(folder + "slow.thumbnailer", "[Thumbnailer Entry]\nExec=sh -c \"sleep 60\" sh %i %o\nMimeType=text/markdown;\n");
        test::writeFile(folder + "missing.thumbnailer", "[Thumbnailer Entry]\nTryExec=/nonexistent/t\nExec=/nonexistent/t %i %o\nMimeType=text/csv;\n");
        // clang-format on
        // A4, blue top-left on the first page, a green second page.
        m_pdf = m_dir.filePath("document.pdf");
        QPdfWriter writer(m_pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, writer.width() / 2, writer.height() / 4), Qt::blue);
        writer.newPage();
        painter.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::green);
    }

    void images_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("JPEG") << QSize(4000, 3000) << QSize(512, 384);
        QTest::newRow("PNG tall") << QSize(300, 1200) << QSize(128, 512);
        QTest::newRow("PNG small") << QSize(100, 50) << QSize(100, 50);
        QTest::newRow("BMP") << QSize(512, 512) << QSize(512, 512);
        QTest::newRow("PNG wide") << QSize(3000, 2) << QSize(512, 1);
    }
    void images()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, expected);
        const QString format = QString(QTest::currentDataTag()).section(' ', 0, 0);
        const QImage image = thumbnail(makeImage(
            QTest::currentDataTag() + QString(".") + format.toLower(), size, qPrintable(format)));
        QCOMPARE(image.size(), expected);
        const QColor topLeft = image.pixel(0, 0); // the picture survives the scaling
        QVERIFY(expected.height() <= 4 || (topLeft.red() > 200 && topLeft.green() < 60));
    }

    void pdfFirstPage()
    {
        const QImage image = thumbnail(m_pdf);
        QCOMPARE(image.height(), 512);
        QVERIFY(qAbs(image.width() - 362) <= 1);
        QVERIFY(QColor(image.pixel(5, 5)).blue() > 200 && QColor(image.pixel(5, 5)).red() < 60);
        QCOMPARE(QColor(image.pixel(image.width() - 5, 507)), QColor(Qt::white));
    }

    void noThumbnail_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a folder
        QTest::newRow("folder.png") << QByteArray();
        QTest::newRow("broken.png") << QByteArray("\x89PNG\r\n\x1a\nnot really");
        QTest::newRow("broken.pdf") << QByteArray("%PDF-1.4\ngarbage");
        QTest::newRow("notes.txt") << QByteArray("no thumbnailer for text\n");
    }
    void noThumbnail()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath(QTest::currentDataTag());
        content.isNull() ? void(QDir().mkpath(path)) : void(test::writeFile(path, content));
        QVERIFY(thumbnail(path).isNull());
        QVERIFY(thumbnail(m_dir.filePath("missing.png")).isNull());
    }

    void externalProgram()
    {
        const QString input = test::writeFile(m_dir.filePath("my table.csv"), "a,b\n");
        QCOMPARE(thumbnail(input, 256).size(), QSize(256, 85));
        QFile args(m_dir.filePath("args"));
        QVERIFY(args.open(QIODevice::ReadOnly));
        const QStringList received = QString(args.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(received.size(), 5);
        QCOMPARE(received.mid(0, 3), QStringList({"-s", "256", input}));
        QVERIFY(received.at(3).endsWith("/thumbnail.png"));
        QCOMPARE(received.at(4), test::fileUrl(input));
        QVERIFY(!QFile::exists(received.at(3))); // its private folder is gone
    }

    void slowProgramIsStopped()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(
            thumbnail(test::writeFile(m_dir.filePath("slow.md"), "# T\n"), 512, 300ms).isNull());
        QVERIFY(clock.elapsed() < 30000);
    }

    void parallelCalls()
    {
        const QString csv = test::writeFile(m_dir.filePath("parallel.csv"), "x\n");
        const QString jpeg = makeImage("parallel.jpg", {2000, 1000}, "JPEG");
        const FreedesktopThumbnailer thumbnailer({m_dir.filePath("thumbnailers")}, 5s);
        const QStringList paths = QStringList{jpeg, m_pdf, csv, jpeg, m_pdf, csv, jpeg, m_pdf, csv};
        const QList<int> sides = QtConcurrent::blockingMapped(paths, [&](const QString& path) {
            const QImage image = QImage::fromData(thumbnailer.thumbnail(path, 128).value_or(""));
            return qMax(image.width(), image.height());
        });
        QCOMPARE(sides, QList<int>(9, 128));
    }
};

BRIVET_TEST_CLASS(TestFreedesktopThumbnailer)
#include "tst_freedesktopthumbnailer.moc"
