// What the preview shows, below what the end-to-end case sees (each kind at its size): a file's
// kind by an awkward name, the information sheet of present and missing files, and a long text
// read off the main thread from a real store.

#include "store/ModelContainer.h"
#include "support/HistoryModelWaits.h"
#include "support/TestRecords.h"
#include "views/HistoryModel.h"
#include "views/PreviewContent.h"
#include "views/PreviewTextSource.h"
#include "views/ThumbnailLoader.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;
using Kind = PreviewContent::Kind;

class TestPreviewContent : public QObject
{
    Q_OBJECT

private slots:
    void classify_data()
    {
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QString>("path");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addRow("upper-case extension")
            << "file"
            << "/tmp/SCAN.PNG" << Kind::ImageFile << QSize(480, 340);
        QTest::addRow("the last of two extensions, a video")
            << "file"
            << "/tmp/clip.old.mp4" << Kind::VideoFile << QSize(480, 300);
        QTest::addRow("the last of two extensions, other")
            << "file"
            << "/tmp/backup.mp4.gz" << Kind::OtherFile << QSize(380, 160);
        QTest::addRow("no path") << "file"
                                 << "" << Kind::NoFile << QSize(400, 220);
        QTest::addRow("a link is a link whatever its path")
            << "link"
            << "/tmp/a.png" << Kind::Link << QSize(400, 100);
    }
    void classify()
    {
        QFETCH(QString, contentType);
        QFETCH(QString, path);
        QFETCH(Kind, kind);
        QFETCH(QSize, size);
        QCOMPARE(PreviewContent::classify(contentType, path), kind);
        QCOMPARE(PreviewContent::contentSize(kind), size);
    }

    void fileSheet()
    {
        const QLocale locale(QLocale::English, QLocale::UnitedStates);
        QTemporaryDir dir;
        const QString present = dir.filePath("notes.txt");
        QFile file(present);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(1500));
        file.close();
        const auto sheet = PreviewContent::fileSheet(present, locale);
        QCOMPARE(sheet.name, "notes.txt");
        QCOMPARE(sheet.kind, "plain text document");
        QCOMPARE(sheet.size, "1.5 kB");
        QVERIFY2(sheet.modified.contains(QString::number(QDate::currentDate().year())),
                 qPrintable(sheet.modified));

        // Gone: the name, and "File" for its kind; nothing else.
        const auto missing = PreviewContent::fileSheet(dir.filePath("gone.txt"), locale);
        QCOMPARE(missing.name, "gone.txt");
        QCOMPARE(missing.kind, "File");
        QVERIFY(missing.size.isEmpty() && missing.created.isEmpty() && missing.modified.isEmpty());
    }

    // A text longer than a card's start is read on a worker, cut to what the preview lays out,
    // with a note; a short one is shown whole, without one. Views bound to it hear of both. An
    // empty text is a text; only a record without one has none ("No content").
    void longTextFromTheStore_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<qsizetype>("shown");
        QTest::addColumn<bool>("hasText");
        QTest::addRow("short") << qsizetype(12) << qsizetype(12) << true;
        QTest::addRow("just over a card's start")
            << qsizetype(HistoryModel::previewLength + 1)
            << qsizetype(HistoryModel::previewLength + 1) << true;
        QTest::addRow("longer than shown") << qsizetype(PreviewContent::shownCharacters + 5)
                                           << qsizetype(PreviewContent::shownCharacters) << true;
        QTest::addRow("empty") << qsizetype(0) << qsizetype(0) << true;
        QTest::addRow("none") << qsizetype(0) << qsizetype(0) << false;
    }
    void longTextFromTheStore()
    {
        QFETCH(qsizetype, length);
        QFETCH(qsizetype, shown);
        QFETCH(bool, hasText);
        QTemporaryDir dir;
        const QString path = dir.filePath("BrivetCloud.sqlite");
        auto created = ModelContainer::create(path);
        auto container = std::move(std::get<std::unique_ptr<ModelContainer>>(created));
        QString text(length, u'x');
        if (length > 0)
            text[length - 1] = u'!';
        ClipboardItem record = test::textRecord(text);
        if (!hasText)
            record.textContent.reset();
        container->mainContext().insert(record);
        QVERIFY(container->mainContext().save());
        HistoryModel model(*container);
        QVERIFY(test::waitForSearch(model));
        PreviewTextSource source(std::make_shared<ThumbnailLoader>(path));

        PreviewContent content;
        content.setProperty("model", QVariant::fromValue<QAbstractItemModel*>(&model));
        content.setProperty("row", 0);
        content.setProperty("textSource", QVariant::fromValue(&source));
        QSignalSpy changed(&content, &PreviewContent::textChanged);
        content.componentComplete();
        QCOMPARE(content.kind(), Kind::Text);
        QCOMPARE(content.hasText(), hasText);
        // Announced on completion, and again once the whole text is read.
        QTRY_COMPARE(changed.size(), length > HistoryModel::previewLength ? 2 : 1);
        QCOMPARE(content.text().size(), shown);
        QCOMPARE(content.textNote().isEmpty(), shown == length);
        QCOMPARE(content.text().endsWith(u'!'), length > 0 && shown == length);
    }
};

QTEST_GUILESS_MAIN(TestPreviewContent)
#include "tst_previewcontent.moc"
