#pragma once

#include "platform/GlobalHotkey.h"

#include <QObject>
#include <QString>
#include <optional>

class QSettings;

namespace brivet {

// Owns the one global shortcut that opens the panel: keeps its key code and modifier mask,
// stores them in the settings ("hotkeyKeyCode", "hotkeyModifiers") and registers them with the
// desktop, whose GlobalHotkey then reports each press as `activated`. Main thread only.
class HotkeyManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(quint32 keyCode READ keyCode NOTIFY keyCodeChanged)
    Q_PROPERTY(quint32 modifiers READ modifiers NOTIFY modifiersChanged)
    Q_PROPERTY(QString displayString READ displayString NOTIFY displayStringChanged)
public:
    // Super+Shift+V until the user records another combination.
    static constexpr quint32 initialKeyCode = 9;
    static constexpr quint32 initialModifiers = 768;

    static QString keyCodeSettingsKey() { return QStringLiteral("hotkeyKeyCode"); }
    static QString modifiersSettingsKey() { return QStringLiteral("hotkeyModifiers"); }

    HotkeyManager(GlobalHotkey& globalHotkey, QSettings& settings, QObject* parent = nullptr);
    ~HotkeyManager() override;

    // Takes the stored combination, if a key code is stored. A stored key code without a mask
    // means no modifiers. Values that are not unsigned 32-bit integers are ignored and the
    // current combination stays.
    void loadSavedHotkey();
    // Registers the current combination, replacing any earlier registration. A combination the
    // desktop refuses (another program holds it) is logged; presses then never arrive.
    void registerHotkey();
    // Removes the registration; presses of the combination produce nothing until the next
    // registerHotkey().
    void unregisterHotkey();
    // Takes, registers and stores a new combination (stored also when unchanged).
    void updateHotkey(quint32 keyCode, quint32 modifiers);

    quint32 keyCode() const { return m_keyCode; }
    quint32 modifiers() const { return m_modifiers; }
    Shortcut shortcut() const { return {m_keyCode, m_modifiers}; }
    bool isRegistered() const { return m_registration.has_value(); }
    // The combination in the words of the Linux desktop: "Shift+Super+V".
    QString displayString() const { return displayString(m_keyCode, m_modifiers); }
    static QString displayString(quint32 keyCode, quint32 modifiers);

signals:
    void keyCodeChanged();
    void modifiersChanged();
    void displayStringChanged();
    // The combination changed (keyCodeChanged or modifiersChanged, or both).
    void shortcutChanged(brivet::Shortcut shortcut);

private:
    void setKeyCode(quint32 keyCode);
    void setModifiers(quint32 modifiers);

    GlobalHotkey& m_globalHotkey;
    QSettings& m_settings;
    quint32 m_keyCode = initialKeyCode;
    quint32 m_modifiers = initialModifiers;
    std::optional<HotkeyRegistrationId> m_registration;
};

} // namespace brivet
