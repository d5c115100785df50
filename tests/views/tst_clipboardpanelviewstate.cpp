// The panel view's rules, driven by key actions against an in-memory history: search editing,
// selection moves, delete and paste, the preview flag, category cycling and the show reset.
// (Return on the selected card, on a search's or a category's first card: test_panel.py.)

#include "views/ClipboardPanelViewState.h"
#include "views/DarkPalette.h"
#include "views/FakePanelHistory.h"
#include "views/StatusColors.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>

using namespace brivet;

namespace {

const QStringList kRecords{"alpha", "beta", "gamma", "delta", "epsilon"};

// Categories in order: the default one first, then two of the user's.
QList<PanelCategory> categories()
{
    return {
        {QUuid::createUuidV5(QUuid(), QStringLiteral("all")), "Clipboard History", "#FFFFFF", true},
        {QUuid::createUuidV5(QUuid(), QStringLiteral("work")), "Work", "#FF9500", false},
        {QUuid::createUuidV5(QUuid(), QStringLiteral("home")), "Home", "#34C759", false}};
}

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& color)
{
    auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A colour drawn with its alpha over an opaque one.
QColor over(const QColor& top, const QColor& below)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + below.redF() * (1 - a)),
                            float(top.greenF() * a + below.greenF() * (1 - a)),
                            float(top.blueF() * a + below.blueF() * (1 - a)));
}

QString categoryName(const QUuid& id)
{
    for (const PanelCategory& category : categories())
        if (category.id == id)
            return category.name;
    return id.isNull() ? QString() : QStringLiteral("?");
}

// One letter per action: L R left/right, < > the card left/right in its category, D delete, P
// paste (Return), W plain paste (Shift+Return), _ Space, Q preview (Shift+Space), M mark
// (Ctrl+Space), N B next/previous category, E escape, Z undo (Ctrl+Z), S the panel shown
// again, t:<text> typed text, c:<n> Ctrl+click on card n.
void apply(ClipboardPanelViewState& state, const QString& script)
{
    using Kind = PanelKeyAction::Kind;
    const QString keys = QStringLiteral("LRDPW_QMNBEZ<>");
    const Kind kinds[] = {Kind::MoveLeft,         Kind::MoveRight,      Kind::DeleteItem,
                          Kind::PasteItem,        Kind::PastePlainText, Kind::Space,
                          Kind::QuickLook,        Kind::ToggleMark,     Kind::NextCategory,
                          Kind::PreviousCategory, Kind::Escape,         Kind::Undo,
                          Kind::MovePinLeft,      Kind::MovePinRight};
    for (const QString& token : script.split(u' ', Qt::SkipEmptyParts)) {
        if (token.startsWith(QLatin1String("t:")))
            state.apply(PanelKeyAction::typeCharacter(token.mid(2)));
        else if (token.startsWith(QLatin1String("c:")))
            state.toggleMarkCard(token.mid(2).toInt());
        else if (token == QLatin1String("S"))
            state.reset();
        else if (const qsizetype at = keys.indexOf(token); token.size() == 1 && at >= 0)
            state.apply(PanelKeyAction::of(kinds[at]));
        else
            QFAIL(qPrintable("unknown action " + token));
    }
}

// A history whose answers arrive only when the test hands them over, as from a worker.
struct AsyncPanel
{
    FakePanelHistory history{kRecords};
    ClipboardPanelViewState state{history, nullptr};
    QStringList pasted;
    AsyncPanel()
    {
        history.isAsynchronous = true;
        QObject::connect(&state, &ClipboardPanelViewState::itemChosen,
                         [this](const ClipboardItem& item) { pasted << *item.textContent; });
    }
};

} // namespace

class TestClipboardPanelViewState : public QObject
{
    Q_OBJECT
private slots:
    void keyActions_data();
    void keyActions();
    void actionsWaitForTheSearchResult();
    void actionsPastTheFirstRowsWaitForTheRest();
    void categoryBarChangesOnlyTheFilter();
    void categoryColor_data();
    void categoryColor();
    void statusColorsReadOnThePalette_data();
    void statusColorsReadOnThePalette();
};

