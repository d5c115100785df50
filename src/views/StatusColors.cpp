#include "views/StatusColors.h"

#include <QEvent>
#include <QGuiApplication>

namespace brivet {

StatusColors::StatusColors(QObject* parent) : QObject(parent), m_palette(QGuiApplication::palette())
{
    qGuiApp->installEventFilter(this);
}

bool StatusColors::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange) {
        m_palette = QGuiApplication::palette();
        emit changed();
    }
    return QObject::eventFilter(watched, event);
}

bool StatusColors::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

// The system red and blue, a shade darker on light windows and lighter on dark ones, so that
// text in them keeps a contrast of at least 4.5:1 against the window.
QColor StatusColors::destructive(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xFF, 0x8A, 0x80) : QColor(0xD7, 0x00, 0x15);
}

QColor StatusColors::link(const QPalette& palette)
{
    return isDark(palette) ? QColor(0x6C, 0xB4, 0xFF) : QColor(0x00, 0x66, 0xCC);
}

QColor StatusColors::hairline(const QPalette& palette)
{
    QColor line = palette.color(QPalette::WindowText);
    line.setAlphaF(isDark(palette) ? 0.14f : 0.12f);
    return line;
}

} // namespace brivet
