#pragma once

#include "settings/HistoryTransfer.h"
#include "store/HistoryPruner.h"

#include <QObject>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

class QSettings;

namespace brivet {

// The General tab's History section: how much of the history is kept (everything, the newest
// items, the items of the last days, or up to a size; kept in the settings file as
// "retentionRule" with "retentionItems", "retentionDays" and "retentionMegabytes") and
// "Clear History...", export and import. The rule is applied at start, hourly and when it changes,
// through the HistoryPruner. Main thread only.
class HistorySettings : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application delegate")
    // 0 everything, 1 newest items, 2 last days, 3 up to a size (RetentionRule::Kind).
    Q_PROPERTY(int ruleKind READ ruleKind WRITE setRuleKind NOTIFY ruleChanged)
    // The limit of the chosen rule: items, days or megabytes.
    Q_PROPERTY(int ruleLimit READ ruleLimit WRITE setRuleLimit NOTIFY ruleChanged)
    // While items are being removed.
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // The section's export and import buttons.
    Q_PROPERTY(HistoryTransfer* transfer READ transfer CONSTANT)
public:
    static constexpr int passIntervalMs = 60 * 60 * 1000;

    // transfer must outlive the settings.
    HistorySettings(QSettings& settings, HistoryPruner& pruner, HistoryTransfer& transfer,
                    QObject* parent = nullptr);
    HistoryTransfer* transfer() const { return &m_transfer; }

    RetentionRule rule() const;
    int ruleKind() const { return int(m_kind); }
    void setRuleKind(int kind);
    int ruleLimit() const;
    void setRuleLimit(int limit);
    bool busy() const { return m_pruner.isBusy(); }

    // Applies the rule now, and then every hour.
    void start();

    // For the confirmation of "Clear History...".
    Q_INVOKABLE qint64 itemCount() const { return m_pruner.itemCount(); }
    Q_INVOKABLE qint64 pinnedCount() const { return m_pruner.pinnedCount(); }
    Q_INVOKABLE void clearHistory(bool alsoPinned);

signals:
    void ruleChanged();
    void busyChanged();

private:
    void applyRule();
    QString limitKey() const;

    QSettings& m_settings;
    HistoryPruner& m_pruner;
    HistoryTransfer& m_transfer;
    RetentionRule::Kind m_kind = RetentionRule::Kind::KeepEverything;
    QTimer m_hourly;
};

} // namespace brivet
