#pragma once

class QKeyEvent;
class QWindow;

namespace brivet {

class PanelSurface;

// The window popovers hang from (the panel): it holds the keyboard and can lend it to a
// popover with a text field, and it knows the window system's surface that popovers are shown
// on.
class PopoverHost
{
public:
    virtual ~PopoverHost() = default;

    // What shows the host's windows: popovers are made overlays and shaped by it.
    virtual PanelSurface& surface() const = 0;
    // Moves the keyboard to borrower until returnKeyboard(borrower). False when the host
    // does not hold the keyboard or the borrower cannot take it.
    [[nodiscard]] virtual bool lendKeyboard(QWindow& borrower) = 0;
    // Takes the keyboard back from borrower, if the host still holds it; else only releases
    // the borrower's hold.
    virtual void returnKeyboard(QWindow& borrower) = 0;
    // A key press the borrower received, offered before the borrower's own controls see it:
    // true when the host took it (its keys that must work whoever holds the keyboard).
    virtual bool takeLentKey(QKeyEvent& event) = 0;
};

} // namespace brivet
