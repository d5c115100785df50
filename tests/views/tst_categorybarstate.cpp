// The category bar's deletions against a real store and the real history model: the filter
// and the editor follow a category that goes away, by the bar's Delete or by any other path,
// and the items pinned to it stay.

#include "support/HistoryModelWaits.h"
#include "views/HistoryModel.h"
#include "store/ModelContainer.h"
#include "support/TestRecords.h"
#include "views/CategoryBarState.h"
#include "views/ClipboardPanelViewState.h"
#include "views/HistoryModelPanelHistory.h"

#include <QTemporaryDir>
#include <QTest>

using namespace brivet;

class TestCategoryBarState : public QObject
{
    Q_OBJECT

private slots:
    void deletions_data()
    {
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<bool>("throughBar");
        QTest::addColumn<QString>("selectedAfter");
        QTest::addColumn<bool>("editorOpenAfter");

        QTest::addRow("the selected one, by the bar") << "Work" << true << "" << false;
        QTest::addRow("another one, by the bar") << "Home" << true << "Work" << true;
        QTest::addRow("the selected one, elsewhere") << "Work" << false << "" << false;
    }

    // Work is selected and open in the editor; the note is pinned to both categories.
    void deletions()
    {
        QFETCH(QString, deleted);
        QFETCH(bool, throughBar);
        QFETCH(QString, selectedAfter);
        QFETCH(bool, editorOpenAfter);

        QTemporaryDir dir;
        auto made = ModelContainer::create(dir.filePath("BrivetCloud.sqlite"));
        auto container = std::move(std::get<std::unique_ptr<ModelContainer>>(made));
        ModelContext& context = container->mainContext();
        Category all("Clipboard History", "#FFFFFF", 0, true);
        Category work("Work", "#FF9500", 1, false);
        Category home("Home", "#34C759", 2, false);
        ClipboardItem note = test::textRecord("note");
        for (Category* category : {&all, &work, &home})
            context.insert(*category);
        context.insert(note);
        context.link(note, work);
        context.link(note, home);
        QVERIFY(context.save());

        HistoryModel model(*container);
        QVERIFY(test::waitForSearch(model));
        HistoryModelPanelHistory history(model);
        ClipboardPanelViewState panel(history, &model);
        CategoryBarState bar(context, panel);
        const QString workId = work.id.toString(QUuid::WithoutBraces);
        bar.select(workId);
        bar.edit(workId);
        QCOMPARE(panel.selectedCategoryId(), work.id);
        QVERIFY(bar.isShowingEditor());

        const Category& gone = deleted == "Work" ? work : home;
        if (throughBar) {
            bar.remove(gone.id.toString(QUuid::WithoutBraces));
        } else {
            context.remove(gone);
            QVERIFY(context.save());
        }

        QCOMPARE(panel.selectedCategoryId(), selectedAfter.isEmpty() ? QUuid() : work.id);
        QCOMPARE(bar.isShowingEditor(), editorOpenAfter);
        QCOMPARE(bar.categories().size(), 2);
        const auto notes = context.fetch(ItemFetch{});
        QVERIFY(notes && notes->size() == 1);
        const auto pins = context.categories(notes->first());
        QVERIFY(pins && pins->size() == 1 && pins->first().name != deleted);
        QVERIFY(test::waitForSearch(model));
        QCOMPARE(model.rowCount(), 1);
    }
};

QTEST_MAIN(TestCategoryBarState)
#include "tst_categorybarstate.moc"
