#pragma once

#include "capture/PasteboardReader.h"
#include "platform/FileThumbnailer.h"
#include "platform/FrontApplication.h"
#include "platform/Pasteboard.h"
#include "store/ClipboardItem.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace brivet {

class ModelContext;

// Watches the clipboard and records every new entry in the history. It looks at the
// clipboard's change count when the clipboard says it changed (or twice a second, for a
// clipboard that says nothing); when it has moved, every change since the last look is read
// into records on a worker (files, images and large texts take time), oldest first, each
// dated and credited as the platform saw it happen; back on the main thread what repeats the
// newest stored record is dropped, the rest inserted and saved at once. When the application
// that owned the clipboard quits, it asks for the newest record to be put back, provided that
// record is what that application last copied. While nothing is copied it does no work at all.
class ClipboardMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isPaused READ isPaused WRITE setIsPaused NOTIFY isPausedChanged)
    Q_PROPERTY(qint64 lastChangeCount READ lastChangeCount NOTIFY lastChangeCountChanged)
    Q_PROPERTY(bool isMonitoring READ isMonitoring NOTIFY isMonitoringChanged)

public:
    using ReadTask = std::function<QList<ClipboardItem>()>;
    // Runs a read and returns its future; the future's result is taken on the main thread.
    using ReadExecutor = std::function<QFuture<QList<ClipboardItem>>(ReadTask)>;

    static constexpr int pollIntervalMs = 500;
    static constexpr qint64 defaultMaxFileDataSize = PasteboardReader::defaultMaxFileDataSize;

    // The default executor: the global thread pool.
    static ReadExecutor threadPoolExecutor();

    // Records into modelContext; pasteboard, frontApplication and modelContext must outlive
    // the monitor. fileThumbnailer may be null (no file thumbnails).
    ClipboardMonitor(ModelContext& modelContext, Pasteboard& pasteboard,
                     FrontApplication& frontApplication,
                     std::shared_ptr<const FileThumbnailer> fileThumbnailer,
                     ReadExecutor executor = threadPoolExecutor(),
                     qint64 maxFileDataSize = defaultMaxFileDataSize, QObject* parent = nullptr);
    ~ClipboardMonitor() override;

    // Marks what is on the clipboard now as handled and starts watching.
    void startMonitoring();
    // Stops watching; a read still in flight is dropped.
    void stopMonitoring();
    bool isMonitoring() const { return m_isMonitoring; }

    // While true, looks do nothing. Going back to false marks the clipboard's current change
    // as handled, so that nothing written while paused is ever recorded.
    bool isPaused() const { return m_isPaused; }
    void setIsPaused(bool paused);
    // The user's pause, kept apart from the one a paste makes (setIsPaused), with the same
    // effect: the end of one does not end the other.
    bool isRecordingPaused() const { return m_isRecordingPaused; }
    void setRecordingPaused(bool paused);

    // The clipboard change count that has been handled.
    qint64 lastChangeCount() const { return m_lastChangeCount; }
    qint64 maxFileDataSize() const { return m_reader.maxFileDataSize(); }
    // True while a change is being read on the worker.
    bool isReading() const { return m_readInFlight; }

    // One look at the clipboard.
    void checkForChanges();

signals:
    void isPausedChanged();
    void lastChangeCountChanged();
    void isMonitoringChanged();
    // A change has been read and its records stored; inserted may be 0.
    void captureFinished(int inserted);
    // The clipboard's owner quit, leaving the clipboard empty, and item, the newest record,
    // holds what it had copied: the clipboard should offer item again.
    void clipboardOwnerLeft(const ClipboardItem& item);

private:
    // What one poll read: per change, whether its owner left and how many records it gave.
    struct PollResult
    {
        QList<bool> ownerGone;
        QList<int> recordCounts;
    };

    void syncChangeCount();
    void resumeIfLooking(bool wasLooking);
    void dropHeldChanges();
    void finishCapture(QList<ClipboardItem> items, const PollResult& changes);
    void lookIfMonitoring();
    void restoreAfterOwnerLeft(PersistentId keptRecord);
    std::optional<ClipboardItem> newestRecord() const;
    static bool repeats(const ClipboardItem& item, const ClipboardItem& newest);

    ModelContext& m_modelContext;
    Pasteboard& m_pasteboard;
    FrontApplication& m_frontApplication;
    PasteboardReader m_reader;
    ReadExecutor m_executor;
    QTimer m_pollTimer; // only for a clipboard that does not notify its changes
    bool m_isMonitoring = false;
    qint64 m_lastChangeCount = 0;
    bool m_isPaused = false;
    bool m_isRecordingPaused = false;
    bool m_readInFlight = false;
    // The record that holds the content of the clipboard's latest change, when that change
    // was recorded (or repeated the newest record): the one worth keeping if its owner quits.
    std::optional<PersistentId> m_latestChangeRecord;
    // Bumped by stopMonitoring(), so that a read started before it is dropped.
    quint64 m_readGeneration = 0;
};

} // namespace brivet
