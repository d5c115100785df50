#include "views/ClipboardPanelViewState.h"

#include "store/ContentType.h"
#include "views/Colors.h"
#include "views/ViewsLogging.h"

#include <QAbstractItemModel>
#include <QTextBoundaryFinder>
#include <QVariantMap>
#include <algorithm>

namespace brivet {

namespace {

constexpr int kClockIntervalMs = 30'000;

// The text without its last user-perceived character.
QString withoutLastGrapheme(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    const qsizetype previous = finder.toPreviousBoundary();
    return text.left(previous < 0 ? 0 : previous);
}

} // namespace

ClipboardPanelViewState::ClipboardPanelViewState(PanelHistory& history, QAbstractItemModel* items,
                                                 QObject* parent)
    : QObject(parent), m_history(history), m_items(items)
{
    connect(&m_history, &PanelHistory::countChanged, this, &ClipboardPanelViewState::countChanged);
    connect(&m_history, &PanelHistory::categoriesChanged, this,
            &ClipboardPanelViewState::categoriesChanged);
    connect(&m_history, &PanelHistory::filteringFinished, this,
            &ClipboardPanelViewState::scheduleNext);
    m_clock.setInterval(kClockIntervalMs);
    connect(&m_clock, &QTimer::timeout, this, [this] {
        m_now = QDateTime::currentDateTimeUtc();
        emit nowChanged();
    });
    m_undoLine.setSingleShot(true);
    m_undoLine.setInterval(undoLineMs);
    connect(&m_undoLine, &QTimer::timeout, this, &ClipboardPanelViewState::showsUndoChanged);
}

ClipboardPanelViewState::~ClipboardPanelViewState() = default;

void ClipboardPanelViewState::handleKey(const PanelKeyAction& action)
{
    m_pendingKeys.push_back(action);
    scheduleNext();
}

void ClipboardPanelViewState::scheduleNext()
{
    if (m_isScheduled || m_pendingKeys.empty())
        return;
    m_isScheduled = true;
    QMetaObject::invokeMethod(this, &ClipboardPanelViewState::deliverNext, Qt::QueuedConnection);
}

void ClipboardPanelViewState::deliverNext()
{
    m_isScheduled = false;
    // Resumed by filteringFinished.
    if (m_pendingKeys.empty() || m_history.isFiltering())
        return;
    if (m_history.isCompleting() && needsWholeList(m_pendingKeys.front()))
        return;
    const PanelKeyAction action = m_pendingKeys.front();
    m_pendingKeys.pop_front();
    apply(action);
    scheduleNext();
}

// Rows shown before the whole answer are exact; only what lies past the last of them is not
// known yet: a move right from it, and which card the selection falls on when it is deleted.
void ClipboardPanelViewState::setShowsQuickNumbers(bool shows)
{
    if (shows == m_showsQuickNumbers)
        return;
    m_showsQuickNumbers = shows;
    emit showsQuickNumbersChanged();
}

bool ClipboardPanelViewState::needsWholeList(const PanelKeyAction& action) const
{
    const bool atLastRow = m_selectedIndex >= m_history.count() - 1;
    switch (action.kind) {
    case PanelKeyAction::Kind::MoveRight:
    case PanelKeyAction::Kind::MovePinRight:
        return atLastRow;
    case PanelKeyAction::Kind::DeleteItem:
        return atLastRow && m_searchText.isEmpty();
    case PanelKeyAction::Kind::QuickPaste:
        // A card not shown yet may still come.
        return action.number > m_history.count();
    default:
        return false;
    }
}

void ClipboardPanelViewState::apply(const PanelKeyAction& action)
{
    using Kind = PanelKeyAction::Kind;
    const int n = m_history.count();
    // While the preview is open the other keys are dropped.
    if (m_isQuickLookVisible && action.kind != Kind::QuickLook && action.kind != Kind::Space &&
        action.kind != Kind::Escape)
        return;
    switch (action.kind) {
    case Kind::TypeCharacter:
        setSearchText(m_searchText + action.text);
        setSelectedIndex(0);
        break;
    case Kind::MoveLeft:
        if (m_selectedIndex >= 1)
            setSelectedIndex(m_selectedIndex - 1);
        break;
    case Kind::MoveRight:
        if (m_selectedIndex < n - 1)
            setSelectedIndex(m_selectedIndex + 1);
        break;
    case Kind::MovePinLeft:
    case Kind::MovePinRight:
        if (m_selectedIndex >= 0 && m_selectedIndex < n)
            dragCard(m_selectedIndex,
                     m_selectedIndex + (action.kind == Kind::MovePinLeft ? -1 : 1));
        break;
    case Kind::DeleteItem:
        if (!m_searchText.isEmpty()) {
            setSearchText(withoutLastGrapheme(m_searchText));
            setSelectedIndex(0);
        } else {
            deleteSelected();
        }
        break;
    case Kind::Undo:
        undoDelete();
        break;
    case Kind::PasteItem:
        if (!m_marked.isEmpty())
            pasteMarked(PasteForm::AsCopied);
        else if (m_selectedIndex >= 0 && m_selectedIndex < n)
            pasteRow(m_selectedIndex);
        break;
    case Kind::PastePlainText:
        // An image has no plain text: Shift+Return pastes it as it is.
        if (!m_marked.isEmpty())
            pasteMarked(PasteForm::PlainText);
        else if (m_selectedIndex >= 0 && m_selectedIndex < n)
            pasteRow(m_selectedIndex,
                     hasPlainText(m_selectedIndex) ? PasteForm::PlainText : PasteForm::AsCopied);
        break;
    case Kind::QuickPaste:
        if (action.number - 1 < n)
            pasteRow(action.number - 1);
        break;
    case Kind::Space:
        // A phrase can be searched: with text in the search, Space types.
        if (!m_isQuickLookVisible && !m_searchText.isEmpty()) {
            setSearchText(m_searchText + QLatin1Char(' '));
            setSelectedIndex(0);
            break;
        }
        [[fallthrough]];
    case Kind::QuickLook:
        setQuickLookVisible(!m_isQuickLookVisible);
        break;
    case Kind::NextCategory:
        cycleCategory(+1);
        break;
    case Kind::PreviousCategory:
        cycleCategory(-1);
        break;
    case Kind::ToggleMark:
        if (m_selectedIndex >= 0 && m_selectedIndex < n)
            toggleMark(m_selectedIndex);
        break;
    case Kind::ContextMenu:
        if (m_selectedIndex >= 0 && m_selectedIndex < m_history.count())
            emit contextMenuRequested(m_selectedIndex);
        break;
    case Kind::Escape:
        if (m_isQuickLookVisible) {
            setQuickLookVisible(false);
        } else if (!m_marked.isEmpty()) {
            clearMarks();
        } else if (m_searchText.isEmpty()) {
            emit dismissRequested();
        } else {
            setSearchText(QString());
            setSelectedIndex(0);
        }
        break;
    }
}

void ClipboardPanelViewState::deleteSelected()
{
    const int n = m_history.count();
    if (n == 0 || m_selectedIndex < 0 || m_selectedIndex >= n)
        return;
    const int removed = m_selectedIndex;
    unmarkRow(removed);
    if (!m_history.remove(removed))
        return;
    // The last card gone: the one before it takes the selection. Otherwise the next card
    // moves in under the selection.
    if (removed >= n - 1)
        setSelectedIndex(std::max(n - 2, 0));
    deleted();
}

void ClipboardPanelViewState::deleted()
{
    m_undoLine.start();
    emit showsUndoChanged();
}

void ClipboardPanelViewState::undoDelete()
{
    if (!m_history.hasRemoved())
        return;
    const int row = m_history.restoreRemoved();
    if (row >= 0)
        setSelectedIndex(row);
    m_undoLine.stop();
    emit showsUndoChanged();
}

void ClipboardPanelViewState::pasteRow(int row, PasteForm form)
{
    std::optional<ClipboardItem> item = m_history.item(row);
    if (!item)
        return;
    m_history.promote(row);
    setSelectedIndex(0);
    emit itemChosen(*item, form);
}

void ClipboardPanelViewState::pasteMarked(PasteForm form)
{
    QList<ClipboardItem> items = std::exchange(m_marked, {});
    emit marksChanged();
    // One millisecond apart, so that the order holds whatever the records' storage order.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (qsizetype i = 0; i < items.size(); ++i)
        m_history.promoteItem(items[i], now.addMSecs(i));
    setSelectedIndex(0);
    qCDebug(lcViews) << "pasting" << items.size() << "marked records";
    emit itemsChosen(items, form);
}

void ClipboardPanelViewState::toggleMark(int row)
{
    std::optional<ClipboardItem> item = m_history.item(row);
    if (!item)
        return;
    const auto marked = std::find_if(m_marked.begin(), m_marked.end(),
                                     [&](const ClipboardItem& m) { return m.id == item->id; });
    if (marked != m_marked.end())
        m_marked.erase(marked);
    else
        m_marked.append(*item);
    emit marksChanged();
}

void ClipboardPanelViewState::unmarkRow(int row)
{
    if (m_marked.isEmpty())
        return;
    const std::optional<ClipboardItem> item = m_history.item(row);
    if (item && m_marked.removeIf([&](const ClipboardItem& m) { return m.id == item->id; }) > 0)
        emit marksChanged();
}

void ClipboardPanelViewState::clearMarks()
{
    if (m_marked.isEmpty())
        return;
    m_marked.clear();
    emit marksChanged();
}

QStringList ClipboardPanelViewState::markedIds() const
{
    QStringList ids;
    for (const ClipboardItem& item : m_marked)
        ids << item.id.toString(QUuid::WithoutBraces);
    return ids;
}

void ClipboardPanelViewState::toggleMarkCard(int index)
{
    qCDebug(lcViews) << "ctrl+click on card" << index;
    if (index < 0 || index >= m_history.count())
        return;
    setSelectedIndex(index);
    toggleMark(index);
}

void ClipboardPanelViewState::dragCard(int index, int to)
{
    if (const int row = m_history.movePin(index, to); row >= 0) {
        qCDebug(lcViews) << "card" << index << "moved to" << row;
        setSelectedIndex(row);
    }
}

void ClipboardPanelViewState::pasteCardAsPlainText(int index)
{
    if (hasPlainText(index))
        pasteRow(index, PasteForm::PlainText);
}

bool ClipboardPanelViewState::hasPlainText(int index) const
{
    if (index < 0 || index >= m_history.count())
        return false;
    const std::optional<ClipboardItem> item = m_history.item(index);
    return item && item->type() != ContentType::Image;
}

void ClipboardPanelViewState::cycleCategory(int step)
{
    const QList<PanelCategory> categories = m_history.categories();
    const int n = int(categories.size());
    if (n == 0)
        return;
    int position = 0;
    for (int i = 0; i < n; ++i) {
        const bool isCurrent = m_selectedCategoryId.isNull()
                                   ? categories[i].isDefault
                                   : categories[i].id == m_selectedCategoryId;
        if (isCurrent) {
            position = i;
            break;
        }
    }
    const PanelCategory& target = categories[(position + step + n) % n];
    setSelectedCategory(target.isDefault ? QUuid() : target.id);
    setSelectedIndex(0);
}

void ClipboardPanelViewState::reset()
{
    clearMarks();
    setSearchText(QString());
    setSelectedIndex(0);
    setQuickLookVisible(false);
    // A new panel session: the deletions of the last one stay deleted.
    m_history.forgetRemoved();
    m_undoLine.stop();
    emit showsUndoChanged();
}

void ClipboardPanelViewState::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_history.setSearchText(text);
    emit searchTextChanged();
    emit canMoveCardsChanged();
}

