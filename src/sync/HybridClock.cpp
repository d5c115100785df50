#include "sync/HybridClock.h"

#include <QtEndian>

namespace brivet {

QByteArray Stamp::encoded() const
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToBigEndian(time, bytes.data());
    return bytes + device;
}

Stamp Stamp::decode(const QByteArray& bytes)
{
    if (bytes.size() < 8)
        return {};
    return {qFromBigEndian<quint64>(bytes.constData()), bytes.mid(8)};
}

HybridClock::HybridClock(QByteArray device, WallClock wallClock)
    : m_device(std::move(device)), m_wallClock(std::move(wallClock))
{}

Stamp HybridClock::now()
{
    const quint64 wall = quint64(std::max<qint64>(m_wallClock(), 0)) << 16;
    m_last = wall > m_last ? wall : m_last + 1;
    return {m_last, m_device};
}

Stamp HybridClock::after(const Stamp& seen)
{
    const Stamp stamp = now();
    return seen.time < stamp.time ? stamp : Stamp{seen.time + 1, m_device};
}

void HybridClock::observe(const Stamp& stamp)
{
    m_last = std::max(m_last, stamp.time);
}

} // namespace brivet
