#include "settings/HistorySettings.h"

#include "settings/HistoryTransfer.h"
#include "settings/SettingsLogging.h"

#include <QSettings>

namespace brivet {

namespace {

using Kind = RetentionRule::Kind;

const QString kRuleKey = QStringLiteral("retentionRule");

struct RuleName
{
    Kind kind;
    const char* name; // in the settings file
    const char* limitKey;
    int defaultLimit;
    qint64 unit; // of the limit as the settings show it
};

constexpr RuleName kRules[] = {
    {Kind::KeepEverything, "everything", nullptr, 0, 1},
    {Kind::MaxItems, "items", "retentionItems", 1000, 1},
    {Kind::MaxDays, "days", "retentionDays", 30, 1},
    {Kind::MaxBytes, "size", "retentionMegabytes", 500, qint64(1024) * 1024},
};

const RuleName& ruleOf(Kind kind)
{
    return kRules[int(kind)];
}

} // namespace

HistorySettings::HistorySettings(QSettings& settings, HistoryPruner& pruner,
                                 HistoryTransfer& transfer, QObject* parent)
    : QObject(parent), m_settings(settings), m_pruner(pruner), m_transfer(transfer)
{
    const QString saved = m_settings.value(kRuleKey).toString();
    for (const RuleName& rule : kRules) {
        if (saved == QLatin1String(rule.name))
            m_kind = rule.kind;
    }
    m_hourly.setInterval(passIntervalMs);
    connect(&m_hourly, &QTimer::timeout, this, &HistorySettings::applyRule);
    connect(&m_pruner, &HistoryPruner::isBusyChanged, this, &HistorySettings::busyChanged);
}

RetentionRule HistorySettings::rule() const
{
    return {m_kind, qint64(ruleLimit()) * ruleOf(m_kind).unit};
}

QString HistorySettings::limitKey() const
{
    const char* key = ruleOf(m_kind).limitKey;
    return key ? QString::fromLatin1(key) : QString();
}

int HistorySettings::ruleLimit() const
{
    if (limitKey().isEmpty())
        return 0;
    bool ok = false;
    const int limit = m_settings.value(limitKey()).toInt(&ok);
    return ok && limit > 0 ? limit : ruleOf(m_kind).defaultLimit;
}

void HistorySettings::setRuleKind(int kind)
{
    if (kind < 0 || kind >= int(std::size(kRules)) || Kind(kind) == m_kind)
        return;
    m_kind = Kind(kind);
    m_settings.setValue(kRuleKey, QString::fromLatin1(ruleOf(m_kind).name));
    m_settings.sync();
    emit ruleChanged();
    applyRule();
}

void HistorySettings::setRuleLimit(int limit)
{
    if (limitKey().isEmpty() || limit <= 0 || limit == ruleLimit())
        return;
    m_settings.setValue(limitKey(), limit);
    m_settings.sync();
    emit ruleChanged();
    applyRule();
}

void HistorySettings::start()
{
    applyRule();
    m_hourly.start();
}

void HistorySettings::applyRule()
{
    const RetentionRule current = rule();
    if (current.kind == Kind::KeepEverything)
        return;
    qCInfo(lcSettings) << "applying the retention rule" << ruleOf(m_kind).name << current.limit;
    m_pruner.applyRule(current);
}

void HistorySettings::clearHistory(bool alsoPinned)
{
    qCInfo(lcSettings) << "clearing the history" << (alsoPinned ? "with" : "without")
                       << "the pinned items";
    m_pruner.clearHistory(alsoPinned);
}

} // namespace brivet
