#pragma once

#include "views/PanelHistory.h"

namespace brivet {

class HistoryModel;

// The panel's view of the store's history model: the model answers searches on a worker and
// reports through its `firstPageReady` and `searching` flags, which this turns into
// isFiltering(), isCompleting() and filteringFinished().
class HistoryModelPanelHistory : public PanelHistory
{
    Q_OBJECT
public:
    explicit HistoryModelPanelHistory(HistoryModel& model, QObject* parent = nullptr);

    int count() const override;
    void setSearchText(const QString& text) override;
    void setCategoryId(const QUuid& id) override;
    bool isFiltering() const override;
    bool isCompleting() const override;
    std::optional<ClipboardItem> item(int row) const override;
    bool promote(int row) override;
    bool promoteItem(const ClipboardItem& item, const QDateTime& when) override;
    bool remove(int row) override;
    int restoreRemoved() override;
    bool hasRemoved() const override;
    void forgetRemoved() override;
    bool toggleCategory(int row, const QUuid& categoryId) override;
    bool isInCategory(int row, const QUuid& categoryId) const override;
    int movePin(int row, int to) override;
    bool showsPinOrder() const override;
    QList<PanelCategory> categories() const override;

private:
    void filterStateChanged();

    HistoryModel& m_model;
};

} // namespace brivet
