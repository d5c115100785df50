#include "capture/ClipboardMonitor.h"

#include "capture/CaptureLogging.h"
#include "store/ExternalData.h"
#include "store/ModelContext.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace brivet {

namespace {

bool sameText(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (!a || !b)
        return !a && !b;
    if (*a == *b)
        return true;
    // Canonically equivalent texts ("é" precomposed or as e + accent) are the same text.
    return a->normalized(QString::NormalizationForm_C) ==
           b->normalized(QString::NormalizationForm_C);
}

bool sameBytes(const std::optional<Blob>& a, const std::optional<Blob>& b)
{
    if (!a || !b)
        return !a && !b;
    // The size is known without loading a stored blob; most different images differ in it.
    if (a->size() != b->size())
        return false;
    return a->data() == b->data();
}

QList<ClipboardItem> resultOf(const QFuture<QList<ClipboardItem>>& future)
{
    if (future.isCanceled() || future.resultCount() == 0)
        return {};
    return future.result();
}

} // namespace

ClipboardMonitor::ReadExecutor ClipboardMonitor::threadPoolExecutor()
{
    return [](ReadTask task) {
        return QtConcurrent::run(QThreadPool::globalInstance(), std::move(task));
    };
}

ClipboardMonitor::ClipboardMonitor(ModelContext& modelContext, Pasteboard& pasteboard,
                                   FrontApplication& frontApplication,
                                   std::shared_ptr<const FileThumbnailer> fileThumbnailer,
                                   ReadExecutor executor, qint64 maxFileDataSize, QObject* parent)
    : QObject(parent), m_modelContext(modelContext), m_pasteboard(pasteboard),
      m_frontApplication(frontApplication), m_reader(std::move(fileThumbnailer), maxFileDataSize),
      m_executor(std::move(executor))
{
    m_reader.setStagingDirectory(modelContext.externalDataDirectory());
    m_pollTimer.setInterval(pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &ClipboardMonitor::checkForChanges);
    // Queued: the clipboard emits while it files the change; the look comes after.
    connect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardMonitor::lookIfMonitoring,
            Qt::QueuedConnection);
}

// A read still running on the worker holds its own copy of the snapshot and the reader; its
// watcher is a child of this object and goes with it, so the result finds nobody to call.
ClipboardMonitor::~ClipboardMonitor() = default;

void ClipboardMonitor::startMonitoring()
{
    syncChangeCount();
    dropHeldChanges();
    if (m_isMonitoring)
        return;
    m_isMonitoring = true;
    if (!m_pasteboard.notifiesChanges())
        m_pollTimer.start();
    qCDebug(lcCapture) << "monitoring from change" << m_lastChangeCount
                       << (m_pasteboard.notifiesChanges() ? "on notice" : "by polling");
    emit isMonitoringChanged();
}

void ClipboardMonitor::stopMonitoring()
{
    ++m_readGeneration;
    m_readInFlight = false;
    if (!m_isMonitoring)
        return;
    m_isMonitoring = false;
    m_pollTimer.stop();
    qCDebug(lcCapture) << "monitoring stopped";
    emit isMonitoringChanged();
}

void ClipboardMonitor::setIsPaused(bool paused)
{
    const bool wasLooking = !m_isPaused && !m_isRecordingPaused;
    const bool wasPaused = m_isPaused;
    m_isPaused = paused;
    if (wasPaused != paused)
        emit isPausedChanged();
    resumeIfLooking(wasLooking);
}

void ClipboardMonitor::setRecordingPaused(bool paused)
{
    const bool wasLooking = !m_isPaused && !m_isRecordingPaused;
    m_isRecordingPaused = paused;
    resumeIfLooking(wasLooking);
}

// At the end of the last pause, what is on the clipboard then counts as seen.
void ClipboardMonitor::resumeIfLooking(bool wasLooking)
{
    if (wasLooking || m_isPaused || m_isRecordingPaused)
        return;
    syncChangeCount();
    dropHeldChanges();
}

