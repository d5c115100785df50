import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Settings

// The General tab's Startup section: whether Brivet opens at login.
SettingsSection {
    id: root

    required property LoginItemManager backend

    title: qsTr("Startup")
    footer: qsTr("Brivet will automatically launch when you log in.")

    SystemPalette { id: systemPalette }

    RowLayout {
        Layout.fillWidth: true
        Label {
            Layout.fillWidth: true
            color: systemPalette.windowText
            text: qsTr("Open at Login")
        }
        SettingsSwitch {
            focus: true
            // Read back after every change: a failed change shows the real state again.
            checked: root.backend.isEnabled
            onToggled: root.backend.isEnabled = checked
            Accessible.name: qsTr("Open at Login")
        }
    }
}
