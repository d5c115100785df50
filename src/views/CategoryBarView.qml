pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// The row of category chips in the panel's header, the "+" button, the chips' context menu and
// the editor popover. The panel's state decides which chip is selected; the bar's state does
// the store writes.
Item {
    id: root

    required property CategoryBarState bar
    // The panel's category filter; read so that the chips follow it.
    required property string selectedCategoryId

    readonly property int spacing: 12
    readonly property int chipSpacing: 5
    readonly property int dotSize: 8
    readonly property int chipHorizontalPadding: 8
    readonly property int chipVerticalPadding: 4
    readonly property int chipRadius: 6
    // A long name is cut short with an ellipsis there; the tooltip and the editor show it whole.
    readonly property int chipMaximumWidth: 160
    readonly property int toolTipDelayMs: 700
    readonly property real selectedOpacity: 0.15
    readonly property int addButtonSize: 20
    readonly property int selectionMs: 150
    readonly property real captionSize: systemFont.font.pointSize * 0.85
    readonly property color primaryColor: systemPalette.windowText
    readonly property color secondaryColor: Qt.rgba(primaryColor.r, primaryColor.g, primaryColor.b, 0.55)

    SystemPalette { id: systemPalette }
    StatusColors { id: statusColors }
    FontMetrics { id: systemFont }

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Accessible.role: Accessible.PageTabList
    Accessible.name: qsTr("Categories")

    // Scrolls sideways when there are more chips than room; the popover points at what shows.
    Flickable {
        id: strip
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(parent.width, row.implicitWidth)
        height: row.implicitHeight
        contentWidth: row.implicitWidth
        contentHeight: height
        interactive: contentWidth > width
        boundsBehavior: Flickable.StopAtBounds
        flickableDirection: Flickable.HorizontalFlick
        clip: true

        RowLayout {
            id: row
            spacing: root.spacing

            Repeater {
                model: root.bar.categories

                Rectangle {
                    id: chip
                    required property var modelData
                    // Re-read whenever the panel's filter moves.
                    readonly property bool isSelected: root.selectedCategoryId, root.bar.isSelected(modelData.id)

                    implicitWidth: label.implicitWidth + 2 * root.chipHorizontalPadding
                    implicitHeight: label.implicitHeight + 2 * root.chipVerticalPadding
                    radius: root.chipRadius
                    color: Qt.rgba(systemPalette.highlight.r, systemPalette.highlight.g, systemPalette.highlight.b,
                                   isSelected ? root.selectedOpacity : 0)
                    Behavior on color { ColorAnimation { duration: root.selectionMs; easing.type: Easing.InOutQuad } }

                    Accessible.role: Accessible.PageTab
                    Accessible.name: modelData.name
                    Accessible.selected: isSelected
                    Accessible.onPressAction: root.bar.select(modelData.id)

                    RowLayout {
                        id: label
                        anchors.centerIn: parent
                        spacing: root.chipSpacing
                        Rectangle {
                            visible: !chip.modelData.isDefault
                            implicitWidth: root.dotSize
                            implicitHeight: root.dotSize
                            radius: root.dotSize / 2
                            color: root.bar.colorOf(chip.modelData.colorHex)
                        }
                        Label {
                            id: name
                            visible: text !== ""
                            Layout.maximumWidth: root.chipMaximumWidth - 2 * root.chipHorizontalPadding
                                                 - (chip.modelData.isDefault ? 0 : root.dotSize + root.chipSpacing)
                            elide: Text.ElideRight
                            text: chip.modelData.name
                            font.pointSize: root.captionSize
                            font.weight: chip.isSelected ? Font.DemiBold : Font.Normal
                            color: chip.isSelected ? root.primaryColor : root.secondaryColor
                            Behavior on color { ColorAnimation { duration: root.selectionMs; easing.type: Easing.InOutQuad } }
                        }
                    }

                    HoverHandler { id: chipHover }
                    ToolTip.visible: chipHover.hovered && name.truncated
                    ToolTip.text: chip.modelData.name
                    ToolTip.delay: root.toolTipDelayMs

                    TapHandler {
                        acceptedButtons: Qt.LeftButton
                        onTapped: root.bar.select(chip.modelData.id)
                    }
                    TapHandler {
                        acceptedButtons: Qt.RightButton
                        enabled: !chip.modelData.isDefault
                        onTapped: {
                            chipMenu.categoryId = chip.modelData.id
                            chipMenu.popup()
                        }
                    }
                }
            }

            AbstractButton {
                id: addButton
                focusPolicy: Qt.NoFocus
                implicitWidth: root.addButtonSize
                implicitHeight: root.addButtonSize
                onClicked: root.bar.addCategory()
                Accessible.name: qsTr("New Category")
                background: Rectangle {
                    radius: width / 2
                    color: root.secondaryColor
                    opacity: 0.2
                }
                contentItem: Image {
                    source: "image://symbol/plus?color=" + encodeURIComponent(root.secondaryColor)
                    sourceSize.width: Math.round(root.captionSize * 1.2)
                    sourceSize.height: Math.round(root.captionSize * 1.2)
                    fillMode: Image.Pad
                }
            }
        }
    }

    Menu {
        id: chipMenu
        property string categoryId

        MenuItem {
            text: qsTr("Edit")
            onTriggered: root.bar.edit(chipMenu.categoryId)
        }
        MenuSeparator {}
        MenuItem {
            id: deleteItem
            text: qsTr("Delete")
            // Destructive: drawn in red.
            contentItem: Label {
                text: deleteItem.text
                color: statusColors.destructive
                verticalAlignment: Text.AlignVCenter
            }
            onTriggered: root.bar.remove(chipMenu.categoryId)
        }
    }

    PanelPopover {
        id: editor
        anchor: strip
        arrowEdge: PanelPopoverWindow.Bottom
        takesKeyboard: true
        onClosed: root.bar.dismissEditor()
        onIsOpenChanged: if (isOpen) content.focusName()

        CategoryEditorView {
            id: content
            bar: root.bar
        }
    }

    Connections {
        target: root.bar
        function onIsShowingEditorChanged() {
            root.bar.isShowingEditor ? editor.open() : editor.dismiss()
        }
    }
}