// What changed before this moment is never recorded (at start, and after a pause).
void ClipboardMonitor::dropHeldChanges()
{
    // Every change held is at most m_lastChangeCount: taking them all drops them.
    m_pasteboard.takeChanges(m_lastChangeCount);
    m_latestChangeRecord.reset();
}

void ClipboardMonitor::syncChangeCount()
{
    const qint64 count = m_pasteboard.changeCount();
    if (count == m_lastChangeCount)
        return;
    m_lastChangeCount = count;
    emit lastChangeCountChanged();
}

void ClipboardMonitor::checkForChanges()
{
    // A change still being read is finished first; the count is left alone meanwhile, so the
    // next change is seen by the first poll after it.
    if (m_isRecordingPaused && !m_readInFlight) {
        // What the platform read of copies made during the user's pause is let go at once.
        syncChangeCount();
        dropHeldChanges();
        return;
    }
    if (m_isPaused || m_isRecordingPaused || m_readInFlight)
        return;
    if (m_pasteboard.changeCount() == m_lastChangeCount)
        return;
    // From here on the changes count as handled, whatever the reading finds.
    const qint64 handled = m_lastChangeCount;
    syncChangeCount();
    QList<PasteboardChange> changes = m_pasteboard.takeChanges(handled);
    qCDebug(lcCapture) << "change" << m_lastChangeCount << "found," << changes.size()
                       << "since the last look";

    // Changes the platform could not date or credit get the time and the front application of
    // this poll, asked once for all of them.
    std::optional<ApplicationInfo> front;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    PollResult result;
    for (PasteboardChange& change : changes) {
        if (!change.time.isValid())
            change.time = now;
        if (!change.source && !change.ownerGone) {
            if (!front)
                front = m_frontApplication.frontmostApplication().value_or(ApplicationInfo{});
            change.source = front;
        }
        // A back end that could not skip it before reading has read it: let go unread.
        if (!change.ownerGone && !change.contents.types.isEmpty() &&
            m_pasteboard.ignoredApplications().contains(change.source)) {
            qCDebug(lcCapture) << "skipped a copy of an ignored application";
            change.contents = {};
        }
        result.ownerGone.append(change.ownerGone);
    }
    auto recordCounts = std::make_shared<QList<int>>();
    ReadTask read = [reader = m_reader, changes = std::move(changes), recordCounts] {
        QList<ClipboardItem> items;
        for (const PasteboardChange& change : changes) {
            QList<ClipboardItem> records;
            if (!change.ownerGone)
                records =
                    reader.readItems(change.contents, change.source.value_or(ApplicationInfo{}));
            for (ClipboardItem& record : records)
                record.timestamp = change.time.toUTC();
            recordCounts->append(int(records.size()));
            items.append(std::move(records));
        }
        return items;
    };

    m_readInFlight = true;
    const quint64 generation = m_readGeneration;
    QFuture<QList<ClipboardItem>> future = m_executor(std::move(read));
    if (future.isFinished()) {
        m_readInFlight = false;
        result.recordCounts = *recordCounts;
        finishCapture(resultOf(future), result);
        return;
    }
    auto* watcher = new QFutureWatcher<QList<ClipboardItem>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, generation, result, recordCounts]() mutable {
                watcher->deleteLater();
                if (generation != m_readGeneration) {
                    qCDebug(lcCapture) << "dropped a read finished after monitoring stopped";
                    for (const ClipboardItem& item : resultOf(watcher->future()))
                        ExternalData::discardStaged(item);
                    return;
                }
                m_readInFlight = false;
                result.recordCounts = *recordCounts;
                finishCapture(resultOf(watcher->future()), result);
            });
    watcher->setFuture(future);
}

