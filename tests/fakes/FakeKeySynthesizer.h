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

    bool isAvailable() const override { return m_available; }
    std::optional<WindowId> activeWindow() const override { return m_active; }
    bool windowExists(WindowId window) const override { return m_windows.contains(window); }
    QStringList windowClasses(WindowId window) const override { return m_windows.value(window); }
    bool requestActivation(WindowId window) override
    {
        m_activationRequests.append(window);
        if (m_obeysActivation && m_windows.contains(window))
            m_active = window;
        return true;
    }
    bool sendShortcut(PasteShortcut shortcut) override
    {
        m_strokes.append({shortcut, m_active});
        if (m_onStroke)
            m_onStroke();
        return true;
    }

    void setAvailable(bool available) { m_available = available; }
    void openWindow(WindowId window, const QStringList& classes)
    {
        m_windows.insert(window, classes);
    }
    void setActiveWindow(std::optional<WindowId> window) { m_active = window; }
    void setObeysActivation(bool obeys) { m_obeysActivation = obeys; }
    void setOnStroke(std::function<void()> onStroke) { m_onStroke = std::move(onStroke); }

    const QList<Stroke>& strokes() const { return m_strokes; }
    const QList<WindowId>& activationRequests() const { return m_activationRequests; }

private:
    bool m_available = true;
    bool m_obeysActivation = true;
    QHash<WindowId, QStringList> m_windows;
    std::optional<WindowId> m_active;
    QList<Stroke> m_strokes;
    QList<WindowId> m_activationRequests;
    std::function<void()> m_onStroke;
};

} // namespace brivet
