import QtQuick
import QtQuick.Controls

// One tab of the settings window's tab strip: its symbol above its name, tinted with the
// accent colour while chosen.
ToolButton {
    id: root

    // A file name in symbols/, without ".svg".
    required property string symbol

    readonly property int buttonWidth: 84
    readonly property int buttonHeight: 54
    readonly property int symbolSize: 22
    readonly property int cornerRadius: 6
    readonly property int hoverMs: 150
    readonly property color tint: checked ? systemPalette.highlight
                                          : Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                                    systemPalette.windowText.b, 0.7)

    implicitWidth: buttonWidth
    implicitHeight: buttonHeight
    focusPolicy: Qt.NoFocus
    hoverEnabled: true
    display: AbstractButton.TextUnderIcon
    spacing: 3
    icon.source: "symbols/" + symbol + ".svg"
    icon.width: symbolSize
    icon.height: symbolSize
    icon.color: tint
    palette.buttonText: tint
    palette.brightText: tint
    font.pointSize: systemFont.font.pointSize * 0.9

    Accessible.role: Accessible.PageTab
    Accessible.name: text

    SystemPalette { id: systemPalette }
    FontMetrics { id: systemFont }

    background: Rectangle {
        radius: root.cornerRadius
        color: root.checked ? Qt.rgba(systemPalette.highlight.r, systemPalette.highlight.g,
                                      systemPalette.highlight.b, 0.14)
                            : Qt.rgba(systemPalette.windowText.r, systemPalette.windowText.g,
                                      systemPalette.windowText.b, root.hovered ? 0.06 : 0)
        Behavior on color { ColorAnimation { duration: root.hoverMs; easing.type: Easing.InOutQuad } }
    }
}
