#pragma once

#include "platform/DesktopNotifier.h"
#include "platform/FileThumbnailer.h"
#include "platform/FrontApplication.h"
#include "platform/GlobalHotkey.h"
#include "platform/KeySynthesizer.h"
#include "platform/LoginItemRegistry.h"
#include "platform/PanelSurface.h"
#include "platform/Pasteboard.h"
#include "platform/SecretStore.h"

#include <memory>

namespace brivet {

struct DesktopSession;

// The desktop facilities Brivet uses, each behind its own interface. Built once at start by
// createPlatform() and handed to the services that need them; none is ever null (a facility
// the session lacks is a Null one that says so).
struct Platform
{
    enum class Kind
    {
        X11,
        Wayland, // the clipboard, paste stroke and front application natively; the rest not yet
        Gnome,   // GNOME on Wayland, through Brivet's GNOME Shell extension
        Null, // a session Brivet has no back end for
    };

    Kind kind = Kind::Null;
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<FrontApplication> frontApplication;
    std::unique_ptr<FileThumbnailer> fileThumbnailer;
    std::unique_ptr<GlobalHotkey> globalHotkey;
    std::unique_ptr<KeySynthesizer> keySynthesizer;
    std::unique_ptr<PanelSurface> panelSurface;
    std::unique_ptr<LoginItemRegistry> loginItems;
    std::unique_ptr<SecretStore> secrets;
    std::unique_ptr<DesktopNotifier> notifier;

    // The back end for a session: Wayland where the compositor lets a clipboard manager exist
    // and Qt is not told to draw elsewhere; GNOME where Brivet's extension runs in the shell;
    // else X11 where an X server is reachable (on Wayland
    // through XWayland) and Qt is to draw there; else Null.
    static Kind kindFor(const DesktopSession& session);
    // The Qt platform plugin the back end draws with, to be set before the QGuiApplication is
    // made; empty: Qt's own choice.
    static QByteArray qtPlatformFor(Kind kind);
};

// The platform for the session. Must be called after the QGuiApplication exists.
Platform createPlatform(const DesktopSession& session);

} // namespace brivet
