#pragma once

#include <QPoint>
#include <functional>

namespace brivet {

// Reports every mouse-button press anywhere on the desktop, without taking the pointer: the
// click still reaches the window it was aimed at. The panel uses it to hide on a click
// elsewhere. Handlers run on the main thread.
class GlobalClickMonitor
{
public:
    virtual ~GlobalClickMonitor() = default;

    // Starts reporting presses of the left and right buttons with the pointer's position in
    // screen coordinates; replaces an earlier handler. False when the desktop cannot report
    // them (the panel then only hides by key or shortcut).
    [[nodiscard]] virtual bool start(std::function<void(QPoint)> handler) = 0;
    // Stops reporting; nothing is reported after it returns.
    virtual void stop() = 0;
};

} // namespace brivet
