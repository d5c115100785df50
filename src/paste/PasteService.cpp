#include "paste/PasteService.h"

#include "paste/PasteLogging.h"
#include "paste/PasteRepresentations.h"

#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace brivet {

namespace {

QString windowText(std::optional<WindowId> window)
{
    return window ? QStringLiteral("0x") + QString::number(*window, 16) : QStringLiteral("none");
}

const char* shortcutText(PasteShortcut shortcut)
{
    return shortcut == PasteShortcut::ControlShiftV ? "Ctrl+Shift+V" : "Ctrl+V";
}

} // namespace

PasteService::PasteService(Pasteboard* pasteboard, KeySynthesizer* keySynthesizer,
                           std::unique_ptr<MonitorLink> monitor, QObject* parent)
    : PasteService(pasteboard, keySynthesizer, std::move(monitor), Timing{}, parent)
{}

PasteService::PasteService(Pasteboard* pasteboard, KeySynthesizer* keySynthesizer,
                           std::unique_ptr<MonitorLink> monitor, Timing timing, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_keySynthesizer(keySynthesizer),
      m_monitor(std::move(monitor)), m_timing(timing)
{}

PasteService::~PasteService()
{
    if (m_pastesUnderWay > 0 && m_monitor)
        m_monitor->setPaused(false);
}

void PasteService::rememberFrontWindow()
{
    m_targetWindow = m_keySynthesizer ? m_keySynthesizer->activeWindow() : std::nullopt;
    qCDebug(lcPaste) << "paste target" << windowText(m_targetWindow);
}

void PasteService::setTerminalWindowClasses(const QStringList& classes)
{
    m_shortcutChooser = PasteShortcutChooser(classes);
}

void PasteService::paste(const ClipboardItem& item)
{
    if (m_monitor)
        m_monitor->setPaused(true);
    ++m_pastesUnderWay;
    const std::optional<WindowId> target = m_targetWindow;

    if (item.type() == ContentType::Image && item.imageData) {
        const QByteArray bytes = item.imageData->data();
        if (!bytes.isEmpty() && sniffImageFormat(bytes) != ImageFormat::PNG) {
            // The PNG conversion of a photo takes a good part of a second: it runs on a
            // worker, and the write and the stroke follow when it is done.
            if (m_pasteboard)
                m_pasteboard->clearContents();
            using Watcher = QFutureWatcher<QList<PasteboardRepresentation>>;
            auto* watcher = new Watcher(this);
            connect(watcher, &Watcher::finished, this,
                    [this, watcher, target, kind = item.contentType] {
                        watcher->deleteLater();
                        offer(watcher->result(), kind);
                        scheduleStroke(target);
                    });
            watcher->setFuture(QtConcurrent::run(imageRepresentations, bytes));
            return;
        }
    }
    writeToPasteboard(item);
    scheduleStroke(target);
}

void PasteService::pastePlainText(const ClipboardItem& item)
{
    const QList<PasteboardRepresentation> text = plainTextRepresentations(item);
    if (text.isEmpty()) {
        paste(item);
        return;
    }
    if (m_monitor)
        m_monitor->setPaused(true);
    ++m_pastesUnderWay;
    if (m_pasteboard)
        m_pasteboard->clearContents();
    offer(text, QStringLiteral("plain text of a ") + item.contentType);
    scheduleStroke(m_targetWindow);
}

void PasteService::scheduleStroke(std::optional<WindowId> target)
{
    QTimer::singleShot(m_timing.keyStrokeDelay, Qt::PreciseTimer, this, [this, target] {
        const int attempts = int(m_timing.activationTimeout / m_timing.activationPollInterval);
        strokeWhenTargetActive(target, attempts);
    });
}

void PasteService::writeToPasteboard(const ClipboardItem& item)
{
    if (m_pasteboard)
        m_pasteboard->clearContents();
    offer(pasteboardRepresentations(item), item.contentType);
}

void PasteService::restore(const ClipboardItem& item)
{
    if (!m_pasteboard)
        return;
    const QString kind = item.contentType;
    auto write = [pasteboard = m_pasteboard, kind](const QList<PasteboardRepresentation>& all) {
        if (!pasteboard || all.isEmpty())
            return;
        pasteboard->writeIfUnowned(all);
        qCDebug(lcPaste).noquote()
            << "put a" << kind << "record back on the clipboard its owner left";
    };
    if (item.type() == ContentType::Image && item.imageData) {
        const QByteArray bytes = item.imageData->data();
        if (!bytes.isEmpty() && sniffImageFormat(bytes) != ImageFormat::PNG) {
            using Watcher = QFutureWatcher<QList<PasteboardRepresentation>>;
            auto* watcher = new Watcher(this);
            connect(watcher, &Watcher::finished, this, [watcher, write] {
                watcher->deleteLater();
                write(watcher->result());
            });
            watcher->setFuture(QtConcurrent::run(imageRepresentations, bytes));
            return;
        }
    }
    write(pasteboardRepresentations(item));
}

void PasteService::offer(const QList<PasteboardRepresentation>& representations,
                         const QString& kind)
{
    if (!m_pasteboard) {
        qCWarning(lcPaste) << "no clipboard to write to";
        return;
    }
    if (representations.isEmpty()) {
        qCDebug(lcPaste) << "a" << kind << "record has nothing to offer; the clipboard stays empty";
        return;
    }
    m_pasteboard->write(representations);
    qCDebug(lcPaste) << "wrote" << representations.size() << "representations of a" << kind
                     << "record";
}

void PasteService::strokeWhenTargetActive(std::optional<WindowId> target, int attemptsLeft)
{
    if (!m_keySynthesizer || !m_keySynthesizer->isAvailable()) {
        qCInfo(lcPaste) << "synthesised keys are unavailable; the record stays on the clipboard";
        if (m_manualPasteNotifier && !m_toldManualPaste) {
            m_toldManualPaste = true;
            m_manualPasteNotifier->notify(
                tr("Ready to paste"),
                tr("This desktop does not let Brivet paste for you: the item is on the "
                   "clipboard, paste it with Ctrl+V (Ctrl+Shift+V in a terminal)."));
        }
        finishStroke(false);
        return;
    }
    if (!target) {
        sendStroke(m_keySynthesizer->activeWindow());
        return;
    }
    const std::optional<WindowId> active = m_keySynthesizer->activeWindow();
    // A window manager that does not report the active window cannot be asked to change it.
    if (!active || *active == *target) {
        sendStroke(target);
        return;
    }
    if (!m_keySynthesizer->windowExists(*target)) {
        qCInfo(lcPaste) << "target window" << windowText(target)
                        << "is gone; no paste stroke, the record stays on the clipboard";
        finishStroke(false);
        return;
    }
    if (attemptsLeft <= 0) {
        qCInfo(lcPaste) << "target window" << windowText(target)
                        << "did not become active; no paste stroke";
        finishStroke(false);
        return;
    }
    // Asked again now and then, not at every look: window managers may flash a window at
    // each request.
    const int attempts = int(m_timing.activationTimeout / m_timing.activationPollInterval);
    if ((attempts - attemptsLeft) % 10 == 0 && !m_keySynthesizer->requestActivation(*target))
        qCDebug(lcPaste) << "activation request for" << windowText(target) << "failed";
    QTimer::singleShot(
        m_timing.activationPollInterval, Qt::PreciseTimer, this,
        [this, target, attemptsLeft] { strokeWhenTargetActive(target, attemptsLeft - 1); });
}

void PasteService::sendStroke(std::optional<WindowId> window)
{
    const QStringList classes = window ? m_keySynthesizer->windowClasses(*window) : QStringList();
    const PasteShortcut shortcut = m_shortcutChooser.shortcutFor(classes);
    const bool sent = m_keySynthesizer->sendShortcut(shortcut);
    qCDebug(lcPaste).noquote() << (sent ? "sent" : "could not send") << shortcutText(shortcut)
                               << "to window" << windowText(window) << classes;
    finishStroke(sent);
}

void PasteService::finishStroke(bool sent)
{
    emit keyStrokeDone(sent);
    QTimer::singleShot(m_timing.resumeDelay, Qt::PreciseTimer, this, [this] { resume(); });
}

void PasteService::resume()
{
    --m_pastesUnderWay;
    if (m_monitor)
        m_monitor->setPaused(false);
    qCDebug(lcPaste) << "paste finished; monitor resumed";
    emit pasteFinished();
}

} // namespace brivet
