#pragma once

#include "platform/KeySynthesizer.h"

#include <memory>

namespace brivet {

// Synthesised paste strokes on X11: XTest key events, with key codes looked up in the current
// keyboard mapping, and window activation through the window manager (_NET_ACTIVE_WINDOW).
class X11KeySynthesizer : public KeySynthesizer
{
public:
    X11KeySynthesizer();
    ~X11KeySynthesizer() override;

    bool isAvailable() const override;
    std::optional<WindowId> activeWindow() const override;
    bool windowExists(WindowId window) const override;
    QStringList windowClasses(WindowId window) const override;
    [[nodiscard]] bool requestActivation(WindowId window) override;
    [[nodiscard]] bool sendShortcut(PasteShortcut shortcut) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brivet
