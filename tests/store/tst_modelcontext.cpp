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
        m_container = std::get<0>(ModelContainer::create(storePath()));
    }
    QStringList texts(const ItemPredicate& predicate = ItemPredicate::all(), int limit = 100)
    {
        QStringList texts;
        const auto items = context().fetch(ItemFetch{predicate, {}, limit});
        for (const ClipboardItem& item : items.value())
            texts << item.textContent.value_or("<none>");
        return texts;
    }
    // A record inserted m_base + seconds; a file record when it has file contents.
    ClipboardItem insert(const QString& text, int seconds = 0, const QByteArray& file = {})
    {
        ClipboardItem item = test::textRecord(text, m_base.addSecs(seconds));
        if (!file.isNull())
            item.fileData = Blob(file);
        context().insert(item);
        return item;
    }

private slots:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively());
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

    // File contents live outside the database, readable by the user only, read when asked for,
    // and go with their record. (What a capture stores: the capture's end-to-end test.)
    // (And a text's formatted forms, in a table of their own.)
    void fileContentsLiveOutsideAndLoadWhenAskedFor()
    {
        const QByteArray contents =
            QByteArray("%PDF-1.4 \0 body", 15) + QByteArray(300 * 1024, 'z');
        ClipboardItemContent content;
        content.contentType = "file";
        content.fileName = "r\u00e9sum\u00e9.pdf";
        content.fileData = contents;
        content.thumbnailData = QByteArray("\x89PNG thumb", 10);
        ClipboardItem file(content, m_base);
        context().insert(file);
        content = {};
        content.contentType = "image";
        content.imageData = QByteArray(); // present but empty
        ClipboardItem image(content, m_base.addSecs(1));
        context().insert(image);
        content = {};
        content.contentType = "text";
        content.textContent = "bold";
        content.representations = {{"text/html", "<b>bold</b>"}, {"text/rtf", "{\\b bold}"}};
        ClipboardItem rich(content, m_base.addSecs(2));
        context().insert(rich);
        QVERIFY(context().save());
        QVERIFY(QFileInfo(storePath()).size() + QFileInfo(storePath() + "-wal").size() <
                300 * 1024);
        const QString external =
            context().externalDataDirectory() + "/" + QString::number(file.persistentId());
        QCOMPARE(QFile(external).permissions() & 0x0077, QFileDevice::Permissions());
        reopen();

        const auto items = context().fetch(ItemFetch{{}, ItemFetch::Order::OldestFirst, {}});
        const ClipboardItem& stored = items->at(0);
        QVERIFY(!stored.fileData->isLoaded());
        QCOMPARE(stored.detailText(), QString("PDF File \u00B7 300 KB"));
        QCOMPARE(stored.fileData->data(), contents);
        QCOMPARE(stored.thumbnailData->data(), QByteArray("\x89PNG thumb", 10));
        QCOMPARE(items->at(1).imageData->size(), 0);
        QVERIFY(!items->at(1).thumbnailData && !items->at(1).fileData);
        // A text's formatted forms, also read only when asked for.
        const auto forms = items->at(2).representations;
        QCOMPARE(forms.keys(), QStringList({"text/html", "text/rtf"}));
        QVERIFY(!forms.value("text/html").isLoaded());
        QCOMPARE(forms.value("text/html").size(), 11);
        QCOMPARE(forms.value("text/html").data(), QByteArray("<b>bold</b>"));
        QCOMPARE(forms.value("text/rtf").data(), QByteArray("{\\b bold}"));
        context().remove(stored);
        QVERIFY(context().save());
        QVERIFY(!QFile::exists(external));
    }

    // Staged contents never inserted go, and so do leftovers of an early end at the next open.
    // (Staged contents moved into place: the capture's end-to-end test.)
    void stagedFileContentsAreCleanedUp()
    {
        const QString folder = context().externalDataDirectory();
        ClipboardItem dropped = test::textRecord("", m_base);
        dropped.fileData = ExternalData::stage(folder, QByteArray("dropped"));
        ExternalData::discardStaged(dropped);
        QVERIFY(!QFile::exists(dropped.fileData->file()));
        const auto leftover = ExternalData::stage(folder, QByteArray("left over"));
        insert("", 0, "kept");
        QVERIFY(context().save());
        reopen();
        QVERIFY(!QFile::exists(leftover->file()));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    }

    void failedSaveKeepsChangesPending()
    {
        // The folder for file contents replaced by a plain file: writing fails.
        const QString external = context().externalDataDirectory();
        QVERIFY(QDir(external).removeRecursively());
        QFile(external).open(QIODevice::WriteOnly);
        insert("text");
        insert("", 1, "contents");
        QVERIFY(!context().save());
        QVERIFY(!context().save());
        QVERIFY(context().hasChanges());
        QVERIFY(!context().lastError().isEmpty());

        QVERIFY(QFile::remove(external) && QDir().mkpath(external));
        QVERIFY(context().save());
        reopen();
        QCOMPARE(context().fetch(ItemFetch{})->at(0).fileData->data(), QByteArray("contents"));
    }

    // Predicates over categories, alone and with a text's (which needles find what: the history
    // search's test); the relationship nullifies on both ends.
    void categoriesAndPredicates()
    {
        using P = ItemPredicate;
        ClipboardItem a = insert("100% sure");
        insert("snake_case", 1);
        ClipboardItem c = insert("Hello World", 2);
        Category work("Work", "#FF3B30", 1, false), home("Home", "#34C759", 2, false);
        context().insert(work);
        context().insert(home);
        context().link(a, work);
        context().link(a, home);
        context().link(a, home); // twice is once
        context().link(c, work);
        QVERIFY(context().save());
        QCOMPARE(texts(P::inCategory(work)), QStringList({"Hello World", "100% sure"}));
        QCOMPARE(texts(P::matching("o") && P::inCategory(work)), QStringList({"Hello World"}));
        QCOMPARE(context().categories(a)->size(), 2);

        context().remove(work);
        QVERIFY(context().save());
        reopen();
        QCOMPARE(*context().count(P::all()), 3);
        QCOMPARE(*context().categories(a), QList<Category>({home}));
        QVERIFY(context().categories(c)->isEmpty());
        context().remove(a);
        QVERIFY(context().save());
        QVERIFY(context().items(home)->isEmpty());
    }
};

BRIVET_TEST_CLASS(TestModelContext)
#include "tst_modelcontext.moc"
