pragma ComponentBehavior: Bound

import QtQuick
import Brivet.Settings

// The settings window: a strip of two tabs, General and Shortcuts, over the chosen tab's
// content. 450 wide, as tall as the chosen tab.
Window {
    id: root

    // {component, backend} of each General section, in order.
    required property var generalSections
    required property ShortcutsSettingsState shortcutsState

    readonly property int windowWidth: 450
    readonly property int tabStripPadding: 10
    readonly property int tabSpacing: 4
    readonly property int contentHeight: tabStrip.height + divider.height + pages.height
    property int currentTab: 0

    title: qsTr("Brivet Settings")
    color: systemPalette.window
    // The controls and dialogs inside take the program's palette (light or dark).
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
    width: windowWidth
    height: contentHeight
    minimumWidth: windowWidth
    maximumWidth: windowWidth
    minimumHeight: contentHeight
    maximumHeight: contentHeight

    onCurrentTabChanged: pages.children[currentTab].forceActiveFocus()

    SystemPalette { id: systemPalette }

    Shortcut {
        sequences: ["Ctrl+Tab", "Ctrl+PgDown"]
        onActivated: root.currentTab = (root.currentTab + 1) % 2
    }
    Shortcut {
        sequences: ["Ctrl+Shift+Tab", "Ctrl+Shift+Backtab", "Ctrl+PgUp"]
        onActivated: root.currentTab = (root.currentTab + 1) % 2
    }
    Shortcut {
        sequences: ["Ctrl+W", "Escape"]
        onActivated: root.close()
    }

    Row {
        id: tabStrip
        anchors.horizontalCenter: parent.horizontalCenter
        topPadding: root.tabStripPadding
        bottomPadding: root.tabStripPadding
        spacing: root.tabSpacing

        SettingsTabButton {
            text: qsTr("General")
            symbol: "gear"
            checked: root.currentTab === 0
            onClicked: root.currentTab = 0
        }
        SettingsTabButton {
            text: qsTr("Shortcuts")
            symbol: "keyboard"
            checked: root.currentTab === 1
            onClicked: root.currentTab = 1
        }
    }

    Rectangle {
        id: divider
        anchors.top: tabStrip.bottom
        width: parent.width
        height: 1
        color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                       systemPalette.windowText.b, 0.12)
    }

    Item {
        id: pages
        anchors.top: divider.bottom
        width: parent.width
        height: children[root.currentTab].implicitHeight

        GeneralSettingsView {
            width: parent.width
            visible: root.currentTab === 0
            focus: visible
            sections: root.generalSections
        }
        ShortcutsSettingsView {
            width: parent.width
            visible: root.currentTab === 1
            focus: visible
            shortcuts: root.shortcutsState
        }
    }
}
