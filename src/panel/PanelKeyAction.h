#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <optional>

namespace brivet {

// One key press as the history view understands it: the shared vocabulary of the panel's key
// routing and the view that acts on it. A plain value, copied through PanelKeyActionStream.
struct PanelKeyAction
{
    enum class Kind
    {
        TypeCharacter, // text holds what was typed
        MoveLeft,
        MoveRight,
        DeleteItem,
        PasteItem,
        QuickLook,
        NextCategory,
        PreviousCategory,
        Escape,
    };

    Kind kind = Kind::Escape;
    QString text; // TypeCharacter only

    static PanelKeyAction typeCharacter(QString text) { return {Kind::TypeCharacter, text}; }
    static PanelKeyAction of(Kind kind) { return {kind, {}}; }

    friend bool operator==(const PanelKeyAction&, const PanelKeyAction&) = default;
};

// The key actions on their way from the panel to the view: an unbounded queue with one
// consumer, so a burst of keys is delivered whole and in order. Never ends.
class PanelKeyActionStream : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The producer end.
    void yield(const PanelKeyAction& action)
    {
        m_buffer.push_back(action);
        emit actionYielded();
    }
    // The consumer end: the oldest action not yet taken.
    [[nodiscard]] std::optional<PanelKeyAction> take()
    {
        if (m_buffer.empty())
            return std::nullopt;
        PanelKeyAction action = std::move(m_buffer.front());
        m_buffer.pop_front();
        return action;
    }
    // The oldest action not yet taken, left in place; null when there is none.
    const PanelKeyAction* peek() const { return m_buffer.empty() ? nullptr : &m_buffer.front(); }
    qsizetype bufferedCount() const { return qsizetype(m_buffer.size()); }

signals:
    void actionYielded();

private:
    std::deque<PanelKeyAction> m_buffer;
};

} // namespace brivet
