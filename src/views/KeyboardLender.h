#pragma once

class QKeyEvent;
class QWindow;

namespace brivet {

// A window that holds the keyboard (an active grab, so that keys reach it without it being the
// active window) and can lend it to a window of its own, such as a popover with a text field.
class KeyboardLender
{
public:
    virtual ~KeyboardLender() = default;

    // Moves the keyboard to borrower until returnKeyboard(borrower). False when the lender
    // does not hold the keyboard or the borrower cannot take it.
    [[nodiscard]] virtual bool lendKeyboard(QWindow& borrower) = 0;
    // Takes the keyboard back from borrower, if the lender still holds it; else only releases
    // the borrower's hold.
    virtual void returnKeyboard(QWindow& borrower) = 0;
    // A key press the borrower received, offered before the borrower's own controls see it:
    // true when the lender took it (its keys that must work whoever holds the keyboard).
    virtual bool takeLentKey(QKeyEvent& event) = 0;
};

} // namespace brivet
