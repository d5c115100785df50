#include "platform/null/NullPlatform.h"

#include "platform/PlatformLogging.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWindow>

namespace brivet {

NullPasteboard::NullPasteboard(QObject* parent) : Pasteboard(parent)
{
    qCWarning(lcPlatform) << "no clipboard in this session: nothing will be recorded or pasted";
}

NullFrontApplication::NullFrontApplication()
{
    qCWarning(lcPlatform) << "no front application in this session: copies are not credited";
}

NullGlobalHotkey::NullGlobalHotkey(QObject* parent) : GlobalHotkey(parent)
{
    qCWarning(lcPlatform) << "no global shortcut in this session: open the panel with "
                             "`brivet --toggle`";
}

NullKeySynthesizer::NullKeySynthesizer()
{
    qCWarning(lcPlatform) << "no synthesised keys in this session: a chosen item is put on the "
                             "clipboard, paste it yourself";
}

NullPanelSurface::NullPanelSurface(QObject* parent) : PanelSurface(parent)
{
    qCWarning(lcPlatform) << "no overlay windows in this session: the panel is an ordinary "
                             "window and a click elsewhere does not hide it";
}

void NullPanelSurface::makeOverlay(QWindow& window)
{
    window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
}

void NullPanelSurface::placeOverlay(QWindow& window, const QRect& geometry)
{
    window.setGeometry(geometry);
}

void NullPanelSurface::setShape(QWindow& window, const QPainterPath& outline)
{
    window.setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

bool NullPanelSurface::grabKeyboard(QWindow& window)
{
    window.requestActivate();
    return true;
}

QScreen* NullPanelSurface::activeScreen() const
{
    return QGuiApplication::primaryScreen();
}

} // namespace brivet
