pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtCore
import Brivet.Settings
import Qt.labs.platform as Platform

// The General tab's History section: how much of the history is kept, and "Clear History..."
// with a confirmation that names what goes.
SettingsSection {
    id: root

    required property HistorySettings backend

    readonly property int limitFieldWidth: 110
    readonly property int dialogWidth: 340
    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.6)

    title: qsTr("History")
    footer: qsTr("Pinned items are always kept. Older items go first, at start and every hour.")

    SystemPalette { id: systemPalette }

    RowLayout {
        Layout.fillWidth: true
        Label {
            Layout.fillWidth: true
            color: systemPalette.windowText
            text: qsTr("Keep")
        }
        ComboBox {
            id: ruleBox
            focus: true
            implicitContentWidthPolicy: ComboBox.WidestText
            model: [qsTr("Everything"), qsTr("The Newest Items"), qsTr("Items of the Last Days"),
                    qsTr("Up to a Size")]
            currentIndex: root.backend.ruleKind
            onActivated: index => root.backend.ruleKind = index
            Accessible.name: qsTr("Keep")
        }
    }

    RowLayout {
        Layout.fillWidth: true
        visible: root.backend.ruleKind !== 0
        Label {
            Layout.fillWidth: true
            color: systemPalette.windowText
            text: [qsTr("Items"), qsTr("Items"), qsTr("Days"), qsTr("Megabytes")][root.backend.ruleKind]
        }
        SpinBox {
            id: limitBox
            Layout.preferredWidth: root.limitFieldWidth
            from: 1
            to: 1000000
            editable: true
            value: root.backend.ruleLimit
            onValueModified: root.backend.ruleLimit = value
            Accessible.name: qsTr("Limit")
        }
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                       systemPalette.windowText.b, 0.1)
    }

    RowLayout {
        Layout.fillWidth: true
        Label {
            Layout.fillWidth: true
            color: root.backend.busy ? root.secondaryColor : systemPalette.windowText
            text: root.backend.busy ? qsTr("Removing items...") : qsTr("Remove every item")
        }
        Button {
            text: qsTr("Clear History...")
            enabled: !root.backend.busy
            onClicked: confirmation.ask()
            Accessible.name: text
        }
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                       systemPalette.windowText.b, 0.1)
    }

    RowLayout {
        Layout.fillWidth: true
        Label {
            Layout.fillWidth: true
            color: systemPalette.windowText
            text: qsTr("Archive")
        }
        Button {
            text: qsTr("Export...")
            onClicked: exportDialog.open()
            Accessible.name: qsTr("Export History")
        }
        Button {
            text: qsTr("Import...")
            onClicked: importDialog.open()
            Accessible.name: qsTr("Import History")
        }
    }

    Label {
        Layout.fillWidth: true
        visible: text !== ""
        text: root.backend.transfer.message
        wrapMode: Text.Wrap
        color: root.secondaryColor
        font.pointSize: systemFont.font.pointSize * 0.9
    }

    FontMetrics { id: systemFont }

    // The desktop's own file chooser where it has one.
    Platform.FileDialog {
        id: exportDialog
        title: qsTr("Export History")
        fileMode: Platform.FileDialog.SaveFile
        nameFilters: [qsTr("Brivet history (*.tar)")]
        defaultSuffix: "tar"
        folder: StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
        currentFile: folder + "/brivet-history.tar"
        onAccepted: root.backend.transfer.exportTo(file)
    }
    Platform.FileDialog {
        id: importDialog
        title: qsTr("Import History")
        fileMode: Platform.FileDialog.OpenFile
        nameFilters: [qsTr("Brivet history (*.tar)")]
        folder: StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
        onAccepted: root.backend.transfer.importFrom(file)
    }

    Dialog {
        id: confirmation
        property int count: 0
        property int pinned: 0

        function ask() {
            count = root.backend.itemCount()
            pinned = root.backend.pinnedCount()
            alsoPinned.checked = false
            open()
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(root.dialogWidth, parent ? parent.width - 20 : root.dialogWidth)
        modal: true
        title: qsTr("Clear History")
        standardButtons: Dialog.Cancel | Dialog.Ok
        onAccepted: root.backend.clearHistory(alsoPinned.checked)
        Component.onCompleted: standardButton(Dialog.Ok).text = qsTr("Clear")

        ColumnLayout {
            width: parent.width
            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                text: qsTr("Items to be removed: %1").arg(
                          alsoPinned.checked ? confirmation.count : confirmation.count - confirmation.pinned)
            }
            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                color: root.secondaryColor
                text: qsTr("This cannot be undone.")
            }
            CheckBox {
                id: alsoPinned
                visible: confirmation.pinned > 0
                text: qsTr("Also remove pinned items (%1)").arg(confirmation.pinned)
            }
        }
    }
}