void TestClipboardPanelViewState::keyActions_data()
{
    QTest::addColumn<int>("recordCount");      // the first n of kRecords
    QTest::addColumn<QString>("pinnedToWork"); // records pinned to "Work", comma-separated
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<int>("selectedIndex");
    QTest::addColumn<bool>("isQuickLookVisible");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("events"); // callbacks and store changes, in order

    // clang-format off
    QTest::addRow("typing appends and selects the first card") << 5 << "" << "R R t:a t:l" << "al" << 0 << false << "" << "";
    QTest::addRow("two letters then Delete leave the first") << 5 << "" << "R t:a t:b D" << "a" << 0 << false << "" << "";
    QTest::addRow("Delete takes back a whole accented character") << 5 << "" << QStringLiteral("t:e t:e\u0301 D") << "e" << 0 << false << "" << "";
    QTest::addRow("Delete with an empty search deletes the selected card; the next moves in") << 5 << "" << "R D" << "" << 1 << false << "" << "removed beta";
    QTest::addRow("deleting the last card selects the one before it") << 5 << "" << "R R R R D" << "" << 3 << false << "" << "removed epsilon";
    QTest::addRow("deleting the only card leaves index 0") << 1 << "" << "D" << "" << 0 << false << "" << "removed alpha";
    QTest::addRow("Delete with no cards does nothing") << 0 << "" << "D" << "" << 0 << false << "" << "";
    QTest::addRow("Right on the last card does nothing") << 3 << "" << "R R R" << "" << 2 << false << "" << "";
    QTest::addRow("Left on the first card does nothing") << 3 << "" << "L" << "" << 0 << false << "" << "";
    QTest::addRow("Right with no cards does nothing") << 0 << "" << "R" << "" << 0 << false << "" << "";
    QTest::addRow("Return with no match does nothing") << 5 << "" << "t:zz P" << "zz" << 0 << false << "" << "";
    QTest::addRow("Return with the preview open does nothing") << 5 << "" << "Q P" << "" << 0 << true << "" << "";
    QTest::addRow("Space with no cards sets the flag; arrows and typing are dropped until Escape") << 0 << "" << "_ R t:x E t:y" << "y" << 0 << false << "" << "reclaim focus";
    QTest::addRow("Space in a search types a space: phrases can be searched") << 5 << "" << "t:new _ t:york" << "new york" << 0 << false << "" << "";
    QTest::addRow("Space with an empty search opens the preview, Space closes it") << 5 << "" << "_ R _" << "" << 0 << false << "" << "reclaim focus";
    QTest::addRow("Shift+Space opens the preview also with a search; Space closes it") << 5 << "" << "t:a Q _" << "a" << 0 << false << "" << "reclaim focus";
    QTest::addRow("Space twice closes the preview and gives the keys back") << 5 << "" << "_ _" << "" << 0 << false << "" << "reclaim focus";
    QTest::addRow("Escape closes the preview, then clears the search, then dismisses") << 5 << "" << "t:a Q E E E" << "" << 0 << false << "" << "reclaim focus, dismiss";
    QTest::addRow("Escape with a search clears it and selects the first card") << 5 << "" << "t:e R E" << "" << 0 << false << "" << "";
    QTest::addRow("next category from none selects the second") << 5 << "beta,delta" << "R N" << "" << 0 << false << "Work" << "";
    QTest::addRow("next twice selects the third") << 5 << "" << "N N" << "" << 0 << false << "Home" << "";
    QTest::addRow("next three times wraps to the default, which filters nothing") << 5 << "" << "N N N" << "" << 0 << false << "" << "";
    QTest::addRow("previous from none selects the last") << 5 << "" << "B" << "" << 0 << false << "Home" << "";
    QTest::addRow("category keys wait while the preview is open") << 5 << "" << "Q N E" << "" << 0 << false << "" << "reclaim focus";
    QTest::addRow("Ctrl+Z brings back the newest deletion first, selected") << 5 << "" << "R D R D Z" << "" << 2 << false << "" << "removed beta, removed delta, restored delta";
    QTest::addRow("Ctrl+Z twice brings back both; a third does nothing") << 5 << "" << "R D D Z Z Z" << "" << 1 << false << "" << "removed beta, removed gamma, restored gamma, restored beta";
    QTest::addRow("deletions of an earlier panel session stay deleted") << 5 << "" << "D S Z" << "" << 0 << false << "" << "removed alpha";
    QTest::addRow("Ctrl+Z waits while the preview is open") << 5 << "" << "D Q Z" << "" << 0 << true << "" << "removed alpha";
    QTest::addRow("Alt+Left in a category moves the card; the selection goes with it") << 5 << "beta,gamma,delta" << "N R R < P" << "" << 0 << false << "Work" << "promoted delta, selected delta";
    QTest::addRow("Alt+Right moves it back") << 5 << "beta,gamma,delta" << "N R > L P" << "" << 0 << false << "Work" << "promoted delta, selected delta";
    QTest::addRow("Alt+Right on the last card does nothing") << 5 << "beta,gamma" << "N R >" << "" << 1 << false << "Work" << "";
    QTest::addRow("Alt+Left without a category does nothing") << 5 << "" << "R < P" << "" << 0 << false << "" << "promoted beta, selected beta";
    QTest::addRow("showing again clears search, selection and preview, not the category") << 5 << "" << "N t:a R Q S" << "" << 0 << false << "Work" << "reclaim focus";
    QTest::addRow("Return with marks pastes them in marking order, each promoted in turn") << 5 << "" << "R R M L L M R R R M P" << "" << 0 << false << "" << "promoted gamma, promoted alpha, promoted delta, stack gamma alpha delta";
    QTest::addRow("Shift+Return with marks pastes their plain texts") << 5 << "" << "M R M W" << "" << 0 << false << "" << "promoted alpha, promoted beta, plain stack alpha beta";
    QTest::addRow("Ctrl+click marks and selects; again unmarks") << 5 << "" << "c:3 c:1 c:3 P" << "" << 0 << false << "" << "promoted beta, stack beta";
    QTest::addRow("Ctrl+Space on a marked card unmarks it; with none left Return pastes the selection") << 5 << "" << "R M M P" << "" << 0 << false << "" << "promoted beta, selected beta";
    QTest::addRow("marks hold across a search") << 5 << "" << "M t:gam M P" << "gam" << 0 << false << "" << "promoted alpha, promoted gamma, stack alpha gamma";
    QTest::addRow("Escape clears the marks before the search, then the search") << 5 << "" << "t:a R M E P" << "a" << 0 << false << "" << "promoted beta, selected beta";
    QTest::addRow("Escape with marks and no search clears them without dismissing") << 5 << "" << "M E" << "" << 0 << false << "" << "";
    QTest::addRow("a deleted card leaves the marks") << 5 << "" << "M R M D P" << "" << 0 << false << "" << "removed beta, promoted alpha, stack alpha";
    QTest::addRow("showing again clears the marks") << 5 << "" << "R M S P" << "" << 0 << false << "" << "promoted alpha, selected alpha";
    // clang-format on
}

