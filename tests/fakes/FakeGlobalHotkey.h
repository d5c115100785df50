#pragma once

#include "platform/GlobalHotkey.h"

#include <QHash>
#include <QList>
#include <map>

namespace brivet {

// A desktop's global hotkeys held in memory: a test presses combinations and reads back what
// is registered. Native scan codes are those of an X11 session (evdev + 8).
class FakeGlobalHotkey : public GlobalHotkey
{
public:
    using Combination = std::pair<quint32, quint32>; // key code, modifiers

    std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode, quint32 modifiers) override
    {
        m_registrations.emplace(m_nextId, Combination{keyCode, modifiers});
        return HotkeyRegistrationId{m_nextId++};
    }
    void unregisterHotkey(HotkeyRegistrationId registration) override
    {
        m_registrations.erase(quint64(registration));
    }
    std::optional<quint32> keyCodeForNativeScanCode(quint32 scanCode) const override
    {
        static const QHash<quint32, quint32> keyCodes{{38, 0}, {55, 9}, {24, 12}};
        return keyCodes.contains(scanCode) ? std::optional(keyCodes[scanCode]) : std::nullopt;
    }

    QList<Combination> registrations() const
    {
        QList<Combination> result;
        for (const auto& [id, combination] : m_registrations)
            result << combination;
        return result;
    }
    void clear() { m_registrations.clear(); }

    // A desktop where the user binds the command: `advice`, a line break, the command.
    void setManualBinding(const QString& advice) { m_advice = advice; }
    QString manualBinding(const QString& command) const override
    {
        return m_advice.isEmpty() ? QString() : m_advice + QLatin1Char('\n') + command;
    }

private:
    QString m_advice;
    quint64 m_nextId = 1;
    std::map<quint64, Combination> m_registrations;
};

} // namespace brivet
