// The main context over a real SQLite file: what fetches see, what saves keep, and the
// many-to-many relationship between items and categories.
#include "store/ExternalData.h"
#include "store/ModelContainer.h"
#include "store/Palette.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
        QVERIFY2(std::holds_alternative<std::unique_ptr<ModelContainer>>(result),
                 qPrintable(std::get_if<QString>(&result) ? *std::get_if<QString>(&result) : ""));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(result));
    }
    QStringList newestTexts(int limit = 100)
    {
        QStringList texts;
        const auto items = context().fetch(ItemFetch{{}, {}, limit});
        for (const ClipboardItem& item : items.value())
            texts << item.textContent.value_or("<none>");
        return texts;
    }

private slots:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.path()));
        reopen();
    }
    void cleanup() { m_container.reset(); }

    void fetchSeesUnsavedInsertsNewestFirst()
    {
        for (int i = 0; i < 3; ++i) {
            ClipboardItem item = textRecord(QString::number(i), m_base.addSecs(i));
            context().insert(item);
            QVERIFY(item.persistentId() != 0);
        }
        QVERIFY(context().hasChanges());
        QCOMPARE(newestTexts(), QStringList({"2", "1", "0"}));
        QCOMPARE(newestTexts(1), QStringList({"2"}));
        QVERIFY(context().save());
        QVERIFY(!context().hasChanges());
    }

    void unsavedChangesAreGoneAfterReopen()
    {
        ClipboardItem kept = textRecord("kept", m_base);
        context().insert(kept);
        QVERIFY(context().save());
        ClipboardItem dropped = textRecord("dropped", m_base.addSecs(1));
        context().insert(dropped);
        reopen();
        QCOMPARE(newestTexts(), QStringList({"kept"}));
    }

    void recordsSurviveReopenWithEveryField()
    {
        ClipboardItemContent content;
        content.contentType = "file";
        content.filePath = "/home/u/r\u00e9sum\u00e9.pdf";
        content.fileName = "r\u00e9sum\u00e9.pdf";
        content.fileData = QByteArray("%PDF-1.4 \0 body", 15);
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
        reopen();

        const auto items = context().fetch(ItemFetch{{}, ItemFetch::Order::OldestFirst, {}});
        QVERIFY(items);
        QCOMPARE(items->size(), 2);
        const ClipboardItem& storedFile = items->at(0);
        QCOMPARE(storedFile, file);
        QCOMPARE(storedFile.id, file.id);
        QCOMPARE(storedFile.timestamp, m_base);
        QCOMPARE(storedFile.filePath, content.filePath);
        QCOMPARE(storedFile.fileName, content.fileName);
        QCOMPARE(storedFile.sourceAppName, content.sourceAppName);
        QCOMPARE(storedFile.sourceAppBundleID, content.sourceAppBundleID);
        QVERIFY(!storedFile.textContent);
        QVERIFY(!storedFile.imageData);
        QVERIFY(storedFile.fileData && !storedFile.fileData->isLoaded());
        QCOMPARE(storedFile.fileData->size(), 15);
        QCOMPARE(storedFile.detailText(), QString("PDF File \u00B7 0 KB"));
        QCOMPARE(storedFile.fileData->data(), *content.fileData);
        QCOMPARE(storedFile.thumbnailData->data(), *content.thumbnailData);

        const ClipboardItem& storedImage = items->at(1);
        QVERIFY(storedImage.imageData);
        QCOMPARE(storedImage.imageData->size(), 0);
        QVERIFY(!storedImage.thumbnailData);
        QVERIFY(!storedImage.fileData);
    }

    void fileContentsLiveOutsideTheDatabase()
    {
        ClipboardItemContent content;
        content.contentType = "file";
        content.fileData = QByteArray(300 * 1024, 'z');
        ClipboardItem item(content, m_base);
        context().insert(item);
        QVERIFY(context().save());
        // The database and its write-ahead log: the bytes are in neither.
        QVERIFY(QFileInfo(storePath()).size() + QFileInfo(storePath() + "-wal").size() <
                300 * 1024);
        const QString external = m_dir.filePath("brivet/BrivetCloud_ExternalData/") +
                                 QString::number(item.persistentId());
        QCOMPARE(QFileInfo(external).size(), 300 * 1024);
        QCOMPARE(QFile(external).permissions() & 0x0077, QFileDevice::Permissions());

        context().remove(item);
        QVERIFY(context().save());
        QVERIFY(!QFile::exists(external));
    }

    void stagedFileContentsAreMovedIntoPlace()
    {
        const QString folder = context().externalDataDirectory();
        auto staged = ExternalData::stage(folder, QByteArray("staged contents"));
        QVERIFY(staged);
        const QString stagedPath = staged->file();
        QVERIFY(QFile::exists(stagedPath));

        ClipboardItemContent content;
        content.contentType = "file";
        ClipboardItem item(content, m_base);
        item.fileData = staged;
        context().insert(item);
        QVERIFY(context().save());
        QVERIFY(!QFile::exists(stagedPath));
        QCOMPARE(item.fileData->data(), QByteArray("staged contents")); // read from its new place
        reopen();
        QCOMPARE(context().fetch(ItemFetch{})->first().fileData->data(),
                 QByteArray("staged contents"));

        // A record that is never inserted takes its staged file with it; leftovers of a process
        // that ended early are removed when the store opens.
        ClipboardItem dropped(content, m_base);
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
        // The folder for file contents is replaced by a plain file: writing fails.
        const QString external = m_dir.filePath("brivet/BrivetCloud_ExternalData");
        QVERIFY(QDir(external).removeRecursively());
        QFile blocker(external);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        ClipboardItem text = textRecord("text", m_base);
        context().insert(text);
        ClipboardItemContent content;
        content.contentType = "file";
        content.fileData = QByteArray("contents");
        ClipboardItem file(content, m_base.addSecs(1));
        context().insert(file);
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

    void updateAndRemove()
    {
        ClipboardItem older = textRecord("older", m_base);
        ClipboardItem newer = textRecord("newer", m_base.addSecs(10));
        context().insert(older);
        context().insert(newer);
        QVERIFY(context().save());

        older.timestamp = m_base.addSecs(20); // promoted to the front
        context().update(older);
        QCOMPARE(newestTexts(), QStringList({"older", "newer"}));
        context().remove(newer);
        QVERIFY(context().save());
        reopen();
        QCOMPARE(newestTexts(), QStringList({"older"}));
        QCOMPARE(*context().count(ItemPredicate::all()), 1);
    }

    void relationshipNullifiesOnBothEnds()
    {
        ClipboardItem a = textRecord("a", m_base);
        ClipboardItem b = textRecord("b", m_base.addSecs(1));
        Category work("Work", "#FF3B30", 1, false);
        Category home("Home", "#34C759", 2, false);
        context().insert(a);
        context().insert(b);
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
        QCOMPARE(*context().count(ItemPredicate::all()), 2); // no item deleted
        QCOMPARE(*context().categories(a), QList<Category>({home}));
        QVERIFY(context().categories(b)->isEmpty());

        context().remove(a);
        QVERIFY(context().save());
        QCOMPARE(context().fetch(CategoryFetch{})->size(), 1); // no category deleted
        QVERIFY(context().items(home)->isEmpty());

        context().unlink(b, home); // not linked: nothing happens
        QVERIFY(context().save());
    }

    void predicates()
    {
        ClipboardItem percent = textRecord("100% sure", m_base);
        ClipboardItem underscore = textRecord("snake_case", m_base.addSecs(1));
        ClipboardItem plain = textRecord("Hello World", m_base.addSecs(2));
        Category pinned("Pinned", "#007AFF", 1, false);
        for (ClipboardItem* item : {&percent, &underscore, &plain})
            context().insert(*item);
        context().insert(pinned);
        context().link(plain, pinned);
        context().link(percent, pinned);

        auto texts = [this](const ItemPredicate& predicate) {
            QStringList result;
            const auto items = context().fetch(ItemFetch{predicate, {}, {}});
            for (const ClipboardItem& item : items.value())
                result << *item.textContent;
            return result;
        };
        QCOMPARE(texts(ItemPredicate::matching("hello")), QStringList({"Hello World"}));
        QCOMPARE(texts(ItemPredicate::matching("%")), QStringList({"100% sure"}));
        QCOMPARE(texts(ItemPredicate::matching("_")), QStringList({"snake_case"}));
        QCOMPARE(texts(ItemPredicate::inCategory(pinned)),
                 QStringList({"Hello World", "100% sure"}));
        QCOMPARE(texts(ItemPredicate::inCategory(pinned) && ItemPredicate::matching("sure")),
                 QStringList({"100% sure"}));
        QCOMPARE(texts(ItemPredicate::matching("o") && ItemPredicate::inCategory(pinned)),
                 QStringList({"Hello World"}));
    }

    void observersHearEveryChange()
    {
        QSignalSpy spy(&context(), &ModelContext::changed);
        ClipboardItem item = textRecord("x", m_base);
        Category category("C", "#FFFFFF", 0, false);
        context().insert(item);
        context().insert(category);
        context().link(item, category);
        context().update(item);
        context().remove(item);
        QCOMPARE(spy.size(), 0); // heard when saved
        QVERIFY(context().save());
        QCOMPARE(spy.size(), 5);
        const auto last = spy.last().first().value<ModelChange>();
        QCOMPARE(last.entity, ModelChange::Entity::Item);
        QCOMPARE(last.kind, ModelChange::Kind::Deleted);
        QCOMPARE(last.id, item.persistentId());
    }
};

BRIVET_TEST_CLASS(TestModelContext)
#include "tst_modelcontext.moc"
