pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts

// The General tab: its sections one below the other, each a component fed by one object of
// the application's (see SettingsWindow::addGeneralSection).
FocusScope {
    id: root

    // {component, backend} of each section, in order.
    required property var sections

    readonly property int formPadding: 20
    readonly property int sectionSpacing: 18

    implicitHeight: column.implicitHeight + 2 * formPadding

    ColumnLayout {
        id: column
        x: root.formPadding
        y: root.formPadding
        width: root.width - 2 * root.formPadding
        spacing: root.sectionSpacing

        Repeater {
            model: root.sections
            delegate: Loader {
                required property var modelData
                required property int index
                Layout.fillWidth: true
                focus: index === 0
                Component.onCompleted: setSource(modelData.component, { backend: modelData.backend })
            }
        }
    }
}
