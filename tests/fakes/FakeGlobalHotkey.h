#pragma once

#include "platform/GlobalHotkey.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <map>

namespace brivet {

// A desktop's global hotkeys held in memory: a test presses combinations, refuses some as
// held by another program, and reads back what is registered and in which order the calls
// came. Native scan codes are those of an X11 session (evdev + 8) for the keys tests use.
class FakeGlobalHotkey : public GlobalHotkey
{
public:
    struct Combination
    {
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        friend bool operator==(const Combination&, const Combination&) = default;
    };

    std::optional<HotkeyHandlerId> installHandler(std::function<void()> handler) override
    {
        const quint64 id = m_nextId++;
        m_handlers.emplace(id, std::move(handler));
        m_calls << QStringLiteral("installHandler");
        return HotkeyHandlerId{id};
    }
    void removeHandler(HotkeyHandlerId handler) override
    {
        m_handlers.erase(quint64(handler));
        m_calls << QStringLiteral("removeHandler");
    }
    std::optional<HotkeyRegistrationId> registerHotkey(quint32 keyCode, quint32 modifiers) override
    {
        m_calls << QStringLiteral("registerHotkey %1 %2").arg(keyCode).arg(modifiers);
        if (m_heldElsewhere.contains(Combination{keyCode, modifiers}))
            return std::nullopt;
        const quint64 id = m_nextId++;
        m_registrations.emplace(id, Combination{keyCode, modifiers});
        return HotkeyRegistrationId{id};
    }
    void unregisterHotkey(HotkeyRegistrationId registration) override
    {
        m_registrations.erase(quint64(registration));
        m_calls << QStringLiteral("unregisterHotkey");
    }
    std::optional<quint32> keyCodeForNativeScanCode(quint32 nativeScanCode) const override
    {
        static const QHash<quint32, quint32> keyCodes{
            {38, 0},   // A
            {55, 9},   // V
            {24, 12},  // Q
            {36, 36},  // Return
            {9, 53},   // Escape
            {65, 49},  // Space
            {67, 122}, // F1
        };
        if (auto it = keyCodes.constFind(nativeScanCode); it != keyCodes.constEnd())
            return *it;
        return std::nullopt;
    }

    // Presses a combination: every handler runs once if it is registered.
    void press(quint32 keyCode, quint32 modifiers)
    {
        bool isRegistered = false;
        for (const auto& [id, combination] : m_registrations)
            isRegistered = isRegistered || combination == Combination{keyCode, modifiers};
        if (!isRegistered)
            return;
        std::vector<std::function<void()>> handlers;
        for (const auto& [id, handler] : m_handlers)
            handlers.push_back(handler);
        for (const auto& handler : handlers)
            handler();
    }

    void holdElsewhere(quint32 keyCode, quint32 modifiers)
    {
        m_heldElsewhere << Combination{keyCode, modifiers};
    }
    QList<Combination> registrations() const
    {
        QList<Combination> result;
        for (const auto& [id, combination] : m_registrations)
            result << combination;
        return result;
    }
    qsizetype handlerCount() const { return qsizetype(m_handlers.size()); }
    QStringList calls() const { return m_calls; }

private:
    quint64 m_nextId = 1;
    std::map<quint64, std::function<void()>> m_handlers;
    std::map<quint64, Combination> m_registrations;
    QList<Combination> m_heldElsewhere;
    QStringList m_calls;
};

} // namespace brivet
