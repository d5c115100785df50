pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// A menu in a window of its own, for menus too tall for the panel: one row per entry, with a
// checkmark after the text of a checked one. Opens beside its anchor, from the anchor's bottom
// upwards; a choice closes it. Escape closes it too. Up and Down move the highlight, as the
// pointer does, and Return (or Space) chooses the highlighted entry.
PanelPopover {
    id: root

    // Each entry: text, checked.
    required property var entries
    signal triggered(int index)
    // The highlighted entry, -1 for none.
    property int currentIndex: -1

    function choose(index) {
        root.triggered(index)
        root.dismiss()
    }
    onIsOpenChanged: if (isOpen) { currentIndex = -1; rows.forceActiveFocus() }

    readonly property int minimumWidth: 160
    readonly property int rowHeight: 26
    readonly property int rowPadding: 10

    arrowEdge: PanelPopoverWindow.NoArrow
    takesKeyboard: true
    padding: 4

    ColumnLayout {
        id: rows
        spacing: 0
        width: Math.max(root.minimumWidth, implicitWidth)
        focus: true
        Accessible.role: Accessible.PopupMenu

        Keys.onUpPressed: root.currentIndex = root.currentIndex <= 0 ? root.entries.length - 1
                                                                    : root.currentIndex - 1
        Keys.onDownPressed: root.currentIndex = (root.currentIndex + 1) % root.entries.length
        Keys.onPressed: event => {
            if ([Qt.Key_Return, Qt.Key_Enter, Qt.Key_Space].includes(event.key) && root.currentIndex >= 0) {
                root.choose(root.currentIndex)
                event.accepted = true
            }
        }

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
                readonly property bool isCurrent: root.currentIndex === index
                color: isCurrent ? systemPalette.highlight : "transparent"
                Accessible.role: Accessible.MenuItem
                Accessible.name: modelData.text
                Accessible.checkable: true
                Accessible.checked: modelData.checked
                Accessible.selected: isCurrent

                SystemPalette { id: systemPalette }
                HoverHandler {
                    onHoveredChanged: if (hovered) root.currentIndex = row.index
                }
                TapHandler {
                    onTapped: root.choose(row.index)
                }
                Label {
                    id: label
                    anchors.left: parent.left
                    anchors.leftMargin: root.rowPadding
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.modelData.text
                    color: row.isCurrent ? systemPalette.highlightedText : systemPalette.windowText
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
