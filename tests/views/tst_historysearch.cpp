// The history's search over a real store: whatever the needle, the model's rows are exactly
// the records a plain linear filter finds, newest first.
#include "store/ModelContainer.h"
#include "support/HistoryModelWaits.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"
#include "views/HistoryModel.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

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

// The definition the search must meet, written without the store: one of the four fields
// contains the needle, ignoring case.
bool linearMatch(const ClipboardItem& item, const QString& needle)
{
    for (const auto* field :
         {&item.textContent, &item.urlString, &item.fileName, &item.sourceAppName}) {
        if (*field && (*field)->contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

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
            content.contentType = kind < 7   ? "text"
                                  : kind < 8 ? "link"
                                  : kind < 9 ? "file"
                                             : "image";
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
                << (i % 3 == 0 ? 500 : 300);
        }
        for (const char* needle : {"%", "_", "%_", "\"", "\"*", "*", "é", "ÉÉ", "Σσ", "東京", "👍",
                                   "👍🎉", "zzq", "qqz", ".pdf", "https:/"})
            QTest::addRow("fixed %s", needle)
                << QString::fromUtf8(needle) << false << true << 64 << 2000;
        // Stopped by the budget, short and long needles.
        QTest::addRow("budget, 1 char") << QString("E") << false << false << 3000 << 40;
        QTest::addRow("budget, 3 chars") << QString("sÉ ") << false << false << 5 << 400;
    }

    void equalsLinearFilter()
    {
        QFETCH(QString, needle);
        QFETCH(bool, pinnedOnly);
        QFETCH(bool, wholeListRead);
        QFETCH(int, firstMatches);
        QFETCH(int, firstRecords);
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
        // for each answer (the next key refines it).
        for (qsizetype length = 1; length <= needle.size(); ++length) {
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

BRIVET_TEST_CLASS(TestHistorySearch)
#include "tst_historysearch.moc"
