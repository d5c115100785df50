// The panel's history model over a real store: rows follow the store's changes one by one
// (never a reset for one record), its operations reach the disk, and the card pictures load
// from any thread.
#include "store/ModelContainer.h"
#include "support/HistoryModelWaits.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "views/HistoryModel.h"
#include "views/ThumbnailLoader.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <thread>

using namespace brivet;
using test::textRecord;

class TestHistoryModel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<HistoryModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QDateTime m_base = QDateTime::fromString("2026-01-01T10:00:00Z", Qt::ISODate);
    Category m_work;

    ModelContext& context() { return m_container->mainContext(); }
    ClipboardItem add(const QString& text, int second)
    {
        ClipboardItem item = textRecord(text, m_base.addSecs(second));
        context().insert(item);
        return item;
    }
    QStringList texts()
    {
        QStringList list;
        for (int row = 0; row < m_model->rowCount(); ++row)
            list << m_model->data(m_model->index(row), HistoryModel::PreviewTextRole).toString();
        return list;
    }
    // Links on disk, read through a connection of its own.
    int savedLinks()
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(m_container->path().toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr);
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM ClipboardItemCategory", -1, &count, nullptr);
        const int links = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
        sqlite3_finalize(count);
        sqlite3_close(db);
        return links;
    }

