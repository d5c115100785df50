import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Settings

// The Shortcuts tab: the global shortcut and the button that records a new one. Leaving the
// tab cancels a recording under way.
FocusScope {
    id: root

    required property ShortcutsSettingsState shortcuts

    readonly property int formPadding: 20

    SystemPalette { id: systemPalette }

    implicitHeight: section.implicitHeight + 2 * formPadding

    onVisibleChanged: if (!visible) root.shortcuts.cancelRecording()

    SettingsSection {
        id: section
        x: root.formPadding
        y: root.formPadding
        width: root.width - 2 * root.formPadding
        title: qsTr("Keyboard Shortcuts")
        footer: root.shortcuts.manualBinding === ""
                ? qsTr("Click the shortcut button then press your desired key combination.")
                : qsTr("This desktop lets no program take a global shortcut.")

        RowLayout {
            Layout.fillWidth: true
            visible: root.shortcuts.manualBinding === ""
            Label {
                Layout.fillWidth: true
                color: systemPalette.windowText
                text: qsTr("Activate Brivet")
            }
            ShortcutButton {
                focus: true
                isRecording: root.shortcuts.isRecording
                shortcutText: root.shortcuts.displayString
                onClicked: root.shortcuts.toggleRecording()
            }
        }

        // Where no recorder can work: how to bind the command, the line selectable to copy.
        ColumnLayout {
            Layout.fillWidth: true
            visible: root.shortcuts.manualBinding !== ""
            spacing: 6
            Label {
                Layout.fillWidth: true
                color: systemPalette.windowText
                wrapMode: Text.Wrap
                text: root.shortcuts.manualBinding.split("\n")[0]
            }
            TextField {
                Layout.fillWidth: true
                readOnly: true
                selectByMouse: true
                font.family: "monospace"
                text: root.shortcuts.manualBinding.split("\n").slice(1).join("\n")
            }
        }
    }
}
