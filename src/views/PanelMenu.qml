pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// A menu in a window of its own, for menus too tall for the panel: one row per entry, with a
// checkmark after the text of a checked one. Opens beside its anchor, from the anchor's bottom
// upwards; a choice closes it. Escape closes it too.
PanelPopover {
    id: root

    // Each entry: text, checked.
    required property var entries
    signal triggered(int index)

    readonly property int minimumWidth: 160
    readonly property int rowHeight: 26
    readonly property int rowPadding: 10

    arrowEdge: PanelPopoverWindow.NoArrow
    takesKeyboard: true
    padding: 4

    ColumnLayout {
        spacing: 0
        width: Math.max(root.minimumWidth, implicitWidth)

        Repeater {
            model: root.entries

            Rectangle {
                id: row
                required property var modelData
                required property int index

                Layout.fillWidth: true
                implicitWidth: label.implicitWidth + check.width + 3 * root.rowPadding
                implicitHeight: root.rowHeight
                radius: 4
                color: hover.hovered ? systemPalette.highlight : "transparent"
                Accessible.role: Accessible.MenuItem
                Accessible.name: modelData.text
                Accessible.checkable: true
                Accessible.checked: modelData.checked

                SystemPalette { id: systemPalette }
                HoverHandler { id: hover }
                TapHandler {
                    onTapped: {
                        root.triggered(row.index)
                        root.dismiss()
                    }
                }
                Label {
                    id: label
                    anchors.left: parent.left
                    anchors.leftMargin: root.rowPadding
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.modelData.text
                    color: hover.hovered ? systemPalette.highlightedText : systemPalette.windowText
                }
                Image {
                    id: check
                    anchors.right: parent.right
                    anchors.rightMargin: root.rowPadding
                    anchors.verticalCenter: parent.verticalCenter
                    visible: row.modelData.checked
                    width: 14
                    source: "image://symbol/checkmark?color=" + encodeURIComponent(label.color)
                    sourceSize.width: 14
                    sourceSize.height: 14
                }
            }
        }
    }
}
