#pragma once

#include "platform/GlobalHotkey.h"

#include <QObject>
#include <memory>

namespace brivet {

// Global hotkeys of an X11 session: each combination is a passive key grab on the root window
// (one per combination of the lock modifiers in use, so Num Lock and Caps Lock do not matter),
// on the physical key of the key code. Uses a connection of its own, read on the main thread;
// grabs are renewed when the keyboard mapping changes. Holding the keys down counts as one
// press.
class X11GlobalHotkey : public GlobalHotkey
{
    Q_OBJECT
public:
    // Connects to the display named by $DISPLAY.
    explicit X11GlobalHotkey(QObject* parent = nullptr);
    ~X11GlobalHotkey() override;

    // False when no X server could be reached; nothing registers then.
    bool isAvailable() const;

    [[nodiscard]] std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode,
                                                                     quint32 modifiers) override;
    void unregisterHotkey(HotkeyRegistrationId registration) override;
    [[nodiscard]] std::optional<quint32>
    keyCodeForNativeScanCode(quint32 nativeScanCode) const override;

private:
    void readEvents();
    void refreshMapping();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
