#include "views/DarkPalette.h"

namespace brivet {

QPalette darkPalette()
{
    const QColor window(0x2b, 0x2d, 0x31);
    const QColor base(0x3a, 0x3d, 0x42);
    const QColor text(0xec, 0xee, 0xf0);
    const QColor disabledText(0x80, 0x84, 0x8a);
    const QColor highlight(0x3d, 0x8b, 0xf2);

    QPalette palette(text, window);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window.lighter(115));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Button, base);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Link, highlight.lighter(120));
    palette.setColor(QPalette::Mid, window.lighter(160));
    palette.setColor(QPalette::Dark, window.darker(140));
    palette.setColor(QPalette::Light, base.lighter(130));
    palette.setColor(QPalette::Midlight, base.lighter(115));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

} // namespace brivet
