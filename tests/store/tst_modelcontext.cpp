// The main context over a real SQLite file: what fetches see, what saves keep, and the
// many-to-many relationship between items and categories.
#include "store/ExternalData.h"
#include "store/ModelContainer.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace brivet;
using test::textRecord;

class TestModelContext : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    QDateTime m_base = QDateTime::fromString("2026-01-01T10:00:00Z", Qt::ISODate);

    QString storePath() const { return m_dir.filePath("brivet/BrivetCloud.sqlite"); }
    ModelContext& context() { return m_container->mainContext(); }
    void reopen()
    {
        m_container.reset();
        auto result = ModelContainer::create(storePath());
        QVERIFY(std::holds_alternative<std::unique_ptr<ModelContainer>>(result));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(result));
    }
    QStringList texts(const ItemPredicate& predicate = ItemPredicate::all(), int limit = 100)
    {
        QStringList texts;
        const auto items = context().fetch(ItemFetch{predicate, {}, limit});
        for (const ClipboardItem& item : items.value())
            texts << item.textContent.value_or("<none>");
        return texts;
    }
    // A record inserted m_base + seconds.
    ClipboardItem insert(const QString& text, int seconds = 0)
    {
        ClipboardItem item = textRecord(text, m_base.addSecs(seconds));
        context().insert(item);
        return item;
    }
    ClipboardItem insertFile(const QByteArray& data, int seconds = 0)
    {
        ClipboardItemContent content;
        content.contentType = "file";
        content.fileData = data;
        ClipboardItem item(content, m_base.addSecs(seconds));
        context().insert(item);
        return item;
    }