void ClipboardPanelViewState::setSearchTextFromField(const QString& text)
{
    setSearchText(text);
    setSelectedIndex(0);
}

void ClipboardPanelViewState::setSelectedIndex(int index)
{
    if (index == m_selectedIndex)
        return;
    m_selectedIndex = index;
    emit selectedIndexChanged();
}

void ClipboardPanelViewState::setSelectedCategory(const QUuid& id)
{
    if (id == m_selectedCategoryId)
        return;
    m_selectedCategoryId = id;
    m_history.setCategoryId(id);
    emit selectedCategoryChanged();
    emit canMoveCardsChanged();
}

void ClipboardPanelViewState::selectCategory(const QString& id)
{
    const QUuid uuid(id);
    for (const PanelCategory& category : m_history.categories()) {
        if (category.id == uuid) {
            setSelectedCategory(category.isDefault ? QUuid() : uuid);
            return;
        }
    }
    setSelectedCategory(QUuid());
}

QString ClipboardPanelViewState::selectedCategoryIdText() const
{
    return m_selectedCategoryId.isNull() ? QString()
                                         : m_selectedCategoryId.toString(QUuid::WithoutBraces);
}

void ClipboardPanelViewState::setQuickLookVisible(bool visible)
{
    if (visible == m_isQuickLookVisible)
        return;
    m_isQuickLookVisible = visible;
    emit isQuickLookVisibleChanged();
    if (!visible)
        emit keyFocusReturned();
}

