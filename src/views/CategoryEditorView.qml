pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// The content of the category editor: the title, the name field, the colour grid and the
// buttons. Edits go to the bar's state, which writes them to the store on Save.
ColumnLayout {
    id: root

    required property CategoryBarState bar

    readonly property int totalWidth: 240
    readonly property int padding: 16
    readonly property int swatchSize: 28
    readonly property int swatchSpacing: 6
    readonly property int columns: 6
    readonly property real captionSize: systemFont.font.pointSize * 0.85
    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.55)

    // Puts the cursor in the name field with its text selected, ready to be typed over.
    function focusName() {
        nameField.forceActiveFocus()
        nameField.selectAll()
    }

    SystemPalette { id: systemPalette }
    FontMetrics { id: systemFont }

    width: totalWidth - 2 * padding
    spacing: 12

    Label {
        Layout.alignment: Qt.AlignHCenter
        text: qsTr("Edit Category")
        font.weight: Font.DemiBold
        color: systemPalette.windowText
    }

    TextField {
        id: nameField
        Layout.fillWidth: true
        placeholderText: qsTr("Name")
        text: root.bar.editName
        selectByMouse: true
        onTextEdited: root.bar.editName = text
        onAccepted: root.bar.save()
        Accessible.name: qsTr("Name")
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 6

        Label {
            text: qsTr("Color")
            font.pointSize: root.captionSize
            color: root.secondaryColor
        }

        Grid {
            columns: root.columns
            columnSpacing: root.swatchSpacing
            rowSpacing: root.swatchSpacing

            Repeater {
                model: root.bar.palette

                Item {
                    id: swatch
                    required property var modelData
                    readonly property bool isChosen: modelData.hex === root.bar.editColorHex

                    width: root.swatchSize
                    height: root.swatchSize
                    Accessible.role: Accessible.RadioButton
                    Accessible.name: modelData.name
                    Accessible.checked: isChosen

                    // The white glow of the chosen swatch.
                    Rectangle {
                        anchors.centerIn: parent
                        width: parent.width + 6
                        height: parent.height + 6
                        radius: width / 2
                        color: "transparent"
                        border.width: 3
                        border.color: Qt.rgba(1, 1, 1, 0.4)
                        visible: swatch.isChosen
                    }
                    Rectangle {
                        anchors.fill: parent
                        radius: width / 2
                        color: swatch.modelData.hex
                        border.width: 2
                        border.color: swatch.isChosen ? "white" : "transparent"
                    }
                    TapHandler {
                        onTapped: root.bar.editColorHex = swatch.modelData.hex
                    }
                }
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true

        Button {
            text: qsTr("Cancel")
            onClicked: root.bar.dismissEditor()
        }
        Item { Layout.fillWidth: true }
        Button {
            text: qsTr("Save")
            // Prominent: filled with the accent colour.
            palette.button: systemPalette.highlight
            palette.buttonText: systemPalette.highlightedText
            onClicked: root.bar.save()
        }
    }
}
