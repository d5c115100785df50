#pragma once

#include "platform/GlobalClickMonitor.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace brivet {

class XcbConnection;

// Clicks anywhere on an X11 desktop, from the XInput2 raw button presses of the root window:
// raw events reach every client that asks for them, whoever has the pointer, so nothing is
// grabbed and the click still reaches its window. Uses a connection of its own, read on the
// main thread; the position is the pointer's when the press is read.
class X11GlobalClickMonitor : public QObject, public GlobalClickMonitor
{
    Q_OBJECT
public:
    explicit X11GlobalClickMonitor(QObject* parent = nullptr);
    ~X11GlobalClickMonitor() override;

    [[nodiscard]] bool start(std::function<void(QPoint)> handler) override;
    void stop() override;

private:
    void readEvents();
    void select(bool enabled);

    std::unique_ptr<XcbConnection> m_xcb;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(QPoint)> m_handler;
    uint8_t m_xinputOpcode = 0;
    bool m_hasXInput2 = false;
};

} // namespace brivet
