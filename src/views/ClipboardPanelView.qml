pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// The whole content of the history panel: the header (search, categories, settings), a divider
// and the strip of cards, or the empty state. State and rules live in viewState.
Item {
    id: root

    required property ClipboardPanelViewState viewState
    required property CategoryBarState categoryBar
    // Reads long texts for the preview; without it a preview shows the start a card has.
    property PreviewTextSource previewTextSource
    // Blended with the desktop (a compositing manager runs): a translucent background and a
    // shadow around the panel, in the room the window leaves outside this item.
    property bool isTranslucent: false

    readonly property int cornerRadius: 12
    readonly property real translucentOpacity: 0.86
    readonly property int shadowSize: 16
    readonly property real shadowOpacity: 0.22
    readonly property int headerSpacing: 12
    readonly property int headerHorizontalPadding: 16
    readonly property int headerVerticalPadding: 10
    readonly property int searchMaximumWidth: 200
    readonly property int settingsBoxWidth: 200
    readonly property int gearSize: 14
    readonly property int cardSpacing: 8
    readonly property int stripHorizontalPadding: 16
    readonly property int stripVerticalPadding: 10
    readonly property int minimumCardWidth: 160
    readonly property int maximumCardWidth: 280
    readonly property real cardWidthRatio: 0.85
    readonly property int emptySymbolSize: 32
    readonly property int selectionMs: 200
    readonly property int changeMs: 250
    readonly property real calloutSize: systemFont.font.pointSize * 0.95
    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.55)

    SystemPalette { id: systemPalette }
    StatusColors { id: statusColors }
    FontMetrics { id: systemFont }

    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Clipboard history")

    // The shadow: rings fading outwards, none under the translucent panel.
    Repeater {
        model: root.isTranslucent ? root.shadowSize : 0
        Rectangle {
            required property int index
            readonly property int distance: index + 1
            x: -distance
            y: -distance
            width: root.width + 2 * distance
            height: root.height + 2 * distance
            radius: root.cornerRadius + distance
            color: "transparent"
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, root.shadowOpacity * Math.pow(1 - index / root.shadowSize, 2))
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: root.cornerRadius
        color: root.isTranslucent ? Qt.rgba(systemPalette.window.r, systemPalette.window.g,
                                            systemPalette.window.b, root.translucentOpacity)
                                  : systemPalette.window
        border.width: 1
        border.color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g, systemPalette.windowText.b, 0.12)
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: root.headerHorizontalPadding
            Layout.rightMargin: root.headerHorizontalPadding
            Layout.topMargin: root.headerVerticalPadding
            Layout.bottomMargin: root.headerVerticalPadding
            spacing: root.headerSpacing

            SearchBarView {
                Layout.maximumWidth: root.searchMaximumWidth
                Layout.fillWidth: true
                searchText: root.viewState.searchText
                onEdited: text => root.viewState.searchText = text
            }

            CategoryBarView {
                Layout.fillWidth: true
                bar: root.categoryBar
                selectedCategoryId: root.viewState.selectedCategoryId
            }

            Item {
                Layout.preferredWidth: root.settingsBoxWidth
                implicitHeight: settingsButton.implicitHeight

                // For a few seconds after a delete: "Deleted · Undo", Undo a link (or Ctrl+Z).
                Row {
                    id: undoLine
                    anchors.right: settingsButton.left
                    anchors.rightMargin: root.headerSpacing
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 4
                    opacity: root.viewState.showsUndo ? 1 : 0
                    visible: opacity > 0
                    Behavior on opacity { NumberAnimation { duration: root.selectionMs; easing.type: Easing.InOutQuad } }

                    Label {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Deleted") + " ·"
                        color: root.secondaryColor
                        font.pointSize: root.calloutSize
                    }
                    Label {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Undo")
                        color: statusColors.link
                        font.pointSize: root.calloutSize
                        font.underline: undoArea.containsMouse
                        Accessible.role: Accessible.Button
                        Accessible.name: qsTr("Undo delete")
                        MouseArea {
                            id: undoArea
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: root.viewState.undoDelete()
                        }
                    }
                }

                ToolButton {
                    id: settingsButton
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    focusPolicy: Qt.NoFocus
                    flat: true
                    padding: 4
                    onClicked: root.viewState.openSettings()
                    Accessible.name: qsTr("Settings")
                    contentItem: Image {
                        source: "image://symbol/gear?color=" + encodeURIComponent(root.secondaryColor)
                        sourceSize.width: root.gearSize + 2
                        sourceSize.height: root.gearSize + 2
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: systemPalette.mid
            opacity: 0.3
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            ListView {
                id: strip

                readonly property real cardWidth: Math.min(Math.max(height * root.cardWidthRatio, root.minimumCardWidth),
                                                           root.maximumCardWidth)

                anchors.fill: parent
                visible: count > 0
                orientation: ListView.Horizontal
                spacing: root.cardSpacing
                leftMargin: root.stripHorizontalPadding
                rightMargin: root.stripHorizontalPadding
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: root.viewState.items
                // Centres the selected card (as far as the ends of the strip allow), sliding
                // there from where the strip is now.
                function centreSelected() {
                    const index = root.viewState.selectedIndex
                    if (index < 0 || index >= count)
                        return
                    scroll.stop()
                    const from = contentX
                    positionViewAtIndex(index, ListView.Center)
                    const to = contentX
                    if (from === to)
                        return
                    contentX = from
                    scroll.to = to
                    scroll.start()
                }

                NumberAnimation {
                    id: scroll
                    target: strip
                    property: "contentX"
                    duration: root.selectionMs
                    easing.type: Easing.InOutQuad
                }

                Connections {
                    target: root.viewState
                    function onSelectedIndexChanged() { strip.centreSelected() }
                    // From the keyboard: below the card's top left corner, its first entry
                    // current, so that the arrows move through the entries at once.
                    function onContextMenuRequested(row) {
                        const card = strip.itemAtIndex(row)
                        if (!card)
                            return
                        cardMenu.row = row
                        cardMenu.popup(card, 16, 24)
                        cardMenu.currentIndex = 0
                    }
                }
                reuseItems: true
                ScrollBar.horizontal: null

                delegate: ClipboardCardView {
                    id: card
                    required property int index
                    height: strip.height - 2 * root.stripVerticalPadding
                    y: root.stripVerticalPadding
                    cardWidth: strip.cardWidth
                    isSelected: index === root.viewState.selectedIndex
                    // Re-read whenever the clock moves on.
                    age: root.viewState.now, root.viewState.timeAgo(timestamp)
                    quickNumber: root.viewState.showsQuickNumbers && index < 9 ? index + 1 : 0
                    markedIds: root.viewState.markedIds
                    kindName: root.viewState.kindName(contentType)
                    kindColor: root.viewState.kindColor(contentType)
                    categoryColor: hex => root.viewState.categoryColor(hex)

                    // In a category's own order a card is dragged to another card's place; it
                    // follows the pointer and slides into place when dropped.
                    z: reorder.active ? 2 : 0
                    transform: Translate { x: reorder.active ? reorder.offset : 0 }
                    // Lifted: the cards it passes over do not show through it.
                    Rectangle {
                        z: -1
                        anchors.fill: parent
                        visible: reorder.active
                        radius: card.cornerRadius
                        color: systemPalette.window
                    }
                    DragHandler {
                        id: reorder
                        property real offset: 0
                        enabled: root.viewState.canMoveCards
                        target: null
                        yAxis.enabled: false
                        acceptedButtons: Qt.LeftButton
                        onActiveTranslationChanged: if (active) offset = activeTranslation.x
                        onActiveChanged: {
                            if (active)
                                return
                            const to = strip.indexAt(card.x + card.width / 2 + offset, card.y + card.height / 2)
                            offset = 0
                            if (to >= 0 && to !== card.index)
                                root.viewState.dragCard(card.index, to)
                        }
                    }
                    TapHandler {
                        acceptedButtons: Qt.LeftButton
                        acceptedModifiers: Qt.ControlModifier
                        onTapped: root.viewState.toggleMarkCard(card.index)
                    }
                    TapHandler {
                        acceptedButtons: Qt.LeftButton
                        acceptedModifiers: Qt.NoModifier
                        onTapped: (eventPoint, button) => {
                            if (tapCount === 2)
                                root.viewState.doubleClickCard(card.index)
                            else
                                root.viewState.clickCard(card.index)
                        }
                    }
                    TapHandler {
                        acceptedButtons: Qt.RightButton
                        onTapped: {
                            cardMenu.row = card.index
                            cardMenu.popup()
                        }
                    }
                }

                add: Transition {
                    NumberAnimation { property: "scale"; from: 0.8; to: 1; duration: root.changeMs; easing.type: Easing.InOutQuad }
                    NumberAnimation { property: "opacity"; from: 0; to: 1; duration: root.changeMs; easing.type: Easing.InOutQuad }
                }
                remove: Transition {
                    NumberAnimation { property: "scale"; to: 0.8; duration: root.changeMs; easing.type: Easing.InOutQuad }
                    NumberAnimation { property: "opacity"; to: 0; duration: root.changeMs; easing.type: Easing.InOutQuad }
                }
                // A card moved in its category's order (Alt+Left/Right) slides to its place.
                move: Transition {
                    NumberAnimation { properties: "x"; duration: root.changeMs; easing.type: Easing.InOutQuad }
                }
                displaced: Transition {
                    NumberAnimation { properties: "x"; duration: root.changeMs; easing.type: Easing.InOutQuad }
                }
            }

            ColumnLayout {
                anchors.centerIn: parent
                visible: strip.count === 0
                spacing: 8
                Image {
                    Layout.alignment: Qt.AlignHCenter
                    source: "image://symbol/clipboard?color=" + encodeURIComponent(root.secondaryColor)
                    sourceSize.width: root.emptySymbolSize
                    sourceSize.height: root.emptySymbolSize
                }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    text: qsTr("No clipboard items")
                    font.pointSize: root.calloutSize
                    color: root.secondaryColor
                }
            }
        }
    }

    // The preview of the selected card, in a popover hanging above the card (the panel is
    // lower than the preview). It leaves the keyboard with the panel: Space and Escape close it
    // there. A press anywhere in the panel dismisses it, as it does any popover.
    PanelPopover {
        id: preview

        readonly property Item card: root.viewState.isQuickLookVisible
                                     ? strip.itemAtIndex(root.viewState.selectedIndex) : null
        readonly property bool isWanted: card !== null && previewRepeater.count > 0

        title: qsTr("Brivet Preview")
        anchor: card
        arrowEdge: PanelPopoverWindow.Bottom
        takesKeyboard: false
        onIsWantedChanged: isWanted ? open() : dismiss()
        // Closed by a press in the panel or with the panel, not by the state.
        onClosed: if (isWanted) root.viewState.isQuickLookVisible = false

        // Built anew for each card the preview opens on.
        Repeater {
            id: previewRepeater
            model: root.viewState.isQuickLookVisible && preview.card ? [root.viewState.selectedIndex] : []
            PreviewView {
                required property int modelData
                items: root.viewState.items
                row: modelData
                textSource: root.previewTextSource
                // Bound to now, so that it refreshes; empty while the preview goes away.
                age: preview.card ? (root.viewState.now, root.viewState.timeAgo(preview.card.timestamp)) : ""
            }
        }
    }

    // The context menu of one card. Its "Pin to Category" list opens in a window of its own
    // beside the menu, as it can be taller than the panel.
    Menu {
        id: cardMenu
        property int row: -1

        // The entry is there only while there are categories of the user's to pin to.
        onAboutToShow: {
            const wanted = root.viewState.hasPinCategories
            if (wanted !== (cardMenu.itemAt(0) === pinEntry))
                wanted ? cardMenu.insertItem(0, pinEntry) : cardMenu.takeItem(0)
        }

        MenuItem {
            id: pinEntry
            text: qsTr("Pin to Category")
            arrow: Image {
                x: pinEntry.width - width - pinEntry.rightPadding
                y: (pinEntry.height - height) / 2
                source: "image://symbol/chevron.right?color=" + encodeURIComponent(
                            pinEntry.highlighted ? systemPalette.highlightedText : systemPalette.windowText)
                sourceSize.width: 10
                sourceSize.height: 10
            }
            // Opens on hover, as a submenu does, and on a click, Return or Right, which close
            // the menu and leave the list open, with the keyboard. Another entry of the menu
            // closes it.
            onHighlightedChanged: if (highlighted && hovered) pinList.open()
            onTriggered: pinList.open()
            Keys.onRightPressed: {
                pinList.open()
                cardMenu.close()
            }
        }
        // Parts the pin entry from the rest, when there is one.
        MenuSeparator {
            visible: root.viewState.hasPinCategories
            height: visible ? implicitHeight : 0
        }
        MenuItem {
            id: deleteEntry
            text: qsTr("Delete")
            // Destructive: drawn in red, its symbol too.
            icon.source: "image://symbol/trash?color=" + encodeURIComponent(statusColors.destructive)
            icon.color: "transparent"
            palette.windowText: statusColors.destructive
            palette.text: statusColors.destructive
            onTriggered: root.viewState.deleteCard(cardMenu.row)
            onHighlightedChanged: if (highlighted) pinList.dismiss()
        }
        MenuSeparator {}
        MenuItem {
            text: qsTr("Paste as Plain Text")
            enabled: root.viewState.hasPlainText(cardMenu.row)
            onTriggered: root.viewState.pasteCardAsPlainText(cardMenu.row)
            onHighlightedChanged: if (highlighted) pinList.dismiss()
        }
        MenuItem {
            // Shown only for a card that says which application it came from.
            readonly property string appName: cardMenu.row >= 0 ? root.viewState.sourceApplicationName(cardMenu.row) : ""
            visible: appName !== ""
            height: visible ? implicitHeight : 0
            text: qsTr("Never Record from %1").arg(appName)
            onTriggered: root.viewState.ignoreSourceApplication(cardMenu.row)
            onHighlightedChanged: if (highlighted) pinList.dismiss()
        }
    }

    PanelMenu {
        id: pinList
        property int row: -1
        anchor: pinEntry
        onIsOpenChanged: if (isOpen) row = cardMenu.row
        // Re-read when the categories change.
        entries: isOpen ? (root.viewState.hasPinCategories, root.viewState.pinEntries(row)) : []
        onTriggered: index => {
            root.viewState.togglePin(row, entries[index].id)
            cardMenu.close()
        }
    }
}
