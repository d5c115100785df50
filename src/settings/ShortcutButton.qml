import QtQuick
import QtQuick.Controls

// The button that shows the global shortcut and, pressed, records a new one: "Press
// shortcut..." on an accent tint while recording.
AbstractButton {
    id: root

    required property bool isRecording
    required property string shortcutText

    readonly property int minimumWidth: 120
    readonly property int textHorizontalPadding: 10
    readonly property int textVerticalPadding: 6
    readonly property int cornerRadius: 6
    readonly property int changeMs: 150

    implicitWidth: Math.max(minimumWidth, implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    leftPadding: textHorizontalPadding
    rightPadding: textHorizontalPadding
    topPadding: textVerticalPadding
    bottomPadding: textVerticalPadding
    focusPolicy: Qt.StrongFocus
    text: isRecording ? qsTr("Press shortcut...") : shortcutText

    Accessible.role: Accessible.Button
    Accessible.name: qsTr("Activate Brivet: %1").arg(text)

    Keys.onSpacePressed: root.clicked()
    Keys.onReturnPressed: root.clicked()

    SystemPalette { id: systemPalette }

    contentItem: Label {
        text: root.text
        color: systemPalette.windowText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        radius: root.cornerRadius
        color: root.isRecording ? Qt.rgba(systemPalette.highlight.r, systemPalette.highlight.g,
                                          systemPalette.highlight.b, 0.15)
                                : systemPalette.base
        border.width: root.visualFocus && !root.isRecording ? 2 : 1
        border.color: root.isRecording || root.visualFocus
                      ? systemPalette.highlight
                      : Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                systemPalette.windowText.b, 0.3)
        Behavior on color { ColorAnimation { duration: root.changeMs; easing.type: Easing.InOutQuad } }
    }
}
