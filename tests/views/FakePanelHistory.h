#pragma once

#include "views/PanelHistory.h"

#include <QSet>
#include <QStringList>

namespace brivet {

// The panel's history held in memory: records are texts, newest first; the search keeps the
// texts that contain it, ignoring case. With isAsynchronous the new rows arrive only at
// showFirstRows() and finishFiltering(), as they do from a worker.
class FakePanelHistory : public PanelHistory
{
    Q_OBJECT
public:
    QStringList records;
    QList<PanelCategory> categoryList;
    QSet<QPair<QString, QUuid>> pins; // (record, category)
    QStringList promoted;
    QStringList removed;
    QStringList restored;
    bool isAsynchronous = false;

    explicit FakePanelHistory(QStringList texts) : records(std::move(texts)) { m_rows = records; }

    int count() const override { return int(m_rows.size()); }
    void setSearchText(const QString& text) override
    {
        m_search = text;
        refilter();
    }
    void setCategoryId(const QUuid& id) override
    {
        m_category = id;
        refilter();
    }
    bool isFiltering() const override { return m_isFiltering; }
    bool isCompleting() const override { return m_isCompleting; }
    // The first rows of the answer, the rest to come at finishFiltering().
    void showFirstRows(int rows) { deliver(true, rows); }
    void finishFiltering() { deliver(false, -1); }
    std::optional<ClipboardItem> item(int row) const override
    {
        if (!valid(row))
            return std::nullopt;
        ClipboardItem item;
        item.id = QUuid::createUuidV5(QUuid(), m_rows[row]);
        item.textContent = m_rows[row];
        return item;
    }
    bool promoteItem(const ClipboardItem& item, const QDateTime&) override
    {
        const QString text = item.textContent.value_or(QString());
        if (!records.contains(text))
            return false;
        promoted << text;
        records.removeOne(text);
        records.prepend(text);
        m_rows = matching();
        return true;
    }
    bool promote(int row) override
    {
        if (!valid(row))
            return false;
        const QString text = m_rows[row];
        promoted << text;
        records.removeOne(text);
        records.prepend(text);
        m_rows = matching();
        return true;
    }
    bool remove(int row) override
    {
        if (!valid(row))
            return false;
        removed << m_rows[row];
        m_removedAt.append({m_rows[row], int(records.indexOf(m_rows[row]))});
        records.removeOne(m_rows[row]);
        m_rows = matching();
        emit countChanged();
        return true;
    }
    // Brings back the newest removed text at its old place.
    int restoreRemoved() override
    {
        if (m_removedAt.isEmpty())
            return -1;
        const auto [text, at] = m_removedAt.takeLast();
        restored << text;
        records.insert(std::min(at, int(records.size())), text);
        m_rows = matching();
        emit countChanged();
        return int(m_rows.indexOf(text));
    }
    bool hasRemoved() const override { return !m_removedAt.isEmpty(); }
    void forgetRemoved() override { m_removedAt.clear(); }
    bool toggleCategory(int row, const QUuid& categoryId) override
    {
        if (!valid(row))
            return false;
        const QPair<QString, QUuid> pin(m_rows[row], categoryId);
        if (!pins.remove(pin))
            pins.insert(pin);
        return true;
    }
    bool isInCategory(int row, const QUuid& categoryId) const override
    {
        return valid(row) && pins.contains({m_rows[row], categoryId});
    }
    // In a category without a search the records' order is the pin order.
    int movePin(int row, int to) override
    {
        if (m_category.isNull() || !m_search.isEmpty() || !valid(row) || !valid(to))
            return -1;
        const QString text = m_rows[row], target = m_rows[to];
        records.removeOne(text);
        records.insert(records.indexOf(target) + (to > row ? 1 : 0), text);
        m_rows = matching();
        return int(m_rows.indexOf(text));
    }
    QList<PanelCategory> categories() const override { return categoryList; }

private:
    bool valid(int row) const { return row >= 0 && row < count(); }
    void deliver(bool completing, int rows)
    {
        m_isFiltering = false;
        m_isCompleting = completing;
        m_rows = matching().mid(0, rows);
        emit countChanged();
        emit filteringFinished();
    }
    QStringList matching() const
    {
        QStringList result;
        for (const QString& text : records) {
            if ((m_category.isNull() || pins.contains({text, m_category})) &&
                text.contains(m_search, Qt::CaseInsensitive))
                result << text;
        }
        return result;
    }
    void refilter()
    {
        if (isAsynchronous) {
            m_isFiltering = true;
            return;
        }
        m_rows = matching();
        emit countChanged();
    }

    QStringList m_rows;
    QList<QPair<QString, int>> m_removedAt; // (text, place in records), newest last
    QString m_search;
    QUuid m_category;
    bool m_isFiltering = false;
    bool m_isCompleting = false;
};

} // namespace brivet
