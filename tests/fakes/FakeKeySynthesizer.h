#pragma once

#include "platform/KeySynthesizer.h"

#include <QHash>
#include <QList>
#include <functional>

namespace brivet {

// A desktop of windows held in memory: a test opens windows with classes, says which one is
// active and whether the window manager obeys activation requests. Records every stroke with
// the window that was active when it was sent.
class FakeKeySynthesizer : public KeySynthesizer
{
public:
    struct Stroke
    {
        PasteShortcut shortcut;
        std::optional<WindowId> window;
    };

    bool isAvailable() const override { return available; }
    std::optional<WindowId> activeWindow() const override { return active; }
    bool windowExists(WindowId window) const override { return windows.contains(window); }
    QStringList windowClasses(WindowId window) const override { return windows.value(window); }
    bool requestActivation(WindowId window) override
    {
        activationRequests.append(window);
        if (obeysActivation && windows.contains(window))
            active = window;
        return true;
    }
    bool sendShortcut(PasteShortcut shortcut) override
    {
        strokes.append({shortcut, active});
        if (onStroke)
            onStroke();
        return true;
    }

    bool available = true;
    bool obeysActivation = true;
    QHash<WindowId, QStringList> windows;
    std::optional<WindowId> active;
    QList<Stroke> strokes;
    QList<WindowId> activationRequests;
    std::function<void()> onStroke;
};

} // namespace brivet
