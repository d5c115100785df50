import QtQuick
import QtQuick.Controls

// An on/off switch for a settings row: a pill in the accent colour when on, a white knob that
// slides across, a ring in the accent colour while it has the keyboard.
Switch {
    id: root

    readonly property int trackWidth: 38
    readonly property int trackHeight: 22
    readonly property int knobInset: 2
    readonly property int changeMs: 150

    padding: 0
    spacing: 0

    SystemPalette { id: systemPalette }

    indicator: Rectangle {
        implicitWidth: root.trackWidth
        implicitHeight: root.trackHeight
        x: root.width - width - root.rightPadding
        y: (root.height - height) / 2
        radius: height / 2
        color: root.checked ? systemPalette.highlight
                            : Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                      systemPalette.windowText.b, 0.22)
        border.width: root.visualFocus ? 2 : 0
        border.color: Qt.lighter(systemPalette.highlight, 1.3)
        Behavior on color { ColorAnimation { duration: root.changeMs; easing.type: Easing.InOutQuad } }

        Rectangle {
            width: parent.height - 2 * root.knobInset
            height: width
            radius: width / 2
            y: root.knobInset
            x: root.checked ? parent.width - width - root.knobInset : root.knobInset
            color: "white"
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, 0.12)
            Behavior on x { NumberAnimation { duration: root.changeMs; easing.type: Easing.InOutQuad } }
        }
    }

    contentItem: Item {}
}
