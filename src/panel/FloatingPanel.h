#pragma once

#include "hotkey/Shortcut.h"
#include "views/KeyboardLender.h"

#include <QPointer>
#include <QQuickWindow>
#include <QRect>
#include <QTimer>
#include <functional>
#include <optional>

namespace brivet {

// The window that carries the clipboard history: frameless, above every other window, not
// managed by the window manager (so showing it never changes the active window), holding the
// keyboard while shown. It turns the keys the history needs into callbacks and knows nothing
// of clipboard items. A popover of its own with a text field borrows the keyboard while it is
// open; popovers close when the panel lets the keyboard go. Main thread only.
class FloatingPanel : public QQuickWindow, public KeyboardLender
{
    Q_OBJECT
public:
    // The physical key of a key event's native scan code, in Brivet's key codes.
    using KeyCodeMapper = std::function<std::optional<quint32>(quint32 nativeScanCode)>;

    explicit FloatingPanel(const QRect& contentRect, QWindow* parent = nullptr);
    ~FloatingPanel() override;

    // Raised by the routed keys; a routed key whose callback is empty is still consumed.
    std::function<void()> onEscapePressed;
    std::function<void()> onLeftArrow;
    std::function<void()> onRightArrow;
    std::function<void()> onDeleteKey;
    std::function<void()> onReturnKey;
    std::function<void()> onSpaceKey;
    std::function<void()> onNextCategory;
    std::function<void()> onPreviousCategory;
    std::function<void(const QString&)> onCharacterTyped;
    // The global shortcut pressed while the panel holds the keyboard (the desktop then does
    // not see it).
    std::function<void()> onToggleShortcut;

    void setKeyCodeMapper(KeyCodeMapper mapper) { m_keyCodeMapper = std::move(mapper); }
    // The global shortcut's combination, read at every key press.
    void setToggleShortcut(std::function<Shortcut()> shortcut)
    {
        m_toggleShortcut = std::move(shortcut);
    }

    // Takes the keyboard from whatever window has it (an active grab, retried while another
    // client still holds it, e.g. while the shortcut's keys are down), or gives it back.
    void setHoldsKeyboard(bool holds);
    bool holdsKeyboard() const { return m_holdsKeyboard; }
    // True once the grab is in effect (also while it is lent).
    bool hasKeyboard() const { return m_hasKeyboard; }

    [[nodiscard]] bool lendKeyboard(QWindow& borrower) override;
    void returnKeyboard(QWindow& borrower) override;
    // The global shortcut, which toggles also while a popover holds the keyboard.
    bool takeLentKey(QKeyEvent& event) override;

signals:
    void keyboardGrabbed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void tryGrab();
    void closePopovers();
    bool isToggleShortcut(const QKeyEvent& event) const;

    KeyCodeMapper m_keyCodeMapper;
    std::function<Shortcut()> m_toggleShortcut;
    QTimer m_grabRetry;
    int m_grabAttemptsLeft = 0;
    bool m_holdsKeyboard = false;
    bool m_hasKeyboard = false;
    QPointer<QWindow> m_borrower;
};

} // namespace brivet
