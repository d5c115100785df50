pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// The search field at the top of the panel. Shows the panel's search text and reports every
// edit; the clear button appears while there is text.
Rectangle {
    id: root

    required property string searchText
    signal edited(string text)

    readonly property int horizontalPadding: 8
    readonly property int verticalPadding: 5
    readonly property int spacing: 6
    readonly property real captionSize: systemFont.font.pointSize * 0.85

    readonly property color secondaryColor: Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.55)

    SystemPalette { id: systemPalette }
    StatusColors { id: statusColors }
    FontMetrics { id: systemFont }

    implicitHeight: row.implicitHeight + 2 * verticalPadding
    implicitWidth: 200
    radius: 6
    color: Qt.rgba(systemPalette.base.r, systemPalette.base.g, systemPalette.base.b, 0.5)
    border.width: 1
    border.color: statusColors.hairline

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: root.horizontalPadding
        anchors.rightMargin: root.horizontalPadding
        anchors.topMargin: root.verticalPadding
        anchors.bottomMargin: root.verticalPadding
        spacing: root.spacing

        Image {
            source: "image://symbol/magnifyingglass?color=" + encodeURIComponent(root.secondaryColor)
            sourceSize.width: Math.round(root.captionSize * 1.3)
            sourceSize.height: Math.round(root.captionSize * 1.3)
            Accessible.ignored: true
        }

        TextField {
            id: field
            Layout.fillWidth: true
            text: root.searchText
            placeholderText: qsTr("Search...")
            placeholderTextColor: root.secondaryColor
            font.pointSize: root.captionSize
            padding: 0
            background: null
            selectByMouse: true
            onTextEdited: root.edited(text)
            Accessible.name: qsTr("Search")
        }

        Image {
            visible: root.searchText !== ""
            source: "image://symbol/xmark.circle.fill?color=" + encodeURIComponent(root.secondaryColor)
            sourceSize.width: Math.round(root.captionSize * 1.3)
            sourceSize.height: Math.round(root.captionSize * 1.3)
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Clear search")
            TapHandler {
                onTapped: root.edited("")
            }
        }
    }
}