void ClipboardMonitor::finishCapture(QList<ClipboardItem> items, const PollResult& changes)
{
    if (items.isEmpty())
        qCDebug(lcCapture) << "skipped change" << m_lastChangeCount << "with no content to record";

    QList<const ClipboardItem*> inserted;
    std::optional<PersistentId> restore;
    qsizetype next = 0;
    for (qsizetype change = 0; change < changes.ownerGone.size(); ++change) {
        if (changes.ownerGone.at(change)) {
            restore = std::exchange(m_latestChangeRecord, std::nullopt);
            if (!restore)
                qCDebug(lcCapture) << "the clipboard's owner quit after a change that was not "
                                      "recorded; the clipboard stays empty";
            continue;
        }
        // Any other change gives the clipboard a new owner: nothing to put back.
        restore.reset();
        m_latestChangeRecord.reset();
        // A read that failed as a whole gave no counts; its records, if any, are dropped.
        const int count = int(changes.recordCounts.value(change, 0));
        for (qsizetype i = next; i < next + count && i < items.size(); ++i) {
            ClipboardItem& item = items[i];
            std::optional<PersistentId> holder;
            const std::optional<ClipboardItem> newest = newestRecord();
            if (newest && repeats(item, *newest)) {
                qCDebug(lcCapture).noquote()
                    << "skipped" << item.contentType << "item repeating the newest";
                ExternalData::discardStaged(item);
                holder = newest->persistentId();
            } else {
                m_modelContext.insert(item);
                inserted.append(&item);
                holder = item.persistentId();
            }
            // Only a change that is one record can be put back whole.
            if (count == 1)
                m_latestChangeRecord = holder;
        }
        next += count;
    }
    if (!inserted.isEmpty()) {
        if (!m_modelContext.save())
            qCDebug(lcCapture) << "save failed, the records stay pending:"
                               << m_modelContext.lastError();
        for (const ClipboardItem* item : std::as_const(inserted))
            qCDebug(lcCapture).noquote()
                << "recorded" << item->contentType << "item" << item->persistentId();
    }
    emit captureFinished(int(inserted.size()));
    if (restore)
        restoreAfterOwnerLeft(*restore);
    // Changes that came while this one was read gave their notice then: look again now.
    if (m_isMonitoring && m_pasteboard.notifiesChanges())
        QMetaObject::invokeMethod(this, &ClipboardMonitor::lookIfMonitoring, Qt::QueuedConnection);
}

// A look queued while monitoring is not taken once monitoring has stopped.
void ClipboardMonitor::lookIfMonitoring()
{
    if (m_isMonitoring)
        checkForChanges();
}

void ClipboardMonitor::restoreAfterOwnerLeft(PersistentId keptRecord)
{
    std::optional<ClipboardItem> newest = newestRecord();
    if (!newest || newest->persistentId() != keptRecord) {
        qCDebug(lcCapture) << "the clipboard's owner quit; its copy is no longer the newest record";
        return;
    }
    qCDebug(lcCapture) << "the clipboard's owner quit; offering record" << keptRecord << "again";
    emit clipboardOwnerLeft(*newest);
}

std::optional<ClipboardItem> ClipboardMonitor::newestRecord() const
{
    ItemFetch newestFirst;
    newestFirst.order = ItemFetch::Order::NewestFirst;
    newestFirst.limit = 1;
    const std::optional<QList<ClipboardItem>> newest = m_modelContext.fetch(newestFirst);
    if (!newest || newest->isEmpty())
        return std::nullopt;
    return newest->constFirst();
}

bool ClipboardMonitor::repeats(const ClipboardItem& item, const ClipboardItem& last)
{
    switch (item.type()) {
    case ContentType::Text:
    case ContentType::Link:
        return sameText(item.textContent, last.textContent);
    case ContentType::Image:
        return sameBytes(item.imageData, last.imageData);
    case ContentType::File:
        return item.filePath == last.filePath;
    }
    return false;
}

} // namespace brivet
