import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One group of a settings form: a header, a rounded box holding the rows, and a footer in
// small secondary text. The rows are the section's children.
ColumnLayout {
    id: root

    required property string title
    property string footer: ""
    default property alias rows: box.data

    readonly property int cornerRadius: 8
    readonly property int rowHorizontalPadding: 12
    readonly property int rowVerticalPadding: 9
    readonly property int textInset: 4
    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.6)

    spacing: 6

    SystemPalette { id: systemPalette }
    FontMetrics { id: systemFont }

    Label {
        Layout.leftMargin: root.textInset
        text: root.title
        color: systemPalette.windowText
        font.weight: Font.DemiBold
        Accessible.role: Accessible.Heading
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: box.implicitHeight + 2 * root.rowVerticalPadding
        radius: root.cornerRadius
        color: systemPalette.base
        border.width: 1
        border.color: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                              systemPalette.windowText.b, 0.12)

        ColumnLayout {
            id: box
            anchors.fill: parent
            anchors.leftMargin: root.rowHorizontalPadding
            anchors.rightMargin: root.rowHorizontalPadding
            anchors.topMargin: root.rowVerticalPadding
            anchors.bottomMargin: root.rowVerticalPadding
        }
    }

    Label {
        Layout.fillWidth: true
        Layout.leftMargin: root.textInset
        Layout.rightMargin: root.textInset
        visible: root.footer !== ""
        text: root.footer
        wrapMode: Text.Wrap
        color: root.secondaryColor
        font.pointSize: systemFont.font.pointSize * 0.85
    }
}
