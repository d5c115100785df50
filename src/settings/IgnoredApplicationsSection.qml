pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Settings

// The General tab's Ignored Applications section: the applications whose copies are never
// recorded, each with a button that takes it off the list.
SettingsSection {
    id: root

    required property IgnoredApplicationList backend

    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.6)

    title: qsTr("Ignored Applications")
    footer: qsTr("Copies made in these applications are never read. Add one with \"Never Record from\" in a card's menu.")

    SystemPalette { id: systemPalette }

    Label {
        Layout.fillWidth: true
        visible: root.backend.entries.length === 0
        color: root.secondaryColor
        text: qsTr("No ignored applications")
    }

    Repeater {
        model: root.backend.entries
        delegate: RowLayout {
            id: entryRow
            required property var modelData
            required property int index
            Layout.fillWidth: true
            Label {
                Layout.fillWidth: true
                color: systemPalette.windowText
                elide: Text.ElideRight
                text: entryRow.modelData.name
            }
            Button {
                text: qsTr("Remove")
                focus: entryRow.index === 0
                onClicked: root.backend.remove(entryRow.modelData.id)
                Accessible.name: qsTr("Record %1 again").arg(entryRow.modelData.name)
            }
        }
    }
}
