pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import Brivet.Views

// A popover window with its bubble: a rounded body in the window colour with a hairline border
// and an arrow on `arrowEdge` pointing at `anchor`. The content goes inside, padded; its
// implicit size sizes the window. Placement, closing and the keyboard: PanelPopoverWindow.
PanelPopoverWindow {
    id: root

    default property alias content: body.data
    property int padding: 16

    readonly property real arrowBase: arrowSize * Math.SQRT2
    readonly property real translucentOpacity: 0.96
    readonly property real shadowOpacity: 0.2

    SystemPalette { id: systemPalette }

    width: body.implicitWidth + 2 * padding + 2 * shadowMargin
    height: body.implicitHeight + 2 * padding + arrowSize + 2 * shadowMargin
    color: isBlended ? "transparent" : systemPalette.window

    // The shadow around the bubble: rings fading outwards, none under the translucent bubble.
    Repeater {
        model: root.isTranslucent ? root.shadowMargin : 0
        Rectangle {
            required property int index
            readonly property int distance: index + 1
            x: root.shadowMargin - distance
            y: root.shadowMargin + bubble.y - distance
            width: bubble.width + 2 * distance
            height: bubble.height + 2 * distance
            radius: root.cornerRadius + distance
            color: "transparent"
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, root.shadowOpacity * Math.pow(1 - index / root.shadowMargin, 2))
        }
    }

    // The bubble and its arrow, drawn as one layer so that a translucent bubble does not show
    // where its parts overlap.
    Item {
        id: frame
        anchors.fill: parent
        anchors.margins: root.shadowMargin
        opacity: root.isTranslucent ? root.translucentOpacity : 1
        layer.enabled: root.isTranslucent

        Rectangle {
            id: bubble
            x: 0
            y: root.arrowEdge === PanelPopoverWindow.Top ? root.arrowSize : 0
            width: frame.width
            height: frame.height - root.arrowSize
            radius: root.cornerRadius
            color: systemPalette.window
            border.width: 1
            border.color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                  systemPalette.windowText.b, 0.18)
        }

        // The arrow: a square turned by 45 degrees, half of it outside the body, its inner half
        // covered so that the body's border runs on under the arrow's opening.
        Rectangle {
            id: arrow
            visible: root.arrowEdge !== PanelPopoverWindow.NoArrow
            width: root.arrowBase
            height: root.arrowBase
            rotation: 45
            x: root.arrowPosition - width / 2
            y: root.arrowEdge === PanelPopoverWindow.Top ? root.arrowSize - height / 2
                                                          : frame.height - root.arrowSize - height / 2
            color: systemPalette.window
            border.width: 1
            border.color: bubble.border.color
            antialiasing: true
        }
        Rectangle {
            visible: arrow.visible
            x: arrow.x - 1
            width: arrow.width + 2
            height: root.arrowSize
            y: root.arrowEdge === PanelPopoverWindow.Top ? root.arrowSize + 1
                                                          : frame.height - 2 * root.arrowSize - 1
            color: systemPalette.window
        }
    }

    Control {
        id: body
        // The controls inside take the program's palette (light or dark), as the panel's do.
        palette.window: systemPalette.window
        palette.windowText: systemPalette.windowText
        palette.base: systemPalette.base
        palette.alternateBase: systemPalette.alternateBase
        palette.text: systemPalette.text
        palette.button: systemPalette.button
        palette.buttonText: systemPalette.buttonText
        palette.highlight: systemPalette.highlight
        palette.highlightedText: systemPalette.highlightedText
        palette.light: systemPalette.light
        palette.midlight: systemPalette.midlight
        palette.mid: systemPalette.mid
        palette.dark: systemPalette.dark
        palette.shadow: systemPalette.shadow
        palette.placeholderText: systemPalette.placeholderText

        x: root.shadowMargin + root.padding
        y: root.shadowMargin + bubble.y + root.padding
        width: frame.width - 2 * root.padding
        height: bubble.height - 2 * root.padding
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height
    }
}
