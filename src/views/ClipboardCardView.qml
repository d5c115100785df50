pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Brivet.Views

// One history entry in the panel's strip: a header with the kind badge and the age, a body by
// kind, the detail line, and the category marker of a pinned entry. Draws only; the panel
// handles clicks.
Item {
    id: root

    // The entry's roles.
    required property string itemId
    required property string contentType
    required property var timestamp
    required property string detailText
    required property string previewText
    required property string urlString
    required property string filePath
    required property bool hasThumbnail
    required property var categories
    // Given by the panel.
    required property real cardWidth
    required property bool isSelected
    required property string kindName
    required property color kindColor
    // The entry's age ("Just now"), kept current by the panel.
    property string age
    // The digit that pastes the card with Ctrl, shown in place of the age while Ctrl is held;
    // 0 for none.
    property int quickNumber: 0
    // The ids of the records marked for the paste stack, in marking order; set by the panel.
    property var markedIds: []
    // The card's place in the paste stack (1 for the first marked); 0 when not marked.
    readonly property int markNumber: markedIds.indexOf(itemId) + 1
    // Category colours by their text; set by the panel.
    property var categoryColor: function(hex) { return hex }

    readonly property bool isHovered: hover.hovered
    readonly property int cornerRadius: 10
    readonly property int pictureCornerRadius: 6
    readonly property int padding: 10
    readonly property int rowSpacing: 6
    readonly property int textLineLimit: 6
    readonly property int linkLineLimit: 4
    readonly property int fileIconSize: 64
    readonly property int docSymbolSize: 48
    readonly property int pinSize: 13
    readonly property int dotSize: 5
    readonly property int hoverMs: 150
    readonly property real captionSize: systemFont.font.pointSize * 0.85
    readonly property real calloutSize: systemFont.font.pointSize * 0.95
    readonly property color primaryColor: systemPalette.windowText
    readonly property color secondaryColor: Qt.rgba(primaryColor.r, primaryColor.g, primaryColor.b, 0.55)
    readonly property color tertiaryColor: Qt.rgba(primaryColor.r, primaryColor.g, primaryColor.b, 0.35)
    readonly property var pinnedCategories: (categories || []).filter(category => !category.isDefault)
    readonly property bool isPicture: contentType === "image" || (contentType === "file" && hasThumbnail)

    implicitWidth: cardWidth
    width: cardWidth

    Accessible.role: Accessible.ListItem
    // What a screen reader says of the card: its kind, its text or name, its age.
    Accessible.name: kindName + ": " + (contentType === "link" ? urlString
                                        : contentType === "text" ? previewText : detailText)
                     + (age ? ", " + age : "")
                     + (markNumber > 0 ? ", " + qsTr("number %1 in the paste stack").arg(markNumber) : "")
    Accessible.selected: isSelected

    SystemPalette { id: systemPalette }
    StatusColors { id: statusColors }
    FontMetrics { id: systemFont }
    HoverHandler { id: hover }

    Rectangle {
        id: background
        anchors.fill: parent
        radius: root.cornerRadius
        color: root.markNumber > 0
               ? Qt.tint(Qt.rgba(systemPalette.base.r, systemPalette.base.g, systemPalette.base.b, 0.6),
                         Qt.rgba(systemPalette.highlight.r, systemPalette.highlight.g, systemPalette.highlight.b, 0.14))
               : Qt.rgba(systemPalette.base.r, systemPalette.base.g, systemPalette.base.b, 0.6)
        clip: true

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: root.padding
            spacing: root.rowSpacing

            RowLayout {
                Layout.fillWidth: true
                // Marked for the paste stack: the card's place in the stack.
                Rectangle {
                    visible: root.markNumber > 0
                    // As high as the kind badge beside it, so that the header keeps its height.
                    Layout.preferredWidth: Math.max(height, markText.implicitWidth + 8)
                    Layout.preferredHeight: badge.implicitHeight
                    radius: height / 2
                    color: systemPalette.highlight
                    Text {
                        id: markText
                        anchors.centerIn: parent
                        text: root.markNumber
                        font.pointSize: root.captionSize
                        font.weight: Font.Bold
                        color: systemPalette.highlightedText
                    }
                }
                Label {
                    id: badge
                    text: root.kindName
                    font.pointSize: root.captionSize
                    font.weight: Font.DemiBold
                    color: "white"
                    leftPadding: 6
                    rightPadding: 6
                    topPadding: 2
                    bottomPadding: 2
                    background: Rectangle {
                        radius: 4
                        color: Qt.rgba(root.kindColor.r, root.kindColor.g, root.kindColor.b, 0.8)
                    }
                }
                Item { Layout.fillWidth: true }
                Text {
                    visible: root.quickNumber === 0
                    text: root.age
                    font.pointSize: root.captionSize
                    color: root.secondaryColor
                }
                Label {
                    visible: root.quickNumber > 0
                    text: qsTr("Ctrl+%1").arg(root.quickNumber)
                    font.pointSize: root.captionSize
                    font.weight: Font.DemiBold
                    color: systemPalette.highlightedText
                    leftPadding: 6
                    rightPadding: 6
                    topPadding: 2
                    bottomPadding: 2
                    background: Rectangle {
                        radius: height / 2
                        color: systemPalette.highlight
                    }
                }
            }

            Item {
                id: body
                Layout.fillWidth: true
                Layout.fillHeight: true

                Text {
                    visible: root.contentType === "text"
                    width: parent.width
                    height: parent.height
                    text: root.previewText
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    maximumLineCount: root.textLineLimit
                    elide: Text.ElideRight
                    font.pointSize: root.calloutSize
                    color: Qt.rgba(root.primaryColor.r, root.primaryColor.g, root.primaryColor.b, 0.9)
                }

                ColumnLayout {
                    visible: root.contentType === "link"
                    width: parent.width
                    spacing: 4
                    Image {
                        source: visible ? "image://symbol/globe?color=" + encodeURIComponent(root.kindColor) : ""
                        sourceSize.width: Math.round(root.calloutSize * 2.2)
                        sourceSize.height: Math.round(root.calloutSize * 2.2)
                    }
                    Text {
                        Layout.fillWidth: true
                        Layout.maximumHeight: body.height - 30
                        text: root.urlString
                        textFormat: Text.PlainText
                        wrapMode: Text.WrapAnywhere
                        maximumLineCount: root.linkLineLimit
                        elide: Text.ElideRight
                        font.pointSize: root.calloutSize
                        color: Qt.rgba(root.primaryColor.r, root.primaryColor.g, root.primaryColor.b, 0.9)
                    }
                }

                // Image entries, and file entries with a thumbnail.
                Item {
                    id: pictureFrame
                    visible: root.isPicture
                    anchors.fill: parent
                    Image {
                        id: picture
                        anchors.centerIn: parent
                        width: Math.min(parent.width, implicitWidth)
                        height: Math.min(parent.height, implicitHeight)
                        source: root.isPicture ? "image://thumbnail/" + root.itemId + "?radius="
                                                 + root.pictureCornerRadius + "&frame=" + sourceSize.width : ""
                        sourceSize.width: Math.ceil(pictureFrame.width)
                        sourceSize.height: Math.ceil(pictureFrame.height)
                        fillMode: Image.PreserveAspectFit
                        asynchronous: true
                        cache: false
                        visible: status === Image.Ready
                    }
                    Image {
                        anchors.centerIn: parent
                        visible: root.contentType === "image" && picture.status === Image.Error
                        source: visible ? "image://symbol/photo?color=" + encodeURIComponent(root.secondaryColor) : ""
                        sourceSize.width: Math.round(root.calloutSize * 2.6)
                        sourceSize.height: Math.round(root.calloutSize * 2.6)
                    }
                }

                // File entries without a usable thumbnail: the icon of the file's kind, else
                // the document symbol.
                Item {
                    anchors.fill: parent
                    visible: root.contentType === "file" && (!root.hasThumbnail || picture.status === Image.Error)
                    Image {
                        id: fileIcon
                        anchors.centerIn: parent
                        source: parent.visible && root.filePath !== "" ? "image://fileicon/" + encodeURIComponent(root.filePath) : ""
                        sourceSize.width: root.fileIconSize
                        sourceSize.height: root.fileIconSize
                        width: Math.min(root.fileIconSize, parent.width)
                        height: Math.min(root.fileIconSize, parent.height)
                        fillMode: Image.PreserveAspectFit
                        asynchronous: true
                        visible: status === Image.Ready
                    }
                    Image {
                        anchors.centerIn: parent
                        visible: !fileIcon.visible
                        source: parent.visible ? "image://symbol/doc?color=" + encodeURIComponent(root.kindColor) : ""
                        sourceSize.width: root.docSymbolSize
                        sourceSize.height: root.docSymbolSize
                    }
                }
            }

            Text {
                Layout.fillWidth: true
                text: root.detailText
                elide: Text.ElideRight
                font.pointSize: root.captionSize
                color: root.tertiaryColor
            }
        }
    }

    // The border, inside the card's edge: selection wins over hover.
    Rectangle {
        anchors.fill: parent
        radius: root.cornerRadius
        color: "transparent"
        border.width: root.isSelected ? 2 : 1
        border.color: root.isSelected || root.markNumber > 0 ? systemPalette.highlight
                    : root.isHovered ? Qt.rgba(systemPalette.highlight.r, systemPalette.highlight.g, systemPalette.highlight.b, 0.5)
                    : statusColors.hairline
        Behavior on border.color { ColorAnimation { duration: root.hoverMs; easing.type: Easing.InOutQuad } }
    }

    // Pinned: one dot per further category, then the pin in the first category's colour,
    // overlapping the top-right corner.
    Row {
        visible: root.pinnedCategories.length > 0
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.topMargin: -4
        anchors.rightMargin: -4
        spacing: 3
        Repeater {
            model: root.pinnedCategories.slice(1)
            Rectangle {
                required property var modelData
                anchors.verticalCenter: parent.verticalCenter
                width: root.dotSize
                height: root.dotSize
                radius: root.dotSize / 2
                color: root.categoryColor(modelData.colorHex)
            }
        }
        Image {
            rotation: 45
            source: root.pinnedCategories.length > 0
                    ? "image://symbol/pin.fill?color=" + encodeURIComponent(root.categoryColor(root.pinnedCategories[0].colorHex)) : ""
            sourceSize.width: root.pinSize + 3
            sourceSize.height: root.pinSize + 3
        }
    }
}