private slots:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.path()));
        reopen();
    }
    void cleanup() { m_container.reset(); }

    // Fetches see unsaved changes; a reopen drops them and keeps saved updates and removals.
    void fetchSeesUnsavedChangesAndReopenDropsThem()
    {
        ClipboardItem older = insert("older");
        ClipboardItem newer = insert("newer", 10);
        QVERIFY(context().save());
        insert("unsaved", 5);
        QCOMPARE(texts(), QStringList({"newer", "unsaved", "older"}));
        QCOMPARE(texts(ItemPredicate::all(), 1), QStringList({"newer"}));
        reopen();
        older.timestamp = m_base.addSecs(20);
        context().update(older);
        QCOMPARE(texts(), QStringList({"older", "newer"}));
        context().remove(newer);
        QVERIFY(context().save());
        reopen();
        QCOMPARE(texts(), QStringList({"older"}));
    }

    // File contents live outside the database, readable by the user only, until removal.
    void recordsSurviveReopenWithEveryField()
    {
        ClipboardItemContent content;
        content.contentType = "file";
        content.filePath = "/home/u/r\u00e9sum\u00e9.pdf";
        content.fileName = "r\u00e9sum\u00e9.pdf";
        content.fileData = QByteArray("%PDF-1.4 \0 body", 15) + QByteArray(300 * 1024, 'z');
        content.thumbnailData = QByteArray("\x89PNG thumb", 10);
        content.sourceAppName = "Files";
        content.sourceAppBundleID = "org.gnome.Nautilus";
        ClipboardItem file(content, m_base);
        context().insert(file);
        ClipboardItemContent imageContent;
        imageContent.contentType = "image";
        imageContent.imageData = QByteArray(); // present but empty
        ClipboardItem image(imageContent, m_base.addSecs(1));
        context().insert(image);
        QVERIFY(context().save());
        QVERIFY(QFileInfo(storePath()).size() + QFileInfo(storePath() + "-wal").size() <
                300 * 1024);
        const QString external = m_dir.filePath("brivet/BrivetCloud_ExternalData/") +
                                 QString::number(file.persistentId());
        QCOMPARE(QFileInfo(external).size(), content.fileData->size());
        QCOMPARE(QFile(external).permissions() & 0x0077, QFileDevice::Permissions());
        reopen();

        const auto items = context().fetch(ItemFetch{{}, ItemFetch::Order::OldestFirst, {}});
        QCOMPARE(items->size(), 2);
        const ClipboardItem& stored = items->at(0);
        QCOMPARE(stored.id, file.id);
        QCOMPARE(stored.timestamp, m_base);
        QCOMPARE(stored.filePath, content.filePath);
        QCOMPARE(stored.fileName, content.fileName);
        QCOMPARE(stored.sourceAppName, content.sourceAppName);
        QCOMPARE(stored.sourceAppBundleID, content.sourceAppBundleID);
        QVERIFY(!stored.textContent && !stored.imageData);
        QVERIFY(!stored.fileData->isLoaded());
        QCOMPARE(stored.detailText(), QString("PDF File \u00B7 300 KB"));
        QCOMPARE(stored.fileData->data(), *content.fileData);
        QCOMPARE(stored.thumbnailData->data(), *content.thumbnailData);
        QCOMPARE(items->at(1).imageData->size(), 0);
        QVERIFY(!items->at(1).thumbnailData && !items->at(1).fileData);
        context().remove(stored);
        QVERIFY(context().save());
        QVERIFY(!QFile::exists(external));
    }

    void stagedFileContentsAreMovedIntoPlace()
    {
        const QString folder = context().externalDataDirectory();
        ClipboardItem item = textRecord("", m_base);
        item.fileData = ExternalData::stage(folder, QByteArray("staged contents"));
        const QString stagedPath = item.fileData->file();
        context().insert(item);
        QVERIFY(context().save());
        QVERIFY(!QFile::exists(stagedPath));
        QCOMPARE(item.fileData->data(), QByteArray("staged contents"));
        reopen();
        QCOMPARE(context().fetch(ItemFetch{})->first().fileData->data(), "staged contents");

        // Never inserted: the staged file goes; leftovers of an early end go at the next open.
        ClipboardItem dropped = textRecord("", m_base);
        dropped.fileData = ExternalData::stage(folder, QByteArray("dropped"));
        ExternalData::discardStaged(dropped);
        QVERIFY(!QFile::exists(dropped.fileData->file()));
        const auto leftover = ExternalData::stage(folder, QByteArray("left over"));
        reopen();
        QVERIFY(!QFile::exists(leftover->file()));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    }

    void failedSaveKeepsChangesPending()
    {
        // The folder for file contents replaced by a plain file: writing fails.
        const QString external = m_dir.filePath("brivet/BrivetCloud_ExternalData");
        QVERIFY(QDir(external).removeRecursively());
        QFile(external).open(QIODevice::WriteOnly);
        insert("text");
        insertFile("contents", 1);
        QVERIFY(!context().save());
        QVERIFY(!context().save());
        QVERIFY(context().hasChanges());
        QVERIFY(!context().lastError().isEmpty());

        QVERIFY(QFile::remove(external));
        QVERIFY(QDir().mkpath(external));
        QVERIFY(context().save());
        reopen();
        const auto items = context().fetch(ItemFetch{});
        QCOMPARE(items->size(), 2);
        QCOMPARE(items->at(0).fileData->data(), QByteArray("contents"));
    }

    void relationshipNullifiesOnBothEnds()
    {
        ClipboardItem a = insert("a");
        ClipboardItem b = insert("b", 1);
        Category work("Work", "#FF3B30", 1, false);
        Category home("Home", "#34C759", 2, false);
        context().insert(work);
        context().insert(home);
        context().link(a, work);
        context().link(a, home);
        context().link(a, home); // twice is once
        context().link(b, work);
        QVERIFY(context().save());
        QCOMPARE(context().categories(a)->size(), 2);
        QCOMPARE(context().items(work)->size(), 2);

        context().remove(work);
        QVERIFY(context().save());
        reopen();
        QCOMPARE(*context().count(ItemPredicate::all()), 2);
        QCOMPARE(*context().categories(a), QList<Category>({home}));
        QVERIFY(context().categories(b)->isEmpty());
        context().remove(a);
        QVERIFY(context().save());
        QCOMPARE(context().fetch(CategoryFetch{})->size(), 1);
        QVERIFY(context().items(home)->isEmpty());
    }

    void predicates()
    {
        ClipboardItem percent = insert("100% sure");
        insert("snake_case", 1);
        ClipboardItem plain = insert("Hello World", 2);
        Category pinned("Pinned", "#007AFF", 1, false);
        context().insert(pinned);
        context().link(plain, pinned);
        context().link(percent, pinned);
        using P = ItemPredicate;
        QCOMPARE(texts(P::matching("hello")), QStringList({"Hello World"}));
        QCOMPARE(texts(P::matching("%")), QStringList({"100% sure"}));
        QCOMPARE(texts(P::matching("_")), QStringList({"snake_case"}));
        QCOMPARE(texts(P::inCategory(pinned)), QStringList({"Hello World", "100% sure"}));
        QCOMPARE(texts(P::matching("o") && P::inCategory(pinned)), QStringList({"Hello World"}));
    }
};

BRIVET_TEST_CLASS(TestModelContext)
#include "tst_modelcontext.moc"
