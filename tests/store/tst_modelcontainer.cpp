// Opening the store file: refusing files that are not ours to change, one process per store,
// the log folded back, and a search index made again when it is missing or outdated.
#include "store/ModelContainer.h"
#include "store/StoreSchema.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace brivet;

namespace {

std::unique_ptr<ModelContainer> open(const QString& path)
{
    auto result = ModelContainer::create(path);
    auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&result);
    return container ? std::move(*container) : nullptr;
}

// A writer of its own: the first column of the last row, -1 on an error.
int exec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    int value = 0;
    const auto first = [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = values[0] ? std::atoi(values[0]) : 0;
        return 0;
    };
    const bool ok = sqlite3_open(path.toUtf8(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, first, &value, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok ? value : -1;
}

// Every row of a query, its columns joined by '|'.
QStringList rows(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    QStringList out;
    const auto collect = [](void* list, int count, char** values, char**) {
        QStringList row;
        for (int i = 0; i < count; ++i)
            row << QString::fromUtf8(values[i] ? values[i] : "NULL");
        static_cast<QStringList*>(list)->append(row.join('|'));
        return 0;
    };
    if (sqlite3_open(path.toUtf8(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.toUtf8(), collect, &out, nullptr) != SQLITE_OK)
        out = QStringList{QStringLiteral("error: ") + sqlite3_errmsg(db)};
    sqlite3_close(db);
    return out;
}

// The store's records and the columns of its tables, as text.
QStringList recordsOf(const QString& path)
{
    QStringList all;
    all << rows(path, "SELECT * FROM ClipboardItem ORDER BY pk");
    all << rows(path, "SELECT item, hex(imageData), hex(thumbnailData) FROM ClipboardItemData");
    all << rows(path, "SELECT * FROM Category ORDER BY pk");
    all << rows(path, "SELECT item, category FROM ClipboardItemCategory ORDER BY item, category");
    all << rows(path, "SELECT * FROM Metadata WHERE key != 'schemaVersion'");
    return all;
}

QStringList columnsOf(const QString& path)
{
    return rows(path, "SELECT m.name, c.name, c.type, c.\"notnull\", c.dflt_value, c.pk "
                      "FROM sqlite_schema AS m, pragma_table_info(m.name) AS c "
                      "WHERE m.type = 'table' ORDER BY m.name, c.name");
}

} // namespace

class TestModelContainer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void oneContainerPerStoreAtATime()
    {
        const QString path = m_dir.filePath("shared/BrivetCloud.sqlite");
        auto first = open(path);
        QVERIFY(first);
        auto second = ModelContainer::create(path);
        QVERIFY(std::get<QString>(second).contains("in use by another Brivet process"));
        first.reset();
        QVERIFY(open(path));
    }

    // (A file that is not a database at all: the start-up end-to-end test.)
    void refusesFilesItMustNotChange_data()
    {
        QTest::addColumn<QString>("reason");
        for (const char* tag : {"empty", "read-only", "truncated", "newer version", "not a Brivet"})
            QTest::newRow(tag) << (tag == QLatin1String("empty") ? "not a database" : tag);
    }
    void refusesFilesItMustNotChange()
    {
        QFETCH(QString, reason);
        const QString tag = QTest::currentDataTag();
        // Not named after the tag: the refusal names the path.
        const QString path = m_dir.filePath(QString::number(qHash(tag)) + "/store.sqlite");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        if (tag == "empty") {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
        } else if (tag == "not a Brivet") {
            exec(path, "CREATE TABLE notes(body TEXT)");
        } else {
            auto container = open(path);
            ClipboardItem item = test::textRecord(QString(100000, QChar('a')));
            container->mainContext().insert(item);
            QVERIFY(container->mainContext().save());
            container.reset();
            if (tag == "read-only")
                QVERIFY(file.setPermissions(QFileDevice::ReadOwner));
            if (tag == "truncated")
                QVERIFY(file.resize(file.size() / 2 + 100));
            if (tag == "newer version")
                exec(path, "PRAGMA user_version = 20000");
        }
        const auto state = [&] {
            QFile f(path);
            return QDir(QFileInfo(path).path()).entryList(QDir::Files).join(' ') +
                   (f.open(QIODevice::ReadOnly) ? f.readAll().toHex() : QByteArray());
        };
        const QString before = state();
        auto result = ModelContainer::create(path);
        QVERIFY2(std::get<QString>(result).contains(reason), qPrintable(std::get<QString>(result)));
        QCOMPARE(state(), before);
    }

    // A store of schema 1.0.0 is brought to the current schema in one transaction that keeps
    // every record and makes the same tables as a new store; an upgrade that fails half-way
    // leaves the file as it was. A Brivet of 1.0.0 refuses a store of today, with the reason.
    void schemaStepsKeepRecordsAndOlderReleasesRefuseNewerFiles()
    {
        const QString fresh = m_dir.filePath("fresh/BrivetCloud.sqlite");
        QVERIFY(open(fresh));
        const qint64 freshVersion = exec(fresh, "PRAGMA user_version");
        QCOMPARE(StoreSchema::newerFileRefusal(freshVersion, 10000, fresh),
                 QString("the store %1 was written by a newer version of Brivet (schema 1.1.0)")
                     .arg(fresh));
        QCOMPARE(StoreSchema::newerFileRefusal(freshVersion, StoreSchema::currentVersion, fresh),
                 std::nullopt);

        const QString path = m_dir.filePath("upgrade/BrivetCloud.sqlite");
        {
            auto container = open(path);
            ModelContext& context = container->mainContext();
            ClipboardItem text = test::textRecord("Grüße aus Köln");
            ClipboardItem image = test::record("image");
            image.imageData = Blob(QByteArray("\x89PNG\0\1\2", 7));
            image.thumbnailData = Blob(QByteArray("\0thumb", 6));
            ClipboardItem link = test::record("link");
            link.urlString = "https://example.org/";
            for (ClipboardItem* item : {&text, &image, &link})
                context.insert(*item);
            Category work("Work", "#FF9500", 1, false);
            context.insert(work);
            context.link(text, work);
            context.link(image, work);
            QVERIFY(context.save());
        }
        // What a 1.0.0 Brivet wrote, but for a column of the next step, which makes that step
        // fail after its first statement.
        QCOMPARE(exec(path, "DROP TABLE ClipboardItemRepresentation;"
                            "UPDATE Metadata SET value = '1.0.0' WHERE key = 'schemaVersion';"
                            "PRAGMA user_version = 10000"),
                 0);
        const QStringList before = recordsOf(path);
        QCOMPARE(before.filter("Grüße aus Köln").size(), 1);
        QCOMPARE(before.filter("89504E47000102|007468756D62").size(), 1);
        auto failed = ModelContainer::create(path);
        QVERIFY(std::get<QString>(failed).startsWith("cannot upgrade the store " + path));
        QCOMPARE(exec(path, "PRAGMA user_version"), 10000);
        QCOMPARE(rows(path, "SELECT name FROM sqlite_schema WHERE name LIKE '%Representation'"),
                 QStringList());
        QCOMPARE(recordsOf(path), before);

        QCOMPARE(exec(path, "ALTER TABLE ClipboardItemCategory DROP COLUMN position"), 0);
        auto container = open(path);
        QVERIFY(container);
        QCOMPARE(exec(path, "PRAGMA user_version"), StoreSchema::currentVersion);
        QCOMPARE(rows(path, "SELECT value FROM Metadata WHERE key = 'schemaVersion'"),
                 QStringList{"1.1.0"});
        QCOMPARE(recordsOf(path), before);
        QCOMPARE(columnsOf(path), columnsOf(fresh));
        QCOMPARE(container->mainContext().count(ItemPredicate::matching("grüße")), 1);
    }

    // Commits leave the log to a worker; it must still be copied back into the file (else
    // the log grows without end and every read walks it).
    void theLogIsFoldedBackIntoTheFile()
    {
        const QString path = m_dir.filePath("folded/BrivetCloud.sqlite");
        auto container = open(path);
        const qint64 before = QFileInfo(path).size();
        ClipboardItem item = test::textRecord(QString(6 * 1024 * 1024, QLatin1Char('x')));
        container->mainContext().insert(item);
        QVERIFY(container->mainContext().save());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > before + 6 * 1024 * 1024, 30000);
    }

    // The search index follows the records, also in a store written by a writer that knows
    // nothing of it, or that removed it.
    void theSearchIndexFollowsAndIsRebuiltWhenMissing()
    {
        const QString path = m_dir.filePath("index/BrivetCloud.sqlite");
        auto container = open(path);
        auto found = [&](const QString& needle) {
            return container->mainContext().count(ItemPredicate::matching(needle)).value_or(-1);
        };
        ClipboardItem item = test::textRecord("Grüße aus Köln");
        container->mainContext().insert(item);
        QCOMPARE(found("grüße AUS"), 1);
        item.textContent = "Ärger in Bonn";
        container->mainContext().update(item);
        QCOMPARE(found("grüße"), 0);
        QVERIFY(container->mainContext().save());

        container.reset();
        QCOMPARE(exec(path, "INSERT INTO ClipboardItem(id, contentType, timestamp, textContent) "
                            "VALUES('00000000-0000-0000-0000-00000000abcd', 'text', 0, 'ÑANDÚ')"),
                 0);
        container = open(path);
        QCOMPARE(found("ñandú"), 1);
        container.reset();
        QCOMPARE(exec(path, "DROP TABLE ClipboardItemSearch; DELETE FROM ClipboardItemFolded;"
                            "DROP TRIGGER ClipboardItem_searchInsert;"),
                 0);
        container = open(path);
        QCOMPARE(found("ñandú"), 1);
        container->mainContext().remove(item);
        QCOMPARE(found("äR"), 0);
        QVERIFY(container->mainContext().save());

        // Still a store of the current schema for any Brivet that opens it.
        container.reset();
        QCOMPARE(exec(path, "PRAGMA user_version"), StoreSchema::currentVersion);
    }

    // A store whose index is missing, or was made with an older folding (accents kept), is
    // searched at once and indexed in the background, in steps, while records come and go;
    // accents and case are ignored, marks that are letters of their script are not.
    void theSearchIndexIsMadeInTheBackgroundAndIgnoresAccents()
    {
        const QString path = m_dir.filePath("background/BrivetCloud.sqlite");
        auto container = open(path);
        ModelContext& context = container->mainContext();
        for (int i = 0; i < 700; ++i) {
            ClipboardItem item = test::textRecord(QStringLiteral("note %1").arg(i));
            context.insert(item);
        }
        for (const char* text : {"Café de l'École", "कुछ नहीं", "がっこう"}) {
            ClipboardItem item = test::textRecord(QString::fromUtf8(text));
            context.insert(item);
        }
        QVERIFY(context.save());
        auto found = [&](const char* needle) {
            return container->mainContext()
                .count(ItemPredicate::matching(QString::fromUtf8(needle)))
                .value_or(-1);
        };
        auto checkAnswers = [&] {
            QCOMPARE(found("ecole"), 1);
            QCOMPARE(found("CAFÉ DE L'ÉCOLE"), 1);
            QCOMPARE(found("cafe"), 1);
            QCOMPARE(found("कुछ"), 1);
            QCOMPARE(found("कछ"), 0); // the vowel sign is a letter
            QCOMPARE(found("がっこう"), 1);
            QCOMPARE(found("かっこう"), 0); // so is the voicing mark
            QCOMPARE(found("note 69"), 11);
        };

        for (const char* damage :
             {"UPDATE ClipboardItemSearchState SET folding = 1",
              "DROP TABLE ClipboardItemSearchState", "DROP TABLE ClipboardItemSearch"}) {
            container.reset();
            QCOMPARE(exec(path, damage), 0);
            container = open(path);
            checkAnswers(); // from the index or from the records, whichever is ready

            if (QTest::currentTestFailed())
                return;
            // Records written meanwhile are found as well; a deleted one is not.
            ClipboardItem late = test::textRecord("Über late");
            container->mainContext().insert(late);
            QVERIFY(container->mainContext().save());
            QCOMPARE(found("uber late"), 1);
            QTRY_VERIFY_WITH_TIMEOUT(!container->isMakingSearchIndex(), 30000);
            checkAnswers();
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(found("uber late"), 1);
            container->mainContext().remove(late);
            QVERIFY(container->mainContext().save());
            QCOMPARE(found("uber late"), 0);
            QCOMPARE(exec(path, "SELECT count(*) FROM ClipboardItemFolded"), 703);
        }
    }
};

BRIVET_TEST_CLASS(TestModelContainer)
#include "tst_modelcontainer.moc"
