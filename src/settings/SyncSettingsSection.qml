pragma ComponentBehavior: Bound

import QtCore
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Brivet.Settings
import Qt.labs.platform as Platform

// The General tab's Sync section: whether the history syncs through a folder that a file-sync
// service keeps in step across the user's devices, the button that chooses the folder and the
// passphrase that unlocks it.
SettingsSection {
    id: root

    required property SyncService backend

    readonly property int statusSymbolSize: 14
    readonly property int statusSpacing: 4
    readonly property int labelSymbolSize: 18
    readonly property real disabledOpacity: 0.5
    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.6)

    title: qsTr("Sync")
    footer: backend.active
            ? qsTr("Clipboard items sync automatically across your devices through the sync folder.")
            : qsTr("Choose a folder that a sync service keeps in step across your devices to sync clipboard items.")

    SystemPalette { id: systemPalette }
    FontMetrics { id: systemFont }

    RowLayout {
        Layout.fillWidth: true
        spacing: 6
        IconImage {
            Layout.preferredWidth: root.labelSymbolSize
            Layout.preferredHeight: root.labelSymbolSize
            source: "symbols/folder.sync.svg"
            sourceSize.width: root.labelSymbolSize
            sourceSize.height: root.labelSymbolSize
            color: systemPalette.windowText
        }
        Label {
            Layout.fillWidth: true
            color: systemPalette.windowText
            text: qsTr("Folder Sync")
        }
        Row {
            spacing: root.statusSpacing
            Accessible.role: Accessible.StaticText
            Accessible.name: statusText.text
            Image {
                anchors.verticalCenter: parent.verticalCenter
                width: root.statusSymbolSize
                height: root.statusSymbolSize
                sourceSize.width: root.statusSymbolSize * 2
                sourceSize.height: root.statusSymbolSize * 2
                source: root.backend.active ? "symbols/checkmark.circle.fill.svg"
                                            : "symbols/xmark.circle.fill.svg"
            }
            Label {
                id: statusText
                anchors.verticalCenter: parent.verticalCenter
                color: root.secondaryColor
                text: root.backend.active ? qsTr("Active") : qsTr("Unavailable")
            }
        }
    }

    Divider {}

    RowLayout {
        Layout.fillWidth: true
        Label {
            Layout.fillWidth: true
            color: root.backend.folder !== "" ? systemPalette.windowText : root.secondaryColor
            elide: Text.ElideMiddle
            text: root.backend.folder !== "" ? root.backend.folder : qsTr("No folder chosen")
            Accessible.name: qsTr("Sync folder: %1").arg(text)
        }
        Button {
            text: qsTr("Choose Sync Folder...")
            focus: true
            onClicked: folderDialog.open()
            Accessible.name: text
        }
        // Forgets the folder and the key on this device; the folder and the history stay.
        Button {
            visible: root.backend.folder !== ""
            text: qsTr("Stop Syncing")
            onClicked: root.backend.stopSyncing()
            Accessible.name: text
        }
    }

    Divider {}

    RowLayout {
        id: passphraseRow
        Layout.fillWidth: true
        enabled: root.backend.folder !== "" && !root.backend.busy
        // The window's palette is the same in every state: a disabled field and button fade.
        opacity: enabled ? 1 : root.disabledOpacity
        TextField {
            id: passphrase
            Layout.fillWidth: true
            echoMode: TextInput.Password
            placeholderText: root.backend.busy ? qsTr("Unlocking...") : qsTr("Passphrase")
            onAccepted: setButton.clicked()
            Accessible.name: qsTr("Passphrase")
        }
        Button {
            id: setButton
            text: qsTr("Set")
            enabled: passphrase.text !== ""
            opacity: enabled || !passphraseRow.enabled ? 1 : root.disabledOpacity
            // The passphrase stays in the field no longer than it takes to hand it over.
            onClicked: {
                root.backend.setPassphrase(passphrase.text);
                passphrase.clear();
            }
            Accessible.name: qsTr("Set passphrase")
        }
    }

    Label {
        Layout.fillWidth: true
        visible: text !== ""
        text: root.backend.message
        wrapMode: Text.Wrap
        color: root.secondaryColor
        font.pointSize: systemFont.font.pointSize * 0.9
    }

    // The desktop's own folder chooser where it has one, else a dialog window of its own (not a
    // sheet inside the small settings window).
    Platform.FolderDialog {
        id: folderDialog
        title: qsTr("Choose Sync Folder")
        folder: root.backend.folder !== ""
                       ? "file://" + root.backend.folder
                       : StandardPaths.writableLocation(StandardPaths.HomeLocation)
        onAccepted: root.backend.chooseFolder(folder)
    }

    component Divider: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                       systemPalette.windowText.b, 0.1)
    }
}
