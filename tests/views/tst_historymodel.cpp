// The panel's history model over a real store: rows follow the store's changes one by one
// (never a reset for one record), its operations reach the disk, its search finds what a linear
// filter finds, and the card pictures load from any thread.
#include "store/HistoryPruner.h"
#include "store/ModelContainer.h"
#include "store/PinOrder.h"
#include "support/HistoryModelWaits.h"
#include "support/TestContent.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "views/HistoryModel.h"
#include "views/ThumbnailLoader.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sqlite3.h>
#include <thread>

using namespace brivet;

namespace {

// Letters in several scripts and cases, characters that mean something to SQL and to the
// index's query syntax, surrogate pairs.
const QStringList alphabet =
    QString::fromUtf8("abceostxABEOST   \néÉèüÜžŽøØßẞσΣςıİ東京会議%_\"*'-():\\")
        .split(QString(), Qt::SkipEmptyParts) +
    QStringList{"👍", "🎉"};

QString randomText(QRandomGenerator& random, int length)
{
    QString text;
    while (text.size() < length)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

// A text without the accents of its Latin letters (the alphabet's only marks).
QString withoutAccents(const QString& text)
{
    QString plain = text.normalized(QString::NormalizationForm_D);
    plain.removeIf([](QChar c) { return c.unicode() >= 0x0300 && c.unicode() <= 0x036F; });
    return plain;
}

// The definition the search must meet, written without the store: one of the four fields
// contains the needle, ignoring case and accents.
bool linearMatch(const ClipboardItem& item, const QString& needle)
{
    for (const auto* field :
         {&item.textContent, &item.urlString, &item.fileName, &item.sourceAppName}) {
        if (*field && withoutAccents(**field).contains(withoutAccents(needle), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Makes the store's search index complete, or not yet made (the records are then tested).
bool setIndexed(const QString& path, bool indexed)
{
    sqlite3* db = nullptr;
    const QByteArray sql = indexed ? "UPDATE ClipboardItemSearchState SET buildFrom = NULL"
                                   : "UPDATE ClipboardItemSearchState SET buildFrom = 1";
    const bool ok = sqlite3_open(path.toUtf8(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

// Whatever the needle, the model's rows are exactly the records a plain linear filter finds,
// newest first.
class TestHistorySearch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    QList<ClipboardItem> m_newestFirst;
    QSet<PersistentId> m_pinned;
    Category m_pins{"Pins", "#FF9F0A", 1, false};

    static QList<PersistentId> rows(HistoryModel& model)
    {
        QList<PersistentId> ids;
        for (int row = 0; row < model.rowCount(); ++row)
            ids << model.index(row).data(HistoryModel::PersistentIdRole).toLongLong();
        return ids;
    }

private slots:
    void initTestCase()
    {
        m_container = std::get<0>(ModelContainer::create(m_dir.filePath("BrivetCloud.sqlite")));
        ModelContext& context = m_container->mainContext();
        context.insert(m_pins);
        QRandomGenerator random(7);
        const QDateTime base = QDateTime::fromString("2026-01-01T10:00:00Z", Qt::ISODate);
        for (int i = 0; i < 3000; ++i) {
            ClipboardItemContent content;
            const int kind = random.bounded(10); // 0-6 text, 7 link, 8 file, 9 image
            content.contentType =
                QStringList{"text", "link", "file", "image"}[std::max(kind - 6, 0)];
            // Some texts longer than the card's preview, so needles cross its end.
            if (kind < 8)
                content.textContent =
                    randomText(random, random.bounded(4) == 0 ? 480 + random.bounded(60)
                                                              : 1 + random.bounded(40));
            if (kind == 7)
                content.urlString = "https://" + randomText(random, 12);
            if (kind == 8) {
                content.fileName = randomText(random, 8) + ".pdf";
                content.filePath = "/home/Zzq" + randomText(random, 6) + "/" + *content.fileName;
            }
            if (random.bounded(3) != 0)
                content.sourceAppName = randomText(random, 6);
            content.sourceAppBundleID = "org.Qqz." + randomText(random, 4); // never searched
            // Equal timestamps now and then: the later insert comes first.
            ClipboardItem item(content, base.addSecs(random.bounded(2000)));
            context.insert(item);
            if (i % 5 == 0) {
                context.link(item, m_pins);
                m_pinned.insert(item.persistentId());
            }
            m_newestFirst.append(item);
        }
        // A long needle whose words are everywhere around a rare one: the index is asked for
        // the rare part, and what that finds must still hold the whole needle.
        for (int i = 0; i < 600; ++i) {
            ClipboardItemContent content;
            content.contentType = "text";
            content.textContent = i % 100 == 7    ? QString("beta qzxjv gamma %1").arg(i)
                                  : i % 100 == 8  ? QString("BÊTA QZXJV GAMMA")
                                  : i % 100 == 9  ? QString("alpha qzxjv gamma %1").arg(i)
                                  : i % 100 == 10 ? QString("beta qzxjv delta")
                                                 : QString("alpha beta gamma delta %1").arg(i);
            ClipboardItem item(content, base.addSecs(random.bounded(2000)));
            context.insert(item);
            m_newestFirst.append(item);
        }
        QVERIFY(context.save());
        const auto key = [](const ClipboardItem& item) {
            return ItemKey{item.timestamp.toMSecsSinceEpoch(), item.persistentId()};
        };
        std::stable_sort(
            m_newestFirst.begin(), m_newestFirst.end(),
            [&](const auto& a, const auto& b) { return ItemKey::newerFirst(key(a), key(b)); });
    }

    void equalsLinearFilter_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("pinnedOnly");
        QTest::addColumn<bool>("wholeListRead"); // the model orders the answer itself
        // How far the first rows are read: to a number of matches, or of records (the budget;
        // at most 500 for a needle the index finds).
        QTest::addColumn<int>("firstMatches");
        QTest::addColumn<int>("firstRecords");
        // Whether the index is complete; else the records are tested, as while it is made.
        QTest::addColumn<bool>("indexed");
        QRandomGenerator random(11);
        for (int i = 0; i < 160; ++i) {
            const ClipboardItem& item = m_newestFirst[random.bounded(int(m_newestFirst.size()))];
            const QString source = item.textContent.value_or(item.sourceAppName.value_or("x"));
            const int length = QList<int>{1, 2, 3, 5, 8}[random.bounded(5)];
            int start = random.bounded(int(std::max<qsizetype>(source.size() - length, 0)) + 1);
            if (source.size() > 505 && i % 4 == 0)
                start = 497; // across the end of the card's text
            QString needle = source.mid(start, length);
            if (needle.isEmpty() || needle.front().isLowSurrogate() ||
                needle.back().isHighSurrogate())
                needle = randomText(random, length);
            needle = i % 3 == 0 ? needle.toUpper() : i % 3 == 1 ? needle.toLower() : needle;
            QTest::addRow("%d: %s", i, qPrintable(needle))
                << needle << (i % 5 == 0) << (i % 2 == 0) << (i % 3 == 0 ? 5 : 64)
                << (i % 3 == 0 ? 500 : 300) << (i % 4 != 1);
        }
        for (const char* needle : {"%", "_", "%_", "\"", "\"*", "*", "é", "ÉÉ", "Σσ", "東京", "👍",
                                   "👍🎉", "zzq", "qqz", ".pdf", "https:/", "beta qzxjv gamma"})
            for (const bool indexed : {true, false})
                QTest::addRow("fixed %s%s", needle, indexed ? "" : ", unindexed")
                    << QString::fromUtf8(needle) << false << true << 64 << 2000 << indexed;
        // Stopped by the budget, short and long needles.
        QTest::addRow("budget, 1 char") << QString("E") << false << false << 3000 << 40 << true;
        QTest::addRow("budget, 3 chars") << QString("sÉ ") << false << false << 5 << 400 << true;
    }

    void equalsLinearFilter()
    {
        QFETCH(QString, needle);
        QFETCH(bool, pinnedOnly);
        QFETCH(bool, wholeListRead);
        QFETCH(int, firstMatches);
        QFETCH(int, firstRecords);
        QFETCH(bool, indexed);
        QVERIFY(setIndexed(m_container->path(), indexed));
        // Some rows with the newest records read for any needle, not the index first.
        HistoryModel model(*m_container,
                           FirstPageLimits{firstMatches, firstRecords, firstMatches == 5 ? 0 : 2});
        // The rows shown when the last needle's first rows are in, before the rest.
        std::optional<QList<PersistentId>> firstRows;
        connect(&model, &HistoryModel::firstPageReadyChanged, this, [&] {
            if (model.firstPageReady() && model.searchText() == needle && !firstRows)
                firstRows = rows(model);
        });
        if (wholeListRead)
            QVERIFY(test::waitForSearch(model));
        if (pinnedOnly)
            model.setCategoryId(m_pins.id);
        // Typed key by key, without waiting (only the last query's answer may count) or waiting
        // for each answer (the next key refines it); a needle longer than eight pasted whole.
        for (qsizetype length = needle.size() > 8 ? needle.size() : 1; length <= needle.size();
             ++length) {
            model.setSearchText(needle.left(length));
            QVERIFY(!wholeListRead || test::waitForSearch(model));
        }
        QVERIFY(test::waitForSearch(model));

        QList<PersistentId> expected, early;
        for (const ClipboardItem& item : std::as_const(m_newestFirst)) {
            if (linearMatch(item, needle) &&
                (!pinnedOnly || m_pinned.contains(item.persistentId())))
                expected << item.persistentId();
        }
        QCOMPARE(rows(model), expected);
        // The first rows are the answer's first rows: those among the newest records read, or
        // the whole answer when it came first (a refinement, or nothing found early).
        QVERIFY(firstRows);
        for (int i = 0; i < std::min<int>(firstRecords, m_newestFirst.size()); ++i) {
            if (early.size() < firstMatches && expected.contains(m_newestFirst[i].persistentId()))
                early << m_newestFirst[i].persistentId();
        }
        if (*firstRows != expected)
            QCOMPARE(*firstRows, early);
    }
};

class TestHistoryModel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_run = 0;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<HistoryModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QDateTime m_base = QDateTime::fromString("2026-01-01T10:00:00Z", Qt::ISODate);
    Category m_work;

    ModelContext& context() { return m_container->mainContext(); }
    ClipboardItem add(const QString& text, int second)
    {
        ClipboardItem item = test::textRecord(text, m_base.addSecs(second));
        context().insert(item);
        return item;
    }
    QStringList texts()
    {
        QStringList list;
        for (int row = 0; row < m_model->rowCount(); ++row)
            list << m_model->index(row).data(HistoryModel::PreviewTextRole).toString();
        return list;
    }
    void makeModel(const FirstPageLimits& limits = {})
    {
        m_tester.reset();
        m_model = std::make_unique<HistoryModel>(*m_container, limits);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(test::waitForSearch(*m_model));
    }

private slots:
    void init()
    {
        auto result = ModelContainer::create(m_dir.filePath(QString::number(++m_run) + ".sqlite"));
        m_container = std::move(std::get<std::unique_ptr<ModelContainer>>(result));
        m_work = Category("Work", "#0A84FF", 1, false);
        context().insert(m_work);
        for (int i = 0; i < 5; ++i)
            add(QStringLiteral("item %1").arg(i), i * 10);
        QVERIFY(context().save());
        makeModel();
    }
    void cleanup()
    {
        m_tester.reset();
        m_model.reset();
        m_container.reset();
    }

    void followsTheStoreRowByRow()
    {
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
        QCOMPARE(moved.size(), 1);
        QVERIFY(m_model->remove(1));
        context().update(early);
        context().remove(early);
        QVERIFY(context().save());
        QCOMPARE(texts(), QStringList({"item 0", "item 4", "item 3", "item 2", "item 1"}));
        QCOMPARE(m_model->rowOfId(early.id), -1);
        QCOMPARE(m_model->rowOfId(m_model->item(2)->id), 2);
        QVERIFY(!m_model->promote(5) && !m_model->remove(-1) && !m_model->item(5));
        QVERIFY(!m_model->toggleCategory(9, m_work.id));
        QCOMPARE(resets.size(), 0); // one record at a time, never a reset
    }

    // Each retention rule, and clearing, on the real store: the pinned item stays (unless the
    // clearing takes it too), the removed records' files go, and the model loses its rows one
    // by one.
    void pruningFollowsRowByRow_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("clear"); // 0 no, 1 unpinned, 2 everything
        QTest::addColumn<QStringList>("kept");
        using K = RetentionRule::Kind;
        QTest::addRow("newest two")
            << int(K::MaxItems) << qint64(2) << 0 << QStringList{"item 4", "item 3", "item 0"};
        // "now" is a day and 15 seconds after the first item.
        QTest::addRow("one day") << int(K::MaxDays) << qint64(1) << 0
                                 << QStringList{"item 4", "item 3", "item 2", "item 0"};
        QTest::addRow("twelve bytes")
            << int(K::MaxBytes) << qint64(12) << 0 << QStringList{"item 4", "item 3", "item 0"};
        QTest::addRow("everything kept")
            << int(K::KeepEverything) << qint64(0) << 0
            << QStringList{"item 4", "item 3", "item 2", "item 1", "item 0"};
        QTest::addRow("clear") << 0 << qint64(0) << 1 << QStringList{"item 0"};
        QTest::addRow("clear with pinned") << 0 << qint64(0) << 2 << QStringList{};
    }
    void pruningFollowsRowByRow()
    {
        QFETCH(int, kind);
        QFETCH(qint64, limit);
        QFETCH(int, clear);
        ClipboardItemContent file;
        file.contentType = "file";
        file.filePath = "/tmp/a.bin";
        file.fileName = "a.bin";
        file.fileData = QByteArray(64, 'f');
        ClipboardItem withFile(file, m_base.addSecs(5)); // between item 0 and item 1
        context().insert(withFile);
        context().link(*m_model->item(4), m_work); // item 0, the oldest
        QVERIFY(context().save());
        const QDir files(context().externalDataDirectory());
        QCOMPARE(files.entryList(QDir::Files).size(), 1);
        QCOMPARE(m_model->rowCount(), 6);

        HistoryPruner pruner(context(), m_container->path());
        QSignalSpy finished(&pruner, &HistoryPruner::finished);
        QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        if (clear)
            pruner.clearHistory(clear == 2);
        else
            pruner.applyRule({RetentionRule::Kind(kind), limit}, m_base.addDays(1).addSecs(15));
        if (kind != int(RetentionRule::Kind::KeepEverything) || clear)
            QVERIFY(finished.wait());
        QStringList kept = texts();
        kept.removeAll(QString("a.bin")); // the file's card
        kept.removeAll(QString());
        QTEST(kept, "kept");
        const bool fileKept = m_model->rowCount() > kept.size();
        QCOMPARE(files.entryList(QDir::Files).size(), fileKept ? 1 : 0);
        QCOMPARE(removed.size(), 6 - m_model->rowCount());
        QCOMPARE(resets.size(), 0);
    }

    // A deleted record comes back whole: its fields, time, bytes (in the database and beside
    // it, a text's formatting too) and pins, as a new record; the newest deletion first; none after forgetRemoved().
    void removedRecordsComeBackWithTheirBytesAndCategories()
    {
        ClipboardItemContent content;
        content.contentType = "file";
        content.filePath = "/tmp/report.pdf";
        content.fileName = "report.pdf";
        content.fileData = QByteArray("%PDF-1.4 the report");
        content.thumbnailData = QByteArray("thumbnail bytes");
        content.sourceAppName = "Files";
        ClipboardItem file(content, m_base.addSecs(25));
        context().insert(file);
        context().link(file, m_work);
        QVERIFY(context().save());
        const int fileRow = m_model->rowOfId(file.id);
        QCOMPARE(fileRow, 2);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);

        QVERIFY(m_model->remove(fileRow));
        QVERIFY(m_model->remove(0)); // "item 4"
        QCOMPARE(m_model->rowCount(), 4);
        QCOMPARE(QDir(context().externalDataDirectory()).entryList(QDir::Files).size(), 0);
        QCOMPARE(m_model->restoreRemoved(), 0);
        QCOMPARE(texts().first(), QString("item 4"));
        QCOMPARE(m_model->restoreRemoved(), 2);
        QCOMPARE(m_model->restoreRemoved(), -1);
        QVERIFY(!m_model->hasRemoved());

        const std::optional<ClipboardItem> back = m_model->item(2);
        QVERIFY(back && back->id != file.id);
        QCOMPARE(back->timestamp, file.timestamp);
        QCOMPARE(back->fileName, file.fileName);
        QCOMPARE(back->sourceAppName, file.sourceAppName);
        QCOMPARE(back->fileData->data(), QByteArray("%PDF-1.4 the report"));
        QCOMPARE(back->thumbnailData->data(), QByteArray("thumbnail bytes"));
        QVERIFY(m_model->isInCategory(2, m_work.id));
        QCOMPARE(resets.size(), 0);

        QVERIFY(m_model->remove(2));
        m_model->forgetRemoved();
        QCOMPARE(m_model->restoreRemoved(), -1);

        // A text comes back with its formatting.
        ClipboardItemContent formatted;
        formatted.contentType = "text";
        formatted.textContent = "bold";
        formatted.representations = {{"text/html", "<b>bold</b>"}};
        ClipboardItem text(formatted, m_base.addSecs(30));
        context().insert(text);
        QVERIFY(context().save());
        QVERIFY(m_model->remove(m_model->rowOfId(text.id)));
        const std::optional<ClipboardItem> textBack = m_model->item(m_model->restoreRemoved());
        QVERIFY(textBack);
        QCOMPARE(textBack->representations.value("text/html").data(), QByteArray("<b>bold</b>"));
    }

    // (Pinning from the card's menu and filtering by the category: the panel's end-to-end test.)
    void membershipShowsOnTheCardAndUnpinningLeavesTheFilter()
    {
        QVERIFY(m_model->toggleCategory(1, m_work.id));
        QVERIFY(m_model->isInCategory(1, m_work.id));
        const QVariantList categories =
            m_model->index(1).data(HistoryModel::CategoriesRole).toList();
        QCOMPARE(categories.size(), 1);
        QCOMPARE(categories.first().toMap().value("name").toString(), QString("Work"));
        m_model->setCategoryId(m_work.id);
        QVERIFY(test::waitForSearch(*m_model));
        QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        QVERIFY(m_model->toggleCategory(0, m_work.id));
        QTRY_COMPARE(m_model->rowCount(), 0);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(resets.size(), 0);
    }

    // A category's strip follows the pins' order: a new pin in front, a pin from before
    // positions by its time; Alt+Left/Right move rows (never a reset), even where the pins
    // leave no room between them; a paste does not reorder; a search in the category is by
    // time; the order is on disk.
    void pinOrderMovesRowsAndSurvivesARestart()
    {
        // Rows newest first: item 4, item 3, item 2, item 1, item 0.
        const ClipboardItem item1 = *m_model->item(3);
        QVERIFY(m_model->toggleCategory(0, m_work.id)); // item 4
        QVERIFY(m_model->toggleCategory(4, m_work.id)); // item 0
        QVERIFY(m_model->toggleCategory(2, m_work.id)); // item 2
        context().link(item1, m_work, std::nullopt);    // as pinned before positions were kept
        QVERIFY(context().save());
        QCOMPARE(m_model->movePin(0, 1), -1); // the whole history has no pin order
        m_model->setCategoryId(m_work.id);
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(texts(), QStringList({"item 2", "item 0", "item 4", "item 1"}));

        QSignalSpy moved(m_model.get(), &QAbstractItemModel::rowsMoved);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        QCOMPARE(m_model->movePin(1, 0), 0);
        QCOMPARE(texts(), QStringList({"item 0", "item 2", "item 4", "item 1"}));
        QCOMPARE(m_model->movePin(3, 2), 2); // the pin without a position
        QCOMPARE(m_model->movePin(3, 2), 2); // no room left between item 2 and item 1
        QCOMPARE(texts(), QStringList({"item 0", "item 2", "item 4", "item 1"}));
        // Every pin has a place of its own: the order never rests on the records' local ids.
        const auto pins = context().pins(m_work.persistentId()).value();
        for (size_t i = 1; i < pins.size(); ++i)
            QVERIFY(pins[i - 1].positioned && pins[i - 1].key.timestamp > pins[i].key.timestamp);
        QCOMPARE(m_model->movePin(3, 4), -1);
        QVERIFY(m_model->promote(3));
        QCOMPARE(texts(), QStringList({"item 0", "item 2", "item 4", "item 1"}));
        QCOMPARE(moved.size(), 3);
        QCOMPARE(resets.size(), 0);

        m_model->setSearchText("item");
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(texts(), QStringList({"item 1", "item 4", "item 2", "item 0"}));
        QCOMPARE(m_model->movePin(0, 1), -1);

        m_tester.reset();
        m_model.reset();
        const QString path = m_container->path();
        m_container.reset();
        m_container = std::get<std::unique_ptr<ModelContainer>>(ModelContainer::create(path));
        makeModel();
        m_model->setCategoryId(m_work.id);
        QVERIFY(test::waitForSearch(*m_model));
        QCOMPARE(texts(), QStringList({"item 0", "item 2", "item 4", "item 1"}));
    }

    // Records saved while a search is out and after it show when they match; the card's fields.
    void searchFollowsNewRecordsAndRowsCarryTheCardFields()
    {
        m_model->setSearchText("cole");
        ClipboardItemContent content;
        content.contentType = "link";
        content.textContent = QString(600, QChar('x')) + "école";
        content.urlString = "https://example.org/école";
        content.thumbnailData = QByteArray("not a picture");
        ClipboardItem link(content, m_base.addSecs(1000));
        context().insert(link);
        QVERIFY(context().save());
        QVERIFY(test::waitForSearch(*m_model));
        add("l'école", 200); // and after it
        add("a school", 300);
        QVERIFY(context().save());
        QCOMPARE(texts(), QStringList({QString(HistoryModel::previewLength, 'x'), "l'école"}));
        const QModelIndex first = m_model->index(0);
        QCOMPARE(first.data(HistoryModel::ItemIdRole).toString(),
                 link.id.toString(QUuid::WithoutBraces));
        QCOMPARE(first.data(HistoryModel::CharacterCountRole).toLongLong(), 605);
        QCOMPARE(first.data(HistoryModel::DetailTextRole).toString(), QString("example.org"));
        QCOMPARE(first.data(HistoryModel::HasThumbnailRole).toBool(), true);
        QCOMPARE(m_model->item(0)->textContent->size(), 605); // the whole record on demand
    }

    // Changes saved while a search shows its first rows and the rest is still on its way:
    // within those rows they show at once, older ones come with the rest.
    void changesWhileTheFirstRowsAreShown()
    {
        ClipboardItem item0 = *m_model->item(4), item1 = *m_model->item(3);
        ClipboardItem item3 = *m_model->item(1);
        makeModel(FirstPageLimits{2, 1000, 0});
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
        context().rollback();
        QVERIFY(context().save());
        QCOMPARE(heard.size(), 1);
        QCOMPARE(heard.first().first().value<ModelChange>().kind, ModelChange::Kind::RolledBack);
        QVERIFY(test::waitForSearch(*m_model));
        QVERIFY(!m_model->isInCategory(0, m_work.id));
        QCOMPARE(texts(), QStringList({"item 4", "item 3", "item 2", "item 1", "item 0"}));
    }

    // An undecodable thumbnail falls back to the image; a record without a picture has none.
    void thumbnailsLoadOnWorkers()
    {
        ClipboardItemContent content;
        content.contentType = "image";
        content.imageData = test::encode(test::plainImage(QSize(400, 200)), "PNG");
        ClipboardItem image(content);
        content.thumbnailData = QByteArray("broken");
        ClipboardItem broken(content);
        ClipboardItem text = add("no picture", 1);
        context().insert(image);
        context().insert(broken);
        QVERIFY(context().save());

        ThumbnailLoader loader(m_container->path());
        const QUuid ids[4] = {image.id, broken.id, text.id, QUuid::createUuid()};
        const QSize expected[4] = {QSize(100, 50), QSize(100, 50), QSize(0, 0), QSize(0, 0)};
        QImage results[4];
        std::thread workers[4];
        for (int i = 0; i < 4; ++i)
            workers[i] = std::thread([&, i] { results[i] = loader.load(ids[i], QSize(100, 100)); });
        for (std::thread& worker : workers)
            worker.join();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(results[i].size(), expected[i]);
    }
};

BRIVET_TEST_CLASS(TestHistoryModel)
BRIVET_TEST_CLASS(TestHistorySearch)
#include "tst_historymodel.moc"
