#pragma once

#include <QMetaType>
#include <QString>

namespace brivet {

// How a chosen record is pasted: as it was copied, or its plain text alone.
enum class PasteForm
{
    AsCopied,
    PlainText,
};

// One key press as the history panel understands it, made by the panel window from a key
// event and acted on by the view state.
struct PanelKeyAction
{
    enum class Kind
    {
        TypeCharacter, // text holds what was typed
        MoveLeft,
        MoveRight,
        MovePinLeft,  // the selected card one place towards the front of its category
        MovePinRight, // and one place back
        DeleteItem,
        PasteItem,
        PastePlainText, // the selected card's plain text alone
        Space,          // a space in a search that holds text, else QuickLook
        QuickLook,      // the preview, shown or hidden
        NextCategory,
        PreviousCategory,
        ContextMenu, // the selected card's menu (the Menu key, Shift+F10)
        QuickPaste,  // paste the card shown at position number (1 to 9)
        ToggleMark,  // mark the selected card for the paste stack, or unmark it
        Undo,        // bring back the newest deletion of this panel session
        Escape,
    };

    Kind kind = Kind::Escape;
    QString text;   // TypeCharacter only
    int number = 0; // QuickPaste only

    static PanelKeyAction typeCharacter(QString text) { return {Kind::TypeCharacter, text, 0}; }
    static PanelKeyAction quickPaste(int number) { return {Kind::QuickPaste, {}, number}; }
    static PanelKeyAction of(Kind kind) { return {kind, {}, 0}; }

    friend bool operator==(const PanelKeyAction&, const PanelKeyAction&) = default;
};

} // namespace brivet

Q_DECLARE_METATYPE(brivet::PanelKeyAction)
