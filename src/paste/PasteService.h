#pragma once

#include "paste/MonitorLink.h"
#include "paste/PasteShortcutChooser.h"
#include "platform/DesktopNotifier.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "store/ClipboardItem.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>
#include <optional>

namespace brivet {

// Puts a chosen history record back on the clipboard and pastes it into the window that was
// in front, by a synthesised paste shortcut. The clipboard monitor is paused around the write
// and resumed a while after the stroke, so Brivet never records its own paste.
class PasteService : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        std::chrono::milliseconds keyStrokeDelay{150}; // from the write to the stroke
        std::chrono::milliseconds resumeDelay{500};    // from the stroke to the resume
        std::chrono::milliseconds activationTimeout{1000};
        std::chrono::milliseconds activationPollInterval{20};
    };

    // keySynthesizer may be null (no stroke is ever sent). The monitor link is weak.
    PasteService(Pasteboard* pasteboard, KeySynthesizer* keySynthesizer,
                 std::unique_ptr<MonitorLink> monitor, QObject* parent = nullptr);
    PasteService(Pasteboard* pasteboard, KeySynthesizer* keySynthesizer,
                 std::unique_ptr<MonitorLink> monitor, Timing timing, QObject* parent = nullptr);
    // A paste still under way resumes the monitor, so that capture never stays paused.
    ~PasteService() override;

    // The window to paste into: the one that was in front before Brivet's panel took the
    // keyboard. Without one, the stroke goes to whatever window is active at that moment.
    void setTargetWindow(std::optional<WindowId> window) { m_targetWindow = window; }
    // Makes the window in front right now the target: called when the panel is about to show.
    void rememberFrontWindow();
    std::optional<WindowId> targetWindow() const { return m_targetWindow; }
    // Window classes to treat as terminals, on top of the built-in table.
    void setTerminalWindowClasses(const QStringList& classes);
    // Where the session takes no synthesised keys, the first paste tells the user through
    // this notifier (may be null) that the record waits on the clipboard to be pasted by hand.
    void setManualPasteNotifier(DesktopNotifier* notifier) { m_manualPasteNotifier = notifier; }

    // Writes the record and returns; the stroke and the resume follow on the event loop.
    // An image that needs converting is written once a worker has converted it. Calls are
    // not queued: each runs its own course.
    void paste(const ClipboardItem& item);
    // Pastes the record's plain text alone (see plainTextRepresentations()); an image, which
    // has none, is pasted as it is.
    void pastePlainText(const ClipboardItem& item);
    // Empties the clipboard and offers the record's content by its kind (converting an
    // image in the caller's thread).
    void writeToPasteboard(const ClipboardItem& item);
    // Offers the record as writeToPasteboard() does, without a stroke, but only while no
    // application owns the clipboard: for a clipboard whose owner quit. Brivet's own offers
    // are never read back as copies, so the record is not recorded again.
    void restore(const ClipboardItem& item);

signals:
    // The stroke was due: sent is false when none could be delivered (the record then stays
    // on the clipboard for the user to paste by hand).
    void keyStrokeDone(bool sent);
    // The monitor has been resumed (or was gone): the paste has run its course.
    void pasteFinished();

private:
    void offer(const QList<PasteboardRepresentation>& representations, const QString& kind);
    void scheduleStroke(std::optional<WindowId> target);
    void strokeWhenTargetActive(std::optional<WindowId> target, int attemptsLeft);
    void sendStroke(std::optional<WindowId> window);
    void finishStroke(bool sent);
    void resume();

    QPointer<Pasteboard> m_pasteboard;
    KeySynthesizer* m_keySynthesizer;
    std::unique_ptr<MonitorLink> m_monitor;
    Timing m_timing;
    PasteShortcutChooser m_shortcutChooser;
    std::optional<WindowId> m_targetWindow;
    int m_pastesUnderWay = 0;
    DesktopNotifier* m_manualPasteNotifier = nullptr;
    bool m_toldManualPaste = false;
};

} // namespace brivet
