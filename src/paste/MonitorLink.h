#pragma once

#include <QPointer>
#include <memory>

namespace brivet {

// The clipboard monitor as the paste service sees it: something to pause around Brivet's own
// clipboard writes, which may already be gone. Never keeps the monitor alive.
class MonitorLink
{
public:
    virtual ~MonitorLink() = default;
    virtual bool isAlive() const = 0;
    // Does nothing once the monitor is gone.
    virtual void setPaused(bool paused) = 0;
};

// A weak link to any QObject monitor with setIsPaused(bool).
template <typename Monitor> class WeakMonitorLink final : public MonitorLink
{
public:
    explicit WeakMonitorLink(Monitor* monitor) : m_monitor(monitor) {}
    bool isAlive() const override { return !m_monitor.isNull(); }
    void setPaused(bool paused) override
    {
        if (m_monitor)
            m_monitor->setIsPaused(paused);
    }

private:
    QPointer<Monitor> m_monitor;
};

template <typename Monitor> std::unique_ptr<MonitorLink> weakMonitorLink(Monitor* monitor)
{
    return std::make_unique<WeakMonitorLink<Monitor>>(monitor);
}

} // namespace brivet
