#include "panel/FloatingPanel.h"

#include "panel/PanelKeyRouting.h"
#include "panel/PanelLogging.h"
#include "platform/PanelSurface.h"
#include "views/PanelPopoverWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace brivet {

namespace {

constexpr int kGrabRetryIntervalMs = 20;
constexpr int kGrabAttempts = 100; // two seconds once the window is on screen

} // namespace

FloatingPanel::FloatingPanel(const QRect& contentRect, PanelSurface& surface,
                             const GlobalHotkey& keyCodes, QWindow* parent)
    : QQuickWindow(parent), m_surface(surface), m_keyCodes(keyCodes)
{
    m_surface.makeOverlay(*this);
    setGeometry(contentRect);
    setTitle(QStringLiteral("Brivet"));
    m_grabRetry.setInterval(kGrabRetryIntervalMs);
    connect(&m_grabRetry, &QTimer::timeout, this, &FloatingPanel::tryGrab);
}

FloatingPanel::~FloatingPanel() = default;

void FloatingPanel::setHoldsKeyboard(bool holds)
{
    if (holds == m_holdsKeyboard)
        return;
    m_holdsKeyboard = holds;
    if (holds) {
        m_grabAttemptsLeft = kGrabAttempts;
        tryGrab();
        return;
    }
    m_grabRetry.stop();
    if (m_hasKeyboard) {
        m_hasKeyboard = false;
        // Also ends a borrower's grab: the program holds one grab at a time.
        m_borrower = nullptr;
        m_surface.releaseKeyboard(*this);
        qCDebug(lcPanel) << "keyboard released";
    }
    closePopovers();
}

void FloatingPanel::closePopovers()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        auto* popover = qobject_cast<PanelPopoverWindow*>(window);
        if (popover && popover->transientParent() == this)
            popover->dismiss();
    }
}

bool FloatingPanel::lendKeyboard(QWindow& borrower)
{
    if (!m_hasKeyboard || m_borrower)
        return false;
    // One grab per program: the panel's ends, the borrower's begins.
    m_surface.releaseKeyboard(*this);
    if (!m_surface.grabKeyboard(borrower)) {
        qCWarning(lcPanel) << "a popover could not take the keyboard";
        if (!m_surface.grabKeyboard(*this))
            qCWarning(lcPanel) << "could not take the keyboard back";
        return false;
    }
    m_borrower = &borrower;
    qCDebug(lcPanel) << "keyboard lent to" << borrower.title();
    return true;
}

void FloatingPanel::returnKeyboard(QWindow& borrower)
{
    if (m_borrower != &borrower)
        return;
    m_borrower = nullptr;
    m_surface.releaseKeyboard(borrower);
    if (!m_hasKeyboard)
        return;
    m_hasKeyboard = false;
    m_grabAttemptsLeft = kGrabAttempts;
    tryGrab();
}

void FloatingPanel::tryGrab()
{
    if (!m_holdsKeyboard || m_hasKeyboard)
        return;
    // The grab needs the window on screen; the time that takes does not count against the
    // attempts.
    if (!isExposed()) {
        if (!m_grabRetry.isActive())
            m_grabRetry.start();
        return;
    }
    if (m_surface.grabKeyboard(*this)) {
        m_grabRetry.stop();
        m_hasKeyboard = true;
        qCDebug(lcPanel) << "keyboard grabbed";
        emit keyboardGrabbed();
        return;
    }
    if (--m_grabAttemptsLeft <= 0) {
        m_grabRetry.stop();
        qCWarning(lcPanel) << "could not take the keyboard: another program holds it";
        return;
    }
    if (!m_grabRetry.isActive())
        m_grabRetry.start();
}

bool FloatingPanel::takeLentKey(QKeyEvent& event)
{
    if (!isToggleShortcut(event))
        return false;
    event.accept();
    // A held shortcut repeats; only its first press toggles.
    if (!event.isAutoRepeat())
        emit toggleRequested();
    return true;
}

bool FloatingPanel::isToggleShortcut(const QKeyEvent& event) const
{
    if (!m_toggleShortcut)
        return false;
    const auto keyCode = m_keyCodes.keyCodeForNativeScanCode(event.nativeScanCode());
    return keyCode && *keyCode == m_toggleShortcut->keyCode &&
           HotkeyModifier::fromQt(event.modifiers()) == m_toggleShortcut->modifiers;
}

void FloatingPanel::keyPressEvent(QKeyEvent* event)
{
    if (takeLentKey(*event))
        return;
    if (event->key() == Qt::Key_Control && !event->isAutoRepeat())
        emit commandKeyHeld(true);
    // A control that has the keyboard (the search field, once clicked) sees the keys first;
    // what it leaves goes through the routing.
    QQuickItem* focused = activeFocusItem();
    if (focused && focused != contentItem()) {
        event->ignore();
        QQuickWindow::keyPressEvent(event);
        if (event->isAccepted())
            return;
    }

    PanelKeyPress press;
    press.keyCode = m_keyCodes.keyCodeForNativeScanCode(event->nativeScanCode());
    press.isCommand = event->modifiers().testFlag(Qt::ControlModifier);
    press.isShift = event->modifiers().testFlag(Qt::ShiftModifier);
    press.isOption = event->modifiers().testFlag(Qt::AltModifier);
    press.isMenuKey = event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && press.isShift);
    press.text = event->text();
    const std::optional<PanelKeyAction> action = routePanelKey(press);
    qCDebug(lcPanel) << "key" << event->nativeScanCode() << event->modifiers() << "->"
                     << (action ? int(action->kind) : -1);
    if (action) {
        event->accept();
        emit keyRouted(*action);
    } else if (!focused || focused == contentItem()) {
        event->ignore();
        QQuickWindow::keyPressEvent(event);
    } else {
        event->accept(); // the focused control has already had it
    }
}

void FloatingPanel::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Control && !event->isAutoRepeat())
        emit commandKeyHeld(false);
    QQuickWindow::keyReleaseEvent(event);
}

} // namespace brivet
