#pragma once

#include "platform/GlobalHotkey.h"
#include "views/PanelKeyAction.h"
#include "views/PopoverHost.h"

#include <QPointer>
#include <QQuickWindow>
#include <QRect>
#include <QTimer>
#include <optional>

namespace brivet {

class PanelSurface;

// The window that carries the clipboard history: an overlay of the window system's (above
// every other window, never the active one, so the paste goes to the window in front),
// holding the keyboard while shown. It turns each key press into one PanelKeyAction and knows
// nothing of clipboard items. A popover of its own with a text field borrows the keyboard while
// it is open; popovers close when the panel lets the keyboard go. Main thread only.
class FloatingPanel : public QQuickWindow, public PopoverHost
{
    Q_OBJECT
public:
    // keyCodes tells which physical key a key event is.
    FloatingPanel(const QRect& contentRect, PanelSurface& surface, const GlobalHotkey& keyCodes,
                  QWindow* parent = nullptr);
    ~FloatingPanel() override;

    // The global shortcut's combination: pressed while the panel holds the keyboard (the
    // desktop then does not see it), it raises toggleRequested.
    void setToggleShortcut(const Shortcut& shortcut) { m_toggleShortcut = shortcut; }

    // Takes the keyboard from whatever window has it (retried while another client still
    // holds it, e.g. while the shortcut's keys are down), or gives it back.
    void setHoldsKeyboard(bool holds);
    bool holdsKeyboard() const { return m_holdsKeyboard; }
    // True once the grab is in effect (also while it is lent).
    bool hasKeyboard() const { return m_hasKeyboard; }

    PanelSurface& surface() const override { return m_surface; }
    [[nodiscard]] bool lendKeyboard(QWindow& borrower) override;
    void returnKeyboard(QWindow& borrower) override;
    // The global shortcut, which toggles also while a popover holds the keyboard.
    bool takeLentKey(QKeyEvent& event) override;

signals:
    void keyboardGrabbed();
    // A key press of the panel's own (the rest goes to the focused control).
    void keyRouted(const brivet::PanelKeyAction& action);
    // The global shortcut, pressed while the panel or a popover held the keyboard.
    void toggleRequested();
    // Ctrl went down or up while the panel held the keyboard.
    void commandKeyHeld(bool held);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void tryGrab();
    void closePopovers();
    bool isToggleShortcut(const QKeyEvent& event) const;

    PanelSurface& m_surface;
    const GlobalHotkey& m_keyCodes;
    std::optional<Shortcut> m_toggleShortcut;
    QTimer m_grabRetry;
    int m_grabAttemptsLeft = 0;
    bool m_holdsKeyboard = false;
    bool m_hasKeyboard = false;
    QPointer<QWindow> m_borrower;
};

} // namespace brivet
