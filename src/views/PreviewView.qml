import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtMultimedia
import QtQuick.Pdf
import Brivet.Views

// The preview of one history entry: its content by kind in a frame of the kind's fixed size,
// and under it the line with the source application and the entry's age. What to show and
// the sizes come from PreviewContent; this file only lays out. Takes no keyboard: keys stay
// with the panel.
Item {
    id: root

    // The panel's list and the entry's row in it.
    required property var items
    required property int row
    property PreviewTextSource textSource
    // The entry's age ("5 min. ago"), kept current by the panel.
    property string age

    readonly property int spacing: 10
    readonly property int embeddedRadius: 8
    readonly property int sheetIconSize: 80
    readonly property int sheetSpacing: 16
    readonly property int sheetRowSpacing: 6
    readonly property int sheetLabelWidth: 60
    readonly property int docSymbolSize: 48
    readonly property real captionSize: systemFont.font.pointSize * 0.85
    readonly property real bodySize: systemFont.font.pointSize
    readonly property real titleSize: systemFont.font.pointSize * 1.5
    readonly property real largeTitleSize: systemFont.font.pointSize * 2
    readonly property color primaryColor: systemPalette.windowText
    readonly property color secondaryColor: Qt.rgba(primaryColor.r, primaryColor.g, primaryColor.b, 0.55)
    readonly property color linkColor: statusColors.link
    readonly property alias kind: content.kind

    implicitWidth: content.contentSize.width
    implicitHeight: content.contentSize.height + spacing + infoLine.implicitHeight

    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Preview")

    SystemPalette { id: systemPalette }
    StatusColors { id: statusColors }
    FontMetrics { id: systemFont }
    LoggingCategory {
        id: viewsLog
        name: "brivet.views"
        defaultLogLevel: LoggingCategory.Warning
    }

    PreviewContent {
        id: content
        model: root.items
        row: root.row
        textSource: root.textSource
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: root.spacing

        Item {
            Layout.preferredWidth: content.contentSize.width
            Layout.preferredHeight: content.contentSize.height
            Layout.alignment: Qt.AlignHCenter
            clip: true

            Loader {
                anchors.fill: parent
                sourceComponent: {
                    switch (content.kind) {
                    case PreviewContent.Text: return textView
                    case PreviewContent.Image: return imageView
                    case PreviewContent.Link: return linkView
                    case PreviewContent.ImageFile: return imageFileView
                    case PreviewContent.VideoFile: return videoView
                    case PreviewContent.PdfFile: return pdfView
                    case PreviewContent.OtherFile: return sheetView
                    default: return noFileView
                    }
                }
            }

            // Rounds the corners of the embedded video and PDF views by painting the window's
            // colour outside a rounded rectangle (no effect or layer needed).
            Rectangle {
                readonly property int band: 4
                visible: content.kind === PreviewContent.VideoFile || content.kind === PreviewContent.PdfFile
                anchors.fill: parent
                anchors.margins: -band
                radius: root.embeddedRadius + band
                color: "transparent"
                border.width: band
                border.color: systemPalette.window
            }
        }

        RowLayout {
            id: infoLine
            Layout.fillWidth: true
            Text {
                visible: content.sourceAppName !== ""
                text: content.sourceAppName
                font.pointSize: root.captionSize
                color: root.secondaryColor
                elide: Text.ElideRight
                Layout.maximumWidth: content.contentSize.width * 0.6
            }
            Item { Layout.fillWidth: true }
            Text {
                text: root.age
                font.pointSize: root.captionSize
                color: root.secondaryColor
            }
        }
    }

    Component {
        id: textView
        ColumnLayout {
            spacing: 4
            ScrollView {
                id: scroller
                Layout.fillWidth: true
                Layout.fillHeight: true
                focusPolicy: Qt.NoFocus
                ScrollBar.vertical.policy: contentHeight > height ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
                TextArea {
                    readOnly: true
                    selectByMouse: true
                    activeFocusOnPress: false
                    padding: 0
                    rightPadding: 12
                    background: null
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    text: content.hasText ? content.text : qsTr("No content")
                    color: content.hasText ? root.primaryColor : root.secondaryColor
                    font.pointSize: root.bodySize
                    Accessible.name: qsTr("Text")
                }
            }
            Text {
                visible: content.textNote !== ""
                Layout.fillWidth: true
                text: content.textNote
                wrapMode: Text.Wrap
                font.pointSize: root.captionSize
                color: root.secondaryColor
            }
        }
    }

    Component {
        id: imageView
        Item {
            // The card's thumbnail shows at once; the full picture covers it when decoded.
            Image {
                anchors.fill: parent
                visible: full.status !== Image.Ready
                source: "image://thumbnail/" + content.itemId
                sourceSize: Qt.size(width, height)
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
            }
            Image {
                id: full
                anchors.fill: parent
                source: "image://thumbnail/" + content.itemId + "?full"
                sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
            }
            Image {
                anchors.centerIn: parent
                visible: full.status === Image.Error
                source: visible ? "image://symbol/photo?color=" + encodeURIComponent(root.secondaryColor) : ""
                sourceSize.width: root.largeTitleSize * 1.6
                sourceSize.height: root.largeTitleSize * 1.6
            }
        }
    }

    Component {
        id: linkView
        ColumnLayout {
            spacing: 8
            Image {
                source: "image://symbol/link?color=" + encodeURIComponent(root.linkColor)
                sourceSize.width: root.titleSize * 1.4
                sourceSize.height: root.titleSize * 1.4
            }
            TextEdit {
                visible: content.urlString !== ""
                Layout.fillWidth: true
                Layout.fillHeight: true
                readOnly: true
                selectByMouse: true
                activeFocusOnPress: false
                textFormat: TextEdit.PlainText
                wrapMode: TextEdit.WrapAnywhere
                text: content.urlString
                color: root.linkColor
                selectionColor: systemPalette.highlight
                font.pointSize: root.bodySize
                Accessible.name: qsTr("Link")
            }
        }
    }

    Component {
        id: imageFileView
        Item {
            // The stored thumbnail while the file decodes, and when the file cannot be read.
            Image {
                anchors.fill: parent
                visible: content.hasThumbnail && fromFile.status !== Image.Ready
                source: visible ? "image://thumbnail/" + content.itemId : ""
                sourceSize: Qt.size(width, height)
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
            }
            Image {
                id: fromFile
                anchors.fill: parent
                source: "image://filepicture/" + encodeURIComponent(content.filePath)
                sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
                fillMode: Image.PreserveAspectFit
                asynchronous: true
                cache: false
            }
        }
    }

    Component {
        id: videoView
        Item {
            Rectangle {
                anchors.fill: parent
                color: "black"
            }
            // Making the first player of the process loads the media back end, which holds
            // the main thread for a moment: the preview is on screen first.
            Loader {
                id: lazyPlayer
                anchors.fill: parent
                active: false
                sourceComponent: playerView
            }
            Timer {
                interval: 40
                running: true
                onTriggered: lazyPlayer.active = true
            }
        }
    }

    Component {
        id: playerView
        Item {
            id: video
            readonly property bool showsControls: hover.hovered || player.playbackState !== MediaPlayer.PlayingState
            property bool hasPlayed: false

            VideoOutput {
                id: output
                anchors.fill: parent
            }
            MediaPlayer {
                id: player
                source: content.fileUrl
                videoOutput: output
                audioOutput: AudioOutput {}
                Component.onCompleted: play()
                onErrorOccurred: (error, errorString) => console.warn(viewsLog, "video:", errorString)
                onPositionChanged: if (player.position > 0 && !video.hasPlayed) { video.hasPlayed = true; console.debug(viewsLog, "video playing") }
            }
            // Paused and let go when the preview closes: no sound after it.
            Component.onDestruction: { player.pause(); player.source = ""; console.debug(viewsLog, "video released") }
            HoverHandler { id: hover }

            // The inline controls: play or pause, the position, the time left.
            Rectangle {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 8
                height: 32
                radius: 8
                color: Qt.rgba(0, 0, 0, 0.55)
                opacity: video.showsControls ? 1 : 0
                Behavior on opacity { NumberAnimation { duration: 200 } }

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 4
                    anchors.rightMargin: 10
                    spacing: 6
                    ToolButton {
                        focusPolicy: Qt.NoFocus
                        flat: true
                        padding: 4
                        Accessible.name: player.playbackState === MediaPlayer.PlayingState ? qsTr("Pause") : qsTr("Play")
                        onClicked: player.playbackState === MediaPlayer.PlayingState ? player.pause() : player.play()
                        contentItem: Image {
                            source: "image://symbol/" + (player.playbackState === MediaPlayer.PlayingState ? "pause.fill" : "play.fill") + "?color=white"
                            sourceSize: Qt.size(16, 16)
                        }
                        background: null
                    }
                    Slider {
                        Layout.fillWidth: true
                        focusPolicy: Qt.NoFocus
                        from: 0
                        to: Math.max(player.duration, 1)
                        value: player.position
                        enabled: player.seekable
                        onMoved: player.position = value
                        Accessible.name: qsTr("Position")
                    }
                    Text {
                        text: content.durationText(player.duration - player.position)
                        color: "white"
                        font.pointSize: root.captionSize
                    }
                }
            }
        }
    }

    Component {
        id: pdfView
        Item {
            Rectangle {
                anchors.fill: parent
                color: Qt.darker(systemPalette.window, 1.08)
            }
            PdfDocument {
                id: document
                source: content.fileUrl
            }
            PdfMultiPageView {
                id: pages
                anchors.fill: parent
                // The view centres its pages in a column wider than itself: pull the page
                // back to the left edge.
                anchors.leftMargin: -16
                document: document
                activeFocusOnTab: false
                // Scaled to the width, one page under the other.
                readonly property bool ready: document.status === PdfDocument.Ready
                onReadyChanged: if (ready) scaleToWidth(width - 14, height)
                onWidthChanged: if (ready) scaleToWidth(width - 14, height)
            }
        }
    }

    Component {
        id: sheetView
        RowLayout {
            spacing: root.sheetSpacing
            Item {
                Layout.preferredWidth: root.sheetIconSize
                Layout.preferredHeight: root.sheetIconSize
                Layout.alignment: Qt.AlignVCenter
                Image {
                    id: icon
                    anchors.fill: parent
                    source: "image://fileicon/" + encodeURIComponent(content.filePath)
                    sourceSize: Qt.size(root.sheetIconSize, root.sheetIconSize)
                    fillMode: Image.PreserveAspectFit
                    asynchronous: true
                }
                Image {
                    anchors.centerIn: parent
                    visible: icon.status === Image.Error
                    source: visible ? "image://symbol/doc?color=" + encodeURIComponent(root.secondaryColor) : ""
                    sourceSize: Qt.size(root.docSymbolSize, root.docSymbolSize)
                }
            }
            ColumnLayout {
                Layout.alignment: Qt.AlignVCenter
                Layout.fillWidth: true
                spacing: root.sheetRowSpacing
                Text {
                    Layout.fillWidth: true
                    text: content.fileName
                    font.pointSize: root.bodySize
                    font.weight: Font.DemiBold
                    color: root.primaryColor
                    wrapMode: Text.WrapAnywhere
                    maximumLineCount: 2
                    elide: Text.ElideRight
                }
                Repeater {
                    model: content.sheetRows
                    RowLayout {
                        id: sheetRow
                        required property var modelData
                        spacing: 4
                        Text {
                            Layout.preferredWidth: root.sheetLabelWidth
                            horizontalAlignment: Text.AlignRight
                            text: sheetRow.modelData.label
                            font.pointSize: root.captionSize
                            color: root.secondaryColor
                        }
                        Text {
                            Layout.fillWidth: true
                            text: sheetRow.modelData.value
                            font.pointSize: root.captionSize
                            color: root.primaryColor
                            elide: Text.ElideRight
                            maximumLineCount: 1
                        }
                    }
                }
            }
        }
    }

    Component {
        id: noFileView
        Item {
            Image {
                anchors.centerIn: parent
                source: "image://symbol/doc?color=" + encodeURIComponent(root.secondaryColor)
                sourceSize: Qt.size(root.docSymbolSize, root.docSymbolSize)
            }
        }
    }
}
