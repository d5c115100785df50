#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <compare>
#include <functional>

namespace brivet {

// When an operation happened, comparable across devices: a hybrid logical clock (wall-clock
// milliseconds and a counter, never running backwards, moved past every clock seen from other
// devices, unless they run far ahead) with the writing device as the tie-break. Equal stamps are
// the same operation.
struct Stamp
{
    quint64 time = 0;  // milliseconds << 16 | counter
    QByteArray device; // 16 bytes

    bool isNull() const { return time == 0 && device.isEmpty(); }
    qint64 milliseconds() const { return qint64(time >> 16); }
    // 8 bytes big-endian time then the device: byte order is stamp order.
    QByteArray encoded() const;
    static Stamp decode(const QByteArray& bytes);

    friend bool operator==(const Stamp&, const Stamp&) = default;
    friend std::strong_ordering operator<=>(const Stamp& a, const Stamp& b)
    {
        if (a.time != b.time)
            return a.time <=> b.time;
        const int c = a.device.compare(b.device);
        return c < 0 ? std::strong_ordering::less
                     : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
    }
};

class HybridClock
{
public:
    using WallClock = std::function<qint64()>; // ms since the epoch

    HybridClock(QByteArray device, WallClock wallClock);

    Stamp now();
    // A stamp for a change that overwrites a value stamped seen: now(), or just past seen when
    // seen is ahead (a device whose clock runs ahead), without moving the clock there.
    Stamp after(const Stamp& seen);
    // Moves the clock past a stamp read from another device.
    void observe(const Stamp& stamp);
    quint64 last() const { return m_last; }
    void restore(quint64 last) { m_last = std::max(m_last, last); }

private:
    QByteArray m_device;
    WallClock m_wallClock;
    quint64 m_last = 0;
};

} // namespace brivet
