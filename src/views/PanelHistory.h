#pragma once

#include "store/ClipboardItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <optional>

namespace brivet {

// A category as the panel's cycling and menus need it.
struct PanelCategory
{
    QUuid id;
    QString name;
    QString colorHex;
    bool isDefault = false;
};

// The filtered history as the panel view acts on it: rows are indexes into the current
// filter (search text and category), newest first. Filtering may finish later than the call
// that asked for it; isFiltering() is true until the rows are the first rows of the filter's
// answer, and isCompleting() while more rows of that answer are still to be appended.
class PanelHistory : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~PanelHistory() override = default;

    virtual int count() const = 0;
    virtual void setSearchText(const QString& text) = 0;
    // A null id filters nothing.
    virtual void setCategoryId(const QUuid& id) = 0;
    virtual bool isFiltering() const = 0;
    virtual bool isCompleting() const { return false; }

    // The full record of a row, std::nullopt out of range.
    virtual std::optional<ClipboardItem> item(int row) const = 0;
    // Makes the row's record the newest; false out of range.
    virtual bool promote(int row) = 0;
    // Gives the record the time `when` (whether shown or not); false when it is gone.
    virtual bool promoteItem(const ClipboardItem& item, const QDateTime& when) = 0;
    // Deletes the row's record from the store; false out of range.
    virtual bool remove(int row) = 0;
    // Brings back the newest record deleted through remove() since forgetRemoved(); its row,
    // -1 when there is none (or it is not shown under the current filter).
    virtual int restoreRemoved() = 0;
    virtual bool hasRemoved() const = 0;
    virtual void forgetRemoved() = 0;
    virtual bool toggleCategory(int row, const QUuid& categoryId) = 0;
    virtual bool isInCategory(int row, const QUuid& categoryId) const = 0;
    // In a category's strip without a search: moves the card at row to row to in the
    // category's order; the row it ends at, -1 when nothing moved.
    virtual int movePin(int row, int to) = 0;
    // Whether the strip shows a category's own order, in which its cards can be moved.
    virtual bool showsPinOrder() const { return false; }

    // Every category, by order.
    virtual QList<PanelCategory> categories() const = 0;

signals:
    void countChanged();
    // isFiltering() or isCompleting() turned false.
    void filteringFinished();
    void categoriesChanged();
};

} // namespace brivet
