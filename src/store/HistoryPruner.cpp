#include "store/HistoryPruner.h"

#include "store/Database.h"
#include "store/ModelContext.h"
#include "store/StoreLogging.h"

#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace brivet {

namespace {

// Items in no category of the user's.
constexpr const char* kUnpinned =
    "NOT EXISTS (SELECT 1 FROM ClipboardItemCategory WHERE item = ClipboardItem.pk)";

std::vector<PersistentId> column(Statement& query)
{
    std::vector<PersistentId> ids;
    while (query.step())
        ids.push_back(query.int64(0));
    return ids;
}

} // namespace

HistoryPruner::HistoryPruner(ModelContext& context, QString databasePath, QObject* parent)
    : QObject(parent), m_context(context), m_databasePath(std::move(databasePath))
{
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &HistoryPruner::removeSlice);
    connect(&m_search, &QFutureWatcherBase::finished, this, [this] {
        const std::vector<PersistentId> doomed = m_search.result();
        m_doomed.assign(doomed.begin(), doomed.end());
        qCInfo(lcStore) << "removing" << m_doomed.size() << "items from the history";
        removeSlice();
    });
}

HistoryPruner::~HistoryPruner()
{
    // The worker holds nothing of this object's; its answer is simply not taken.
    m_search.disconnect(this);
}

void HistoryPruner::applyRule(const RetentionRule& rule, const QDateTime& now)
{
    if (rule.kind == RetentionRule::Kind::KeepEverything)
        return;
    start({rule, now, false, false});
}

void HistoryPruner::clearHistory(bool alsoPinned)
{
    start({{}, QDateTime::currentDateTimeUtc(), true, alsoPinned});
}

qint64 HistoryPruner::itemCount() const
{
    return m_context.count(ItemPredicate::all()).value_or(0);
}

qint64 HistoryPruner::pinnedCount() const
{
    return m_context.count(ItemPredicate::pinned()).value_or(0);
}

void HistoryPruner::start(const Request& request)
{
    if (m_busy) {
        m_next = request;
        return;
    }
    setBusy(true);
    m_removed = 0;
    m_sparePinned = !request.alsoPinned;
    // Changes not yet saved would be missed by the worker's connection.
    if (m_context.hasChanges() && !m_context.save())
        qCInfo(lcStore) << "pruning before a failed save:" << m_context.lastError();
    m_search.setFuture(QtConcurrent::run([path = m_databasePath, request] {
        return doomedItems(path, request.rule, request.now, request.clearAll, request.alsoPinned);
    }));
}

void HistoryPruner::startNext()
{
    if (auto next = std::exchange(m_next, std::nullopt))
        start(*next);
}

void HistoryPruner::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit isBusyChanged();
}

void HistoryPruner::removeSlice()
{
    QElapsedTimer clock;
    clock.start();
    int tried = 0;
    for (; tried < m_batch && !m_doomed.empty(); ++tried) {
        const PersistentId id = m_doomed.front();
        m_doomed.pop_front();
        const std::optional<ClipboardItem> item = m_context.summary(id, 0);
        if (!item)
            continue; // deleted meanwhile
        if (m_sparePinned && !m_context.categories(*item).value_or(QList<Category>()).isEmpty())
            continue; // pinned meanwhile
        m_context.remove(*item);
        ++m_removed;
    }
    if (m_context.hasChanges() && !m_context.save())
        qCWarning(lcStore) << "removing items not saved yet:" << m_context.lastError();
    // The slice's size follows the time the last one took, save included.
    const qint64 tookNs = clock.nsecsElapsed();
    if (tookNs > qint64(sliceMs) * 1000000)
        m_batch = std::max(1, m_batch / 2);
    else if (tookNs < qint64(sliceMs) * 500000 && tried == m_batch)
        m_batch = std::min(m_batch * 2, 1024);
    if (!m_doomed.empty()) {
        m_slice.start();
        return;
    }
    qCInfo(lcStore) << "removed" << m_removed << "items from the history";
    setBusy(false);
    emit finished(m_removed);
    startNext();
}

std::vector<PersistentId> HistoryPruner::doomedItems(const QString& databasePath,
                                                     const RetentionRule& rule,
                                                     const QDateTime& now, bool clearAll,
                                                     bool alsoPinned)
{
    QString error;
    std::unique_ptr<Database> database = Database::openReadOnly(databasePath, &error);
    if (!database) {
        qCWarning(lcStore) << "finding the items to remove:" << error;
        return {};
    }
    const QString unpinned = QString::fromLatin1(kUnpinned);
    std::vector<PersistentId> doomed;
    if (clearAll) {
        Statement* query = database->prepare(QStringLiteral("SELECT pk FROM ClipboardItem WHERE %1 "
                                                            "ORDER BY timestamp, pk")
                                                 .arg(alsoPinned ? QStringLiteral("1") : unpinned)
                                                 .toStdString());
        return query ? column(*query) : doomed;
    }
    switch (rule.kind) {
    case RetentionRule::Kind::KeepEverything:
        break;
    case RetentionRule::Kind::MaxItems:
        if (Statement* query = database->prepare(
                QStringLiteral("SELECT pk FROM ClipboardItem WHERE %1 "
                               "ORDER BY timestamp DESC, pk DESC LIMIT -1 OFFSET ?")
                    .arg(unpinned)
                    .toStdString())) {
            query->bind(1, std::max<qint64>(rule.limit, 0));
            doomed = column(*query);
            std::reverse(doomed.begin(), doomed.end());
        }
        break;
    case RetentionRule::Kind::MaxDays:
        if (Statement* query = database->prepare(
                QStringLiteral("SELECT pk FROM ClipboardItem WHERE timestamp < ? AND %1 "
                               "ORDER BY timestamp, pk")
                    .arg(unpinned)
                    .toStdString())) {
            query->bind(1, now.addDays(-std::max<qint64>(rule.limit, 0)).toMSecsSinceEpoch());
            doomed = column(*query);
        }
        break;
    case RetentionRule::Kind::MaxBytes:
        // What an item keeps: its byte buffers (file contents beside the database too) and its
        // texts.
        if (Statement* query = database->prepare(
                QStringLiteral("SELECT pk, coalesce(imageDataSize, 0) + "
                               "coalesce(thumbnailDataSize, 0) + coalesce(fileDataSize, 0) + "
                               "coalesce(length(CAST(textContent AS BLOB)), 0) + "
                               "coalesce(length(CAST(urlString AS BLOB)), 0) "
                               "FROM ClipboardItem WHERE %1 ORDER BY timestamp DESC, pk DESC")
                    .arg(unpinned)
                    .toStdString())) {
            qint64 kept = 0;
            while (query->step()) {
                kept += query->int64(1);
                if (kept > rule.limit)
                    doomed.push_back(query->int64(0));
            }
            std::reverse(doomed.begin(), doomed.end());
        }
        break;
    }
    return doomed;
}

} // namespace brivet
