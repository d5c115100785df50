#include "panel/PanelKeyRouting.h"

#include <QList>
#include <algorithm>
#include <iterator>

namespace brivet {

namespace {

using Kind = PanelKeyAction::Kind;

std::optional<Kind> tableKind(quint32 keyCode, bool withBrackets, bool withShift, bool withOption)
{
    switch (keyCode) {
    case PanelKeyCode::RightBracket:
        return withBrackets ? std::optional(Kind::NextCategory) : std::nullopt;
    case PanelKeyCode::LeftBracket:
        return withBrackets ? std::optional(Kind::PreviousCategory) : std::nullopt;
    case PanelKeyCode::Z:
        return withBrackets ? std::optional(Kind::Undo) : std::nullopt;
    case PanelKeyCode::Return:
        return withShift ? Kind::PastePlainText : Kind::PasteItem;
    case PanelKeyCode::Space:
        if (withBrackets) // the shortcut modifier
            return Kind::ToggleMark;
        return withShift ? Kind::QuickLook : Kind::Space;
    case PanelKeyCode::Delete:
        return Kind::DeleteItem;
    case PanelKeyCode::Escape:
        return Kind::Escape;
    case PanelKeyCode::LeftArrow:
        return withOption ? Kind::MovePinLeft : Kind::MoveLeft;
    case PanelKeyCode::RightArrow:
        return withOption ? Kind::MovePinRight : Kind::MoveRight;
    default:
        return std::nullopt;
    }
}

bool isTypedText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (char32_t scalar : text.toUcs4()) {
        switch (QChar::category(scalar)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_PrivateUse:
        case QChar::Other_Surrogate:
            return false;
        default:
            break;
        }
    }
    return true;
}

} // namespace

std::optional<PanelKeyAction> routePanelKey(const PanelKeyPress& press)
{
    if (press.isMenuKey)
        return PanelKeyAction::of(Kind::ContextMenu);
    if (press.keyCode) {
        if (auto kind = tableKind(*press.keyCode, press.isCommand, press.isShift, press.isOption))
            return PanelKeyAction::of(*kind);
        // Ctrl and a digit of the top row, whatever the layout types there.
        const auto* digit = std::find(std::begin(PanelKeyCode::Digits),
                                      std::end(PanelKeyCode::Digits), *press.keyCode);
        if (press.isCommand && digit != std::end(PanelKeyCode::Digits))
            return PanelKeyAction::quickPaste(int(digit - std::begin(PanelKeyCode::Digits)) + 1);
    }
    if (press.isCommand || !isTypedText(press.text))
        return std::nullopt;
    return PanelKeyAction::typeCharacter(press.text);
}

} // namespace brivet
