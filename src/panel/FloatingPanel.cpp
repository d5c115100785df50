#include "panel/FloatingPanel.h"

#include "panel/PanelKeyRouting.h"
#include "panel/PanelLogging.h"
#include "platform/GlobalHotkey.h"
#include "views/PanelPopoverWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace brivet {

namespace {

constexpr int kGrabRetryIntervalMs = 20;
constexpr int kGrabAttempts = 100; // two seconds once the window is on screen

quint32 hotkeyModifiers(Qt::KeyboardModifiers modifiers)
{
    quint32 result = 0;
    if (modifiers & Qt::ControlModifier)
        result |= HotkeyModifier::Control;
    if (modifiers & Qt::AltModifier)
        result |= HotkeyModifier::Option;
    if (modifiers & Qt::ShiftModifier)
        result |= HotkeyModifier::Shift;
    if (modifiers & Qt::MetaModifier)
        result |= HotkeyModifier::Command;
    return result;
}

} // namespace

FloatingPanel::FloatingPanel(const QRect& contentRect, QWindow* parent) : QQuickWindow(parent)
{
    // Bypassing the window manager keeps the panel out of its focus and stacking logic: the
    // window in front stays the active one, and the paste goes there.
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
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
        setKeyboardGrabEnabled(false);
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
    setKeyboardGrabEnabled(false);
    if (!borrower.setKeyboardGrabEnabled(true)) {
        qCWarning(lcPanel) << "a popover could not take the keyboard";
        setKeyboardGrabEnabled(true);
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
    borrower.setKeyboardGrabEnabled(false);
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
    if (setKeyboardGrabEnabled(true)) {
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
    if (!event.isAutoRepeat() && onToggleShortcut)
        onToggleShortcut();
    return true;
}

bool FloatingPanel::isToggleShortcut(const QKeyEvent& event) const
{
    if (!m_toggleShortcut || !m_keyCodeMapper)
        return false;
    const Shortcut shortcut = m_toggleShortcut();
    const auto keyCode = m_keyCodeMapper(event.nativeScanCode());
    return keyCode && *keyCode == shortcut.keyCode &&
           hotkeyModifiers(event.modifiers()) == shortcut.modifiers;
}

void FloatingPanel::keyPressEvent(QKeyEvent* event)
{
    if (takeLentKey(*event))
        return;
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
    if (m_keyCodeMapper)
        press.keyCode = m_keyCodeMapper(event->nativeScanCode());
    press.isCommand = event->modifiers().testFlag(Qt::ControlModifier);
    press.text = event->text();
    const PanelKeyRoute route = routePanelKey(press);
    qCDebug(lcPanel) << "key" << event->nativeScanCode() << event->modifiers() << "->"
                     << int(route);

    const auto call = [](const std::function<void()>& callback) {
        if (callback)
            callback();
    };
    event->accept();
    switch (route) {
    case PanelKeyRoute::Escape:
        return call(onEscapePressed);
    case PanelKeyRoute::LeftArrow:
        return call(onLeftArrow);
    case PanelKeyRoute::RightArrow:
        return call(onRightArrow);
    case PanelKeyRoute::DeleteKey:
        return call(onDeleteKey);
    case PanelKeyRoute::ReturnKey:
        return call(onReturnKey);
    case PanelKeyRoute::SpaceKey:
        return call(onSpaceKey);
    case PanelKeyRoute::NextCategory:
        return call(onNextCategory);
    case PanelKeyRoute::PreviousCategory:
        return call(onPreviousCategory);
    case PanelKeyRoute::CharacterTyped:
        if (onCharacterTyped)
            onCharacterTyped(press.text);
        return;
    case PanelKeyRoute::BaseHandling:
        if (!focused || focused == contentItem()) {
            event->ignore();
            QQuickWindow::keyPressEvent(event);
        }
        return;
    }
}

} // namespace brivet
