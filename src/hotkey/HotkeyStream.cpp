#include "hotkey/HotkeyStream.h"

namespace brivet {

void HotkeyStream::yield()
{
    ++m_buffered;
    emit elementYielded();
}

bool HotkeyStream::take()
{
    if (m_buffered == 0)
        return false;
    --m_buffered;
    return true;
}

} // namespace brivet
