#pragma once

#include "platform/FileThumbnailer.h"
#include "platform/FrontApplication.h"
#include "platform/GlobalClickMonitor.h"
#include "platform/GlobalHotkey.h"
#include "platform/KeySynthesizer.h"
#include "platform/LoginItemRegistry.h"
#include "platform/Pasteboard.h"
#include "platform/SecretStore.h"

#include <memory>

namespace brivet {

// The desktop facilities Brivet uses, each behind its own interface. Built once at start
// by createPlatform() and handed to the services that need them.
struct Platform
{
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<FrontApplication> frontApplication;
    std::unique_ptr<FileThumbnailer> fileThumbnailer;
    std::unique_ptr<GlobalHotkey> globalHotkey;
    std::unique_ptr<KeySynthesizer> keySynthesizer;
    std::unique_ptr<GlobalClickMonitor> globalClickMonitor;
    std::unique_ptr<LoginItemRegistry> loginItems;
    std::unique_ptr<SecretStore> secrets;
};

// The platform of the running desktop session (X11). Must be called after the
// QGuiApplication exists.
Platform createPlatform();

} // namespace brivet
