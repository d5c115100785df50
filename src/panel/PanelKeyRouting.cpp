#include "panel/PanelKeyRouting.h"

#include <QList>

namespace brivet {

namespace {

std::optional<PanelKeyRoute> tableRoute(quint32 keyCode, bool withBrackets)
{
    switch (keyCode) {
    case PanelKeyCode::RightBracket:
        return withBrackets ? std::optional(PanelKeyRoute::NextCategory) : std::nullopt;
    case PanelKeyCode::LeftBracket:
        return withBrackets ? std::optional(PanelKeyRoute::PreviousCategory) : std::nullopt;
    case PanelKeyCode::Return:
        return PanelKeyRoute::ReturnKey;
    case PanelKeyCode::Space:
        return PanelKeyRoute::SpaceKey;
    case PanelKeyCode::Delete:
        return PanelKeyRoute::DeleteKey;
    case PanelKeyCode::Escape:
        return PanelKeyRoute::Escape;
    case PanelKeyCode::LeftArrow:
        return PanelKeyRoute::LeftArrow;
    case PanelKeyCode::RightArrow:
        return PanelKeyRoute::RightArrow;
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

PanelKeyRoute routePanelKey(const PanelKeyPress& press)
{
    if (press.keyCode) {
        if (auto route = tableRoute(*press.keyCode, press.isCommand))
            return *route;
    }
    if (press.isCommand)
        return PanelKeyRoute::BaseHandling;
    return isTypedText(press.text) ? PanelKeyRoute::CharacterTyped : PanelKeyRoute::BaseHandling;
}

} // namespace brivet