void ClipboardPanelViewState::setQuickLookVisibleFromView(bool visible)
{
    if (!visible)
        setQuickLookVisible(false);
}

void ClipboardPanelViewState::setClockRunning(bool running)
{
    if (running) {
        m_now = QDateTime::currentDateTimeUtc();
        emit nowChanged();
        m_clock.start();
    } else {
        m_clock.stop();
    }
}

bool ClipboardPanelViewState::hasPinCategories() const
{
    const QList<PanelCategory> categories = m_history.categories();
    return std::any_of(categories.begin(), categories.end(),
                       [](const PanelCategory& category) { return !category.isDefault; });
}

void ClipboardPanelViewState::clickCard(int index)
{
    qCDebug(lcViews) << "click on card" << index;
    setSelectedIndex(index);
}

void ClipboardPanelViewState::doubleClickCard(int index)
{
    qCDebug(lcViews) << "double-click on card" << index;
    // Also while the preview is open.
    if (index >= 0 && index < m_history.count())
        pasteRow(index);
}

void ClipboardPanelViewState::deleteCard(int index)
{
    unmarkRow(index);
    if (m_history.remove(index))
        deleted();
}

void ClipboardPanelViewState::togglePin(int index, const QString& categoryId)
{
    m_history.toggleCategory(index, QUuid(categoryId));
}