private slots:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.path()));
        auto result = ModelContainer::create(m_dir.filePath("BrivetCloud.sqlite"));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(result));
        m_work = Category("Work", "#0A84FF", 1, false);
        context().insert(m_work);
        for (int i = 0; i < 5; ++i)
            add(QStringLiteral("item %1").arg(i), i * 10);
        QVERIFY(context().save());
        m_model = std::make_unique<HistoryModel>(*m_container);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(test::waitForSearch(*m_model));
    }
    void cleanup()
    {
        m_tester.reset();
        m_model.reset();
        m_container.reset();
    }

    void followsTheStoreRowByRow()
    {
        QCOMPARE(texts(), QStringList({"item 4", "item 3", "item 2", "item 1", "item 0"}));
        QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy moved(m_model.get(), &QAbstractItemModel::rowsMoved);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);

        add("new copy", 100);
        ClipboardItem early = add("older copy", 15); // a clock that went back
        QCOMPARE(m_model->rowCount(), 5);            // heard when saved
        QVERIFY(context().save());
        QCOMPARE(texts(), QStringList({"new copy", "item 4", "item 3", "item 2", "older copy",
                                       "item 1", "item 0"}));
        QCOMPARE(inserted.size(), 2);

        QVERIFY(m_model->promote(6));
        QCOMPARE(texts().first(), QString("item 0"));
        QCOMPARE(moved.size(), 1);
        QVERIFY(m_model->remove(1));
        QCOMPARE(texts(),
                 QStringList({"item 0", "item 4", "item 3", "item 2", "older copy", "item 1"}));
        QCOMPARE(m_model->count(), 6);

        context().update(early);
        context().remove(early);
        QVERIFY(context().save());
        QCOMPARE(texts(), QStringList({"item 0", "item 4", "item 3", "item 2", "item 1"}));
        QCOMPARE(m_model->rowOfId(early.id), -1);
        QCOMPARE(m_model->rowOfId(m_model->item(2)->id), 2);

        QVERIFY(!m_model->promote(5));
        QVERIFY(!m_model->remove(-1));
        QVERIFY(!m_model->toggleCategory(9, m_work.id));
        QVERIFY(!m_model->item(5));
        QCOMPARE(resets.size(), 0); // one record at a time, never a reset
    }

    void membershipUnderACategoryFilterIsSavedAtTheNextTurn()
    {
        m_model->setCategoryId(m_work.id);
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(m_model->rowCount(), 0);
        m_model->setCategoryId(QUuid());
        QVERIFY(test::waitForSearch(*m_model));
        QVERIFY(m_model->toggleCategory(1, m_work.id));
        QVERIFY(m_model->isInCategory(1, m_work.id));
        QCOMPARE(savedLinks(), 0);
        QTRY_COMPARE(savedLinks(), 1); // nobody saves it but the context, by itself
        const QVariantList categories =
            m_model->data(m_model->index(1), HistoryModel::CategoriesRole).toList();
        QCOMPARE(categories.size(), 1);
        QCOMPARE(categories.first().toMap().value("name").toString(), QString("Work"));

        m_model->setCategoryId(m_work.id);
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(texts(), QStringList({"item 3"}));
        QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        QVERIFY(m_model->toggleCategory(0, m_work.id));
        QTRY_COMPARE(m_model->rowCount(), 0);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(resets.size(), 0);
        QCOMPARE(savedLinks(), 0);
    }

    void searchFollowsNewRecordsAndRowsCarryTheCardFields()
    {
        m_model->setSearchText("ÉCOLE");
        // Saved while the query is still out: it shows all the same.
        ClipboardItemContent content;
        content.contentType = "link";
        content.textContent = QString(600, QChar('x')) + "école";
        content.urlString = "https://example.org/école";
        content.sourceAppName = "Firefox";
        content.thumbnailData = QByteArray("not a picture");
        ClipboardItem link(content, m_base.addSecs(1000));
        context().insert(link);
        QVERIFY(context().save());
        QVERIFY(test::waitForSearch(*m_model));
        add("Une École", 200);
        add("a school", 300);
        QVERIFY(context().save());
        QCOMPARE(m_model->rowCount(), 2);
        const QModelIndex first = m_model->index(0);
        QCOMPARE(first.data(HistoryModel::ItemIdRole).toString(),
                 link.id.toString(QUuid::WithoutBraces));
        QCOMPARE(first.data(HistoryModel::ContentTypeRole).toString(), QString("link"));
        QCOMPARE(first.data(HistoryModel::PreviewTextRole).toString(),
                 QString(HistoryModel::previewLength, QChar('x')));
        QCOMPARE(first.data(HistoryModel::CharacterCountRole).toLongLong(), 605);
        QCOMPARE(first.data(HistoryModel::DetailTextRole).toString(), QString("example.org"));
        QCOMPARE(first.data(HistoryModel::HasThumbnailRole).toBool(), true);
        QCOMPARE(m_model->item(0)->textContent->size(), 605); // the whole record on demand
        QCOMPARE(m_model->index(1).data(HistoryModel::PreviewTextRole).toString(),
                 QString("Une École"));
    }

    // Changes saved while a search shows its first rows and the rest is still on its way:
    // within those rows they show at once, older ones come with the rest.
    void changesWhileTheFirstRowsAreShown()
    {
        ClipboardItem item0 = *m_model->item(4), item1 = *m_model->item(3);
        ClipboardItem item3 = *m_model->item(1);
        // A model whose first rows are the two newest matches, the index not tried first.
        m_tester.reset();
        m_model = std::make_unique<HistoryModel>(*m_container, FirstPageLimits{2, 1000, 0});
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(test::waitForSearch(*m_model));
        QStringList first, changed;
        connect(m_model.get(), &HistoryModel::firstPageReadyChanged, this, [&] {
            if (!m_model->firstPageReady() || !first.isEmpty())
                return;
            first = texts();
            QVERIFY(m_model->searching());
            add("item new", 100);
            add("item older", 5);
            item0.timestamp = m_base.addSecs(200);
            context().update(item0);
            context().remove(item3);
            context().remove(item1);
            QVERIFY(context().save());
            changed = texts();
        });
        m_model->setSearchText("ITEM");
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(first, QStringList({"item 4", "item 3"}));
        QCOMPARE(changed, QStringList({"item 0", "item new", "item 4"}));
        QCOMPARE(texts(), QStringList({"item 0", "item new", "item 4", "item 2", "item older"}));
    }

    void rollbackIsHeardInsteadOfTheChanges()
    {
        context().setAutosaveEnabled(false);
        QSignalSpy heard(&context(), &ModelContext::changed);
        add("never saved", 500);
        QVERIFY(m_model->toggleCategory(0, m_work.id));
        QVERIFY(m_model->isInCategory(0, m_work.id));
        context().rollback();
        QVERIFY(context().save());
        QCOMPARE(heard.size(), 1);
        QCOMPARE(heard.first().first().value<ModelChange>().kind, ModelChange::Kind::RolledBack);
        QVERIFY(test::waitForSearch(*m_model));
        QVERIFY(!m_model->isInCategory(0, m_work.id));
        QCOMPARE(texts(), QStringList({"item 4", "item 3", "item 2", "item 1", "item 0"}));
    }

    void thumbnailsLoadOnWorkers()
    {
        ClipboardItemContent content;
        content.contentType = "image";
        content.imageData = test::encode(test::plainImage(QSize(400, 200)), "PNG");
        ClipboardItem image(content);
        context().insert(image);
        content.thumbnailData = QByteArray("broken");
        ClipboardItem broken(content);
        context().insert(broken);
        ClipboardItem text = add("no picture", 1);
        QVERIFY(context().save());

        ThumbnailLoader loader(m_container->path());
        QImage results[3];
        std::thread workers[3];
        const QUuid ids[3] = {image.id, broken.id, text.id};
        for (int i = 0; i < 3; ++i)
            workers[i] = std::thread([&, i] { results[i] = loader.load(ids[i], QSize(100, 100)); });
        for (std::thread& worker : workers)
            worker.join();
        QCOMPARE(results[0].size(), QSize(100, 50));
        QCOMPARE(results[1].size(), QSize(100, 50)); // an undecodable thumbnail: the image
        QVERIFY(results[2].isNull());
        QCOMPARE(loader.load(QUuid::createUuid(), QSize(10, 10)).isNull(), true);
    }
};

BRIVET_TEST_CLASS(TestHistoryModel)
#include "tst_historymodel.moc"
