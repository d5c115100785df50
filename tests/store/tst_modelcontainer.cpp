// Opening the store file: refusing files that are not ours to change, one process per store,
// the log folded back, and a search index made again when it is missing or outdated.
#include "store/ModelContainer.h"
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

        // Still a store of schema 1.0.0 for any Brivet that opens it.
        container.reset();
        QCOMPARE(exec(path, "PRAGMA user_version"), 10000);
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

        for (const char* damage : {"UPDATE ClipboardItemSearchState SET folding = 1",
                                   "DROP TABLE ClipboardItemSearchState",
                                   "DROP TABLE ClipboardItemSearch"}) {
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