void TestClipboardPanelViewState::keyActions()
{
    QFETCH(int, recordCount);
    QFETCH(QString, pinnedToWork);
    QFETCH(QString, script);

    FakePanelHistory history(kRecords.mid(0, recordCount));
    history.categoryList = categories();
    for (const QString& record : pinnedToWork.split(u',', Qt::SkipEmptyParts))
        history.pins.insert({record, categories()[1].id});
    ClipboardPanelViewState state(history, nullptr);
    QStringList events;
    connect(&state, &ClipboardPanelViewState::itemChosen, [&](const ClipboardItem& item) {
        events << history.promoted.takeFirst().prepend("promoted ")
               << "selected " + item.textContent.value_or(QString());
    });
    connect(&state, &ClipboardPanelViewState::itemsChosen,
            [&](const QList<ClipboardItem>& items, PasteForm form) {
                QStringList texts;
                for (const ClipboardItem& item : items) {
                    events << history.promoted.takeFirst().prepend("promoted ");
                    texts << item.textContent.value_or(QString());
                }
                events << (form == PasteForm::PlainText ? "plain stack " : "stack ") +
                              texts.join(' ');
            });
    connect(&state, &ClipboardPanelViewState::dismissRequested, [&] { events << "dismiss"; });
    connect(&state, &ClipboardPanelViewState::keyFocusReturned, [&] { events << "reclaim focus"; });
    connect(&history, &FakePanelHistory::countChanged, [&] {
        if (!history.removed.isEmpty())
            events << "removed " + history.removed.takeFirst();
        if (!history.restored.isEmpty())
            events << "restored " + history.restored.takeFirst();
    });

    apply(state, script);

    QTEST(state.searchText(), "searchText");
    QTEST(state.selectedIndex(), "selectedIndex");
    QTEST(state.isQuickLookVisible(), "isQuickLookVisible");
    QTEST(categoryName(state.selectedCategoryId()), "category");
    QTEST(events.join(QStringLiteral(", ")), "events");
}