QString ClipboardPanelViewState::sourceApplicationName(int index) const
{
    if (index < 0 || index >= m_history.count())
        return {};
    const std::optional<ClipboardItem> item = m_history.item(index);
    if (!item || !item->sourceAppBundleID || item->sourceAppBundleID->isEmpty())
        return {};
    return item->sourceAppName.value_or(*item->sourceAppBundleID);
}

void ClipboardPanelViewState::ignoreSourceApplication(int index)
{
    const QString name = sourceApplicationName(index);
    if (name.isEmpty())
        return;
    emit applicationIgnored(*m_history.item(index)->sourceAppBundleID, name);
}

QVariantList ClipboardPanelViewState::pinEntries(int index) const
{
    QVariantList result;
    for (const PanelCategory& category : m_history.categories()) {
        if (category.isDefault)
            continue;
        result.append(
            QVariantMap{{QStringLiteral("id"), category.id.toString(QUuid::WithoutBraces)},
                        {QStringLiteral("text"), category.name},
                        {QStringLiteral("checked"), m_history.isInCategory(index, category.id)}});
    }
    return result;
}

void ClipboardPanelViewState::openSettings()
{
    emit settingsRequested();
}

QString ClipboardPanelViewState::timeAgo(const QDateTime& timestamp) const
{
    ClipboardItem probe;
    probe.timestamp = timestamp;
    return probe.timeAgo(QDateTime::currentDateTimeUtc());
}

QString ClipboardPanelViewState::kindName(const QString& contentType) const
{
    switch (contentTypeFromRaw(contentType)) {
    case ContentType::Text:
        return tr("Text");
    case ContentType::Image:
        return tr("Image");
    case ContentType::Link:
        return tr("Link");
    case ContentType::File:
        return tr("File");
    }
    return tr("Text");
}

QColor ClipboardPanelViewState::kindColor(const QString& contentType) const
{
    return brivet::kindColor(contentTypeFromRaw(contentType));
}

QColor ClipboardPanelViewState::categoryColor(const QString& colorHex) const
{
    return brivet::colorFromHex(colorHex);
}

} // namespace brivet
