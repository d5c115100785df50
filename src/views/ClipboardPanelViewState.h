#pragma once

#include "views/PanelHistory.h"
#include "views/PanelKeyAction.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <deque>

namespace brivet {

// The browsing state of the history panel and every rule that changes it: the selected
// category, the search text, the selected card and the preview flag; the keys from the panel
// window, the clicks on cards and the context menu. The panel's QML binds to it and only lays
// out and animates. Main thread only.
class ClipboardPanelViewState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the panel controller")
    Q_PROPERTY(
        QString searchText READ searchText WRITE setSearchTextFromField NOTIFY searchTextChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
    // While Ctrl is held the first nine cards show the digit that pastes them (Ctrl+1...9).
    Q_PROPERTY(bool showsQuickNumbers READ showsQuickNumbers NOTIFY showsQuickNumbersChanged)
    // The ids of the records marked for the paste stack, in marking order (a card's badge
    // shows its place here plus one).
    Q_PROPERTY(QStringList markedIds READ markedIds NOTIFY marksChanged)
    Q_PROPERTY(
        QString selectedCategoryId READ selectedCategoryIdText NOTIFY selectedCategoryChanged)
    Q_PROPERTY(bool isQuickLookVisible READ isQuickLookVisible WRITE setQuickLookVisibleFromView
                   NOTIFY isQuickLookVisibleChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(QAbstractItemModel* items READ items CONSTANT)
    // Whether there are categories of the user's to pin cards to.
    Q_PROPERTY(bool hasPinCategories READ hasPinCategories NOTIFY categoriesChanged)
    // For a few seconds after a delete: the line "Deleted · Undo".
    Q_PROPERTY(bool showsUndo READ showsUndo NOTIFY showsUndoChanged)
    // Cards can be dragged to another place: a category's own order is shown.
    Q_PROPERTY(bool canMoveCards READ canMoveCards NOTIFY canMoveCardsChanged)
    // Moves on every half minute while the panel is open, so that card ages stay current.
    Q_PROPERTY(QDateTime now READ now NOTIFY nowChanged)
public:
    // history is the filtered list the state acts on; items the same list as a Qt model for
    // the cards (may be null in tests).
    ClipboardPanelViewState(PanelHistory& history, QAbstractItemModel* items,
                            QObject* parent = nullptr);
    ~ClipboardPanelViewState() override;

    // Takes a key of the panel's. Keys are applied one at a time, in order, each in a turn of
    // the event loop of its own. A key that arrives while the list is still being filtered
    // waits for the first rows of the filter's answer, so that a Return typed right after a
    // search acts on the search's result; one that goes past the last row shown waits for the
    // rest of the answer.
    void handleKey(const brivet::PanelKeyAction& action);
    // Applies one key at once.
    void apply(const PanelKeyAction& action);
    // A fresh start for a panel being shown: no search, the first card, no preview.
    void reset();

    QString searchText() const { return m_searchText; }
    int selectedIndex() const { return m_selectedIndex; }
    QUuid selectedCategoryId() const { return m_selectedCategoryId; }
    QString selectedCategoryIdText() const;
    bool isQuickLookVisible() const { return m_isQuickLookVisible; }
    bool showsQuickNumbers() const { return m_showsQuickNumbers; }
    QStringList markedIds() const;
    void setShowsQuickNumbers(bool shows);
    int count() const { return m_history.count(); }
    QAbstractItemModel* items() const { return m_items; }
    bool hasPinCategories() const;
    QDateTime now() const { return m_now; }
    bool showsUndo() const { return m_undoLine.isActive(); }
    bool canMoveCards() const { return m_history.showsPinOrder(); }
    // How long "Deleted · Undo" shows after a delete.
    static constexpr int undoLineMs = 5000;

    // Typing into the search field itself.
    void setSearchTextFromField(const QString& text);
    // The preview closing by itself (a click outside it); opening this way does nothing.
    void setQuickLookVisibleFromView(bool visible);
    // The category bar's choice: changes only the filter. Null for none.
    Q_INVOKABLE void selectCategory(const QString& id);
    // Runs the clock of `now` while the panel is open.
    void setClockRunning(bool running);

    Q_INVOKABLE void clickCard(int index);
    // Ctrl+click: marks the card for the paste stack, or unmarks it.
    Q_INVOKABLE void toggleMarkCard(int index);
    // A card dropped on another card's place in a category's order; it stays selected.
    Q_INVOKABLE void dragCard(int index, int to);
    Q_INVOKABLE void doubleClickCard(int index);
    // The card's context menu.
    Q_INVOKABLE void deleteCard(int index);
    // Ctrl+Z, or "Undo" after a delete: the newest deletion of this panel session comes back,
    // selected.
    Q_INVOKABLE void undoDelete();
    // The card menu's "Paste as Plain Text".
    Q_INVOKABLE void pasteCardAsPlainText(int index);
    // Whether the card has a plain text to paste alone (an image has none).
    Q_INVOKABLE bool hasPlainText(int index) const;
    Q_INVOKABLE void togglePin(int index, const QString& categoryId);
    // The name of the application a card was copied from, for the card menu's "Never Record
    // from <App>"; empty when the card does not say which application it came from.
    Q_INVOKABLE QString sourceApplicationName(int index) const;
    // The card menu's "Never Record from <App>".
    Q_INVOKABLE void ignoreSourceApplication(int index);
    // The "Pin to Category" entries of a card: the user's categories, each with its text and
    // whether the card is pinned to it (checked).
    Q_INVOKABLE QVariantList pinEntries(int index) const;
    Q_INVOKABLE void openSettings();
    // The age of a record now: "Just now", "5 min. ago", ... (bind to `now` to refresh).
    Q_INVOKABLE QString timeAgo(const QDateTime& timestamp) const;
    // A kind's badge text ("Text", "Image", "Link", "File") and accent colour.
    Q_INVOKABLE QString kindName(const QString& contentType) const;
    Q_INVOKABLE QColor kindColor(const QString& contentType) const;
    // A category's colour text as a colour (black when unreadable).
    Q_INVOKABLE QColor categoryColor(const QString& colorHex) const;

signals:
    void searchTextChanged();
    void selectedIndexChanged();
    void showsQuickNumbersChanged();
    void marksChanged();
    void selectedCategoryChanged();
    void isQuickLookVisibleChanged();
    void countChanged();
    void categoriesChanged();
    void nowChanged();
    void showsUndoChanged();
    void canMoveCardsChanged();
    // Return or a double click chose a record, which has been brought to the front.
    void itemChosen(const brivet::ClipboardItem& item, brivet::PasteForm form);
    // Return with marks chose the marked records, in marking order, each brought to the
    // front in that order (the last one marked is the newest).
    void itemsChosen(const QList<brivet::ClipboardItem>& items, brivet::PasteForm form);
    // Escape with nothing left to clear.
    void dismissRequested();
    // The gear.
    void settingsRequested();
    // "Never Record from <App>": copies from the application are not to be read any more.
    void applicationIgnored(const QString& applicationId, const QString& applicationName);
    // The menu of the card at row, asked for from the keyboard.
    void contextMenuRequested(int row);
    // The preview closed: keys must reach the panel's routing again, not a field of the view.
    void keyFocusReturned();

private:
    void setSearchText(const QString& text);
    void setSelectedIndex(int index);
    void setSelectedCategory(const QUuid& id);
    void setQuickLookVisible(bool visible);
    void cycleCategory(int step);
    void deleteSelected();
    void deleted();
    void pasteRow(int row, PasteForm form = PasteForm::AsCopied);
    void pasteMarked(PasteForm form);
    void toggleMark(int row);
    void unmarkRow(int row);
    void clearMarks();
    void scheduleNext();
    void deliverNext();
    bool needsWholeList(const PanelKeyAction& action) const;

    PanelHistory& m_history;
    QAbstractItemModel* m_items;
    std::deque<PanelKeyAction> m_pendingKeys;
    QList<ClipboardItem> m_marked; // in marking order
    QString m_searchText;
    int m_selectedIndex = 0;
    QUuid m_selectedCategoryId;
    bool m_isQuickLookVisible = false;
    bool m_showsQuickNumbers = false;
    bool m_isScheduled = false;
    QDateTime m_now = QDateTime::currentDateTimeUtc();
    QTimer m_clock;
    QTimer m_undoLine;
};

} // namespace brivet