void TestClipboardPanelViewState::actionsWaitForTheSearchResult()
{
    AsyncPanel panel;
    auto& [history, state, pasted] = panel;

    state.handleKey(PanelKeyAction::typeCharacter(QStringLiteral("ps")));
    state.handleKey(PanelKeyAction::of(PanelKeyAction::Kind::PasteItem));
    QTRY_VERIFY(history.isFiltering());
    QTest::qWait(50);
    QVERIFY(pasted.isEmpty()); // Return waits for the rows of "ps"

    history.finishFiltering();
    QTRY_COMPARE(pasted, QStringList{"epsilon"});
}

// The first rows of an answer are exact: actions on them go at once, a move past the last of
// them waits for the rest.
void TestClipboardPanelViewState::actionsPastTheFirstRowsWaitForTheRest()
{
    AsyncPanel panel;
    auto& [history, state, pasted] = panel;
    using Kind = PanelKeyAction::Kind;
    for (const PanelKeyAction& action :
         {PanelKeyAction::typeCharacter(QStringLiteral("a")), PanelKeyAction::of(Kind::MoveRight),
          PanelKeyAction::of(Kind::MoveRight), PanelKeyAction::of(Kind::PasteItem)})
        state.handleKey(action);
    QTRY_VERIFY(history.isFiltering());
    history.showFirstRows(2); // alpha, beta of alpha, beta, gamma, delta
    QTRY_COMPARE(state.selectedIndex(), 1);
    QTest::qWait(50);
    QCOMPARE(state.selectedIndex(), 1);
    QVERIFY(pasted.isEmpty());

    history.finishFiltering();
    QTRY_COMPARE(pasted, QStringList{"gamma"});
}

void TestClipboardPanelViewState::categoryBarChangesOnlyTheFilter()
{
    FakePanelHistory history(kRecords);
    history.categoryList = categories();
    ClipboardPanelViewState state(history, nullptr);
    state.apply(PanelKeyAction::of(PanelKeyAction::Kind::MoveRight));

    state.selectCategory(categories()[2].id.toString());
    QCOMPARE(categoryName(state.selectedCategoryId()), QStringLiteral("Home"));
    QCOMPARE(state.selectedIndex(), 1);
    state.selectCategory(categories()[0].id.toString());
    QVERIFY(state.selectedCategoryId().isNull());
}

void TestClipboardPanelViewState::categoryColor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("hashes on both ends") << "##FF0000#" << 0xFFFF0000u;
    QTest::newRow("0x prefix, three digits") << "0xFFF" << 0xFF000FFFu;
    QTest::newRow("not hex") << "#GG0000" << 0xFF000000u;
    QTest::newRow("eight digits") << "#12FF9500" << 0xFFFF9500u;
    QTest::newRow("leading space") << "  #007AFF" << 0xFF000000u;
    QTest::newRow("stops at a non-digit") << "FF95zz" << 0xFF00FF95u;
    QTest::newRow("hash inside") << "#FF#9500" << 0xFF0000FFu;
}
void TestClipboardPanelViewState::categoryColor()
{
    QFETCH(QString, text);
    QFETCH(quint32, expected);
    FakePanelHistory history(kRecords);
    ClipboardPanelViewState state(history, nullptr);
    QCOMPARE(state.categoryColor(text).rgba(), expected);
}

// Red and link texts keep 4.5:1 against the window and the fields in both palettes; the
// hairline around cards and fields shows on both.
void TestClipboardPanelViewState::statusColorsReadOnThePalette_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light (Fusion's)") << QPalette(QColor(0xef, 0xef, 0xef));
    QTest::newRow("light, white window") << QPalette(Qt::black, Qt::white);
    QTest::newRow("dark") << darkPalette();
}
void TestClipboardPanelViewState::statusColorsReadOnThePalette()
{
    QFETCH(QPalette, palette);
    for (auto role : {QPalette::Window, QPalette::Base}) {
        const QColor background = palette.color(role);
        QVERIFY2(contrast(StatusColors::destructive(palette), background) >= 4.5,
                 qPrintable(background.name()));
        QVERIFY2(contrast(StatusColors::link(palette), background) >= 4.5,
                 qPrintable(background.name()));
        QVERIFY(contrast(over(StatusColors::hairline(palette), background), background) >= 1.2);
    }
}

QTEST_MAIN(TestClipboardPanelViewState)
#include "tst_clipboardpanelviewstate.moc"
